// Response formatting and the error queue.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "app/remote/ScpiErrors.h"
#include "app/remote/ScpiParser.h"
#include "app/remote/ScpiResponse.h"

namespace lumatrace {
namespace {

// The parser is the reader a client would use.
double ReadBack(const std::string& text) {
    const std::string message = "X " + text;
    ScpiMessageReader reader(message);
    const auto unit = reader.Next();
    EXPECT_TRUE(unit && unit->parameters.size() == 1) << text;
    EXPECT_TRUE(unit->parameters[0].suffix.empty()) << text;
    return unit->parameters[0].number;
}

TEST(ScpiResponse, Nr3ReadsBackBitForBit) {
    const double fixed[] = {0.0,       0.5,        -0.5,      1e-9,   2e-4,
                            0.01,      0.02,       1.0 / 3.0, 5e-3,   1000.0,
                            1e12,      -7.25,      1e-300,    5e-324, 1.7976931348623157e308,
                            0.1 + 0.2, 123456789.0};
    for (const double v : fixed) {
        const std::string text = FormatNr3(v);
        EXPECT_NE(text.find('E'), std::string::npos) << text;
        EXPECT_NE(text.find('.'), std::string::npos) << text;
        EXPECT_EQ(ReadBack(text), v) << text;
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 2000; ++i) {
        const std::uint64_t bits = random();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v)) {
            continue;
        }
        EXPECT_EQ(ReadBack(FormatNr3(v)), v) << FormatNr3(v);
    }
}

TEST(ScpiResponse, Nr3ShapesAndSpecialValues) {
    EXPECT_EQ(FormatNr3(0.5), "5.0E-01");
    EXPECT_EQ(FormatNr3(2e-4), "2.0E-04");
    EXPECT_EQ(FormatNr3(-1.25), "-1.25E+00");
    EXPECT_EQ(FormatNr3(std::numeric_limits<double>::quiet_NaN()), "9.91E+37");
    EXPECT_EQ(FormatNr3(std::numeric_limits<double>::infinity()), "9.9E+37");
    EXPECT_EQ(FormatNr3(-std::numeric_limits<double>::infinity()), "-9.9E+37");
    EXPECT_EQ(FormatNr1(-12), "-12");
}

TEST(ScpiResponse, StringsAndBlocks) {
    EXPECT_EQ(QuoteScpiString("a\"b"), "\"a\"\"b\"");
    EXPECT_EQ(QuoteScpiString("line\nnext"), "\"line next\"");
    EXPECT_EQ(DefiniteBlockHeader(0), "#10");
    EXPECT_EQ(DefiniteBlockHeader(7), "#17");
    EXPECT_EQ(DefiniteBlockHeader(2000000), "#72000000");
    std::string out = "x";
    AppendDefiniteBlock(out, std::string("\0\n", 2));
    EXPECT_EQ(out, std::string("x#12\0\n", 6));
}

// Text and blocks of memory of their own read back as one message, in order.
TEST(ScpiResponseMessage, PiecesMakeTheMessageInOrder) {
    ScpiResponseMessage m;
    EXPECT_TRUE(m.empty());
    EXPECT_TRUE(m.Pieces().empty());
    m.Text() += "1;#6200000";
    const std::size_t large = ScpiResponseMessage::kOwnMemoryBytes + 3;
    std::memset(m.AppendForOverwrite(large), 'x', large);
    m.Text() += ';';
    std::memcpy(m.AppendForOverwrite(3), "abc", 3);  // small: into the text
    m.Text() += '\n';
    const std::string expected = "1;#6200000" + std::string(large, 'x') + ";abc\n";
    EXPECT_EQ(m.size(), expected.size());
    EXPECT_EQ(m.str(), expected);
    EXPECT_EQ(m.Pieces().size(), 3u);

    ScpiResponseMessage moved = std::move(m);
    EXPECT_EQ(moved.str(), expected);
    EXPECT_TRUE(m.empty());  // NOLINT(bugprone-use-after-move): moved-from is empty
    moved.clear();
    EXPECT_TRUE(moved.empty());
    EXPECT_EQ(moved.str(), "");
}

TEST(ScpiErrorQueue, OldestFirstThenNoError) {
    ScpiStatus status(4);
    status.Push(-113, "FOO");
    status.Push(-222);
    EXPECT_EQ(status.Count(), 2u);
    EXPECT_EQ(FormatScpiError(status.Pop()), "-113,\"Undefined header;FOO\"");
    EXPECT_EQ(FormatScpiError(status.Pop()), "-222,\"Data out of range\"");
    EXPECT_EQ(FormatScpiError(status.Pop()), "0,\"No error\"");
    EXPECT_EQ(status.Count(), 0u);
}

TEST(ScpiErrorQueue, OverflowReplacesTheLastEntry) {
    ScpiStatus status(3);
    for (int code : {-101, -102, -103, -104, -105}) {
        status.Push(code);
    }
    ASSERT_EQ(status.Count(), 3u);
    EXPECT_EQ(status.Pop().code, -101);
    EXPECT_EQ(status.Pop().code, -102);
    EXPECT_EQ(status.Pop().code, scpi_error::kQueueOverflow);
    // Room again: new errors queue normally.
    status.Push(-222);
    EXPECT_EQ(status.Pop().code, -222);
}

TEST(ScpiErrorQueue, TextsOfTheStandard) {
    struct Case {
        int code;
        const char* text;
    };
    const Case cases[] = {{0, "No error"},
                          {-100, "Command error"},
                          {-102, "Syntax error"},
                          {-104, "Data type error"},
                          {-108, "Parameter not allowed"},
                          {-109, "Missing parameter"},
                          {-113, "Undefined header"},
                          {-222, "Data out of range"},
                          {-224, "Illegal parameter value"},
                          {-350, "Queue overflow"},
                          {-363, "Input buffer overrun"},
                          {-410, "Query INTERRUPTED"},
                          {-199, "Command error"},  // unnamed: its class
                          {-299, "Execution error"}};
    for (const Case& c : cases) {
        EXPECT_EQ(ScpiErrorText(c.code), c.text) << c.code;
    }
    // Error strings stop at 255 characters.
    const std::string long_ = FormatScpiError({-200, std::string(400, 'x')});
    EXPECT_EQ(long_.size(), std::string("-200,\"\"").size() + 255);
}

TEST(ScpiStatusRegisters, ErrorsSetTheirClassBits) {
    ScpiStatus status;
    EXPECT_EQ(status.ReadEventStatus(), scpi_esr::kPowerOn);
    EXPECT_EQ(status.ReadEventStatus(), 0);
    status.Push(-113);
    status.Push(-222);
    status.Push(-363);
    status.Push(-410);
    EXPECT_EQ(status.EventStatus(), scpi_esr::kCommandError | scpi_esr::kExecutionError |
                                        scpi_esr::kDeviceError | scpi_esr::kQueryError);
    EXPECT_EQ(status.StatusByte(), scpi_stb::kErrorQueue);
    status.eventEnable = scpi_esr::kCommandError;
    EXPECT_EQ(status.StatusByte(), scpi_stb::kErrorQueue | scpi_stb::kEventSummary);
    status.serviceEnable = scpi_stb::kEventSummary;
    EXPECT_EQ(status.StatusByte(),
              scpi_stb::kErrorQueue | scpi_stb::kEventSummary | scpi_stb::kMasterSummary);
    status.Clear();
    EXPECT_EQ(status.Count(), 0u);
    EXPECT_EQ(status.StatusByte(), 0);
}

}  // namespace
}  // namespace lumatrace
