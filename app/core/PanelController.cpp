#include "app/core/PanelController.h"

#include <algorithm>

#include "app/core/PanelValues.h"
#include "app/settings/PanelRules.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

namespace {

constexpr PanelList kVoltsPerDiv[2] = {PanelList::Vd1, PanelList::Vd2};
constexpr PanelList kProbe[2] = {PanelList::Pb1, PanelList::Pb2};
constexpr PanelList kCoupling[2] = {PanelList::Cup1, PanelList::Cup2};

int PulseCondition(const PanelState& p) {
    return PulseAbove(p) ? 2 : 1;
}

}  // namespace

PanelController::PanelController(const PanelState& panel, InstrumentSettings& settings,
                                 AcquisitionControl& acquisition)
    : panel_(panel), settings_(settings), acq_(acquisition) {}

void PanelController::VoltsPerDivChosen(int ch, bool probeChange) {
    acq_.VoltsPerDivChanged(ch, panel_.Index(kVoltsPerDiv[ch]), panel_.Text(kVoltsPerDiv[ch]),
                            probeChange);
}

void PanelController::ProbeChosen(int ch) {
    acq_.ProbeChanged(ch, panel_.Index(kProbe[ch]));
}

void PanelController::CouplingChosen(int ch) {
    acq_.CouplingChanged(ch, panel_.Index(kCoupling[ch]));
}

void PanelController::TrigSourceChosen() {
    acq_.TrigSourceChanged(panel_.Index(PanelList::TrigSrc), panel_.Index(PanelList::TrigCup));
}

void PanelController::TrigCouplingChosen() {
    acq_.TrigCouplingChanged(panel_.Index(PanelList::TrigSrc), panel_.Index(PanelList::TrigCup));
}

void PanelController::SlopeChosen() {
    acq_.TrigSlopeChanged(panel_.Index(PanelList::TrigSp));
}

long double PanelController::DelayTimeNs(std::optional<long double> typedNs, int timeDivIndex,
                                         int memoryIndex) const {
    if (replaying_) {
        // Restored settings: the stored delay counts intervals of the stored
        // time base.
        return static_cast<long double>(settings_.trigDelay) *
               static_cast<long double>(SampleIntervalNs(timeDivIndex, memoryIndex));
    }
    if (typedNs) {
        return *typedNs;
    }
    return static_cast<long double>(settings_.trigDelay) * settings_.sampleIntervalNs;
}

void PanelController::TimeDivChosen(std::optional<long double> typedDelayNs) {
    const int index = panel_.Index(PanelList::Td);
    settings_.samplingTimeText = TimeDivText(SampleIntervalNs(index, settings_.memorySizeIndex));
    acq_.TimeDivChanged(index, DelayTimeNs(typedDelayNs, index, settings_.memorySizeIndex));
}

void PanelController::MemorySizeChosen(std::optional<long double> typedDelayNs) {
    WaveformChosen(false);
    const int index = panel_.Index(PanelList::Td);
    settings_.samplingTimeText = TimeDivText(SampleIntervalNs(index, settings_.memorySizeIndex));
    acq_.MemorySizeChanged(panel_.Index(PanelList::MemSize), index,
                           DelayTimeNs(typedDelayNs, index, settings_.memorySizeIndex));
}

void PanelController::WaveformChosen(bool apply) {
    if (const std::optional<int> count =
            AcquireCountFor(panel_.Index(PanelList::WaveForm), panel_.Text(PanelList::Number))) {
        settings_.acquireCount = *count;
    }
    settings_.acquireCountIndex = std::max(panel_.Index(PanelList::Number), 0);
    acq_.WaveformModeChanged(panel_.Index(PanelList::WaveForm), apply);
}

void PanelController::NumberChosen() {
    settings_.acquireCountIndex = std::max(panel_.Index(PanelList::Number), 0);
    if (const std::optional<int> count =
            AcquireCountFor(panel_.Index(PanelList::WaveForm), panel_.Text(PanelList::Number))) {
        acq_.AcquireCountChanged(*count);
    }
}

void PanelController::DelayBoxChosen() {
    acq_.DelayCheckChanged(panel_.Checked(PanelCheck::Delay));
}

void PanelController::PulseBoxChosen() {
    acq_.PulseCheckChanged(panel_.Checked(PanelCheck::Pulse));
}

bool PanelController::EquivalentBoxChosen() {
    return acq_.EquivalentBoxChanged(panel_.Checked(PanelCheck::Equ));
}

bool PanelController::RollBoxChosen() {
    return acq_.RollBoxChanged(panel_.Checked(PanelCheck::Roll));
}

void PanelController::BandwidthChosen(int ch) {
    acq_.BandwidthChanged(ch, Bandwidth20MHz(panel_, ch) ? 1 : 0);
}

void PanelController::DelayEntered(std::optional<long double> typedNs) {
    acq_.DelayChanged(
        DelayFromTime(DelayTimeNs(typedNs, panel_.Index(PanelList::Td), settings_.memorySizeIndex),
                      settings_.sampleIntervalNs));
}

void PanelController::DelayStepped(int steps) {
    acq_.DelayChanged(ClampDelay(static_cast<std::int64_t>(settings_.trigDelay) + steps,
                                 settings_.sampleIntervalNs));
}

void PanelController::PulseEntered(std::string_view text, std::string_view unitLabel) {
    const int condition = PulseCondition(panel_);
    int width = settings_.pulseWidth;
    if (replaying_) {
        width = ClampPulse(width, condition);
    } else if (text.empty()) {
        width = EmptyPulse(condition);
    } else if (const std::optional<long double> ns = ParseTimeNs(text, unitLabel)) {
        width = PulseFromTime(*ns, condition);
    }
    acq_.PulseChanged(width, condition);
}

void PanelController::PulseStepped(int stepNs) {
    const int condition = PulseCondition(panel_);
    acq_.PulseChanged(
        ClampPulse(static_cast<std::int64_t>(settings_.pulseWidth) + stepNs, condition), condition);
}

PanelAvailability PanelAvailabilityOf(const PanelState& p, const InstrumentSettings& s,
                                      const AcquisitionControl& acq) {
    const PanelEnabling e = ComputeEnabling(s);
    PanelAvailability a;
    a.channel = e.channelControls;
    a.trigger = acq.TriggerControlsEnabled();
    a.pulse = acq.PulseControlsEnabled();
    a.memorySize = !acq.Running();
    a.number = p.Index(PanelList::WaveForm) == kWaveformAverage;
    a.mathGroup = e.mathGroup;
    a.fftGroup = e.fftGroup;
    a.runActions = ComputeRunActions(s.runMode, s.rollActive != 0, acq.deviceReady);
    return a;
}

bool ListAvailable(const PanelAvailability& a, PanelList list) {
    switch (list) {
        case PanelList::Vd1:
        case PanelList::Pb1:
        case PanelList::Cup1:
            return a.channel[0];
        case PanelList::Vd2:
        case PanelList::Pb2:
        case PanelList::Cup2:
            return a.channel[1];
        case PanelList::TrigSrc:
        case PanelList::TrigCup:
        case PanelList::TrigSp:
            return a.trigger;
        case PanelList::MemSize:
            return a.memorySize;
        case PanelList::Number:
            return a.number;
        case PanelList::Math:
            return a.mathGroup;
        case PanelList::FftVScale:
        case PanelList::FftHScale:
            return a.fftGroup;
        case PanelList::Td:
        case PanelList::WaveForm:
            return true;
    }
    return true;
}

bool RadioAvailable(const PanelAvailability& a, const PanelState& p, PanelRadio group) {
    switch (group) {
        case PanelRadio::PulseCond:
            return a.pulse && p.Checked(PanelCheck::Pulse);
        case PanelRadio::Math1:
        case PanelRadio::Math2:
        case PanelRadio::Ope:
            return a.mathGroup;
        case PanelRadio::FftSrc:
        case PanelRadio::FftVst:
        case PanelRadio::FftWnd:
            return a.fftGroup;
        case PanelRadio::Bw1:
        case PanelRadio::Bw2:
            return true;
    }
    return true;
}

bool CheckAvailable(const PanelAvailability& a, PanelCheck check) {
    switch (check) {
        case PanelCheck::Delay:
            return a.trigger;
        case PanelCheck::Pulse:
            return a.pulse;
        case PanelCheck::Equ:
        case PanelCheck::Roll:
            return true;
    }
    return true;
}

std::string BandwidthLabelText(int limit) {
    return limit != 0 ? " 20MHz" : " FULL";
}

std::string OnOffLabelText(bool on) {
    return on ? "    ON" : "    OFF";
}

std::string SamplingTimeLabelText(const InstrumentSettings& s) {
    return s.equivalentActive != 0 ? std::string("    100ps") : "    " + s.samplingTimeText;
}

}  // namespace lumatrace
