// Compiled with -mavx2 and called only after the CPU has been checked: eight points at a time.
#include "app/display/AverageKernelsAvx2.h"

#include <immintrin.h>

#include <bit>

namespace lumatrace::avx2 {

namespace {

struct Divide {
    __m256i magic;
    __m128i shift;
    bool pow2;

    explicit Divide(int divisor)
        : magic(_mm256_set1_epi64x(static_cast<long long>(DivMagic(divisor)))),
          shift(_mm_cvtsi32_si128(std::countr_zero(static_cast<unsigned>(divisor)))),
          // A full ring of the listed sizes divides by a power of two: a shift of every lane.
          pow2((divisor & (divisor - 1)) == 0) {}

    // Sums in 32-bit lanes: the quotients in the same lanes.
    __m256i Lanes32(__m256i s) const {
        if (pow2)
            return _mm256_srl_epi32(s, shift);
        const __m256i q1 = _mm256_srli_epi64(_mm256_mul_epu32(s, magic), kDivShift);
        const __m256i q2 =
            _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(s, 32), magic), kDivShift);
        return _mm256_or_si256(q1, _mm256_slli_epi64(q2, 32));
    }
    // Sums in 16-bit lanes laid out like sample words: the means in the same layout. The
    // widening and the narrowing both stay inside each 128-bit half, so the order survives.
    __m256i Packed(__m256i s) const {
        if (pow2)
            return _mm256_srl_epi16(s, shift);
        const __m256i zero = _mm256_setzero_si256();
        return _mm256_packs_epi32(Lanes32(_mm256_unpacklo_epi16(s, zero)),
                                  Lanes32(_mm256_unpackhi_epi16(s, zero)));
    }
};

struct Block {
    __m256i w;
    __m256i missing;
    __m256i codes;  // masked codes, or the kept ring entry of a missing sample
};

inline Block Load(const SampleWord* record, int i) {
    Block b;
    b.w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(record + i));
    b.missing = _mm256_cmpeq_epi32(b.w, _mm256_set1_epi32(-1));
    b.codes = _mm256_and_si256(b.w, _mm256_set1_epi32(static_cast<int>(kCodePairMask)));
    return b;
}

// Puts the block's codes into the ring row, a missing sample keeping its entry, and returns
// the entries they replace.
inline __m256i EnterCodes(Block& b, std::uint32_t* row) {
    auto* at = reinterpret_cast<__m256i*>(row);
    const __m256i old = _mm256_loadu_si256(at);
    b.codes = _mm256_blendv_epi8(b.codes, old, b.missing);
    _mm256_storeu_si256(at, b.codes);
    return old;
}

inline void StoreMeans(SampleWord* record, int i, const Block& b, __m256i means) {
    means = _mm256_and_si256(means, _mm256_set1_epi32(static_cast<int>(kCodePairMask)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(record + i),
                        _mm256_blendv_epi8(means, b.w, b.missing));
}

}  // namespace

int DirectAvx2(const AverageRows& r, int i, int end) {
    const Divide divide(r.divisor);
    for (; i + 8 <= end; i += 8) {
        Block b = Load(r.record, i);
        auto* row = reinterpret_cast<__m256i*>(r.row + i);
        // The ring entry is read only where a sample is missing and must be kept.
        if (!_mm256_testz_si256(b.missing, b.missing))
            b.codes = _mm256_blendv_epi8(b.codes, _mm256_loadu_si256(row), b.missing);
        _mm256_storeu_si256(row, b.codes);
        __m256i s = b.codes;
        if (r.other)
            s = _mm256_add_epi16(s,
                                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.other + i)));
        StoreMeans(r.record, i, b, divide.Packed(s));
    }
    return i;
}

int PackedAvx2(const AverageRows& r, int i, int end) {
    const Divide divide(r.divisor);
    auto* sums = static_cast<std::uint32_t*>(r.sums);
    for (; i + 8 <= end; i += 8) {
        Block b = Load(r.record, i);
        const __m256i old = EnterCodes(b, r.row + i);
        auto* sp = reinterpret_cast<__m256i*>(sums + i);
        const __m256i s = _mm256_add_epi16(_mm256_sub_epi16(_mm256_loadu_si256(sp), old), b.codes);
        _mm256_storeu_si256(sp, s);
        StoreMeans(r.record, i, b, divide.Packed(s));
    }
    return i;
}

int WideAvx2(const AverageRows& r, int i, int end) {
    const Divide divide(r.divisor);
    auto* sums = static_cast<std::uint64_t*>(r.sums);
    for (; i + 8 <= end; i += 8) {
        Block b = Load(r.record, i);
        const __m256i old = EnterCodes(b, r.row + i);
        // The sums of four points fill one register as eight 32-bit lanes (CH1, CH2, CH1, ...),
        // which is their layout in memory.
        const __m256i d = _mm256_sub_epi16(b.codes, old);
        const __m256i dLo = _mm256_cvtepi16_epi32(_mm256_castsi256_si128(d));
        const __m256i dHi = _mm256_cvtepi16_epi32(_mm256_extracti128_si256(d, 1));
        auto* sp = reinterpret_cast<__m256i*>(sums + i);
        const __m256i sLo = _mm256_add_epi32(_mm256_loadu_si256(sp), dLo);
        const __m256i sHi = _mm256_add_epi32(_mm256_loadu_si256(sp + 1), dHi);
        _mm256_storeu_si256(sp, sLo);
        _mm256_storeu_si256(sp + 1, sHi);
        // Narrowing packs within each 128-bit half; the quarters then go back in order.
        const __m256i means = _mm256_packs_epi32(divide.Lanes32(sLo), divide.Lanes32(sHi));
        StoreMeans(r.record, i, b, _mm256_permute4x64_epi64(means, 0xD8));
    }
    return i;
}

}  // namespace lumatrace::avx2
