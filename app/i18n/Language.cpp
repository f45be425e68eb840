#include "app/i18n/Language.h"

#include <cctype>

namespace lumatrace {

namespace {

// Larger files are not ones the program wrote.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string Quoted(std::string_view s) {
    std::string q = "\"";
    for (char c : s.substr(0, 40)) {
        // Control characters would garble a message; show them as '?'.
        q += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    return q + (s.size() > 40 ? "...\"" : "\"");
}

}  // namespace

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
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line =
            Trim(text.substr(0, end == std::string_view::npos ? text.size() : end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            read.errors.push_back(where + "no '=' in " + Quoted(line));
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key == "language") {
            if (const auto language = LanguageByCode(value))
                read.preferences.language = language;
            else
                read.errors.push_back(where + "language is ja or en, not " + Quoted(value));
        } else {
            read.errors.push_back(where + "unknown setting " + Quoted(key));
        }
    }
    return read;
}

std::optional<std::filesystem::path> PreferencesFile(const EnvironmentLookup& env) {
    const auto folder = SettingsFolder(env);
    if (!folder)
        return std::nullopt;
    return *folder / std::string(kPreferencesFileName);
}

PreferencesRead LoadPreferences(FileStore& files, const std::filesystem::path& file) {
    if (!files.Exists(file))
        return {};
    std::string text;
    const FileStatus status = ReadTextFile(files, file, kMaxFileBytes, text);
    if (!status.ok()) {
        PreferencesRead read;
        read.errors.push_back(file.string() + ": " + status.error);
        return read;
    }
    return DecodePreferences(text);
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
        choice.error = "--lang: unknown language " + Quoted(*option) + " (ja or en)";
        return choice;
    }
    if (variable && !variable->empty()) {
        if (const auto language = LanguageByCode(*variable)) {
            choice.language = *language;
            return choice;
        }
        choice.warning = std::string(kLanguageVariable) + ": unknown language " +
                         Quoted(*variable) + " (ja or en), not used";
    }
    if (saved)
        choice.language = *saved;
    return choice;
}

}  // namespace lumatrace
