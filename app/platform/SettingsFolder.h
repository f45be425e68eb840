#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace lumatrace {

// Looks up one environment variable; nullopt when it is not set.
using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The real process environment.
EnvironmentLookup ProcessEnvironment();

// The per-user application-data folder: $APPDATA when set, otherwise
// $XDG_CONFIG_HOME (only an absolute path counts), otherwise $HOME/.config.
// Empty values count as unset. nullopt when none of them gives a folder.
std::optional<std::filesystem::path> ApplicationDataFolder(const EnvironmentLookup& env);

// The program's own folder below the application-data folder:
// <application data>/ORVEX/ZEP-9100.
std::optional<std::filesystem::path> SettingsFolder(const EnvironmentLookup& env);

}  // namespace lumatrace
