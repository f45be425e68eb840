#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "app/display/Canvas.h"
#include "app/display/TraceColumns.h"
#include "app/display/ViewGeometry.h"
#include "app/display/ViewLayers.h"
#include "app/display/ViewState.h"
#include "app/display/WaveBuffers.h"

namespace lumatrace {

// Horizontal plan of one time-domain trace in the current redraw: which indices are walked,
// where they land and where the trigger point is.
struct TracePlan {
    bool valid = false;  // false before the first layout or without a usable time base
    int first = 0;       // first index walked
    int end = -1;        // last index walked (inclusive)
    int x0 = 1;
    double step = 0.0;       // pixels per sample of the trace
    bool exactStep = false;  // step is exactly WaveWidth / ScreenSamples
    std::int64_t stepFixed = kPixelOne;
    std::int64_t phaseFixed = 0;
    bool trigInRange = false;  // the trigger index is walked
    int trigX = 0;             // x of the trigger point
};

// Where the horizontal scroll bar stands for the view as it is, in the bar's units
// (0..1,000,000): at the first sample shown, or with the spectrum in front at the bin in the
// centre (SpecStart + HalfScreenBins, or HalfScreenBins - SpecLeftBlank left of 0 Hz).
int ViewScrollPosition(const ViewSettings& s, const HorizontalView& h, const SpectrumWindow& sp);

// The waveform view: graticule, time-domain traces and XY plot, drawn into the main window's
// off-screen pictures through ViewSurfaces. Markers and cursors, averaging and MATH, and the
// spectrum plug in as layers (ViewLayers.h).
//
// The main window owns the pictures and paint boxes and one WaveView; it calls Resize when
// the wave paint box changes size, RecomputeViewWindow after a change of time base, record
// length or record, and RedrawAll whenever anything shown changes. The record drawn is
// WaveBuffer unless another buffer is set.
class WaveView {
  public:
    WaveView();

    // The wave paint box's size (W + 1, H + 1). Recomputes the geometry and marks the grid
    // for rebuilding.
    void Resize(int waveBoxWidth, int waveBoxHeight);
    const ViewGeometry& Geometry() const { return geometry_; }

    HorizontalView& Horizontal() { return horizontal_; }
    const HorizontalView& Horizontal() const { return horizontal_; }
    SpectrumWindow& Spectrum() { return spectrum_; }
    const SpectrumWindow& Spectrum() const { return spectrum_; }

    // Set by a resize, a colour change and the grid and scale actions.
    void MarkGridDirty() { gridDirty_ = true; }
    bool GridDirty() const { return gridDirty_; }

    void SetRecord(const SampleBuffer* record) { record_ = record ? record : &WaveBuffer; }
    const SampleBuffer& Record() const { return *record_; }

    void SetMarkerLayer(MarkerLayer* layer) { markers_ = layer; }
    void SetProcessingLayer(ProcessingLayer* layer) { processing_ = layer; }
    void SetSpectrumLayer(SpectrumLayer* layer) { spectrumLayer_ = layer; }

    // The single drawing entry point. It runs the averaging step first, unless
    // `averageStep` is false: a record whose step AverageRecord has run already.
    void RedrawAll(const ViewSettings& s, ViewSurfaces& surfaces, bool averageStep = true);
    // The averaging step alone, under RedrawAll's conditions, for a record that
    // is taken in now and drawn later: records can arrive faster than pictures
    // are worth drawing, and every one of them belongs in the average.
    void AverageRecord(const ViewSettings& s, ViewSurfaces& surfaces);

    void DrawGrid(const ViewSettings& s, Canvas& grid) const;
    void DrawScale(const ViewSettings& s, Canvas& grid) const;

    // Screen y of a channel's code; a record taken before the last (re)start is re-mapped to
    // the channel's current position and volts per division.
    int CodeToY(const ViewSettings& s, int channel, int code) const;
    // XY plot x of a CH1 code.
    int CodeToX(int code) const;
    static bool RecordIsStale(const ViewSettings& s);
    // y of the channel's zero line in the graticule.
    int ZeroLineY(const ViewSettings& s, int trace) const;

    // Trace of kTraceCh1 or kTraceCh2 on the Wave picture; kTraceNone computes the trigger
    // point and trace extent without drawing.
    void DrawTrace(const ViewSettings& s, int index, ViewSurfaces& surfaces);
    // Steps shared by every time-domain trace (also the MATH trace): view offset, trace
    // extent and trigger point. Updates the horizontal state.
    TracePlan BeginTrace(const ViewSettings& s);

    void DrawXY(const ViewSettings& s, Canvas& wave);

    // Chooses ViewStart (and the spectrum's start bin) and sets the scroll bar mirror.
    void RecomputeViewWindow(const ViewSettings& s);
    // The first layout: the trigger point in the middle of the screen, the scroll bar mirror
    // placed (enabled unless the record fits the screen) and TrigPointX computed, as the first
    // redraw will draw it.
    void CentreOnTrigger(const ViewSettings& s);

  private:
    // Whether RedrawAll's averaging step applies: running with a record since the start, in
    // Average, on real-time records, outside roll mode.
    bool AveragesNow(const ViewSettings& s) const;
    RedrawContext Context(const ViewSettings& s, ViewSurfaces& surfaces) {
        return RedrawContext{*this, s, geometry_, horizontal_, surfaces};
    }
    void ComputeViewOffset(const ViewSettings& s, double step, int lastIndex);
    // ViewStart = p limited to the record: 0 when the record fits the screen.
    void SetViewStart(std::int64_t p, int points);
    void FillYTable(const ViewSettings& s, int channel, std::array<int, kCodeCount>& table) const;
    const ColumnWalkResult& Columns(const TracePlan& plan, bool widen);
    void DrawTraceLine(const ViewSettings& s, int channel, const TracePlan& plan, bool bars,
                       Canvas& wave, const RedrawContext& ctx);
    void FlushSegments(Canvas& wave);
    int Rounded(const TracePlan& plan, std::int64_t samples) const;
    int RoundedWholeStep(std::int64_t samples) const;

    ViewGeometry geometry_;
    HorizontalView horizontal_;
    SpectrumWindow spectrum_;
    bool gridDirty_ = true;
    const SampleBuffer* record_ = &WaveBuffer;

    MarkerLayer* markers_ = nullptr;
    ProcessingLayer* processing_ = nullptr;
    SpectrumLayer* spectrumLayer_ = nullptr;

    // What the view offset was last computed for; a stopped record whose T/div changes since
    // has its offset scaled with the number of samples across the screen.
    double offsetTimePerDiv_ = 0.0;
    int offsetScreenSamples_ = 0;

    // Column walk shared by the traces of one redraw (both channels have the same columns).
    bool inRedraw_ = false;
    bool walkValid_ = false;
    ColumnWalkInput walkInput_;
    ColumnWalkResult walk_;
    std::vector<TraceColumn> columns_;
    std::vector<Segment> segments_;
    std::vector<Point> points_;
    std::array<int, kCodeCount> yTable_{};
    std::array<int, kCodeCount> xTable_{};
};

}  // namespace lumatrace
