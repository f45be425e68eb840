#include "app/display/TraceStacking.h"

namespace lumatrace {

namespace {

std::array<int, 3> Triple(bool fftOn) {
    return {kTraceCh1, kTraceCh2, ThirdTrace(fftOn)};
}

}  // namespace

void BringTraceToFront(TraceOrder& order, int trace, bool fftOn) {
    const TraceOrder old = order;
    order[trace] = 1;
    bool otherWasFront = false;
    for (int t : Triple(fftOn))
        otherWasFront |= t != trace && old[t] == 1;
    if (!otherWasFront)
        return;
    for (int t : Triple(fftOn)) {
        if (t == trace)
            continue;
        if (old[t] == 1)
            order[t] = 2;
        else if (old[t] == 2)
            order[t] = 3;
    }
}

void SendTraceToBack(TraceOrder& order, int trace, bool fftOn) {
    const TraceOrder old = order;
    order[trace] = 3;
    bool otherWasBack = false;
    for (int t : Triple(fftOn))
        otherWasBack |= t != trace && old[t] == 3;
    if (!otherWasBack)
        return;
    for (int t : Triple(fftOn)) {
        if (t == trace)
            continue;
        if (old[t] == 3)
            order[t] = 2;
        else if (old[t] == 2)
            order[t] = 1;
    }
}

bool RestackInReach(TraceOrder& order, const std::array<bool, 3>& inReach, bool fftOn) {
    const std::array<int, 3> triple = Triple(fftOn);
    int reached = 0;
    for (bool r : inReach)
        reached += r ? 1 : 0;
    if (reached < 2)
        return false;

    TraceOrder next = order;
    if (reached == 3) {
        for (int t : triple) {
            if (order[t] == 1)
                next[t] = 3;
            else if (order[t] == 2)
                next[t] = 1;
            else if (order[t] == 3)
                next[t] = 2;
        }
    } else {
        int a = -1;
        int b = -1;
        int out = -1;
        for (int i = 0; i < 3; ++i) {
            if (!inReach[i])
                out = triple[i];
            else if (a < 0)
                a = triple[i];
            else
                b = triple[i];
        }
        // The one drawn behind (larger layer) comes forward; on a tie the later one in the
        // triple is taken, being the one drawn first and so hidden.
        const int behind = order[a] > order[b] ? a : b;
        const int other = behind == a ? b : a;
        next[behind] = 1;
        next[other] = 2;
        next[out] = 3;
    }
    if (next == order)
        return false;
    order = next;
    return true;
}

void TraceSwitched(ViewSettings& view, int trace, bool on, InteractionHost& host) {
    const bool fftTriple = trace == kTraceFft || (trace != kTraceMath && view.fftOn);
    if (on)
        BringTraceToFront(view.traceOrder, trace, fftTriple);
    else
        SendTraceToBack(view.traceOrder, trace, fftTriple);
    StackingChanged(view, host);
}

void StackingChanged(const ViewSettings& view, InteractionHost& host) {
    const bool spectrum = view.SpectrumInFront();
    host.SetScrollSpectrumMode(spectrum);
    host.SetTrigPosControlsEnabled(!spectrum && !view.RollRunning());
    host.SetScrollHint(spectrum ? kScrollHintSpectrum : kScrollHintTime);
    host.RefreshReadout(Readout::CursorT);
}

}  // namespace lumatrace
