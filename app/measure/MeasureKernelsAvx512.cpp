// Compiled with AVX-512 F, BW and DQ and called only after the CPU has been checked. The
// scores are worked out in integers, sixteen words at a time: the terms in 32-bit lanes, the
// scores in two vectors of eight 64-bit lanes (words 0 .. 7 and 8 .. 15), exact; they become
// doubles, exactly, only where the bins and squares need them.
#include "app/measure/MeasureKernelsAvx512.h"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

// GCC 12's AVX-512 intrinsics start some results from an undefined register, which its flow
// analysis then reports as used before being set once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace lumatrace::avx512 {

namespace {

template <bool Product, int ShiftA, int ShiftB>
class ScoreMaker {
  public:
    // The form's coefficients are whole numbers whose terms fit 32 bits (the engine's check).
    explicit ScoreMaker(const ScoreForm& f)
        : mulA_(_mm512_set1_epi32(static_cast<int>(f.mulA))),
          addA_(_mm512_set1_epi32(static_cast<int>(f.addA))),
          mulB_(_mm512_set1_epi32(static_cast<int>(f.mulB))),
          addB_(_mm512_set1_epi32(static_cast<int>(f.addB))),
          narrow_(std::fabs(f.mulA) <= 32767.0 && std::fabs(f.mulB) <= 32767.0) {}

    // The scores of words w[0] .. w[15]: of w[0] .. w[7] into low, of w[8] .. w[15] into high;
    // bit k of the result is set where word k has both sources.
    __mmask16 Sixteen(const SampleWord* w, __m512i& low, __m512i& high) const {
        __m512i ta, tb;
        const __mmask16 present = Terms(w, ta, tb);
        const __m512i taLow = _mm512_cvtepi32_epi64(_mm512_castsi512_si256(ta));
        const __m512i taHigh = _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(ta, 1));
        const __m512i tbLow = _mm512_cvtepi32_epi64(_mm512_castsi512_si256(tb));
        const __m512i tbHigh = _mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(tb, 1));
        // The signed product of the low 32 bits of each 64-bit lane: the whole of a term.
        low = Product ? _mm512_mul_epi32(taLow, tbLow) : _mm512_add_epi64(taLow, tbLow);
        high = Product ? _mm512_mul_epi32(taHigh, tbHigh) : _mm512_add_epi64(taHigh, tbHigh);
        return present;
    }

    // The same scores, for passes that do not care for their order: of the even words into
    // even, of the odd ones into odd, with their masks.
    void EvenOdd(const SampleWord* w, __m512i& even, __mmask8& evenPresent, __m512i& odd,
                 __mmask8& oddPresent) const {
        __m512i ta, tb;
        const unsigned present = Terms(w, ta, tb);
        evenPresent = static_cast<__mmask8>(_pext_u32(present, 0x5555u));
        oddPresent = static_cast<__mmask8>(_pext_u32(present, 0xAAAAu));
        if constexpr (Product) {
            // The signed product of the low 32 bits of each 64-bit lane: the even terms, and
            // after a shift the odd ones.
            even = _mm512_mul_epi32(ta, tb);
            odd = _mm512_mul_epi32(_mm512_srli_epi64(ta, 32), _mm512_srli_epi64(tb, 32));
        } else {
            auto lowSigned = [](__m512i t) {
                return _mm512_srai_epi64(_mm512_slli_epi64(t, 32), 32);
            };
            even = _mm512_add_epi64(lowSigned(ta), lowSigned(tb));
            odd = _mm512_add_epi64(_mm512_srai_epi64(ta, 32), _mm512_srai_epi64(tb, 32));
        }
    }

  private:
    // The terms of words w[0] .. w[15] in 32-bit lanes, and where both sources are present. A
    // coefficient of 16 bits multiplies by one multiply-add of the code's 16-bit half.
    __mmask16 Terms(const SampleWord* w, __m512i& ta, __m512i& tb) const {
        const __m512i halfMask = _mm512_set1_epi32(0xFFFF);
        const __m512i codeMask = _mm512_set1_epi32(static_cast<int>(kCodeMask));
        const __m512i words = _mm512_loadu_si512(w);
        const __m512i ha =
            ShiftA == 0 ? _mm512_and_si512(words, halfMask) : _mm512_srli_epi32(words, 16);
        const __m512i hb =
            ShiftB == 0 ? _mm512_and_si512(words, halfMask) : _mm512_srli_epi32(words, 16);
        const __mmask16 present =
            _mm512_cmpneq_epi32_mask(ha, halfMask) & _mm512_cmpneq_epi32_mask(hb, halfMask);
        const __m512i ca = _mm512_and_si512(ha, codeMask);
        const __m512i cb = _mm512_and_si512(hb, codeMask);
        if (narrow_) {
            ta = _mm512_add_epi32(_mm512_madd_epi16(ca, mulA_), addA_);
            tb = _mm512_add_epi32(_mm512_madd_epi16(cb, mulB_), addB_);
        } else {
            ta = _mm512_add_epi32(_mm512_mullo_epi32(ca, mulA_), addA_);
            tb = _mm512_add_epi32(_mm512_mullo_epi32(cb, mulB_), addB_);
        }
        return present;
    }

    __m512i mulA_, addA_, mulB_, addB_;
    bool narrow_;  // both coefficients fit 16 bits
};

__mmask8 Low8(__mmask16 m) {
    return static_cast<__mmask8>(m & 0xFF);
}

__mmask8 High8(__mmask16 m) {
    return static_cast<__mmask8>(m >> 8);
}

// The smallest, largest and sum of the eight lanes, by halving: three steps each.
std::int64_t Least(__m512i v) {
    v = _mm512_min_epi64(v, _mm512_shuffle_i64x2(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm512_min_epi64(v, _mm512_shuffle_i64x2(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm512_min_epi64(v, _mm512_shuffle_epi32(v, _MM_PERM_BADC));
    return _mm_cvtsi128_si64(_mm512_castsi512_si128(v));
}

std::int64_t Most(__m512i v) {
    v = _mm512_max_epi64(v, _mm512_shuffle_i64x2(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm512_max_epi64(v, _mm512_shuffle_i64x2(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm512_max_epi64(v, _mm512_shuffle_epi32(v, _MM_PERM_BADC));
    return _mm_cvtsi128_si64(_mm512_castsi512_si128(v));
}

std::int64_t Total(__m512i v) {
    v = _mm512_add_epi64(v, _mm512_shuffle_i64x2(v, v, _MM_SHUFFLE(1, 0, 3, 2)));
    v = _mm512_add_epi64(v, _mm512_shuffle_i64x2(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
    v = _mm512_add_epi64(v, _mm512_shuffle_epi32(v, _MM_PERM_BADC));
    return _mm_cvtsi128_si64(_mm512_castsi512_si128(v));
}

template <bool Product, int ShiftA, int ShiftB>
void Scores(const SampleWord* w, int blocks, const ScoreForm& f, double center, double* blockMin,
            double* blockMax, double* blockSum, ScoreTotals& totals, double* squares) {
    const ScoreMaker<Product, ShiftA, ShiftB> maker(f);
    const double inf = std::numeric_limits<double>::infinity();
    // center is a score: the distances from it are exact integers, and exact as doubles.
    const __m512i center8 = _mm512_set1_epi64(static_cast<std::int64_t>(center));
    // Lane k takes the scores k, k + 8, ... of a block: words 0 .. 7 of sixteen, then 8 .. 15.
    __m512d sq = _mm512_loadu_pd(squares);
    for (int b = 0; b < blocks; ++b) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        __m512i lo = _mm512_set1_epi64(std::numeric_limits<std::int64_t>::max());
        __m512i hi = _mm512_set1_epi64(std::numeric_limits<std::int64_t>::min());
        __m512i sum = _mm512_setzero_si512();
        int present = 0;
        auto eight = [&](__m512i scores, __mmask8 m) {
            lo = _mm512_mask_min_epi64(lo, m, lo, scores);
            hi = _mm512_mask_max_epi64(hi, m, hi, scores);
            sum = _mm512_mask_add_epi64(sum, m, sum, scores);
            const __m512d off = _mm512_cvtepi64_pd(_mm512_sub_epi64(scores, center8));
            sq = _mm512_mask_add_pd(sq, m, sq, _mm512_mul_pd(off, off));
        };
        for (int k = 0; k < kMeasureBlock; k += 16) {
            __m512i low, high;
            const __mmask16 p = maker.Sixteen(block + k, low, high);
            present += std::popcount(static_cast<unsigned>(p));
            eight(low, Low8(p));
            eight(high, High8(p));
        }
        // Scores are at most 2^46: exact as doubles.
        const double smallest = present ? static_cast<double>(Least(lo)) : inf;
        const double largest = present ? static_cast<double>(Most(hi)) : -inf;
        const std::int64_t blockTotal = Total(sum);
        blockMin[b] = smallest;
        blockMax[b] = largest;
        blockSum[b] = static_cast<double>(blockTotal);
        totals.lo = smallest < totals.lo ? smallest : totals.lo;
        totals.hi = largest > totals.hi ? largest : totals.hi;
        totals.sum += blockTotal;
        totals.count += static_cast<std::uint64_t>(present);
    }
    _mm512_storeu_pd(squares, sq);
}

template <bool Product, int ShiftA, int ShiftB>
void BinScores(const SampleWord* w, int blocks, const ScoreForm& f, const double* blockMin,
               const double* blockMax, double base, int shift, std::uint32_t* counts) {
    const ScoreMaker<Product, ShiftA, ShiftB> maker(f);
    // base is a multiple of 2^shift at or below every score: (x - base) >> shift is the bin.
    const __m512i base8 = _mm512_set1_epi64(static_cast<std::int64_t>(base));
    const __m128i count = _mm_cvtsi32_si128(shift);
    CountScoreBins(blocks, blockMin, blockMax, base, shift, counts, [&](int b, std::int32_t* bins) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        int present = 0;
        for (int k = 0; k < kMeasureBlock; k += 16) {
            __m512i even, odd;
            __mmask8 evenPresent, oddPresent;
            maker.EvenOdd(block + k, even, evenPresent, odd, oddPresent);
            present += std::popcount(static_cast<unsigned>(evenPresent) | oddPresent << 8);
            if (bins == nullptr)
                continue;
            // The bins of the even words, then of the odd ones: counting does
            // not mind.
            const __m512i binsEven =
                _mm512_maskz_srl_epi64(evenPresent, _mm512_sub_epi64(even, base8), count);
            const __m512i binsOdd =
                _mm512_maskz_srl_epi64(oddPresent, _mm512_sub_epi64(odd, base8), count);
            _mm256_store_si256(reinterpret_cast<__m256i*>(bins + k),
                               _mm512_cvtepi64_epi32(binsEven));
            _mm256_store_si256(reinterpret_cast<__m256i*>(bins + k + 8),
                               _mm512_cvtepi64_epi32(binsOdd));
        }
        return present;
    });
}

template <bool Product, int ShiftA, int ShiftB>
std::int64_t SumOfBin(const SampleWord* w, int blocks, const ScoreForm& f, const double* blockMin,
                      const double* blockMax, const double* blockSum, double base, int shift,
                      int bin) {
    const ScoreMaker<Product, ShiftA, ShiftB> maker(f);
    const __m512i base8 = _mm512_set1_epi64(static_cast<std::int64_t>(base));
    const __m512i bin8 = _mm512_set1_epi64(bin);
    const __m128i count = _mm_cvtsi32_si128(shift);
    return SumScoreBin(blocks, blockMin, blockMax, blockSum, base, shift, bin, [&](int b) {
        const SampleWord* block = w + (b << kMeasureBlockShift);
        __m512i sum = _mm512_setzero_si512();
        auto eight = [&](__m512i scores, __mmask8 m) {
            const __m512i bins = _mm512_srl_epi64(_mm512_sub_epi64(scores, base8), count);
            sum = _mm512_mask_add_epi64(sum, m & _mm512_cmpeq_epi64_mask(bins, bin8), sum, scores);
        };
        for (int k = 0; k < kMeasureBlock; k += 16) {
            __m512i even, odd;
            __mmask8 evenPresent, oddPresent;
            maker.EvenOdd(block + k, even, evenPresent, odd, oddPresent);
            eight(even, evenPresent);
            eight(odd, oddPresent);
        }
        return static_cast<double>(Total(sum));  // at most 64 scores: exact
    });
}

}  // namespace

void ScoresAvx512(const SampleWord* words, int blocks, int shiftA, int shiftB,
                  const ScoreForm& form, double center, double* blockMin, double* blockMax,
                  double* blockSum, ScoreTotals& totals, double* squares) {
    WithScoreShape(form.product, shiftA, shiftB, [&](auto p, auto a, auto b) {
        Scores<decltype(p)::value, decltype(a)::value, decltype(b)::value>(
            words, blocks, form, center, blockMin, blockMax, blockSum, totals, squares);
    });
}

void BinScoresAvx512(const SampleWord* words, int blocks, int shiftA, int shiftB,
                     const ScoreForm& form, const double* blockMin, const double* blockMax,
                     double base, int shift, std::uint32_t* counts) {
    WithScoreShape(form.product, shiftA, shiftB, [&](auto p, auto a, auto b) {
        BinScores<decltype(p)::value, decltype(a)::value, decltype(b)::value>(
            words, blocks, form, blockMin, blockMax, base, shift, counts);
    });
}

std::int64_t SumOfBinAvx512(const SampleWord* words, int blocks, int shiftA, int shiftB,
                            const ScoreForm& form, const double* blockMin, const double* blockMax,
                            const double* blockSum, double base, int shift, int bin) {
    return WithScoreShape(form.product, shiftA, shiftB, [&](auto p, auto a, auto b) {
        return SumOfBin<decltype(p)::value, decltype(a)::value, decltype(b)::value>(
            words, blocks, form, blockMin, blockMax, blockSum, base, shift, bin);
    });
}

}  // namespace lumatrace::avx512
