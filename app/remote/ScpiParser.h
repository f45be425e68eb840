// Program messages of the remote interface (IEEE 488.2, chapter 7, with the
// SCPI header rules): one message is one line from a client, holding program
// message units separated by ';'.
//
//   :TIMebase:SCALe 2US;:CHANnel1:SCALe 500mV;POSition -1.5
//   *IDN?
//
// The reader hands out one unit at a time so that each unit runs before the
// next is read: an error in the third unit does not undo the first two.
// Nothing here knows any command; headers are matched by ScpiCommandTable.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumatrace {

// Mnemonics (header nodes, character data, suffixes) are at most 12
// characters long (IEEE 488.2, 7.6.1.4).
inline constexpr std::size_t kScpiMaxMnemonic = 12;

struct ScpiParameter {
    enum class Kind {
        kNumber,     // decimal (NR1/NR2/NR3) or #H/#Q/#B non-decimal numeric
        kCharacter,  // a mnemonic such as SAMPle or MAX
        kString,     // "..." or '...'
        kBlock,      // #<d><length><bytes> or #0<bytes>
    };
    Kind kind = Kind::kNumber;
    double number = 0.0;  // kNumber
    std::string suffix;   // kNumber: the unit as sent, upper-cased ("MV"); empty if none
    bool nonDecimal = false;
    std::string text;  // kCharacter: as sent; kString: unquoted; kBlock: the bytes
};

struct ScpiHeader {
    bool common = false;             // *IDN and the like; nodes holds the one mnemonic without '*'
    bool absolute = false;           // starts with ':'
    bool query = false;              // ends with '?'
    std::vector<std::string> nodes;  // mnemonics as sent, numeric suffix included ("CHAN2")
};

struct ScpiUnit {
    ScpiHeader header;
    std::vector<ScpiParameter> parameters;
};

struct ScpiParseError {
    int code = 0;
    std::string detail;
};

// Reads the units of one program message in turn.
class ScpiMessageReader {
  public:
    explicit ScpiMessageReader(std::string_view message, std::size_t start = 0)
        : text_(message), pos_(start) {}

    // The next unit, or nullopt at the end of the message or after an error
    // (then error() says which; the rest of the message is not read).
    // Empty units (";;", a trailing ';') are skipped.
    std::optional<ScpiUnit> Next();

    const std::optional<ScpiParseError>& error() const { return error_; }
    // Offset of the unit Next() returns next (after leading separators).
    std::size_t position() const { return pos_; }

  private:
    bool ParseHeader(ScpiHeader& header);
    bool ParseParameters(std::vector<ScpiParameter>& parameters);
    bool ParseParameter(ScpiParameter& parameter);
    bool ParseNumber(ScpiParameter& parameter);
    bool ParseNonDecimal(ScpiParameter& parameter);
    bool ParseBlock(ScpiParameter& parameter);
    bool ParseString(ScpiParameter& parameter);
    bool ParseCharacter(ScpiParameter& parameter);
    void SkipWhitespace();
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek(std::size_t ahead = 0) const {
        return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0';
    }
    bool Fail(int code, std::string detail);

    std::string_view text_;
    std::size_t pos_;
    std::optional<ScpiParseError> error_;
};

// Whitespace between the syntactic elements: the control characters and the
// space (a newline only ever ends a message, but is harmless here).
bool IsScpiWhitespace(char c);

}  // namespace lumatrace
