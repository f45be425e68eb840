// The instrument side of the control-panel handlers: settings, requests and
// the one restart rule.
#include <algorithm>
#include <mutex>
#include <optional>

#include "app/core/AcquisitionControl.h"
#include "app/core/PanelValues.h"
#include "app/settings/PanelRules.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

namespace {

constexpr int kLastEquivalentTimeDiv = 6;   // 100 ns/div
constexpr int kFirstRollTimeDiv = 25;       // above 24
constexpr int kFirstRollTimeDivLarge = 27;  // above 26 with the 1MPoint record

}  // namespace

void AcquisitionControl::BandwidthChanged(int channel, int limit) {
    if (channel < 0 || channel > 1) {
        return;
    }
    settings_.bandwidthLimit[channel] = limit;
    // The front end takes it while sampling runs: no restart.
    modeDirty = true;
    restartPending = false;
    ApplySettingChange();
}

void AcquisitionControl::CouplingChanged(int channel, int couplingIndex) {
    if (channel < 0 || channel > 1) {
        return;
    }
    ApplyCoupling(settings_, channel, couplingIndex);
    if (couplingIndex != kCouplingGnd) {
        modeDirty = true;
        restartPending = true;
    }
    ResetRequest = true;
    ApplySettingChange();
}

bool AcquisitionControl::VoltsPerDivChanged(int channel, int index, std::string_view item,
                                            bool probeChange) {
    if (channel < 0 || channel > 1) {
        return false;
    }
    const std::optional<int> mv = VoltsPerDivFromItem(item, settings_.probeFactor[channel]);
    if (!mv || *mv <= 0) {
        return false;
    }
    const long double oldScale = TriggerSourceScale(settings_, channel);
    panel.voltsPerDivIndex[channel] = index;
    settings_.voltsPerDivMv[channel] = *mv;
    if (firstLayoutDone && panel.trigSourceIndex == channel) {
        TrackTriggerLevel(settings_, oldScale, TriggerSourceScale(settings_, channel), channel);
    }
    if (!probeChange) {
        modeDirty = true;
        restartPending = true;
    }
    ApplySettingChange();
    return true;
}

void AcquisitionControl::ProbeChanged(int channel, int probeIndex) {
    if (channel == 0 || channel == 1) {
        settings_.probeFactor[channel] = ProbeFactor(probeIndex);
    }
}

void AcquisitionControl::TrigSourceChanged(int sourceIndex, int couplingIndex) {
    const long double oldScale = TriggerSourceScale(settings_, panel.trigSourceIndex);
    panel.trigSourceIndex = sourceIndex;
    panel.trigCouplingIndex = couplingIndex;
    if (firstLayoutDone) {
        TrackTriggerLevel(settings_, oldScale, TriggerSourceScale(settings_, sourceIndex),
                          sourceIndex);
    }
    modeDirty = true;
    restartPending = true;
    ApplySettingChange();
}

void AcquisitionControl::TrigCouplingChanged(int sourceIndex, int couplingIndex) {
    panel.trigCouplingIndex = couplingIndex;
    // Remembered for the source the panel shows: during a replay the source
    // handler has not run yet, and the core's own source is still the old one.
    RememberTrigCoupling(settings_.trigCouplingBySource, sourceIndex, couplingIndex);
    modeDirty = true;
    restartPending = true;
    ApplySettingChange();
}

void AcquisitionControl::TrigSlopeChanged(int slopeIndex) {
    panel.trigSlopeIndex = slopeIndex;
    modeDirty = true;
    restartPending = true;
    ApplySettingChange();
}

void AcquisitionControl::WaveformModeChanged(int waveformMode, bool apply) {
    settings_.waveformMode = waveformMode;
    ResetRequest = true;
    averageResize = true;
    if (apply) {
        ApplySettingChange();
    }
}

void AcquisitionControl::AcquireCountChanged(int acquireCount) {
    if (acquireCount != settings_.acquireCount) {
        settings_.acquireCount = acquireCount;
        averageResize = true;
    }
    host_.PrepareAverage();
    ApplySettingChange();
}

void AcquisitionControl::MemorySizeChanged(int memoryIndex, int timeDivIndex,
                                           long double delayTimeNs) {
    if (memoryIndex < 0 || memoryIndex >= kMemorySizeCount) {
        return;
    }
    settings_.memorySizeIndex = memoryIndex;
    settings_.memoryPoints = MemoryPoints(memoryIndex);
    // A record of another length is no longer the one on show; but the panel
    // replay of an opened waveform set brings the record's own length, and
    // the record just read must stay.
    if (!host_.FileLoading()) {
        dataValid = false;
        std::lock_guard<std::mutex> lock(WaveBufferMutex);
        ClearRecord(WaveBuffer);
    }
    // The waveform handler's part here: a fresh record and averaging history.
    ResetRequest = true;
    averageResize = true;
    // The record length is a mode word of its own: it must reach the
    // instrument even when the sampling interval stays (at 10 ns).
    modeDirty = true;
    restartPending = true;
    // Limited before the time/div handler sends the mode record: a trigger
    // position beyond the shorter record would be refused by the instrument.
    settings_.trigPosition = std::min(settings_.trigPosition, settings_.memoryPoints - 100);
    TimeDivChanged(timeDivIndex, delayTimeNs, true);
}

bool AcquisitionControl::UpdateEquivalent() {
    const std::uint8_t active =
        panel.equivalentChecked && settings_.timeDivIndex <= kLastEquivalentTimeDiv ? 1 : 0;
    if (active == settings_.equivalentActive) {
        return false;
    }
    settings_.equivalentActive = active;
    modeDirty = true;
    restartPending = true;
    if (Running()) {
        ResetRequest = true;
    }
    return true;
}

bool AcquisitionControl::EquivalentBoxChanged(bool checked) {
    panel.equivalentChecked = checked;
    const bool changed = UpdateEquivalent();
    if (changed && Running()) {
        RecomputeTimeBase();
        ApplySettingChange();
    }
    return changed;
}

bool AcquisitionControl::UpdateRoll() {
    const int first = settings_.memorySizeIndex == 2 ? kFirstRollTimeDivLarge : kFirstRollTimeDiv;
    const std::uint8_t active = panel.rollChecked && settings_.timeDivIndex >= first ? 1 : 0;
    if (active == settings_.rollActive) {
        return false;
    }
    settings_.rollActive = active;
    modeDirty = true;
    restartPending = true;
    averageResize = true;
    ApplyRollChange();
    return true;
}

void AcquisitionControl::ApplyRollChange() {
    if (settings_.rollActive != 0) {
        host_.SetStatusTimer(false);
        settings_.trigMode = kTrigModeFreeRun;
        if (Running()) {
            {
                std::lock_guard<std::mutex> lock(WaveBufferMutex);
                ClearRecord(WaveBuffer);
            }
            if (host_.SpectrumShown()) {
                host_.ClearSpectrum();
            }
        }
    } else {
        host_.SetRollTimer(false);
        settings_.trigMode = settings_.runMode == kRunAuto ? kTrigModeAuto : kTrigModeNormal;
    }
    host_.SetRunActions(
        ComputeRunActions(settings_.runMode, settings_.rollActive != 0, deviceReady));
}

bool AcquisitionControl::RollBoxChanged(bool checked) {
    panel.rollChecked = checked;
    const bool changed = UpdateRoll();
    if (changed && Running()) {
        ApplySettingChange();
    }
    return changed;
}

void AcquisitionControl::DelayCheckChanged(bool checked) {
    panel.delayChecked = checked;
    if (settings_.trigDelay != 0) {
        modeDirty = true;
        restartPending = true;
    }
    ApplySettingChange();
}

void AcquisitionControl::DelayChanged(std::int64_t intervals) {
    const auto delay = static_cast<int>(ClampDelay(intervals, settings_.sampleIntervalNs));
    if (delay != settings_.trigDelay) {
        settings_.trigDelay = delay;
        modeDirty = true;
        restartPending = true;
    }
    ApplySettingChange();
}

void AcquisitionControl::PulseCheckChanged(bool checked) {
    panel.pulseChecked = checked;
    modeDirty = true;
    restartPending = true;
    ApplySettingChange();
}

void AcquisitionControl::PulseChanged(int widthNs, int condition) {
    condition = condition == 2 ? 2 : 1;
    const int width = ClampPulse(widthNs, condition);
    if (width != settings_.pulseWidth || condition != settings_.pulseCondition) {
        settings_.pulseWidth = width;
        settings_.pulseCondition = condition;
        modeDirty = true;
        restartPending = true;
    }
    ApplySettingChange();
}

void AcquisitionControl::TimeDivChanged(int index, long double delayTimeNs, bool memorySizeChange) {
    if (index < 0 || index >= TimeDivCount(settings_.memorySizeIndex)) {
        return;
    }
    host_.ReleaseViewAnchor();
    settings_.timeDivIndex = index;
    settings_.timePerDiv = static_cast<long double>(TimePerDivNs(index));
    const auto interval = static_cast<int>(SampleIntervalNs(index, settings_.memorySizeIndex));
    if (interval != settings_.sampleIntervalNs) {
        settings_.sampleIntervalNs = interval;
        modeDirty = true;
        restartPending = true;
    }
    UpdateEquivalent();
    UpdateRoll();
    RecomputeTimeBase(memorySizeChange);
    const auto delay = static_cast<int>(DelayFromTime(delayTimeNs, interval));
    if (delay != settings_.trigDelay) {
        settings_.trigDelay = delay;
        modeDirty = true;
        restartPending = true;
    }
    ApplySettingChange();
    CommitTimeBase();
}

}  // namespace lumatrace
