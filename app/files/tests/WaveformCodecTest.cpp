#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <optional>
#include <random>
#include <string_view>

#include "app/files/WaveformCodec.h"
#include "app/files/tests/WaveformTestSupport.h"

namespace lumatrace {
namespace {

using namespace testdata;

constexpr SampleWord Word(unsigned ch1Half, unsigned ch2Half) {
    return (ch2Half << 16) | ch1Half;
}
constexpr unsigned kNone = 0xFFFF;

TEST(WaveformSettingsBlock, WritesTheThirtySixLinesInCodePage932) {
    const std::string expected = Cp932(
        "\"ZEP-9100\",$AB00,1.00\r\n"
        "\"≪CH1≫\"\r\n"
        "\"Use = True\",1\r\n"
        "\"Volt/div = 1V\",6,1000\r\n"
        "\"Probe = x1\",0\r\n"
        "\"Coupling = DC\",0\r\n"
        "\"VoltPos = 250\",250\r\n"
        "\"≪CH2≫\"\r\n"
        "\"Use = True\",1\r\n"
        "\"Volt/div = 100mV\",3,100\r\n"
        "\"Probe = x1\",0\r\n"
        "\"Coupling = AC\",1\r\n"
        "\"VoltPos = 300\",300\r\n"
        "\"≪TRIGGER≫\"\r\n"
        "\"TrigMode = NORMAL\",1\r\n"
        "\"Source = CH2\",1\r\n"
        "\"Coupling = LFrej\",1,1,0\r\n"
        "\"Slope = ↓\",1\r\n"
        "\"Level = 270\",270,-20.00\r\n"
        "\"Pos = 5000\",5000\r\n"
        "\"Delay = ON (1.5ms)\",1,150\r\n"
        "\"Pulse = ON (20us以上)\",1,2,20\r\n"
        "\"≪HORIZONTAL≫\"\r\n"
        "\"Time/div = 500us (SamplingTime : 50ns)\",20\r\n"
        "\"MemorySize = 100K\",1\r\n"
        "\"≪BAND WIDTH≫\"\r\n"
        "\"CH1 = FULL\",0\r\n"
        "\"CH2 = 20MHz\",1\r\n"
        "\"≪ACQUIRE≫\"\r\n"
        "\"Equivalence = OFF\",0,0\r\n"
        "\"Roll = OFF\",0\r\n"
        "\"WaveForm = Average\",1\r\n"
        "\"Number = 16\",3,3,7\r\n"
        "\"≪CURSOR≫\"\r\n"
        "\"ΔT = ON\",1,120,380\r\n"
        "\"ΔV = OFF\",0,90,310\r\n");
    const std::optional<std::string> block = WriteSettingsBlock(SampleSettings());
    ASSERT_TRUE(block);
    EXPECT_EQ(*block, expected);
    // The fixed symbols in their code page 932 form.
    EXPECT_NE(block->find("\"\x81\xE1"
                          "CH1\x81\xE2\""),
              std::string::npos);
    EXPECT_NE(block->find("\"\x83\xA2T = ON\""), std::string::npos);
}

TEST(WaveformSettingsBlock, VariantTexts) {
    struct Case {
        const char* name;
        void (*change)(WaveformFileSettings&);
        const char* expectedLine;
    };
    const Case cases[] = {
        {"equivalent time shows 100ps", [](WaveformFileSettings& s) { s.equivalentActive = true; },
         "\"Time/div = 500us (SamplingTime : 100ps)\",20"},
        {"equivalent shown as real time keeps its text",
         [](WaveformFileSettings& s) {
             s.equivalentActive = true;
             s.equivalentAsRealTime = true;
         },
         "\"Time/div = 500us (SamplingTime : 50ns)\",20"},
        {"equivalence line",
         [](WaveformFileSettings& s) {
             s.equivalentActive = true;
             s.equivalentChecked = true;
             s.equivalentAsRealTime = true;
         },
         "\"Equivalence = ON\",1,1"},
        {"pulse under", [](WaveformFileSettings& s) { s.pulseAbove = false; },
         "\"Pulse = ON (20us未満)\",1,1,20"},
        {"pulse off", [](WaveformFileSettings& s) { s.pulseChecked = false; },
         "\"Pulse = OFF\",0,2,20"},
        {"delay off", [](WaveformFileSettings& s) { s.delayChecked = false; },
         "\"Delay = OFF\",0,150"},
        {"free run", [](WaveformFileSettings& s) { s.trigMode = 2; }, "\"TrigMode = FREERUN\",2"},
        {"channel off", [](WaveformFileSettings& s) { s.channel[0].channelOn = false; },
         "\"Use = False\",0"},
        {"roll",
         [](WaveformFileSettings& s) {
             s.rollActive = true;
             s.rollChecked = true;
         },
         "\"Roll = ON\",1"},
        {"offset rounds to two decimals",
         [](WaveformFileSettings& s) { s.trigLevelOffset = 3.14159L; }, "\"Level = 270\",270,3.14"},
        {"number infinity", [](WaveformFileSettings& s) { s.numberText = "∞"; },
         "\"Number = ∞\",3,3,7"},
    };
    for (const Case& c : cases) {
        WaveformFileSettings s = SampleSettings();
        c.change(s);
        const std::optional<std::string> block = WriteSettingsBlock(s);
        ASSERT_TRUE(block) << c.name;
        EXPECT_NE(block->find("\r\n" + Cp932(c.expectedLine) + "\r\n"), std::string::npos)
            << c.name;
    }
}

TEST(WaveformSettingsBlock, TextWithoutCodePage932FormIsRefused) {
    WaveformFileSettings s = SampleSettings();
    s.delayText = "1.5\xF0\x9F\x98\x80";  // an emoji
    EXPECT_FALSE(WriteSettingsBlock(s));
}

// Settings of the worked example: CH1 1 V/div, CH2 100 mV/div, both centred.
WaveformFileSettings ExampleSettings(bool ch1, bool ch2) {
    WaveformFileSettings s = SampleSettings();
    s.channel[0].channelOn = ch1;
    s.channel[1].channelOn = ch2;
    s.channel[1].tracePosition = 250;
    s.channel[1].displayCoupling = 0;
    return s;
}

std::string DataBlock(const WaveformFileSettings& s, std::vector<SampleWord> first) {
    std::vector<SampleWord> record(kRowsPerFile, 0xFFFFFFFFu);
    std::copy(first.begin(), first.end(), record.begin());
    std::string out;
    DataBlockWriter(s).WriteDataBlock(out, record.data(), 0);
    return out;
}

TEST(WaveformDataBlock, RowsAndHeadingsForEachChannelCombination) {
    struct Case {
        bool ch1, ch2;
        SampleWord word;
        const char* heading;
        const char* row;
        const char* nullRow;
    };
    const char* both =
        "\r\n\"** A/D Data **\",,\"** Volt Value **\"\r\n"
        "\"<CH1>\",\"<CH2>\",\"<CH1>\",\"<CH2>\"\r\n";
    const char* one1 = "\r\n\"** A/D Data **\",\"** Volt Value **\"\r\n\"<CH1>\",\"<CH1>\"\r\n";
    const char* one2 = "\r\n\"** A/D Data **\",\"** Volt Value **\"\r\n\"<CH2>\",\"<CH2>\"\r\n";
    const Case cases[] = {
        {true, true, Word(512, 600), both, " 512, 600,    0.00,   85.94", "NULL,NULL"},
        {true, true, Word(kNone, 1023), both, "NULL,1023,        ,  499.02", "NULL,NULL"},
        {true, true, Word(0, kNone), both, "   0,NULL,   -5.00,", "NULL,NULL"},
        {true, false, Word(291, kNone), one1, " 291,   -2.16", "NULL"},
        {true, false, Word(0x0400, 600), one1, "   0,   -5.00", "NULL"},
        {false, true, Word(kNone, 512), one2, " 512,    0.00", "NULL"},
        {false, true, Word(7, 0x0400 | 600), one2, " 600,   85.94", "NULL"},
    };
    for (const Case& c : cases) {
        const std::string block = DataBlock(ExampleSettings(c.ch1, c.ch2), {c.word});
        std::string expected = std::string(c.heading) + c.row + "\r\n";
        for (int j = 1; j < kRowsPerFile; ++j) {
            expected += c.nullRow;
            expected += "\r\n";
        }
        EXPECT_EQ(block, expected) << c.row;
    }
    EXPECT_EQ(DataBlock(ExampleSettings(false, false), {Word(1, 2)}), "");
}

TEST(WaveformDataBlock, NoSampleInTheShownChannelOnlyIsNull) {
    const std::string block = DataBlock(ExampleSettings(true, false), {Word(kNone, 300)});
    EXPECT_EQ(block.substr(block.find("<CH1>\"\r\n") + 8, 6), "NULL\r\n");
}

TEST(WaveformDataBlock, VoltColumnUnitAndGround) {
    struct Case {
        int mv, probe, coupling, position, code;
        const char* volts;
    };
    const Case cases[] = {
        {1000, 1, 0, 250, 1023, "    4.99"},  // 1 V/div: volts
        {500, 1, 0, 250, 1023, " 2495.12"},   // 500 mV/div: millivolts
        {100, 10, 0, 250, 1023, "    4.99"},  // 1 V/div at the probe tip
        {500, 1, 0, 250, 0, "-2500.00"},     {50, 1, 0, 0, 512, " -250.00"},  // position 0: P = 500
        {1000, 1, 2, 100, 1023, "    0.00"},                                  // GND
        {1000, 1, 1, 250, 512, "    0.00"},
    };
    for (const Case& c : cases) {
        WaveformFileSettings s = ExampleSettings(true, false);
        s.channel[0].voltsPerDivMv = c.mv;
        s.channel[0].probeFactor = c.probe;
        s.channel[0].displayCoupling = c.coupling;
        s.channel[0].tracePosition = c.position;
        const std::string block = DataBlock(s, {Word(static_cast<unsigned>(c.code), kNone)});
        const std::size_t row = block.find("<CH1>\"\r\n") + 8;
        EXPECT_EQ(block.substr(row + 5, 8), c.volts) << c.mv << " mV code " << c.code;
    }
}

// The row table against a plain formatting of each row.
TEST(WaveformDataBlock, EveryCodeMatchesPlainFormatting) {
    WaveformFileSettings s = ExampleSettings(true, true);
    s.channel[1].tracePosition = 173;
    s.channel[1].probeFactor = 10;
    std::vector<SampleWord> record(kRowsPerFile * 2);
    for (std::size_t i = 0; i < record.size(); ++i) {
        record[i] = Word(static_cast<unsigned>(i % 1024), static_cast<unsigned>((i * 7) % 1024));
    }
    std::string out;
    DataBlockWriter(s).WriteDataBlock(out, record.data(), kRowsPerFile);
    std::string expected;
    for (int j = 0; j < kRowsPerFile; ++j) {
        const SampleWord w = record[kRowsPerFile + j];
        const int a = static_cast<int>(w & 0x3FF), b = static_cast<int>((w >> 16) & 0x3FF);
        char row[96];
        std::snprintf(row, sizeof row, "%4d,%4d,%8.2Lf,%8.2Lf\r\n", a, b,
                      SampleVolts(a, 1000, 1, 250), SampleVolts(b, 100, 10, 173));
        expected += row;
    }
    EXPECT_EQ(out.substr(out.size() - expected.size()), expected);
}

TEST(WaveformIndex, HeaderAndTimestamp) {
    std::tm t{};
    t.tm_year = 126;
    t.tm_mon = 11;
    t.tm_mday = 10;
    t.tm_hour = 9;
    t.tm_min = 5;
    t.tm_sec = 7;
    EXPECT_EQ(FormatIndexTimestamp(t), "2026/12/10 9:05:07");
    t.tm_hour = t.tm_min = t.tm_sec = 0;
    EXPECT_EQ(FormatIndexTimestamp(t), "2026/12/10");
    EXPECT_EQ(IndexHeader("2026/12/10"), Cp932("≪ ZEP-9100 CSV Files ≫  2026/12/10\r\n\r\n"));
}

TEST(WaveformValueLine, TrailingCommasAndFields) {
    struct Case {
        const char* line;
        std::vector<std::string_view> values;
    };
    const Case cases[] = {
        {"\"ΔT = ON\",1,150,350,,,", {"1", "150", "350"}},
        {"\"Use = True\",1", {"1"}},
        {"\"≪CH1≫\"", {}},
        {"\"≪CH1≫\",,,", {}},
        {"\"x\",1,,2", {"1", "", "2"}},
        {"\"Level = 0\",0, -3.25", {"0", " -3.25"}},
    };
    for (const Case& c : cases) {
        const ValueLine v = ReadValueLine(c.line);
        ASSERT_EQ(v.count, static_cast<int>(c.values.size())) << c.line;
        for (int i = 0; i < v.count; ++i) {
            EXPECT_EQ(v.values[i], c.values[i]) << c.line;
        }
    }
}

TEST(WaveformValueLine, NumberConversions) {
    struct IntCase {
        const char* text;
        std::optional<int> value;
    };
    const IntCase ints[] = {
        {"12", 12},
        {"-3", -3},
        {"  7", 7},
        {"$AB00", 0xAB00},
        {"$ab01", 0xAB01},
        {"0x10", 16},
        {"$FFFFFFFF", -1},
        {"2147483647", 2147483647},
        {"2147483648", std::nullopt},
        {"", std::nullopt},
        {"$", std::nullopt},
        {"1.5", std::nullopt},
        {"7 ", std::nullopt},
        {"abc", std::nullopt},
        {"-", std::nullopt},
    };
    for (const IntCase& c : ints) {
        EXPECT_EQ(ParseInteger(c.text), c.value) << c.text;
    }
    EXPECT_EQ(ParseFlag("0"), false);
    EXPECT_EQ(ParseFlag("1"), true);
    EXPECT_EQ(ParseFlag("-2"), true);
    EXPECT_EQ(ParseFlag("True"), true);
    EXPECT_EQ(ParseFlag("x"), std::nullopt);
    EXPECT_EQ(ParseDecimal("1.00"), 1.0L);
    EXPECT_EQ(ParseDecimal("-20.50"), -20.5L);
    EXPECT_EQ(ParseDecimal(" 3 "), 3.0L);
    EXPECT_EQ(ParseDecimal("1,5"), std::nullopt);
    EXPECT_EQ(ParseDecimal(""), std::nullopt);
    // Only the given range counts, whatever follows it in memory.
    EXPECT_EQ(ParseDecimal(std::string_view("1.5x", 3)), 1.5L);
    EXPECT_EQ(ParseInteger(std::string_view("12x", 2)), 12);
}

std::vector<RestoreStep> ReadSteps(const std::string& block, bool* ok = nullptr,
                                   ChannelsOn* channels = nullptr) {
    LineCursor cursor(block);
    std::vector<RestoreStep> steps;
    ChannelsOn on;
    const bool result = ReadSettingsBlock(cursor, steps, on);
    if (ok) {
        *ok = result;
    }
    if (channels) {
        *channels = on;
    }
    return steps;
}

TEST(WaveformSettingsRead, CurrentLayoutRestoresEveryValueInOrder) {
    bool ok = false;
    ChannelsOn channels;
    const std::vector<RestoreStep> steps =
        ReadSteps(*WriteSettingsBlock(SampleSettings()), &ok, &channels);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(channels.ch1 && channels.ch2);
    EXPECT_EQ(steps, SampleSettingsSteps());
}

// Hand-written files of the two older layouts restore the same values.
TEST(WaveformSettingsRead, OlderLayouts) {
    const std::vector<RestoreStep> expected = {
        {K::Mirror, "channelOn", 0, 0},           {K::Down, "SpeedButtonCh1", -1, 0},
        {K::ItemIndex, "ComboBoxVd1", -1, 7},     {K::Mirror, "voltsPerDivMv", 0, 2000},
        {K::ItemIndex, "ComboBoxPb1", -1, 0},     {K::ItemIndex, "ComboBoxCup1", -1, 2},
        {K::Mirror, "tracePosition", 0, 400},     {K::Mirror, "channelOn", 1, 0},
        {K::Down, "SpeedButtonCh2", -1, 0},       {K::ItemIndex, "ComboBoxVd2", -1, 2},
        {K::Mirror, "voltsPerDivMv", 1, 50},      {K::ItemIndex, "ComboBoxPb2", -1, 1},
        {K::ItemIndex, "ComboBoxCup2", -1, 0},    {K::Mirror, "tracePosition", 1, 520},
        {K::Mirror, "trigMode", -1, 0},           {K::ItemIndex, "ComboBoxTrigSrc", -1, 2},
        {K::ItemIndex, "ComboBoxTrigCup", -1, 0}, {K::ItemIndex, "ComboBoxTrigSp", -1, 0},
        {K::Mirror, "trigLevel", -1, 200},        {K::Mirror, "trigLevelOffset", -1, 12.5},
        {K::Mirror, "trigPosition", -1, 100},     {K::Checked, "CheckBoxDelay", -1, 1},
        {K::Mirror, "trigDelay", -1, 300},        {K::Checked, "CheckBoxPulse", -1, 0},
        {K::Checked, "RdBtnUnder", -1, 1},        {K::Mirror, "pulseWidth", -1, 40},
        {K::Mirror, "timeDivIndex", -1, 22},      {K::ItemIndex, "ComboBoxMemSize", -1, 0},
        {K::Checked, "RdBtn20MHz1", -1, 1},       {K::Checked, "RdBtnFull2", -1, 1},
        {K::Checked, "CheckBoxEqu", -1, 1},       {K::Mirror, "equivalentAsRealTime", -1, 1},
        {K::Checked, "CheckBoxRoll", -1, 1},      {K::ItemIndex, "ComboBoxWaveForm", -1, 2},
        {K::Down, "SpeedButtonDt", -1, 0},        {K::Mirror, "cursorT1", -1, 10},
        {K::Mirror, "cursorT2", -1, 20},          {K::Down, "SpeedButtonDv", -1, 1},
        {K::Mirror, "cursorV1", -1, 30},          {K::Mirror, "cursorV2", -1, 40},
    };
    for (const char* file : {"csv/version002.csv", "csv/version001.csv"}) {
        const std::string text = ReadDataFile(file);
        ASSERT_FALSE(text.empty()) << file;
        bool ok = false;
        EXPECT_EQ(ReadSteps(text, &ok), expected) << file;
        EXPECT_TRUE(ok) << file;
    }
    // A current-layout file relabelled as old no longer lines up.
    std::string relabelled = *WriteSettingsBlock(SampleSettings());
    relabelled.replace(relabelled.find("1.00"), 4, "0.01");
    bool ok = true;
    ReadSteps(relabelled, &ok);
    EXPECT_FALSE(ok);
}

TEST(WaveformSettingsRead, MalformedBlocksStopAtTheBadLine) {
    struct Case {
        const char* name;
        const char* from;
        const char* to;
        std::size_t stepsKept;
    };
    const Case cases[] = {
        {"magic $AB01", "$AB00", "$AB01", 0},
        {"version not a number", ",1.00", ",one", 0},
        {"probe index outside its list", "\"Probe = x1\",0", "\"Probe = x1\",3", 4},
        {"negative volts index", "\"Volt/div = 1V\",6", "\"Volt/div = 1V\",-1", 2},
        {"volt/div line with one value", "\"Volt/div = 1V\",6,1000", "\"Volt/div = 1V\",6", 2},
        {"cursor line short", "\"ΔV = OFF\",0,90,310", "\"ΔV = OFF\",0,90", 42},
        {"offset not a number", "270,-20.00", "270,x", 20},
    };
    for (const Case& c : cases) {
        std::string block = *WriteSettingsBlock(SampleSettings());
        const std::string from = Cp932(c.from);
        const std::size_t at = block.find(from);
        ASSERT_NE(at, std::string::npos) << c.name;
        block.replace(at, from.size(), Cp932(c.to));
        bool ok = true;
        const std::vector<RestoreStep> steps = ReadSteps(block, &ok);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(steps.size(), c.stepsKept) << c.name;
    }
    // Cut off before the end.
    const std::string block = *WriteSettingsBlock(SampleSettings());
    bool ok = true;
    ReadSteps(block.substr(0, block.size() - 20), &ok);
    EXPECT_FALSE(ok);
}

TEST(WaveformSettingsRead, TrailingCommasAreIgnored) {
    std::string block = *WriteSettingsBlock(SampleSettings());
    const std::string from = Cp932("\"ΔT = ON\",1,120,380");
    block.replace(block.find(from), from.size(), from + ",,,");
    bool ok = false;
    EXPECT_EQ(ReadSteps(block, &ok), SampleSettingsSteps());
    EXPECT_TRUE(ok);
}

std::string Rows(const std::vector<std::string>& first, std::size_t total, const char* filler) {
    std::string out = "\r\nheading\r\nlabels\r\n";
    for (std::size_t j = 0; j < total; ++j) {
        out += j < first.size() ? first[j] : filler;
        out += "\r\n";
    }
    return out;
}

TEST(WaveformDataRead, RowsGiveWords) {
    struct Case {
        bool ch1, ch2;
        const char* row;
        SampleWord word;
    };
    const Case cases[] = {
        {true, true, " 512, 600,    0.00,   85.94", Word(512, 600)},
        {true, true, "NULL,NULL", 0xFFFFFFFFu},
        {true, true, "NULL, 512,        ,    0.00", Word(kNone, 512)},
        {true, true, "   0,NULL,   -5.00,", Word(0, kNone)},
        {true, false, " 291,   -2.16", Word(291, kNone)},
        {true, false, "NULL", 0xFFFFFFFFu},
        {false, true, "1023,  499.02", Word(kNone, 1023)},
        {false, false, "  12,0", Word(kNone, 12)},
    };
    for (const Case& c : cases) {
        const std::string text = Rows({c.row}, kRowsPerFile, "NULL,NULL");
        std::vector<SampleWord> record(kRecordWords, 0);
        LineCursor cursor(text);
        EXPECT_TRUE(ReadDataBlock(cursor, {c.ch1, c.ch2}, record, 0)) << c.row;
        EXPECT_EQ(record[0], c.word) << c.row;
        EXPECT_EQ(record[kRowsPerFile], 0xFFFFFFFFu) << "cleared beyond the block";
    }
}

TEST(WaveformDataRead, MalformedRows) {
    struct Case {
        bool ch1, ch2;
        const char* row;
    };
    const Case cases[] = {
        {true, true, "  -1, 600,    0.00,   85.94"},  // negative code
        {true, true, "NULL"},                         // second field missing
        {true, false, ""},                            // empty row
        {true, false, "12x,0.00"},
        {true, true, "70000,5,0,0"},  // would spill into CH2's half
        {true, false, "NUL,0.00"},
    };
    for (const Case& c : cases) {
        const std::string text = Rows({" 100, 100,0,0", c.row}, kRowsPerFile, "NULL,NULL");
        std::vector<SampleWord> record(kRecordWords, 0);
        LineCursor cursor(text);
        EXPECT_FALSE(ReadDataBlock(cursor, {c.ch1, c.ch2}, record, 0)) << c.row;
        EXPECT_NE(record[0], 0u) << "rows before the bad one stay read";
    }
}

TEST(WaveformDataRead, ShortFilesAndBounds) {
    std::vector<SampleWord> record(kRecordWords, 0x12345678u);
    // Fewer than 10,000 rows.
    const std::string shortText = Rows({}, kRowsPerFile - 1, "  5,0");
    LineCursor shortCursor(shortText);
    EXPECT_FALSE(ReadDataBlock(shortCursor, {true, false}, record, 20000));
    EXPECT_EQ(record[20000], Word(5, kNone));
    EXPECT_EQ(record[29999], 0x12345678u);
    EXPECT_EQ(record[0], 0x12345678u) << "only a first file clears the record";

    // No data block at all: nothing to read, the record is cleared by a first file.
    LineCursor empty("");
    EXPECT_TRUE(ReadDataBlock(empty, {false, false}, record, 0));
    EXPECT_EQ(record[20000], 0xFFFFFFFFu);

    // Blocks that would not fit in the record are refused before anything is written.
    const std::string full = Rows({}, kRowsPerFile, "  5,0");
    std::fill(record.begin(), record.end(), 0u);
    for (std::size_t first : {std::size_t{1000000}, std::size_t{995000}, kRecordWords + 10}) {
        LineCursor cursor(full);
        EXPECT_FALSE(ReadDataBlock(cursor, {true, false}, record, first)) << first;
    }
    EXPECT_EQ(std::count(record.begin(), record.end(), 0u),
              static_cast<std::ptrdiff_t>(kRecordWords));
    LineCursor last(full);
    EXPECT_TRUE(ReadDataBlock(last, {true, false}, record, 990000));
    EXPECT_EQ(record[999999], Word(5, kNone));
    EXPECT_EQ(record[1000000], 0u);
}

TEST(WaveformDataRead, MissingFinalLineEndIsAccepted) {
    std::string text = Rows({}, kRowsPerFile, "  5,0");
    text.resize(text.size() - 2);
    std::vector<SampleWord> record(kRecordWords, 0);
    LineCursor cursor(text);
    EXPECT_TRUE(ReadDataBlock(cursor, {true, false}, record, 0));
    EXPECT_EQ(record[9999], Word(5, kNone));
}

// ---------------------------------------------------------------------------
// The data block reader against a plain one that follows the rules row by
// row, field by field, on written blocks and on damaged ones.

// One code field of `row` (a row without its line end) from `at`: "NULL", or
// up to nine digits with blanks (any byte up to ' ') around them, at most
// 0xFFFF. It must end at a comma or at the end of the row.
struct PlainField {
    bool ok = false;
    std::uint32_t half = 0;
    std::size_t end = 0;
};
PlainField ReadPlainField(std::string_view row, std::size_t at) {
    PlainField f;
    std::size_t i = at;
    if (row.substr(i, 4) == "NULL") {
        i += 4;
        f.half = 0xFFFF;
    } else {
        const auto blank = [&](std::size_t k) {
            return k < row.size() && static_cast<unsigned char>(row[k]) <= ' ';
        };
        while (blank(i)) {
            ++i;
        }
        const std::size_t digits = i;
        while (i < row.size() && row[i] >= '0' && row[i] <= '9' && i - digits < 9) {
            f.half = f.half * 10 + static_cast<std::uint32_t>(row[i] - '0');
            ++i;
        }
        if (i == digits || f.half > 0xFFFF) {
            return f;
        }
        while (blank(i)) {
            ++i;
        }
    }
    f.ok = i == row.size() || row[i] == ',';
    f.end = i;
    return f;
}

// The whole block: returns whether it was read and, when it was, how many
// bytes of `text` it took.
std::optional<std::size_t> ReadPlainDataBlock(std::string_view text, ChannelsOn channels,
                                              std::vector<SampleWord>& record,
                                              std::size_t firstSample) {
    if (firstSample > record.size() || record.size() - firstSample < kRowsPerFile) {
        return std::nullopt;
    }
    if (firstSample == 0) {
        std::fill(record.begin(), record.end(), kNoSampleWord);
    }
    std::size_t pos = 0;
    const auto nextRow = [&](std::string_view& row, bool& lineEnd) {
        if (pos >= text.size()) {
            return false;
        }
        const std::size_t lf = text.find('\n', pos);
        lineEnd = lf != std::string_view::npos;
        row = text.substr(pos, (lineEnd ? lf : text.size()) - pos);
        pos = lineEnd ? lf + 1 : text.size();
        return true;
    };
    std::string_view row;
    bool lineEnd = false;
    if (text.empty()) {
        return 0;
    }
    for (int i = 0; i < 3; ++i) {
        if (!nextRow(row, lineEnd)) {
            return std::nullopt;
        }
    }
    const bool both = channels.ch1 && channels.ch2;
    for (int j = 0; j < kRowsPerFile; ++j) {
        if (!nextRow(row, lineEnd)) {
            return std::nullopt;
        }
        // The carriage return of a CR LF line end is not part of the row.
        if (lineEnd && !row.empty() && row.back() == '\r') {
            row.remove_suffix(1);
        }
        const PlainField first = ReadPlainField(row, 0);
        if (!first.ok) {
            return std::nullopt;
        }
        // A row without a comma holds only "NULL", and only for one channel.
        if (first.end == row.size() && !(row.substr(0, 4) == "NULL" && !both)) {
            return std::nullopt;
        }
        SampleWord word;
        if (both) {
            const PlainField second = ReadPlainField(row, first.end + 1);
            if (!second.ok) {
                return std::nullopt;
            }
            word = (second.half << 16) | first.half;
        } else if (channels.ch1) {
            word = 0xFFFF0000u | first.half;
        } else {
            word = (first.half << 16) | 0xFFFFu;
        }
        record[firstSample + static_cast<std::size_t>(j)] = word;
    }
    return pos;
}

// Reads `text` both ways into records that start alike and compares
// everything: the outcome, every word, and where the reader stopped.
void ExpectLikePlain(std::string_view text, ChannelsOn channels, std::size_t recordWords,
                     std::size_t firstSample, const std::string& label) {
    std::vector<SampleWord> fast(recordWords, 0x5A5A5A5Au);
    std::vector<SampleWord> plain(fast);
    LineCursor cursor(text);
    const bool read = ReadDataBlock(cursor, channels, fast, firstSample);
    const std::optional<std::size_t> used = ReadPlainDataBlock(text, channels, plain, firstSample);
    ASSERT_EQ(read, used.has_value()) << label;
    if (read) {
        EXPECT_EQ(cursor.Rest().size(), text.size() - *used) << label;
    }
    const auto differs = std::mismatch(fast.begin(), fast.end(), plain.begin());
    ASSERT_EQ(differs.first, fast.end())
        << label << ": word " << (differs.first - fast.begin()) << std::hex << " reads "
        << *differs.first << ", plainly " << *differs.second;
}

TEST(WaveformDataRead, WrittenAndDamagedBlocksReadLikeThePlainReader) {
    std::mt19937 random(20261210);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    // Bytes that matter to the reader, and a few that do not.
    static constexpr char kAlphabet[] = {' ', '0', '1',  '5', '9', ',', ',',  '\r', '\n', 'N',
                                         'U', 'L', '\t', '-', '.', 'x', '\0', '/',  ':',  '\x81'};
    for (int round = 0; round < 240; ++round) {
        WaveformFileSettings s = ExampleSettings(pick(4) != 0, pick(4) != 0);
        for (ChannelFileSettings& c : s.channel) {
            // Volt columns of every width: millivolts at high probe factors
            // give the widest, ground gives 0.00 throughout.
            c.voltsPerDivMv = std::array{1, 50, 500, 1000, 5000}[pick(5)];
            c.probeFactor = std::array{1, 10, 100}[pick(3)];
            c.tracePosition = pick(501);
            c.displayCoupling = pick(3);
        }
        std::vector<SampleWord> record(kRowsPerFile);
        const int nullEvery = 1 + pick(50);
        for (SampleWord& w : record) {
            w = static_cast<SampleWord>(random());  // stray high bits are written as code bits
            if (pick(nullEvery) == 0) {
                w |= 0xFFFFu;
            }
            if (pick(nullEvery) == 0) {
                w |= 0xFFFF0000u;
            }
        }
        std::string text;
        DataBlockWriter(s).WriteDataBlock(text, record.data(), 0);
        const ChannelsOn channels{s.channel[0].channelOn, s.channel[1].channelOn};
        const int damage = pick(3) == 0 ? 0 : 1 + pick(4);
        for (int d = 0; d < damage && !text.empty(); ++d) {
            const std::size_t at = static_cast<std::size_t>(random() % text.size());
            const char c = kAlphabet[pick(sizeof kAlphabet)];
            switch (pick(4)) {
                case 0:
                    text[at] = c;
                    break;
                case 1:
                    text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c);
                    break;
                case 2:
                    text.erase(at, 1 + static_cast<std::size_t>(pick(4)));
                    break;
                default:
                    text.resize(at);
                    break;
            }
        }
        if (pick(8) == 0 && text.size() >= 2) {
            text.resize(text.size() - 2);  // no final line end
        }
        text += std::string(static_cast<std::size_t>(pick(3)), 'z');  // bytes after the block
        const std::size_t first = pick(2) == 0 ? 0 : kRowsPerFile;
        ExpectLikePlain(text, channels, 2 * kRowsPerFile, first,
                        "round " + std::to_string(round) + " damage " + std::to_string(damage));
        if (HasFatalFailure()) {
            return;
        }
    }
}

// Every four-byte code field over bytes that matter, in each place a field
// stands, followed by enough text for the reader to look ahead.
TEST(WaveformDataRead, EveryShortCodeFieldReadsLikeThePlainReader) {
    static constexpr char kBytes[] = {' ',  '0', '1', '9', 'N',    '\r',  '\t',
                                      '\0', '/', ':', ',', '\x10', '\xB0'};
    constexpr int n = sizeof kBytes;
    struct Place {
        ChannelsOn channels;
        const char* before;
        const char* after;
    };
    const Place places[] = {
        {{true, true}, "", ", 512,    0.00,    0.00"},
        {{true, true}, " 512,", ",    0.00,    0.00"},
        {{true, false}, "", ",   -2.16"},
        {{false, true}, "", ",   -2.16"},
    };
    for (const Place& place : places) {
        for (int code = 0; code < n * n * n * n; ++code) {
            std::string text = "\r\nheading\r\nlabels\r\n";
            text += place.before;
            for (int k = 0, c = code; k < 4; ++k, c /= n) {
                text += kBytes[c % n];
            }
            text += place.after;
            text += "\r\n";
            text += std::string(64, 'z');  // a second row that is always malformed
            ExpectLikePlain(text, place.channels, kRowsPerFile + 1, 1,
                            place.before + std::to_string(code));
            if (HasFatalFailure()) {
                return;
            }
        }
    }
}

}  // namespace
}  // namespace lumatrace
