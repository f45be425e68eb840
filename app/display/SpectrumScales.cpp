#include "app/display/SpectrumScales.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/settings/PanelRules.h"

namespace lumatrace {

int FftLengthFor(int memoryPoints) {
    if (memoryPoints >= 1000000)
        return 524288;
    if (memoryPoints >= 100000)
        return 65536;
    return 8192;
}

int FftStages(int n) {
    int stages = 0;
    while (n > 1) {
        n >>= 1;
        ++stages;
    }
    return stages;
}

int RollIntervalMsFor(int memoryPoints) {
    return memoryPoints >= 1000000 ? 100 : 10;
}

int FftHScaleClass(int sampleIntervalNs, bool equivalentDisplay) {
    if (equivalentDisplay)
        return 0;
    // 20 ns is class 2; each further 1-2-5 step of the interval is one class more.
    static constexpr int kIntervals[] = {20,     50,     100,     200,     500,     1000,
                                         2000,   5000,   10000,   20000,   50000,   100000,
                                         200000, 500000, 1000000, 2000000, 5000000, 10000000};
    for (int i = 0; i < static_cast<int>(std::size(kIntervals)); ++i) {
        if (kIntervals[i] == sampleIntervalNs)
            return i + 2;
    }
    return 1;
}

std::optional<long double> ParseFftHzPerDiv(std::string_view item) {
    // The number is read as an integer count of its last decimal place, so an item with one
    // decimal is an exact count of tenths; at most 12 digits keep it exact in an int64.
    std::int64_t digits = 0;
    int count = 0;
    int decimals = 0;
    bool point = false;
    std::size_t i = 0;
    for (; i < item.size(); ++i) {
        const char c = item[i];
        if (c >= '0' && c <= '9') {
            if (++count > 12)
                return std::nullopt;
            digits = digits * 10 + (c - '0');
            if (point)
                ++decimals;
        } else if (c == '.' && !point && count > 0) {
            point = true;
        } else {
            break;
        }
    }
    if (count == 0 || (point && decimals == 0) || digits == 0)
        return std::nullopt;
    const std::string_view unit = item.substr(i);
    long double factor;
    if (unit == "MHz") {
        factor = 1e6L;
    } else if (unit == "KHz") {
        factor = 1e3L;
    } else if (unit == "Hz") {
        factor = 1.0L;
    } else if (unit == "mHz") {
        factor = 1e-3L;
    } else if (unit == "uHz") {
        factor = 1e-6L;
    } else {
        return std::nullopt;
    }
    long double divisor = 1.0L;
    for (int d = 0; d < decimals; ++d)
        divisor *= 10.0L;
    return static_cast<long double>(digits) / divisor * factor;
}

long double BinWidthHz(int n, int sampleIntervalNs, bool equivalentDisplay) {
    const long double dt = equivalentDisplay ? 100e-12L : sampleIntervalNs / 1e9L;
    if (n <= 0 || !(dt > 0.0L))
        return 0.0L;
    return 1.0L / (n * dt);
}

int BinsPerScreenFor(long double hzPerDiv, long double binWidthHz) {
    if (!(binWidthHz > 0.0L) || !(hzPerDiv > 0.0L))
        return 2;
    const long double b = std::trunc(hzPerDiv * 10.0L / binWidthHz);
    // More bins than any record has would only overflow; 2^30 is far beyond the largest FFT.
    int bins = b > static_cast<long double>(1 << 30) ? (1 << 30) : static_cast<int>(b);
    if (bins % 2 != 0)
        ++bins;
    return std::max(bins, 2);
}

bool RebuildFftHScaleList(const ValueLists& lists, FftHScaleState& state, int memorySizeIndex,
                          int sampleIntervalNs, bool equivalentDisplay) {
    const int klass = FftHScaleClass(sampleIntervalNs, equivalentDisplay);
    const int group = std::clamp(memorySizeIndex, 0, kMemorySizeCount - 1);
    if (group == state.group && klass == state.klass)
        return false;
    const FftHScaleChange change = ApplyFftHScaleList(lists, group, klass, state.index);
    state.group = group;
    state.klass = klass;
    state.items = change.scale.items;
    state.index = change.scale.index;
    state.menuVisible = change.menuVisible;
    return true;
}

bool SelectFftHScale(FftHScaleState& state, int index, int fftLength, int sampleIntervalNs,
                     bool equivalentDisplay, SpectrumWindow& window) {
    if (index < 0 || static_cast<std::size_t>(index) >= state.items.size())
        return false;
    const std::optional<long double> hz =
        ParseFftHzPerDiv(state.items[static_cast<std::size_t>(index)]);
    const long double width = BinWidthHz(fftLength, sampleIntervalNs, equivalentDisplay);
    if (!hz || !(width > 0.0L))
        return false;
    const SpectrumWindow before = window;
    const bool sameGrid =
        before.BinsPerScreen > 0 && before.FftBins == fftLength / 2 && state.binWidthHz == width;
    state.index = index;
    state.hzPerDiv = *hz;
    state.binWidthHz = width;
    window.FftBins = fftLength / 2;
    window.BinsPerScreen = BinsPerScreenFor(*hz, width);
    window.HalfScreenBins = window.BinsPerScreen / 2;
    window.ScrollPerBin = 1000000.0 / (window.FftBins + window.BinsPerScreen);
    if (sameGrid && window.BinsPerScreen != before.BinsPerScreen) {
        // A new width of the screen on the same bins: the left edge moves so that the bin the
        // user was looking at stays in the centre.
        const int left = before.SpecCentreBin() - window.HalfScreenBins;
        window.SetSpecStart(left);
        window.SpecLeftBlank = left < 0 ? -left : 0;
    }
    // Whatever changed, the window stays where the scroll bar can take it: 0 Hz no further
    // right than the centre, the last bin no further left.
    window.SpecLeftBlank = std::min(window.SpecLeftBlank, window.HalfScreenBins);
    window.SetSpecStart(window.SpecStart);
    return true;
}

double WindowCorrection(int window) {
    switch (window) {
        case 1:
            return 1.8518518518518518518;  // Hamming, 1 / 0.54
        case 2:
            return 2.0;  // Hann, 1 / 0.5
        case 3:
            return 2.787456445993031359;  // Blackman-Harris, 1 / 0.35875
        default:
            return 1.0;
    }
}

double BinAmplitude(double power, int k, int window) {
    const double a = std::sqrt(k == 0 ? power : power / 2.0);
    return a * WindowCorrection(window);
}

double SpectrumValue(double amplitude, bool dbv) {
    if (!dbv)
        return amplitude;
    const double a = amplitude == 0.0 ? 1e-10 : amplitude;
    return 10.0 * std::log10(a * a);
}

int SpectrumY(double value, const ViewGeometry& g, int fftScale, int fftPosition) {
    constexpr double kLimit = 1 << 20;
    const double h = g.WaveHeight;
    const double scale = fftScale > 0 ? fftScale : 1;
    const double y =
        std::trunc(h / 2.0 - h / (8.0 * scale) * (value * 1000.0) - (250 - fftPosition) * g.Ky);
    if (std::isnan(y))
        return static_cast<int>(kLimit);  // below the graticule, like a vanishing bin
    return static_cast<int>(std::clamp(y, -kLimit, kLimit));
}

FftReadoutLabels FftReadoutLabelsFor(int source, int window) {
    static constexpr const char* kWindows[kFftWindowCount] = {"Rect.", "Hamm.", "Hann.", "Black."};
    const char* w = kWindows[window >= 1 && window <= 3 ? window : 0];
    return {" FFT", std::string("   ") + (source == 1 ? "CH2" : "CH1") + " , " + w};
}

FftVScaleSelection SwitchFftVType(const ValueLists& lists, InstrumentSettings& s, int fromType,
                                  int currentIndex, int toType) {
    const int from = fromType == kFftTypeDbv ? kFftTypeDbv : kFftTypeLinear;
    s.SetFftVScaleIndex(from, currentIndex);
    s.SetFftPositionByType(from, s.tracePosition[kTraceFft]);
    const FftVTypeChange change = ApplyFftVType(lists, toType, s);
    FftVScaleSelection r;
    r.items = change.scale.items;
    r.index = change.scale.index;
    r.menuVisible = change.menuVisible;
    s.tracePosition[kTraceFft] = change.tracePosition;
    if (r.index >= 0 && static_cast<std::size_t>(r.index) < r.items.size()) {
        if (const std::optional<int> scale =
                ParseFftVScale(r.items[static_cast<std::size_t>(r.index)])) {
            s.fftScale = *scale;
        }
    }
    return r;
}

bool SelectFftVScale(InstrumentSettings& s, int type, int index, std::string_view item) {
    const std::optional<int> scale = ParseFftVScale(item);
    if (!scale || *scale <= 0)
        return false;
    s.fftScale = *scale;
    s.SetFftVScaleIndex(type == kFftTypeDbv ? kFftTypeDbv : kFftTypeLinear, index);
    return true;
}

void MoveFftTrace(InstrumentSettings& s, int type, int position) {
    s.tracePosition[kTraceFft] = position;
    s.SetFftPositionByType(type == kFftTypeDbv ? kFftTypeDbv : kFftTypeLinear, position);
}

}  // namespace lumatrace
