#include "app/display/MathTrace.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numeric>

#include "app/settings/InstrumentTypes.h"

namespace lumatrace {

double MathChannelMillivolts(int code, int voltsPerDivMv, int probeFactor, int position) {
    const double r = 10.0 * voltsPerDivMv * probeFactor;
    return (code - (250 - position) * 2.048) * r / 1024.0 - r / 2.0;
}

MathResult CombineMath(double a, double b, MathOperator op) {
    switch (op) {
        case MathOperator::Add:
            return {a + b, false};
        case MathOperator::Sub:
            return {a - b, false};
        case MathOperator::Mul:
            // Volts times volts, shown in thousandths.
            return {(a / 1000.0) * (b / 1000.0) * 1000.0, false};
        case MathOperator::Div:
            if (b == 0.0)
                return {0.0, true};
            return {(a / 1000.0) / (b / 1000.0) * 1000.0, false};
    }
    return {0.0, false};
}

MathMapping::MathMapping(const ViewSettings& s, const ViewGeometry& g, const MathSettings& math) {
    const int first = math.firstSource == 1 ? 1 : 0;
    const int second = math.secondSource == 1 ? 1 : 0;
    shiftA_ = ChannelShift(first);
    shiftB_ = ChannelShift(second);
    op_ = math.op;
    auto fill = [&](int ch, std::array<double, kCodeCount>& table) {
        if (math.groundCoupled[ch]) {
            table.fill(0.0);
            return;
        }
        for (int code = 0; code < kCodeCount; ++code) {
            table[code] = MathChannelMillivolts(code, s.acqVoltsPerDivMv[ch], s.probeFactor[ch],
                                                s.acqTracePosition[ch]);
        }
    };
    fill(first, a_);
    fill(second, b_);
    for (int code = 0; code < kCodeCount; ++code) {
        aVolts_[code] = a_[code] / 1000.0;
        bVolts_[code] = b_[code] / 1000.0;
    }
    h_ = g.WaveHeight;
    scaleDen_ = 8.0 * math.mathScale;
    offset_ = (250 - s.tracePosition[kTraceMath]) * g.Ky;
    usable_ = math.mathScale > 0;

    // An operand is R x (code - zero code) / 1024 in exact arithmetic, R = 10 x V/div x probe
    // (0 when grounded): a sum or difference is g / 1024 x (kA x codeA +- kB x codeB) plus a
    // constant, with g the greatest common divisor of the two R. Different scores are at
    // least g / 1024 mV apart, far more than the tables' rounding (about 2^-50 of R).
    if ((op_ == MathOperator::Add || op_ == MathOperator::Sub) && usable_ && h_ >= 0.0) {
        auto range = [&](int ch) -> std::int64_t {
            if (math.groundCoupled[ch])
                return 0;
            return std::int64_t{10} * s.acqVoltsPerDivMv[ch] * s.probeFactor[ch];
        };
        const std::int64_t ra = range(first);
        const std::int64_t rb = range(second);
        constexpr std::int64_t kMaxRange = std::int64_t{1} << 31;
        if (ra >= 0 && rb >= 0 && ra < kMaxRange && rb < kMaxRange) {
            const std::int64_t g = std::gcd(ra, rb);
            std::int64_t k[2] = {0, 0};
            if (g > 0) {
                k[first] += ra / g;
                k[second] += (op_ == MathOperator::Sub ? -rb : rb) / g;
            }
            if (std::abs(k[0]) <= 32767 && std::abs(k[1]) <= 32767) {
                hasScore_ = true;
                scoreCh1_ = static_cast<int>(k[0]);
                scoreCh2_ = static_cast<int>(k[1]);
            }
        }
    }
    // In exact arithmetic an operand is R x (125 x code - 256 x (250 - p) - 64000) / 128000,
    // so a product is R_A x R_B / (128000^2 x 1000) times the product of two integers. Different
    // integer products lie at least R_A x R_B / 1.6e13 apart, some 10^4 times the rounding of
    // the product of the tables' values.
    if (op_ == MathOperator::Mul && usable_ && h_ >= 0.0 && !math.groundCoupled[first] &&
        !math.groundCoupled[second]) {
        auto positive = [&](int ch) { return s.acqVoltsPerDivMv[ch] > 0 && s.probeFactor[ch] > 0; };
        if (positive(first) && positive(second)) {
            hasProduct_ = true;
            offsetA_ = -256 * (250 - s.acqTracePosition[first]) - 64000;
            offsetB_ = -256 * (250 - s.acqTracePosition[second]) - 64000;
        }
    }
}

int MathMapping::YOfValue(double m) const {
    double y = h_ / 2.0 - m * h_ / scaleDen_ - offset_;
    // Clamping keeps the order of values, so the extremes of a column stay its extremes.
    y = std::clamp(y, -kYLimit, kYLimit);
    return static_cast<int>(std::trunc(y));
}

std::string MathOperationLabel(const MathSettings& math) {
    static constexpr std::string_view kOperators[] = {"＋", "－", "×", "÷"};
    const int op = std::clamp(static_cast<int>(math.op), 0, 3);
    std::string text = "   ";
    text += math.firstSource == 1 ? "CH2" : "CH1";
    text += kOperators[op];
    text += math.secondSource == 1 ? "CH2" : "CH1";
    return text;
}

std::string AcquireLabel(int waveformMode, std::string_view waveformItem,
                         std::string_view numberItem) {
    std::string text = "    ";
    text += waveformItem;
    if (waveformMode == kWaveformAverage) {
        text += ' ';
        text += numberItem;
    }
    return text;
}

}  // namespace lumatrace
