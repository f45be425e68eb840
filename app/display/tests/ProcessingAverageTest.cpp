#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/display/AverageHistory.h"
#include "app/display/RecordingCanvas.h"
#include "app/display/ViewProcessing.h"
#include "app/display/WaveView.h"
#include "app/platform/testing/RecordingMessageBox.h"
#include "app/settings/InstrumentTypes.h"

namespace lumatrace {
namespace {

class FakeAverageHost : public AverageHost {
  public:
    std::optional<std::uint64_t> available = std::uint64_t{64} << 30;
    int stops = 0;
    std::vector<bool> cursor;  // every change of the wait cursor
    int pollsAllowed = -1;     // < 0: always keep averaging
    int polls = 0;
    testing::RecordingMessageBox box;

    std::optional<std::uint64_t> AvailablePhysicalMemory() override { return available; }
    void StopAcquisition() override { ++stops; }
    MessageBoxService& Messages() override { return box; }
    void SetWaitCursor(bool on) override { cursor.push_back(on); }
    bool KeepAveraging() override {
        ++polls;
        return pollsAllowed < 0 || polls <= pollsAllowed;
    }
};

// The averaging step as first written: N entries per point and channel, all summed again at
// every step. The history must show exactly the same codes.
class LiteralAverage {
  public:
    void Reset(int points, int n) {
        points_ = points;
        n_ = n;
        ch1_.assign(static_cast<std::size_t>(points) * n, 0);
        ch2_.assign(static_cast<std::size_t>(points) * n, 0);
        Restart();
    }
    void Restart() {
        std::fill(ch1_.begin(), ch1_.end(), 0);
        std::fill(ch2_.begin(), ch2_.end(), 0);
        slot_ = 1;
        full_ = false;
    }
    void Step(SampleWord* record, int count) {
        const int divisor = full_ ? n_ : slot_;
        for (int i = 0; i < count; ++i) {
            const SampleWord w = record[i];
            if (w == NoSample)
                continue;
            const std::size_t row = static_cast<std::size_t>(i) * n_;
            ch1_[row + slot_ - 1] = static_cast<std::int32_t>(w & 0x3FF);
            ch2_[row + slot_ - 1] = static_cast<std::int32_t>((w >> 16) & 0x3FF);
            std::int32_t s1 = 0, s2 = 0;
            for (int k = 0; k < n_; ++k) {
                s1 += ch1_[row + k];
                s2 += ch2_[row + k];
            }
            record[i] = (static_cast<SampleWord>((s2 / divisor) & 0x3FF) << 16) |
                        static_cast<SampleWord>((s1 / divisor) & 0x3FF);
        }
        if (++slot_ > n_) {
            slot_ = 1;
            full_ = true;
        }
    }
    int slot_ = 1;
    bool full_ = false;

  private:
    int points_ = 0;
    int n_ = 0;
    std::vector<std::int32_t> ch1_, ch2_;
};

AverageConditions Averaging(int points, int n) {
    AverageConditions c;
    c.running = true;
    c.waveformMode = kWaveformAverage;
    c.memoryPoints = points;
    c.acquireCount = n;
    return c;
}

TEST(ProcessingAverage, BoxcarOverTheLastNRecordsWithTruncation) {
    // N = 4, five records of constant codes: the fifth replaces the first in the ring, so the
    // shown codes are 100, 150, 200, 250 and (200 + 300 + 400 + 500) / 4 = 350.
    FakeAverageHost host;
    AverageHistory history(host);
    bool resize = true;
    ASSERT_TRUE(history.PrepareAverage(Averaging(3, 4), resize));
    EXPECT_FALSE(resize);
    const int ch1[] = {100, 200, 300, 400, 500};
    const int ch2[] = {1, 2, 2, 2, 1023};
    const int shown1[] = {100, 150, 200, 250, 350};
    const int shown2[] = {1, 1, 1, 1, 257};  // 5/3 and 7/4 truncate; (2+2+2+1023)/4 = 257
    for (int k = 0; k < 5; ++k) {
        std::vector<SampleWord> record(3, MakeSampleWord(ch1[k], ch2[k]));
        history.AverageStep(record.data(), 3);
        for (SampleWord w : record)
            EXPECT_EQ(w, MakeSampleWord(shown1[k], shown2[k])) << "record " << k;
    }
    EXPECT_TRUE(history.averageFull);
    EXPECT_EQ(history.averageSlot, 2);
}

TEST(ProcessingAverage, MatchesTheLiteralSumOverRandomRecords) {
    struct Case {
        int points;
        int n;
        int records;
        int noSamplePercent;
        int fullScalePercent = 5;  // records of code 1023 on both channels: the largest sums
    };
    const Case cases[] = {
        {257, 2, 9, 0},
        {257, 4, 13, 10},
        {200, 8, 30, 25},
        {150, 16, 40, 5},
        {128, 32, 70, 0},
        {96, 64, 140, 3},
        {64, 128, 270, 50},
        {40, 256, 530, 2},
        {33, 512, 1100, 1},
        {1, 2, 5, 30},
        {131, 2, 11, 20},
        {67, 64, 150, 2, 90},
        {67, 128, 290, 2, 90},
        {35, 512, 1030, 0, 100},
        // Rings 65..128 deep keep 17-bit sums: full-scale records carry them past 16 bits and
        // back as they leave, with divisors that are and are not powers of two, over enough
        // points for every vector loop and a tail.
        {1000, 128, 300, 1, 60},
        {83, 100, 230, 2, 80},
        {19, 96, 200, 10, 70},
        {77, 65, 140, 0, 100},
    };
    // Every build of the inner loops this machine runs, the plain one included.
    for (int k = 0; k < AverageKernelCount(); ++k) {
        const AverageKernel& kernel = AverageKernelAt(k);
        if (!kernel.supported()) {
            std::cout << "averaging kernel " << kernel.name
                      << " not checked: this CPU cannot run it\n";
            continue;
        }
        SCOPED_TRACE(kernel.name);
        std::mt19937 rng(7);
        // The build present when the history is allocated chooses its layout; each build also
        // steps the layout the widest one chose.
        for (const Case& c : cases) {
            for (const AverageKernel* layout : {&kernel, &BestAverageKernel()}) {
                SCOPED_TRACE(std::string("layout of ") + layout->name);
                FakeAverageHost host;
                AverageHistory history(host);
                history.SetKernel(*layout);
                LiteralAverage literal;
                bool resize = true;
                ASSERT_TRUE(history.PrepareAverage(Averaging(c.points, c.n), resize));
                history.SetKernel(kernel);
                literal.Reset(c.points, c.n);
                std::vector<SampleWord> a(c.points), b(c.points);
                for (int r = 0; r < c.records; ++r) {
                    for (int i = 0; i < c.points; ++i) {
                        const int pick = static_cast<int>(rng() % 100);
                        SampleWord w;
                        if (pick < c.noSamplePercent)
                            w = NoSample;
                        else if (pick < c.noSamplePercent + c.fullScalePercent)
                            w = MakeSampleWord(1023, 1023);  // largest sums
                        else
                            w = MakeSampleWord(static_cast<int>(rng() % 1024),
                                               static_cast<int>(rng() % 1024));
                        // Stray bits outside the codes are not part of the average.
                        if (w != NoSample && rng() % 8 == 0)
                            w |= 0x0400FC00u;
                        a[i] = b[i] = w;
                    }
                    history.AverageStep(a.data(), c.points);
                    literal.Step(b.data(), c.points);
                    ASSERT_EQ(a, b) << "N " << c.n << " record " << r;
                    ASSERT_EQ(history.averageSlot, literal.slot_);
                    ASSERT_EQ(history.averageFull, literal.full_);
                }
            }
        }
    }
}

TEST(ProcessingAverage, TheWidestKernelThisMachineRunsIsTheDefault) {
    FakeAverageHost host;
    AverageHistory history(host);
    int first = 0;
    while (!AverageKernelAt(first).supported())
        ++first;
    EXPECT_EQ(&history.Kernel(), &AverageKernelAt(first));
    // The last build has no vector loops and runs everywhere.
    EXPECT_TRUE(AverageKernelAt(AverageKernelCount() - 1).supported());
}

TEST(ProcessingAverage, PreparationRestartsOrReallocatesTheRing) {
    // Both histories run, then get prepared again: without the resize request the entries are
    // zeroed and the ring restarts; with it, a history of the new N is built.
    std::mt19937 rng(11);
    FakeAverageHost host;
    AverageHistory history(host);
    LiteralAverage literal;
    const int points = 300;
    bool resize = true;
    ASSERT_TRUE(history.PrepareAverage(Averaging(points, 8), resize));
    literal.Reset(points, 8);
    std::vector<SampleWord> a(points), b(points);
    auto run = [&](int records) {
        for (int r = 0; r < records; ++r) {
            for (int i = 0; i < points; ++i) {
                a[i] = b[i] = rng() % 10 == 0 ? NoSample
                                              : MakeSampleWord(static_cast<int>(rng() % 1024),
                                                               static_cast<int>(rng() % 1024));
            }
            history.AverageStep(a.data(), points);
            literal.Step(b.data(), points);
            ASSERT_EQ(a, b);
        }
    };
    run(11);
    resize = false;
    ASSERT_TRUE(history.PrepareAverage(Averaging(points, 8), resize));
    EXPECT_EQ(history.averageSlot, 1);
    EXPECT_FALSE(history.averageFull);
    literal.Restart();
    run(5);
    resize = true;
    ASSERT_TRUE(history.PrepareAverage(Averaging(points, 32), resize));
    EXPECT_EQ(history.Depth(), 32);
    literal.Reset(points, 32);
    run(40);
    // A shorter record than the history: only its points take part.
    resize = true;
    ASSERT_TRUE(history.PrepareAverage(Averaging(points, 2), resize));
    literal.Reset(points, 2);
    for (int r = 0; r < 3; ++r) {
        for (int i = 0; i < points; ++i)
            a[i] = b[i] = MakeSampleWord(static_cast<int>(rng() % 1024), 7);
        history.AverageStep(a.data(), points / 2);
        literal.Step(b.data(), points / 2);
        ASSERT_EQ(a, b);
    }
}

TEST(ProcessingAverage, NoSampleKeepsItsWordAndItsOwnHistory) {
    FakeAverageHost host;
    AverageHistory history(host);
    bool resize = true;
    ASSERT_TRUE(history.PrepareAverage(Averaging(2, 2), resize));
    std::vector<SampleWord> r1 = {MakeSampleWord(100, 10), MakeSampleWord(100, 10)};
    history.AverageStep(r1.data(), 2);
    std::vector<SampleWord> r2 = {NoSample, MakeSampleWord(300, 30)};
    history.AverageStep(r2.data(), 2);
    EXPECT_EQ(r2[0], NoSample);
    EXPECT_EQ(r2[1], MakeSampleWord(200, 20));
    // Point 0 never stored its second record: its slot 2 is still empty when the ring comes
    // round, so the mean over two is (500 + 0) / 2.
    std::vector<SampleWord> r3 = {MakeSampleWord(500, 50), MakeSampleWord(500, 50)};
    history.AverageStep(r3.data(), 2);
    EXPECT_EQ(r3[0], MakeSampleWord(250, 25));
    EXPECT_EQ(r3[1], MakeSampleWord(400, 40));
}

TEST(ProcessingAverage, NoHistoryWhenAveragingIsNotPossible) {
    struct Case {
        const char* name;
        AverageConditions c;
    };
    auto with = [](auto change) {
        AverageConditions c = Averaging(1000, 4);
        change(c);
        return c;
    };
    const Case cases[] = {
        {"stopped", with([](AverageConditions& c) { c.running = false; })},
        {"sample mode", with([](AverageConditions& c) { c.waveformMode = kWaveformSample; })},
        {"envelope", with([](AverageConditions& c) {
             c.waveformMode = kWaveformEnvelope;
             c.acquireCount = 1;
         })},
        {"equivalent-time", with([](AverageConditions& c) { c.equivalentActive = true; })},
        {"roll", with([](AverageConditions& c) { c.rollActive = true; })},
        {"infinite count", with([](AverageConditions& c) { c.acquireCount = -1; })},
    };
    for (const Case& k : cases) {
        FakeAverageHost host;
        AverageHistory history(host);
        bool resize = true;
        EXPECT_TRUE(history.PrepareAverage(k.c, resize)) << k.name;
        EXPECT_FALSE(history.HasData()) << k.name;
        std::vector<SampleWord> record(1000, MakeSampleWord(5, 6));
        history.AverageStep(record.data(), 1000);
        EXPECT_EQ(record, std::vector<SampleWord>(1000, MakeSampleWord(5, 6))) << k.name;
        EXPECT_TRUE(host.box.shown.empty()) << k.name;
    }
    // Equivalent-time showing a real-time record does average.
    FakeAverageHost host;
    AverageHistory history(host);
    AverageConditions c = Averaging(1000, 4);
    c.equivalentActive = c.equivalentAsRealTime = true;
    bool resize = true;
    EXPECT_TRUE(history.PrepareAverage(c, resize));
    EXPECT_TRUE(history.HasData());
}

TEST(ProcessingAverage, MemoryCheckStopsAndReports) {
    const std::uint64_t need = AverageHistory::RequiredBytes(100000, 256);
    EXPECT_EQ(need, std::uint64_t{100000} * 256 * 8);
    struct Case {
        std::optional<std::uint64_t> available;
        bool ok;
    };
    const Case cases[] = {{need, false}, {need - 1, false}, {need + 1, true}, {std::nullopt, true}};
    for (const Case& k : cases) {
        FakeAverageHost host;
        host.available = k.available;
        AverageHistory history(host);
        bool resize = true;
        // A history from before is given up either way.
        ASSERT_TRUE(history.PrepareAverage(Averaging(10, 2), resize));
        resize = false;
        EXPECT_EQ(history.PrepareAverage(Averaging(100000, 256), resize), k.ok);
        EXPECT_EQ(history.HasData(), k.ok);
        if (k.ok) {
            EXPECT_EQ(host.stops, 0);
            EXPECT_TRUE(host.box.shown.empty());
            EXPECT_EQ(history.Points(), 100000);
            continue;
        }
        EXPECT_EQ(host.stops, 1);
        ASSERT_EQ(host.box.shown.size(), 1u);
        EXPECT_EQ(host.box.shown[0].icon, MessageIcon::Error);
        EXPECT_EQ(host.box.shown[0].title, "Lumatrace");
        EXPECT_EQ(host.box.shown[0].text,
                  "[ アベレージ演算エラー ]\r\n波形取り込み回数を変更してください。");
        std::vector<SampleWord> record(100000, MakeSampleWord(1, 2));
        history.AverageStep(record.data(), 100000);
        EXPECT_EQ(record[0], MakeSampleWord(1, 2));
    }
}

TEST(ProcessingAverage, LargeHistoriesAreBuiltUnderTheHourglass) {
    struct Case {
        int points;
        int n;
        bool wait;
    };
    const Case cases[] = {{100000, 512, true},
                          {100000, 256, false},
                          {10000, 512, false},
                          {1000000, 64, true},
                          {1000000, 32, false}};
    for (const Case& k : cases) {
        EXPECT_EQ(AverageHistory::NeedsWaitCursor(k.points, k.n), k.wait);
        FakeAverageHost host;
        AverageHistory history(host);
        bool resize = true;
        ASSERT_TRUE(history.PrepareAverage(Averaging(k.points, k.n), resize));
        const std::vector<bool> expected =
            k.wait ? std::vector<bool>{true, false} : std::vector<bool>{};
        EXPECT_EQ(host.cursor, expected) << k.points << " " << k.n;
        host.cursor.clear();
        history.Shrink();
        EXPECT_FALSE(history.HasData());
        EXPECT_EQ(host.cursor, (std::vector<bool>{true, false}));
    }
}

TEST(ProcessingAverage, StepEndsEarlyWhenAveragingStops) {
    const int points = 2 * AverageHistory::kPollBlock + 10;
    FakeAverageHost host;
    host.pollsAllowed = 0;  // stops at the first poll, after the first block
    AverageHistory history(host);
    bool resize = true;
    ASSERT_TRUE(history.PrepareAverage(Averaging(points, 2), resize));
    std::vector<SampleWord> record(points, MakeSampleWord(100, 100));
    history.AverageStep(record.data(), points);
    std::fill(record.begin(), record.end(), MakeSampleWord(300, 300));
    history.AverageStep(record.data(), points);
    EXPECT_EQ(record[0], MakeSampleWord(200, 200));
    EXPECT_EQ(record[AverageHistory::kPollBlock - 1], MakeSampleWord(200, 200));
    EXPECT_EQ(record[AverageHistory::kPollBlock], MakeSampleWord(300, 300));
    EXPECT_EQ(record[points - 1], MakeSampleWord(300, 300));
    EXPECT_EQ(host.polls, 2);
}

TEST(ProcessingAverage, RedrawAveragesTheRecordOnShowWhileRunningInAverage) {
    auto record = std::make_unique<SampleBuffer>();
    ClearRecord(*record);
    WaveView view;
    RecordingSurfaces surfaces;
    surfaces.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {502, 32}});
    view.SetRecord(record.get());
    FakeAverageHost host;
    ViewProcessing processing(host);
    processing.SetAveragedRecord(record.get());
    view.SetProcessingLayer(&processing);
    ViewSettings s;
    s.formReady = s.displayInitialised = true;
    s.runMode = kRunAuto;
    s.recordSinceStart = s.dataValid = true;
    s.waveformMode = kWaveformAverage;
    s.memoryPoints = 10000;
    bool resize = true;
    ASSERT_TRUE(processing.History().PrepareAverage(Averaging(10000, 2), resize));
    std::fill(record->begin(), record->begin() + 10000, MakeSampleWord(10, 20));
    view.RedrawAll(s, surfaces);
    std::fill(record->begin(), record->begin() + 10000, MakeSampleWord(30, 41));
    view.RedrawAll(s, surfaces);
    EXPECT_EQ((*record)[0], MakeSampleWord(20, 30));
    EXPECT_EQ((*record)[9999], MakeSampleWord(20, 30));
    EXPECT_EQ((*record)[10000], NoSample);
    // Stopped: the record stays as it is.
    s.runMode = kRunStop;
    std::fill(record->begin(), record->begin() + 10000, MakeSampleWord(99, 99));
    view.RedrawAll(s, surfaces);
    EXPECT_EQ((*record)[0], MakeSampleWord(99, 99));
}

}  // namespace
}  // namespace lumatrace
