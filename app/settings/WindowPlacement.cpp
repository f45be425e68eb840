#include "app/settings/WindowPlacement.h"

namespace lumatrace {

DerivedWindowSizes ComputeDerivedWindowSizes(int frameWidth, int frameHeight,
                                             const WorkArea& area) {
    DerivedWindowSizes s;
    s.defaultWidth = frameWidth + kDefaultClientWidth;
    s.defaultHeight = frameHeight + kDefaultClientHeight;
    // Integer division truncates toward zero, as the centring has always done.
    s.defaultLeft = (area.width - s.defaultWidth) / 2 + area.left;
    s.defaultTop = (area.height - s.defaultHeight) / 2 + area.top;
    return s;
}

std::int32_t WorkAreaSize(const WorkArea& area) {
    const std::uint64_t product =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(area.width) * area.height);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(product));
}

WindowPlacementDecision DecideWindowPlacement(std::int32_t storedWorkAreaSize,
                                              ParamWindowState storedState,
                                              const WindowRect& storedRect,
                                              const WorkArea& currentArea,
                                              const DerivedWindowSizes& sizes) {
    WindowPlacementDecision d;
    if (WorkAreaSize(currentArea) != storedWorkAreaSize) {
        d.rect = sizes.DefaultRect();
        return d;
    }
    if (storedState != ParamWindowState::Normal) {
        d.rect = sizes.DefaultRect();
        d.state = storedState;
        return d;
    }
    if (storedRect.width < sizes.defaultWidth || storedRect.height < sizes.defaultHeight) {
        d.rect = {storedRect.left, storedRect.top, sizes.defaultWidth, sizes.defaultHeight};
    } else {
        d.rect = storedRect;
    }
    d.state = ParamWindowState::Normal;
    return d;
}

}  // namespace lumatrace
