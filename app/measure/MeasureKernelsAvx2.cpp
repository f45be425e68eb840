// Compiled with -mavx2 -mpopcnt and called only after the CPU has been checked: a block of 64
// samples as four vectors of sixteen 16-bit codes.
#include "app/measure/MeasureKernelsAvx2.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "app/measure/MeasureKernels.h"

namespace lumatrace::avx2 {

namespace {

// The codes of words w[0] .. w[15] as sixteen 16-bit lanes, in the order packing leaves them
// (the halves of the two loads interleaved): only counts and extremes are taken of them. A
// missing half reads as code 1023.
template <int Shift>
__m256i Codes16(const SampleWord* w) {
    const __m256i mask = _mm256_set1_epi32(static_cast<int>(kCodeMask));
    __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
    __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8));
    if constexpr (Shift != 0) {
        a = _mm256_srli_epi32(a, Shift);
        b = _mm256_srli_epi32(b, Shift);
    }
    return _mm256_packus_epi32(_mm256_and_si256(a, mask), _mm256_and_si256(b, mask));
}

// The smallest and the largest of sixteen unsigned 16-bit lanes, with the one-instruction
// minimum of eight lanes (the largest is the smallest complement).
int Smallest(__m256i v) {
    const __m128i m = _mm_min_epu16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    return _mm_cvtsi128_si32(_mm_minpos_epu16(m)) & 0xFFFF;
}

int Largest(__m256i v) {
    const __m128i m = _mm_max_epu16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    const __m128i complement = _mm_xor_si128(m, _mm_set1_epi32(-1));
    return 0xFFFF - (_mm_cvtsi128_si32(_mm_minpos_epu16(complement)) & 0xFFFF);
}

// How many of the 64 bytes of a and b are all ones.
int CountSet(__m256i a, __m256i b) {
    const std::uint64_t bits =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(a)) |
        (std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(b))} << 32);
    return std::popcount(bits);
}

// How many of the 64 bytes of a and b equal v.
int CountEqual(__m256i a, __m256i b, int v) {
    const __m256i x = _mm256_set1_epi8(static_cast<char>(v));
    return CountSet(_mm256_cmpeq_epi8(a, x), _mm256_cmpeq_epi8(b, x));
}

template <int Shift>
void Summarise(const SampleWord* words, int blocks, std::uint32_t* counts, std::uint16_t* blockMin,
               std::uint16_t* blockMax) {
    CodeTables tables(counts);
    // Blocks of one code in a row are counted together, so that they do not each wait for the
    // count the one before stored.
    int runCode = 0;
    std::uint32_t runCount = 0;
    for (int b = 0; b < blocks; ++b) {
        const SampleWord* w = words + (b << kMeasureBlockShift);
        const __m256i c0 = Codes16<Shift>(w);
        const __m256i c1 = Codes16<Shift>(w + 16);
        const __m256i c2 = Codes16<Shift>(w + 32);
        const __m256i c3 = Codes16<Shift>(w + 48);
        const int lo =
            Smallest(_mm256_min_epu16(_mm256_min_epu16(c0, c1), _mm256_min_epu16(c2, c3)));
        const int hi =
            Largest(_mm256_max_epu16(_mm256_max_epu16(c0, c1), _mm256_max_epu16(c2, c3)));
        blockMin[b] = static_cast<std::uint16_t>(lo);
        blockMax[b] = static_cast<std::uint16_t>(hi);
        if (lo == hi) {
            if (lo != runCode) {
                counts[runCode] += runCount;
                runCode = lo;
                runCount = 0;
            }
            runCount += kMeasureBlock;
            continue;
        }
        // Codes above the smallest as bytes (above 255 they saturate), 32 to a vector.
        const __m256i base = _mm256_set1_epi16(static_cast<short>(lo));
        const __m256i d01 =
            _mm256_packus_epi16(_mm256_sub_epi16(c0, base), _mm256_sub_epi16(c1, base));
        const __m256i d23 =
            _mm256_packus_epi16(_mm256_sub_epi16(c2, base), _mm256_sub_epi16(c3, base));
        const int lowest = CountEqual(d01, d23, 0);
        if (hi - lo <= 3) {
            // A slow or clean signal moving by a code or two: each code's count compared.
            const int second = CountEqual(d01, d23, 1);
            const int third = CountEqual(d01, d23, 2);
            const int count[4] = {lowest, second, third, kMeasureBlock - lowest - second - third};
            // Codes past hi have no samples; past 1023 they do not exist.
            for (int d = 0; d <= hi - lo; ++d)
                counts[lo + d] += static_cast<std::uint32_t>(count[d]);
            continue;
        }
        // A clean square's edge holds its two levels only.
        const __m256i top = _mm256_set1_epi16(static_cast<short>(hi));
        const int highest =
            CountSet(_mm256_packs_epi16(_mm256_cmpeq_epi16(c0, top), _mm256_cmpeq_epi16(c1, top)),
                     _mm256_packs_epi16(_mm256_cmpeq_epi16(c2, top), _mm256_cmpeq_epi16(c3, top)));
        if (lowest + highest == kMeasureBlock) {
            counts[lo] += static_cast<std::uint32_t>(lowest);
            counts[hi] += static_cast<std::uint32_t>(highest);
            continue;
        }
        // Any codes: counted one sample at a time, each read from its word again (taking lanes
        // out of the vectors costs more).
        tables.CountBlock([w](int k) { return CodeOf<Shift>(w[k]); });
    }
    counts[runCode] += runCount;
}

// The 32 bytes of two comparisons of Codes16 vectors (all ones where true) as 32 bits, bit k
// for sample k: packing leaves groups of four samples out of order, one permutation of the
// 32-bit lanes puts them back.
std::uint32_t Bits32(__m256i x, __m256i y) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packs_epi16(x, y), order);
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(bytes));
}

template <int Shift>
BlockMasks Compare(const SampleWord* w, const CodeThresholds& t) {
    const __m256i c0 = Codes16<Shift>(w);
    const __m256i c1 = Codes16<Shift>(w + 16);
    const __m256i c2 = Codes16<Shift>(w + 32);
    const __m256i c3 = Codes16<Shift>(w + 48);
    // a <= x is x + 1 > a, and a >= x is a > x - 1 (no code comes near the 16-bit limits).
    auto atMost = [&](int x) {
        const __m256i v = _mm256_set1_epi16(static_cast<short>(x + 1));
        return Bits32(_mm256_cmpgt_epi16(v, c0), _mm256_cmpgt_epi16(v, c1)) |
               std::uint64_t{Bits32(_mm256_cmpgt_epi16(v, c2), _mm256_cmpgt_epi16(v, c3))} << 32;
    };
    auto atLeast = [&](int x) {
        const __m256i v = _mm256_set1_epi16(static_cast<short>(x - 1));
        return Bits32(_mm256_cmpgt_epi16(c0, v), _mm256_cmpgt_epi16(c1, v)) |
               std::uint64_t{Bits32(_mm256_cmpgt_epi16(c2, v), _mm256_cmpgt_epi16(c3, v))} << 32;
    };
    BlockMasks m;
    m.low = atMost(t.low);
    m.high = atLeast(t.high);
    m.below50 = atMost(t.below50);
    m.above50 = atLeast(t.above50);
    return m;
}

}  // namespace

BlockMasks CompareCodesAvx2(const SampleWord* words, int shift, const CodeThresholds& t) {
    return shift == 0 ? Compare<0>(words, t) : Compare<16>(words, t);
}

void SummariseCodesAvx2(const SampleWord* words, int blocks, int shift, std::uint32_t* counts,
                        std::uint16_t* blockMin, std::uint16_t* blockMax) {
    if (shift == 0)
        Summarise<0>(words, blocks, counts, blockMin, blockMax);
    else
        Summarise<16>(words, blocks, counts, blockMin, blockMax);
}

// ---------------------------------------------------------------- MATH scores

namespace {

// The scores of four words as four doubles, NaN where a source is missing (none all ones).
template <bool Product, int ShiftA, int ShiftB>
class ScoreMaker {
  public:
    explicit ScoreMaker(const ScoreForm& f)
        : mulA_(_mm256_set1_pd(f.mulA)),
          addA_(_mm256_set1_pd(f.addA)),
          mulB_(_mm256_set1_pd(f.mulB)),
          addB_(_mm256_set1_pd(f.addB)) {}

    __m256d Four(const SampleWord* w, __m256d& none) const {
        const __m128i halfMask = _mm_set1_epi32(0xFFFF);
        const __m128i codeMask = _mm_set1_epi32(static_cast<int>(kCodeMask));
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
        const __m128i ha = ShiftA == 0 ? _mm_and_si128(words, halfMask) : _mm_srli_epi32(words, 16);
        const __m128i hb = ShiftB == 0 ? _mm_and_si128(words, halfMask) : _mm_srli_epi32(words, 16);
        const __m128i missing =
            _mm_or_si128(_mm_cmpeq_epi32(ha, halfMask), _mm_cmpeq_epi32(hb, halfMask));
        const __m256d ta = _mm256_add_pd(
            _mm256_mul_pd(mulA_, _mm256_cvtepi32_pd(_mm_and_si128(ha, codeMask))), addA_);
        const __m256d tb = _mm256_add_pd(
            _mm256_mul_pd(mulB_, _mm256_cvtepi32_pd(_mm_and_si128(hb, codeMask))), addB_);
        // A product of +0 and a negative term is -0: +0 stands for every zero score.
        const __m256d score = Product ? _mm256_add_pd(_mm256_mul_pd(ta, tb), _mm256_setzero_pd())
                                      : _mm256_add_pd(ta, tb);
        none = _mm256_castsi256_pd(_mm256_cvtepi32_epi64(missing));
        return _mm256_blendv_pd(score, _mm256_set1_pd(std::numeric_limits<double>::quiet_NaN()),
                                none);
    }

  private:
    __m256d mulA_, addA_, mulB_, addB_;
};

template <bool Product, int ShiftA, int ShiftB>
void Scores(const SampleWord* w, int blocks, const ScoreForm& f, double center, double* blockMin,
            double* blockMax, double* blockSum, ScoreTotals& totals, double* squares) {
    const double inf = std::numeric_limits<double>::infinity();
    const ScoreMaker<Product, ShiftA, ShiftB> maker(f);
    const __m256d center4 = _mm256_set1_pd(center);
    // Lanes 0 .. 3 in sq0, 4 .. 7 in sq1.
    __m256d sq0 = _mm256_loadu_pd(squares);
    __m256d sq1 = _mm256_loadu_pd(squares + 4);
    for (int b = 0; b < blocks; ++b) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        __m256d lo4 = _mm256_set1_pd(inf);
        __m256d hi4 = _mm256_set1_pd(-inf);
        // Two sums, so that an addition does not wait for the one just before: a block's sum
        // is exact in any order.
        __m256d sum0 = _mm256_setzero_pd();
        __m256d sum1 = _mm256_setzero_pd();
        int missing = 0;
        auto take = [&](const SampleWord* at, __m256d& sum, __m256d& sq) {
            __m256d none;
            const __m256d x = maker.Four(at, none);
            lo4 = _mm256_min_pd(x, lo4);  // keeps its side when x is NaN
            hi4 = _mm256_max_pd(x, hi4);
            sum = _mm256_add_pd(sum, _mm256_andnot_pd(none, x));
            const __m256d off = _mm256_sub_pd(x, center4);
            sq = _mm256_add_pd(sq, _mm256_andnot_pd(none, _mm256_mul_pd(off, off)));
            missing += std::popcount(static_cast<unsigned>(_mm256_movemask_pd(none)));
        };
        for (int k = 0; k < kMeasureBlock; k += 8) {
            take(block + k, sum0, sq0);
            take(block + k + 4, sum1, sq1);
        }
        alignas(32) double lanes[4];
        _mm256_store_pd(lanes, lo4);
        const double lo = std::min(std::min(lanes[0], lanes[1]), std::min(lanes[2], lanes[3]));
        _mm256_store_pd(lanes, hi4);
        const double hi = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
        _mm256_store_pd(lanes, _mm256_add_pd(sum0, sum1));
        const double sum = (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
        blockMin[b] = lo;
        blockMax[b] = hi;
        blockSum[b] = sum;
        totals.lo = std::min(totals.lo, lo);
        totals.hi = std::max(totals.hi, hi);
        totals.sum += static_cast<std::int64_t>(sum);
        totals.count += static_cast<std::uint64_t>(kMeasureBlock - missing);
    }
    _mm256_storeu_pd(squares, sq0);
    _mm256_storeu_pd(squares + 4, sq1);
}

template <bool Product, int ShiftA, int ShiftB>
void BinScores(const SampleWord* w, int blocks, const ScoreForm& f, const double* blockMin,
               const double* blockMax, double base, int shift, std::uint32_t* counts) {
    const ScoreMaker<Product, ShiftA, ShiftB> maker(f);
    const __m256d base4 = _mm256_set1_pd(base);
    const __m256d perWidth4 = _mm256_set1_pd(std::ldexp(1.0, -shift));
    CountScoreBins(blocks, blockMin, blockMax, base, shift, counts, [&](int b, std::int32_t* bins) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        int missing = 0;
        for (int k = 0; k < kMeasureBlock; k += 4) {
            __m256d none;
            const __m256d x = maker.Four(block + k, none);
            missing += std::popcount(static_cast<unsigned>(_mm256_movemask_pd(none)));
            if (bins == nullptr)
                continue;
            const __m256d d =
                _mm256_andnot_pd(none, _mm256_mul_pd(_mm256_sub_pd(x, base4), perWidth4));
            _mm_store_si128(reinterpret_cast<__m128i*>(bins + k), _mm256_cvttpd_epi32(d));
        }
        return kMeasureBlock - missing;
    });
}

template <bool Product, int ShiftA, int ShiftB>
std::int64_t SumOfBin(const SampleWord* w, int blocks, const ScoreForm& f, const double* blockMin,
                      const double* blockMax, const double* blockSum, double base, int shift,
                      int bin) {
    const ScoreMaker<Product, ShiftA, ShiftB> maker(f);
    // In the bin: bin <= (x - base) / 2^shift < bin + 1.
    const __m256d base4 = _mm256_set1_pd(base);
    const __m256d perWidth4 = _mm256_set1_pd(std::ldexp(1.0, -shift));
    const __m256d from = _mm256_set1_pd(bin);
    const __m256d to = _mm256_set1_pd(bin + 1.0);
    return SumScoreBin(blocks, blockMin, blockMax, blockSum, base, shift, bin, [&](int b) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        __m256d sum4 = _mm256_setzero_pd();
        for (int k = 0; k < kMeasureBlock; k += 4) {
            __m256d none;
            const __m256d x = maker.Four(block + k, none);
            const __m256d d = _mm256_mul_pd(_mm256_sub_pd(x, base4), perWidth4);
            const __m256d in =
                _mm256_and_pd(_mm256_cmp_pd(d, from, _CMP_GE_OQ), _mm256_cmp_pd(d, to, _CMP_LT_OQ));
            sum4 = _mm256_add_pd(sum4, _mm256_and_pd(in, x));
        }
        alignas(32) double lanes[4];
        _mm256_store_pd(lanes, sum4);
        return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
    });
}

}  // namespace

void ScoresAvx2(const SampleWord* words, int blocks, int shiftA, int shiftB, const ScoreForm& form,
                double center, double* blockMin, double* blockMax, double* blockSum,
                ScoreTotals& totals, double* squares) {
    WithScoreShape(form.product, shiftA, shiftB, [&](auto p, auto a, auto b) {
        Scores<decltype(p)::value, decltype(a)::value, decltype(b)::value>(
            words, blocks, form, center, blockMin, blockMax, blockSum, totals, squares);
    });
}

void BinScoresAvx2(const SampleWord* words, int blocks, int shiftA, int shiftB,
                   const ScoreForm& form, const double* blockMin, const double* blockMax,
                   double base, int shift, std::uint32_t* counts) {
    WithScoreShape(form.product, shiftA, shiftB, [&](auto p, auto a, auto b) {
        BinScores<decltype(p)::value, decltype(a)::value, decltype(b)::value>(
            words, blocks, form, blockMin, blockMax, base, shift, counts);
    });
}

std::int64_t SumOfBinAvx2(const SampleWord* words, int blocks, int shiftA, int shiftB,
                          const ScoreForm& form, const double* blockMin, const double* blockMax,
                          const double* blockSum, double base, int shift, int bin) {
    return WithScoreShape(form.product, shiftA, shiftB, [&](auto p, auto a, auto b) {
        return SumOfBin<decltype(p)::value, decltype(a)::value, decltype(b)::value>(
            words, blocks, form, blockMin, blockMax, blockSum, base, shift, bin);
    });
}

}  // namespace lumatrace::avx2
