// Samples across the screen for the time base, and the zoom state that a
// time/div change re-scales a record on show by.
#pragma once

#include <cstdint>

namespace lumatrace {

// Nearest integer, ties to even, in extended precision and independent of
// the floating-point environment.
long double RoundHalfEvenL(long double v);

// Real-time samples across the screen: round(T/div in ns), at most the record.
int RealTimeScreenSamples(long double timePerDivNs, int memoryPoints);
// Equivalent-time samples across the screen (100 ps each): round(T/div x 100).
int EquivalentScreenSamples(long double timePerDivNs);

// Zoom state of the record on show; reset by every record.
struct ZoomState {
    std::int64_t zoomSamples = 1000000;
    int zoomOutRefusals = 0;
    int zoomInRefusals = 0;
    bool zoomFromTwo = false;  // the zoom came down from 2 samples to 0

    void Reset(int screenSamples) {
        zoomSamples = screenSamples;
        zoomOutRefusals = 0;
        zoomInRefusals = 0;
    }
};

// A change of time base (or of record length) for RecomputeTimeBase.
struct TimeBaseChange {
    long double timePerDiv = 200000.0L;      // ns per division, new
    long double prevTimePerDiv = 200000.0L;  // before the change
    int prevIndex = 16;                      // time/div index before the change
    int newIndex = 16;
    int memoryPoints = 10000;
    bool equivalentActive = false;
    bool firstLayoutDone = true;
    bool memorySizeChange = false;
};

// The view's horizontal scale as RecomputeTimeBase reads and writes it.
struct HorizontalScale {
    int ScreenSamples = 10000;
    double HorizontalZoom = 1.0;
};

struct TimeBaseResult {
    int realTimeSamples;        // R
    int equivalentSamples = 0;  // Q, only with equivalent-time
};

// Samples across the screen for the new time base, and the stepwise
// re-scaling of the record on show: one step per time/div item passed, each
// zooming by new/old, refusing zoom-outs below 0.004 and zoom-ins below one
// sample, and taking refusals back on the way home. Nanoseconds per division
// of an index come from `timePerDivNs`.
TimeBaseResult RecomputeTimeBase(const TimeBaseChange& change, ZoomState& zoom,
                                 HorizontalScale& view, std::int64_t (*timePerDivNs)(int index));

}  // namespace lumatrace
