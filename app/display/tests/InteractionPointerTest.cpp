#include <gtest/gtest.h>

#include "app/display/TraceStacking.h"
#include "app/display/ViewInteraction.h"
#include "app/display/tests/InteractionFakeHost.h"

namespace lumatrace {
namespace {

using testing::InteractionFixtureState;

// Geometry W = 450, H = 360, DivHeight 45, Ky = Kx = 0.9; strip y = MarkerY - 40.
class InteractionPointer : public ::testing::Test {
  protected:
    void SetUp() override {
        st.settings.tracePosition = {250, 300, 250, 350, 100};
        st.settings.trigLevel = 200;
        st.view.traceOrder = {1, 2, 0, 3, 3};
        st.UpdateMarkers();
    }
    int StripY(int trace) const { return st.markers.MarkerY[trace] - st.markers.StripOffset; }
    void Move(PointerSurface s, int x, int y) {
        interaction.MouseMove(s, x, y, st.Context(), st.host);
    }
    void Press(PointerSurface s, int x, int y, PointerButton b = PointerButton::Left) {
        interaction.MouseDown(s, b, x, y, st.Context(), st.host);
    }

    InteractionFixtureState st;
    ViewInteraction interaction;
};

TEST_F(InteractionPointer, TraceMarkerHitZone) {
    const int y = StripY(kTraceCh1);  // 185
    struct Case {
        int x, y;
        bool hit;
    };
    const Case cases[] = {{3, y, true},      {18, y, true},     {2, y, false},     {19, y, false},
                          {10, y + 5, true}, {10, y - 5, true}, {10, y + 6, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x * 1000 + c.y);
        Move(PointerSurface::Volt, c.x, c.y);
        EXPECT_EQ(interaction.HoveredTrace(), c.hit ? kTraceCh1 : -1);
        EXPECT_EQ(st.host.lastShape, c.hit ? PointerShape::VMove : PointerShape::Default);
        EXPECT_EQ(st.host.lastHint, c.hit ? HintSource::Surface : HintSource::None);
        EXPECT_EQ(interaction.TraceHighlighted(kTraceCh1), c.hit);
    }
}

TEST_F(InteractionPointer, FrontMarkerWinsAndMathNeedsItsUpDown) {
    st.settings.tracePosition = {250, 252, 250, 251, 100};
    st.view.mathOn = true;
    st.view.traceOrder = {2, 1, 0, 3, 3};
    st.UpdateMarkers();
    Move(PointerSurface::Volt, 10, StripY(kTraceCh1));
    EXPECT_EQ(interaction.HoveredTrace(), kTraceCh2);

    st.view.traceOrder = {2, 3, 0, 1, 3};
    Move(PointerSurface::Volt, 10, StripY(kTraceCh1));
    EXPECT_EQ(interaction.HoveredTrace(), kTraceCh1);  // MATH's up-down is disabled
    st.inputs.mathUpDownEnabled = true;
    Move(PointerSurface::Volt, 10, StripY(kTraceCh1));
    EXPECT_EQ(interaction.HoveredTrace(), kTraceMath);

    st.view.channelOn = {false, true};
    st.inputs.mathUpDownEnabled = false;
    Move(PointerSurface::Volt, 10, StripY(kTraceCh1));
    EXPECT_EQ(interaction.HoveredTrace(), kTraceCh2);
}

TEST_F(InteractionPointer, DraggingATraceStaysOnScreen) {
    st.inputs.trigSource = 0;
    st.settings.trigLevelOffset = 50.0L;
    const int y = StripY(kTraceCh1);
    Press(PointerSurface::Volt, 10, y + 3);
    ASSERT_EQ(interaction.Dragged(), DragItem::Trace);
    ASSERT_EQ(interaction.DraggedTrace(), kTraceCh1);

    // The grab offset keeps the marker where it was taken: 3 pixels above the pointer.
    Move(PointerSurface::Volt, 10, 143);  // strip y 140 -> 180 / 0.9
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 200);
    EXPECT_EQ(st.settings.trigLevel, 150);

    st.host.Clear();
    Move(PointerSurface::Volt, 10, -500);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 50);
    EXPECT_EQ(st.host.Count("send"), 1);
    Move(PointerSurface::Volt, 10, 2000);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 450);

    st.host.Clear();
    interaction.MouseUp(PointerSurface::Volt, st.host);
    EXPECT_EQ(interaction.Dragged(), DragItem::None);
    EXPECT_EQ(st.host.Count("redraw"), 1);

    // The up-down still reaches past the dragging limit.
    st.settings.tracePosition[kTraceCh1] = 50;
    for (int i = 0; i < 49; ++i) {
        interaction.UpDownClick({UpDownControl::Ch1, StepArrow::Up, 5, 0, 10}, st.Context(),
                                st.host);
        interaction.UpDownRelease(UpDownControl::Ch1, st.host);
    }
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 1);
}

TEST_F(InteractionPointer, DraggingInRollModeRunsARollStep) {
    st.view.runMode = kRunAuto;
    st.view.rollActive = true;
    st.view.fftOn = true;
    st.view.traceOrder = {2, 3, 0, 3, 1};
    Press(PointerSurface::Volt, 10, StripY(kTraceFft));
    ASSERT_EQ(interaction.DraggedTrace(), kTraceFft);
    st.inputs.fftVerticalType = 0;
    st.host.Clear();
    Move(PointerSurface::Volt, 10, StripY(kTraceFft) + 45);
    EXPECT_EQ(st.settings.tracePosition[kTraceFft], 150);
    EXPECT_EQ(st.settings.fftPositionByType[0], 150);
    EXPECT_EQ(st.host.Count("roll"), 1);
}

TEST_F(InteractionPointer, RightButtonRestacksThenDrags) {
    st.settings.tracePosition = {250, 252, 250, 248, 100};
    st.view.mathOn = true;
    st.inputs.mathUpDownEnabled = true;
    st.UpdateMarkers();
    const int y = StripY(kTraceCh1);

    // Two in reach (MATH is 4 pixels further up, out of reach from y + 4).
    Press(PointerSurface::Volt, 10, y + 4, PointerButton::Right);
    EXPECT_EQ(st.view.traceOrder, (TraceOrder{2, 1, 0, 3, 3}));
    EXPECT_EQ(interaction.DraggedTrace(), kTraceCh2);
    interaction.MouseUp(PointerSurface::Volt, st.host);

    // Three in reach rotate.
    Press(PointerSurface::Volt, 10, y, PointerButton::Right);
    EXPECT_EQ(st.view.traceOrder, (TraceOrder{1, 3, 0, 2, 3}));
    EXPECT_EQ(interaction.DraggedTrace(), kTraceCh1);
    interaction.MouseUp(PointerSurface::Volt, st.host);

    // One in reach: ignored.
    st.host.Clear();
    Press(PointerSurface::Volt, 10, StripY(kTraceMath) - 5, PointerButton::Right);
    EXPECT_EQ(st.view.traceOrder, (TraceOrder{1, 3, 0, 2, 3}));
    EXPECT_EQ(interaction.Dragged(), DragItem::None);
}

TEST_F(InteractionPointer, LeftPressBringsTheTraceForward) {
    st.view.traceOrder = {1, 2, 0, 3, 3};
    Press(PointerSurface::Volt, 10, StripY(kTraceCh2));
    EXPECT_EQ(interaction.DraggedTrace(), kTraceCh2);
    EXPECT_EQ(st.view.traceOrder, (TraceOrder{2, 1, 0, 3, 3}));
    EXPECT_EQ(st.host.Count("readout CursorT"), 1);
}

TEST_F(InteractionPointer, TriggerLevelDrag) {
    st.inputs.trigSource = 1;
    const int y = st.markers.TrigLevelY - st.markers.StripOffset;  // 140
    Move(PointerSurface::TrigLevel, 17, y);
    EXPECT_FALSE(interaction.TrigLevelHighlighted());
    Move(PointerSurface::TrigLevel, 16, y - 5);
    EXPECT_TRUE(interaction.TrigLevelHighlighted());

    Press(PointerSurface::TrigLevel, 16, y - 5);
    st.host.Clear();
    Move(PointerSurface::TrigLevel, 16, y + 40);  // 45 pixels = 50 units down
    EXPECT_EQ(st.settings.trigLevel, 250);
    EXPECT_EQ(st.settings.trigLevelOffset, 300.0L - 250.0L);
    EXPECT_EQ(st.host.Count("send"), 1);
    EXPECT_EQ(st.host.Count("readout TrigLevel"), 1);
    Move(PointerSurface::TrigLevel, 16, -1000);
    EXPECT_EQ(st.settings.trigLevel, 50);
    interaction.MouseUp(PointerSurface::TrigLevel, st.host);

    // Not while roll mode runs.
    st.view.runMode = kRunAuto;
    st.view.rollActive = true;
    Press(PointerSurface::TrigLevel, 10, st.markers.TrigLevelY - st.markers.StripOffset);
    EXPECT_EQ(interaction.Dragged(), DragItem::None);
}

TEST_F(InteractionPointer, RollStartCancelsStripDrags) {
    Press(PointerSurface::TrigPos, st.markers.TrigPosMarkerX, 5);
    ASSERT_EQ(interaction.Dragged(), DragItem::TrigPos);
    interaction.CancelStripDrags(st.host);
    EXPECT_EQ(interaction.Dragged(), DragItem::None);
    EXPECT_FALSE(interaction.TrigPosHighlighted());
    EXPECT_EQ(st.host.lastShape, PointerShape::Default);
    const int before = st.settings.trigPosition;
    Move(PointerSurface::TrigPos, 20, 5);
    EXPECT_EQ(st.settings.trigPosition, before);

    // A trace drag goes on.
    Press(PointerSurface::Volt, 10, StripY(kTraceCh1));
    interaction.CancelStripDrags(st.host);
    EXPECT_EQ(interaction.Dragged(), DragItem::Trace);
}

TEST_F(InteractionPointer, TriggerPositionDragGivesHundredsAndTen) {
    // 10,000 points over 448 pixels; the marker of 5000 sits at 224 + OverviewLeft 10.
    const int x = st.markers.TrigPosMarkerX;
    ASSERT_EQ(x, 234);
    Move(PointerSurface::TrigPos, x + 4, 12);
    EXPECT_TRUE(interaction.TrigPosHighlighted());
    EXPECT_EQ(st.host.lastShape, PointerShape::HMove);
    Move(PointerSurface::TrigPos, x + 5, 12);
    EXPECT_FALSE(interaction.TrigPosHighlighted());
    Move(PointerSurface::TrigPos, x, 13);
    EXPECT_FALSE(interaction.TrigPosHighlighted());

    Press(PointerSurface::TrigPos, x + 2, 5);
    struct Case {
        int pointerX;
        int expect;
    };
    // Marker x = pointer x - 2; trigPosition = (round((x - 10) / 0.0448) div 100) x 100.
    const Case cases[] = {{-300, 10}, {12, 10}, {16, 10}, {17, 100}, {102, 2000}, {800, 9900}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pointerX);
        st.host.Clear();
        const int before = st.settings.trigPosition;
        Move(PointerSurface::TrigPos, c.pointerX, 5);
        EXPECT_EQ(st.settings.trigPosition, c.expect);
        EXPECT_EQ(st.host.Count("send+restart"), before != c.expect ? 1 : 0);
    }
    interaction.MouseUp(PointerSurface::TrigPos, st.host);

    // Not while the spectrum is in front.
    st.view.fftOn = true;
    st.view.traceOrder = {2, 3, 0, 3, 1};
    Press(PointerSurface::TrigPos, st.markers.TrigPosMarkerX, 5);
    EXPECT_EQ(interaction.Dragged(), DragItem::None);
}

TEST_F(InteractionPointer, CursorLinesHoverSelectAndDrag) {
    // cursorT1 150 -> x 135, cursorT2 350 -> x 315, cursorV1 100 -> y 90, cursorV2 300 -> y 270.
    Move(PointerSurface::Wave, 139, 200);
    EXPECT_EQ(interaction.Hovered(PointerSurface::Wave), DragItem::CursorT1);
    EXPECT_EQ(st.host.lastShape, PointerShape::HSplit);
    EXPECT_EQ(st.host.lastHint, HintSource::UpDownDt);
    Move(PointerSurface::Wave, 200, 266);
    EXPECT_EQ(interaction.Hovered(PointerSurface::Wave), DragItem::CursorV2);
    EXPECT_EQ(st.host.lastShape, PointerShape::VSplit);
    EXPECT_EQ(st.host.lastHint, HintSource::UpDownDv);
    Move(PointerSurface::Wave, 200, 200);
    EXPECT_EQ(st.host.lastShape, PointerShape::Default);

    // Pressing cursor 2 selects it through the pair's toggle, then drags it.
    st.host.Clear();
    Press(PointerSurface::Wave, 200, 268);
    EXPECT_EQ(st.host.Count("toggle V"), 1);
    EXPECT_EQ(st.settings.cursorVSelected, 2);
    Move(PointerSurface::Wave, 200, 2000);
    EXPECT_EQ(st.settings.cursorV2, 399);
    Move(PointerSurface::Wave, 200, 88);  // line 2 pixels below the pointer: y 90
    EXPECT_EQ(st.settings.cursorV2, 100);
    EXPECT_EQ(st.host.Count("readout CursorV"), 2);
    interaction.MouseUp(PointerSurface::Wave, st.host);
    EXPECT_EQ(interaction.Dragged(), DragItem::None);

    Press(PointerSurface::Wave, 135, 10);
    Move(PointerSurface::Wave, -50, 10);
    EXPECT_EQ(st.settings.cursorT1, 1);
    Move(PointerSurface::Wave, 449, 10);
    EXPECT_EQ(st.settings.cursorT1, 499);
    interaction.MouseUp(PointerSurface::Wave, st.host);
}

TEST_F(InteractionPointer, BothLinesInReachTakeTheSelectedOrCursorOne) {
    st.settings.cursorT1 = 150;
    st.settings.cursorT2 = 152;
    Press(PointerSurface::Wave, 136, 10);
    EXPECT_EQ(interaction.Dragged(), DragItem::CursorT1);
    EXPECT_EQ(st.host.Count("toggle T"), 0);
    interaction.MouseUp(PointerSurface::Wave, st.host);

    st.settings.cursorTSelected = 2;
    Press(PointerSurface::Wave, 136, 10);
    EXPECT_EQ(interaction.Dragged(), DragItem::CursorT2);
    EXPECT_EQ(st.host.Count("toggle T"), 0);
    interaction.MouseUp(PointerSurface::Wave, st.host);

    // Hidden pairs cannot be taken.
    st.view.cursorTOn = false;
    Press(PointerSurface::Wave, 136, 10);
    EXPECT_EQ(interaction.Dragged(), DragItem::None);
}

}  // namespace
}  // namespace lumatrace
