#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/core/AcquisitionHost.h"

namespace lumatrace::testing {

// Records what acquisition control asks of the main window.
class RecordingHost final : public AcquisitionHost {
  public:
    std::string trigText = "(unset)";
    std::string execText, errorText, samplingLabel;
    RunActionState actions;
    std::vector<bool> triggerGroup, pulseGroup;
    std::vector<bool> runSwitches;
    bool statusTimer = false;
    int statusTimerStarts = 0;  // SetStatusTimer(true) calls: each starts a fresh interval
    bool rollTimer = false;
    int redraws = 0;
    int viewRecomputes = 0;
    int screenSamples = 10000;
    double zoom = 1.0;
    double startPhase = 0.0;
    int waveWidth = 450;
    int acquisitionCopies = 0;
    int dragCancels = 0;
    int anchorReleases = 0;
    int raises = 0;
    bool fileLoading = false;
    bool spectrumShown = false;
    bool spectrumInFront = false;
    int spectrumRequests = 0;
    int spectrumClears = 0;
    bool spectrumWorker = false;
    int workerStops = 0;
    int workerReplacements = 0;
    std::vector<bool> fftListUpdates;
    bool prepareAverageResult = true;
    int prepareAverageCalls = 0;
    bool historyHasData = false;
    int historyShrinks = 0;

    void SetTriggerStatusText(std::string_view t) override { trigText = t; }
    void SetExecStatusText(std::string_view t) override { execText = t; }
    void SetErrorStatusText(std::string_view t) override { errorText = t; }
    void SetSamplingTimeLabel(std::string_view t) override { samplingLabel = t; }
    void SetRunActions(const RunActionState& s) override { actions = s; }
    void SetTriggerControlsEnabled(bool e) override { triggerGroup.push_back(e); }
    void SetPulseControlsEnabled(bool e) override { pulseGroup.push_back(e); }
    void RunControlsSwitched(bool running) override { runSwitches.push_back(running); }
    void SetStatusTimer(bool e) override {
        statusTimer = e;
        statusTimerStarts += e ? 1 : 0;
    }
    bool StatusTimerRunning() const override { return statusTimer; }
    void SetRollTimer(bool e) override { rollTimer = e; }
    void RedrawAll() override { ++redraws; }
    void RecomputeViewWindow() override { ++viewRecomputes; }
    int ScreenSamples() const override { return screenSamples; }
    void SetScreenSamples(int s) override { screenSamples = s; }
    double HorizontalZoom() const override { return zoom; }
    void SetHorizontalZoom(double z) override { zoom = z; }
    double StartPhase() const override { return startPhase; }
    void SetStartPhase(double p) override { startPhase = p; }
    int WaveWidth() const override { return waveWidth; }
    void TakeAcquisitionCopies() override { ++acquisitionCopies; }
    void CancelPointerDrags() override { ++dragCancels; }
    void ReleaseViewAnchor() override { ++anchorReleases; }
    void BringToFront() override { ++raises; }
    bool FileLoading() const override { return fileLoading; }
    bool SpectrumShown() const override { return spectrumShown; }
    bool SpectrumInFront() const override { return spectrumInFront; }
    void RaiseSpectrumRequest() override { ++spectrumRequests; }
    void ClearSpectrum() override { ++spectrumClears; }
    bool SpectrumWorkerExists() const override { return spectrumWorker; }
    void StopSpectrumWorker() override {
        spectrumWorker = false;
        ++workerStops;
    }
    void ReplaceSpectrumWorker() override {
        spectrumWorker = true;
        ++workerReplacements;
    }
    void UpdateFftFrequencyList(bool equivalent) override { fftListUpdates.push_back(equivalent); }
    bool PrepareAverage() override {
        ++prepareAverageCalls;
        return prepareAverageResult;
    }
    bool AverageHistoryHasData() const override { return historyHasData; }
    void ShrinkAverageHistory() override {
        historyHasData = false;
        ++historyShrinks;
    }
};

}  // namespace lumatrace::testing
