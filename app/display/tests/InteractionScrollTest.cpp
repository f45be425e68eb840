#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "app/display/ViewInteraction.h"
#include "app/display/tests/InteractionFakeHost.h"

namespace lumatrace {
namespace {

using testing::InteractionFixtureState;

TEST(InteractionScroll, TimeGeometry) {
    struct Case {
        const char* name;
        int screenSamples;
        int memoryPoints;
        ScrollGeometry expect;
    };
    const Case cases[] = {
        {"1M points, 10,000 on screen: 22 samples a pixel",
         10000,
         1000000,
         {10000, 22, 5000, true}},
        {"fewer samples than pixels: one sample", 100, 10000, {10000, 100, 5000, true}},
        {"large change capped", 10000, 100000, {100000, 220, 32767, true}},
        {"large change at least the small one", 1, 1000000, {1, 1, 1, true}},
        {"record fits the screen", 10000, 10000, {1000000, 2200, 32767, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TimeScrollGeometry(c.screenSamples, c.memoryPoints, 450), c.expect);
    }
    EXPECT_EQ(ScrollPerSample(10000), 100);
    EXPECT_EQ(ScrollPerSample(100000), 10);
    EXPECT_EQ(ScrollPerSample(1000000), 1);
}

TEST(InteractionScroll, SpectrumGeometry) {
    SpectrumWindow sp;
    sp.FftBins = 4096;
    sp.BinsPerScreen = 100;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    EXPECT_EQ(SpectrumScrollGeometry(sp, 450), (ScrollGeometry{23832, 238, 11916, true}));
    sp.BinsPerScreen = 1000;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    EXPECT_EQ(SpectrumScrollGeometry(sp, 450), (ScrollGeometry{196232, 436, 32767, true}));
}

TEST(InteractionScroll, SubPixelAlignment) {
    struct Case {
        const char* name;
        long long oldStart, newStart;
        double phase, perItem;
        bool moves;
        long long start;
        double expectPhase;
    };
    const Case cases[] = {
        {"below one pixel", 0, 22, 0.0, 0.045, false, 0, 0.0},
        {"phase carries it over", 0, 22, 0.02, 0.045, true, 22, 0.01},
        {"two lines: first sample of the pixel", 0, 44, 0.0, 0.045, true, 23, 0.035},
        {"back below one pixel still moves", 100, 78, 0.0, 0.045, true, 78, 0.01},
        {"wide samples keep the fraction", 1000, 1001, 0.0, 4.5, true, 1001, 0.5},
        {"no fraction: phase 0", 1001, 1000, 0.5, 4.5, true, 1000, 0.0},
        {"negative: one minus the fraction", 1000, 999, 0.0, 4.5, true, 999, 0.5},
        {"whole pixels", 10, 12, 0.0, 1.0, true, 12, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PixelMove m = AlignToPixel(c.oldStart, c.newStart, c.phase, c.perItem);
        EXPECT_EQ(m.moves, c.moves);
        if (m.moves) {
            EXPECT_EQ(m.start, c.start);
            EXPECT_NEAR(m.phase, c.expectPhase, 1e-9);
        }
    }
}

class InteractionScrollView : public ::testing::Test {
  protected:
    void SetUp() override {
        st.settings.memoryPoints = 1000000;
        st.horizontal.ScreenSamples = 10000;
    }
    bool Scroll(int position) { return interaction.Scroll(position, st.Context(), st.host); }

    InteractionFixtureState st;
    ViewInteraction interaction;
};

TEST_F(InteractionScrollView, SubPixelScrollDoesNotMoveTheTrace) {
    EXPECT_FALSE(Scroll(22));
    EXPECT_EQ(st.horizontal.ViewStart, 0);
    EXPECT_EQ(st.host.Count("redraw"), 0);

    EXPECT_TRUE(Scroll(44));
    EXPECT_EQ(st.horizontal.ViewStart, 23);
    EXPECT_NEAR(st.horizontal.StartPhase, 0.035, 1e-9);
    EXPECT_EQ(st.host.calls, (std::vector<std::string>{"redraw", "readout CursorT"}));
    EXPECT_TRUE(st.host.anchorHeldAtRedraw);
    EXPECT_FALSE(st.horizontal.viewAnchorHold);
}

TEST_F(InteractionScrollView, LimitsOfTheTimeView) {
    // Position 0 at the start: nothing at all.
    EXPECT_FALSE(Scroll(0));
    EXPECT_TRUE(st.host.calls.empty());

    // Beyond the last start the bar is put back and the view stays.
    st.horizontal.ViewStart = 5000;
    EXPECT_FALSE(Scroll(995000));
    EXPECT_EQ(st.host.calls, (std::vector<std::string>{"scroll 989999"}));
    EXPECT_EQ(st.horizontal.ViewStart, 5000);

    // Several samples share a pixel: the start stops at the first sample of the pixel the
    // move reaches, short of the position asked for.
    EXPECT_TRUE(Scroll(989999));
    EXPECT_EQ(st.horizontal.ViewStart, 989978);
    EXPECT_NEAR(st.horizontal.StartPhase, 0.01, 1e-6);
    EXPECT_TRUE(Scroll(0));
    EXPECT_EQ(st.horizontal.ViewStart, 0);
    EXPECT_NEAR(st.horizontal.StartPhase, 0.0, 1e-6);

    // Roll mode runs a step; nothing happens before the display is initialised.
    st.view.runMode = kRunAuto;
    st.view.rollActive = true;
    st.host.Clear();
    EXPECT_TRUE(Scroll(100000));
    EXPECT_EQ(st.host.Count("roll"), 1);
    st.view.displayInitialised = false;
    EXPECT_FALSE(Scroll(200000));
    EXPECT_EQ(st.horizontal.ViewStart, 100000);
}

TEST_F(InteractionScrollView, SpectrumScrollLeftOfZeroHertz) {
    st.view.fftOn = true;
    st.view.traceOrder = {2, 3, 0, 3, 1};
    SpectrumWindow& sp = st.spectrum;
    sp.FftBins = 4096;
    sp.BinsPerScreen = 450;  // one pixel a bin
    sp.HalfScreenBins = 225;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    sp.SpecStart = 1000;

    // 125 bins into the bar puts the left edge 100 bins before 0 Hz.
    EXPECT_TRUE(Scroll(27497));
    EXPECT_EQ(sp.SpecStart, 0);
    EXPECT_EQ(sp.SpecLeftBlank, 100);
    EXPECT_EQ(st.horizontal.SpecStartPhase, 0.0);

    // Back to the right of 0 Hz.
    EXPECT_TRUE(Scroll(static_cast<int>(std::ceil(525 * sp.ScrollPerBin))));
    EXPECT_EQ(sp.SpecStart, 300);
    EXPECT_EQ(sp.SpecLeftBlank, 0);

    // Past the last bin in the centre: set back.
    st.host.Clear();
    EXPECT_FALSE(Scroll(1000000));
    EXPECT_EQ(st.host.calls, (std::vector<std::string>{"scroll 900792"}));
    EXPECT_EQ(sp.SpecStart, 300);

    // Ctrl+Insert starts the view at 0 Hz exactly.
    const ScrollGeometry g = SpectrumScrollGeometry(sp, 450);
    const KeyScroll k = interaction.KeyDown(ScrollKey::Insert, true, 0, g, st.Context(), st.host);
    EXPECT_TRUE(k.handled);
    EXPECT_EQ(k.position, 49495);
    EXPECT_EQ(sp.SpecStart, 0);
    EXPECT_EQ(sp.SpecLeftBlank, 0);
}

TEST_F(InteractionScrollView, SpectrumPhaseWithSeveralBinsAPixel) {
    st.view.fftOn = true;
    st.view.traceOrder = {2, 3, 0, 3, 1};
    SpectrumWindow& sp = st.spectrum;
    sp.FftBins = 4096;
    sp.BinsPerScreen = 900;  // half a pixel a bin
    sp.HalfScreenBins = 450;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    sp.SpecStart = 100;
    // One bin further is half a pixel: no move. Three bins: one pixel and a half, so the
    // start stops at the first bin of the next pixel.
    EXPECT_FALSE(Scroll(static_cast<int>(std::ceil(551 * sp.ScrollPerBin))));
    EXPECT_TRUE(Scroll(static_cast<int>(std::ceil(553 * sp.ScrollPerBin))));
    EXPECT_EQ(sp.SpecStart, 102);
    EXPECT_NEAR(st.horizontal.SpecStartPhase, 0.0, 1e-9);
}

TEST(InteractionScrollKeys, CtrlKeyTable) {
    const ScrollGeometry g{10000, 22, 5000, true};
    const SpectrumWindow sp;
    struct Case {
        ScrollKey key;
        int from;
        bool handled;
        ScrollCode code;
        int position;
        bool end;
    };
    const Case cases[] = {
        {ScrollKey::PageUp, 7000, true, ScrollCode::PageUp, 2000, false},
        {ScrollKey::PageUp, 3000, true, ScrollCode::PageUp, 0, false},
        {ScrollKey::PageDown, 7000, true, ScrollCode::PageDown, 12000, false},
        {ScrollKey::PageDown, 987000, true, ScrollCode::PageDown, 990000, true},
        {ScrollKey::End, 7000, true, ScrollCode::Bottom, 990000, true},
        {ScrollKey::Home, 7000, true, ScrollCode::Top, 0, false},
        {ScrollKey::Left, 7000, true, ScrollCode::LineUp, 6978, false},
        {ScrollKey::Right, 7000, true, ScrollCode::LineDown, 7022, false},
        {ScrollKey::Right, 989990, true, ScrollCode::LineDown, 990000, true},
        {ScrollKey::Left, 990000, true, ScrollCode::LineUp, 989978, false},
        {ScrollKey::Insert, 7000, false, ScrollCode::Position, 0, false},  // time view
        {ScrollKey::Other, 7000, false, ScrollCode::Position, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.key) * 10000000 + c.from);
        const KeyScroll k = ScrollForKey(c.key, true, true, false, c.from, g, sp);
        EXPECT_EQ(k.handled, c.handled);
        if (!c.handled)
            continue;
        EXPECT_EQ(k.code, c.code);
        EXPECT_EQ(k.position, c.position);
        EXPECT_EQ(k.endOfScroll, c.end);
    }
    EXPECT_FALSE(ScrollForKey(ScrollKey::Right, false, true, false, 7000, g, sp).handled);
    EXPECT_FALSE(ScrollForKey(ScrollKey::Right, true, false, false, 7000, g, sp).handled);
}

TEST_F(InteractionScrollView, KeyMovesTheBarAndTheView) {
    const ScrollGeometry g = TimeScrollGeometry(10000, 1000000, 450);
    const KeyScroll k = interaction.KeyDown(ScrollKey::PageDown, true, 0, g, st.Context(), st.host);
    EXPECT_TRUE(k.handled);
    EXPECT_EQ(st.host.scrollPosition, 5000);
    EXPECT_EQ(st.horizontal.ViewStart, 5000);
}

// The keys that end at the bar's end: the handler puts the bar back to the last start it
// can show, and the end-of-scroll notice that follows moves the view there, to within the
// pixel it stops at (22.2 samples a pixel here).
TEST_F(InteractionScrollView, KeysThatEndAtTheBarsEndReachTheEndOfTheRecord) {
    const ScrollGeometry g = TimeScrollGeometry(10000, 1000000, 450);
    const int top = kScrollMax - g.pageSize;
    const int lastStart = 989999;
    struct Case {
        const char* name;
        ScrollKey key;
        int from;
    };
    const Case cases[] = {
        {"Ctrl+End", ScrollKey::End, 0},
        {"the last Ctrl+PageDown", ScrollKey::PageDown, top - 1000},
        {"the last Ctrl+Right", ScrollKey::Right, top - 10},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        st.horizontal.ViewStart = std::max(0, c.from - 40);  // two pixels short: it moves
        st.horizontal.StartPhase = 0.0;
        const KeyScroll k = interaction.KeyDown(c.key, true, c.from, g, st.Context(), st.host);
        EXPECT_TRUE(k.endOfScroll);
        EXPECT_EQ(st.host.scrollPosition, lastStart);
        EXPECT_LE(st.horizontal.ViewStart, lastStart);
        EXPECT_LT((lastStart - st.horizontal.ViewStart) * 450.0 / 10000, 1.0)
            << "ViewStart " << st.horizontal.ViewStart;
    }
}

TEST_F(InteractionScrollView, CtrlEndCentresTheLastBinOfTheSpectrum) {
    st.view.fftOn = true;
    st.view.traceOrder = {2, 3, 0, 3, 1};
    SpectrumWindow& sp = st.spectrum;
    sp.FftBins = 4096;
    sp.BinsPerScreen = 450;
    sp.HalfScreenBins = 225;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    const ScrollGeometry g = SpectrumScrollGeometry(sp, 450);
    interaction.KeyDown(ScrollKey::End, true, 0, g, st.Context(), st.host);
    EXPECT_EQ(sp.SpecCentreBin(), sp.FftBins - 1);
    EXPECT_EQ(sp.SpecLeftBlank, 0);
}

}  // namespace
}  // namespace lumatrace
