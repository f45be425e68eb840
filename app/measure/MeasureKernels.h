// The scans over a channel's codes block by block (the summary and the comparison with the
// reference levels) and the two passes over MATH's scores, built for several instruction sets
// and chosen at run time (the program is built for the plain x86-64 baseline), and the helpers
// the engine's other block loops share with them.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/display/SampleWord.h"

namespace lumatrace {

// The engine works on blocks of kMeasureBlock samples: one bit of a 64-bit mask per sample.
inline constexpr int kMeasureBlockShift = 6;
inline constexpr int kMeasureBlock = 1 << kMeasureBlockShift;

template <int Shift>
int CodeOf(SampleWord w) {
    return static_cast<int>((w >> Shift) & kCodeMask);
}

// Whether the half of w holding the channel whose code is at bit Shift is missing.
template <int Shift>
bool MissingIn(SampleWord w) {
    return Shift == 0 ? (w & 0xFFFFu) == 0xFFFFu : w >= 0xFFFF0000u;
}

#if defined(__SSE2__)
// The codes of words w[0] .. w[7] of one channel as eight 16-bit lanes; a missing half reads
// as code 1023.
template <int Shift>
__m128i PackedCodes(const SampleWord* w) {
    const __m128i mask = _mm_set1_epi32(static_cast<int>(kCodeMask));
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 4));
    if constexpr (Shift != 0) {
        a = _mm_srli_epi32(a, Shift);
        b = _mm_srli_epi32(b, Shift);
    }
    return _mm_packs_epi32(_mm_and_si128(a, mask), _mm_and_si128(b, mask));
}
#endif

// Counts of codes (or other small numbers below Entries) one sample at a time, into Tables
// 16-bit tables in turn, so that a run of equal codes does not make each increment wait for the
// one before and the tables stay in the first-level cache; the tables are emptied into 32-bit
// counts before any entry can overflow.
template <int Entries, int Tables>
class CountTables {
  public:
    explicit CountTables(std::uint32_t* counts) : counts_(counts) {}
    CountTables(const CountTables&) = delete;
    CountTables& operator=(const CountTables&) = delete;
    ~CountTables() { Flush(); }

    // Counts the codes of one whole block, given by code(k) for k = 0 .. kMeasureBlock - 1.
    template <typename CodeAt>
    void CountBlock(CodeAt code) {
        for (int k = 0; k < kMeasureBlock; k += Tables) {
            for (int j = 0; j < Tables; ++j)
                ++t_[j][code(k + j)];
        }
        sinceFlush_ += kMeasureBlock;
        if (sinceFlush_ >= kFlushSamples)
            Flush();
    }

  private:
    static constexpr int kFlushSamples = Tables * 32768;  // at most 32,768 counts per entry

    void Flush() {
        for (int c = 0; c < Entries; ++c) {
            std::uint32_t sum = 0;
            for (int j = 0; j < Tables; ++j)
                sum += t_[j][c];
            counts_[c] += sum;
        }
        for (auto& table : t_) {
            for (std::uint16_t& entry : table)
                entry = 0;
        }
        sinceFlush_ = 0;
    }

    std::uint32_t* counts_;
    int sinceFlush_ = 0;
    alignas(64) std::uint16_t t_[Tables][Entries] = {};
};

using CodeTables = CountTables<kCodeCount, 8>;

// The thresholds a block is compared with, as whole codes: at or below `low` (10 %), at or
// above `high` (90 %), at or below `below50` and at or above `above50` (either side of 50 %).
// Each lies within 0 .. 1023.
struct CodeThresholds {
    int low;
    int high;
    int below50;
    int above50;
};

// Bit k of each mask stands for sample w[k] of one block.
struct BlockMasks {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::uint64_t below50 = 0;
    std::uint64_t above50 = 0;
};

// The masks of one whole block of `words` of the channel whose code is at bit `shift` (0 or
// 16) compared with the thresholds; a missing half reads as code 1023.
using CodeCompare = BlockMasks(const SampleWord* words, int shift, const CodeThresholds& t);

// One build of the summary and of the comparison. For the whole blocks 0 .. blocks - 1 of `words`
// (block b is words[64 b] .. words[64 b + 63]) of the channel whose code is at bit `shift` (0 or
// 16): the smallest and the largest code of each block into blockMin[b] and blockMax[b], and each
// sample counted once into counts[code] (1,024 entries, added to). A missing half reads as
// code 1023; the caller counts those apart.
struct CodeSummaryKernel {
    const char* name;
    bool (*supported)();  // whether this CPU and OS can run it
    void (*summarise)(const SampleWord* words, int blocks, int shift, std::uint32_t* counts,
                      std::uint16_t* blockMin, std::uint16_t* blockMax);
    CodeCompare* compare;
};

// Every build compiled in, widest first; the last one runs everywhere.
int CodeSummaryKernelCount();
const CodeSummaryKernel& CodeSummaryKernelAt(int index);
// The widest build this machine runs.
const CodeSummaryKernel& BestCodeSummaryKernel();

// ---------------------------------------------------------------- MATH scores

// A sum, difference or product of the channels as a whole number per word, its score (the
// engine explains why it is whole): termA + termB, or termA x termB for a product, each term
// being mul x code + add of its source's code. The engine uses a form only where every term
// lies within +-(2^31 - 1) and every score within +-2^46, so every step is exact in doubles
// and in 64-bit integers.
struct ScoreForm {
    bool product = false;
    double mulA = 0.0;
    double addA = 0.0;
    double mulB = 0.0;
    double addB = 0.0;
};

// The score of word w, or NaN where a source's half is missing. A product of +0 and a
// negative term is -0: +0 stands for every zero score.
template <int ShiftA, int ShiftB>
double ScoreOfWord(const ScoreForm& f, SampleWord w) {
    if (MissingIn<ShiftA>(w) || MissingIn<ShiftB>(w))
        return std::numeric_limits<double>::quiet_NaN();
    const double ta = f.mulA * CodeOf<ShiftA>(w) + f.addA;
    const double tb = f.mulB * CodeOf<ShiftB>(w) + f.addB;
    return f.product ? ta * tb + 0.0 : ta + tb;
}

// Calls pass(product, shiftA, shiftB) with the operator and the sources' shifts as
// compile-time constants (std::bool_constant, std::integral_constant), so that each build's
// loops are compiled for each case and choose nothing per sample. Each build instantiates it
// with its own lambdas, which stay in its file.
template <typename Pass>
decltype(auto) WithScoreShape(bool product, int shiftA, int shiftB, Pass pass) {
    auto shifts = [&](auto p) -> decltype(auto) {
        using Low = std::integral_constant<int, 0>;
        using High = std::integral_constant<int, 16>;
        if (shiftA == 0 && shiftB == 0)
            return pass(p, Low{}, Low{});
        if (shiftA == 0)
            return pass(p, Low{}, High{});
        if (shiftB == 0)
            return pass(p, High{}, Low{});
        return pass(p, High{}, High{});
    };
    return product ? shifts(std::true_type{}) : shifts(std::false_type{});
}

// The scores of words[0] .. words[count - 1], count at most kMeasureBlock, into out.
void ScoresOfBlock(const SampleWord* words, int count, int shiftA, int shiftB,
                   const ScoreForm& form, double* out);

// What the first pass gathers: the extremes, count and sum of the scores. A block's sum (at
// most 64 scores of at most 2^46, which the engine sees to) is exact in doubles; it is added
// to `sum` as an integer, so the totals do not depend on the order of the additions.
struct ScoreTotals {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    std::uint64_t count = 0;
    std::int64_t sum = 0;
};

// The first pass sums squares in lanes: lane k takes the scores k, k + 8, k + 16, ... of each
// block, in record order, and the lanes are added 0 + 1 + ... + 7 at the end.
inline constexpr int kScoreLanes = 8;

// The histogram of scores has bins 2^k wide, aligned on multiples of 2^k: the bin of score x
// is (x - base) / 2^k rounded down, base being a multiple of 2^k at or below the smallest
// score; perWidth is 2^-k. Both steps are exact in doubles.
inline int ScoreBin(double x, double base, double perWidth) {
    return static_cast<int>((x - base) * perWidth);
}

// The first pass over the scores x[0] .. x[count - 1] of one block (NaN where missing), one at
// a time: their extremes, sum and number into lo, hi, sum and present (added to), their squares
// about center into the lanes of squares. The builds take whole blocks wider; the engine takes
// a gate's last, partial block so.
inline void TakeScores(const double* x, int count, double center, double& lo, double& hi,
                       double& sum, std::uint64_t& present, double* squares) {
    for (int k = 0; k < count; ++k) {
        if (std::isnan(x[k]))
            continue;
        lo = x[k] < lo ? x[k] : lo;
        hi = x[k] > hi ? x[k] : hi;
        sum += x[k];
        squares[k % kScoreLanes] += (x[k] - center) * (x[k] - center);
        ++present;
    }
}

// The histogram pass's walk over whole blocks, the same in every build. A block without a
// score counts kMeasureBlock into counts[0]; a block whose extremes lie in one bin counts its
// scores there and its missing ones in counts[0]; any other block is counted score by score
// from the bins that keys(b, bins) writes (a missing score's bin 0). keys returns how many
// scores of block b are present; when bins is null it writes nothing.
template <typename Keys>
void CountScoreBins(int blocks, const double* blockMin, const double* blockMax, double base,
                    int shift, std::uint32_t* counts, Keys keys) {
    const double perWidth = std::ldexp(1.0, -shift);
    CodeTables tables(counts);
    alignas(64) std::int32_t bins[kMeasureBlock];
    for (int b = 0; b < blocks; ++b) {
        if (!(blockMin[b] <= blockMax[b])) {
            counts[0] += kMeasureBlock;
            continue;
        }
        const int bin = ScoreBin(blockMin[b], base, perWidth);
        if (bin == ScoreBin(blockMax[b], base, perWidth)) {
            const int present = keys(b, static_cast<std::int32_t*>(nullptr));
            counts[bin] += static_cast<std::uint32_t>(present);
            counts[0] += static_cast<std::uint32_t>(kMeasureBlock - present);
        } else {
            keys(b, bins);
            // The bins go through memory: counting reads them one at a time, which costs less
            // than taking each out of a vector register, as a compiler would otherwise do.
            asm volatile("" : : : "memory");
            tables.CountBlock([&](int k) { return bins[k]; });
        }
    }
}

// The walk of the sum of one bin over whole blocks, the same in every build: a block within
// the bin adds its sum, a block reaching into it what across(b) sums of its scores in the bin
// (at most 64 scores: exact in doubles, added as an integer).
template <typename Across>
std::int64_t SumScoreBin(int blocks, const double* blockMin, const double* blockMax,
                         const double* blockSum, double base, int shift, int bin, Across across) {
    const double perWidth = std::ldexp(1.0, -shift);
    std::int64_t total = 0;
    for (int b = 0; b < blocks; ++b) {
        if (!(blockMin[b] <= blockMax[b]))
            continue;
        const int lowest = ScoreBin(blockMin[b], base, perWidth);
        const int highest = ScoreBin(blockMax[b], base, perWidth);
        if (lowest > bin || highest < bin)
            continue;
        total += static_cast<std::int64_t>(lowest == highest ? blockSum[b] : across(b));
    }
    return total;
}

// One build of the passes over the scores of whole blocks (block b is words[64 b] ..
// words[64 b + 63]); the sources' codes are at bits shiftA and shiftB (0 or 16).
struct ScoreKernel {
    const char* name;
    bool (*supported)();
    // The extremes of each block's scores into blockMin[b] and blockMax[b] (+inf and -inf for
    // a block without one) and their sum into blockSum[b]; the extremes, count and sum of them
    // all into totals, and (x - center)^2 of each score x into its lane of squares (kScoreLanes
    // of them); both added to. center is a score.
    void (*scores)(const SampleWord* words, int blocks, int shiftA, int shiftB,
                   const ScoreForm& form, double center, double* blockMin, double* blockMax,
                   double* blockSum, ScoreTotals& totals, double* squares);
    // Each score counted once into counts[ScoreBin(x, base, 2^-shift)] (added to; the scores'
    // bins lie within 0 .. 1023), a missing one into counts[0]. The blocks' extremes are the
    // first pass's: a block within one bin is counted whole.
    void (*bin)(const SampleWord* words, int blocks, int shiftA, int shiftB, const ScoreForm& form,
                const double* blockMin, const double* blockMax, double base, int shift,
                std::uint32_t* counts);
    // The sum of the scores in bin `bin`, from the first pass's extremes and sums of the
    // blocks: a block within the bin by its sum, a block reaching into it score by score.
    std::int64_t (*sumOfBin)(const SampleWord* words, int blocks, int shiftA, int shiftB,
                             const ScoreForm& form, const double* blockMin, const double* blockMax,
                             const double* blockSum, double base, int shift, int bin);
};

// Sums and differences whose scores s = k1 x code1 + k2 x code2 (code1 and code2 the channels'
// codes) have small whole k take fewer than kSmallScores values: their histogram is kept by s
// itself, in one pass.
inline constexpr int kSmallScores = 2048;

// The small score of a word, and whether it misses a source it uses.
struct SmallScore {
    int k1;
    int k2;
    bool ch1;  // uses CH1
    bool ch2;

    bool Missing(SampleWord w) const {
        return (ch1 && (w & 0xFFFFu) == 0xFFFFu) || (ch2 && (w >> 16) == 0xFFFFu);
    }
    int Of(SampleWord w) const {
        return k1 * static_cast<int>(w & kCodeMask) + k2 * static_cast<int>((w >> 16) & kCodeMask);
    }
};

// For whole blocks: each word counted into counts[s - sMin] (kSmallScores entries and one more,
// added to), a word missing a source it uses (ch1, ch2) into counts[kSmallScores]; and the
// extremes of each block's s into blockMin[b] and blockMax[b] (32767 and -32768 for a block
// without one). s - sMin lies within 0 .. kSmallScores - 1.
void CountSmallScores(const SampleWord* words, int blocks, int k1, int k2, bool ch1, bool ch2,
                      int sMin, std::uint32_t* counts, std::int16_t* blockMin,
                      std::int16_t* blockMax);

// Every build compiled in, widest first; the last one runs everywhere. Every build gives the
// same results to the last bit.
int ScoreKernelCount();
const ScoreKernel& ScoreKernelAt(int index);
const ScoreKernel& BestScoreKernel();

}  // namespace lumatrace
