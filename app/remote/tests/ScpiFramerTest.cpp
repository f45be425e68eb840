// Cutting the byte stream into messages: newlines, blocks that hide
// newlines, overlong lines, and any slicing of the input.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/remote/ScpiInputFramer.h"

namespace lumatrace {
namespace {

// Messages as text; an overrun reads "<overrun>".
std::vector<std::string> Frame(const std::string& input, std::size_t max = 64,
                               std::size_t slice = 0) {
    ScpiInputFramer framer(max);
    if (slice == 0) {
        framer.Feed(input);
    } else {
        for (std::size_t i = 0; i < input.size(); i += slice) {
            framer.Feed(std::string_view(input).substr(i, slice));
        }
    }
    std::vector<std::string> out;
    while (framer.HasMessage()) {
        const ScpiFramedMessage m = framer.TakeMessage();
        out.push_back(m.overrun ? "<overrun>" : m.text);
    }
    return out;
}

using Lines = std::vector<std::string>;

TEST(ScpiFramer, NewlinesEndMessages) {
    EXPECT_EQ(Frame("*IDN?\n:RUN\n"), (Lines{"*IDN?", ":RUN"}));
    EXPECT_EQ(Frame("*IDN?\r\n:RUN\r\n"), (Lines{"*IDN?", ":RUN"}));
    EXPECT_EQ(Frame("A\r B\n"), (Lines{"A\r B"}));
    EXPECT_EQ(Frame("\n\n\r\nA\n\n"), (Lines{"A"}));
    EXPECT_EQ(Frame("partial"), Lines{});
    // A newline inside quotes still ends the message (the parser reports the string).
    EXPECT_EQ(Frame("X \"a\nb\"\n"), (Lines{"X \"a", "b\""}));
}

TEST(ScpiFramer, BlocksAreCountedOff) {
    const std::string block = "X #211ab\n\"\n#15\n;c\n";
    EXPECT_EQ(Frame(block), (Lines{"X #211ab\n\"\n#15\n;c"}));
    // '#' inside a string is not a block.
    EXPECT_EQ(Frame("X \"#15\",1\nY\n"), (Lines{"X \"#15\",1", "Y"}));
    EXPECT_EQ(Frame("X '#15''#13',1\nY\n"), (Lines{"X '#15''#13',1", "Y"}));
    // #0, #H numbers and stray '#' run to the newline.
    EXPECT_EQ(Frame("X #0ab\nY\n"), (Lines{"X #0ab", "Y"}));
    EXPECT_EQ(Frame("X #HFF\nY\n"), (Lines{"X #HFF", "Y"}));
    EXPECT_EQ(Frame("X #2a\nY\n"), (Lines{"X #2a", "Y"}));
    EXPECT_EQ(Frame("X #10\nY\n"), (Lines{"X #10", "Y"}));
    // CR LF inside a block is data.
    EXPECT_EQ(Frame("X #12\r\n\nY\n"), (Lines{"X #12\r\n", "Y"}));
}

TEST(ScpiFramer, AnOverlongLineIsReplacedByAnOverrunAndTheStreamGoesOn) {
    const std::string longLine = ":SAVE:SET \"" + std::string(100, 'x') + ".zep\"\n";
    EXPECT_EQ(Frame(longLine + "*IDN?\n", 64), (Lines{"<overrun>", "*IDN?"}));
    EXPECT_EQ(Frame(std::string(64, 'A') + "\n", 64), (Lines{std::string(64, 'A')}));
    EXPECT_EQ(Frame(std::string(65, 'A') + "\n", 64), (Lines{"<overrun>"}));
    // A long block: its newlines are counted off even while it is thrown away.
    std::string payload(300, 'z');
    for (std::size_t i = 0; i < payload.size(); i += 7) {
        payload[i] = '\n';
    }
    EXPECT_EQ(Frame("X #3300" + payload + "\nY\n", 64), (Lines{"<overrun>", "Y"}));
}

TEST(ScpiFramer, AnySlicingGivesTheSameMessages) {
    std::string stream = "*IDN?\r\n:WAV:DATA?\nX #15a\nb\nc;Y \"#1\"\n";
    stream += std::string(80, 'L') + "\n:RUN\nX #3100" + std::string(100, '\n') + "\nZ\n";
    const Lines whole = Frame(stream);
    ASSERT_EQ(whole.size(), 7u);
    for (std::size_t slice = 1; slice <= 13; ++slice) {
        EXPECT_EQ(Frame(stream, 64, slice), whole) << slice;
    }
    std::mt19937 random(11);
    for (int round = 0; round < 50; ++round) {
        ScpiInputFramer framer(64);
        for (std::size_t i = 0; i < stream.size();) {
            const std::size_t n = 1 + random() % 20;
            framer.Feed(std::string_view(stream).substr(i, n));
            i += n;
        }
        Lines got;
        while (framer.HasMessage()) {
            const ScpiFramedMessage m = framer.TakeMessage();
            got.push_back(m.overrun ? "<overrun>" : m.text);
        }
        EXPECT_EQ(got, whole);
    }
}

}  // namespace
}  // namespace lumatrace
