#include "app/display/ViewMarkers.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/display/SampleWord.h"

namespace lumatrace {

int MarkerY(int position, double ky) {
    return static_cast<int>(RoundHalfEven(position * ky));
}

double OverviewScale(int waveWidth, int memoryPoints) {
    if (memoryPoints <= 0)
        return 0.0;
    return static_cast<double>(waveWidth - 2) / memoryPoints;
}

int OverviewX(double index, double overviewScale, int overviewLeft) {
    return static_cast<int>(RoundHalfEven(index * overviewScale)) + overviewLeft;
}

MarkerPlace PlaceOf(int markerY, int divHeight) {
    if (markerY <= divHeight)
        return MarkerPlace::Above;
    if (markerY >= 9 * divHeight)
        return MarkerPlace::Below;
    return MarkerPlace::OnScreen;
}

int PinnedMarkerY(int markerY, int divHeight) {
    switch (PlaceOf(markerY, divHeight)) {
        case MarkerPlace::Above:
            return divHeight - 3;
        case MarkerPlace::Below:
            return 9 * divHeight + 3;
        case MarkerPlace::OnScreen:
            break;
    }
    return markerY;
}

MarkerSettings MarkerSettingsFrom(const InstrumentSettings& s) {
    MarkerSettings m;
    m.trigLevel = s.trigLevel;
    m.cursorT1 = s.cursorT1;
    m.cursorT2 = s.cursorT2;
    m.cursorV1 = s.cursorV1;
    m.cursorV2 = s.cursorV2;
    m.cursorTSelected = s.cursorTSelected;
    m.cursorVSelected = s.cursorVSelected;
    return m;
}

MarkerPositions ComputeMarkerPositions(const ViewSettings& s, const ViewGeometry& g,
                                       const MarkerSettings& m, const StripLayout& layout) {
    MarkerPositions p;
    p.stripOffset = StripOffset(g.DivHeight, layout.waveTopInPanel);
    p.overviewScale = OverviewScale(g.WaveWidth, s.memoryPoints);
    p.overviewLeft = OverviewLeft(layout.waveBoxLeft, layout.trigPosBoxLeft);
    for (int t = 0; t < kTraceCount; ++t) {
        const int y = MarkerY(s.tracePosition[t], g.Ky);
        p.zeroLineY[t] = ZeroLineY(y, g.DivHeight);
        p.markerY[t] = PinnedMarkerY(y, g.DivHeight);
    }
    p.trigLevelY = PinnedMarkerY(TrigLevelY(m.trigLevel, g.Ky), g.DivHeight);
    p.trigPosMarkerX = OverviewX(s.trigPosition, p.overviewScale, p.overviewLeft);
    p.cursorTX = {static_cast<int>(RoundHalfEven(m.cursorT1 * g.Kx)),
                  static_cast<int>(RoundHalfEven(m.cursorT2 * g.Kx))};
    p.cursorVY = {static_cast<int>(RoundHalfEven(m.cursorV1 * g.Ky)),
                  static_cast<int>(RoundHalfEven(m.cursorV2 * g.Ky))};
    return p;
}

// ---------------------------------------------------------------- glyphs

namespace {

// Labels of the strips are written in the strips' own default font.
const Font kStripFont{};

template <std::size_t N>
void FilledPolygon(Canvas& c, const Point (&pts)[N], Color color) {
    c.SetPen(color, PenStyle::Solid);
    c.SetBrush(color);
    c.Polygon(pts, N);
}

void Label(Canvas& c, int x, int y, const char* text, Color color,
           TextAlign align = TextAlign::Left) {
    c.SetFont(kStripFont);
    c.SetTextColor(color);
    c.Text(x, y, text, align);
}

// Label offsets put each letter in the middle of its pentagon.
struct TraceLabel {
    const char* text;
    int dx;
};
TraceLabel LabelOf(int trace) {
    switch (trace) {
        case kTraceCh1:
            return {"1", 3};
        case kTraceCh2:
            return {"2", 4};
        case kTraceMath:
            return {"M", 2};
        case kTraceFft:
            return {"F", 3};
        default:
            return {"", 0};
    }
}

}  // namespace

void DrawTriggerPointGlyph(Canvas& wave, int x, Color color, bool withLine, int waveHeight) {
    const Point tri[] = {{x, 5}, {x - 4, 1}, {x + 4, 1}};
    FilledPolygon(wave, tri, color);
    if (withLine) {
        const Segment line{{x, 0}, {x, waveHeight}};
        wave.Lines(&line, 1);
    }
}

void DrawOverviewMarker(Canvas& strip, int x, int tipY, Color color) {
    const Point pent[] = {{x - 4, 1}, {x + 4, 1}, {x + 4, tipY - 4}, {x, tipY}, {x - 4, tipY - 4}};
    FilledPolygon(strip, pent, color);
}

// ---------------------------------------------------------------- the layer

void ViewMarkers::Update(const RedrawContext& ctx) {
    const int trigPointX = positions_.trigPointX;
    positions_ = ComputeMarkerPositions(ctx.settings, ctx.geometry, settings_, layout_);
    positions_.trigPointX = trigPointX;
}

void ViewMarkers::DrawTimeCursors(const RedrawContext& ctx) {
    Update(ctx);
    Canvas& wave = ctx.surfaces.CanvasFor(ViewImage::Wave);
    const int h = ctx.geometry.WaveHeight;
    auto draw = [&](int i) {
        const int x = positions_.cursorTX[i];
        wave.SetPen(ctx.settings.displayColors[kSlotCursorT],
                    i == 0 ? PenStyle::Solid : PenStyle::Dot);
        const Segment line{{x, 0}, {x, h}};
        wave.Lines(&line, 1);
    };
    // The selected cursor stays visible where the two overlap.
    const int selected = settings_.cursorTSelected == 2 ? 1 : 0;
    draw(1 - selected);
    draw(selected);
}

void ViewMarkers::DrawVoltageCursors(const RedrawContext& ctx) {
    Update(ctx);
    Canvas& wave = ctx.surfaces.CanvasFor(ViewImage::Wave);
    const int w = ctx.geometry.WaveWidth;
    auto draw = [&](int i) {
        const int y = positions_.cursorVY[i];
        wave.SetPen(ctx.settings.displayColors[kSlotCursorV],
                    i == 0 ? PenStyle::Solid : PenStyle::Dot);
        const Segment line{{0, y}, {w, y}};
        wave.Lines(&line, 1);
    };
    const int selected = settings_.cursorVSelected == 2 ? 1 : 0;
    draw(1 - selected);
    draw(selected);
}

void ViewMarkers::DrawTracePositionMarker(const RedrawContext& ctx, int trace) {
    if (trace < 0 || trace >= kTraceCount || trace == kTraceTrigRef)
        return;
    Update(ctx);
    const ViewGeometry& g = ctx.geometry;
    const ViewSettings& s = ctx.settings;
    Canvas& strip = ctx.surfaces.CanvasFor(ViewImage::Volt);
    const int w = strip.Width();
    const int h = strip.Height();
    const Color color = s.displayColors[trace];
    const int markerY = MarkerY(s.tracePosition[trace], g.Ky);
    switch (PlaceOf(markerY, g.DivHeight)) {
        case MarkerPlace::OnScreen: {
            const int y = markerY - positions_.stripOffset;
            const Point pent[] = {
                {w - 7, y + 5}, {w - 2, y}, {w - 7, y - 5}, {w - 17, y - 5}, {w - 17, y + 5}};
            FilledPolygon(strip, pent, color);
            const TraceLabel label = LabelOf(trace);
            Label(strip, w - 17 + label.dx, y - 5, label.text, s.displayColors[kSlotBackground]);
            break;
        }
        case MarkerPlace::Above: {
            const Point tri[] = {{w - 2, 6}, {w - 14, 6}, {w - 8, 0}};
            FilledPolygon(strip, tri, color);
            break;
        }
        case MarkerPlace::Below: {
            const Point tri[] = {{w - 2, h - 8}, {w - 14, h - 8}, {w - 8, h - 2}};
            FilledPolygon(strip, tri, color);
            break;
        }
    }
    if (highlight_.trace[trace]) {
        Canvas& wave = ctx.surfaces.CanvasFor(ViewImage::Wave);
        const int y = positions_.zeroLineY[trace];
        wave.SetPen(color, PenStyle::Dot);
        const Segment line{{0, y}, {g.WaveWidth, y}};
        wave.Lines(&line, 1);
    }
}

void ViewMarkers::DrawTriggerPointMarker(const RedrawContext& ctx, int x) {
    const ViewSettings& s = ctx.settings;
    const Color color = s.displayColors[s.SpectrumInFront() ? kSlotFft : kSlotTrigPosition];
    DrawTriggerPointGlyph(ctx.surfaces.CanvasFor(ViewImage::Wave), x, color,
                          highlight_.trigPosition, ctx.geometry.WaveHeight);
    positions_.trigPointX = x;
}

void ViewMarkers::DrawTriggerLevelMarker(const RedrawContext& ctx) {
    Update(ctx);
    const ViewGeometry& g = ctx.geometry;
    const ViewSettings& s = ctx.settings;
    Canvas& strip = ctx.surfaces.CanvasFor(ViewImage::TrigLevel);
    const int h = strip.Height();
    const Color color = s.displayColors[kSlotTrigLevel];
    const int levelY = TrigLevelY(settings_.trigLevel, g.Ky);
    switch (PlaceOf(levelY, g.DivHeight)) {
        case MarkerPlace::OnScreen: {
            const int y = levelY - positions_.stripOffset;
            const Point pent[] = {{6, y + 5}, {1, y}, {6, y - 5}, {16, y - 5}, {16, y + 5}};
            FilledPolygon(strip, pent, color);
            Label(strip, 9, y - 5, "L", s.displayColors[kSlotBackground]);
            break;
        }
        case MarkerPlace::Above: {
            const Point tri[] = {{14, 6}, {2, 6}, {8, 0}};
            FilledPolygon(strip, tri, color);
            break;
        }
        case MarkerPlace::Below: {
            const Point tri[] = {{14, h - 8}, {2, h - 8}, {8, h - 2}};
            FilledPolygon(strip, tri, color);
            break;
        }
    }
    if (highlight_.trigLevel) {
        Canvas& wave = ctx.surfaces.CanvasFor(ViewImage::Wave);
        const int y = positions_.trigLevelY - g.DivHeight;
        wave.SetPen(color, PenStyle::Solid);
        const Segment line{{0, y}, {g.WaveWidth, y}};
        wave.Lines(&line, 1);
    }
}

void ViewMarkers::DrawTriggerPositionStrip(const RedrawContext& ctx) {
    Update(ctx);
    const ViewSettings& s = ctx.settings;
    const HorizontalView& hv = ctx.horizontal;
    Canvas& strip = ctx.surfaces.CanvasFor(ViewImage::TrigPos);
    const int h = strip.Height();
    const int mid = h / 2 - 1;
    const double scale = positions_.overviewScale;
    const int left = positions_.overviewLeft;
    const Color scaleColor = s.displayColors[kSlotScale];
    const Color markColor = s.displayColors[kSlotTrigPosition];

    // The closing bracket never runs past the end of the record, even while the screen holds
    // more samples than the record has.
    const double shownEnd = std::min<double>(static_cast<double>(hv.ViewStart) + hv.ScreenSamples,
                                             std::max(s.memoryPoints, hv.ViewStart));
    const int m = OverviewX(hv.ViewStart, scale, left);
    const int n = OverviewX(shownEnd, scale, left);
    const Point open[] = {{m + 1, 2}, {m - 1, 2}, {m - 1, h - 4}, {m + 2, h - 4}};
    const Point close[] = {{n - 1, 2}, {n + 1, 2}, {n + 1, h - 4}, {n - 2, h - 4}};
    strip.SetPen(scaleColor, PenStyle::Solid);
    strip.Polyline(open, 4);
    strip.Polyline(close, 4);

    if (!s.RollRunning()) {
        const int x = positions_.trigPosMarkerX;
        DrawOverviewMarker(strip, x, mid, markColor);
        Label(strip, x, 1, "T", s.displayColors[kSlotBackground], TextAlign::Center);
        // A bracket under the marker keeps its visible stroke below the tip.
        Segment strokes[2];
        std::size_t count = 0;
        for (int sx : {m - 1, n + 1}) {
            if (std::abs(sx - x) <= 4)
                strokes[count++] = {{sx, mid + 1}, {sx, h - 4}};
        }
        if (count > 0) {
            strip.SetPen(scaleColor, PenStyle::Solid);
            strip.Lines(strokes, count);
        }
    }

    const Segment extent{{left + hv.TraceLeft - 1, mid}, {left + hv.TraceRight - 1, mid}};
    strip.SetPen(markColor, PenStyle::Solid);
    strip.Lines(&extent, 1);
}

}  // namespace lumatrace
