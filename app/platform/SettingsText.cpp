#include "app/platform/SettingsText.h"

namespace lumatrace {

std::string_view TrimSetting(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string QuotedSetting(std::string_view s) {
    std::string q = "\"";
    for (char c : s.substr(0, 40)) {
        // Control characters would garble a message; show them as '?'.
        q += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
    return q + (s.size() > 40 ? "...\"" : "\"");
}

void ReadSettingLines(std::string_view text, std::vector<std::string>& errors,
                      const SettingLine& setting, std::string_view noEquals) {
    int number = 0;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const std::string_view line =
            TrimSetting(eol == std::string_view::npos ? text : text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        ++number;
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            errors.push_back(where + std::string(noEquals) + QuotedSetting(line));
            continue;
        }
        const std::string_view key = TrimSetting(line.substr(0, eq));
        if (!setting(where, key, TrimSetting(line.substr(eq + 1))))
            errors.push_back(where + "unknown setting " + QuotedSetting(key));
    }
}

std::optional<std::string> LoadSettingsText(FileStore& files, const std::filesystem::path& file,
                                            std::vector<std::string>& errors) {
    if (!files.Exists(file))
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    const FileStatus status = files.ReadAll(file, bytes, kMaxSettingsFileBytes);
    if (!status.ok()) {
        errors.push_back(file.string() + ": " + status.error);
        return std::nullopt;
    }
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace lumatrace
