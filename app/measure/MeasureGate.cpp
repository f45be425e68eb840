#include "app/measure/MeasureGate.h"

#include <algorithm>
#include <cmath>

#include "app/display/SampleWord.h"

namespace lumatrace {

namespace {

SampleRange Between(double from, double to, int memoryPoints) {
    if (!(memoryPoints > 0) || !std::isfinite(from) || !std::isfinite(to))
        return {};
    const double size = memoryPoints;
    const double first = std::clamp(std::ceil(std::min(from, to)), 0.0, size);
    const double last = std::clamp(std::floor(std::max(from, to)) + 1.0, 0.0, size);
    const SampleRange r{static_cast<int>(first), static_cast<int>(last)};
    return r.end > r.first ? r : SampleRange{r.first, r.first};
}

}  // namespace

SampleRange RecordGate(int memoryPoints) {
    return {0, std::max(memoryPoints, 0)};
}

double IndexAtUnits(const HorizontalView& h, const ViewGeometry& g, int memoryPoints,
                    int trigPosition, double units) {
    const double zoom =
        h.ScreenSamples >= memoryPoints && h.HorizontalZoom > 0.0 ? h.HorizontalZoom : 1.0;
    const double samplesPerUnit = h.ScreenSamples / 500.0 / zoom;
    const double trigUnits = g.Kx > 0.0 ? RoundHalfEven(h.TrigPointX / g.Kx) : 0.0;
    return trigPosition + (units - trigUnits) * samplesPerUnit;
}

SampleRange ScreenGate(const HorizontalView& h, const ViewGeometry& g, int memoryPoints,
                       int trigPosition) {
    if (h.ScreenSamples <= 0)
        return {};
    return Between(IndexAtUnits(h, g, memoryPoints, trigPosition, 0.0),
                   IndexAtUnits(h, g, memoryPoints, trigPosition, 500.0), memoryPoints);
}

SampleRange CursorGate(const HorizontalView& h, const ViewGeometry& g, int memoryPoints,
                       int trigPosition, int cursorT1, int cursorT2) {
    if (h.ScreenSamples <= 0)
        return {};
    return Between(IndexAtUnits(h, g, memoryPoints, trigPosition, cursorT1),
                   IndexAtUnits(h, g, memoryPoints, trigPosition, cursorT2), memoryPoints);
}

}  // namespace lumatrace
