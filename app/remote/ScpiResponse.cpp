#include "app/remote/ScpiResponse.h"

#include <charconv>
#include <cmath>

namespace lumatrace {

std::string FormatNr1(std::int64_t value) {
    return std::to_string(value);
}

std::string FormatNr3(double value) {
    if (std::isnan(value)) {
        return "9.91E+37";
    }
    if (std::isinf(value)) {
        return value > 0 ? "9.9E+37" : "-9.9E+37";
    }
    char buffer[64];
    // Shortest round-trip form: "5e-01", "1.25e+02".
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
    std::string text(buffer, result.ptr);
    const std::size_t e = text.find('e');
    text[e] = 'E';
    // NR3 carries an explicit decimal point in its mantissa.
    if (text.find('.') == std::string::npos) {
        text.insert(e, ".0");
    }
    return text;
}

std::string QuoteScpiString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"') {
            out += "\"\"";
        } else if (u < 0x20 || u == 0x7F) {
            out += ' ';
        } else {
            out += c;
        }
    }
    out += '"';
    return out;
}

std::string DefiniteBlockHeader(std::size_t length) {
    const std::string digits = std::to_string(length);
    return '#' + std::to_string(digits.size()) + digits;
}

void AppendDefiniteBlock(std::string& out, std::string_view bytes) {
    out += DefiniteBlockHeader(bytes.size());
    out.append(bytes);
}

}  // namespace lumatrace
