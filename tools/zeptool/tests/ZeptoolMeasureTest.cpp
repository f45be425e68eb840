#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "app/display/SampleWord.h"
#include "app/measure/MeasureTypes.h"
#include "tools/zeptool/tests/ZeptoolSetTest.h"

namespace lumatrace {
namespace {

// A 10,000-point set at 200 us/div (200 ns per sample): CH1 a square of ten 1,000-sample
// periods, high (code 712) for the first 300 of each, at 1 V/div; CH2 ground-coupled.
class ZeptoolMeasure : public testing::ZeptoolSetTest {
  protected:
    ZeptoolMeasure() : ZeptoolSetTest("zeptool-measure-", "square.zep") {}

    void SetUp() override {
        WaveformFileSettings s;
        s.channel[0] = {true, "1V", 6, 1000, "x1", 0, 1, "DC", 0, 250, 0};
        s.channel[1] = {true, "500mV", 5, 500, "x1", 0, 1, "GND", 2, 250, 0};
        s.memoryPoints = 10000;
        s.memorySizeIndex = 0;
        s.timeDivText = "200us";
        s.timeDivIndex = 16;
        s.trigPosition = 5000;
        s.cursorT1 = 150;  // 3,000 samples before the trigger point
        s.cursorT2 = 350;  // 2,000 after it
        std::vector<SampleWord> record(kRecordWords, NoSample);
        for (int i = 0; i < 10000; ++i)
            record[static_cast<std::size_t>(i)] = MakeSampleWord(i % 1000 < 300 ? 712 : 312, 512);
        SaveSet(s, record);
    }

    // The text of one source's object.
    static std::string Part(const std::string& out, const std::string& source) {
        const std::size_t at = out.find("\"" + source + "\": {");
        if (at == std::string::npos)
            return {};
        return out.substr(at, out.find('}', at) - at);
    }
    // The value of a key in that text: its number, NaN for null or a missing key.
    static double Number(const std::string& part, const std::string& key) {
        const std::size_t at = part.find("\"" + key + "\": ");
        if (at == std::string::npos)
            return std::nan("");
        const std::string text = part.substr(at + key.size() + 4);
        if (text.rfind("null", 0) == 0)
            return std::nan("");
        return std::strtod(text.c_str(), nullptr);
    }
    static bool IsNull(const std::string& part, const std::string& key) {
        return part.find("\"" + key + "\": null") != std::string::npos;
    }
};

TEST_F(ZeptoolMeasure, WholeRecordInSiUnits) {
    std::string out, err;
    ASSERT_EQ(Run({"measure", set.string()}, out, err), kZeptoolOk) << err;
    const std::string ch1 = Part(out, "CH1");
    // 200 codes either side of the zero code at 10 V over 1024 codes; 5 kHz; 30 % high.
    const struct {
        const char* key;
        double value;
    } expected[] = {
        {"vmax", 1.953125},   {"vmin", -1.953125},   {"vpp", 3.90625},      {"vtop", 1.953125},
        {"vbase", -1.953125}, {"vamp", 3.90625},     {"vmean", -0.78125},   {"vrms", 1.953125},
        {"overshoot", 0.0},   {"preshoot", 0.0},     {"frequency", 5000.0}, {"period", 200e-6},
        {"width_pos", 60e-6}, {"width_neg", 140e-6}, {"duty_pos", 30.0},    {"duty_neg", 70.0},
        {"edges", 9.0},
    };
    for (const auto& e : expected)
        EXPECT_NEAR(Number(ch1, e.key), e.value, 1e-9 * std::fabs(e.value)) << e.key << "\n" << out;
    // Every name is a key; delay and phase need CH2, which is ground-coupled.
    EXPECT_TRUE(IsNull(ch1, "delay")) << out;
    EXPECT_TRUE(IsNull(ch1, "phase")) << out;
    const std::string ch2 = Part(out, "CH2");
    EXPECT_EQ(std::count(ch2.begin(), ch2.end(), ':'), 1 + kMeasureCount) << ch2;
    EXPECT_EQ(std::count(ch1.begin(), ch1.end(), ':'), 1 + kMeasureCount) << ch1;
    for (int i = 0; i < kMeasureCount; ++i)
        EXPECT_TRUE(IsNull(ch2, std::string(InfoOf(static_cast<MeasureId>(i)).name))) << out;
    EXPECT_EQ(out.find("\"MATH\""), std::string::npos);
}

TEST_F(ZeptoolMeasure, BetweenTheCursorsAndOneSource) {
    std::string out, err;
    ASSERT_EQ(Run({"measure", set.string(), "--gate", "cursors", "--channel", "CH1"}, out, err),
              kZeptoolOk)
        << err;
    // Samples 3,000 to 7,000: the rising edges at 4,000, 5,000, 6,000 and 7,000.
    const std::string ch1 = Part(out, "CH1");
    EXPECT_EQ(Number(ch1, "edges"), 4.0) << out;
    EXPECT_NEAR(Number(ch1, "frequency"), 5000.0, 1e-6) << out;
    EXPECT_EQ(out.find("\"CH2\""), std::string::npos);

    // MATH is CH1 + CH2, and a grounded CH2 counts as 0 V.
    ASSERT_EQ(Run({"measure", set.string(), "--channel", "MATH"}, out, err), kZeptoolOk) << err;
    const std::string math = Part(out, "MATH");
    EXPECT_NEAR(Number(math, "vpp"), 3.90625, 1e-9) << out;
    EXPECT_NEAR(Number(math, "frequency"), 5000.0, 1e-6) << out;
}

TEST_F(ZeptoolMeasure, Errors) {
    std::string out, err;
    EXPECT_EQ(Run({"measure", set.string(), "--gate", "screen"}, out, err), kZeptoolUsage);
    EXPECT_EQ(Run({"measure", set.string(), "--channel", "CH3"}, out, err), kZeptoolUsage);
    EXPECT_EQ(Run({"measure"}, out, err), kZeptoolUsage);
    EXPECT_EQ(err,
              "usage: zeptool measure SET.zep [--gate record|cursors] [--channel "
              "CH1|CH2|MATH]\n");
    EXPECT_EQ(Run({"measure", (dir / "none.zep").string()}, out, err), kZeptoolFailed);
    EXPECT_EQ(err, "zeptool: " + (dir / "none.zep").string() + " ファイルを開けません。\n");
}

}  // namespace
}  // namespace lumatrace
