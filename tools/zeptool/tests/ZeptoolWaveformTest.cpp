#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "tools/zeptool/tests/ZeptoolSetTest.h"

namespace lumatrace {
namespace {

namespace fs = std::filesystem;

// A two-file set on disk: CH1 at 1 V/div, CH2 at 100 mV/div with probe x10
// and ground coupling.
class ZeptoolWaveform : public testing::ZeptoolSetTest {
  protected:
    ZeptoolWaveform() : ZeptoolSetTest("zeptool-waveform-", "run1.zep") {}

    void SetUp() override {
        WaveformFileSettings s;
        s.channel[0] = {true, "1V", 6, 1000, "x1", 0, 1, "DC", 0, 250, 0};
        s.channel[1] = {true, "1V", 3, 100, "x10", 1, 10, "GND", 2, 200, 1};
        s.memoryPoints = 20000;
        s.memorySizeIndex = 1;
        s.trigLevelOffset = -1.25L;
        s.cursorT1 = 111;
        std::vector<SampleWord> record(kRecordWords, 0xFFFFFFFFu);
        record[0] = (300u << 16) | 512u;
        record[1] = 0xFFFF0000u | 1023u;
        record[2] = (7u << 16) | 0xFFFFu;
        record[19999] = (900u << 16) | 3u;
        record[20000] = 0;  // beyond the saved points
        SaveSet(s, record);
    }
};

TEST_F(ZeptoolWaveform, InfoPrintsSettingsAndSampleSummary) {
    std::string out, err;
    ASSERT_EQ(Run({"info", set.string()}, out, err), kZeptoolOk) << err;
    for (const char* expected :
         {"\"ComboBoxVd1\": 6", "\"voltsPerDivMv[1]\": 100", "\"tracePosition[1]\": 200",
          "\"ComboBoxMemSize\": 1", "\"trigLevelOffset\": -1.25", "\"cursorT1\": 111",
          "\"files\": 2", "\"points\": 20000"}) {
        EXPECT_NE(out.find(expected), std::string::npos) << expected << "\n" << out;
    }
    // CH1: words 0, 1, 19999 present, codes 3..1023; CH2: words 0, 2, 19999, codes 7..900.
    EXPECT_NE(out.find("\"CH1\": {\n      \"present\": 3,\n      \"minCode\": 3,\n      "
                       "\"maxCode\": 1023"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"CH2\": {\n      \"present\": 3,\n      \"minCode\": 7,\n      "
                       "\"maxCode\": 900"),
              std::string::npos)
        << out;
}

TEST_F(ZeptoolWaveform, ExportCsvAndJson) {
    std::string out, err;
    ASSERT_EQ(Run({"export", set.string()}, out, err), kZeptoolOk) << err;
    EXPECT_EQ(
        out.substr(0,
                   out.find('\n', out.find('\n', out.find('\n', out.find('\n') + 1) + 1) + 1) + 1),
        "index,ch1_code,ch1_volts,ch2_code,ch2_volts\n"
        "0,512,0,300,0\n"
        "1,1023,4.990234375,,\n"
        "2,,,7,0\n");
    EXPECT_NE(out.find("\n19999,3,-4.970703125,900,0\n"), std::string::npos);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 20001);

    const fs::path json = dir / "out.json";
    ASSERT_EQ(Run({"export", set.string(), "--format", "json", "-o", json.string()}, out, err),
              kZeptoolOk)
        << err;
    std::ifstream in(json);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(text.find("\"points\": 20000"), std::string::npos);
    EXPECT_NE(text.find("\"codes\": [512, 1023, null, "), std::string::npos) << text.substr(0, 200);
    EXPECT_NE(text.find("\"volts\": [0, 4.990234375, null, "), std::string::npos);
}

// A set whose index names only its second file holds no samples 0 to 9,999:
// they are missing, not code 0, in the summary and in both export forms.
TEST_F(ZeptoolWaveform, SamplesTheSetDoesNotHoldAreMissing) {
    {
        std::ifstream in(set, std::ios::binary);
        std::string index{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        const std::string first = "zep_run1\\run1_0.csv,0\r\n";
        ASSERT_NE(index.find(first), std::string::npos) << index;
        index.erase(index.find(first), first.size());
        std::ofstream(set, std::ios::binary | std::ios::trunc) << index;
    }
    std::string out, err;
    ASSERT_EQ(Run({"info", set.string()}, out, err), kZeptoolOk) << err;
    EXPECT_NE(out.find("\"files\": 1,\n    \"points\": 20000"), std::string::npos) << out;
    // Only word 19999 is held on either channel.
    EXPECT_NE(out.find("\"CH1\": {\n      \"present\": 1,\n      \"minCode\": 3,\n      "
                       "\"maxCode\": 3"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"CH2\": {\n      \"present\": 1,\n      \"minCode\": 900,\n      "
                       "\"maxCode\": 900"),
              std::string::npos)
        << out;

    ASSERT_EQ(Run({"export", set.string()}, out, err), kZeptoolOk) << err;
    EXPECT_EQ(out.substr(0, out.find('\n', out.find('\n') + 1) + 1),
              "index,ch1_code,ch1_volts,ch2_code,ch2_volts\n"
              "0,,,,\n");
    EXPECT_NE(out.find("\n9999,,,,\n10000,,,,\n"), std::string::npos);
    EXPECT_NE(out.find("\n19999,3,-4.970703125,900,0\n"), std::string::npos);

    ASSERT_EQ(Run({"export", set.string(), "--format", "json"}, out, err), kZeptoolOk) << err;
    EXPECT_NE(out.find("\"codes\": [null, "), std::string::npos) << out.substr(0, 200);
    EXPECT_EQ(out.find("\"codes\": [0"), std::string::npos);

    ASSERT_EQ(Run({"help"}, out, err), kZeptoolOk);
    EXPECT_NE(out.find("empty code and volts fields (CSV) or as null (JSON)"), std::string::npos)
        << out;
}

TEST_F(ZeptoolWaveform, Errors) {
    std::string out, err;
    EXPECT_EQ(Run({"info", (dir / "none.zep").string()}, out, err), kZeptoolFailed);
    EXPECT_EQ(err, "zeptool: " + (dir / "none.zep").string() + " ファイルを開けません。\n");
    fs::remove(dir / "zep_run1" / "run1_1.csv");
    EXPECT_EQ(Run({"export", set.string()}, out, err), kZeptoolFailed);
    EXPECT_NE(err.find("CSVファイルが削除されていないか確認してください。"), std::string::npos);
    EXPECT_EQ(Run({"export", set.string(), "--format", "xml"}, out, err), kZeptoolUsage);
    EXPECT_EQ(Run({"info"}, out, err), kZeptoolUsage);
    EXPECT_EQ(Run({"export", set.string(), "-o", (dir / "no" / "x.csv").string()}, out, err),
              kZeptoolFailed);
}

}  // namespace
}  // namespace lumatrace
