#include "device/library/FaultInjector.h"

namespace lumatrace::device {

void FaultInjector::configure(std::vector<FaultRule> rules) {
    std::lock_guard lock(mutex_);
    rules_ = std::move(rules);
    calls_.clear();
}

uint32_t FaultInjector::errorWord(const FaultRule& rule) {
    // Only the OS error (code 1) and the device's minor code (code 12)
    // travel in the high half.
    if (rule.code == 1 || rule.code == 12)
        return rule.code | (rule.detail << 16);
    return rule.code;
}

uint32_t FaultInjector::onCall(std::string_view function) {
    std::lock_guard lock(mutex_);
    if (rules_.empty())
        return 0;
    auto it = calls_.find(function);
    if (it == calls_.end())
        it = calls_.emplace(std::string(function), 0).first;
    const uint32_t call = ++it->second;
    for (const FaultRule& rule : rules_)
        if (rule.function == function && rule.call == call)
            return errorWord(rule);
    return 0;
}

}  // namespace lumatrace::device
