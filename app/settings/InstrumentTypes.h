// Small enumerations shared by the settings, the acquisition core and the view.
#pragma once

namespace lumatrace {

// Trace indices of tracePosition, traceOrder and the trace colours. Index 2 is the trigger
// reference position in tracePosition and "nothing drawn" in traceOrder.
enum TraceIndex : int {
    kTraceCh1 = 0,
    kTraceCh2 = 1,
    kTraceTrigRef = 2,
    kTraceNone = 2,
    kTraceMath = 3,
    kTraceFft = 4,
};
inline constexpr int kTraceCount = 5;

// Run state of the acquisition.
enum RunMode : int { kRunStop = 0, kRunAuto = 1, kRunSingle = 2, kRunNormal = 3 };

// Acquisition waveform mode (the waveform list's index).
enum WaveformMode : int { kWaveformSample = 0, kWaveformAverage = 1, kWaveformEnvelope = 2 };

}  // namespace lumatrace
