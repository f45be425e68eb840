#include <sys/resource.h>

#include <csignal>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/platform/FileStore.h"
#include "app/platform/testing/FakeFileStore.h"
#include "app/platform/testing/RecordingMessageBox.h"
#include "app/settings/ParamFile.h"
#include "app/settings/tests/ParamFileTestData.h"

namespace lumatrace {
namespace {

namespace fs = std::filesystem;
using testing::FakeFileStore;
using testing::RecordingMessageBox;
using namespace testdata;

const fs::path kFolder = "/home/user/.config/ORVEX/ZEP-9100";
const fs::path kFile = kFolder / "Zep9100.prm";

const std::string kReadError =
    "パラメータファイル読み込み中にエラーが発生しました。\r\nデフォルト値を設定します。";
const std::string kWriteError = "パラメータファイル書き込み中にエラーが発生しました。";

TEST(ParamFileLoad, MissingFileMeansDefaultsWithoutAMessage) {
    FakeFileStore files;
    const ParamLoadResult r = LoadParameterFile(files, kFile);
    EXPECT_EQ(r.status, ParamLoadStatus::Missing);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r.message.empty());
    EXPECT_TRUE(files.folders.count(kFolder));  // the folder is made sure of first
    EXPECT_EQ(ParameterFilePath(kFolder), kFile);
}

TEST(ParamFileLoad, GoodFileIsLoaded) {
    FakeFileStore files;
    files.files[kFile] = Version20File();
    const ParamLoadResult r = LoadParameterFile(files, kFile);
    EXPECT_EQ(r.status, ParamLoadStatus::Loaded);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.snapshot, DecodeParamFile(Version20File()).snapshot);
    EXPECT_TRUE(files.files.count(kFile));
}

TEST(ParamFileLoad, DamagedFilesAreDeletedAndReported) {
    Bytes version002 = OldHeader(0.02);
    Append(version002, CommonRecords({"x1", "x10"}));
    Bytes truncated = Version20File();
    truncated.resize(truncated.size() - 3);
    struct Case {
        const char* label;
        Bytes file;
        const char* detail;
    };
    const Case cases[] = {
        {"version 0.02", version002, "below 0.03"},
        {"truncated", truncated, "truncated"},
        {"too short for the header",
         [] {
             Bytes b = Version(2.1);
             b.resize(100, 0);
             return b;
         }(),
         "too short"},
        {"far too large", Bytes(5 * 1024 * 1024, 0), "larger than"},
    };
    for (const Case& c : cases) {
        FakeFileStore files;
        files.files[kFile] = c.file;
        const ParamLoadResult r = LoadParameterFile(files, kFile);
        EXPECT_EQ(r.status, ParamLoadStatus::Corrupt) << c.label;
        EXPECT_FALSE(r.ok()) << c.label;
        EXPECT_EQ(r.message, kReadError) << c.label;
        EXPECT_NE(r.detail.find(c.detail), std::string::npos) << c.label << ": " << r.detail;
        EXPECT_FALSE(files.files.count(kFile)) << c.label;
        EXPECT_EQ(r.snapshot, ParamSnapshot{}) << c.label;
    }
    EXPECT_EQ(std::string(kParamReadErrorTitle), "Lumatrace");
}

TEST(ParamFileLoad, UnreadableFileIsKeptAndReported) {
    FakeFileStore files;
    files.files[kFile] = Version20File();
    files.failRead = true;
    const ParamLoadResult r = LoadParameterFile(files, kFile);
    EXPECT_EQ(r.status, ParamLoadStatus::Unreadable);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.message, "Cannot open file \"" + kFile.string() + "\". Permission denied");
    EXPECT_TRUE(files.files.count(kFile));
}

TEST(ParamFileStore, WritesTheEncodedSnapshot) {
    FakeFileStore files;
    RecordingMessageBox messages;
    ASSERT_TRUE(StoreParameterFile(files, messages, kFile, DefaultSnapshot()));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(files.files[kFile], EncodeParamFile(DefaultSnapshot()).value());
    EXPECT_EQ(files.log.front(), "mkdir " + kFolder.string());
}

TEST(ParamFileStore, FailedWriteKeepsThePreviousSettingsAndSaysSo) {
    FakeFileStore files;
    RecordingMessageBox messages;
    files.files[kFile] = Version20File();
    files.failWrite = true;
    EXPECT_FALSE(StoreParameterFile(files, messages, kFile, DefaultSnapshot()));
    EXPECT_EQ(files.files[kFile], Version20File());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].title, "ZEP-9100");
    EXPECT_EQ(messages.shown[0].text, kWriteError);
}

TEST(ParamFileStore, FileThatCannotBeCreatedGetsTheGeneralReport) {
    FakeFileStore files;
    RecordingMessageBox messages;
    files.failCreate = true;
    EXPECT_FALSE(StoreParameterFile(files, messages, kFile, DefaultSnapshot()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].title, "Lumatrace");
    EXPECT_EQ(messages.shown[0].text,
              "Cannot create file \"" + kFile.string() + "\". Permission denied");
}

TEST(ParamFileStore, UnwritableSnapshotIsAWriteError) {
    FakeFileStore files;
    RecordingMessageBox messages;
    files.files[kFile] = Version20File();
    ParamSnapshot s = DefaultSnapshot();
    s.Control(ParamControl::ComboBoxTd).reset();
    EXPECT_FALSE(StoreParameterFile(files, messages, kFile, s));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kWriteError);
    EXPECT_EQ(files.files[kFile], Version20File());
}

// The same policies on the real file system.
class ParamFileOnDisk : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "lumatrace-prm-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        file_ = ParameterFilePath(root_ / "ORVEX" / "ZEP-9100");
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    fs::path file_;
    LocalFileStore files_;
    RecordingMessageBox messages_;
};

TEST_F(ParamFileOnDisk, SavedSettingsComeBack) {
    ParamSnapshot s = DefaultSnapshot();
    s.windowState = ParamWindowState::Maximised;
    s.Control(ParamControl::ComboBoxTd)->itemIndex = 30;
    ASSERT_TRUE(StoreParameterFile(files_, messages_, file_, s));
    const ParamLoadResult r = LoadParameterFile(files_, file_);
    ASSERT_EQ(r.status, ParamLoadStatus::Loaded) << r.detail;
    EXPECT_EQ(r.snapshot, s);
}

TEST_F(ParamFileOnDisk, FailedWriteKeepsThePreviousFile) {
    ASSERT_TRUE(StoreParameterFile(files_, messages_, file_, DefaultSnapshot()));
    ParamSnapshot changed = DefaultSnapshot();
    changed.trigDelay = 777;

    // The kernel refuses to grow files beyond 1 KiB: the write fails midway.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool stored = StoreParameterFile(files_, messages_, file_, changed);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(stored);
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].title, "ZEP-9100");
    EXPECT_EQ(messages_.shown[0].text, kWriteError);
    const ParamLoadResult r = LoadParameterFile(files_, file_);
    ASSERT_EQ(r.status, ParamLoadStatus::Loaded) << r.detail;
    EXPECT_EQ(r.snapshot, DefaultSnapshot());
    // No half-written twin left in the folder.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(file_.parent_path())) {
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(ParamFileOnDisk, CorruptFileIsDeleted) {
    fs::create_directories(file_.parent_path());
    const Bytes junk(200, 0x00);
    ASSERT_TRUE(files_.WriteAtomically(file_, junk).ok());
    const ParamLoadResult r = LoadParameterFile(files_, file_);
    EXPECT_EQ(r.status, ParamLoadStatus::Corrupt);
    EXPECT_EQ(r.message, kReadError);
    EXPECT_FALSE(fs::exists(file_));
}

}  // namespace
}  // namespace lumatrace
