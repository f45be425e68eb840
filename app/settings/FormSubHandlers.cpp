// TFormSub: the panel's part of every control, action and menu handler.
#include <initializer_list>
#include <vector>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>

#include "app/settings/FormSub.h"
#include "app/settings/FormVer.h"
#include "app/settings/MainMenuLayout.h"
#include "app/settings/PanelTexts.h"

namespace lumatrace {

namespace {

void SetEnabled(std::initializer_list<QWidget*> widgets, bool enabled) {
    for (QWidget* w : widgets) {
        w->setEnabled(enabled);
    }
}

}  // namespace

void TFormSub::ConnectControls() {
    ConnectPanelState();
    const auto list = [this](QComboBox* box, void (TFormSub::*handler)()) {
        connect(box, &QComboBox::activated, this, [this, handler] { (this->*handler)(); });
    };
    list(ComboBoxVd1, &TFormSub::ComboBoxVd1Change);
    list(ComboBoxVd2, &TFormSub::ComboBoxVd2Change);
    list(ComboBoxPb1, &TFormSub::ComboBoxPb1Change);
    list(ComboBoxPb2, &TFormSub::ComboBoxPb2Change);
    list(ComboBoxCup1, &TFormSub::ComboBoxCup1Change);
    list(ComboBoxCup2, &TFormSub::ComboBoxCup2Change);
    list(ComboBoxTrigSrc, &TFormSub::ComboBoxTrigSrcChange);
    list(ComboBoxTrigCup, &TFormSub::ComboBoxTrigCupChange);
    list(ComboBoxTrigSp, &TFormSub::ComboBoxTrigSpChange);
    list(ComboBoxTd, &TFormSub::ComboBoxTdChange);
    list(ComboBoxMemSize, &TFormSub::ComboBoxMemSizeChange);
    list(ComboBoxWaveForm, &TFormSub::ComboBoxWaveFormChange);
    list(ComboBoxNumber, &TFormSub::ComboBoxNumberChange);
    list(ComboBoxMath, &TFormSub::ComboBoxMathChange);
    list(ComboBoxFftVScale, &TFormSub::ComboBoxFftVScaleChange);
    list(ComboBoxFftHScale, &TFormSub::ComboBoxFftHScaleChange);

    // Latching buttons report clicks only; their down state set in code does not.
    const auto latch = [this](SpeedButton* button, void (TFormSub::*handler)()) {
        connect(button, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    latch(SpeedButtonCh1, &TFormSub::SpeedButtonCh1Click);
    latch(SpeedButtonCh2, &TFormSub::SpeedButtonCh2Click);
    latch(SpeedButtonDt, &TFormSub::SpeedButtonDtClick);
    latch(SpeedButtonDv, &TFormSub::SpeedButtonDvClick);
    latch(SpeedButtonMath, &TFormSub::SpeedButtonMathClick);
    latch(SpeedButtonFft, &TFormSub::SpeedButtonFftClick);

    // Check boxes run their handler on every change of state, also one made
    // in code (a menu mirror or the parameter file).
    const auto check = [this](QCheckBox* box, void (TFormSub::*handler)()) {
        connect(box, &QCheckBox::toggled, this, [this, handler] { (this->*handler)(); });
    };
    check(CheckBoxDelay, &TFormSub::CheckBoxDelayClick);
    check(CheckBoxPulse, &TFormSub::CheckBoxPulseClick);
    check(CheckBoxEqu, &TFormSub::CheckBoxEquClick);
    check(CheckBoxRoll, &TFormSub::CheckBoxRollClick);

    // Radio buttons run theirs when they become checked.
    const auto radio = [this](QRadioButton* button, void (TFormSub::*handler)()) {
        connect(button, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on) {
                (this->*handler)();
            }
        });
    };
    radio(RdBtnFull1, &TFormSub::RdBtnFull1Click);
    radio(RdBtn20MHz1, &TFormSub::RdBtn20MHz1Click);
    radio(RdBtnFull2, &TFormSub::RdBtnFull2Click);
    radio(RdBtn20MHz2, &TFormSub::RdBtn20MHz2Click);
    radio(RdBtnUnder, &TFormSub::RdBtnUnderClick);
    radio(RdBtnAbove, &TFormSub::RdBtnAboveClick);
    radio(RdBtnMath11, &TFormSub::RdBtnMath11Click);
    radio(RdBtnMath12, &TFormSub::RdBtnMath12Click);
    radio(RdBtnMath21, &TFormSub::RdBtnMath21Click);
    radio(RdBtnMath22, &TFormSub::RdBtnMath22Click);
    radio(RdBtnAdd, &TFormSub::RdBtnAddClick);
    radio(RdBtnSub, &TFormSub::RdBtnSubClick);
    radio(RdBtnMul, &TFormSub::RdBtnMulClick);
    radio(RdBtnDiv, &TFormSub::RdBtnDivClick);
    radio(RdBtnFftSrc1, &TFormSub::RdBtnFftSrc1Click);
    radio(RdBtnFftSrc2, &TFormSub::RdBtnFftSrc2Click);
    radio(RdBtnFftVstV, &TFormSub::RdBtnFftVstVClick);
    radio(RdBtnFftVstdBV, &TFormSub::RdBtnFftVstdBVClick);
    radio(RdBtnFftWndRc, &TFormSub::RdBtnFftWndRcClick);
    radio(RdBtnFftWndHm, &TFormSub::RdBtnFftWndHmClick);
    radio(RdBtnFftWndHn, &TFormSub::RdBtnFftWndHnClick);
    radio(RdBtnFftWndBh, &TFormSub::RdBtnFftWndBhClick);

    const auto upDown = [this](UpDown* u, void (TFormSub::*onClick)(UpDownButton),
                               void (TFormSub::*onMouseUp)()) {
        connect(u, &UpDown::clicked, this,
                [this, onClick](UpDownButton button) { (this->*onClick)(button); });
        connect(u, &UpDown::mouseReleased, this, [this, onMouseUp] { (this->*onMouseUp)(); });
    };
    upDown(UpDownCh1, &TFormSub::UpDownCh1Click, &TFormSub::UpDownCh1MouseUp);
    upDown(UpDownCh2, &TFormSub::UpDownCh2Click, &TFormSub::UpDownCh2MouseUp);
    upDown(UpDownTrigL, &TFormSub::UpDownTrigLClick, &TFormSub::UpDownTrigLMouseUp);
    upDown(UpDownTrigP, &TFormSub::UpDownTrigPClick, &TFormSub::UpDownTrigPMouseUp);
    upDown(UpDownDelay, &TFormSub::UpDownDelayClick, &TFormSub::UpDownDelayMouseUp);
    upDown(UpDownPulse, &TFormSub::UpDownPulseClick, &TFormSub::UpDownPulseMouseUp);
    upDown(UpDownDt, &TFormSub::UpDownDtClick, &TFormSub::UpDownDtMouseUp);
    upDown(UpDownDv, &TFormSub::UpDownDvClick, &TFormSub::UpDownDvMouseUp);
    upDown(UpDownMath, &TFormSub::UpDownMathClick, &TFormSub::UpDownMathMouseUp);
    upDown(UpDownFft, &TFormSub::UpDownFftClick, &TFormSub::UpDownFftMouseUp);

    const auto action = [this](QAction* a, void (TFormSub::*handler)()) {
        connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    action(A_Open, &TFormSub::A_OpenExecute);
    action(A_Save, &TFormSub::A_SaveExecute);
    action(A_Auto, &TFormSub::A_AutoExecute);
    action(A_Stop, &TFormSub::A_StopExecute);
    action(A_Single, &TFormSub::A_SingleExecute);
    action(A_Normal, &TFormSub::A_NormalExecute);
    action(A_Scale, &TFormSub::A_VisibleExecute);
    action(A_Grid, &TFormSub::A_VisibleExecute);
    action(A_Cur, &TFormSub::A_CurExecute);
    action(A_XY, &TFormSub::A_XYExecute);
    action(A_Fft, &TFormSub::A_FftExecute);
    action(A_Dtc, &TFormSub::A_DtcExecute);
    action(A_Dvc, &TFormSub::A_DvcExecute);
    action(A_Setup, &TFormSub::A_SetupExecute);

    // Menu items of a submenu share one handler that receives the item.
    const auto items = [this](const char* submenu, void (TFormSub::*handler)(QAction*)) {
        for (QAction* item : MenuItem(submenu)->menu()->actions()) {
            connect(item, &QAction::triggered, this,
                    [this, handler, item] { (this->*handler)(item); });
        }
    };
    items("M_Vd1", &TFormSub::M_Vd1Click);
    items("M_Vd2", &TFormSub::M_Vd2Click);
    items("M_Pb1", &TFormSub::M_Pb1Click);
    items("M_Pb2", &TFormSub::M_Pb2Click);
    items("M_Cup1", &TFormSub::M_Cup1Click);
    items("M_Cup2", &TFormSub::M_Cup2Click);
    items("M_TrigSrc", &TFormSub::M_TrigSrcClick);
    items("M_TrigCup", &TFormSub::M_TrigCupClick);
    items("M_TrigSp", &TFormSub::M_TrigSpClick);
    items("M_Td", &TFormSub::M_TdClick);
    items("M_MemSize", &TFormSub::M_MemSizeClick);
    items("M_WaveForm", &TFormSub::M_WaveFormClick);
    items("M_Number", &TFormSub::M_NumberClick);
    items("M_ScaleMath", &TFormSub::M_ScaleMathClick);
    items("M_FftVScale", &TFormSub::M_FftVScaleClick);
    items("M_FftHScale", &TFormSub::M_FftHScaleClick);
    items("M_BW1", &TFormSub::M_BW1Click);
    items("M_BW2", &TFormSub::M_BW2Click);
    items("M_Math1", &TFormSub::M_Math1Click);
    items("M_Math2", &TFormSub::M_Math2Click);
    items("M_Ope", &TFormSub::M_OpeClick);
    items("M_FftSrc", &TFormSub::M_FftSrcClick);
    items("M_FftVsTyp", &TFormSub::M_FftVsTypClick);
    items("M_FftWnd", &TFormSub::M_FftWndClick);

    const auto item = [this](const char* name, void (TFormSub::*handler)()) {
        connect(MenuItem(name), &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    };
    item("M_TrigDelay", &TFormSub::M_TrigDelayClick);
    item("M_TrigPulse", &TFormSub::M_TrigPulseClick);
    item("M_Equ", &TFormSub::M_EquClick);
    item("M_Roll", &TFormSub::M_RollClick);
    item("M_Ch1", &TFormSub::M_Ch1Click);
    item("M_Ch2", &TFormSub::M_Ch2Click);
    item("M_Dt", &TFormSub::M_DtClick);
    item("M_Dv", &TFormSub::M_DvClick);
    item("M_Math", &TFormSub::M_MathClick);
    item("M_Hint", &TFormSub::M_HintClick);
    item("M_Help", &TFormSub::M_HelpClick);
    item("M_Version", &TFormSub::M_VersionClick);
    item("M_Exit", &TFormSub::M_ExitClick);
}

// ---------------------------------------------------------------------------
// The panel state and the controls that show it.

QComboBox* TFormSub::ListWidget(PanelList list) const {
    switch (list) {
        case PanelList::Vd1:
            return ComboBoxVd1;
        case PanelList::Vd2:
            return ComboBoxVd2;
        case PanelList::Pb1:
            return ComboBoxPb1;
        case PanelList::Pb2:
            return ComboBoxPb2;
        case PanelList::Cup1:
            return ComboBoxCup1;
        case PanelList::Cup2:
            return ComboBoxCup2;
        case PanelList::TrigSrc:
            return ComboBoxTrigSrc;
        case PanelList::TrigCup:
            return ComboBoxTrigCup;
        case PanelList::TrigSp:
            return ComboBoxTrigSp;
        case PanelList::Td:
            return ComboBoxTd;
        case PanelList::MemSize:
            return ComboBoxMemSize;
        case PanelList::WaveForm:
            return ComboBoxWaveForm;
        case PanelList::Number:
            return ComboBoxNumber;
        case PanelList::Math:
            return ComboBoxMath;
        case PanelList::FftVScale:
            return ComboBoxFftVScale;
        case PanelList::FftHScale:
            return ComboBoxFftHScale;
    }
    return nullptr;
}

SpeedButton* TFormSub::LatchWidget(PanelLatch latch) const {
    switch (latch) {
        case PanelLatch::Ch1:
            return SpeedButtonCh1;
        case PanelLatch::Ch2:
            return SpeedButtonCh2;
        case PanelLatch::Dt:
            return SpeedButtonDt;
        case PanelLatch::Dv:
            return SpeedButtonDv;
        case PanelLatch::Math:
            return SpeedButtonMath;
        case PanelLatch::Fft:
            return SpeedButtonFft;
    }
    return nullptr;
}

QCheckBox* TFormSub::CheckWidget(PanelCheck check) const {
    switch (check) {
        case PanelCheck::Delay:
            return CheckBoxDelay;
        case PanelCheck::Pulse:
            return CheckBoxPulse;
        case PanelCheck::Equ:
            return CheckBoxEqu;
        case PanelCheck::Roll:
            return CheckBoxRoll;
    }
    return nullptr;
}

std::vector<QRadioButton*> TFormSub::RadioWidgets(PanelRadio group) const {
    switch (group) {
        case PanelRadio::Bw1:
            return {RdBtnFull1, RdBtn20MHz1};
        case PanelRadio::Bw2:
            return {RdBtnFull2, RdBtn20MHz2};
        case PanelRadio::PulseCond:
            return {RdBtnUnder, RdBtnAbove};
        case PanelRadio::Math1:
            return {RdBtnMath11, RdBtnMath12};
        case PanelRadio::Math2:
            return {RdBtnMath21, RdBtnMath22};
        case PanelRadio::Ope:
            return {RdBtnAdd, RdBtnSub, RdBtnMul, RdBtnDiv};
        case PanelRadio::FftSrc:
            return {RdBtnFftSrc1, RdBtnFftSrc2};
        case PanelRadio::FftVst:
            return {RdBtnFftVstV, RdBtnFftVstdBV};
        case PanelRadio::FftWnd:
            return {RdBtnFftWndRc, RdBtnFftWndHm, RdBtnFftWndHn, RdBtnFftWndBh};
    }
    return {};
}

QAction* TFormSub::FlagAction(PanelFlag flag) const {
    switch (flag) {
        case PanelFlag::Scale:
            return A_Scale;
        case PanelFlag::Grid:
            return A_Grid;
        case PanelFlag::XY:
            return A_XY;
        case PanelFlag::Hint:
            return MenuItem("M_Hint");
    }
    return nullptr;
}

void TFormSub::ConnectPanelState() {
    // Connected before the handlers: a handler always finds the control's new
    // state in the panel state. What the form itself shows is shown with the
    // signals blocked and never comes back this way.
    for (int i = 0; i < kPanelListCount; ++i) {
        const auto list = static_cast<PanelList>(i);
        connect(ListWidget(list), &QComboBox::currentIndexChanged, this,
                [this, list](int index) { panel_.List(list).index = index; });
    }
    for (int i = 0; i < kPanelLatchCount; ++i) {
        const auto latch = static_cast<PanelLatch>(i);
        connect(LatchWidget(latch), &QToolButton::toggled, this,
                [this, latch](bool down) { panel_.Down(latch) = down; });
    }
    for (int i = 0; i < kPanelCheckCount; ++i) {
        const auto check = static_cast<PanelCheck>(i);
        connect(CheckWidget(check), &QCheckBox::toggled, this,
                [this, check](bool on) { panel_.Checked(check) = on; });
    }
    for (int i = 0; i < kPanelRadioCount; ++i) {
        const auto group = static_cast<PanelRadio>(i);
        const std::vector<QRadioButton*> radios = RadioWidgets(group);
        for (std::size_t m = 0; m < radios.size(); ++m) {
            connect(radios[m], &QRadioButton::toggled, this, [this, group, m](bool on) {
                if (on) {
                    panel_.Radio(group) = static_cast<int>(m);
                }
            });
        }
    }
    for (int i = 0; i < kPanelFlagCount; ++i) {
        const auto flag = static_cast<PanelFlag>(i);
        connect(FlagAction(flag), &QAction::toggled, this,
                [this, flag](bool on) { panel_.Flag(flag) = on; });
    }
}

void TFormSub::SetList(PanelList list, ListState state) {
    panel_.List(list) = std::move(state);
    ShowList(list);
}

void TFormSub::ShowList(PanelList list) {
    QComboBox* box = ListWidget(list);
    const ListState& state = panel_.List(list);
    const QSignalBlocker quiet(box);
    bool same = box->count() == static_cast<int>(state.items.size());
    for (int i = 0; same && i < box->count(); ++i) {
        same = box->itemText(i).toStdString() == state.items[static_cast<std::size_t>(i)];
    }
    if (!same) {
        box->clear();
        for (const std::string& item : state.items) {
            box->addItem(QString::fromStdString(item));
        }
    }
    box->setCurrentIndex(state.index);
}

void TFormSub::ShowLatch(PanelLatch latch) {
    SpeedButton* button = LatchWidget(latch);
    const QSignalBlocker quiet(button);
    button->setDown(panel_.Down(latch));
    button->setCaptionColor(panel_.CaptionColor(latch));
}

void TFormSub::ShowCheck(PanelCheck check) {
    QCheckBox* box = CheckWidget(check);
    const QSignalBlocker quiet(box);
    box->setChecked(panel_.Checked(check));
}

void TFormSub::ShowRadio(PanelRadio group) {
    const std::vector<QRadioButton*> radios = RadioWidgets(group);
    const int checked = panel_.Radio(group);
    for (std::size_t m = 0; m < radios.size(); ++m) {
        QRadioButton* r = radios[m];
        const QSignalBlocker quiet(r);
        if (static_cast<int>(m) == checked) {
            r->setChecked(true);
        } else if (r->isChecked() && (checked < 0 || checked >= static_cast<int>(radios.size()))) {
            // A group with no member checked: the exclusive group would refuse.
            r->setAutoExclusive(false);
            r->setChecked(false);
            r->setAutoExclusive(true);
        }
    }
}

void TFormSub::ShowFlag(PanelFlag flag) {
    QAction* action = FlagAction(flag);
    const QSignalBlocker quiet(action);
    action->setChecked(panel_.Flag(flag));
}

void TFormSub::ShowPanelState() {
    for (int i = 0; i < kPanelListCount; ++i) {
        ShowList(static_cast<PanelList>(i));
    }
    for (int i = 0; i < kPanelLatchCount; ++i) {
        ShowLatch(static_cast<PanelLatch>(i));
    }
    for (int i = 0; i < kPanelCheckCount; ++i) {
        ShowCheck(static_cast<PanelCheck>(i));
    }
    for (int i = 0; i < kPanelRadioCount; ++i) {
        ShowRadio(static_cast<PanelRadio>(i));
    }
    for (int i = 0; i < kPanelFlagCount; ++i) {
        ShowFlag(static_cast<PanelFlag>(i));
    }
}

// ---------------------------------------------------------------------------
// Menu checks.

void TFormSub::CheckMenuItem(const std::string& name) {
    if (QAction* item = MenuItem(name)) {
        item->setChecked(true);
    }
}

void TFormSub::CheckListMenuItem(const std::string& submenu, int index) {
    QAction* menu = MenuItem(submenu);
    if (!menu || index < 0) {
        return;
    }
    for (QAction* item : menu->menu()->actions()) {
        if (item->isCheckable() && item->data().isValid() && item->data().toInt() == index) {
            item->setChecked(true);
            return;
        }
    }
}

void TFormSub::EnsureFocus() {
    QWidget* focus = focusWidget();
    if (!focus || !focus->isEnabled() || !focus->isVisible()) {
        PageControlBtn->setFocus(Qt::OtherFocusReason);
    }
}

bool TFormSub::ProbeChangeInProgress(int ch) const {
    return ch >= 0 && ch < 2 && probeChangeInProgress_[static_cast<std::size_t>(ch)];
}

// ---------------------------------------------------------------------------
// Lists.

void TFormSub::ComboBoxVd1Change() {
    CheckListMenuItem("M_Vd1", panel_.Index(PanelList::Vd1));
}
void TFormSub::ComboBoxVd2Change() {
    CheckListMenuItem("M_Vd2", panel_.Index(PanelList::Vd2));
}
void TFormSub::ComboBoxPb1Change() {
    ProbeChanged(0);
}
void TFormSub::ComboBoxPb2Change() {
    ProbeChanged(1);
}

void TFormSub::ProbeChanged(int ch) {
    const PanelList probe = ch == 0 ? PanelList::Pb1 : PanelList::Pb2;
    const PanelList volts = ch == 0 ? PanelList::Vd1 : PanelList::Vd2;
    const std::string c = std::to_string(ch + 1);
    probeChangeInProgress_[static_cast<std::size_t>(ch)] = true;
    const ProbeChange change = ApplyProbeChange(*lists_, panel_.Index(probe), panel_.Index(volts));
    settings_.probeFactor[static_cast<std::size_t>(ch)] = change.probeFactor;
    SetList(volts, change.voltsPerDiv);
    for (int i = 0; i < kVoltsPerDivCount; ++i) {
        MenuItem("M_Vd" + c + "_" + std::to_string(i))
            ->setText(
                QString::fromStdString(change.voltsPerDiv.items[static_cast<std::size_t>(i)]));
    }
    CheckListMenuItem("M_Pb" + c, panel_.Index(probe));
    if (ch == 0) {
        ComboBoxVd1Change();
    } else {
        ComboBoxVd2Change();
    }
    probeChangeInProgress_[static_cast<std::size_t>(ch)] = false;
}

void TFormSub::ComboBoxCup1Change() {
    CouplingChanged(0);
}
void TFormSub::ComboBoxCup2Change() {
    CouplingChanged(1);
}

void TFormSub::CouplingChanged(int ch) {
    const int coupling = panel_.Index(ch == 0 ? PanelList::Cup1 : PanelList::Cup2);
    ApplyCoupling(settings_, ch, coupling);
    CheckListMenuItem(ch == 0 ? "M_Cup1" : "M_Cup2", coupling);
}

void TFormSub::ComboBoxTrigSrcChange() {
    const TrigSourceChange change =
        ApplyTrigSource(*lists_, panel_.Index(PanelList::TrigSrc), settings_.trigCouplingBySource);
    SetList(PanelList::TrigCup, change.coupling);
    MenuItem("M_TCup_LF")->setVisible(change.filterItemsVisible);
    MenuItem("M_TCup_HF")->setVisible(change.filterItemsVisible);
    CheckListMenuItem("M_TrigSrc", panel_.Index(PanelList::TrigSrc));
    ComboBoxTrigCupChange();
}

void TFormSub::ComboBoxTrigCupChange() {
    RememberTrigCoupling(settings_.trigCouplingBySource, panel_.Index(PanelList::TrigSrc),
                         panel_.Index(PanelList::TrigCup));
    CheckListMenuItem("M_TrigCup", panel_.Index(PanelList::TrigCup));
}

void TFormSub::ComboBoxTrigSpChange() {
    CheckListMenuItem("M_TrigSp", panel_.Index(PanelList::TrigSp));
}

void TFormSub::ComboBoxTdChange() {
    CheckListMenuItem("M_Td", panel_.Index(PanelList::Td));
}

void TFormSub::ComboBoxMemSizeChange() {
    // The T/div is selected from its mirror: a waveform set restores only that.
    const MemorySizeChange change =
        ApplyMemorySizeChange(*lists_, panel_.Index(PanelList::MemSize), settings_.timeDivIndex);
    settings_.memorySizeIndex = change.memorySizeIndex;
    settings_.memoryPoints = change.memoryPoints;
    SetList(PanelList::Td, change.timeDiv);
    for (int i = 0; i < kTimeDivCount; ++i) {
        MenuItem(TimeDivMenuName(i))
            ->setVisible(change.timeDivMenuVisible[static_cast<std::size_t>(i)]);
    }
    CheckListMenuItem("M_MemSize", panel_.Index(PanelList::MemSize));
    CheckListMenuItem("M_Td", panel_.Index(PanelList::Td));
}

void TFormSub::ComboBoxWaveFormChange() {
    const NumberListChange change =
        ApplyWaveformMode(*lists_, panel_.Index(PanelList::WaveForm), settings_.memorySizeIndex,
                          panel_.Index(PanelList::Number));
    SetList(PanelList::Number, change.number);
    CheckListMenuItem("M_WaveForm", panel_.Index(PanelList::WaveForm));
    for (int i = 0; i < kNumberMenuCount; ++i) {
        QAction* item = MenuItem(NumberMenuName(i));
        item->setVisible(change.numberMenuVisible[static_cast<std::size_t>(i)]);
        item->setEnabled(change.numberEnabled);
    }
    SetEnabled({LabelNumber, ComboBoxNumber}, change.numberEnabled);
    EnsureFocus();
    ComboBoxNumberChange();
}

void TFormSub::ComboBoxNumberChange() {
    const int item = NumberMenuIndexForText(panel_.Text(PanelList::Number));
    if (item >= 0) {
        CheckMenuItem(NumberMenuName(item));
    }
}

void TFormSub::ComboBoxMathChange() {
    CheckListMenuItem("M_ScaleMath", panel_.Index(PanelList::Math));
}

void TFormSub::ComboBoxFftVScaleChange() {
    settings_.SetFftVScaleIndex(FftVerticalType(panel_), panel_.Index(PanelList::FftVScale));
    CheckListMenuItem("M_FftVScale", panel_.Index(PanelList::FftVScale));
}

void TFormSub::ComboBoxFftHScaleChange() {
    SyncFftHScaleMenu();
}

// ---------------------------------------------------------------------------
// Buttons.

void TFormSub::SpeedButtonCh1Click() {
    ChannelButtonChanged(0);
}
void TFormSub::SpeedButtonCh2Click() {
    ChannelButtonChanged(1);
}

void TFormSub::ChannelButtonChanged(int ch) {
    const bool down = panel_.Down(ch == 0 ? PanelLatch::Ch1 : PanelLatch::Ch2);
    settings_.channelOn[static_cast<std::size_t>(ch)] = down ? 1 : 0;
    const std::string c = std::to_string(ch + 1);
    MenuItem("M_Ch" + c)->setChecked(down);
    const PanelEnabling e = ComputeEnabling(settings_);
    const bool on = e.channelControls[static_cast<std::size_t>(ch)];
    if (ch == 0) {
        SetEnabled({UpDownCh1, ComboBoxVd1, ComboBoxPb1, ComboBoxCup1}, on);
    } else {
        SetEnabled({UpDownCh2, ComboBoxVd2, ComboBoxPb2, ComboBoxCup2}, on);
    }
    SetEnabled({LabelVd, LabelPb, LabelCup}, e.channelLabels);
    for (const char* submenu : {"M_Vd", "M_Pb", "M_Cup"}) {
        for (QAction* item : MenuItem(submenu + c)->menu()->actions()) {
            item->setEnabled(on);
        }
    }
    EnsureFocus();
}

void TFormSub::SpeedButtonDtClick() {
    CursorButtonChanged(false);
}
void TFormSub::SpeedButtonDvClick() {
    CursorButtonChanged(true);
}

void TFormSub::CursorButtonChanged(bool deltaV) {
    const bool on = panel_.Down(deltaV ? PanelLatch::Dv : PanelLatch::Dt);
    (deltaV ? settings_.cursorVOn : settings_.cursorTOn) = on ? 1 : 0;
    MenuItem(deltaV ? "M_Dv" : "M_Dt")->setChecked(on);
    if (deltaV) {
        SetEnabled({SpeedButtonDvc, UpDownDv}, on);
    } else {
        SetEnabled({SpeedButtonDtc, UpDownDt}, on);
    }
    EnsureFocus();
}

void TFormSub::SpeedButtonMathClick() {
    settings_.mathOn = panel_.Down(PanelLatch::Math) ? 1 : 0;
    MenuItem("M_Math")->setChecked(panel_.Down(PanelLatch::Math));
    ApplyMathEnabling();
    EnsureFocus();
}

void TFormSub::ApplyMathEnabling() {
    const bool on = ComputeEnabling(settings_).mathGroup;
    SetEnabled({UpDownMath, LabelMath, ComboBoxMath, GroupBoxMath1, GroupBoxOpe, GroupBoxMath2},
               on);
    for (int i = 0; i < kMathScaleCount; ++i) {
        MenuItem(MathScaleMenuName(i))->setEnabled(on);
    }
    for (const char* name :
         {"M_Math11", "M_Math12", "M_Math21", "M_Math22", "M_Add", "M_Sub", "M_Mul", "M_Div"}) {
        MenuItem(name)->setEnabled(on);
    }
}

void TFormSub::SpeedButtonFftClick() {
    settings_.fftOn = panel_.Down(PanelLatch::Fft) ? 1 : 0;
    ApplyFftEnabling();
}

void TFormSub::ApplyFftEnabling() {
    const PanelEnabling e = ComputeEnabling(settings_);
    A_Fft->setChecked(settings_.fftOn != 0);
    SetEnabled({UpDownFft, LabelFftVScale, ComboBoxFftVScale, LabelFftHScale, ComboBoxFftHScale,
                GroupBoxFftSrc, GroupBoxFftVst, GroupBoxFftWnd},
               e.fftGroup);
    for (int i = 0; i < kMathScaleCount; ++i) {
        MenuItem("M_FVs_" + std::to_string(i))->setEnabled(e.fftGroup);
    }
    for (int i = 0; i < kFftHScaleMenuCount; ++i) {
        MenuItem("M_FHs_" + std::to_string(i))->setEnabled(e.fftGroup);
    }
    for (const char* name : {"M_FSrc_Ch1", "M_FSrc_Ch2", "M_FVst_V", "M_FVst_dBV", "M_FWnd_Rc",
                             "M_FWnd_Hm", "M_FWnd_Hn", "M_FWnd_Bh"}) {
        MenuItem(name)->setEnabled(e.fftGroup);
    }
    ApplyMathEnabling();
    MenuItem("M_Math")->setEnabled(e.mathMenuItem);
    EnsureFocus();
}

void TFormSub::CheckBoxDelayClick() {
    const bool on = panel_.Checked(PanelCheck::Delay);
    SetEnabled({LabelDelay, EditDelay, LabelDelayUt, UpDownDelay}, on);
    MenuItem("M_TrigDelay")->setChecked(on);
    EnsureFocus();
}

void TFormSub::CheckBoxPulseClick() {
    const bool on = panel_.Checked(PanelCheck::Pulse);
    SetEnabled({LabelPulse, EditPulse, LabelPulseUt, UpDownPulse, RdBtnUnder, RdBtnAbove}, on);
    MenuItem("M_TrigPulse")->setChecked(on);
    EnsureFocus();
}

void TFormSub::CheckBoxEquClick() {
    MenuItem("M_Equ")->setChecked(panel_.Checked(PanelCheck::Equ));
}
void TFormSub::CheckBoxRollClick() {
    MenuItem("M_Roll")->setChecked(panel_.Checked(PanelCheck::Roll));
}

void TFormSub::RdBtnFull1Click() {
    CheckMenuItem("M_BW1_Full");
}
void TFormSub::RdBtn20MHz1Click() {
    CheckMenuItem("M_BW1_20MHz");
}
void TFormSub::RdBtnFull2Click() {
    CheckMenuItem("M_BW2_Full");
}
void TFormSub::RdBtn20MHz2Click() {
    CheckMenuItem("M_BW2_20MHz");
}
void TFormSub::RdBtnUnderClick() {}
void TFormSub::RdBtnAboveClick() {}
void TFormSub::RdBtnMath11Click() {
    CheckMenuItem("M_Math11");
}
void TFormSub::RdBtnMath12Click() {
    CheckMenuItem("M_Math12");
}
void TFormSub::RdBtnMath21Click() {
    CheckMenuItem("M_Math21");
}
void TFormSub::RdBtnMath22Click() {
    CheckMenuItem("M_Math22");
}
void TFormSub::RdBtnAddClick() {
    CheckMenuItem("M_Add");
}
void TFormSub::RdBtnSubClick() {
    CheckMenuItem("M_Sub");
}
void TFormSub::RdBtnMulClick() {
    CheckMenuItem("M_Mul");
}
void TFormSub::RdBtnDivClick() {
    CheckMenuItem("M_Div");
}
void TFormSub::RdBtnFftSrc1Click() {
    CheckMenuItem("M_FSrc_Ch1");
}
void TFormSub::RdBtnFftSrc2Click() {
    CheckMenuItem("M_FSrc_Ch2");
}
void TFormSub::RdBtnFftWndRcClick() {
    CheckMenuItem("M_FWnd_Rc");
}
void TFormSub::RdBtnFftWndHmClick() {
    CheckMenuItem("M_FWnd_Hm");
}
void TFormSub::RdBtnFftWndHnClick() {
    CheckMenuItem("M_FWnd_Hn");
}
void TFormSub::RdBtnFftWndBhClick() {
    CheckMenuItem("M_FWnd_Bh");
}

void TFormSub::RdBtnFftVstVClick() {
    CheckMenuItem("M_FVst_V");
    FftVScaleTypeChanged();
}

void TFormSub::RdBtnFftVstdBVClick() {
    CheckMenuItem("M_FVst_dBV");
    FftVScaleTypeChanged();
}

void TFormSub::FftVScaleTypeChanged() {
    const int type = FftVerticalType(panel_);
    const FftVTypeChange change = ApplyFftVType(*lists_, type, settings_);
    SetList(PanelList::FftVScale, change.scale);
    settings_.tracePosition[kTraceFft] = change.tracePosition;
    for (int i = 0; i < kFftVScaleMenuCount; ++i) {
        QAction* item = MenuItem("M_FVs_" + std::to_string(i));
        if (static_cast<std::size_t>(i) < change.menuCaptions.size()) {
            item->setText(QString::fromStdString(change.menuCaptions[static_cast<std::size_t>(i)]));
        }
        item->setVisible(change.menuVisible[static_cast<std::size_t>(i)]);
    }
    ComboBoxFftVScaleChange();
}

// ---------------------------------------------------------------------------
// Actions.

void TFormSub::A_CurExecute() {
    panel_.Down(PanelLatch::Dt) = A_Cur->isChecked();
    panel_.Down(PanelLatch::Dv) = A_Cur->isChecked();
    ShowLatch(PanelLatch::Dt);
    ShowLatch(PanelLatch::Dv);
    SpeedButtonDtClick();
    SpeedButtonDvClick();
}

void TFormSub::A_FftExecute() {
    panel_.Down(PanelLatch::Fft) = A_Fft->isChecked();
    ShowLatch(PanelLatch::Fft);
    SpeedButtonFftClick();
}

void TFormSub::A_DtcExecute() {
    ToggleCursorSelection(false);
}
void TFormSub::A_DvcExecute() {
    ToggleCursorSelection(true);
}

void TFormSub::ToggleCursorSelection(bool deltaV) {
    if (!(deltaV ? settings_.cursorVOn : settings_.cursorTOn)) {
        return;
    }
    int& selected = deltaV ? settings_.cursorVSelected : settings_.cursorTSelected;
    selected = selected == 1 ? 2 : 1;
    const QImage& glyph =
        ImgLstCur[static_cast<std::size_t>(CursorSelectorImage(deltaV, selected))];
    (deltaV ? A_Dvc : A_Dtc)->setIcon(QPixmap::fromImage(glyph));
}

// ---------------------------------------------------------------------------
// Menu items.

void TFormSub::SelectFromMenu(PanelList list, int index) {
    panel_.List(list).index = index;
    ShowList(list);
}

// The radio of a group that a menu item stands for becomes the checked one;
// the focus moves along when another radio of the group had it. The radio's
// handler runs as when it is clicked.
void TFormSub::SelectRadioFromMenu(PanelRadio group, int member) {
    const std::vector<QRadioButton*> radios = RadioWidgets(group);
    if (member < 0 || member >= static_cast<int>(radios.size()) || panel_.Radio(group) == member) {
        return;
    }
    QRadioButton* target = radios[static_cast<std::size_t>(member)];
    bool focusInGroup = false;
    for (QRadioButton* r : radios) {
        focusInGroup = focusInGroup || (r != target && r->hasFocus());
    }
    target->setChecked(true);
    if (focusInGroup) {
        target->setFocus(Qt::OtherFocusReason);
    }
}

void TFormSub::M_Vd1Click(QAction* item) {
    SelectFromMenu(PanelList::Vd1, item->data().toInt());
    ComboBoxVd1Change();
}

void TFormSub::M_Vd2Click(QAction* item) {
    SelectFromMenu(PanelList::Vd2, item->data().toInt());
    ComboBoxVd2Change();
}

void TFormSub::M_Pb1Click(QAction* item) {
    SelectFromMenu(PanelList::Pb1, item->data().toInt());
    ComboBoxPb1Change();
}

void TFormSub::M_Pb2Click(QAction* item) {
    SelectFromMenu(PanelList::Pb2, item->data().toInt());
    ComboBoxPb2Change();
}

void TFormSub::M_Cup1Click(QAction* item) {
    SelectFromMenu(PanelList::Cup1, item->data().toInt());
    ComboBoxCup1Change();
}

void TFormSub::M_Cup2Click(QAction* item) {
    SelectFromMenu(PanelList::Cup2, item->data().toInt());
    ComboBoxCup2Change();
}

void TFormSub::M_TrigSrcClick(QAction* item) {
    SelectFromMenu(PanelList::TrigSrc, item->data().toInt());
    ComboBoxTrigSrcChange();
}

void TFormSub::M_TrigCupClick(QAction* item) {
    SelectFromMenu(PanelList::TrigCup, item->data().toInt());
    ComboBoxTrigCupChange();
}

void TFormSub::M_TrigSpClick(QAction* item) {
    SelectFromMenu(PanelList::TrigSp, item->data().toInt());
    ComboBoxTrigSpChange();
}

void TFormSub::M_TdClick(QAction* item) {
    SelectFromMenu(PanelList::Td, item->data().toInt());
    ComboBoxTdChange();
}

void TFormSub::M_MemSizeClick(QAction* item) {
    SelectFromMenu(PanelList::MemSize, item->data().toInt());
    ComboBoxMemSizeChange();
}

void TFormSub::M_WaveFormClick(QAction* item) {
    SelectFromMenu(PanelList::WaveForm, item->data().toInt());
    ComboBoxWaveFormChange();
}

void TFormSub::M_ScaleMathClick(QAction* item) {
    SelectFromMenu(PanelList::Math, item->data().toInt());
    ComboBoxMathChange();
}

void TFormSub::M_FftVScaleClick(QAction* item) {
    SelectFromMenu(PanelList::FftVScale, item->data().toInt());
    ComboBoxFftVScaleChange();
}

void TFormSub::M_FftHScaleClick(QAction* item) {
    SelectFromMenu(PanelList::FftHScale, item->data().toInt());
    ComboBoxFftHScaleChange();
}

void TFormSub::M_NumberClick(QAction* item) {
    // Without a "1" item the list starts at "2".
    const int index =
        NumberListIndexFromTag(item->data().toInt(), !MenuItem(NumberMenuName(0))->isVisible());
    SelectFromMenu(PanelList::Number, index);
    ComboBoxNumberChange();
}

void TFormSub::M_TrigDelayClick() {
    SetCheckFromMenu(PanelCheck::Delay, MenuItem("M_TrigDelay")->isChecked());
}
void TFormSub::M_TrigPulseClick() {
    SetCheckFromMenu(PanelCheck::Pulse, MenuItem("M_TrigPulse")->isChecked());
}
void TFormSub::M_EquClick() {
    SetCheckFromMenu(PanelCheck::Equ, MenuItem("M_Equ")->isChecked());
}
void TFormSub::M_RollClick() {
    SetCheckFromMenu(PanelCheck::Roll, MenuItem("M_Roll")->isChecked());
}

// A check box's menu twin: like a click on the box, the handler runs only
// when the state changes.
void TFormSub::SetCheckFromMenu(PanelCheck check, bool on) {
    if (panel_.Checked(check) == on) {
        return;
    }
    panel_.Checked(check) = on;
    ShowCheck(check);
    switch (check) {
        case PanelCheck::Delay:
            CheckBoxDelayClick();
            break;
        case PanelCheck::Pulse:
            CheckBoxPulseClick();
            break;
        case PanelCheck::Equ:
            CheckBoxEquClick();
            break;
        case PanelCheck::Roll:
            CheckBoxRollClick();
            break;
    }
}

void TFormSub::M_Ch1Click() {
    panel_.Down(PanelLatch::Ch1) = MenuItem("M_Ch1")->isChecked();
    ShowLatch(PanelLatch::Ch1);
    SpeedButtonCh1Click();
}

void TFormSub::M_Ch2Click() {
    panel_.Down(PanelLatch::Ch2) = MenuItem("M_Ch2")->isChecked();
    ShowLatch(PanelLatch::Ch2);
    SpeedButtonCh2Click();
}

void TFormSub::M_DtClick() {
    panel_.Down(PanelLatch::Dt) = MenuItem("M_Dt")->isChecked();
    ShowLatch(PanelLatch::Dt);
    SpeedButtonDtClick();
}

void TFormSub::M_DvClick() {
    panel_.Down(PanelLatch::Dv) = MenuItem("M_Dv")->isChecked();
    ShowLatch(PanelLatch::Dv);
    SpeedButtonDvClick();
}

void TFormSub::M_MathClick() {
    panel_.Down(PanelLatch::Math) = MenuItem("M_Math")->isChecked();
    ShowLatch(PanelLatch::Math);
    SpeedButtonMathClick();
}

void TFormSub::M_HintClick() {
    SetShowHint(MenuItem("M_Hint")->isChecked());
}

void TFormSub::M_BW1Click(QAction* item) {
    SelectRadioFromMenu(PanelRadio::Bw1, item->data().toInt());
}
void TFormSub::M_BW2Click(QAction* item) {
    SelectRadioFromMenu(PanelRadio::Bw2, item->data().toInt());
}
void TFormSub::M_Math1Click(QAction* item) {
    SelectRadioFromMenu(PanelRadio::Math1, item->data().toInt());
}
void TFormSub::M_Math2Click(QAction* item) {
    SelectRadioFromMenu(PanelRadio::Math2, item->data().toInt());
}
void TFormSub::M_OpeClick(QAction* item) {
    SelectRadioFromMenu(PanelRadio::Ope, item->data().toInt());
}
void TFormSub::M_FftSrcClick(QAction* item) {
    SelectRadioFromMenu(PanelRadio::FftSrc, item->data().toInt());
}
void TFormSub::M_FftVsTypClick(QAction* item) {
    SelectRadioFromMenu(PanelRadio::FftVst, item->data().toInt());
}
void TFormSub::M_FftWndClick(QAction* item) {
    SelectRadioFromMenu(PanelRadio::FftWnd, item->data().toInt());
}

void TFormSub::M_HelpClick() {
    const std::filesystem::path manual = programFolder_ / std::string(kManualFileName);
    std::string hint;
    switch (desktop_->OpenFile(manual)) {
        case DesktopOpenResult::Opened:
            return;
        case DesktopOpenResult::NotFound:
            hint = kManualMissingHint;
            break;
        case DesktopOpenResult::NoHandler:
            hint = kManualNoViewerHint;
            break;
    }
    messages_->Show(MessageIcon::Error, "Lumatrace",
                    UiText("Panel", kManualOpenFailed) + UiText("Panel", hint));
}

void TFormSub::M_VersionClick() {
    if (!versionDialog_) {
        // No dialog from start-up: one that shows "no instrument".
        versionDialog_ = new TFormVer(nullptr, this);
    }
    versionDialog_->ShowModal();
}

void TFormSub::M_ExitClick() {
    close();
}

}  // namespace lumatrace
