// Compiled with -mavx512f -mavx512bw and called only after the CPU has been checked: the
// product scores of sixteen words at a time, with 64-bit minimum, maximum and comparisons that
// AVX2 lacks.
#include "app/display/MathYTableAvx512.h"

#include <immintrin.h>

#include <algorithm>
#include <limits>

// GCC 12's AVX-512 intrinsics start some results from an undefined register, which its flow
// analysis then reports as used before being set once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace lumatrace::avx512 {

namespace {

// The product scores of sixteen words: eight 64-bit lanes for the even words, eight for the odd
// ones, and which of each hold a sample.
struct Products {
    __m512i even;
    __m512i odd;
    __mmask8 validEven;
    __mmask8 validOdd;
};

inline Products ProductsOf(__m512i w, const MathProductScore& p) {
    const __m512i mask = _mm512_set1_epi32(static_cast<int>(kCodeMask));
    const __m512i k = _mm512_set1_epi32(125);
    const __m512i codeA = _mm512_and_si512(_mm512_srl_epi32(w, _mm_cvtsi32_si128(p.shiftA)), mask);
    const __m512i codeB = _mm512_and_si512(_mm512_srl_epi32(w, _mm_cvtsi32_si128(p.shiftB)), mask);
    const __m512i a = _mm512_add_epi32(_mm512_mullo_epi32(codeA, k), _mm512_set1_epi32(p.offsetA));
    const __m512i b = _mm512_add_epi32(_mm512_mullo_epi32(codeB, k), _mm512_set1_epi32(p.offsetB));
    const __m512i none = _mm512_set1_epi64(0xFFFFFFFFLL);
    Products r;
    r.even = _mm512_mul_epi32(a, b);
    r.odd = _mm512_mul_epi32(_mm512_srli_epi64(a, 32), _mm512_srli_epi64(b, 32));
    r.validEven = _mm512_cmpneq_epi64_mask(_mm512_and_si512(w, none), none);
    r.validOdd = _mm512_cmpneq_epi64_mask(_mm512_srli_epi64(w, 32), none);
    return r;
}

}  // namespace

int MathProductRangeAvx512(const SampleWord* words, int i, int end, const MathProductScore& p,
                           std::int64_t& lo, std::int64_t& hi) {
    if (i + 16 > end)
        return i;
    // One register each for the even and the odd words, so that neither waits for the other.
    __m512i loEven = _mm512_set1_epi64(lo);
    __m512i hiEven = _mm512_set1_epi64(hi);
    __m512i loOdd = loEven;
    __m512i hiOdd = hiEven;
    for (; i + 16 <= end; i += 16) {
        const Products r = ProductsOf(_mm512_loadu_si512(words + i), p);
        loEven = _mm512_mask_min_epi64(loEven, r.validEven, loEven, r.even);
        loOdd = _mm512_mask_min_epi64(loOdd, r.validOdd, loOdd, r.odd);
        hiEven = _mm512_mask_max_epi64(hiEven, r.validEven, hiEven, r.even);
        hiOdd = _mm512_mask_max_epi64(hiOdd, r.validOdd, hiOdd, r.odd);
    }
    const __m512i vlo = _mm512_min_epi64(loEven, loOdd);
    const __m512i vhi = _mm512_max_epi64(hiEven, hiOdd);
    lo = _mm512_reduce_min_epi64(vlo);
    hi = _mm512_reduce_max_epi64(vhi);
    return i;
}

int MathProductFindAvx512(const SampleWord* words, int i, int end, const MathProductScore& p,
                          std::int64_t lo, std::int64_t hi) {
    const __m512i vlo = _mm512_set1_epi64(lo);
    const __m512i vhi = _mm512_set1_epi64(hi);
    for (; i + 16 <= end; i += 16) {
        const Products r = ProductsOf(_mm512_loadu_si512(words + i), p);
        const __mmask8 even = _mm512_mask_cmpeq_epi64_mask(r.validEven, r.even, vlo) |
                              _mm512_mask_cmpeq_epi64_mask(r.validEven, r.even, vhi);
        const __mmask8 odd = _mm512_mask_cmpeq_epi64_mask(r.validOdd, r.odd, vlo) |
                             _mm512_mask_cmpeq_epi64_mask(r.validOdd, r.odd, vhi);
        if ((even | odd) != 0)
            return i;
    }
    return i;
}

}  // namespace lumatrace::avx512
