#pragma once

#include <cstdint>

namespace lumatrace {

// A monotonic millisecond clock and a way to wait, so timing code can run
// against a manual clock in tests.
class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary fixed point; never goes backwards.
    virtual std::uint64_t NowMs() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};

class SteadyClock final : public Clock {
  public:
    std::uint64_t NowMs() override;
    void SleepMs(std::uint32_t ms) override;
};

}  // namespace lumatrace
