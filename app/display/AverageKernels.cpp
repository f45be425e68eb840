#include <array>
#include <bit>
#include <cstring>

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
    __m128i bit16;  // where bit 16 of a sum lands after the shift

    explicit Sse2Divide(int divisor)
        : magic(_mm_set1_epi64x(static_cast<long long>(DivMagic(divisor)))),
          shift(_mm_cvtsi32_si128(std::countr_zero(static_cast<unsigned>(divisor)))),
          // A full ring of the listed sizes divides by a power of two: a shift of every lane.
          pow2((divisor & (divisor - 1)) == 0),
          bit16(_mm_set1_epi16(
              static_cast<short>(0x10000 >> std::countr_zero(static_cast<unsigned>(divisor))))) {}

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
    // The same for 17-bit sums: their low 16 bits as above and, where `carry` is all ones,
    // bit 16. A 17th bit comes only with a divisor above 64.
    __m128i Split(__m128i s, __m128i carry) const {
        if (pow2)
            return _mm_or_si128(_mm_srl_epi16(s, shift), _mm_and_si128(carry, bit16));
        const __m128i one = _mm_and_si128(carry, _mm_set1_epi16(1));
        return _mm_packs_epi32(Lanes32(_mm_unpacklo_epi16(s, one)),
                               Lanes32(_mm_unpackhi_epi16(s, one)));
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

// The high code bits of the two points of a byte of nibbles, as two sample words.
constexpr std::array<std::uint64_t, 256> kNibblePairs = [] {
    std::array<std::uint64_t, 256> t{};
    for (std::uint32_t v = 0; v < 256; ++v)
        t[v] = SplitCodes(0, v & 0xFu) | (std::uint64_t{SplitCodes(0, v >> 4)} << 32);
    return t;
}();

// A split row's entries of four points as codes laid out like sample words: `low` their 16-bit
// entries widened to 32-bit lanes, `nibbles` their 4 high bits each, point 0 lowest.
inline __m128i UnsplitSse2(__m128i low, std::uint32_t nibbles) {
    const __m128i codes =
        _mm_and_si128(_mm_or_si128(low, _mm_slli_epi32(low, 8)), _mm_set1_epi32(0x00FF00FF));
    const __m128i high =
        _mm_set_epi64x(static_cast<long long>(kNibblePairs[(nibbles >> 8) & 0xFFu]),
                       static_cast<long long>(kNibblePairs[nibbles & 0xFFu]));
    return _mm_or_si128(codes, high);
}

// The low bytes of four points' codes as sign-extended 32-bit lanes, so that a signed pack
// narrows them unchanged.
inline __m128i LowEntriesSse2(__m128i codes) {
    const __m128i m = _mm_and_si128(codes, _mm_set1_epi32(0x00FF00FF));
    return _mm_srai_epi32(_mm_slli_epi32(_mm_or_si128(m, _mm_srli_epi32(m, 8)), 16), 16);
}

// The high nibbles of four points' codes, point 0 lowest: each code bit 8 or 9 is moved to the
// top of its own byte and the bytes' tops gathered.
inline std::uint32_t HighNibblesSse2(__m128i codes) {
    const __m128i tops = _mm_or_si128(
        _mm_and_si128(_mm_srli_epi32(codes, 1), _mm_set1_epi32(0x00FF00FF)),
        _mm_and_si128(_mm_slli_epi32(codes, 6), _mm_set1_epi32(static_cast<int>(0xFF00FF00u))));
    return static_cast<std::uint32_t>(_mm_movemask_epi8(tops));
}

// The 17th bits of four points' sums (8 bits, CH1 then CH2 of each point) as all-ones lanes.
inline __m128i CarryLanesSse2(std::uint32_t bits) {
    const __m128i lane = _mm_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128);
    return _mm_cmpeq_epi16(_mm_and_si128(_mm_set1_epi16(static_cast<short>(bits & 0xFFu)), lane),
                           lane);
}

// Moves the sums `s` by the entering `codes` and the `old` entries leaving them, in 16-bit lanes
// that wrap, and flips `carry` where a lane wrapped: the true sum stays within 0 .. 2^17, so a
// wrap up sets its 17th bit and a wrap down clears it. A lane wraps up exactly where the
// saturating sum differs from the wrapping one, and likewise down.
inline __m128i MoveSumsSse2(__m128i s, __m128i codes, __m128i old, __m128i& carry) {
    const __m128i t = _mm_add_epi16(s, codes);
    const __m128i u = _mm_sub_epi16(t, old);
    const __m128i upKept = _mm_cmpeq_epi16(_mm_adds_epu16(s, codes), t);
    const __m128i downKept = _mm_cmpeq_epi16(_mm_subs_epu16(t, old), u);
    carry = _mm_xor_si128(carry, _mm_xor_si128(upKept, downKept));
    return u;
}

// Eight points at a time, from a multiple of 8 on: their split entries fill one register of
// low entries, 4 bytes of nibbles and 2 bytes of 17th bits.
int SplitSse2(const AverageRows& r, int i, int end) {
    const Sse2Divide divide(r.divisor);
    const __m128i zero = _mm_setzero_si128();
    auto* sums = static_cast<std::uint32_t*>(r.sums);
    for (; i + 8 <= end; i += 8) {
        Sse2Block a = LoadSse2(r.record, i);
        Sse2Block b = LoadSse2(r.record, i + 4);
        const auto at = static_cast<std::size_t>(i);
        auto* lowAt = reinterpret_cast<__m128i*>(r.rowLow + at);
        const __m128i low = _mm_loadu_si128(lowAt);
        std::uint32_t nibbles;
        std::memcpy(&nibbles, r.rowHigh + at / 2, sizeof nibbles);
        const __m128i oldA = UnsplitSse2(_mm_unpacklo_epi16(low, zero), nibbles);
        const __m128i oldB = UnsplitSse2(_mm_unpackhi_epi16(low, zero), nibbles >> 16);
        // A missing sample keeps its entry.
        a.codes =
            _mm_or_si128(_mm_and_si128(a.missing, oldA), _mm_andnot_si128(a.missing, a.codes));
        b.codes =
            _mm_or_si128(_mm_and_si128(b.missing, oldB), _mm_andnot_si128(b.missing, b.codes));
        _mm_storeu_si128(lowAt, _mm_packs_epi32(LowEntriesSse2(a.codes), LowEntriesSse2(b.codes)));
        nibbles = HighNibblesSse2(a.codes) | (HighNibblesSse2(b.codes) << 16);
        std::memcpy(r.rowHigh + at / 2, &nibbles, sizeof nibbles);

        std::uint16_t bits;
        std::memcpy(&bits, r.carries + at / 4, sizeof bits);
        __m128i carryA = CarryLanesSse2(bits);
        __m128i carryB = CarryLanesSse2(static_cast<std::uint32_t>(bits) >> 8);
        auto* sp = reinterpret_cast<__m128i*>(sums + at);
        const __m128i sA = MoveSumsSse2(_mm_loadu_si128(sp), a.codes, oldA, carryA);
        const __m128i sB = MoveSumsSse2(_mm_loadu_si128(sp + 1), b.codes, oldB, carryB);
        _mm_storeu_si128(sp, sA);
        _mm_storeu_si128(sp + 1, sB);
        bits = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_packs_epi16(carryA, carryB)));
        std::memcpy(r.carries + at / 4, &bits, sizeof bits);

        StoreMeans(r.record, i, a, divide.Split(sA, carryA));
        StoreMeans(r.record, i + 4, b, divide.Split(sB, carryB));
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
    {"sse2", &RunsEverywhere, &DirectSse2, &PackedSse2, &WideSse2, &SplitSse2},
#endif
    {"plain", &RunsEverywhere, &NoVectors, &NoVectors, &NoVectors, &NoVectors},
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
