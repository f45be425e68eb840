// Keyboard rules of the panel, the version texts and the menu layout, without
// widgets.
#include <gtest/gtest.h>

#include <set>

#include "app/settings/MainMenuLayout.h"
#include "app/settings/PanelKeys.h"
#include "app/settings/VersionInfo.h"

namespace lumatrace {
namespace {

constexpr KeyModifiers kNone{};
constexpr KeyModifiers kShift{true, false, false};
constexpr KeyModifiers kCtrl{false, true, false};
constexpr KeyModifiers kAlt{false, false, true};
constexpr KeyModifiers kShiftCtrl{true, true, false};
constexpr KeyModifiers kShiftAlt{true, false, true};
constexpr KeyModifiers kCtrlAlt{false, true, true};
constexpr KeyModifiers kShiftCtrlAlt{true, true, true};

PanelKeyContext AllOn() {
    PanelKeyContext c;
    c.ch1On = c.ch2On = c.mathOn = c.fftOn = true;
    c.upDownMathEnabled = c.upDownFftEnabled = true;
    c.cursorTOn = c.cursorVOn = true;
    c.mathRadiosEnabled = true;
    return c;
}

TEST(SettingsKeys, FormKeyTable) {
    struct Case {
        const char* what;
        int key;
        KeyModifiers mods;
        PanelKeyContext context;
        UpDownId step;
        bool up;
        bool pairMove;
        FocusTarget focus;
        bool consume;
    };
    PanelKeyContext ch1Off = AllOn();
    ch1Off.ch1On = false;
    PanelKeyContext ch1Only = AllOn();
    ch1Only.ch2On = false;
    PanelKeyContext fftDisabled = AllOn();
    fftDisabled.upDownFftEnabled = false;
    PanelKeyContext noTrace = AllOn();
    noTrace.fftOn = noTrace.mathOn = false;
    PanelKeyContext roll = AllOn();
    roll.rollRunning = true;
    PanelKeyContext noCursors = AllOn();
    noCursors.cursorTOn = noCursors.cursorVOn = false;
    PanelKeyContext page2 = AllOn();
    page2.page = 1;
    PanelKeyContext bothOff = AllOn();
    bothOff.ch1On = bothOff.ch2On = false;
    PanelKeyContext mathOff = page2;
    mathOff.mathOn = false;

    using U = UpDownId;
    using F = FocusTarget;
    const Case cases[] = {
        {"CH1 up", kKeyUp, kShift, AllOn(), U::Ch1, true, false, F::None, true},
        {"CH1 down", kKeyDown, kShift, AllOn(), U::Ch1, false, false, F::None, true},
        {"CH1 off: nothing, still consumed", kKeyUp, kShift, ch1Off, U::None, false, false, F::None,
         true},
        {"FFT first", kKeyPageUp, kShift, AllOn(), U::Fft, true, false, F::None, true},
        {"math when FFT up-down disabled", kKeyPageDown, kShift, fftDisabled, U::Math, false, false,
         F::None, true},
        {"no third trace", kKeyPageUp, kShift, noTrace, U::None, false, false, F::None, true},
        {"CH2", kKeyDown, kCtrl, AllOn(), U::Ch2, false, false, F::None, true},
        {"CH2 off", kKeyDown, kCtrl, ch1Only, U::None, false, false, F::None, true},
        {"trigger level", kKeyUp, kShiftCtrl, AllOn(), U::TrigL, true, false, F::None, true},
        {"trigger position right", kKeyRight, kShiftCtrl, AllOn(), U::TrigP, true, false, F::None,
         true},
        {"trigger position left", kKeyLeft, kShiftCtrl, AllOn(), U::TrigP, false, false, F::None,
         true},
        {"roll running: no trigger keys", kKeyUp, kShiftCtrl, roll, U::None, false, false, F::None,
         true},
        {"delta-T", kKeyRight, kShiftAlt, AllOn(), U::Dt, true, false, F::None, true},
        {"delta-V", kKeyDown, kShiftAlt, AllOn(), U::Dv, false, false, F::None, true},
        {"cursors off", kKeyRight, kShiftAlt, noCursors, U::None, false, false, F::None, true},
        {"pair move", kKeyLeft, kShiftCtrlAlt, AllOn(), U::Dt, false, true, F::None, true},
        {"pair move delta-V", kKeyUp, kShiftCtrlAlt, AllOn(), U::Dv, true, true, F::None, true},
        {"Alt+D CH1", 'D', kAlt, AllOn(), U::None, false, false, F::VoltsPerDivCh1, true},
        {"Alt+B CH2 when CH1 off", 'B', kAlt, ch1Off, U::None, false, false, F::ProbeCh2, true},
        {"Alt+C no channel", 'C', kAlt, bothOff, U::None, false, false, F::None, false},
        {"Alt+D not on page 2", 'D', kAlt, page2, U::None, false, false, F::None, false},
        {"Alt+1", '1', kAlt, page2, U::None, false, false, F::MathFirstOperand, true},
        {"Alt+A operator", 'A', kAlt, page2, U::None, false, false, F::MathOperator, true},
        {"Alt+2 math off", '2', kAlt, mathOff, U::None, false, false, F::None, false},
        {"Ctrl+Alt is no set of the table", kKeyUp, kCtrlAlt, AllOn(), U::None, false, false,
         F::None, false},
        {"plain arrow", kKeyUp, kNone, AllOn(), U::None, false, false, F::None, false},
        {"Meta spoils the set", kKeyUp, KeyModifiers{true, false, false, true}, AllOn(), U::None,
         false, false, F::None, false},
        {"any key under Ctrl is consumed", 'Q', kCtrl, AllOn(), U::None, false, false, F::None,
         true},
    };
    for (const Case& c : cases) {
        const PanelKeyDecision d = DecidePanelKey(c.key, c.mods, c.context);
        EXPECT_EQ(d.step, c.step) << c.what;
        if (c.step != UpDownId::None) {
            EXPECT_EQ(d.stepUp, c.up) << c.what;
            EXPECT_EQ(d.pairMove, c.pairMove) << c.what;
        }
        EXPECT_EQ(d.focus, c.focus) << c.what;
        EXPECT_EQ(d.consume, c.consume) << c.what;
    }
}

TEST(SettingsKeys, KeyUpAndADifferentKeyEndTheStepSequence) {
    PanelKeySequence s;
    EXPECT_EQ(s.KeyDown(kKeyShift), UpDownId::None);
    EXPECT_EQ(s.KeyDown(kKeyUp), UpDownId::None);
    s.Stepped(UpDownId::Ch1);
    EXPECT_EQ(s.KeyDown(kKeyUp), UpDownId::None);  // auto-repeat of the same key
    s.Stepped(UpDownId::Ch1);
    EXPECT_EQ(s.KeyDown(kKeyDown), UpDownId::Ch1);  // another key: the first one ends
    s.Stepped(UpDownId::Ch1);
    EXPECT_EQ(s.KeyUp(kKeyShift), UpDownId::None);  // not the stepping key
    EXPECT_EQ(s.KeyUp(kKeyDown), UpDownId::Ch1);
    EXPECT_EQ(s.KeyUp(kKeyDown), UpDownId::None);
    EXPECT_EQ(s.KeyDown(kKeyUp), UpDownId::None);  // nothing stepped since
}

TEST(SettingsKeys, ShortcutFilterTakesAcceleratorLettersWithoutAlt) {
    const std::set<int> taken = {'D', 'B', 'C', 'U', 'N', 'E', 'A', 'P', 'R',
                                 'T', 'M', '0', 'L', 'Z', 'W', '1', '2', 'O'};
    for (int key = '0'; key <= 'Z'; ++key) {
        const bool letter = (key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9');
        if (!letter) {
            continue;
        }
        const bool expected = taken.count(key) != 0;
        EXPECT_EQ(ShortcutFilterTakes(FocusKind::Other, key, kNone), expected) << char(key);
        EXPECT_EQ(ShortcutFilterTakes(FocusKind::Other, key, kShift), expected) << char(key);
        EXPECT_FALSE(ShortcutFilterTakes(FocusKind::Other, key, kAlt)) << char(key);
        EXPECT_FALSE(ShortcutFilterTakes(FocusKind::Edit, key, kNone)) << char(key);
    }
    EXPECT_TRUE(ShortcutFilterTakes(FocusKind::CheckBox, kKeyUp, kNone));
    EXPECT_TRUE(ShortcutFilterTakes(FocusKind::CheckBox, kKeyDown, kNone));
    EXPECT_FALSE(ShortcutFilterTakes(FocusKind::CheckBox, kKeyDown, kShift));
    EXPECT_FALSE(ShortcutFilterTakes(FocusKind::Other, kKeyDown, kNone));
    EXPECT_FALSE(ShortcutFilterTakes(FocusKind::CheckBox, kKeyLeft, kNone));

    EXPECT_TRUE(ArrowMovesFocus(kNone));
    EXPECT_TRUE(ArrowMovesFocus(kAlt));
    EXPECT_FALSE(ArrowMovesFocus(kShift));
    EXPECT_FALSE(ArrowMovesFocus(kCtrlAlt));
}

TEST(SettingsKeys, EditsKeepTheirEditingKeysAndNothingElse) {
    struct Case {
        FocusKind focus;
        int key;
        KeyModifiers mods;
        bool owned;
    };
    const Case cases[] = {
        {FocusKind::Edit, 'A', kCtrl, true},        // select all, not M&ATH
        {FocusKind::Edit, 'C', kCtrl, true},        // copy, not the cursors
        {FocusKind::Edit, 'X', kCtrl, true},        // cut, not XY Plot
        {FocusKind::Edit, 'V', kCtrl, true},        // paste
        {FocusKind::Edit, 'Z', kCtrl, true},        // undo
        {FocusKind::Edit, 'Y', kCtrl, true},        // redo
        {FocusKind::Edit, 'Z', kShiftCtrl, true},   // redo
        {FocusKind::Edit, 'G', kCtrl, false},       // the grid stays a menu key
        {FocusKind::Edit, 'K', kCtrl, false},       // the form's, like every Ctrl key
        {FocusKind::Edit, kKeyUp, kCtrl, false},    // CH2 position
        {FocusKind::Edit, 'C', kShiftCtrl, false},  // not an editing key
        {FocusKind::Edit, 'C', kCtrlAlt, false},
        {FocusKind::Edit, 'C', kNone, false},   // a letter, typed or refused by the edit
        {FocusKind::Other, 'C', kCtrl, false},  // a list: the cursors
        {FocusKind::CheckBox, 'A', kCtrl, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EditOwnsKey(c.focus, c.key, c.mods), c.owned)
            << static_cast<int>(c.focus) << " " << c.key << " " << c.mods.shift << c.mods.ctrl
            << c.mods.alt;
    }
}

TEST(SettingsKeys, EditsAcceptDigitsPointAndUnitLetters) {
    for (char32_t c : std::u32string(U"0123456789.mnsuMNSU\b")) {
        EXPECT_TRUE(EditAcceptsCharacter(c)) << static_cast<int>(c);
    }
    for (char32_t c : std::u32string(U"xk ,-+eHz\r\tＭ")) {
        EXPECT_FALSE(EditAcceptsCharacter(c)) << static_cast<int>(c);
    }
}

// ---------------------------------------------------------------------------

class FakeVersions : public VersionSource {
  public:
    bool ready = true;
    bool infoOk = true;
    bool versionOk = true;
    std::uint32_t driver = 0x01020304;
    std::uint32_t library = 0x00020500;
    std::uint8_t firmware = 123;
    std::uint8_t fpga = 7;
    int reads = 0;

    bool DeviceReady() const override { return ready; }
    bool ReadDeviceInfo(std::array<std::uint8_t, kDeviceInfoSize>& info) override {
        ++reads;
        info.fill(0);
        info[kFirmwareVersionByte] = firmware;
        info[kFpgaVersionByte] = fpga;
        return infoOk;
    }
    bool ReadVersion(std::uint32_t& d, std::uint32_t& l) override {
        d = driver;
        l = library;
        return versionOk;
    }
};

TEST(SettingsVersion, DecodingAndFormat) {
    FakeVersions source;
    const auto lines = FormatVersionLines(ReadVersionValues(&source));
    EXPECT_EQ(lines[0], "  Drv Version\t:   12.34");
    EXPECT_EQ(lines[1], "  DLL Version\t:    2.50");
    EXPECT_EQ(lines[2], "  Firm Version\t:    1.23");
    EXPECT_EQ(lines[3], "  FPGA Version\t:    0.07");
    // Highest bytes: (255 x 10 + 255) + 25.5 + 2.55.
    EXPECT_EQ(FormatVersionLines({DecodeVersionWord(0xFFFFFFFF), 0, 0, 0})[0],
              "  Drv Version\t:   2833.05");
}

TEST(SettingsVersion, NoDeviceOrAFailedReadShowsZeros) {
    FakeVersions notReady;
    notReady.ready = false;
    FakeVersions infoFails;
    infoFails.infoOk = false;
    FakeVersions versionFails;
    versionFails.versionOk = false;
    for (VersionSource* source :
         std::initializer_list<VersionSource*>{nullptr, &notReady, &infoFails, &versionFails}) {
        for (const std::string& line : FormatVersionLines(ReadVersionValues(source))) {
            EXPECT_NE(line.find(":    0.00"), std::string::npos) << line;
        }
    }
    EXPECT_EQ(notReady.reads, 0);
}

// ---------------------------------------------------------------------------

TEST(SettingsMenuLayout, RadioItemsCarryListIndexesAndHiddenItemsAreHidden) {
    struct Case {
        const char* name;
        int tag;
        bool hidden;
    };
    const Case cases[] = {
        {"M_Td_1ns", 0, false},    {"M_Td_5ms", 20, false},  {"M_Td_1000s", 36, false},
        {"M_Pb1_x1000", 3, true},  {"M_Pb2_x1000", 3, true}, {"M_Math_500mV", 8, false},
        {"M_Math_500V", 17, true}, {"M_Math_1KV", 18, true}, {"M_Math_2KV", 19, true},
        {"M_FVs_16", 16, false},   {"M_FVs_17", 17, true},   {"M_FVs_19", 19, true},
        {"M_FHs_18", 18, false},   {"M_Num_1", 0, true},     {"M_Num_128", 7, false},
        {"M_Num_inft", 10, true},  {"M_MS_1M", 2, false},    {"M_TCup_HF", 2, false},
        {"M_Div", 3, false},       {"M_FWnd_Bh", 3, false},  {"M_BW2_20MHz", 1, false},
    };
    for (const Case& c : cases) {
        const MenuNode* node = FindMenuNode(c.name);
        ASSERT_NE(node, nullptr) << c.name;
        EXPECT_TRUE(node->radio) << c.name;
        EXPECT_EQ(node->tag, c.tag) << c.name;
        EXPECT_EQ(node->hidden, c.hidden) << c.name;
    }
    EXPECT_EQ(FindMenuNode("M_Td")->children.size(), 37u);
    EXPECT_EQ(FindMenuNode("M_ScaleMath")->children.size(), 20u);
    EXPECT_EQ(FindMenuNode("M_FftVScale")->children.size(), 20u);
    EXPECT_EQ(FindMenuNode("M_FftHScale")->children.size(), 19u);
    EXPECT_EQ(FindMenuNode("M_Number")->children.size(), 11u);
}

}  // namespace
}  // namespace lumatrace
