// Stacking order of the three traces that can be in front: CH1, CH2 and the third trace
// (FFT while the FFT is switched on, MATH otherwise). Layers run from 1 (front) to 3 (back).
#pragma once

#include <array>
#include <string_view>

#include "app/display/InteractionHost.h"
#include "app/platform/UiText.h"

namespace lumatrace {

using TraceOrder = std::array<int, kTraceCount>;

inline constexpr std::string_view kScrollHintTime =
    UI_TEXT_NOOP("Display", "波形表示位置移動(Ctrl+←/→/PageUp/PageDown/Home/End)");
inline constexpr std::string_view kScrollHintSpectrum =
    UI_TEXT_NOOP("Display", "波形表示位置移動(Ctrl+←/→/PageUp/PageDown/Insert/Home/End)");

// The third member of the stack: FFT when the FFT switch is on, else MATH.
inline int ThirdTrace(bool fftOn) {
    return fftOn ? kTraceFft : kTraceMath;
}

// The triple's layers are 1, 2 and 3 in some order. The third trace not in the triple (MATH
// while the FFT is on, FFT while it is off) is not drawn, and its layer means nothing until it
// takes the third place: then it takes over the layer of the trace it replaces (TraceSwitched).
//
// Brings the triple of fftOn into that shape whatever it held: layers outside 1..3 and ties are
// ranked behind, CH1 before CH2 before the third trace, the order in which a redraw picks among
// traces on one layer. A triple already in shape is left as it is. Every change below settles
// first, so the rules only ever permute layers 1..3; an order kept elsewhere and restored can
// be settled the same way.
void SettleTraceOrder(TraceOrder& order, bool fftOn);

// Selecting or switching on trace a: a comes to the front and the others move back behind it.
// A trace outside the triple of fftOn is not on show and changes nothing.
void BringTraceToFront(TraceOrder& order, int trace, bool fftOn);
// Switching off trace a: a goes to the back and the others move forward.
void SendTraceToBack(TraceOrder& order, int trace, bool fftOn);

// Right-button re-stacking of the markers in reach (CH1, CH2, third trace). With two in reach
// the one behind comes to the front, the other takes layer 2 and the trace out of reach
// layer 3; with three they rotate (front to back, middle to front, back to middle). Returns
// false, leaving order alone, when fewer than two are in reach or nothing changed.
bool RestackInReach(TraceOrder& order, const std::array<bool, 3>& inReach, bool fftOn);

// A trace switched on (or selected) or off by its button, action or menu item: the order
// changes and StackingChanged follows. The triple is the one the switched trace belongs to,
// so FFT on and off may be reported before or after fftOn itself changes. The FFT switch hands
// the third place over: switched on, the spectrum starts from MATH's layer and comes to the
// front; switched off, it goes to the back and MATH takes the layer it leaves. MATH switched
// while the spectrum holds the third place restacks nothing.
void TraceSwitched(ViewSettings& view, int trace, bool on, InteractionHost& host);

// What follows every change of the order: scroll bar mode and hint, the trigger position
// controls and the time cursor readout.
void StackingChanged(const ViewSettings& view, InteractionHost& host);

}  // namespace lumatrace
