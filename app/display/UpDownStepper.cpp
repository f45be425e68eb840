#include "app/display/UpDownStepper.h"

#include <algorithm>
#include <cstdlib>

#include "app/display/TraceStacking.h"

namespace lumatrace {

namespace {

int TraceOf(UpDownControl c) {
    switch (c) {
        case UpDownControl::Ch1:
            return kTraceCh1;
        case UpDownControl::Ch2:
            return kTraceCh2;
        case UpDownControl::Math:
            return kTraceMath;
        case UpDownControl::Fft:
            return kTraceFft;
        default:
            return -1;
    }
}

bool Horizontal(UpDownControl c) {
    return c == UpDownControl::TrigP || c == UpDownControl::Dt;
}

int TrigSourcePosition(const InteractionContext& ctx) {
    const int src = ctx.inputs.trigSource == 0 || ctx.inputs.trigSource == 1 ? ctx.inputs.trigSource
                                                                             : kTraceTrigRef;
    return ctx.settings.tracePosition[src];
}

int& SelectedCursor(InstrumentSettings& s, bool pairT) {
    if (pairT)
        return s.cursorTSelected == 2 ? s.cursorT2 : s.cursorT1;
    return s.cursorVSelected == 2 ? s.cursorV2 : s.cursorV1;
}

}  // namespace

ValueRange UpDownRange(UpDownControl control, int memoryPoints) {
    switch (control) {
        case UpDownControl::TrigP:
            return {10, memoryPoints - 100};
        case UpDownControl::Dt:
            return {1, 499};
        case UpDownControl::Dv:
            return {1, 399};
        default:
            return {1, 500};
    }
}

int UpDownStepLimit(UpDownControl control, int memoryPoints) {
    if (control != UpDownControl::TrigP)
        return 5;
    if (memoryPoints >= 1000000)
        return 100;
    if (memoryPoints >= 100000)
        return 10;
    return 1;
}

int SteppedTrigPosition(int value, int delta, int memoryPoints) {
    // Round down before limiting: limiting first would let the minimum of 10 round down to 0.
    long long v = static_cast<long long>(value) + delta;
    v = v >= 0 ? v / 100 * 100 : -((-v + 99) / 100 * 100);
    const ValueRange r = UpDownRange(UpDownControl::TrigP, memoryPoints);
    return static_cast<int>(std::clamp<long long>(v, r.minimum, std::max(r.minimum, r.maximum)));
}

void TracePositionChanged(int trace, const InteractionContext& ctx, InteractionHost& host) {
    InstrumentSettings& s = ctx.settings;
    const int position = s.tracePosition[trace];
    switch (trace) {
        case kTraceCh1:
        case kTraceCh2: {
            if (ctx.inputs.trigSource == trace) {
                const int old = s.trigLevel;
                s.trigLevel = TrigLevelFromOffset(position, s.trigLevelOffset);
                if (s.trigLevel != old || s.trigLevel == 1 || s.trigLevel == 500)
                    host.RefreshReadout(Readout::TrigLevel);
            }
            host.SendSettings(false);
            host.RefreshReadout(trace == kTraceCh1 ? Readout::Ch1 : Readout::Ch2);
            break;
        }
        case kTraceMath:
            host.RefreshReadout(Readout::Math);
            break;
        case kTraceFft:
            s.SetFftPositionByType(ctx.inputs.fftVerticalType, position);
            host.RefreshReadout(Readout::Fft);
            break;
        default:
            break;
    }
}

int UpDownStepper::Direction(const UpDownClickInfo& click) {
    const int i = Index(click.control);
    StepArrow arrow = click.arrow;
    // The control's own position wraps; a jump across its ends tells which way it went.
    if (seen_[i] && click.minimum != click.maximum) {
        if (lastPosition_[i] == click.maximum && click.position == click.minimum)
            arrow = StepArrow::Up;
        else if (lastPosition_[i] == click.minimum && click.position == click.maximum)
            arrow = StepArrow::Down;
    }
    seen_[i] = true;
    lastPosition_[i] = click.position;
    // The up arrow moves an item up the screen, to smaller positions; the right arrow of a
    // horizontal pair moves it right, to larger ones.
    const bool decrease =
        Horizontal(click.control) ? arrow == StepArrow::Down : arrow == StepArrow::Up;
    return decrease ? -1 : 1;
}

bool UpDownStepper::Click(const UpDownClickInfo& click, const InteractionContext& ctx,
                          InteractionHost& host) {
    const UpDownControl c = click.control;
    const int i = Index(c);
    InstrumentSettings& s = ctx.settings;

    const int trace = TraceOf(c);
    if (trace >= 0) {
        const TraceOrder before = ctx.view.traceOrder;
        BringTraceToFront(ctx.view.traceOrder, trace, ctx.view.fftOn);
        if (ctx.view.traceOrder != before)
            StackingChanged(ctx.view, host);
    }

    const int limit = UpDownStepLimit(c, s.memoryPoints);
    if (!held_[i])
        step_ = 1;  // a new sequence starts at rest, whatever another control left behind
    else if (step_ < limit)
        ++step_;
    held_[i] = true;

    const int dir = Direction(click);
    const ValueRange range = UpDownRange(c, s.memoryPoints);
    bool changed = false;

    if (c == UpDownControl::TrigP) {
        const int next = SteppedTrigPosition(s.trigPosition, dir * step_ * 100, s.memoryPoints);
        changed = next != s.trigPosition;
        s.trigPosition = next;
    } else if ((c == UpDownControl::Dt || c == UpDownControl::Dv) && ctx.inputs.cursorPairMove) {
        const bool pairT = c == UpDownControl::Dt;
        int& c1 = pairT ? s.cursorT1 : s.cursorV1;
        int& c2 = pairT ? s.cursorT2 : s.cursorV2;
        const int distance = std::abs(c1 - c2);
        // The cursor ahead in the direction of travel is stepped; the other keeps the distance.
        const bool firstLeads = dir > 0 ? c1 >= c2 : c1 <= c2;
        int& lead = firstLeads ? c1 : c2;
        int& trail = firstLeads ? c2 : c1;
        const int old1 = c1;
        const int old2 = c2;
        lead = std::clamp(lead + dir * step_, range.minimum, range.maximum);
        trail = lead - dir * distance;
        changed = c1 != old1 || c2 != old2;
    } else {
        int* value = nullptr;
        if (trace >= 0)
            value = &s.tracePosition[trace];
        else if (c == UpDownControl::TrigL)
            value = &s.trigLevel;
        else
            value = &SelectedCursor(s, c == UpDownControl::Dt);
        const int next = std::clamp(*value + dir * step_, range.minimum, range.maximum);
        changed = next != *value;
        *value = next;
        const bool atLimit = dir < 0 ? next == range.minimum : next == range.maximum;
        if ((c == UpDownControl::Ch1 || c == UpDownControl::Ch2) && atLimit)
            step_ = 0;
    }
    if (!changed)
        return false;

    switch (c) {
        case UpDownControl::Ch1:
        case UpDownControl::Ch2:
        case UpDownControl::Math:
        case UpDownControl::Fft:
            TracePositionChanged(trace, ctx, host);
            break;
        case UpDownControl::TrigL:
            s.trigLevelOffset = static_cast<long double>(TrigSourcePosition(ctx)) - s.trigLevel;
            host.SendSettings(false);
            host.RefreshReadout(Readout::TrigLevel);
            break;
        case UpDownControl::TrigP:
            ctx.horizontal.viewAnchorHold = true;
            host.SendSettings(true);
            ctx.horizontal.viewAnchorHold = false;
            host.RefreshReadout(Readout::TrigPosition);
            break;
        case UpDownControl::Dt:
            ctx.view.lastCursorPairT = true;
            host.RefreshReadout(Readout::CursorT);
            break;
        case UpDownControl::Dv:
            ctx.view.lastCursorPairT = false;
            host.RefreshReadout(Readout::CursorV);
            break;
    }
    host.RedrawAll();
    return true;
}

void UpDownStepper::Release(UpDownControl control, InteractionHost& host) {
    step_ = 1;
    held_[Index(control)] = false;
    host.RedrawAll();
}

}  // namespace lumatrace
