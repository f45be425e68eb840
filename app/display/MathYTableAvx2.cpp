// Compiled with -mavx2 and called only after the CPU has been checked: eight words at a time,
// their table entries fetched with one gather.
#include "app/display/MathYTableAvx2.h"

#include <immintrin.h>

#include <algorithm>
#include <limits>

#include "app/display/MathYTable.h"

namespace lumatrace::avx2 {

namespace {

// The smallest lane of `vlo` and the largest of `vhi`, lanes of T.
template <typename T>
inline void Extremes(__m256i vlo, __m256i vhi, T& lo, T& hi) {
    constexpr int kLanes = 32 / sizeof(T);
    alignas(32) T l[kLanes];
    alignas(32) T h[kLanes];
    _mm256_store_si256(reinterpret_cast<__m256i*>(l), vlo);
    _mm256_store_si256(reinterpret_cast<__m256i*>(h), vhi);
    lo = *std::min_element(l, l + kLanes);
    hi = *std::max_element(h, h + kLanes);
}

}  // namespace

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
    Extremes(vlo, vhi, lo, hi);
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
    Extremes(vlo, vhi, lo, hi);
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

namespace {

// The product scores of eight words: four 64-bit lanes for the even words, four for the odd
// ones, and each half's missing words as 64-bit masks.
struct Products {
    __m256i even;
    __m256i odd;
    __m256i missingEven;
    __m256i missingOdd;
};

inline Products ProductsOf(__m256i w, const MathProductScore& p) {
    const __m256i mask = _mm256_set1_epi32(static_cast<int>(kCodeMask));
    const __m256i k = _mm256_set1_epi32(125);
    const __m256i codeA = _mm256_and_si256(_mm256_srl_epi32(w, _mm_cvtsi32_si128(p.shiftA)), mask);
    const __m256i codeB = _mm256_and_si256(_mm256_srl_epi32(w, _mm_cvtsi32_si128(p.shiftB)), mask);
    const __m256i a = _mm256_add_epi32(_mm256_mullo_epi32(codeA, k), _mm256_set1_epi32(p.offsetA));
    const __m256i b = _mm256_add_epi32(_mm256_mullo_epi32(codeB, k), _mm256_set1_epi32(p.offsetB));
    const __m256i missing = _mm256_cmpeq_epi32(w, _mm256_set1_epi32(-1));
    Products r;
    r.even = _mm256_mul_epi32(a, b);
    r.odd = _mm256_mul_epi32(_mm256_srli_epi64(a, 32), _mm256_srli_epi64(b, 32));
    r.missingEven = _mm256_shuffle_epi32(missing, 0xA0);
    r.missingOdd = _mm256_shuffle_epi32(missing, 0xF5);
    return r;
}

inline __m256i Min64(__m256i x, __m256i y) {
    return _mm256_blendv_epi8(x, y, _mm256_cmpgt_epi64(x, y));
}

inline __m256i Max64(__m256i x, __m256i y) {
    return _mm256_blendv_epi8(y, x, _mm256_cmpgt_epi64(x, y));
}

}  // namespace

int MathProductRangeAvx2(const SampleWord* words, int i, int end, const MathProductScore& p,
                         std::int64_t& lo, std::int64_t& hi) {
    if (i + 8 > end)
        return i;
    const __m256i none = _mm256_set1_epi64x(std::numeric_limits<std::int64_t>::max());
    const __m256i noneLow = _mm256_set1_epi64x(std::numeric_limits<std::int64_t>::min());
    __m256i vlo = _mm256_set1_epi64x(lo);
    __m256i vhi = _mm256_set1_epi64x(hi);
    for (; i + 8 <= end; i += 8) {
        const Products r =
            ProductsOf(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i)), p);
        vlo = Min64(vlo, _mm256_blendv_epi8(r.even, none, r.missingEven));
        vlo = Min64(vlo, _mm256_blendv_epi8(r.odd, none, r.missingOdd));
        vhi = Max64(vhi, _mm256_blendv_epi8(r.even, noneLow, r.missingEven));
        vhi = Max64(vhi, _mm256_blendv_epi8(r.odd, noneLow, r.missingOdd));
    }
    Extremes(vlo, vhi, lo, hi);
    return i;
}

int MathProductFindAvx2(const SampleWord* words, int i, int end, const MathProductScore& p,
                        std::int64_t lo, std::int64_t hi) {
    const __m256i vlo = _mm256_set1_epi64x(lo);
    const __m256i vhi = _mm256_set1_epi64x(hi);
    for (; i + 8 <= end; i += 8) {
        const Products r =
            ProductsOf(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(words + i)), p);
        const __m256i even = _mm256_andnot_si256(
            r.missingEven,
            _mm256_or_si256(_mm256_cmpeq_epi64(r.even, vlo), _mm256_cmpeq_epi64(r.even, vhi)));
        const __m256i odd = _mm256_andnot_si256(
            r.missingOdd,
            _mm256_or_si256(_mm256_cmpeq_epi64(r.odd, vlo), _mm256_cmpeq_epi64(r.odd, vhi)));
        const __m256i hit = _mm256_or_si256(even, odd);
        if (!_mm256_testz_si256(hit, hit))
            return i;
    }
    return i;
}

}  // namespace lumatrace::avx2
