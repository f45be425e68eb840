// The colour dialog's working copy of the ten display colours and the
// window it writes them to.
#pragma once

#include <array>
#include <cstdint>

#include "app/settings/ValueTables.h"

namespace lumatrace {

class ColorDialogService;

// Where the display colours live: the main window. SetDisplayColor recolours
// the panel buttons and redraws, as the window's own setter does.
class DisplayColorTarget {
  public:
    virtual ~DisplayColorTarget() = default;
    virtual std::uint32_t GetDisplayColor(int displayItem) const = 0;
    virtual void SetDisplayColor(int displayItem, std::uint32_t color) = 0;
    // After all ten colours of one OK or Apply were written (the window
    // rebuilds what it derives from them).
    virtual void DisplayColorsApplied() {}
};

// A private copy of the colours (Windows colour values) in display-item
// order. Nothing reaches the target until ApplyTo.
class DisplayColorDraft {
  public:
    DisplayColorDraft();

    void LoadFrom(const DisplayColorTarget& target);
    // Writes all ten in item order, then reports the change once.
    void ApplyTo(DisplayColorTarget& target) const;
    // Back to the default colours (the display is untouched).
    void Reset();
    // Opens the picker preset to the item's colour and keeps its choice;
    // false when the picker was cancelled or the item is out of range.
    bool Pick(int displayItem, ColorDialogService& picker);

    std::uint32_t Color(int displayItem) const;
    const std::array<std::uint32_t, kDisplayItemCount>& Colors() const { return workingColors; }

  private:
    std::array<std::uint32_t, kDisplayItemCount> workingColors{};
};

}  // namespace lumatrace
