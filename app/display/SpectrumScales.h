// Numbers of the spectrum view: FFT length, the frequency-scale lists and their parsing, bin
// widths, the amplitude of a bin and where it lands on screen, and the readout label. Plain
// functions, no state.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/display/ViewGeometry.h"
#include "app/display/ViewState.h"
#include "app/settings/SettingsModel.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

inline constexpr int kFftMaxLength = 524288;
inline constexpr int kFftWindowCount = 4;  // rectangular, Hamming, Hann, Blackman-Harris
inline constexpr int kFftTypeLinear = 0;
inline constexpr int kFftTypeDbv = 1;

// FFT length for a record length: 8192 for 10,000 points, 65,536 for 100,000 and 524,288 for
// 1,000,000 (the largest power of two the record holds, limited to those three).
int FftLengthFor(int memoryPoints);
// trunc(log2 n).
int FftStages(int n);
// Roll timer interval in ms: the 1M-point record is rolled every 100 ms, the others every 10.
int RollIntervalMsFor(int memoryPoints);

// Which frequency-scale list of a memory-size group applies: 0 while equivalent-time records
// are shown, else by sampling interval (20 ns -> 2 .. 10 ms -> 19, anything else 1).
int FftHScaleClass(int sampleIntervalNs, bool equivalentDisplay);

// Frequency per division of a frequency-scale item ("500MHz", "250KHz", "200uHz", with or
// without a decimal fraction) in Hz: the number as written, fraction included, times the unit.
// Refuses anything else (no digits, a dangling point, an unknown unit, trailing text, zero).
std::optional<long double> ParseFftHzPerDiv(std::string_view item);

// Width of one bin in Hz: 1 / (n x dt), dt the sampling interval, 100 ps for equivalent time.
long double BinWidthHz(int n, int sampleIntervalNs, bool equivalentDisplay);
// Bins across the ten divisions, made even; at least 2.
int BinsPerScreenFor(long double hzPerDiv, long double binWidthHz);

// The frequency-scale list on show and the numbers derived from its item.
struct FftHScaleState {
    int group = -1;  // memory-size index the list belongs to
    int klass = -1;  // list within the group (FftHScaleClass)
    ItemList items;
    int index = 0;
    std::array<bool, kFftHScaleMenuCount> menuVisible{};  // M_FHs_0 .. M_FHs_18
    long double hzPerDiv = 0.0L;
    long double binWidthHz = 0.0L;
};

// Swaps in the list for the memory size and sampling class when either differs from the one
// on show (the kept index clamped to the new list). Returns true when the list changed.
bool RebuildFftHScaleList(const ValueLists& lists, FftHScaleState& state, int memorySizeIndex,
                          int sampleIntervalNs, bool equivalentDisplay);
// Selects item `index` and re-derives the frequency per division and the bin width; sizes the
// spectrum window (FftBins, BinsPerScreen, HalfScreenBins, ScrollPerBin). A new scale on the
// same bins keeps the bin in the centre of the view where it is: the left edge and the blank
// left of 0 Hz move, the edge limited by SpectrumWindow::SetSpecStart. A new FFT length or bin
// width is a new set of bins: the window keeps its start, limited to where the scroll bar can
// take it (0 Hz at most in the centre). Returns false and changes nothing when the index or
// its item cannot be used.
bool SelectFftHScale(FftHScaleState& state, int index, int fftLength, int sampleIntervalNs,
                     bool equivalentDisplay, SpectrumWindow& window);

// Amplitude correction of the window (1 / its mean).
double WindowCorrection(int window);
// RMS amplitude of bin k from its squared magnitude: a sinusoid's RMS (/2 in power) except for
// the DC bin, then the window correction.
double BinAmplitude(double power, int k, int window);
// Displayed value of an amplitude: volts, or dBV with zero taken as 1e-10 V (-200 dBV).
double SpectrumValue(double amplitude, bool dbv);
// Screen y of a displayed value: `fftScale` in thousandths of the unit per division, the
// trace's zero at `fftPosition`. Values that do not fit (far off screen, not finite) are kept
// to +-2^20 so the line still leaves the graticule the right way.
int SpectrumY(double value, const ViewGeometry& g, int fftScale, int fftPosition);

// LblSIMath and LblSIMathOpe while FFT is on.
struct FftReadoutLabels {
    std::string title;   // " FFT"
    std::string detail;  // "   CH1 , Rect."
};
FftReadoutLabels FftReadoutLabelsFor(int source, int window);

// Vertical scale of the spectrum, kept per vertical type (0 linear, 1 dBV).
struct FftVScaleSelection {
    ItemList items;
    int index = 0;
    std::array<bool, kFftVScaleMenuCount> menuVisible{};
};
// Switch of the vertical type: the outgoing type keeps its item index and the trace position,
// the incoming one gets its own back (tracePosition[FFT] and fftScale are set).
FftVScaleSelection SwitchFftVType(const ValueLists& lists, InstrumentSettings& s, int fromType,
                                  int currentIndex, int toType);
// A scale item chosen in type `type`: fftScale and the type's kept index. False (nothing
// changed) when the item cannot be read.
bool SelectFftVScale(InstrumentSettings& s, int type, int index, std::string_view item);
// The spectrum trace moved: the position is kept for the current type as well.
void MoveFftTrace(InstrumentSettings& s, int type, int position);

}  // namespace lumatrace
