// The view's invariant checks themselves: each accepts a state that is right and names what is
// wrong in one that is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>

#include "app/display/ScrollMapping.h"
#include "app/display/testing/ViewInvariants.h"

namespace lumatrace {
namespace {

using testing::CheckEndReachable;
using testing::CheckScrollBar;
using testing::CheckTraceLayers;
using testing::CheckTriggerMarker;
using testing::ScrollBarState;

// The bar as the main window sets it from a geometry.
ScrollBarState BarFor(const ScrollGeometry& g, int value) {
    return {value, std::max(0, kScrollMax - g.pageSize), std::max(1, g.pageSize),
            std::max(1, g.smallChange), g.enabled};
}

TEST(ViewInvariants, TraceLayersOfTracesOnShowAreDistinct) {
    struct Case {
        const char* name;
        bool ch1, ch2, math, fft;
        std::array<int, kTraceCount> order;
        std::string expect;
    };
    const Case cases[] = {
        {"defaults", true, true, false, false, {1, 2, 0, 3, 3}, ""},
        {"MATH and FFT share a layer: only one of them is shown",
         true,
         true,
         true,
         true,
         {2, 3, 0, 1, 1},
         ""},
        {"a hidden trace may share a layer", false, true, true, false, {1, 2, 0, 1, 3}, ""},
        {"MATH behind CH1 on one layer",
         true,
         true,
         true,
         false,
         {1, 2, 0, 1, 3},
         "CH1 and MATH are both on layer 1: only CH1 is drawn"},
        {"FFT on CH2's layer",
         false,
         true,
         false,
         true,
         {3, 2, 0, 3, 2},
         "CH2 and FFT are both on layer 2: only CH2 is drawn"},
        {"a shown trace without a layer",
         true,
         false,
         false,
         false,
         {0, 2, 0, 3, 3},
         "CH1 is on show on layer 0, which is not drawn"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ViewSettings s;
        s.channelOn = {c.ch1, c.ch2};
        s.mathOn = c.math;
        s.fftOn = c.fft;
        s.traceOrder = c.order;
        EXPECT_EQ(CheckTraceLayers(s), c.expect);
    }
}

class ViewInvariantsView : public ::testing::Test {
  protected:
    void SetUp() override {
        s.formReady = s.displayInitialised = true;
        s.memoryPoints = 1000000;
        s.trigPosition = 500000;
        h().ScreenSamples = 10000;  // 22.2 samples a pixel at W = 450
    }
    HorizontalView& h() { return view.Horizontal(); }
    ScrollGeometry TimeGeometry() const {
        return TimeScrollGeometry(view.Horizontal().ScreenSamples, s.memoryPoints, 450);
    }

    WaveView view;
    ViewSettings s;
};

TEST_F(ViewInvariantsView, ScrollBarAgreesWithTheRecordView) {
    h().ViewStart = 23;
    h().StartPhase = 0.035;
    // 44 samples into the bar: 0.98 pixel ahead of the view's edge, as a scroll leaves it.
    EXPECT_EQ(CheckScrollBar(s, view, BarFor(TimeGeometry(), 44)), "");
    EXPECT_EQ(CheckScrollBar(s, view, BarFor(TimeGeometry(), 23)), "");
    // A whole page ahead: the view did not follow the bar.
    EXPECT_EQ(CheckScrollBar(s, view, BarFor(TimeGeometry(), 10023)),
              "the bar at 10023 (sample 10023) is 450.035 pixels from the view's left edge "
              "(ViewStart 23, phase 0.035)");
    // The bar has the spectrum's geometry while the record is in front.
    SpectrumWindow sp;
    sp.FftBins = 262144;
    sp.BinsPerScreen = 1000;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    EXPECT_NE(CheckScrollBar(s, view, BarFor(SpectrumScrollGeometry(sp, 450), 23)), "");
    // The view beyond the last start.
    h().ViewStart = 990000;
    EXPECT_EQ(CheckScrollBar(s, view, BarFor(TimeGeometry(), 990000)),
              "ViewStart 990000 is outside 0..989999");
    // Nothing is placed before the first layout.
    s.displayInitialised = false;
    EXPECT_EQ(CheckScrollBar(s, view, ScrollBarState{}), "");
}

TEST_F(ViewInvariantsView, ScrollBarAgreesWithTheSpectrumInFront) {
    s.fftOn = true;
    s.traceOrder = {2, 3, 0, 1, 1};
    SpectrumWindow& sp = view.Spectrum();
    sp.FftBins = 4096;
    sp.BinsPerScreen = 450;  // a pixel a bin
    sp.HalfScreenBins = 225;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    sp.SpecStart = 1000;
    const ScrollGeometry g = SpectrumScrollGeometry(sp, 450);
    const auto at = [&](int leftBin) {
        return static_cast<int>(std::trunc(sp.ScrollPerBin * (leftBin + sp.HalfScreenBins)));
    };
    // The window's own position is truncated: one bin short is still where the view is.
    EXPECT_EQ(CheckScrollBar(s, view, BarFor(g, at(1000))), "");
    EXPECT_EQ(CheckScrollBar(s, view, BarFor(g, at(1001))), "");
    // Left of 0 Hz.
    sp.SpecStart = 0;
    sp.SpecLeftBlank = 100;
    EXPECT_EQ(CheckScrollBar(s, view, BarFor(g, at(-100) + 1)), "");
    // Still at the record's place: the bar was not moved when the spectrum came to the front.
    EXPECT_NE(CheckScrollBar(s, view, BarFor(g, 0)), "");
}

TEST_F(ViewInvariantsView, EveryWayToTheEndOfTheBarReachesTheEnd) {
    h().ViewStart = 5000;
    EXPECT_EQ(CheckEndReachable(s, view, BarFor(TimeGeometry(), 5000)), "");
    // A bar still ranged for a 100,000-point record stops a page short.
    ScrollBarState stale = BarFor(TimeScrollGeometry(10000, 100000, 450), 5000);
    stale.enabled = true;
    EXPECT_EQ(CheckEndReachable(s, view, stale),
              "Ctrl+PageDown until the bar stops leaves ViewStart at 905000, 3824.95 pixels short "
              "of the last start 989999");
    // A record that fits the screen has no end to reach.
    s.memoryPoints = 10000;
    EXPECT_EQ(CheckEndReachable(s, view, BarFor(TimeGeometry(), 0)), "");

    // The spectrum in front, one bin a pixel.
    s.memoryPoints = 1000000;
    s.fftOn = true;
    s.traceOrder = {2, 3, 0, 1, 1};
    SpectrumWindow& sp = view.Spectrum();
    sp.FftBins = 4096;
    sp.BinsPerScreen = 450;
    sp.HalfScreenBins = 225;
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins, sp.BinsPerScreen);
    EXPECT_EQ(CheckEndReachable(s, view, BarFor(SpectrumScrollGeometry(sp, 450), 49495)), "");
    // A scale left from a window of half the bins: the bar ends at bin 1373.
    sp.ScrollPerBin = ScrollPerBinFor(sp.FftBins / 2 - sp.BinsPerScreen, sp.BinsPerScreen);
    EXPECT_EQ(CheckEndReachable(s, view, BarFor(SpectrumScrollGeometry(sp, 450), 109863)),
              "Ctrl+End leaves the spectrum centred on bin 1598, 2497 pixels short of the last "
              "bin 4095");
}

TEST_F(ViewInvariantsView, TriggerMarkerSitsOnTheTriggerSamplesColumn) {
    auto record = std::make_unique<SampleBuffer>();
    std::fill(record->begin(), record->end(), SampleWord{0x01000100});
    view.SetRecord(record.get());
    s.memoryPoints = 100000;
    s.trigPosition = 50000;
    h().ViewStart = 47500;
    h().TrigMarkerFraction = -1.0;
    view.BeginTrace(s);  // what a redraw computes
    EXPECT_EQ(h().TrigPointX, 112);
    EXPECT_EQ(CheckTriggerMarker(s, view), "");

    // Re-anchored to where the marker was drawn last (x 110.7): trace and marker move together.
    h().TrigMarkerFraction = 0.246;
    h().viewOffsetComputed = false;
    view.BeginTrace(s);
    EXPECT_EQ(h().ViewOffset, -1);
    EXPECT_EQ(CheckTriggerMarker(s, view), "");

    // A later sample becomes the trigger point without a redraw.
    s.trigPosition = 52000;
    EXPECT_EQ(CheckTriggerMarker(s, view),
              "TrigPointX 111 is not where the view as it stands puts the trigger point (201): "
              "the view changed without a redraw");
    // With the spectrum alone on show a redraw walks no time-domain trace: nothing to check.
    ViewSettings spectrumOnly = s;
    spectrumOnly.channelOn = {false, false};
    spectrumOnly.fftOn = true;
    EXPECT_EQ(CheckTriggerMarker(spectrumOnly, view), "");

    // A positive view offset shifts the marker right while the walk starts one sample earlier
    // at x = -ViewOffset, so the trace moves left: two pixels apart.
    s.trigPosition = 50000;
    h().TrigMarkerFraction = 0.2501;
    h().viewOffsetComputed = false;
    view.BeginTrace(s);
    ASSERT_EQ(h().ViewOffset, 1);
    EXPECT_EQ(CheckTriggerMarker(s, view),
              "the trigger marker at x 113 is 2 pixels from the column 111 the trace draws "
              "trigger sample 50000 in (ViewStart 47500, ViewOffset 1)");

    // A trigger sample the record does not hold is not drawn: nothing to sit on.
    (*record)[50000] = NoSample;
    EXPECT_EQ(CheckTriggerMarker(s, view), "");
}

}  // namespace
}  // namespace lumatrace
