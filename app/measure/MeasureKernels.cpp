#include "app/measure/MeasureKernels.h"

#include <algorithm>

#include "app/display/KernelChoice.h"

#if defined(LUMATRACE_MEASURE_AVX2)
#include "app/measure/MeasureKernelsAvx2.h"
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
    vmin = _mm_min_epi16(vmin, _mm_srli_si128(vmin, 8));
    vmax = _mm_max_epi16(vmax, _mm_srli_si128(vmax, 8));
    vmin = _mm_min_epi16(vmin, _mm_srli_si128(vmin, 4));
    vmax = _mm_max_epi16(vmax, _mm_srli_si128(vmax, 4));
    vmin = _mm_min_epi16(vmin, _mm_srli_si128(vmin, 2));
    vmax = _mm_max_epi16(vmax, _mm_srli_si128(vmax, 2));
    lo = _mm_extract_epi16(vmin, 0);
    hi = _mm_extract_epi16(vmax, 0);
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

}  // namespace lumatrace
