#include "app/measure/MeasureKernels.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "app/display/KernelChoice.h"

#if defined(LUMATRACE_MEASURE_AVX2)
#include "app/measure/MeasureKernelsAvx2.h"
#endif
#if defined(LUMATRACE_MEASURE_AVX512)
#include "app/measure/MeasureKernelsAvx512.h"
#endif

namespace lumatrace {

namespace {

#if defined(LUMATRACE_MEASURE_AVX2)
// __builtin_cpu_supports also checks that the OS saves the wider registers.
bool HasAvx2AndPopcnt() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
}
#endif

#if defined(LUMATRACE_MEASURE_AVX512)
bool HasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("bmi2") &&
           __builtin_cpu_supports("popcnt");
}
#endif

#if defined(__SSE2__)
// The smallest of the eight signed 16-bit lanes of mins and the largest of those of maxs.
void Extremes16(__m128i mins, __m128i maxs, int& lo, int& hi) {
    mins = _mm_min_epi16(mins, _mm_srli_si128(mins, 8));
    maxs = _mm_max_epi16(maxs, _mm_srli_si128(maxs, 8));
    mins = _mm_min_epi16(mins, _mm_srli_si128(mins, 4));
    maxs = _mm_max_epi16(maxs, _mm_srli_si128(maxs, 4));
    mins = _mm_min_epi16(mins, _mm_srli_si128(mins, 2));
    maxs = _mm_max_epi16(maxs, _mm_srli_si128(maxs, 2));
    lo = static_cast<std::int16_t>(_mm_extract_epi16(mins, 0));
    hi = static_cast<std::int16_t>(_mm_extract_epi16(maxs, 0));
}
#endif

// The extremes of the codes of one whole block.
template <int Shift>
void BlockExtremes(const SampleWord* w, int& lo, int& hi) {
#if defined(__SSE2__)
    // Two blocks of four words packed into eight 16-bit codes: one signed 16-bit minimum and
    // maximum for eight samples.
    __m128i vmin = _mm_set1_epi16(0x7FFF);
    __m128i vmax = _mm_setzero_si128();
    for (int k = 0; k < kMeasureBlock; k += 8) {
        const __m128i packed = PackedCodes<Shift>(w + k);
        vmin = _mm_min_epi16(vmin, packed);
        vmax = _mm_max_epi16(vmax, packed);
    }
    Extremes16(vmin, vmax, lo, hi);
#else
    lo = kCodeCount;
    hi = -1;
    for (int k = 0; k < kMeasureBlock; ++k) {
        const int c = CodeOf<Shift>(w[k]);
        lo = std::min(lo, c);
        hi = std::max(hi, c);
    }
#endif
}

// How many samples of one whole block hold each of the codes lo .. lo + 3 (the block holds no
// other code). Equal codes are compared eight at a time, which costs less than
// a store per sample when a slow or clean signal moves by a code or two in a block.
template <int Shift>
void CountNarrowBlock(const SampleWord* w, int lo, int (&count)[4]) {
    count[0] = count[1] = count[2] = 0;
#if defined(__SSE2__)
    const __m128i v0 = _mm_set1_epi16(static_cast<short>(lo));
    const __m128i v1 = _mm_set1_epi16(static_cast<short>(lo + 1));
    const __m128i v2 = _mm_set1_epi16(static_cast<short>(lo + 2));
    // Each equal code adds one to its 16-bit lane (at most 8 per lane in a block).
    __m128i n0 = _mm_setzero_si128();
    __m128i n1 = _mm_setzero_si128();
    __m128i n2 = _mm_setzero_si128();
    for (int k = 0; k < kMeasureBlock; k += 8) {
        const __m128i c = PackedCodes<Shift>(w + k);
        n0 = _mm_sub_epi16(n0, _mm_cmpeq_epi16(c, v0));
        n1 = _mm_sub_epi16(n1, _mm_cmpeq_epi16(c, v1));
        n2 = _mm_sub_epi16(n2, _mm_cmpeq_epi16(c, v2));
    }
    auto total = [](__m128i lanes) {
        __m128i sum = _mm_madd_epi16(lanes, _mm_set1_epi16(1));  // four 32-bit sums
        sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 8));
        sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 4));
        return _mm_cvtsi128_si32(sum);
    };
    count[0] = total(n0);
    count[1] = total(n1);
    count[2] = total(n2);
#else
    for (int k = 0; k < kMeasureBlock; ++k) {
        const int d = CodeOf<Shift>(w[k]) - lo;
        if (d < 3)
            ++count[d];
    }
#endif
    count[3] = kMeasureBlock - count[0] - count[1] - count[2];
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
        int lo = 0;
        int hi = 0;
        BlockExtremes<Shift>(w, lo, hi);
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
        if (hi - lo <= 3) {
            int count[4];
            CountNarrowBlock<Shift>(w, lo, count);
            // Codes past hi have no samples; past 1023 they do not exist.
            for (int d = 0; d <= hi - lo; ++d)
                counts[lo + d] += static_cast<std::uint32_t>(count[d]);
            continue;
        }
        tables.CountBlock([w](int k) { return CodeOf<Shift>(w[k]); });
    }
    counts[runCode] += runCount;
}

void SummariseBaseline(const SampleWord* words, int blocks, int shift, std::uint32_t* counts,
                       std::uint16_t* blockMin, std::uint16_t* blockMax) {
    if (shift == 0)
        Summarise<0>(words, blocks, counts, blockMin, blockMax);
    else
        Summarise<16>(words, blocks, counts, blockMin, blockMax);
}

template <int Shift>
BlockMasks Compare(const SampleWord* w, const CodeThresholds& t) {
    BlockMasks m;
#if defined(__SSE2__)
    // a <= x is x + 1 > a, and a >= x is a > x - 1 (no code comes near the 16-bit limits).
    const __m128i low = _mm_set1_epi16(static_cast<short>(t.low + 1));
    const __m128i high = _mm_set1_epi16(static_cast<short>(t.high - 1));
    const __m128i below = _mm_set1_epi16(static_cast<short>(t.below50 + 1));
    const __m128i above = _mm_set1_epi16(static_cast<short>(t.above50 - 1));
    auto bits = [](__m128i x, __m128i y, int k) {
        const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(x, y)));
        return static_cast<std::uint64_t>(m) << k;
    };
    for (int k = 0; k < kMeasureBlock; k += 16) {
        const __m128i c0 = PackedCodes<Shift>(w + k);
        const __m128i c1 = PackedCodes<Shift>(w + k + 8);
        m.low |= bits(_mm_cmpgt_epi16(low, c0), _mm_cmpgt_epi16(low, c1), k);
        m.high |= bits(_mm_cmpgt_epi16(c0, high), _mm_cmpgt_epi16(c1, high), k);
        m.below50 |= bits(_mm_cmpgt_epi16(below, c0), _mm_cmpgt_epi16(below, c1), k);
        m.above50 |= bits(_mm_cmpgt_epi16(c0, above), _mm_cmpgt_epi16(c1, above), k);
    }
#else
    for (int k = 0; k < kMeasureBlock; ++k) {
        const int c = CodeOf<Shift>(w[k]);
        m.low |= static_cast<std::uint64_t>(c <= t.low) << k;
        m.high |= static_cast<std::uint64_t>(c >= t.high) << k;
        m.below50 |= static_cast<std::uint64_t>(c <= t.below50) << k;
        m.above50 |= static_cast<std::uint64_t>(c >= t.above50) << k;
    }
#endif
    return m;
}

BlockMasks CompareBaseline(const SampleWord* words, int shift, const CodeThresholds& t) {
    return shift == 0 ? Compare<0>(words, t) : Compare<16>(words, t);
}

// ---------------------------------------------------------------- MATH scores

#if defined(__SSE2__)
// The scores of words w[0] .. w[3] in two pairs of lanes (NaN where a source is missing), and
// the lanes' missing masks (all ones where missing).
template <int ShiftA, int ShiftB>
struct FourScores {
    __m128d x[2];
    __m128d none[2];

    FourScores(const SampleWord* w, const ScoreForm& f) {
        const __m128i halfMask = _mm_set1_epi32(0xFFFF);
        const __m128i codeMask = _mm_set1_epi32(static_cast<int>(kCodeMask));
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
        const __m128i ha = ShiftA == 0 ? _mm_and_si128(words, halfMask) : _mm_srli_epi32(words, 16);
        const __m128i hb = ShiftB == 0 ? _mm_and_si128(words, halfMask) : _mm_srli_epi32(words, 16);
        const __m128i missing =
            _mm_or_si128(_mm_cmpeq_epi32(ha, halfMask), _mm_cmpeq_epi32(hb, halfMask));
        const __m128i ca = _mm_and_si128(ha, codeMask);
        const __m128i cb = _mm_and_si128(hb, codeMask);
        const __m128d nans = _mm_set1_pd(std::numeric_limits<double>::quiet_NaN());
        for (int h = 0; h < 2; ++h) {
            const __m128i codesA = h == 0 ? ca : _mm_shuffle_epi32(ca, 0xEE);
            const __m128i codesB = h == 0 ? cb : _mm_shuffle_epi32(cb, 0xEE);
            const __m128d ta = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(f.mulA), _mm_cvtepi32_pd(codesA)),
                                          _mm_set1_pd(f.addA));
            const __m128d tb = _mm_add_pd(_mm_mul_pd(_mm_set1_pd(f.mulB), _mm_cvtepi32_pd(codesB)),
                                          _mm_set1_pd(f.addB));
            const __m128d score =
                f.product ? _mm_add_pd(_mm_mul_pd(ta, tb), _mm_setzero_pd()) : _mm_add_pd(ta, tb);
            none[h] = _mm_castsi128_pd(h == 0 ? _mm_unpacklo_epi32(missing, missing)
                                              : _mm_unpackhi_epi32(missing, missing));
            x[h] = _mm_or_pd(_mm_and_pd(none[h], nans), _mm_andnot_pd(none[h], score));
        }
    }
};
#endif

template <int ShiftA, int ShiftB>
void ScoresBaseline(const SampleWord* w, int blocks, const ScoreForm& f, double center,
                    double* blockMin, double* blockMax, double* blockSum, ScoreTotals& totals,
                    double* squares) {
    const double inf = std::numeric_limits<double>::infinity();
#if defined(__SSE2__)
    const __m128d center2 = _mm_set1_pd(center);
    // Lanes 2 q and 2 q + 1 in sq[q].
    __m128d sq[4];
    for (int q = 0; q < 4; ++q)
        sq[q] = _mm_loadu_pd(squares + 2 * q);
#endif
    for (int b = 0; b < blocks; ++b) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        double lo = inf;
        double hi = -inf;
        double sum = 0.0;
        std::uint64_t count = 0;
#if defined(__SSE2__)
        __m128d lo2 = _mm_set1_pd(inf);
        __m128d hi2 = _mm_set1_pd(-inf);
        __m128d sums[2] = {_mm_setzero_pd(), _mm_setzero_pd()};
        int present = 0;
        for (int k = 0; k < kMeasureBlock; k += 4) {
            const FourScores<ShiftA, ShiftB> four(block + k, f);
            for (int h = 0; h < 2; ++h) {
                const __m128d x = four.x[h];
                const __m128d valid =
                    _mm_andnot_pd(four.none[h], _mm_castsi128_pd(_mm_set1_epi32(-1)));
                lo2 = _mm_min_pd(x, lo2);  // keeps its side when x is NaN
                hi2 = _mm_max_pd(x, hi2);
                sums[h] = _mm_add_pd(sums[h], _mm_and_pd(valid, x));
                const __m128d off = _mm_sub_pd(x, center2);
                const int q = (k % 8) / 2 + h;
                sq[q] = _mm_add_pd(sq[q], _mm_and_pd(valid, _mm_mul_pd(off, off)));
                present += std::popcount(static_cast<unsigned>(_mm_movemask_pd(valid)));
            }
        }
        alignas(16) double lanes[2];
        _mm_store_pd(lanes, lo2);
        lo = std::min(lanes[0], lanes[1]);
        _mm_store_pd(lanes, hi2);
        hi = std::max(lanes[0], lanes[1]);
        _mm_store_pd(lanes, _mm_add_pd(sums[0], sums[1]));
        sum = lanes[0] + lanes[1];
        count = static_cast<std::uint64_t>(present);
#else
        double x[kMeasureBlock];
        for (int k = 0; k < kMeasureBlock; ++k)
            x[k] = ScoreOfWord<ShiftA, ShiftB>(f, block[k]);
        TakeScores(x, kMeasureBlock, center, lo, hi, sum, count, squares);
#endif
        blockMin[b] = lo;
        blockMax[b] = hi;
        blockSum[b] = sum;
        totals.lo = std::min(totals.lo, lo);
        totals.hi = std::max(totals.hi, hi);
        totals.sum += static_cast<std::int64_t>(sum);
        totals.count += count;
    }
#if defined(__SSE2__)
    for (int q = 0; q < 4; ++q)
        _mm_storeu_pd(squares + 2 * q, sq[q]);
#endif
}

template <int ShiftA, int ShiftB>
void BinScoresBaseline(const SampleWord* w, int blocks, const ScoreForm& f, const double* blockMin,
                       const double* blockMax, double base, int shift, std::uint32_t* counts) {
    const double perWidth = std::ldexp(1.0, -shift);
#if defined(__SSE2__)
    const __m128d base2 = _mm_set1_pd(base);
    const __m128d perWidth2 = _mm_set1_pd(perWidth);
#endif
    CountScoreBins(blocks, blockMin, blockMax, base, shift, counts, [&](int b, std::int32_t* bins) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        int present = 0;
#if defined(__SSE2__)
        for (int k = 0; k < kMeasureBlock; k += 4) {
            const FourScores<ShiftA, ShiftB> four(block + k, f);
            __m128i two[2];
            for (int h = 0; h < 2; ++h) {
                const __m128d x = four.x[h];
                const __m128d valid = _mm_cmpord_pd(x, x);
                present += std::popcount(static_cast<unsigned>(_mm_movemask_pd(valid)));
                two[h] = _mm_cvttpd_epi32(
                    _mm_and_pd(valid, _mm_mul_pd(_mm_sub_pd(x, base2), perWidth2)));
            }
            if (bins != nullptr)
                _mm_store_si128(reinterpret_cast<__m128i*>(bins + k),
                                _mm_unpacklo_epi64(two[0], two[1]));
        }
#else
                       for (int k = 0; k < kMeasureBlock; ++k) {
                           const double x = ScoreOfWord<ShiftA, ShiftB>(f, block[k]);
                           const bool valid = !std::isnan(x);
                           present += valid ? 1 : 0;
                           if (bins != nullptr)
                               bins[k] = valid ? ScoreBin(x, base, perWidth) : 0;
                       }
#endif
        return present;
    });
}

template <int ShiftA, int ShiftB>
std::int64_t SumOfBinBaseline(const SampleWord* w, int blocks, const ScoreForm& f,
                              const double* blockMin, const double* blockMax,
                              const double* blockSum, double base, int shift, int bin) {
    const double perWidth = std::ldexp(1.0, -shift);
#if defined(__SSE2__)
    // In the bin: bin <= (x - base) / 2^shift < bin + 1.
    const __m128d base2 = _mm_set1_pd(base);
    const __m128d perWidth2 = _mm_set1_pd(perWidth);
    const __m128d from = _mm_set1_pd(bin);
    const __m128d to = _mm_set1_pd(bin + 1.0);
#endif
    return SumScoreBin(blocks, blockMin, blockMax, blockSum, base, shift, bin, [&](int b) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
#if defined(__SSE2__)
        __m128d sum2 = _mm_setzero_pd();
        for (int k = 0; k < kMeasureBlock; k += 4) {
            const FourScores<ShiftA, ShiftB> four(block + k, f);
            for (int h = 0; h < 2; ++h) {
                const __m128d d = _mm_mul_pd(_mm_sub_pd(four.x[h], base2), perWidth2);
                const __m128d in = _mm_and_pd(_mm_cmpge_pd(d, from), _mm_cmplt_pd(d, to));
                sum2 = _mm_add_pd(sum2, _mm_and_pd(in, four.x[h]));
            }
        }
        alignas(16) double lanes[2];
        _mm_store_pd(lanes, sum2);
        return lanes[0] + lanes[1];
#else
        double sum = 0.0;
        for (int k = 0; k < kMeasureBlock; ++k) {
            const double x = ScoreOfWord<ShiftA, ShiftB>(f, block[k]);
            if (!std::isnan(x) && ScoreBin(x, base, perWidth) == bin)
                sum += x;
        }
        return sum;
#endif
    });
}

void ScoresOfBaseline(const SampleWord* w, int blocks, int shiftA, int shiftB, const ScoreForm& f,
                      double center, double* blockMin, double* blockMax, double* blockSum,
                      ScoreTotals& totals, double* squares) {
    WithScoreShape(false, shiftA, shiftB, [&](auto, auto a, auto b) {
        ScoresBaseline<decltype(a)::value, decltype(b)::value>(w, blocks, f, center, blockMin,
                                                               blockMax, blockSum, totals, squares);
    });
}

void BinScoresOfBaseline(const SampleWord* w, int blocks, int shiftA, int shiftB,
                         const ScoreForm& f, const double* blockMin, const double* blockMax,
                         double base, int shift, std::uint32_t* counts) {
    WithScoreShape(false, shiftA, shiftB, [&](auto, auto a, auto b) {
        BinScoresBaseline<decltype(a)::value, decltype(b)::value>(w, blocks, f, blockMin, blockMax,
                                                                  base, shift, counts);
    });
}

std::int64_t SumOfBinOfBaseline(const SampleWord* w, int blocks, int shiftA, int shiftB,
                                const ScoreForm& f, const double* blockMin, const double* blockMax,
                                const double* blockSum, double base, int shift, int bin) {
    return WithScoreShape(false, shiftA, shiftB, [&](auto, auto a, auto b) {
        return SumOfBinBaseline<decltype(a)::value, decltype(b)::value>(
            w, blocks, f, blockMin, blockMax, blockSum, base, shift, bin);
    });
}

template <int ShiftA, int ShiftB>
void ScoresOfBlockBaseline(const SampleWord* w, int count, const ScoreForm& f, double* out) {
    int k = 0;
#if defined(__SSE2__)
    if (count == kMeasureBlock) {
        for (; k < kMeasureBlock; k += 4) {
            const FourScores<ShiftA, ShiftB> four(w + k, f);
            _mm_storeu_pd(out + k, four.x[0]);
            _mm_storeu_pd(out + k + 2, four.x[1]);
        }
    }
#endif
    for (; k < count; ++k)
        out[k] = ScoreOfWord<ShiftA, ShiftB>(f, w[k]);
}

const CodeSummaryKernel kKernels[] = {
#if defined(LUMATRACE_MEASURE_AVX2)
    {"avx2", &HasAvx2AndPopcnt, &avx2::SummariseCodesAvx2, &avx2::CompareCodesAvx2},
#endif
#if defined(__SSE2__)
    {"sse2", &RunsEverywhere, &SummariseBaseline, &CompareBaseline},
#else
    {"plain", &RunsEverywhere, &SummariseBaseline, &CompareBaseline},
#endif
};
constexpr int kKernelCount = static_cast<int>(sizeof(kKernels) / sizeof(kKernels[0]));

}  // namespace

int CodeSummaryKernelCount() {
    return kKernelCount;
}

const CodeSummaryKernel& CodeSummaryKernelAt(int index) {
    return kKernels[index];
}

const CodeSummaryKernel& BestCodeSummaryKernel() {
    static const CodeSummaryKernel& best = WidestSupported(kKernels);
    return best;
}

namespace {

const ScoreKernel kScoreKernels[] = {
#if defined(LUMATRACE_MEASURE_AVX512)
    {"avx512", &HasAvx512, &avx512::ScoresAvx512, &avx512::BinScoresAvx512,
     &avx512::SumOfBinAvx512},
#endif
#if defined(LUMATRACE_MEASURE_AVX2)
    {"avx2", &HasAvx2AndPopcnt, &avx2::ScoresAvx2, &avx2::BinScoresAvx2, &avx2::SumOfBinAvx2},
#endif
#if defined(__SSE2__)
    {"sse2", &RunsEverywhere, &ScoresOfBaseline, &BinScoresOfBaseline, &SumOfBinOfBaseline},
#else
    {"plain", &RunsEverywhere, &ScoresOfBaseline, &BinScoresOfBaseline, &SumOfBinOfBaseline},
#endif
};

}  // namespace

void ScoresOfBlock(const SampleWord* words, int count, int shiftA, int shiftB,
                   const ScoreForm& form, double* out) {
    WithScoreShape(false, shiftA, shiftB, [&](auto, auto a, auto b) {
        ScoresOfBlockBaseline<decltype(a)::value, decltype(b)::value>(words, count, form, out);
    });
}

void CountSmallScores(const SampleWord* words, int blocks, int k1, int k2, bool ch1, bool ch2,
                      int sMin, std::uint32_t* counts, std::int16_t* blockMin,
                      std::int16_t* blockMax) {
    CountTables<kSmallScores + 1, 4> tables(counts);
    alignas(16) std::uint16_t keys[kMeasureBlock];
#if defined(__SSE2__)
    const __m128i codeMask = _mm_set1_epi32(0x03FF03FF);
    const __m128i coefficients = _mm_set1_epi32(static_cast<int>(
        (static_cast<std::uint32_t>(k2) << 16) | (static_cast<std::uint32_t>(k1) & 0xFFFFu)));
    const __m128i halfMask = _mm_set1_epi32(0xFFFF);
    const __m128i first = _mm_set1_epi16(static_cast<short>(sMin));
    const __m128i missingKey = _mm_set1_epi16(kSmallScores);
    const __m128i highest = _mm_set1_epi16(32767);
    const __m128i lowest = _mm_set1_epi16(-32768);
    // The top bits of the halves in use.
    const __m128i topBits =
        _mm_set1_epi32(static_cast<int>((ch1 ? 0x8000u : 0u) | (ch2 ? 0x80000000u : 0u)));
    // Four words: their scores (a multiply-add of the codes' 16-bit halves) and where a source
    // is missing.
    auto four = [&](const SampleWord* w, __m128i& none) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w));
        none = _mm_setzero_si128();
        if (ch1)
            none = _mm_cmpeq_epi32(_mm_and_si128(v, halfMask), halfMask);
        if (ch2)
            none = _mm_or_si128(none, _mm_cmpeq_epi32(_mm_srli_epi32(v, 16), halfMask));
        return _mm_madd_epi16(_mm_and_si128(v, codeMask), coefficients);
    };
#endif
    for (int b = 0; b < blocks; ++b) {
        const SampleWord* w = words + (b << kMeasureBlockShift);
        int lo = 32767;
        int hi = -32768;
        int present = 0;
#if defined(__SSE2__)
        __m128i lo8 = highest;
        __m128i hi8 = lowest;
        // A missing half is all ones: a block where no half it uses has its top bit set has
        // none, and is taken without looking for them.
        __m128i any = _mm_setzero_si128();
        for (int k = 0; k < kMeasureBlock; k += 4)
            any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k)));
        if (_mm_movemask_epi8(_mm_and_si128(any, topBits)) == 0) {
            for (int k = 0; k < kMeasureBlock; k += 8) {
                const __m128i s0 = _mm_madd_epi16(
                    _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k)),
                                  codeMask),
                    coefficients);
                const __m128i s1 = _mm_madd_epi16(
                    _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k + 4)),
                                  codeMask),
                    coefficients);
                const __m128i s = _mm_packs_epi32(s0, s1);  // within +-2047
                _mm_store_si128(reinterpret_cast<__m128i*>(keys + k), _mm_sub_epi16(s, first));
                lo8 = _mm_min_epi16(lo8, s);
                hi8 = _mm_max_epi16(hi8, s);
            }
            present = kMeasureBlock;
        } else {
            __m128i missing = _mm_setzero_si128();
            for (int k = 0; k < kMeasureBlock; k += 8) {
                __m128i none0, none1;
                const __m128i s0 = four(w + k, none0);
                const __m128i s1 = four(w + k + 4, none1);
                const __m128i s = _mm_packs_epi32(s0, s1);  // within +-2047
                const __m128i none = _mm_packs_epi32(none0, none1);
                const __m128i key = _mm_or_si128(_mm_and_si128(none, missingKey),
                                                 _mm_andnot_si128(none, _mm_sub_epi16(s, first)));
                _mm_store_si128(reinterpret_cast<__m128i*>(keys + k), key);
                lo8 = _mm_min_epi16(
                    lo8, _mm_or_si128(_mm_and_si128(none, highest), _mm_andnot_si128(none, s)));
                hi8 = _mm_max_epi16(
                    hi8, _mm_or_si128(_mm_and_si128(none, lowest), _mm_andnot_si128(none, s)));
                missing = _mm_sub_epi16(missing, none);
            }
            // Eight 16-bit counts of at most 8 each: one multiply-add pairs them, two shifts
            // add the rest.
            __m128i total = _mm_madd_epi16(missing, _mm_set1_epi16(1));
            total = _mm_add_epi32(total, _mm_srli_si128(total, 8));
            total = _mm_add_epi32(total, _mm_srli_si128(total, 4));
            present = kMeasureBlock - _mm_cvtsi128_si32(total);
        }
        Extremes16(lo8, hi8, lo, hi);
#else
        const SmallScore score{k1, k2, ch1, ch2};
        for (int k = 0; k < kMeasureBlock; ++k) {
            if (score.Missing(w[k])) {
                keys[k] = kSmallScores;
                continue;
            }
            const int s = score.Of(w[k]);
            keys[k] = static_cast<std::uint16_t>(s - sMin);
            lo = std::min(lo, s);
            hi = std::max(hi, s);
            ++present;
        }
#endif
        blockMin[b] = static_cast<std::int16_t>(lo);
        blockMax[b] = static_cast<std::int16_t>(hi);
        // A block of one score, none missing (a clean signal's flat stretch): counted at once.
        if (lo == hi && present == kMeasureBlock)
            counts[lo - sMin] += kMeasureBlock;
        else
            tables.CountBlock([&](int k) { return keys[k]; });
    }
}

int ScoreKernelCount() {
    return static_cast<int>(sizeof(kScoreKernels) / sizeof(kScoreKernels[0]));
}

const ScoreKernel& ScoreKernelAt(int index) {
    return kScoreKernels[index];
}

const ScoreKernel& BestScoreKernel() {
    static const ScoreKernel& best = WidestSupported(kScoreKernels);
    return best;
}

}  // namespace lumatrace
