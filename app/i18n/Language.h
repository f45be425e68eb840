// The language the program shows its texts in, and the program's own
// preferences file that keeps the user's choice. The file lies beside the
// parameter file; the parameter file itself never records a language, so it
// keeps its bytes whatever language is shown.
//
// The preferences file is UTF-8 text, one "key=value" line each:
//   language=en           ja or en
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/platform/FileStore.h"
#include "app/platform/SettingsFolder.h"

namespace lumatrace {

enum class Language { Japanese, English };

inline constexpr std::string_view kPreferencesFileName = "Lumatrace.ini";
// The environment variable that chooses the language of one run.
inline constexpr const char* kLanguageVariable = "LUMATRACE_LANG";

std::string_view LanguageCode(Language language);  // "ja", "en"
// "ja" or "en" in any case; nullopt for anything else.
std::optional<Language> LanguageByCode(std::string_view code);

struct Preferences {
    std::optional<Language> language;  // nullopt: never chosen

    bool operator==(const Preferences&) const = default;
};

std::string EncodePreferences(const Preferences& preferences);

// Every line that could be understood, and one message per line that could
// not ("line 2: unknown setting \"colour\"").
struct PreferencesRead {
    Preferences preferences;
    std::vector<std::string> errors;
};
PreferencesRead DecodePreferences(std::string_view text);

// The file beside the parameter file; nullopt without an application-data folder.
std::optional<std::filesystem::path> PreferencesFile(const EnvironmentLookup& env);
// A missing file gives no preferences and no error.
PreferencesRead LoadPreferences(FileStore& files, const std::filesystem::path& file);
// Writes the file, making its folder when needed.
FileStatus SavePreferences(FileStore& files, const std::filesystem::path& file,
                           const Preferences& preferences);

// The language of a run: the command line's --lang first, then the
// environment variable, then the saved choice, else Japanese. A value that
// is not a language is an error for the option (the run does not start) and
// a warning for the variable (it is passed over).
struct LanguageChoice {
    Language language = Language::Japanese;
    std::string error;    // the option's value is not a language
    std::string warning;  // the variable's value is not a language
};
LanguageChoice ChooseLanguage(const std::optional<std::string>& option,
                              const std::optional<std::string>& variable,
                              const std::optional<Language>& saved);

}  // namespace lumatrace
