// What acquisition control needs from the main window: its status texts,
// control groups and timers, the waveform view, and the seams of the
// spectrum and averaging parts. The main window implements it; tests record
// the calls.
#pragma once

#include <string_view>

namespace lumatrace {

// Enabling and captions of the four run actions.
struct RunActionState {
    bool autoEnabled = true;
    bool singleEnabled = true;
    bool normalEnabled = true;
    bool stopEnabled = false;
    // Roll mode: Auto reads "Run" (hint "Run", menu "&Run"); otherwise
    // "Auto", "Auto Run", "&Auto".
    bool rollCaptions = false;

    bool operator==(const RunActionState&) const = default;
};

class AcquisitionHost {
  public:
    virtual ~AcquisitionHost() = default;

    // Status bar and set-information texts.
    virtual void SetTriggerStatusText(std::string_view text) = 0;  // PnlStsTrig
    virtual void SetExecStatusText(std::string_view text) = 0;     // PnlStsExec
    virtual void SetErrorStatusText(std::string_view text) = 0;    // PnlStsError
    virtual void SetSamplingTimeLabel(std::string_view text) = 0;  // LabelSISmpTm

    // Controls.
    virtual void SetRunActions(const RunActionState& state) = 0;
    // The trigger group (source, coupling, slope, level, position, delay,
    // their menu items and screen markers) and the pulse group; called only
    // when a group's state changes.
    virtual void SetTriggerControlsEnabled(bool enabled) = 0;
    virtual void SetPulseControlsEnabled(bool enabled) = 0;
    // The rest of a run-control switch: Open, Save, Setup and the memory-size
    // controls only while stopped, hints only while stopped, the caption and
    // loaded-file marker when running, focus to the settings tabs.
    virtual void RunControlsSwitched(bool running) = 0;
    // TimerStatus. Enabling starts the timer afresh: its next tick is a whole
    // interval away.
    virtual void SetStatusTimer(bool enabled) = 0;
    virtual bool StatusTimerRunning() const = 0;
    virtual void SetRollTimer(bool enabled) = 0;  // TimerRoll

    // Waveform view.
    virtual void RedrawAll() = 0;
    // A record was taken in (a pass or a roll step): its averaging step runs
    // now, its picture may wait for the display's next frame. Drawn at once by
    // default.
    virtual void RedrawRecord() { RedrawAll(); }
    virtual void RecomputeViewWindow() = 0;
    virtual int ScreenSamples() const = 0;
    virtual void SetScreenSamples(int samples) = 0;
    virtual double HorizontalZoom() const = 0;
    virtual void SetHorizontalZoom(double zoom) = 0;
    virtual double StartPhase() const = 0;
    virtual void SetStartPhase(double phase) = 0;
    virtual int WaveWidth() const = 0;
    // Keep each channel's position and volts per division as the record was taken.
    virtual void TakeAcquisitionCopies() = 0;
    // A new record is on show (a pass, a roll step, a loaded file): what
    // follows its redraw may measure it. Nothing by default.
    virtual void RecordOnShow() {}
    // Cancel pointer drags on the trigger level and position strips.
    virtual void CancelPointerDrags() = 0;
    // A time/div change or a run action: the view may anchor the trace to the trigger marker
    // again (an opened waveform set holds it off until then).
    virtual void ReleaseViewAnchor() = 0;

    // Error report: bring the program forward when another program has the
    // foreground.
    virtual void BringToFront() = 0;

    // A waveform file is being loaded and its settings applied.
    virtual bool FileLoading() const = 0;

    // Spectrum seams.
    virtual bool SpectrumShown() const = 0;
    virtual bool SpectrumInFront() const = 0;
    virtual void RaiseSpectrumRequest() = 0;
    virtual void ClearSpectrum() = 0;
    virtual bool SpectrumWorkerExists() const = 0;
    // Terminates the worker, waits for it, forgets it and clears the request.
    virtual void StopSpectrumWorker() = 0;
    virtual void ReplaceSpectrumWorker() = 0;
    // The frequency-scale list starts with "500MHz" exactly in equivalent-time
    // display; rebuilt when that does not hold.
    virtual void UpdateFftFrequencyList(bool equivalentDisplay) = 0;

    // Averaging seams. PrepareAverage stops and reports on failure itself.
    virtual bool PrepareAverage() = 0;
    virtual bool AverageHistoryHasData() const = 0;
    virtual void ShrinkAverageHistory() = 0;  // to one element, under the wait cursor
};

}  // namespace lumatrace
