#include "app/core/AcquisitionControl.h"

#include <cmath>
#include <mutex>
#include <span>

#include "app/core/TraceAssembly.h"
#include "app/platform/UiText.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

namespace {

constexpr std::string_view kTitle = "Lumatrace";
constexpr std::string_view kEquivalentSamplingText = "    100ps";

GroundCoupling GroundOf(const InstrumentSettings& s) {
    GroundCoupling g;
    g.displayCoupling = s.displayCoupling;
    g.tracePosition = {s.tracePosition[kTraceCh1], s.tracePosition[kTraceCh2]};
    return g;
}

}  // namespace

StatusOutcome StatusStep(std::uint32_t status, std::uint32_t msSinceStart, int trigMode) {
    StatusOutcome out;
    switch (status) {
        case 1:
            out.text = "PreTrig";
            out.keepTimer = true;
            break;
        case 2:
        case 3:
            // Right after a start the instrument reports waiting before its
            // pre-trigger fill is under way; the text would only flicker.
            if (msSinceStart > static_cast<std::uint32_t>(kWaitForTrigDelayMs)) {
                out.text = "Wait for Trig";
            }
            out.keepTimer = true;
            break;
        case 6:
        case 7:
            out.text = "Trig'd";
            if (trigMode == kTrigModeAuto) {
                out.startFlag = 1;
            }
            break;
        case 10:
        case 11:
            out.text = "Auto";
            out.startFlag = 0;
            break;
        default:
            out.text = "";
            break;
    }
    return out;
}

RunActionState ComputeRunActions(int runMode, bool rollActive, bool deviceReady) {
    RunActionState a;
    const bool running = runMode != kRunStop;
    a.rollCaptions = rollActive;
    if (rollActive) {
        a.autoEnabled = !running;
        a.singleEnabled = false;
        a.normalEnabled = false;
    } else {
        a.autoEnabled = runMode != kRunAuto;
        a.singleEnabled = runMode != kRunSingle;
        a.normalEnabled = runMode != kRunNormal;
    }
    a.stopEnabled = running;
    if (!deviceReady) {
        a.autoEnabled = a.singleEnabled = a.normalEnabled = a.stopEnabled = false;
    }
    return a;
}

bool SingleRunComplete(bool equivalentActive, int waveformMode, int acquireCount, int passCount) {
    // At or beyond the count: the count may be lowered while the run goes on,
    // and the run must still end.
    if (equivalentActive) {
        return passCount >= kEquivalentPassesPerSingle;
    }
    if (waveformMode == 0) {
        return true;
    }
    if (acquireCount == -1) {
        return passCount >= kInfiniteSinglePasses;
    }
    return passCount >= acquireCount;
}

AcquisitionControl::AcquisitionControl(InstrumentSettings& settings, DeviceSession& session,
                                       AcquisitionHost& host, MessageBoxService& messages)
    : settings_(settings), session_(session), host_(host), messages_(messages) {}

void AcquisitionControl::FillModeRecord() {
    session_.modeRecord = BuildModeRecord(settings_, panel);
}

void AcquisitionControl::ShowTriggerStatus(std::string_view text) {
    triggerStatus_ = text;
    host_.SetTriggerStatusText(text);
}

void AcquisitionControl::SwitchTriggerGroup(bool enabled) {
    if (triggerGroup_ != enabled) {
        triggerGroup_ = enabled;
        host_.SetTriggerControlsEnabled(enabled);
    }
}

void AcquisitionControl::SwitchPulseGroup(bool enabled) {
    if (pulseGroup_ != enabled) {
        pulseGroup_ = enabled;
        host_.SetPulseControlsEnabled(enabled);
    }
}

// Records can come back faster than the status timer ticks. Starting the
// running timer again for each of them would put its tick off for ever, and
// the trigger status and the start flag would never be read.
void AcquisitionControl::EnableStatusTimer() {
    if (!host_.StatusTimerRunning()) {
        host_.SetStatusTimer(true);
    }
}

// ---------------------------------------------------------------------------
// Run actions

void AcquisitionControl::EnterRun(int runMode, int trigMode) {
    host_.ReleaseViewAnchor();
    if (Running()) {
        session_.StopSampling();
    }
    settings_.runMode = runMode;
    settings_.trigMode = trigMode;
    modeDirty = true;
    restartPending = true;
    averageResize = true;
    SetRunControls(true);
    ApplyAndStart();
}

void AcquisitionControl::A_Auto() {
    session_.startFlag = 1;
    EnterRun(kRunAuto, settings_.rollActive != 0 ? kTrigModeFreeRun : kTrigModeAuto);
}

void AcquisitionControl::A_Single() {
    dataValid = false;
    EnterRun(kRunSingle, kTrigModeNormal);
    {
        std::lock_guard<std::mutex> lock(WaveBufferMutex);
        ClearRecord(WaveBuffer);
    }
    host_.RedrawAll();
}

void AcquisitionControl::A_Normal() {
    dataValid = false;
    EnterRun(kRunNormal, kTrigModeNormal);
}

void AcquisitionControl::A_Stop() {
    host_.ReleaseViewAnchor();
    if (host_.SpectrumWorkerExists()) {
        host_.StopSpectrumWorker();
    }
    settings_.runMode = kRunStop;
    if (deviceReady) {
        session_.StopSampling();
    }
    SetRunControls(false);
    session_.startFlag = 0;
    modeDirty = true;
    restartPending = true;
    if (host_.AverageHistoryHasData()) {
        host_.ShrinkAverageHistory();
    }
    host_.RedrawAll();
}

void AcquisitionControl::SetRunControls(bool running) {
    host_.SetRunActions(ComputeRunActions(running ? settings_.runMode : kRunStop,
                                          settings_.rollActive != 0, deviceReady));
    if (!running) {
        host_.SetExecStatusText("Stop");
        host_.SetRollTimer(false);
        SwitchTriggerGroup(true);
        SwitchPulseGroup(true);
    }
    if (running) {
        RecomputeTimeBase();
    }
    ShowTriggerStatus("");
    if (running) {
        EnableStatusTimer();
    } else {
        host_.SetStatusTimer(false);
    }
    if (settings_.rollActive == 0) {
        host_.SetStartPhase(0.0);
    }
    host_.RunControlsSwitched(running);
}

void AcquisitionControl::RecomputeTimeBase(bool memorySizeChange) {
    TimeBaseChange change;
    change.timePerDiv = settings_.timePerDiv;
    change.prevTimePerDiv = prevTimePerDiv;
    change.prevIndex = prevTimeDivIndex;
    change.newIndex = settings_.timeDivIndex;
    change.memoryPoints = settings_.memoryPoints;
    change.equivalentActive = settings_.equivalentActive != 0;
    change.firstLayoutDone = firstLayoutDone;
    change.memorySizeChange = memorySizeChange;
    HorizontalScale scale{host_.ScreenSamples(), host_.HorizontalZoom()};
    lumatrace::RecomputeTimeBase(change, zoom, scale, &TimePerDivNs);
    host_.SetScreenSamples(scale.ScreenSamples);
    host_.SetHorizontalZoom(scale.HorizontalZoom);
    // The frequency list follows the sampling interval now, not at the next record.
    host_.UpdateFftFrequencyList(EquivalentDisplay());
    if (!host_.FileLoading() && !host_.SpectrumInFront()) {
        host_.RecomputeViewWindow();
    }
}

void AcquisitionControl::CommitTimeBase() {
    prevTimePerDiv = settings_.timePerDiv;
    prevTimeDivIndex = settings_.timeDivIndex;
}

void AcquisitionControl::ApplyAndStart() {
    if (!formReady || !deviceReady) {
        return;
    }
    if (settings_.waveformMode == 1 && !host_.PrepareAverage()) {
        return;
    }
    if (modeDirty) {
        modeDirty = false;
        FillModeRecord();
        if (settings_.equivalentActive != 0) {
            ResetRequest = true;
        }
        if (!session_.SendMode()) {
            ReportDeviceError(kOpMode);
            return;
        }
    }
    if (!Running()) {
        return;
    }
    if (restartPending) {
        restartPending = false;
        ResetRequest = true;
        equivalentAsRealTime = false;
        if (settings_.equivalentActive != 0) {
            SwitchPulseGroup(false);
        }
        if (settings_.rollActive != 0) {
            host_.CancelPointerDrags();
            host_.SetStartPhase(0.0);
            if (ResetRequest) {
                std::lock_guard<std::mutex> lock(WaveBufferMutex);
                ClearRecord(WaveBuffer);
                ClearRecord(RollScratch);
            }
            if (ResetRequest && host_.SpectrumShown()) {
                host_.ClearSpectrum();
            }
            ResetRequest = false;
            AfterRecord();
            SwitchTriggerGroup(false);
            SwitchPulseGroup(false);
            if (host_.SpectrumShown() && settings_.memorySizeIndex == 2) {
                host_.ReplaceSpectrumWorker();
            }
            host_.SetRollTimer(true);
        } else {
            SwitchTriggerGroup(true);
            SwitchPulseGroup(settings_.equivalentActive == 0);
        }
        recordSinceStart = false;
        if (!session_.StartSampling(startTick)) {
            ReportDeviceError(kOpStart);
            return;
        }
    }
    if (settings_.equivalentActive != 0) {
        host_.SetExecStatusText("Equiv");
        host_.SetSamplingTimeLabel(kEquivalentSamplingText);
    } else if (settings_.rollActive != 0) {
        host_.SetExecStatusText("Roll");
    } else {
        host_.SetExecStatusText("Real");
    }
    host_.SetErrorStatusText("");
}

void AcquisitionControl::ApplySettingChange() {
    if (host_.FileLoading()) {
        return;
    }
    host_.RecomputeViewWindow();
    if (Running() && restartPending) {
        session_.StopSampling();
        if (host_.SpectrumWorkerExists()) {
            host_.SetRollTimer(false);
            host_.StopSpectrumWorker();
        }
        EnableStatusTimer();
    }
    ApplyAndStart();
    host_.RedrawAll();
}

void AcquisitionControl::ReportDeviceError(std::string_view operation) {
    A_Stop();
    host_.BringToFront();
    // Read after the stop: the text is the code word current now.
    host_.SetErrorStatusText(session_.LastErrorText());
    std::string text = "[ ";
    text += UiText("Messages", operation);
    text += UiText("Messages", "エラー ]\r\nサンプリングを停止します。");
    messages_.Show(MessageIcon::Error, kTitle, text);
}

// ---------------------------------------------------------------------------
// Trigger status

void AcquisitionControl::TimerStatusTick() {
    if (!Running() || settings_.trigMode == kTrigModeFreeRun) {
        ShowTriggerStatus("");
        host_.SetStatusTimer(false);
        return;
    }
    const std::uint32_t now = session_.TickMs();
    if (!session_.ReadStatus()) {
        ReportDeviceError(kOpStatus);
        return;
    }
    const StatusOutcome out =
        StatusStep(session_.deviceStatus, now - startTick, settings_.trigMode);
    if (out.text) {
        ShowTriggerStatus(*out.text);
    }
    if (out.startFlag) {
        session_.startFlag = *out.startFlag;
    }
    if (!out.keepTimer) {
        host_.SetStatusTimer(false);
    }
}

// ---------------------------------------------------------------------------
// Data arrival

void AcquisitionControl::HandleDeviceMessage(std::uint32_t message, std::intptr_t lParam) {
    switch (ClassifyDeviceMessage(message, lParam)) {
        case DeviceMessage::DataArrival:
            OnDataArrival();
            break;
        case DeviceMessage::AcquisitionFailed:
            if (Running()) {
                ReportDeviceError(kOpDataRead);
            }
            break;
        case DeviceMessage::Ignored:
            break;
    }
}

bool AcquisitionControl::EquivalentDisplay() const {
    return settings_.equivalentActive != 0 && !equivalentAsRealTime;
}

void AcquisitionControl::OnDataArrival() {
    if (!Running() || settings_.rollActive != 0) {
        return;
    }
    const int n = settings_.memoryPoints;
    session_.ReadStatus();
    if (session_.sampleCount < static_cast<std::uint32_t>(n)) {
        return;
    }
    session_.StopSampling();
    session_.sampleCount = static_cast<std::uint32_t>(n);
    session_.ReadData();

    bool dropped = false;
    {
        std::lock_guard<std::mutex> lock(WaveBufferMutex);
        if (ResetRequest) {
            passCount = 0;
            ClearRecord(WaveBuffer);
            waveExtent_ = 0;
            ClearRecord(EquBuffer);
            ResetRequest = false;
        }
        // ReadData cleared the whole fetch buffer before it fetched n words.
        const auto taken = static_cast<std::size_t>(n);
        if (settings_.equivalentActive == 0) {
            TakeFetchedRecord(session_.Fetch(), taken, WaveBuffer, waveExtent_);
            waveExtent_ = taken;
        } else if (session_.deviceStatus == 10 || session_.deviceStatus == 11) {
            TakeFetchedRecord(session_.Fetch(), taken, WaveBuffer, waveExtent_);
            waveExtent_ = taken;
            equivalentAsRealTime = true;
        } else {
            if (equivalentAsRealTime) {
                ClearRecord(WaveBuffer);
                ClearRecord(EquBuffer);
                equivalentAsRealTime = false;
            }
            session_.ReadEquPhase();
            // A pass whose phase cannot be read has no place in the
            // interleave: it is left out (not drawn, not counted) and the
            // next pass is started.
            waveExtent_ = kBufferWords;
            dropped = !MergeEquivalentPass(session_.Fetch(), EquBuffer, WaveBuffer, n,
                                           settings_.trigPosition, session_.equPhase);
        }
        if (!dropped) {
            dataValid = true;
            recordSinceStart = true;
            const GroundCoupling ground = GroundOf(settings_);
            if (ground.Any()) {
                ApplyGroundCoupling(std::span<SampleWord>(WaveBuffer.data(), n), ground);
            }
        }
    }
    if (!dropped) {
        ++recordsTaken;
        if (host_.SpectrumShown()) {
            host_.RaiseSpectrumRequest();
        }
        AfterRecord();
        host_.RecordOnShow();
        host_.RedrawRecord();
        ++passCount;
        if (settings_.runMode == kRunSingle &&
            SingleRunComplete(settings_.equivalentActive != 0, settings_.waveformMode,
                              settings_.acquireCount, passCount)) {
            A_Stop();
            return;
        }
    }
    if (!session_.StartSampling(startTick)) {
        ReportDeviceError(kOpStart);
        return;
    }
    EnableStatusTimer();
}

void AcquisitionControl::ResetZoomState() {
    zoom.Reset(host_.ScreenSamples());
    host_.SetHorizontalZoom(1.0);
    host_.TakeAcquisitionCopies();
}

void AcquisitionControl::AfterRecord() {
    const int before = host_.ScreenSamples();
    const bool equivalent = EquivalentDisplay();
    if (!equivalent) {
        host_.SetScreenSamples(RealTimeScreenSamples(settings_.timePerDiv, settings_.memoryPoints));
        host_.SetSamplingTimeLabel("    " + settings_.samplingTimeText);
        if (Running()) {
            host_.SetExecStatusText("Real");
        }
    } else {
        host_.SetScreenSamples(EquivalentScreenSamples(settings_.timePerDiv));
        host_.SetSamplingTimeLabel(kEquivalentSamplingText);
        if (Running()) {
            host_.SetExecStatusText("Equiv");
        }
    }
    ResetZoomState();
    host_.UpdateFftFrequencyList(equivalent);
    if (host_.ScreenSamples() != before) {
        host_.RecomputeViewWindow();
    }
    if (settings_.equivalentActive != 0 && settings_.waveformMode == 1) {
        const bool history = host_.AverageHistoryHasData();
        if (equivalentAsRealTime != history) {
            averageResize = true;
            host_.PrepareAverage();
        }
    }
}

// ---------------------------------------------------------------------------
// Roll mode

void AcquisitionControl::TimerRollTick() {
    if (!Running() || settings_.rollActive == 0) {
        host_.SetRollTimer(false);
        return;
    }
    const int screen = host_.ScreenSamples();
    const int width = host_.WaveWidth();
    const int q = width > 0 ? screen / width : 0;
    const double p = screen > 0 ? static_cast<double>(width) / screen : 0.0;
    if (!session_.ReadStatus()) {
        ReportDeviceError(kOpStatus);
        return;
    }
    const int total = settings_.memoryPoints;
    const std::uint32_t n = RollReadCount(session_.sampleCount, q, total);
    if (n == 0) {
        return;
    }
    session_.sampleCount = n;
    session_.ReadData();
    ++recordsTaken;
    dataValid = true;
    recordSinceStart = true;
    if (host_.SpectrumShown()) {
        host_.RaiseSpectrumRequest();
    }
    {
        std::lock_guard<std::mutex> lock(WaveBufferMutex);
        if (ResetRequest) {
            ClearRecord(WaveBuffer);
            ClearRecord(RollScratch);
            if (host_.SpectrumShown()) {
                host_.ClearSpectrum();
            }
            ResetRequest = false;
        }
        const GroundCoupling ground = GroundOf(settings_);
        if (ground.Any()) {
            ApplyGroundCoupling(std::span<SampleWord>(session_.Fetch().data(), n), ground);
        }
        RollAppend(WaveBuffer, RollScratch, session_.Fetch(), static_cast<int>(n), total);
        waveExtent_ = kBufferWords;
    }
    host_.RecordOnShow();
    double whole = 0.0;
    host_.SetStartPhase(std::modf(static_cast<double>(n) * p + host_.StartPhase(), &whole));
    ResetZoomState();
    host_.RedrawRecord();
}

}  // namespace lumatrace
