#include <gtest/gtest.h>

#include <cmath>

#include "app/core/FramePacer.h"
#include "app/core/PanelValues.h"
#include "app/core/TimeBase.h"
#include "app/core/WindowRules.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {
namespace {

// ---------------------------------------------------------------------------
// Frames for records

TEST(FramePacer, FrameOfTheDisplaysRefreshRate) {
    EXPECT_DOUBLE_EQ(FramePacer::FrameMsFor(60.0), 1000.0 / 60.0);
    EXPECT_DOUBLE_EQ(FramePacer::FrameMsFor(144.0), 1000.0 / 144.0);
    EXPECT_DOUBLE_EQ(FramePacer::FrameMsFor(0.0), 1000.0 / 60.0);  // the display does not say
    EXPECT_DOUBLE_EQ(FramePacer::FrameMsFor(-1.0), 1000.0 / 60.0);
}

// A run of record arrivals and pictures drawn at 60 Hz: what each arrival is told.
TEST(FramePacer, RecordsWithinAFrameShareThePictureAtItsEnd) {
    using Kind = FramePacer::Decision::Kind;
    struct Step {
        std::uint64_t atMs;
        bool drawn;  // a picture drawn at atMs (the frame timer, or a redraw for anything else)
        Kind kind;   // else: what a record arriving at atMs is told
        int delayMs;
    };
    const Step steps[] = {
        {0, false, Kind::DrawNow, 0},  // the first record ever
        {0, true, {}, 0},
        {5, false, Kind::DrawLater, 12},  // 11.7 ms of the frame left, rounded up
        {9, false, Kind::AlreadyDue, 0},
        {16, false, Kind::AlreadyDue, 0},
        {17, true, {}, 0},              // the frame timer: one picture for three records
        {40, false, Kind::DrawNow, 0},  // after a quiet frame: at once
        {40, true, {}, 0},
        {50, true, {}, 0},  // a redraw for a setting starts a frame too
        {51, false, Kind::DrawLater, 16},
        {60, true, {}, 0},  // drawn early for something else: nothing is due now
        {77, false, Kind::DrawNow, 0},
    };
    FramePacer pacer;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.atMs);
        if (step.drawn) {
            pacer.Drawn(step.atMs);
            EXPECT_FALSE(pacer.Due());
            continue;
        }
        const FramePacer::Decision d = pacer.Request(step.atMs);
        EXPECT_EQ(d.kind, step.kind);
        EXPECT_EQ(d.delayMs, step.delayMs);
        EXPECT_EQ(pacer.Due(), step.kind != Kind::DrawNow);
        if (d.kind == Kind::DrawNow) {
            pacer.Drawn(step.atMs);
        }
    }
}

// ---------------------------------------------------------------------------
// Window sizes

TEST(SizeLimits, MaximumKeepsWholeDivisions) {
    // 1280 wide with 416 around the wave area: 850 + 12 across.
    const SizeLimits l = ComputeSizeLimits({1280, 1024}, 416, 200, false, 0);
    EXPECT_EQ(l.maximum.width - 416, 862);
    EXPECT_EQ(l.maximum.height - 200, 692);  // 85 x 8 + 12
    EXPECT_EQ(l.minimum, (Size{416 + 462, 200 + 372}));
}

TEST(SizeLimits, HeightBoundByALowWorkArea) {
    // 1920 x 900: the width would allow 1462, the height only 652 = 16 x 40 + 12.
    const SizeLimits l = ComputeSizeLimits({1920, 900}, 408, 210, false, 0);
    EXPECT_EQ(l.maximum.height - 210, 652);
    EXPECT_EQ(l.maximum.width - 408, 812);  // 80 x 10 + 12
}

TEST(SizeLimits, MaximisedOverhangCounts) {
    // 1282 wide: 912 + 416 = 1328 needs an allowance of 46 pixels, twice the
    // overhang of a maximised window at x = -23.
    struct Case {
        bool maximised;
        int left;
        int waveWidth;
    };
    for (const Case c :
         {Case{false, 0, 862}, Case{false, -23, 862}, Case{true, -22, 862}, Case{true, -23, 912}}) {
        const SizeLimits l = ComputeSizeLimits({1282, 2000}, 416, 200, c.maximised, c.left);
        EXPECT_EQ(l.maximum.width - 416, c.waveWidth) << c.maximised << c.left;
    }
}

TEST(SnapWaveArea, FollowsTheLargerChange) {
    // Width led: 900 - 48 = 852 -> 862; height from the width.
    EXPECT_EQ(SnapWaveArea(30, 5, {900, 500}), (Size{862, 692}));
    // Height led: 500 - 63 = 437 -> 452; width from the height.
    EXPECT_EQ(SnapWaveArea(5, 30, {900, 500}), (Size{562, 452}));
    // Already whole: unchanged.
    EXPECT_EQ(SnapWaveArea(0, 0, {510, 500}), (Size{462, 372}));
}

TEST(SplitWaveRemainder, LargerHalfAbove) {
    struct Case {
        int height, box, above, below;
    };
    for (const Case c : {Case{361, 361, 0, 0}, Case{368, 361, 4, 3}, Case{362, 361, 1, 0},
                         Case{400, 361, 20, 19}}) {
        const StripSplit s = SplitWaveRemainder(c.height);
        EXPECT_EQ(s.boxHeight, c.box) << c.height;
        EXPECT_EQ(s.extraAbove, c.above) << c.height;
        EXPECT_EQ(s.extraBelow, c.below) << c.height;
    }
}

// ---------------------------------------------------------------------------
// Command line

TEST(WaveFileName, Extraction) {
    struct Case {
        const char* commandLine;
        const char* file;
    };
    const Case cases[] = {
        {R"("C:\Program Files\Lumatrace\Lumatrace.exe" "D:\data\Wave 1.zep")",
         R"(D:\data\Wave 1.zep)"},
        {R"("C:\x\LUMATRACE.EXE" D:\data\w.ZEP extra)", R"(D:\data\w.ZEP)"},
        {"/home/u/scope/Wave 1.zep", "/home/u/scope/Wave 1.zep"},
        {"  \"/home/u/a.zep\"  ", "/home/u/a.zep"},
        {"/home/u/notes.txt", "/home/u/notes.txt"},
        {"\"\"", ""},
        {"", ""},
        {R"("C:\x\Lumatrace.exe"    "  a.zep  "  )", "a.zep"},  // blanks inside the quotes
        {R"("C:\x\Lumatrace.exe" )", ""},                       // the program alone
        {"/home/user/波形.zep", "/home/user/波形.zep"},
        {"/data/a.zep.zep", "/data/a.zep"},  // cut behind the first ".zep"
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExtractWaveFileName(c.commandLine), c.file) << c.commandLine;
    }
    EXPECT_EQ(WaveFileFromArguments({}), "");
    EXPECT_EQ(WaveFileFromArguments({"/d/Wave 1.zep", "/d/other.zep"}), "/d/Wave 1.zep");
}

// ---------------------------------------------------------------------------
// Delay and pulse values

TEST(PanelValues, TypedTimes) {
    struct Case {
        const char* text;
        const char* unit;
        std::optional<long double> ns;
    };
    const Case cases[] = {
        {"5ms", "us", 5e6L}, {"5 M", "ns", 5e6L}, {"0.1ms", "s", 1e5L}, {"250", "us", 250e3L},
        {"2S", "ns", 2e9L},  {"", "us", 0.0L},    {"abc", "us", {}},    {"-5", "us", {}},
        {"5x", "us", {}},    {"1.2.3", "ns", {}}, {"ms", "ns", {}},     {"7us", "ns", 7e3L},
        {"7 ns", "s", 7.0L}, {"7ss", "ns", {}},   {"7msx", "ns", {}},
    };
    for (const Case& c : cases) {
        const auto v = ParseTimeNs(c.text, c.unit);
        ASSERT_EQ(v.has_value(), c.ns.has_value()) << c.text;
        if (v) {
            EXPECT_NEAR(static_cast<double>(*v), static_cast<double>(*c.ns), 1e-6) << c.text;
        }
    }
}

TEST(PanelValues, DelayConversionAndLimits) {
    EXPECT_EQ(DelayFromTime(*ParseTimeNs("5ms", "ns"), 20), 250000);
    EXPECT_EQ(DelayFromTime(*ParseTimeNs("0.1ms", "ns"), 1000000), 1);  // ceiling
    EXPECT_EQ(DelayFromTime(21, 20), 2);
    EXPECT_EQ(DelayFromTime(1e12L, 10), kMaxTrigDelay);
    // 100 s of 100 ms intervals is 1,000.
    EXPECT_EQ(DelayFromTime(500e9L, 100000000), 1000);
    EXPECT_EQ(ClampDelay(5000, 100000000), 1000);
    EXPECT_EQ(ClampDelay(-3, 10), 0);
    EXPECT_EQ(StepMultiplier(false, false), 1);
    EXPECT_EQ(StepMultiplier(false, true), 10);
    EXPECT_EQ(StepMultiplier(true, false), 100);
    EXPECT_EQ(StepMultiplier(true, true), 1000);
}

TEST(PanelValues, DelayEditUnitFollowsTheTime) {
    const struct {
        long double ns;
        std::string_view unit;
        const char* text;
    } cases[] = {
        {0, "ns", "0"},
        {999, "ns", "999"},
        {1000, "us", "1.000"},
        {250000 * 20.0L, "ms", "5.000000"},  // 5 ms typed with a 20 ns interval
        {1234567, "ms", "1.234567"},
        {100e9L, "s", "100.000000000"},
        {999999999, "ms", "999.999999"},
    };
    for (const auto& c : cases) {
        const EditTime t = FormatEditTime(c.ns);
        EXPECT_EQ(t.unit, c.unit) << static_cast<double>(c.ns);
        EXPECT_EQ(t.text, c.text) << static_cast<double>(c.ns);
    }
}

TEST(PanelValues, PulseConversionAndLimits) {
    EXPECT_EQ(PulseFromTime(15, 1), 20);
    EXPECT_EQ(PulseFromTime(3, 1), 10);
    EXPECT_EQ(PulseFromTime(655345, 2), 655340);
    EXPECT_EQ(PulseFromTime(655345, 1), 655350);
    EXPECT_EQ(PulseFromTime(1e9L, 1), 655350);
    EXPECT_EQ(PulseFromTime(0, 2), 0);
    EXPECT_EQ(PulseFromTime(0, 1), 10);
    EXPECT_EQ(EmptyPulse(1), 10);
    EXPECT_EQ(EmptyPulse(2), 0);
    EXPECT_EQ(ClampPulse(655350 + 10 * 1000, 2), 655340);
}

TEST(PanelValues, TriggerLevelKeepsItsVoltage) {
    InstrumentSettings s;
    s.voltsPerDivMv = {50, 20};
    s.probeFactor = {10, 1};
    s.tracePosition[kTraceCh1] = 250;
    s.tracePosition[kTraceCh2] = 300;
    s.trigLevelOffset = 100;  // level 150 on CH1
    // CH1 from 500 mV/div to 1 V/div: the level moves half as far from the trace.
    const long double before = TriggerSourceScale(s, 0);
    s.voltsPerDivMv[0] = 100;
    TrackTriggerLevel(s, before, TriggerSourceScale(s, 0), 0);
    EXPECT_EQ(s.trigLevel, 200);
    // Source CH1 (1 V/div) to EXT (500 mV/div): the offset doubles, from 250.
    TrackTriggerLevel(s, TriggerSourceScale(s, 0), TriggerSourceScale(s, 2), 2);
    EXPECT_EQ(s.trigLevel, 150);
    // Far beyond the screen: held at 1.
    TrackTriggerLevel(s, 1000, 1, 1);
    EXPECT_EQ(s.trigLevel, 1);
}

// ---------------------------------------------------------------------------
// Time base

struct TimeBaseRun {
    TimeBaseChange change;
    ZoomState zoom;
    HorizontalScale view;
    int index = 16;

    TimeBaseRun(int memoryPoints, int startIndex) : index(startIndex) {
        change.memoryPoints = memoryPoints;
        change.prevIndex = change.newIndex = startIndex;
        change.timePerDiv = change.prevTimePerDiv = TimePerDivNs(startIndex);
        view.ScreenSamples = RealTimeScreenSamples(change.timePerDiv, memoryPoints);
        zoom.Reset(view.ScreenSamples);
    }
    // The time/div handler moving to `to`.
    TimeBaseResult MoveTo(int to) {
        change.prevIndex = index;
        change.prevTimePerDiv = TimePerDivNs(index);
        change.newIndex = to;
        change.timePerDiv = TimePerDivNs(to);
        index = to;
        return RecomputeTimeBase(change, zoom, view, &TimePerDivNs);
    }
};

TEST(TimeBase, ScreenSamplesForTheTimeBase) {
    EXPECT_EQ(RealTimeScreenSamples(200000, 10000), 10000);
    EXPECT_EQ(RealTimeScreenSamples(1000, 10000), 1000);
    EXPECT_EQ(EquivalentScreenSamples(1), 100);
    EXPECT_EQ(RoundHalfEvenL(2.5L), 2.0L);
    EXPECT_EQ(RoundHalfEvenL(3.5L), 4.0L);
    TimeBaseChange c;
    c.firstLayoutDone = false;
    c.timePerDiv = 5000;
    c.equivalentActive = true;
    ZoomState z;
    HorizontalScale v;
    const TimeBaseResult r = RecomputeTimeBase(c, z, v, &TimePerDivNs);
    EXPECT_EQ(r.realTimeSamples, 5000);
    EXPECT_EQ(r.equivalentSamples, 500000);
    EXPECT_EQ(v.ScreenSamples, 5000);
    EXPECT_EQ(z.zoomSamples, 5000);
}

TEST(TimeBase, StoppedRecordZoomsOutAndBack) {
    TimeBaseRun run(10000, 16);  // 200 us/div: the whole record on screen
    run.MoveTo(17);              // 500 us/div
    EXPECT_EQ(run.view.ScreenSamples, 10000);
    EXPECT_NEAR(run.view.HorizontalZoom, 0.4, 1e-12);
    run.MoveTo(19);  // two steps: 1 ms, 2 ms
    EXPECT_NEAR(run.view.HorizontalZoom, 0.1, 1e-12);
    run.MoveTo(16);
    EXPECT_EQ(run.view.HorizontalZoom, 1.0);
    EXPECT_EQ(run.view.ScreenSamples, 10000);
    EXPECT_EQ(run.zoom.zoomSamples, 10000);
}

TEST(TimeBase, ZoomOutBelowTheLimitIsRefusedAndTakenBack) {
    TimeBaseRun run(10000, 16);
    run.MoveTo(22);  // 20 ms/div: 0.01
    EXPECT_NEAR(run.view.HorizontalZoom, 0.01, 1e-12);
    run.MoveTo(24);  // 50 ms (0.004), 100 ms (0.002: refused)
    EXPECT_NEAR(run.view.HorizontalZoom, 0.004, 1e-12);
    EXPECT_EQ(run.zoom.zoomOutRefusals, 1);
    run.MoveTo(23);  // the refused step is taken back first
    EXPECT_EQ(run.zoom.zoomOutRefusals, 0);
    EXPECT_NEAR(run.view.HorizontalZoom, 0.004, 1e-12);
    run.MoveTo(22);
    EXPECT_NEAR(run.view.HorizontalZoom, 0.01, 1e-12);
}

TEST(TimeBase, ZoomInStopsAtOneSample) {
    TimeBaseRun run(10000, 9);  // 1 us/div: 1,000 samples
    run.MoveTo(3);              // 10 ns/div
    EXPECT_EQ(run.view.ScreenSamples, 10);
    run.MoveTo(1);  // 5 ns, 2 ns
    EXPECT_EQ(run.view.ScreenSamples, 2);
    run.MoveTo(0);  // 1 ns: one sample
    EXPECT_EQ(run.view.ScreenSamples, 1);
    EXPECT_EQ(run.zoom.zoomSamples, 1);
    EXPECT_EQ(run.zoom.zoomInRefusals, 0);
    run.MoveTo(1);
    EXPECT_EQ(run.view.ScreenSamples, 2);
    run.MoveTo(3);
    EXPECT_EQ(run.view.ScreenSamples, 10);
}

TEST(TimeBase, SameIndexTakesNoStep) {
    TimeBaseRun run(10000, 9);
    run.view.ScreenSamples = 777;
    run.MoveTo(9);
    EXPECT_EQ(run.view.ScreenSamples, 777);
}

TEST(TimeBase, MemorySizeChangeClampsToTheNewRecord) {
    TimeBaseRun run(100000, 18);  // 1 ms/div on 100k: the whole record
    run.change.memorySizeChange = true;
    run.change.memoryPoints = 10000;
    run.MoveTo(18);
    EXPECT_EQ(run.view.ScreenSamples, 10000);
    EXPECT_EQ(run.zoom.zoomSamples, 10000);
}

}  // namespace
}  // namespace lumatrace
