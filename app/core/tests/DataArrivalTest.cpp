#include <gtest/gtest.h>

#include <vector>

#include "app/core/TraceAssembly.h"
#include "app/core/tests/AcquisitionFixture.h"

namespace lumatrace {
namespace {

using Calls = std::vector<std::string>;

// ---------------------------------------------------------------------------
// FillGaps

struct GapCase {
    const char* name;
    std::vector<SampleWord> in;
    std::vector<SampleWord> out;
};

TEST(FillGaps, Cases) {
    const SampleWord x = NoSample;
    const SampleWord a = MakeSampleWord(10, 20);
    const SampleWord b = MakeSampleWord(14, 28);
    const GapCase cases[] = {
        {"inner hole",
         {a, x, x, x, b},
         {a, MakeSampleWord(11, 22), MakeSampleWord(12, 24), MakeSampleWord(13, 26), b}},
        {"leading hole", {x, x, a, b}, {a, a, a, b}},
        {"trailing hole", {a, b, x, x}, {a, b, b, b}},
        {"all three", {x, a, x, b, x}, {a, a, MakeSampleWord(12, 24), b, b}},
        {"empty record", {x, x, x}, {x, x, x}},
        {"single valid word", {x, a, x}, {a, a, a}},
        // 0.5 steps: 10.5 -> 10 and 11.5 -> 12 (ties to even), CH2 falling.
        {"ties to even",
         {MakeSampleWord(10, 13), x, x, x, MakeSampleWord(12, 11)},
         {MakeSampleWord(10, 13), MakeSampleWord(10, 12), MakeSampleWord(11, 12),
          MakeSampleWord(12, 12), MakeSampleWord(12, 11)}},
    };
    for (const GapCase& c : cases) {
        const int n = static_cast<int>(c.in.size());
        ClearRecord(WaveBuffer);
        std::copy(c.in.begin(), c.in.end(), WaveBuffer.begin());
        WaveBuffer[n] = 0x00050005u;  // beyond the record: never written
        FillGaps(WaveBuffer, n);
        EXPECT_EQ(std::vector<SampleWord>(WaveBuffer.begin(), WaveBuffer.begin() + n), c.out)
            << c.name;
        EXPECT_EQ(WaveBuffer[n], 0x00050005u) << c.name;
    }
}

TEST(FillGaps, ValidLastWordEndsTheRecordWhateverFollows) {
    // Word N is read only to see whether a valid run ends there.
    ClearRecord(WaveBuffer);
    WaveBuffer[0] = MakeSampleWord(1, 1);
    WaveBuffer[3] = MakeSampleWord(4, 4);
    FillGaps(WaveBuffer, 4);
    EXPECT_EQ(WaveBuffer[1], MakeSampleWord(2, 2));
    EXPECT_EQ(WaveBuffer[2], MakeSampleWord(3, 3));
    EXPECT_EQ(WaveBuffer[4], NoSample);
}

TEST(MergeEquivalentPass, UnreadablePhaseIsDropped) {
    ClearRecord(EquBuffer);
    WaveBuffer.fill(7);
    EXPECT_FALSE(MergeEquivalentPass(FetchBuffer, EquBuffer, WaveBuffer, 10000, 5000, 0xFFFFFFFFu));
    EXPECT_FALSE(MergeEquivalentPass(FetchBuffer, EquBuffer, WaveBuffer, 10000, 5000, 100));
    EXPECT_FALSE(MergeEquivalentPass(FetchBuffer, EquBuffer, WaveBuffer, 10000, 10001, 5));
    EXPECT_EQ(EquBuffer[5], NoSample);
    EXPECT_EQ(WaveBuffer[0], 7u);
}

// ---------------------------------------------------------------------------
// Data arrival against the scripted device

struct DataArrival : AcquisitionFixture {
    void SetUp() override {
        AcquisitionFixture::SetUp();
        device.sample = [](std::uint32_t i) { return MakeSampleWord(i % 1000, 1000 - i % 1000); };
    }
    void Arrive() { control.HandleDeviceMessage(kMsgDataArrival, kDeviceMessageLParam); }
};

TEST_F(DataArrival, CountBelowTheRecordWaits) {
    control.A_Auto();
    TakeCalls();
    device.status = {6, 9999, 0};
    Arrive();
    EXPECT_EQ(TakeCalls(), Calls{"Zep9100GetStatus"});
    EXPECT_FALSE(control.dataValid);
}

TEST_F(DataArrival, ExtraSamplesAreNotRead) {
    control.A_Auto();
    TakeCalls();
    host.redraws = 0;
    host.statusTimer = false;
    device.status = {7, 10005, 0};
    Arrive();
    EXPECT_EQ(TakeCalls(), (Calls{"Zep9100GetStatus", "Zep9100StopSampling", "Zep9100GetData",
                                  "Zep9100StartSampling"}));
    EXPECT_EQ(device.dataCounts.back(), 10000u);
    EXPECT_EQ(WaveBuffer[9999], device.sample(9999));
    EXPECT_EQ(WaveBuffer[10000], NoSample);
    EXPECT_TRUE(control.dataValid);
    EXPECT_TRUE(control.recordSinceStart);
    EXPECT_EQ(control.passCount, 1);
    EXPECT_EQ(host.redraws, 1);
    EXPECT_TRUE(host.statusTimer);
    EXPECT_EQ(host.screenSamples, 10000);
}

// At fast time bases records come back every few milliseconds, well inside the
// status timer's 10 ms interval. The timer must still tick on its own beat: a
// record that finds it running leaves it alone instead of starting it afresh.
// Virtual time; the timer is modelled as the main window's is: a start
// puts its next tick a whole interval away.
TEST_F(DataArrival, RecordsFasterThanTheStatusTimerStillShowTheTriggerStatus) {
    struct Case {
        std::uint32_t status;
        const char* text;
        std::uint32_t flagBefore, flagAfter;
    };
    const Case cases[] = {
        {7, "Trig'd", 0, 1},  // a genuine trigger in trigger mode auto
        {11, "Auto", 1, 0},   // an automatic trigger
    };
    constexpr std::uint64_t kIntervalMs = 10;
    constexpr std::uint64_t kRecordEveryMs = 3;
    for (const Case& c : cases) {
        control.A_Auto();
        session.startFlag = c.flagBefore;
        device.status = {c.status, 10000, 0};
        int starts = host.statusTimerStarts;
        std::uint64_t due = clock.now + kIntervalMs;
        int ticks = 0;
        for (int ms = 1; ms <= 200 && ticks == 0; ++ms) {
            ++clock.now;
            if (ms % kRecordEveryMs == 0) {
                Arrive();
            }
            if (host.statusTimerStarts != starts) {
                starts = host.statusTimerStarts;
                due = clock.now + kIntervalMs;
            }
            if (host.statusTimer && clock.now >= due) {
                control.TimerStatusTick();
                ++ticks;
                due = clock.now + kIntervalMs;
            }
        }
        EXPECT_GE(control.passCount, 3) << c.text;  // records came in before the tick
        EXPECT_EQ(ticks, 1) << c.text;
        EXPECT_EQ(host.trigText, c.text);
        EXPECT_EQ(session.startFlag, c.flagAfter) << c.text;
        control.A_Stop();
    }
}

TEST_F(DataArrival, IgnoredWhenStoppedInRollOrWithAnotherLParam) {
    device.status = {7, 10000, 0};
    Arrive();  // stopped
    control.A_Auto();
    TakeCalls();
    control.HandleDeviceMessage(kMsgDataArrival, 0);
    settings.rollActive = 1;
    Arrive();
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(DataArrival, FailedReadShowsAnEmptyRecord) {
    control.A_Auto();
    device.status = {7, 10000, 0};
    device.FailNext("Zep9100GetData", ZEP9100_ERR_TRANSFER_FAIL);
    Arrive();
    EXPECT_EQ(WaveBuffer[0], NoSample);
    EXPECT_EQ(settings.runMode, kRunAuto);  // the read is not checked; sampling goes on
    EXPECT_EQ(device.startFlags.size(), 2u);
}

TEST_F(DataArrival, EquivalentPassLandsEveryHundredWords) {
    settings.equivalentActive = 1;
    settings.memoryPoints = 10000;
    settings.trigPosition = 5000;
    device.sample = [](std::uint32_t i) { return i; };
    control.A_Auto();
    device.status = {7, 10000, 0};
    device.phase = 37;
    Arrive();
    for (int k = 0; k < 100; ++k) {
        ASSERT_EQ(EquBuffer[37 + 100 * k], 4950u + k) << k;
    }
    EXPECT_EQ(EquBuffer[36], NoSample);
    EXPECT_EQ(EquBuffer[38], NoSample);
    EXPECT_EQ(EquBuffer[9938], NoSample);
    // The shown record has its holes filled.
    for (int i = 0; i < 10000; ++i) {
        ASSERT_NE(WaveBuffer[i], NoSample) << i;
    }
    EXPECT_EQ(host.screenSamples, 20000000);  // 200 us/div in 100 ps steps
    EXPECT_EQ(host.samplingLabel, "    100ps");
}

TEST_F(DataArrival, PassWithoutPhaseIsDroppedAndSamplingGoesOn) {
    settings.equivalentActive = 1;
    control.A_Auto();
    device.status = {7, 10000, 0};
    device.phase = 10;
    Arrive();
    const SampleWord shown = WaveBuffer[0];
    const int redraws = host.redraws;
    device.FailNext("Zep9100GetEquData",
                    ZEP9100_ERR_DEVICE | (ZEP9100_MINOR_NO_TRIGGER_PHASE << 16));
    TakeCalls();
    Arrive();
    EXPECT_EQ(TakeCalls(), (Calls{"Zep9100GetStatus", "Zep9100StopSampling", "Zep9100GetData",
                                  "Zep9100GetEquData", "Zep9100StartSampling"}));
    EXPECT_EQ(control.passCount, 1);
    EXPECT_EQ(host.redraws, redraws);
    EXPECT_EQ(WaveBuffer[0], shown);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(DataArrival, AutoTriggeredRecordShowsAsRealTimeUntilPassesResume) {
    settings.equivalentActive = 1;
    control.A_Auto();
    device.status = {11, 10000, 0};
    Arrive();
    EXPECT_TRUE(control.equivalentAsRealTime);
    EXPECT_EQ(WaveBuffer[1234], device.sample(1234));
    EXPECT_EQ(host.samplingLabel, "    ");
    EXPECT_EQ(host.screenSamples, 10000);

    device.status = {7, 10000, 0};
    device.phase = 0;
    device.sample = [](std::uint32_t) { return MakeSampleWord(300, 300); };
    Arrive();
    EXPECT_FALSE(control.equivalentAsRealTime);
    // The real-time record is gone: only the one pass, spread by FillGaps.
    EXPECT_EQ(WaveBuffer[1234], MakeSampleWord(300, 300));
    EXPECT_EQ(EquBuffer[1], NoSample);
}

TEST_F(DataArrival, GroundFlattensTheChannel) {
    settings.displayCoupling[0] = 2;
    settings.tracePosition[kTraceCh1] = 250;
    control.A_Auto();
    device.status = {7, 10000, 0};
    Arrive();
    for (int i : {0, 5000, 9999}) {
        EXPECT_EQ(WaveBuffer[i] & 0xFFFFu, 512u) << i;
        EXPECT_EQ(WaveBuffer[i] >> 16, device.sample(i) >> 16) << i;
    }
}

TEST_F(DataArrival, SingleEndsAfterItsCount) {
    struct Case {
        const char* name;
        std::uint8_t equivalent;
        int waveformMode;
        int acquireCount;
        int records;
    };
    const Case cases[] = {
        {"sample", 0, 0, 2, 1},
        {"average of 16", 0, 1, 16, 16},
        {"infinite envelope", 0, 2, -1, 512},
        {"equivalent-time", 1, 0, 2, 200},
    };
    for (const Case& c : cases) {
        settings.equivalentActive = c.equivalent;
        settings.waveformMode = c.waveformMode;
        settings.acquireCount = c.acquireCount;
        const auto startsBefore = device.startFlags.size();
        control.A_Single();
        device.status = {7, 10000, 0};
        int records = 0;
        while (settings.runMode == kRunSingle && records < 1000) {
            device.phase = static_cast<std::uint32_t>(records % 100);
            Arrive();
            ++records;
        }
        EXPECT_EQ(records, c.records) << c.name;
        EXPECT_EQ(control.passCount, c.records) << c.name;
        EXPECT_EQ(settings.runMode, kRunStop) << c.name;
        // The first start came from the action, then one per record but the last.
        EXPECT_EQ(device.startFlags.size() - startsBefore, static_cast<std::size_t>(c.records))
            << c.name;
    }
}

TEST_F(DataArrival, FailedRestartReports) {
    control.A_Normal();
    device.status = {7, 10000, 0};
    device.FailNext("Zep9100StartSampling", ZEP9100_ERR_TRANSFER_TIMEOUT);
    Arrive();
    EXPECT_EQ(settings.runMode, kRunStop);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "[ サンプリング開始エラー ]\r\nサンプリングを停止します。");
}

TEST_F(DataArrival, SpectrumAndViewFollowTheRecord) {
    host.spectrumShown = true;
    control.A_Auto();
    host.screenSamples = 5;
    device.status = {7, 10000, 0};
    int recomputes = host.viewRecomputes;
    Arrive();
    EXPECT_EQ(host.spectrumRequests, 1);
    EXPECT_EQ(host.viewRecomputes, recomputes + 1);  // 5 -> 10,000 samples across the screen
    recomputes = host.viewRecomputes;
    Arrive();
    EXPECT_EQ(host.viewRecomputes, recomputes);  // unchanged: nothing to recompute
    EXPECT_EQ(host.zoom, 1.0);
    EXPECT_EQ(control.zoom.zoomSamples, 10000);
    EXPECT_FALSE(host.fftListUpdates.back());
}

}  // namespace
}  // namespace lumatrace
