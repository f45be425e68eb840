#include <map>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "app/platform/SettingsFolder.h"

namespace lumatrace {
namespace {

EnvironmentLookup Env(std::map<std::string, std::string> vars) {
    return [vars](const char* name) -> std::optional<std::string> {
        const auto it = vars.find(name);
        if (it == vars.end()) {
            return std::nullopt;
        }
        return it->second;
    };
}

struct FolderCase {
    const char* label;
    std::map<std::string, std::string> env;
    std::optional<std::string> expected;
};

TEST(PlatformSettingsFolder, FollowsAppDataThenXdgThenHome) {
    const FolderCase cases[] = {
        {"APPDATA wins",
         {{"APPDATA", "/a"}, {"XDG_CONFIG_HOME", "/x"}, {"HOME", "/h"}},
         "/a/ORVEX/ZEP-9100"},
        {"XDG without APPDATA", {{"XDG_CONFIG_HOME", "/x"}, {"HOME", "/h"}}, "/x/ORVEX/ZEP-9100"},
        {"HOME last", {{"HOME", "/h"}}, "/h/.config/ORVEX/ZEP-9100"},
        {"empty APPDATA is unset", {{"APPDATA", ""}, {"HOME", "/h"}}, "/h/.config/ORVEX/ZEP-9100"},
        {"relative XDG is ignored",
         {{"XDG_CONFIG_HOME", "rel"}, {"HOME", "/h"}},
         "/h/.config/ORVEX/ZEP-9100"},
        {"empty XDG is ignored",
         {{"XDG_CONFIG_HOME", ""}, {"HOME", "/h"}},
         "/h/.config/ORVEX/ZEP-9100"},
        {"nothing set", {}, std::nullopt},
        {"only empty HOME", {{"HOME", ""}}, std::nullopt},
    };
    for (const FolderCase& c : cases) {
        const auto folder = SettingsFolder(Env(c.env));
        if (c.expected) {
            ASSERT_TRUE(folder.has_value()) << c.label;
            EXPECT_EQ(folder->string(), *c.expected) << c.label;
        } else {
            EXPECT_FALSE(folder.has_value()) << c.label;
        }
    }
}

TEST(PlatformSettingsFolder, ProcessEnvironmentReadsRealVariables) {
    ::setenv("LUMATRACE_TEST_VARIABLE", "value", 1);
    ::unsetenv("LUMATRACE_TEST_UNSET");
    const EnvironmentLookup env = ProcessEnvironment();
    EXPECT_EQ(env("LUMATRACE_TEST_VARIABLE"), std::optional<std::string>("value"));
    EXPECT_EQ(env("LUMATRACE_TEST_UNSET"), std::nullopt);
}

}  // namespace
}  // namespace lumatrace
