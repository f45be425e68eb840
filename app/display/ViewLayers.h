#pragma once

#include "app/display/Canvas.h"
#include "app/display/ViewGeometry.h"
#include "app/display/ViewState.h"

namespace lumatrace {

class WaveView;

// The five off-screen pictures of the main window.
enum class ViewImage : int {
    Wave = 0,   // composed graticule area (size of PaintBoxWave)
    Grid,       // cached background: fill, grid and scale (same size as Wave)
    Volt,       // channel markers (PaintBoxVolt)
    TrigLevel,  // trigger level marker (PaintBoxTrigL)
    TrigPos,    // trigger position marker and record overview (PaintBoxTrigP)
};
inline constexpr int kViewImageCount = 5;

struct ImageSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const ImageSize&, const ImageSize&) = default;
};

// Sizes of the pictures, which are those of their paint boxes. Wave and Grid always share
// the wave paint box's size.
struct ViewImageSizes {
    ImageSize wave;
    ImageSize volt;
    ImageSize trigLevel;
    ImageSize trigPos;

    ImageSize Of(ViewImage image) const {
        switch (image) {
            case ViewImage::Wave:
            case ViewImage::Grid:
                return wave;
            case ViewImage::Volt:
                return volt;
            case ViewImage::TrigLevel:
                return trigLevel;
            case ViewImage::TrigPos:
                return trigPos;
        }
        return {};
    }
};

// Where a redraw paints. The main window owns the pictures and the paint boxes; the view
// only draws through this.
class ViewSurfaces {
  public:
    virtual ~ViewSurfaces() = default;
    virtual Canvas& CanvasFor(ViewImage image) = 0;
    // Copies the whole Grid picture onto the Wave picture.
    virtual void CopyGridToWave() = 0;
    // The redraw is complete: hand the four visible pictures to their paint boxes.
    virtual void Present() = 0;
};

// What a layer sees during a redraw.
struct RedrawContext {
    WaveView& view;
    const ViewSettings& settings;
    const ViewGeometry& geometry;
    HorizontalView& horizontal;
    ViewSurfaces& surfaces;
};

// The redraw steps that belong to the markers, cursors and readouts. Until a layer is
// installed (WaveView::SetMarkerLayer) these steps are skipped.
class MarkerLayer {
  public:
    virtual ~MarkerLayer() = default;
    virtual void DrawTimeCursors(const RedrawContext& ctx) = 0;
    virtual void DrawVoltageCursors(const RedrawContext& ctx) = 0;
    // Marker of one trace (kTraceCh1, kTraceCh2, kTraceMath, kTraceFft) on the Volt strip,
    // drawn just before the trace itself.
    virtual void DrawTracePositionMarker(const RedrawContext& ctx, int trace) = 0;
    // Trigger point marker at x on the Wave picture, in the middle of a trace; the trace sets
    // its pen again afterwards.
    virtual void DrawTriggerPointMarker(const RedrawContext& ctx, int x) = 0;
    virtual void DrawTriggerLevelMarker(const RedrawContext& ctx) = 0;
    // Time-domain variant of the trigger position strip.
    virtual void DrawTriggerPositionStrip(const RedrawContext& ctx) = 0;
};

// Averaging and the MATH trace. Until installed (WaveView::SetProcessingLayer) no averaging
// step runs and the MATH trace is not drawn.
class ProcessingLayer {
  public:
    virtual ~ProcessingLayer() = default;
    // One averaging step over the record on show; the view calls it only when the run state
    // allows averaging.
    virtual void AverageStep(const RedrawContext& ctx) = 0;
    // The MATH trace on the Wave picture; WaveView::BeginTrace gives its horizontal plan.
    virtual void DrawMathTrace(const RedrawContext& ctx) = 0;
};

// The spectrum trace. Until installed (WaveView::SetSpectrumLayer) the FFT trace and the
// spectrum variant of the trigger position strip are not drawn.
class SpectrumLayer {
  public:
    virtual ~SpectrumLayer() = default;
    virtual void DrawSpectrum(const RedrawContext& ctx) = 0;
    virtual void DrawSpectrumPositionStrip(const RedrawContext& ctx) = 0;
};

}  // namespace lumatrace
