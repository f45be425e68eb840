// The 21-word mode record sent to the instrument, filled from the settings
// and from the panel selections that live only in the controls.
#pragma once

#include <array>
#include <cstdint>

#include "app/settings/SettingsModel.h"

namespace lumatrace {

using ModeWords = std::array<std::uint32_t, 21>;

// List indices and check states of the panel that the record needs.
struct PanelSelection {
    std::array<int, 2> voltsPerDivIndex{0, 0};  // ComboBoxVd1, ComboBoxVd2
    int trigSourceIndex = 0;                    // ComboBoxTrigSrc
    int trigCouplingIndex = 0;                  // ComboBoxTrigCup
    int trigSlopeIndex = 0;                     // ComboBoxTrigSp
    bool delayChecked = false;                  // CheckBoxDelay
    bool pulseChecked = false;                  // CheckBoxPulse
    // Not mode words themselves: what equivalentActive and rollActive are
    // derived from when the time/div changes.
    bool equivalentChecked = false;  // CheckBoxEqu
    bool rollChecked = false;        // CheckBoxRoll
};

// One setter per word or word pair.
namespace mode_word {
void SetVoltsPerDiv(ModeWords& w, const PanelSelection& p);                             // 0, 1
void SetPositions(ModeWords& w, const InstrumentSettings& s);                           // 2, 3
void SetCoupling(ModeWords& w, const InstrumentSettings& s);                            // 4, 5
void SetMemorySize(ModeWords& w, const InstrumentSettings& s);                          // 6
void SetSampleInterval(ModeWords& w, const InstrumentSettings& s);                      // 7
void SetBandwidth(ModeWords& w, const InstrumentSettings& s);                           // 8, 9
void SetEquivalent(ModeWords& w, const InstrumentSettings& s);                          // 10
void SetRoll(ModeWords& w, const InstrumentSettings& s);                                // 11
void SetTrigMode(ModeWords& w, const InstrumentSettings& s);                            // 12
void SetTrigSource(ModeWords& w, const PanelSelection& p);                              // 13
void SetTrigCoupling(ModeWords& w, const PanelSelection& p);                            // 14
void SetTrigSlope(ModeWords& w, const PanelSelection& p);                               // 15
void SetTrigLevel(ModeWords& w, const InstrumentSettings& s);                           // 16
void SetTrigPosition(ModeWords& w, const InstrumentSettings& s);                        // 17
void SetTrigDelay(ModeWords& w, const InstrumentSettings& s, const PanelSelection& p);  // 18
void SetPulseCondition(ModeWords& w, const InstrumentSettings& s,
                       const PanelSelection& p);                // 19
void SetPulseWidth(ModeWords& w, const InstrumentSettings& s);  // 20
}  // namespace mode_word

// All 21 words.
ModeWords BuildModeRecord(const InstrumentSettings& s, const PanelSelection& p);

}  // namespace lumatrace
