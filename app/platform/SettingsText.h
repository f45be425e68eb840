// The small "key=value" text files the program keeps beside the parameter file (the language
// and the measurement panel's choices): one reader of their lines and one loader, so that each
// file's own code only says what its keys mean.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/FileStore.h"

namespace lumatrace {

// Larger files are not ones the program wrote.
inline constexpr std::size_t kMaxSettingsFileBytes = 64 * 1024;

// `s` without the blanks, tabs and carriage return around it.
std::string_view TrimSetting(std::string_view s);
// `s` in double quotes for a message: at most 40 characters, control characters as '?'.
std::string QuotedSetting(std::string_view s);

// Reads the lines of `text`. Blank lines and lines starting with '#' are skipped; every other
// line goes to `setting` as its key and value (trimmed) with its place ("line N: ") for messages.
// A line without '=' adds the error `noEquals` followed by the line, and a key `setting` does not
// know (it returns false) adds "unknown setting" and the key.
using SettingLine =
    std::function<bool(const std::string& where, std::string_view key, std::string_view value)>;
void ReadSettingLines(std::string_view text, std::vector<std::string>& errors,
                      const SettingLine& setting, std::string_view noEquals = "no \"=\" in ");

// The text of a settings file: nullopt when there is none (no error) or when it cannot be read
// or is too large (the reason added to `errors`, after the file's name).
std::optional<std::string> LoadSettingsText(FileStore& files, const std::filesystem::path& file,
                                            std::vector<std::string>& errors);

}  // namespace lumatrace
