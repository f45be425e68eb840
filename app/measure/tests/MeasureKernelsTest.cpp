// Every build of the code summary and comparison this machine runs against plain counting and
// comparing, one sample at a time: blocks of one code, of a few neighbouring codes, of two far
// apart, of any codes, with missing halves, and a record long enough to empty the 16-bit
// tables several times. The same for the passes over MATH's scores, which must agree to the
// last bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "app/measure/MeasureKernels.h"

namespace lumatrace {
namespace {

std::vector<SampleWord> RandomWords(std::mt19937& rng, int blocks) {
    std::vector<SampleWord> words(static_cast<std::size_t>(blocks) * kMeasureBlock);
    for (int b = 0; b < blocks; ++b) {
        // Each channel's block holds one code, a few neighbouring ones (up to the top one), two
        // far apart (0 and 1023 among them), or any.
        const int kinds[2] = {static_cast<int>(rng() % 4), static_cast<int>(rng() % 4)};
        int anchors[2];
        int others[2];
        for (int ch = 0; ch < 2; ++ch) {
            anchors[ch] = static_cast<int>(rng() % 1024);
            others[ch] =
                rng() % 3 == 0 ? 1023 - anchors[ch] % 2 * 1023 : static_cast<int>(rng() % 1024);
        }
        const bool withMissing = rng() % 5 == 0;
        for (int k = 0; k < kMeasureBlock; ++k) {
            int code[2];
            for (int ch = 0; ch < 2; ++ch) {
                switch (kinds[ch]) {
                    case 0:
                        code[ch] = anchors[ch];
                        break;
                    case 1:
                        code[ch] = std::min(1023, anchors[ch] + static_cast<int>(rng() % 4));
                        break;
                    case 2:
                        code[ch] = rng() % 2 ? anchors[ch] : others[ch];
                        break;
                    default:
                        code[ch] = static_cast<int>(rng() % 1024);
                        break;
                }
            }
            SampleWord w = MakeSampleWord(code[0], code[1]);
            if (withMissing && rng() % 7 == 0)
                w |= rng() % 3 == 0 ? NoSample : (rng() % 2 ? 0xFFFFu : 0xFFFF0000u);
            words[static_cast<std::size_t>(b) * kMeasureBlock + k] = w;
        }
    }
    return words;
}

TEST(MeasureKernels, EveryBuildCountsAndBoundsLikePlainCounting) {
    for (int index = 0; index < CodeSummaryKernelCount(); ++index) {
        const CodeSummaryKernel& kernel = CodeSummaryKernelAt(index);
        if (!kernel.supported()) {
            std::cout << "code summary kernel " << kernel.name
                      << " not checked: this CPU cannot run it\n";
            continue;
        }
        SCOPED_TRACE(kernel.name);
        std::mt19937 rng(20261210);
        std::vector<std::vector<SampleWord>> records;
        for (int blocks : {1, 2, 37, 500, 9000})
            records.push_back(RandomWords(rng, blocks));
        // Runs of blocks of one code, code 0 among them, with a block of two codes now and
        // then.
        records.emplace_back();
        for (int b = 0; b < 3000; ++b) {
            const int code = (b / 37) % 3 == 0 ? 0 : 300 + (b / 37) % 5;
            for (int k = 0; k < kMeasureBlock; ++k)
                records.back().push_back(
                    MakeSampleWord(b % 101 == 0 && k == 9 ? 1023 : code, 1023 - code));
        }
        // 2^20 samples of blocks of three codes, one of them in all but two samples: counted
        // one at a time, its count outgrows a 16-bit table entry many times over.
        records.emplace_back(std::size_t{1} << 20, MakeSampleWord(3, 1020));
        for (std::size_t i = 0; i < records.back().size(); i += kMeasureBlock) {
            records.back()[i + 5] = MakeSampleWord(500, 40);
            records.back()[i + 60] = MakeSampleWord(1000, 600);
        }
        for (const std::vector<SampleWord>& words : records) {
            const int blocks = static_cast<int>(words.size()) / kMeasureBlock;
            for (int shift : {0, 16}) {
                std::vector<std::uint32_t> want(kCodeCount, 0);
                std::vector<std::uint16_t> wantMin(static_cast<std::size_t>(blocks));
                std::vector<std::uint16_t> wantMax(static_cast<std::size_t>(blocks));
                for (int b = 0; b < blocks; ++b) {
                    int lo = kCodeCount;
                    int hi = -1;
                    for (int k = 0; k < kMeasureBlock; ++k) {
                        const int c = static_cast<int>(
                            (words[static_cast<std::size_t>(b) * kMeasureBlock + k] >> shift) &
                            kCodeMask);
                        ++want[static_cast<std::size_t>(c)];
                        lo = std::min(lo, c);
                        hi = std::max(hi, c);
                    }
                    wantMin[static_cast<std::size_t>(b)] = static_cast<std::uint16_t>(lo);
                    wantMax[static_cast<std::size_t>(b)] = static_cast<std::uint16_t>(hi);
                }
                // The counts are added to what is there.
                std::vector<std::uint32_t> got(kCodeCount, 5);
                for (std::uint32_t& c : want)
                    c += 5;
                std::vector<std::uint16_t> gotMin(static_cast<std::size_t>(blocks));
                std::vector<std::uint16_t> gotMax(static_cast<std::size_t>(blocks));
                kernel.summarise(words.data(), blocks, shift, got.data(), gotMin.data(),
                                 gotMax.data());
                EXPECT_EQ(got, want) << blocks << " blocks, shift " << shift;
                EXPECT_EQ(gotMin, wantMin) << blocks << " blocks, shift " << shift;
                EXPECT_EQ(gotMax, wantMax) << blocks << " blocks, shift " << shift;
            }
        }
    }
}

TEST(MeasureKernels, EveryBuildComparesLikePlainComparison) {
    for (int index = 0; index < CodeSummaryKernelCount(); ++index) {
        const CodeSummaryKernel& kernel = CodeSummaryKernelAt(index);
        if (!kernel.supported()) {
            std::cout << "code comparison kernel " << kernel.name
                      << " not checked: this CPU cannot run it\n";
            continue;
        }
        SCOPED_TRACE(kernel.name);
        std::mt19937 rng(20261211);
        const std::vector<SampleWord> words = RandomWords(rng, 400);
        for (int b = 0; b < 400; ++b) {
            const SampleWord* w = words.data() + static_cast<std::ptrdiff_t>(b) * kMeasureBlock;
            // Thresholds anywhere, the extreme codes among them, and next to this block's codes.
            auto pick = [&] {
                switch (rng() % 4) {
                    case 0:
                        return rng() % 2 ? 0 : 1023;
                    case 1:
                        return static_cast<int>((w[rng() % kMeasureBlock] >> (rng() % 2 * 16)) &
                                                kCodeMask);
                    default:
                        return static_cast<int>(rng() % 1024);
                }
            };
            const CodeThresholds t{pick(), pick(), pick(), pick()};
            for (int shift : {0, 16}) {
                BlockMasks want;
                for (int k = 0; k < kMeasureBlock; ++k) {
                    const int c = static_cast<int>((w[k] >> shift) & kCodeMask);
                    want.low |= std::uint64_t{c <= t.low} << k;
                    want.high |= std::uint64_t{c >= t.high} << k;
                    want.below50 |= std::uint64_t{c <= t.below50} << k;
                    want.above50 |= std::uint64_t{c >= t.above50} << k;
                }
                const BlockMasks got = kernel.compare(w, shift, t);
                const std::string what =
                    "block " + std::to_string(b) + ", shift " + std::to_string(shift) +
                    ", thresholds " + std::to_string(t.low) + " " + std::to_string(t.high) + " " +
                    std::to_string(t.below50) + " " + std::to_string(t.above50);
                ASSERT_EQ(got.low, want.low) << what;
                ASSERT_EQ(got.high, want.high) << what;
                ASSERT_EQ(got.below50, want.below50) << what;
                ASSERT_EQ(got.above50, want.above50) << what;
            }
        }
    }
}

// What the passes over the scores give, as the plain loops work it out one word at a time.
struct ScorePasses {
    std::vector<double> blockMin, blockMax, blockSum;
    ScoreTotals totals;
    std::array<double, kScoreLanes> squares{};
    std::vector<std::uint32_t> counts = std::vector<std::uint32_t>(kCodeCount);
    std::vector<std::int64_t> binSums;  // of the bins in `bins`
};

template <int ShiftA, int ShiftB>
double PlainScore(const ScoreForm& f, SampleWord w) {
    return ScoreOfWord<ShiftA, ShiftB>(f, w);
}

double PlainScoreOf(const ScoreForm& f, int shiftA, int shiftB, SampleWord w) {
    if (shiftA == 0)
        return shiftB == 0 ? PlainScore<0, 0>(f, w) : PlainScore<0, 16>(f, w);
    return shiftB == 0 ? PlainScore<16, 0>(f, w) : PlainScore<16, 16>(f, w);
}

ScorePasses PlainPasses(const std::vector<SampleWord>& words, int shiftA, int shiftB,
                        const ScoreForm& f, double center, double base, int shift,
                        const std::vector<int>& bins) {
    ScorePasses p;
    const int blocks = static_cast<int>(words.size()) / kMeasureBlock;
    for (int b = 0; b < blocks; ++b) {
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        double sum = 0.0;
        for (int k = 0; k < kMeasureBlock; ++k) {
            const double x = PlainScoreOf(f, shiftA, shiftB, words[b * kMeasureBlock + k]);
            if (std::isnan(x)) {
                ++p.counts[0];
                continue;
            }
            lo = std::min(lo, x);
            hi = std::max(hi, x);
            sum += x;
            ++p.totals.count;
            p.squares[k % kScoreLanes] += (x - center) * (x - center);
            ++p.counts[static_cast<std::size_t>(ScoreBin(x, base, std::ldexp(1.0, -shift)))];
        }
        p.blockMin.push_back(lo);
        p.blockMax.push_back(hi);
        p.blockSum.push_back(sum);
        p.totals.lo = std::min(p.totals.lo, lo);
        p.totals.hi = std::max(p.totals.hi, hi);
        p.totals.sum += static_cast<std::int64_t>(sum);
    }
    for (int bin : bins) {
        std::int64_t total = 0;
        for (SampleWord w : words) {
            const double x = PlainScoreOf(f, shiftA, shiftB, w);
            if (!std::isnan(x) && ScoreBin(x, base, std::ldexp(1.0, -shift)) == bin)
                total += static_cast<std::int64_t>(x);
        }
        p.binSums.push_back(total);
    }
    return p;
}

TEST(MeasureKernels, EveryBuildOfTheScorePassesAgreesWithThePlainLoops) {
    std::mt19937 rng(5309);
    const std::vector<SampleWord> words = RandomWords(rng, 700);
    const int blocks = static_cast<int>(words.size()) / kMeasureBlock;
    struct Form {
        const char* name;
        ScoreForm form;
    };
    // A product of two positions' whole numbers, a difference with unequal coefficients, a sum
    // with a grounded operand (coefficients 0).
    const Form forms[] = {
        {"product", {true, 125.0, -64000.0 - 256.0 * 40, 125.0, -64000.0 + 256.0 * 30}},
        {"difference", {false, 125.0 * 3, 3 * -60000.0, -125.0 * 7, -7 * -70000.0}},
        {"sum with a grounded operand", {false, 0.0, 0.0, 125.0 * 20, 20 * -64000.0}},
    };
    for (const Form& form : forms) {
        for (const auto& [shiftA, shiftB] : {std::pair{0, 16}, {16, 0}, {0, 0}, {16, 16}}) {
            // The extremes, as the engine takes them, fix the bins: at most 1,024 of 2^shift.
            ScorePasses first = PlainPasses(words, shiftA, shiftB, form.form, 0.0, 0.0, 60, {});
            const double lo = first.totals.lo;
            const double hi = first.totals.hi;
            int shift = 0;
            while (std::floor(std::ldexp(hi, -shift)) - std::floor(std::ldexp(lo, -shift)) > 1023)
                ++shift;
            const double base = std::ldexp(std::floor(std::ldexp(lo, -shift)), shift);
            const double center = PlainScoreOf(form.form, shiftA, shiftB, words[5]);
            const std::vector<int> bins = {0, 1, 511, 1023};
            const ScorePasses want =
                PlainPasses(words, shiftA, shiftB, form.form, std::isnan(center) ? 0.0 : center,
                            base, shift, bins);
            for (int index = 0; index < ScoreKernelCount(); ++index) {
                const ScoreKernel& kernel = ScoreKernelAt(index);
                if (!kernel.supported())
                    continue;
                const std::string what = std::string(kernel.name) + " " + form.name + " shifts " +
                                         std::to_string(shiftA) + "/" + std::to_string(shiftB);
                ScorePasses got;
                got.blockMin.resize(static_cast<std::size_t>(blocks));
                got.blockMax.resize(static_cast<std::size_t>(blocks));
                got.blockSum.resize(static_cast<std::size_t>(blocks));
                kernel.scores(words.data(), blocks, shiftA, shiftB, form.form,
                              std::isnan(center) ? 0.0 : center, got.blockMin.data(),
                              got.blockMax.data(), got.blockSum.data(), got.totals,
                              got.squares.data());
                kernel.bin(words.data(), blocks, shiftA, shiftB, form.form, got.blockMin.data(),
                           got.blockMax.data(), base, shift, got.counts.data());
                for (int bin : bins)
                    got.binSums.push_back(kernel.sumOfBin(
                        words.data(), blocks, shiftA, shiftB, form.form, got.blockMin.data(),
                        got.blockMax.data(), got.blockSum.data(), base, shift, bin));
                EXPECT_EQ(got.blockMin, want.blockMin) << what;
                EXPECT_EQ(got.blockMax, want.blockMax) << what;
                EXPECT_EQ(got.blockSum, want.blockSum) << what;
                EXPECT_EQ(got.totals.lo, want.totals.lo) << what;
                EXPECT_EQ(got.totals.hi, want.totals.hi) << what;
                EXPECT_EQ(got.totals.count, want.totals.count) << what;
                EXPECT_EQ(got.totals.sum, want.totals.sum) << what;
                for (int lane = 0; lane < kScoreLanes; ++lane)
                    EXPECT_EQ(std::bit_cast<std::uint64_t>(got.squares[lane]),
                              std::bit_cast<std::uint64_t>(want.squares[lane]))
                        << what << " lane " << lane;
                EXPECT_EQ(got.counts, want.counts) << what;
                EXPECT_EQ(got.binSums, want.binSums) << what;
            }
        }
    }
}

TEST(MeasureKernels, SmallScoresAreCountedLikeThePlainLoop) {
    std::mt19937 rng(1931);
    const std::vector<SampleWord> words = RandomWords(rng, 600);
    const int blocks = static_cast<int>(words.size()) / kMeasureBlock;
    // CH1 + CH2, CH1 - CH2, CH2 alone (CH1 grounded), -2 x CH1: fewer than kSmallScores
    // values each.
    const SmallScore scores[] = {
        {1, 1, true, true}, {1, -1, true, true}, {0, 1, true, true}, {-2, 0, true, false}};
    for (const SmallScore& score : scores) {
        const int sMin = (std::min(score.k1, 0) + std::min(score.k2, 0)) * 1023;
        std::vector<std::uint32_t> want(kSmallScores + 1);
        std::vector<std::int16_t> wantMin, wantMax;
        for (int b = 0; b < blocks; ++b) {
            int lo = 32767;
            int hi = -32768;
            for (int k = 0; k < kMeasureBlock; ++k) {
                const SampleWord w = words[static_cast<std::size_t>(b * kMeasureBlock + k)];
                if (score.Missing(w)) {
                    ++want[kSmallScores];
                    continue;
                }
                ++want[static_cast<std::size_t>(score.Of(w) - sMin)];
                lo = std::min(lo, score.Of(w));
                hi = std::max(hi, score.Of(w));
            }
            wantMin.push_back(static_cast<std::int16_t>(lo));
            wantMax.push_back(static_cast<std::int16_t>(hi));
        }
        std::vector<std::uint32_t> got(kSmallScores + 1);
        std::vector<std::int16_t> gotMin(static_cast<std::size_t>(blocks));
        std::vector<std::int16_t> gotMax(static_cast<std::size_t>(blocks));
        CountSmallScores(words.data(), blocks, score.k1, score.k2, score.ch1, score.ch2, sMin,
                         got.data(), gotMin.data(), gotMax.data());
        const std::string what =
            std::to_string(score.k1) + " x CH1 + " + std::to_string(score.k2) + " x CH2";
        EXPECT_EQ(got, want) << what;
        EXPECT_EQ(gotMin, wantMin) << what;
        EXPECT_EQ(gotMax, wantMax) << what;
    }
}

TEST(MeasureKernels, TheWidestBuildThisMachineRunsIsChosen) {
    int first = 0;
    while (!CodeSummaryKernelAt(first).supported())
        ++first;
    EXPECT_EQ(&BestCodeSummaryKernel(), &CodeSummaryKernelAt(first));
    EXPECT_TRUE(CodeSummaryKernelAt(CodeSummaryKernelCount() - 1).supported());
    first = 0;
    while (!ScoreKernelAt(first).supported())
        ++first;
    EXPECT_EQ(&BestScoreKernel(), &ScoreKernelAt(first));
    EXPECT_TRUE(ScoreKernelAt(ScoreKernelCount() - 1).supported());
}

}  // namespace
}  // namespace lumatrace
