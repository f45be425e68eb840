#include "app/settings/ValueTables.h"

#include <limits>
#include <stdexcept>

namespace lumatrace {

namespace {

// n-th value of the 1-2-5 sequence starting at 1.
std::int64_t OneTwoFive(int n) {
    static constexpr std::int64_t kMantissa[3] = {1, 2, 5};
    std::int64_t decade = 1;
    for (int i = 0; i < n / 3; ++i) {
        decade *= 10;
    }
    return kMantissa[n % 3] * decade;
}

// value / unit written with as many decimals as it needs ("2.5", "25").
std::string ScaledText(std::int64_t value, std::int64_t unit, const char* suffix) {
    std::string text = std::to_string(value / unit);
    std::int64_t rest = value % unit;
    if (rest != 0) {
        text += '.';
        while (rest != 0) {
            unit /= 10;
            text += static_cast<char>('0' + rest / unit);
            rest %= unit;
        }
    }
    return text + suffix;
}

template <typename Container>
const auto& At(const Container& c, int index, const char* what) {
    if (index < 0 || static_cast<std::size_t>(index) >= c.size()) {
        throw std::out_of_range(what);
    }
    return c[static_cast<std::size_t>(index)];
}

// Descending frequency steps: mantissas 5, 2.5, 2, 1 per decade. A value is
// mantissa x 10^exponent / 10 micro-hertz, the mantissa kept in tenths.
constexpr std::int64_t kFreqMantissa[4] = {50, 25, 20, 10};

std::int64_t Pow10(int exponent) {
    std::int64_t p = 1;
    for (int i = 0; i < exponent; ++i) {
        p *= 10;
    }
    return p;
}

struct FreqStep {
    int mantissa;  // index into kFreqMantissa
    int exponent;
    std::int64_t Microhertz() const { return kFreqMantissa[mantissa] * Pow10(exponent) / 10; }
    void Down() {
        if (++mantissa == 4) {
            mantissa = 0;
            --exponent;
        }
    }
};

// Tops of the 20 lists: 500 MHz, then 5 MHz downwards through 5, 2.5, 1.
FreqStep FftHScaleTop(int k) {
    if (k == 0) {
        return {0, 14};  // 50 x 10^14 / 10 uHz = 500 MHz
    }
    static constexpr int kTopMantissa[3] = {0, 1, 3};  // 5, 2.5, 1
    const int n = k - 1;
    return {kTopMantissa[n % 3], 12 - n / 3};  // k = 1: 5 MHz
}

}  // namespace

// ---------------------------------------------------------------------------

int MemoryPoints(int memoryIndex) {
    static constexpr std::array<int, kMemorySizeCount> kPoints = {10000, 100000, 1000000};
    return At(kPoints, memoryIndex, "memory size index");
}

int ProbeFactor(int probeIndex) {
    switch (probeIndex) {
        case 0:
            return 1;
        case 1:
            return 10;
        default:
            return 100;
    }
}

int VoltsPerDivMv(int index) {
    if (index < 0 || index >= kVoltsPerDivCount) {
        throw std::out_of_range("V/div index");
    }
    return static_cast<int>(OneTwoFive(index + 3));  // 10 mV first
}

std::int64_t TimePerDivNs(int index) {
    if (index < 0 || index >= kTimeDivCount) {
        throw std::out_of_range("T/div index");
    }
    return OneTwoFive(index);
}

int TimeDivCount(int memoryIndex) {
    static constexpr std::array<int, kMemorySizeCount> kCount = {31, 34, 37};
    return At(kCount, memoryIndex, "memory size index");
}

std::int64_t SampleIntervalNs(int timeDivIndex, int memoryIndex) {
    const std::int64_t interval = 10 * TimePerDivNs(timeDivIndex) / MemoryPoints(memoryIndex);
    return interval < 10 ? 10 : interval;
}

std::string VoltageText(std::int64_t millivolts) {
    if (millivolts >= 1000000) {
        return ScaledText(millivolts, 1000000, "KV");
    }
    if (millivolts >= 1000) {
        return ScaledText(millivolts, 1000, "V");
    }
    return ScaledText(millivolts, 1, "mV");
}

std::string TimeDivText(std::int64_t nanoseconds) {
    if (nanoseconds >= 1000000000) {
        return ScaledText(nanoseconds, 1000000000, "s");
    }
    if (nanoseconds >= 1000000) {
        return ScaledText(nanoseconds, 1000000, "ms");
    }
    if (nanoseconds >= 1000) {
        return ScaledText(nanoseconds, 1000, "us");
    }
    return ScaledText(nanoseconds, 1, "ns");
}

std::string DbText(std::int64_t millidB) {
    if (millidB >= 1000000) {
        return ScaledText(millidB, 1000000, "KdB");
    }
    if (millidB >= 1000) {
        return ScaledText(millidB, 1000, "dB");
    }
    return ScaledText(millidB, 1, "mdB");
}

std::string FrequencyText(std::int64_t microhertz) {
    struct Unit {
        std::int64_t scale;
        const char* text;
    };
    static constexpr Unit kUnits[] = {
        {1000000000000, "MHz"}, {1000000000, "KHz"}, {1000000, "Hz"}, {1000, "mHz"}};
    for (const Unit& u : kUnits) {
        if (microhertz >= u.scale) {
            return ScaledText(microhertz, u.scale, u.text);
        }
    }
    return ScaledText(microhertz, 1, "uHz");
}

const ItemList& TimeDivMenuCaptions() {
    static const ItemList captions = [] {
        ItemList list;
        for (int i = 0; i < kTimeDivCount; ++i) {
            list.push_back(TimeDivText(TimePerDivNs(i)));
        }
        return list;
    }();
    return captions;
}

const ItemList& MathMenuCaptions() {
    static const ItemList captions = [] {
        ItemList list;
        for (int i = 0; i < kMathMenuCount; ++i) {
            list.push_back(VoltageText(OneTwoFive(i)));
        }
        return list;
    }();
    return captions;
}

const ItemList& NumberMenuCaptions() {
    static const ItemList captions = [] {
        ItemList list;
        for (int i = 0; i <= 9; ++i) {
            list.push_back(std::to_string(1 << i));
        }
        list.push_back("∞");
        return list;
    }();
    return captions;
}

std::int64_t FftHScaleTopMicrohertz(int k) {
    if (k < 0 || k >= kFftHScaleGroupLists) {
        throw std::out_of_range("FFT horizontal list");
    }
    return FftHScaleTop(k).Microhertz();
}

std::vector<std::int64_t> FftHScaleValues(int group, int k) {
    static constexpr std::int64_t kSpan[kMemorySizeCount] = {250, 2500, 25000};
    const std::int64_t top = FftHScaleTopMicrohertz(k);
    if (group < 0 || group >= kMemorySizeCount) {
        throw std::out_of_range("FFT horizontal group");
    }
    const std::int64_t span = kSpan[group];
    // value >= top / span, written without a fraction: value >= ceil(top / span).
    const std::int64_t floorValue = (top + span - 1) / span;
    std::vector<std::int64_t> values;
    for (FreqStep step = FftHScaleTop(k); step.Microhertz() >= floorValue; step.Down()) {
        values.push_back(step.Microhertz());
    }
    return values;
}

// ---------------------------------------------------------------------------

ValueLists::ValueLists() {
    for (int p = 0; p < kProbeCount; ++p) {
        const int factor = ProbeFactor(p);
        for (int i = 0; i < kVoltsPerDivCount; ++i) {
            voltsPerDiv_[static_cast<std::size_t>(p)].push_back(
                VoltageText(static_cast<std::int64_t>(VoltsPerDivMv(i)) * factor));
        }
    }
    probe_ = {"x1", "x10", "x100"};
    coupling_ = {"DC", "AC", "GND"};
    trigSource_ = {"CH1", "CH2", "EXT"};
    trigCoupling_[0] = {"DC", "LFrej", "HFrej"};
    trigCoupling_[1] = {"DC"};
    slope_ = {"↑", "↓"};
    for (int m = 0; m < kMemorySizeCount; ++m) {
        const ItemList& all = TimeDivMenuCaptions();
        timeDiv_[static_cast<std::size_t>(m)].assign(all.begin(), all.begin() + TimeDivCount(m));
    }
    memorySize_[0] = {"10kPoint", "100kPoint"};
    memorySize_[1] = {"10kPoint", "100kPoint", "1MPoint"};
    waveForm_ = {"Sample", "Average", "Envelope"};
    for (int i = 1; i <= 9; ++i) {
        number_[0].push_back(std::to_string(1 << i));
    }
    number_[1].assign(number_[0].begin(), number_[0].begin() + 7);
    number_[2] = NumberMenuCaptions();
    mathScale_.assign(MathMenuCaptions().begin(), MathMenuCaptions().begin() + kMathScaleCount);
    for (int i = 0; i < kFftDbvCount; ++i) {
        fftDbv_.push_back(DbText(OneTwoFive(i + 6)));  // 100 mdB first
    }
    for (int g = 0; g < kMemorySizeCount; ++g) {
        for (int k = 0; k < kFftHScaleGroupLists; ++k) {
            ItemList& list = fftHScale_[static_cast<std::size_t>(g)][static_cast<std::size_t>(k)];
            for (std::int64_t v : FftHScaleValues(g, k)) {
                list.push_back(FrequencyText(v));
            }
        }
    }
}

const ItemList& ValueLists::VoltsPerDiv(int probeIndex) const {
    return At(voltsPerDiv_, probeIndex, "V/div list");
}
const ItemList& ValueLists::Probe() const {
    return probe_;
}
const ItemList& ValueLists::Coupling() const {
    return coupling_;
}
const ItemList& ValueLists::TrigSource() const {
    return trigSource_;
}
const ItemList& ValueLists::TrigCoupling(int sourceKind) const {
    return At(trigCoupling_, sourceKind, "trigger coupling list");
}
const ItemList& ValueLists::Slope() const {
    return slope_;
}
const ItemList& ValueLists::TimeDiv(int memoryIndex) const {
    return At(timeDiv_, memoryIndex, "T/div list");
}
const ItemList& ValueLists::MemorySize(int deviceKind) const {
    return At(memorySize_, deviceKind, "memory size list");
}
const ItemList& ValueLists::WaveForm() const {
    return waveForm_;
}
const ItemList& ValueLists::Number(int which) const {
    return At(number_, which, "number list");
}
const ItemList& ValueLists::MathScale() const {
    return mathScale_;
}
const ItemList& ValueLists::FftVScale(int type) const {
    if (type == 0) {
        return mathScale_;
    }
    if (type == 1) {
        return fftDbv_;
    }
    throw std::out_of_range("FFT vertical list");
}
const ItemList& ValueLists::FftHScale(int group, int k) const {
    return At(At(fftHScale_, group, "FFT horizontal group"), k, "FFT horizontal list");
}

// ---------------------------------------------------------------------------

std::optional<LeadingInteger> ParseLeadingInteger(std::string_view text) {
    std::size_t i = 0;
    std::int64_t value = 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        const int digit = text[i] - '0';
        if (value > (kMax - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
        ++i;
    }
    if (i == 0) {
        return std::nullopt;
    }
    return LeadingInteger{value, i};
}

namespace {

std::optional<std::int64_t> Scaled(std::int64_t value, std::int64_t factor) {
    if (value > std::numeric_limits<std::int64_t>::max() / factor) {
        return std::nullopt;
    }
    return value * factor;
}

std::optional<int> AsInt(std::optional<std::int64_t> v) {
    if (!v || *v > std::numeric_limits<int>::max()) {
        return std::nullopt;
    }
    return static_cast<int>(*v);
}

char After(std::string_view text, std::size_t end) {
    return end < text.size() ? text[end] : '\0';
}

}  // namespace

std::optional<long double> ParseTimePerDivNs(std::string_view text) {
    const auto n = ParseLeadingInteger(text);
    if (!n) {
        return std::nullopt;
    }
    std::int64_t factor = 0;
    switch (After(text, n->end)) {
        case 'n':
            factor = 1;
            break;
        case 'u':
            factor = 1000;
            break;
        case 'm':
            factor = 1000000;
            break;
        case 's':
            factor = 1000000000;
            break;
        default:
            return std::nullopt;
    }
    // The product is an exact integer; the extended type holds every integer
    // up to 2^64 exactly, so the conversion adds no rounding.
    const auto ns = Scaled(n->value, factor);
    if (!ns) {
        return std::nullopt;
    }
    return static_cast<long double>(*ns);
}

std::optional<int> ParseMillivolts(std::string_view text) {
    const auto n = ParseLeadingInteger(text);
    if (!n) {
        return std::nullopt;
    }
    return AsInt(Scaled(n->value, After(text, n->end) == 'V' ? 1000 : 1));
}

std::optional<int> ParseFftVScale(std::string_view text) {
    const auto n = ParseLeadingInteger(text);
    if (!n) {
        return std::nullopt;
    }
    switch (After(text, n->end)) {
        case 'K':
            return AsInt(Scaled(n->value, 1000000));
        case 'm':
            return AsInt(n->value);
        default:
            return AsInt(Scaled(n->value, 1000));
    }
}

std::optional<int> ParseAcquireCount(std::string_view text) {
    if (text == "∞") {
        return -1;
    }
    const auto n = ParseLeadingInteger(text);
    if (!n || n->end != text.size()) {
        return std::nullopt;
    }
    return AsInt(n->value);
}

const std::array<DisplayItemDefault, kDisplayItemCount>& DisplayItemDefaults() {
    using namespace wincolor;
    static constexpr std::array<DisplayItemDefault, kDisplayItemCount> kDefaults = {{
        {kRed, 250},      // CH1 trace / tracePosition[0]
        {kBlue, 250},     // CH2 trace / tracePosition[1]
        {kGreen, 250},    // MATH trace / tracePosition[3]
        {kPurple, 100},   // FFT trace / tracePosition[4]
        {kWhite, 250},    // graph background / trigLevel
        {kSilver, 5000},  // graph scale / trigPosition
        {kLime, 150},     // trigger level marker / cursorT1
        {kTeal, 350},     // trigger position marker / cursorT2
        {kFuchsia, 100},  // delta-T cursors / cursorV1
        {kAqua, 300},     // delta-V cursors / cursorV2
    }};
    return kDefaults;
}

}  // namespace lumatrace
