// Where the main window goes at start-up: the default rectangle derived from
// the frame and the work area, and the rule that decides between it and the
// placement stored in the parameter file.
#pragma once

#include <cstdint>
#include <optional>

namespace lumatrace {

enum class ParamWindowState : std::uint8_t { Normal = 0, Minimised = 1, Maximised = 2 };

struct WindowRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    bool operator==(const WindowRect&) const = default;
};

// The screen's work area (the primary screen's available geometry).
struct WorkArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// The client area the default window is sized for.
inline constexpr int kDefaultClientWidth = 870;
inline constexpr int kDefaultClientHeight = 521;

struct DerivedWindowSizes {
    int defaultWidth = 0;
    int defaultHeight = 0;
    int defaultLeft = 0;
    int defaultTop = 0;

    WindowRect DefaultRect() const {
        return {defaultLeft, defaultTop, defaultWidth, defaultHeight};
    }
    bool operator==(const DerivedWindowSizes&) const = default;
};

// `frameWidth`/`frameHeight`: window size minus client size. The default
// window has an 870 x 521 client area and is centred in the work area
// (halves truncated toward zero, also when the window is larger than the area).
DerivedWindowSizes ComputeDerivedWindowSizes(int frameWidth, int frameHeight, const WorkArea& area);

// Work-area width x height as the parameter file stores it: a 32-bit integer
// (wrapping, so that any screen compares consistently with what was stored).
std::int32_t WorkAreaSize(const WorkArea& area);

struct WindowPlacementDecision {
    WindowRect rect;
    // The state to give the window after placing it; nullopt leaves it as it is.
    std::optional<ParamWindowState> state;

    bool operator==(const WindowPlacementDecision&) const = default;
};

// The placement rule for a loaded parameter file:
// - same work area, stored state not normal: default rectangle, then the stored state;
// - same work area, normal: the stored rectangle, but at the default size when
//   the stored one is narrower or lower than the default; then normal state;
// - other work area: default rectangle, state left alone.
WindowPlacementDecision DecideWindowPlacement(std::int32_t storedWorkAreaSize,
                                              ParamWindowState storedState,
                                              const WindowRect& storedRect,
                                              const WorkArea& currentArea,
                                              const DerivedWindowSizes& sizes);

}  // namespace lumatrace
