// Run state of the oscilloscope: the four run actions, the mode record and
// the one restart rule, the trigger-status display, data arrival with the
// trace assembly, and roll mode. Runs on the user-interface thread; the main
// window forwards its actions, timers and the session's messages here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/core/AcquisitionHost.h"
#include "app/core/DeviceSession.h"
#include "app/core/ModeRecord.h"
#include "app/core/TimeBase.h"
#include "app/platform/MessageBox.h"
#include "app/platform/UiText.h"
#include "app/settings/SettingsModel.h"

namespace lumatrace {

// Names of the failed steps in the error report.
inline constexpr std::string_view kOpDataRead = UI_TEXT_NOOP("Messages", "データ取得");
inline constexpr std::string_view kOpStart = UI_TEXT_NOOP("Messages", "サンプリング開始");
inline constexpr std::string_view kOpMode = UI_TEXT_NOOP("Messages", "サンプリング動作モード設定");
inline constexpr std::string_view kOpStatus = UI_TEXT_NOOP("Messages", "ステータス取得");

inline constexpr int kTrigModeAuto = 0;
inline constexpr int kTrigModeNormal = 1;
inline constexpr int kTrigModeFreeRun = 2;
inline constexpr int kWaitForTrigDelayMs = 50;
inline constexpr int kEquivalentPassesPerSingle = 200;
inline constexpr int kInfiniteSinglePasses = 512;

// What one status read means for the trigger-status text, the status timer
// and the start flag.
struct StatusOutcome {
    std::optional<std::string> text;  // nullopt: leave the text as it is
    bool keepTimer = false;
    std::optional<std::uint32_t> startFlag;
};
StatusOutcome StatusStep(std::uint32_t status, std::uint32_t msSinceStart, int trigMode);

RunActionState ComputeRunActions(int runMode, bool rollActive, bool deviceReady);

// Whether a Single run has its last record, after passCount records.
bool SingleRunComplete(bool equivalentActive, int waveformMode, int acquireCount, int passCount);

class AcquisitionControl {
  public:
    AcquisitionControl(InstrumentSettings& settings, DeviceSession& session, AcquisitionHost& host,
                       MessageBoxService& messages);

    // The panel selections the mode record needs; set by the main window
    // before every ApplyAndStart (its list handlers keep it current).
    PanelSelection panel;

    // Main-window state owned here.
    bool modeDirty = false;
    bool restartPending = false;
    bool ResetRequest = false;
    bool equivalentAsRealTime = false;
    std::uint32_t startTick = 0;
    bool formReady = false;
    bool deviceReady = true;
    bool dataValid = false;
    bool recordSinceStart = false;  // a record arrived since sampling was last (re)started
    bool averageResize = false;
    int passCount = 0;
    // Records taken in since start-up (data arrivals and roll reads), never reset: what a
    // look at the program's pace counts.
    std::uint64_t recordsTaken = 0;
    ZoomState zoom;
    bool firstLayoutDone = false;
    long double prevTimePerDiv = 200000.0L;  // T/div of the last time/div handler run
    int prevTimeDivIndex = 16;

    int RunMode() const { return settings_.runMode; }
    // The trigger-status text as last shown ("PreTrig", "Trig'd", ...; empty when none).
    const std::string& TriggerStatusText() const { return triggerStatus_; }
    // Whether the trigger controls (and the pulse box) are usable: roll mode takes them away.
    bool TriggerControlsEnabled() const { return triggerGroup_.value_or(true); }
    bool PulseControlsEnabled() const { return pulseGroup_.value_or(true); }
    // Equivalent-time records are on show (equivalent-time on and not showing an
    // auto-triggered real-time record).
    bool EquivalentDisplay() const;
    bool Running() const { return settings_.runMode != kRunStop; }

    // Run actions.
    void A_Auto();
    void A_Single();
    void A_Normal();
    void A_Stop();

    void ApplyAndStart();
    void ApplySettingChange();
    void SetRunControls(bool running);
    void ReportDeviceError(std::string_view operation);

    // Timers and messages.
    void TimerStatusTick();
    void HandleDeviceMessage(std::uint32_t message, std::intptr_t lParam);
    void OnDataArrival();
    void TimerRollTick();

    // After each record: samples across the screen, labels, zoom reset.
    void AfterRecord();

    // Samples across the screen for the settings' time base, re-scaling the
    // record on show step by step from the previous time/div; then the view
    // window, unless a file is being loaded or the spectrum is in front.
    void RecomputeTimeBase(bool memorySizeChange = false);
    // End of the time/div handler: the time base becomes the previous one.
    void CommitTimeBase();

    // Instrument side of the panel handlers: each updates its setting, raises
    // its requests and ends in ApplySettingChange. Texts, menu checks and
    // list contents stay with the form.
    void BandwidthChanged(int channel, int limit);  // 0 full, 1 20 MHz: mode only
    void CouplingChanged(int channel, int couplingIndex);
    // A V/div item of a channel; false (nothing changes) when the item does not
    // read as a voltage. During a probe change nothing is requested.
    bool VoltsPerDivChanged(int channel, int index, std::string_view item, bool probeChange);
    // Probe factor only; the form then swaps the V/div list and runs the V/div
    // handler with probeChange set.
    void ProbeChanged(int channel, int probeIndex);
    // New source with the coupling item the form selected for it.
    void TrigSourceChanged(int sourceIndex, int couplingIndex);
    // The coupling chosen for a source (remembered for CH1 and CH2).
    void TrigCouplingChanged(int sourceIndex, int couplingIndex);
    void TrigSlopeChanged(int slopeIndex);
    // Without `apply` the change waits for the handler that runs it inside
    // (the memory size's time/div step).
    void WaveformModeChanged(int waveformMode, bool apply = true);
    void AcquireCountChanged(int acquireCount);
    // New record length; the T/div index the form kept for it and the delay
    // edit's time as for TimeDivChanged.
    void MemorySizeChanged(int memoryIndex, int timeDivIndex, long double delayTimeNs);
    // True when equivalentActive changed.
    bool EquivalentBoxChanged(bool checked);
    // True when rollActive changed.
    bool RollBoxChanged(bool checked);
    void DelayCheckChanged(bool checked);
    void DelayChanged(std::int64_t intervals);
    void PulseCheckChanged(bool checked);
    void PulseChanged(int widthNs, int condition);
    // New time/div item; `delayTimeNs` is the delay edit's time, converted
    // again to the new sampling interval.
    void TimeDivChanged(int index, long double delayTimeNs, bool memorySizeChange = false);

    // Fills every mode word from the settings and the panel.
    void FillModeRecord();

  private:
    void EnterRun(int runMode, int trigMode);
    void ShowTriggerStatus(std::string_view text);
    void SwitchTriggerGroup(bool enabled);
    void SwitchPulseGroup(bool enabled);
    void EnableStatusTimer();
    void ResetZoomState();
    bool UpdateEquivalent();
    bool UpdateRoll();
    void ApplyRollChange();

    InstrumentSettings& settings_;
    DeviceSession& session_;
    // WaveBuffer words at or past it hold NoSample, as far as the data path
    // knows: set when it clears the buffer for a new run and kept by its
    // real-time records; the whole buffer after anything else wrote it.
    std::size_t waveExtent_ = kBufferWords;
    AcquisitionHost& host_;
    MessageBoxService& messages_;
    std::optional<bool> triggerGroup_;
    std::optional<bool> pulseGroup_;
    std::string triggerStatus_;
};

}  // namespace lumatrace
