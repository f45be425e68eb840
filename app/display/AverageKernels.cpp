#include <bit>

#include "app/display/AverageKernels.h"
#include "app/display/KernelChoice.h"

#if defined(LUMATRACE_DISPLAY_AVX2)
#include "app/display/AverageKernelsAvx2.h"
#endif
#if defined(LUMATRACE_DISPLAY_AVX512)
#include "app/display/AverageKernelsAvx512.h"
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lumatrace {

namespace {

int NoVectors(const AverageRows&, int i, int) {
    return i;
}

#if defined(__SSE2__)
// Four points at a time. A missing sample keeps its ring entry, so its sums do not move, and
// keeps its word.
struct Sse2Divide {
    __m128i magic;
    __m128i shift;
    bool pow2;

    explicit Sse2Divide(int divisor)
        : magic(_mm_set1_epi64x(static_cast<long long>(DivMagic(divisor)))),
          shift(_mm_cvtsi32_si128(std::countr_zero(static_cast<unsigned>(divisor)))),
          // A full ring of the listed sizes divides by a power of two: a shift of every lane.
          pow2((divisor & (divisor - 1)) == 0) {}

    // Sums in 32-bit lanes (CH1, CH2, CH1, CH2): the quotients in the same lanes.
    __m128i Lanes32(__m128i s) const {
        if (pow2)
            return _mm_srl_epi32(s, shift);
        const __m128i q1 = _mm_srli_epi64(_mm_mul_epu32(s, magic), kDivShift);
        const __m128i q2 = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(s, 32), magic), kDivShift);
        return _mm_or_si128(q1, _mm_slli_epi64(q2, 32));
    }
    // Sums in 16-bit lanes laid out like sample words: the means in the same layout.
    __m128i Packed(__m128i s) const {
        if (pow2)
            return _mm_srl_epi16(s, shift);
        const __m128i zero = _mm_setzero_si128();
        return _mm_packs_epi32(Lanes32(_mm_unpacklo_epi16(s, zero)),
                               Lanes32(_mm_unpackhi_epi16(s, zero)));
    }
};

struct Sse2Block {
    __m128i w;
    __m128i missing;
    __m128i codes;  // masked codes, or the kept ring entry of a missing sample
};

inline Sse2Block LoadSse2(const SampleWord* record, int i) {
    const __m128i allOnes = _mm_set1_epi32(-1);
    const __m128i pairMask = _mm_set1_epi32(static_cast<int>(kCodePairMask));
    Sse2Block b;
    b.w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record + i));
    b.missing = _mm_cmpeq_epi32(b.w, allOnes);
    b.codes = _mm_and_si128(b.w, pairMask);
    return b;
}

// Puts the block's codes into the ring row, a missing sample keeping its entry, and returns
// the entries they replace.
inline __m128i EnterCodesSse2(Sse2Block& b, std::uint32_t* row) {
    auto* at = reinterpret_cast<__m128i*>(row);
    const __m128i old = _mm_loadu_si128(at);
    b.codes = _mm_or_si128(_mm_and_si128(b.missing, old), _mm_andnot_si128(b.missing, b.codes));
    _mm_storeu_si128(at, b.codes);
    return old;
}

inline void StoreMeans(SampleWord* record, int i, const Sse2Block& b, __m128i means) {
    const __m128i pairMask = _mm_set1_epi32(static_cast<int>(kCodePairMask));
    means = _mm_and_si128(means, pairMask);
    const __m128i out =
        _mm_or_si128(_mm_and_si128(b.missing, b.w), _mm_andnot_si128(b.missing, means));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(record + i), out);
}

int DirectSse2(const AverageRows& r, int i, int end) {
    const Sse2Divide divide(r.divisor);
    for (; i + 4 <= end; i += 4) {
        Sse2Block b = LoadSse2(r.record, i);
        auto* row = reinterpret_cast<__m128i*>(r.row + i);
        // The ring entry is read only where a sample is missing and must be kept.
        if (_mm_movemask_epi8(b.missing) != 0)
            b.codes = _mm_or_si128(_mm_and_si128(b.missing, _mm_loadu_si128(row)),
                                   _mm_andnot_si128(b.missing, b.codes));
        _mm_storeu_si128(row, b.codes);
        __m128i s = b.codes;
        if (r.other)
            s = _mm_add_epi16(s, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.other + i)));
        StoreMeans(r.record, i, b, divide.Packed(s));
    }
    return i;
}

int PackedSse2(const AverageRows& r, int i, int end) {
    const Sse2Divide divide(r.divisor);
    auto* sums = static_cast<std::uint32_t*>(r.sums);
    for (; i + 4 <= end; i += 4) {
        Sse2Block b = LoadSse2(r.record, i);
        const __m128i old = EnterCodesSse2(b, r.row + i);
        auto* sp = reinterpret_cast<__m128i*>(sums + i);
        const __m128i s = _mm_add_epi16(_mm_sub_epi16(_mm_loadu_si128(sp), old), b.codes);
        _mm_storeu_si128(sp, s);
        StoreMeans(r.record, i, b, divide.Packed(s));
    }
    return i;
}

int WideSse2(const AverageRows& r, int i, int end) {
    const Sse2Divide divide(r.divisor);
    const __m128i zero = _mm_setzero_si128();
    auto* sums = static_cast<std::uint64_t*>(r.sums);
    for (; i + 4 <= end; i += 4) {
        Sse2Block b = LoadSse2(r.record, i);
        const __m128i old = EnterCodesSse2(b, r.row + i);
        // The sums of two points fill one register as four 32-bit lanes (CH1, CH2, CH1, CH2),
        // which is their layout in memory.
        const __m128i dLo =
            _mm_sub_epi32(_mm_unpacklo_epi16(b.codes, zero), _mm_unpacklo_epi16(old, zero));
        const __m128i dHi =
            _mm_sub_epi32(_mm_unpackhi_epi16(b.codes, zero), _mm_unpackhi_epi16(old, zero));
        auto* sp = reinterpret_cast<__m128i*>(sums + i);
        const __m128i sLo = _mm_add_epi32(_mm_loadu_si128(sp), dLo);
        const __m128i sHi = _mm_add_epi32(_mm_loadu_si128(sp + 1), dHi);
        _mm_storeu_si128(sp, sLo);
        _mm_storeu_si128(sp + 1, sHi);
        // Means below 1024 in 32-bit lanes (CH1, CH2, CH1, ...) narrow to the word layout.
        StoreMeans(r.record, i, b, _mm_packs_epi32(divide.Lanes32(sLo), divide.Lanes32(sHi)));
    }
    return i;
}
#endif

const AverageKernel kKernels[] = {
#if defined(LUMATRACE_DISPLAY_AVX512)
    // Only the split layout gains from the wider registers' masks; the others stay on AVX2.
    {"avx512", &HasAvx512, &avx2::DirectAvx2, &avx2::PackedAvx2, &avx2::WideAvx2,
     &avx512::SplitAvx512},
#endif
#if defined(LUMATRACE_DISPLAY_AVX2)
    {"avx2", &HasAvx2, &avx2::DirectAvx2, &avx2::PackedAvx2, &avx2::WideAvx2, &avx2::SplitAvx2},
#endif
#if defined(__SSE2__)
    {"sse2", &RunsEverywhere, &DirectSse2, &PackedSse2, &WideSse2, nullptr},
#endif
    {"plain", &RunsEverywhere, &NoVectors, &NoVectors, &NoVectors, nullptr},
};

constexpr int kKernelCount = static_cast<int>(sizeof(kKernels) / sizeof(kKernels[0]));

}  // namespace

int AverageKernelCount() {
    return kKernelCount;
}

const AverageKernel& AverageKernelAt(int index) {
    return kKernels[index];
}

const AverageKernel& BestAverageKernel() {
    static const AverageKernel& best = WidestSupported(kKernels);
    return best;
}

}  // namespace lumatrace
