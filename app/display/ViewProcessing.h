#pragma once

#include <vector>

#include "app/display/AverageHistory.h"
#include "app/display/MathTrace.h"
#include "app/display/MathYTable.h"
#include "app/display/TraceColumns.h"
#include "app/display/ViewLayers.h"
#include "app/display/WaveBuffers.h"

namespace lumatrace {

// The averaging step and the MATH trace of a redraw. The main window owns one, installs it
// with WaveView::SetProcessingLayer, keeps its MATH settings current and reaches the history
// through History() for the preparation and release the acquisition control asks for.
class ViewProcessing final : public ProcessingLayer {
  public:
    explicit ViewProcessing(AverageHost& host);

    AverageHistory& History() { return history_; }
    const AverageHistory& History() const { return history_; }

    void SetMathSettings(const MathSettings& math) { math_ = math; }
    const MathSettings& Math() const { return math_; }
    // The layer that draws the trigger point marker in the middle of a trace (the view's own).
    void SetMarkerLayer(MarkerLayer* layer) { markers_ = layer; }
    // The record the averaging step rewrites: the one on show (WaveBuffer unless set).
    void SetAveragedRecord(SampleBuffer* record) { averaged_ = record ? record : &WaveBuffer; }

    // The caller of RedrawAll holds WaveBufferMutex, which covers the rewrite of the record.
    void AverageStep(const RedrawContext& ctx) override;
    void DrawMathTrace(const RedrawContext& ctx) override;

  private:
    // Per column of the MATH trace: y of the entering sample and the top and bottom of its bar.
    struct ColumnY {
        int enter = 0;
        int top = 0;
        int bottom = 0;
    };

    AverageHistory history_;
    MathSettings math_;
    MarkerLayer* markers_ = nullptr;
    // y of every code pair for the MATH settings of the last redraw; kept until they change.
    MathYTable yTable_;
    SampleBuffer* averaged_ = &WaveBuffer;
    std::vector<TraceColumn> columns_;
    std::vector<ColumnY> ys_;
    std::vector<Segment> segments_;
};

}  // namespace lumatrace
