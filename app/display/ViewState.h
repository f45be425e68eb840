#pragma once

#include <array>
#include <cstdint>

#include "app/display/Canvas.h"
#include "app/settings/InstrumentTypes.h"

namespace lumatrace {

// Slots of the display colour table.
enum ColorSlot : int {
    kSlotCh1 = 0,
    kSlotCh2 = 1,
    kSlotUnused = 2,  // no setting writes it
    kSlotMath = 3,    // also the XY plot
    kSlotFft = 4,
    kSlotBackground = 5,
    kSlotScale = 6,  // scale and grid
    kSlotTrigLevel = 7,
    kSlotTrigPosition = 8,
    kSlotCursorT = 9,
    kSlotCursorV = 10,
    kColorSlotCount = 11,
};

inline constexpr Color kPanelMainColor = 0x808080;  // clGray

inline constexpr std::array<Color, kColorSlotCount> kDefaultDisplayColors = {
    0x0000FF,  // CH1 clRed
    0xFF0000,  // CH2 clBlue
    0x000000,  // unused
    0x008000,  // MATH clGreen
    0x800080,  // FFT clPurple
    0xFFFFFF,  // background clWhite
    0xC0C0C0,  // scale clSilver
    0x00FF00,  // trigger level clLime
    0x808000,  // trigger position clTeal
    0xFF00FF,  // delta-T cursors clFuchsia
    0xFFFF00,  // delta-V cursors clAqua
};

// The settings and main-window mirrors the view reads. The main window keeps them up to date
// (its change handlers are the only writers) and hands them to every view call; the view
// never looks at a control.
struct ViewSettings {
    // Readiness.
    bool formReady = false;           // window created; nothing is drawn before
    bool displayInitialised = false;  // first layout done
    bool displaySuspended = false;    // a waveform file is being loaded and applied

    // Run state.
    int runMode = kRunStop;
    bool rollActive = false;
    bool equivalentActive = false;
    bool equivalentAsRealTime = false;  // equivalent-time run showing an auto-triggered record
    bool dataValid = false;             // a record is on show
    bool recordSinceStart = false;      // a record arrived since sampling was last (re)started
    int waveformMode = kWaveformSample;

    // Traces.
    std::array<bool, 2> channelOn = {true, true};
    bool mathOn = false;
    bool fftOn = false;
    // Stacking layer per trace, 1 front .. 3 back (entry 2 unused).
    std::array<int, kTraceCount> traceOrder = {1, 2, 0, 3, 3};
    std::array<int, kTraceCount> tracePosition = {250, 250, 250, 250, 100};
    std::array<int, 2> voltsPerDivMv = {50, 50};
    std::array<int, 2> probeFactor = {10, 10};
    // Each channel's position and volts per division when the record on show was taken.
    std::array<int, 2> acqTracePosition = {250, 250};
    std::array<int, 2> acqVoltsPerDivMv = {50, 50};

    // Horizontal settings.
    int memoryPoints = 10000;
    int trigPosition = 5000;
    double timePerDiv = 200000.0;      // ns per division
    double prevTimePerDiv = 200000.0;  // before the time/div change being handled

    // Display.
    bool gridOn = true;   // A_Grid
    bool scaleOn = true;  // A_Scale
    bool xyOn = false;    // A_XY
    std::array<Color, kColorSlotCount> displayColors = kDefaultDisplayColors;
    Color buttonShadowColor = 0x808080;  // the platform palette's dark colour

    // Cursor pairs: which are shown and which pair the user touched last.
    bool cursorTOn = true;
    bool cursorVOn = true;
    bool lastCursorPairT = false;

    bool Running() const { return runMode != kRunStop; }
    bool RollRunning() const { return Running() && rollActive; }
    bool SpectrumInFront() const { return fftOn && traceOrder[kTraceFft] == 1; }
};

// Horizontal view state. The view owns it; acquisition, the time-base handler, roll mode and
// the scroll and pointer handlers read and write it between redraws.
struct HorizontalView {
    int ScreenSamples = 1000000;  // sample indices across the width at zoom 1
    int ViewStart = 0;            // first sample index at the left edge
    double HorizontalZoom = 1.0;  // below 1 while a stopped record is shown at a longer T/div
    double StartPhase = 0.0;      // fraction of a pixel carried into the first sample
    int ViewOffset = 0;           // whole-pixel shift of the trace
    bool viewOffsetComputed = false;
    double TrigMarkerFraction = -1.0;  // x of the trigger point / width in the last redraw
    int TraceLeft = 1;
    int TraceRight = 450;
    int TrigPointX = 0;
    bool viewAnchorHold = false;  // do not re-anchor the trace to the trigger marker
    double SpecStartPhase = 0.0;

    // Mirror of the horizontal scroll bar (range 0..1,000,000). The window copies the bar's
    // position in before a recomputation and applies both fields afterwards.
    int scrollPosition = 0;
    bool scrollEnabled = false;
};

// Bin window of the spectrum view; the spectrum code maintains the sizes, the view window
// recomputation places it.
struct SpectrumWindow {
    int FftBins = 4096;
    int BinsPerScreen = 0;
    int HalfScreenBins = 0;
    int SpecStart = 0;
    int SpecLeftBlank = 0;
    double ScrollPerBin = 0.0;

    int SpecCentreBin() const {
        int c = SpecStart + HalfScreenBins - SpecLeftBlank;
        return c > FftBins - 1 ? FftBins - 1 : c;
    }

    // The first bin on screen for a left edge `a` bins from 0 Hz: none before 0 Hz (the blank
    // left of it is the caller's), and none so late that the last bin would pass the centre.
    void SetSpecStart(std::int64_t a) {
        const int last = FftBins - HalfScreenBins - 1;
        if (a <= 0) {
            SpecStart = 0;
        } else if (a + HalfScreenBins >= FftBins) {
            SpecStart = last > 0 ? last : 0;
        } else {
            SpecStart = static_cast<int>(a);
        }
    }
};

}  // namespace lumatrace
