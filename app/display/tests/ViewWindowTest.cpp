#include <gtest/gtest.h>

#include "app/display/WaveView.h"

namespace lumatrace {
namespace {

class DisplayViewWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        s.formReady = s.displayInitialised = true;
        s.memoryPoints = 100000;  // 10 scroll units per sample
        s.trigPosition = 50000;
        s.timePerDiv = s.prevTimePerDiv = 1e6;
        h().ScreenSamples = 10000;
        h().ViewStart = 30000;
        h().scrollPosition = 123456;
    }
    HorizontalView& h() { return view.Horizontal(); }

    WaveView view;
    ViewSettings s;
};

TEST_F(DisplayViewWindow, ChoosesTheStartBySituation) {
    struct Case {
        const char* name;
        bool suspended;
        double fraction;
        bool hold;
        double prevTimePerDiv;
        int viewStart;
        int trigPosition;
        int expectStart;
    };
    const Case cases[] = {
        {"file loading centres the trigger", true, 0.25, false, 1e6, 30000, 50000, 45000},
        {"trigger stays at its fraction", false, 0.25, false, 1e6, 30000, 50000, 47500},
        {"fraction truncated", false, 0.33333, false, 1e6, 30000, 50000, 46666},
        {"held: T/div change takes the scroll bar", false, 0.25, true, 2e6, 30000, 50000, 12345},
        {"no marker: T/div change takes the scroll bar", false, -1.0, false, 2e6, 30000, 50000,
         12345},
        {"no marker: start kept", false, -1.0, false, 1e6, 30000, 50000, 30000},
        {"held: start kept", false, 0.25, true, 1e6, 30000, 50000, 30000},
        {"start at the end: scroll bar", false, -1.0, false, 1e6, 90000, 50000, 12345},
        {"below 0 gives 0", true, -1.0, false, 1e6, 30000, 1000, 0},
        {"past the end is pulled back", false, 0.1, false, 1e6, 30000, 99990, 89999},
    };
    for (const Case& c : cases) {
        SetUp();
        s.displaySuspended = c.suspended;
        s.prevTimePerDiv = c.prevTimePerDiv;
        s.trigPosition = c.trigPosition;
        h().TrigMarkerFraction = c.fraction;
        h().viewAnchorHold = c.hold;
        h().ViewStart = c.viewStart;
        view.RecomputeViewWindow(s);
        EXPECT_EQ(h().ViewStart, c.expectStart) << c.name;
        EXPECT_EQ(h().scrollPosition, c.expectStart * 10) << c.name;
        EXPECT_TRUE(h().scrollEnabled) << c.name;
    }
}

TEST_F(DisplayViewWindow, RecordOnOneScreenStartsAtZeroWithTheBarDisabled) {
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    h().TrigMarkerFraction = 0.5;
    view.RecomputeViewWindow(s);
    EXPECT_EQ(h().ViewStart, 0);
    EXPECT_EQ(h().scrollPosition, 0);
    EXPECT_FALSE(h().scrollEnabled);
}

TEST_F(DisplayViewWindow, NothingHappensBeforeTheFirstLayout) {
    s.displayInitialised = false;
    h().TrigMarkerFraction = 0.25;
    view.RecomputeViewWindow(s);
    EXPECT_EQ(h().ViewStart, 30000);
    EXPECT_EQ(h().scrollPosition, 123456);
    EXPECT_FALSE(h().scrollEnabled);
}

TEST_F(DisplayViewWindow, FirstLayoutCentresTheTriggerPoint) {
    struct Case {
        const char* name;
        int memoryPoints, screen, trigPosition;
        int expectStart;
        bool expectEnabled;
        int expectTrigX;
    };
    const Case cases[] = {
        {"trigger at 50%", 100000, 10000, 50000, 45000, true, 225},
        {"trigger near the start", 100000, 10000, 1000, 0, true, 45},
        {"trigger near the end", 100000, 10000, 99900, 89999, true, 446},
        {"record on one screen", 10000, 10000, 5000, 0, false, 225},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        s.memoryPoints = c.memoryPoints;
        s.trigPosition = c.trigPosition;
        h().ScreenSamples = c.screen;
        h().TrigMarkerFraction = 0.1;  // nothing from before the layout counts
        view.CentreOnTrigger(s);
        EXPECT_EQ(h().ViewStart, c.expectStart);
        EXPECT_EQ(h().scrollPosition, c.expectStart * (1000000 / c.memoryPoints));
        EXPECT_EQ(h().scrollEnabled, c.expectEnabled);
        EXPECT_EQ(h().TrigPointX, c.expectTrigX);
    }
    SetUp();
    s.displayInitialised = false;
    view.CentreOnTrigger(s);
    EXPECT_EQ(h().ViewStart, 30000);

    // The spectrum in front (saved so): its bar scrolls even over a record on one screen, as
    // the view window's recomputation has it.
    SetUp();
    s.fftOn = true;
    s.traceOrder[kTraceFft] = 1;
    s.memoryPoints = 10000;
    h().ScreenSamples = 10000;
    view.CentreOnTrigger(s);
    EXPECT_TRUE(h().scrollEnabled);
    view.RecomputeViewWindow(s);
    EXPECT_TRUE(h().scrollEnabled);
}

TEST_F(DisplayViewWindow, SpectrumWindowIsPlacedAroundItsCentreBin) {
    s.fftOn = true;
    SpectrumWindow& sp = view.Spectrum();
    struct Case {
        int start, leftBlank;
        bool hold, suspended;
        int expectStart, expectLeftBlank;
        double expectPhase;
    };
    const Case cases[] = {
        {1000, 0, false, false, 1000, 0, 0.0},    // a = 1000: 450 / 400 * 1000 = 1125 px
        {1001, 0, false, false, 1001, 0, 0.125},  // 1126.125 px
        {0, 50, false, false, 0, 50, -0.25},      // a = -50: blank kept, fraction of -56.25
        {0, 50, true, false, 0, 50, -0.25},
        {3990, 0, false, false, 3895, 0, 0.875},  // centre limited to 4095, start pulled back
        {1000, 0, false, true, 0, 0, 0.0},        // file loading: from 0 Hz
    };
    for (const Case& c : cases) {
        sp.FftBins = 4096;
        sp.BinsPerScreen = 400;
        sp.HalfScreenBins = 200;
        sp.SpecStart = c.start;
        sp.SpecLeftBlank = c.leftBlank;
        h().viewAnchorHold = c.hold;
        s.displaySuspended = c.suspended;
        view.RecomputeViewWindow(s);
        EXPECT_EQ(sp.SpecStart, c.expectStart) << c.start;
        EXPECT_EQ(sp.SpecLeftBlank, c.expectLeftBlank) << c.start;
        EXPECT_DOUBLE_EQ(h().SpecStartPhase, c.expectPhase) << c.start;
    }
}

TEST_F(DisplayViewWindow, ScrollBarFollowsTheSpectrumWhenItIsInFront) {
    s.fftOn = true;
    s.traceOrder[kTraceFft] = 1;
    s.traceOrder[kTraceCh1] = 2;
    SpectrumWindow& sp = view.Spectrum();
    sp.FftBins = 4096;
    sp.BinsPerScreen = 400;
    sp.HalfScreenBins = 200;
    sp.ScrollPerBin = 1000000.0 / 4096;
    sp.SpecStart = 1000;
    view.RecomputeViewWindow(s);
    EXPECT_EQ(h().scrollPosition, 292968);  // bin 1200
    EXPECT_TRUE(h().scrollEnabled);

    sp.SpecStart = 0;
    sp.SpecLeftBlank = 50;
    h().viewAnchorHold = true;  // keeps the blank
    view.RecomputeViewWindow(s);
    EXPECT_EQ(h().scrollPosition, 36621);  // bin 150
}

}  // namespace
}  // namespace lumatrace
