#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "app/display/SampleWord.h"
#include "app/display/WaveBuffers.h"

namespace lumatrace {
namespace {

TEST(DisplaySampleWords, DecodesBothChannelsFromTheirBits) {
    struct Case {
        SampleWord word;
        int ch1;
        int ch2;
    };
    const Case cases[] = {
        {0x00000000u, 0, 0},    {0x03FF03FFu, 1023, 1023}, {0x02000155u, 0x155, 0x200},
        {0xFC00FC00u, 0, 0},     // bits above the codes are not part of them
        {0x0001FFFFu, 1023, 1},  // a missing CH1 half still decodes as bits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeCode(c.word, ChannelShift(0)), c.ch1) << std::hex << c.word;
        EXPECT_EQ(DecodeCode(c.word, ChannelShift(1)), c.ch2) << std::hex << c.word;
    }
    EXPECT_EQ(MakeSampleWord(0x155, 0x200), 0x02000155u);
}

TEST(DisplaySampleWords, NoSampleIsTheWholeWordAndMissingHalvesArePerChannel) {
    EXPECT_TRUE(IsNoSample(0xFFFFFFFFu));
    EXPECT_FALSE(IsNoSample(0xFFFF019Au));
    struct Case {
        SampleWord word;
        bool ch1Missing;
        bool ch2Missing;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, true, true},   {0xFFFF019Au, false, true},  // CH1 grounded into an empty word
        {0x019AFFFFu, true, false},  {0xFFFE0000u, false, false},  // 0xFFFE0000 is below 0xFFFF0000
        {0x03FF03FFu, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChannelMissing(c.word, 0), c.ch1Missing) << std::hex << c.word;
        EXPECT_EQ(ChannelMissing(c.word, 1), c.ch2Missing) << std::hex << c.word;
    }
}

TEST(DisplaySampleWords, ZeroCodesAndVoltages) {
    EXPECT_DOUBLE_EQ(ZeroCode(250), 512.0);
    EXPECT_DOUBLE_EQ(ZeroCode(0), 1024.0);
    EXPECT_DOUBLE_EQ(ZeroCode(500), 0.0);
    struct Rounded {
        int position;
        int code;
    };
    // (500 - p) * 2.048 rounded: 409.6 -> 410, 1021.952 -> 1022, 51.2 -> 51, 497.664 -> 498.
    const Rounded rounded[] = {{300, 410}, {250, 512}, {1, 1022}, {500, 0}, {475, 51}, {257, 498}};
    for (const Rounded& r : rounded)
        EXPECT_EQ(RoundedZeroCode(r.position), r.code) << r.position;

    // 100 mV/div with a x10 probe: 10 V over the code range.
    const double range = FullScaleMv(100, 10);
    EXPECT_DOUBLE_EQ(range, 10000.0);
    EXPECT_DOUBLE_EQ(CodeToMillivolts(512, 250, range), 0.0);
    EXPECT_DOUBLE_EQ(CodeToMillivolts(1024, 0, range), 0.0);  // position 0: only negative volts
    EXPECT_DOUBLE_EQ(CodeToMillivolts(0, 0, range), -10000.0);
    EXPECT_DOUBLE_EQ(CodeToMillivolts(1023, 250, range), 10000.0 * 511.0 / 1024.0);
}

TEST(DisplaySampleWords, RoundingIsHalfToEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(1.5), 2.0);
    EXPECT_EQ(RoundHalfEven(2.5), 2.0);
    EXPECT_EQ(RoundHalfEven(-0.5), 0.0);
    EXPECT_EQ(RoundHalfEven(-1.5), -2.0);
    EXPECT_EQ(RoundHalfEven(2.4999), 2.0);
    EXPECT_EQ(RoundHalfEven(-2.6), -3.0);
    EXPECT_EQ(RoundHalfEvenDiv(9, 2), 4);
    EXPECT_EQ(RoundHalfEvenDiv(11, 2), 6);
    EXPECT_EQ(RoundHalfEvenDiv(-9, 2), -4);
    EXPECT_EQ(RoundHalfEvenDiv(-7, 3), -2);
    EXPECT_EQ(RoundHalfEvenDiv(450 * 100, 10000), 4);  // 4.5
}

class DisplayBuffers : public ::testing::Test {
  protected:
    std::unique_ptr<SampleBuffer> a = std::make_unique<SampleBuffer>();
    std::unique_ptr<SampleBuffer> b = std::make_unique<SampleBuffer>();
};

TEST_F(DisplayBuffers, EveryBufferHoldsOneWordMoreThanTheLargestRecord) {
    EXPECT_EQ(FetchBuffer.size(), 1000001u);
    EXPECT_EQ(EquBuffer.size(), 1000001u);
    EXPECT_EQ(WaveBuffer.size(), 1000001u);
    EXPECT_EQ(RollScratch.size(), 1000001u);
    EXPECT_EQ(FftInputSnapshot.size(), 1000001u);
    EXPECT_EQ(sizeof(SampleBuffer), 4000004u);
    EXPECT_EQ(XyPlotMap.size(), 1025u * 1025u);
}

TEST_F(DisplayBuffers, ClearAndTakeCoverAllWords) {
    a->fill(0x01230456u);
    ClearRecord(*a);
    EXPECT_EQ((*a)[0], NoSample);
    EXPECT_EQ((*a)[500000], NoSample);
    EXPECT_EQ((*a)[1000000], NoSample);

    for (std::size_t i = 0; i < a->size(); ++i)
        (*a)[i] = static_cast<SampleWord>(i * 7);
    b->fill(0);
    TakeRecord(*a, *b);
    EXPECT_EQ(*a, *b);
    EXPECT_EQ((*b)[1000000], 7000000u);
}

// Clearing skips stretches that are already empty: a lone word anywhere, the last one
// included, is still cleared; the fetched-record copy leaves what the whole copy leaves.
TEST_F(DisplayBuffers, ClearingAndTheFetchedCopyLeaveWhatTheWholeOnesLeave) {
    const std::size_t lone[] = {0, 1023, 1024, 4097, 500000, 999424, 1000000};
    for (std::size_t at : lone) {
        SCOPED_TRACE(at);
        a->fill(NoSample);
        (*a)[at] = 0x00120034u;
        ClearRecord(*a);
        EXPECT_EQ(std::count(a->begin(), a->end(), NoSample), static_cast<long>(a->size()));
    }

    // Below an extent: what lies before it is cleared, and nothing at or past it is written.
    for (std::size_t extent :
         {std::size_t{0}, std::size_t{1}, std::size_t{10000}, std::size_t{1000001}}) {
        SCOPED_TRACE(extent);
        a->fill(0x00120034u);
        ClearRecordBelow(*a, extent);
        EXPECT_EQ(std::count(a->begin(), a->begin() + static_cast<long>(extent), NoSample),
                  static_cast<long>(extent));
        EXPECT_EQ(std::count(a->begin() + static_cast<long>(extent), a->end(), 0x00120034u),
                  static_cast<long>(a->size() - extent));
    }

    // The plain reference: the fetched record and its cleared tail, copied whole. The target
    // holds what the record before left: here and there, up to its extent (the whole buffer
    // when the extent is not known).
    auto reference = std::make_unique<SampleBuffer>();
    struct Case {
        std::size_t words;
        std::size_t extent;
    };
    const Case cases[] = {
        {0, kBufferWords},  {10000, kBufferWords}, {1000000, kBufferWords}, {1000001, kBufferWords},
        {10000, 0},         {10000, 10000},        {10000, 100000},         {100000, 1000000},
        {1000000, 1000000}, {10000, 9000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.words << " words, extent " << c.extent);
        a->fill(NoSample);
        for (std::size_t i = 0; i < c.words; ++i)
            (*a)[i] = static_cast<SampleWord>(i * 3 + 1);
        for (std::size_t i = 0; i < b->size(); ++i)
            (*b)[i] = i % 3000 == 7 && i < c.extent ? static_cast<SampleWord>(i) : NoSample;
        std::memcpy(reference->data(), a->data(), sizeof(SampleBuffer));
        TakeFetchedRecord(*a, c.words, *b, c.extent);
        EXPECT_EQ(*b, *reference);
    }
}

TEST_F(DisplayBuffers, GroundFillWritesTheZeroCodeIntoEveryWordOfTheChannel) {
    // CH1 GND at position 300: round(200 * 2.048) = 410, NoSample words included.
    const SampleWord in[] = {MakeSampleWord(100, 200), NoSample, MakeSampleWord(1023, 0),
                             0xFFFF0000u};
    SampleWord words[4];
    std::copy(std::begin(in), std::end(in), words);
    ApplyGroundCoupling(words, GroundCoupling{{kCouplingGnd, 0}, {300, 250}});
    EXPECT_EQ(words[0], MakeSampleWord(410, 200));
    EXPECT_EQ(words[1], 0xFFFF019Au);  // the CH2 half stays "no sample"
    EXPECT_EQ(words[2], MakeSampleWord(410, 0));
    EXPECT_EQ(words[3], 0xFFFF019Au);

    std::copy(std::begin(in), std::end(in), words);
    ApplyGroundCoupling(words, GroundCoupling{{1, kCouplingGnd}, {300, 250}});
    EXPECT_EQ(words[0], MakeSampleWord(100, 512));
    EXPECT_EQ(words[1], 0x0200FFFFu);
    EXPECT_EQ(words[3], 0x02000000u);

    std::copy(std::begin(in), std::end(in), words);
    ApplyGroundCoupling(words, GroundCoupling{{kCouplingGnd, kCouplingGnd}, {1, 500}});
    for (SampleWord w : words)
        EXPECT_EQ(w, MakeSampleWord(1022, 0));

    std::copy(std::begin(in), std::end(in), words);
    ApplyGroundCoupling(words, GroundCoupling{{0, 1}, {300, 300}});
    EXPECT_TRUE(std::equal(std::begin(in), std::end(in), words));
}

TEST_F(DisplayBuffers, GroundFillOfATenThousandPointRecordLeavesTheRestAlone) {
    ClearRecord(*a);
    for (int i = 0; i < 10000; i += 2)
        (*a)[i] = MakeSampleWord(1, 2);
    ApplyGroundCoupling(std::span<SampleWord>(a->data(), 10000),
                        GroundCoupling{{kCouplingGnd, 0}, {300, 250}});
    EXPECT_EQ((*a)[0], MakeSampleWord(410, 2));
    EXPECT_EQ((*a)[1], 0xFFFF019Au);
    EXPECT_EQ((*a)[9999], 0xFFFF019Au);
    EXPECT_EQ((*a)[10000], NoSample);
    EXPECT_EQ((*a)[1000000], NoSample);
    EXPECT_TRUE(
        std::all_of(a->begin() + 10000, a->end(), [](SampleWord w) { return w == NoSample; }));
}

TEST_F(DisplayBuffers, SpectrumSnapshotNeverSeesAHalfWrittenRecord) {
    // The writer fills whole records with one value under the lock; every snapshot taken
    // meanwhile must hold a single value.
    constexpr int kRecords = 40;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int k = 1; k <= kRecords; ++k) {
            std::lock_guard<std::mutex> lock(WaveBufferMutex);
            a->fill(static_cast<SampleWord>(k));
        }
        done = true;
    });
    int snapshots = 0;
    bool torn = false;
    while (!done || snapshots == 0) {
        SnapshotForSpectrum(*a, *b);
        ++snapshots;
        const SampleWord first = (*b)[0];
        if ((*b)[1000000] != first || (*b)[500000] != first ||
            !std::all_of(b->begin(), b->end(), [first](SampleWord w) { return w == first; })) {
            torn = true;
        }
    }
    writer.join();
    EXPECT_FALSE(torn);
}

}  // namespace
}  // namespace lumatrace
