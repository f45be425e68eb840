// Compiled with -mavx2 and called only after the CPU has been checked: eight points at a time.
#include "app/display/AverageKernelsAvx2.h"

#include <immintrin.h>

#include <bit>
#include <cstring>

namespace lumatrace::avx2 {

namespace {

struct Divide {
    __m256i magic;
    __m128i shift;
    bool pow2;
    __m256i bit16;  // where bit 16 of a sum lands after the shift

    explicit Divide(int divisor)
        : magic(_mm256_set1_epi64x(static_cast<long long>(DivMagic(divisor)))),
          shift(_mm_cvtsi32_si128(std::countr_zero(static_cast<unsigned>(divisor)))),
          // A full ring of the listed sizes divides by a power of two: a shift of every lane.
          pow2((divisor & (divisor - 1)) == 0),
          bit16(_mm256_set1_epi16(
              static_cast<short>(0x10000 >> std::countr_zero(static_cast<unsigned>(divisor))))) {}

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
    // The same for 17-bit sums: their low 16 bits as above and, where `carry` is all ones,
    // bit 16. A 17th bit comes only with a divisor above 64.
    __m256i Split(__m256i s, __m256i carry) const {
        if (pow2)
            return _mm256_or_si256(_mm256_srl_epi16(s, shift), _mm256_and_si256(carry, bit16));
        const __m256i one = _mm256_and_si256(carry, _mm256_set1_epi16(1));
        return _mm256_packs_epi32(Lanes32(_mm256_unpacklo_epi16(s, one)),
                                  Lanes32(_mm256_unpackhi_epi16(s, one)));
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

// A split row's entries of eight points as codes laid out like sample words: `low` their 16
// bytes of low code bits (CH1, CH2 of each point in turn), `nibbles` their 4 high bits each,
// point 0 lowest. In 16-bit lanes, lane j holds a code whose high bits are bits 2j and 2j + 1
// of `nibbles`: the lane takes byte j / 4 of them, keeps its two bits and moves them up to bits
// 8 and 9 with a multiplication.
inline __m256i Unsplit(__m128i low, std::uint32_t nibbles) {
    const __m256i spread = _mm256_shuffle_epi8(
        _mm256_set1_epi32(static_cast<int>(nibbles)),
        _mm256_setr_epi8(0, -1, 0, -1, 0, -1, 0, -1, 1, -1, 1, -1, 1, -1, 1, -1, 2, -1, 2, -1, 2,
                         -1, 2, -1, 3, -1, 3, -1, 3, -1, 3, -1));
    const __m256i field = _mm256_and_si256(
        spread, _mm256_setr_epi16(3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192, 3, 12, 48, 192));
    const __m256i high = _mm256_mullo_epi16(
        field, _mm256_setr_epi16(256, 64, 16, 4, 256, 64, 16, 4, 256, 64, 16, 4, 256, 64, 16, 4));
    return _mm256_or_si256(_mm256_cvtepu8_epi16(low), high);
}

// The low code bytes of sixteen points, CH1 and CH2 of each in turn: the split row's entries.
inline __m256i LowEntries(__m256i a, __m256i b) {
    const __m256i lowByte = _mm256_set1_epi16(0xFF);
    // Narrowing packs within each 128-bit half; the quarters then go back in order.
    return _mm256_permute4x64_epi64(
        _mm256_packus_epi16(_mm256_and_si256(a, lowByte), _mm256_and_si256(b, lowByte)), 0xD8);
}

// The high nibbles of eight points' codes, point 0 lowest: bit 8 of each code goes to the top
// of its lane's low byte, bit 9 to the top of its high byte, and the bytes' tops are gathered.
inline std::uint32_t HighNibbles(__m256i codes) {
    const __m256i tops =
        _mm256_blendv_epi8(_mm256_srli_epi16(codes, 1), _mm256_slli_epi16(codes, 6),
                           _mm256_set1_epi16(static_cast<short>(0xFF00)));
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(tops));
}

// The 17th bits of eight points' sums (16 bits, CH1 then CH2 of each point) as all-ones lanes.
inline __m256i CarryLanes(std::uint32_t bits) {
    const __m256i lane = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384, static_cast<short>(0x8000));
    const __m256i b = _mm256_and_si256(_mm256_set1_epi16(static_cast<short>(bits)), lane);
    return _mm256_cmpeq_epi16(b, lane);
}

// Moves the sums `s` by the entering `codes` and the `old` entries leaving them, in 16-bit lanes
// that wrap, and flips `carry` where a lane wrapped: the true sum stays within 0 .. 2^17, so a
// wrap up sets its 17th bit and a wrap down clears it. A lane wraps up exactly where the
// saturating sum differs from the wrapping one, and likewise down.
inline __m256i MoveSums(__m256i s, __m256i codes, __m256i old, __m256i& carry) {
    const __m256i t = _mm256_add_epi16(s, codes);
    const __m256i u = _mm256_sub_epi16(t, old);
    const __m256i upKept = _mm256_cmpeq_epi16(_mm256_adds_epu16(s, codes), t);
    const __m256i downKept = _mm256_cmpeq_epi16(_mm256_subs_epu16(t, old), u);
    carry = _mm256_xor_si256(carry, _mm256_xor_si256(upKept, downKept));
    return u;
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

// Sixteen points at a time, from a multiple of 16 on: their split entries fill one register of
// low entries, 8 bytes of nibbles and 4 bytes of 17th bits.
int SplitAvx2(const AverageRows& r, int i, int end) {
    const Divide divide(r.divisor);
    // Locals: the stores through the planes' bytes could otherwise alias the rows' pointers.
    SampleWord* const record = r.record;
    std::uint16_t* const rowLow = r.rowLow;
    std::uint8_t* const rowHigh = r.rowHigh;
    std::uint8_t* const carries = r.carries;
    auto* const sums = static_cast<std::uint32_t*>(r.sums);
    for (; i + 16 <= end; i += 16) {
        Block a = Load(record, i);
        Block b = Load(record, i + 8);
        const auto at = static_cast<std::size_t>(i);
        auto* lowAt = reinterpret_cast<__m256i*>(rowLow + at);
        std::uint64_t nibbles;
        std::memcpy(&nibbles, rowHigh + at / 2, sizeof nibbles);
        const __m256i oldA = Unsplit(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lowAt)),
                                     static_cast<std::uint32_t>(nibbles));
        const __m256i oldB = Unsplit(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lowAt) + 1),
                                     static_cast<std::uint32_t>(nibbles >> 32));
        // A missing sample keeps its entry.
        a.codes = _mm256_blendv_epi8(a.codes, oldA, a.missing);
        b.codes = _mm256_blendv_epi8(b.codes, oldB, b.missing);
        _mm256_storeu_si256(lowAt, LowEntries(a.codes, b.codes));
        nibbles = HighNibbles(a.codes) | (std::uint64_t{HighNibbles(b.codes)} << 32);
        std::memcpy(rowHigh + at / 2, &nibbles, sizeof nibbles);

        std::uint32_t bits;
        std::memcpy(&bits, carries + at / 4, sizeof bits);
        __m256i carryA = CarryLanes(bits);
        __m256i carryB = CarryLanes(bits >> 16);
        auto* sp = reinterpret_cast<__m256i*>(sums + at);
        const __m256i sA = MoveSums(_mm256_loadu_si256(sp), a.codes, oldA, carryA);
        const __m256i sB = MoveSums(_mm256_loadu_si256(sp + 1), b.codes, oldB, carryB);
        _mm256_storeu_si256(sp, sA);
        _mm256_storeu_si256(sp + 1, sB);
        bits = static_cast<std::uint32_t>(_mm256_movemask_epi8(
            _mm256_permute4x64_epi64(_mm256_packs_epi16(carryA, carryB), 0xD8)));
        std::memcpy(carries + at / 4, &bits, sizeof bits);

        StoreMeans(record, i, a, divide.Split(sA, carryA));
        StoreMeans(record, i + 8, b, divide.Split(sB, carryB));
    }
    return i;
}

}  // namespace lumatrace::avx2
