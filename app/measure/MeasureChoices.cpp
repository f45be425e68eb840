#include "app/measure/MeasureChoices.h"

#include <algorithm>

namespace lumatrace {

namespace {

constexpr std::string_view kGateNames[] = {"record", "screen", "cursors"};
// Larger files are not ones the panel wrote.
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

std::string_view GateName(MeasureGate gate) {
    return kGateNames[static_cast<std::size_t>(gate)];
}

std::optional<MeasureGate> GateByName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kGateNames); ++i) {
        if (kGateNames[i] == name)
            return static_cast<MeasureGate>(i);
    }
    return std::nullopt;
}

std::string EncodeMeasureChoices(const MeasureChoices& c) {
    std::string text = "source=" + std::string(SourceName(c.source)) + "\n";
    text += "gate=" + std::string(GateName(c.gate)) + "\n";
    text += "show=";
    for (std::size_t i = 0; i < c.shown.size(); ++i) {
        if (i > 0)
            text += ',';
        text += InfoOf(c.shown[i]).name;
    }
    text += "\nvisible=";
    text += c.visible ? "1" : "0";
    text += "\n";
    return text;
}

MeasureChoicesRead DecodeMeasureChoices(std::string_view text) {
    MeasureChoicesRead read;
    int number = 0;
    while (!text.empty()) {
        const std::size_t eol = text.find('\n');
        const std::string_view line =
            Trim(eol == std::string_view::npos ? text : text.substr(0, eol));
        text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
        ++number;
        if (line.empty() || line.front() == '#')
            continue;
        const std::string where = "line " + std::to_string(number) + ": ";
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            read.errors.push_back(where + "no \"=\" in " + Quoted(line));
            continue;
        }
        const std::string_view key = Trim(line.substr(0, eq));
        const std::string_view value = Trim(line.substr(eq + 1));
        if (key == "source") {
            if (const auto s = SourceByName(value))
                read.choices.source = *s;
            else
                read.errors.push_back(where + "unknown source " + Quoted(value));
        } else if (key == "gate") {
            if (const auto g = GateByName(value))
                read.choices.gate = *g;
            else
                read.errors.push_back(where + "unknown gate " + Quoted(value));
        } else if (key == "show") {
            std::vector<MeasureId> shown;
            std::string_view rest = value;
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string_view name =
                    Trim(comma == std::string_view::npos ? rest : rest.substr(0, comma));
                rest =
                    comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
                if (name.empty())
                    continue;
                const auto id = MeasureByName(name);
                if (!id)
                    read.errors.push_back(where + "unknown measurement " + Quoted(name));
                else if (std::find(shown.begin(), shown.end(), *id) == shown.end())
                    shown.push_back(*id);
            }
            read.choices.shown = std::move(shown);
        } else if (key == "visible") {
            if (value == "0" || value == "1")
                read.choices.visible = value == "1";
            else
                read.errors.push_back(where + "visible is 0 or 1, not " + Quoted(value));
        } else {
            read.errors.push_back(where + "unknown setting " + Quoted(key));
        }
    }
    return read;
}

std::optional<std::filesystem::path> MeasureChoicesFile(const EnvironmentLookup& env) {
    const auto folder = SettingsFolder(env);
    if (!folder)
        return std::nullopt;
    return *folder / std::string(kMeasureChoicesFileName);
}

MeasureChoicesRead LoadMeasureChoices(FileStore& files, const std::filesystem::path& file) {
    if (!files.Exists(file))
        return {};
    std::string text;
    const FileStatus status = ReadTextFile(files, file, kMaxFileBytes, text);
    if (!status.ok()) {
        MeasureChoicesRead read;
        read.errors.push_back(file.string() + ": " + status.error);
        return read;
    }
    return DecodeMeasureChoices(text);
}

FileStatus SaveMeasureChoices(FileStore& files, const std::filesystem::path& file,
                              const MeasureChoices& choices) {
    return WriteTextFile(files, file, EncodeMeasureChoices(choices));
}

}  // namespace lumatrace
