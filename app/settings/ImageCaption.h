// The caption block written under an exported screen picture: which lines
// appear and what they say. Pure text logic; the picture code only places
// the lines.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace lumatrace {

struct InstrumentSettings;

// One channel as the caption describes it. Texts are the panel lists' item
// texts as shown.
struct CaptionChannel {
    bool shown = false;
    std::string voltsPerDivText;  // "500mV"
    std::string probeText;        // "x10"
    int displayCoupling = 0;      // 0 DC, 1 AC, 2 GND
    int bandwidthLimit = 0;       // 0 FULL, 1 20 MHz
};

// Cursor readout slots, in the order the view keeps them.
enum CaptionTrace : int { kCaptionCh1 = 0, kCaptionCh2 = 1, kCaptionMath = 2, kCaptionFft = 3 };

// Everything the caption reads: mirror fields, the panel's texts and the
// last readout strings of the view.
struct ImageCaptionSettings {
    // Sampling.
    bool rollActive = false;
    bool equivalentActive = false;
    bool equivalentAsRealTime = false;
    std::string timeDivText;       // "200us"
    std::string samplingTimeText;  // samplingTimeText mirror
    std::string memorySizeText;    // "10kPoint"

    // Acquisition.
    int waveformMode = 0;          // 0 Sample, 1 Average, 2 Envelope
    std::string acquireCountText;  // the number list's selected text
    bool xyOn = false;

    // Traces.
    std::array<CaptionChannel, 2> channels;
    bool fftOn = false;
    std::string fftVScaleText;  // "500mV" or "20dB"
    std::string fftHScaleText;  // "250KHz"
    int fftSource = 0;          // 0 CH1, 1 CH2
    int fftWindow = 0;          // 0 rectangular, 1 Hamming, 2 Hanning, 3 Blackman-Harris
    bool mathOn = false;
    std::string mathScaleText;  // "500mV"
    int mathOperand1 = 0;       // 0 CH1, 1 CH2
    int mathOperand2 = 1;
    int mathOperator = 0;  // 0 add, 1 subtract, 2 multiply, 3 divide

    // Trigger.
    std::string trigSourceText;    // "CH1"
    std::string trigCouplingText;  // "DC"
    std::string trigSlopeText;     // "↑"
    std::string trigLevelInfo;     // whole text of the trigger-level information label
    std::string trigPosInfo;       // whole text of the trigger-position information label
    bool delayChecked = false;
    std::string delayText;  // the delay edit's text
    std::string delayUnitText;
    bool pulseChecked = false;
    std::string pulseText;  // the pulse-width edit's text
    std::string pulseUnitText;
    int pulseCondition = 1;  // 1 under, 2 above

    // Cursors: the one-line readouts as last built.
    bool cursorTOn = false;
    bool cursorVOn = false;
    std::string cursorTText;
    std::array<std::string, 4> cursorVText;  // indexed by CaptionTrace
};

// The lines of the caption block. An empty optional is a line that is not
// drawn at all (no blank line is left for it).
struct ImageCaption {
    std::string title;
    std::string dateTime;
    std::string sampling;
    std::string time;
    std::string waveform;
    std::string memory;
    std::optional<std::string> channel;
    std::optional<std::string> trigger;
    std::optional<std::string> timeCursor;
    std::optional<std::string> voltCursor;
};

// Copies what the main window's mirror fields already hold (on-flags,
// couplings, bandwidths, modes, sampling text); the list texts, label texts
// and readouts are left to the caller, as is equivalentAsRealTime, which the
// acquisition keeps.
void FillCaptionFromMirrors(const InstrumentSettings& mirrors, ImageCaptionSettings& s);

// Builds every caption line from the settings; `dateTimeText` is the
// already formatted current date and time.
ImageCaption BuildImageCaption(const ImageCaptionSettings& s, std::string_view dateTimeText);

// The value part of an information label: the text after its first line
// feed (all of it when there is none), without surrounding blanks and
// control characters.
std::string InfoLabelValue(std::string_view labelText);

}  // namespace lumatrace
