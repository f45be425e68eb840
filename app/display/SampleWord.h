#pragma once

#include <cmath>
#include <cstdint>

namespace lumatrace {

// One sample of both channels: CH1 code in bits 0-9, CH2 code in bits 16-25.
using SampleWord = std::uint32_t;

inline constexpr SampleWord NoSample = 0xFFFFFFFFu;
inline constexpr int kCodeCount = 1024;  // 10-bit codes span 10 vertical divisions
inline constexpr SampleWord kCodeMask = 0x3FFu;

constexpr int ChannelShift(int channel) {
    return channel == 0 ? 0 : 16;
}

constexpr bool IsNoSample(SampleWord word) {
    return word == NoSample;
}

// Code of one channel; the caller has already tested the word against NoSample.
constexpr int DecodeCode(SampleWord word, int shift) {
    return static_cast<int>((word >> shift) & kCodeMask);
}

// Per-channel missing-sample test (a half of all ones), used where one channel of a word
// may be present without the other.
constexpr bool ChannelMissing(SampleWord word, int channel) {
    return channel == 0 ? (word & 0xFFFFu) == 0xFFFFu : word >= 0xFFFF0000u;
}

constexpr SampleWord MakeSampleWord(int ch1Code, int ch2Code) {
    return (static_cast<SampleWord>(ch2Code & 0x3FF) << 16) |
           static_cast<SampleWord>(ch1Code & 0x3FF);
}

// Nearest integer, ties to even, independent of the floating-point environment.
inline double RoundHalfEven(double v) {
    const double f = std::floor(v);
    const double d = v - f;
    if (d > 0.5)
        return f + 1.0;
    if (d < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

// round(num / den) with ties to even, exact; den > 0.
constexpr std::int64_t RoundHalfEvenDiv(std::int64_t num, std::int64_t den) {
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {  // floor division
        --q;
        r += den;
    }
    if (2 * r > den || (2 * r == den && (q & 1) != 0))
        ++q;
    return q;
}

// Code standing for 0 V at vertical position p (position units, 250 = centre):
// (500 - p) * 2.048, where 2.048 = 1024 codes / 500 units.
constexpr double ZeroCode(int position) {
    return (500 - position) * 2.048;
}

// The zero code rounded (ties to even) and kept inside the 10-bit range, as written into
// ground-coupled channels.
constexpr int RoundedZeroCode(int position) {
    const std::int64_t c = RoundHalfEvenDiv(static_cast<std::int64_t>(500 - position) * 2048, 1000);
    return c < 0 ? 0 : (c > 1023 ? 1023 : static_cast<int>(c));
}

// Full-scale range of a channel over the 10 divisions of the code range, in millivolts.
constexpr double FullScaleMv(int voltsPerDivMv, int probeFactor) {
    return 10.0 * voltsPerDivMv * probeFactor;
}

// Voltage of a code in millivolts for a channel at position p with full-scale range R.
constexpr double CodeToMillivolts(int code, int position, double rangeMv) {
    return rangeMv * (code - ZeroCode(position)) / 1024.0;
}

}  // namespace lumatrace
