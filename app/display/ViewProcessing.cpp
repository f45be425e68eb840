#include "app/display/ViewProcessing.h"

#include <algorithm>
#include <limits>

#include "app/display/WaveView.h"

namespace lumatrace {

namespace {

// Smallest and largest MATH value among the samples words[from .. to), and whether one of them
// is a quotient by zero. Operator and sources are fixed at compile time, and four samples at a
// time go into separate extremes, so that the compares do not wait on each other.
template <MathOperator Op, int ShiftA, int ShiftB>
void ValueRange(const MathMapping& map, const SampleWord* words, int from, int to, double& lo,
                double& hi, bool& divideByZero) {
    const double* const ta =
        Op == MathOperator::Mul || Op == MathOperator::Div ? map.VoltsTableA() : map.TableA();
    const double* const tb = Op == MathOperator::Mul ? map.VoltsTableB() : map.TableB();
    const double* const vb = map.VoltsTableB();
    bool zero = false;
    auto value = [&](SampleWord w, double& m) {
        const double a = ta[(w >> ShiftA) & kCodeMask];
        const double b = tb[(w >> ShiftB) & kCodeMask];
        if constexpr (Op == MathOperator::Add) {
            m = a + b;
        } else if constexpr (Op == MathOperator::Sub) {
            m = a - b;
        } else if constexpr (Op == MathOperator::Mul) {
            m = a * b * 1000.0;
        } else {
            if (b == 0.0) {
                zero = true;
                return false;
            }
            m = a / vb[(w >> ShiftB) & kCodeMask] * 1000.0;
        }
        return true;
    };
    double lo0 = lo, lo1 = lo, lo2 = lo, lo3 = lo;
    double hi0 = hi, hi1 = hi, hi2 = hi, hi3 = hi;
    auto take = [&](SampleWord w, double& l, double& h) {
        double m;
        if (value(w, m)) {
            l = m < l ? m : l;
            h = m > h ? m : h;
        }
    };
    int i = from;
    for (; i + 4 <= to; i += 4) {
        const SampleWord w0 = words[i], w1 = words[i + 1], w2 = words[i + 2], w3 = words[i + 3];
        if (w0 == NoSample || w1 == NoSample || w2 == NoSample || w3 == NoSample) {
            if (w0 != NoSample)
                take(w0, lo0, hi0);
            if (w1 != NoSample)
                take(w1, lo1, hi1);
            if (w2 != NoSample)
                take(w2, lo2, hi2);
            if (w3 != NoSample)
                take(w3, lo3, hi3);
            continue;
        }
        take(w0, lo0, hi0);
        take(w1, lo1, hi1);
        take(w2, lo2, hi2);
        take(w3, lo3, hi3);
    }
    for (; i < to; ++i) {
        if (words[i] != NoSample)
            take(words[i], lo0, hi0);
    }
    lo = std::min(std::min(lo0, lo1), std::min(lo2, lo3));
    hi = std::max(std::max(hi0, hi1), std::max(hi2, hi3));
    divideByZero = divideByZero || zero;
}

template <MathOperator Op>
void ValueRangeFor(const MathMapping& map, const SampleWord* words, int from, int to, double& lo,
                   double& hi, bool& divideByZero) {
    const int sources = map.FirstSource() * 2 + map.SecondSource();
    switch (sources) {
        case 0:
            ValueRange<Op, 0, 0>(map, words, from, to, lo, hi, divideByZero);
            break;
        case 1:
            ValueRange<Op, 0, 16>(map, words, from, to, lo, hi, divideByZero);
            break;
        case 2:
            ValueRange<Op, 16, 0>(map, words, from, to, lo, hi, divideByZero);
            break;
        default:
            ValueRange<Op, 16, 16>(map, words, from, to, lo, hi, divideByZero);
            break;
    }
}

}  // namespace

ViewProcessing::ViewProcessing(AverageHost& host) : history_(host) {}

void ViewProcessing::AverageStep(const RedrawContext& ctx) {
    history_.AverageStep(averaged_->data(), std::min(ctx.settings.memoryPoints, kMaxRecordPoints));
}

void ViewProcessing::ColumnExtremes(const MathMapping& map, const SampleWord* words, int from,
                                    int to, ColumnY& out) const {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    bool divideByZero = false;
    switch (map.Op()) {
        case MathOperator::Add:
            ValueRangeFor<MathOperator::Add>(map, words, from, to, lo, hi, divideByZero);
            break;
        case MathOperator::Sub:
            ValueRangeFor<MathOperator::Sub>(map, words, from, to, lo, hi, divideByZero);
            break;
        case MathOperator::Mul:
            ValueRangeFor<MathOperator::Mul>(map, words, from, to, lo, hi, divideByZero);
            break;
        case MathOperator::Div:
            ValueRangeFor<MathOperator::Div>(map, words, from, to, lo, hi, divideByZero);
            break;
    }
    // y falls as the value rises: the largest value gives the top of the bar.
    int top = std::numeric_limits<int>::max();
    int bottom = std::numeric_limits<int>::min();
    if (lo <= hi) {
        top = map.YOfValue(hi);
        bottom = map.YOfValue(lo);
    }
    if (divideByZero) {
        top = std::min(top, MathMapping::kDivideByZeroY);
        bottom = std::max(bottom, MathMapping::kDivideByZeroY);
    }
    out.top = top;
    out.bottom = bottom;
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
        end = WalkColumns(in, columns_.data(), columns_.size());
        const std::size_t n = end.count;
        const TraceColumn* cols = columns_.data();
        // In equivalent-time the samples inside a column do not widen its bar.
        const bool bars = s.waveformMode == kWaveformEnvelope && !s.equivalentActive;
        for (std::size_t k = 0; k < n; ++k) {
            ColumnY& c = ys_[k];
            c.enter = map.Y(cols[k].word);
            c.top = c.bottom = c.enter;
            if (bars && cols[k].x <= g.WaveWidth) {
                // A column runs up to the sample that enters the next one; the last one up to
                // the end of the walk.
                const int to = k + 1 < n ? cols[k + 1].enter : plan.end + 1;
                ColumnExtremes(map, words, cols[k].enter, to, c);
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
