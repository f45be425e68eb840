#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <random>
#include <vector>

#include "app/display/RecordingCanvas.h"
#include "app/display/TraceColumns.h"
#include "app/display/WaveView.h"
#include "app/display/tests/TraceReference.h"

namespace lumatrace {
namespace {

using testing::DrawnItem;
using testing::RecordRecipe;

constexpr Color kMarkerColor = 0x0A0B0C;

// Draws the trigger point marker as one recognisable pixel so that its place among the trace
// lines shows in the recording.
class MarkerPixel : public MarkerLayer {
  public:
    void DrawTimeCursors(const RedrawContext&) override {}
    void DrawVoltageCursors(const RedrawContext&) override {}
    void DrawTracePositionMarker(const RedrawContext&, int) override {}
    void DrawTriggerPointMarker(const RedrawContext& ctx, int x) override {
        ctx.surfaces.CanvasFor(ViewImage::Wave).Pixel(x, 2, kMarkerColor);
        ++calls;
    }
    void DrawTriggerLevelMarker(const RedrawContext&) override {}
    void DrawTriggerPositionStrip(const RedrawContext&) override {}
    int calls = 0;
};

ViewImageSizes SizesFor(int boxW, int boxH) {
    return ViewImageSizes{{boxW, boxH}, {20, boxH + 11}, {20, boxH + 11}, {boxW + 51, 32}};
}

class DisplayTrace : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearRecord(*record);
        view.SetRecord(record.get());
        view.SetMarkerLayer(&marker);
        Use(451, 361);
        s.formReady = s.displayInitialised = true;
        s.runMode = kRunAuto;
        s.recordSinceStart = true;
        s.dataValid = true;
    }
    void Use(int boxW, int boxH) {
        view.Resize(boxW, boxH);
        surfaces.Resize(SizesFor(boxW, boxH));
    }
    HorizontalView& h() { return view.Horizontal(); }
    RecordingCanvas& wave() { return surfaces.Recorder(ViewImage::Wave); }
    void Draw(int index) {
        surfaces.Reset();
        view.DrawTrace(s, index, surfaces);
    }
    int Y(int channel, int index) {
        return view.CodeToY(s, channel, DecodeCode((*record)[index], ChannelShift(channel)));
    }

    std::unique_ptr<SampleBuffer> record = std::make_unique<SampleBuffer>();
    WaveView view;
    MarkerPixel marker;
    RecordingSurfaces surfaces;
    ViewSettings s;
};

TEST_F(DisplayTrace, SampleModeHasOneVertexPerPixelColumn) {
    // 10,000 samples on 450 pixels: column x (1..450) is entered by the first index k with
    // 1 + floor(k * 450 / 10000) = x.
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    s.trigPosition = 20000;  // outside the record: no marker
    testing::FillRecord(*record, RecordRecipe{.points = 10000});
    Draw(kTraceCh1);
    const auto lines = wave().SegmentsDrawn(s.displayColors[kSlotCh1]);
    ASSERT_EQ(lines.size(), 449u);
    auto enter = [](int x) { return ((x - 1) * 10000 + 449) / 450; };
    for (int x = 1; x < 450; ++x) {
        const Segment& seg = lines[x - 1];
        EXPECT_EQ(seg.a, (Point{x, Y(0, enter(x))})) << x;
        EXPECT_EQ(seg.b, (Point{x + 1, Y(0, enter(x + 1))})) << x;
    }
    EXPECT_EQ(h().TraceLeft, 1);
    EXPECT_EQ(h().TraceRight, 450);
}

TEST_F(DisplayTrace, EnvelopeColumnsShowABarFromTheirSmallestToTheirLargestCode) {
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    s.trigPosition = 20000;
    s.waveformMode = kWaveformEnvelope;
    testing::FillRecord(*record, RecordRecipe{.points = 10000, .noise = 200});
    // Independent grouping of the samples into columns.
    std::vector<int> lo(452, 1024), hi(452, -1);
    for (int i = 0; i < 10000; ++i) {
        const int x = 1 + i * 450 / 10000;
        const int c = DecodeCode((*record)[i], 16);
        lo[x] = std::min(lo[x], c);
        hi[x] = std::max(hi[x], c);
    }
    Draw(kTraceCh2);
    const auto lines = wave().SegmentsDrawn(s.displayColors[kSlotCh2]);
    int bars = 0;
    for (const Segment& seg : lines) {
        if (seg.a.x != seg.b.x)
            continue;
        const int x = seg.a.x;
        EXPECT_EQ(seg.a.y, view.CodeToY(s, 1, hi[x])) << x;
        EXPECT_EQ(seg.b.y, view.CodeToY(s, 1, lo[x])) << x;
        ++bars;
    }
    EXPECT_EQ(bars, 450);  // every column, the last one included
    // Each line to the next column leaves from the foot of the bar before it.
    for (std::size_t k = 1; k < lines.size(); ++k) {
        if (lines[k].a.x != lines[k].b.x) {
            EXPECT_EQ(lines[k].a, lines[k - 1].b);
        }
    }
}

TEST_F(DisplayTrace, EquivalentTimeEnvelopeDrawsNoBars) {
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    s.trigPosition = 20000;
    s.waveformMode = kWaveformEnvelope;
    s.equivalentActive = true;
    testing::FillRecord(*record, RecordRecipe{.points = 10000, .noise = 200});
    Draw(kTraceCh1);
    const auto lines = wave().SegmentsDrawn();
    EXPECT_EQ(lines.size(), 449u);
    for (const Segment& seg : lines)
        EXPECT_NE(seg.a.x, seg.b.x);
}

TEST_F(DisplayTrace, GapIsBridgedByOneStraightLine) {
    // 100 samples on 450 pixels (4.5 px per sample), indices 40..59 empty.
    s.memoryPoints = 100;
    h().ScreenSamples = 100;
    s.trigPosition = 1000;
    testing::FillRecord(*record, RecordRecipe{.points = 100, .noise = 0});
    for (int i = 40; i < 60; ++i)
        (*record)[i] = NoSample;
    Draw(kTraceCh1);
    const auto lines = wave().SegmentsDrawn();
    ASSERT_EQ(lines.size(), 79u);  // 80 samples joined
    const Segment bridge{{1 + 39 * 9 / 2, Y(0, 39)}, {1 + 60 * 9 / 2, Y(0, 60)}};
    EXPECT_EQ(lines[39], bridge);
    EXPECT_EQ(bridge.a.x, 176);
    EXPECT_EQ(bridge.b.x, 271);
}

TEST_F(DisplayTrace, StoppedTraceFollowsVoltsPerDivisionAndPosition) {
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    s.trigPosition = 20000;
    s.runMode = kRunStop;
    s.voltsPerDivMv = s.acqVoltsPerDivMv = {100, 100};
    testing::FillRecord(*record, RecordRecipe{.points = 10000, .noise = 0});
    Draw(kTraceCh1);
    const auto before = wave().SegmentsDrawn();

    s.voltsPerDivMv[0] = 200;  // 100 mV -> 200 mV: half the excursion about the zero line
    Draw(kTraceCh1);
    const auto halved = wave().SegmentsDrawn();
    ASSERT_EQ(before.size(), halved.size());
    for (std::size_t k = 0; k < before.size(); ++k) {
        const double expected = 180 + (before[k].a.y - 180) / 2.0;
        EXPECT_NEAR(halved[k].a.y, expected, 1.0) << k;
        EXPECT_EQ(halved[k].a.x, before[k].a.x);
    }

    s.voltsPerDivMv[0] = 100;
    s.tracePosition[0] = 300;  // 50 units down = 45 px
    Draw(kTraceCh1);
    const auto moved = wave().SegmentsDrawn();
    for (std::size_t k = 0; k < before.size(); ++k)
        EXPECT_EQ(moved[k].a.y, before[k].a.y + 45) << k;
}

TEST_F(DisplayTrace, WithoutATraceOrInXyOnlyTheTriggerPointIsComputed) {
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    s.trigPosition = 5000;
    testing::FillRecord(*record, RecordRecipe{.points = 10000});
    for (bool xy : {false, true}) {
        s.xyOn = xy;
        marker.calls = 0;
        h().TrigPointX = -5;
        Draw(xy ? kTraceCh1 : kTraceNone);
        EXPECT_TRUE(wave().SegmentsDrawn().empty());
        EXPECT_EQ(marker.calls, 1);
        EXPECT_EQ(h().TrigPointX, 225);
        EXPECT_DOUBLE_EQ(h().TrigMarkerFraction, 0.5);
    }
}

TEST_F(DisplayTrace, TriggerMarkerIsDrawnWhereTheWalkReachesTheTriggerIndex) {
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    s.trigPosition = 5000;  // enters column 226
    testing::FillRecord(*record, RecordRecipe{.points = 10000});
    Draw(kTraceCh1);
    const auto items = testing::VisibleItems(wave(), 450);
    const auto it =
        std::find_if(items.begin(), items.end(), [](const DrawnItem& d) { return !d.isLine; });
    ASSERT_NE(it, items.end());
    EXPECT_EQ(it->segment.a, (Point{225, 2}));
    // Lines before it end at or before the trigger sample's column.
    const DrawnItem& before = *(it - 1);
    const DrawnItem& after = *(it + 1);
    EXPECT_EQ(before.segment.b.x, 225);
    EXPECT_EQ(after.segment.a.x, 225);
    EXPECT_EQ(after.segment.b.x, 226);

    for (int variant = 0; variant < 2; ++variant) {
        ViewSettings hidden = s;
        if (variant == 0) {
            hidden.fftOn = true;
            hidden.traceOrder[kTraceFft] = 1;
        } else {
            hidden.rollActive = true;
        }
        marker.calls = 0;
        surfaces.Reset();
        view.DrawTrace(hidden, kTraceCh1, surfaces);
        EXPECT_EQ(marker.calls, 0) << variant;
        EXPECT_DOUBLE_EQ(h().TrigMarkerFraction, 0.5) << variant;
    }
}

TEST_F(DisplayTrace, ViewOffsetPlacesTheTraceAndTheTriggerPoint) {
    struct Case {
        const char* name;
        int memoryPoints, screen, viewStart, trigPosition;
        double zoom, fraction;
        bool hold;
        int carriedOffset;
        int expectOffset, expectX0, expectFirst, expectEnd, expectTrigX, expectLeft, expectRight;
    };
    const Case cases[] = {
        // Whole record zoomed out to half: the trigger stays at x 225.
        {"zoomed whole record", 10000, 10000, 0, 5000, 0.5, -1.0, false, 0, 113, 113, 0, 9999, 225,
         113, 338},
        {"whole record", 10000, 10000, 0, 5000, 1.0, -1.0, false, 0, 0, 1, 0, 9999, 225, 1, 450},
        // Longer record: the trigger point goes back to where it was drawn (x 110.7 -> 111).
        {"re-anchored", 100000, 10000, 47500, 50000, 1.0, 0.246, false, 0, -1, -1, 47500, 57501,
         111, 1, 450},
        {"re-anchored right", 100000, 10000, 47500, 50000, 1.0, 0.2501, false, 0, 1, -1, 47499,
         57500, 113, 1, 450},
        {"same place", 100000, 10000, 47500, 50000, 1.0, 0.25, false, 7, 0, 1, 47500, 57500, 112, 1,
         450},
        {"held keeps the offset", 100000, 10000, 47500, 50000, 1.0, 0.246, true, -3, -3, -3, 47500,
         57501, 109, 1, 450},
        {"end of record", 100000, 10000, 89999, 95000, 1.0, 0.3, false, -3, 0, 1, 89999, 99999, 225,
         1, 450},
        {"at the start", 100000, 10000, 0, 50000, 1.0, 0.3, false, -3, 0, 1, 0, 10000, 2250, 1,
         450},
    };
    for (const Case& c : cases) {
        s.memoryPoints = c.memoryPoints;
        s.trigPosition = c.trigPosition;
        h().ScreenSamples = c.screen;
        h().ViewStart = c.viewStart;
        h().HorizontalZoom = c.zoom;
        h().TrigMarkerFraction = c.fraction;
        h().viewAnchorHold = c.hold;
        h().ViewOffset = c.carriedOffset;
        h().viewOffsetComputed = false;
        const TracePlan plan = view.BeginTrace(s);
        EXPECT_EQ(h().ViewOffset, c.expectOffset) << c.name;
        EXPECT_EQ(plan.x0, c.expectX0) << c.name;
        EXPECT_EQ(plan.first, c.expectFirst) << c.name;
        EXPECT_EQ(plan.end, c.expectEnd) << c.name;
        EXPECT_EQ(h().TrigPointX, c.expectTrigX) << c.name;
        EXPECT_EQ(h().TraceLeft, c.expectLeft) << c.name;
        EXPECT_TRUE(h().viewOffsetComputed || c.screen >= c.memoryPoints) << c.name;
        // The trace extent needs the walk.
        testing::FillRecord(*record, RecordRecipe{.points = c.memoryPoints});
        h().viewOffsetComputed = false;
        h().ViewOffset = c.carriedOffset;
        h().TrigMarkerFraction = c.fraction;
        Draw(kTraceCh1);
        EXPECT_EQ(h().TraceRight, c.expectRight) << c.name;
    }
}

TEST_F(DisplayTrace, StoppedOffsetScalesWithTheSamplesAcrossTheScreen) {
    s.memoryPoints = 100000;
    s.trigPosition = 50000;
    h().ViewStart = 30000;
    h().ScreenSamples = 10000;
    h().ViewOffset = -4;
    h().TrigMarkerFraction = -1.0;  // trigger point not on screen last time
    s.timePerDiv = 1e6;
    view.BeginTrace(s);  // running: kept
    EXPECT_EQ(h().ViewOffset, -4);

    s.runMode = kRunStop;
    s.timePerDiv = 2e6;
    h().ScreenSamples = 20000;
    h().viewOffsetComputed = false;
    view.BeginTrace(s);
    EXPECT_EQ(h().ViewOffset, -2);

    // Once per T/div: the next redraw at the same T/div keeps it.
    h().viewOffsetComputed = false;
    h().TrigMarkerFraction = -1.0;
    view.BeginTrace(s);
    EXPECT_EQ(h().ViewOffset, -2);
}

TEST_F(DisplayTrace, ViewOffsetIsComputedOncePerRedraw) {
    s.memoryPoints = 100000;
    s.trigPosition = 50000;
    h().ScreenSamples = 10000;
    h().ViewStart = 47500;
    h().TrigMarkerFraction = 0.246;
    h().viewOffsetComputed = false;
    view.BeginTrace(s);
    EXPECT_EQ(h().ViewOffset, -1);
    // The second trace of the redraw sees the fraction this one stored, but keeps the offset.
    h().TrigMarkerFraction = 0.1;
    view.BeginTrace(s);
    EXPECT_EQ(h().ViewOffset, -1);
}

// ---------------------------------------------------------------------------------------
// The column walk against the plain per-sample loop.

struct FastCase {
    const char* name;
    int boxW;
    RecordRecipe recipe;
    int memoryPoints, screen, viewStart, trigPosition;
    double zoom = 1.0;
    double phase = 0.0;
    int mode = kWaveformSample;
    bool equivalent = false;
    int presetOffset = 0;  // used when the record is longer than the screen
    bool xy = false;
    bool stale = false;
    bool roll = false;
};

void PrintTo(const FastCase& c, std::ostream* os) {
    *os << c.name;
}

class DisplayTraceFastPath : public DisplayTrace, public ::testing::WithParamInterface<FastCase> {};

TEST_P(DisplayTraceFastPath, DrawsWhatThePerSampleLoopDraws) {
    const FastCase& c = GetParam();
    Use(c.boxW, 361);
    const int w = c.boxW - 1;
    testing::FillRecord(*record, c.recipe);
    s.memoryPoints = c.memoryPoints;
    s.trigPosition = c.trigPosition;
    s.waveformMode = c.mode;
    s.equivalentActive = c.equivalent;
    s.xyOn = c.xy;
    s.rollActive = c.roll;
    if (c.stale) {
        s.runMode = kRunStop;
        s.acqVoltsPerDivMv = {50, 50};
        s.voltsPerDivMv = {100, 20};
        s.tracePosition = {270, 200, 250, 250, 100};
    }
    for (int index : {kTraceCh1, kTraceCh2, kTraceNone}) {
        h().ScreenSamples = c.screen;
        h().ViewStart = c.viewStart;
        h().HorizontalZoom = c.zoom;
        h().StartPhase = c.phase;
        h().ViewOffset = c.presetOffset;
        h().viewOffsetComputed = true;
        h().TrigMarkerFraction = -1.0;

        WaveView twin = view;
        const TracePlan plan = twin.BeginTrace(s);
        marker.calls = 0;
        Draw(index);

        RecordingCanvas reference(c.boxW, 361);
        testing::ReferenceTrace r;
        r.words = record->data();
        r.plan = plan;
        r.shift = ChannelShift(index == kTraceCh2 ? 1 : 0);
        r.envelope = c.mode == kWaveformEnvelope;
        r.equivalent = c.equivalent;
        r.draws = index != kTraceNone && !c.xy;
        r.trigPosition = c.trigPosition;
        const int channel = index == kTraceCh2 ? 1 : 0;
        r.codeToY = [&](int code) { return view.CodeToY(s, channel, code); };
        int referenceMarkers = 0;
        if (!s.RollRunning()) {
            r.marker = [&] {
                reference.Pixel(plan.trigX, 2, kMarkerColor);
                ++referenceMarkers;
            };
        }
        reference.SetPen(s.displayColors[index == kTraceCh2 ? kSlotCh2 : kSlotCh1],
                         PenStyle::Solid);
        const testing::ReferenceEnd end = testing::DrawReferenceTrace(r, reference);

        const auto fast = testing::VisibleItems(wave(), w);
        const auto slow = testing::VisibleItems(reference, w);
        EXPECT_EQ(fast.size(), slow.size()) << c.name << " index " << index;
        const std::size_t n = std::min(fast.size(), slow.size());
        for (std::size_t k = 0; k < n; ++k) {
            if (!(fast[k] == slow[k])) {
                ADD_FAILURE() << c.name << " index " << index << ": item " << k << " differs: ("
                              << fast[k].segment.a.x << "," << fast[k].segment.a.y << ")-("
                              << fast[k].segment.b.x << "," << fast[k].segment.b.y << ") vs ("
                              << slow[k].segment.a.x << "," << slow[k].segment.a.y << ")-("
                              << slow[k].segment.b.x << "," << slow[k].segment.b.y << ")";
                break;
            }
        }
        EXPECT_EQ(marker.calls, referenceMarkers) << c.name;
        const std::int64_t right = end.x + (end.acc + kPixelOne - 1) / kPixelOne;
        const int expectRight = c.zoom != 1.0 && right < w ? static_cast<int>(right) : w;
        EXPECT_EQ(h().TraceRight, expectRight) << c.name << " index " << index;
        EXPECT_EQ(h().TrigPointX, plan.trigX);
    }
}

const FastCase kFastCases[] = {
    {.name = "10k on 450 sample",
     .boxW = 451,
     .recipe = {.points = 10000},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 5000},
    {.name = "10k on 450 envelope",
     .boxW = 451,
     .recipe = {.points = 10000, .noise = 150},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 5000,
     .mode = kWaveformEnvelope},
    {.name = "10k on 1700 envelope",
     .boxW = 1701,
     .recipe = {.points = 10000, .noise = 150},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 4321,
     .mode = kWaveformEnvelope},
    {.name = "100k window sample",
     .boxW = 451,
     .recipe = {.points = 100000},
     .memoryPoints = 100000,
     .screen = 10000,
     .viewStart = 47500,
     .trigPosition = 50000},
    {.name = "100k window envelope with gaps",
     .boxW = 451,
     .recipe = {.points = 100000, .noise = 300, .gapEvery = 777, .gapLength = 300},
     .memoryPoints = 100000,
     .screen = 10000,
     .viewStart = 47500,
     .trigPosition = 50000,
     .mode = kWaveformEnvelope},
    {.name = "equivalent-time passes",
     .boxW = 451,
     .recipe = {.points = 10000, .keepEvery = 100},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 5000,
     .mode = kWaveformEnvelope,
     .equivalent = true},
    {.name = "sparse window",
     .boxW = 451,
     .recipe = {.points = 10000, .keepEvery = 7},
     .memoryPoints = 10000,
     .screen = 1000,
     .viewStart = 3000,
     .trigPosition = 3500,
     .mode = kWaveformEnvelope},
    {.name = "fewer samples than pixels",
     .boxW = 451,
     .recipe = {.points = 10000},
     .memoryPoints = 10000,
     .screen = 100,
     .viewStart = 5000,
     .trigPosition = 5050},
    {.name = "one sample per screen",
     .boxW = 451,
     .recipe = {.points = 10000},
     .memoryPoints = 10000,
     .screen = 1,
     .viewStart = 5000,
     .trigPosition = 5000},
    {.name = "zoomed out envelope",
     .boxW = 451,
     .recipe = {.points = 10000, .noise = 100},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 7000,
     .zoom = 0.37,
     .mode = kWaveformEnvelope},
    {.name = "start phase",
     .boxW = 451,
     .recipe = {.points = 100000},
     .memoryPoints = 100000,
     .screen = 10000,
     .viewStart = 20000,
     .trigPosition = 25000,
     .phase = 0.6},
    {.name = "phase through a short leading gap",
     .boxW = 451,
     .recipe = {.points = 10000, .leadingGap = 1},
     .memoryPoints = 10000,
     .screen = 1000,
     .viewStart = 0,
     .trigPosition = 1,
     .phase = 0.5},
    {.name = "negative view offset",
     .boxW = 451,
     .recipe = {.points = 100000, .noise = 80},
     .memoryPoints = 100000,
     .screen = 1000,
     .viewStart = 40000,
     .trigPosition = 40500,
     .mode = kWaveformEnvelope,
     .presetOffset = -7},
    {.name = "positive view offset",
     .boxW = 451,
     .recipe = {.points = 100000},
     .memoryPoints = 100000,
     .screen = 1000,
     .viewStart = 40000,
     .trigPosition = 40000,
     .presetOffset = 5},
    {.name = "leading and trailing gaps",
     .boxW = 451,
     .recipe = {.points = 10000, .leadingGap = 1234, .trailingGap = 2000},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 500,
     .zoom = 0.8},
    {.name = "empty record",
     .boxW = 451,
     .recipe = {.points = 0},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 5000,
     .zoom = 0.5},
    {.name = "xy",
     .boxW = 451,
     .recipe = {.points = 10000},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 5000,
     .mode = kWaveformEnvelope,
     .xy = true},
    {.name = "stale record",
     .boxW = 451,
     .recipe = {.points = 10000, .noise = 60},
     .memoryPoints = 10000,
     .screen = 10000,
     .viewStart = 0,
     .trigPosition = 5000,
     .mode = kWaveformEnvelope,
     .stale = true},
    {.name = "roll",
     .boxW = 451,
     .recipe = {.points = 100000},
     .memoryPoints = 100000,
     .screen = 100000,
     .viewStart = 0,
     .trigPosition = 5000,
     .phase = 0.3,
     .roll = true},
    {.name = "1M on 1700 envelope",
     .boxW = 1701,
     .recipe = {.points = 1000000, .noise = 500, .gapEvery = 100000, .gapLength = 5000},
     .memoryPoints = 1000000,
     .screen = 1000000,
     .viewStart = 0,
     .trigPosition = 500000,
     .mode = kWaveformEnvelope},
};

INSTANTIATE_TEST_SUITE_P(Cases, DisplayTraceFastPath, ::testing::ValuesIn(kFastCases),
                         [](const ::testing::TestParamInfo<FastCase>& info) {
                             std::string name = info.param.name;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char ch) {
                                     return !std::isalnum(static_cast<unsigned char>(ch));
                                 },
                                 '_');
                             return name;
                         });

// Every build of the Envelope columns' code range this machine runs against a plain loop over
// the words: lengths around each build's block, NoSample words, stray bits outside the codes,
// codes at both ends of their range, and ranges already holding values from earlier words.
TEST(DisplayTraceColumns, CodeRangeOfEveryBuildMatchesThePlainLoop) {
    std::mt19937 rng(5);
    std::vector<SampleWord> words(300);
    for (int k = 0; k < WidenKernelCount(); ++k) {
        const WidenKernel& kernel = WidenKernelAt(k);
        if (!kernel.supported()) {
            std::cout << "code range build " << kernel.name
                      << " not checked: this CPU cannot run it\n";
            continue;
        }
        SCOPED_TRACE(kernel.name);
        for (int trial = 0; trial < 3000; ++trial) {
            const int missingPercent = trial % 3 == 0 ? 0 : (trial % 3 == 1 ? 10 : 95);
            for (SampleWord& w : words) {
                const int pick = static_cast<int>(rng() % 100);
                if (pick < missingPercent) {
                    w = NoSample;
                    continue;
                }
                const int spread = trial % 2 == 0 ? 1024 : 3;  // narrow: only the ends
                const int c1 = static_cast<int>(rng() % spread) * (spread == 3 ? 511 : 1);
                const int c2 = static_cast<int>(rng() % spread) * (spread == 3 ? 511 : 1);
                w = MakeSampleWord(std::min(c1, 1023), std::min(c2, 1023));
                if (rng() % 8 == 0)
                    w |= 0x8400FC00u;
            }
            const std::size_t count = rng() % (words.size() + 1);
            const int from = static_cast<int>(rng() % 4);
            const std::size_t n = count > static_cast<std::size_t>(from) ? count - from : 0;
            // A range that starts empty (lo above hi) or already holds earlier words.
            const bool empty = rng() % 2 == 0;
            const int start1 = static_cast<int>(rng() % 1024);
            const int start2 = static_cast<int>(rng() % 1024);
            SampleWord lo = empty ? MakeSampleWord(1023, 1023) : MakeSampleWord(start1, start2);
            SampleWord hi = empty ? 0 : lo;
            int lo1 = static_cast<int>(lo & 0xFFFFu), lo2 = static_cast<int>(lo >> 16);
            int hi1 = static_cast<int>(hi & 0xFFFFu), hi2 = static_cast<int>(hi >> 16);
            for (std::size_t i = 0; i < n; ++i) {
                const SampleWord w = words[from + i];
                if (w == NoSample)
                    continue;
                lo1 = std::min(lo1, DecodeCode(w, 0));
                hi1 = std::max(hi1, DecodeCode(w, 0));
                lo2 = std::min(lo2, DecodeCode(w, 16));
                hi2 = std::max(hi2, DecodeCode(w, 16));
            }
            kernel.widen(words.data() + from, n, lo, hi);
            ASSERT_EQ(lo, MakeSampleWord(lo1, lo2)) << "trial " << trial << ", " << n << " words";
            ASSERT_EQ(hi, MakeSampleWord(hi1, hi2)) << "trial " << trial << ", " << n << " words";
        }
    }
}

}  // namespace
}  // namespace lumatrace
