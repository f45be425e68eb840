#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumatrace {

// Conversions between the program's UTF-8 strings and the encodings found in
// its files: the Japanese code page 932 and UTF-16LE. Each returns nullopt
// when the input is not valid in its encoding or a character has no
// counterpart in the target.
std::optional<std::string> Cp932ToUtf8(std::string_view cp932);
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
std::optional<std::string> Utf16ToUtf8(std::u16string_view utf16);
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

bool IsValidUtf8(std::string_view text);

}  // namespace lumatrace
