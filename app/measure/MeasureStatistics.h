// Statistics of the measurements over acquisitions: the current value, mean, smallest and
// largest value, standard deviation and the number of acquisitions that gave a value.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "app/measure/MeasureEngine.h"
#include "app/measure/MeasureTypes.h"

namespace lumatrace {

// What decides what a measurement measures: a change of any of it restarts the statistics.
// The vertical position is left out on purpose: moving a trace does not change the signal.
struct MeasureSetup {
    MeasureSource source = MeasureSource::Ch1;
    SampleRange gate;
    struct Channel {
        bool on = false;
        bool ground = false;
        int voltsPerDivMv = 0;
        int probeFactor = 0;
        bool operator==(const Channel&) const = default;
    };
    std::array<Channel, 2> channel{};
    bool mathOn = false;
    int mathFirst = 0;
    int mathSecond = 1;
    MathOperator mathOp = MathOperator::Add;
    double sampleIntervalSeconds = 0.0;
    int recordSize = 0;

    bool operator==(const MeasureSetup&) const = default;
};
MeasureSetup SetupOf(const MeasureInput& in, MeasureSource source, SampleRange gate);

// Running statistics of every measurement (Welford's update: no sums that lose precision over
// long runs).
class MeasureStatistics {
  public:
    struct Column {
        std::optional<double> current;  // the last acquisition's value
        std::optional<double> mean;
        std::optional<double> min;
        std::optional<double> max;
        std::optional<double> stdDev;  // sample standard deviation, from two values on
        std::int64_t count = 0;        // acquisitions that gave a value
    };

    // Adds one acquisition. When its setup differs from the previous one's, the statistics
    // restart with it.
    void Add(const MeasureValues& values, const MeasureSetup& setup);
    // Forgets every acquisition (the reset button).
    void Reset();
    Column Of(MeasureId id) const;
    // Acquisitions added since the last restart, with a value or not.
    std::int64_t Acquisitions() const { return acquisitions_; }

  private:
    struct Running {
        std::optional<double> current;
        std::int64_t count = 0;
        double mean = 0.0;
        double m2 = 0.0;  // sum of squared distances from the mean
        double min = 0.0;
        double max = 0.0;
    };
    std::array<Running, kMeasureCount> running_{};
    std::optional<MeasureSetup> setup_;
    std::int64_t acquisitions_ = 0;
};

}  // namespace lumatrace
