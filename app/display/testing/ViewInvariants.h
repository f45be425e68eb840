// What must hold of the waveform view after every step the user can take, as plain checks a
// test calls after each step of a sequence (and prints with the step that broke it). Each
// check returns an empty string when its invariant holds, else a sentence saying what is wrong.
// The checks only read: where they need to try something they work on copies.
#pragma once

#include <string>

#include "app/display/InteractionHost.h"
#include "app/display/ViewState.h"
#include "app/display/WaveView.h"

namespace lumatrace::testing {

// What the horizontal scroll bar shows, in the terms of a slider whose range is 0..maximum.
struct ScrollBarState {
    int value = 0;
    int maximum = 0;
    int pageStep = 0;
    int singleStep = 0;
    bool enabled = false;
};

// Every trace on show (CH1, CH2, the spectrum, MATH while the spectrum is off) has a layer of
// its own, 1..3: the redraw draws one trace per layer, so a trace sharing a layer vanishes
// together with its marker.
std::string CheckTraceLayers(const ViewSettings& s);

// The bar has the geometry of the view in front (record or spectrum), and its position agrees
// with the view: ViewStart lies in 0 .. memoryPoints - ScreenSamples - 1, and the bar stands
// where the view's left edge is to within the pixel the scroll handler keeps as phase (a
// spectrum bar may be one bin short more, as its position is truncated to whole units).
std::string CheckScrollBar(const ViewSettings& s, const WaveView& view, const ScrollBarState& bar);

// From the state as it stands, every way to the end of the bar shows the end: Ctrl+End,
// Ctrl+PageDown pressed until the bar stops, clicks in the trough until the bar stops, and the
// thumb dragged to the end and let go each bring the record's last sample on screen (with the
// spectrum in front, the last bin to the centre), to within the pixel the view stops at. Tried
// on copies, with the bar's range as shown.
std::string CheckEndReachable(const ViewSettings& s, const WaveView& view,
                              const ScrollBarState& bar);

// After a redraw that walked a time-domain trace (any but the spectrum alone on show):
// TrigPointX is where the view as it stands puts the trigger point (the view did not move
// without a redraw), and when the trigger sample is walked, the marker is within one pixel of
// the column the trace draws that sample in. One pixel, because the marker is placed by
// rounding the trigger's position while a sample enters the column its position falls in.
std::string CheckTriggerMarker(const ViewSettings& s, const WaveView& view);

}  // namespace lumatrace::testing
