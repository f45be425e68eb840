#include "app/display/ViewInteraction.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/display/TraceStacking.h"

namespace lumatrace {

namespace {

// Reach of the markers and cursor lines, in pixels either side.
constexpr int kMarkerReach = 5;
constexpr int kLineReach = 4;
// Columns of the strips that hold the markers.
constexpr int kVoltMarkerLeft = 3;
constexpr int kVoltMarkerRight = 18;
constexpr int kTrigLevelLeft = 1;
constexpr int kTrigLevelRight = 16;
constexpr int kTrigPosTop = 1;
constexpr int kTrigPosBottom = 12;

int RoundEven(double v) {
    return static_cast<int>(std::nearbyint(v));
}

PointerSurface SurfaceOf(DragItem item) {
    switch (item) {
        case DragItem::Trace:
            return PointerSurface::Volt;
        case DragItem::TrigLevel:
            return PointerSurface::TrigLevel;
        case DragItem::TrigPos:
            return PointerSurface::TrigPos;
        default:
            return PointerSurface::Wave;
    }
}

bool IsCursorT(DragItem item) {
    return item == DragItem::CursorT1 || item == DragItem::CursorT2;
}

int& CursorValue(InstrumentSettings& s, DragItem item) {
    switch (item) {
        case DragItem::CursorT1:
            return s.cursorT1;
        case DragItem::CursorT2:
            return s.cursorT2;
        case DragItem::CursorV1:
            return s.cursorV1;
        default:
            return s.cursorV2;
    }
}

int TrigSourcePosition(const InteractionContext& ctx) {
    const int src = ctx.inputs.trigSource == 0 || ctx.inputs.trigSource == 1 ? ctx.inputs.trigSource
                                                                             : kTraceTrigRef;
    return ctx.settings.tracePosition[src];
}

// y of a strip position in strip coordinates, limited to the screen.
int ScreenStripY(int y, const ViewGeometry& g) {
    return std::clamp(y, g.DivHeight, 9 * g.DivHeight);
}

}  // namespace

// ---------------------------------------------------------------- hit tests

std::array<bool, 3> ViewInteraction::TracesInReach(int y, const InteractionContext& ctx) const {
    const ViewSettings& v = ctx.view;
    const int third = ThirdTrace(v.fftOn);
    const std::array<int, 3> triple = {kTraceCh1, kTraceCh2, third};
    const std::array<bool, 3> shown = {v.channelOn[0], v.channelOn[1],
                                       v.fftOn || (v.mathOn && ctx.inputs.mathUpDownEnabled)};
    std::array<bool, 3> reach{};
    for (int i = 0; i < 3; ++i) {
        const int markerY = ctx.markers.MarkerY[triple[i]] - ctx.markers.StripOffset;
        reach[i] = shown[i] && std::abs(y - markerY) <= kMarkerReach;
    }
    return reach;
}

int ViewInteraction::FrontTraceInReach(int x, int y, const InteractionContext& ctx) const {
    if (x < kVoltMarkerLeft || x > kVoltMarkerRight)
        return -1;
    const std::array<bool, 3> reach = TracesInReach(y, ctx);
    const std::array<int, 3> triple = {kTraceCh1, kTraceCh2, ThirdTrace(ctx.view.fftOn)};
    int best = -1;
    for (int i = 0; i < 3; ++i) {
        if (reach[i] && (best < 0 || ctx.view.traceOrder[triple[i]] < ctx.view.traceOrder[best]))
            best = triple[i];
    }
    return best;
}

bool ViewInteraction::TrigLevelInReach(int x, int y, const InteractionContext& ctx) const {
    if (ctx.view.RollRunning())
        return false;
    const int markerY = ctx.markers.TrigLevelY - ctx.markers.StripOffset;
    return x >= kTrigLevelLeft && x <= kTrigLevelRight && std::abs(y - markerY) <= kMarkerReach;
}

bool ViewInteraction::TrigPosInReach(int x, int y, const InteractionContext& ctx) const {
    if (ctx.view.SpectrumInFront() || ctx.view.RollRunning())
        return false;
    return std::abs(x - ctx.markers.TrigPosMarkerX) <= kLineReach && y >= kTrigPosTop &&
           y <= kTrigPosBottom;
}

DragItem ViewInteraction::CursorInReach(int x, int y, const InteractionContext& ctx) const {
    const InstrumentSettings& s = ctx.settings;
    const ViewGeometry& g = ctx.geometry;
    if (ctx.view.cursorTOn) {
        const bool near1 = std::abs(x - RoundEven(s.cursorT1 * g.Kx)) <= kLineReach;
        const bool near2 = std::abs(x - RoundEven(s.cursorT2 * g.Kx)) <= kLineReach;
        if (near1 && near2)
            return s.cursorTSelected == 2 ? DragItem::CursorT2 : DragItem::CursorT1;
        if (near1 || near2)
            return near1 ? DragItem::CursorT1 : DragItem::CursorT2;
    }
    if (ctx.view.cursorVOn) {
        const bool near1 = std::abs(y - RoundEven(s.cursorV1 * g.Ky)) <= kLineReach;
        const bool near2 = std::abs(y - RoundEven(s.cursorV2 * g.Ky)) <= kLineReach;
        if (near1 && near2)
            return s.cursorVSelected == 2 ? DragItem::CursorV2 : DragItem::CursorV1;
        if (near1 || near2)
            return near1 ? DragItem::CursorV1 : DragItem::CursorV2;
    }
    return DragItem::None;
}

// ---------------------------------------------------------------- hover

bool ViewInteraction::TraceHighlighted(int trace) const {
    return (hover_[Index(PointerSurface::Volt)] == DragItem::Trace && hoverTrace_ == trace) ||
           (drag_ == DragItem::Trace && dragTrace_ == trace);
}

bool ViewInteraction::TrigLevelHighlighted() const {
    return hover_[Index(PointerSurface::TrigLevel)] == DragItem::TrigLevel ||
           drag_ == DragItem::TrigLevel;
}

bool ViewInteraction::TrigPosHighlighted() const {
    return hover_[Index(PointerSurface::TrigPos)] == DragItem::TrigPos ||
           drag_ == DragItem::TrigPos;
}

void ViewInteraction::UpdateHover(PointerSurface surface, int x, int y,
                                  const InteractionContext& ctx, InteractionHost& host) {
    const int i = Index(surface);
    const DragItem oldItem = hover_[i];
    const int oldTrace = hoverTrace_;
    DragItem item = DragItem::None;
    switch (surface) {
        case PointerSurface::Volt:
            hoverTrace_ = FrontTraceInReach(x, y, ctx);
            item = hoverTrace_ >= 0 ? DragItem::Trace : DragItem::None;
            break;
        case PointerSurface::TrigLevel:
            item = TrigLevelInReach(x, y, ctx) ? DragItem::TrigLevel : DragItem::None;
            break;
        case PointerSurface::TrigPos:
            item = TrigPosInReach(x, y, ctx) ? DragItem::TrigPos : DragItem::None;
            break;
        case PointerSurface::Wave:
            item = CursorInReach(x, y, ctx);
            break;
    }
    hover_[i] = item;
    ShowHover(surface, host);
    // The markers draw a guide line across the graticule while hovered; the cursor lines do
    // not change with hover.
    const bool highlightChanged =
        surface != PointerSurface::Wave &&
        (item != oldItem || (surface == PointerSurface::Volt && hoverTrace_ != oldTrace));
    if (highlightChanged && drag_ == DragItem::None)
        host.RedrawAll();
}

void ViewInteraction::ShowHover(PointerSurface surface, InteractionHost& host) {
    const int i = Index(surface);
    // A drag keeps its pointer shape even where the pointer runs ahead of the marker.
    const DragItem item =
        drag_ != DragItem::None && SurfaceOf(drag_) == surface ? drag_ : hover_[i];
    PointerShape shape = PointerShape::Default;
    HintSource hint = HintSource::None;
    switch (item) {
        case DragItem::None:
            break;
        case DragItem::Trace:
        case DragItem::TrigLevel:
            shape = PointerShape::VMove;
            hint = HintSource::Surface;
            break;
        case DragItem::TrigPos:
            shape = PointerShape::HMove;
            hint = HintSource::Surface;
            break;
        case DragItem::CursorT1:
        case DragItem::CursorT2:
            shape = PointerShape::HSplit;
            hint = HintSource::UpDownDt;
            break;
        case DragItem::CursorV1:
        case DragItem::CursorV2:
            shape = PointerShape::VSplit;
            hint = HintSource::UpDownDv;
            break;
    }
    if (shape != shape_[i]) {
        shape_[i] = shape;
        host.SetPointerShape(surface, shape);
    }
    if (hint != hint_[i]) {
        hint_[i] = hint;
        host.ShowHint(surface, hint);
    }
}

// ---------------------------------------------------------------- pointer events

void ViewInteraction::MouseMove(PointerSurface surface, int x, int y, const InteractionContext& ctx,
                                InteractionHost& host) {
    pointer_[Index(surface)] = {true, x, y};
    if (drag_ != DragItem::None && SurfaceOf(drag_) == surface)
        Drag(x, y, ctx, host);
    UpdateHover(surface, x, y, ctx, host);
}

void ViewInteraction::MouseLeave(PointerSurface surface, InteractionHost& host) {
    const int i = Index(surface);
    pointer_[i].inside = false;
    const bool wasHighlighted = hover_[i] != DragItem::None && surface != PointerSurface::Wave;
    hover_[i] = DragItem::None;
    if (surface == PointerSurface::Volt)
        hoverTrace_ = -1;
    ShowHover(surface, host);
    if (wasHighlighted && drag_ == DragItem::None)
        host.RedrawAll();
}

void ViewInteraction::MouseDown(PointerSurface surface, PointerButton button, int x, int y,
                                const InteractionContext& ctx, InteractionHost& host) {
    pointer_[Index(surface)] = {true, x, y};
    const MarkerPixels& m = ctx.markers;
    switch (surface) {
        case PointerSurface::Volt: {
            if (button == PointerButton::Right) {
                if (x < kVoltMarkerLeft || x > kVoltMarkerRight)
                    return;
                if (!RestackInReach(ctx.view.traceOrder, TracesInReach(y, ctx), ctx.view.fftOn))
                    return;
                StackingChanged(ctx.view, host);
            }
            StartTraceDrag(x, y, ctx, host);
            break;
        }
        case PointerSurface::TrigLevel:
            if (button == PointerButton::Right || !TrigLevelInReach(x, y, ctx))
                return;
            drag_ = DragItem::TrigLevel;
            grab_ = (m.TrigLevelY - m.StripOffset) - y;
            break;
        case PointerSurface::TrigPos:
            if (button == PointerButton::Right || !TrigPosInReach(x, y, ctx))
                return;
            drag_ = DragItem::TrigPos;
            grab_ = m.TrigPosMarkerX - x;
            break;
        case PointerSurface::Wave: {
            if (button != PointerButton::Left)
                return;
            const DragItem item = CursorInReach(x, y, ctx);
            if (item != DragItem::None)
                StartCursorDrag(item, x, y, ctx, host);
            break;
        }
    }
    UpdateHover(surface, x, y, ctx, host);
}

void ViewInteraction::StartTraceDrag(int x, int y, const InteractionContext& ctx,
                                     InteractionHost& host) {
    const int trace = FrontTraceInReach(x, y, ctx);
    if (trace < 0)
        return;
    const TraceOrder before = ctx.view.traceOrder;
    BringTraceToFront(ctx.view.traceOrder, trace, ctx.view.fftOn);
    if (ctx.view.traceOrder != before)
        StackingChanged(ctx.view, host);
    for (int t : {kTraceCh1, kTraceCh2, kTraceMath, kTraceFft})
        traceGrab_[t] = (ctx.markers.MarkerY[t] - ctx.markers.StripOffset) - y;
    drag_ = DragItem::Trace;
    dragTrace_ = trace;
    host.RedrawAll();
}

void ViewInteraction::StartCursorDrag(DragItem item, int x, int y, const InteractionContext& ctx,
                                      InteractionHost& host) {
    InstrumentSettings& s = ctx.settings;
    const bool pairT = IsCursorT(item);
    const bool second = item == DragItem::CursorT2 || item == DragItem::CursorV2;
    const int selected = pairT ? s.cursorTSelected : s.cursorVSelected;
    if ((selected == 2) != second)
        host.ToggleCursorSelection(pairT);
    const ViewGeometry& g = ctx.geometry;
    const int value = CursorValue(s, item);
    grab_ = pairT ? RoundEven(value * g.Kx) - x : RoundEven(value * g.Ky) - y;
    drag_ = item;
}

void ViewInteraction::Drag(int x, int y, const InteractionContext& ctx, InteractionHost& host) {
    InstrumentSettings& s = ctx.settings;
    const ViewGeometry& g = ctx.geometry;
    const MarkerPixels& m = ctx.markers;
    switch (drag_) {
        case DragItem::None:
            return;
        case DragItem::Trace: {
            const int stripY = ScreenStripY(y + traceGrab_[dragTrace_] + m.StripOffset, g);
            const int position = RoundEven(stripY / g.Ky);
            if (position == s.tracePosition[dragTrace_])
                return;
            s.tracePosition[dragTrace_] = position;
            TracePositionChanged(dragTrace_, ctx, host);
            host.RedrawAll();
            if (ctx.view.rollActive)
                host.RollStep();
            return;
        }
        case DragItem::TrigLevel: {
            const int stripY = ScreenStripY(y + grab_ + m.StripOffset, g);
            const int level = std::clamp(RoundEven(stripY / g.Ky), 1, 500);
            if (level == s.trigLevel)
                return;
            s.trigLevel = level;
            s.trigLevelOffset = static_cast<long double>(TrigSourcePosition(ctx)) - level;
            host.SendSettings(false);
            host.RefreshReadout(Readout::TrigLevel);
            host.RedrawAll();
            return;
        }
        case DragItem::TrigPos: {
            if (m.OverviewScale <= 0.0)
                return;
            const int px = std::clamp(x + grab_ - m.OverviewLeft, 0, std::max(0, g.WaveWidth - 2));
            int tp = RoundEven(px / m.OverviewScale) / 100 * 100;
            if (tp < 11)
                tp = 10;
            else
                tp = std::min(tp, s.memoryPoints - 100);
            if (tp == s.trigPosition)
                return;
            s.trigPosition = tp;
            host.SendSettings(true);
            host.RefreshReadout(Readout::TrigPosition);
            host.RedrawAll();
            return;
        }
        default: {
            const bool pairT = IsCursorT(drag_);
            const int pixel = pairT ? std::clamp(grab_ + x, 1, std::max(1, g.WaveWidth - 1))
                                    : std::clamp(grab_ + y, 1, std::max(1, g.WaveHeight - 1));
            const int position = pairT ? std::clamp(RoundEven(pixel / g.Kx), 1, 499)
                                       : std::clamp(RoundEven(pixel / g.Ky), 1, 399);
            int& value = CursorValue(s, drag_);
            if (position == value)
                return;
            value = position;
            host.RedrawAll();
            host.RefreshReadout(pairT ? Readout::CursorT : Readout::CursorV);
            if (ctx.view.rollActive)
                host.RollStep();
            return;
        }
    }
}

void ViewInteraction::MouseUp(PointerSurface surface, InteractionHost& host) {
    const bool dragging = drag_ != DragItem::None && SurfaceOf(drag_) == surface;
    if (dragging) {
        drag_ = DragItem::None;
        dragTrace_ = -1;
        ShowHover(surface, host);
    }
    if (surface != PointerSurface::Wave)
        host.RedrawAll();
}

void ViewInteraction::CancelStripDrags(InteractionHost& host) {
    if (drag_ == DragItem::TrigLevel || drag_ == DragItem::TrigPos)
        drag_ = DragItem::None;
    for (PointerSurface s : {PointerSurface::TrigLevel, PointerSurface::TrigPos}) {
        const int i = Index(s);
        hover_[i] = DragItem::None;
        shape_[i] = PointerShape::Default;
        hint_[i] = HintSource::None;
        host.SetPointerShape(s, PointerShape::Default);
    }
}

// ---------------------------------------------------------------- up-down and scrolling

bool ViewInteraction::UpDownClick(const UpDownClickInfo& click, const InteractionContext& ctx,
                                  InteractionHost& host) {
    if (!stepper_.Click(click, ctx, host))
        return false;
    RefreshHoverAfterStep(click.control, ctx, host);
    return true;
}

void ViewInteraction::RefreshHoverAfterStep(UpDownControl control, const InteractionContext& ctx,
                                            InteractionHost& host) {
    PointerSurface surface = PointerSurface::Volt;
    bool over = false;
    switch (control) {
        case UpDownControl::Ch1:
        case UpDownControl::Ch2:
        case UpDownControl::Math:
        case UpDownControl::Fft: {
            const int trace = control == UpDownControl::Ch1    ? kTraceCh1
                              : control == UpDownControl::Ch2  ? kTraceCh2
                              : control == UpDownControl::Math ? kTraceMath
                                                               : kTraceFft;
            over = hover_[Index(surface)] == DragItem::Trace && hoverTrace_ == trace;
            break;
        }
        case UpDownControl::TrigL:
            surface = PointerSurface::TrigLevel;
            over = hover_[Index(surface)] == DragItem::TrigLevel;
            break;
        case UpDownControl::TrigP:
            surface = PointerSurface::TrigPos;
            over = hover_[Index(surface)] == DragItem::TrigPos;
            break;
        case UpDownControl::Dt:
        case UpDownControl::Dv: {
            surface = PointerSurface::Wave;
            const DragItem h = hover_[Index(surface)];
            over = control == UpDownControl::Dt
                       ? IsCursorT(h)
                       : h == DragItem::CursorV1 || h == DragItem::CursorV2;
            break;
        }
    }
    const PointerAt& p = pointer_[Index(surface)];
    if (over && p.inside)
        UpdateHover(surface, p.x, p.y, ctx, host);
}

void ViewInteraction::UpDownRelease(UpDownControl control, InteractionHost& host) {
    stepper_.Release(control, host);
}

bool ViewInteraction::Scroll(int position, const InteractionContext& ctx, InteractionHost& host) {
    return ctx.view.SpectrumInFront() ? ScrollSpectrumView(position, ctx, host, &scrollSetBack_)
                                      : ScrollTimeView(position, ctx, host, &scrollSetBack_);
}

bool ViewInteraction::EndScroll(const InteractionContext& ctx, InteractionHost& host) {
    // At any other position the handler has run already; running it again could only move a
    // scroll to the left by one more pixel.
    if (scrollSetBack_ < 0)
        return false;
    const int position = scrollSetBack_;
    return Scroll(position, ctx, host);
}

KeyScroll ViewInteraction::KeyDown(ScrollKey key, bool ctrlAlone, int barPosition,
                                   const ScrollGeometry& geometry, const InteractionContext& ctx,
                                   InteractionHost& host) {
    const KeyScroll k = ScrollForKey(key, ctrlAlone, geometry.enabled, ctx.view.SpectrumInFront(),
                                     barPosition, geometry, ctx.spectrum);
    if (!k.handled)
        return k;
    host.SetScrollPosition(k.position);
    Scroll(k.position, ctx, host);
    if (k.endOfScroll)
        EndScroll(ctx, host);
    return k;
}

}  // namespace lumatrace
