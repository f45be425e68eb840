#include "app/i18n/Language.h"

#include <cctype>

#include "app/platform/SettingsText.h"

namespace lumatrace {

std::string_view LanguageCode(Language language) {
    return language == Language::English ? "en" : "ja";
}

std::optional<Language> LanguageByCode(std::string_view code) {
    std::string lower(code);
    for (char& c : lower) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (lower == "ja")
        return Language::Japanese;
    if (lower == "en")
        return Language::English;
    return std::nullopt;
}

std::string EncodePreferences(const Preferences& p) {
    std::string text;
    if (p.language)
        text += "language=" + std::string(LanguageCode(*p.language)) + "\n";
    return text;
}

PreferencesRead DecodePreferences(std::string_view text) {
    PreferencesRead read;
    ReadSettingLines(
        text, read.errors,
        [&](const std::string& where, std::string_view key, std::string_view value) {
            if (key != "language")
                return false;
            if (const auto language = LanguageByCode(value))
                read.preferences.language = language;
            else
                read.errors.push_back(where + "language is ja or en, not " + QuotedSetting(value));
            return true;
        },
        "no '=' in ");
    return read;
}

std::optional<std::filesystem::path> PreferencesFile(const EnvironmentLookup& env) {
    const auto folder = SettingsFolder(env);
    if (!folder)
        return std::nullopt;
    return *folder / std::string(kPreferencesFileName);
}

PreferencesRead LoadPreferences(FileStore& files, const std::filesystem::path& file) {
    PreferencesRead read;
    if (const auto text = LoadSettingsText(files, file, read.errors))
        read = DecodePreferences(*text);
    return read;
}

FileStatus SavePreferences(FileStore& files, const std::filesystem::path& file,
                           const Preferences& preferences) {
    return WriteTextFile(files, file, EncodePreferences(preferences));
}

LanguageChoice ChooseLanguage(const std::optional<std::string>& option,
                              const std::optional<std::string>& variable,
                              const std::optional<Language>& saved) {
    LanguageChoice choice;
    if (option) {
        if (const auto language = LanguageByCode(*option)) {
            choice.language = *language;
            return choice;
        }
        choice.error = "--lang: unknown language " + QuotedSetting(*option) + " (ja or en)";
        return choice;
    }
    if (variable && !variable->empty()) {
        if (const auto language = LanguageByCode(*variable)) {
            choice.language = *language;
            return choice;
        }
        choice.warning = std::string(kLanguageVariable) + ": unknown language " +
                         QuotedSetting(*variable) + " (ja or en), not used";
    }
    if (saved)
        choice.language = *saved;
    return choice;
}

}  // namespace lumatrace
