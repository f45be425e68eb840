// Where the virtual instrument's configuration comes from: the built-in
// defaults, then the file virtual.conf in the program's settings folder,
// then the statements in the environment variable ZEP9100_VIRTUAL.
#pragma once

#include <string>

#include "device/firmware/VirtualConfig.h"

namespace lumatrace::device {

inline constexpr const char* kConfigVariable = "ZEP9100_VIRTUAL";
inline constexpr const char* kConfigFileName = "virtual.conf";

struct ConfigTexts {
    std::string filePath;  // empty when there is no file
    std::string fileText;
    bool hasVariable = false;
    std::string variableText;

    bool operator==(const ConfigTexts&) const = default;
};

// "$APPDATA", else "$XDG_CONFIG_HOME", else "$HOME/.config", followed by
// "/ORVEX/ZEP-9100"; empty when none of them is set.
std::string settingsFolder();

ConfigTexts readConfigTexts();

// Defaults, then the file, then the variable. Errors are reported on
// stderr, naming the file or the variable and the line; the statements in
// error are skipped.
VirtualConfig parseConfigTexts(const ConfigTexts& texts);

}  // namespace lumatrace::device
