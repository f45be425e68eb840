#include <string>

#include <gtest/gtest.h>

#include "app/settings/ImageCaption.h"
#include "app/settings/SettingsModel.h"

namespace lumatrace {
namespace {

// Both channels on at 500mV (x10), DC, full bandwidth; the panel's defaults.
ImageCaptionSettings Defaults() {
    ImageCaptionSettings s;
    s.timeDivText = "200us";
    s.samplingTimeText = "200ns";
    s.memorySizeText = "10kPoint";
    s.acquireCountText = "2";
    for (auto& c : s.channels) {
        c.shown = true;
        c.voltsPerDivText = "500mV";
        c.probeText = "x10";
    }
    s.fftVScaleText = "500mV";
    s.fftHScaleText = "250KHz";
    s.mathScaleText = "500mV";
    s.trigSourceText = "CH1";
    s.trigCouplingText = "DC";
    s.trigSlopeText = "↑";
    s.trigLevelInfo = " TrigLevel\n  0.00V ";
    s.trigPosInfo = " TrigPos\n-1.000ms";
    s.delayText = "0";
    s.delayUnitText = "x200ns";
    s.pulseText = "10";
    s.pulseUnitText = "x10ns";
    s.cursorTOn = true;
    s.cursorVOn = true;
    s.cursorTText = "  Δ: 400.0us  1/Δ: 2.500KHz";
    s.cursorVText = {"  Δ: 1.00V", "  Δ: 2.00V", "  Δ: 3.00V", "  Δ: 4.00mV"};
    return s;
}

TEST(ImageCaption, FixedLinesAndDefaults) {
    const ImageCaption c = BuildImageCaption(Defaults(), "2026/12/10 4:05:09");
    EXPECT_EQ(c.title, "≪ ZEP-9100 Image ≫");
    EXPECT_EQ(c.dateTime, "2026/12/10 4:05:09");
    EXPECT_EQ(c.sampling, "Real Sampling");
    EXPECT_EQ(c.time, "Time/div : 200us (SamplingTime : 200ns)");
    EXPECT_EQ(c.waveform, "WaveForm : Sample          XY Plot : OFF");
    EXPECT_EQ(c.memory, "MemorySize : 10kPoint");
    EXPECT_EQ(c.channel, "CH1 : 500mV (x10)  DC  FULL       CH2 : 500mV (x10)  DC  FULL");
    EXPECT_EQ(c.trigger,
              "Trigger : CH1  DC  ↑     Level : 0.00V     Pos : -1.000ms     "
              "Delay : OFF     Pulse : OFF");
    EXPECT_EQ(c.timeCursor, "[Time]  Δ: 400.0us  1/Δ: 2.500KHz");
    EXPECT_EQ(c.voltCursor, "[CH1]  Δ: 1.00V     [CH2]  Δ: 2.00V");
}

TEST(ImageCaption, SamplingAndTimeLinesFollowTheAcquisitionKind) {
    struct Case {
        bool roll, equiv, equivAsRealTime;
        const char* sampling;
        const char* samplingTime;
    };
    const Case cases[] = {
        {false, false, false, "Real Sampling", "200ns"},
        {false, true, false, "Equiv Sampling", "100ps"},
        // An auto-triggered record of an equivalent-time run is a real-time one.
        {false, true, true, "Real Sampling", "200ns"},
        {true, false, false, "Roll Sampling", "200ns"},
        {true, true, false, "Roll Sampling", "200ns"},
    };
    for (const Case& k : cases) {
        ImageCaptionSettings s = Defaults();
        s.rollActive = k.roll;
        s.equivalentActive = k.equiv;
        s.equivalentAsRealTime = k.equivAsRealTime;
        const ImageCaption c = BuildImageCaption(s, "");
        EXPECT_EQ(c.sampling, k.sampling) << k.roll << k.equiv << k.equivAsRealTime;
        EXPECT_EQ(c.time, std::string("Time/div : 200us (SamplingTime : ") + k.samplingTime + ")");
    }
}

TEST(ImageCaption, WaveformLineNamesModeCountAndXy) {
    struct Case {
        int mode;
        bool xy;
        const char* expected;
    };
    const Case cases[] = {
        {0, false, "WaveForm : Sample          XY Plot : OFF"},
        {1, false, "WaveForm : Average 16          XY Plot : OFF"},
        {2, true, "WaveForm : Envelope           XY Plot : ON"},
    };
    for (const Case& k : cases) {
        ImageCaptionSettings s = Defaults();
        s.waveformMode = k.mode;
        s.acquireCountText = "16";
        s.xyOn = k.xy;
        EXPECT_EQ(BuildImageCaption(s, "").waveform, k.expected);
    }
}

TEST(ImageCaption, ChannelLineListsTheShownTraces) {
    struct Case {
        const char* name;
        bool ch1, ch2, fft, math;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"nothing shown", false, false, false, false, std::nullopt},
        {"CH2 and MATH", false, true, false, true,
         "CH2 : 500mV (x10)  DC  FULL       MATH : 500mV  CH1－CH2"},
        {"CH1 alone", true, false, false, false, "CH1 : 1V (x100)  AC  20MHz"},
        {"CH1 and FFT; FFT hides MATH", true, false, true, true,
         "CH1 : 1V (x100)  AC  20MHz       FFT : 20dB  5KHz  CH2  Black."},
        {"MATH alone", false, false, false, true, "MATH : 500mV  CH1－CH2"},
    };
    for (const Case& k : cases) {
        ImageCaptionSettings s = Defaults();
        s.channels[0] = {k.ch1, "1V", "x100", 1, 1};
        s.channels[1].shown = k.ch2;
        s.fftOn = k.fft;
        s.mathOn = k.math;
        s.fftVScaleText = "20dB";
        s.fftHScaleText = "5KHz";
        s.fftSource = 1;
        s.fftWindow = 3;
        s.mathOperator = 1;
        EXPECT_EQ(BuildImageCaption(s, "").channel, k.expected) << k.name;
    }
}

TEST(ImageCaption, MathOperatorsAndFftWindowsAreWrittenAsSymbols) {
    const char* ops[] = {"CH2＋CH2", "CH2－CH2", "CH2×CH2", "CH2÷CH2"};
    const char* windows[] = {"Rect.", "Hamm.", "Hann.", "Black."};
    for (int i = 0; i < 4; ++i) {
        ImageCaptionSettings s = Defaults();
        s.channels[0].shown = s.channels[1].shown = false;
        s.mathOn = true;
        s.mathOperand1 = s.mathOperand2 = 1;
        s.mathOperator = i;
        EXPECT_EQ(BuildImageCaption(s, "").channel, std::string("MATH : 500mV  ") + ops[i]);
        s.fftOn = true;
        s.fftWindow = i;
        EXPECT_EQ(BuildImageCaption(s, "").channel,
                  std::string("FFT : 500mV  250KHz  CH1  ") + windows[i]);
    }
    // An index the tables do not know leaves the word out instead of failing.
    ImageCaptionSettings s = Defaults();
    s.channels[0].shown = s.channels[1].shown = false;
    s.fftOn = true;
    s.fftWindow = 7;
    EXPECT_EQ(BuildImageCaption(s, "").channel, "FFT : 500mV  250KHz  CH1  ");
}

TEST(ImageCaption, TriggerLineDelayAndPulse) {
    struct Case {
        bool delayOn;
        const char* delay;
        bool pulseOn;
        int condition;
        const char* tail;
    };
    const Case cases[] = {
        {false, "25", false, 1, "Delay : OFF     Pulse : OFF"},
        {true, "0", false, 1, "Delay : OFF     Pulse : OFF"},
        {true, "25", false, 1, "Delay : 25x200ns     Pulse : OFF"},
        {false, "0", true, 1, "Delay : OFF     Pulse : 10x10ns未満"},
        {true, "3999999", true, 2, "Delay : 3999999x200ns     Pulse : 10x10ns以上"},
    };
    for (const Case& k : cases) {
        ImageCaptionSettings s = Defaults();
        s.delayChecked = k.delayOn;
        s.delayText = k.delay;
        s.pulseChecked = k.pulseOn;
        s.pulseCondition = k.condition;
        EXPECT_EQ(
            BuildImageCaption(s, "").trigger,
            std::string("Trigger : CH1  DC  ↑     Level : 0.00V     Pos : -1.000ms     ") + k.tail);
    }
}

TEST(ImageCaption, RollModeHasNoTriggerLine) {
    ImageCaptionSettings s = Defaults();
    s.rollActive = true;
    EXPECT_FALSE(BuildImageCaption(s, "").trigger.has_value());
}

TEST(ImageCaption, InformationLabelValueIsTheTrimmedTextAfterTheFirstLineFeed) {
    struct Case {
        const char* label;
        const char* value;
    };
    const Case cases[] = {
        {" TrigLevel\n  1.20V ", "1.20V"},
        {" TrigPos\r\n-2.5us\r\n", "-2.5us"},
        {"  no line feed  ", "no line feed"},
        {"a\nb\nc", "b\nc"},
        {"only label\n", ""},
        {"", ""},
    };
    for (const Case& k : cases) {
        EXPECT_EQ(InfoLabelValue(k.label), k.value) << k.label;
    }
}

TEST(ImageCaption, CursorLines) {
    ImageCaptionSettings s = Defaults();
    s.cursorTOn = false;
    s.cursorVOn = false;
    ImageCaption c = BuildImageCaption(s, "");
    EXPECT_FALSE(c.timeCursor.has_value());
    EXPECT_FALSE(c.voltCursor.has_value());

    s = Defaults();
    s.fftOn = true;
    s.mathOn = true;
    s.channels[0].shown = false;
    c = BuildImageCaption(s, "");
    EXPECT_EQ(c.timeCursor, "[Time (FFT)]  Δ: 400.0us  1/Δ: 2.500KHz");
    EXPECT_EQ(c.voltCursor, "[CH2]  Δ: 2.00V     [FFT]  Δ: 4.00mV");

    s = Defaults();
    s.channels[1].shown = false;
    s.mathOn = true;
    EXPECT_EQ(BuildImageCaption(s, "").voltCursor, "[CH1]  Δ: 1.00V     [MATH]  Δ: 3.00V");

    // The voltage cursors are on, but there is no trace to measure.
    s = Defaults();
    s.channels[0].shown = s.channels[1].shown = false;
    EXPECT_FALSE(BuildImageCaption(s, "").voltCursor.has_value());
}

TEST(ImageCaption, MirrorsFillTheFlagsAndModes) {
    InstrumentSettings m;
    m.channelOn = {0, 1};
    m.displayCoupling = {1, 2};
    m.bandwidthLimit = {1, 0};
    m.rollActive = 1;
    m.equivalentActive = 1;
    m.samplingTimeText = "20ns";
    m.waveformMode = 2;
    m.fftOn = 1;
    m.fftWindow = 2;
    m.mathOn = 1;
    m.pulseCondition = 2;
    m.cursorTOn = 0;
    m.cursorVOn = 1;
    ImageCaptionSettings s;
    FillCaptionFromMirrors(m, s);
    EXPECT_FALSE(s.channels[0].shown);
    EXPECT_TRUE(s.channels[1].shown);
    EXPECT_EQ(s.channels[0].displayCoupling, 1);
    EXPECT_EQ(s.channels[1].displayCoupling, 2);
    EXPECT_EQ(s.channels[0].bandwidthLimit, 1);
    EXPECT_EQ(s.channels[1].bandwidthLimit, 0);
    EXPECT_TRUE(s.rollActive);
    EXPECT_TRUE(s.equivalentActive);
    EXPECT_EQ(s.samplingTimeText, "20ns");
    EXPECT_EQ(s.waveformMode, 2);
    EXPECT_TRUE(s.fftOn);
    EXPECT_EQ(s.fftWindow, 2);
    EXPECT_TRUE(s.mathOn);
    EXPECT_EQ(s.pulseCondition, 2);
    EXPECT_FALSE(s.cursorTOn);
    EXPECT_TRUE(s.cursorVOn);
}

}  // namespace
}  // namespace lumatrace
