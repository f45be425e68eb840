#pragma once

#include <array>
#include <string>

#include "app/settings/InstrumentTypes.h"
#include "app/settings/SettingsModel.h"

namespace lumatrace {

// ---------------------------------------------------------------- number formatting

// value -> shortest text (15 significant digits) -> value: drops the floating-point noise of
// the arithmetic before a value is scaled and printed.
double TextRoundTrip(double value);
// Fixed-point text with the given number of decimals, '.' whatever the locale.
std::string FormatFixed(double value, int decimals);

// A value scaled into its display unit.
struct ScaledValue {
    double value = 0.0;
    const char* unit = "";
};
ScaledValue ScaleTime(double ns);  // s, ms, us, ns by magnitude
ScaledValue ScaleFrequency(double hz);
// Table of the voltage cursor readout: K, none or m in front of the base unit ("V", "dBV").
std::string FormatCursorVolts(double mv, const std::string& baseUnit);

// Record lengths that choose the number of decimals (10,000, 100,000 and 1,000,000 points).
int MemoryClass(int memoryPoints);

// ---------------------------------------------------------------- single readouts

// LabelSITrigL: trigSourceIndex is the trigger source list index (0 CH1, 1 CH2, else EXT).
struct TrigLevelInputs {
    int trigSourceIndex = 0;
    std::array<int, kTraceCount> tracePosition{250, 250, 250, 250, 100};
    int trigLevel = 250;
    long double trigLevelOffset = 0.0L;
    std::array<int, 2> voltsPerDivMv{50, 50};
    std::array<int, 2> probeFactor{10, 10};
};
double TrigLevelMv(const TrigLevelInputs& in);
std::string TrigLevelText(const TrigLevelInputs& in);

// LabelSITrigP.
std::string TrigPositionText(int trigPosition, int memoryPoints);

// The one-line cursor readouts as built (kept for the image export), "  Δ: ..." .
struct TimeCursorInputs {
    int cursorT1 = 150;
    int cursorT2 = 350;
    int cursorTSelected = 1;
    int memoryPoints = 10000;
    long double timePerDiv = 200000.0L;  // ns per division
    int trigPointX = 0;                  // x of the trigger point on the graticule
    double kx = 0.9;
};
std::string TimeCursorText(const TimeCursorInputs& in);

struct SpectrumCursorInputs {
    int cursorT1 = 150;
    int cursorT2 = 350;
    int cursorTSelected = 1;
    int memoryPoints = 10000;
    long double fftHzPerDiv = 0.0L;
    double specZeroX = 0.0;  // x of 0 Hz on the graticule
    double kx = 0.9;
};
std::string SpectrumCursorText(const SpectrumCursorInputs& in);

struct VoltageCursorInputs {
    int cursorV1 = 100;
    int cursorV2 = 300;
    int cursorVSelected = 1;
    int position = 250;        // the trace's tracePosition
    double fullScaleMv = 0.0;  // 8 x scale x factor: millivolts (or millidB) over 8 divisions
    bool dbv = false;
};
std::string VoltageCursorText(const VoltageCursorInputs& in);

// Label lines of a built readout, joined with CR LF: value, (frequency,) position.
std::string SplitReadoutLines(const std::string& built, bool withFrequencyLine);

// ---------------------------------------------------------------- the readout panel

// Everything the settings information panel shows. Fill with ReadoutInputsFrom and add the
// values the view and the spectrum compute.
struct ReadoutInputs {
    int trigSourceIndex = 0;
    std::array<int, kTraceCount> tracePosition{250, 250, 250, 250, 100};
    int trigLevel = 250;
    long double trigLevelOffset = 0.0L;
    std::array<int, 2> voltsPerDivMv{50, 50};
    std::array<int, 2> probeFactor{10, 10};
    int trigPosition = 5000;
    int memoryPoints = 10000;
    long double timePerDiv = 200000.0L;

    bool cursorTOn = true;
    bool cursorVOn = true;
    int cursorT1 = 150;
    int cursorT2 = 350;
    int cursorV1 = 100;
    int cursorV2 = 300;
    int cursorTSelected = 1;
    int cursorVSelected = 1;

    std::array<bool, 2> channelOn{true, true};
    bool mathOn = false;
    bool fftOn = false;
    bool fftDbv = false;  // RdBtnFftVstdBV checked
    int mathScale = 500;
    int fftScale = 500;

    // From the view: geometry and the trigger point of the last redraw.
    double kx = 0.9;
    int trigPointX = 0;
    // From the spectrum.
    bool spectrumInFront = false;
    long double fftHzPerDiv = 0.0L;
    double specZeroX = 0.0;
};
ReadoutInputs ReadoutInputsFrom(const InstrumentSettings& s, int trigSourceIndex, bool fftDbv);

struct CursorPanelTexts {
    bool visible = false;
    std::string caption;  // LblSIDt, LblSIMath (the channel panels keep theirs)
    std::string label1;   // "Δ :\r\n..." captions of the lines
    std::string label2;   // the values
};

struct ReadoutTexts {
    std::string trigLevel;     // LabelSITrigL
    std::string trigPosition;  // LabelSITrigP
    CursorPanelTexts time;     // PanelSIDt
    CursorPanelTexts ch1;      // PanelSICh1
    CursorPanelTexts ch2;      // PanelSICh2
    CursorPanelTexts math;     // PanelSIMath (MATH or FFT)
    // Built one-line forms for the image export: time (or frequency while the spectrum is in
    // front), and the voltage readout by trace index (kTraceTrigRef unused).
    std::string cursorTText;
    std::array<std::string, kTraceCount> cursorVText;
};
ReadoutTexts BuildReadouts(const ReadoutInputs& in);

}  // namespace lumatrace
