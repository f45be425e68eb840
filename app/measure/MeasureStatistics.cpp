#include "app/measure/MeasureStatistics.h"

#include <algorithm>
#include <cmath>

namespace lumatrace {

MeasureSetup SetupOf(const MeasureInput& in, MeasureSource source, SampleRange gate) {
    MeasureSetup s;
    s.source = source;
    s.gate = gate;
    for (std::size_t ch = 0; ch < 2; ++ch) {
        s.channel[ch] = {in.channel[ch].on, in.channel[ch].ground, in.channel[ch].voltsPerDivMv,
                         in.channel[ch].probeFactor};
    }
    s.mathOn = in.mathOn;
    s.mathFirst = in.math.firstSource;
    s.mathSecond = in.math.secondSource;
    s.mathOp = in.math.op;
    s.sampleIntervalSeconds = in.sampleIntervalSeconds;
    s.recordSize = static_cast<int>(in.record.size());
    return s;
}

void MeasureStatistics::Add(const MeasureValues& values, const MeasureSetup& setup) {
    if (!setup_ || !(*setup_ == setup))
        Reset();
    setup_ = setup;
    ++acquisitions_;
    for (int i = 0; i < kMeasureCount; ++i) {
        Running& r = running_[static_cast<std::size_t>(i)];
        const std::optional<double>& v = values[static_cast<MeasureId>(i)];
        r.current = v;
        if (!v || !std::isfinite(*v))
            continue;
        ++r.count;
        const double delta = *v - r.mean;
        r.mean += delta / static_cast<double>(r.count);
        r.m2 += delta * (*v - r.mean);
        r.min = r.count == 1 ? *v : std::min(r.min, *v);
        r.max = r.count == 1 ? *v : std::max(r.max, *v);
    }
}

void MeasureStatistics::Reset() {
    running_ = {};
    setup_.reset();
    acquisitions_ = 0;
}

MeasureStatistics::Column MeasureStatistics::Of(MeasureId id) const {
    const Running& r = running_[static_cast<std::size_t>(id)];
    Column c;
    c.current = r.current;
    c.count = r.count;
    if (r.count > 0) {
        c.mean = r.mean;
        c.min = r.min;
        c.max = r.max;
    }
    if (r.count > 1)
        c.stdDev = std::sqrt(std::max(r.m2, 0.0) / static_cast<double>(r.count - 1));
    return c;
}

}  // namespace lumatrace
