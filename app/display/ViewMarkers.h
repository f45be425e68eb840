#pragma once

#include <array>

#include "app/display/Canvas.h"
#include "app/display/ViewGeometry.h"
#include "app/display/ViewLayers.h"
#include "app/display/ViewState.h"
#include "app/settings/SettingsModel.h"

namespace lumatrace {

// ---------------------------------------------------------------- marker arithmetic

// y of a position (1/50 division, 0 = top of the code range) in strip coordinates, where the
// graticule's top edge lies at DivHeight.
int MarkerY(int position, double ky);
// The trace's zero line in graticule coordinates, from its unclamped marker y.
inline int ZeroLineY(int markerY, int divHeight) {
    return markerY - divHeight;
}
inline int TrigLevelY(int trigLevel, double ky) {
    return MarkerY(trigLevel, ky);
}
// Converts strip coordinates to the pixels of the Volt and TrigLevel strips; waveTopInPanel is
// the wave paint box's top inside the panel that also holds the strips.
inline int StripOffset(int divHeight, int waveTopInPanel) {
    return divHeight - waveTopInPanel;
}
// Overview pixels per sample of the record; 0 without a record length.
double OverviewScale(int waveWidth, int memoryPoints);
// x in the trigger position strip of the wave picture's x = 1.
inline int OverviewLeft(int waveBoxLeft, int trigPosBoxLeft) {
    return waveBoxLeft - trigPosBoxLeft + 1;
}
// x of a sample index in the trigger position strip.
int OverviewX(double index, double overviewScale, int overviewLeft);

// Where a marker sits relative to the visible screen (strictly inside DivHeight..9 DivHeight).
enum class MarkerPlace { Above, OnScreen, Below };
MarkerPlace PlaceOf(int markerY, int divHeight);
// The stored marker y: an off-screen marker is pinned just outside the screen so that its
// triangle can be hit.
int PinnedMarkerY(int markerY, int divHeight);

// ---------------------------------------------------------------- inputs and results

// Settings the markers need beyond ViewSettings; the main window copies them in before each
// redraw (MarkerSettingsFrom).
struct MarkerSettings {
    int trigLevel = 250;
    int cursorT1 = 150;
    int cursorT2 = 350;
    int cursorV1 = 100;
    int cursorV2 = 300;
    int cursorTSelected = 1;
    int cursorVSelected = 1;
};
MarkerSettings MarkerSettingsFrom(const InstrumentSettings& s);

// Placement of the strips around the wave paint box, in pixels of the main panel; set on
// resize. The defaults are those of the standard layout (20-pixel strips, wave box 5 pixels
// inside its bevelled panel).
struct StripLayout {
    int waveTopInPanel = 5;
    int waveBoxLeft = 25;    // left of PaintBoxWave
    int trigPosBoxLeft = 0;  // left of PaintBoxTrigP
};

// Items the pointer is over or dragging; the interaction code sets them before a redraw.
struct MarkerHighlight {
    std::array<bool, kTraceCount> trace{};  // position markers by trace index
    bool trigLevel = false;
    bool trigPosition = false;
};

// Where the last redraw put the markers and cursors, for hit-testing.
struct MarkerPositions {
    int stripOffset = 0;
    double overviewScale = 0.0;
    int overviewLeft = 0;
    // Strip coordinates, off-screen markers pinned (PinnedMarkerY); entry kTraceTrigRef unused.
    std::array<int, kTraceCount> markerY{};
    // Graticule coordinates, never pinned.
    std::array<int, kTraceCount> zeroLineY{};
    int trigLevelY = 0;             // strip coordinates, pinned like the trace markers
    int trigPosMarkerX = 0;         // x of the marker in the trigger position strip
    int trigPointX = -1;            // x of the last trigger point marker on the graticule, -1 none
    std::array<int, 2> cursorTX{};  // cursor 1 and 2
    std::array<int, 2> cursorVY{};
};

// Pure computation of everything but trigPointX.
MarkerPositions ComputeMarkerPositions(const ViewSettings& s, const ViewGeometry& g,
                                       const MarkerSettings& m, const StripLayout& layout);

// ---------------------------------------------------------------- glyphs

// Trigger point triangle at the top of the graticule (and its full-height line while it is
// hovered or dragged); the spectrum uses the same glyph to mark the centre of its view.
void DrawTriggerPointGlyph(Canvas& wave, int x, Color color, bool withLine, int waveHeight);
// Downward pentagon of the trigger position strip, centred on x with its tip at tipY.
void DrawOverviewMarker(Canvas& strip, int x, int tipY, Color color);

// ---------------------------------------------------------------- the layer

class ViewMarkers : public MarkerLayer {
  public:
    void SetSettings(const MarkerSettings& settings) { settings_ = settings; }
    const MarkerSettings& Settings() const { return settings_; }
    void SetLayout(const StripLayout& layout) { layout_ = layout; }
    const StripLayout& Layout() const { return layout_; }
    void SetHighlight(const MarkerHighlight& highlight) { highlight_ = highlight; }
    const MarkerPositions& Positions() const { return positions_; }

    void DrawTimeCursors(const RedrawContext& ctx) override;
    void DrawVoltageCursors(const RedrawContext& ctx) override;
    void DrawTracePositionMarker(const RedrawContext& ctx, int trace) override;
    void DrawTriggerPointMarker(const RedrawContext& ctx, int x) override;
    void DrawTriggerLevelMarker(const RedrawContext& ctx) override;
    void DrawTriggerPositionStrip(const RedrawContext& ctx) override;

  private:
    void Update(const RedrawContext& ctx);

    MarkerSettings settings_;
    StripLayout layout_;
    MarkerHighlight highlight_;
    MarkerPositions positions_;
};

}  // namespace lumatrace
