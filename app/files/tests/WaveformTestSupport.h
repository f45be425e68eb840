// Settings and helpers shared by the waveform file tests.
#pragma once

#include <deque>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/files/SettingsRestore.h"
#include "app/files/WaveformCodec.h"
#include "app/platform/TextEncoding.h"

namespace lumatrace::testdata {

// Every field differs from its default, so a value that is lost or swapped
// shows.
inline WaveformFileSettings SampleSettings() {
    WaveformFileSettings s;
    s.channel[0] = {true, "1V", 6, 1000, "x1", 0, 1, "DC", 0, 250, 0};
    s.channel[1] = {true, "100mV", 3, 100, "x1", 0, 1, "AC", 1, 200, 1};
    s.trigMode = 1;
    s.trigSourceText = "CH2";
    s.trigSourceIndex = 1;
    s.trigCouplingText = "LFrej";
    s.trigCouplingIndex = 1;
    s.trigCouplingBySource = {1, 0};
    s.trigSlopeText = "↓";
    s.trigSlopeIndex = 1;
    s.trigLevel = 230;
    s.trigLevelOffset = -20.0L;
    s.trigPosition = 5000;
    s.delayChecked = true;
    s.delayText = "1.5";
    s.delayUnitText = "ms";
    s.trigDelay = 150;
    s.pulseChecked = true;
    s.pulseText = "20";
    s.pulseUnitText = "us";
    s.pulseAbove = true;
    s.pulseWidth = 20;
    s.timeDivText = "500us";
    s.timeDivIndex = 20;
    s.samplingTimeText = "50ns";
    s.memorySizeText = "100K";
    s.memorySizeIndex = 1;
    s.memoryPoints = 100000;
    s.waveformText = "Average";
    s.waveformMode = 1;
    s.numberText = "16";
    s.numberIndex = 3;
    s.acquireCountIndex = 3;
    s.acquireCountReserved = 7;
    s.cursorTOn = true;
    s.cursorT1 = 120;
    s.cursorT2 = 380;
    s.cursorVOn = false;
    s.cursorV1 = 90;
    s.cursorV2 = 310;
    return s;
}

using K = RestoreStep::Kind;

// What SampleSettings() restores, in order.
inline std::vector<RestoreStep> SampleSettingsSteps() {
    return {
        {K::Mirror, "channelOn", 0, 1},
        {K::Down, "SpeedButtonCh1", -1, 1},
        {K::ItemIndex, "ComboBoxVd1", -1, 6},
        {K::Mirror, "voltsPerDivMv", 0, 1000},
        {K::ItemIndex, "ComboBoxPb1", -1, 0},
        {K::ItemIndex, "ComboBoxCup1", -1, 0},
        {K::Mirror, "tracePosition", 0, 250},
        {K::Mirror, "channelOn", 1, 1},
        {K::Down, "SpeedButtonCh2", -1, 1},
        {K::ItemIndex, "ComboBoxVd2", -1, 3},
        {K::Mirror, "voltsPerDivMv", 1, 100},
        {K::ItemIndex, "ComboBoxPb2", -1, 0},
        {K::ItemIndex, "ComboBoxCup2", -1, 1},
        {K::Mirror, "tracePosition", 1, 200},
        {K::Mirror, "trigMode", -1, 1},
        {K::ItemIndex, "ComboBoxTrigSrc", -1, 1},
        {K::ItemIndex, "ComboBoxTrigCup", -1, 1},
        {K::Mirror, "trigCouplingBySource", 0, 1},
        {K::Mirror, "trigCouplingBySource", 1, 0},
        {K::ItemIndex, "ComboBoxTrigSp", -1, 1},
        {K::Mirror, "trigLevel", -1, 230},
        {K::Mirror, "trigLevelOffset", -1, -20},
        {K::Mirror, "trigPosition", -1, 5000},
        {K::Checked, "CheckBoxDelay", -1, 1},
        {K::Mirror, "trigDelay", -1, 150},
        {K::Checked, "CheckBoxPulse", -1, 1},
        {K::Checked, "RdBtnAbove", -1, 1},
        {K::Mirror, "pulseWidth", -1, 20},
        {K::Mirror, "timeDivIndex", -1, 20},
        {K::ItemIndex, "ComboBoxMemSize", -1, 1},
        {K::Checked, "RdBtnFull1", -1, 1},
        {K::Checked, "RdBtn20MHz2", -1, 1},
        {K::Checked, "CheckBoxEqu", -1, 0},
        {K::Mirror, "equivalentAsRealTime", -1, 0},
        {K::Checked, "CheckBoxRoll", -1, 0},
        {K::ItemIndex, "ComboBoxWaveForm", -1, 1},
        {K::ItemIndex, "ComboBoxNumber", -1, 3},
        {K::Mirror, "acquireCountIndex", -1, 3},
        {K::Mirror, "acquireCountReserved", -1, 7},
        {K::Down, "SpeedButtonDt", -1, 1},
        {K::Mirror, "cursorT1", -1, 120},
        {K::Mirror, "cursorT2", -1, 380},
        {K::Down, "SpeedButtonDv", -1, 0},
        {K::Mirror, "cursorV1", -1, 90},
        {K::Mirror, "cursorV2", -1, 310},
    };
}

// Records every call of the restoring host as "kind name value".
class RecordingRestoreHost final : public SettingsRestoreHost {
  public:
    std::vector<RestoreStep> calls;
    void SetItemIndex(std::string_view control, int index) override {
        calls.push_back({K::ItemIndex, Keep(control), -1, static_cast<long double>(index)});
    }
    void SetChecked(std::string_view control, bool checked) override {
        calls.push_back({K::Checked, Keep(control), -1, checked ? 1.0L : 0.0L});
    }
    void SetDown(std::string_view control, bool down) override {
        calls.push_back({K::Down, Keep(control), -1, down ? 1.0L : 0.0L});
    }
    void SetMirror(std::string_view mirror, int element, long double value) override {
        calls.push_back({K::Mirror, Keep(mirror), element, value});
    }

  private:
    // The names outlive the load that produced them only if we keep them.
    std::string_view Keep(std::string_view name) {
        names_.emplace_back(name);
        return names_.back();
    }
    std::deque<std::string> names_;
};

inline std::string Cp932(std::string_view utf8) {
    return Utf8ToCp932(utf8).value();
}

inline std::string ReadDataFile(const std::string& name) {
    std::ifstream in(std::string(LUMATRACE_FILES_TEST_DATA) + "/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace lumatrace::testdata
