#include "app/display/TraceStacking.h"

#include <algorithm>

namespace lumatrace {

namespace {

std::array<int, 3> Triple(bool fftOn) {
    return {kTraceCh1, kTraceCh2, ThirdTrace(fftOn)};
}

}  // namespace

void SettleTraceOrder(TraceOrder& order, bool fftOn) {
    const std::array<int, 3> triple = Triple(fftOn);
    const auto key = [&](int i) {
        const int layer = order[triple[i]];
        return layer >= 1 && layer <= 3 ? layer : 4;
    };
    // A stable sort keeps the triple's own order among equal layers.
    std::array<int, 3> byLayer = {0, 1, 2};
    std::stable_sort(byLayer.begin(), byLayer.end(), [&](int a, int b) { return key(a) < key(b); });
    for (int rank = 0; rank < 3; ++rank)
        order[triple[byLayer[rank]]] = rank + 1;
}

void BringTraceToFront(TraceOrder& order, int trace, bool fftOn) {
    const std::array<int, 3> triple = Triple(fftOn);
    if (std::find(triple.begin(), triple.end(), trace) == triple.end())
        return;
    SettleTraceOrder(order, fftOn);
    // Whatever was in front of it moves back by one.
    const int from = order[trace];
    for (int t : triple) {
        if (order[t] < from)
            ++order[t];
    }
    order[trace] = 1;
}

void SendTraceToBack(TraceOrder& order, int trace, bool fftOn) {
    const std::array<int, 3> triple = Triple(fftOn);
    if (std::find(triple.begin(), triple.end(), trace) == triple.end())
        return;
    SettleTraceOrder(order, fftOn);
    // Whatever was behind it moves forward by one.
    const int from = order[trace];
    for (int t : triple) {
        if (order[t] > from)
            --order[t];
    }
    order[trace] = 3;
}

bool RestackInReach(TraceOrder& order, const std::array<bool, 3>& inReach, bool fftOn) {
    const std::array<int, 3> triple = Triple(fftOn);
    int reached = 0;
    for (bool r : inReach)
        reached += r ? 1 : 0;
    if (reached < 2)
        return false;

    TraceOrder settled = order;
    SettleTraceOrder(settled, fftOn);
    TraceOrder next = settled;
    if (reached == 3) {
        for (int t : triple) {
            if (settled[t] == 1)
                next[t] = 3;
            else if (settled[t] == 2)
                next[t] = 1;
            else
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
        // The one drawn behind (larger layer) comes forward.
        const int behind = settled[a] > settled[b] ? a : b;
        const int other = behind == a ? b : a;
        next[behind] = 1;
        next[other] = 2;
        next[out] = 3;
    }
    if (next == settled)
        return false;
    order = next;
    return true;
}

void TraceSwitched(ViewSettings& view, int trace, bool on, InteractionHost& host) {
    TraceOrder& order = view.traceOrder;
    if (trace == kTraceFft) {
        if (on) {
            order[kTraceFft] = order[kTraceMath];
            BringTraceToFront(order, kTraceFft, true);
        } else {
            SendTraceToBack(order, kTraceFft, true);
            order[kTraceMath] = order[kTraceFft];
        }
    } else if (trace != kTraceMath || !view.fftOn) {
        const bool fftTriple = trace != kTraceMath && view.fftOn;
        if (on)
            BringTraceToFront(order, trace, fftTriple);
        else
            SendTraceToBack(order, trace, fftTriple);
    }
    StackingChanged(view, host);
}

void StackingChanged(const ViewSettings& view, InteractionHost& host) {
    const bool spectrum = view.SpectrumInFront();
    host.SetScrollSpectrumMode(spectrum);
    host.SetTrigPosControlsEnabled(!spectrum && !view.RollRunning());
    host.SetScrollHint(UiText("Display", spectrum ? kScrollHintSpectrum : kScrollHintTime));
    host.RefreshReadout(Readout::CursorT);
}

}  // namespace lumatrace
