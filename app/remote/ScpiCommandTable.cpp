#include "app/remote/ScpiCommandTable.h"

#include <array>
#include <cmath>
#include <stdexcept>
#include <utility>

namespace lumatrace {

namespace {

char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLower(char c) {
    return c >= 'a' && c <= 'z';
}

std::string UpperText(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = Upper(c);
    }
    return out;
}

// Length of `s` without its trailing digits.
std::size_t LettersOf(std::string_view s) {
    std::size_t n = s.size();
    while (n > 0 && IsDigit(s[n - 1])) {
        --n;
    }
    return n;
}

// SI multipliers of IEEE 488.2, 7.7.3.3, as powers of ten. M is milli; mega
// is MA, except in MHZ and MOHM.
struct Multiplier {
    std::string_view prefix;
    int exponent;
};
constexpr std::array kMultipliers = {
    Multiplier{"EX", 18}, Multiplier{"PE", 15}, Multiplier{"T", 12},  Multiplier{"G", 9},
    Multiplier{"MA", 6},  Multiplier{"K", 3},   Multiplier{"M", -3},  Multiplier{"U", -6},
    Multiplier{"N", -9},  Multiplier{"P", -12}, Multiplier{"F", -15}, Multiplier{"A", -18},
};

// value x 10^exponent, exact when the exact result is a double: dividing by
// an exactly held power of ten rounds once, where multiplying by an inexact
// 1e-3 could land one step off ("500MV" must give the same 0.5 as "0.5").
double Scaled(double value, int exponent) {
    double power = 1.0;
    for (int i = 0; i < std::abs(exponent); ++i) {
        power *= 10.0;
    }
    return exponent >= 0 ? value * power : value / power;
}

std::optional<int> SuffixExponent(std::string_view suffix, std::string_view unit) {
    if (suffix == unit) {
        return 0;
    }
    if (suffix.size() <= unit.size() || suffix.substr(suffix.size() - unit.size()) != unit) {
        return std::nullopt;
    }
    const std::string_view prefix = suffix.substr(0, suffix.size() - unit.size());
    if (prefix == "M" && (unit == "HZ" || unit == "OHM")) {
        return 6;
    }
    for (const Multiplier& m : kMultipliers) {
        if (m.prefix == prefix) {
            return m.exponent;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string ScpiShortForm(std::string_view mnemonic) {
    const std::size_t letters = LettersOf(mnemonic);
    std::string shortForm;
    for (std::size_t i = 0; i < letters && !IsLower(mnemonic[i]); ++i) {
        shortForm += mnemonic[i];
    }
    shortForm += mnemonic.substr(letters);
    return shortForm;
}

bool ScpiMnemonicMatches(std::string_view pattern, std::string_view input) {
    const std::string given = UpperText(input);
    return given == ScpiShortForm(pattern) || given == UpperText(pattern);
}

// ---------------------------------------------------------------------------

const ScpiParameter* ScpiCall::Parameter(std::size_t i) {
    if (i >= unit_.parameters.size()) {
        Error(scpi_error::kMissingParameter);
        return nullptr;
    }
    return &unit_.parameters[i];
}

std::optional<int> ScpiCall::Suffix(std::size_t i, int lo, int hi) {
    if (i >= suffixes_.size()) {
        throw std::out_of_range("the pattern has no such numeric suffix");
    }
    const int value = suffixes_[i];
    if (value < lo || value > hi) {
        Error(scpi_error::kHeaderSuffixOutOfRange,
              std::to_string(value) + " not in " + std::to_string(lo) + ".." + std::to_string(hi));
        return std::nullopt;
    }
    return value;
}

bool ScpiCall::ExpectCount(std::size_t min, std::size_t max) {
    const std::size_t n = unit_.parameters.size();
    if (n < min) {
        Error(scpi_error::kMissingParameter);
        return false;
    }
    if (n > max) {
        Error(scpi_error::kParameterNotAllowed);
        return false;
    }
    return true;
}

std::optional<double> ScpiCall::Number(std::size_t i, const ScpiNumberSpec& spec) {
    const ScpiParameter* p = Parameter(i);
    if (!p) {
        return std::nullopt;
    }
    switch (p->kind) {
        case ScpiParameter::Kind::kNumber:
            break;
        case ScpiParameter::Kind::kCharacter: {
            struct Named {
                std::string_view mnemonic;
                const std::optional<double>* value;
            };
            const Named named[] = {
                {"MINimum", &spec.min}, {"MAXimum", &spec.max}, {"DEFault", &spec.def}};
            for (const Named& n : named) {
                if (ScpiMnemonicMatches(n.mnemonic, p->text)) {
                    if (!*n.value) {
                        Error(scpi_error::kIllegalParameterValue, p->text + " not allowed here");
                        return std::nullopt;
                    }
                    return **n.value;
                }
            }
            Error(scpi_error::kIllegalParameterValue, p->text + " is not a number");
            return std::nullopt;
        }
        default:
            Error(scpi_error::kDataTypeError, "number expected");
            return std::nullopt;
    }
    if (p->suffix.empty()) {
        return p->number;
    }
    if (spec.unit.empty()) {
        Error(scpi_error::kSuffixNotAllowed, p->suffix);
        return std::nullopt;
    }
    const auto exponent = SuffixExponent(p->suffix, spec.unit);
    if (!exponent || p->nonDecimal) {
        Error(scpi_error::kInvalidSuffix, p->suffix + ", unit is " + std::string(spec.unit));
        return std::nullopt;
    }
    return Scaled(p->number, *exponent);
}

std::optional<bool> ScpiCall::Boolean(std::size_t i) {
    const ScpiParameter* p = Parameter(i);
    if (!p) {
        return std::nullopt;
    }
    if (p->kind == ScpiParameter::Kind::kNumber) {
        if (!p->suffix.empty()) {
            Error(scpi_error::kSuffixNotAllowed, p->suffix);
            return std::nullopt;
        }
        return std::nearbyint(p->number) != 0.0;
    }
    if (p->kind == ScpiParameter::Kind::kCharacter) {
        if (ScpiMnemonicMatches("ON", p->text)) {
            return true;
        }
        if (ScpiMnemonicMatches("OFF", p->text)) {
            return false;
        }
        Error(scpi_error::kIllegalParameterValue, p->text + ", expected ON, OFF, 1 or 0");
        return std::nullopt;
    }
    Error(scpi_error::kDataTypeError, "ON, OFF, 1 or 0 expected");
    return std::nullopt;
}

std::optional<int> ScpiCall::Choice(std::size_t i, std::span<const ScpiChoice> choices) {
    const ScpiParameter* p = Parameter(i);
    if (!p) {
        return std::nullopt;
    }
    std::string allowed;
    for (const ScpiChoice& c : choices) {
        allowed += allowed.empty() ? "" : "|";
        allowed += c.mnemonic;
    }
    if (p->kind != ScpiParameter::Kind::kCharacter) {
        Error(scpi_error::kDataTypeError, allowed + " expected");
        return std::nullopt;
    }
    for (const ScpiChoice& c : choices) {
        if (ScpiMnemonicMatches(c.mnemonic, p->text)) {
            return c.value;
        }
    }
    Error(scpi_error::kIllegalParameterValue, p->text + ", expected " + allowed);
    return std::nullopt;
}

std::optional<std::string> ScpiCall::String(std::size_t i) {
    const ScpiParameter* p = Parameter(i);
    if (!p) {
        return std::nullopt;
    }
    if (p->kind != ScpiParameter::Kind::kString) {
        Error(scpi_error::kDataTypeError, "string expected");
        return std::nullopt;
    }
    return p->text;
}

void ScpiCall::Error(int code, std::string detail) {
    failed_ = true;
    if (IsScpiCommandError(code)) {
        commandError_ = true;
    }
    status_.Push(code, std::move(detail));
}

void ScpiCall::Respond(std::string_view data) {
    ResponseUnit().append(data);
}

std::string& ScpiCall::ResponseUnit() {
    return ResponseUnitMessage().Text();
}

ScpiResponseMessage& ScpiCall::ResponseUnitMessage() {
    if (!response_.empty()) {
        response_.Text() += ';';
    }
    return response_;
}

// ---------------------------------------------------------------------------

void ScpiCommandTable::Add(std::string_view pattern, ScpiHandler handler) {
    Entry entry;
    entry.pattern = std::string(pattern);
    std::string_view rest = pattern;
    if (!rest.empty() && rest.back() == '?') {
        entry.query = true;
        rest.remove_suffix(1);
    }
    auto bad = [&](const char* why) {
        throw std::invalid_argument("command pattern " + std::string(pattern) + ": " + why);
    };
    if (!rest.empty() && rest.front() == '*') {
        entry.common = true;
        rest.remove_prefix(1);
        if (rest.empty()) {
            bad("no mnemonic");
        }
        entry.nodes.push_back({std::string(rest), false, false});
    } else {
        while (!rest.empty()) {
            Node node;
            if (rest.front() == '[') {
                const std::size_t close = rest.find(']');
                if (close == std::string_view::npos) {
                    bad("unclosed '['");
                }
                node.optional = true;
                std::string_view inner = rest.substr(1, close - 1);
                rest.remove_prefix(close + 1);
                if (inner.empty() || inner.front() != ':') {
                    bad("an optional node is written [:NODE]");
                }
                inner.remove_prefix(1);
                node.mnemonic = std::string(inner);
            } else {
                if (rest.front() != ':') {
                    bad("nodes start with ':'");
                }
                rest.remove_prefix(1);
                const std::size_t end = rest.find_first_of(":[");
                node.mnemonic = std::string(rest.substr(0, end));
                rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
            }
            const std::size_t placeholder = node.mnemonic.find("<n>");
            if (placeholder != std::string::npos) {
                if (placeholder + 3 != node.mnemonic.size()) {
                    bad("<n> ends a node");
                }
                node.suffix = true;
                node.mnemonic.resize(placeholder);
            }
            if (node.mnemonic.empty() || LettersOf(node.mnemonic) != node.mnemonic.size()) {
                bad("a node is letters only");
            }
            entry.nodes.push_back(std::move(node));
        }
        if (entry.nodes.empty()) {
            bad("no nodes");
        }
    }
    for (const Entry& e : entries_) {
        if (e.pattern == entry.pattern) {
            bad("added twice");
        }
    }
    entry.handler = std::move(handler);
    entries_.push_back(std::move(entry));
}

bool ScpiCommandTable::MatchNodes(const std::vector<Node>& pattern, std::size_t pi,
                                  const std::vector<std::string>& input, std::size_t ii,
                                  std::vector<int>& suffixes, bool& suffixTooLarge) {
    if (pi == pattern.size()) {
        return ii == input.size();
    }
    const Node& node = pattern[pi];
    const std::size_t mark = suffixes.size();
    if (ii < input.size()) {
        const std::string& given = input[ii];
        const std::size_t letters = LettersOf(given);
        const std::string_view digits = std::string_view(given).substr(letters);
        bool ok = ScpiMnemonicMatches(node.mnemonic, std::string_view(given).substr(0, letters));
        if (ok && !digits.empty() && !node.suffix) {
            ok = false;
        }
        if (ok && node.suffix) {
            int value = 1;
            if (!digits.empty()) {
                if (digits.size() > 6) {
                    suffixTooLarge = true;
                    return false;
                }
                value = std::stoi(std::string(digits));
            }
            suffixes.push_back(value);
        }
        if (ok && MatchNodes(pattern, pi + 1, input, ii + 1, suffixes, suffixTooLarge)) {
            return true;
        }
        suffixes.resize(mark);
    }
    if (node.optional) {
        if (node.suffix) {
            suffixes.push_back(1);
        }
        if (MatchNodes(pattern, pi + 1, input, ii, suffixes, suffixTooLarge)) {
            return true;
        }
        suffixes.resize(mark);
    }
    return false;
}

ScpiCommandTable::Lookup ScpiCommandTable::Find(const std::vector<std::string>& nodes, bool common,
                                                bool query) const {
    Lookup lookup;
    bool suffixTooLarge = false;
    for (const Entry& e : entries_) {
        if (e.common != common || e.query != query) {
            continue;
        }
        if (common) {
            if (nodes.size() == 1 && UpperText(nodes[0]) == UpperText(e.nodes[0].mnemonic)) {
                lookup.handler = &e.handler;
                return lookup;
            }
            continue;
        }
        std::vector<int> suffixes;
        if (MatchNodes(e.nodes, 0, nodes, 0, suffixes, suffixTooLarge)) {
            lookup.handler = &e.handler;
            lookup.suffixes = std::move(suffixes);
            return lookup;
        }
    }
    lookup.error =
        suffixTooLarge ? scpi_error::kHeaderSuffixOutOfRange : scpi_error::kUndefinedHeader;
    return lookup;
}

std::vector<std::string> ScpiCommandTable::Patterns() const {
    std::vector<std::string> out;
    for (const Entry& e : entries_) {
        out.push_back(e.pattern);
    }
    return out;
}

}  // namespace lumatrace
