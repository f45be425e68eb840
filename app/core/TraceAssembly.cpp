#include "app/core/TraceAssembly.h"

#include <algorithm>
#include <cmath>

namespace lumatrace {

namespace {

// Nearest integer, ties to even; v is a code (0..1023), so the parity test
// can use an integer.
std::int64_t RoundEven(long double v) {
    const long double f = std::floor(v);
    const long double d = v - f;
    const auto i = static_cast<std::int64_t>(f);
    if (d > 0.5L) {
        return i + 1;
    }
    if (d < 0.5L) {
        return i;
    }
    return (i & 1) == 0 ? i : i + 1;
}

void Interpolate(SampleWord* w, int b, int a) {
    const long double span = a - b;
    const long double b1 = w[b] & 0x3FFu;
    const long double b2 = (w[b] >> 16) & 0x3FFu;
    const long double d1 = (static_cast<long double>(w[a] & 0x3FFu) - b1) / span;
    const long double d2 = (static_cast<long double>((w[a] >> 16) & 0x3FFu) - b2) / span;
    long double v1 = b1;
    long double v2 = b2;
    for (int j = b + 1; j < a; ++j) {
        v1 += d1;
        v2 += d2;
        const auto c1 = static_cast<std::uint32_t>(RoundEven(v1));
        const auto c2 = static_cast<std::uint32_t>(RoundEven(v2));
        w[j] = (c2 << 16) + (c1 & 0xFFFFu);
    }
}

}  // namespace

bool MergeEquivalentPass(const SampleBuffer& fetch, SampleBuffer& equ, SampleBuffer& wave,
                         int memoryPoints, int trigPosition, std::uint32_t phase) {
    if (phase >= static_cast<std::uint32_t>(kEquivalentFactor) || memoryPoints <= 0 ||
        memoryPoints > kMaxRecordPoints || trigPosition < 0 || trigPosition > memoryPoints) {
        return false;
    }
    const int s = trigPosition - trigPosition / kEquivalentFactor;
    const int k = memoryPoints / kEquivalentFactor;
    if (s + k > memoryPoints) {
        return false;
    }
    for (int i = 0; i < k; ++i) {
        equ[phase + static_cast<std::size_t>(kEquivalentFactor) * i] = fetch[s + i];
    }
    TakeRecord(equ, wave);
    FillGaps(wave, memoryPoints);
    return true;
}

void FillGaps(SampleBuffer& wave, int memoryPoints) {
    const int n = std::clamp(memoryPoints, 0, kMaxRecordPoints);
    SampleWord* w = wave.data();
    int b = -1;  // last valid word before a hole
    int a = -1;  // first valid word after it
    for (int i = 0; i < n; ++i) {
        if (i > 0 && w[i] != NoSample && w[i - 1] == NoSample) {
            a = i;
        }
        if (b < 0 && a >= 0) {
            std::fill(w, w + a, w[a]);
            a = -1;
        } else if (b >= 0 && a >= 0) {
            Interpolate(w, b, a);
            a = -1;
            b = -1;
        }
        if (w[i] != NoSample && w[i + 1] == NoSample) {
            b = i;
        }
    }
    if (b >= 0 && a < 0) {
        std::fill(w + b + 1, w + n, w[b]);
    }
}

std::uint32_t RollReadCount(std::uint32_t waiting, int q, int memoryPoints) {
    if (q <= 0 || waiting < static_cast<std::uint32_t>(q)) {
        return 0;
    }
    const auto n = static_cast<std::uint32_t>(memoryPoints);
    if (waiting >= n) {
        return n;
    }
    return waiting / static_cast<std::uint32_t>(q) * static_cast<std::uint32_t>(q);
}

void RollAppend(SampleBuffer& wave, SampleBuffer& scratch, const SampleBuffer& fresh, int n,
                int memoryPoints) {
    const int total = std::clamp(memoryPoints, 0, kMaxRecordPoints);
    n = std::clamp(n, 0, total);
    if (n < total) {
        std::copy(wave.begin() + n, wave.begin() + total, scratch.begin());
        std::copy(scratch.begin(), scratch.begin() + (total - n), wave.begin());
    }
    std::copy(fresh.begin(), fresh.begin() + n, wave.begin() + (total - n));
}

}  // namespace lumatrace
