#include <gtest/gtest.h>

#include "app/core/tests/AcquisitionFixture.h"
#include "app/settings/PanelRules.h"

namespace lumatrace {
namespace {

using Calls = std::vector<std::string>;

TEST(ModeRecord, WordsFollowTheSettings) {
    InstrumentSettings s;
    s.tracePosition[kTraceCh1] = 300;
    s.tracePosition[kTraceCh2] = 0;
    s.memorySizeIndex = 1;
    s.sampleIntervalNs = 2000;
    s.bandwidthLimit = {1, 0};
    s.trigMode = 0x82;  // only the low seven bits are sent
    s.trigLevel = 120;
    s.trigPosition = 50000;
    s.trigDelay = 777;
    s.pulseCondition = 2;
    s.pulseWidth = 650;
    PanelSelection p;
    p.voltsPerDivIndex = {5, 3};
    p.trigSourceIndex = 2;
    p.trigCouplingIndex = 0;
    p.trigSlopeIndex = 1;
    p.delayChecked = true;
    p.pulseChecked = true;
    const ModeWords w = BuildModeRecord(s, p);
    const ModeWords expected = {5, 3, 200, 500, 0, 0,   1,     2000, 1, 0,  0,
                                0, 2, 2,   0,   1, 380, 50000, 777,  2, 650};
    EXPECT_EQ(w, expected);
}

TEST(ModeRecord, ConditionalWords) {
    struct Case {
        const char* name;
        bool delayChecked, pulseChecked;
        std::uint8_t equivalent;
        std::uint32_t word18, word19;
    };
    const Case cases[] = {
        {"both unchecked", false, false, 0, 0, 0},
        {"delay and pulse", true, true, 0, 40, 1},
        {"pulse with equivalent-time", true, true, 1, 40, 0},
        {"pulse alone", false, true, 0, 0, 1},
    };
    for (const Case& c : cases) {
        InstrumentSettings s;
        s.trigDelay = 40;
        s.pulseCondition = 1;
        s.equivalentActive = c.equivalent;
        PanelSelection p;
        p.delayChecked = c.delayChecked;
        p.pulseChecked = c.pulseChecked;
        const ModeWords w = BuildModeRecord(s, p);
        EXPECT_EQ(w[18], c.word18) << c.name;
        EXPECT_EQ(w[19], c.word19) << c.name;
        EXPECT_EQ(w[10], c.equivalent) << c.name;
    }
}

TEST(ModeRecord, GroundKeepsTheLastDeviceCoupling) {
    InstrumentSettings s;
    ApplyCoupling(s, 0, 1);  // AC
    ApplyCoupling(s, 1, 0);  // DC
    ApplyCoupling(s, 0, 2);  // GND on both: nothing reaches the instrument
    ApplyCoupling(s, 1, 2);
    const ModeWords w = BuildModeRecord(s, PanelSelection{});
    EXPECT_EQ(w[4], 1u);
    EXPECT_EQ(w[5], 0u);
}

TEST(ModeRecord, PositionsOutsideTheRangeNeverWrap) {
    InstrumentSettings s;
    s.tracePosition[kTraceCh1] = 501;
    s.tracePosition[kTraceCh2] = -3;
    s.trigLevel = 900;
    const ModeWords w = BuildModeRecord(s, PanelSelection{});
    EXPECT_EQ(w[2], 0u);
    EXPECT_EQ(w[3], 500u);
    EXPECT_EQ(w[16], 0u);
}

TEST(TriggerStatus, TableAndTheFiftyMillisecondRule) {
    struct Case {
        std::uint32_t status;
        std::uint32_t ms;
        int trigMode;
        std::optional<std::string> text;
        bool keep;
        std::optional<std::uint32_t> flag;
    };
    const Case cases[] = {
        {1, 0, 0, "PreTrig", true, {}},
        {2, 50, 0, std::nullopt, true, {}},
        {3, 10, 1, std::nullopt, true, {}},
        {2, 51, 0, "Wait for Trig", true, {}},
        {3, 400, 1, "Wait for Trig", true, {}},
        {6, 0, 0, "Trig'd", false, 1u},
        {7, 0, 1, "Trig'd", false, std::nullopt},
        {10, 0, 0, "Auto", false, 0u},
        {11, 0, 1, "Auto", false, 0u},
        {0, 0, 0, "", false, {}},
        {4, 0, 0, "", false, {}},
        {0xFFFFFFFFu, 0, 0, "", false, {}},
    };
    for (const Case& c : cases) {
        const StatusOutcome o = StatusStep(c.status, c.ms, c.trigMode);
        EXPECT_EQ(o.text, c.text) << c.status << " at " << c.ms;
        EXPECT_EQ(o.keepTimer, c.keep) << c.status;
        EXPECT_EQ(o.startFlag, c.flag) << c.status;
    }
}

TEST(RunActions, EnablingAndCaptions) {
    struct Case {
        int runMode;
        bool roll, ready;
        RunActionState expected;
    };
    const Case cases[] = {
        {kRunStop, false, true, {true, true, true, false, false}},
        {kRunAuto, false, true, {false, true, true, true, false}},
        {kRunSingle, false, true, {true, false, true, true, false}},
        {kRunNormal, false, true, {true, true, false, true, false}},
        {kRunStop, true, true, {true, false, false, false, true}},
        {kRunAuto, true, true, {false, false, false, true, true}},
        {kRunStop, false, false, {false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ComputeRunActions(c.runMode, c.roll, c.ready), c.expected)
            << c.runMode << c.roll << c.ready;
    }
}

TEST(SingleEnd, Counts) {
    // Sample ends after the first record; Average and Envelope after the
    // count (512 for the infinite setting); equivalent-time after 200 passes.
    EXPECT_TRUE(SingleRunComplete(false, 0, 16, 1));
    EXPECT_FALSE(SingleRunComplete(false, 1, 16, 15));
    EXPECT_TRUE(SingleRunComplete(false, 1, 16, 16));
    EXPECT_FALSE(SingleRunComplete(false, 1, -1, 511));
    EXPECT_TRUE(SingleRunComplete(false, 2, -1, 512));
    EXPECT_FALSE(SingleRunComplete(true, 0, 16, 199));
    EXPECT_TRUE(SingleRunComplete(true, 1, 16, 200));
    // A count lowered below the records already taken still ends the run.
    EXPECT_TRUE(SingleRunComplete(false, 1, 8, 10));
}

using Acquisition = AcquisitionFixture;

TEST_F(Acquisition, AutoSendsTheModeAndStarts) {
    control.A_Auto();
    EXPECT_EQ(TakeCalls(), (Calls{"Zep9100SetMode", "Zep9100StartSampling"}));
    EXPECT_EQ(settings.runMode, kRunAuto);
    EXPECT_EQ(settings.trigMode, kTrigModeAuto);
    EXPECT_EQ(device.startFlags.back(), 1u);
    EXPECT_EQ(device.mode[12], 0u);
    EXPECT_TRUE(control.ResetRequest);
    EXPECT_TRUE(control.averageResize);
    EXPECT_TRUE(host.statusTimer);
    EXPECT_EQ(host.execText, "Real");
    EXPECT_EQ(host.trigText, "");
    EXPECT_EQ(host.actions, (RunActionState{false, true, true, true, false}));
    EXPECT_EQ(control.startTick, 1000u);
}

TEST_F(Acquisition, AutoWhileInNormalRestartsWithStartFlagOne) {
    control.A_Normal();
    EXPECT_EQ(device.mode[12], 1u);
    session.startFlag = 0;  // an auto-triggered record was seen
    TakeCalls();
    control.A_Auto();
    EXPECT_EQ(TakeCalls(),
              (Calls{"Zep9100StopSampling", "Zep9100SetMode", "Zep9100StartSampling"}));
    EXPECT_EQ(device.startFlags.back(), 1u);
    EXPECT_EQ(device.mode[12], 0u);
}

TEST_F(Acquisition, SingleClearsTheScreenUntilItsRecord) {
    WaveBuffer.fill(0x00010001u);
    control.dataValid = true;
    control.A_Single();
    EXPECT_EQ(settings.trigMode, kTrigModeNormal);
    EXPECT_FALSE(control.dataValid);
    EXPECT_EQ(WaveBuffer[0], NoSample);
    EXPECT_EQ(WaveBuffer[kBufferWords - 1], NoSample);
    EXPECT_GE(host.redraws, 1);
}

TEST_F(Acquisition, StopHaltsAndRequestsAFreshStart) {
    control.A_Auto();
    host.spectrumWorker = true;
    host.historyHasData = true;
    TakeCalls();
    control.A_Stop();
    EXPECT_EQ(TakeCalls(), Calls{"Zep9100StopSampling"});
    EXPECT_EQ(settings.runMode, kRunStop);
    EXPECT_EQ(session.startFlag, 0u);
    EXPECT_TRUE(control.modeDirty);
    EXPECT_TRUE(control.restartPending);
    EXPECT_EQ(host.workerStops, 1);
    EXPECT_EQ(host.historyShrinks, 1);
    EXPECT_EQ(host.execText, "Stop");
    EXPECT_FALSE(host.statusTimer);
    EXPECT_FALSE(host.rollTimer);
    EXPECT_EQ(host.actions, (RunActionState{true, true, true, false, false}));
}

// An opened waveform set holds the view off the trigger marker until a run action.
TEST_F(Acquisition, EveryRunActionLetsTheViewAnchorAgain) {
    control.A_Auto();
    EXPECT_EQ(host.anchorReleases, 1);
    control.A_Stop();
    EXPECT_EQ(host.anchorReleases, 2);
    control.A_Single();
    EXPECT_EQ(host.anchorReleases, 3);
    control.A_Normal();
    EXPECT_EQ(host.anchorReleases, 4);
}

TEST_F(Acquisition, StoppedSettingChangeOnlySendsTheMode) {
    control.modeDirty = true;
    control.restartPending = true;
    control.ApplySettingChange();
    EXPECT_EQ(TakeCalls(), Calls{"Zep9100SetMode"});
    EXPECT_EQ(host.redraws, 1);
    EXPECT_EQ(host.viewRecomputes, 1);
}

TEST_F(Acquisition, ModeRequestAloneDoesNotRestart) {
    control.A_Auto();
    TakeCalls();
    settings.bandwidthLimit[0] = 1;
    control.modeDirty = true;
    control.ApplySettingChange();
    EXPECT_EQ(TakeCalls(), Calls{"Zep9100SetMode"});
    EXPECT_EQ(device.mode[8], 1u);
}

TEST_F(Acquisition, RestartRequestStopsSendsAndStarts) {
    control.A_Auto();
    TakeCalls();
    control.modeDirty = true;
    control.restartPending = true;
    control.ApplySettingChange();
    EXPECT_EQ(TakeCalls(),
              (Calls{"Zep9100StopSampling", "Zep9100SetMode", "Zep9100StartSampling"}));
    EXPECT_TRUE(control.ResetRequest);
}

TEST_F(Acquisition, NothingReachesTheDeviceBeforeItIsReady) {
    control.deviceReady = false;
    control.modeDirty = true;
    control.ApplyAndStart();
    control.formReady = false;
    control.deviceReady = true;
    control.ApplyAndStart();
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(Acquisition, FailedModeSettingStopsAndReports) {
    device.FailNext("Zep9100SetMode", ZEP9100_ERR_INVALID_ARGUMENT);
    control.A_Auto();
    EXPECT_EQ(settings.runMode, kRunStop);
    EXPECT_EQ(device.CallCount("Zep9100StartSampling"), 0);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].title, "Lumatrace");
    EXPECT_EQ(messages.shown[0].text,
              "[ サンプリング動作モード設定エラー ]\r\nサンプリングを停止します。");
    EXPECT_EQ(host.errorText, "ZEP9100_ERR_INVALID_ARGUMENT");
    EXPECT_EQ(host.raises, 1);
}

TEST_F(Acquisition, FailedStartStopsAndReports) {
    device.FailNext("Zep9100StartSampling", ZEP9100_ERR_TRANSFER_TIMEOUT);
    control.A_Normal();
    EXPECT_EQ(settings.runMode, kRunStop);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "[ サンプリング開始エラー ]\r\nサンプリングを停止します。");
}

TEST_F(Acquisition, StatusTimerShowsWaitOnlyAfterFiftyMs) {
    control.A_Normal();
    host.trigText = "PreTrig";
    device.status = {2, 0, 0};
    clock.now = control.startTick + 50;
    control.TimerStatusTick();
    EXPECT_EQ(host.trigText, "PreTrig");
    EXPECT_TRUE(host.statusTimer);
    clock.now = control.startTick + 51;
    control.TimerStatusTick();
    EXPECT_EQ(host.trigText, "Wait for Trig");

    session.startFlag = 1;
    device.status = {10, 0, 0};
    control.TimerStatusTick();
    EXPECT_EQ(host.trigText, "Auto");
    EXPECT_FALSE(host.statusTimer);
    EXPECT_EQ(session.startFlag, 0u);
}

TEST_F(Acquisition, GenuineTriggerInAutoSetsTheStartFlag) {
    control.A_Auto();
    session.startFlag = 0;
    device.status = {7, 0, 0};
    control.TimerStatusTick();
    EXPECT_EQ(host.trigText, "Trig'd");
    EXPECT_EQ(session.startFlag, 1u);
    EXPECT_FALSE(host.statusTimer);
}

TEST_F(Acquisition, StatusTimerInRollClearsAndStopsAtOnce) {
    settings.rollActive = 1;
    control.A_Auto();
    EXPECT_EQ(settings.trigMode, kTrigModeFreeRun);
    host.trigText = "x";
    host.statusTimer = true;
    TakeCalls();
    control.TimerStatusTick();
    EXPECT_EQ(host.trigText, "");
    EXPECT_FALSE(host.statusTimer);
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(Acquisition, FailedStatusReadReports) {
    control.A_Auto();
    device.FailNext("Zep9100GetStatus", ZEP9100_ERR_TRANSFER_FAIL);
    control.TimerStatusTick();
    EXPECT_EQ(settings.runMode, kRunStop);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "[ ステータス取得エラー ]\r\nサンプリングを停止します。");
    EXPECT_EQ(host.errorText, "ZEP9100_ERR_TRANSFER_FAIL");
}

TEST_F(Acquisition, FailureMessageNeedsTheLParamAndARun) {
    control.HandleDeviceMessage(kMsgAcquisitionFailed, kDeviceMessageLParam);  // stopped
    control.A_Auto();
    control.HandleDeviceMessage(kMsgAcquisitionFailed, 0);
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(settings.runMode, kRunAuto);
    device.lastError = ZEP9100_ERR_DEVICE | (6u << 16);
    control.HandleDeviceMessage(kMsgAcquisitionFailed, kDeviceMessageLParam);
    EXPECT_EQ(settings.runMode, kRunStop);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "[ データ取得エラー ]\r\nサンプリングを停止します。");
    EXPECT_EQ(host.errorText, "ZEP9100_ERR_DEVICE (Minor Error code: 6)");
}

TEST_F(Acquisition, EquivalentTimeDisablesPulseAndShowsEquiv) {
    settings.equivalentActive = 1;
    control.A_Auto();
    EXPECT_EQ(host.execText, "Equiv");
    EXPECT_EQ(host.samplingLabel, "    100ps");
    ASSERT_FALSE(host.pulseGroup.empty());
    EXPECT_FALSE(host.pulseGroup.back());
    EXPECT_TRUE(host.triggerGroup.back());
    // Groups are only switched when their state changes.
    const auto pulses = host.pulseGroup.size();
    control.modeDirty = control.restartPending = true;
    control.ApplySettingChange();
    EXPECT_EQ(host.pulseGroup.size(), pulses);
}

TEST_F(Acquisition, RollStartClearsAndRunsTheRollTimer) {
    settings.rollActive = 1;
    WaveBuffer.fill(5);
    RollScratch.fill(5);
    host.startPhase = 0.5;
    control.A_Auto();
    EXPECT_EQ(WaveBuffer[0], NoSample);
    EXPECT_EQ(RollScratch[0], NoSample);
    EXPECT_FALSE(control.ResetRequest);
    EXPECT_EQ(host.startPhase, 0.0);
    EXPECT_TRUE(host.rollTimer);
    EXPECT_EQ(host.execText, "Roll");
    EXPECT_FALSE(host.triggerGroup.back());
    EXPECT_FALSE(host.pulseGroup.back());
    EXPECT_EQ(host.dragCancels, 1);
    EXPECT_EQ(device.startFlags.size(), 1u);
    EXPECT_EQ(host.actions, (RunActionState{false, false, false, true, true}));
}

}  // namespace
}  // namespace lumatrace
