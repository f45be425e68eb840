// The instrument's side of the control panel's handlers, without Qt. The form
// first does its own part (the state's lists swapped, menu items checked),
// then calls the matching function here, which reads the panel state, brings
// the settings mirrors in line with it and ends in the acquisition's one
// restart rule. What the set-information column shows is returned as text.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/core/AcquisitionControl.h"
#include "app/settings/PanelState.h"
#include "app/settings/SettingsModel.h"

namespace lumatrace {

class PanelController {
  public:
    PanelController(const PanelState& panel, InstrumentSettings& settings,
                    AcquisitionControl& acquisition);

    // While restored settings are replayed, the delay and pulse width are
    // taken from their stored values: what the edits show belongs to the
    // settings before the restore.
    void SetReplaying(bool replaying) { replaying_ = replaying; }

    void VoltsPerDivChosen(int ch, bool probeChange);
    void ProbeChosen(int ch);
    void CouplingChosen(int ch);
    void TrigSourceChosen();
    void TrigCouplingChosen();
    void SlopeChosen();
    // `typedDelayNs` is what the delay edit reads (nullopt when it reads as
    // no time); the delay is converted again to the new sampling interval.
    void TimeDivChosen(std::optional<long double> typedDelayNs);
    // The memory size, then the waveform handler and the time/div handler
    // inside it.
    void MemorySizeChosen(std::optional<long double> typedDelayNs);
    // Waveform mode and count from the lists; without `apply` the change waits
    // for the handler that runs this one inside it.
    void WaveformChosen(bool apply);
    void NumberChosen();
    void DelayBoxChosen();
    void PulseBoxChosen();
    // True when equivalentActive or rollActive changed.
    bool EquivalentBoxChosen();
    bool RollBoxChosen();
    void BandwidthChosen(int ch);
    // A delay typed and applied (Enter or leaving the edit), or stepped by
    // `steps` intervals.
    void DelayEntered(std::optional<long double> typedNs);
    void DelayStepped(int steps);
    // The pulse edit's text applied (also when the condition changes), or the
    // width stepped by `stepNs`.
    void PulseEntered(std::string_view text, std::string_view unitLabel);
    void PulseStepped(int stepNs);

    // The delay's time that a time base change converts.
    long double DelayTimeNs(std::optional<long double> typedNs, int timeDivIndex,
                            int memoryIndex) const;

  private:
    const PanelState& panel_;
    InstrumentSettings& settings_;
    AcquisitionControl& acq_;
    bool replaying_ = false;
};

// What the panel lets the user work now, derived from the state as the form enables its
// controls: a remote command may change only what the user could.
struct PanelAvailability {
    std::array<bool, 2> channel{};  // the channel's lists and its position up-down
    bool trigger = true;            // source, coupling, slope, level, position, delay box
    bool pulse = true;              // the pulse box (its edit and radios also need it ticked)
    bool memorySize = true;         // only while stopped
    bool number = false;            // only in Average
    bool mathGroup = false;         // scale, operands and operator: MATH on, spectrum off
    bool fftGroup = false;          // everything of the spectrum but its button
    RunActionState runActions;
};
PanelAvailability PanelAvailabilityOf(const PanelState& p, const InstrumentSettings& s,
                                      const AcquisitionControl& acq);
bool ListAvailable(const PanelAvailability& a, PanelList list);
bool RadioAvailable(const PanelAvailability& a, const PanelState& p, PanelRadio group);
bool CheckAvailable(const PanelAvailability& a, PanelCheck check);

// Texts of the set-information column.
std::string BandwidthLabelText(int limit);                       // " FULL", " 20MHz"
std::string OnOffLabelText(bool on);                             // "    ON", "    OFF"
std::string SamplingTimeLabelText(const InstrumentSettings& s);  // "    100ps" or the interval

}  // namespace lumatrace
