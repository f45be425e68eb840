#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include <gtest/gtest.h>

#include "app/files/WaveformFiles.h"
#include "app/files/tests/WaveformTestSupport.h"
#include "app/platform/testing/FakeFileStore.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace lumatrace {
namespace {

namespace fs = std::filesystem;
using namespace testdata;
using testing::FakeFileStore;
using testing::RecordingMessageBox;

constexpr const char* kStamp = "2026/12/10 9:05:07";

// The in-memory store with failures aimed at single files.
class AimedStore final : public FileStore {
  public:
    FakeFileStore inner;
    std::map<fs::path, FileStatus::Code> failWrite;  // path -> failure of its writes
    std::map<fs::path, int> failAfter;               // path -> writes that still succeed

    bool Exists(const fs::path& f) override { return inner.Exists(f); }
    FileStatus ReadAll(const fs::path& f, std::vector<std::uint8_t>& out,
                       std::size_t maxBytes) override {
        return inner.ReadAll(f, out, maxBytes);
    }
    FileStatus WriteAtomically(const fs::path& f, std::span<const std::uint8_t> data) override {
        const auto it = failWrite.find(f);
        if (it != failWrite.end()) {
            int& left = failAfter[f];
            if (left-- <= 0) {
                inner.log.push_back("failed write " + f.string());
                return FileStatus::Failure(it->second, "No space left on device");
            }
        }
        return inner.WriteAtomically(f, data);
    }
    FileStatus Remove(const fs::path& f) override { return inner.Remove(f); }
    FileStatus MakeDirectories(const fs::path& f) override { return inner.MakeDirectories(f); }
    bool IsReadOnly(const fs::path& f) override { return inner.IsReadOnly(f); }

    std::string Text(const fs::path& f) const {
        const auto& bytes = inner.files.at(f);
        return {bytes.begin(), bytes.end()};
    }
};

const fs::path kIndex = "/data/run1.zep";
const fs::path kFolder = "/data/zep_run1";

fs::path Csv(int k) {
    return kFolder / ("run1_" + std::to_string(k) + ".csv");
}

std::vector<SampleWord> TestRecord() {
    std::vector<SampleWord> record(kRecordWords);
    for (std::size_t i = 0; i < record.size(); ++i) {
        const unsigned a = static_cast<unsigned>((i * 37) % 1024);
        const unsigned b = static_cast<unsigned>((i * 101 + 5) % 1024);
        record[i] = (b << 16) | a;
        if (i % 97 == 0) {
            record[i] |= 0xFFFFu;  // CH1 missing
        }
        if (i % 89 == 0) {
            record[i] |= 0xFFFF0000u;  // CH2 missing
        }
    }
    return record;
}

std::string IndexText(int files) {
    std::string text = Cp932("≪ ZEP-9100 CSV Files ≫  ") + kStamp + "\r\n\r\n";
    for (int k = 0; k < files; ++k) {
        text +=
            "zep_run1\\run1_" + std::to_string(k) + ".csv," + std::to_string(k * 10000) + "\r\n";
    }
    return text;
}

TEST(WaveformSave, WritesIndexAndCsvFiles) {
    AimedStore store;
    RecordingMessageBox box;
    const std::vector<SampleWord> record = TestRecord();
    EXPECT_EQ(SaveWaveformFile(store, box, kIndex, SampleSettings(), record, kStamp),
              SaveResult::Saved);
    EXPECT_TRUE(box.shown.empty());
    EXPECT_EQ(store.Text(kIndex), IndexText(10));
    EXPECT_TRUE(store.inner.folders.count(kFolder));
    EXPECT_EQ(store.inner.files.size(), 11u);
    // The index exists (empty) before the first CSV file, and gains each line
    // only after its file is complete.
    const std::vector<std::string>& log = store.inner.log;
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "write " + kIndex.string());
    EXPECT_EQ(log[1], "mkdir " + kFolder.string());
    EXPECT_EQ(log[2], "write " + Csv(0).string());
    EXPECT_EQ(log[3], "write " + kIndex.string());
    // Each CSV file: the settings block, then its 10,000 samples.
    const std::string csv = store.Text(Csv(3));
    EXPECT_EQ(csv.rfind(*WriteSettingsBlock(SampleSettings()), 0), 0u);
    std::string block;
    DataBlockWriter(SampleSettings()).WriteDataBlock(block, record.data(), 30000);
    EXPECT_EQ(csv.substr(csv.size() - block.size()), block);
}

TEST(WaveformSave, FolderAndFileNamesComeFromTheLastFullStop) {
    EXPECT_EQ(WaveformSetFolder("/d/a.b.zep"), fs::path("/d/zep_a.b"));
    EXPECT_EQ(WaveformSetCsvFile("/d/a.b.zep", 12), fs::path("/d/zep_a.b/a.b_12.csv"));
}

TEST(WaveformRoundTrip, EverySettingAndSampleComesBack) {
    struct Case {
        bool ch1, ch2;
        int memoryIndex, points;
    };
    for (const Case c : {Case{true, true, 1, 100000}, Case{true, false, 0, 10000},
                         Case{false, true, 0, 10000}, Case{false, false, 0, 10000}}) {
        AimedStore store;
        RecordingMessageBox box;
        WaveformFileSettings s = SampleSettings();
        s.channel[0].channelOn = c.ch1;
        s.channel[1].channelOn = c.ch2;
        s.memorySizeIndex = c.memoryIndex;
        s.memoryPoints = c.points;
        const std::vector<SampleWord> record = TestRecord();
        ASSERT_EQ(SaveWaveformFile(store, box, kIndex, s, record, kStamp), SaveResult::Saved);

        RecordingRestoreHost host;
        std::vector<SampleWord> loaded(kRecordWords, 0x5A5A5A5Au);
        std::string message;
        ASSERT_TRUE(LoadWaveformFile(store, kIndex, host, loaded, message)) << message;
        EXPECT_TRUE(message.empty());

        std::vector<RestoreStep> once = SampleSettingsSteps();
        for (RestoreStep& step : once) {
            if (step.name == "channelOn" || step.name == "SpeedButtonCh1" ||
                step.name == "SpeedButtonCh2") {
                const int ch = step.name == "channelOn" ? step.element : step.name.back() - '1';
                step.value = (ch == 0 ? c.ch1 : c.ch2) ? 1 : 0;
            }
            if (step.name == "ComboBoxMemSize") {
                step.value = c.memoryIndex;
            }
        }
        std::vector<RestoreStep> expected;
        for (int k = 0; k < c.points / kRowsPerFile; ++k) {
            expected.insert(expected.end(), once.begin(), once.end());
        }
        EXPECT_EQ(host.calls, expected);

        for (std::size_t i = 0; i < kRecordWords; ++i) {
            SampleWord want = 0xFFFFFFFFu;
            if (i < static_cast<std::size_t>(c.points) && (c.ch1 || c.ch2)) {
                const SampleWord w = record[i];
                const SampleWord h1 = (w & 0xFFFFu) == 0xFFFFu ? 0xFFFFu : (w & 0x3FFu);
                const SampleWord h2 = (w >> 16) == 0xFFFFu ? 0xFFFFu : ((w >> 16) & 0x3FFu);
                want = ((c.ch2 ? h2 : 0xFFFFu) << 16) | (c.ch1 ? h1 : 0xFFFFu);
            }
            ASSERT_EQ(loaded[i], want) << "word " << i << " ch1 " << c.ch1 << " ch2 " << c.ch2;
        }
    }
}

TEST(WaveformRoundTrip, OffsetComesBackRoundedToTwoDecimals) {
    AimedStore store;
    RecordingMessageBox box;
    WaveformFileSettings s = SampleSettings();
    s.memoryPoints = 10000;
    s.trigLevelOffset = -12.3456L;
    const std::vector<SampleWord> record(kRecordWords, 0xFFFFFFFFu);
    ASSERT_EQ(SaveWaveformFile(store, box, kIndex, s, record, kStamp), SaveResult::Saved);
    RecordingRestoreHost host;
    std::vector<SampleWord> loaded(kRecordWords);
    std::string message;
    ASSERT_TRUE(LoadWaveformFile(store, kIndex, host, loaded, message));
    const auto it = std::find_if(host.calls.begin(), host.calls.end(),
                                 [](const RestoreStep& r) { return r.name == "trigLevelOffset"; });
    ASSERT_NE(it, host.calls.end());
    EXPECT_EQ(it->value, ParseDecimal("-12.35").value());
}

struct SaveFailureCase {
    const char* name;
    void (*arrange)(AimedStore&);
    const char* message;
    SaveResult result;
    int indexedFiles;  // -1: no index file left
    std::vector<int> csvLeft;
};

TEST(WaveformSave, FailuresAreReportedAndLeaveAConsistentSet) {
    const std::string wp = "\r\nファイルを作成できません。";
    const SaveFailureCase cases[] = {
        {"index cannot be created",
         [](AimedStore& s) { s.failWrite[kIndex] = FileStatus::Code::CreateFailed; },
         "/data/run1.zep\r\nファイルを作成できません。(Some error)",
         SaveResult::NotSaved,
         -1,
         {}},
        {"index is read-only",
         [](AimedStore& s) {
             s.inner.files[kIndex] = {'x'};
             s.inner.readOnly.insert(kIndex);
         },
         "/data/run1.zep\r\nファイルを作成できません。(ﾗｲﾄﾌﾟﾛﾃｸﾄ)",
         SaveResult::NotSaved,
         -2,
         {}},
        {"first CSV cannot be created",
         [](AimedStore& s) { s.failWrite[Csv(0)] = FileStatus::Code::CreateFailed; },
         "/data/zep_run1/run1_0.csv\r\nファイルを作成できません。",
         SaveResult::NotSaved,
         -1,
         {}},
        {"third CSV is read-only",
         [](AimedStore& s) {
             s.inner.files[Csv(2)] = {'o', 'l', 'd'};
             s.inner.readOnly.insert(Csv(2));
         },
         "/data/zep_run1/run1_2.csv\r\nファイルを作成できません。",
         SaveResult::CutShort,
         2,
         {0, 1, 2}},
        {"writing the second CSV fails",
         [](AimedStore& s) {
             s.inner.files[Csv(1)] = {'o', 'l', 'd'};
             s.failWrite[Csv(1)] = FileStatus::Code::WriteFailed;
         },
         "ファイル書き込み中にエラーが発生しました。",
         SaveResult::CutShort,
         1,
         {0}},
        {"writing the first CSV fails",
         [](AimedStore& s) { s.failWrite[Csv(0)] = FileStatus::Code::WriteFailed; },
         "ファイル書き込み中にエラーが発生しました。",
         SaveResult::NotSaved,
         -1,
         {}},
        {"index header cannot be written",
         [](AimedStore& s) {
             s.failWrite[kIndex] = FileStatus::Code::WriteFailed;
             s.failAfter[kIndex] = 1;
         },
         "/data/run1.zep\r\nファイル書き込み中にエラーが発生しました。",
         SaveResult::NotSaved,
         -1,
         {0}},
        {"the index's last lines cannot be written",
         [](AimedStore& s) {
             s.failWrite[kIndex] = FileStatus::Code::WriteFailed;
             s.failAfter[kIndex] = 2;
         },
         "/data/run1.zep\r\nファイル書き込み中にエラーが発生しました。",
         SaveResult::CutShort,
         1,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
    };
    for (const SaveFailureCase& c : cases) {
        AimedStore store;
        RecordingMessageBox box;
        c.arrange(store);
        const std::vector<SampleWord> record = TestRecord();
        EXPECT_EQ(SaveWaveformFile(store, box, kIndex, SampleSettings(), record, kStamp), c.result)
            << c.name;
        ASSERT_EQ(box.shown.size(), 1u) << c.name;
        EXPECT_EQ(box.shown[0].icon, MessageIcon::Error);
        EXPECT_EQ(box.shown[0].title, "ファイル保存");
        EXPECT_EQ(box.shown[0].text, c.message) << c.name;
        if (c.indexedFiles == -1) {
            EXPECT_FALSE(store.inner.files.count(kIndex)) << c.name;
        } else if (c.indexedFiles == -2) {
            EXPECT_EQ(store.Text(kIndex), "x") << c.name << ": a read-only index is kept";
            EXPECT_FALSE(store.inner.folders.count(kFolder)) << c.name;
        } else {
            EXPECT_EQ(store.Text(kIndex), IndexText(c.indexedFiles)) << c.name;
        }
        for (int k = 0; k < 10; ++k) {
            const bool left = std::find(c.csvLeft.begin(), c.csvLeft.end(), k) != c.csvLeft.end();
            EXPECT_EQ(store.inner.files.count(Csv(k)) != 0, left) << c.name << " file " << k;
        }
        const std::vector<std::string>& log = store.inner.log;
        if (c.indexedFiles == -1 &&
            std::find(log.begin(), log.end(), "mkdir " + kFolder.string()) != log.end()) {
            // The folder goes too, when it is empty.
            EXPECT_NE(std::find(store.inner.log.begin(), store.inner.log.end(),
                                "remove " + kFolder.string()),
                      store.inner.log.end())
                << c.name;
        }
    }
}

TEST(WaveformSave, NothingToSaveLeavesNoIndex) {
    AimedStore store;
    RecordingMessageBox box;
    WaveformFileSettings s = SampleSettings();
    s.memoryPoints = 9999;
    const std::vector<SampleWord> record = TestRecord();
    EXPECT_EQ(SaveWaveformFile(store, box, kIndex, s, record, kStamp), SaveResult::NotSaved);
    EXPECT_TRUE(box.shown.empty());
    EXPECT_TRUE(store.inner.files.empty());
}

TEST(WaveformSave, RecordShorterThanTheMemorySizeIsNotOverread) {
    AimedStore store;
    RecordingMessageBox box;
    WaveformFileSettings s = SampleSettings();
    s.memoryPoints = 1000000;
    const std::vector<SampleWord> record(25000, 0xFFFFFFFFu);
    EXPECT_EQ(SaveWaveformFile(store, box, kIndex, s, record, kStamp), SaveResult::Saved);
    EXPECT_EQ(store.Text(kIndex), IndexText(2));
}

TEST(WaveformSave, SurplusFilesOfAnEarlierSetStay) {
    AimedStore store;
    RecordingMessageBox box;
    store.inner.files[Csv(15)] = {'o', 'l', 'd'};
    const std::vector<SampleWord> record = TestRecord();
    EXPECT_EQ(SaveWaveformFile(store, box, kIndex, SampleSettings(), record, kStamp),
              SaveResult::Saved);
    EXPECT_TRUE(store.inner.files.count(Csv(15)));
    EXPECT_EQ(store.Text(kIndex), IndexText(10));
}

// The real file system: a folder that cannot be made, a read-only index, and
// a set written and read back.
TEST(WaveformSave, LocalFileSystem) {
    const fs::path dir =
        fs::temp_directory_path() / ("lumatrace-files-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    LocalFileStore files;
    RecordingMessageBox box;
    const std::vector<SampleWord> record = TestRecord();
    WaveformFileSettings s = SampleSettings();
    s.memoryPoints = 10000;

    // A plain file where the folder should be: nothing can be created below it.
    const fs::path blocker = dir / "blocker";
    { std::ofstream(blocker) << "x"; }
    EXPECT_EQ(SaveWaveformFile(files, box, blocker / "a.zep", s, record, kStamp),
              SaveResult::NotSaved);
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(box.shown[0].text,
              (blocker / "a.zep").string() + "\r\nファイルを作成できません。(Some error)");

    if (::geteuid() != 0) {  // permissions do not bind the superuser
        const fs::path readOnly = dir / "ro.zep";
        { std::ofstream(readOnly) << "keep"; }
        ::chmod(readOnly.c_str(), 0444);
        EXPECT_EQ(SaveWaveformFile(files, box, readOnly, s, record, kStamp), SaveResult::NotSaved);
        ASSERT_EQ(box.shown.size(), 2u);
        EXPECT_EQ(box.shown[1].text,
                  readOnly.string() + "\r\nファイルを作成できません。(ﾗｲﾄﾌﾟﾛﾃｸﾄ)");
        EXPECT_FALSE(fs::exists(dir / "zep_ro"));
        box.shown.clear();
    }

    const fs::path good = dir / "good.zep";
    EXPECT_EQ(SaveWaveformFile(files, box, good, s, record, kStamp), SaveResult::Saved);
    EXPECT_TRUE(fs::exists(dir / "zep_good" / "good_0.csv"));
    RecordingRestoreHost host;
    std::vector<SampleWord> loaded(kRecordWords);
    std::string message;
    EXPECT_TRUE(LoadWaveformFile(files, good, host, loaded, message)) << message;
    EXPECT_EQ(host.calls.size(), SampleSettingsSteps().size());
    fs::remove_all(dir);
}

// The index line is path, comma, first sample: a set named with commas (its
// folder and CSV files carry the name) opens again.
TEST(WaveformRoundTrip, NameWithCommasOnTheLocalFileSystem) {
    const fs::path dir =
        fs::temp_directory_path() / ("lumatrace-comma-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    LocalFileStore files;
    RecordingMessageBox box;
    const std::vector<SampleWord> record = TestRecord();
    WaveformFileSettings s = SampleSettings();
    s.memoryPoints = 20000;
    const fs::path set = dir / "run,1,a.zep";
    ASSERT_EQ(SaveWaveformFile(files, box, set, s, record, kStamp), SaveResult::Saved);
    EXPECT_TRUE(fs::exists(dir / "zep_run,1,a" / "run,1,a_1.csv"));

    RecordingRestoreHost host;
    std::vector<SampleWord> loaded(kRecordWords, 0x5A5A5A5Au);
    std::string message;
    WaveformLoadInfo info;
    EXPECT_TRUE(LoadWaveformFile(files, set, host, loaded, message, &info)) << message;
    EXPECT_EQ(info.files, 2u);
    EXPECT_EQ(info.endSample, 20000u);
    EXPECT_EQ(host.calls.size(), 2 * SampleSettingsSteps().size());
    EXPECT_TRUE(std::equal(loaded.begin(), loaded.begin() + 20000, record.begin()));
    EXPECT_EQ(loaded[20000], kNoSampleWord);
    fs::remove_all(dir);
}

// A saved 10,000-point set in the fake store, for the load cases.
AimedStore SavedSet(int points = 20000) {
    AimedStore store;
    RecordingMessageBox box;
    WaveformFileSettings s = SampleSettings();
    s.memoryPoints = points;
    const std::vector<SampleWord> record = TestRecord();
    EXPECT_EQ(SaveWaveformFile(store, box, kIndex, s, record, kStamp), SaveResult::Saved);
    return store;
}

void Replace(AimedStore& store, const fs::path& file, const std::string& from,
             const std::string& to) {
    std::string text = store.Text(file);
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    store.inner.files[file].assign(text.begin(), text.end());
}

TEST(WaveformLoad, FailuresInTheirOrder) {
    const std::string csvFormat =
        "\r\nファイル形式が合いません。\r\nCSVファイルの内容を確認してください。";
    const std::string indexFormat =
        "/data/"
        "run1.zep\r\nファイル形式が合いません。\r\n指定したファイルの内容を確認してください。";
    struct Case {
        const char* name;
        fs::path file;
        void (*arrange)(AimedStore&);
        std::string message;
        bool firstFileRead;  // the record and settings hold the first file
    };
    const Case cases[] = {
        {"wrong extension", "/data/run1.csv", [](AimedStore&) {},
         "拡張子がZEPのファイルを指定してください。", false},
        {"missing index", "/data/none.zep", [](AimedStore&) {},
         "/data/none.zep\r\nファイルを開けません。", false},
        {"header without the product name", kIndex,
         [](AimedStore& s) { Replace(s, kIndex, "ZEP-9100", "ZEP-9000"); }, indexFormat, false},
        {"CSV deleted", kIndex, [](AimedStore& s) { s.inner.files.erase(Csv(1)); },
         "/data/zep_run1/"
         "run1_1."
         "csv\r\nファイルを開けません。\r\nCSVファイルが削除されていないか確認してください。",
         true},
        {"magic $AB01", kIndex, [](AimedStore& s) { Replace(s, Csv(1), "$AB00", "$AB01"); },
         "/data/zep_run1/run1_1.csv" + csvFormat, true},
        {"negative code", kIndex,
         [](AimedStore& s) { Replace(s, Csv(1), "\r\n" + std::string(" 417,"), "\r\n  -1,"); },
         "/data/zep_run1/run1_1.csv" + csvFormat, true},
        {"CSV shorter than 10,000 rows", kIndex,
         [](AimedStore& s) {
             std::string text = s.Text(Csv(1));
             text.resize(text.size() - 40);
             text.resize(text.rfind("\r\n") + 2);
             s.inner.files[Csv(1)].assign(text.begin(), text.end());
         },
         "/data/zep_run1/run1_1.csv" + csvFormat, true},
    };
    for (const Case& c : cases) {
        AimedStore store = SavedSet();
        c.arrange(store);
        store.inner.log.clear();
        RecordingRestoreHost host;
        std::vector<SampleWord> loaded(kRecordWords, 0x5A5A5A5Au);
        std::string message;
        EXPECT_FALSE(LoadWaveformFile(store, c.file, host, loaded, message)) << c.name;
        EXPECT_EQ(message, c.message) << c.name;
        if (c.firstFileRead) {
            EXPECT_GE(host.calls.size(), SampleSettingsSteps().size()) << c.name;
            EXPECT_EQ(loaded[5], TestRecord()[5]) << c.name;
            EXPECT_EQ(loaded[30000], 0xFFFFFFFFu) << c.name;
        } else {
            EXPECT_TRUE(host.calls.empty()) << c.name;
            EXPECT_EQ(loaded[5], 0x5A5A5A5Au) << c.name;
        }
        if (c.file.extension() == ".csv") {
            EXPECT_TRUE(store.inner.log.empty()) << "no file opened";
        }
    }
}

TEST(WaveformLoad, AcceptsUpperCaseExtensionAndTrailingCommas) {
    AimedStore store = SavedSet(10000);
    const fs::path upper = "/data/run1.ZEP";
    store.inner.files[upper] = store.inner.files[kIndex];
    Replace(store, Csv(0), Cp932("\"ΔT = ON\",1,120,380"), Cp932("\"ΔT = ON\",1,120,380,,,"));
    RecordingRestoreHost host;
    std::vector<SampleWord> loaded(kRecordWords);
    std::string message;
    EXPECT_TRUE(LoadWaveformFile(store, upper, host, loaded, message)) << message;
    EXPECT_EQ(host.calls, SampleSettingsSteps());
}

// Index lines that would read outside the set's folder or write outside the
// record are refused before any CSV file is opened.
TEST(WaveformLoad, UnsafeIndexLinesAreRefused) {
    const std::string indexFormat =
        "/data/"
        "run1.zep\r\nファイル形式が合いません。\r\n指定したファイルの内容を確認してください。";
    const char* lines[] = {
        "zep_run1\\run1_0.csv,abc",
        "zep_run1\\run1_0.csv,-10000",
        "zep_run1\\run1_0.csv,5000",
        "zep_run1\\run1_0.csv,1000000",
        "zep_run1\\run1_0.csv,",
        "zep_run1\\run1_0.csv",
        "",
        "/data/zep_run1/run1_0.csv,0",
        "\\data\\zep_run1\\run1_0.csv,0",
        "C:\\zep_run1\\run1_0.csv,0",
        "..\\data\\zep_run1\\run1_0.csv,0",
        "zep_run1\\..\\..\\etc\\passwd,0",
        "\x81,0",  // not code page 932
    };
    for (const char* line : lines) {
        AimedStore store = SavedSet(10000);
        store.inner.files["/etc/passwd"] = {'x'};
        Replace(store, kIndex, "zep_run1\\run1_0.csv,0\r\n", std::string(line) + "\r\n");
        store.inner.log.clear();
        RecordingRestoreHost host;
        std::vector<SampleWord> loaded(kRecordWords, 0x5A5A5A5Au);
        std::string message;
        EXPECT_FALSE(LoadWaveformFile(store, kIndex, host, loaded, message)) << line;
        EXPECT_EQ(message, indexFormat) << line;
        EXPECT_EQ(store.inner.log, std::vector<std::string>{"read /data/run1.zep"}) << line;
        EXPECT_EQ(std::count(loaded.begin(), loaded.end(), 0x5A5A5A5Au),
                  static_cast<std::ptrdiff_t>(kRecordWords));
    }
    // Paths that stay inside the folder are followed.
    AimedStore store = SavedSet(10000);
    Replace(store, kIndex, "zep_run1\\run1_0.csv,0", "zep_run1\\.\\x\\..\\run1_0.csv,990000");
    RecordingRestoreHost host;
    std::vector<SampleWord> loaded(kRecordWords, 0x5A5A5A5Au);
    std::string message;
    EXPECT_TRUE(LoadWaveformFile(store, kIndex, host, loaded, message)) << message;
    EXPECT_EQ(loaded[990000 + 5], TestRecord()[5]);
    EXPECT_EQ(loaded[5], 0x5A5A5A5Au) << "only a first file clears the record";
}

TEST(WaveformLoad, SettingsComeFromTheLastFile) {
    AimedStore store = SavedSet(20000);
    Replace(store, Csv(1), "\"Pos = 5000\",5000", "\"Pos = 5000\",4321");
    RecordingRestoreHost host;
    std::vector<SampleWord> loaded(kRecordWords);
    std::string message;
    ASSERT_TRUE(LoadWaveformFile(store, kIndex, host, loaded, message));
    std::vector<long double> positions;
    for (const RestoreStep& step : host.calls) {
        if (step.name == "trigPosition") {
            positions.push_back(step.value);
        }
    }
    EXPECT_EQ(positions, (std::vector<long double>{5000, 4321}));
}

}  // namespace
}  // namespace lumatrace
