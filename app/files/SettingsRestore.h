// What loading a waveform file set does to the panel and the settings
// mirrors, as data: one step per assignment, in the order the settings block
// is read. The main window applies the steps through SettingsRestoreHost;
// the panel's change handlers are not run here (the caller replays the whole
// panel afterwards).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumatrace {

struct RestoreStep {
    enum class Kind {
        ItemIndex,  // select item `value` of the list `name`
        Checked,    // set the check state of the check box or radio button `name`
        Down,       // set the down state of the latching button `name`
        Mirror,     // set the settings mirror `name` (element `element` of an array)
    };
    Kind kind;
    std::string_view name;  // control or mirror name; static text
    int element;            // array element of a mirror, -1 for a single value
    long double value;      // the index, 0/1, or the mirror's value

    bool operator==(const RestoreStep&) const = default;
};

// The main window's side of restoring.
class SettingsRestoreHost {
  public:
    virtual ~SettingsRestoreHost() = default;
    virtual void SetItemIndex(std::string_view control, int index) = 0;
    virtual void SetChecked(std::string_view control, bool checked) = 0;
    virtual void SetDown(std::string_view control, bool down) = 0;
    // Mirrors: channelOn, voltsPerDivMv and tracePosition (element 0 CH1,
    // 1 CH2), trigMode, trigCouplingBySource (element 0, 1), trigLevel,
    // trigLevelOffset (a fraction), trigPosition, trigDelay, pulseWidth,
    // timeDivIndex, equivalentAsRealTime, acquireCountIndex,
    // acquireCountReserved, cursorT1, cursorT2, cursorV1, cursorV2.
    virtual void SetMirror(std::string_view mirror, int element, long double value) = 0;
};

void ApplyRestoreSteps(const std::vector<RestoreStep>& steps, SettingsRestoreHost& host);

// "ComboBoxVd1", "channelOn[0]", "trigLevel": the name a step sets.
std::string RestoreStepKey(const RestoreStep& step);

}  // namespace lumatrace
