#include <gtest/gtest.h>

#include <string>

#include "app/display/Readouts.h"

namespace lumatrace {
namespace {

TEST(Readouts, TextRoundTripDropsArithmeticNoise) {
    EXPECT_EQ(TextRoundTrip(0.1 + 0.2), 0.3);
    EXPECT_EQ(TextRoundTrip(1e9 / 3.0), 333333333.333333);
    EXPECT_EQ(TextRoundTrip(-2500.0), -2500.0);
    EXPECT_EQ(FormatFixed(TextRoundTrip(0.1 + 0.05), 1), "0.1");
}

TEST(Readouts, UnitTablesPickTheUnitByMagnitude) {
    struct Case {
        double in;
        double value;
        const char* unit;
    };
    const Case times[] = {{0.0, 0.0, "ns"},     {999.0, 999.0, "ns"}, {1000.0, 1.0, "us"},
                          {-2.5e6, -2.5, "ms"}, {1e9, 1.0, "s"},      {12e9, 12.0, "s"}};
    for (const Case& c : times) {
        const ScaledValue v = ScaleTime(c.in);
        EXPECT_DOUBLE_EQ(v.value, c.value) << c.in;
        EXPECT_STREQ(v.unit, c.unit) << c.in;
    }
    const Case freqs[] = {{0.0, 0.0, "Hz"},       {1.0, 1.0, "Hz"},      {999.0, 999.0, "Hz"},
                          {1250.0, 1.25, "KHz"},  {5e6, 5.0, "MHz"},     {5e10, 50.0, "GHz"},
                          {0.5, 500.0, "mHz"},    {0.001, 1.0, "mHz"},   {0.0005, 500.0, "uHz"},
                          {-0.25, -250.0, "mHz"}, {-2000.0, -2.0, "KHz"}};
    for (const Case& c : freqs) {
        const ScaledValue v = ScaleFrequency(c.in);
        EXPECT_DOUBLE_EQ(v.value, c.value) << c.in;
        EXPECT_STREQ(v.unit, c.unit) << c.in;
    }
}

TEST(Readouts, TriggerLevelFollowsOffsetAndClampedEnds) {
    struct Case {
        const char* name;
        int source;
        int level;
        long double offset;
        int vpd;
        int probe;
        const char* text;
    };
    const Case cases[] = {
        // At the clamped top end the drawn level counts: 250 - 500 = -5 divisions of 500 mV.
        {"clampedBottom", 0, 500, 3.0L, 50, 10, "    -2.50V"},
        {"clampedTop", 0, 1, 3.0L, 50, 10, "    2.49V"},
        {"offsetHundreds", 0, 200, 50.0L, 50, 10, "    500mV"},
        {"offsetTens", 0, 200, 1.0L, 50, 10, "    10.0mV"},
        {"offsetUnits", 0, 200, 0.7L, 10, 1, "    0.14mV"},
        {"negativeVolts", 1, 300, -37.5L, 200, 10, "    -1.50V"},
        {"kilovolts", 0, 200, 250.0L, 5000, 100, "    2.50KV"},
        {"bigVolts", 0, 200, 100.0L, 5000, 10, "    100V"},
        // The EXT input counts as 500 mV per division.
        {"external", 2, 240, 10.0L, 1, 1, "    100mV"},
    };
    for (const Case& c : cases) {
        TrigLevelInputs in;
        in.trigSourceIndex = c.source;
        in.trigLevel = c.level;
        in.trigLevelOffset = c.offset;
        in.voltsPerDivMv = {c.vpd, c.vpd};
        in.probeFactor = {c.probe, c.probe};
        EXPECT_EQ(TrigLevelText(in), c.text) << c.name;
    }
}

TEST(Readouts, TriggerPositionDecimalsFollowTheRecordLength) {
    EXPECT_EQ(TrigPositionText(5000, 10000), "    50.0%");
    EXPECT_EQ(TrigPositionText(33333, 100000), "    33.33%");
    EXPECT_EQ(TrigPositionText(10, 1000000), "    0.001%");
    EXPECT_EQ(TrigPositionText(999900, 1000000), "    99.990%");
    EXPECT_EQ(TrigPositionText(10, 0), "    0.0%");
}

TEST(Readouts, TimeCursorReadout) {
    struct Case {
        const char* name;
        int t1;
        int t2;
        int selected;
        int points;
        long double tdiv;
        int trigX;
        const char* built;
    };
    const Case cases[] = {
        {"default", 150, 350, 1, 10000, 200000.0L, 225,
         "  Δ: 800.0000us (1.250000KHz)  ＠: -400.0000us"},
        {"secondSelected", 150, 350, 2, 10000, 200000.0L, 225,
         "  Δ: 800.0000us (1.250000KHz)  ＠: 400.0000us"},
        // Equal cursors: no time and no frequency.
        {"sameCursor", 200, 200, 1, 10000, 1000.0L, 225,
         "  Δ: 0.000000ns (0.000000Hz)  ＠: -1.000000us"},
        // One unit at 1 ns/div: 0.02 ns, the finest readout.
        {"finest", 100, 101, 2, 1000000, 1.0L, 90,
         "  Δ: 0.02000000ns (50.0000000GHz)  ＠: 0.02000000ns"},
        {"hundredK", 1, 499, 1, 100000, 1e9L, 0, "  Δ: 9.9600000s (100.40161mHz)  ＠: 20.000000ms"},
    };
    for (const Case& c : cases) {
        TimeCursorInputs in;
        in.cursorT1 = c.t1;
        in.cursorT2 = c.t2;
        in.cursorTSelected = c.selected;
        in.memoryPoints = c.points;
        in.timePerDiv = c.tdiv;
        in.trigPointX = c.trigX;
        in.kx = 0.9;
        EXPECT_EQ(TimeCursorText(in), c.built) << c.name;
    }
}

TEST(Readouts, SpectrumCursorReadout) {
    SpectrumCursorInputs in;
    in.fftHzPerDiv = 1000.0L;
    in.specZeroX = 1.0;  // 150 - 1.11 units rounds to 149
    in.kx = 0.9;
    EXPECT_EQ(SpectrumCursorText(in), "  Δ: 4.00000KHz  ＠: 2.98000KHz");
    in.memoryPoints = 1000000;
    in.cursorT2 = 150;
    in.cursorTSelected = 2;
    in.specZeroX = 225.0;  // centre of a scrolled view: left of 0 Hz is negative
    EXPECT_EQ(SpectrumCursorText(in), "  Δ: 0.0000000Hz  ＠: -2.0000000KHz");
}

TEST(Readouts, VoltageCursorPrefixesAndDecimals) {
    struct Case {
        const char* name;
        double full;
        int v1;
        int v2;
        int position;
        bool dbv;
        const char* built;
    };
    const Case cases[] = {
        {"volts", 4000.0, 100, 300, 250, false, "  Δ: 2.000V  ＠: 1.000V"},
        {"millivolts", 8.0, 100, 300, 250, false, "  Δ: 4.000mV  ＠: 2.000mV"},
        {"tens", 800.0, 100, 110, 250, false, "  Δ: 20.00mV  ＠: 200.0mV"},
        {"negative", 4000.0, 350, 300, 250, false, "  Δ: 500.0mV  ＠: -1.500V"},
        {"kilovolts", 4e6, 100, 300, 250, false, "  Δ: 2.000KV  ＠: 1.000KV"},
        {"dbv", 80000.0, 100, 300, 100, true, "  Δ: 40.00dBV  ＠: -10.00dBV"},
        {"millidbv", 800.0, 100, 300, 400, true, "  Δ: 400.0mdBV  ＠: 500.0mdBV"},
    };
    for (const Case& c : cases) {
        VoltageCursorInputs in;
        in.fullScaleMv = c.full;
        in.cursorV1 = c.v1;
        in.cursorV2 = c.v2;
        in.position = c.position;
        in.dbv = c.dbv;
        EXPECT_EQ(VoltageCursorText(in), c.built) << c.name;
    }
}

TEST(Readouts, SplitIntoLabelLines) {
    EXPECT_EQ(SplitReadoutLines("  Δ: 800.0000us (1.250000KHz)  ＠: -400.0000us", true),
              "800.0000us\r\n(1.250000KHz)\r\n-400.0000us");
    EXPECT_EQ(SplitReadoutLines("  Δ: 2.000V  ＠: 1.000V", false), "2.000V\r\n1.000V");
    EXPECT_EQ(SplitReadoutLines("no marker", false), "no marker");
}

TEST(Readouts, PanelsFollowTheTracesAndCursors) {
    InstrumentSettings settings;
    settings.trigLevelOffset = 0.0L;
    ReadoutInputs in = ReadoutInputsFrom(settings, 0, false);
    in.trigPointX = 225;
    ReadoutTexts out = BuildReadouts(in);
    EXPECT_TRUE(out.time.visible);
    EXPECT_EQ(out.time.caption, " Time");
    EXPECT_EQ(out.time.label1, "Δ :\r\n\r\n＠:");
    EXPECT_EQ(out.time.label2, "800.0000us\r\n(1.250000KHz)\r\n-400.0000us");
    EXPECT_EQ(out.cursorTText, "  Δ: 800.0000us (1.250000KHz)  ＠: -400.0000us");
    EXPECT_TRUE(out.ch1.visible);
    EXPECT_EQ(out.ch1.label1, "Δ :\r\n＠:");
    EXPECT_EQ(out.ch1.label2, "2.000V\r\n1.000V");
    EXPECT_EQ(out.cursorVText[kTraceCh1], "  Δ: 2.000V  ＠: 1.000V");
    EXPECT_FALSE(out.math.visible);
    EXPECT_EQ(out.math.caption, " MATH");
    EXPECT_EQ(out.trigLevel, "    0.00mV");
    EXPECT_EQ(out.trigPosition, "    50.0%");

    // The spectrum in front: frequency readout; FFT on: the third panel reads the FFT trace.
    in.fftOn = true;
    in.fftDbv = true;
    in.fftScale = 10000;
    in.tracePosition[kTraceFft] = 100;
    in.spectrumInFront = true;
    in.fftHzPerDiv = 1000.0L;
    in.specZeroX = 1.0;
    in.cursorVOn = false;
    in.channelOn = {false, true};
    out = BuildReadouts(in);
    EXPECT_EQ(out.time.caption, " Time ( FFT )");
    EXPECT_EQ(out.time.label1, "Δ :\r\n＠:");
    EXPECT_EQ(out.time.label2, "4.00000KHz\r\n2.98000KHz");
    EXPECT_FALSE(out.ch1.visible);
    EXPECT_TRUE(out.ch2.visible);
    EXPECT_TRUE(out.math.visible);
    EXPECT_EQ(out.math.caption, " FFT");
    // Voltage cursors off: empty labels, but the built texts stay for the picture export.
    EXPECT_EQ(out.math.label1, "");
    EXPECT_EQ(out.math.label2, "");
    EXPECT_EQ(out.cursorVText[kTraceFft], "  Δ: 40.00dBV  ＠: -10.00dBV");

    in.cursorVOn = true;
    out = BuildReadouts(in);
    EXPECT_EQ(out.math.label2, "40.00dBV\r\n-10.00dBV");
    in.fftOn = false;
    in.mathOn = true;
    in.mathScale = 5;
    out = BuildReadouts(in);
    EXPECT_EQ(out.math.caption, " MATH");
    EXPECT_EQ(out.math.label2, "20.00mV\r\n10.00mV");
}

}  // namespace
}  // namespace lumatrace
