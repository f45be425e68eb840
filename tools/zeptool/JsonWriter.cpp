#include "tools/zeptool/JsonWriter.h"

#include <charconv>
#include <cmath>

namespace lumatrace {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = b(i);
    std::size_t n = 0;
    unsigned min = 0;
    unsigned c = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        n = 2;
        c = lead & 0x1F;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        n = 3;
        c = lead & 0x0F;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        n = 4;
        c = lead & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < n) {
        return 0;
    }
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        c = (c << 6) | (b(i + k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return 0;
    }
    return n;
}

}  // namespace

std::string JsonWriter::Quote(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"':
                out += "\\\"";
                ++i;
                continue;
            case '\\':
                out += "\\\\";
                ++i;
                continue;
            case '\b':
                out += "\\b";
                ++i;
                continue;
            case '\f':
                out += "\\f";
                ++i;
                continue;
            case '\n':
                out += "\\n";
                ++i;
                continue;
            case '\r':
                out += "\\r";
                ++i;
                continue;
            case '\t':
                out += "\\t";
                ++i;
                continue;
            default:
                break;
        }
        if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
            ++i;
            continue;
        }
        const std::size_t n = Utf8Length(s, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD for a byte that is not UTF-8
            ++i;
            continue;
        }
        // U+2028 and U+2029 are valid JSON but end lines in JavaScript.
        if (n == 3 && s[i] == '\xE2' && s[i + 1] == '\x80' &&
            (s[i + 2] == '\xA8' || s[i + 2] == '\xA9')) {
            out += s[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
        } else {
            out.append(s.substr(i, n));
        }
        i += n;
    }
    out += '"';
    return out;
}

void JsonWriter::NewLine() {
    out_ << '\n';
    for (std::size_t i = 0; i < levels_.size(); ++i) {
        out_ << "  ";
    }
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    Level& level = levels_.back();
    const bool first = level.empty;
    level.empty = false;
    if (!first) {
        out_ << ',';
    }
    if (!level.compact) {
        NewLine();
    } else if (!first) {
        out_ << ' ';
    }
}

void JsonWriter::BeginObject() {
    BeforeValue();
    out_ << '{';
    levels_.push_back({false, false, true});
}

void JsonWriter::EndObject() {
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) {
        NewLine();
    }
    out_ << '}';
    if (levels_.empty()) {
        out_ << '\n';
    }
}

void JsonWriter::BeginArray(bool compact) {
    BeforeValue();
    out_ << '[';
    levels_.push_back({true, compact, true});
}

void JsonWriter::EndArray() {
    const Level level = levels_.back();
    levels_.pop_back();
    if (!level.empty && !level.compact) {
        NewLine();
    }
    out_ << ']';
    if (levels_.empty()) {
        out_ << '\n';
    }
}

void JsonWriter::Key(std::string_view key) {
    BeforeValue();
    out_ << Quote(key) << ": ";
    afterKey_ = true;
}

void JsonWriter::String(std::string_view utf8) {
    BeforeValue();
    out_ << Quote(utf8);
}

void JsonWriter::Number(std::int64_t value) {
    BeforeValue();
    out_ << value;
}

void JsonWriter::Number(double value) {
    if (std::isnan(value)) {
        String("nan");
        return;
    }
    if (std::isinf(value)) {
        String(value > 0 ? "inf" : "-inf");
        return;
    }
    BeforeValue();
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out_.write(buffer, r.ptr - buffer);
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    out_ << (value ? "true" : "false");
}

void JsonWriter::Null() {
    BeforeValue();
    out_ << "null";
}

}  // namespace lumatrace
