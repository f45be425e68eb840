// The instrument's settings as plain numbers: the mirror fields that the
// change handlers derive from the panel's controls, the values that are
// stored outright (positions, trigger numbers, colours), the display items
// and the defaults of both the mirrors and the panel's controls.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings/InstrumentTypes.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

// trigLevelOffset value meaning "not yet set"; replaced at the first layout.
inline constexpr long double kTrigLevelOffsetUnset = 500.0L;

// Mirror fields and own values. Member defaults are the run-time defaults
// that hold before the panel is synchronised.
struct InstrumentSettings {
    // Channels.
    std::array<std::uint8_t, 2> channelOn{1, 1};
    std::array<int, 2> voltsPerDivMv{50, 50};
    std::array<int, 2> probeFactor{10, 10};
    std::array<int, 2> displayCoupling{0, 0};
    std::array<int, 2> deviceCoupling{0, 0};
    std::array<int, 2> bandwidthLimit{0, 0};
    std::array<int, kTraceCount> tracePosition{250, 250, 250, 250, 100};

    // Trigger.
    int trigMode = 0;
    std::array<int, 2> trigCouplingBySource{0, 0};
    int trigLevel = 250;
    long double trigLevelOffset = kTrigLevelOffsetUnset;
    int trigPosition = 5000;
    int trigDelay = 0;
    int pulseWidth = 10;
    int pulseCondition = 1;  // 1 under, 2 above

    // Horizontal.
    int timeDivIndex = 16;
    long double timePerDiv = 200000.0L;
    int memorySizeIndex = 0;
    int memoryPoints = 10000;
    int sampleIntervalNs = 10;
    std::string samplingTimeText;

    // Acquire.
    int runMode = kRunStop;
    std::uint8_t equivalentActive = 0;
    std::uint8_t rollActive = 0;
    int waveformMode = 0;
    int acquireCount = 2;
    int acquireCountIndex = 0;
    // A third number kept with the acquisition count: stored by the waveform
    // file reader and carried through the parameter file (0 until a file
    // sets it).
    int acquireCountReserved = 0;

    // Math.
    std::uint8_t mathOn = 0;
    int mathScale = 500;

    // Spectrum.
    std::uint8_t fftOn = 0;
    int fftScale = 500;
    std::array<int, 2> fftVScaleIndex{8, 7};
    std::array<int, 2> fftPositionByType{400, 100};
    int fftWindow = 0;

    // Cursors.
    std::uint8_t cursorTOn = 1;
    std::uint8_t cursorVOn = 1;
    int cursorT1 = 150;
    int cursorT2 = 350;
    int cursorV1 = 100;
    int cursorV2 = 300;
    int cursorTSelected = 1;
    int cursorVSelected = 1;

    // Display.
    std::array<std::uint32_t, kDisplayItemCount> displayColors{
        wincolor::kRed,    wincolor::kBlue, wincolor::kGreen, wincolor::kPurple,  wincolor::kWhite,
        wincolor::kSilver, wincolor::kLime, wincolor::kTeal,  wincolor::kFuchsia, wincolor::kAqua};

    // Trace-indexed accessors: writes outside the range are refused (false),
    // reads outside it give 0.
    int TracePosition(int trace) const;
    bool SetTracePosition(int trace, int value);
    int ProbeFactorOf(int ch) const;
    bool SetProbeFactor(int ch, int value);
    int VoltsPerDivMvOf(int ch) const;
    bool SetVoltsPerDivMv(int ch, int value);
    int TrigCouplingBySource(int src) const;
    bool SetTrigCouplingBySource(int src, int value);
    int FftVScaleIndex(int type) const;
    bool SetFftVScaleIndex(int type, int value);
    int FftPositionByType(int type) const;
    bool SetFftPositionByType(int type, int value);

    // Display items 0..9 (Table C): colour column and the unrelated position
    // column. Out-of-range items are ignored by the setters (false) and read
    // as 0.
    std::uint32_t DisplayColor(int item) const;
    bool SetDisplayColorValue(int item, std::uint32_t color);
    int ItemPosition(int item) const;
    bool SetItemPosition(int item, int value);
};

// Mirror fields touched by the default sequence; panel controls are set by
// PanelDefaults below.
void ApplyDefaultValues(InstrumentSettings& s);
// The spectrum part of the defaults alone (also used for files that predate
// the spectrum).
void ApplyFftDefaultValues(InstrumentSettings& s);

// Trigger level that keeps its offset to the source trace: round (ties to
// even) and clamp to 1..500.
int TrigLevelFromOffset(int sourcePosition, long double offset);
// Offset after the source's volts per division changed, so that the level
// keeps its voltage. Scales are voltsPerDivMv x probeFactor; a zero new scale
// leaves the offset as it is.
long double RescaleTrigLevelOffset(long double offset, long double oldScale, long double newScale);
// First layout after start-up: an unset offset becomes source position minus
// trigLevel (source 0 CH1, 1 CH2, anything else the trigger reference), and
// trigPosition is clamped to 10 .. memoryPoints - 100.
void ResolveFirstLayout(InstrumentSettings& s, int trigSourceIndex);

}  // namespace lumatrace
