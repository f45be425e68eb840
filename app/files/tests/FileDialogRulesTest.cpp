#include <gtest/gtest.h>

#include "app/files/FileDialogRules.h"
#include "app/platform/testing/FakeFileStore.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace lumatrace {
namespace {

using testing::FakeFileStore;
using testing::RecordingMessageBox;

TEST(FileDialogRules, ExtensionsBelongToTheLastNameOnly) {
    const struct {
        const char* path;
        const char* extension;
        const char* replaced;  // with ".zep"
    } cases[] = {
        {"/data/trace1", "", "/data/trace1.zep"},
        {"/data/trace1.csv", ".csv", "/data/trace1.zep"},
        {"/data.v2/trace1", "", "/data.v2/trace1.zep"},
        {"C:\\data.v2\\shot.BMP", ".BMP", "C:\\data.v2\\shot.zep"},
        {"a.b.c", ".c", "a.b.zep"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathExtension(c.path), c.extension) << c.path;
        EXPECT_EQ(ReplaceExtension(c.path, ".zep"), c.replaced) << c.path;
    }
}

TEST(FileDialogRules, OpenAppendsTheExtensionAndRefusesMissingFiles) {
    FakeFileStore files;
    files.files["/d/trace1.zep"] = {};
    files.files["/d/trace1.csv.zep"] = {};
    files.files["/d/UPPER.ZEP"] = {};
    RecordingMessageBox messages;

    const struct {
        const char* typed;
        const char* opened;
    } found[] = {{"/d/trace1", "/d/trace1.zep"},
                 {"/d/trace1.csv", "/d/trace1.csv.zep"},
                 {"/d/UPPER.ZEP", "/d/UPPER.ZEP"}};
    for (const auto& c : found) {
        const OpenDialogCheck check = CheckOpenDialog(c.typed, files, messages);
        EXPECT_TRUE(check.close) << c.typed;
        EXPECT_EQ(check.path, c.opened);
    }
    EXPECT_TRUE(messages.shown.empty());

    const OpenDialogCheck missing = CheckOpenDialog("/d/other.csv", files, messages);
    EXPECT_FALSE(missing.close);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(messages.shown[0].title, "ファイルを開く");
    EXPECT_EQ(messages.shown[0].text,
              "/d/other.csv.zep\r\nファイルが見つかりません。\r\n"
              "指定したファイル名が正しいかどうか確認してください。");
}

TEST(FileDialogRules, SaveFitsTheExtensionToTheFilter) {
    FakeFileStore files;
    RecordingMessageBox messages;
    const struct {
        const char* typed;
        int filter;
        const char* path;
        bool fitted;
    } cases[] = {
        {"/d/shot.bmp", kSaveFilterWaveform, "/d/shot.zep", true},
        {"/d/shot", kSaveFilterBmp, "/d/shot.bmp", true},
        {"/d/shot.JPG", kSaveFilterJpeg, "/d/shot.JPG", false},
        {"/d/set.zep", kSaveFilterWaveform, "/d/set.zep", false},
        {"/d/set.zep", 7, "/d/set.zep", false},
    };
    for (const auto& c : cases) {
        const SaveDialogCheck check = CheckSaveDialog(c.typed, c.filter, files, messages);
        EXPECT_TRUE(check.close) << c.typed;
        EXPECT_EQ(check.path, c.path);
        EXPECT_EQ(check.nameFitted, c.fitted) << c.typed;
        EXPECT_EQ(check.extension, SaveExtensionForFilter(c.filter));
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST(FileDialogRules, SaveAsksBeforeOverwritingAndRefusesReadOnlyFiles) {
    FakeFileStore files;
    files.files["/d/shot.zep"] = {};
    files.files["/d/locked.zep"] = {};
    files.readOnly.insert("/d/locked.zep");
    RecordingMessageBox messages;

    // The waveform filter turns shot.bmp into shot.zep: the question is about shot.zep.
    messages.answers.push_back(MessageButton::No);
    SaveDialogCheck check = CheckSaveDialog("/d/shot.bmp", kSaveFilterWaveform, files, messages);
    EXPECT_FALSE(check.close);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "名前を付けて保存");
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Warning);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::YesNoDefaultNo);
    EXPECT_EQ(messages.shown[0].text, "/d/shot.zep は既に存在します。\r\n上書きしますか？");

    messages.answers.push_back(MessageButton::Yes);
    check = CheckSaveDialog("/d/shot.bmp", kSaveFilterWaveform, files, messages);
    EXPECT_TRUE(check.close);
    EXPECT_EQ(check.path, "/d/shot.zep");

    messages.shown.clear();
    check = CheckSaveDialog("/d/locked.zep", kSaveFilterWaveform, files, messages);
    EXPECT_FALSE(check.close);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(messages.shown[0].text,
              "/d/locked.zep\r\nこのファイルは読み取り専用属性が設定されています。\r\n"
              "別のファイル名を使用してください。");
    EXPECT_TRUE(files.log.empty());  // nothing written or removed
}

TEST(FileDialogRules, FilterChangeRenamesTheFileWithoutItsFolder) {
    EXPECT_EQ(FileNameForFilter("file1.zep", kSaveFilterJpeg), "file1.jpg");
    EXPECT_EQ(FileNameForFilter("/home/u/m.v1/shot", kSaveFilterBmp), "shot.bmp");
    EXPECT_EQ(FileNameForFilter("/home/u/shot.jpg", kSaveFilterWaveform), "shot.zep");
}

}  // namespace
}  // namespace lumatrace
