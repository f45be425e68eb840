// Compiled with -mavx2 and called only after the CPU has been checked: eight words at a time,
// their table entries fetched with one gather.
#include "app/display/MathYTableAvx2.h"

#include <immintrin.h>

#include <algorithm>
#include <limits>

#include "app/display/MathYTable.h"

namespace lumatrace::avx2 {

int MathRangeAvx2(const std::int16_t* table, const SampleWord* words, int i, int end, int& lo,
                  int& hi) {
    if (i + 8 > end)
        return i;
    const __m256i allOnes = _mm256_set1_epi32(-1);
    const __m256i ch1 = _mm256_set1_epi32(static_cast<int>(kCodeMask));
    const __m256i ch2 = _mm256_set1_epi32(static_cast<int>(kCodeMask << 10));
    const __m256i outOfRange = _mm256_set1_epi32(MathYTable::kOutOfRange);
    const __m256i none = _mm256_set1_epi32(std::numeric_limits<int>::max());
    __m256i vlo = _mm256_set1_epi32(lo);
    __m256i vhi = _mm256_set1_epi32(hi);
    for (; i + 8 <= end; i += 8) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
        const __m256i missing = _mm256_cmpeq_epi32(w, allOnes);
        const __m256i index = _mm256_or_si256(_mm256_and_si256(w, ch1),
                                              _mm256_and_si256(_mm256_srli_epi32(w, 6), ch2));
        // 32 bits from each entry's address (the table has one spare entry at its end); the
        // entry is the low half.
        __m256i y = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table), index, 2);
        y = _mm256_srai_epi32(_mm256_slli_epi32(y, 16), 16);
        const __m256i off = _mm256_andnot_si256(missing, _mm256_cmpeq_epi32(y, outOfRange));
        if (!_mm256_testz_si256(off, off))
            break;
        vlo = _mm256_min_epi32(vlo, _mm256_blendv_epi8(y, none, missing));
        vhi =
            _mm256_max_epi32(vhi, _mm256_blendv_epi8(y, _mm256_xor_si256(none, allOnes), missing));
    }
    alignas(32) int l[8];
    alignas(32) int h[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(l), vlo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(h), vhi);
    lo = *std::min_element(l, l + 8);
    hi = *std::max_element(h, h + 8);
    return i;
}

namespace {

// Scores of eight words as 32-bit lanes: one multiply-add of the masked codes (CH1 low half,
// CH2 high half) with the coefficients laid out the same way.
inline __m256i Scores(__m256i w, __m256i coefficients) {
    const __m256i codes = _mm256_and_si256(w, _mm256_set1_epi32(0x03FF03FF));
    return _mm256_madd_epi16(codes, coefficients);
}

}  // namespace

int MathScoreRangeAvx2(const SampleWord* words, int i, int end, std::uint32_t coefficients, int& lo,
                       int& hi) {
    if (i + 8 > end)
        return i;
    const __m256i allOnes = _mm256_set1_epi32(-1);
    const __m256i k = _mm256_set1_epi32(static_cast<int>(coefficients));
    const __m256i none = _mm256_set1_epi32(std::numeric_limits<int>::max());
    const __m256i noneLow = _mm256_set1_epi32(std::numeric_limits<int>::min());
    __m256i vlo = _mm256_set1_epi32(lo);
    __m256i vhi = _mm256_set1_epi32(hi);
    for (; i + 8 <= end; i += 8) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
        const __m256i missing = _mm256_cmpeq_epi32(w, allOnes);
        const __m256i score = Scores(w, k);
        vlo = _mm256_min_epi32(vlo, _mm256_blendv_epi8(score, none, missing));
        vhi = _mm256_max_epi32(vhi, _mm256_blendv_epi8(score, noneLow, missing));
    }
    alignas(32) int l[8];
    alignas(32) int h[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(l), vlo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(h), vhi);
    lo = *std::min_element(l, l + 8);
    hi = *std::max_element(h, h + 8);
    return i;
}

int MathScoreFindAvx2(const SampleWord* words, int i, int end, std::uint32_t coefficients, int lo,
                      int hi) {
    const __m256i allOnes = _mm256_set1_epi32(-1);
    const __m256i k = _mm256_set1_epi32(static_cast<int>(coefficients));
    const __m256i vlo = _mm256_set1_epi32(lo);
    const __m256i vhi = _mm256_set1_epi32(hi);
    for (; i + 8 <= end; i += 8) {
        const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i));
        const __m256i score = Scores(w, k);
        const __m256i hit = _mm256_andnot_si256(
            _mm256_cmpeq_epi32(w, allOnes),
            _mm256_or_si256(_mm256_cmpeq_epi32(score, vlo), _mm256_cmpeq_epi32(score, vhi)));
        if (!_mm256_testz_si256(hit, hit))
            return i;
    }
    return i;
}

}  // namespace lumatrace::avx2
