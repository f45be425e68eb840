// What pointer, up-down and scroll handling of the views needs from the main window, and the
// state it works on. The interaction code decides; the window carries the consequences out.
#pragma once

#include <array>
#include <string_view>

#include "app/display/ViewGeometry.h"
#include "app/display/ViewState.h"
#include "app/settings/SettingsModel.h"

namespace lumatrace {

// The readouts of the settings information column.
enum class Readout : int {
    TrigLevel,
    TrigPosition,
    Ch1,
    Ch2,
    Math,
    Fft,
    CursorT,  // the time (or frequency) cursor pair
    CursorV,  // the voltage cursor readouts of every trace
};

// The paint boxes that take pointer input.
enum class PointerSurface : int {
    Volt,       // PaintBoxVolt: trace position markers
    TrigLevel,  // PaintBoxTrigL
    TrigPos,    // PaintBoxTrigP
    Wave,       // PaintBoxWave: cursor lines
};
inline constexpr int kPointerSurfaceCount = 4;

enum class PointerShape : int {
    Default,
    HMove,   // application cursor "HMove"
    VMove,   // application cursor "VMove"
    HSplit,  // system cursor for a vertical line that moves sideways
    VSplit,  // system cursor for a horizontal line that moves up and down
};

// Which hint a surface shows while the pointer is over one of its items.
enum class HintSource : int {
    None,      // nothing under the pointer
    Surface,   // the paint box's own hint
    UpDownDt,  // the hint of UpDownDt
    UpDownDv,  // the hint of UpDownDv
};

// Marker positions of the last redraw, in the markers' own coordinates: MarkerY and TrigLevelY
// in strip coordinates (StripOffset above the strips' pixels), the trigger position marker in
// the pixels of PaintBoxTrigP.
struct MarkerPixels {
    std::array<int, kTraceCount> MarkerY{};
    int TrigLevelY = 0;
    int TrigPosMarkerX = 0;
    int StripOffset = 40;
    int OverviewLeft = 0;
    double OverviewScale = 0.0;
};

// Panel state the interaction reads but does not own.
struct InteractionInputs {
    int trigSource = 0;       // 0 CH1, 1 CH2, 2 any other source (the trigger reference)
    int fftVerticalType = 0;  // index of fftPositionByType for the current vertical type
    bool mathUpDownEnabled = false;
    bool cursorPairMove = false;  // Shift+Ctrl+Alt held: both cursors of a pair move together
};

// Everything one handler call works on. settings holds the values that change (positions,
// trigger numbers, cursors); view supplies traceOrder, lastCursorPairT (both written) and the
// run state, switches and the display-initialised flag (read).
struct InteractionContext {
    InstrumentSettings& settings;
    ViewSettings& view;
    const ViewGeometry& geometry;
    HorizontalView& horizontal;
    SpectrumWindow& spectrum;
    const MarkerPixels& markers;
    InteractionInputs inputs;
};

// Geometry of the horizontal scroll bar (Min 0, Max 1,000,000).
struct ScrollGeometry {
    int pageSize = 0;
    int smallChange = 1;
    int largeChange = 1;
    bool enabled = false;
    friend bool operator==(const ScrollGeometry&, const ScrollGeometry&) = default;
};

inline constexpr int kScrollMax = 1000000;

class InteractionHost {
  public:
    virtual ~InteractionHost() = default;

    // Marks the mode record for re-sending and sends the settings to the instrument; with
    // restartSampling also requests a restart of sampling.
    virtual void SendSettings(bool restartSampling) = 0;
    virtual void RedrawAll() = 0;
    virtual void RefreshReadout(Readout readout) = 0;
    // One roll step at once, so a change shows while roll mode runs.
    virtual void RollStep() = 0;

    virtual void SetPointerShape(PointerSurface surface, PointerShape shape) = 0;
    virtual void ShowHint(PointerSurface surface, HintSource hint) = 0;
    // Runs the pair's selection toggle (A_Dtc for the time pair, A_Dvc for the voltage pair),
    // which flips cursorTSelected or cursorVSelected in the settings and redraws the pair's
    // selection button image.
    virtual void ToggleCursorSelection(bool pairT) = 0;

    // Scroll bar.
    virtual void SetScrollPosition(int position) = 0;
    // The bar now scrolls the spectrum (true) or the record (false); the window re-scales it.
    virtual void SetScrollSpectrumMode(bool spectrum) = 0;
    virtual void SetScrollHint(std::string_view hint) = 0;
    // LabelTrigP and UpDownTrigP.
    virtual void SetTrigPosControlsEnabled(bool enabled) = 0;
};

}  // namespace lumatrace
