#include "app/settings/Extended80.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <limits>

namespace lumatrace {

namespace {

constexpr std::uint64_t kIntegerBit = std::uint64_t{1} << 63;

// Rounds `significand` x 2^exponent2 (significand non-zero) to the nearest
// double, ties to even, including the denormal range.
double RoundToDouble(std::uint64_t significand, int exponent2) {
    const int shiftUp = std::countl_zero(significand);
    significand <<= shiftUp;
    exponent2 -= shiftUp;
    // The value is now 1.f x 2^top with the integer bit at bit 63.
    const int top = exponent2 + 63;
    if (top > 1023) {
        return std::numeric_limits<double>::infinity();
    }
    // Bits kept: 53 for a normal result, fewer for a denormal one.
    const int keep = top >= -1022 ? 53 : 53 - (-1022 - top);
    if (keep < 0) {
        return 0.0;
    }
    const int shift = 64 - keep;  // 11 .. 64
    std::uint64_t kept = shift >= 64 ? 0 : significand >> shift;
    const std::uint64_t rest =
        shift >= 64 ? significand : significand & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    if (rest > half || (rest == half && (kept & 1) != 0)) {
        ++kept;  // may carry to 2^keep; ldexp below still places it exactly
    }
    // kept x 2^(top - keep + 1) is exact in double (or overflows to infinity).
    return std::ldexp(static_cast<double>(kept), top - keep + 1);
}

}  // namespace

Extended80 Extended80::FromBytes(std::span<const std::uint8_t, kSize> bytes) {
    std::uint64_t significand = 0;
    for (int i = 7; i >= 0; --i) {
        significand = (significand << 8) | bytes[static_cast<std::size_t>(i)];
    }
    const auto signExponent = static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8));
    return FromParts((signExponent & 0x8000) != 0, signExponent & 0x7FFF, significand);
}

std::array<std::uint8_t, Extended80::kSize> Extended80::ToBytes() const {
    std::array<std::uint8_t, kSize> out{};
    for (std::size_t i = 0; i < 8; ++i) {
        out[i] = static_cast<std::uint8_t>(significand_ >> (8 * i));
    }
    out[8] = static_cast<std::uint8_t>(signExponent_ & 0xFF);
    out[9] = static_cast<std::uint8_t>(signExponent_ >> 8);
    return out;
}

Extended80 Extended80::FromDouble(double value) {
    const bool negative = std::signbit(value);
    if (std::isnan(value)) {
        return FromParts(negative, kMaxExponent, kIntegerBit | (kIntegerBit >> 1));
    }
    if (std::isinf(value)) {
        return FromParts(negative, kMaxExponent, kIntegerBit);
    }
    if (value == 0.0) {
        return FromParts(negative, 0, 0);
    }
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
    // 53 significant bits shifted to the top of 64: exact.
    const auto significand = static_cast<std::uint64_t>(std::ldexp(fraction, 64));
    // value = significand x 2^(exponent - 64) = 1.f x 2^(exponent - 1).
    return FromParts(negative, static_cast<std::uint16_t>(exponent - 1 + kExponentBias),
                     significand);
}

Extended80 Extended80::FromLongDouble(long double value) {
    const bool negative = std::signbit(value);
    if (std::isnan(value)) {
        return FromParts(negative, kMaxExponent, kIntegerBit | (kIntegerBit >> 1));
    }
    if (std::isinf(value)) {
        return FromParts(negative, kMaxExponent, kIntegerBit);
    }
    if (value == 0.0L) {
        return FromParts(negative, 0, 0);
    }
    int exponent = 0;
    const long double fraction = std::frexp(std::fabs(value), &exponent);  // [0.5, 1)
    const long double scaled = std::ldexp(fraction, 64);                   // [2^63, 2^64)
    std::uint64_t significand = static_cast<std::uint64_t>(scaled);
    if constexpr (LDBL_MANT_DIG > 64) {
        const long double rest = scaled - static_cast<long double>(significand);
        if (rest > 0.5L || (rest == 0.5L && (significand & 1) != 0)) {
            if (significand == std::numeric_limits<std::uint64_t>::max()) {
                significand = kIntegerBit;
                ++exponent;
            } else {
                ++significand;
            }
        }
    }
    int biased = exponent - 1 + kExponentBias;
    if (biased >= kMaxExponent) {
        return FromParts(negative, kMaxExponent, kIntegerBit);
    }
    if (biased <= 0) {
        // Below the normal range: the format's denormals have exponent field 0
        // and the scale of exponent field 1. Only wider formats lose bits here.
        const int shift = 1 - biased;
        significand = shift >= 64 ? 0 : significand >> shift;
        biased = 0;
    }
    return FromParts(negative, static_cast<std::uint16_t>(biased), significand);
}

Extended80::Kind Extended80::kind() const {
    const std::uint16_t exponent = biasedExponent();
    if (exponent == kMaxExponent) {
        // Without the integer bit these are the pseudo-infinities and
        // pseudo-NaNs, which the floating-point unit rejects as invalid.
        if ((significand_ & kIntegerBit) == 0) {
            return Kind::NaN;
        }
        return (significand_ << 1) == 0 ? Kind::Infinity : Kind::NaN;
    }
    if (exponent == 0) {
        // With the integer bit set this is a pseudo-denormal: still a valid
        // operand, worth significand x 2^-16445 like a denormal.
        return significand_ == 0 ? Kind::Zero : Kind::Denormal;
    }
    // A normal exponent without the integer bit is an "unnormal": invalid.
    return (significand_ & kIntegerBit) == 0 ? Kind::NaN : Kind::Normal;
}

double Extended80::ToDouble() const {
    const double sign = negative() ? -1.0 : 1.0;
    switch (kind()) {
        case Kind::Zero:
            return sign * 0.0;
        case Kind::Infinity:
            return sign * std::numeric_limits<double>::infinity();
        case Kind::NaN:
            return std::copysign(std::numeric_limits<double>::quiet_NaN(), sign);
        case Kind::Denormal:
            return sign * RoundToDouble(significand_, 1 - kExponentBias - 63);
        case Kind::Normal:
            break;
    }
    return sign * RoundToDouble(significand_, biasedExponent() - kExponentBias - 63);
}

long double Extended80::ToLongDouble() const {
    const long double sign = negative() ? -1.0L : 1.0L;
    switch (kind()) {
        case Kind::Zero:
            return sign * 0.0L;
        case Kind::Infinity:
            return sign * std::numeric_limits<long double>::infinity();
        case Kind::NaN:
            return std::copysign(std::numeric_limits<long double>::quiet_NaN(), sign);
        case Kind::Denormal:
            return sign *
                   std::ldexp(static_cast<long double>(significand_), 1 - kExponentBias - 63);
        case Kind::Normal:
            break;
    }
    if constexpr (LDBL_MANT_DIG >= 64) {
        return sign * std::ldexp(static_cast<long double>(significand_),
                                 biasedExponent() - kExponentBias - 63);
    } else {
        // A narrower long double rounds like double does.
        return static_cast<long double>(ToDouble());
    }
}

std::partial_ordering CompareValues(const Extended80& a, const Extended80& b) {
    using Kind = Extended80::Kind;
    const Kind ka = a.kind();
    const Kind kb = b.kind();
    if (ka == Kind::NaN || kb == Kind::NaN) {
        return std::partial_ordering::unordered;
    }
    if (ka == Kind::Zero && kb == Kind::Zero) {
        return std::partial_ordering::equivalent;
    }
    // Sign first (a zero counts as non-negative against a non-zero value).
    const bool na = ka != Kind::Zero && a.negative();
    const bool nb = kb != Kind::Zero && b.negative();
    if (na != nb) {
        return na ? std::partial_ordering::less : std::partial_ordering::greater;
    }
    // Magnitudes order as (effective exponent, significand): a denormal (or
    // zero) sits at exponent 1 with the integer bit clear, below every normal.
    const auto key = [](const Extended80& e, Kind k) {
        const std::uint16_t exponent =
            (k == Kind::Denormal || k == Kind::Zero) ? 1 : e.biasedExponent();
        const std::uint64_t significand = k == Kind::Zero ? 0 : e.significand();
        return std::pair{exponent, significand};
    };
    const auto magnitude = key(a, ka) <=> key(b, kb);
    if (magnitude == 0) {
        return std::partial_ordering::equivalent;
    }
    const bool aBigger = magnitude > 0;
    return (aBigger != na) ? std::partial_ordering::greater : std::partial_ordering::less;
}

}  // namespace lumatrace
