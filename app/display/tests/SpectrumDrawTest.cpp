#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "app/display/RecordingCanvas.h"
#include "app/display/SpectrumScales.h"
#include "app/display/ViewSpectrum.h"
#include "app/display/WaveView.h"
#include "app/display/tests/SpectrumTestSupport.h"

namespace lumatrace {
namespace {

// A stand-in library whose transform writes a known spectrum: bin k has real part
// Pattern()[k] (a power of Pattern()[k]^2), imaginary part 0.
std::vector<double>& Pattern() {
    static std::vector<double> p;
    return p;
}
int g_calcCalls = 0;

int32_t ZEP9100FFT_CALL FakeInit(int32_t, int32_t, int32_t) {
    return 1;
}
int32_t ZEP9100FFT_CALL FakeCalc(const FftParams*, const uint32_t*, double* re, double* im) {
    ++g_calcCalls;
    std::copy(Pattern().begin(), Pattern().end(), re);
    std::fill(im, im + Pattern().size(), 0.0);
    return 1;
}

class MarkerLog : public MarkerLayer {
  public:
    std::vector<int> points;
    void DrawTimeCursors(const RedrawContext&) override {}
    void DrawVoltageCursors(const RedrawContext&) override {}
    void DrawTracePositionMarker(const RedrawContext&, int) override {}
    void DrawTriggerPointMarker(const RedrawContext& c, int x) override {
        points.push_back(x);
        c.surfaces.CanvasFor(ViewImage::Wave).SetPen(0x123456, PenStyle::Solid);
    }
    void DrawTriggerLevelMarker(const RedrawContext&) override {}
    void DrawTriggerPositionStrip(const RedrawContext&) override {}
};

constexpr Color kFftPen = 0x00AA01;

class DisplaySpectrumDraw : public ::testing::Test {
  protected:
    DisplaySpectrumDraw() : analyzer(&FakeInit, &FakeCalc, *record, *snapshot), layer(analyzer) {}

    void SetUp() override {
        g_calcCalls = 0;
        Pattern().assign(8192, 0.0);
        view.Resize(451, 361);
        surfaces.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {501, 32}});
        s.formReady = s.displayInitialised = true;
        s.runMode = kRunAuto;
        s.dataValid = s.recordSinceStart = true;
        s.fftOn = true;
        s.traceOrder[kTraceFft] = 1;
        s.tracePosition[kTraceFft] = 250;
        s.displayColors[kSlotFft] = kFftPen;
        analyzer.SetRecordOnShow(true);
        layer.SetMarkerLayer(&markers);
        layer.Display().fftScale = 1000;  // 1 V per division, linear
        SpectrumWindow& sp = view.Spectrum();
        sp.FftBins = 4096;
        sp.SpecStart = 0;
        sp.SpecLeftBlank = 0;
        SetBins(4096);
    }

    void SetBins(int bins) {
        SpectrumWindow& sp = view.Spectrum();
        sp.BinsPerScreen = bins;
        sp.HalfScreenBins = bins / 2;
        layer.Display().binWidthHz = 1000.0L;
        layer.Display().hzPerDiv = bins * 100.0L;
    }

    void Draw() {
        surfaces.Reset();
        RedrawContext ctx{view, s, view.Geometry(), view.Horizontal(), surfaces};
        layer.DrawSpectrum(ctx);
    }

    std::vector<Segment> Drawn() {
        return surfaces.Recorder(ViewImage::Wave).SegmentsDrawn(kFftPen);
    }

    // y of a linear bin value (pattern entry) at 1 V/div with the zero at the centre.
    int Y(double re, int k) const {
        return SpectrumY(BinAmplitude(re * re, k, 0), view.Geometry(), 1000, 250);
    }

    std::unique_ptr<SampleBuffer> record = testing::NewRecord();
    std::unique_ptr<SampleBuffer> snapshot = testing::NewRecord();
    SpectrumAnalyzer analyzer;
    ViewSpectrum layer;
    MarkerLog markers;
    WaveView view;
    RecordingSurfaces surfaces;
    ViewSettings s;
};

// 4096 bins over 450 pixels: every column gets 9 or 10 bins and a bar from the largest to the
// smallest of them, and the trace moves on from column to column with one vertex each.
TEST_F(DisplaySpectrumDraw, EveryColumnShowsItsLargestAndSmallestBin) {
    std::vector<double>& p = Pattern();
    for (int k = 0; k < 4096; ++k)
        p[static_cast<std::size_t>(k)] = 0.2 + 0.1 * ((k * 7919) % 13) + (k == 1000 ? 2.0 : 0.0);
    analyzer.RaiseRequest();
    Draw();

    const double d = 450.0 / 4096;
    std::map<int, std::pair<int, int>> expectedBars;  // x -> (top y, bottom y)
    std::map<int, int> entryY;                        // x -> y of the bin entering the column
    for (int k = 0; k <= 4095; ++k) {
        const int x = 1 + static_cast<int>(std::floor(d * k));
        const int y = Y(p[static_cast<std::size_t>(k)], k);
        auto [it, fresh] = expectedBars.try_emplace(x, y, y);
        if (fresh)
            entryY[x] = y;
        it->second.first = std::min(it->second.first, y);
        it->second.second = std::max(it->second.second, y);
    }
    std::map<int, std::pair<int, int>> bars;
    std::vector<Segment> steps;
    for (const Segment& seg : Drawn()) {
        if (seg.a.x == seg.b.x)
            bars[seg.a.x] = {std::min(seg.a.y, seg.b.y), std::max(seg.a.y, seg.b.y)};
        else
            steps.push_back(seg);
    }
    EXPECT_EQ(bars, expectedBars);
    ASSERT_EQ(steps.size(), expectedBars.size() - 1);
    for (const Segment& seg : steps) {
        EXPECT_EQ(seg.a.y, entryY[seg.a.x]) << seg.a.x;
        EXPECT_EQ(seg.b.y, entryY[seg.b.x]) << seg.b.x;
    }
    // The peak at bin 1000 stands out in its column.
    const int peakX = 1 + static_cast<int>(std::floor(d * 1000));
    EXPECT_EQ(bars[peakX].first, Y(p[1000], 1000));
    EXPECT_EQ(steps.front().a.x, 1);
    EXPECT_EQ(steps.back().b.x, 1 + static_cast<int>(std::floor(d * 4095)));
}

TEST_F(DisplaySpectrumDraw, FewBinsAreJoinedByLinesAndTheDcBinIsNotHalved) {
    SetBins(10);
    std::vector<double>& p = Pattern();
    p[0] = 1.0;
    p[1] = 1.0;
    p[2] = 0.5;
    analyzer.RaiseRequest();
    Draw();
    const std::vector<Segment> drawn = Drawn();
    ASSERT_EQ(drawn.size(), 10u);  // bins 0..10, 45 pixels apart
    EXPECT_EQ(drawn[0], (Segment{{1, Y(1.0, 0)}, {46, Y(1.0, 1)}}));
    EXPECT_EQ(drawn[1], (Segment{{46, Y(1.0, 1)}, {91, Y(0.5, 2)}}));
    EXPECT_LT(drawn[0].a.y, drawn[0].b.y);  // 1 V DC above 0.707 V RMS
    EXPECT_EQ(drawn.back().b, (Point{451, Y(0.0, 10)}));
}

TEST_F(DisplaySpectrumDraw, GroundCoupledSourceIsFlatAtZeroOrTheDbvFloor) {
    std::vector<double>& p = Pattern();
    for (int k = 0; k < 4096; ++k)
        p[static_cast<std::size_t>(k)] = 1.0 + k % 5;
    layer.Display().sourceGround = true;
    for (bool dbv : {false, true}) {
        SCOPED_TRACE(dbv);
        layer.Display().dbv = dbv;
        layer.Display().fftScale = dbv ? 50000 : 1000;
        analyzer.RaiseRequest();
        Draw();
        const int y = SpectrumY(dbv ? -200.0 : 0.0, view.Geometry(), layer.Display().fftScale, 250);
        const std::vector<Segment> drawn = Drawn();
        ASSERT_FALSE(drawn.empty());
        for (const Segment& seg : drawn) {
            ASSERT_EQ(seg.a.y, y);
            ASSERT_EQ(seg.b.y, y);
        }
    }
}

TEST_F(DisplaySpectrumDraw, TransformsOncePerRequestAndNotInTheWorkerConfiguration) {
    analyzer.RaiseRequest();
    Draw();
    Draw();
    EXPECT_EQ(g_calcCalls, 1);

    // 1M points in roll mode: the worker's job, not the redraw's.
    s.memoryPoints = 1000000;
    s.rollActive = true;
    analyzer.RaiseRequest();
    Draw();
    EXPECT_EQ(g_calcCalls, 1);
    // Stopped, the redraw does it.
    s.runMode = kRunStop;
    Draw();
    EXPECT_EQ(g_calcCalls, 2);

    // Without a record nothing is computed or drawn.
    s.dataValid = false;
    analyzer.RaiseRequest();
    Draw();
    EXPECT_EQ(g_calcCalls, 2);
    EXPECT_TRUE(Drawn().empty());
}

TEST_F(DisplaySpectrumDraw, CentreMarkerOnlyWhenTheSpectrumIsInFront) {
    Draw();
    ASSERT_EQ(markers.points, std::vector<int>{225});
    // The marker's own pen does not leak into the trace.
    const std::vector<CanvasOp>& ops = surfaces.Recorder(ViewImage::Wave).Ops();
    EXPECT_TRUE(std::all_of(ops.begin(), ops.end(),
                            [](const CanvasOp& op) { return op.color == kFftPen; }));
    s.traceOrder[kTraceFft] = 3;
    Draw();
    EXPECT_EQ(markers.points.size(), 1u);
    s.displayInitialised = false;
    s.traceOrder[kTraceFft] = 1;
    Draw();
    EXPECT_EQ(markers.points.size(), 1u);
}

TEST_F(DisplaySpectrumDraw, ZeroHertzPositionAndLeftBlank) {
    SetBins(1000);
    Draw();
    EXPECT_DOUBLE_EQ(static_cast<double>(layer.SpecZeroX()), 1.0);
    view.Spectrum().SpecStart = 100;
    Draw();
    EXPECT_DOUBLE_EQ(static_cast<double>(layer.SpecZeroX()), -100.0 * 450 / 1000 + 1);

    // Scrolled left of 0 Hz: the trace starts after the blank, at most at the middle.
    view.Spectrum().SpecStart = 0;
    view.Spectrum().SpecLeftBlank = 200;
    Draw();
    EXPECT_DOUBLE_EQ(static_cast<double>(layer.SpecZeroX()), 90 + 1);
    EXPECT_EQ(Drawn().front().a.x, 91);
    view.Spectrum().SpecLeftBlank = 800;
    Draw();
    EXPECT_EQ(Drawn().front().a.x, 225);
}

TEST_F(DisplaySpectrumDraw, PositionStripShowsTheViewAndItsCentre) {
    SetBins(1000);
    view.Spectrum().SpecStart = 1000;
    layer.Display().overviewLeft = 11;
    s.displayColors[kSlotScale] = 0x0000C6;
    RedrawContext ctx{view, s, view.Geometry(), view.Horizontal(), surfaces};
    surfaces.Reset();
    layer.DrawSpectrumPositionStrip(ctx);
    const double scale = 448.0 / 4096;
    const int m = static_cast<int>(RoundHalfEven(1000 * scale)) + 11;
    const int n = static_cast<int>(RoundHalfEven(2000 * scale)) + 11;
    const int f = static_cast<int>(RoundHalfEven(1500 * scale)) + 11;
    const std::vector<Segment> brackets =
        surfaces.Recorder(ViewImage::TrigPos).SegmentsDrawn(0x0000C6);
    const std::vector<Segment> expected = {{{m + 1, 2}, {m - 1, 2}},   {{m - 1, 2}, {m - 1, 28}},
                                           {{m - 1, 28}, {m + 2, 28}}, {{n - 1, 2}, {n + 1, 2}},
                                           {{n + 1, 2}, {n + 1, 28}},  {{n + 1, 28}, {n - 2, 28}}};
    EXPECT_EQ(brackets, expected);
    const std::vector<CanvasOp>& ops = surfaces.Recorder(ViewImage::TrigPos).Ops();
    const auto polygon = std::find_if(ops.begin(), ops.end(), [](const CanvasOp& op) {
        return op.kind == CanvasOp::Kind::Polygon;
    });
    ASSERT_NE(polygon, ops.end());
    EXPECT_EQ(polygon->color, kFftPen);
    EXPECT_EQ(polygon->brush, kFftPen);
    EXPECT_EQ(polygon->points[3], (Point{f, 15}));  // tip on the middle row
    EXPECT_TRUE(std::none_of(ops.begin(), ops.end(),
                             [](const CanvasOp& op) { return op.kind == CanvasOp::Kind::Text; }));
}

}  // namespace
}  // namespace lumatrace
