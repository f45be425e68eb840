#include "app/display/AverageHistory.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/settings/InstrumentTypes.h"

namespace lumatrace {

namespace {

constexpr SampleWord kCodePairMask = 0x03FF03FFu;
constexpr int kMaxPoints = 1000000;
constexpr int kMaxDepth = 512;

// The two codes of a packed pair as two 32-bit lanes of one 64-bit word, so that both running
// sums move with one addition. A lane never borrows: a sum always includes the entry leaving it.
inline std::uint64_t Lanes(std::uint32_t codes) {
    return (codes & 0xFFFFu) | (std::uint64_t{codes >> 16} << 32);
}

// Division by the divisor d (1..512) of the sums (below 2^19) as a multiplication:
// floor(x * M / 2^29) with M = floor(2^29 / d) + 1 equals floor(x / d), because the excess
// x * (M * d - 2^29) stays below 2^28 and so can never reach the next multiple of d.
constexpr int kDivShift = 29;
inline std::uint64_t DivMagic(int d) {
    return (std::uint64_t{1} << kDivShift) / static_cast<std::uint64_t>(d) + 1;
}

#if defined(__SSE2__)
// Four points at a time. The sums of two points fill one register as four 32-bit lanes
// (CH1, CH2, CH1, CH2), which is their layout in memory; a missing sample keeps its ring entry,
// so its sums do not move, and keeps its word.
int StepBlock(SampleWord* record, std::uint32_t* row, std::uint64_t* sums, int i, int end,
              int divisor) {
    const __m128i allOnes = _mm_set1_epi32(-1);
    const __m128i pairMask = _mm_set1_epi32(static_cast<int>(kCodePairMask));
    const __m128i zero = _mm_setzero_si128();
    const __m128i m = _mm_set1_epi64x(static_cast<long long>(DivMagic(divisor)));
    // A full ring of the listed sizes divides by a power of two: a shift of every lane.
    const bool pow2 = (divisor & (divisor - 1)) == 0;
    const __m128i shift = _mm_cvtsi32_si128(std::countr_zero(static_cast<unsigned>(divisor)));
    auto divide = [&](__m128i s) {
        if (pow2)
            return _mm_srl_epi32(s, shift);
        // Even lanes are CH1 sums, odd lanes CH2 sums; the quotients go back to their lanes.
        const __m128i q1 = _mm_srli_epi64(_mm_mul_epu32(s, m), kDivShift);
        const __m128i q2 = _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(s, 32), m), kDivShift);
        return _mm_or_si128(q1, _mm_slli_epi64(q2, 32));
    };
    for (; i + 4 <= end; i += 4) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(record + i));
        const __m128i missing = _mm_cmpeq_epi32(w, allOnes);
        const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
        const __m128i codes = _mm_or_si128(_mm_and_si128(missing, old),
                                           _mm_andnot_si128(missing, _mm_and_si128(w, pairMask)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i), codes);
        const __m128i dLo =
            _mm_sub_epi32(_mm_unpacklo_epi16(codes, zero), _mm_unpacklo_epi16(old, zero));
        const __m128i dHi =
            _mm_sub_epi32(_mm_unpackhi_epi16(codes, zero), _mm_unpackhi_epi16(old, zero));
        __m128i* s = reinterpret_cast<__m128i*>(sums + i);
        const __m128i sLo = _mm_add_epi32(_mm_loadu_si128(s), dLo);
        const __m128i sHi = _mm_add_epi32(_mm_loadu_si128(s + 1), dHi);
        _mm_storeu_si128(s, sLo);
        _mm_storeu_si128(s + 1, sHi);
        // Means below 1024 in 32-bit lanes (CH1, CH2, CH1, ...) narrow to the word layout.
        const __m128i means = _mm_and_si128(_mm_packs_epi32(divide(sLo), divide(sHi)), pairMask);
        const __m128i out =
            _mm_or_si128(_mm_and_si128(missing, w), _mm_andnot_si128(missing, means));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(record + i), out);
    }
    return i;
}
#endif

}  // namespace

void AverageHistory::FreeDeleter::operator()(void* p) const {
    std::free(p);
}

std::uint64_t AverageHistory::RequiredBytes(int memoryPoints, int n) {
    return static_cast<std::uint64_t>(std::max(memoryPoints, 0)) *
           static_cast<std::uint64_t>(std::max(n, 0)) * 8u;
}

bool AverageHistory::NeedsWaitCursor(int memoryPoints, int n) {
    return (memoryPoints == 100000 && n == 512) || (memoryPoints == 1000000 && n >= 64);
}

AverageHistory::AverageHistory(AverageHost& host) : host_(host) {}

AverageHistory::~AverageHistory() = default;

void AverageHistory::Release() {
    ring_.reset();
    sums_.reset();
    points_ = 0;
    depth_ = 0;
}

void AverageHistory::Zero() {
    if (!HasData())
        return;
    std::memset(ring_.get(), 0,
                static_cast<std::size_t>(points_) * static_cast<std::size_t>(depth_) *
                    sizeof(std::uint32_t));
    std::memset(sums_.get(), 0, static_cast<std::size_t>(points_) * sizeof(std::uint64_t));
}

bool AverageHistory::Allocate(int points, int n) {
    Release();
    const bool wait = NeedsWaitCursor(points, n);
    if (wait)
        host_.SetWaitCursor(true);
    // calloc: the zero pages of a large history cost nothing until the ring reaches them.
    const std::size_t entries = static_cast<std::size_t>(points) * static_cast<std::size_t>(n);
    ring_.reset(static_cast<std::uint32_t*>(std::calloc(entries, sizeof(std::uint32_t))));
    sums_.reset(static_cast<std::uint64_t*>(
        std::calloc(static_cast<std::size_t>(points), sizeof(std::uint64_t))));
    if (wait)
        host_.SetWaitCursor(false);
    if (!ring_ || !sums_) {
        Release();
        return false;
    }
    points_ = points;
    depth_ = n;
    return true;
}

void AverageHistory::ReportNoMemory() {
    host_.StopAcquisition();
    host_.Messages().Show(MessageIcon::Error, "Lumatrace",
                          "[ アベレージ演算エラー ]\r\n波形取り込み回数を変更してください。");
}

bool AverageHistory::PrepareAverage(const AverageConditions& c, bool& averageResize) {
    if (HasData()) {
        if (averageResize)
            Release();
        else
            Zero();
    }
    if (!c.running || c.waveformMode != kWaveformAverage ||
        (c.equivalentActive && !c.equivalentAsRealTime) || c.rollActive)
        return true;
    averageSlot = 1;
    averageFull = false;

    const int n = c.acquireCount;
    const int points = c.memoryPoints;
    if (n < 1 || n > kMaxDepth || points < 1 || points > kMaxPoints) {
        // No history can be sized from these ("∞" or a value no list offers): averaging is
        // left off rather than sized from garbage.
        Release();
        averageResize = false;
        return true;
    }

    const std::optional<std::uint64_t> available = host_.AvailablePhysicalMemory();
    if (available && RequiredBytes(points, n) >= *available) {
        Release();
        ReportNoMemory();
        return false;
    }

    // A history of other dimensions than the record's cannot be used, requested or not.
    if (averageResize || !HasData() || points_ != points || depth_ != n) {
        if (!Allocate(points, n)) {
            ReportNoMemory();
            return false;
        }
    }
    averageResize = false;
    return true;
}

void AverageHistory::AverageStep(SampleWord* record, int memoryPoints) {
    if (!HasData() || record == nullptr)
        return;
    if (averageSlot < 1 || averageSlot > depth_) {
        averageSlot = 1;
        averageFull = false;
    }
    const int divisor = averageFull ? depth_ : averageSlot;
    const std::uint64_t magic = DivMagic(divisor);
    const int count = std::clamp(memoryPoints, 0, points_);
    std::uint32_t* row =
        ring_.get() + static_cast<std::size_t>(averageSlot - 1) * static_cast<std::size_t>(points_);
    std::uint64_t* sums = sums_.get();

    for (int begin = 0; begin < count; begin += kPollBlock) {
        if (begin > 0 && !host_.KeepAveraging())
            break;
        const int end = std::min(count, begin + kPollBlock);
        int i = begin;
#if defined(__SSE2__)
        i = StepBlock(record, row, sums, i, end, divisor);
#endif
        for (; i < end; ++i) {
            const SampleWord w = record[i];
            if (w == NoSample)
                continue;
            const std::uint32_t codes = w & kCodePairMask;
            const std::uint64_t s = sums[i] + Lanes(codes) - Lanes(row[i]);
            row[i] = codes;
            sums[i] = s;
            const std::uint64_t m1 = ((s & 0xFFFFFFFFu) * magic) >> kDivShift;
            const std::uint64_t m2 = ((s >> 32) * magic) >> kDivShift;
            record[i] = static_cast<SampleWord>(((m2 & kCodeMask) << 16) | (m1 & kCodeMask));
        }
    }

    if (++averageSlot > depth_) {
        averageSlot = 1;
        averageFull = true;
    }
}

void AverageHistory::Shrink() {
    if (!HasData())
        return;
    host_.SetWaitCursor(true);
    Release();
    host_.SetWaitCursor(false);
}

}  // namespace lumatrace
