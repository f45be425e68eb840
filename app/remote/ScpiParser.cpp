#include "app/remote/ScpiParser.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "app/remote/ScpiErrors.h"

namespace lumatrace {

namespace {

bool IsAlpha(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsMnemonicChar(char c) {
    return IsAlpha(c) || IsDigit(c) || c == '_';
}
char Upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The standard's limits for decimal numeric data (IEEE 488.2, 7.7.2.4.1).
constexpr std::size_t kMaxMantissaDigits = 255;
constexpr int kMaxExponent = 32000;

// A printable form of a character for an error detail.
std::string Shown(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7F) {
        return std::string("'") + c + "'";
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    return std::string("byte 0x") + kHex[u >> 4] + kHex[u & 0xF];
}

}  // namespace

bool IsScpiWhitespace(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= 0x20;
}

bool ScpiMessageReader::Fail(int code, std::string detail) {
    error_ = ScpiParseError{code, std::move(detail)};
    pos_ = text_.size();
    return false;
}

void ScpiMessageReader::SkipWhitespace() {
    while (!AtEnd() && IsScpiWhitespace(text_[pos_])) {
        ++pos_;
    }
}

std::optional<ScpiUnit> ScpiMessageReader::Next() {
    while (!error_) {
        SkipWhitespace();
        if (AtEnd()) {
            return std::nullopt;
        }
        if (Peek() == ';') {
            ++pos_;
            continue;
        }
        ScpiUnit unit;
        if (!ParseHeader(unit.header)) {
            return std::nullopt;
        }
        if (AtEnd()) {
            return unit;
        }
        if (Peek() == ';') {
            ++pos_;
            return unit;
        }
        if (!IsScpiWhitespace(Peek())) {
            Fail(scpi_error::kHeaderSeparatorError, Shown(Peek()) + " after the header");
            return std::nullopt;
        }
        SkipWhitespace();
        if (AtEnd()) {
            return unit;
        }
        if (Peek() == ';') {
            ++pos_;
            return unit;
        }
        if (!ParseParameters(unit.parameters)) {
            return std::nullopt;
        }
        return unit;
    }
    return std::nullopt;
}

bool ScpiMessageReader::ParseHeader(ScpiHeader& header) {
    auto readMnemonic = [&](std::string& out) {
        if (!IsAlpha(Peek())) {
            if (AtEnd() || IsScpiWhitespace(Peek()) || Peek() == ';' || Peek() == ':' ||
                Peek() == '?') {
                return Fail(scpi_error::kCommandHeaderError, "header incomplete");
            }
            return Fail(scpi_error::kInvalidCharacter, Shown(Peek()) + " in the header");
        }
        const std::size_t start = pos_;
        while (IsMnemonicChar(Peek())) {
            ++pos_;
        }
        out.assign(text_.substr(start, pos_ - start));
        // The numeric suffix does not count towards the mnemonic's length.
        std::size_t letters = out.size();
        while (letters > 0 && IsDigit(out[letters - 1])) {
            --letters;
        }
        if (letters > kScpiMaxMnemonic) {
            return Fail(scpi_error::kMnemonicTooLong, out);
        }
        return true;
    };

    if (Peek() == '*') {
        ++pos_;
        header.common = true;
        header.nodes.emplace_back();
        if (!readMnemonic(header.nodes.back())) {
            return false;
        }
    } else {
        if (Peek() == ':') {
            header.absolute = true;
            ++pos_;
        }
        while (true) {
            header.nodes.emplace_back();
            if (!readMnemonic(header.nodes.back())) {
                return false;
            }
            if (Peek() != ':') {
                break;
            }
            ++pos_;
        }
    }
    if (Peek() == '?') {
        header.query = true;
        ++pos_;
    }
    return true;
}

bool ScpiMessageReader::ParseParameters(std::vector<ScpiParameter>& parameters) {
    while (true) {
        parameters.emplace_back();
        if (!ParseParameter(parameters.back())) {
            return false;
        }
        SkipWhitespace();
        if (AtEnd()) {
            return true;
        }
        if (Peek() == ';') {
            ++pos_;
            return true;
        }
        if (Peek() != ',') {
            return Fail(scpi_error::kInvalidSeparator, Shown(Peek()) + " after a parameter");
        }
        ++pos_;
        SkipWhitespace();
        if (AtEnd() || Peek() == ';' || Peek() == ',') {
            return Fail(scpi_error::kSyntaxError, "parameter expected after ','");
        }
    }
}

bool ScpiMessageReader::ParseParameter(ScpiParameter& parameter) {
    const char c = Peek();
    if (c == '"' || c == '\'') {
        return ParseString(parameter);
    }
    if (c == '#') {
        const char kind = Upper(Peek(1));
        if (kind == 'H' || kind == 'Q' || kind == 'B') {
            return ParseNonDecimal(parameter);
        }
        if (IsDigit(kind)) {
            return ParseBlock(parameter);
        }
        return Fail(scpi_error::kSyntaxError, "'#' starts neither a block nor a #H/#Q/#B number");
    }
    if (c == '+' || c == '-' || c == '.' || IsDigit(c)) {
        return ParseNumber(parameter);
    }
    if (IsAlpha(c)) {
        return ParseCharacter(parameter);
    }
    return Fail(scpi_error::kInvalidCharacter, Shown(c) + " where a parameter starts");
}

bool ScpiMessageReader::ParseNumber(ScpiParameter& parameter) {
    parameter.kind = ScpiParameter::Kind::kNumber;
    const std::size_t start = pos_;
    bool negative = false;
    if (Peek() == '+' || Peek() == '-') {
        negative = Peek() == '-';
        ++pos_;
    }
    const std::size_t mantissaStart = pos_;
    std::size_t significant = 0;  // mantissa digits after the leading zeros
    long long integerDigits = 0;  // significant digits before the point
    long long leadingFractionZeros = 0;
    bool anyDigit = false;
    while (IsDigit(Peek())) {
        anyDigit = true;
        if (significant > 0 || Peek() != '0') {
            ++significant;
            ++integerDigits;
        }
        ++pos_;
    }
    if (Peek() == '.') {
        ++pos_;
        while (IsDigit(Peek())) {
            anyDigit = true;
            if (significant > 0 || Peek() != '0') {
                ++significant;
            } else {
                ++leadingFractionZeros;
            }
            ++pos_;
        }
    }
    if (!anyDigit) {
        return Fail(scpi_error::kNumericDataError,
                    "no digits in '" + std::string(text_.substr(start, pos_ - start)) + "'");
    }
    if (significant > kMaxMantissaDigits) {
        return Fail(scpi_error::kTooManyDigits, {});
    }
    // An 'E' is an exponent only when digits follow; otherwise it begins a
    // suffix such as EX (exa).
    long long exponent = 0;
    std::size_t numberEnd = pos_;
    if (Upper(Peek()) == 'E') {
        std::size_t p = pos_ + 1;
        bool expNegative = false;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-')) {
            expNegative = text_[p] == '-';
            ++p;
        }
        if (p < text_.size() && IsDigit(text_[p])) {
            while (p < text_.size() && IsDigit(text_[p])) {
                if (exponent <= kMaxExponent) {
                    exponent = exponent * 10 + (text_[p] - '0');
                }
                ++p;
            }
            if (exponent > kMaxExponent) {
                pos_ = p;
                return Fail(scpi_error::kExponentTooLarge, {});
            }
            if (expNegative) {
                exponent = -exponent;
            }
            pos_ = p;
            numberEnd = p;
        }
    }
    if (Peek() == '.' || Peek() == '#' || Peek() == '+' || Peek() == '-' || IsDigit(Peek())) {
        return Fail(scpi_error::kInvalidCharacterInNumber, Shown(Peek()));
    }

    // The digits are checked; the conversion rounds correctly and needs no
    // locale. from_chars takes no '+'.
    double value = 0.0;
    const char* first = text_.data() + mantissaStart;
    const char* last = text_.data() + numberEnd;
    const auto result = std::from_chars(first, last, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Decimal exponent of the leading significant digit: beyond the
        // double's range it is an overflow, below it an underflow.
        const long long magnitude = significant == 0    ? 0
                                    : integerDigits > 0 ? exponent + integerDigits - 1
                                                        : exponent - leadingFractionZeros - 1;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc() || result.ptr != last) {
        return Fail(scpi_error::kNumericDataError,
                    std::string(text_.substr(start, numberEnd - start)));
    }
    parameter.number = negative ? -value : value;

    // Suffix: letters, after optional whitespace.
    std::size_t p = pos_;
    while (p < text_.size() && IsScpiWhitespace(text_[p])) {
        ++p;
    }
    if (p < text_.size() && IsAlpha(text_[p])) {
        pos_ = p;
        const std::size_t suffixStart = pos_;
        while (IsAlpha(Peek())) {
            parameter.suffix += Upper(Peek());
            ++pos_;
        }
        if (pos_ - suffixStart > kScpiMaxMnemonic) {
            return Fail(scpi_error::kSuffixTooLong, parameter.suffix);
        }
        if (IsDigit(Peek()) || Peek() == '_' || Peek() == '.') {
            return Fail(scpi_error::kInvalidSuffix, parameter.suffix + Shown(Peek()));
        }
    }
    return true;
}

bool ScpiMessageReader::ParseNonDecimal(ScpiParameter& parameter) {
    parameter.kind = ScpiParameter::Kind::kNumber;
    parameter.nonDecimal = true;
    const char kind = Upper(Peek(1));
    pos_ += 2;
    const unsigned base = kind == 'H' ? 16 : kind == 'Q' ? 8 : 2;
    auto digitValue = [&](char c) -> int {
        const char u = Upper(c);
        int v = -1;
        if (IsDigit(u)) {
            v = u - '0';
        } else if (u >= 'A' && u <= 'F') {
            v = u - 'A' + 10;
        }
        return v >= 0 && static_cast<unsigned>(v) < base ? v : -1;
    };
    std::uint64_t value = 0;
    std::size_t digits = 0;
    // Values must stay exact in a double.
    constexpr std::uint64_t kMaxExact = std::uint64_t{1} << 53;
    while (!AtEnd() && IsMnemonicChar(Peek())) {
        const int v = digitValue(Peek());
        if (v < 0) {
            return Fail(scpi_error::kInvalidCharacterInNumber, Shown(Peek()));
        }
        value = value * base + static_cast<unsigned>(v);
        if (value > kMaxExact) {
            return Fail(scpi_error::kNumericDataError, "non-decimal value too large");
        }
        ++digits;
        ++pos_;
    }
    if (digits == 0) {
        return Fail(scpi_error::kNumericDataError, "no digits after #" + std::string(1, kind));
    }
    parameter.number = static_cast<double>(value);
    return true;
}

bool ScpiMessageReader::ParseBlock(ScpiParameter& parameter) {
    parameter.kind = ScpiParameter::Kind::kBlock;
    ++pos_;  // '#'
    const int lengthDigits = Peek() - '0';
    ++pos_;
    if (lengthDigits == 0) {
        // Indefinite length: the rest of the message.
        parameter.text.assign(text_.substr(pos_));
        pos_ = text_.size();
        return true;
    }
    std::size_t length = 0;
    for (int i = 0; i < lengthDigits; ++i) {
        if (!IsDigit(Peek())) {
            return Fail(scpi_error::kInvalidBlockData, "length digits missing");
        }
        length = length * 10 + static_cast<std::size_t>(Peek() - '0');
        ++pos_;
    }
    if (length > text_.size() - pos_) {
        return Fail(scpi_error::kInvalidBlockData, "block shorter than its length");
    }
    parameter.text.assign(text_.substr(pos_, length));
    pos_ += length;
    return true;
}

bool ScpiMessageReader::ParseString(ScpiParameter& parameter) {
    parameter.kind = ScpiParameter::Kind::kString;
    const char quote = Peek();
    ++pos_;
    while (!AtEnd()) {
        const char c = text_[pos_++];
        if (c != quote) {
            parameter.text += c;
            continue;
        }
        if (Peek() == quote) {  // a doubled quote stands for one
            parameter.text += quote;
            ++pos_;
            continue;
        }
        return true;
    }
    return Fail(scpi_error::kInvalidStringData, "string not terminated");
}

bool ScpiMessageReader::ParseCharacter(ScpiParameter& parameter) {
    parameter.kind = ScpiParameter::Kind::kCharacter;
    const std::size_t start = pos_;
    while (IsMnemonicChar(Peek())) {
        ++pos_;
    }
    parameter.text.assign(text_.substr(start, pos_ - start));
    if (parameter.text.size() > kScpiMaxMnemonic) {
        return Fail(scpi_error::kCharacterDataTooLong, parameter.text);
    }
    return true;
}

}  // namespace lumatrace
