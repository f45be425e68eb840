#include "app/files/WaveformCodec.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/platform/TextEncoding.h"

namespace lumatrace {

namespace {

constexpr std::string_view kCrLf = "\r\n";

void Line(std::string& out, std::string_view text) {
    out += text;
    out += kCrLf;
}

std::string Int(long long v) {
    return std::to_string(v);
}

// "%f": two decimals.
std::string Fixed2(long double v) {
    char buf[64];
    const int n = std::snprintf(buf, sizeof buf, "%.2Lf", v);
    return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string Quoted(std::string_view text) {
    std::string s = "\"";
    s += text;
    s += '"';
    return s;
}

// "\"Name = text\",v1,v2,..."
std::string Values(std::string_view caption, std::initializer_list<std::string> values) {
    std::string s = Quoted(caption);
    for (const std::string& v : values) {
        s += ',';
        s += v;
    }
    return s;
}

void WriteChannel(std::string& out, const ChannelFileSettings& c, std::string_view heading) {
    Line(out, Quoted(heading));
    Line(out, Values(std::string("Use = ") + (c.channelOn ? "True" : "False"),
                     {Int(c.channelOn ? 1 : 0)}));
    Line(out, Values("Volt/div = " + c.voltsPerDivText,
                     {Int(c.voltsPerDivIndex), Int(c.voltsPerDivMv)}));
    Line(out, Values("Probe = " + c.probeText, {Int(c.probeIndex)}));
    Line(out, Values("Coupling = " + c.couplingText, {Int(c.displayCoupling)}));
    const int pos = 500 - c.tracePosition;
    Line(out, Values("VoltPos = " + Int(pos), {Int(pos)}));
}

const char* OnOff(bool on) {
    return on ? "ON" : "OFF";
}

}  // namespace

std::optional<std::string> WriteSettingsBlock(const WaveformFileSettings& s) {
    std::string out;
    out.reserve(2048);
    Line(out, "\"ZEP-9100\",$AB00," + Fixed2(1.0L));
    WriteChannel(out, s.channel[0], "≪CH1≫");
    WriteChannel(out, s.channel[1], "≪CH2≫");

    Line(out, Quoted("≪TRIGGER≫"));
    static const char* const kModes[] = {"AUTO", "NORMAL", "FREERUN"};
    // A mode outside the three has no name of its own; its number still says it.
    const char* mode = s.trigMode >= 0 && s.trigMode < 3 ? kModes[s.trigMode] : "";
    Line(out, Values(std::string("TrigMode = ") + mode, {Int(s.trigMode)}));
    Line(out, Values("Source = " + s.trigSourceText, {Int(s.trigSourceIndex)}));
    Line(out, Values("Coupling = " + s.trigCouplingText,
                     {Int(s.trigCouplingIndex), Int(s.trigCouplingBySource[0]),
                      Int(s.trigCouplingBySource[1])}));
    Line(out, Values("Slope = " + s.trigSlopeText, {Int(s.trigSlopeIndex)}));
    const int level = 500 - s.trigLevel;
    Line(out, Values("Level = " + Int(level), {Int(level), Fixed2(s.trigLevelOffset)}));
    Line(out, Values("Pos = " + Int(s.trigPosition), {Int(s.trigPosition)}));
    const std::string delay =
        s.delayChecked ? "ON (" + s.delayText + s.delayUnitText + ")" : std::string("OFF");
    Line(out, Values("Delay = " + delay, {Int(s.delayChecked ? 1 : 0), Int(s.trigDelay)}));
    const std::string pulse = s.pulseChecked ? "ON (" + s.pulseText + s.pulseUnitText +
                                                   (s.pulseAbove ? "以上" : "未満") + ")"
                                             : std::string("OFF");
    Line(out, Values("Pulse = " + pulse,
                     {Int(s.pulseChecked ? 1 : 0), Int(s.pulseAbove ? 2 : 1), Int(s.pulseWidth)}));

    Line(out, Quoted("≪HORIZONTAL≫"));
    const std::string sampling =
        s.equivalentActive && !s.equivalentAsRealTime ? std::string("100ps") : s.samplingTimeText;
    Line(out, Values("Time/div = " + s.timeDivText + " (SamplingTime : " + sampling + ")",
                     {Int(s.timeDivIndex)}));
    Line(out, Values("MemorySize = " + s.memorySizeText, {Int(s.memorySizeIndex)}));

    Line(out, Quoted("≪BAND WIDTH≫"));
    for (int ch = 0; ch < 2; ++ch) {
        const int limit = s.channel[ch].bandwidthLimit;
        Line(out, Values(std::string(ch == 0 ? "CH1 = " : "CH2 = ") + (limit ? "20MHz" : "FULL"),
                         {Int(limit)}));
    }

    Line(out, Quoted("≪ACQUIRE≫"));
    Line(out, Values(std::string("Equivalence = ") + OnOff(s.equivalentActive),
                     {Int(s.equivalentChecked ? 1 : 0), Int(s.equivalentAsRealTime ? 1 : 0)}));
    Line(out, Values(std::string("Roll = ") + OnOff(s.rollActive), {Int(s.rollChecked ? 1 : 0)}));
    Line(out, Values("WaveForm = " + s.waveformText, {Int(s.waveformMode)}));
    Line(out, Values("Number = " + s.numberText,
                     {Int(s.numberIndex), Int(s.acquireCountIndex), Int(s.acquireCountReserved)}));

    Line(out, Quoted("≪CURSOR≫"));
    Line(out, Values(std::string("ΔT = ") + OnOff(s.cursorTOn),
                     {Int(s.cursorTOn ? 1 : 0), Int(s.cursorT1), Int(s.cursorT2)}));
    Line(out, Values(std::string("ΔV = ") + OnOff(s.cursorVOn),
                     {Int(s.cursorVOn ? 1 : 0), Int(s.cursorV1), Int(s.cursorV2)}));
    return Utf8ToCp932(out);
}

long double SampleVolts(int code, int voltsPerDivMv, int probeFactor, int tracePosition) {
    const long long d = static_cast<long long>(voltsPerDivMv) * probeFactor;
    long double f = 10.0L * static_cast<long double>(d);
    if (d / 1000 != 0) {
        f = f / 1000.0L;
    }
    const long double p = 500 - tracePosition;
    return static_cast<long double>(code) * f / 1024.0L - p * f / 500.0L;
}

DataBlockWriter::DataBlockWriter(const WaveformFileSettings& s) {
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelFileSettings& c = s.channel[ch];
        on_[ch] = c.channelOn;
        for (int m = 0; m < 1024; ++m) {
            Field& code = code_[ch][m];
            code.size = static_cast<std::uint8_t>(
                std::snprintf(code.text.data(), code.text.size(), "%4d", m));
            const long double v =
                c.displayCoupling == 2
                    ? 0.0L
                    : SampleVolts(m, c.voltsPerDivMv, c.probeFactor, c.tracePosition);
            Field& volts = volts_[ch][m];
            const int n = std::snprintf(volts.text.data(), volts.text.size(), "%8.2Lf", v);
            // Only absurd settings overflow the field; keep what fits.
            volts.size = static_cast<std::uint8_t>(
                n < 0 ? 0 : std::min<int>(n, static_cast<int>(volts.text.size()) - 1));
        }
    }
}

namespace {

inline void Put(char*& p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    p += text.size();
}

}  // namespace

void DataBlockWriter::WriteDataBlock(std::string& out, const SampleWord* record,
                                     std::size_t firstSample) const {
    if (!on_[0] && !on_[1]) {
        return;
    }
    const bool both = on_[0] && on_[1];
    if (both) {
        out += "\r\n\"** A/D Data **\",,\"** Volt Value **\"\r\n";
        out += "\"<CH1>\",\"<CH2>\",\"<CH1>\",\"<CH2>\"\r\n";
    } else {
        const char* label = on_[0] ? "\"<CH1>\"" : "\"<CH2>\"";
        out += "\r\n\"** A/D Data **\",\"** Volt Value **\"\r\n";
        out += label;
        out += ',';
        out += label;
        out += kCrLf;
    }
    // Longest row: two fields of 21 bytes, two of 21, three commas, CR LF.
    constexpr std::size_t kMaxRow = 4 * 21 + 3 + 2;
    const std::size_t start = out.size();
    out.resize(start + kMaxRow * kRowsPerFile);
    char* p = out.data() + start;
    const auto field = [](const Field& f) { return std::string_view(f.text.data(), f.size); };
    const SampleWord* words = record + firstSample;
    const int single = on_[0] ? 0 : 1;
    for (int j = 0; j < kRowsPerFile; ++j) {
        const SampleWord w = words[j];
        const unsigned h1 = w & 0xFFFFu;
        const unsigned h2 = w >> 16;
        if (both) {
            if (h1 != 0xFFFFu && h2 != 0xFFFFu) {
                Put(p, field(code_[0][h1 & 0x3FF]));
                *p++ = ',';
                Put(p, field(code_[1][h2 & 0x3FF]));
                *p++ = ',';
                Put(p, field(volts_[0][h1 & 0x3FF]));
                *p++ = ',';
                Put(p, field(volts_[1][h2 & 0x3FF]));
            } else if (h2 != 0xFFFFu) {
                Put(p, "NULL,");
                Put(p, field(code_[1][h2 & 0x3FF]));
                Put(p, ",        ,");
                Put(p, field(volts_[1][h2 & 0x3FF]));
            } else if (h1 != 0xFFFFu) {
                Put(p, field(code_[0][h1 & 0x3FF]));
                Put(p, ",NULL,");
                Put(p, field(volts_[0][h1 & 0x3FF]));
                *p++ = ',';
            } else {
                Put(p, "NULL,NULL");
            }
        } else {
            const unsigned h = single == 0 ? h1 : h2;
            if (h == 0xFFFFu) {
                Put(p, "NULL");
            } else {
                Put(p, field(code_[single][h & 0x3FF]));
                *p++ = ',';
                Put(p, field(volts_[single][h & 0x3FF]));
            }
        }
        *p++ = '\r';
        *p++ = '\n';
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
}

std::string IndexHeader(std::string_view stamp) {
    // "≪ ZEP-9100 CSV Files ≫  " in CP932.
    std::string out = "\x81\xE1 ZEP-9100 CSV Files \x81\xE2  ";
    out += stamp;
    out += "\r\n\r\n";
    return out;
}

std::string FormatIndexTimestamp(const std::tm& t) {
    char buf[64];
    int n =
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    if (t.tm_hour != 0 || t.tm_min != 0 || t.tm_sec != 0) {
        n += std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), " %d:%02d:%02d",
                           t.tm_hour, t.tm_min, t.tm_sec);
    }
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string CurrentIndexTimestamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return FormatIndexTimestamp(local);
}

// ---------------------------------------------------------------------------

bool LineCursor::Next(std::string_view& line) {
    if (pos_ >= text_.size()) {
        return false;
    }
    const std::size_t lf = text_.find('\n', pos_);
    const std::size_t end = lf == std::string_view::npos ? text_.size() : lf;
    line = text_.substr(pos_, end - pos_);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    pos_ = lf == std::string_view::npos ? text_.size() : lf + 1;
    return true;
}

ValueLine ReadValueLine(std::string_view line) {
    ValueLine v;
    while (!line.empty() && line.back() == ',') {
        line.remove_suffix(1);
    }
    // Trail bytes of CP932 characters never equal a comma, so the first
    // field's text can be skipped byte by byte.
    const std::size_t comma = line.find(',');
    if (comma == std::string_view::npos) {
        return v;
    }
    std::string_view rest = line.substr(comma + 1);
    for (;;) {
        const std::size_t next = rest.find(',');
        if (v.count < static_cast<int>(v.values.size())) {
            v.values[v.count++] = rest.substr(0, next);
        }
        if (next == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(next + 1);
    }
    return v;
}

bool ReadValueLine(LineCursor& file, ValueLine& out) {
    std::string_view line;
    if (!file.Next(line)) {
        return false;
    }
    out = ReadValueLine(line);
    return true;
}

namespace {

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') {
        s.remove_suffix(1);
    }
    return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<int> ParseInteger(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        int digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            return std::nullopt;
        }
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFFull) {
            return std::nullopt;
        }
    }
    if (base == 16 && !negative) {
        // Hexadecimal spells the 32-bit pattern: $FFFFFFFF is -1.
        return static_cast<int>(static_cast<std::uint32_t>(value));
    }
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) {
        return std::nullopt;
    }
    return negative ? static_cast<int>(-static_cast<long long>(value)) : static_cast<int>(value);
}

std::optional<bool> ParseFlag(std::string_view text) {
    if (const std::optional<int> v = ParseInteger(text)) {
        return *v != 0;
    }
    const std::string_view t = TrimBlanks(text);
    if (EqualsNoCase(t, "true")) {
        return true;
    }
    if (EqualsNoCase(t, "false")) {
        return false;
    }
    return std::nullopt;
}

std::optional<long double> ParseDecimal(std::string_view text) {
    text = TrimBlanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // The library's long double conversion may look for a terminating NUL
    // beyond the range it is given, so it gets a terminated copy.
    const std::string copy(text);
    long double v = 0;
    const auto [end, ec] =
        std::from_chars(copy.data(), copy.data() + copy.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != copy.data() + copy.size()) {
        return std::nullopt;
    }
    return v;
}

// ---------------------------------------------------------------------------

namespace {

// Reads the settings lines one after the other, turning each into steps.
class SettingsReader {
  public:
    SettingsReader(LineCursor& file, std::vector<RestoreStep>& steps)
        : file_(file), steps_(steps) {}

    bool Skip() {
        std::string_view line;
        return file_.Next(line);
    }
    // Reads the next line, which must carry at least `count` values.
    bool Read(int count) { return ReadValueLine(file_, line_) && line_.count >= count; }
    std::optional<int> Int(int i) const { return ParseInteger(line_.values[i]); }
    std::optional<bool> Flag(int i) const { return ParseFlag(line_.values[i]); }
    std::optional<long double> Decimal(int i) const { return ParseDecimal(line_.values[i]); }

    // A list index must name an item of a list of `size` items.
    bool Index(std::string_view control, int i, int size) {
        const std::optional<int> v = Int(i);
        if (!v || *v < 0 || *v >= size) {
            return false;
        }
        steps_.push_back({RestoreStep::Kind::ItemIndex, control, -1, static_cast<long double>(*v)});
        return true;
    }
    bool Mirror(std::string_view name, int element, std::optional<int> v) {
        if (!v) {
            return false;
        }
        steps_.push_back({RestoreStep::Kind::Mirror, name, element, static_cast<long double>(*v)});
        return true;
    }
    bool Check(std::string_view control, std::optional<bool> v,
               RestoreStep::Kind kind = RestoreStep::Kind::Checked) {
        if (!v) {
            return false;
        }
        steps_.push_back({kind, control, -1, *v ? 1.0L : 0.0L});
        return true;
    }
    void Push(RestoreStep step) { steps_.push_back(step); }

  private:
    LineCursor& file_;
    std::vector<RestoreStep>& steps_;
    ValueLine line_;
};

// List sizes: a stored index outside its list would leave the panel without a
// selection that the change handlers can turn into settings.
constexpr int kVdItems = 8, kProbeItems = 3, kCouplingItems = 3, kSourceItems = 3,
              kTrigCouplingItems = 3, kSlopeItems = 2, kMemoryItems = 3, kWaveformItems = 3,
              kNumberItems = 11;

bool ReadChannel(SettingsReader& r, int ch, bool& on) {
    static constexpr std::string_view kButton[] = {"SpeedButtonCh1", "SpeedButtonCh2"};
    static constexpr std::string_view kVd[] = {"ComboBoxVd1", "ComboBoxVd2"};
    static constexpr std::string_view kPb[] = {"ComboBoxPb1", "ComboBoxPb2"};
    static constexpr std::string_view kCup[] = {"ComboBoxCup1", "ComboBoxCup2"};
    if (!r.Skip() || !r.Read(1)) {
        return false;
    }
    const std::optional<bool> use = r.Flag(0);
    if (!use) {
        return false;
    }
    on = *use;
    r.Push({RestoreStep::Kind::Mirror, "channelOn", ch, on ? 1.0L : 0.0L});
    r.Push({RestoreStep::Kind::Down, kButton[ch], -1, on ? 1.0L : 0.0L});
    if (!r.Read(2) || !r.Int(1) || !r.Index(kVd[ch], 0, kVdItems) ||
        !r.Mirror("voltsPerDivMv", ch, r.Int(1))) {
        return false;
    }
    if (!r.Read(1) || !r.Index(kPb[ch], 0, kProbeItems)) {
        return false;
    }
    if (!r.Read(1) || !r.Index(kCup[ch], 0, kCouplingItems)) {
        return false;
    }
    if (!r.Read(1)) {
        return false;
    }
    const std::optional<int> pos = r.Int(0);
    return r.Mirror("tracePosition", ch, pos ? std::optional<int>(500 - *pos) : std::nullopt);
}

}  // namespace

bool ReadSettingsBlock(LineCursor& file, std::vector<RestoreStep>& steps, ChannelsOn& channels) {
    SettingsReader r(file, steps);
    // Header: magic and version.
    if (!r.Read(2)) {
        return false;
    }
    const std::optional<int> magic = r.Int(0);
    const std::optional<long double> version = r.Decimal(1);
    if (!magic || static_cast<std::uint32_t>(*magic) != kWaveformMagic || !version) {
        return false;
    }
    const bool current = *version >= 0.03L;
    const bool second = *version >= 0.02L;

    if (!ReadChannel(r, 0, channels.ch1) || !ReadChannel(r, 1, channels.ch2)) {
        return false;
    }

    // Trigger.
    if (!r.Skip() || !r.Read(1) || !r.Mirror("trigMode", -1, r.Int(0))) {
        return false;
    }
    if (!r.Read(1) || !r.Index("ComboBoxTrigSrc", 0, kSourceItems)) {
        return false;
    }
    if (!r.Read(current ? 3 : 1) || (current && (!r.Int(1) || !r.Int(2))) ||
        !r.Index("ComboBoxTrigCup", 0, kTrigCouplingItems)) {
        return false;
    }
    if (current && (!r.Mirror("trigCouplingBySource", 0, r.Int(1)) ||
                    !r.Mirror("trigCouplingBySource", 1, r.Int(2)))) {
        return false;
    }
    if (!r.Read(1) || !r.Index("ComboBoxTrigSp", 0, kSlopeItems)) {
        return false;
    }
    if (!r.Read(2)) {
        return false;
    }
    const std::optional<int> level = r.Int(0);
    const std::optional<long double> offset = r.Decimal(1);
    if (!level || !offset) {
        return false;
    }
    r.Mirror("trigLevel", -1, 500 - *level);
    r.Push({RestoreStep::Kind::Mirror, "trigLevelOffset", -1, *offset});
    if (!r.Read(1) || !r.Mirror("trigPosition", -1, r.Int(0))) {
        return false;
    }
    const int delayAt = current ? 1 : 2;
    if (!r.Read(delayAt + 1) || !r.Int(delayAt) || !r.Check("CheckBoxDelay", r.Flag(0)) ||
        !r.Mirror("trigDelay", -1, r.Int(delayAt))) {
        return false;
    }
    const int conditionAt = current ? 1 : 2;
    if (!r.Read(conditionAt + 2) || !r.Flag(0) || !r.Int(conditionAt) || !r.Int(conditionAt + 1)) {
        return false;
    }
    r.Check("CheckBoxPulse", r.Flag(0));
    r.Check(*r.Int(conditionAt) == 1 ? "RdBtnUnder" : "RdBtnAbove", true);
    r.Mirror("pulseWidth", -1, r.Int(conditionAt + 1));

    // Horizontal.
    if (!r.Skip() || !r.Read(1)) {
        return false;
    }
    const std::optional<int> timeDiv = r.Int(0);
    if (!timeDiv || *timeDiv < 0 || *timeDiv >= 37) {
        return false;
    }
    r.Mirror("timeDivIndex", -1, timeDiv);
    if (!r.Read(1) || !r.Index("ComboBoxMemSize", 0, kMemoryItems)) {
        return false;
    }

    // Bandwidth.
    if (!r.Skip()) {
        return false;
    }
    for (int ch = 0; ch < 2; ++ch) {
        if (!r.Read(1) || !r.Int(0)) {
            return false;
        }
        const bool limited = *r.Int(0) != 0;
        r.Check(ch == 0 ? (limited ? "RdBtn20MHz1" : "RdBtnFull1")
                        : (limited ? "RdBtn20MHz2" : "RdBtnFull2"),
                true);
    }

    // Acquire.
    if (second && !r.Skip()) {
        return false;
    }
    if (!r.Read(2) || !r.Int(1) || !r.Check("CheckBoxEqu", r.Flag(0)) ||
        !r.Mirror("equivalentAsRealTime", -1, r.Int(1))) {
        return false;
    }
    if (!r.Read(1) || !r.Check("CheckBoxRoll", r.Flag(0))) {
        return false;
    }
    if (!r.Read(1) || !r.Index("ComboBoxWaveForm", 0, kWaveformItems)) {
        return false;
    }
    if (current) {
        if (!r.Read(3) || !r.Int(1) || !r.Int(2) || !r.Index("ComboBoxNumber", 0, kNumberItems) ||
            !r.Mirror("acquireCountIndex", -1, r.Int(1)) ||
            !r.Mirror("acquireCountReserved", -1, r.Int(2))) {
            return false;
        }
    }

    // Cursors.
    if (second && !r.Skip()) {
        return false;
    }
    static constexpr std::string_view kCursorButton[] = {"SpeedButtonDt", "SpeedButtonDv"};
    static constexpr std::string_view kCursor1[] = {"cursorT1", "cursorV1"};
    static constexpr std::string_view kCursor2[] = {"cursorT2", "cursorV2"};
    for (int i = 0; i < 2; ++i) {
        if (!r.Read(3) || !r.Flag(0) || !r.Int(1) || !r.Int(2)) {
            return false;
        }
        r.Check(kCursorButton[i], r.Flag(0), RestoreStep::Kind::Down);
        r.Mirror(kCursor1[i], -1, r.Int(1));
        r.Mirror(kCursor2[i], -1, r.Int(2));
    }
    return true;
}

namespace {

// One code field of a row, starting at p: "NULL" (no sample), or a
// non-negative integer with blanks around it that fits a half word (a larger
// one would spill into the other channel's half). On success p is left on
// the character that ends the field: a comma, the line end or the end of the
// text. The rows are parsed in place, one pass over the bytes.
[[gnu::always_inline]] inline bool ParseCodeField(const char*& p, const char* end,
                                                  std::uint32_t& half) {
    // The writer's own form first: four characters, right-aligned, then a comma.
    if (end - p >= 5 && p[4] == ',') {
        int i = 0;
        while (i < 3 && p[i] == ' ') {
            ++i;
        }
        std::uint32_t v = 0;
        for (; i < 4; ++i) {
            const unsigned digit = static_cast<unsigned char>(p[i]) - unsigned{'0'};
            if (digit > 9) {
                break;
            }
            v = v * 10 + digit;
        }
        if (i == 4) {
            half = v;
            p += 4;
            return true;
        }
    }
    if (end - p >= 4 && p[0] == 'N' && p[1] == 'U' && p[2] == 'L' && p[3] == 'L') {
        p += 4;
        half = 0xFFFFu;
    } else {
        while (p < end && static_cast<unsigned char>(*p) <= ' ' && *p != '\n') {
            ++p;
        }
        const char* digits = p;
        std::uint32_t v = 0;
        while (p < end && *p >= '0' && *p <= '9' && p - digits < 9) {
            v = v * 10 + static_cast<std::uint32_t>(*p - '0');
            ++p;
        }
        if (p == digits || v > 0xFFFFu) {
            return false;
        }
        while (p < end && static_cast<unsigned char>(*p) <= ' ' && *p != '\n') {
            ++p;
        }
        half = v;
    }
    // A carriage return belongs to the line end, not the field.
    if (p < end && *p == '\r' && p + 1 < end && p[1] == '\n') {
        ++p;
    }
    return p == end || *p == ',' || *p == '\n';
}

// The position after the next line feed (or the end). Rows are about 30
// bytes, too short for a library search to pay off: sixteen bytes at a time
// where the processor has SSE2, eight elsewhere.
[[gnu::always_inline]] inline const char* AfterLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lf)));
        if (mask != 0) {
            return p + __builtin_ctz(mask) + 1;
        }
        p += 16;
    }
#else
    constexpr std::uint64_t kOnes = 0x0101010101010101ull;
    constexpr std::uint64_t kHighs = 0x8080808080808080ull;
    while (end - p >= 8) {
        std::uint64_t chunk;
        std::memcpy(&chunk, p, 8);
        const std::uint64_t x = chunk ^ (kOnes * '\n');
        const std::uint64_t found = (x - kOnes) & ~x & kHighs;
        if (found != 0) {
            // Little-endian: the lowest flagged byte is the first line feed.
            return p + (__builtin_ctzll(found) >> 3) + 1;
        }
        p += 8;
    }
#endif
    while (p < end) {
        if (*p++ == '\n') {
            return p;
        }
    }
    return end;
}

// Line feeds among the 64 bytes from p: bit i for p[i].
[[gnu::always_inline]] inline std::uint64_t LineFeeds64(const char* p) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const auto at = [&](int i) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        return static_cast<std::uint64_t>(
                   static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lf))))
               << (16 * i);
    };
    return at(0) | at(1) | at(2) | at(3);
#else
    std::uint64_t bits = 0;
    for (int i = 0; i < 64; ++i) {
        bits |= static_cast<std::uint64_t>(p[i] == '\n') << i;
    }
    return bits;
#endif
}

// The first characters of a row, p[0] to p[9], as the writer's own form
// would have them: bit i of `digit` set where p[i] is a digit, of `padding`
// where p[i] is what the writer puts there around the digits (a blank in
// each code, the comma behind it at 4 and 9). Codes() gives the codes of
// p[0..3] and p[5..8] in its low and high 16 bits, blanks counting as
// leading zeros; they are meaningful only where the masks say the form
// holds.
struct RowHead {
    unsigned digit;
    unsigned padding;
#if defined(__SSE2__)
    __m128i words;  // the codes in its low 32 bits
    std::uint32_t Codes() const {
        return static_cast<std::uint32_t>(_mm_cvtsi128_si32(words));
    }
#else
    std::uint32_t codes;
    std::uint32_t Codes() const {
        return codes;
    }
#endif
};
[[gnu::always_inline]] inline RowHead ReadRowHead(const char* p) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto mask = [](__m128i m) { return static_cast<unsigned>(_mm_movemask_epi8(m)); };
    const __m128i values = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
    const unsigned digit = mask(_mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values));
    const __m128i writer =
        _mm_setr_epi8(' ', ' ', ' ', ' ', ',', ' ', ' ', ' ', ' ', ',', 0, 0, 0, 0, 0, 0);
    const unsigned padding = mask(_mm_cmpeq_epi8(bytes, writer));
    // A digit's low nibble is its value, a blank's is zero. The two codes'
    // eight characters side by side as 16-bit lanes, weighted and summed in
    // pairs, then the pairs summed.
    const __m128i nibbles = _mm_and_si128(bytes, _mm_set1_epi8(0x0F));
    const __m128i eight = _mm_unpacklo_epi8(_mm_unpacklo_epi32(nibbles, _mm_srli_si128(nibbles, 5)),
                                            _mm_setzero_si128());
    const __m128i pairs = _mm_madd_epi16(eight, _mm_setr_epi16(1000, 100, 10, 1, 1000, 100, 10, 1));
    const __m128i sums = _mm_add_epi32(pairs, _mm_srli_epi64(pairs, 32));
    // Lanes 0 and 2 hold the codes (at most 9999), packed to 16-bit words 0
    // and 2, then brought to words 0 and 1.
    return {digit, padding, _mm_shufflelo_epi16(_mm_packs_epi32(sums, sums), 0x08)};
#else
    static constexpr char kWriter[] = "    ,    ,";
    RowHead h{0, 0, 0};
    std::uint32_t code[2] = {0, 0};
    for (unsigned i = 0; i < 10; ++i) {
        const unsigned b = static_cast<unsigned char>(p[i]);
        h.digit |= static_cast<unsigned>(b - '0' < 10) << i;
        h.padding |= static_cast<unsigned>(b == static_cast<unsigned char>(kWriter[i])) << i;
        if (i != 4 && i != 9) {
            code[i / 5] = code[i / 5] * 10 + (b & 0x0F);
        }
    }
    h.codes = (code[1] & 0xFFFFu) << 16 | (code[0] & 0xFFFFu);
    return h;
#endif
}

// Reads rows of the writer's own form from p on, into out[j], out[j + 1],
// ... up to out[kRowsPerFile - 1]: "%4d,%4d,..." when both channels are on,
// "%4d,..." for one (its code goes to its half by `shift`, `empty` fills the
// other). Stops at the first row of any other form, or too near the end of
// the text to look ahead, leaving p on that row; returns the index of the
// next row to read.
//
// The line feeds of 64 bytes at a time are found first, so that where a row
// ends never waits for the row before it; the code characters of a row are
// classified and converted together, with no branch on how many blanks pad a
// code (the codes vary from row to row, and a mispredicted branch per field
// cost more than the whole row).
template <bool both>
int ReadWriterRows(const char*& p, const char* end, SampleWord* out, int j, int shift,
                   SampleWord empty) {
    // Bit i stands for a row's i-th character: the code characters, those
    // that may be blanks (all but the last of each code), the commas behind.
    constexpr unsigned codes = both ? 0x1EFu : 0x00Fu;
    constexpr unsigned padding = both ? 0x0E7u : 0x007u;
    constexpr unsigned commas = both ? 0x210u : 0x010u;
    // A row starts inside the 64 bytes whose line feeds are at hand, with at
    // least 16 bytes behind it to classify.
    constexpr std::ptrdiff_t kAhead = 64 + 16;
    const char* row = p;
    if (end - row < kAhead) {
        return j;
    }
    const char* base = row;
    std::uint64_t lineFeeds = LineFeeds64(base);  // those at or after `row`
    for (; j < kRowsPerFile; ++j) {
        while (lineFeeds == 0) {
            base += 64;
            if (end - base < kAhead) {
                p = row;
                return j;
            }
            lineFeeds = LineFeeds64(base);
        }
        // Each code: blanks, then digits up to its last character, then a
        // comma (so no line feed among them). The blanks of a code are the
        // low bits of its four: adding one to each group of four clears them.
        const RowHead head = ReadRowHead(row);
        const unsigned blanks = head.padding & padding;
        if ((((head.digit & codes) | blanks | (head.padding & commas)) != (codes | commas)) |
            ((blanks & (blanks + 0x21u)) != 0)) {
            break;
        }
        if constexpr (both) {
            out[j] = head.Codes();
        } else {
            out[j] = (head.Codes() & 0xFFFFu) << shift | empty;
        }
        // The volt columns are not read: the row ends at its line feed.
        row = base + static_cast<std::size_t>(__builtin_ctzll(lineFeeds)) + 1;
        lineFeeds &= lineFeeds - 1;
    }
    p = row;
    return j;
}

}  // namespace

bool ReadDataBlock(LineCursor& file, ChannelsOn channels, std::span<SampleWord> record,
                   std::size_t firstSample) {
    if (firstSample > record.size() || record.size() - firstSample < kRowsPerFile) {
        return false;
    }
    if (firstSample == 0) {
        std::fill(record.begin(), record.end(), kNoSampleWord);
    }
    if (file.AtEnd()) {
        return true;
    }
    std::string_view row;
    for (int i = 0; i < 3; ++i) {
        if (!file.Next(row)) {
            return false;
        }
    }
    const std::string_view rest = file.Rest();
    const char* p = rest.data();
    const char* const end = p + rest.size();
    const bool both = channels.ch1 && channels.ch2;
    SampleWord* out = record.data() + firstSample;
    // Rows of the writer's own form take the quick way; the careful one
    // reads any other row, and the last ones (too near the end of the text
    // to look ahead).
    // With one channel on, its code goes to its half of the word and the
    // other half is empty.
    const int shift = channels.ch1 ? 0 : 16;
    const SampleWord empty = channels.ch1 ? 0xFFFF0000u : 0xFFFFu;
    for (int j = 0; j < kRowsPerFile; ++j) {
        j = both ? ReadWriterRows<true>(p, end, out, j, shift, empty)
                 : ReadWriterRows<false>(p, end, out, j, shift, empty);
        if (j == kRowsPerFile) {
            break;
        }
        std::uint32_t a = 0;
        std::uint32_t b = 0;
        if (p == end) {
            return false;  // rows missing
        }
        const bool null = end - p >= 4 && p[0] == 'N';
        if (!ParseCodeField(p, end, a)) {
            return false;
        }
        // The first field ends at a comma; a row without one holds only "NULL".
        const bool comma = p < end && *p == ',';
        if (!comma && !(null && a == 0xFFFFu && !both)) {
            return false;
        }
        if (both) {
            ++p;
            if (!ParseCodeField(p, end, b)) {
                return false;
            }
            out[j] = (b << 16) | a;
        } else {
            out[j] = a << shift | empty;
        }
        // The volt columns are not read.
        p = AfterLineEnd(p, end);
    }
    file.Skip(static_cast<std::size_t>(p - rest.data()));
    return true;
}

}  // namespace lumatrace
