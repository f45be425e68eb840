#include "app/core/FramePacer.h"

#include <cmath>

namespace lumatrace {

double FramePacer::FrameMsFor(double refreshHz) {
    return 1000.0 / (refreshHz > 0.0 ? refreshHz : 60.0);
}

FramePacer::Decision FramePacer::Request(std::uint64_t nowMs) {
    if (due_) {
        return {Decision::Kind::AlreadyDue, 0};
    }
    // The clock never goes backwards; a last frame "after" now is treated as now.
    const double since = lastMs_ && *lastMs_ <= nowMs ? static_cast<double>(nowMs - *lastMs_) : 0.0;
    if (!lastMs_ || since >= frameMs_) {
        return {Decision::Kind::DrawNow, 0};
    }
    due_ = true;
    return {Decision::Kind::DrawLater, static_cast<int>(std::ceil(frameMs_ - since))};
}

void FramePacer::Drawn(std::uint64_t nowMs) {
    lastMs_ = nowMs;
    due_ = false;
}

}  // namespace lumatrace
