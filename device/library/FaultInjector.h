// Deliberate failures of library calls, for tests and demonstrations:
// "fail call K of function F with this error code word".
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/firmware/VirtualConfig.h"

namespace lumatrace::device {

class FaultInjector {
  public:
    // Replaces the rules and restarts the call counts.
    void configure(std::vector<FaultRule> rules);
    // Counts one call of `function`; returns the error code word it must
    // fail with, or 0.
    uint32_t onCall(std::string_view function);

    static uint32_t errorWord(const FaultRule& rule);

  private:
    std::mutex mutex_;
    std::vector<FaultRule> rules_;
    std::map<std::string, uint32_t, std::less<>> calls_;
};

}  // namespace lumatrace::device
