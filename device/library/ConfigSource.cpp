#include "device/library/ConfigSource.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace lumatrace::device {
namespace {

std::string variable(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

void apply(const std::string& text, const std::string& origin, VirtualConfig& config) {
    for (const ConfigError& e : applyVirtualConfig(text, config))
        std::fprintf(stderr, "libzep9100: %s, line %d: %s\n", origin.c_str(), e.line,
                     e.message.c_str());
}

}  // namespace

std::string settingsFolder() {
    std::string base = variable("APPDATA");
    if (base.empty())
        base = variable("XDG_CONFIG_HOME");
    if (base.empty()) {
        std::string home = variable("HOME");
        if (home.empty())
            return {};
        base = home + "/.config";
    }
    return base + "/ORVEX/ZEP-9100";
}

ConfigTexts readConfigTexts() {
    ConfigTexts texts;
    std::string folder = settingsFolder();
    if (!folder.empty()) {
        std::string path = folder + "/" + kConfigFileName;
        std::ifstream in(path, std::ios::binary);
        if (in) {
            std::ostringstream text;
            text << in.rdbuf();
            texts.filePath = path;
            texts.fileText = text.str();
        }
    }
    if (const char* env = std::getenv(kConfigVariable)) {
        texts.hasVariable = true;
        texts.variableText = env;
    }
    return texts;
}

VirtualConfig parseConfigTexts(const ConfigTexts& texts) {
    VirtualConfig config = defaultVirtualConfig();
    if (!texts.filePath.empty())
        apply(texts.fileText, texts.filePath, config);
    if (texts.hasVariable)
        apply(texts.variableText, kConfigVariable, config);
    return config;
}

}  // namespace lumatrace::device
