// How the panel's value lists depend on one another, and which controls are
// usable in which state. Pure functions: the form applies their results to
// its widgets and menu items.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings/SettingsModel.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

// Items and selected index of a drop-down list (-1: nothing selected).
struct ListState {
    ItemList items;
    int index = -1;

    bool operator==(const ListState&) const = default;
};

// Index kept across a change of items: unchanged when the new list has it,
// otherwise the last item. No selection stays no selection.
int KeptIndex(int index, std::size_t newCount);

// Probe change on a channel: the V/div list of the new probe, index kept.
// Probe indices beyond "x100" use the "x100" list, as they use its factor.
struct ProbeChange {
    ListState voltsPerDiv;
    int probeFactor;
};
ProbeChange ApplyProbeChange(const ValueLists& lists, int probeIndex, int voltsPerDivIndex);

// V/div item to the instrument's own sensitivity: item value in mV divided by
// the probe factor (integer division).
std::optional<int> VoltsPerDivFromItem(std::string_view item, int probeFactor);

// Memory size change: the T/div list of that size, the index kept or moved
// to the last item, and which of the 37 T/div menu items are visible.
struct MemorySizeChange {
    ListState timeDiv;
    int memorySizeIndex;
    int memoryPoints;
    std::array<bool, kTimeDivCount> timeDivMenuVisible;
};
MemorySizeChange ApplyMemorySizeChange(const ValueLists& lists, int memoryIndex, int timeDivIndex);

// Waveform mode (or memory size) change: list B at 1MPoint with the index
// clamped, otherwise list A with the index unchanged. Menu items follow the
// "1", "2", ..., "512", "∞" captions.
struct NumberListChange {
    ListState number;
    std::array<bool, kNumberMenuCount> numberMenuVisible;
    bool numberEnabled;  // list, its label and its menu items: only in Average
};
NumberListChange ApplyWaveformMode(const ValueLists& lists, int waveformMode, int memoryIndex,
                                   int numberIndex);

// Number menu item (index into the 11 captions) whose caption is the text, or
// -1. And the list index a number menu item stands for: while the "1" item is
// hidden the list has no "1" entry, so the index is tag - 1.
int NumberMenuIndexForText(std::string_view text);
int NumberListIndexFromTag(int tag, bool oneItemHidden);

// Acquisition count of a number item: the number, -1 for "∞", and 1 in
// Envelope mode whatever the item.
std::optional<int> AcquireCountFor(int waveformMode, std::string_view item);

// Trigger source change: EXT offers "DC" alone; CH1 and CH2 get the three
// items back with the index remembered for that source.
struct TrigSourceChange {
    ListState coupling;
    bool filterItemsVisible;  // "LFrej" and "HFrej" menu items
};
TrigSourceChange ApplyTrigSource(const ValueLists& lists, int sourceIndex,
                                 const std::array<int, 2>& couplingBySource);
// Remember a trigger coupling choice for CH1 (slot 0) or CH2 (slot 1).
void RememberTrigCoupling(std::array<int, 2>& couplingBySource, int sourceIndex, int couplingIndex);

// FFT vertical type change (0 linear, 1 dBV): the list of that type at the
// index kept for it, the FFT trace at the position kept for it, and the 20
// vertical-scale menu items (captions where the list has an item, shown only
// for the linear list's 17).
struct FftVTypeChange {
    ListState scale;
    int tracePosition;
    std::vector<std::string> menuCaptions;  // for the first min(items, 17) menu items
    std::array<bool, kFftVScaleMenuCount> menuVisible;
};
FftVTypeChange ApplyFftVType(const ValueLists& lists, int type, const InstrumentSettings& s);

// FFT horizontal list swap (group = memory size, k = list): index clamped,
// menu items captioned and shown only where the list has an item.
struct FftHScaleChange {
    ListState scale;
    std::array<bool, kFftHScaleMenuCount> menuVisible;
};
FftHScaleChange ApplyFftHScaleList(const ValueLists& lists, int group, int k, int index);

// Input coupling of a channel: GND only changes what is displayed, the device
// keeps its last DC or AC setting.
void ApplyCoupling(InstrumentSettings& s, int ch, int couplingIndex);

// Which controls are usable, from the on-flags.
struct PanelEnabling {
    std::array<bool, 2> channelControls;  // up-down, three lists, menu items of the channel
    bool channelLabels;                   // "Volt/&div", "Pro&be", "&Coupling"
    bool mathGroup;                       // math up-down, scale, operand/operator radios
    bool mathMenuItem;                    // "M&ATH"
    bool fftGroup;                        // everything of the FFT page but its button
    bool cursorT;                         // SpeedButtonDtc, UpDownDt
    bool cursorV;                         // SpeedButtonDvc, UpDownDv
};
PanelEnabling ComputeEnabling(const InstrumentSettings& s);

// Glyph of a cursor selector: delta-T images 0 (cursor 1 selected) and 1,
// delta-V images 2 and 3.
int CursorSelectorImage(bool deltaV, int selected);

}  // namespace lumatrace
