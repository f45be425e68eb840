#include "app/files/SettingsRestore.h"

namespace lumatrace {

void ApplyRestoreSteps(const std::vector<RestoreStep>& steps, SettingsRestoreHost& host) {
    for (const RestoreStep& s : steps) {
        switch (s.kind) {
            case RestoreStep::Kind::ItemIndex:
                host.SetItemIndex(s.name, static_cast<int>(s.value));
                break;
            case RestoreStep::Kind::Checked:
                host.SetChecked(s.name, s.value != 0);
                break;
            case RestoreStep::Kind::Down:
                host.SetDown(s.name, s.value != 0);
                break;
            case RestoreStep::Kind::Mirror:
                host.SetMirror(s.name, s.element, s.value);
                break;
        }
    }
}

std::string RestoreStepKey(const RestoreStep& step) {
    std::string key(step.name);
    if (step.element >= 0) {
        key += '[' + std::to_string(step.element) + ']';
    }
    return key;
}

}  // namespace lumatrace
