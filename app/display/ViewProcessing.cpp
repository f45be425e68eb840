#include "app/display/ViewProcessing.h"

#include <algorithm>

#include "app/display/WaveView.h"

namespace lumatrace {

ViewProcessing::ViewProcessing(AverageHost& host) : history_(host) {}

void ViewProcessing::AverageStep(const RedrawContext& ctx) {
    history_.AverageStep(averaged_->data(), std::min(ctx.settings.memoryPoints, kMaxRecordPoints));
}

void ViewProcessing::DrawMathTrace(const RedrawContext& ctx) {
    const ViewSettings& s = ctx.settings;
    WaveView& view = ctx.view;
    const TracePlan plan = view.BeginTrace(s);
    if (!plan.valid)
        return;
    const ViewGeometry& g = ctx.geometry;
    Canvas& wave = ctx.surfaces.CanvasFor(ViewImage::Wave);
    const SampleWord* words = view.Record().data();

    ColumnWalkInput in;
    in.words = words;
    in.first = plan.first;
    in.end = plan.end;
    in.x0 = plan.x0;
    in.stepFixed = plan.stepFixed;
    in.phaseFixed = plan.phaseFixed;
    in.widen = false;
    in.rightEdge = g.WaveWidth;

    const MathMapping map(s, g, math_);
    ColumnWalkResult end;
    if (!s.xyOn && map.Usable()) {
        const std::size_t capacity = static_cast<std::size_t>(g.WaveWidth) + 16;
        if (columns_.size() < capacity) {
            columns_.resize(capacity);
            ys_.resize(capacity);
            segments_.reserve(2 * capacity + 4);
        }
        yTable_.Update(map);
        end = WalkColumns(in, columns_.data(), columns_.size());
        const std::size_t n = end.count;
        const TraceColumn* cols = columns_.data();
        // In equivalent-time the samples inside a column do not widen its bar.
        const bool bars = s.waveformMode == kWaveformEnvelope && !s.equivalentActive;
        for (std::size_t k = 0; k < n; ++k) {
            ColumnY& c = ys_[k];
            c.enter = yTable_.Y(cols[k].word);
            c.top = c.bottom = c.enter;
            if (bars && cols[k].x <= g.WaveWidth) {
                // A column runs up to the sample that enters the next one; the last one up to
                // the end of the walk. y never rises with the value, so the bar's ends are the
                // smallest and largest y of the column, and a quotient by zero (y = -1) in it
                // stretches the bar there.
                const int to = k + 1 < n ? cols[k + 1].enter : plan.end + 1;
                yTable_.ColumnRange(words, cols[k].enter + 1, to, c.top, c.bottom);
            }
        }

        const Color pen = s.displayColors[kSlotMath];
        bool markerPending =
            plan.trigInRange && markers_ && !s.SpectrumInFront() && !s.RollRunning();
        auto flush = [&] {
            if (!segments_.empty())
                wave.Lines(segments_.data(), segments_.size());
            segments_.clear();
        };
        auto drawMarker = [&] {
            flush();
            markers_->DrawTriggerPointMarker(ctx, plan.trigX);
            wave.SetPen(pen, PenStyle::Solid);
            markerPending = false;
        };
        // The bar of a column, from its top to its bottom; the line to the next column starts
        // at the bottom. A bar of no length is the vertex pixel, already drawn.
        auto bar = [&](std::size_t k) {
            const Point top{cols[k].x, ys_[k].top};
            const Point bottom{cols[k].x, ys_[k].bottom};
            if (top != bottom)
                segments_.push_back({top, bottom});
            return bottom;
        };

        wave.SetPen(pen, PenStyle::Solid);
        segments_.clear();
        Point current;
        if (n > 0)
            current = {cols[0].x, ys_[0].enter};
        for (std::size_t k = 1; k < n; ++k) {
            if (markerPending && cols[k].enter >= s.trigPosition)
                drawMarker();
            if (bars)
                current = bar(k - 1);
            const Point next{cols[k].x, ys_[k].enter};
            segments_.push_back({current, next});
            current = next;
        }
        if (markerPending)
            drawMarker();
        if (bars && n > 0)
            bar(n - 1);
        flush();
    } else {
        end = TraceEndPosition(in);
        if (plan.trigInRange && markers_ && !s.SpectrumInFront() && !s.RollRunning())
            markers_->DrawTriggerPointMarker(ctx, plan.trigX);
    }

    HorizontalView& h = ctx.horizontal;
    const std::int64_t ceilAcc = (end.accEnd + kPixelOne - 1) >> kPixelFractionBits;
    const std::int64_t right = std::int64_t{end.xLast} + ceilAcc;
    if (h.HorizontalZoom != 1.0 && right < g.WaveWidth)
        h.TraceRight = static_cast<int>(right);
}

}  // namespace lumatrace
