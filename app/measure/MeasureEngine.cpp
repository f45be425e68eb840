#include "app/measure/MeasureEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "app/display/ViewGeometry.h"
#include "app/display/ViewState.h"

namespace lumatrace {

namespace {

constexpr int kBins = kCodeCount;  // codes of a channel; equal bins of MATH
constexpr int kMissingBin = kCodeCount;
// A half's mode is a state level when its bin holds more than this many times the half's
// average count per bin; flatter halves (ramps, triangles) have no state there.
constexpr std::uint64_t kModeProminence = 2;

using Histogram = std::array<std::uint32_t, kBins + 1>;  // the extra bin counts missing samples

// ---------------------------------------------------------------- histogram of codes

// Counts the codes of one channel over the words. A missing half (all ones) reads as code
// 1023 plus one, so it lands in the extra bin without a branch. Four tables take turns so that
// a run of equal codes does not make each increment wait for the one before.
template <int Shift>
void CountCodes(const SampleWord* words, int n, Histogram& out) {
    alignas(64) std::uint32_t h[4][kBins + 1] = {};
    auto bin = [](SampleWord w) {
        const std::uint32_t half = Shift == 0 ? (w & 0xFFFFu) : (w >> 16);
        return (half & kCodeMask) + static_cast<std::uint32_t>(half == 0xFFFFu);
    };
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        ++h[0][bin(words[i])];
        ++h[1][bin(words[i + 1])];
        ++h[2][bin(words[i + 2])];
        ++h[3][bin(words[i + 3])];
    }
    for (; i < n; ++i)
        ++h[0][bin(words[i])];
    for (int b = 0; b <= kBins; ++b)
        out[static_cast<std::size_t>(b)] = h[0][b] + h[1][b] + h[2][b] + h[3][b];
}

// ---------------------------------------------------------------- state levels

struct HistogramLevels {
    int lowest = 0;  // first and last occupied bins
    int highest = 0;
    int top = 0;  // bins of the state levels
    int base = 0;
    bool topIsMode = false;
    bool baseIsMode = false;
};

// The most populated bin of [from, to] walking from `start` towards `stop`; ties go to the bin
// met first, the one nearer the record's extreme.
int ModeBin(const Histogram& h, int start, int stop) {
    const int step = stop >= start ? 1 : -1;
    int best = start;
    for (int b = start;; b += step) {
        if (h[static_cast<std::size_t>(b)] > h[static_cast<std::size_t>(best)])
            best = b;
        if (b == stop)
            break;
    }
    return best;
}

bool Prominent(const Histogram& h, int mode, int from, int to) {
    std::uint64_t count = 0;
    for (int b = from; b <= to; ++b)
        count += h[static_cast<std::size_t>(b)];
    const std::uint64_t bins = static_cast<std::uint64_t>(to - from + 1);
    return std::uint64_t{h[static_cast<std::size_t>(mode)]} * bins > kModeProminence * count;
}

// Histogram with at least one sample in bins 0..kBins-1.
HistogramLevels LevelsOf(const Histogram& h) {
    HistogramLevels l;
    l.lowest = 0;
    while (h[static_cast<std::size_t>(l.lowest)] == 0)
        ++l.lowest;
    l.highest = kBins - 1;
    while (h[static_cast<std::size_t>(l.highest)] == 0)
        --l.highest;
    l.top = l.highest;
    l.base = l.lowest;
    if (l.highest == l.lowest)
        return l;
    const int mid = (l.lowest + l.highest) / 2;  // last bin of the lower half
    const int base = ModeBin(h, l.lowest, mid);
    if (Prominent(h, base, l.lowest, mid)) {
        l.base = base;
        l.baseIsMode = true;
    }
    const int top = ModeBin(h, l.highest, mid + 1);
    if (Prominent(h, top, mid + 1, l.highest)) {
        l.top = top;
        l.topIsMode = true;
    }
    return l;
}

// ---------------------------------------------------------------- edges

// Reference levels of one source in the units its series compares in.
struct ReferenceLevels {
    double l10 = 0.0;
    double l50 = 0.0;
    double l90 = 0.0;
};

// x where the line through (a, va) and (b, vb) meets level; va != vb.
double Cross(int a, double va, int b, double vb, double level) {
    return a + (level - va) / (vb - va) * (b - a);
}

// Walks the series for edges with the hysteresis of the 10 % and 90 % levels and sums what
// the measurements need. A Series gives, for index i: Valid, Value, IsLow (at or below 10 %),
// IsHigh (at or above 90 %), and the searches NextNotLow, NextNotHigh, NextLowOrHigh (first
// valid index from i meeting the condition, or end).
template <class Series>
void ScanEdges(const Series& s, int first, int end, const ReferenceLevels& ref, double interval,
               int trigPosition, MeasureEngine::EdgeSummary& e) {
    auto prevValid = [&](int i) {
        do {
            --i;
        } while (!s.Valid(i));
        return i;
    };
    auto nextValid = [&](int i) {
        do {
            ++i;
        } while (!s.Valid(i));
        return i;
    };
    auto seconds = [&](double index) { return (index - trigPosition) * interval; };

    int i = s.NextLowOrHigh(first, end);
    if (i >= end)
        return;
    bool high = s.IsHigh(i);
    bool havePrevious = false;
    double previous = 0.0;  // 50 % instant of the last edge, index units
    while (true) {
        if (!high) {
            const int u = s.NextNotLow(i, end);  // leaves the low band
            if (u >= end)
                return;
            const int j = s.NextLowOrHigh(u, end);
            if (j >= end)
                return;
            if (s.IsLow(j)) {
                i = j;
                continue;
            }
            // Rising edge, complete at j.
            const int a = prevValid(u);  // last sample at or below 10 %
            const double t10 = Cross(a, s.Value(a), u, s.Value(u), ref.l10);
            const int before = prevValid(j);
            const double t90 = Cross(before, s.Value(before), j, s.Value(j), ref.l90);
            int p = before;
            while (!(s.Value(p) < ref.l50))
                p = prevValid(p);
            const int q = nextValid(p);
            const double t50 = Cross(p, s.Value(p), q, s.Value(q), ref.l50);
            if (e.rising == 0)
                e.firstRise = seconds(t50);
            e.lastRise = seconds(t50);
            ++e.rising;
            e.riseSum += (t90 - t10) * interval;
            if (havePrevious) {
                e.widthNegSum += (t50 - previous) * interval;
                ++e.widthNegCount;
            }
            havePrevious = true;
            previous = t50;
            high = true;
            i = j;
        } else {
            const int u = s.NextNotHigh(i, end);
            if (u >= end)
                return;
            const int j = s.NextLowOrHigh(u, end);
            if (j >= end)
                return;
            if (s.IsHigh(j)) {
                i = j;
                continue;
            }
            const int a = prevValid(u);  // last sample at or above 90 %
            const double t90 = Cross(a, s.Value(a), u, s.Value(u), ref.l90);
            const int before = prevValid(j);
            const double t10 = Cross(before, s.Value(before), j, s.Value(j), ref.l10);
            int p = before;
            while (!(s.Value(p) > ref.l50))
                p = prevValid(p);
            const int q = nextValid(p);
            const double t50 = Cross(p, s.Value(p), q, s.Value(q), ref.l50);
            if (e.falling == 0)
                e.firstFall = seconds(t50);
            e.lastFall = seconds(t50);
            ++e.falling;
            e.fallSum += (t10 - t90) * interval;
            if (havePrevious) {
                e.widthPosSum += (t50 - previous) * interval;
                ++e.widthPosCount;
            }
            havePrevious = true;
            previous = t50;
            high = false;
            i = j;
        }
    }
}

// A channel's codes. A missing half reads as code 1023: never at or below the 10 % threshold
// (which lies below the 90 % one, at most 1023), so only the searches that look upwards test
// for it, and only on a candidate.
template <int Shift>
struct CodeSeries {
    const SampleWord* w;
    int lowT;   // highest code at or below the 10 % level
    int highT;  // lowest code at or above the 90 % level

    static int Code(SampleWord x) { return static_cast<int>((x >> Shift) & kCodeMask); }
    static bool Missing(SampleWord x) {
        return Shift == 0 ? (x & 0xFFFFu) == 0xFFFFu : x >= 0xFFFF0000u;
    }
    bool Valid(int i) const { return !Missing(w[i]); }
    double Value(int i) const { return Code(w[i]); }
    bool IsLow(int i) const { return Code(w[i]) <= lowT; }
    bool IsHigh(int i) const { return Code(w[i]) >= highT && !Missing(w[i]); }
    int NextNotLow(int i, int end) const {
        for (; i < end; ++i) {
            if (Code(w[i]) > lowT && !Missing(w[i]))
                return i;
        }
        return end;
    }
    int NextNotHigh(int i, int end) const {
        for (; i < end; ++i) {
            if (Code(w[i]) < highT)
                return i;
        }
        return end;
    }
    int NextLowOrHigh(int i, int end) const {
        for (; i < end; ++i) {
            const int c = Code(w[i]);
            if (c <= lowT || (c >= highT && !Missing(w[i])))
                return i;
        }
        return end;
    }
};

// MATH values, NaN where there is none: every comparison with NaN is false, so no search
// stops on one.
struct ValueSeries {
    const double* v;
    ReferenceLevels ref;

    bool Valid(int i) const { return !std::isnan(v[i]); }
    double Value(int i) const { return v[i]; }
    bool IsLow(int i) const { return v[i] <= ref.l10; }
    bool IsHigh(int i) const { return v[i] >= ref.l90; }
    int NextNotLow(int i, int end) const {
        for (; i < end; ++i) {
            if (v[i] > ref.l10)
                return i;
        }
        return end;
    }
    int NextNotHigh(int i, int end) const {
        for (; i < end; ++i) {
            if (v[i] < ref.l90)
                return i;
        }
        return end;
    }
    int NextLowOrHigh(int i, int end) const {
        for (; i < end; ++i) {
            if (v[i] <= ref.l10 || v[i] >= ref.l90)
                return i;
        }
        return end;
    }
};

SampleRange Clip(SampleRange gate, std::size_t recordSize) {
    const int size = static_cast<int>(std::min<std::size_t>(recordSize, 0x7FFFFFFF));
    gate.first = std::clamp(gate.first, 0, size);
    gate.end = std::clamp(gate.end, gate.first, size);
    return gate;
}

double Percent(double part, double whole) {
    return part / whole * 100.0;
}

}  // namespace

// ---------------------------------------------------------------- channels

void MeasureEngine::AnalyseChannel(const MeasureInput& in, int channel, SampleRange gate,
                                   Analysis& out) {
    const MeasureChannel& ch = in.channel[static_cast<std::size_t>(channel)];
    const double rangeMv = FullScaleMv(ch.voltsPerDivMv, ch.probeFactor);
    if (!ch.on || ch.ground || !(rangeMv > 0.0) || gate.Size() == 0)
        return;
    const SampleWord* words = in.record.data();
    Histogram h;
    if (channel == 0)
        CountCodes<0>(words + gate.first, gate.Size(), h);
    else
        CountCodes<16>(words + gate.first, gate.Size(), h);
    const std::uint64_t n = static_cast<std::uint64_t>(gate.Size()) - h[kMissingBin];
    if (n == 0)
        return;
    out.measurable = true;

    // Sums over the 1,024 bins instead of the samples: exact counts, and the spread is taken
    // about the zero code and the mean directly, without cancellation.
    const double zero = ZeroCode(ch.position);
    std::uint64_t sum = 0;
    for (int c = 0; c < kBins; ++c)
        sum += std::uint64_t{h[static_cast<std::size_t>(c)]} * static_cast<std::uint64_t>(c);
    const double meanCode = static_cast<double>(sum) / static_cast<double>(n);
    double squares = 0.0;
    double spread = 0.0;
    for (int c = 0; c < kBins; ++c) {
        const double count = h[static_cast<std::size_t>(c)];
        if (count == 0.0)
            continue;
        squares += count * (c - zero) * (c - zero);
        spread += count * (c - meanCode) * (c - meanCode);
    }
    const double voltsPerCode = rangeMv / 1024.0 / 1000.0;
    auto volts = [&](int code) { return CodeToMillivolts(code, ch.position, rangeMv) / 1000.0; };

    const HistogramLevels l = LevelsOf(h);
    out.max = volts(l.highest);
    out.min = volts(l.lowest);
    out.top = volts(l.top);
    out.base = volts(l.base);
    out.mean = (meanCode - zero) * voltsPerCode;
    out.rms = std::sqrt(squares / static_cast<double>(n)) * voltsPerCode;
    out.rmsAc = std::sqrt(spread / static_cast<double>(n)) * voltsPerCode;
    const int amplitude = l.top - l.base;
    out.amplitudeForPercent = amplitude;
    out.overshootSpan = l.highest - l.top;
    out.preshootSpan = l.base - l.lowest;

    if (amplitude < kMinEdgeAmplitudeCodes || !(in.sampleIntervalSeconds > 0.0))
        return;
    out.edgesLooked = true;
    ReferenceLevels ref;
    ref.l10 = l.base + amplitude / 10.0;
    ref.l50 = l.base + amplitude / 2.0;
    ref.l90 = l.base + (9 * amplitude) / 10.0;
    const int lowT = l.base + amplitude / 10;
    const int highT = l.base + (9 * amplitude + 9) / 10;
    if (channel == 0) {
        ScanEdges(CodeSeries<0>{words, lowT, highT}, gate.first, gate.end, ref,
                  in.sampleIntervalSeconds, in.trigPosition, out.edges);
    } else {
        ScanEdges(CodeSeries<16>{words, lowT, highT}, gate.first, gate.end, ref,
                  in.sampleIntervalSeconds, in.trigPosition, out.edges);
    }
}

// ---------------------------------------------------------------- MATH

void MeasureEngine::AnalyseMath(const MeasureInput& in, SampleRange gate, Analysis& out) {
    if (!in.mathOn || gate.Size() == 0)
        return;
    // The trace's own mapping gives the operands; only its values are used here, so the
    // geometry and the MATH position do not matter.
    ViewSettings view;
    MathSettings math = in.math;
    for (int ch = 0; ch < 2; ++ch) {
        const MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
        view.acqVoltsPerDivMv[static_cast<std::size_t>(ch)] = c.voltsPerDivMv;
        view.probeFactor[static_cast<std::size_t>(ch)] = c.probeFactor;
        view.acqTracePosition[static_cast<std::size_t>(ch)] = c.position;
        math.groundCoupled[static_cast<std::size_t>(ch)] = c.ground;
    }
    math.mathScale = 1;
    const MathMapping mapping(view, ViewGeometry{}, math);
    const int a = mapping.FirstSource();
    const int b = mapping.SecondSource();

    // MATH values in the units the trace is scaled in, divided by 1000: volts for sums and
    // differences, V^2 and V/V for products and quotients.
    const int n = gate.Size();
    mathValues_.resize(static_cast<std::size_t>(n));
    double* v = mathValues_.data();
    const SampleWord* words = in.record.data() + gate.first;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double lo = std::numeric_limits<double>::infinity();
    double hi = -lo;
    std::uint64_t count = 0;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const SampleWord w = words[i];
        if (ChannelMissing(w, a) || ChannelMissing(w, b)) {
            v[i] = nan;
            continue;
        }
        const MathResult r = mapping.Value(w);
        if (r.divideByZero) {
            v[i] = nan;
            continue;
        }
        const double x = r.value / 1000.0;
        v[i] = x;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
        sum += x;
        ++count;
    }
    if (count == 0)
        return;
    out.measurable = true;
    const double mean = sum / static_cast<double>(count);

    Histogram h{};
    std::array<double, kBins> binSum{};
    const double scale = hi > lo ? kBins / (hi - lo) : 0.0;
    double squares = 0.0;
    double spread = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = v[i];
        if (std::isnan(x))
            continue;
        const int bin = std::min(static_cast<int>((x - lo) * scale), kBins - 1);
        ++h[static_cast<std::size_t>(bin)];
        binSum[static_cast<std::size_t>(bin)] += x;
        squares += x * x;
        spread += (x - mean) * (x - mean);
    }
    const HistogramLevels l = LevelsOf(h);
    auto levelOf = [&](int bin, bool mode, double extreme) {
        return mode ? binSum[static_cast<std::size_t>(bin)] / h[static_cast<std::size_t>(bin)]
                    : extreme;
    };
    out.max = hi;
    out.min = lo;
    out.top = levelOf(l.top, l.topIsMode, hi);
    out.base = levelOf(l.base, l.baseIsMode, lo);
    out.mean = mean;
    out.rms = std::sqrt(squares / static_cast<double>(count));
    out.rmsAc = std::sqrt(spread / static_cast<double>(count));
    const double amplitude = out.top - out.base;
    out.amplitudeForPercent = amplitude;
    out.overshootSpan = out.max - out.top;
    out.preshootSpan = out.base - out.min;

    // The same smallest amplitude as for a channel, counted in bins of the MATH range.
    if (!(amplitude * scale >= kMinEdgeAmplitudeCodes) || !(in.sampleIntervalSeconds > 0.0))
        return;
    out.edgesLooked = true;
    ReferenceLevels ref;
    ref.l10 = out.base + amplitude / 10.0;
    ref.l50 = out.base + amplitude / 2.0;
    ref.l90 = out.base + amplitude * 9.0 / 10.0;
    // The values are indexed from the gate's start, and so is the trigger point here.
    ScanEdges(ValueSeries{v, ref}, 0, n, ref, in.sampleIntervalSeconds,
              in.trigPosition - gate.first, out.edges);
}

// ---------------------------------------------------------------- results

const MeasureEngine::Analysis& MeasureEngine::Analyse(const MeasureInput& in, MeasureSource source,
                                                      SampleRange gate) {
    analysis_ = Analysis{};
    gate = Clip(gate, in.record.size());
    if (source == MeasureSource::Math)
        AnalyseMath(in, gate, analysis_);
    else
        AnalyseChannel(in, static_cast<int>(source), gate, analysis_);
    return analysis_;
}

MeasureValues MeasureEngine::Measure(const MeasureInput& in, MeasureSource source,
                                     SampleRange gate) {
    MeasureValues values = ValuesOf(Analyse(in, source, gate));
    // The pair needs both channels' edges; the source's own analysis is reused.
    const SampleRange clipped = Clip(gate, in.record.size());
    Analysis ch1;
    Analysis ch2;
    if (source == MeasureSource::Ch1) {
        ch1 = analysis_;
    } else {
        AnalyseChannel(in, 0, clipped, ch1);
    }
    if (source == MeasureSource::Ch2) {
        ch2 = analysis_;
    } else {
        AnalyseChannel(in, 1, clipped, ch2);
    }
    FillDelayAndPhase(ch1, ch2, values);
    return values;
}

MeasureValues ValuesOf(const MeasureEngine::Analysis& a) {
    MeasureValues v;
    if (!a.measurable)
        return v;
    v[MeasureId::Vmax] = a.max;
    v[MeasureId::Vmin] = a.min;
    v[MeasureId::Vpp] = a.max - a.min;
    v[MeasureId::Vtop] = a.top;
    v[MeasureId::Vbase] = a.base;
    v[MeasureId::Vamp] = a.top - a.base;
    v[MeasureId::Vmean] = a.mean;
    v[MeasureId::Vrms] = a.rms;
    v[MeasureId::VrmsAc] = a.rmsAc;
    if (a.amplitudeForPercent > 0.0) {
        v[MeasureId::Overshoot] = Percent(a.overshootSpan, a.amplitudeForPercent);
        v[MeasureId::Preshoot] = Percent(a.preshootSpan, a.amplitudeForPercent);
    }
    if (!a.edgesLooked)
        return v;
    const MeasureEngine::EdgeSummary& e = a.edges;
    v[MeasureId::Edges] = e.rising;
    std::optional<double> period;
    if (e.rising >= 2)
        period = (e.lastRise - e.firstRise) / (e.rising - 1);
    else if (e.falling >= 2)
        period = (e.lastFall - e.firstFall) / (e.falling - 1);
    if (period && *period > 0.0) {
        v[MeasureId::Period] = *period;
        v[MeasureId::Frequency] = 1.0 / *period;
    }
    if (e.widthPosCount > 0)
        v[MeasureId::WidthPos] = e.widthPosSum / e.widthPosCount;
    if (e.widthNegCount > 0)
        v[MeasureId::WidthNeg] = e.widthNegSum / e.widthNegCount;
    if (v[MeasureId::Period] && v[MeasureId::WidthPos])
        v[MeasureId::DutyPos] = Percent(*v[MeasureId::WidthPos], *v[MeasureId::Period]);
    if (v[MeasureId::Period] && v[MeasureId::WidthNeg])
        v[MeasureId::DutyNeg] = Percent(*v[MeasureId::WidthNeg], *v[MeasureId::Period]);
    if (e.rising > 0)
        v[MeasureId::Rise] = e.riseSum / e.rising;
    if (e.falling > 0)
        v[MeasureId::Fall] = e.fallSum / e.falling;
    return v;
}

void FillDelayAndPhase(const MeasureEngine::Analysis& ch1, const MeasureEngine::Analysis& ch2,
                       MeasureValues& values) {
    values[MeasureId::Delay] = std::nullopt;
    values[MeasureId::Phase] = std::nullopt;
    if (!ch1.edgesLooked || !ch2.edgesLooked || ch1.edges.rising == 0 || ch2.edges.rising == 0)
        return;
    const double delay = ch2.edges.firstRise - ch1.edges.firstRise;
    values[MeasureId::Delay] = delay;
    const std::optional<double> period = ValuesOf(ch1)[MeasureId::Period];
    if (period)
        values[MeasureId::Phase] = delay / *period * 360.0;
}

}  // namespace lumatrace
