#include <gtest/gtest.h>

#include "app/core/TraceAssembly.h"
#include "app/core/tests/AcquisitionFixture.h"

namespace lumatrace {
namespace {

TEST(RollReadCount, WholeColumnsOnly) {
    struct Case {
        std::uint32_t waiting;
        int q;
        int n;
        std::uint32_t read;
    };
    const Case cases[] = {
        {50, 22, 10000, 44},
        {21, 22, 10000, 0},
        {22, 22, 10000, 22},
        {50, 0, 10000, 0},
        {2000000, 22, 1000000, 1000000},
        {10000, 22, 10000, 10000},
        {9999, 22, 10000, 9988},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RollReadCount(c.waiting, c.q, c.n), c.read) << c.waiting << "/" << c.q;
    }
}

struct RollMode : AcquisitionFixture {
    void SetUp() override {
        AcquisitionFixture::SetUp();
        settings.rollActive = 1;
        settings.memoryPoints = 10000;
        device.stream = true;
        device.sample = [](std::uint32_t i) { return MakeSampleWord(i % 1024, 7); };
        control.A_Auto();
        host.screenSamples = 10000;
        host.waveWidth = 450;
        host.startPhase = 0.0;
        host.redraws = 0;
        TakeCalls();
    }
};

TEST_F(RollMode, ReadsWholePixelColumnsAndAppendsThem) {
    device.status = {10, 50, 0};
    control.TimerRollTick();
    EXPECT_EQ(device.dataCounts.back(), 44u);  // q = 22: two columns, 6 samples stay
    EXPECT_EQ(WaveBuffer[10000 - 44], device.sample(0));
    EXPECT_EQ(WaveBuffer[9999], device.sample(43));
    EXPECT_EQ(WaveBuffer[10000 - 45], NoSample);
    EXPECT_NEAR(host.startPhase, 0.98, 1e-9);  // 44 x 0.045 = 1.98
    EXPECT_EQ(host.redraws, 1);
    EXPECT_TRUE(control.dataValid);

    // The next tick shifts the record left by the new count.
    device.status = {10, 28, 0};
    control.TimerRollTick();
    EXPECT_EQ(device.dataCounts.back(), 22u);
    EXPECT_EQ(WaveBuffer[10000 - 66], device.sample(0));
    EXPECT_EQ(WaveBuffer[9999 - 22], device.sample(43));
    EXPECT_EQ(WaveBuffer[9999], device.sample(65));
    EXPECT_NEAR(host.startPhase, 0.97, 1e-9);  // 0.98 + 0.99, modulo 1
}

TEST_F(RollMode, FewerThanOneColumnChangesNothing) {
    device.status = {10, 21, 0};
    const SampleWord before = WaveBuffer[9999];
    control.TimerRollTick();
    EXPECT_EQ(TakeCalls(), std::vector<std::string>{"Zep9100GetStatus"});
    EXPECT_EQ(host.redraws, 0);
    EXPECT_EQ(WaveBuffer[9999], before);
    EXPECT_EQ(host.startPhase, 0.0);
}

TEST_F(RollMode, BacklogOfMoreThanARecordReplacesItWhole) {
    settings.memoryPoints = 1000000;
    host.screenSamples = 1000000;
    device.status = {10, 2000000, 0};
    control.TimerRollTick();
    EXPECT_EQ(device.dataCounts.back(), 1000000u);
    EXPECT_EQ(WaveBuffer[0], device.sample(0));
    EXPECT_EQ(WaveBuffer[999999], device.sample(999999));
}

TEST_F(RollMode, GroundAppliesToTheNewSamples) {
    settings.displayCoupling[1] = 2;
    settings.tracePosition[kTraceCh2] = 300;
    device.status = {10, 22, 0};
    control.TimerRollTick();
    EXPECT_EQ(WaveBuffer[9999] >> 16, 410u);  // round(200 x 2.048)
    EXPECT_EQ(WaveBuffer[9999] & 0xFFFFu, device.sample(21) & 0xFFFFu);
}

TEST_F(RollMode, ResetRequestClearsBeforeAppending) {
    WaveBuffer.fill(MakeSampleWord(1, 1));
    control.ResetRequest = true;
    host.spectrumShown = true;
    device.status = {10, 22, 0};
    control.TimerRollTick();
    EXPECT_FALSE(control.ResetRequest);
    EXPECT_EQ(WaveBuffer[0], NoSample);
    EXPECT_EQ(host.spectrumClears, 1);
    EXPECT_EQ(host.spectrumRequests, 1);
}

TEST_F(RollMode, TimerStopsItselfWhenStoppedOrOutOfRoll) {
    settings.rollActive = 0;
    control.TimerRollTick();
    EXPECT_FALSE(host.rollTimer);
    EXPECT_TRUE(TakeCalls().empty());
}

TEST_F(RollMode, FailedStatusReadReports) {
    device.FailNext("Zep9100GetStatus", ZEP9100_ERR_TRANSFER_FAIL);
    control.TimerRollTick();
    EXPECT_EQ(settings.runMode, kRunStop);
    EXPECT_FALSE(host.rollTimer);
    ASSERT_EQ(messages.shown.size(), 1u);
}

}  // namespace
}  // namespace lumatrace
