#include "app/display/tests/TraceReference.h"

#include <algorithm>
#include <cmath>

namespace lumatrace::testing {

ReferenceEnd DrawReferenceTrace(const ReferenceTrace& r, Canvas& canvas) {
    const std::int64_t one = kPixelOne;
    std::int64_t acc = r.plan.phaseFixed;
    int x = r.plan.x0;
    bool firstValid = true;
    int lo = 0;
    int hi = 0;
    for (int i = r.plan.first; i <= r.plan.end; ++i) {
        if (i == r.trigPosition && r.marker)
            r.marker();
        const SampleWord w = r.words[i];
        if (w == NoSample) {
            acc += r.plan.stepFixed;
            continue;
        }
        const int code = static_cast<int>((w >> r.shift) & 0x3FF);
        if (firstValid) {
            const std::int64_t n = acc / one;
            x = r.plan.x0 + static_cast<int>(n);
            canvas.MoveTo(x, r.codeToY(code));
            lo = hi = code;
            if (x != 1) {
                acc = 0;
            } else {
                acc -= n * one;
            }
            firstValid = false;
            continue;
        }
        acc += r.plan.stepFixed;
        const std::int64_t n = acc / one;
        acc -= n * one;
        if (n != 0) {
            if (r.envelope && r.draws) {
                canvas.MoveTo(x, r.codeToY(hi));
                canvas.LineTo(x, r.codeToY(lo));
            }
            lo = hi = code;
            x += static_cast<int>(n);
            if (r.draws)
                canvas.LineTo(x, r.codeToY(code));
        } else if (r.envelope && !r.equivalent && r.draws) {
            lo = std::min(lo, code);
            hi = std::max(hi, code);
        }
    }
    if (r.envelope && r.draws && !firstValid) {
        canvas.MoveTo(x, r.codeToY(hi));
        canvas.LineTo(x, r.codeToY(lo));
    }
    return {x, acc};
}

std::vector<DrawnItem> VisibleItems(const RecordingCanvas& canvas, int waveWidth) {
    std::vector<DrawnItem> out;
    for (const CanvasOp& op : canvas.Ops()) {
        if (op.kind == CanvasOp::Kind::Line) {
            const Point a = op.points[0];
            const Point b = op.points[1];
            if (a == b)
                continue;
            if (a.x < 0 && b.x < 0)
                continue;
            if (a.x > waveWidth && b.x > waveWidth)
                continue;
            out.push_back({true, {a, b}, op.color});
        } else if (op.kind == CanvasOp::Kind::Points) {
            for (const Point& p : op.points)
                out.push_back({false, {p, p}, op.color});
        }
    }
    return out;
}

void FillRecord(SampleBuffer& buffer, const RecordRecipe& rc) {
    ClearRecord(buffer);
    std::uint32_t state = rc.seed * 2654435761u + 12345u;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const double kTwoPi = 6.283185307179586;
    for (int i = 0; i < rc.points; ++i) {
        const double t = static_cast<double>(i) / rc.points;
        const int n1 =
            rc.noise > 0 ? static_cast<int>(next() % static_cast<unsigned>(rc.noise)) - rc.noise / 2
                         : 0;
        const int n2 =
            rc.noise > 0 ? static_cast<int>(next() % static_cast<unsigned>(rc.noise)) - rc.noise / 2
                         : 0;
        const int c1 = std::clamp(
            512 + static_cast<int>(300 * std::sin(kTwoPi * rc.cycles * t)) + n1, 0, 1023);
        const int c2 = std::clamp(
            400 + static_cast<int>(250 * std::cos(kTwoPi * rc.cycles * 1.5 * t)) + n2, 0, 1023);
        buffer[i] = MakeSampleWord(c1, c2);
    }
    if (rc.gapEvery > 0) {
        for (int start = rc.gapEvery / 2; start < rc.points; start += rc.gapEvery) {
            for (int k = 0; k < rc.gapLength && start + k < rc.points; ++k)
                buffer[start + k] = NoSample;
        }
    }
    for (int k = 0; k < rc.leadingGap && k < rc.points; ++k)
        buffer[k] = NoSample;
    for (int k = 0; k < rc.trailingGap && k < rc.points; ++k)
        buffer[rc.points - 1 - k] = NoSample;
    if (rc.keepEvery > 0) {
        for (int i = 0; i < rc.points; ++i) {
            if (i % rc.keepEvery != 0)
                buffer[i] = NoSample;
        }
    }
}

}  // namespace lumatrace::testing
