#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "app/display/RecordingCanvas.h"
#include "app/display/ViewMarkers.h"
#include "app/display/WaveView.h"
#include "app/display/tests/TraceReference.h"

namespace lumatrace {
namespace {

using Points = std::vector<Point>;

TEST(MarkersArithmetic, PositionsMapToStripPixels) {
    // Ky = 0.5 at DivHeight 25: ties go to the even pixel.
    EXPECT_EQ(MarkerY(5, 0.5), 2);
    EXPECT_EQ(MarkerY(7, 0.5), 4);
    EXPECT_EQ(MarkerY(250, 0.9), 225);
    EXPECT_EQ(StripOffset(45, 5), 40);
    EXPECT_DOUBLE_EQ(OverviewScale(450, 10000), 0.0448);
    EXPECT_EQ(OverviewScale(450, 0), 0.0);
    EXPECT_EQ(OverviewLeft(25, 0), 26);

    struct Case {
        int y;
        MarkerPlace place;
        int pinned;
    };
    const Case cases[] = {{45, MarkerPlace::Above, 42},      {46, MarkerPlace::OnScreen, 46},
                          {404, MarkerPlace::OnScreen, 404}, {405, MarkerPlace::Below, 408},
                          {-100, MarkerPlace::Above, 42},    {900, MarkerPlace::Below, 408}};
    for (const Case& c : cases) {
        EXPECT_EQ(PlaceOf(c.y, 45), c.place) << c.y;
        EXPECT_EQ(PinnedMarkerY(c.y, 45), c.pinned) << c.y;
    }
}

TEST(MarkersArithmetic, PositionsOfTheLastRedraw) {
    ViewSettings s;
    s.tracePosition = {250, 10, 250, 480, 100};
    const ViewGeometry g = ViewGeometry::ForWaveBox(451, 361);
    MarkerSettings m;
    m.trigLevel = 500;
    const MarkerPositions p = ComputeMarkerPositions(s, g, m, StripLayout{});
    EXPECT_EQ(p.markerY[kTraceCh1], 225);
    EXPECT_EQ(p.zeroLineY[kTraceCh1], 180);
    // Off screen: the stored marker is pinned beside the screen, the zero line is not.
    EXPECT_EQ(p.markerY[kTraceCh2], 42);
    EXPECT_EQ(p.zeroLineY[kTraceCh2], 9 - 45);
    EXPECT_EQ(p.markerY[kTraceMath], 408);
    EXPECT_EQ(p.zeroLineY[kTraceMath], 432 - 45);
    EXPECT_EQ(p.trigLevelY, 408);
    EXPECT_EQ(p.trigPosMarkerX, 224 + 26);
    EXPECT_EQ(p.cursorTX, (std::array<int, 2>{135, 315}));
    EXPECT_EQ(p.cursorVY, (std::array<int, 2>{90, 270}));
}

// One marker layer drawn on recording pictures of the standard layout.
class Markers : public ::testing::Test {
  protected:
    void SetUp() override {
        surfaces.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {501, 32}});
        s.formReady = s.displayInitialised = true;
        for (int i = 0; i < kColorSlotCount; ++i)
            s.displayColors[i] = 0x100 + i;  // every slot tells itself apart
        view.Horizontal().ScreenSamples = 1000;
        view.Horizontal().ViewStart = 4500;
        view.Horizontal().TraceLeft = 1;
        view.Horizontal().TraceRight = 450;
    }
    RedrawContext Ctx() {
        return RedrawContext{view, s, view.Geometry(), view.Horizontal(), surfaces};
    }
    const std::vector<CanvasOp>& Ops(ViewImage image) { return surfaces.Recorder(image).Ops(); }
    static Color Slot(int slot) { return 0x100 + slot; }
    static std::vector<const CanvasOp*> Of(const std::vector<CanvasOp>& ops, CanvasOp::Kind k) {
        std::vector<const CanvasOp*> out;
        for (const CanvasOp& op : ops) {
            if (op.kind == k)
                out.push_back(&op);
        }
        return out;
    }

    WaveView view;
    ViewMarkers markers;
    RecordingSurfaces surfaces;
    ViewSettings s;
};

TEST_F(Markers, TracePositionMarkerOnScreenIsALabelledPentagon) {
    struct Case {
        int trace;
        const char* label;
        int labelX;
    };
    const Case cases[] = {
        {kTraceCh1, "1", 6}, {kTraceCh2, "2", 7}, {kTraceMath, "M", 5}, {kTraceFft, "F", 6}};
    for (const Case& c : cases) {
        surfaces.Reset();
        s.tracePosition[c.trace] = 250;  // strip y 225 - 40
        markers.DrawTracePositionMarker(Ctx(), c.trace);
        const auto& ops = Ops(ViewImage::Volt);
        ASSERT_EQ(ops.size(), 2u) << c.label;
        EXPECT_EQ(ops[0].kind, CanvasOp::Kind::Polygon);
        EXPECT_EQ(ops[0].points, (Points{{13, 190}, {18, 185}, {13, 180}, {3, 180}, {3, 190}}));
        EXPECT_EQ(ops[0].color, Slot(c.trace));
        EXPECT_EQ(ops[0].brush, Slot(c.trace));
        EXPECT_EQ(ops[1].kind, CanvasOp::Kind::Text);
        EXPECT_EQ(ops[1].text, c.label);
        EXPECT_EQ(ops[1].points, (Points{{c.labelX, 180}}));
        EXPECT_EQ(ops[1].color, Slot(kSlotBackground));
        EXPECT_TRUE(Ops(ViewImage::Wave).empty());
    }
}

TEST_F(Markers, OffScreenTraceMarkersAreUnlabelledTriangles) {
    s.tracePosition[kTraceCh1] = 10;
    markers.DrawTracePositionMarker(Ctx(), kTraceCh1);
    s.tracePosition[kTraceCh2] = 480;
    markers.DrawTracePositionMarker(Ctx(), kTraceCh2);
    const auto& ops = Ops(ViewImage::Volt);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].kind, CanvasOp::Kind::Polygon);
    EXPECT_EQ(ops[0].points, (Points{{18, 6}, {6, 6}, {12, 0}}));
    EXPECT_EQ(ops[1].kind, CanvasOp::Kind::Polygon);
    EXPECT_EQ(ops[1].points, (Points{{18, 364}, {6, 364}, {12, 370}}));
    EXPECT_EQ(ops[1].brush, Slot(kSlotCh2));
    EXPECT_EQ(markers.Positions().markerY[kTraceCh1], 42);
    EXPECT_EQ(markers.Positions().markerY[kTraceCh2], 408);
    EXPECT_EQ(markers.Positions().zeroLineY[kTraceCh2], 432 - 45);
}

TEST_F(Markers, HoveredTraceMarkerShowsItsZeroLine) {
    MarkerHighlight hl;
    hl.trace[kTraceCh2] = true;
    markers.SetHighlight(hl);
    s.tracePosition[kTraceCh1] = 250;
    s.tracePosition[kTraceCh2] = 480;  // off screen: the line stays at the true zero
    markers.DrawTracePositionMarker(Ctx(), kTraceCh1);
    markers.DrawTracePositionMarker(Ctx(), kTraceCh2);
    const auto& ops = Ops(ViewImage::Wave);
    ASSERT_EQ(ops.size(), 1u);
    EXPECT_EQ(ops[0].kind, CanvasOp::Kind::Line);
    EXPECT_EQ(ops[0].style, PenStyle::Dot);
    EXPECT_EQ(ops[0].color, Slot(kSlotCh2));
    EXPECT_EQ(ops[0].points, (Points{{0, 387}, {450, 387}}));
}

TEST_F(Markers, TriggerLevelMarker) {
    MarkerSettings m;
    m.trigLevel = 200;  // y 180, strip 140
    markers.SetSettings(m);
    markers.DrawTriggerLevelMarker(Ctx());
    auto ops = Ops(ViewImage::TrigLevel);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].points, (Points{{6, 145}, {1, 140}, {6, 135}, {16, 135}, {16, 145}}));
    EXPECT_EQ(ops[0].brush, Slot(kSlotTrigLevel));
    EXPECT_EQ(ops[1].text, "L");
    EXPECT_EQ(ops[1].points, (Points{{9, 135}}));
    EXPECT_EQ(ops[1].color, Slot(kSlotBackground));
    EXPECT_TRUE(Ops(ViewImage::Wave).empty());

    // Dragged: a solid line across the graticule at the level.
    MarkerHighlight hl;
    hl.trigLevel = true;
    markers.SetHighlight(hl);
    surfaces.Reset();
    markers.DrawTriggerLevelMarker(Ctx());
    ASSERT_EQ(Ops(ViewImage::Wave).size(), 1u);
    EXPECT_EQ(Ops(ViewImage::Wave)[0].points, (Points{{0, 135}, {450, 135}}));
    EXPECT_EQ(Ops(ViewImage::Wave)[0].style, PenStyle::Solid);
    EXPECT_EQ(Ops(ViewImage::Wave)[0].color, Slot(kSlotTrigLevel));

    markers.SetHighlight({});
    const struct {
        int level;
        Points triangle;
        int stored;
    } ends[] = {{1, {{14, 6}, {2, 6}, {8, 0}}, 42}, {500, {{14, 364}, {2, 364}, {8, 370}}, 408}};
    for (const auto& e : ends) {
        surfaces.Reset();
        m.trigLevel = e.level;
        markers.SetSettings(m);
        markers.DrawTriggerLevelMarker(Ctx());
        ops = Ops(ViewImage::TrigLevel);
        ASSERT_EQ(ops.size(), 1u) << e.level;
        EXPECT_EQ(ops[0].points, e.triangle);
        EXPECT_EQ(markers.Positions().trigLevelY, e.stored);
    }
}

TEST_F(Markers, TriggerPointMarkerAndItsLine) {
    markers.DrawTriggerPointMarker(Ctx(), 100);
    ASSERT_EQ(Ops(ViewImage::Wave).size(), 1u);
    EXPECT_EQ(Ops(ViewImage::Wave)[0].points, (Points{{100, 5}, {96, 1}, {104, 1}}));
    EXPECT_EQ(Ops(ViewImage::Wave)[0].brush, Slot(kSlotTrigPosition));
    EXPECT_EQ(markers.Positions().trigPointX, 100);

    MarkerHighlight hl;
    hl.trigPosition = true;
    markers.SetHighlight(hl);
    s.fftOn = true;
    s.traceOrder[kTraceFft] = 1;
    surfaces.Reset();
    markers.DrawTriggerPointMarker(Ctx(), 225);
    const auto& ops = Ops(ViewImage::Wave);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].brush, Slot(kSlotFft));
    EXPECT_EQ(ops[1].points, (Points{{225, 0}, {225, 360}}));
    EXPECT_EQ(ops[1].color, Slot(kSlotFft));
}

TEST_F(Markers, TriggerPositionStripBracketsMarkerAndExtent) {
    s.memoryPoints = 10000;
    s.trigPosition = 5000;  // x 224 + 26
    markers.DrawTriggerPositionStrip(Ctx());
    const auto& ops = Ops(ViewImage::TrigPos);
    // "[" at round(4500 x 0.0448) + 26 = 228, "]" at round(5500 x 0.0448) + 26 = 272.
    const std::vector<Segment> brackets = {{{229, 2}, {227, 2}},   {{227, 2}, {227, 28}},
                                           {{227, 28}, {230, 28}}, {{271, 2}, {273, 2}},
                                           {{273, 2}, {273, 28}},  {{273, 28}, {270, 28}}};
    EXPECT_EQ(surfaces.Recorder(ViewImage::TrigPos).SegmentsDrawn(Slot(kSlotScale)), brackets);
    const auto polygons = Of(ops, CanvasOp::Kind::Polygon);
    ASSERT_EQ(polygons.size(), 1u);
    EXPECT_EQ(polygons[0]->points, (Points{{246, 1}, {254, 1}, {254, 11}, {250, 15}, {246, 11}}));
    EXPECT_EQ(polygons[0]->brush, Slot(kSlotTrigPosition));
    const auto texts = Of(ops, CanvasOp::Kind::Text);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0]->text, "T");
    EXPECT_EQ(texts[0]->color, Slot(kSlotBackground));
    EXPECT_EQ(surfaces.Recorder(ViewImage::TrigPos).SegmentsDrawn(Slot(kSlotTrigPosition)),
              (std::vector<Segment>{{{26, 15}, {475, 15}}}));
    EXPECT_EQ(markers.Positions().trigPosMarkerX, 250);
}

TEST_F(Markers, BracketUnderTheMarkerKeepsItsStroke) {
    s.memoryPoints = 10000;
    s.trigPosition = 5000;
    view.Horizontal().ViewStart = 5000;  // "[" stroke at 249, under the marker at 250
    markers.DrawTriggerPositionStrip(Ctx());
    const auto& ops = Ops(ViewImage::TrigPos);
    std::size_t polygon = ops.size();
    for (std::size_t i = 0; i < ops.size(); ++i) {
        if (ops[i].kind == CanvasOp::Kind::Polygon)
            polygon = i;
    }
    ASSERT_LT(polygon, ops.size());
    std::vector<Segment> after;
    for (std::size_t i = polygon + 1; i < ops.size(); ++i) {
        if (ops[i].kind == CanvasOp::Kind::Line && ops[i].color == Slot(kSlotScale))
            after.push_back({ops[i].points[0], ops[i].points[1]});
    }
    EXPECT_EQ(after, (std::vector<Segment>{{{249, 16}, {249, 28}}}));
}

TEST_F(Markers, RollModeStripHasNoMarkerButKeepsTheExtent) {
    s.runMode = kRunAuto;
    s.rollActive = true;
    view.Horizontal().TraceLeft = 300;
    markers.DrawTriggerPositionStrip(Ctx());
    const auto& ops = Ops(ViewImage::TrigPos);
    EXPECT_TRUE(Of(ops, CanvasOp::Kind::Polygon).empty());
    EXPECT_TRUE(Of(ops, CanvasOp::Kind::Text).empty());
    EXPECT_EQ(surfaces.Recorder(ViewImage::TrigPos).SegmentsDrawn(Slot(kSlotTrigPosition)),
              (std::vector<Segment>{{{325, 15}, {475, 15}}}));
}

TEST_F(Markers, CursorsSolidAndDottedWithTheSelectedOneOnTop) {
    struct Case {
        int selected;
        std::vector<PenStyle> styles;
        std::vector<int> xs;
    };
    const Case cases[] = {{1, {PenStyle::Dot, PenStyle::Solid}, {315, 135}},
                          {2, {PenStyle::Solid, PenStyle::Dot}, {135, 315}}};
    for (const Case& c : cases) {
        surfaces.Reset();
        MarkerSettings m;
        m.cursorTSelected = c.selected;
        m.cursorVSelected = c.selected;
        markers.SetSettings(m);
        markers.DrawTimeCursors(Ctx());
        markers.DrawVoltageCursors(Ctx());
        const auto& ops = Ops(ViewImage::Wave);
        ASSERT_EQ(ops.size(), 4u);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(ops[i].style, c.styles[i]);
            EXPECT_EQ(ops[i].color, Slot(kSlotCursorT));
            EXPECT_EQ(ops[i].points, (Points{{c.xs[i], 0}, {c.xs[i], 360}}));
            const int y = c.xs[i] == 135 ? 90 : 270;  // cursor 1 at 100, cursor 2 at 300
            EXPECT_EQ(ops[2 + i].style, c.styles[i]);
            EXPECT_EQ(ops[2 + i].color, Slot(kSlotCursorV));
            EXPECT_EQ(ops[2 + i].points, (Points{{0, y}, {450, y}}));
        }
    }
}

TEST(MarkersInRedraw, LayerDrawsEveryStepOfARedraw) {
    auto record = std::make_unique<SampleBuffer>();
    testing::FillRecord(*record, testing::RecordRecipe{.points = 10000});
    WaveView view;
    ViewMarkers markers;
    RecordingSurfaces surfaces;
    view.SetRecord(record.get());
    view.SetMarkerLayer(&markers);
    surfaces.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {501, 32}});
    ViewSettings s;
    s.formReady = s.displayInitialised = true;
    s.runMode = kRunAuto;
    s.recordSinceStart = s.dataValid = true;
    s.channelOn = {true, false};
    s.lastCursorPairT = true;
    view.Horizontal().ScreenSamples = 10000;
    view.RedrawAll(s, surfaces);

    // Voltage cursors first, then the time cursors touched last, then the trace with the
    // trigger point marker inside it.
    const auto& wave = surfaces.Recorder(ViewImage::Wave).Ops();
    std::vector<Color> order;
    for (const CanvasOp& op : wave) {
        const Color c = op.kind == CanvasOp::Kind::Polygon ? op.brush : op.color;
        if (order.empty() || order.back() != c)
            order.push_back(c);
    }
    const auto& col = s.displayColors;
    ASSERT_GE(order.size(), 5u);
    EXPECT_EQ(order[0], col[kSlotCursorV]);
    EXPECT_EQ(order[1], col[kSlotCursorT]);
    EXPECT_EQ(order[2], col[kSlotCh1]);
    EXPECT_NE(std::find(order.begin(), order.end(), col[kSlotTrigPosition]), order.end());
    EXPECT_EQ(markers.Positions().trigPointX, view.Horizontal().TrigPointX);

    EXPECT_EQ(surfaces.Recorder(ViewImage::Volt).Ops().size(), 3u);  // clear, pentagon, "1"
    EXPECT_EQ(surfaces.Recorder(ViewImage::TrigLevel).Ops().size(), 3u);
    EXPECT_FALSE(surfaces.Recorder(ViewImage::TrigPos).SegmentsDrawn(col[kSlotScale]).empty());
}

}  // namespace
}  // namespace lumatrace
