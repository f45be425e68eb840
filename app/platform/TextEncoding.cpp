#include "app/platform/TextEncoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace lumatrace {

namespace {

// Converts all of `in` with glibc iconv; nullopt on an invalid or
// unconvertible sequence.
std::optional<std::string> Convert(const char* to, const char* from, std::string_view in) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    std::size_t used = 0;
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t rc = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        used = out.size() - outLeft;
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                out.resize(out.size() * 2);
                continue;
            }
            ok = false;  // EILSEQ or EINVAL: invalid or truncated input
            break;
        }
        if (rc != 0) {
            // Irreversible conversions mean a character had no counterpart.
            ok = false;
            break;
        }
    }
    ::iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    out.resize(used);
    return out;
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at `i`, advancing it; nullopt when invalid
// (overlong forms, surrogates and values above U+10FFFF included).
std::optional<char32_t> NextUtf8(std::string_view s, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0F;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (s.size() - i < length) {
        return std::nullopt;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const std::uint8_t b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            return std::nullopt;
        }
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return std::nullopt;
    }
    i += length;
    return c;
}

}  // namespace

std::optional<std::string> Cp932ToUtf8(std::string_view cp932) {
    return Convert("UTF-8", "CP932", cp932);
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    if (!IsValidUtf8(utf8)) {
        return std::nullopt;
    }
    return Convert("CP932", "UTF-8", utf8);
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size() * 3);
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= utf16.size() || utf16[i + 1] < 0xDC00 || utf16[i + 1] > 0xDFFF) {
                return std::nullopt;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = NextUtf8(utf8, i);
        if (!c) {
            return std::nullopt;
        }
        if (*c >= 0x10000) {
            const char32_t v = *c - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(*c);
        }
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (!NextUtf8(text, i)) {
            return false;
        }
    }
    return true;
}

}  // namespace lumatrace
