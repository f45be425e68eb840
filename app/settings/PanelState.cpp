#include "app/settings/PanelState.h"

#include <algorithm>

#include "app/settings/InstrumentTypes.h"

namespace lumatrace {

namespace {

PanelControlName ListName(const char* name, PanelList l) {
    return {name, {PanelControlKind::List, static_cast<int>(l), 0}};
}
PanelControlName LatchName(const char* name, PanelLatch b) {
    return {name, {PanelControlKind::Latch, static_cast<int>(b), 0}};
}
PanelControlName CheckName(const char* name, PanelCheck c) {
    return {name, {PanelControlKind::Check, static_cast<int>(c), 0}};
}
PanelControlName RadioName(const char* name, PanelRadio r, int member) {
    return {name, {PanelControlKind::Radio, static_cast<int>(r), member}};
}
PanelControlName FlagName(const char* name, PanelFlag f) {
    return {name, {PanelControlKind::Flag, static_cast<int>(f), 0}};
}

}  // namespace

const std::string& PanelState::Text(PanelList l) const {
    static const std::string kNone;
    const ListState& list = List(l);
    if (list.index < 0 || static_cast<std::size_t>(list.index) >= list.items.size()) {
        return kNone;
    }
    return list.items[static_cast<std::size_t>(list.index)];
}

const std::vector<PanelControlName>& PanelControlNames() {
    static const std::vector<PanelControlName> names = {
        ListName("ComboBoxVd1", PanelList::Vd1),
        ListName("ComboBoxVd2", PanelList::Vd2),
        ListName("ComboBoxPb1", PanelList::Pb1),
        ListName("ComboBoxPb2", PanelList::Pb2),
        ListName("ComboBoxCup1", PanelList::Cup1),
        ListName("ComboBoxCup2", PanelList::Cup2),
        ListName("ComboBoxTrigSrc", PanelList::TrigSrc),
        ListName("ComboBoxTrigCup", PanelList::TrigCup),
        ListName("ComboBoxTrigSp", PanelList::TrigSp),
        ListName("ComboBoxTd", PanelList::Td),
        ListName("ComboBoxMemSize", PanelList::MemSize),
        ListName("ComboBoxWaveForm", PanelList::WaveForm),
        ListName("ComboBoxNumber", PanelList::Number),
        ListName("ComboBoxMath", PanelList::Math),
        ListName("ComboBoxFftVScale", PanelList::FftVScale),
        ListName("ComboBoxFftHScale", PanelList::FftHScale),
        LatchName("SpeedButtonCh1", PanelLatch::Ch1),
        LatchName("SpeedButtonCh2", PanelLatch::Ch2),
        LatchName("SpeedButtonDt", PanelLatch::Dt),
        LatchName("SpeedButtonDv", PanelLatch::Dv),
        LatchName("SpeedButtonMath", PanelLatch::Math),
        LatchName("SpeedButtonFft", PanelLatch::Fft),
        CheckName("CheckBoxDelay", PanelCheck::Delay),
        CheckName("CheckBoxPulse", PanelCheck::Pulse),
        CheckName("CheckBoxEqu", PanelCheck::Equ),
        CheckName("CheckBoxRoll", PanelCheck::Roll),
        RadioName("RdBtnFull1", PanelRadio::Bw1, 0),
        RadioName("RdBtn20MHz1", PanelRadio::Bw1, 1),
        RadioName("RdBtnFull2", PanelRadio::Bw2, 0),
        RadioName("RdBtn20MHz2", PanelRadio::Bw2, 1),
        RadioName("RdBtnUnder", PanelRadio::PulseCond, 0),
        RadioName("RdBtnAbove", PanelRadio::PulseCond, 1),
        RadioName("RdBtnMath11", PanelRadio::Math1, 0),
        RadioName("RdBtnMath12", PanelRadio::Math1, 1),
        RadioName("RdBtnMath21", PanelRadio::Math2, 0),
        RadioName("RdBtnMath22", PanelRadio::Math2, 1),
        RadioName("RdBtnAdd", PanelRadio::Ope, 0),
        RadioName("RdBtnSub", PanelRadio::Ope, 1),
        RadioName("RdBtnMul", PanelRadio::Ope, 2),
        RadioName("RdBtnDiv", PanelRadio::Ope, 3),
        RadioName("RdBtnFftSrc1", PanelRadio::FftSrc, 0),
        RadioName("RdBtnFftSrc2", PanelRadio::FftSrc, 1),
        RadioName("RdBtnFftVstV", PanelRadio::FftVst, 0),
        RadioName("RdBtnFftVstdBV", PanelRadio::FftVst, 1),
        RadioName("RdBtnFftWndRc", PanelRadio::FftWnd, 0),
        RadioName("RdBtnFftWndHm", PanelRadio::FftWnd, 1),
        RadioName("RdBtnFftWndHn", PanelRadio::FftWnd, 2),
        RadioName("RdBtnFftWndBh", PanelRadio::FftWnd, 3),
        FlagName("A_Scale", PanelFlag::Scale),
        FlagName("A_Grid", PanelFlag::Grid),
        FlagName("A_XY", PanelFlag::XY),
        FlagName("M_Hint", PanelFlag::Hint),
    };
    return names;
}

std::optional<PanelControlRef> FindPanelControl(std::string_view name) {
    for (const PanelControlName& n : PanelControlNames()) {
        if (name == n.name) {
            return n.ref;
        }
    }
    return std::nullopt;
}

const char* PanelControlNameOf(const PanelControlRef& ref) {
    for (const PanelControlName& n : PanelControlNames()) {
        if (n.ref.kind == ref.kind && n.ref.id == ref.id && n.ref.member == ref.member) {
            return n.name;
        }
    }
    return "";
}

const char* PanelListName(PanelList l) {
    return PanelControlNameOf({PanelControlKind::List, static_cast<int>(l), 0});
}

bool SelectPanelItem(PanelState& state, std::string_view name, int index) {
    const std::optional<PanelControlRef> ref = FindPanelControl(name);
    if (!ref || ref->kind != PanelControlKind::List) {
        return false;
    }
    ListState& list = state.List(static_cast<PanelList>(ref->id));
    // As a list control does, an index it does not have changes nothing.
    if (index < 0 || static_cast<std::size_t>(index) >= list.items.size()) {
        return false;
    }
    list.index = index;
    return true;
}

bool SetPanelChecked(PanelState& state, std::string_view name, bool checked) {
    const std::optional<PanelControlRef> ref = FindPanelControl(name);
    if (!ref) {
        return false;
    }
    switch (ref->kind) {
        case PanelControlKind::List:
            return false;
        case PanelControlKind::Latch:
            state.Down(static_cast<PanelLatch>(ref->id)) = checked;
            return true;
        case PanelControlKind::Check:
            state.Checked(static_cast<PanelCheck>(ref->id)) = checked;
            return true;
        case PanelControlKind::Radio:
            if (checked) {
                state.Radio(static_cast<PanelRadio>(ref->id)) = ref->member;
            }
            return true;
        case PanelControlKind::Flag:
            state.Flag(static_cast<PanelFlag>(ref->id)) = checked;
            return true;
    }
    return false;
}

void ApplyFftDefaultState(PanelState& s, const ValueLists& lists) {
    s.Down(PanelLatch::Fft) = false;
    s.CaptionColor(PanelLatch::Fft) = wincolor::kPurple;
    s.Radio(PanelRadio::FftSrc) = 0;
    s.Radio(PanelRadio::FftVst) = 0;
    s.Radio(PanelRadio::FftWnd) = 0;
    s.List(PanelList::FftVScale) = {lists.FftVScale(0), 8};
    s.List(PanelList::FftHScale) = {lists.FftHScale(0, 5), 0};
}

PanelState DefaultPanelState(const ValueLists& lists) {
    PanelState s;
    s.Flag(PanelFlag::Scale) = true;
    s.Flag(PanelFlag::Grid) = true;
    s.Flag(PanelFlag::XY) = false;
    s.Flag(PanelFlag::Hint) = true;

    s.Down(PanelLatch::Ch1) = true;
    s.Down(PanelLatch::Ch2) = true;
    s.CaptionColor(PanelLatch::Ch1) = wincolor::kRed;
    s.CaptionColor(PanelLatch::Ch2) = wincolor::kBlue;
    s.List(PanelList::Vd1) = {lists.VoltsPerDiv(0), 2};
    s.List(PanelList::Vd2) = {lists.VoltsPerDiv(0), 2};
    s.List(PanelList::Pb1) = {lists.Probe(), 1};
    s.List(PanelList::Pb2) = {lists.Probe(), 1};
    s.List(PanelList::Cup1) = {lists.Coupling(), 0};
    s.List(PanelList::Cup2) = {lists.Coupling(), 0};

    s.List(PanelList::TrigSrc) = {lists.TrigSource(), 0};
    s.List(PanelList::TrigCup) = {lists.TrigCoupling(0), 0};
    s.List(PanelList::TrigSp) = {lists.Slope(), 0};
    s.Checked(PanelCheck::Delay) = false;
    s.Checked(PanelCheck::Pulse) = false;
    s.Radio(PanelRadio::PulseCond) = 0;

    s.List(PanelList::Td) = {lists.TimeDiv(2), 16};
    s.List(PanelList::MemSize) = {lists.MemorySize(1), 0};

    s.Down(PanelLatch::Dt) = true;
    s.Down(PanelLatch::Dv) = true;
    s.Radio(PanelRadio::Bw1) = 0;
    s.Radio(PanelRadio::Bw2) = 0;
    s.Checked(PanelCheck::Equ) = true;
    s.Checked(PanelCheck::Roll) = true;

    s.List(PanelList::WaveForm) = {lists.WaveForm(), 0};
    s.List(PanelList::Number) = {lists.Number(0), 0};

    s.Down(PanelLatch::Math) = false;
    s.CaptionColor(PanelLatch::Math) = wincolor::kGreen;
    s.List(PanelList::Math) = {lists.MathScale(), 8};
    s.Radio(PanelRadio::Math1) = 0;
    s.Radio(PanelRadio::Math2) = 1;
    s.Radio(PanelRadio::Ope) = 0;

    ApplyFftDefaultState(s, lists);
    return s;
}

int MathFirstSource(const PanelState& s) {
    return s.Radio(PanelRadio::Math1) == 1 ? 1 : 0;
}
int MathSecondSource(const PanelState& s) {
    return s.Radio(PanelRadio::Math2) == 0 ? 0 : 1;
}
int MathOperatorIndex(const PanelState& s) {
    return std::clamp(s.Radio(PanelRadio::Ope), 0, 3);
}
int FftSourceChannel(const PanelState& s) {
    return s.Radio(PanelRadio::FftSrc) == 1 ? 1 : 0;
}
int FftVerticalType(const PanelState& s) {
    return s.Radio(PanelRadio::FftVst) == 1 ? 1 : 0;
}
int FftWindowIndex(const PanelState& s) {
    return std::clamp(s.Radio(PanelRadio::FftWnd), 0, 3);
}
bool PulseAbove(const PanelState& s) {
    return s.Radio(PanelRadio::PulseCond) == 1;
}
std::string WaveformLabelText(const PanelState& s, int waveformMode) {
    std::string text = "    " + s.Text(PanelList::WaveForm);
    if (waveformMode == kWaveformAverage) {
        text += " " + s.Text(PanelList::Number);
    }
    return text;
}

bool Bandwidth20MHz(const PanelState& s, int ch) {
    return s.Radio(ch == 0 ? PanelRadio::Bw1 : PanelRadio::Bw2) == 1;
}

}  // namespace lumatrace
