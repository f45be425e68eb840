// Compiled with -mavx2 and called only after the CPU has been checked: sixteen words at a time.
#include <immintrin.h>

#include "app/display/TraceColumns.h"
#include "app/display/TraceColumnsAvx2.h"

namespace lumatrace::avx2 {

void WidenAvx2(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi) {
    std::size_t i = 0;
    if (count >= 16) {
        // As in the baseline build: each word is two 16-bit lanes (CH1 low, CH2 high), so one
        // signed 16-bit min/max handles both channels. Masked, a NoSample word reads as code
        // 1023 in both lanes, which leaves a minimum alone; for the maximum it is zeroed. Two
        // registers each, so that the next words need not wait for the last comparison.
        const __m256i mask = _mm256_set1_epi32(0x03FF03FF);
        const __m256i allOnes = _mm256_set1_epi32(-1);
        __m256i min0 = _mm256_set1_epi32(static_cast<int>(lo));
        __m256i max0 = _mm256_set1_epi32(static_cast<int>(hi));
        __m256i min1 = min0;
        __m256i max1 = max0;
        for (; i + 16 <= count; i += 16) {
            const __m256i w0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
            const __m256i w1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i + 8));
            const __m256i c0 = _mm256_and_si256(w0, mask);
            const __m256i c1 = _mm256_and_si256(w1, mask);
            min0 = _mm256_min_epi16(min0, c0);
            min1 = _mm256_min_epi16(min1, c1);
            max0 = _mm256_max_epi16(max0, _mm256_andnot_si256(_mm256_cmpeq_epi32(w0, allOnes), c0));
            max1 = _mm256_max_epi16(max1, _mm256_andnot_si256(_mm256_cmpeq_epi32(w1, allOnes), c1));
        }
        __m128i vmin = _mm_min_epi16(_mm256_castsi256_si128(_mm256_min_epi16(min0, min1)),
                                     _mm256_extracti128_si256(_mm256_min_epi16(min0, min1), 1));
        __m128i vmax = _mm_max_epi16(_mm256_castsi256_si128(_mm256_max_epi16(max0, max1)),
                                     _mm256_extracti128_si256(_mm256_max_epi16(max0, max1), 1));
        vmin = _mm_min_epi16(vmin, _mm_shuffle_epi32(vmin, _MM_SHUFFLE(1, 0, 3, 2)));
        vmin = _mm_min_epi16(vmin, _mm_shuffle_epi32(vmin, _MM_SHUFFLE(2, 3, 0, 1)));
        vmax = _mm_max_epi16(vmax, _mm_shuffle_epi32(vmax, _MM_SHUFFLE(1, 0, 3, 2)));
        vmax = _mm_max_epi16(vmax, _mm_shuffle_epi32(vmax, _MM_SHUFFLE(2, 3, 0, 1)));
        lo = static_cast<SampleWord>(_mm_cvtsi128_si32(vmin));
        hi = static_cast<SampleWord>(_mm_cvtsi128_si32(vmax));
    }
    WidenCodeRangeBaseline(words + i, count - i, lo, hi);
}

}  // namespace lumatrace::avx2
