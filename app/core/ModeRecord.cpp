#include "app/core/ModeRecord.h"

#include <algorithm>

namespace lumatrace {

namespace {

std::uint32_t Unsigned(int v) {
    return v < 0 ? 0u : static_cast<std::uint32_t>(v);
}

// Positions and the trigger level are 0..500; a value outside would wrap the
// word to a huge number the instrument refuses, so it is held at the edge.
std::uint32_t FromBottom(int position) {
    return static_cast<std::uint32_t>(500 - std::clamp(position, 0, 500));
}

}  // namespace

namespace mode_word {

void SetVoltsPerDiv(ModeWords& w, const PanelSelection& p) {
    w[0] = Unsigned(p.voltsPerDivIndex[0]);
    w[1] = Unsigned(p.voltsPerDivIndex[1]);
}

void SetPositions(ModeWords& w, const InstrumentSettings& s) {
    w[2] = FromBottom(s.tracePosition[kTraceCh1]);
    w[3] = FromBottom(s.tracePosition[kTraceCh2]);
}

void SetCoupling(ModeWords& w, const InstrumentSettings& s) {
    // deviceCoupling only ever holds DC or AC: GND is applied to the trace.
    w[4] = Unsigned(s.deviceCoupling[0]);
    w[5] = Unsigned(s.deviceCoupling[1]);
}

void SetMemorySize(ModeWords& w, const InstrumentSettings& s) {
    w[6] = Unsigned(s.memorySizeIndex);
}

void SetSampleInterval(ModeWords& w, const InstrumentSettings& s) {
    w[7] = Unsigned(s.sampleIntervalNs);
}

void SetBandwidth(ModeWords& w, const InstrumentSettings& s) {
    w[8] = Unsigned(s.bandwidthLimit[0]);
    w[9] = Unsigned(s.bandwidthLimit[1]);
}

void SetEquivalent(ModeWords& w, const InstrumentSettings& s) {
    w[10] = s.equivalentActive != 0 ? 1u : 0u;
}

void SetRoll(ModeWords& w, const InstrumentSettings& s) {
    w[11] = s.rollActive != 0 ? 1u : 0u;
}

void SetTrigMode(ModeWords& w, const InstrumentSettings& s) {
    w[12] = static_cast<std::uint32_t>(s.trigMode) & 0x7Fu;
}

void SetTrigSource(ModeWords& w, const PanelSelection& p) {
    w[13] = Unsigned(p.trigSourceIndex);
}

void SetTrigCoupling(ModeWords& w, const PanelSelection& p) {
    w[14] = Unsigned(p.trigCouplingIndex);
}

void SetTrigSlope(ModeWords& w, const PanelSelection& p) {
    w[15] = Unsigned(p.trigSlopeIndex);
}

void SetTrigLevel(ModeWords& w, const InstrumentSettings& s) {
    w[16] = FromBottom(s.trigLevel);
}

void SetTrigPosition(ModeWords& w, const InstrumentSettings& s) {
    w[17] = Unsigned(s.trigPosition);
}

void SetTrigDelay(ModeWords& w, const InstrumentSettings& s, const PanelSelection& p) {
    w[18] = p.delayChecked ? Unsigned(s.trigDelay) : 0u;
}

void SetPulseCondition(ModeWords& w, const InstrumentSettings& s, const PanelSelection& p) {
    w[19] = p.pulseChecked && s.equivalentActive == 0 ? Unsigned(s.pulseCondition) : 0u;
}

void SetPulseWidth(ModeWords& w, const InstrumentSettings& s) {
    w[20] = Unsigned(s.pulseWidth);
}

}  // namespace mode_word

ModeWords BuildModeRecord(const InstrumentSettings& s, const PanelSelection& p) {
    using namespace mode_word;
    ModeWords w{};
    SetVoltsPerDiv(w, p);
    SetPositions(w, s);
    SetCoupling(w, s);
    SetMemorySize(w, s);
    SetSampleInterval(w, s);
    SetBandwidth(w, s);
    SetEquivalent(w, s);
    SetRoll(w, s);
    SetTrigMode(w, s);
    SetTrigSource(w, p);
    SetTrigCoupling(w, p);
    SetTrigSlope(w, p);
    SetTrigLevel(w, s);
    SetTrigPosition(w, s);
    SetTrigDelay(w, s, p);
    SetPulseCondition(w, s, p);
    SetPulseWidth(w, s);
    return w;
}

}  // namespace lumatrace
