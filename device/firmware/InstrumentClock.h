// The instrument's sense of time. Real instruments run on their own
// oscillator; the virtual one runs on the host's monotonic clock, scaled,
// or is stepped by the commands it receives so that tests see every stage
// of an acquisition whatever the load of the machine.
#pragma once

#include <chrono>
#include <memory>

#include "device/firmware/SignalModel.h"

namespace lumatrace::device {

class InstrumentClock {
  public:
    using WallTime = std::chrono::steady_clock::time_point;

    virtual ~InstrumentClock() = default;
    virtual Picoseconds now() = 0;
    // Called as each command arrives.
    virtual void commandReceived() {}
    // The wall-clock instant at which instrument time t arrives by itself;
    // WallTime::max() when time moves only with commands.
    virtual WallTime wallTimeOf(Picoseconds t) = 0;
};

// Instrument time = host monotonic time since power-on x scale.
class ScaledClock final : public InstrumentClock {
  public:
    explicit ScaledClock(double scale) : origin_(std::chrono::steady_clock::now()), scale_(scale) {}

    Picoseconds now() override {
        auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now() - origin_)
                      .count();
        return static_cast<Picoseconds>(static_cast<double>(ns) * 1000.0 * scale_);
    }

    WallTime wallTimeOf(Picoseconds t) override {
        double ns = static_cast<double>(t) / (1000.0 * scale_);
        // Past about 100 years the instant may as well be never.
        if (ns > 3e18)
            return WallTime::max();
        // Round up so that a wake-up never comes before its instant.
        return origin_ + std::chrono::nanoseconds(static_cast<int64_t>(ns) + 1000);
    }

  private:
    WallTime origin_;
    double scale_;
};

// Instrument time starts at 0 and moves by `step` with each command.
class SteppedClock final : public InstrumentClock {
  public:
    explicit SteppedClock(Picoseconds step) : step_(step) {}
    Picoseconds now() override { return now_; }
    void commandReceived() override { now_ += step_; }
    WallTime wallTimeOf(Picoseconds) override { return WallTime::max(); }

  private:
    Picoseconds now_ = 0;
    Picoseconds step_;
};

}  // namespace lumatrace::device
