// The language codes, the choice of a run and the preferences file.
#include <gtest/gtest.h>

#include <string>

#include "app/i18n/Language.h"
#include "app/platform/testing/FakeFileStore.h"

namespace lumatrace {
namespace {

TEST(LanguageCodes, ReadInAnyCaseAndWrittenLower) {
    EXPECT_EQ(LanguageByCode("ja"), Language::Japanese);
    EXPECT_EQ(LanguageByCode("EN"), Language::English);
    EXPECT_EQ(LanguageByCode("En"), Language::English);
    for (const char* bad : {"", "e", "eng", "en_US", "de", " en"}) {
        EXPECT_EQ(LanguageByCode(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(LanguageCode(Language::Japanese), "ja");
    EXPECT_EQ(LanguageCode(Language::English), "en");
}

struct ChoiceCase {
    const char* name;
    std::optional<std::string> option;
    std::optional<std::string> variable;
    std::optional<Language> saved;
    Language expected;
    bool error;
    bool warning;
};

TEST(LanguageChoiceTest, OptionThenVariableThenSavedThenJapanese) {
    const ChoiceCase cases[] = {
        {"nothing", {}, {}, {}, Language::Japanese, false, false},
        {"saved", {}, {}, Language::English, Language::English, false, false},
        {"variable over saved", {}, "ja", Language::English, Language::Japanese, false, false},
        {"variable", {}, "en", {}, Language::English, false, false},
        {"empty variable counts as unset",
         {},
         "",
         Language::English,
         Language::English,
         false,
         false},
        {"option over variable", "ja", "en", Language::English, Language::Japanese, false, false},
        {"option", "en", {}, {}, Language::English, false, false},
        {"bad option stops the run", "fr", "en", {}, Language::Japanese, true, false},
        {"bad variable is passed over",
         {},
         "fr",
         Language::English,
         Language::English,
         false,
         true},
    };
    for (const ChoiceCase& c : cases) {
        const LanguageChoice choice = ChooseLanguage(c.option, c.variable, c.saved);
        EXPECT_EQ(choice.language, c.expected) << c.name;
        EXPECT_EQ(!choice.error.empty(), c.error) << c.name << ": " << choice.error;
        EXPECT_EQ(!choice.warning.empty(), c.warning) << c.name << ": " << choice.warning;
    }
    EXPECT_NE(ChooseLanguage(std::string("fr"), {}, {}).error.find("\"fr\""), std::string::npos);
}

TEST(PreferencesText, RoundTripsAndReportsWhatItCannotRead) {
    EXPECT_EQ(EncodePreferences({}), "");
    EXPECT_EQ(EncodePreferences({Language::English}), "language=en\n");
    for (const auto language : {Language::Japanese, Language::English}) {
        const Preferences p{language};
        const PreferencesRead read = DecodePreferences(EncodePreferences(p));
        EXPECT_EQ(read.preferences, p);
        EXPECT_TRUE(read.errors.empty());
    }
    const PreferencesRead read = DecodePreferences(
        "# kept by the program\r\n language = EN \r\ncolour=red\nnonsense\nlanguage=xx\n");
    EXPECT_EQ(read.preferences.language, Language::English);  // the bad line changes nothing
    ASSERT_EQ(read.errors.size(), 3u);
    EXPECT_EQ(read.errors[0], "line 3: unknown setting \"colour\"");
    EXPECT_EQ(read.errors[1], "line 4: no '=' in \"nonsense\"");
    EXPECT_EQ(read.errors[2], "line 5: language is ja or en, not \"xx\"");
}

TEST(PreferencesFileTest, BesideTheParameterFile) {
    const EnvironmentLookup env = [](const char* name) -> std::optional<std::string> {
        if (std::string(name) == "APPDATA")
            return "/data";
        return std::nullopt;
    };
    EXPECT_EQ(PreferencesFile(env), std::filesystem::path("/data/ORVEX/ZEP-9100/Lumatrace.ini"));
    EXPECT_EQ(PreferencesFile([](const char*) { return std::optional<std::string>(); }),
              std::nullopt);
}

TEST(PreferencesFileTest, SavedAndLoadedThroughTheFileStore) {
    testing::FakeFileStore files;
    const std::filesystem::path file = "/data/ORVEX/ZEP-9100/Lumatrace.ini";
    EXPECT_EQ(LoadPreferences(files, file).preferences, Preferences{});
    EXPECT_TRUE(LoadPreferences(files, file).errors.empty());
    ASSERT_TRUE(SavePreferences(files, file, {Language::English}).ok());
    EXPECT_TRUE(files.folders.count(file.parent_path()));
    EXPECT_EQ(LoadPreferences(files, file).preferences.language, Language::English);

    files.failRead = true;
    const PreferencesRead failed = LoadPreferences(files, file);
    EXPECT_EQ(failed.preferences, Preferences{});
    ASSERT_EQ(failed.errors.size(), 1u);
    files.failRead = false;
    files.failWrite = true;
    EXPECT_FALSE(SavePreferences(files, file, {Language::Japanese}).ok());
    EXPECT_EQ(LoadPreferences(files, file).preferences.language, Language::English);
}

}  // namespace
}  // namespace lumatrace
