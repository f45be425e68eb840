#include <gtest/gtest.h>

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

}  // namespace
}  // namespace lumatrace
