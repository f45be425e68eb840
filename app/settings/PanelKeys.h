// Keyboard rules of the control panel: the form-level key table, the step
// sequence that key-down and key-up delimit, the shortcut filter and the
// dialog-key rule. Independent of the widget toolkit: keys arrive as
// PanelKeyCode values (letters and digits are their ASCII codes).
#pragma once

namespace lumatrace {

enum PanelKeyCode : int {
    kKeyNone = 0,
    kKeyUp = 0x1000,
    kKeyDown,
    kKeyLeft,
    kKeyRight,
    kKeyPageUp,
    kKeyPageDown,
    kKeyTab,
    kKeyShift,
    kKeyControl,
    kKeyAlt,
    kKeyOther,  // any other non-character key
    // 'A'..'Z' and '0'..'9' stand for themselves.
};

// The exact set of modifiers held.
struct KeyModifiers {
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool meta = false;  // never part of a set the panel acts on
    bool operator==(const KeyModifiers&) const = default;
};

enum class UpDownId { None, Ch1, Ch2, TrigL, TrigP, Delay, Pulse, Dt, Dv, Math, Fft };

enum class FocusTarget {
    None,
    ProbeCh1,
    CouplingCh1,
    VoltsPerDivCh1,
    ProbeCh2,
    CouplingCh2,
    VoltsPerDivCh2,
    MathFirstOperand,  // the checked button of the group
    MathSecondOperand,
    MathOperator,
};

// What the form needs to know to decide a key.
struct PanelKeyContext {
    int page = 0;  // 0 "function 1", 1 "function 2", 2 "function 3"
    bool ch1On = false;
    bool ch2On = false;
    bool mathOn = false;
    bool fftOn = false;
    bool upDownMathEnabled = false;
    bool upDownFftEnabled = false;
    bool rollRunning = false;  // running with roll mode in effect
    bool cursorTOn = false;
    bool cursorVOn = false;
    bool mathRadiosEnabled = false;
};

struct PanelKeyDecision {
    UpDownId step = UpDownId::None;
    bool stepUp = false;    // the up (or right) button
    bool pairMove = false;  // move both cursors of the pair
    FocusTarget focus = FocusTarget::None;
    // The key goes no further: no control sees it as a key press. Auto-repeat
    // presses of a stepping key that queued up meanwhile are dropped too.
    bool consume = false;
};

// The form-level key table.
PanelKeyDecision DecidePanelKey(int key, KeyModifiers mods, const PanelKeyContext& context);

// Key-down / key-up bookkeeping of a stepping key: the up-down stepped by the
// current key gets its "button released" at the key's release, or as soon as
// a different key arrives.
class PanelKeySequence {
  public:
    // A key (not an auto-repeat of the current one) went down. Returns the
    // up-down whose step sequence ends first, or None.
    UpDownId KeyDown(int key);
    // The current key stepped an up-down.
    void Stepped(UpDownId upDown);
    // A key went up. Returns the up-down whose step sequence ends, or None.
    UpDownId KeyUp(int key);
    // The up-down stepped by the current key, if any.
    UpDownId Current() const { return stepped_; }

  private:
    int key_ = kKeyNone;
    UpDownId stepped_ = UpDownId::None;
};

// Kind of the focused control, as far as the shortcut filter cares.
enum class FocusKind { Other, Edit, CheckBox };

// The application's shortcut filter: true means the key is taken and not
// dispatched. Menu and action shortcuts have been matched before it runs.
bool ShortcutFilterTakes(FocusKind focus, int key, KeyModifiers mods);

// The editing keys an edit box keeps for itself although the form would take
// them (every Ctrl key is the form's, and Ctrl+A, Ctrl+C and Ctrl+X are also
// menu shortcuts): select all, copy, cut, paste, undo and redo. Every other
// key keeps its panel meaning in an edit too.
bool EditOwnsKey(FocusKind focus, int key, KeyModifiers mods);

// While Shift or Ctrl is held, arrows do not move the focus between controls.
bool ArrowMovesFocus(KeyModifiers mods);

// Keys that step an up-down through the table above.
bool IsArrowKey(int key);

// Characters the delay and pulse edits accept: backspace, ".", the digits and
// the unit letters m, n, s, u in either case. Everything else is discarded.
bool EditAcceptsCharacter(char32_t c);

}  // namespace lumatrace
