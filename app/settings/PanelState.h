// The control panel's state as one plain value: every list's items and
// selection, the latching buttons with their caption colours, the check
// boxes, the radio groups and the display flags of the tool bar and menu.
// The handlers change this value and the form's widgets only show it; the
// parameter file and the waveform file reader restore into it by control
// name.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings/PanelRules.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

enum class PanelList : int {
    Vd1,
    Vd2,
    Pb1,
    Pb2,
    Cup1,
    Cup2,
    TrigSrc,
    TrigCup,
    TrigSp,
    Td,
    MemSize,
    WaveForm,
    Number,
    Math,
    FftVScale,
    FftHScale,
};
inline constexpr int kPanelListCount = 16;

// Latching speed buttons: down state and caption colour.
enum class PanelLatch : int { Ch1, Ch2, Dt, Dv, Math, Fft };
inline constexpr int kPanelLatchCount = 6;

enum class PanelCheck : int { Delay, Pulse, Equ, Roll };
inline constexpr int kPanelCheckCount = 4;

// Radio groups; the value is the member that is checked (-1: none).
enum class PanelRadio : int {
    Bw1,        // RdBtnFull1, RdBtn20MHz1
    Bw2,        // RdBtnFull2, RdBtn20MHz2
    PulseCond,  // RdBtnUnder, RdBtnAbove
    Math1,      // RdBtnMath11 (CH1), RdBtnMath12 (CH2)
    Math2,      // RdBtnMath21 (CH1), RdBtnMath22 (CH2)
    Ope,        // RdBtnAdd, RdBtnSub, RdBtnMul, RdBtnDiv
    FftSrc,     // RdBtnFftSrc1, RdBtnFftSrc2
    FftVst,     // RdBtnFftVstV, RdBtnFftVstdBV
    FftWnd,     // RdBtnFftWndRc, RdBtnFftWndHm, RdBtnFftWndHn, RdBtnFftWndBh
};
inline constexpr int kPanelRadioCount = 9;

// Checked actions and menu items: A_Scale, A_Grid, A_XY, M_Hint.
enum class PanelFlag : int { Scale, Grid, XY, Hint };
inline constexpr int kPanelFlagCount = 4;

struct PanelState {
    std::array<ListState, kPanelListCount> lists{};
    std::array<bool, kPanelLatchCount> down{};
    std::array<std::uint32_t, kPanelLatchCount> captionColor{};
    std::array<bool, kPanelCheckCount> checked{};
    std::array<int, kPanelRadioCount> radio{-1, -1, -1, -1, -1, -1, -1, -1, -1};
    std::array<bool, kPanelFlagCount> flags{};

    ListState& List(PanelList l) { return lists[static_cast<std::size_t>(l)]; }
    const ListState& List(PanelList l) const { return lists[static_cast<std::size_t>(l)]; }
    int Index(PanelList l) const { return List(l).index; }
    // The selected item's text; empty when nothing (or nothing valid) is selected.
    const std::string& Text(PanelList l) const;

    bool& Down(PanelLatch b) { return down[static_cast<std::size_t>(b)]; }
    bool Down(PanelLatch b) const { return down[static_cast<std::size_t>(b)]; }
    std::uint32_t& CaptionColor(PanelLatch b) { return captionColor[static_cast<std::size_t>(b)]; }
    std::uint32_t CaptionColor(PanelLatch b) const {
        return captionColor[static_cast<std::size_t>(b)];
    }
    bool& Checked(PanelCheck c) { return checked[static_cast<std::size_t>(c)]; }
    bool Checked(PanelCheck c) const { return checked[static_cast<std::size_t>(c)]; }
    int& Radio(PanelRadio r) { return radio[static_cast<std::size_t>(r)]; }
    int Radio(PanelRadio r) const { return radio[static_cast<std::size_t>(r)]; }
    bool& Flag(PanelFlag f) { return flags[static_cast<std::size_t>(f)]; }
    bool Flag(PanelFlag f) const { return flags[static_cast<std::size_t>(f)]; }

    bool operator==(const PanelState&) const = default;
};

// ---------------------------------------------------------------------------
// Controls by object name: the one table that ties a widget's name to the
// part of the state it shows.

enum class PanelControlKind : std::uint8_t { List, Latch, Check, Radio, Flag };

struct PanelControlRef {
    PanelControlKind kind;
    int id;      // the PanelList, PanelLatch, PanelCheck, PanelRadio or PanelFlag
    int member;  // the member of a radio group, 0 otherwise
};

struct PanelControlName {
    const char* name;
    PanelControlRef ref;
};
const std::vector<PanelControlName>& PanelControlNames();
std::optional<PanelControlRef> FindPanelControl(std::string_view name);
// The object name of a list, latch, check box, radio member or flag.
const char* PanelControlNameOf(const PanelControlRef& ref);
const char* PanelListName(PanelList l);

// Restoring by name. A list takes the index alone (its items stay), and only
// one its items have; a check
// box, latch or flag takes the state; a radio button only becomes the
// group's checked member (unchecking one leaves the group as it is, as a
// radio group does). False for a name the panel does not have, one of
// another kind, or an index outside the list.
bool SelectPanelItem(PanelState& state, std::string_view name, int index);
bool SetPanelChecked(PanelState& state, std::string_view name, bool checked);

// The default sequence's controls, and the spectrum part alone (also for
// files that predate the spectrum).
PanelState DefaultPanelState(const ValueLists& lists);
void ApplyFftDefaultState(PanelState& state, const ValueLists& lists);

// The math operands (0 CH1, 1 CH2) and operator (0 +, 1 -, 2 x, 3 /), the
// spectrum source channel, vertical type (0 V, 1 dBV) and window, as the
// radio groups hold them. A group with nothing checked reads as its first
// member, except the second operand, whose first member is CH1: it reads as
// CH2 as the default has it.
int MathFirstSource(const PanelState& s);
int MathSecondSource(const PanelState& s);
int MathOperatorIndex(const PanelState& s);
int FftSourceChannel(const PanelState& s);
int FftVerticalType(const PanelState& s);
int FftWindowIndex(const PanelState& s);
bool PulseAbove(const PanelState& s);
// The set-information column's waveform label: four blanks and the mode, in
// Average followed by a blank and the number.
std::string WaveformLabelText(const PanelState& s, int waveformMode);
bool Bandwidth20MHz(const PanelState& s, int ch);

}  // namespace lumatrace
