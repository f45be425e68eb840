#include "app/settings/DisplayColorDraft.h"

#include "app/platform/Dialogs.h"

namespace lumatrace {
namespace {

bool InRange(int item) {
    return item >= 0 && item < kDisplayItemCount;
}

}  // namespace

DisplayColorDraft::DisplayColorDraft() {
    Reset();
}

void DisplayColorDraft::LoadFrom(const DisplayColorTarget& target) {
    for (int i = 0; i < kDisplayItemCount; ++i) {
        workingColors[static_cast<std::size_t>(i)] = target.GetDisplayColor(i);
    }
}

void DisplayColorDraft::ApplyTo(DisplayColorTarget& target) const {
    for (int i = 0; i < kDisplayItemCount; ++i) {
        target.SetDisplayColor(i, workingColors[static_cast<std::size_t>(i)]);
    }
    target.DisplayColorsApplied();
}

void DisplayColorDraft::Reset() {
    const auto& defaults = DisplayItemDefaults();
    for (int i = 0; i < kDisplayItemCount; ++i) {
        workingColors[static_cast<std::size_t>(i)] = defaults[static_cast<std::size_t>(i)].color;
    }
}

bool DisplayColorDraft::Pick(int displayItem, ColorDialogService& picker) {
    if (!InRange(displayItem)) {
        return false;
    }
    auto& slot = workingColors[static_cast<std::size_t>(displayItem)];
    const auto chosen = picker.ChooseColor(slot);
    if (!chosen) {
        return false;
    }
    // Colour values carry no alpha; keep the stored value a plain 0x00BBGGRR.
    slot = *chosen & 0xFFFFFFu;
    return true;
}

std::uint32_t DisplayColorDraft::Color(int displayItem) const {
    return InRange(displayItem) ? workingColors[static_cast<std::size_t>(displayItem)] : 0;
}

}  // namespace lumatrace
