// Which samples a measurement reads: the whole record, the part on screen, or the part between
// the two ΔT cursors, as ranges of record indices computed from the view's state.
#pragma once

#include "app/display/ViewGeometry.h"
#include "app/display/ViewState.h"
#include "app/measure/MeasureEngine.h"

namespace lumatrace {

enum class MeasureGate : int { Record = 0, Screen = 1, Cursors = 2 };

// Every sample of the record.
SampleRange RecordGate(int memoryPoints);

// Record index (fractional) under a horizontal position of the graticule, given like the ΔT
// cursors in 1/50 division from the left edge (0 .. 500), for the trace as the last redraw
// placed it. Times agree with the cursor readout: the trigger point sits at round(TrigPointX /
// Kx) and each unit spans ScreenSamples / 500 samples, stretched by the zoom of a stopped
// record shown whole.
double IndexAtUnits(const HorizontalView& h, const ViewGeometry& g, int memoryPoints,
                    int trigPosition, double units);

// The samples from the left to the right edge of the graticule.
SampleRange ScreenGate(const HorizontalView& h, const ViewGeometry& g, int memoryPoints,
                       int trigPosition);

// The samples between the two ΔT cursors, both included when they fall on a sample.
SampleRange CursorGate(const HorizontalView& h, const ViewGeometry& g, int memoryPoints,
                       int trigPosition, int cursorT1, int cursorT2);

}  // namespace lumatrace
