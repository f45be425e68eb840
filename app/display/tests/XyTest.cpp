#include <gtest/gtest.h>

#include <memory>
#include <set>

#include "app/display/RecordingCanvas.h"
#include "app/display/WaveView.h"

namespace lumatrace {
namespace {

class DisplayXY : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearRecord(*record);
        view.SetRecord(record.get());
        s.formReady = s.displayInitialised = true;
        s.xyOn = true;
        s.dataValid = true;
        s.memoryPoints = 10000;
        s.runMode = kRunStop;
        s.displayColors[kSlotMath] = 0x00AA00;
    }
    std::vector<Point> Plotted() {
        std::vector<Point> out;
        for (const CanvasOp& op : wave.Ops()) {
            if (op.kind != CanvasOp::Kind::Points)
                continue;
            EXPECT_EQ(op.color, 0x00AA00u);
            out.insert(out.end(), op.points.begin(), op.points.end());
        }
        return out;
    }

    std::unique_ptr<SampleBuffer> record = std::make_unique<SampleBuffer>();
    WaveView view;
    ViewSettings s;
    RecordingCanvas wave{451, 361};
};

TEST_F(DisplayXY, EachDistinctCodePairOfTheWholeRecordIsPaintedOnce) {
    // Pairs repeat, gaps are skipped, and the word past the record is not part of it.
    auto& r = *record;
    r[0] = MakeSampleWord(512, 512);
    r[1] = MakeSampleWord(0, 1023);
    r[2] = NoSample;
    r[3] = MakeSampleWord(512, 512);
    r[7000] = MakeSampleWord(1023, 0);
    r[9999] = MakeSampleWord(0, 1023);
    r[10000] = MakeSampleWord(100, 100);
    view.DrawXY(s, wave);
    const std::vector<Point> expected = {
        {view.CodeToX(512), view.CodeToY(s, 1, 512)},
        {view.CodeToX(0), view.CodeToY(s, 1, 1023)},
        {view.CodeToX(1023), view.CodeToY(s, 1, 0)},
    };
    EXPECT_EQ(Plotted(), expected);
    EXPECT_EQ(expected[0], (Point{225, 180}));
    EXPECT_EQ(XyPlotMap[XyPlotIndex(512, 512)], 1);
    EXPECT_EQ(XyPlotMap[XyPlotIndex(1023, 0)], 1);
    EXPECT_EQ(XyPlotMap[XyPlotIndex(100, 100)], 0);

    // The map is cleared for every plot.
    wave.Reset();
    view.DrawXY(s, wave);
    EXPECT_EQ(Plotted(), expected);
}

TEST_F(DisplayXY, StoppedRecordUsesTheRescaledChannelTwoScale) {
    (*record)[0] = MakeSampleWord(612, 612);
    s.acqVoltsPerDivMv = {100, 100};
    s.voltsPerDivMv = {100, 200};
    view.DrawXY(s, wave);
    EXPECT_EQ(Plotted(), (std::vector<Point>{{268, 158}}));
}

TEST_F(DisplayXY, ManyPairsArriveInBatchesWithoutLoss) {
    std::set<std::pair<int, int>> pairs;
    for (int i = 0; i < 10000; ++i) {
        const int c1 = i % 1024;
        const int c2 = (i + 7 * (i / 1024)) % 1024;
        (*record)[i] = MakeSampleWord(c1, c2);
        pairs.insert({c1, c2});
    }
    view.DrawXY(s, wave);
    EXPECT_EQ(Plotted().size(), pairs.size());
    EXPECT_GT(wave.Ops().size(), 1u);
}

TEST_F(DisplayXY, NothingWithoutARecordOrWithTheMenuItemOff) {
    (*record)[0] = MakeSampleWord(1, 1);
    s.dataValid = false;
    view.DrawXY(s, wave);
    s.dataValid = true;
    s.xyOn = false;
    view.DrawXY(s, wave);
    EXPECT_TRUE(Plotted().empty());
}

}  // namespace
}  // namespace lumatrace
