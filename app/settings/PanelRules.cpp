#include "app/settings/PanelRules.h"

#include <algorithm>

namespace lumatrace {

namespace {

int ListForProbe(int probeIndex) {
    return probeIndex <= 0 ? 0 : (probeIndex == 1 ? 1 : 2);
}

int ValidMemoryIndex(int memoryIndex) {
    return memoryIndex < 0 || memoryIndex >= kMemorySizeCount ? 0 : memoryIndex;
}

}  // namespace

int KeptIndex(int index, std::size_t newCount) {
    if (index < 0 || newCount == 0) {
        return -1;
    }
    const int last = static_cast<int>(newCount) - 1;
    return index > last ? last : index;
}

ProbeChange ApplyProbeChange(const ValueLists& lists, int probeIndex, int voltsPerDivIndex) {
    ProbeChange r;
    r.voltsPerDiv.items = lists.VoltsPerDiv(ListForProbe(probeIndex));
    r.voltsPerDiv.index = KeptIndex(voltsPerDivIndex, r.voltsPerDiv.items.size());
    r.probeFactor = ProbeFactor(probeIndex);
    return r;
}

std::optional<int> VoltsPerDivFromItem(std::string_view item, int probeFactor) {
    const auto mv = ParseMillivolts(item);
    if (!mv || probeFactor <= 0) {
        return std::nullopt;
    }
    return *mv / probeFactor;
}

MemorySizeChange ApplyMemorySizeChange(const ValueLists& lists, int memoryIndex, int timeDivIndex) {
    MemorySizeChange r;
    r.memorySizeIndex = ValidMemoryIndex(memoryIndex);
    r.memoryPoints = MemoryPoints(r.memorySizeIndex);
    r.timeDiv.items = lists.TimeDiv(r.memorySizeIndex);
    r.timeDiv.index = KeptIndex(timeDivIndex, r.timeDiv.items.size());
    for (int i = 0; i < kTimeDivCount; ++i) {
        r.timeDivMenuVisible[static_cast<std::size_t>(i)] = i < TimeDivCount(r.memorySizeIndex);
    }
    return r;
}

NumberListChange ApplyWaveformMode(const ValueLists& lists, int waveformMode, int memoryIndex,
                                   int numberIndex) {
    NumberListChange r;
    const bool listB = memoryIndex == 2;
    r.number.items = lists.Number(listB ? 1 : 0);
    r.number.index = KeptIndex(numberIndex, r.number.items.size());
    // Menu captions: "1", "2", ..., "256", "512", "∞".
    r.numberMenuVisible.fill(true);
    r.numberMenuVisible.front() = false;
    r.numberMenuVisible.back() = false;
    r.numberMenuVisible[8] = !listB;  // "256"
    r.numberMenuVisible[9] = !listB;  // "512"
    r.numberEnabled = waveformMode == 1;
    return r;
}

int NumberMenuIndexForText(std::string_view text) {
    const ItemList& captions = NumberMenuCaptions();
    for (std::size_t i = 0; i < captions.size(); ++i) {
        if (captions[i] == text) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int NumberListIndexFromTag(int tag, bool oneItemHidden) {
    return oneItemHidden ? tag - 1 : tag;
}

std::optional<int> AcquireCountFor(int waveformMode, std::string_view item) {
    if (waveformMode == 2) {
        return 1;
    }
    return ParseAcquireCount(item);
}

TrigSourceChange ApplyTrigSource(const ValueLists& lists, int sourceIndex,
                                 const std::array<int, 2>& couplingBySource) {
    TrigSourceChange r;
    if (sourceIndex == 0 || sourceIndex == 1) {
        r.coupling.items = lists.TrigCoupling(0);
        const int remembered = couplingBySource[static_cast<std::size_t>(sourceIndex)];
        r.coupling.index = remembered < 0 ? 0 : KeptIndex(remembered, r.coupling.items.size());
        r.filterItemsVisible = true;
    } else {
        r.coupling.items = lists.TrigCoupling(1);
        r.coupling.index = 0;
        r.filterItemsVisible = false;
    }
    return r;
}

void RememberTrigCoupling(std::array<int, 2>& couplingBySource, int sourceIndex,
                          int couplingIndex) {
    if (sourceIndex == 0 || sourceIndex == 1) {
        couplingBySource[static_cast<std::size_t>(sourceIndex)] = couplingIndex;
    }
}

FftVTypeChange ApplyFftVType(const ValueLists& lists, int type, const InstrumentSettings& s) {
    FftVTypeChange r;
    const int t = type == 1 ? 1 : 0;
    r.scale.items = lists.FftVScale(t);
    r.scale.index = KeptIndex(s.FftVScaleIndex(t), r.scale.items.size());
    r.tracePosition = s.FftPositionByType(t);
    const std::size_t captioned = std::min<std::size_t>(r.scale.items.size(), kMathScaleCount);
    r.menuCaptions.assign(r.scale.items.begin(),
                          r.scale.items.begin() + static_cast<std::ptrdiff_t>(captioned));
    for (int i = 0; i < kFftVScaleMenuCount; ++i) {
        r.menuVisible[static_cast<std::size_t>(i)] = t == 0 && i < kMathScaleCount;
    }
    if (t == 1) {
        for (int i = 0; i < kFftDbvCount; ++i) {
            r.menuVisible[static_cast<std::size_t>(i)] = true;
        }
    }
    return r;
}

FftHScaleChange ApplyFftHScaleList(const ValueLists& lists, int group, int k, int index) {
    FftHScaleChange r;
    r.scale.items = lists.FftHScale(group, k);
    r.scale.index = KeptIndex(index < 0 ? 0 : index, r.scale.items.size());
    for (std::size_t i = 0; i < r.menuVisible.size(); ++i) {
        r.menuVisible[i] = i < r.scale.items.size();
    }
    return r;
}

void ApplyCoupling(InstrumentSettings& s, int ch, int couplingIndex) {
    if (ch < 0 || ch > 1) {
        return;
    }
    s.displayCoupling[static_cast<std::size_t>(ch)] = couplingIndex;
    if (couplingIndex == 0 || couplingIndex == 1) {
        s.deviceCoupling[static_cast<std::size_t>(ch)] = couplingIndex;
    }
}

PanelEnabling ComputeEnabling(const InstrumentSettings& s) {
    PanelEnabling e;
    e.channelControls = {s.channelOn[0] != 0, s.channelOn[1] != 0};
    e.channelLabels = e.channelControls[0] || e.channelControls[1];
    // The spectrum takes the third trace's place, so the math controls rest
    // while it is on.
    e.mathGroup = s.mathOn != 0 && s.fftOn == 0;
    e.mathMenuItem = s.fftOn == 0;
    e.fftGroup = s.fftOn != 0;
    e.cursorT = s.cursorTOn != 0;
    e.cursorV = s.cursorVOn != 0;
    return e;
}

int CursorSelectorImage(bool deltaV, int selected) {
    return (deltaV ? 2 : 0) + (selected == 1 ? 0 : 1);
}

}  // namespace lumatrace
