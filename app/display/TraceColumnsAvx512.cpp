// Compiled with -mavx512f -mavx512bw and called only after the CPU has been checked: 32 words
// at a time.
#include <immintrin.h>

#include "app/display/TraceColumns.h"
#include "app/display/TraceColumnsAvx2.h"

// GCC 12's AVX-512 intrinsics start some results from an undefined register, which its flow
// analysis then reports as used before being set once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace lumatrace::avx512 {

void WidenAvx512(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi) {
    std::size_t i = 0;
    if (count >= 32) {
        // As in the baseline build, each word is two 16-bit lanes (CH1 low, CH2 high) and one
        // signed 16-bit min/max handles both channels; a NoSample word reads as code 1023 in
        // both lanes, which leaves a minimum alone, and is zeroed for the maximum.
        const __m512i mask = _mm512_set1_epi32(0x03FF03FF);
        const __m512i allOnes = _mm512_set1_epi32(-1);
        __m512i min0 = _mm512_set1_epi32(static_cast<int>(lo));
        __m512i max0 = _mm512_set1_epi32(static_cast<int>(hi));
        __m512i min1 = min0;
        __m512i max1 = max0;
        for (; i + 32 <= count; i += 32) {
            const __m512i w0 = _mm512_loadu_si512(words + i);
            const __m512i w1 = _mm512_loadu_si512(words + i + 16);
            const __m512i c0 = _mm512_and_si512(w0, mask);
            const __m512i c1 = _mm512_and_si512(w1, mask);
            min0 = _mm512_min_epi16(min0, c0);
            min1 = _mm512_min_epi16(min1, c1);
            max0 = _mm512_max_epi16(
                max0, _mm512_maskz_mov_epi32(_mm512_cmpneq_epi32_mask(w0, allOnes), c0));
            max1 = _mm512_max_epi16(
                max1, _mm512_maskz_mov_epi32(_mm512_cmpneq_epi32_mask(w1, allOnes), c1));
        }
        const __m512i vmin512 = _mm512_min_epi16(min0, min1);
        const __m512i vmax512 = _mm512_max_epi16(max0, max1);
        const __m256i vmin256 = _mm256_min_epi16(_mm512_castsi512_si256(vmin512),
                                                 _mm512_extracti64x4_epi64(vmin512, 1));
        const __m256i vmax256 = _mm256_max_epi16(_mm512_castsi512_si256(vmax512),
                                                 _mm512_extracti64x4_epi64(vmax512, 1));
        __m128i vmin =
            _mm_min_epi16(_mm256_castsi256_si128(vmin256), _mm256_extracti128_si256(vmin256, 1));
        __m128i vmax =
            _mm_max_epi16(_mm256_castsi256_si128(vmax256), _mm256_extracti128_si256(vmax256, 1));
        vmin = _mm_min_epi16(vmin, _mm_shuffle_epi32(vmin, _MM_SHUFFLE(1, 0, 3, 2)));
        vmin = _mm_min_epi16(vmin, _mm_shuffle_epi32(vmin, _MM_SHUFFLE(2, 3, 0, 1)));
        vmax = _mm_max_epi16(vmax, _mm_shuffle_epi32(vmax, _MM_SHUFFLE(1, 0, 3, 2)));
        vmax = _mm_max_epi16(vmax, _mm_shuffle_epi32(vmax, _MM_SHUFFLE(2, 3, 0, 1)));
        lo = static_cast<SampleWord>(_mm_cvtsi128_si32(vmin));
        hi = static_cast<SampleWord>(_mm_cvtsi128_si32(vmax));
    }
    WidenCodeRangeBaseline(words + i, count - i, lo, hi);
}

}  // namespace lumatrace::avx512
