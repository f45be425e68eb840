// Compiled with -mavx512f -mavx512bw and called only after the CPU has been checked: sixteen
// points, a whole group of the split layout's planes, in one register. The masks of 16-bit
// lanes carry the missing samples and the sums' 17th bits, which makes the planes cheap.
#include "app/display/AverageKernelsAvx512.h"

#include <immintrin.h>

#include <bit>
#include <cstring>

// GCC 12's AVX-512 intrinsics start some results from an undefined register, which its flow
// analysis then reports as used before being set once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace lumatrace::avx512 {

namespace {

struct Divide {
    __m512i magic;
    __m128i shift;
    bool pow2;
    __m512i bit16;  // where bit 16 of a sum lands after the shift

    explicit Divide(int divisor)
        : magic(_mm512_set1_epi64(static_cast<long long>(DivMagic(divisor)))),
          shift(_mm_cvtsi32_si128(std::countr_zero(static_cast<unsigned>(divisor)))),
          // A full ring of the listed sizes divides by a power of two: a shift of every lane.
          pow2((divisor & (divisor - 1)) == 0),
          bit16(_mm512_set1_epi16(
              static_cast<short>(0x10000 >> std::countr_zero(static_cast<unsigned>(divisor))))) {}

    // Sums in 32-bit lanes: the quotients in the same lanes.
    __m512i Lanes32(__m512i s) const {
        const __m512i q1 = _mm512_srli_epi64(_mm512_mul_epu32(s, magic), kDivShift);
        const __m512i q2 =
            _mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(s, 32), magic), kDivShift);
        return _mm512_or_si512(q1, _mm512_slli_epi64(q2, 32));
    }
    // 17-bit sums, their low 16 bits in 16-bit lanes laid out like sample words and bit 16 in
    // `carry`: the means in the same layout. Widening and narrowing both stay inside each
    // 128-bit quarter, so the order survives.
    __m512i Means(__m512i s, __mmask32 carry) const {
        if (pow2)
            return _mm512_or_si512(_mm512_srl_epi16(s, shift),
                                   _mm512_maskz_mov_epi16(carry, bit16));
        const __m512i one = _mm512_maskz_set1_epi16(carry, 1);
        return _mm512_packs_epi32(Lanes32(_mm512_unpacklo_epi16(s, one)),
                                  Lanes32(_mm512_unpackhi_epi16(s, one)));
    }
};

// The split entries of sixteen points as codes laid out like sample words: `low` their 32 bytes
// of low code bits (CH1, CH2 of each point in turn), `nibbles` their 4 high bits each, point 0
// lowest. In 16-bit lanes, lane j holds a code whose high bits are bits 2j and 2j + 1 of
// `nibbles`: the lane takes byte j / 4 of them, keeps its two bits and moves them up to bits 8
// and 9 with a multiplication.
inline __m512i Unsplit(__m256i low, std::uint64_t nibbles) {
    const __m512i spread =
        _mm512_shuffle_epi8(_mm512_set1_epi64(static_cast<long long>(nibbles)),
                            _mm512_set_epi64(static_cast<long long>(0xFF07FF07FF07FF07ull),
                                             static_cast<long long>(0xFF06FF06FF06FF06ull),
                                             static_cast<long long>(0xFF05FF05FF05FF05ull),
                                             static_cast<long long>(0xFF04FF04FF04FF04ull),
                                             static_cast<long long>(0xFF03FF03FF03FF03ull),
                                             static_cast<long long>(0xFF02FF02FF02FF02ull),
                                             static_cast<long long>(0xFF01FF01FF01FF01ull),
                                             static_cast<long long>(0xFF00FF00FF00FF00ull)));
    const __m512i field = _mm512_and_si512(spread, _mm512_set1_epi64(0x00C00030000C0003LL));
    const __m512i high = _mm512_mullo_epi16(field, _mm512_set1_epi64(0x0004001000400100LL));
    return _mm512_or_si512(_mm512_cvtepu8_epi16(low), high);
}

}  // namespace

int SplitAvx512(const AverageRows& r, int i, int end) {
    const Divide divide(r.divisor);
    // Locals: the stores through the planes' bytes could otherwise alias the rows' pointers.
    SampleWord* const record = r.record;
    std::uint16_t* const rowLow = r.rowLow;
    std::uint8_t* const rowHigh = r.rowHigh;
    std::uint8_t* const carries = r.carries;
    auto* const sums = static_cast<std::uint32_t*>(r.sums);
    const __m512i allOnes = _mm512_set1_epi32(-1);
    const __m512i pairMask = _mm512_set1_epi32(static_cast<int>(kCodePairMask));
    for (; i + 16 <= end; i += 16) {
        const auto at = static_cast<std::size_t>(i);
        // The row comes from main memory: asking for it a little ahead keeps more of it in
        // flight than the hardware's own prefetching does (about 5 % here).
        _mm_prefetch(reinterpret_cast<const char*>(rowLow + at) + 512, _MM_HINT_T0);
        const __m512i w = _mm512_loadu_si512(record + at);
        const __mmask16 missing = _mm512_cmpeq_epi32_mask(w, allOnes);
        std::uint64_t nibbles;
        std::memcpy(&nibbles, rowHigh + at / 2, sizeof nibbles);
        const __m512i old =
            Unsplit(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(rowLow + at)), nibbles);
        // A missing sample keeps its entry.
        const __m512i codes = _mm512_mask_mov_epi32(_mm512_and_si512(w, pairMask), missing, old);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(rowLow + at), _mm512_cvtepi16_epi8(codes));
        // Bit 8 of each code to the top of its lane's low byte, bit 9 to the top of its high byte.
        const __m512i tops = _mm512_mask_blend_epi8(
            0xAAAAAAAAAAAAAAAAull, _mm512_srli_epi16(codes, 1), _mm512_slli_epi16(codes, 6));
        nibbles = _mm512_movepi8_mask(tops);
        std::memcpy(rowHigh + at / 2, &nibbles, sizeof nibbles);

        // The sums move in 16-bit lanes that wrap; the true sums stay within 0 .. 2^17, so a
        // wrap up sets a 17th bit and a wrap down clears it.
        std::uint32_t bits;
        std::memcpy(&bits, carries + at / 4, sizeof bits);
        const __m512i s = _mm512_loadu_si512(sums + at);
        const __m512i t = _mm512_add_epi16(s, codes);
        const __m512i u = _mm512_sub_epi16(t, old);
        const __mmask32 up = _mm512_cmplt_epu16_mask(t, s);
        const __mmask32 down = _mm512_cmpgt_epu16_mask(u, t);
        const __mmask32 carry = _kxor_mask32(_cvtu32_mask32(bits), _kxor_mask32(up, down));
        _mm512_storeu_si512(sums + at, u);
        bits = _cvtmask32_u32(carry);
        std::memcpy(carries + at / 4, &bits, sizeof bits);

        _mm512_storeu_si512(record + at, _mm512_mask_mov_epi32(divide.Means(u, carry), missing, w));
    }
    return i;
}

}  // namespace lumatrace::avx512
