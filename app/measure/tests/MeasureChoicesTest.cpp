#include <gtest/gtest.h>

#include <string>

#include "app/measure/MeasureChoices.h"
#include "app/platform/testing/FakeFileStore.h"

namespace lumatrace {
namespace {

std::string Text(const testing::FakeFileStore& files, const std::filesystem::path& file) {
    const auto& bytes = files.files.at(file);
    return std::string(bytes.begin(), bytes.end());
}

TEST(MeasureChoices, WrittenAndReadBack) {
    MeasureChoices c;
    c.source = MeasureSource::Math;
    c.gate = MeasureGate::Cursors;
    c.shown = {MeasureId::Delay, MeasureId::Vpp, MeasureId::WidthNeg};
    c.visible = true;
    const std::string text = EncodeMeasureChoices(c);
    EXPECT_EQ(text, "source=MATH\ngate=cursors\nshow=delay,vpp,width_neg\nvisible=1\n");
    const MeasureChoicesRead read = DecodeMeasureChoices(text);
    EXPECT_TRUE(read.errors.empty());
    EXPECT_EQ(read.choices, c);
    // Nothing shown is a choice too.
    c.shown.clear();
    EXPECT_EQ(DecodeMeasureChoices(EncodeMeasureChoices(c)).choices, c);
}

TEST(MeasureChoices, BadLinesAreReportedAndTheRestApplies) {
    const MeasureChoicesRead read = DecodeMeasureChoices(
        "# by hand\r\n"
        "source = CH2\r\n"
        "gate=everywhere\n"
        "show=vpp, vpk ,frequency,vpp\n"
        "visible=yes\n"
        "colour=red\n"
        "nonsense\n");
    EXPECT_EQ(read.choices.source, MeasureSource::Ch2);
    EXPECT_EQ(read.choices.gate, MeasureChoices{}.gate);
    EXPECT_EQ(read.choices.shown, (std::vector<MeasureId>{MeasureId::Vpp, MeasureId::Frequency}));
    EXPECT_EQ(read.choices.visible, false);
    EXPECT_EQ(read.errors, (std::vector<std::string>{
                               "line 3: unknown gate \"everywhere\"",
                               "line 4: unknown measurement \"vpk\"",
                               "line 5: visible is 0 or 1, not \"yes\"",
                               "line 6: unknown setting \"colour\"",
                               "line 7: no \"=\" in \"nonsense\"",
                           }));
}

TEST(MeasureChoices, FileBesideTheParameterFile) {
    const EnvironmentLookup env = [](const char* name) -> std::optional<std::string> {
        if (std::string(name) == "APPDATA")
            return std::string("/users/me/AppData");
        return std::nullopt;
    };
    EXPECT_EQ(MeasureChoicesFile(env),
              std::filesystem::path("/users/me/AppData/ORVEX/ZEP-9100/Zep9100Measure.ini"));
    EXPECT_EQ(MeasureChoicesFile(env)->parent_path(), SettingsFolder(env));
    const EnvironmentLookup none = [](const char*) -> std::optional<std::string> {
        return std::nullopt;
    };
    EXPECT_FALSE(MeasureChoicesFile(none).has_value());
}

TEST(MeasureChoices, LoadAndSaveThroughTheFileStore) {
    testing::FakeFileStore files;
    const std::filesystem::path file = "/cfg/ORVEX/ZEP-9100/Zep9100Measure.ini";
    // No file yet: the defaults, quietly.
    MeasureChoicesRead read = LoadMeasureChoices(files, file);
    EXPECT_TRUE(read.errors.empty());
    EXPECT_EQ(read.choices, MeasureChoices{});

    MeasureChoices c;
    c.gate = MeasureGate::Record;
    ASSERT_TRUE(SaveMeasureChoices(files, file, c).ok());
    EXPECT_TRUE(files.folders.count(file.parent_path()));
    EXPECT_EQ(Text(files, file), EncodeMeasureChoices(c));
    EXPECT_EQ(LoadMeasureChoices(files, file).choices, c);

    // A failed write keeps the file as it was and says why.
    files.failWrite = true;
    MeasureChoices other = c;
    other.source = MeasureSource::Ch2;
    EXPECT_FALSE(SaveMeasureChoices(files, file, other).ok());
    EXPECT_EQ(Text(files, file), EncodeMeasureChoices(c));
    files.failWrite = false;

    files.failRead = true;
    read = LoadMeasureChoices(files, file);
    EXPECT_EQ(read.choices, MeasureChoices{});
    ASSERT_EQ(read.errors.size(), 1u);
    EXPECT_EQ(read.errors[0].rfind(file.string() + ": ", 0), 0u) << read.errors[0];
}

}  // namespace
}  // namespace lumatrace
