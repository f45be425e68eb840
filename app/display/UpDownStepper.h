// Stepping of positions, trigger numbers and cursors by the panel's up-down buttons, with the
// acceleration of a held button.
#pragma once

#include <array>

#include "app/display/InteractionHost.h"

namespace lumatrace {

enum class UpDownControl : int { Ch1, Ch2, Math, Fft, TrigL, TrigP, Dt, Dv };
inline constexpr int kUpDownControlCount = 8;

// The arrow of the up-down control that was clicked: Up is the up arrow of a vertical pair and
// the right arrow of a horizontal one (UpDownTrigP, UpDownDt).
enum class StepArrow : int { Up, Down };

// One click as the control reports it: the arrow and the control's own wrapping position
// after the click, with its range.
struct UpDownClickInfo {
    UpDownControl control = UpDownControl::Ch1;
    StepArrow arrow = StepArrow::Up;
    int position = 0;
    int minimum = 0;
    int maximum = 100;
};

struct ValueRange {
    int minimum = 1;
    int maximum = 500;
};

// The range a control moves its value in.
ValueRange UpDownRange(UpDownControl control, int memoryPoints);
// How far UpDownStep may grow while the button is held.
int UpDownStepLimit(UpDownControl control, int memoryPoints);
// The value a trigger position step gives: whole hundreds of samples, at least 10 and at most
// memoryPoints - 100.
int SteppedTrigPosition(int value, int delta, int memoryPoints);

class UpDownStepper {
  public:
    // Handles one click: stacking, acceleration, direction, the step and its consequences.
    // Returns whether the value changed.
    bool Click(const UpDownClickInfo& click, const InteractionContext& ctx, InteractionHost& host);
    // The mouse button (or the step key) went up: the step sequence ends.
    void Release(UpDownControl control, InteractionHost& host);

    int UpDownStep() const { return step_; }
    bool Held(UpDownControl control) const { return held_[Index(control)]; }

  private:
    static int Index(UpDownControl c) { return static_cast<int>(c); }
    // +1 when the click increases the value, -1 when it decreases it.
    int Direction(const UpDownClickInfo& click);

    int step_ = 1;
    std::array<bool, kUpDownControlCount> held_{};
    std::array<bool, kUpDownControlCount> seen_{};
    std::array<int, kUpDownControlCount> lastPosition_{};
};

// The consequences of a changed trace position (CH1, CH2, MATH or FFT), shared by the up-down
// buttons and marker drags: trigger level following its source, settings sent, the position
// kept per FFT vertical type, readouts.
void TracePositionChanged(int trace, const InteractionContext& ctx, InteractionHost& host);

}  // namespace lumatrace
