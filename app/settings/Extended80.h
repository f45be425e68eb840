// The 10-byte extended-precision floating-point format of the parameter file
// and the component stream: 64-bit significand with an explicit integer bit,
// 15-bit exponent biased by 16383, sign; little-endian. Encoded and decoded
// here bit by bit, independent of what `long double` is on the host.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <span>

namespace lumatrace {

class Extended80 {
  public:
    static constexpr std::size_t kSize = 10;
    static constexpr std::uint16_t kExponentBias = 16383;
    static constexpr std::uint16_t kMaxExponent = 0x7FFF;

    enum class Kind {
        Zero,
        Denormal,  // exponent 0, value significand x 2^-16445
        Normal,
        Infinity,
        NaN,  // quiet or signalling NaN, and every encoding the format calls invalid
    };

    // +0.
    constexpr Extended80() = default;

    static constexpr Extended80 FromParts(bool negative, std::uint16_t biasedExponent,
                                          std::uint64_t significand) {
        Extended80 e;
        e.signExponent_ =
            static_cast<std::uint16_t>((negative ? 0x8000 : 0) | (biasedExponent & 0x7FFF));
        e.significand_ = significand;
        return e;
    }
    static Extended80 FromBytes(std::span<const std::uint8_t, kSize> bytes);
    std::array<std::uint8_t, kSize> ToBytes() const;

    // Exact: every double is an extended value.
    static Extended80 FromDouble(double value);
    // Exact where long double is the x87 format or narrower; rounded to
    // nearest (ties to even) where it is wider.
    static Extended80 FromLongDouble(long double value);
    // Rounded to nearest, ties to even; too large gives an infinity, too small
    // a denormal or zero. Invalid encodings give NaN.
    double ToDouble() const;
    // Exact where long double is the x87 format.
    long double ToLongDouble() const;

    Kind kind() const;
    bool IsFinite() const {
        const Kind k = kind();
        return k == Kind::Zero || k == Kind::Denormal || k == Kind::Normal;
    }
    bool negative() const { return (signExponent_ & 0x8000) != 0; }
    std::uint16_t biasedExponent() const { return signExponent_ & 0x7FFF; }
    std::uint64_t significand() const { return significand_; }

    // Same bits (so +0 and -0 differ, and NaNs equal themselves).
    bool operator==(const Extended80&) const = default;

  private:
    std::uint16_t signExponent_ = 0;
    std::uint64_t significand_ = 0;
};

// Numeric comparison as the floating-point unit makes it: -0 equals +0, and
// NaN is unordered with everything.
std::partial_ordering CompareValues(const Extended80& a, const Extended80& b);

}  // namespace lumatrace
