#include "app/platform/SettingsFolder.h"

#include <cstdlib>

namespace lumatrace {

EnvironmentLookup ProcessEnvironment() {
    return [](const char* name) -> std::optional<std::string> {
        const char* value = std::getenv(name);
        if (value == nullptr) {
            return std::nullopt;
        }
        return std::string(value);
    };
}

std::optional<std::filesystem::path> ApplicationDataFolder(const EnvironmentLookup& env) {
    if (auto appData = env("APPDATA"); appData && !appData->empty()) {
        return std::filesystem::path(*appData);
    }
    // The XDG rules say a relative XDG_CONFIG_HOME is invalid and is to be ignored.
    if (auto xdg = env("XDG_CONFIG_HOME"); xdg && !xdg->empty() && xdg->front() == '/') {
        return std::filesystem::path(*xdg);
    }
    if (auto home = env("HOME"); home && !home->empty()) {
        return std::filesystem::path(*home) / ".config";
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> SettingsFolder(const EnvironmentLookup& env) {
    auto base = ApplicationDataFolder(env);
    if (!base) {
        return std::nullopt;
    }
    return *base / "ORVEX" / "ZEP-9100";
}

}  // namespace lumatrace
