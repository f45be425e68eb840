#include "app/remote/ScpiResponse.h"

#include <charconv>
#include <cmath>
#include <cstring>

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

std::string& ScpiResponseMessage::Text() {
    if (pieces_.empty() || pieces_.back().memory) {
        pieces_.emplace_back();
    }
    return pieces_.back().text;
}

char* ScpiResponseMessage::AppendForOverwrite(std::size_t size) {
    if (size < kOwnMemoryBytes) {
        // Clearing a few bytes costs nothing; a piece of their own would.
        std::string& text = Text();
        const std::size_t start = text.size();
        text.resize(start + size);
        return text.data() + start;
    }
    Piece& piece = pieces_.emplace_back();
    piece.memory = std::make_unique_for_overwrite<char[]>(size);
    piece.memorySize = size;
    return piece.memory.get();
}

std::size_t ScpiResponseMessage::size() const {
    std::size_t total = 0;
    for (const Piece& p : pieces_) {
        total += p.memory ? p.memorySize : p.text.size();
    }
    return total;
}

void ScpiResponseMessage::clear() {
    pieces_.clear();
}

std::vector<std::span<const char>> ScpiResponseMessage::Pieces() const {
    std::vector<std::span<const char>> out;
    out.reserve(pieces_.size());
    for (const Piece& p : pieces_) {
        const std::span<const char> bytes =
            p.memory ? std::span<const char>(p.memory.get(), p.memorySize)
                     : std::span<const char>(p.text);
        if (!bytes.empty()) {
            out.push_back(bytes);
        }
    }
    return out;
}

std::string ScpiResponseMessage::str() const {
    std::string out;
    out.reserve(size());
    for (const std::span<const char> bytes : Pieces()) {
        out.append(bytes.data(), bytes.size());
    }
    return out;
}

}  // namespace lumatrace
