#include "app/measure/MeasureChoices.h"

#include <algorithm>

#include "app/platform/SettingsText.h"

namespace lumatrace {

namespace {

constexpr std::string_view kGateNames[] = {"record", "screen", "cursors"};

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
    auto error = [&](const std::string& where, const char* what, std::string_view value) {
        read.errors.push_back(where + what + QuotedSetting(value));
    };
    ReadSettingLines(
        text, read.errors,
        [&](const std::string& where, std::string_view key, std::string_view value) {
            if (key == "source") {
                if (const auto s = SourceByName(value))
                    read.choices.source = *s;
                else
                    error(where, "unknown source ", value);
            } else if (key == "gate") {
                if (const auto g = GateByName(value))
                    read.choices.gate = *g;
                else
                    error(where, "unknown gate ", value);
            } else if (key == "show") {
                std::vector<MeasureId> shown;
                std::string_view rest = value;
                while (!rest.empty()) {
                    const std::size_t comma = rest.find(',');
                    const std::string_view name =
                        TrimSetting(comma == std::string_view::npos ? rest : rest.substr(0, comma));
                    rest = comma == std::string_view::npos ? std::string_view{}
                                                           : rest.substr(comma + 1);
                    if (name.empty())
                        continue;
                    const auto id = MeasureByName(name);
                    if (!id)
                        error(where, "unknown measurement ", name);
                    else if (std::find(shown.begin(), shown.end(), *id) == shown.end())
                        shown.push_back(*id);
                }
                read.choices.shown = std::move(shown);
            } else if (key == "visible") {
                if (value == "0" || value == "1")
                    read.choices.visible = value == "1";
                else
                    error(where, "visible is 0 or 1, not ", value);
            } else {
                return false;
            }
            return true;
        });
    return read;
}
std::optional<std::filesystem::path> MeasureChoicesFile(const EnvironmentLookup& env) {
    const auto folder = SettingsFolder(env);
    if (!folder)
        return std::nullopt;
    return *folder / std::string(kMeasureChoicesFileName);
}

MeasureChoicesRead LoadMeasureChoices(FileStore& files, const std::filesystem::path& file) {
    MeasureChoicesRead read;
    if (const auto text = LoadSettingsText(files, file, read.errors))
        read = DecodeMeasureChoices(*text);
    return read;
}

FileStatus SaveMeasureChoices(FileStore& files, const std::filesystem::path& file,
                              const MeasureChoices& choices) {
    return WriteTextFile(files, file, EncodeMeasureChoices(choices));
}

}  // namespace lumatrace
