// The control panel form, the version dialog and the splash window, driven
// offscreen through their controls, menus and synthesised keys.
#include <gtest/gtest.h>

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include "app/platform/testing/RecordingMessageBox.h"
#include "app/platform/testing/ScriptedDialogs.h"
#include "app/settings/FormSplash.h"
#include "app/settings/FormSub.h"
#include "app/settings/FormVer.h"
#include "app/settings/PanelArt.h"

namespace lumatrace {
namespace {

QString U(const char* text) {
    return QString::fromUtf8(text);
}

// A form that records the handlers a derived main window would see.
class RecordingForm : public TFormSub {
  public:
    explicit RecordingForm(FormServices services = {}) : TFormSub(services) {}

    std::vector<std::string> log;
    bool probeFlagSeenInVd1 = false;
    bool pairMoveSeen = false;

    using TFormSub::KeyContext;

  protected:
    void ComboBoxVd1Change() override {
        probeFlagSeenInVd1 = ProbeChangeInProgress(0);
        log.push_back("Vd1");
        TFormSub::ComboBoxVd1Change();
    }
    void ComboBoxTdChange() override {
        log.push_back("Td");
        TFormSub::ComboBoxTdChange();
    }
    void ComboBoxNumberChange() override {
        log.push_back("Number");
        TFormSub::ComboBoxNumberChange();
    }
    void UpDownCh1Click(UpDownButton b) override { Click("Ch1", b); }
    void UpDownCh2Click(UpDownButton b) override { Click("Ch2", b); }
    void UpDownTrigLClick(UpDownButton b) override { Click("TrigL", b); }
    void UpDownTrigPClick(UpDownButton b) override { Click("TrigP", b); }
    void UpDownDtClick(UpDownButton b) override {
        pairMoveSeen = CursorPairMove();
        Click("Dt", b);
    }
    void UpDownMathClick(UpDownButton b) override { Click("Math", b); }
    void UpDownFftClick(UpDownButton b) override { Click("Fft", b); }
    void UpDownCh1MouseUp() override { log.push_back("Ch1 release"); }
    void UpDownTrigLMouseUp() override { log.push_back("TrigL release"); }
    void TimerStatusTimer() override { log.push_back("status tick"); }
    void TimerRollTimer() override { log.push_back("roll tick"); }
    void EditDelayExit() override { log.push_back("delay exit"); }

  private:
    void Click(const char* name, UpDownButton b) {
        log.push_back(std::string(name) + (b == UpDownButton::Up ? " up" : " down"));
    }
};

class SettingsForm : public ::testing::Test {
  protected:
    void SetUp() override {
        form = std::make_unique<RecordingForm>(
            FormServices{&messages, &desktop, std::filesystem::path("/opt/lumatrace")});
        form->ApplyDefaults();
        form->SynchronisePanel(false);
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
        form->log.clear();
    }

    template <typename T = QWidget>
    T* W(const char* name) {
        T* w = form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QAction* M(const std::string& name) {
        QAction* a = form->MenuItem(name);
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
    QAction* A(const char* name) { return W<QAction>(name); }

    // Sends a key to the focused control, as the keyboard would.
    void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, key, mods);
    }
    void Focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        ASSERT_TRUE(w->hasFocus());
    }

    testing::RecordingMessageBox messages;
    testing::FakeDesktop desktop;
    std::unique_ptr<RecordingForm> form;
};

// ---------------------------------------------------------------------------
// Texts.

TEST_F(SettingsForm, EveryControlHasItsHint) {
    const std::pair<const char*, const char*> hints[] = {
        {"PageControlBtn", "function1/2/3 表示切替 (Ctrl+Tab)"},
        {"PanelVert", "垂直軸設定"},
        {"SpeedButtonCh1", "CH1表示 (Ctrl+1)"},
        {"SpeedButtonCh2", "CH2表示 (Ctrl+2)"},
        {"UpDownCh1", "CH1垂直軸ポジション設定 (Shift+↑/↓)"},
        {"UpDownCh2", "CH2垂直軸ポジション設定 (Ctrl+↑/↓)"},
        {"ComboBoxVd1", "CH1垂直軸スケール設定"},
        {"ComboBoxVd2", "CH2垂直軸スケール設定"},
        {"ComboBoxPb1", "CH1プローブ減衰率設定"},
        {"ComboBoxPb2", "CH2プローブ減衰率設定"},
        {"ComboBoxCup1", "CH1入力結合設定"},
        {"ComboBoxCup2", "CH2入力結合設定"},
        {"PanelTrig", "トリガ設定"},
        {"ComboBoxTrigSrc", "トリガソース設定"},
        {"ComboBoxTrigCup", "トリガ入力結合設定"},
        {"ComboBoxTrigSp", "トリガスロープ設定"},
        {"UpDownTrigL", "トリガレベル設定 (Shift+Ctrl+↑/↓)"},
        {"UpDownTrigP", "トリガポジション設定 (Shift+Ctrl+←/→)"},
        {"CheckBoxDelay", "トリガ遅延設定"},
        {"EditDelay", "遅延時間設定"},
        {"LabelDelayUt", "遅延時間設定"},
        {"UpDownDelay", "遅延時間設定"},
        {"CheckBoxPulse", "パルストリガ設定"},
        {"EditPulse", "パルス幅設定"},
        {"LabelPulseUt", "パルス幅設定"},
        {"UpDownPulse", "パルス幅設定"},
        {"RdBtnUnder", "パルス幅条件設定"},
        {"RdBtnAbove", "パルス幅条件設定"},
        {"PanelHorz", "水平軸設定"},
        {"ComboBoxTd", "水平軸スケール設定"},
        {"ComboBoxMemSize", "メモリサイズ設定"},
        {"PanelCur", "カーソル設定"},
        {"SpeedButtonDt", "ΔTカーソル表示 (Shift+T)"},
        {"SpeedButtonDv", "ΔVカーソル表示 (Shift+V)"},
        {"UpDownDt", "ΔTカーソル移動 (Shift+Alt+←/→)"},
        {"UpDownDv", "ΔVカーソル移動 (Shift+Alt+↑/↓)"},
        {"PanelBandWidth", "周波数帯域設定"},
        {"RdBtnFull1", "CH1周波数帯域FULL設定"},
        {"RdBtn20MHz1", "CH1周波数帯域20MHz設定"},
        {"RdBtnFull2", "CH2周波数帯域FULL設定"},
        {"RdBtn20MHz2", "CH2周波数帯域20MHz設定"},
        {"PanelAcq", "波形取り込みモード設定"},
        {"CheckBoxEqu", "等価サンプリングモード設定"},
        {"CheckBoxRoll", "ロールモード設定"},
        {"ComboBoxWaveForm", "波形表示モード設定"},
        {"ComboBoxNumber", "波形取り込み回数設定"},
        {"PanelMath", "波形演算設定"},
        {"SpeedButtonMath", "演算波形表示 (Ctrl+A)"},
        {"UpDownMath", "演算波形垂直軸ポジション設定 (Shift+PageUp/PageDown)"},
        {"ComboBoxMath", "演算波形垂直軸スケール設定"},
        {"RdBtnMath11", "第1波形CH1設定"},
        {"RdBtnMath12", "第1波形CH2設定"},
        {"RdBtnMath21", "第2波形CH1設定"},
        {"RdBtnMath22", "第2波形CH2設定"},
        {"RdBtnAdd", "演算子＋設定"},
        {"RdBtnSub", "演算子－設定"},
        {"RdBtnMul", "演算子×設定"},
        {"RdBtnDiv", "演算子÷設定"},
        {"PanelFft", "FFT演算設定"},
        {"SpeedButtonFft", "FFT波形表示 (Ctrl+F)"},
        {"UpDownFft", "FFT波形垂直軸ポジション設定 (Shift+PageUp/PageDown)"},
        {"ComboBoxFftVScale", "FFT波形垂直軸スケール設定"},
        {"ComboBoxFftHScale", "FFT波形水平軸スケール設定"},
        {"RdBtnFftSrc1", "FFT演算チャンネルCH1設定"},
        {"RdBtnFftSrc2", "FFT演算チャンネルCH2設定"},
        {"RdBtnFftVstV", "FFT垂直軸スケール表示タイプリニアRMS設定"},
        {"RdBtnFftVstdBV", "FFT垂直軸スケール表示タイプdBV RMS設定"},
        {"RdBtnFftWndRc", "FFT窓関数方形窓設定"},
        {"RdBtnFftWndHm", "FFT窓関数ハミング窓設定"},
        {"RdBtnFftWndHn", "FFT窓関数ハニング窓設定"},
        {"RdBtnFftWndBh", "FFT窓関数ブラックマン-ハリス窓設定"},
    };
    for (const auto& [name, hint] : hints) {
        if (QWidget* w = W(name)) {
            EXPECT_EQ(w->toolTip(), U(hint)) << name;
        }
    }
    // Containers carry none.
    for (const char* name : {"TabSheetFunc1", "TabSheetFunc2", "TabSheetFunc3", "GroupBoxVert",
                             "GroupBoxTrig", "GroupBoxBw1", "GroupBoxMath1", "GroupBoxFftWnd"}) {
        EXPECT_TRUE(W(name)->toolTip().isEmpty()) << name;
    }
}

TEST_F(SettingsForm, CaptionsAreTheSystemTexts) {
    const std::pair<const char*, const char*> captions[] = {
        {"PanelVert", "VERTICAL"},
        {"PanelTrig", "TRIGGER"},
        {"PanelHorz", "HORIZONTAL"},
        {"PanelCur", "CURSOR"},
        {"PanelBandWidth", "BAND WIDTH"},
        {"PanelAcq", "ACQUIRE"},
        {"PanelMath", "MATHEMATICS"},
        {"PanelFft", "FFT"},
        {"LabelVd", "Volt/&div"},
        {"LabelPb", "Pro&be"},
        {"LabelCup", "&Coupling"},
        {"LabelTrigSrc", "So&urce"},
        {"LabelTrigCup", "Coupli&ng"},
        {"LabelTrigSp", "Slop&e"},
        {"LabelTrigL", "Level"},
        {"LabelTrigP", "Pos"},
        {"LabelDelay", "Time"},
        {"LabelPulse", "Pulse"},
        {"LabelPulseUt", "ns"},
        {"LabelTd", "&Time/div"},
        {"LabelMemSize", "&MemorySize"},
        {"LabelWaveForm", "&WaveForm"},
        {"LabelNumber", "&Number"},
        {"LabelMath", "S&cale"},
        {"LabelFftVScale", "VS&cale"},
        {"LabelFftHScale", "HSc&ale"},
        {"PnlStsExec", "Stop"},
        {"PnlStsError", ""},
        {"PnlStsTrig", ""},
    };
    for (const auto& [name, text] : captions) {
        if (auto* label = W<QLabel>(name)) {
            EXPECT_EQ(label->text(), U(text)) << name;
        }
    }
    const std::pair<const char*, const char*> buttons[] = {
        {"CheckBoxDelay", "Del&ay"},
        {"CheckBoxPulse", "&Pulse"},
        {"RdBtnUnder", "未満"},
        {"RdBtnAbove", "以上"},
        {"CheckBoxEqu", "&Equivalence"},
        {"CheckBoxRoll", "&Roll"},
        {"SpeedButtonMath", "MATH"},
        {"SpeedButtonFft", "FFT"},
        {"RdBtnFull1", "FULL"},
        {"RdBtn20MHz2", "20MHz"},
        {"RdBtnAdd", "＋"},
        {"RdBtnSub", "－"},
        {"RdBtnMul", "×"},
        {"RdBtnDiv", "÷"},
        {"RdBtnFftSrc1", "CH&1"},
        {"RdBtnFftVstV", "lin&ear RMS"},
        {"RdBtnFftVstdBV", "&dBV RMS"},
        {"RdBtnFftWndRc", "&Rectangular"},
        {"RdBtnFftWndHm", "Ha&mming"},
        {"RdBtnFftWndHn", "Ha&nning"},
        {"RdBtnFftWndBh", "&Blackman-Harris"},
    };
    for (const auto& [name, text] : buttons) {
        if (auto* button = W<QAbstractButton>(name)) {
            EXPECT_EQ(button->text(), U(text)) << name;
        }
    }
    const std::pair<const char*, const char*> groups[] = {
        {"GroupBoxBw1", " CH1 "},
        {"GroupBoxBw2", " CH2 "},
        {"GroupBoxMath1", " &1st "},
        {"GroupBoxOpe", " Oper&ator "},
        {"GroupBoxMath2", " &2nd "},
        {"GroupBoxFftSrc", " Source "},
        {"GroupBoxFftVst", " VScale Type "},
        {"GroupBoxFftWnd", " Window "},
    };
    for (const auto& [name, text] : groups) {
        EXPECT_EQ(W<QGroupBox>(name)->title(), U(text)) << name;
    }
    auto* pages = W<QTabWidget>("PageControlBtn");
    EXPECT_EQ(pages->tabText(0), U("function 1"));
    EXPECT_EQ(pages->tabText(1), U("function 2"));
    EXPECT_EQ(pages->tabText(2), U("function 3"));
    EXPECT_EQ(W<QLineEdit>("EditDelay")->maxLength(), 12);
    EXPECT_EQ(W<QLineEdit>("EditPulse")->maxLength(), 8);
    EXPECT_EQ(W<QLineEdit>("EditDelay")->text(), U("0"));
    EXPECT_EQ(W<QLineEdit>("EditPulse")->text(), U("10"));
}

TEST_F(SettingsForm, ActionsHaveCategoryCaptionHintShortcutAndToolText) {
    struct Row {
        const char* name;
        const char* category;
        const char* caption;
        const char* hint;
        const char* shortcut;
        const char* tool;
        bool checkable;
    };
    const Row rows[] = {
        {"A_Open", "File", "開く(&O)...", "開く", "Ctrl+O", "開く", false},
        {"A_Save", "File", "保存(&S)...", "保存", "Ctrl+S", "保存", false},
        {"A_Auto", "Execution", "&Auto", "Auto Run", "F5", "Auto", false},
        {"A_Stop", "Execution", "S&top", "Stop", "F6", "Stop", false},
        {"A_Single", "Execution", "&Single", "Single Run", "F7", "Single", false},
        {"A_Normal", "Execution", "&Normal", "Normal Run", "F8", "Normal", false},
        {"A_Scale", "Visible", "目盛り(&M)", "目盛り表示", "Ctrl+M", "目盛り", true},
        {"A_Grid", "Visible", "グリッド(&G)", "グリッド表示", "Ctrl+G", "グリッド", true},
        {"A_Cur", "Visible", "カーソル", "ΔT/ΔVカーソル表示", "Ctrl+C", "カーソル", true},
        {"A_XY", "Visible", "&XY Plot", "リサージュ波形表示", "Ctrl+X", "XY Plot", true},
        {"A_Fft", "Visible", "&FFT", "FFT波形表示", "Ctrl+F", "FFT", true},
        {"A_Dtc", "Visible", "", "ΔTカーソル選択切替", "Shift+Alt+T", nullptr, false},
        {"A_Dvc", "Visible", "", "ΔVカーソル選択切替", "Shift+Alt+V", nullptr, false},
        {"A_Setup", "Option", "表示色の変更(&C)...", "表示色変更", "Ctrl+L", "色変更", false},
    };
    for (const Row& r : rows) {
        QAction* a = A(r.name);
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(a->property("category").toString(), U(r.category)) << r.name;
        EXPECT_EQ(a->text(), U(r.caption)) << r.name;
        EXPECT_EQ(a->toolTip(), U(r.hint)) << r.name;
        EXPECT_EQ(a->shortcut(), QKeySequence(U(r.shortcut))) << r.name;
        EXPECT_EQ(a->isCheckable(), r.checkable) << r.name;
        EXPECT_TRUE(a->isEnabled()) << r.name;
        if (r.tool) {
            EXPECT_EQ(a->iconText(), U(r.tool)) << r.name;
            EXPECT_FALSE(a->icon().isNull()) << r.name;
        }
    }
    // Tool bars: files and views on the left (separators after Save, XY Plot
    // and FFT), the run actions on the right.
    const auto names = [](QToolBar* bar) {
        QStringList list;
        for (QAction* a : bar->actions()) {
            list << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
        }
        return list.join(QLatin1Char(' '));
    };
    EXPECT_EQ(names(W<QToolBar>("ToolBarBtn")),
              U("A_Open A_Save | A_Scale A_Grid A_Cur A_XY | A_Fft | A_Setup"));
    EXPECT_EQ(names(W<QToolBar>("ToolBarExec")), U("A_Auto A_Stop A_Single A_Normal"));
}

TEST_F(SettingsForm, MainMenuCaptionsShortcutsAndHiddenItems) {
    const std::pair<const char*, const char*> captions[] = {
        {"M_File", "ファイル(&F)"},
        {"M_Run", "実行(&X)"},
        {"M_Set", "設定(&S)"},
        {"M_View", "表示(&V)"},
        {"M_Option", "オプション(&O)"},
        {"M_HelpMenu", "ヘルプ(&H)"},
        {"M_Exit", "終了(&X)"},
        {"M_SetCh1", "CH&1"},
        {"M_Vd1", "Volt/&div"},
        {"M_Pb1_x10", "x1&0"},
        {"M_Pb1_x1000", "&x1000"},
        {"M_Cup2_GND", "&GND"},
        {"M_Trig", "&TRIGGER"},
        {"M_TSp_Up", "↑(&U)"},
        {"M_TSp_Down", "↓(&D)"},
        {"M_TrigDelay", "Del&ay"},
        {"M_Td_500us", "500us"},
        {"M_MS_100k", "100&kPoint"},
        {"M_BW1_Full", "F&ULL"},
        {"M_BW2_20MHz", "20MH&z"},
        {"M_Equ", "&Equivalence"},
        {"M_WF_Env", "&Envelope"},
        {"M_Num_inft", "∞"},
        {"M_Math_2KV", "2KV"},
        {"M_Ope", "Oper&ator"},
        {"M_Sub", "－"},
        {"M_FVst_V", "lin&ear RMS"},
        {"M_FWnd_Bh", "&Blackman-Harris"},
        {"M_Dt", "Δ&T カーソル"},
        {"M_Dv", "Δ&V カーソル"},
        {"M_Math", "M&ATH"},
        {"M_Hint", "ヘルプヒント(&H)"},
        {"M_Help", "ユーザーズマニュアル(&PDF)"},
        {"M_Version", "バージョン情報(&V)..."},
    };
    for (const auto& [name, text] : captions) {
        EXPECT_EQ(M(name)->text(), U(text)) << name;
    }
    const std::pair<const char*, const char*> shortcuts[] = {
        {"M_Ch1", "Ctrl+1"},  {"M_Ch2", "Ctrl+2"},  {"M_Dt", "Shift+T"}, {"M_Dv", "Shift+V"},
        {"M_Math", "Ctrl+A"}, {"M_Hint", "Ctrl+H"}, {"M_Help", "F1"},
    };
    for (const auto& [name, keys] : shortcuts) {
        EXPECT_EQ(M(name)->shortcut(), QKeySequence(U(keys))) << name;
    }
    for (const char* name :
         {"M_Pb1_x1000", "M_Pb2_x1000", "M_Math_500V", "M_Math_1KV", "M_Math_2KV", "M_FVs_17",
          "M_FVs_18", "M_FVs_19", "M_Num_1", "M_Num_inft", "M_MS_1M"}) {
        EXPECT_FALSE(M(name)->isVisible()) << name;
    }
    // The view menu in order, check items all of them.
    QStringList view;
    for (QAction* a : M("M_View")->menu()->actions()) {
        view << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
        EXPECT_TRUE(a->isSeparator() || a->isCheckable()) << a->objectName().toStdString();
    }
    EXPECT_EQ(view.join(QLatin1Char(' ')),
              U("M_Ch1 M_Ch2 | A_Scale A_Grid M_Dt M_Dv | A_XY | M_Math A_Fft | M_Hint"));
    for (const char* name : {"M_TrigDelay", "M_TrigPulse", "M_Equ", "M_Roll"}) {
        EXPECT_TRUE(M(name)->isCheckable()) << name;
    }
}

TEST_F(SettingsForm, FixedSizesAndDialogSettings) {
    const std::tuple<const char*, int, int> widths[] = {
        {"PanelButton", 237, -1}, {"PanelSetInfo", 90, -1}, {"PnlStsExec", 120, -1},
        {"PnlStsTrig", 140, -1},  {"PanelSpace", 3, -1},    {"PanelToolBar", -1, 44},
        {"PanelStatus", -1, 25},  {"StatusBar1", -1, 16},   {"PanelSITop", -1, 5},
        {"PanelSISpace", -1, 4},
    };
    for (const auto& [name, width, height] : widths) {
        QWidget* w = W(name);
        if (width >= 0) {
            EXPECT_EQ(w->minimumWidth(), width) << name;
            EXPECT_EQ(w->maximumWidth(), width) << name;
        }
        if (height >= 0) {
            EXPECT_EQ(w->minimumHeight(), height) << name;
            EXPECT_EQ(w->maximumHeight(), height) << name;
        }
    }
    EXPECT_EQ(form->OpenDialog1.defaultExtension, "zep");
    EXPECT_EQ(form->OpenDialog1.filter, "ZEP-9100 files (*.zep)|*.zep|");
    EXPECT_EQ(form->SaveDialog1.defaultExtension, "zep|bmp|jpg");
    EXPECT_EQ(form->SaveDialog1.fileName, "file1.zep");
    EXPECT_EQ(form->SaveDialog1.filter,
              "ZEP-9100 files (*.zep)|*.zep|BMP files (*.bmp)|*.bmp|JPG files (*.jpg)|*.jpg|");
    EXPECT_EQ(W<QStatusBar>("StatusBar1")->currentMessage(), QString());
    EXPECT_EQ(W<QTabWidget>("PageControlBtn")->currentIndex(), 0);
    for (const char* name : {"UpDownCh1", "UpDownTrigP", "UpDownFft", "UpDownDelay"}) {
        EXPECT_TRUE(W<UpDown>(name)->wrap()) << name;
    }
}

// ---------------------------------------------------------------------------
// Defaults, synchronisation and list dependencies.

TEST_F(SettingsForm, DefaultsAfterSynchronisation) {
    auto* vd1 = W<QComboBox>("ComboBoxVd1");
    EXPECT_EQ(vd1->currentText(), U("500mV"));  // "x1" list index 2, then probe "x10"
    EXPECT_EQ(form->Settings().probeFactor[0], 10);
    EXPECT_EQ(W<QComboBox>("ComboBoxTd")->count(), 31);
    EXPECT_EQ(W<QComboBox>("ComboBoxTd")->currentText(), U("200us"));
    EXPECT_EQ(W<QComboBox>("ComboBoxMemSize")->count(), 2);
    EXPECT_EQ(W<QComboBox>("ComboBoxMath")->currentText(), U("500mV"));
    EXPECT_EQ(W<QComboBox>("ComboBoxFftHScale")->currentText(), U("250KHz"));
    EXPECT_EQ(W<QComboBox>("ComboBoxTrigSp")->currentText(), U("↑"));
    EXPECT_TRUE(W<QRadioButton>("RdBtnUnder")->isChecked());
    EXPECT_TRUE(W<QRadioButton>("RdBtnMath22")->isChecked());
    EXPECT_FALSE(W<QCheckBox>("CheckBoxDelay")->isChecked());
    EXPECT_FALSE(W<QLineEdit>("EditDelay")->isEnabled());
    EXPECT_TRUE(W<QCheckBox>("CheckBoxRoll")->isChecked());
    EXPECT_TRUE(M("M_Roll")->isChecked());
    EXPECT_TRUE(A("A_Scale")->isChecked());
    EXPECT_FALSE(A("A_XY")->isChecked());
    EXPECT_TRUE(M("M_Hint")->isChecked());
    EXPECT_TRUE(form->ShowHint());
    EXPECT_EQ(form->Settings().trigLevelOffset, kTrigLevelOffsetUnset);
    EXPECT_EQ(form->Settings().tracePosition[kTraceFft], 400);  // linear type's position
    EXPECT_EQ(W<SpeedButton>("SpeedButtonCh1")->captionColor(), wincolor::kRed);
    EXPECT_EQ(W<SpeedButton>("SpeedButtonFft")->captionColor(), wincolor::kPurple);
    EXPECT_TRUE(M("M_Vd1_2")->isChecked());
    EXPECT_EQ(M("M_Vd1_2")->text(), U("500mV"));
    EXPECT_TRUE(M("M_Td_200us")->isChecked());
    EXPECT_FALSE(M("M_Td_20s")->isVisible());
    M("M_WF_Smp")->trigger();  // the main window's memory handler runs this at start-up
    EXPECT_FALSE(W<QComboBox>("ComboBoxNumber")->isEnabled());
    EXPECT_FALSE(W("UpDownMath")->isEnabled());
    EXPECT_FALSE(W("ComboBoxFftVScale")->isEnabled());
}

TEST_F(SettingsForm, OneMegapointFallsBackWithoutTheLargeMemory) {
    form->SynchronisePanel(true);
    M("M_MS_1M")->trigger();
    EXPECT_EQ(W<QComboBox>("ComboBoxMemSize")->currentIndex(), 2);
    EXPECT_EQ(W<QComboBox>("ComboBoxTd")->count(), 37);
    EXPECT_TRUE(M("M_Td_1000s")->isVisible());
    form->SynchronisePanel(false);
    EXPECT_EQ(W<QComboBox>("ComboBoxMemSize")->currentIndex(), 0);
    EXPECT_EQ(W<QComboBox>("ComboBoxMemSize")->count(), 2);
    EXPECT_FALSE(M("M_MS_1M")->isVisible());
    EXPECT_EQ(form->Settings().memoryPoints, 10000);
}

TEST_F(SettingsForm, MemorySizeListFitsTheInstrument) {
    struct Case {
        bool largeMemory;
        int selected;
        int items;
        bool oneMegItem;
        int index;
    };
    for (const Case c : {Case{true, 2, 3, true, 2}, Case{true, 1, 3, true, 1},
                         Case{false, 2, 2, false, 0}, Case{false, 1, 2, false, 1}}) {
        form->FitMemorySizeList(true);
        W<QComboBox>("ComboBoxMemSize")->setCurrentIndex(c.selected);
        form->FitMemorySizeList(c.largeMemory);
        EXPECT_EQ(W<QComboBox>("ComboBoxMemSize")->count(), c.items) << c.largeMemory;
        EXPECT_EQ(M("M_MS_1M")->isVisible(), c.oneMegItem) << c.largeMemory;
        EXPECT_EQ(W<QComboBox>("ComboBoxMemSize")->currentIndex(), c.index)
            << c.largeMemory << " " << c.selected;
    }
}

TEST_F(SettingsForm, MenuTwinsSelectListIndexes) {
    // The math menus act only while the math trace is on.
    M("M_Math")->trigger();
    struct Case {
        const char* item;
        const char* list;
        int index;
        const char* text;
    };
    const Case cases[] = {
        {"M_Td_5ms", "ComboBoxTd", 20, "5ms"},
        {"M_Vd2_7", "ComboBoxVd2", 7, "20V"},
        {"M_Cup1_GND", "ComboBoxCup1", 2, "GND"},
        {"M_TSp_Down", "ComboBoxTrigSp", 1, "↓"},
        {"M_WF_Ave", "ComboBoxWaveForm", 1, "Average"},
        {"M_Math_2V", "ComboBoxMath", 10, "2V"},
        {"M_MS_100k", "ComboBoxMemSize", 1, "100kPoint"},
        // The "1" item is hidden, so the tag (index of "128" among the 11
        // items) selects one less.
        {"M_Num_128", "ComboBoxNumber", 6, "128"},
    };
    for (const Case& c : cases) {
        M(c.item)->trigger();
        auto* list = W<QComboBox>(c.list);
        EXPECT_EQ(list->currentIndex(), c.index) << c.item;
        EXPECT_EQ(list->currentText(), U(c.text)) << c.item;
        EXPECT_TRUE(M(c.item)->isChecked()) << c.item;
    }
    // The spectrum's menus likewise need the spectrum on.
    M("M_FVs_3")->trigger();
    EXPECT_EQ(W<QComboBox>("ComboBoxFftVScale")->currentIndex(), 8);
    A("A_Fft")->trigger();
    M("M_FVs_3")->trigger();
    EXPECT_EQ(W<QComboBox>("ComboBoxFftVScale")->currentText(), U("10mV"));
    EXPECT_EQ(std::count(form->log.begin(), form->log.end(), "Td"), 1);
    EXPECT_EQ(form->Settings().displayCoupling[0], 2);
    EXPECT_EQ(form->Settings().deviceCoupling[0], 0);
    // Radio twins check the button; its handler checks the menu item back.
    M("M_BW1_20MHz")->trigger();
    EXPECT_TRUE(W<QRadioButton>("RdBtn20MHz1")->isChecked());
    M("M_FWnd_Hn")->trigger();
    EXPECT_TRUE(W<QRadioButton>("RdBtnFftWndHn")->isChecked());
    W<QRadioButton>("RdBtnMul")->setChecked(true);
    EXPECT_TRUE(M("M_Mul")->isChecked());
    // Check twins.
    M("M_TrigDelay")->trigger();
    EXPECT_TRUE(W<QCheckBox>("CheckBoxDelay")->isChecked());
    EXPECT_TRUE(W<QLineEdit>("EditDelay")->isEnabled());
    EXPECT_TRUE(W("LabelDelay")->isEnabled());
    W<QCheckBox>("CheckBoxEqu")->setChecked(false);
    EXPECT_FALSE(M("M_Equ")->isChecked());
}

TEST_F(SettingsForm, ProbeChangeSwapsTheVoltsListAndMarksItself) {
    M("M_Pb1_x1")->trigger();
    EXPECT_EQ(W<QComboBox>("ComboBoxVd1")->currentText(), U("50mV"));
    form->probeFlagSeenInVd1 = false;
    M("M_Pb1_x100")->trigger();
    EXPECT_EQ(W<QComboBox>("ComboBoxVd1")->currentText(), U("5V"));
    EXPECT_EQ(form->Settings().probeFactor[0], 100);
    EXPECT_TRUE(form->probeFlagSeenInVd1);
    EXPECT_FALSE(form->ProbeChangeInProgress(0));
    EXPECT_EQ(M("M_Vd1_0")->text(), U("1V"));
    EXPECT_EQ(M("M_Vd1_7")->text(), U("200V"));
    EXPECT_EQ(M("M_Vd2_0")->text(), U("100mV"));  // the other channel keeps its list
    // The V/div handler ran outside a probe change as well, without the mark.
    M("M_Vd1_3")->trigger();
    EXPECT_FALSE(form->probeFlagSeenInVd1);
}

TEST_F(SettingsForm, TriggerSourceExtAndBack) {
    M("M_TSrc_Ch2")->trigger();
    M("M_TCup_HF")->trigger();
    M("M_TSrc_Ext")->trigger();
    auto* coupling = W<QComboBox>("ComboBoxTrigCup");
    EXPECT_EQ(coupling->count(), 1);
    EXPECT_EQ(coupling->currentText(), U("DC"));
    EXPECT_FALSE(M("M_TCup_LF")->isVisible());
    EXPECT_FALSE(M("M_TCup_HF")->isVisible());
    M("M_TSrc_Ch2")->trigger();
    EXPECT_EQ(coupling->currentText(), U("HFrej"));
    EXPECT_TRUE(M("M_TCup_HF")->isChecked());
    M("M_TSrc_Ch1")->trigger();
    EXPECT_EQ(coupling->currentText(), U("DC"));
}

TEST_F(SettingsForm, WaveformModeSwapsTheNumberList) {
    form->SynchronisePanel(true);
    M("M_MS_100k")->trigger();
    M("M_WF_Ave")->trigger();
    EXPECT_TRUE(W("ComboBoxNumber")->isEnabled());
    EXPECT_TRUE(M("M_Num_256")->isEnabled());
    M("M_Num_256")->trigger();
    M("M_MS_1M")->trigger();
    // The memory handler of the main window runs the waveform handler again.
    M("M_WF_Ave")->trigger();
    EXPECT_EQ(W<QComboBox>("ComboBoxNumber")->currentText(), U("128"));
    EXPECT_TRUE(M("M_Num_128")->isChecked());
    EXPECT_FALSE(M("M_Num_256")->isVisible());
    EXPECT_FALSE(M("M_Num_512")->isVisible());
    M("M_WF_Env")->trigger();
    EXPECT_FALSE(W("ComboBoxNumber")->isEnabled());
    EXPECT_FALSE(W("LabelNumber")->isEnabled());
    EXPECT_FALSE(M("M_Num_2")->isEnabled());
    EXPECT_EQ(form->log.back(), "Number");
}

TEST_F(SettingsForm, FftVerticalTypeSwapsListMenuAndPosition) {
    M("M_FVst_dBV")->trigger();  // refused while the spectrum is off
    EXPECT_FALSE(W<QRadioButton>("RdBtnFftVstdBV")->isChecked());
    A("A_Fft")->trigger();
    form->Settings().fftPositionByType = {420, 90};
    M("M_FVst_dBV")->trigger();
    auto* scale = W<QComboBox>("ComboBoxFftVScale");
    EXPECT_EQ(scale->count(), 15);
    EXPECT_EQ(scale->currentText(), U("20dB"));
    EXPECT_EQ(form->Settings().tracePosition[kTraceFft], 90);
    EXPECT_EQ(M("M_FVs_0")->text(), U("100mdB"));
    EXPECT_TRUE(M("M_FVs_14")->isVisible());
    EXPECT_FALSE(M("M_FVs_15")->isVisible());
    EXPECT_FALSE(M("M_FVs_16")->isVisible());
    M("M_FVs_9")->trigger();  // 100dB, remembered for dBV
    M("M_FVst_V")->trigger();
    EXPECT_EQ(scale->count(), 17);
    EXPECT_EQ(scale->currentText(), U("500mV"));
    EXPECT_EQ(M("M_FVs_16")->text(), U("200V"));
    EXPECT_TRUE(M("M_FVs_16")->isVisible());
    EXPECT_EQ(form->Settings().tracePosition[kTraceFft], 420);
    M("M_FVst_dBV")->trigger();
    EXPECT_EQ(scale->currentText(), U("100dB"));
}

TEST_F(SettingsForm, ChannelMathFftAndCursorButtonsEnableTheirControls) {
    QTest::mouseClick(W("SpeedButtonCh1"), Qt::LeftButton);
    EXPECT_EQ(form->Settings().channelOn[0], 0);
    EXPECT_FALSE(M("M_Ch1")->isChecked());
    EXPECT_FALSE(W("ComboBoxVd1")->isEnabled());
    EXPECT_FALSE(W("UpDownCh1")->isEnabled());
    EXPECT_FALSE(M("M_Vd1_0")->isEnabled());
    EXPECT_FALSE(M("M_Cup1_DC")->isEnabled());
    EXPECT_TRUE(W("LabelVd")->isEnabled());  // CH2 is still on
    M("M_Ch2")->trigger();
    EXPECT_FALSE(W<SpeedButton>("SpeedButtonCh2")->isDown());
    EXPECT_FALSE(W("LabelVd")->isEnabled());
    EXPECT_TRUE(W("PageControlBtn")->hasFocus() || QApplication::focusWidget() != nullptr);

    QTest::mouseClick(W("SpeedButtonMath"), Qt::LeftButton);
    EXPECT_EQ(form->Settings().mathOn, 1);
    EXPECT_TRUE(M("M_Math")->isChecked());
    EXPECT_TRUE(W("ComboBoxMath")->isEnabled());
    EXPECT_TRUE(W("RdBtnAdd")->isEnabled());
    EXPECT_TRUE(M("M_Math_1mV")->isEnabled());
    A("A_Fft")->trigger();
    EXPECT_TRUE(W<SpeedButton>("SpeedButtonFft")->isDown());
    EXPECT_EQ(form->Settings().fftOn, 1);
    EXPECT_TRUE(W("ComboBoxFftHScale")->isEnabled());
    EXPECT_TRUE(M("M_FHs_10")->isEnabled());
    EXPECT_FALSE(W("ComboBoxMath")->isEnabled());  // the spectrum takes the third trace
    EXPECT_FALSE(M("M_Math")->isEnabled());
    QTest::mouseClick(W("SpeedButtonFft"), Qt::LeftButton);
    EXPECT_FALSE(A("A_Fft")->isChecked());
    EXPECT_TRUE(W("ComboBoxMath")->isEnabled());
    EXPECT_TRUE(M("M_Math")->isEnabled());

    A("A_Cur")->setChecked(false);
    A("A_Cur")->trigger();  // toggles itself back on: both pairs shown
    EXPECT_TRUE(W<SpeedButton>("SpeedButtonDt")->isDown());
    QTest::mouseClick(W("SpeedButtonDv"), Qt::LeftButton);
    EXPECT_EQ(form->Settings().cursorVOn, 0);
    EXPECT_FALSE(M("M_Dv")->isChecked());
    EXPECT_FALSE(W("SpeedButtonDvc")->isEnabled());
    EXPECT_FALSE(W("UpDownDv")->isEnabled());
}

TEST_F(SettingsForm, CursorSelectionFlipsOnlyWhileThePairIsShown) {
    const auto glyph = [&](const char* action) {
        return A(action)->icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    };
    EXPECT_EQ(glyph("A_Dtc"), form->ImgLstCur[0].convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(glyph("A_Dvc"), form->ImgLstCur[2].convertToFormat(QImage::Format_ARGB32));
    A("A_Dtc")->trigger();
    EXPECT_EQ(form->Settings().cursorTSelected, 2);
    EXPECT_EQ(glyph("A_Dtc"), form->ImgLstCur[1].convertToFormat(QImage::Format_ARGB32));
    A("A_Dtc")->trigger();
    EXPECT_EQ(form->Settings().cursorTSelected, 1);
    EXPECT_EQ(glyph("A_Dtc"), form->ImgLstCur[0].convertToFormat(QImage::Format_ARGB32));
    M("M_Dv")->trigger();  // delta-V off
    A("A_Dvc")->trigger();
    EXPECT_EQ(form->Settings().cursorVSelected, 1);
    M("M_Dv")->trigger();
    A("A_Dvc")->trigger();
    EXPECT_EQ(form->Settings().cursorVSelected, 2);
    EXPECT_EQ(glyph("A_Dvc"), form->ImgLstCur[3].convertToFormat(QImage::Format_ARGB32));
}

TEST_F(SettingsForm, FftHorizontalMenuFollowsTheList) {
    // After start-up the menu shows the default list: 10kPoint group, list 5.
    EXPECT_EQ(M("M_FHs_0")->text(), U("250KHz"));
    EXPECT_EQ(M("M_FHs_10")->text(), U("1KHz"));
    EXPECT_TRUE(M("M_FHs_10")->isVisible());
    EXPECT_FALSE(M("M_FHs_11")->isVisible());
    EXPECT_TRUE(M("M_FHs_0")->isChecked());
    A("A_Fft")->trigger();
    M("M_FHs_10")->trigger();
    form->SetFftHScaleList(2, 19);
    auto* list = W<QComboBox>("ComboBoxFftHScale");
    EXPECT_EQ(list->count(), 19);
    EXPECT_EQ(list->currentIndex(), 10);
    EXPECT_EQ(M("M_FHs_18")->text(), U("200uHz"));
    EXPECT_TRUE(M("M_FHs_18")->isVisible());
    EXPECT_TRUE(M("M_FHs_18")->isEnabled());  // shown again, usable again
    EXPECT_TRUE(M("M_FHs_10")->isChecked());
    form->SetFftHScaleList(0, 3);  // ten items: the index moves to the last one
    EXPECT_EQ(list->currentIndex(), 9);
    EXPECT_EQ(list->currentText(), U("5KHz"));
    EXPECT_FALSE(M("M_FHs_10")->isVisible());
    EXPECT_TRUE(M("M_FHs_9")->isChecked());
}

TEST_F(SettingsForm, DisplayColoursRecolourTheTraceButtons) {
    form->SetDisplayColor(1, 0x00123456);
    EXPECT_EQ(form->GetDisplayColor(1), 0x00123456u);
    EXPECT_EQ(W<SpeedButton>("SpeedButtonCh2")->captionColor(), 0x00123456u);
    form->SetDisplayColor(10, 1);
    form->SetItemPosition(-1, 5);
    EXPECT_EQ(form->GetDisplayColor(10), 0u);
    EXPECT_EQ(form->GetItemPosition(-1), 0);
    form->SetItemPosition(9, 222);
    EXPECT_EQ(form->Settings().cursorV2, 222);
}

// ---------------------------------------------------------------------------
// Keys.

TEST_F(SettingsForm, ShiftArrowStepsChannelOneAndRefreshesTheView) {
    auto* td = W<QComboBox>("ComboBoxTd");
    Focus(td);
    const int index = td->currentIndex();
    QTest::keyPress(td, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(form->log, (std::vector<std::string>{"Ch1 up", "status tick"}));
    QTest::keyRelease(td, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(form->log.back(), "Ch1 release");
    EXPECT_EQ(td->currentIndex(), index);  // the list never saw the key

    // With CH1 off nothing steps, and the key is still consumed.
    M("M_Ch1")->trigger();
    Focus(td);
    form->log.clear();
    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_TRUE(form->log.empty());
    EXPECT_EQ(td->currentIndex(), index);
    // A plain arrow does reach the list.
    Key(Qt::Key_Down);
    EXPECT_EQ(td->currentIndex(), index + 1);
}

TEST_F(SettingsForm, KeyTableStepsTheRightUpDowns) {
    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        const char* expected;
    };
    const Case cases[] = {
        {Qt::Key_Down, Qt::ControlModifier, "Ch2 down"},
        {Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier, "TrigL up"},
        {Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier, "TrigP down"},
        {Qt::Key_Right, Qt::ShiftModifier | Qt::AltModifier, "Dt up"},
    };
    for (const Case& c : cases) {
        Focus(W("PageControlBtn"));
        form->log.clear();
        Key(c.key, c.mods);
        ASSERT_FALSE(form->log.empty()) << c.expected;
        EXPECT_EQ(form->log.front(), c.expected);
    }
    // Math needs MATH shown and its up-down enabled; FFT wins when it is on.
    QTest::mouseClick(W("SpeedButtonMath"), Qt::LeftButton);
    Focus(W("PageControlBtn"));
    form->log.clear();
    Key(Qt::Key_PageUp, Qt::ShiftModifier);
    EXPECT_EQ(form->log.front(), "Math up");
    A("A_Fft")->trigger();
    form->log.clear();
    Key(Qt::Key_PageDown, Qt::ShiftModifier);
    EXPECT_EQ(form->log.front(), "Fft down");
    // Pair move only for the duration of the step.
    form->log.clear();
    Key(Qt::Key_Left, Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(form->log.front(), "Dt down");
    EXPECT_TRUE(form->pairMoveSeen);
    EXPECT_FALSE(form->CursorPairMove());
}

TEST_F(SettingsForm, RollModeBlocksTriggerKeysWhileRunningAndTakesTheRollTick) {
    form->Settings().rollActive = 1;
    Focus(W("PageControlBtn"));
    Key(Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(form->log, (std::vector<std::string>{"Ch1 up", "roll tick", "Ch1 release"}));
    form->Settings().runMode = kRunAuto;
    form->log.clear();
    Key(Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_TRUE(form->log.empty());
    form->Settings().runMode = kRunStop;
    Key(Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(form->log.front(), "TrigL up");
}

TEST_F(SettingsForm, ADifferentKeyEndsThePreviousStepFirst) {
    QWidget* target = W("PageControlBtn");
    Focus(target);
    QTest::keyPress(target, Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyPress(target, Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::keyRelease(target, Qt::Key_Up, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(form->log, (std::vector<std::string>{"Ch1 up", "status tick", "Ch1 release",
                                                   "TrigL up", "status tick", "TrigL release"}));
}

TEST_F(SettingsForm, AutoRepeatDoesNotPileUpSteps) {
    QWidget* target = W("PageControlBtn");
    Focus(target);
    QTest::keyPress(target, Qt::Key_Up, Qt::ShiftModifier);
    form->log.clear();
    const auto repeat = [&] {
        QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Up,
                                                          Qt::ShiftModifier, QString(), true));
    };
    // Five repeats queued while a step runs are dropped ...
    for (int i = 0; i < 5; ++i) {
        repeat();
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Up, Qt::ShiftModifier, QString(), true);
    QApplication::sendEvent(target, &press);
    QCoreApplication::processEvents();
    EXPECT_EQ(std::count(form->log.begin(), form->log.end(), "Ch1 up"), 1);
    // ... while repeats that arrive one at a time each step.
    for (int i = 0; i < 3; ++i) {
        repeat();
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(std::count(form->log.begin(), form->log.end(), "Ch1 up"), 4);
    EXPECT_EQ(std::count(form->log.begin(), form->log.end(), "Ch1 release"), 0);
    QTest::keyRelease(target, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(form->log.back(), "Ch1 release");
}

TEST_F(SettingsForm, AltKeysFocusTheListsOfTheShownChannel) {
    Focus(W("PageControlBtn"));
    Key(Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(W("ComboBoxVd1")->hasFocus());
    Key(Qt::Key_B, Qt::AltModifier);
    EXPECT_TRUE(W("ComboBoxPb1")->hasFocus());
    M("M_Ch1")->trigger();  // CH1 off
    Key(Qt::Key_C, Qt::AltModifier);
    EXPECT_TRUE(W("ComboBoxCup2")->hasFocus());
    Key(Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(W("ComboBoxVd2")->hasFocus());

    // Page 2: the checked radio of the operand and operator groups, with MATH on.
    W<QTabWidget>("PageControlBtn")->setCurrentIndex(1);
    Focus(W("ComboBoxWaveForm"));
    QTest::mouseClick(W("SpeedButtonMath"), Qt::LeftButton);
    Key(Qt::Key_2, Qt::AltModifier);
    EXPECT_TRUE(W("RdBtnMath22")->hasFocus());
    W<QRadioButton>("RdBtnDiv")->setChecked(true);
    Key(Qt::Key_A, Qt::AltModifier);
    EXPECT_TRUE(W("RdBtnDiv")->hasFocus());
}

TEST_F(SettingsForm, ShortcutFilterKeepsLettersFromListsAndArrowsFromCheckBoxes) {
    auto* coupling = W<QComboBox>("ComboBoxCup1");
    M("M_Cup1_AC")->trigger();
    Focus(coupling);
    Key(Qt::Key_D);  // an accelerator letter: taken
    EXPECT_EQ(coupling->currentText(), U("AC"));
    EXPECT_TRUE(coupling->hasFocus());
    Key(Qt::Key_G);  // not one of them: the list's own search finds "GND"
    EXPECT_EQ(coupling->currentText(), U("GND"));

    // Ctrl+Tab still turns the pages although Ctrl keys are the form's.
    auto* pages = W<QTabWidget>("PageControlBtn");
    Focus(W("ComboBoxTd"));
    Key(Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), 1);
    Key(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pages->currentIndex(), 0);
    Key(Qt::Key_Tab, Qt::ControlModifier);
    auto* equ = W<QCheckBox>("CheckBoxEqu");
    Focus(equ);
    Key(Qt::Key_Down);
    EXPECT_TRUE(equ->hasFocus());
    Key(Qt::Key_Down, Qt::ControlModifier);  // the dialog-key rule
    EXPECT_TRUE(equ->hasFocus());
    auto* full = W<QRadioButton>("RdBtnFull1");
    Focus(full);
    Key(Qt::Key_Down, Qt::AltModifier | Qt::ControlModifier);
    EXPECT_TRUE(full->hasFocus());
    EXPECT_TRUE(full->isChecked());
}

TEST_F(SettingsForm, EditsFilterCharactersAndUnderlineUnappliedValues) {
    M("M_TrigDelay")->trigger();
    auto* edit = W<PanelEdit>("EditDelay");
    Focus(edit);
    edit->clear();
    EXPECT_FALSE(edit->isPending());
    QTest::keyClicks(edit, QStringLiteral("x5"));
    QTest::keyClick(edit, Qt::Key_M);
    QTest::keyClick(edit, Qt::Key_Comma);
    EXPECT_EQ(edit->text(), U("5m"));
    EXPECT_TRUE(edit->isPending());
    EXPECT_TRUE(edit->font().underline());
    QTest::keyClick(edit, 'U', Qt::ShiftModifier);  // a capital unit letter
    EXPECT_EQ(edit->text(), U("5mU"));
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), U("5m"));
    edit->setPending(false);
    EXPECT_FALSE(edit->font().underline());
    // Shift+T is not typed: the menu shortcut toggles the delta-T cursors.
    ASSERT_TRUE(M("M_Dt")->isChecked());
    QTest::keyClick(edit, Qt::Key_T, Qt::ShiftModifier);
    EXPECT_FALSE(M("M_Dt")->isChecked());
    EXPECT_EQ(edit->text(), U("5m"));
    // Leaving the edit reaches the main window's handler.
    Focus(W("ComboBoxTd"));
    EXPECT_EQ(form->log.back(), "delay exit");
}

TEST_F(SettingsForm, StandardEditShortcutsWorkInTheValueEdits) {
    // Ctrl+A, Ctrl+C and Ctrl+X are also the shortcuts of M&ATH, the cursors
    // and XY Plot, and every Ctrl key is the form's: inside the two edits the
    // editing keys belong to the edit, the rest keep their panel meaning.
    struct Case {
        const char* edit;
        const char* checkItem;
        const char* value;
        bool letterText;  // the key's text: its letter, else the control character
    };
    const Case cases[] = {{"EditDelay", "M_TrigDelay", "12.5u", false},
                          {"EditPulse", "M_TrigPulse", "250", false},
                          {"EditDelay", "M_TrigDelay", "3m", true}};
    QClipboard* clipboard = QApplication::clipboard();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.edit) + (c.letterText ? " letter text" : " control text"));
        // Ctrl and a letter as the keyboard sends it: X11 and Windows give the
        // control character as text, other platforms (and QTest) the letter.
        const auto ctrl = [&](Qt::Key key) {
            QWidget* target = QApplication::focusWidget();
            ASSERT_NE(target, nullptr);
            const QChar letter = QChar(u'a' + (key - Qt::Key_A));
            const QString text =
                c.letterText ? QString(letter) : QString(QChar(key - Qt::Key_A + 1));
            QTest::sendKeyEvent(QTest::Click, target, key, text, Qt::ControlModifier);
        };
        if (!M(c.checkItem)->isChecked()) {
            M(c.checkItem)->trigger();
        }
        auto* edit = W<PanelEdit>(c.edit);
        ASSERT_TRUE(edit->isEnabled());
        Focus(edit);
        edit->setText(U(c.value));
        edit->setCursorPosition(1);
        const bool cursors = A("A_Cur")->isChecked();
        const bool xy = A("A_XY")->isChecked();
        const bool math = M("M_Math")->isChecked();
        clipboard->setText(QStringLiteral("before"));

        ctrl(Qt::Key_A);
        EXPECT_EQ(edit->selectedText(), U(c.value));
        ctrl(Qt::Key_C);
        EXPECT_EQ(clipboard->text(), U(c.value));
        ctrl(Qt::Key_X);
        EXPECT_EQ(edit->text(), QString());
        EXPECT_EQ(clipboard->text(), U(c.value));
        ctrl(Qt::Key_V);
        EXPECT_EQ(edit->text(), U(c.value));
        ctrl(Qt::Key_Z);
        EXPECT_EQ(edit->text(), QString());
        EXPECT_TRUE(edit->hasFocus());
        EXPECT_EQ(A("A_Cur")->isChecked(), cursors);
        EXPECT_EQ(A("A_XY")->isChecked(), xy);
        EXPECT_EQ(M("M_Math")->isChecked(), math);

        // The key table and the other shortcuts still act from the edit.
        form->log.clear();
        Key(Qt::Key_Up, Qt::ControlModifier);
        EXPECT_EQ(form->log, (std::vector<std::string>{"Ch2 up", "status tick"}));
        const bool grid = A("A_Grid")->isChecked();
        ctrl(Qt::Key_G);
        EXPECT_NE(A("A_Grid")->isChecked(), grid);
        ctrl(Qt::Key_G);
        // Any other Ctrl key stays the form's, even one the edit knows
        // (Ctrl+K deletes to the end of the line) or would type.
        edit->setText(U(c.value));
        edit->setCursorPosition(1);
        ctrl(Qt::Key_K);
        ctrl(Qt::Key_M);
        EXPECT_EQ(edit->text(), U(c.value));
        EXPECT_TRUE(edit->hasFocus());
    }
}

TEST_F(SettingsForm, HintsFollowTheFlagsAndTheUnitLabelsTheirEnabling) {
    // A filter on the control itself sees the hint request only when the
    // form lets it through.
    struct Probe : QObject {
        bool seen = false;
        bool eventFilter(QObject*, QEvent* e) override {
            seen = seen || e->type() == QEvent::ToolTip;
            return e->type() == QEvent::ToolTip;
        }
    };
    const auto showsAt = [&](const char* name, QPoint at) {
        QWidget* w = W(name);
        Probe probe;
        w->installEventFilter(&probe);
        QHelpEvent help(QEvent::ToolTip, at, w->mapToGlobal(at));
        QApplication::sendEvent(w, &help);
        w->removeEventFilter(&probe);
        return probe.seen;
    };
    const auto shows = [&](const char* name) { return showsAt(name, QPoint(2, 2)); };
    const auto moveOver = [&](QWidget* w) {
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)),
                         Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    };

    // The page control shows its hint over its tabs only, once the pointer
    // came to them; over a page it shows none.
    auto* pages = W<QTabWidget>("PageControlBtn");
    const QPoint onTabs = pages->tabBar()->geometry().center();
    const QPoint onPage(20, pages->height() - 20);
    EXPECT_FALSE(showsAt("PageControlBtn", onTabs));
    moveOver(pages->tabBar());
    EXPECT_TRUE(showsAt("PageControlBtn", onTabs));
    EXPECT_FALSE(showsAt("PageControlBtn", onPage));
    // Moving over a page switches the page control's hint off and the
    // controls' hints to the form's flag.
    form->ApplyHintVisibility(false);
    moveOver(W("TabSheetFunc1"));
    EXPECT_FALSE(showsAt("PageControlBtn", onTabs));
    EXPECT_TRUE(shows("ComboBoxVd1"));
    M("M_TrigPulse")->trigger();
    EXPECT_TRUE(shows("ComboBoxVd1"));
    EXPECT_TRUE(shows("LabelPulseUt"));
    M("M_TrigPulse")->trigger();  // pulse off: its unit label is disabled
    EXPECT_FALSE(shows("LabelPulseUt"));
    form->ApplyHintVisibility(false);
    EXPECT_FALSE(shows("ComboBoxVd1"));
    form->ApplyHintVisibility(true);
    M("M_Hint")->trigger();  // hints off for the whole form
    EXPECT_FALSE(form->ShowHint());
    EXPECT_FALSE(shows("ComboBoxVd1"));
}

// ---------------------------------------------------------------------------
// Help and version.

TEST_F(SettingsForm, HelpOpensTheManualBesideTheProgramOrSaysWhy) {
    struct Case {
        DesktopOpenResult result;
        const char* message;
    };
    const Case cases[] = {
        {DesktopOpenResult::Opened, nullptr},
        {DesktopOpenResult::NotFound,
         "ユーザーズマニュアル zep9100_man.pdf を開けません。\r\n"
         "ファイルが移動または削除されていないか確認してください。"},
        {DesktopOpenResult::NoHandler,
         "ユーザーズマニュアル zep9100_man.pdf を開けません。\r\n"
         "PDFファイル閲覧ソフトがインストールされているか確認してください。"},
    };
    for (const Case& c : cases) {
        desktop.result = c.result;
        messages.shown.clear();
        M("M_Help")->trigger();
        EXPECT_EQ(desktop.opened.back(), std::filesystem::path("/opt/lumatrace/zep9100_man.pdf"));
        if (!c.message) {
            EXPECT_TRUE(messages.shown.empty());
            continue;
        }
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, c.message);
        EXPECT_EQ(messages.shown[0].title, "Lumatrace");
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    }
}

class FakeVersions : public VersionSource {
  public:
    bool ready = true;
    std::uint32_t driver = 0x01020304;
    bool DeviceReady() const override { return ready; }
    bool ReadDeviceInfo(std::array<std::uint8_t, kDeviceInfoSize>& info) override {
        info.fill(0);
        info[kFirmwareVersionByte] = 123;
        info[kFpgaVersionByte] = 45;
        return true;
    }
    bool ReadVersion(std::uint32_t& d, std::uint32_t& l) override {
        d = driver;
        l = 0x00010000;
        return true;
    }
};

TEST(SettingsVersionDialog, ShowsTheValuesReadAtCreation) {
    FakeVersions source;
    TFormVer dialog(&source);
    source.driver = 0;  // unplugged later: the dialog keeps what it read
    source.ready = false;
    EXPECT_EQ(dialog.Version->text(), QStringLiteral("Version 2.20"));
    EXPECT_EQ(dialog.LabelDrvVer->text(), QString::fromUtf8("  Drv Version\t:   12.34"));
    EXPECT_EQ(dialog.LabelDllVer->text(), QString::fromUtf8("  DLL Version\t:    1.00"));
    EXPECT_EQ(dialog.LabelFrmVer->text(), QString::fromUtf8("  Firm Version\t:    1.23"));
    EXPECT_EQ(dialog.LabelFpgaVer->text(), QString::fromUtf8("  FPGA Version\t:    0.45"));
    EXPECT_EQ(dialog.size(), QSize(359, 213));
    EXPECT_EQ(dialog.PanelVer->size(), QSize(150, 60));
    EXPECT_EQ(dialog.AppName->text(), QStringLiteral("Lumatrace"));
    EXPECT_EQ(dialog.ProductName->text(), QStringLiteral("for ZEP-9100"));
    EXPECT_TRUE(dialog.AppName->font().bold() && dialog.AppName->font().italic());
    // One left edge, the driver line centred in the panel.
    const int left = (150 - dialog.LabelDrvVer->width() - 4) / 2;
    for (QLabel* l :
         {dialog.LabelDrvVer, dialog.LabelDllVer, dialog.LabelFrmVer, dialog.LabelFpgaVer}) {
        EXPECT_EQ(l->x(), left);
    }
    EXPECT_TRUE(dialog.OKButton->isDefault());
    // Escape closes it with OK.
    dialog.open();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    TFormVer none(nullptr);
    EXPECT_EQ(none.LabelFpgaVer->text(), QString::fromUtf8("  FPGA Version\t:    0.00"));
}

TEST(SettingsSplash, ShowsItsPictureAtFullSize) {
    TFormSplash splash;
    EXPECT_EQ(splash.size(), QSize(539, 406));
    EXPECT_EQ(splash.ImageSplash->pixmap().size(), QSize(539, 406));
    EXPECT_TRUE(splash.windowFlags().testFlag(Qt::FramelessWindowHint));
}

TEST(SettingsArt, ToolImagesComeInTwoStates) {
    for (const char* action : {"A_Open", "A_Save", "A_Scale", "A_Grid", "A_Cur", "A_XY", "A_Fft",
                               "A_Setup", "A_Auto", "A_Stop", "A_Single", "A_Normal"}) {
        const QImage on = ToolImage(action, true);
        const QImage off = ToolImage(action, false);
        ASSERT_EQ(on.size(), QSize(24, 24)) << action;
        ASSERT_EQ(off.size(), QSize(24, 24)) << action;
        EXPECT_NE(on, off) << action;
        // The disabled image has no colour left.
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 24; ++x) {
                const QColor c = off.pixelColor(x, y);
                if (c.alpha() > 0) {
                    EXPECT_LE(std::abs(c.red() - c.green()) + std::abs(c.green() - c.blue()), 2)
                        << action << " " << x << "," << y;
                }
            }
        }
    }
    EXPECT_TRUE(ToolImage("A_Dtc", true).isNull());
}

}  // namespace
}  // namespace lumatrace
