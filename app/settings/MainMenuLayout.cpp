#include "app/settings/MainMenuLayout.h"

#include "app/platform/UiText.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

namespace {

using Kind = MenuNode::Kind;

MenuNode Sub(std::string name, std::string caption, std::vector<MenuNode> children) {
    MenuNode n;
    n.kind = Kind::Submenu;
    n.name = std::move(name);
    n.caption = std::move(caption);
    n.children = std::move(children);
    return n;
}

MenuNode Act(std::string name) {
    MenuNode n;
    n.kind = Kind::Action;
    n.name = std::move(name);
    return n;
}

MenuNode Sep() {
    MenuNode n;
    n.kind = Kind::Separator;
    return n;
}

MenuNode Item(std::string name, std::string caption, std::string shortcut = {}) {
    MenuNode n;
    n.name = std::move(name);
    n.caption = std::move(caption);
    n.shortcut = std::move(shortcut);
    return n;
}

MenuNode Check(std::string name, std::string caption, std::string shortcut = {}) {
    MenuNode n = Item(std::move(name), std::move(caption), std::move(shortcut));
    n.checkable = true;
    return n;
}

MenuNode Radio(std::string name, std::string caption, int tag, bool hidden = false) {
    MenuNode n = Item(std::move(name), std::move(caption));
    n.checkable = true;
    n.radio = true;
    n.tag = tag;
    n.hidden = hidden;
    return n;
}

// Radio items for a list: names prefix + suffix[i], captions captions[i].
std::vector<MenuNode> Radios(const std::vector<std::pair<std::string, std::string>>& items) {
    std::vector<MenuNode> nodes;
    int tag = 0;
    for (const auto& [name, caption] : items) {
        nodes.push_back(Radio(name, caption, tag++));
    }
    return nodes;
}

MenuNode ChannelMenu(int ch) {
    const std::string c = std::to_string(ch);
    std::vector<MenuNode> vd;
    const ValueLists lists;
    for (int i = 0; i < kVoltsPerDivCount; ++i) {
        vd.push_back(Radio("M_Vd" + c + "_" + std::to_string(i),
                           lists.VoltsPerDiv(0)[static_cast<std::size_t>(i)], i));
    }
    std::vector<MenuNode> pb = Radios({{"M_Pb" + c + "_x1", "x&1"},
                                       {"M_Pb" + c + "_x10", "x1&0"},
                                       {"M_Pb" + c + "_x100", "&x100"},
                                       {"M_Pb" + c + "_x1000", "&x1000"}});
    pb.back().hidden = true;
    return Sub(
        "M_SetCh" + c, "CH&" + c,
        {Sub("M_Vd" + c, "Volt/&div", std::move(vd)), Sub("M_Pb" + c, "Pro&be", std::move(pb)),
         Sub("M_Cup" + c, "&Coupling",
             Radios({{"M_Cup" + c + "_DC", "&DC"},
                     {"M_Cup" + c + "_AC", "&AC"},
                     {"M_Cup" + c + "_GND", "&GND"}}))});
}

MenuNode TriggerMenu() {
    return Sub(
        "M_Trig", "&TRIGGER",
        {Sub("M_TrigSrc", "So&urce",
             Radios({{"M_TSrc_Ch1", "CH&1"}, {"M_TSrc_Ch2", "CH&2"}, {"M_TSrc_Ext", "&EXT"}})),
         Sub("M_TrigCup", "Coupli&ng",
             Radios({{"M_TCup_DC", "&DC"}, {"M_TCup_LF", "&LFrej"}, {"M_TCup_HF", "&HFrej"}})),
         Sub("M_TrigSp", "Slop&e", Radios({{"M_TSp_Up", "↑(&U)"}, {"M_TSp_Down", "↓(&D)"}})),
         Check("M_TrigDelay", "Del&ay"), Check("M_TrigPulse", "&Pulse")});
}

MenuNode HorizontalMenu() {
    std::vector<MenuNode> td;
    for (int i = 0; i < kTimeDivCount; ++i) {
        td.push_back(
            Radio(TimeDivMenuName(i), TimeDivMenuCaptions()[static_cast<std::size_t>(i)], i));
    }
    return Sub("M_Horz", "&HORIZONTAL",
               {Sub("M_Td", "&Time/div", std::move(td)), Sub("M_MemSize", "&MemorySize",
                                                             Radios({{"M_MS_10k", "1&0kPoint"},
                                                                     {"M_MS_100k", "100&kPoint"},
                                                                     {"M_MS_1M", "1&MPoint"}}))});
}

MenuNode BandWidthMenu() {
    return Sub(
        "M_BW", "&BAND WIDTH",
        {Sub("M_BW1", "CH&1", Radios({{"M_BW1_Full", "F&ULL"}, {"M_BW1_20MHz", "2&0MHz"}})),
         Sub("M_BW2", "CH&2", Radios({{"M_BW2_Full", "FU&LL"}, {"M_BW2_20MHz", "20MH&z"}}))});
}

MenuNode AcquireMenu() {
    std::vector<MenuNode> number;
    for (int i = 0; i < kNumberMenuCount; ++i) {
        const bool hidden = i == 0 || i == kNumberMenuCount - 1;
        number.push_back(
            Radio(NumberMenuName(i), NumberMenuCaptions()[static_cast<std::size_t>(i)], i, hidden));
    }
    return Sub(
        "M_Acq", "&ACQUIRE",
        {Check("M_Equ", "&Equivalence"), Check("M_Roll", "&Roll"),
         Sub("M_WaveForm", "&WaveForm",
             Radios(
                 {{"M_WF_Smp", "&Sample"}, {"M_WF_Ave", "&Average"}, {"M_WF_Env", "&Envelope"}})),
         Sub("M_Number", "&Number", std::move(number))});
}

MenuNode MathMenu() {
    std::vector<MenuNode> scale;
    for (int i = 0; i < kMathMenuCount; ++i) {
        scale.push_back(Radio(MathScaleMenuName(i), MathMenuCaptions()[static_cast<std::size_t>(i)],
                              i, i >= kMathScaleCount));
    }
    return Sub("M_SetMath", "&MATHEMATICS",
               {Sub("M_ScaleMath", "S&cale", std::move(scale)),
                Sub("M_Math1", "&1st", Radios({{"M_Math11", "CH&1"}, {"M_Math12", "CH&2"}})),
                Sub("M_Math2", "&2nd", Radios({{"M_Math21", "CH&1"}, {"M_Math22", "CH&2"}})),
                Sub("M_Ope", "Oper&ator",
                    Radios({{"M_Add", "＋"}, {"M_Sub", "－"}, {"M_Mul", "×"}, {"M_Div", "÷"}}))});
}

MenuNode FftMenu() {
    std::vector<MenuNode> vs;
    for (int i = 0; i < kFftVScaleMenuCount; ++i) {
        vs.push_back(Radio("M_FVs_" + std::to_string(i),
                           MathMenuCaptions()[static_cast<std::size_t>(i)], i,
                           i >= kMathScaleCount));
    }
    std::vector<MenuNode> hs;
    const ValueLists lists;
    const ItemList& top = lists.FftHScale(2, 0);  // the longest list
    for (int i = 0; i < kFftHScaleMenuCount; ++i) {
        hs.push_back(Radio("M_FHs_" + std::to_string(i), top[static_cast<std::size_t>(i)], i));
    }
    return Sub(
        "M_SetFft", "&FFT",
        {Sub("M_FftVScale", "VS&cale", std::move(vs)), Sub("M_FftHScale", "HSc&ale", std::move(hs)),
         Sub("M_FftSrc", "&Source", Radios({{"M_FSrc_Ch1", "CH&1"}, {"M_FSrc_Ch2", "CH&2"}})),
         Sub("M_FftVsTyp", "&VScale Type",
             Radios({{"M_FVst_V", "lin&ear RMS"}, {"M_FVst_dBV", "&dBV RMS"}})),
         Sub("M_FftWnd", "&Window",
             Radios({{"M_FWnd_Rc", "&Rectangular"},
                     {"M_FWnd_Hm", "Ha&mming"},
                     {"M_FWnd_Hn", "Ha&nning"},
                     {"M_FWnd_Bh", "&Blackman-Harris"}}))});
}

std::vector<MenuNode> BuildLayout() {
    return {
        Sub("M_File", UI_TEXT_NOOP("Menu", "ファイル(&F)"),
            {Act("A_Open"), Act("A_Save"), Sep(),
             Item("M_Exit", UI_TEXT_NOOP("Menu", "終了(&X)"))}),
        Sub("M_Run", UI_TEXT_NOOP("Menu", "実行(&X)"),
            {Act("A_Auto"), Act("A_Stop"), Sep(), Act("A_Single"), Act("A_Normal")}),
        Sub("M_Set", UI_TEXT_NOOP("Menu", "設定(&S)"),
            {ChannelMenu(1), ChannelMenu(2), TriggerMenu(), HorizontalMenu(), BandWidthMenu(),
             AcquireMenu(), MathMenu(), FftMenu()}),
        Sub("M_View", UI_TEXT_NOOP("Menu", "表示(&V)"),
            {Check("M_Ch1", "CH&1", "Ctrl+1"), Check("M_Ch2", "CH&2", "Ctrl+2"), Sep(),
             Act("A_Scale"), Act("A_Grid"),
             Check("M_Dt", UI_TEXT_NOOP("Menu", "Δ&T カーソル"), "Shift+T"),
             Check("M_Dv", UI_TEXT_NOOP("Menu", "Δ&V カーソル"), "Shift+V"), Sep(), Act("A_XY"),
             Sep(), Check("M_Math", "M&ATH", "Ctrl+A"), Act("A_Fft"), Sep(),
             Check("M_Hint", UI_TEXT_NOOP("Menu", "ヘルプヒント(&H)"), "Ctrl+H")}),
        Sub("M_Option", UI_TEXT_NOOP("Menu", "オプション(&O)"), {Act("A_Setup")}),
        Sub("M_HelpMenu", UI_TEXT_NOOP("Menu", "ヘルプ(&H)"),
            {Item("M_Help", UI_TEXT_NOOP("Menu", "ユーザーズマニュアル(&PDF)"), "F1"), Sep(),
             Item("M_Version", UI_TEXT_NOOP("Menu", "バージョン情報(&V)..."))}),
    };
}

const MenuNode* Find(const std::vector<MenuNode>& nodes, const std::string& name) {
    for (const MenuNode& n : nodes) {
        if (n.name == name) {
            return &n;
        }
        if (const MenuNode* found = Find(n.children, name)) {
            return found;
        }
    }
    return nullptr;
}

}  // namespace

const std::vector<MenuNode>& MainMenuLayout() {
    static const std::vector<MenuNode> layout = BuildLayout();
    return layout;
}

const MenuNode* FindMenuNode(const std::string& name) {
    return Find(MainMenuLayout(), name);
}

std::string TimeDivMenuName(int index) {
    return "M_Td_" + TimeDivMenuCaptions().at(static_cast<std::size_t>(index));
}

std::string MathScaleMenuName(int index) {
    return "M_Math_" + MathMenuCaptions().at(static_cast<std::size_t>(index));
}

std::string NumberMenuName(int index) {
    return index == kNumberMenuCount - 1
               ? std::string("M_Num_inft")
               : "M_Num_" + NumberMenuCaptions().at(static_cast<std::size_t>(index));
}

}  // namespace lumatrace
