#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include <gtest/gtest.h>

#include "app/settings/Extended80.h"
#include "app/settings/ParamFile.h"

namespace lumatrace {
namespace {

using Bytes10 = std::array<std::uint8_t, 10>;

Extended80 Ext(const Bytes10& b) {
    return Extended80::FromBytes(b);
}

TEST(ParamFileExtended, VersionIsTheNearestExtendedToTwoPointOne) {
    EXPECT_EQ(ParamFileVersion().ToBytes(),
              (Bytes10{0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x86, 0x00, 0x40}));
    // Not the widened double, whose low bits differ.
    EXPECT_EQ(Extended80::FromDouble(2.1).ToBytes(),
              (Bytes10{0x00, 0x68, 0x66, 0x66, 0x66, 0x66, 0x66, 0x86, 0x00, 0x40}));
    EXPECT_TRUE(std::is_lt(CompareValues(ParamFileVersion(), Extended80::FromDouble(2.1))));
    EXPECT_EQ(ParamFileVersion().ToDouble(), 2.1);
}

TEST(ParamFileExtended, EncodesDoublesExactly) {
    struct Case {
        double value;
        Bytes10 bytes;
    };
    const Case cases[] = {
        {0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x00}},
        {-0.0, {0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80}},
        {1.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}},
        {2.0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x40}},
        {-2.5, {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0xC0}},
        {500.0, {0, 0, 0, 0, 0, 0, 0, 0xFA, 0x07, 0x40}},
        {-12.5, {0, 0, 0, 0, 0, 0, 0, 0xC8, 0x02, 0xC0}},
        {0.1, {0x00, 0xD0, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xFB, 0x3F}},
        {std::numeric_limits<double>::max(),
         {0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0x43}},
        // The smallest double denormal is a normal extended value.
        {std::numeric_limits<double>::denorm_min(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xCD, 0x3B}},
        {std::numeric_limits<double>::infinity(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}},
        {-std::numeric_limits<double>::infinity(), {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Extended80::FromDouble(c.value).ToBytes(), c.bytes) << c.value;
        const double back = Ext(c.bytes).ToDouble();
        EXPECT_EQ(back, c.value) << c.value;
        EXPECT_EQ(std::signbit(back), std::signbit(c.value)) << c.value;
    }
    const Extended80 nan = Extended80::FromDouble(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(nan.kind(), Extended80::Kind::NaN);
    EXPECT_TRUE(std::isnan(nan.ToDouble()));
}

TEST(ParamFileExtended, RoundsToDoubleToNearestEven) {
    struct Case {
        const char* label;
        Extended80 value;
        double expected;
    };
    const double ulp1 = std::ldexp(1.0, -52);
    const Case cases[] = {
        {"2.1", ParamFileVersion(), 2.1},
        {"tie, even below", Extended80::FromParts(false, 0x3FFF, 0x8000000000000400), 1.0},
        {"tie, odd rounds up", Extended80::FromParts(false, 0x3FFF, 0x8000000000000C00),
         1.0 + 2 * ulp1},
        {"just above the tie", Extended80::FromParts(false, 0x3FFF, 0x8000000000000401),
         1.0 + ulp1},
        {"carry into the exponent", Extended80::FromParts(false, 0x3FFF, 0xFFFFFFFFFFFFFFFF), 2.0},
        {"overflow after rounding", Extended80::FromParts(false, 0x43FE, 0xFFFFFFFFFFFFFFFF),
         std::numeric_limits<double>::infinity()},
        {"beyond double", Extended80::FromParts(true, 0x4400, 0x8000000000000000),
         -std::numeric_limits<double>::infinity()},
        {"denormal result", Extended80::FromParts(false, 0x3BCD, 0x8000000000000000),
         std::numeric_limits<double>::denorm_min()},
        {"half the smallest denormal ties to zero",
         Extended80::FromParts(false, 0x3BCC, 0x8000000000000000), 0.0},
        {"above half the smallest denormal",
         Extended80::FromParts(false, 0x3BCC, 0x8000000000000001),
         std::numeric_limits<double>::denorm_min()},
        {"far too small", Extended80::FromParts(false, 0x0001, 0x8000000000000000), 0.0},
        {"extended denormal", Extended80::FromParts(false, 0, 1), 0.0},
        {"largest double denormal", Extended80::FromParts(false, 0x3C00, 0xFFFFFFFFFFFFF000),
         std::numeric_limits<double>::min() - std::numeric_limits<double>::denorm_min()},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.ToDouble(), c.expected) << c.label;
    }
}

TEST(ParamFileExtended, ClassifiesEveryEncoding) {
    using Kind = Extended80::Kind;
    struct Case {
        const char* label;
        Extended80 value;
        Kind kind;
    };
    const Case cases[] = {
        {"zero", Extended80::FromParts(true, 0, 0), Kind::Zero},
        {"denormal", Extended80::FromParts(false, 0, 5), Kind::Denormal},
        {"pseudo-denormal", Extended80::FromParts(false, 0, 0x8000000000000000), Kind::Denormal},
        {"normal", Extended80::FromParts(false, 1, 0x8000000000000000), Kind::Normal},
        {"unnormal", Extended80::FromParts(false, 0x3FFF, 0x4000000000000000), Kind::NaN},
        {"infinity", Extended80::FromParts(true, 0x7FFF, 0x8000000000000000), Kind::Infinity},
        {"pseudo-infinity", Extended80::FromParts(false, 0x7FFF, 0), Kind::NaN},
        {"pseudo-NaN", Extended80::FromParts(false, 0x7FFF, 1), Kind::NaN},
        {"quiet NaN", Extended80::FromParts(false, 0x7FFF, 0xC000000000000000), Kind::NaN},
        {"signalling NaN", Extended80::FromParts(false, 0x7FFF, 0x8000000000000001), Kind::NaN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.kind(), c.kind) << c.label;
        EXPECT_EQ(c.value.IsFinite(),
                  c.kind == Kind::Zero || c.kind == Kind::Denormal || c.kind == Kind::Normal)
            << c.label;
        // Bytes round-trip whatever the encoding.
        EXPECT_EQ(Extended80::FromBytes(c.value.ToBytes()), c.value) << c.label;
    }
}

TEST(ParamFileExtended, ComparesValuesExactly) {
    const Extended80 min = Extended80::FromParts(false, 1, 0x8000000000000000);
    const Extended80 denormal = Extended80::FromParts(false, 0, 0x7FFFFFFFFFFFFFFF);
    const Extended80 pseudo = Extended80::FromParts(false, 0, 0x8000000000000000);
    const Extended80 nan = Extended80::FromParts(false, 0x7FFF, 0xC000000000000000);
    const Extended80 inf = Extended80::FromParts(false, 0x7FFF, 0x8000000000000000);
    const Extended80 below21 = Extended80::FromParts(false, 0x4000, 0x8666666666666665);
    struct Case {
        const char* label;
        Extended80 a, b;
        std::partial_ordering expected;
    };
    const Case cases[] = {
        {"+0 = -0", Extended80::FromDouble(0.0), Extended80::FromDouble(-0.0),
         std::partial_ordering::equivalent},
        {"-1 < 0.5", Extended80::FromDouble(-1.0), Extended80::FromDouble(0.5),
         std::partial_ordering::less},
        {"-1 > -2", Extended80::FromDouble(-1.0), Extended80::FromDouble(-2.0),
         std::partial_ordering::greater},
        {"-0 > -denormal", Extended80::FromDouble(-0.0), Extended80::FromParts(true, 0, 1),
         std::partial_ordering::greater},
        {"denormal < smallest normal", denormal, min, std::partial_ordering::less},
        {"pseudo-denormal = smallest normal", pseudo, min, std::partial_ordering::equivalent},
        {"one ulp below 2.1", below21, ParamFileVersion(), std::partial_ordering::less},
        {"infinity above all", inf, Extended80::FromDouble(1e308), std::partial_ordering::greater},
        {"NaN unordered", nan, nan, std::partial_ordering::unordered},
        {"NaN against a number", Extended80::FromDouble(1.0), nan,
         std::partial_ordering::unordered},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareValues(c.a, c.b), c.expected) << c.label;
    }
}

// Where long double is the x87 format, the conversions must be exact: compare
// with the host's own bytes.
TEST(ParamFileExtended, LongDoubleConversionsAreExactOnX87) {
    if constexpr (LDBL_MANT_DIG != 64) {
        GTEST_SKIP() << "long double is not the 80-bit format here";
    } else {
        const long double values[] = {21.0L / 10.0L, 3.0L / 100.0L,  -500.0L,  1e4000L,
                                      LDBL_TRUE_MIN, LDBL_MIN,       LDBL_MAX, -0.0L,
                                      1.0L / 3.0L,   LDBL_MIN / 3.0L};
        for (long double v : values) {
            Bytes10 host{};
            std::memcpy(host.data(), &v, 10);
            EXPECT_EQ(Extended80::FromLongDouble(v).ToBytes(), host) << static_cast<double>(v);
            const long double back = Extended80::FromBytes(host).ToLongDouble();
            EXPECT_EQ(std::memcmp(&back, &v, 10), 0) << static_cast<double>(v);
        }
    }
}

}  // namespace
}  // namespace lumatrace
