#include <gtest/gtest.h>

#include "app/core/tests/AcquisitionFixture.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {
namespace {

using Calls = std::vector<std::string>;
const Calls kRestart = {"Zep9100StopSampling", "Zep9100SetMode", "Zep9100StartSampling"};

struct Handlers : AcquisitionFixture {
    void RunAuto() {
        settings.sampleIntervalNs = static_cast<int>(SampleIntervalNs(settings.timeDivIndex, 0));
        control.firstLayoutDone = true;
        control.A_Auto();
        TakeCalls();
    }
};

TEST_F(Handlers, BandwidthWhileRunningSendsTheModeWithoutRestart) {
    RunAuto();
    control.restartPending = true;  // withdrawn by the bandwidth change
    control.BandwidthChanged(1, 1);
    EXPECT_EQ(TakeCalls(), Calls{"Zep9100SetMode"});
    EXPECT_EQ(device.mode[9], 1u);
    EXPECT_EQ(settings.runMode, kRunAuto);
}

TEST_F(Handlers, GroundWhileRunningDoesNotRestart) {
    RunAuto();
    control.ResetRequest = false;
    control.CouplingChanged(1, 2);
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_TRUE(control.ResetRequest);
    EXPECT_EQ(settings.displayCoupling[1], 2);
    control.CouplingChanged(1, 1);  // AC reaches the instrument
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[5], 1u);
}

TEST_F(Handlers, EquivalentTimeOnlyAtFastTimeBases) {
    settings.timeDivIndex = 7;
    RunAuto();
    EXPECT_FALSE(control.EquivalentBoxChanged(true));
    EXPECT_EQ(settings.equivalentActive, 0);
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_FALSE(control.modeDirty);

    control.TimeDivChanged(6, 0);  // now available: the ticked box takes effect
    EXPECT_EQ(settings.equivalentActive, 1);
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[10], 1u);
    EXPECT_EQ(host.execText, "Equiv");
}

TEST_F(Handlers, RollFollowsTheBoxAndTheTimeBase) {
    struct Case {
        int memoryIndex;
        int timeDivIndex;
        std::uint8_t roll;
    };
    for (const Case c : {Case{0, 24, 0}, Case{0, 25, 1}, Case{2, 26, 0}, Case{2, 27, 1}}) {
        settings.memorySizeIndex = c.memoryIndex;
        settings.timeDivIndex = c.timeDivIndex;
        settings.rollActive = 0;
        control.panel.rollChecked = false;
        control.RollBoxChanged(true);
        EXPECT_EQ(settings.rollActive, c.roll) << c.memoryIndex << "/" << c.timeDivIndex;
    }
}

TEST_F(Handlers, EnteringRollWhileRunningRestartsFreeRunning) {
    settings.timeDivIndex = 25;
    RunAuto();
    WaveBuffer.fill(3);
    EXPECT_TRUE(control.RollBoxChanged(true));
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[11], 1u);
    EXPECT_EQ(device.mode[12], 2u);
    EXPECT_EQ(WaveBuffer[0], NoSample);
    EXPECT_TRUE(host.rollTimer);
    EXPECT_TRUE(host.actions.rollCaptions);
    EXPECT_TRUE(control.averageResize);

    EXPECT_TRUE(control.RollBoxChanged(false));
    EXPECT_EQ(settings.trigMode, kTrigModeAuto);
    EXPECT_FALSE(host.rollTimer);
    EXPECT_FALSE(host.actions.rollCaptions);
    EXPECT_EQ(TakeCalls(), kRestart);
}

TEST_F(Handlers, RollBoxWhileStoppedOnlyRaisesRequests) {
    settings.timeDivIndex = 30;
    control.A_Stop();
    TakeCalls();
    EXPECT_TRUE(control.RollBoxChanged(true));
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_TRUE(control.modeDirty);
}

TEST_F(Handlers, DelayAndPulseRestartOnlyWhenSomethingChanged) {
    RunAuto();
    control.DelayCheckChanged(true);  // delay 0: nothing to send
    EXPECT_TRUE(TakeCalls().empty());
    control.DelayChanged(250000);
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[18], 250000u);
    control.DelayChanged(250000);
    EXPECT_TRUE(TakeCalls().empty());
    control.DelayCheckChanged(false);
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[18], 0u);

    control.PulseChanged(10, 1);  // unchanged
    EXPECT_TRUE(TakeCalls().empty());
    control.PulseChanged(655350, 2);  // above keeps below 655,340
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(settings.pulseWidth, 655340);
    control.PulseCheckChanged(true);
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[19], 2u);
    EXPECT_EQ(device.mode[20], 655340u);
}

TEST_F(Handlers, TimeDivChangeLetsTheViewAnchorAgain) {
    control.TimeDivChanged(17, 0);
    EXPECT_EQ(host.anchorReleases, 1);
    control.TimeDivChanged(99, 0);  // not an item: nothing changes
    EXPECT_EQ(host.anchorReleases, 1);
}

// The spectrum's frequency list follows the sampling interval and equivalent time at once,
// not at the next record.
TEST_F(Handlers, TimeDivChangeUpdatesTheFrequencyList) {
    control.TimeDivChanged(17, 0);
    EXPECT_EQ(host.fftListUpdates, std::vector<bool>{false});
    control.EquivalentBoxChanged(true);
    control.TimeDivChanged(6, 0);  // equivalent time from here
    EXPECT_EQ(host.fftListUpdates, (std::vector<bool>{false, true}));
}

TEST_F(Handlers, TimeDivConvertsTheDelayAgain) {
    RunAuto();  // 200 us/div, 200 ns interval
    control.panel.delayChecked = true;
    control.DelayChanged(25000);  // 5 ms
    TakeCalls();
    control.TimeDivChanged(17, 5e6L);  // 500 us/div: 500 ns interval
    EXPECT_EQ(settings.sampleIntervalNs, 500);
    EXPECT_EQ(settings.trigDelay, 10000);
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[7], 500u);
    EXPECT_EQ(device.mode[18], 10000u);
    EXPECT_EQ(control.prevTimeDivIndex, 17);
    EXPECT_EQ(control.prevTimePerDiv, 500000.0L);
    // The record on show is re-scaled to the new time base until the next one arrives.
    EXPECT_NEAR(host.zoom, 0.4, 1e-12);
}

}  // namespace
}  // namespace lumatrace

namespace lumatrace {
namespace {

TEST_F(Handlers, VoltsPerDivRestartsAndTracksTheTriggerLevel) {
    RunAuto();
    control.panel.trigSourceIndex = 0;
    settings.voltsPerDivMv[0] = 50;  // 500mV item with the x10 probe
    settings.tracePosition[kTraceCh1] = 250;
    settings.trigLevelOffset = 100;
    ASSERT_TRUE(control.VoltsPerDivChanged(0, 6, "1V", false));
    EXPECT_EQ(settings.voltsPerDivMv[0], 100);
    EXPECT_EQ(settings.trigLevel, 200);
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[0], 6u);
    // Not a voltage: nothing changes.
    EXPECT_FALSE(control.VoltsPerDivChanged(0, 6, "fast", false));
    EXPECT_EQ(settings.voltsPerDivMv[0], 100);
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(Handlers, ProbeChangeNeitherChangesModeWordsNorRestarts) {
    RunAuto();
    const auto before = device.mode;
    control.ProbeChanged(0, 0);  // x1: the list at the same index reads 50mV
    ASSERT_TRUE(control.VoltsPerDivChanged(0, control.panel.voltsPerDivIndex[0], "50mV", true));
    EXPECT_EQ(settings.probeFactor[0], 1);
    EXPECT_EQ(settings.voltsPerDivMv[0], 50);
    EXPECT_TRUE(TakeCalls().empty());
    EXPECT_EQ(device.mode, before);
}

TEST_F(Handlers, TriggerSourceChangeKeepsTheLevelVoltage) {
    RunAuto();
    control.panel.trigSourceIndex = 0;
    settings.voltsPerDivMv = {100, 50};
    settings.probeFactor = {10, 10};
    settings.tracePosition[kTraceCh2] = 300;
    settings.trigLevelOffset = 50;  // 1000 mV/div scale
    control.TrigSourceChanged(1, 0);
    EXPECT_EQ(settings.trigLevel, 200);  // offset doubled at 500 mV/div, from 300
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[13], 1u);
    control.TrigCouplingChanged(1, 2);
    EXPECT_EQ(settings.trigCouplingBySource[1], 2);
    EXPECT_EQ(device.mode[14], 2u);
    control.TrigSlopeChanged(1);
    EXPECT_EQ(device.mode[15], 1u);
}

TEST_F(Handlers, MemorySizeChangeLimitsTheTriggerBeforeSending) {
    settings.memorySizeIndex = 1;
    settings.memoryPoints = 100000;
    settings.timeDivIndex = 3;  // 10 ns/div: 10 ns interval with either record
    settings.timePerDiv = 10;
    settings.trigPosition = 50000;
    RunAuto();
    WaveBuffer.fill(9);
    control.MemorySizeChanged(0, 3, 0);
    EXPECT_EQ(settings.memoryPoints, 10000);
    EXPECT_EQ(settings.trigPosition, 9900);
    EXPECT_EQ(TakeCalls(), kRestart);
    EXPECT_EQ(device.mode[6], 0u);
    EXPECT_EQ(device.mode[17], 9900u);
    EXPECT_EQ(WaveBuffer[0], NoSample);
    EXPECT_FALSE(control.dataValid);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(Handlers, WaveformAndCount) {
    RunAuto();
    control.ResetRequest = false;
    control.averageResize = false;
    control.WaveformModeChanged(1);
    EXPECT_TRUE(control.ResetRequest);
    EXPECT_TRUE(control.averageResize);
    control.averageResize = false;
    const int prepares = host.prepareAverageCalls;
    control.AcquireCountChanged(settings.acquireCount);
    EXPECT_FALSE(control.averageResize);
    control.AcquireCountChanged(64);
    EXPECT_TRUE(control.averageResize);
    EXPECT_GT(host.prepareAverageCalls, prepares);
    EXPECT_TRUE(TakeCalls().empty());  // nothing for the instrument
}

}  // namespace
}  // namespace lumatrace
