// A whole RemoteInstrument in memory for tests: panel values in plain
// fields, every setter logged ("SetVoltsPerDiv(0,5)") and applied, and a
// way to make the next setter fail as the panel would.
#pragma once

#include <array>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/remote/RemoteInstrument.h"

namespace lumatrace {

class FakeInstrument : public RemoteInstrument {
  public:
    struct State {
        std::array<RemoteChannelState, 2> channels{};
        RemoteTimebaseState timebase{};
        RemoteAcquireState acquire{};
        int triggerSource = 0;
        int triggerCoupling = 0;
        int triggerSlope = 0;
        int triggerLevel = 250;
        RemoteMathState math{};
        RemoteFftState fft{};
        int runMode = kRunStop;
        RemoteTriggerStatus triggerStatus = RemoteTriggerStatus::kStopped;
        bool pending = false;  // a Single run waiting for its record
    };
    State state;

    RemoteIdentity identity{"ORVEX", "ZEP-9100", "0", "2.20"};
    bool measurementEngine = false;
    std::map<std::string, std::optional<double>> measurements;  // by engine name
    std::map<RemoteSource, RemoteRecord> records;
    std::vector<std::string> calls;
    // Returned (once) by the next setter instead of applying it.
    std::optional<RemoteStatus> failNext;

    // Ends a pending Single run as the arrival of its record would.
    void FinishSingle();

    RemoteIdentity Identity() const override { return identity; }
    RemoteStatus Reset() override;
    RemoteStatus Run(RemoteRunAction action) override;
    int RunMode() const override { return state.runMode; }
    RemoteTriggerStatus TriggerStatus() const override { return state.triggerStatus; }
    bool OperationPending() const override { return state.pending; }

    RemoteChannelState Channel(int ch) const override;
    RemoteStatus SetChannelShown(int ch, bool shown) override;
    RemoteStatus SetVoltsPerDiv(int ch, int index) override;
    RemoteStatus SetProbe(int ch, int probeIndex) override;
    RemoteStatus SetCoupling(int ch, int couplingIndex) override;
    RemoteStatus SetBandwidthLimit(int ch, bool limited) override;
    RemoteStatus SetChannelPosition(int ch, int position) override;

    RemoteTimebaseState Timebase() const override { return state.timebase; }
    RemoteStatus SetTimeDiv(int index) override;
    RemoteStatus SetTriggerPosition(int samples) override;

    RemoteAcquireState Acquire() const override { return state.acquire; }
    RemoteStatus SetMemorySize(int memoryIndex) override;
    RemoteStatus SetWaveformMode(int mode) override;
    RemoteStatus SetAcquireCount(int countIndex) override;
    RemoteStatus SetEquivalentAllowed(bool allowed) override;
    RemoteStatus SetRollAllowed(bool allowed) override;

    RemoteTriggerState Trigger() const override;
    RemoteStatus SetTriggerSource(int sourceIndex) override;
    RemoteStatus SetTriggerCoupling(int couplingIndex) override;
    RemoteStatus SetTriggerSlope(int slopeIndex) override;
    RemoteStatus SetTriggerLevel(int level) override;

    RemoteMathState Math() const override { return state.math; }
    RemoteStatus SetMathShown(bool shown) override;
    RemoteStatus SetMathOperator(int operatorIndex) override;
    RemoteStatus SetMathOperand(int which, int channel) override;

    RemoteFftState Fft() const override { return state.fft; }
    RemoteStatus SetFftShown(bool shown) override;
    RemoteStatus SetFftSource(int sourceIndex) override;
    RemoteStatus SetFftWindow(int window) override;

    bool HasMeasurementEngine() const override { return measurementEngine; }
    RemoteMeasurement Measure(std::string_view name, RemoteSource source) override;

    RemoteStatus Record(RemoteSource source, RemoteRecord& out) const override;

    RemoteStatus SaveWaveformSet(const std::string& path) override;
    RemoteStatus SaveImage(const std::string& path, RemoteImageFormat format) override;

  private:
    // Logs the call; applies `apply` unless a failure was queued.
    template <typename Apply>
    RemoteStatus Setter(std::string call, Apply apply);
};

}  // namespace lumatrace
