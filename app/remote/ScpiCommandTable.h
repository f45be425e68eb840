// The command set of the remote interface as data: header patterns and the
// handlers they lead to, and the call a handler receives.
//
// Pattern syntax, SCPI style:
//   ":CHANnel<n>:SCALe"       upper-case letters are the short form; the
//                             input may give the short or the long form in
//                             any case (:chan2:scal, :CHANNEL2:SCALE)
//   "<n>"                     a numeric suffix; omitted in the input it is 1
//   "[:NEXT]"                 an optional node
//   trailing "?"              the query form (a separate entry)
//   "*IDN?"                   a common command
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/remote/ScpiErrors.h"
#include "app/remote/ScpiParser.h"
#include "app/remote/ScpiResponse.h"

namespace lumatrace {

// The short form of a mnemonic written as "SAMPle" or "CHANnel1": its
// leading capitals and its trailing digits ("SAMP", "CHAN1").
std::string ScpiShortForm(std::string_view mnemonic);

// Whether `input` names the mnemonic written as `pattern` ("SAMPle"): its
// short form (the upper-case letters) or its long form, in any case, and
// nothing in between.
bool ScpiMnemonicMatches(std::string_view pattern, std::string_view input);

// One value of a character-data parameter and what it stands for.
struct ScpiChoice {
    std::string_view mnemonic;  // "SAMPle"; a trailing digit is part of it ("CHANnel1")
    int value;
};

// A number parameter's unit, limits and named values.
struct ScpiNumberSpec {
    // Unit the value may carry, upper-case ("V", "S", "DIV"); empty: none.
    // The unit may be preceded by an SI multiplier (MV, US, KS ...).
    std::string_view unit;
    // Values of MINimum, MAXimum and DEFault; without one the name is refused.
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> def;
};

class ScpiCall {
  public:
    ScpiCall(const ScpiUnit& unit, std::span<const int> suffixes, ScpiStatus& status,
             ScpiResponseMessage& response)
        : unit_(unit), suffixes_(suffixes), status_(status), response_(response) {}

    bool query() const { return unit_.header.query; }
    const std::vector<ScpiParameter>& parameters() const { return unit_.parameters; }
    // The header's numeric suffixes, one per <n> of the pattern (1 where omitted).
    std::span<const int> suffixes() const { return suffixes_; }
    ScpiStatus& status() { return status_; }

    // Numeric suffix i of the header if it is within lo..hi; else -114 and
    // nullopt. i must name one of the pattern's <n>.
    std::optional<int> Suffix(std::size_t i, int lo, int hi);

    // Checks the parameter count: -109 below min, -108 above max.
    bool ExpectCount(std::size_t min, std::size_t max);

    // Parameter i as a number in spec.unit. Errors: -104 for a string
    // or block, -224 for an unknown name, -131/-138 for a wrong suffix.
    std::optional<double> Number(std::size_t i, const ScpiNumberSpec& spec);
    // Parameter i as ON/OFF or a number (non-zero after rounding is ON).
    std::optional<bool> Boolean(std::size_t i);
    // Parameter i as one of the choices; -224 if it is none of them.
    std::optional<int> Choice(std::size_t i, std::span<const ScpiChoice> choices);
    // Parameter i as string data.
    std::optional<std::string> String(std::size_t i);

    // Queues an error. A command error (-1xx) also ends the program message.
    void Error(int code, std::string detail = {});
    bool commandError() const { return commandError_; }
    bool failed() const { return failed_; }

    // Appends one response unit (formatted response data).
    void Respond(std::string_view data);
    // Starts a response unit and hands out the response text to append it to.
    std::string& ResponseUnit();
    // Starts a response unit and hands out the whole response message, for a
    // large block to be written once, in place.
    ScpiResponseMessage& ResponseUnitMessage();

    // The unit cannot finish yet (it waits for an operation of the
    // instrument): the interpreter runs it again later, from scratch.
    void Defer() { deferred_ = true; }
    bool deferred() const { return deferred_; }

  private:
    const ScpiParameter* Parameter(std::size_t i);

    const ScpiUnit& unit_;
    std::span<const int> suffixes_;
    ScpiStatus& status_;
    ScpiResponseMessage& response_;
    bool commandError_ = false;
    bool failed_ = false;
    bool deferred_ = false;
};

using ScpiHandler = std::function<void(ScpiCall&)>;

class ScpiCommandTable {
  public:
    // Adds a command. A malformed or duplicate pattern is a programming error
    // and throws std::invalid_argument.
    void Add(std::string_view pattern, ScpiHandler handler);

    struct Lookup {
        const ScpiHandler* handler = nullptr;  // null: not found (error says why)
        std::vector<int> suffixes;
        int error = 0;
    };
    // The entry for a full header path (compound rules already applied).
    Lookup Find(const std::vector<std::string>& nodes, bool common, bool query) const;

    // Every pattern, in the order added.
    std::vector<std::string> Patterns() const;

  private:
    struct Node {
        std::string mnemonic;  // as written in the pattern, "CHANnel"
        bool suffix = false;
        bool optional = false;
    };
    struct Entry {
        std::string pattern;
        bool common = false;
        bool query = false;
        std::vector<Node> nodes;
        ScpiHandler handler;
    };
    static bool MatchNodes(const std::vector<Node>& pattern, std::size_t pi,
                           const std::vector<std::string>& input, std::size_t ii,
                           std::vector<int>& suffixes, bool& suffixTooLarge);

    std::vector<Entry> entries_;
};

}  // namespace lumatrace
