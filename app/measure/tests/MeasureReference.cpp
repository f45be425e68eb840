#include "app/measure/tests/MeasureReference.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

namespace lumatrace::testing {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Edge {
    bool rising;
    double t10, t50, t90;  // index units
};

// Crossing of `level` between two samples.
double At(int a, double va, int b, double vb, double level) {
    return a + (level - va) * (b - a) / (vb - va);
}

}  // namespace

std::vector<double> CodesOf(const std::vector<SampleWord>& record, int channel, int first,
                            int end) {
    std::vector<double> out;
    for (int i = first; i < end; ++i) {
        const SampleWord w = record[static_cast<std::size_t>(i)];
        const std::uint32_t half = channel == 0 ? (w & 0xFFFFu) : (w >> 16);
        out.push_back(half == 0xFFFFu ? kNaN : static_cast<double>(half & 0x3FFu));
    }
    return out;
}

std::vector<double> LiteralMathOf(const std::vector<SampleWord>& record, const MeasureInput& in,
                                  int first, int end) {
    std::vector<double> out;
    for (int i = first; i < end; ++i) {
        const SampleWord w = record[static_cast<std::size_t>(i)];
        auto operand = [&](int ch, double& mv) {
            const std::uint32_t half = ch == 0 ? (w & 0xFFFFu) : (w >> 16);
            if (half == 0xFFFFu)
                return false;
            const MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
            if (c.ground) {
                mv = 0.0;
                return true;
            }
            const int code = static_cast<int>(half & 0x3FFu);
            const double r = 10.0 * c.voltsPerDivMv * c.probeFactor;
            mv = (code - (250 - c.position) * 2.048) * r / 1024.0 - r / 2.0;
            return true;
        };
        double a = 0.0;
        double b = 0.0;
        if (!operand(in.math.firstSource, a) || !operand(in.math.secondSource, b)) {
            out.push_back(kNaN);
            continue;
        }
        double m = 0.0;
        switch (in.math.op) {
            case MathOperator::Add:
                m = a + b;
                break;
            case MathOperator::Sub:
                m = a - b;
                break;
            case MathOperator::Mul:
                m = (a / 1000.0) * (b / 1000.0) * 1000.0;
                break;
            case MathOperator::Div:
                if (b == 0.0) {
                    out.push_back(kNaN);
                    continue;
                }
                m = (a / 1000.0) / (b / 1000.0) * 1000.0;
                break;
        }
        out.push_back(m / 1000.0);
    }
    return out;
}

std::optional<std::vector<double>> MathScoresOf(const std::vector<SampleWord>& record,
                                                const MeasureInput& in, int first, int end,
                                                double& unit, double& offset) {
    const int a = in.math.firstSource == 1 ? 1 : 0;
    const int b = in.math.secondSource == 1 ? 1 : 0;
    auto range = [&](int ch) -> std::int64_t {
        const MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
        return c.ground ? 0 : std::int64_t{10} * c.voltsPerDivMv * c.probeFactor;
    };
    auto code = [](int ch, SampleWord w) -> std::int64_t {
        return ch == 0 ? (w & 0x3FFu) : ((w >> 16) & 0x3FFu);
    };
    auto zero = [&](int ch) -> std::int64_t {
        return -256 * (250 - in.channel[static_cast<std::size_t>(ch)].position) - 64000;
    };
    auto whole = [&](int ch, SampleWord w) { return 125 * code(ch, w) + zero(ch); };
    auto missing = [](int ch, SampleWord w) {
        return (ch == 0 ? (w & 0xFFFFu) : (w >> 16)) == 0xFFFFu;
    };
    const std::int64_t ra = range(a);
    const std::int64_t rb = range(b);
    std::int64_t ka = 0;
    std::int64_t kb = 0;
    if (in.math.op == MathOperator::Add || in.math.op == MathOperator::Sub) {
        const std::int64_t g = std::gcd(ra, rb);
        if (g == 0)
            return std::nullopt;
        ka = ra / g;
        kb = (in.math.op == MathOperator::Sub ? -rb : rb) / g;
        unit = static_cast<double>(g) / 1.024e6;
        offset = static_cast<double>(ka * zero(a) + kb * zero(b)) * static_cast<double>(g) / 1.28e8;
    } else if (in.math.op == MathOperator::Mul) {
        if (ra == 0 || rb == 0)
            return std::nullopt;
        unit = static_cast<double>(ra * rb) / 1.6384e16;
        offset = 0.0;
    } else {
        return std::nullopt;
    }
    std::vector<double> out;
    for (int i = first; i < end; ++i) {
        const SampleWord w = record[static_cast<std::size_t>(i)];
        if (missing(a, w) || missing(b, w)) {
            out.push_back(kNaN);
            continue;
        }
        const std::int64_t score = in.math.op == MathOperator::Mul
                                       ? whole(a, w) * whole(b, w)
                                       : ka * code(a, w) + kb * code(b, w);
        out.push_back(static_cast<double>(score));
    }
    return out;
}

MeasureValues ReferenceMeasure(const std::vector<double>& x, const ReferenceOptions& o,
                               std::vector<double>* risesOut) {
    MeasureValues out;
    if (risesOut)
        risesOut->clear();
    std::vector<int> idx;  // indices (relative) of the samples present
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!std::isnan(x[i]))
            idx.push_back(static_cast<int>(i));
    }
    if (idx.empty())
        return out;
    const int lanes = o.laneSums ? 4 : 1;
    auto lane = [&](int i) { return static_cast<std::size_t>(i % lanes); };
    auto laneTotal = [&](const std::vector<double>& parts) {
        double t = 0.0;
        for (double p : parts)
            t += p;
        return t;
    };
    double lo = x[static_cast<std::size_t>(idx[0])];
    double hi = lo;
    std::vector<double> sums(static_cast<std::size_t>(lanes), 0.0);
    for (int i : idx) {
        lo = std::min(lo, x[static_cast<std::size_t>(i)]);
        hi = std::max(hi, x[static_cast<std::size_t>(i)]);
        sums[lane(i)] += x[static_cast<std::size_t>(i)];
    }
    const double n = static_cast<double>(idx.size());
    const double mean = laneTotal(sums) / n;
    std::vector<double> squares(static_cast<std::size_t>(lanes), 0.0);
    std::vector<double> spreads(static_cast<std::size_t>(lanes), 0.0);
    for (int i : idx) {
        const double v = x[static_cast<std::size_t>(i)];
        squares[lane(i)] += (v - o.zero) * (v - o.zero);
        spreads[lane(i)] += (v - mean) * (v - mean);
    }
    const double sq = laneTotal(squares);
    const double ac = laneTotal(spreads);

    // Histogram: which bin each value falls in. Aligned bins: the narrowest power of two
    // for which no more than 1,024 bins span the extremes.
    // (While the scaled extremes overflow, their difference is not a number: not few enough.)
    int e = o.wholeScores ? 0 : -1100;
    while (!o.codeBins &&
           !(std::floor(std::ldexp(hi, -e)) - std::floor(std::ldexp(lo, -e)) <= 1023))
        ++e;
    auto binOf = [&](double v) {
        if (o.codeBins)
            return static_cast<int>(v);
        return static_cast<int>(std::floor(std::ldexp(v, -e)) - std::floor(std::ldexp(lo, -e)));
    };
    std::vector<double> count(1024, 0.0);
    std::vector<std::vector<double>> binSums(1024, std::vector<double>(lanes, 0.0));
    for (int i : idx) {
        const double v = x[static_cast<std::size_t>(i)];
        count[static_cast<std::size_t>(binOf(v))] += 1.0;
        binSums[static_cast<std::size_t>(binOf(v))][lane(i)] += v;
    }
    auto binSum = [&](int b) { return laneTotal(binSums[static_cast<std::size_t>(b)]); };
    const int binLo = binOf(lo);
    const int binHi = binOf(hi);
    double top = hi;
    double base = lo;
    if (binHi > binLo) {
        const int mid = (binLo + binHi) / 2;
        auto state = [&](int from, int to, bool lowest, double fallback) {
            double most = 0.0;
            double total = 0.0;
            for (int b = from; b <= to; ++b) {
                most = std::max(most, count[static_cast<std::size_t>(b)]);
                total += count[static_cast<std::size_t>(b)];
            }
            int mode = -1;
            for (int b = from; b <= to; ++b) {
                if (count[static_cast<std::size_t>(b)] == most && (mode < 0 || !lowest))
                    mode = b;
            }
            if (most * (to - from + 1) > 2.0 * total)
                return binSum(mode) / count[static_cast<std::size_t>(mode)];
            return fallback;
        };
        base = state(binLo, mid, true, lo);
        top = state(mid + 1, binHi, false, hi);
    }
    auto volts = [&](double v) { return (v - o.zero) * o.voltsPerUnit; };
    out[MeasureId::Vmax] = volts(hi);
    out[MeasureId::Vmin] = volts(lo);
    out[MeasureId::Vpp] = (hi - lo) * o.voltsPerUnit;
    out[MeasureId::Vtop] = volts(top);
    out[MeasureId::Vbase] = volts(base);
    out[MeasureId::Vamp] = (top - base) * o.voltsPerUnit;
    out[MeasureId::Vmean] = volts(mean);
    out[MeasureId::Vrms] = std::sqrt(sq / n) * std::fabs(o.voltsPerUnit);
    out[MeasureId::VrmsAc] = std::sqrt(ac / n) * std::fabs(o.voltsPerUnit);
    const double amp = top - base;
    if (amp > 0.0) {
        out[MeasureId::Overshoot] = (hi - top) / amp * 100.0;
        out[MeasureId::Preshoot] = (base - lo) / amp * 100.0;
    }
    const double minAmp =
        o.codeBins ? kMinEdgeAmplitudeCodes : kMinEdgeAmplitudeCodes * (hi - lo) / 1024.0;
    if (!(amp >= minAmp) || amp <= 0.0 || !(o.interval > 0.0))
        return out;

    // Edges, one sample at a time, remembering the latest crossing of each reference level.
    const double l10 = base + amp * 10 / 100;
    const double l50 = base + amp * 50 / 100;
    const double l90 = base + amp * 90 / 100;
    enum { Unknown, Low, High } state = Unknown;
    std::optional<double> up10, up50, down90, down50;
    std::vector<Edge> edges;
    int prev = -1;
    for (int i : idx) {
        const double v = x[static_cast<std::size_t>(i)];
        if (prev >= 0) {
            const double p = x[static_cast<std::size_t>(prev)];
            if (p <= l10 && v > l10)
                up10 = At(prev, p, i, v, l10);
            if (p < l50 && v >= l50)
                up50 = At(prev, p, i, v, l50);
            if (p >= l90 && v < l90)
                down90 = At(prev, p, i, v, l90);
            if (p > l50 && v <= l50)
                down50 = At(prev, p, i, v, l50);
        }
        if (state != High && v >= l90) {
            if (state == Low)
                edges.push_back(
                    {true, *up10, *up50, At(prev, x[static_cast<std::size_t>(prev)], i, v, l90)});
            state = High;
        } else if (state != Low && v <= l10) {
            if (state == High)
                edges.push_back({false, At(prev, x[static_cast<std::size_t>(prev)], i, v, l10),
                                 *down50, *down90});
            state = Low;
        }
        prev = i;
    }

    const double dt = o.interval;
    auto seconds = [&](double relIndex) { return (relIndex + o.firstIndex) * dt; };
    std::vector<double> rises, falls;
    double riseSum = 0.0, fallSum = 0.0, posSum = 0.0, negSum = 0.0;
    int posCount = 0, negCount = 0;
    for (std::size_t k = 0; k < edges.size(); ++k) {
        const Edge& e = edges[k];
        (e.rising ? rises : falls).push_back(seconds(e.t50));
        if (e.rising)
            riseSum += (e.t90 - e.t10) * dt;
        else
            fallSum += (e.t10 - e.t90) * dt;
        if (k > 0) {
            const double w = (e.t50 - edges[k - 1].t50) * dt;
            if (e.rising) {
                negSum += w;
                ++negCount;
            } else {
                posSum += w;
                ++posCount;
            }
        }
    }
    out[MeasureId::Edges] = static_cast<double>(rises.size());
    if (risesOut) {
        for (const Edge& e : edges) {
            if (e.rising)
                risesOut->push_back(e.t50 + o.firstIndex);
        }
    }
    std::optional<double> period;
    if (rises.size() >= 2)
        period = (rises.back() - rises.front()) / static_cast<double>(rises.size() - 1);
    else if (falls.size() >= 2)
        period = (falls.back() - falls.front()) / static_cast<double>(falls.size() - 1);
    if (period) {
        out[MeasureId::Period] = *period;
        out[MeasureId::Frequency] = 1.0 / *period;
    }
    if (posCount > 0)
        out[MeasureId::WidthPos] = posSum / posCount;
    if (negCount > 0)
        out[MeasureId::WidthNeg] = negSum / negCount;
    if (period && posCount > 0)
        out[MeasureId::DutyPos] = posSum / posCount / *period * 100.0;
    if (period && negCount > 0)
        out[MeasureId::DutyNeg] = negSum / negCount / *period * 100.0;
    if (!rises.empty())
        out[MeasureId::Rise] = riseSum / static_cast<double>(rises.size());
    if (!falls.empty())
        out[MeasureId::Fall] = fallSum / static_cast<double>(falls.size());
    return out;
}

}  // namespace lumatrace::testing
