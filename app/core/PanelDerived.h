// What the rest of the program needs from the panel, derived once from the
// panel state and the settings mirrors: the settings block of a waveform set,
// the caption of an exported picture, and the texts the delay and pulse edits
// show. Pure functions; the main window only hands them the values.
#pragma once

#include <array>
#include <string>

#include "app/display/MathTrace.h"
#include "app/files/WaveformCodec.h"
#include "app/settings/ImageCaption.h"
#include "app/settings/PanelState.h"
#include "app/settings/SettingsModel.h"

namespace lumatrace {

// The unit label of the pulse edit: the width is always shown in ns.
inline constexpr char kPulseUnitText[] = "ns";

struct EditTexts {
    std::string delayText;
    std::string delayUnitText;
    std::string pulseText;
    std::string pulseUnitText;
};
// The delay in the unit that fits it, the pulse width in ns.
EditTexts PanelEditTexts(const InstrumentSettings& s);

// Everything a waveform set records of the panel and the settings.
WaveformFileSettings FileSettingsFrom(const PanelState& p, const InstrumentSettings& s,
                                      bool equivalentAsRealTime);

// The MATH operation as the panel sets it: sources, operator, scale, and the channels'
// coupling to ground.
MathSettings MathSettingsFrom(const PanelState& p, const InstrumentSettings& s);

// The caption settings of an exported picture; the readouts (trigger
// information, cursor texts) come from the caller.
struct CaptionReadouts {
    std::string trigLevelInfo;
    std::string trigPosInfo;
    std::string cursorTText;
    std::array<std::string, 4> cursorVText;  // CH1, CH2, MATH, FFT
};
ImageCaptionSettings CaptionSettingsFrom(const PanelState& p, const InstrumentSettings& s,
                                         bool equivalentAsRealTime,
                                         const CaptionReadouts& readouts);

}  // namespace lumatrace
