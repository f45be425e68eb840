#include <gtest/gtest.h>

#include "app/files/SettingsMirrors.h"
#include "app/files/tests/WaveformTestSupport.h"

namespace lumatrace {
namespace {

// Every mirror a settings block restores lands in its field.
TEST(SettingsMirrors, EveryRestoredMirrorHasItsField) {
    InstrumentSettings s;
    for (const RestoreStep& step : testdata::SampleSettingsSteps()) {
        if (step.kind == RestoreStep::Kind::Mirror) {
            EXPECT_EQ(SetInstrumentMirror(s, step.name, step.element, step.value),
                      step.name != "equivalentAsRealTime")
                << step.name;
        }
    }
    EXPECT_EQ(s.channelOn[1], 1);
    EXPECT_EQ(s.voltsPerDivMv[0], 1000);
    EXPECT_EQ(s.voltsPerDivMv[1], 100);
    EXPECT_EQ(s.tracePosition[1], 200);
    EXPECT_EQ(s.trigMode, 1);
    EXPECT_EQ(s.trigCouplingBySource[0], 1);
    EXPECT_EQ(s.trigLevel, 230);
    EXPECT_EQ(s.trigLevelOffset, -20.0L);
    EXPECT_EQ(s.trigPosition, 5000);
    EXPECT_EQ(s.trigDelay, 150);
    EXPECT_EQ(s.pulseWidth, 20);
    EXPECT_EQ(s.timeDivIndex, 20);
    EXPECT_EQ(s.acquireCountIndex, 3);
    EXPECT_EQ(s.acquireCountReserved, 7);
    EXPECT_EQ(s.cursorT1, 120);
    EXPECT_EQ(s.cursorT2, 380);
    EXPECT_EQ(s.cursorV1, 90);
    EXPECT_EQ(s.cursorV2, 310);
}

TEST(SettingsMirrors, UnknownNamesAndElementsChangeNothing) {
    InstrumentSettings s;
    const InstrumentSettings before = s;
    EXPECT_FALSE(SetInstrumentMirror(s, "tracePosition", 2, 7));
    EXPECT_FALSE(SetInstrumentMirror(s, "channelOn", -1, 0));
    EXPECT_FALSE(SetInstrumentMirror(s, "memoryPoints", -1, 5));
    EXPECT_EQ(s.tracePosition, before.tracePosition);
    EXPECT_EQ(s.channelOn, before.channelOn);
    EXPECT_EQ(s.memoryPoints, before.memoryPoints);
}

}  // namespace
}  // namespace lumatrace
