#include <gtest/gtest.h>

#include "app/display/TraceStacking.h"
#include "app/display/ViewInteraction.h"
#include "app/display/tests/InteractionFakeHost.h"

namespace lumatrace {
namespace {

using testing::InteractionFixtureState;

class InteractionUpDown : public ::testing::Test {
  protected:
    // One click of a control whose own position runs 0..10 and wraps, as the panel's do.
    bool Click(UpDownControl c, StepArrow arrow) {
        int& pos = widget[static_cast<int>(c)];
        pos = arrow == StepArrow::Up ? (pos == 10 ? 0 : pos + 1) : (pos == 0 ? 10 : pos - 1);
        return interaction.UpDownClick({c, arrow, pos, 0, 10}, st.Context(), st.host);
    }

    InteractionFixtureState st;
    ViewInteraction interaction;
    std::array<int, kUpDownControlCount> widget{5, 5, 5, 5, 5, 5, 5, 5};
};

TEST_F(InteractionUpDown, HeldButtonAcceleratesToFive) {
    st.settings.tracePosition[kTraceCh1] = 250;
    std::vector<int> moves;
    for (int i = 0; i < 7; ++i) {
        const int before = st.settings.tracePosition[kTraceCh1];
        Click(UpDownControl::Ch1, StepArrow::Up);
        moves.push_back(before - st.settings.tracePosition[kTraceCh1]);
    }
    EXPECT_EQ(moves, (std::vector<int>{1, 2, 3, 4, 5, 5, 5}));

    interaction.UpDownRelease(UpDownControl::Ch1, st.host);
    EXPECT_EQ(interaction.Stepper().UpDownStep(), 1);
    EXPECT_FALSE(interaction.Stepper().Held(UpDownControl::Ch1));
    EXPECT_EQ(st.host.calls.back(), "redraw");
    Click(UpDownControl::Ch1, StepArrow::Down);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 250 - 25 + 1);
}

TEST_F(InteractionUpDown, ChannelStopsAtItsLimitAndTheStepRestarts) {
    st.settings.tracePosition[kTraceCh1] = 12;
    std::vector<int> positions;
    std::vector<int> steps;
    for (int i = 0; i < 7; ++i) {
        Click(UpDownControl::Ch1, StepArrow::Up);
        positions.push_back(st.settings.tracePosition[kTraceCh1]);
        steps.push_back(interaction.Stepper().UpDownStep());
    }
    EXPECT_EQ(positions, (std::vector<int>{11, 9, 6, 2, 1, 1, 1}));
    // Reaching 1 resets the step; each further held click makes it 1 and resets it again.
    EXPECT_EQ(steps, (std::vector<int>{1, 2, 3, 4, 0, 0, 0}));

    // Turning round at the limit starts from one unit.
    Click(UpDownControl::Ch1, StepArrow::Down);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 2);

    // The bottom limit of CH2 behaves the same; other controls keep their step.
    st.settings.tracePosition[kTraceCh2] = 499;
    Click(UpDownControl::Ch2, StepArrow::Down);
    Click(UpDownControl::Ch2, StepArrow::Down);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh2], 500);
    EXPECT_EQ(interaction.Stepper().UpDownStep(), 0);
    st.settings.tracePosition[kTraceMath] = 499;
    Click(UpDownControl::Math, StepArrow::Down);
    Click(UpDownControl::Math, StepArrow::Down);
    EXPECT_EQ(st.settings.tracePosition[kTraceMath], 500);
    EXPECT_EQ(interaction.Stepper().UpDownStep(), 2);
}

TEST_F(InteractionUpDown, StepLimitsAndRanges) {
    struct Case {
        UpDownControl control;
        int memoryPoints;
        int limit;
        int minimum;
        int maximum;
    };
    const Case cases[] = {
        {UpDownControl::Ch1, 10000, 5, 1, 500},
        {UpDownControl::Fft, 10000, 5, 1, 500},
        {UpDownControl::TrigL, 10000, 5, 1, 500},
        {UpDownControl::Dt, 10000, 5, 1, 499},
        {UpDownControl::Dv, 10000, 5, 1, 399},
        {UpDownControl::TrigP, 10000, 1, 10, 9900},
        {UpDownControl::TrigP, 100000, 10, 10, 99900},
        {UpDownControl::TrigP, 1000000, 100, 10, 999900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.control));
        SCOPED_TRACE(c.memoryPoints);
        EXPECT_EQ(UpDownStepLimit(c.control, c.memoryPoints), c.limit);
        const ValueRange r = UpDownRange(c.control, c.memoryPoints);
        EXPECT_EQ(r.minimum, c.minimum);
        EXPECT_EQ(r.maximum, c.maximum);
    }
}

TEST_F(InteractionUpDown, TriggerPositionStepsInWholeHundreds) {
    struct Case {
        int value;
        int delta;
        int memoryPoints;
        int expect;
    };
    const Case cases[] = {
        {5000, 100, 10000, 5100}, {5050, 100, 10000, 5100},      {10, 100, 10000, 100},
        {150, -100, 10000, 10},   {10, -100, 10000, 10},         {9850, 100, 10000, 9900},
        {9900, 500, 10000, 9900}, {50000, -1000, 100000, 49000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(SteppedTrigPosition(c.value, c.delta, c.memoryPoints), c.expect);
    }

    // Held at 100,000 points the step grows to 10 x 100 samples; the right arrow moves right.
    st.settings.memoryPoints = 100000;
    st.settings.trigPosition = 10;
    std::vector<int> positions;
    for (int i = 0; i < 12; ++i) {
        Click(UpDownControl::TrigP, StepArrow::Up);
        positions.push_back(st.settings.trigPosition);
    }
    EXPECT_EQ(positions, (std::vector<int>{100, 300, 600, 1000, 1500, 2100, 2800, 3600, 4500, 5500,
                                           6500, 7500}));
    // With 10,000 points there is no acceleration.
    interaction.UpDownRelease(UpDownControl::TrigP, st.host);
    st.settings.memoryPoints = 10000;
    st.settings.trigPosition = 5000;
    for (int i = 0; i < 3; ++i)
        Click(UpDownControl::TrigP, StepArrow::Down);
    EXPECT_EQ(st.settings.trigPosition, 4700);
}

TEST_F(InteractionUpDown, WrapOfTheControlDecidesTheDirection) {
    st.settings.tracePosition[kTraceCh1] = 250;
    const InteractionContext ctx = st.Context();
    // The first report only records the control's position.
    interaction.UpDownClick({UpDownControl::Ch1, StepArrow::Down, 10, 0, 10}, ctx, st.host);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 251);
    // Maximum to minimum: the upper button, whatever arrow was reported.
    interaction.UpDownRelease(UpDownControl::Ch1, st.host);
    interaction.UpDownClick({UpDownControl::Ch1, StepArrow::Down, 0, 0, 10}, ctx, st.host);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 250);
    // Minimum to maximum: the lower button.
    interaction.UpDownRelease(UpDownControl::Ch1, st.host);
    interaction.UpDownClick({UpDownControl::Ch1, StepArrow::Up, 10, 0, 10}, ctx, st.host);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 251);
    // An ordinary step takes the arrow.
    interaction.UpDownRelease(UpDownControl::Ch1, st.host);
    interaction.UpDownClick({UpDownControl::Ch1, StepArrow::Up, 1, 0, 10}, ctx, st.host);
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 250);
}

TEST_F(InteractionUpDown, ConsequencesOfEachControl) {
    st.inputs.trigSource = 0;
    st.inputs.fftVerticalType = 1;
    st.settings.trigLevelOffset = 20.0L;  // level 230 under CH1 at 250
    st.settings.trigLevel = 230;
    st.settings.tracePosition[kTraceTrigRef] = 300;
    st.view.lastCursorPairT = false;

    struct Case {
        UpDownControl control;
        StepArrow arrow;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {UpDownControl::Ch1, StepArrow::Up, {"readout TrigLevel", "send", "readout Ch1", "redraw"}},
        {UpDownControl::Ch2, StepArrow::Up, {"send", "readout Ch2", "redraw"}},
        {UpDownControl::Math, StepArrow::Up, {"readout Math", "redraw"}},
        {UpDownControl::Fft, StepArrow::Down, {"readout Fft", "redraw"}},
        {UpDownControl::TrigL, StepArrow::Up, {"send", "readout TrigLevel", "redraw"}},
        {UpDownControl::TrigP, StepArrow::Up, {"send+restart", "readout TrigPosition", "redraw"}},
        {UpDownControl::Dt, StepArrow::Up, {"readout CursorT", "redraw"}},
        {UpDownControl::Dv, StepArrow::Up, {"readout CursorV", "redraw"}},
    };
    st.view.traceOrder = {1, 2, 0, 3, 3};
    st.view.mathOn = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.control));
        // Bring the trace to the front beforehand so only the step's own calls are recorded.
        if (c.control == UpDownControl::Ch2)
            st.view.traceOrder = {2, 1, 0, 3, 3};
        if (c.control == UpDownControl::Math)
            st.view.traceOrder = {2, 3, 0, 1, 3};
        if (c.control == UpDownControl::Fft) {
            st.view.fftOn = true;
            st.view.traceOrder = {2, 3, 0, 3, 1};
        }
        st.host.Clear();
        EXPECT_TRUE(Click(c.control, c.arrow));
        EXPECT_EQ(st.host.calls, c.calls);
        interaction.UpDownRelease(c.control, st.host);
    }
    EXPECT_EQ(st.settings.tracePosition[kTraceCh1], 249);
    EXPECT_EQ(st.settings.fftPositionByType[1], 101);
    // The trigger level moved with its source, then its offset followed the level's own step
    // against the trigger reference (the source is still CH1).
    EXPECT_EQ(st.settings.trigLevel, 228);
    EXPECT_EQ(st.settings.trigLevelOffset, 249.0L - 228.0L);
    EXPECT_TRUE(st.host.anchorHeldAtSend);
    EXPECT_FALSE(st.horizontal.viewAnchorHold);
    EXPECT_EQ(st.settings.trigPosition, 5100);
    EXPECT_EQ(st.settings.cursorT1, 151);  // right arrow: to the right
    EXPECT_EQ(st.settings.cursorV1, 99);   // up arrow: up the screen
    EXPECT_FALSE(st.view.lastCursorPairT);

    st.host.Clear();
    Click(UpDownControl::Dt, StepArrow::Down);
    EXPECT_TRUE(st.view.lastCursorPairT);
}

TEST_F(InteractionUpDown, NoChangeNoConsequences) {
    st.settings.trigLevel = 1;
    st.host.Clear();
    EXPECT_FALSE(Click(UpDownControl::TrigL, StepArrow::Up));
    EXPECT_TRUE(st.host.calls.empty());
}

TEST_F(InteractionUpDown, LevelAtItsEndRefreshesItsReadoutEvenUnchanged) {
    st.inputs.trigSource = 1;
    st.settings.trigLevelOffset = -300.0L;
    st.settings.trigLevel = 500;
    st.view.traceOrder = {2, 1, 0, 3, 3};
    st.host.Clear();
    Click(UpDownControl::Ch2, StepArrow::Up);
    EXPECT_EQ(st.settings.trigLevel, 500);
    EXPECT_EQ(st.host.Count("readout TrigLevel"), 1);
}

TEST_F(InteractionUpDown, PairMoveKeepsTheDistance) {
    st.inputs.cursorPairMove = true;
    struct Case {
        UpDownControl control;
        StepArrow arrow;
        int clicks;
        int c1, c2;
        int expect1, expect2;
    };
    const Case cases[] = {
        {UpDownControl::Dt, StepArrow::Up, 1, 100, 150, 101, 151},
        {UpDownControl::Dt, StepArrow::Down, 1, 100, 150, 99, 149},
        {UpDownControl::Dt, StepArrow::Up, 3, 200, 150, 206, 156},
        {UpDownControl::Dt, StepArrow::Up, 1, 450, 499, 450, 499},  // leader at the limit
        {UpDownControl::Dt, StepArrow::Down, 2, 3, 50, 1, 48},      // leader stops at 1
        {UpDownControl::Dv, StepArrow::Down, 1, 398, 300, 399, 301},
        {UpDownControl::Dv, StepArrow::Up, 1, 398, 300, 397, 299},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.c1);
        const bool pairT = c.control == UpDownControl::Dt;
        (pairT ? st.settings.cursorT1 : st.settings.cursorV1) = c.c1;
        (pairT ? st.settings.cursorT2 : st.settings.cursorV2) = c.c2;
        for (int i = 0; i < c.clicks; ++i)
            Click(c.control, c.arrow);
        interaction.UpDownRelease(c.control, st.host);
        EXPECT_EQ(pairT ? st.settings.cursorT1 : st.settings.cursorV1, c.expect1);
        EXPECT_EQ(pairT ? st.settings.cursorT2 : st.settings.cursorV2, c.expect2);
    }
}

TEST_F(InteractionUpDown, SelectedCursorIsStepped) {
    st.settings.cursorTSelected = 2;
    Click(UpDownControl::Dt, StepArrow::Up);
    EXPECT_EQ(st.settings.cursorT1, 150);
    EXPECT_EQ(st.settings.cursorT2, 351);
}

TEST_F(InteractionUpDown, ClickBringsTheTraceToTheFront) {
    st.view.traceOrder = {1, 2, 0, 3, 3};
    Click(UpDownControl::Ch2, StepArrow::Up);
    EXPECT_EQ(st.view.traceOrder[kTraceCh2], 1);
    EXPECT_EQ(st.view.traceOrder[kTraceCh1], 2);
    EXPECT_EQ(st.host.Count("readout CursorT"), 1);
    EXPECT_EQ(st.host.scrollHint, kScrollHintTime);
}

TEST_F(InteractionUpDown, HoveredMarkerRefreshesAfterAStep) {
    st.settings.tracePosition[kTraceCh1] = 250;
    st.settings.tracePosition[kTraceCh2] = 400;
    st.UpdateMarkers();
    const InteractionContext ctx = st.Context();
    // CH1's marker is at strip y 185; the pointer sits 5 pixels below it.
    interaction.MouseMove(PointerSurface::Volt, 10, 190, ctx, st.host);
    ASSERT_EQ(interaction.HoveredTrace(), kTraceCh1);
    for (int i = 0; i < 3; ++i)
        Click(UpDownControl::Ch1, StepArrow::Up);  // 244: the marker moves away from the pointer
    EXPECT_EQ(interaction.Hovered(PointerSurface::Volt), DragItem::None);
    EXPECT_EQ(st.host.lastShape, PointerShape::Default);
}

}  // namespace
}  // namespace lumatrace
