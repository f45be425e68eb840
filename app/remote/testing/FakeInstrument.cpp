#include "app/remote/testing/FakeInstrument.h"

#include <utility>

#include "app/settings/ValueTables.h"

namespace lumatrace {

namespace {

std::string Args(int a) {
    return "(" + std::to_string(a) + ")";
}
std::string Args(int a, int b) {
    return "(" + std::to_string(a) + "," + std::to_string(b) + ")";
}

}  // namespace

template <typename Apply>
RemoteStatus FakeInstrument::Setter(std::string call, Apply apply) {
    calls.push_back(std::move(call));
    if (failNext) {
        RemoteStatus s = std::move(*failNext);
        failNext.reset();
        return s;
    }
    apply();
    return RemoteStatus::Ok();
}

void FakeInstrument::FinishSingle() {
    state.pending = false;
    state.runMode = kRunStop;
    state.triggerStatus = RemoteTriggerStatus::kStopped;
}

RemoteStatus FakeInstrument::Reset() {
    return Setter("Reset()", [this] { state = State{}; });
}

RemoteStatus FakeInstrument::Run(RemoteRunAction action) {
    static constexpr const char* kNames[] = {"Auto", "Normal", "Single", "Stop"};
    return Setter(std::string("Run(") + kNames[static_cast<int>(action)] + ")", [this, action] {
        switch (action) {
            case RemoteRunAction::kAuto:
                state.runMode = kRunAuto;
                state.pending = false;
                state.triggerStatus = RemoteTriggerStatus::kAutoTriggered;
                break;
            case RemoteRunAction::kNormal:
                state.runMode = kRunNormal;
                state.pending = false;
                state.triggerStatus = RemoteTriggerStatus::kWaitForTrigger;
                break;
            case RemoteRunAction::kSingle:
                state.runMode = kRunSingle;
                state.pending = true;
                state.triggerStatus = RemoteTriggerStatus::kWaitForTrigger;
                break;
            case RemoteRunAction::kStop:
                state.runMode = kRunStop;
                state.pending = false;
                state.triggerStatus = RemoteTriggerStatus::kStopped;
                break;
        }
    });
}

RemoteChannelState FakeInstrument::Channel(int ch) const {
    return state.channels.at(static_cast<std::size_t>(ch));
}

RemoteStatus FakeInstrument::SetChannelShown(int ch, bool shown) {
    return Setter("SetChannelShown" + Args(ch, shown),
                  [=, this] { state.channels.at(static_cast<std::size_t>(ch)).shown = shown; });
}
RemoteStatus FakeInstrument::SetVoltsPerDiv(int ch, int index) {
    return Setter("SetVoltsPerDiv" + Args(ch, index), [=, this] {
        state.channels.at(static_cast<std::size_t>(ch)).voltsPerDivIndex = index;
    });
}
RemoteStatus FakeInstrument::SetProbe(int ch, int probeIndex) {
    return Setter("SetProbe" + Args(ch, probeIndex), [=, this] {
        state.channels.at(static_cast<std::size_t>(ch)).probeIndex = probeIndex;
    });
}
RemoteStatus FakeInstrument::SetCoupling(int ch, int couplingIndex) {
    return Setter("SetCoupling" + Args(ch, couplingIndex), [=, this] {
        state.channels.at(static_cast<std::size_t>(ch)).couplingIndex = couplingIndex;
    });
}
RemoteStatus FakeInstrument::SetBandwidthLimit(int ch, bool limited) {
    return Setter("SetBandwidthLimit" + Args(ch, limited), [=, this] {
        state.channels.at(static_cast<std::size_t>(ch)).bandwidthLimit = limited;
    });
}
RemoteStatus FakeInstrument::SetChannelPosition(int ch, int position) {
    return Setter("SetChannelPosition" + Args(ch, position), [=, this] {
        state.channels.at(static_cast<std::size_t>(ch)).position = position;
    });
}

RemoteStatus FakeInstrument::SetTimeDiv(int index) {
    return Setter("SetTimeDiv" + Args(index), [=, this] { state.timebase.timeDivIndex = index; });
}
RemoteStatus FakeInstrument::SetTriggerPosition(int samples) {
    return Setter("SetTriggerPosition" + Args(samples),
                  [=, this] { state.timebase.triggerPosition = samples; });
}

RemoteStatus FakeInstrument::SetMemorySize(int memoryIndex) {
    return Setter("SetMemorySize" + Args(memoryIndex),
                  [=, this] { state.acquire.memoryIndex = memoryIndex; });
}
RemoteStatus FakeInstrument::SetWaveformMode(int mode) {
    return Setter("SetWaveformMode" + Args(mode), [=, this] { state.acquire.waveformMode = mode; });
}
RemoteStatus FakeInstrument::SetAcquireCount(int countIndex) {
    return Setter("SetAcquireCount" + Args(countIndex),
                  [=, this] { state.acquire.countIndex = countIndex; });
}
RemoteStatus FakeInstrument::SetEquivalentAllowed(bool allowed) {
    return Setter("SetEquivalentAllowed" + Args(allowed),
                  [=, this] { state.acquire.equivalentAllowed = allowed; });
}
RemoteStatus FakeInstrument::SetRollAllowed(bool allowed) {
    return Setter("SetRollAllowed" + Args(allowed),
                  [=, this] { state.acquire.rollAllowed = allowed; });
}

RemoteTriggerState FakeInstrument::Trigger() const {
    RemoteTriggerState t;
    t.sourceIndex = state.triggerSource;
    t.couplingIndex = state.triggerCoupling;
    t.slopeIndex = state.triggerSlope;
    t.level = state.triggerLevel;
    if (state.triggerSource == 0 || state.triggerSource == 1) {
        const RemoteChannelState& c = state.channels[static_cast<std::size_t>(state.triggerSource)];
        t.sourcePosition = c.position;
        t.sourceScaleMv =
            static_cast<double>(VoltsPerDivMv(c.voltsPerDivIndex)) * ProbeFactor(c.probeIndex);
    } else {
        t.sourcePosition = 250;
        t.sourceScaleMv = 500.0;
    }
    return t;
}

RemoteStatus FakeInstrument::SetTriggerSource(int sourceIndex) {
    return Setter("SetTriggerSource" + Args(sourceIndex), [=, this] {
        state.triggerSource = sourceIndex;
        if (sourceIndex == 2) {
            state.triggerCoupling = 0;
        }
    });
}
RemoteStatus FakeInstrument::SetTriggerCoupling(int couplingIndex) {
    return Setter("SetTriggerCoupling" + Args(couplingIndex),
                  [=, this] { state.triggerCoupling = couplingIndex; });
}
RemoteStatus FakeInstrument::SetTriggerSlope(int slopeIndex) {
    return Setter("SetTriggerSlope" + Args(slopeIndex),
                  [=, this] { state.triggerSlope = slopeIndex; });
}
RemoteStatus FakeInstrument::SetTriggerLevel(int level) {
    return Setter("SetTriggerLevel" + Args(level), [=, this] { state.triggerLevel = level; });
}

RemoteStatus FakeInstrument::SetMathShown(bool shown) {
    return Setter("SetMathShown" + Args(shown), [=, this] { state.math.shown = shown; });
}
RemoteStatus FakeInstrument::SetMathOperator(int operatorIndex) {
    return Setter("SetMathOperator" + Args(operatorIndex),
                  [=, this] { state.math.operatorIndex = operatorIndex; });
}
RemoteStatus FakeInstrument::SetMathOperand(int which, int channel) {
    return Setter("SetMathOperand" + Args(which, channel), [=, this] {
        (which == 0 ? state.math.firstOperand : state.math.secondOperand) = channel;
    });
}

RemoteStatus FakeInstrument::SetFftShown(bool shown) {
    return Setter("SetFftShown" + Args(shown), [=, this] { state.fft.shown = shown; });
}
RemoteStatus FakeInstrument::SetFftSource(int sourceIndex) {
    return Setter("SetFftSource" + Args(sourceIndex),
                  [=, this] { state.fft.sourceIndex = sourceIndex; });
}
RemoteStatus FakeInstrument::SetFftWindow(int window) {
    return Setter("SetFftWindow" + Args(window), [=, this] { state.fft.window = window; });
}

RemoteMeasurement FakeInstrument::Measure(std::string_view name, RemoteSource source) {
    calls.push_back("Measure(" + std::string(name) + "," +
                    std::to_string(static_cast<int>(source)) + ")");
    if (failNext) {
        RemoteMeasurement m{std::move(*failNext), std::nullopt};
        failNext.reset();
        return m;
    }
    const auto it = measurements.find(std::string(name));
    if (it == measurements.end()) {
        return {RemoteStatus::Ok(), std::nullopt};
    }
    return {RemoteStatus::Ok(), it->second};
}

RemoteStatus FakeInstrument::Record(RemoteSource source, RemoteRecord& out) const {
    const auto it = records.find(source);
    if (it == records.end()) {
        return RemoteStatus::Fail(-230, "no record");
    }
    out = it->second;
    return RemoteStatus::Ok();
}

RemoteStatus FakeInstrument::SaveWaveformSet(const std::string& path) {
    return Setter("SaveWaveformSet(" + path + ")", [] {});
}
RemoteStatus FakeInstrument::SaveImage(const std::string& path, RemoteImageFormat format) {
    return Setter("SaveImage(" + path + "," + std::to_string(static_cast<int>(format)) + ")",
                  [] {});
}

}  // namespace lumatrace
