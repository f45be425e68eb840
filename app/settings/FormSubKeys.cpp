// TFormSub: keyboard rules and hint display. The form watches the events of
// all its controls (installed on the application, limited to this window).
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>

#include "app/settings/FormSub.h"
#include "app/settings/PanelTexts.h"

namespace lumatrace {

namespace {

int ToPanelKey(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Up:
            return kKeyUp;
        case Qt::Key_Down:
            return kKeyDown;
        case Qt::Key_Left:
            return kKeyLeft;
        case Qt::Key_Right:
            return kKeyRight;
        case Qt::Key_PageUp:
            return kKeyPageUp;
        case Qt::Key_PageDown:
            return kKeyPageDown;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return kKeyTab;
        case Qt::Key_Shift:
            return kKeyShift;
        case Qt::Key_Control:
            return kKeyControl;
        case Qt::Key_Alt:
            return kKeyAlt;
        default:
            // Letters and digits are their ASCII codes in both; every other
            // key keeps its own distinct code.
            return qtKey;
    }
}

KeyModifiers ToModifiers(Qt::KeyboardModifiers m) {
    KeyModifiers mods;
    mods.shift = m.testFlag(Qt::ShiftModifier);
    mods.ctrl = m.testFlag(Qt::ControlModifier);
    mods.alt = m.testFlag(Qt::AltModifier);
    mods.meta = m.testFlag(Qt::MetaModifier);
    return mods;
}

FocusKind KindOf(const QWidget* target) {
    return qobject_cast<const QLineEdit*>(target)   ? FocusKind::Edit
           : qobject_cast<const QCheckBox*>(target) ? FocusKind::CheckBox
                                                    : FocusKind::Other;
}

}  // namespace

bool TFormSub::InThisForm(QObject* object) const {
    return object->isWidgetType() && static_cast<QWidget*>(object)->window() == this;
}

bool TFormSub::eventFilter(QObject* watched, QEvent* event) {
    if (!InThisForm(watched)) {
        return TFormBase::eventFilter(watched, event);
    }
    auto* widget = static_cast<QWidget*>(watched);
    switch (event->type()) {
        case QEvent::ShortcutOverride: {
            auto* key = static_cast<QKeyEvent*>(event);
            // The edit's own editing keys come before the menu shortcuts on
            // the same keys (Ctrl+A, Ctrl+C, Ctrl+X).
            if (EditOwnsKey(KindOf(widget), ToPanelKey(key->key()),
                            ToModifiers(key->modifiers()))) {
                event->accept();
                return true;
            }
            // A character the edit refuses is not "typing": the menu's own
            // shortcuts (Shift+T, ...) keep working in the edits.
            if (qobject_cast<PanelEdit*>(widget) && IsTypedCharacter(key) &&
                !EditAcceptsCharacter(static_cast<char32_t>(key->text().at(0).unicode()))) {
                event->ignore();
                return true;
            }
            // The form's Alt keys come before the accelerators of the same letters.
            const PanelKeyDecision d =
                DecidePanelKey(ToPanelKey(key->key()), ToModifiers(key->modifiers()), KeyContext());
            if (d.focus != FocusTarget::None) {
                event->accept();
                return true;
            }
            break;
        }
        case QEvent::KeyPress:
            return HandleKeyPress(widget, static_cast<QKeyEvent*>(event));
        case QEvent::KeyRelease:
            return HandleKeyRelease(static_cast<QKeyEvent*>(event));
        case QEvent::FocusOut: {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
                if (widget == EditDelay) {
                    EditDelayExit();
                } else if (widget == EditPulse) {
                    EditPulseExit();
                }
            }
            break;
        }
        case QEvent::MouseMove:
            if (widget == PageControlBtn->tabBar()) {
                pageControlHint_ = ShowHint();
            } else if (widget == TabSheetFunc1 || widget == TabSheetFunc2 ||
                       widget == TabSheetFunc3) {
                pageControlHint_ = false;
                ApplyHintVisibility(ShowHint());
            }
            break;
        case QEvent::ToolTip:
            return HandleToolTip(widget, event);
        default:
            break;
    }
    return TFormBase::eventFilter(watched, event);
}

bool TFormSub::HandleKeyPress(QWidget* target, QKeyEvent* event) {
    const int key = ToPanelKey(event->key());
    const KeyModifiers mods = ToModifiers(event->modifiers());
    const FocusKind kind = KindOf(target);
    // The shortcut filter: taken keys go nowhere, not even as characters.
    if (ShortcutFilterTakes(kind, key, mods)) {
        return true;
    }
    // Ctrl+Tab and Shift+Ctrl+Tab turn the pages wherever the focus is on them,
    // before any control or the form's own keys see the key.
    if (key == kKeyTab && mods.ctrl && !mods.alt &&
        (target == PageControlBtn || PageControlBtn->isAncestorOf(target))) {
        const int pages = PageControlBtn->count();
        const int step = (mods.shift || event->key() == Qt::Key_Backtab) ? pages - 1 : 1;
        PageControlBtn->setCurrentIndex((PageControlBtn->currentIndex() + step) % pages);
        EnsureFocus();
        return true;
    }
    if (FormKeyDown(key, mods, event->isAutoRepeat())) {
        // A consumed key still types its character (a capital letter into an
        // edit), Tab still moves between pages and controls, and an edit
        // still copies, cuts, pastes and selects.
        if (!IsTypedCharacter(event) && key != kKeyTab && !EditOwnsKey(kind, key, mods)) {
            return true;
        }
    }
    // Dialog keys: with Shift or Ctrl held, arrows do not walk the buttons.
    if (IsArrowKey(key) && !ArrowMovesFocus(mods) && qobject_cast<QAbstractButton*>(target)) {
        return true;
    }
    if (target == EditDelay) {
        EditDelayKeyDown(event->key());
    } else if (target == EditPulse) {
        EditPulseKeyDown(event->key());
    }
    return false;
}

bool TFormSub::HandleKeyRelease(QKeyEvent* event) {
    // Auto-repeat releases are not the end of the key.
    if (!event->isAutoRepeat()) {
        FormKeyUp(ToPanelKey(event->key()));
    }
    return false;
}

bool TFormSub::FormKeyDown(int key, KeyModifiers mods, bool autoRepeat) {
    if (autoRepeat && key == drainingKey_) {
        return true;  // queued up behind the step that is being taken
    }
    const UpDownId ended = keySequence_.KeyDown(key);
    if (ended != UpDownId::None) {
        RunMouseUp(ended);
    }
    const PanelKeyDecision d = DecidePanelKey(key, mods, KeyContext());
    if (d.step != UpDownId::None) {
        cursorPairMove_ = d.pairMove;
        UpDownOf(d.step)->step(d.stepUp ? UpDownButton::Up : UpDownButton::Down);
        cursorPairMove_ = false;
        keySequence_.Stepped(d.step);
        if (settings_.rollActive) {
            TimerRollTimer();
        } else {
            TimerStatusTimer();
        }
        // A step may take longer than the repeat rate: drop the repeats of
        // this key that arrived meanwhile instead of stepping on and on.
        const int previous = drainingKey_;
        drainingKey_ = key;
        QCoreApplication::processEvents();
        drainingKey_ = previous;
    }
    QWidget* focus = nullptr;
    switch (d.focus) {
        case FocusTarget::None:
            break;
        case FocusTarget::ProbeCh1:
            focus = ComboBoxPb1;
            break;
        case FocusTarget::CouplingCh1:
            focus = ComboBoxCup1;
            break;
        case FocusTarget::VoltsPerDivCh1:
            focus = ComboBoxVd1;
            break;
        case FocusTarget::ProbeCh2:
            focus = ComboBoxPb2;
            break;
        case FocusTarget::CouplingCh2:
            focus = ComboBoxCup2;
            break;
        case FocusTarget::VoltsPerDivCh2:
            focus = ComboBoxVd2;
            break;
        case FocusTarget::MathFirstOperand:
            focus = panel_.Radio(PanelRadio::Math1) == 0 ? RdBtnMath11 : RdBtnMath12;
            break;
        case FocusTarget::MathSecondOperand:
            focus = panel_.Radio(PanelRadio::Math2) == 0 ? RdBtnMath21 : RdBtnMath22;
            break;
        case FocusTarget::MathOperator: {
            const std::vector<QRadioButton*> radios = RadioWidgets(PanelRadio::Ope);
            const int op = panel_.Radio(PanelRadio::Ope);
            if (op >= 0 && op < static_cast<int>(radios.size())) {
                focus = radios[static_cast<std::size_t>(op)];
            }
            break;
        }
    }
    if (focus) {
        focus->setFocus(Qt::ShortcutFocusReason);
    }
    return d.consume;
}

void TFormSub::FormKeyUp(int key) {
    const UpDownId ended = keySequence_.KeyUp(key);
    if (ended != UpDownId::None) {
        RunMouseUp(ended);
    }
}

PanelKeyContext TFormSub::KeyContext() const {
    PanelKeyContext c;
    c.page = PageControlBtn->currentIndex();
    c.ch1On = settings_.channelOn[0] != 0;
    c.ch2On = settings_.channelOn[1] != 0;
    c.mathOn = settings_.mathOn != 0;
    c.fftOn = settings_.fftOn != 0;
    c.upDownMathEnabled = UpDownMath->isEnabled();
    c.upDownFftEnabled = UpDownFft->isEnabled();
    c.rollRunning = settings_.runMode != kRunStop && settings_.rollActive != 0;
    c.cursorTOn = settings_.cursorTOn != 0;
    c.cursorVOn = settings_.cursorVOn != 0;
    c.mathRadiosEnabled = RdBtnMath11->isEnabled();
    return c;
}

UpDown* TFormSub::UpDownOf(UpDownId id) const {
    switch (id) {
        case UpDownId::Ch1:
            return UpDownCh1;
        case UpDownId::Ch2:
            return UpDownCh2;
        case UpDownId::TrigL:
            return UpDownTrigL;
        case UpDownId::TrigP:
            return UpDownTrigP;
        case UpDownId::Delay:
            return UpDownDelay;
        case UpDownId::Pulse:
            return UpDownPulse;
        case UpDownId::Dt:
            return UpDownDt;
        case UpDownId::Dv:
            return UpDownDv;
        case UpDownId::Math:
            return UpDownMath;
        case UpDownId::Fft:
            return UpDownFft;
        case UpDownId::None:
            break;
    }
    return nullptr;
}

void TFormSub::RunMouseUp(UpDownId id) {
    switch (id) {
        case UpDownId::Ch1:
            UpDownCh1MouseUp();
            break;
        case UpDownId::Ch2:
            UpDownCh2MouseUp();
            break;
        case UpDownId::TrigL:
            UpDownTrigLMouseUp();
            break;
        case UpDownId::TrigP:
            UpDownTrigPMouseUp();
            break;
        case UpDownId::Delay:
            UpDownDelayMouseUp();
            break;
        case UpDownId::Pulse:
            UpDownPulseMouseUp();
            break;
        case UpDownId::Dt:
            UpDownDtMouseUp();
            break;
        case UpDownId::Dv:
            UpDownDvMouseUp();
            break;
        case UpDownId::Math:
            UpDownMathMouseUp();
            break;
        case UpDownId::Fft:
            UpDownFftMouseUp();
            break;
        case UpDownId::None:
            break;
    }
}

bool TFormSub::HandleToolTip(QWidget* target, QEvent* event) {
    if (!ShowHint()) {
        return true;
    }
    if (target == PageControlBtn) {
        // Only the tabs show the page control's hint, and only after the
        // pointer came to them with hints on.
        const QPoint at = static_cast<QHelpEvent*>(event)->pos();
        return !(pageControlHint_ && PageControlBtn->tabBar()->geometry().contains(at));
    }
    if (target->toolTip().isEmpty()) {
        return false;
    }
    const QVariant show = target->property("showHint");
    if (show.isValid() && !show.toBool()) {
        return true;
    }
    return HintOnlyWhileEnabled(target->objectName().toStdString()) && !target->isEnabled();
}

}  // namespace lumatrace
