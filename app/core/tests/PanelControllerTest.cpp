// The instrument's side of the panel handlers over the scripted device, with
// a plain panel state: restored settings are replayed into the mirrors as they
// were stored, whatever the edits still show.
#include <gtest/gtest.h>

#include "app/core/PanelController.h"
#include "app/core/tests/AcquisitionFixture.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {
namespace {

struct Controller : AcquisitionFixture {
    ValueLists lists;
    PanelState panel = DefaultPanelState(lists);
    PanelController controller{panel, settings, control};
};

TEST_F(Controller, ReplayKeepsTheStoredDelayWhateverTheEditReads) {
    // Stored: 1,234 intervals of the 5 us interval of 5 ms/div at 10kPoint.
    settings.trigDelay = 1234;
    panel.List(PanelList::Td) = {lists.TimeDiv(0), 20};
    controller.SetReplaying(true);
    controller.TimeDivChosen(0.0L);  // the edit still reads "0"
    controller.SetReplaying(false);
    EXPECT_EQ(settings.trigDelay, 1234);
    EXPECT_EQ(settings.sampleIntervalNs, 5000);

    // A user's change of T/div converts the delay's time to the new interval.
    panel.List(PanelList::Td).index = 19;  // 2 us interval
    controller.TimeDivChosen(std::nullopt);
    EXPECT_EQ(settings.trigDelay, 3085);  // 6,170,000 ns / 2,000 ns
}

TEST_F(Controller, ReplayKeepsTheStoredPulseWidthUnderItsCondition) {
    settings.pulseWidth = 650;
    panel.Radio(PanelRadio::PulseCond) = 1;
    controller.SetReplaying(true);
    controller.PulseEntered("10", "ns");
    controller.SetReplaying(false);
    EXPECT_EQ(settings.pulseWidth, 650);
    EXPECT_EQ(settings.pulseCondition, 2);
    controller.PulseEntered("15", "ns");
    EXPECT_EQ(settings.pulseWidth, 20);
}

TEST_F(Controller, CouplingIsRememberedForTheSourceThePanelShows) {
    settings.trigCouplingBySource = {1, 0};
    // The replay runs the coupling handler before the source handler.
    panel.List(PanelList::TrigSrc).index = 1;
    panel.List(PanelList::TrigCup).index = 2;
    controller.TrigCouplingChosen();
    controller.TrigSourceChosen();
    EXPECT_EQ(settings.trigCouplingBySource, (std::array<int, 2>{1, 2}));
    panel.List(PanelList::TrigSrc).index = 2;  // EXT remembers nothing
    panel.List(PanelList::TrigCup) = {lists.TrigCoupling(1), 0};
    controller.TrigCouplingChosen();
    EXPECT_EQ(settings.trigCouplingBySource, (std::array<int, 2>{1, 2}));
}

TEST_F(Controller, MemorySizeRunsTheWholeWaveformHandler) {
    panel.List(PanelList::WaveForm).index = kWaveformAverage;
    panel.List(PanelList::Number).index = 3;  // "16"
    panel.List(PanelList::MemSize).index = 1;
    panel.List(PanelList::Td) = {lists.TimeDiv(1), 16};
    controller.MemorySizeChosen(std::nullopt);
    EXPECT_EQ(settings.waveformMode, kWaveformAverage);
    EXPECT_EQ(settings.acquireCount, 16);
    EXPECT_EQ(settings.acquireCountIndex, 3);
    EXPECT_EQ(settings.memoryPoints, 100000);

    panel.List(PanelList::WaveForm).index = kWaveformEnvelope;
    controller.WaveformChosen(true);
    EXPECT_EQ(settings.waveformMode, kWaveformEnvelope);
    EXPECT_EQ(settings.acquireCount, 1);
    panel.List(PanelList::Number).index = 5;
    controller.NumberChosen();
    EXPECT_EQ(settings.acquireCountIndex, 5);
}

TEST_F(Controller, SetInformationTexts) {
    EXPECT_EQ(BandwidthLabelText(0), " FULL");
    EXPECT_EQ(BandwidthLabelText(1), " 20MHz");
    EXPECT_EQ(OnOffLabelText(true), "    ON");
    settings.equivalentActive = 1;
    EXPECT_EQ(SamplingTimeLabelText(settings), "    100ps");
    settings.equivalentActive = 0;
    settings.samplingTimeText = "20ns";
    EXPECT_EQ(SamplingTimeLabelText(settings), "    20ns");
}

}  // namespace
}  // namespace lumatrace
