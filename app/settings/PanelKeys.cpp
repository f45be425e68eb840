#include "app/settings/PanelKeys.h"

namespace lumatrace {

namespace {

constexpr KeyModifiers kShift{true, false, false};
constexpr KeyModifiers kCtrl{false, true, false};
constexpr KeyModifiers kAlt{false, false, true};
constexpr KeyModifiers kShiftCtrl{true, true, false};
constexpr KeyModifiers kShiftAlt{true, false, true};
constexpr KeyModifiers kShiftCtrlAlt{true, true, true};

PanelKeyDecision Step(UpDownId id, bool up, bool pairMove = false) {
    PanelKeyDecision d;
    d.step = id;
    d.stepUp = up;
    d.pairMove = pairMove;
    return d;
}

PanelKeyDecision Focus(FocusTarget target) {
    PanelKeyDecision d;
    d.focus = target;
    return d;
}

// Shift+Alt arrows move the cursors; with Ctrl as well the pair moves.
PanelKeyDecision CursorKey(int key, const PanelKeyContext& c, bool pairMove) {
    switch (key) {
        case kKeyRight:
        case kKeyLeft:
            if (c.cursorTOn) {
                return Step(UpDownId::Dt, key == kKeyRight, pairMove);
            }
            break;
        case kKeyUp:
        case kKeyDown:
            if (c.cursorVOn) {
                return Step(UpDownId::Dv, key == kKeyUp, pairMove);
            }
            break;
        default:
            break;
    }
    return {};
}

PanelKeyDecision Decide(int key, KeyModifiers mods, const PanelKeyContext& c) {
    const bool upDown = key == kKeyUp || key == kKeyDown;
    if (mods == kShift) {
        if (upDown && c.ch1On) {
            return Step(UpDownId::Ch1, key == kKeyUp);
        }
        if (key == kKeyPageUp || key == kKeyPageDown) {
            const bool up = key == kKeyPageUp;
            if (c.fftOn && c.upDownFftEnabled) {
                return Step(UpDownId::Fft, up);
            }
            if (c.mathOn && c.upDownMathEnabled) {
                return Step(UpDownId::Math, up);
            }
        }
        return {};
    }
    if (mods == kCtrl) {
        if (upDown && c.ch2On) {
            return Step(UpDownId::Ch2, key == kKeyUp);
        }
        return {};
    }
    if (mods == kShiftCtrl) {
        if (c.rollRunning) {
            return {};
        }
        if (upDown) {
            return Step(UpDownId::TrigL, key == kKeyUp);
        }
        if (key == kKeyRight || key == kKeyLeft) {
            return Step(UpDownId::TrigP, key == kKeyRight);
        }
        return {};
    }
    if (mods == kShiftAlt) {
        return CursorKey(key, c, false);
    }
    if (mods == kShiftCtrlAlt) {
        return CursorKey(key, c, true);
    }
    if (mods == kAlt) {
        if (c.page == 0 && (key == 'B' || key == 'C' || key == 'D')) {
            const bool ch1 = c.ch1On;
            if (!ch1 && !c.ch2On) {
                return {};
            }
            if (key == 'B') {
                return Focus(ch1 ? FocusTarget::ProbeCh1 : FocusTarget::ProbeCh2);
            }
            if (key == 'C') {
                return Focus(ch1 ? FocusTarget::CouplingCh1 : FocusTarget::CouplingCh2);
            }
            return Focus(ch1 ? FocusTarget::VoltsPerDivCh1 : FocusTarget::VoltsPerDivCh2);
        }
        if (c.page == 1 && c.mathOn && c.mathRadiosEnabled) {
            switch (key) {
                case '1':
                    return Focus(FocusTarget::MathFirstOperand);
                case '2':
                    return Focus(FocusTarget::MathSecondOperand);
                case 'A':
                    return Focus(FocusTarget::MathOperator);
                default:
                    break;
            }
        }
    }
    return {};
}

bool ConsumesEveryKey(KeyModifiers mods) {
    return mods == kShift || mods == kShiftAlt || mods == kCtrl || mods == kShiftCtrl ||
           mods == kShiftCtrlAlt;
}

}  // namespace

PanelKeyDecision DecidePanelKey(int key, KeyModifiers mods, const PanelKeyContext& context) {
    PanelKeyDecision d = Decide(key, mods, context);
    d.consume = ConsumesEveryKey(mods) || d.focus != FocusTarget::None;
    return d;
}

UpDownId PanelKeySequence::KeyDown(int key) {
    UpDownId ended = UpDownId::None;
    if (key != key_) {
        ended = stepped_;
        stepped_ = UpDownId::None;
    }
    key_ = key;
    return ended;
}

void PanelKeySequence::Stepped(UpDownId upDown) {
    stepped_ = upDown;
}

UpDownId PanelKeySequence::KeyUp(int key) {
    if (key != key_) {
        return UpDownId::None;
    }
    const UpDownId ended = stepped_;
    stepped_ = UpDownId::None;
    key_ = kKeyNone;
    return ended;
}

bool ShortcutFilterTakes(FocusKind focus, int key, KeyModifiers mods) {
    if (focus == FocusKind::Edit) {
        return false;
    }
    if (!(mods == kAlt)) {
        switch (key) {
            case 'D':
            case 'B':
            case 'C':
            case 'U':
            case 'N':
            case 'E':
            case 'A':
            case 'P':
            case 'R':
            case 'T':
            case 'M':
            case '0':
            case 'L':
            case 'Z':
            case 'W':
            case '1':
            case '2':
            case 'O':
                return true;
            default:
                break;
        }
    }
    return focus == FocusKind::CheckBox && mods == KeyModifiers{} &&
           (key == kKeyUp || key == kKeyDown);
}

bool EditOwnsKey(FocusKind focus, int key, KeyModifiers mods) {
    if (focus != FocusKind::Edit) {
        return false;
    }
    if (mods == kCtrl) {
        switch (key) {
            case 'A':
            case 'C':
            case 'X':
            case 'V':
            case 'Z':
            case 'Y':
                return true;
            default:
                return false;
        }
    }
    return mods == kShiftCtrl && key == 'Z';
}

bool ArrowMovesFocus(KeyModifiers mods) {
    return !mods.shift && !mods.ctrl;
}

bool EditAcceptsCharacter(char32_t c) {
    if (c == U'\b' || c == U'.' || (c >= U'0' && c <= U'9')) {
        return true;
    }
    switch (c) {
        case U'm':
        case U'n':
        case U's':
        case U'u':
        case U'M':
        case U'N':
        case U'S':
        case U'U':
            return true;
        default:
            return false;
    }
}

bool IsArrowKey(int key) {
    return key == kKeyUp || key == kKeyDown || key == kKeyLeft || key == kKeyRight;
}

}  // namespace lumatrace
