#include "device/firmware/Acquisition.h"

#include <algorithm>
#include <cmath>

namespace lumatrace::device {
namespace {

// Upper bound on comparator evaluations of one search.
constexpr int64_t kSearchBudget = int64_t{1} << 20;

bool above(const TriggerCondition& c, Picoseconds t) {
    return c.path->deterministicAt(t) >= c.level;
}

// First instant in (a, b] where the comparator output equals `state`,
// given that it differs at a and equals it at b.
Picoseconds refine(const TriggerCondition& c, Picoseconds a, Picoseconds b, bool state) {
    while (b - a > 1) {
        Picoseconds m = a + (b - a) / 2;
        if (above(c, m) == state)
            b = m;
        else
            a = m;
    }
    return b;
}

Picoseconds satAdd(Picoseconds a, Picoseconds b) {
    if (a == kNever || b == kNever || a > kNever - b)
        return kNever;
    return a + b;
}

}  // namespace

Picoseconds findTriggerEvent(const TriggerCondition& c, Picoseconds from, Picoseconds until) {
    const double period = c.path->longestPeriodSeconds();
    if (period == 0.0 || until < from)
        return kNever;  // a constant level never crosses
    Picoseconds step =
        std::max<Picoseconds>(1, static_cast<Picoseconds>(c.path->shortestFeatureSeconds() * 1e12));
    const Picoseconds lookBack = (c.pulseCondition != 0 ? c.pulseWidth : 0) + step;
    const Picoseconds begin = from - lookBack;
    // A periodic signal that has not crossed within a few of its longest
    // periods does not cross at all.
    const Picoseconds horizon = static_cast<Picoseconds>(std::ceil(4.0 * period * 1e12));
    const Picoseconds end = std::min(until, satAdd(satAdd(from, horizon), lookBack));
    if ((end - begin) / step > kSearchBudget)
        step = (end - begin) / kSearchBudget + 1;

    const bool rising = !c.falling;
    bool prev = above(c, begin);
    // The pulse before the trigger edge is the time spent on the other side.
    Picoseconds otherSideSince = prev == rising ? kNever : begin;
    for (Picoseconds t = begin; t < end;) {
        Picoseconds next = std::min(end, t + step);
        bool cur = above(c, next);
        if (cur != prev) {
            Picoseconds x = refine(c, t, next, cur);
            if (cur == rising) {
                bool qualifies = true;
                if (c.pulseCondition != 0) {
                    if (otherSideSince == kNever) {
                        qualifies = false;
                    } else {
                        Picoseconds width = x - otherSideSince;
                        qualifies =
                            c.pulseCondition == 1 ? width < c.pulseWidth : width >= c.pulseWidth;
                    }
                }
                if (qualifies && x >= from && x <= until)
                    return x;
            } else {
                otherSideSince = x;
            }
        }
        prev = cur;
        t = next;
    }
    return kNever;
}

RecordPlan planRecord(const AcquisitionMode& mode, const CompiledSignal& triggerPath,
                      Picoseconds start, Picoseconds autoWait, uint32_t phase) {
    RecordPlan p;
    p.start = start;
    p.dt = mode.sampleInterval();
    p.length = mode.recordLength();
    p.pretrigger = mode.triggerPosition;
    p.equivalentTime = mode.equivalentTime;
    p.armed = start + p.dt * p.pretrigger;

    Picoseconds autoAt = kNever;
    if (mode.triggerMode == 0)
        autoAt = p.armed + autoWait;
    else if (mode.triggerMode == 2)
        autoAt = p.armed;  // free run: no trigger wanted

    if (mode.triggerMode != 2) {
        TriggerCondition c;
        c.path = &triggerPath;
        c.level = zeroCode(mode.levelWord);
        c.falling = mode.fallingSlope;
        c.pulseCondition = mode.pulseCondition;
        c.pulseWidth = static_cast<Picoseconds>(mode.pulseWidthNs) * 1000;
        p.event = findTriggerEvent(c, p.armed, autoAt);
    }
    if (p.event != kNever) {
        p.trigger = satAdd(p.event, p.dt * mode.delayIntervals);
        p.phase = phase;
        Picoseconds offset = static_cast<Picoseconds>(phase) * (p.dt / 100);
        if (p.equivalentTime)
            offset -= static_cast<Picoseconds>(p.pretrigger % 100) * (p.dt / 100);
        p.firstSample = p.trigger + offset - p.dt * p.pretrigger;
    } else if (autoAt != kNever) {
        p.event = p.trigger = autoAt;
        p.autoTriggered = true;
        p.firstSample = p.trigger - p.dt * p.pretrigger;
    }
    if (p.firstSample != kNever)
        p.complete = p.firstSample + p.dt * (p.length - 1);
    return p;
}

uint32_t RecordPlan::countAt(Picoseconds t) const {
    if (t < armed)
        return static_cast<uint32_t>(std::clamp<Picoseconds>((t - start) / dt, 0, pretrigger));
    if (t < trigger)
        return pretrigger;
    Picoseconds n = (t - firstSample) / dt + 1;
    return static_cast<uint32_t>(std::clamp<Picoseconds>(n, pretrigger, length));
}

uint32_t RecordPlan::statusAt(Picoseconds t) const {
    if (t < armed)
        return kStatusPreTrigger;
    if (t < event)
        return kStatusWaiting;
    if (t < trigger)
        return kStatusDelay;
    if (t < complete)
        return autoTriggered ? kStatusAuto : kStatusTriggered;
    return autoTriggered ? kStatusAutoComplete : kStatusTriggeredComplete;
}

SampleGrid heldSamples(const RecordPlan& plan, Picoseconds t) {
    SampleGrid g;
    g.dt = plan.dt;
    g.valid = plan.countAt(t);
    if (t >= plan.trigger) {
        g.first = plan.firstSample;
        return g;
    }
    // Not triggered yet: the newest samples of the free-running clock.
    int64_t taken = (t - plan.start) / plan.dt;  // samples at start + (k + 1) dt
    g.first = plan.start + (taken - g.valid + 1) * plan.dt;
    return g;
}

int64_t RollPlan::producedAt(Picoseconds t) const {
    return t <= start ? 0 : (t - start) / dt;
}

uint32_t RollPlan::availableAt(Picoseconds t) {
    int64_t produced = producedAt(t);
    consumed = std::max(consumed, produced - static_cast<int64_t>(length));
    return static_cast<uint32_t>(produced - consumed);
}

SampleGrid RollPlan::take(uint32_t n, Picoseconds t) {
    uint32_t available = availableAt(t);
    SampleGrid g;
    g.dt = dt;
    g.first = start + (consumed + 1) * dt;
    g.valid = std::min(n, available);
    consumed += g.valid;
    return g;
}

}  // namespace lumatrace::device
