// Gates from the view's state, with the view placed by the real waveform view.
#include <gtest/gtest.h>

#include "app/display/WaveView.h"
#include "app/measure/MeasureGate.h"

namespace lumatrace {
namespace {

// The horizontal state of a redraw: the view's own placement of the trace.
struct PlacedView {
    WaveView view;
    ViewSettings settings;

    PlacedView(int memoryPoints, int screenSamples, int viewStart, int trigPosition,
               double zoom = 1.0) {
        view.Resize(451, 361);
        settings.displayInitialised = true;
        settings.memoryPoints = memoryPoints;
        settings.trigPosition = trigPosition;
        HorizontalView& h = view.Horizontal();
        h.ScreenSamples = screenSamples;
        h.ViewStart = viewStart;
        h.HorizontalZoom = zoom;
        view.BeginTrace(settings);
    }
    const HorizontalView& H() const { return view.Horizontal(); }
    const ViewGeometry& G() const { return view.Geometry(); }
};

TEST(MeasureGate, RecordIsEveryIndex) {
    EXPECT_EQ(RecordGate(10000), (SampleRange{0, 10000}));
    EXPECT_EQ(RecordGate(0).Size(), 0);
}

TEST(MeasureGate, ScreenAndCursorsFollowTheTraceOnShow) {
    struct Case {
        const char* what;
        int memoryPoints, screenSamples, viewStart, trigPosition;
        double zoom;
        SampleRange screen;
        SampleRange cursors;  // at 150 and 350
    };
    const Case cases[] = {
        // The record fills the screen: 20 samples per cursor unit, trigger at unit 250.
        {"whole record", 10000, 10000, 0, 5000, 1.0, {0, 10000}, {3000, 7001}},
        // A stopped record shown at twice the T/div: half the width, 40 samples per unit.
        {"zoomed out", 10000, 10000, 0, 5000, 0.5, {0, 10000}, {1000, 9001}},
        // A long record scrolled away from its trigger point.
        {"scrolled", 1000000, 10000, 200000, 500000, 1.0, {200000, 210001}, {203000, 207001}},
        // Fewer samples than pixels: one sample per 5 units.
        {"1 ns/div", 10000, 100, 4950, 5000, 1.0, {4950, 5051}, {4980, 5021}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PlacedView v(c.memoryPoints, c.screenSamples, c.viewStart, c.trigPosition, c.zoom);
        EXPECT_EQ(ScreenGate(v.H(), v.G(), c.memoryPoints, c.trigPosition), c.screen);
        EXPECT_EQ(CursorGate(v.H(), v.G(), c.memoryPoints, c.trigPosition, 150, 350), c.cursors);
        // The pair's order does not matter.
        EXPECT_EQ(CursorGate(v.H(), v.G(), c.memoryPoints, c.trigPosition, 350, 150), c.cursors);
    }
}

TEST(MeasureGate, CursorsOnOnePointOrOffTheRecord) {
    const PlacedView v(10000, 100, 4950, 5000);
    // Both cursors between two samples: no sample.
    EXPECT_EQ(CursorGate(v.H(), v.G(), 10000, 5000, 251, 251).Size(), 0);
    // On a sample: that one.
    EXPECT_EQ(CursorGate(v.H(), v.G(), 10000, 5000, 250, 250), (SampleRange{5000, 5001}));
    // Past the end of a stopped record shown at half its width.
    const PlacedView zoomed(10000, 10000, 0, 5000, 0.5);
    EXPECT_EQ(CursorGate(zoomed.H(), zoomed.G(), 10000, 5000, 499, 480).Size(), 0);
    EXPECT_EQ(CursorGate(zoomed.H(), zoomed.G(), 10000, 5000, 0, 60).Size(), 0);
    // No screen samples yet.
    HorizontalView none;
    none.ScreenSamples = 0;
    EXPECT_EQ(ScreenGate(none, ViewGeometry{}, 10000, 5000).Size(), 0);
}

}  // namespace
}  // namespace lumatrace
