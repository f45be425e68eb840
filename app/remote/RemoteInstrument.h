// What the remote commands act on: the program's panel and acquisition, seen
// through plain values. The program implements this once, with every setter
// going through the same handler the panel's control uses (so the window
// shows the change, the acquisition restarts by its rules and the parameter
// file records it); tests implement it with a fake.
//
// Values are the panel's own: list indices into the value lists of
// app/settings/ValueTables.h, positions in position units (1/50 division,
// 0 at the top, 250 at the centre), the trigger position in samples. The
// command layer (RemoteCommands) converts volts and seconds to and from them
// and checks ranges before it calls a setter; a setter may still refuse,
// with the error the user would meet on the panel (a control that is
// disabled while running is -221 "Settings conflict").
//
// Every method is called on the thread that owns the panel (the user-
// interface thread, or the main thread of a program without a window), one
// at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/settings/InstrumentTypes.h"

namespace lumatrace {

// The outcome of a setter: success, or a SCPI error number with a short
// detail in ASCII (shown after the standard text in :SYSTem:ERRor?).
struct RemoteStatus {
    int error = 0;
    std::string detail;

    static RemoteStatus Ok() { return {}; }
    static RemoteStatus Fail(int code, std::string why) { return {code, std::move(why)}; }
    bool ok() const { return error == 0; }
};

// *IDN? fields. Commas are not allowed inside a field and are replaced.
struct RemoteIdentity {
    std::string maker;
    std::string model;
    std::string serial;   // "0" when the instrument does not report one
    std::string version;  // program version
};

// The run actions of the panel (A_Auto, A_Normal, A_Single, A_Stop).
enum class RemoteRunAction { kAuto, kNormal, kSingle, kStop };

// The trigger status panel (PnlStsTrig) and the stopped state.
enum class RemoteTriggerStatus {
    kStopped,         // not running
    kBlank,           // running, the panel shows nothing (roll mode, just started)
    kPreTrigger,      // "PreTrig"
    kWaitForTrigger,  // "Wait for Trig"
    kTriggered,       // "Trig'd"
    kAutoTriggered,   // "Auto"
};

struct RemoteChannelState {
    bool shown = true;            // SpeedButtonCh<n>
    int voltsPerDivIndex = 2;     // ComboBoxVd<n>, 0..7 (Table V)
    int probeIndex = 1;           // ComboBoxPb<n>: 0 x1, 1 x10, 2 x100
    int couplingIndex = 0;        // ComboBoxCup<n>: 0 DC, 1 AC, 2 GND
    bool bandwidthLimit = false;  // RdBtn20MHz<n>
    int position = 250;           // tracePosition[ch], 1..500
};

struct RemoteTimebaseState {
    int timeDivIndex = 16;       // ComboBoxTd, 0 .. TimeDivCount(memoryIndex) - 1
    int triggerPosition = 5000;  // trigPosition, 10 .. MemoryPoints(memoryIndex) - 100
};

struct RemoteAcquireState {
    int memoryIndex = 0;                 // ComboBoxMemSize: 0 10k, 1 100k, 2 1M points
    bool largeMemory = false;            // the instrument has the 1M memory (three list items)
    int waveformMode = kWaveformSample;  // ComboBoxWaveForm
    int countIndex = 0;  // ComboBoxNumber: index into Number list A (10k, 100k) or B (1M)
    bool equivalentAllowed = true;  // CheckBoxEqu
    bool rollAllowed = true;        // CheckBoxRoll
};

struct RemoteTriggerState {
    int sourceIndex = 0;    // ComboBoxTrigSrc: 0 CH1, 1 CH2, 2 EXT
    int couplingIndex = 0;  // ComboBoxTrigCup: 0 DC, 1 LFrej, 2 HFrej (EXT: DC only)
    int slopeIndex = 0;     // ComboBoxTrigSp: 0 rising, 1 falling
    int level = 250;        // trigLevel, 1..500
    // Where the level is measured from and in what scale: the source's
    // tracePosition (250 for EXT) and its volts per division in mV with the
    // probe (voltsPerDivMv x probeFactor; 500 for EXT). TriggerSourceScale()
    // of app/core gives the scale.
    int sourcePosition = 250;
    double sourceScaleMv = 500.0;
};

struct RemoteMathState {
    bool shown = false;     // SpeedButtonMath
    int operatorIndex = 0;  // 0 +, 1 -, 2 x, 3 / (RdBtnAdd, RdBtnSub, RdBtnMul, RdBtnDiv)
    int firstOperand = 0;   // 0 CH1, 1 CH2 (RdBtnMath11 / RdBtnMath12)
    int secondOperand = 1;  // 0 CH1, 1 CH2 (RdBtnMath21 / RdBtnMath22)
};

struct RemoteFftState {
    bool shown = false;   // SpeedButtonFft
    int sourceIndex = 0;  // 0 CH1, 1 CH2
    int window = 0;       // fftWindow: 0 rectangular, 1 Hamming, 2 Hanning, 3 Blackman-Harris
};

// Traces a record can be read from.
enum class RemoteSource { kCh1, kCh2, kMath };

// Marks a missing sample (not yet acquired, an equivalent-time gap).
inline constexpr std::uint16_t kRemoteNoSample = 0xFFFF;

// A record as :WAVeform:DATA? sends it. Codes use the channels' scale: 1024
// codes span ten divisions, so volts = (code - yOrigin) x yIncrement.
//
// A channel's record is lent, not copied: `words` points at the program's
// sample words (CH1 in bits 0-9, CH2 in bits 16-25, the unused bits zero)
// and `shift` picks the channel (0 or 16); a half of 0xFFFF, as in the
// all-ones word, is a missing sample. The words must stay unchanged until
// Record() is called again or the command returns. A computed trace (MATH)
// fills `codes` instead, in the same code scale at its own y values, with
// kRemoteNoSample for missing samples; `words` then stays empty.
struct RemoteRecord {
    std::span<const std::uint32_t> words;
    unsigned shift = 0;
    std::vector<std::uint16_t> codes;
    double xIncrement = 0.0;  // seconds between samples
    double xOrigin = 0.0;     // time of the first sample relative to the trigger, seconds
    double yIncrement = 0.0;  // volts per code
    double yOrigin = 0.0;     // code of 0 V: (500 - position) x 2.048 for a channel

    std::size_t size() const { return words.empty() ? codes.size() : words.size(); }
    // Sample i: the code, or kRemoteNoSample.
    std::uint16_t Code(std::size_t i) const {
        return words.empty() ? codes[i] : static_cast<std::uint16_t>(words[i] >> shift);
    }
};

struct RemoteMeasurement {
    RemoteStatus status;
    std::optional<double> value;  // nullopt: undefined for this record (no two edges ...)
};

enum class RemoteImageFormat { kPng, kBmp, kJpeg };

class RemoteInstrument {
  public:
    virtual ~RemoteInstrument() = default;

    // *IDN?, *RST (the settings model's defaults, as ApplyDefaults does).
    virtual RemoteIdentity Identity() const = 0;
    virtual RemoteStatus Reset() = 0;

    // Run actions and the run state (runMode, kRunStop .. kRunNormal).
    virtual RemoteStatus Run(RemoteRunAction action) = 0;
    virtual int RunMode() const = 0;
    virtual RemoteTriggerStatus TriggerStatus() const = 0;
    // True while an operation started by a command has not finished: a
    // Single run that has not delivered its record. *OPC?, *OPC and *WAI
    // wait for it.
    virtual bool OperationPending() const = 0;

    // Channels, ch 0 (CH1) or 1 (CH2).
    virtual RemoteChannelState Channel(int ch) const = 0;
    virtual RemoteStatus SetChannelShown(int ch, bool shown) = 0;
    virtual RemoteStatus SetVoltsPerDiv(int ch, int index) = 0;
    virtual RemoteStatus SetProbe(int ch, int probeIndex) = 0;
    virtual RemoteStatus SetCoupling(int ch, int couplingIndex) = 0;
    virtual RemoteStatus SetBandwidthLimit(int ch, bool limited) = 0;
    virtual RemoteStatus SetChannelPosition(int ch, int position) = 0;

    // Horizontal.
    virtual RemoteTimebaseState Timebase() const = 0;
    virtual RemoteStatus SetTimeDiv(int index) = 0;
    virtual RemoteStatus SetTriggerPosition(int samples) = 0;

    // Acquisition.
    virtual RemoteAcquireState Acquire() const = 0;
    virtual RemoteStatus SetMemorySize(int memoryIndex) = 0;
    virtual RemoteStatus SetWaveformMode(int mode) = 0;
    virtual RemoteStatus SetAcquireCount(int countIndex) = 0;
    virtual RemoteStatus SetEquivalentAllowed(bool allowed) = 0;
    virtual RemoteStatus SetRollAllowed(bool allowed) = 0;

    // Trigger.
    virtual RemoteTriggerState Trigger() const = 0;
    virtual RemoteStatus SetTriggerSource(int sourceIndex) = 0;
    virtual RemoteStatus SetTriggerCoupling(int couplingIndex) = 0;
    virtual RemoteStatus SetTriggerSlope(int slopeIndex) = 0;
    virtual RemoteStatus SetTriggerLevel(int level) = 0;

    // Math trace.
    virtual RemoteMathState Math() const = 0;
    virtual RemoteStatus SetMathShown(bool shown) = 0;
    virtual RemoteStatus SetMathOperator(int operatorIndex) = 0;
    virtual RemoteStatus SetMathOperand(int which, int channel) = 0;  // which 0 first, 1 second

    // Spectrum.
    virtual RemoteFftState Fft() const = 0;
    virtual RemoteStatus SetFftShown(bool shown) = 0;
    virtual RemoteStatus SetFftSource(int sourceIndex) = 0;
    virtual RemoteStatus SetFftWindow(int window) = 0;

    // Measurements. Until the program has a measurement engine,
    // HasMeasurementEngine() is false and Measure() is never called.
    // `name` is the engine's name of the measurement ("vpp", "frequency").
    virtual bool HasMeasurementEngine() const = 0;
    virtual RemoteMeasurement Measure(std::string_view name, RemoteSource source) = 0;

    // The record on show, for one trace.
    virtual RemoteStatus Record(RemoteSource source, RemoteRecord& out) const = 0;

    // Files: the waveform file set (.zep) and the screen picture.
    virtual RemoteStatus SaveWaveformSet(const std::string& path) = 0;
    virtual RemoteStatus SaveImage(const std::string& path, RemoteImageFormat format) = 0;
};

}  // namespace lumatrace
