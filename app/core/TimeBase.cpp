#include "app/core/TimeBase.h"

#include <cmath>

namespace lumatrace {

long double RoundHalfEvenL(long double v) {
    const long double f = std::floor(v);
    const long double d = v - f;
    if (d > 0.5L) {
        return f + 1.0L;
    }
    if (d < 0.5L) {
        return f;
    }
    return std::fmod(f, 2.0L) == 0.0L ? f : f + 1.0L;
}

int RealTimeScreenSamples(long double timePerDivNs, int memoryPoints) {
    const long double r = RoundHalfEvenL(timePerDivNs);
    return r > memoryPoints ? memoryPoints : static_cast<int>(r);
}

int EquivalentScreenSamples(long double timePerDivNs) {
    return static_cast<int>(RoundHalfEvenL(timePerDivNs * 100.0L));
}

namespace {

constexpr double kMinHorizontalZoom = 0.004;

void Step(long double oldTd, long double newTd, const TimeBaseChange& c, ZoomState& zoom,
          HorizontalScale& view) {
    const std::int64_t p = zoom.zoomSamples;
    zoom.zoomSamples =
        static_cast<std::int64_t>(RoundHalfEvenL(static_cast<long double>(p) * newTd / oldTd));
    const std::int64_t n = c.memoryPoints;
    if (zoom.zoomSamples > n) {
        view.ScreenSamples = c.memoryPoints;
        if (c.memorySizeChange) {
            zoom.zoomSamples = n;
        }
        const double z = static_cast<double>(view.HorizontalZoom * oldTd / newTd);
        if (z < kMinHorizontalZoom) {
            ++zoom.zoomOutRefusals;
        } else if (zoom.zoomOutRefusals > 0) {
            --zoom.zoomOutRefusals;
        } else {
            view.HorizontalZoom = z;
        }
        return;
    }
    if (zoom.zoomSamples == n) {
        view.HorizontalZoom = 1.0;
    }
    if (zoom.zoomSamples < 2) {
        if (zoom.zoomSamples == 0 && p == 2) {
            zoom.zoomFromTwo = true;
        }
        if (view.ScreenSamples == 1) {
            ++zoom.zoomInRefusals;
        } else {
            view.ScreenSamples = 1;
        }
        if (zoom.zoomSamples == 0) {
            zoom.zoomSamples = p;
        }
        return;
    }
    if (view.ScreenSamples == 1 && zoom.zoomInRefusals > 0) {
        --zoom.zoomInRefusals;
        zoom.zoomSamples = p;
        return;
    }
    if (zoom.zoomFromTwo && view.ScreenSamples == 2) {
        zoom.zoomSamples = 5;
        zoom.zoomFromTwo = false;
    }
    view.ScreenSamples = static_cast<int>(zoom.zoomSamples);
}

}  // namespace

TimeBaseResult RecomputeTimeBase(const TimeBaseChange& c, ZoomState& zoom, HorizontalScale& view,
                                 std::int64_t (*timePerDivNs)(int index)) {
    TimeBaseResult r{RealTimeScreenSamples(c.timePerDiv, c.memoryPoints)};
    if (c.equivalentActive) {
        r.equivalentSamples = EquivalentScreenSamples(c.timePerDiv);
    }
    if (!c.firstLayoutDone) {
        view.ScreenSamples = r.realTimeSamples;
        zoom.zoomSamples = r.realTimeSamples;
        return r;
    }
    const int distance =
        c.newIndex > c.prevIndex ? c.newIndex - c.prevIndex : c.prevIndex - c.newIndex;
    const int steps = c.memorySizeChange ? 1 : distance;
    const int dir = c.newIndex >= c.prevIndex ? 1 : -1;
    long double oldTd = c.prevTimePerDiv;
    for (int i = 1; i <= steps; ++i) {
        const long double newTd =
            steps == 1 ? c.timePerDiv
                       : static_cast<long double>(timePerDivNs(c.prevIndex + dir * i));
        if (oldTd > 0.0L && newTd > 0.0L) {
            Step(oldTd, newTd, c, zoom, view);
        }
        oldTd = newTd;
    }
    return r;
}

}  // namespace lumatrace
