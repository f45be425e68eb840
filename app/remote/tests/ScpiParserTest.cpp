// Program messages: headers, parameters of every kind, separators and the
// errors the parser reports.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "app/remote/ScpiErrors.h"
#include "app/remote/ScpiParser.h"

namespace lumatrace {
namespace {

using Kind = ScpiParameter::Kind;

struct Parsed {
    std::vector<ScpiUnit> units;
    int error = 0;
};

Parsed ParseAll(std::string_view text) {
    Parsed p;
    ScpiMessageReader reader(text);
    while (auto unit = reader.Next()) {
        p.units.push_back(std::move(*unit));
    }
    if (reader.error()) {
        p.error = reader.error()->code;
    }
    return p;
}

ScpiParameter OnlyParameter(std::string_view text) {
    const Parsed p = ParseAll(text);
    EXPECT_EQ(p.error, 0) << text;
    if (p.units.size() != 1 || p.units[0].parameters.size() != 1) {
        ADD_FAILURE() << "not one unit with one parameter: " << text;
        return {};
    }
    return p.units[0].parameters[0];
}

TEST(ScpiParser, HeadersKeepTheirNodesAsSent) {
    struct Case {
        const char* text;
        bool common, absolute, query;
        std::vector<std::string> nodes;
    };
    const Case cases[] = {
        {"*IDN?", true, false, true, {"IDN"}},
        {"*rst", true, false, false, {"rst"}},
        {":TIMebase:SCALe 1", false, true, false, {"TIMebase", "SCALe"}},
        {"tim:scal?", false, false, true, {"tim", "scal"}},
        {":CHAN2:SCAL?", false, true, true, {"CHAN2", "SCAL"}},
        {"  :RUN  ", false, true, false, {"RUN"}},
        {":MEAS:VRMS_X? CH1", false, true, true, {"MEAS", "VRMS_X"}},
    };
    for (const Case& c : cases) {
        const Parsed p = ParseAll(c.text);
        ASSERT_EQ(p.error, 0) << c.text;
        ASSERT_EQ(p.units.size(), 1u) << c.text;
        const ScpiHeader& h = p.units[0].header;
        EXPECT_EQ(h.common, c.common) << c.text;
        EXPECT_EQ(h.absolute, c.absolute) << c.text;
        EXPECT_EQ(h.query, c.query) << c.text;
        EXPECT_EQ(h.nodes, c.nodes) << c.text;
    }
}

TEST(ScpiParser, DecimalNumbersInAllForms) {
    struct Case {
        const char* text;
        double value;
        const char* suffix;
    };
    const Case cases[] = {
        {"X 1", 1.0, ""},
        {"X -12", -12.0, ""},
        {"X +3", 3.0, ""},
        {"X 1.5", 1.5, ""},
        {"X .5", 0.5, ""},
        {"X 5.", 5.0, ""},
        {"X -0.25", -0.25, ""},
        {"X 1.5E-3", 1.5e-3, ""},
        {"X 2e3", 2000.0, ""},
        {"X 2E+03", 2000.0, ""},
        {"X 007", 7.0, ""},
        {"X 500mV", 500.0, "MV"},
        {"X 2US", 2.0, "US"},
        {"X 2 us", 2.0, "US"},
        {"X 1.5e-3V", 1.5e-3, "V"},
        {"X 1EX", 1.0, "EX"},  // exa, not an exponent
        {"X 3E", 3.0, "E"},
        {"X 0.1", 0.1, ""},
        {"X 1e400", std::numeric_limits<double>::infinity(), ""},
        {"X -1e400", -std::numeric_limits<double>::infinity(), ""},
        {"X 1e-400", 0.0, ""},
    };
    for (const Case& c : cases) {
        const ScpiParameter p = OnlyParameter(c.text);
        EXPECT_EQ(p.kind, Kind::kNumber) << c.text;
        EXPECT_EQ(p.number, c.value) << c.text;
        EXPECT_EQ(p.suffix, c.suffix) << c.text;
        EXPECT_FALSE(p.nonDecimal) << c.text;
    }
}

TEST(ScpiParser, NonDecimalNumbers) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"X #HFF", 255.0}, {"X #hff", 255.0}, {"X #Q17", 15.0}, {"X #B1010", 10.0}, {"X #H0", 0.0}};
    for (const Case& c : cases) {
        const ScpiParameter p = OnlyParameter(c.text);
        EXPECT_EQ(p.number, c.value) << c.text;
        EXPECT_TRUE(p.nonDecimal) << c.text;
    }
}

TEST(ScpiParser, StringsUndoubleTheirQuotesAndHideSeparators) {
    struct Case {
        const char* text;
        const char* value;
    };
    const Case cases[] = {
        {R"(X "abc")", "abc"},
        {R"(X "a""b")", "a\"b"},
        {R"(X 'it''s')", "it's"},
        {R"(X "it's")", "it's"},
        {R"(X 'say "hi"')", "say \"hi\""},
        {R"(X "a;b,c")", "a;b,c"},
        {R"(X "")", ""},
        {R"(X "C:\data\run 1.zep")", "C:\\data\\run 1.zep"},
    };
    for (const Case& c : cases) {
        const ScpiParameter p = OnlyParameter(c.text);
        EXPECT_EQ(p.kind, Kind::kString) << c.text;
        EXPECT_EQ(p.text, c.value) << c.text;
    }
}

TEST(ScpiParser, BlocksAreCountedNotScanned) {
    const std::string bytes("a;\n\"#\0z", 7);
    const std::string definite = "X #17" + bytes + ";Y";
    const Parsed p = ParseAll(definite);
    ASSERT_EQ(p.error, 0);
    ASSERT_EQ(p.units.size(), 2u);
    EXPECT_EQ(p.units[0].parameters[0].kind, Kind::kBlock);
    EXPECT_EQ(p.units[0].parameters[0].text, bytes);
    EXPECT_EQ(p.units[1].header.nodes, std::vector<std::string>{"Y"});

    const ScpiParameter empty = OnlyParameter("X #10");
    EXPECT_EQ(empty.kind, Kind::kBlock);
    EXPECT_EQ(empty.text, "");

    // Indefinite length: the rest of the message, separators included.
    const ScpiParameter rest = OnlyParameter("X #0ab;c");
    EXPECT_EQ(rest.kind, Kind::kBlock);
    EXPECT_EQ(rest.text, "ab;c");
}

TEST(ScpiParser, CharacterDataAndParameterLists) {
    const Parsed p = ParseAll(":ACQ:MODE SAMPle ; :MEAS:VPP? CH1 , 2.5 , \"s\" ;*OPC?");
    ASSERT_EQ(p.error, 0);
    ASSERT_EQ(p.units.size(), 3u);
    ASSERT_EQ(p.units[0].parameters.size(), 1u);
    EXPECT_EQ(p.units[0].parameters[0].kind, Kind::kCharacter);
    EXPECT_EQ(p.units[0].parameters[0].text, "SAMPle");
    ASSERT_EQ(p.units[1].parameters.size(), 3u);
    EXPECT_EQ(p.units[1].parameters[0].text, "CH1");
    EXPECT_EQ(p.units[1].parameters[1].number, 2.5);
    EXPECT_EQ(p.units[1].parameters[2].text, "s");
    EXPECT_TRUE(p.units[2].header.common);
    EXPECT_TRUE(p.units[2].parameters.empty());
}

TEST(ScpiParser, EmptyUnitsAreSkipped) {
    const Parsed p = ParseAll(";;:RUN;; ;:STOP;");
    EXPECT_EQ(p.error, 0);
    ASSERT_EQ(p.units.size(), 2u);
    EXPECT_TRUE(ParseAll("").units.empty());
    EXPECT_TRUE(ParseAll("   \t\r").units.empty());
}

TEST(ScpiParser, ErrorsCarryTheStandardNumbers) {
    struct Case {
        std::string text;
        int code;
    };
    using namespace scpi_error;
    const Case cases[] = {
        {"*", kCommandHeaderError},
        {":", kCommandHeaderError},
        {":TIM:", kCommandHeaderError},
        {":TIM::SCAL", kCommandHeaderError},
        {"1X", kInvalidCharacter},
        {":TIM&", kHeaderSeparatorError},
        {":TIM:SCAL,1", kHeaderSeparatorError},
        {"ABCDEFGHIJKLM", kMnemonicTooLong},
        {"X 1 2", kInvalidSeparator},
        {"X 1,", kSyntaxError},
        {"X 1,,2", kSyntaxError},
        {"X \"abc", kInvalidStringData},
        {"X 'abc\"", kInvalidStringData},
        {"X #15ab", kInvalidBlockData},
        {"X #2", kInvalidBlockData},
        {"X #", kSyntaxError},
        {"X #X", kSyntaxError},
        {"X 1.2.3", kInvalidCharacterInNumber},
        {"X 1e2.5", kInvalidCharacterInNumber},
        {"X 1e99999", kExponentTooLarge},
        {"X +", kNumericDataError},
        {"X -.", kNumericDataError},
        {"X #H", kNumericDataError},
        {"X #HG1", kInvalidCharacterInNumber},
        {"X #B102", kInvalidCharacterInNumber},
        {"X #HFFFFFFFFFFFFFFFF", kNumericDataError},
        {"X " + std::string(256, '7'), kTooManyDigits},
        {"X ABCDEFGHIJKLM", kCharacterDataTooLong},
        {"X 1VOLTSVOLTSVOL", kSuffixTooLong},
        {"X 1V2", kInvalidSuffix},
        {"X @", kInvalidCharacter},
        {"X (1)", kInvalidCharacter},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseAll(c.text).error, c.code) << c.text;
    }
    // Leading zeros do not count towards the 255 digits.
    EXPECT_EQ(ParseAll("X " + std::string(300, '0') + "1").error, 0);
}

TEST(ScpiParser, ReadingStopsAtTheFirstError) {
    ScpiMessageReader reader(":RUN;:A&;:STOP");
    ASSERT_TRUE(reader.Next().has_value());
    EXPECT_FALSE(reader.Next().has_value());
    ASSERT_TRUE(reader.error().has_value());
    EXPECT_EQ(reader.error()->code, scpi_error::kHeaderSeparatorError);
    EXPECT_FALSE(reader.Next().has_value());
}

}  // namespace
}  // namespace lumatrace
