#include "app/settings/SettingsModel.h"

#include <cmath>

namespace lumatrace {

namespace {

template <typename T, std::size_t N>
bool InRange(const std::array<T, N>&, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < N;
}

template <typename T, std::size_t N>
T Get(const std::array<T, N>& a, int index) {
    return InRange(a, index) ? a[static_cast<std::size_t>(index)] : T{};
}

template <typename T, std::size_t N>
bool Set(std::array<T, N>& a, int index, T value) {
    if (!InRange(a, index)) {
        return false;
    }
    a[static_cast<std::size_t>(index)] = value;
    return true;
}

// The field that display item i reaches in the position column.
template <typename Settings>
auto ItemPositionField(Settings& s, int item) -> decltype(&s.trigLevel) {
    switch (item) {
        case 0:
            return &s.tracePosition[kTraceCh1];
        case 1:
            return &s.tracePosition[kTraceCh2];
        case 2:
            return &s.tracePosition[kTraceMath];
        case 3:
            return &s.tracePosition[kTraceFft];
        case 4:
            return &s.trigLevel;
        case 5:
            return &s.trigPosition;
        case 6:
            return &s.cursorT1;
        case 7:
            return &s.cursorT2;
        case 8:
            return &s.cursorV1;
        case 9:
            return &s.cursorV2;
        default:
            return nullptr;
    }
}

}  // namespace

int InstrumentSettings::TracePosition(int trace) const {
    return Get(tracePosition, trace);
}
bool InstrumentSettings::SetTracePosition(int trace, int value) {
    return Set(tracePosition, trace, value);
}
int InstrumentSettings::ProbeFactorOf(int ch) const {
    return Get(probeFactor, ch);
}
bool InstrumentSettings::SetProbeFactor(int ch, int value) {
    return Set(probeFactor, ch, value);
}
int InstrumentSettings::VoltsPerDivMvOf(int ch) const {
    return Get(voltsPerDivMv, ch);
}
bool InstrumentSettings::SetVoltsPerDivMv(int ch, int value) {
    return Set(voltsPerDivMv, ch, value);
}
int InstrumentSettings::TrigCouplingBySource(int src) const {
    return Get(trigCouplingBySource, src);
}
bool InstrumentSettings::SetTrigCouplingBySource(int src, int value) {
    return Set(trigCouplingBySource, src, value);
}
int InstrumentSettings::FftVScaleIndex(int type) const {
    return Get(fftVScaleIndex, type);
}
bool InstrumentSettings::SetFftVScaleIndex(int type, int value) {
    return Set(fftVScaleIndex, type, value);
}
int InstrumentSettings::FftPositionByType(int type) const {
    return Get(fftPositionByType, type);
}
bool InstrumentSettings::SetFftPositionByType(int type, int value) {
    return Set(fftPositionByType, type, value);
}

std::uint32_t InstrumentSettings::DisplayColor(int item) const {
    return Get(displayColors, item);
}
bool InstrumentSettings::SetDisplayColorValue(int item, std::uint32_t color) {
    return Set(displayColors, item, color);
}

int InstrumentSettings::ItemPosition(int item) const {
    const int* field = ItemPositionField(*this, item);
    return field ? *field : 0;
}

bool InstrumentSettings::SetItemPosition(int item, int value) {
    int* field = ItemPositionField(*this, item);
    if (!field) {
        return false;
    }
    *field = value;
    return true;
}

void ApplyFftDefaultValues(InstrumentSettings& s) {
    s.fftVScaleIndex = {8, 7};
    s.fftPositionByType = {400, 100};
    s.SetDisplayColorValue(3, wincolor::kPurple);
    s.SetItemPosition(3, 100);
}

void ApplyDefaultValues(InstrumentSettings& s) {
    s.trigLevelOffset = kTrigLevelOffsetUnset;
    s.trigCouplingBySource = {0, 0};
    s.trigDelay = 0;
    s.pulseWidth = 10;
    s.pulseCondition = 1;
    s.acquireCountIndex = 0;
    ApplyFftDefaultValues(s);
    const auto& table = DisplayItemDefaults();
    for (int item = 0; item < kDisplayItemCount; ++item) {
        if (item == 3) {
            continue;
        }
        s.SetDisplayColorValue(item, table[static_cast<std::size_t>(item)].color);
        s.SetItemPosition(item, table[static_cast<std::size_t>(item)].position);
    }
}

int TrigLevelFromOffset(int sourcePosition, long double offset) {
    const long double level = std::nearbyint(static_cast<long double>(sourcePosition) - offset);
    if (!(level >= 1.0L)) {  // also catches NaN
        return 1;
    }
    if (level > 500.0L) {
        return 500;
    }
    return static_cast<int>(level);
}

long double RescaleTrigLevelOffset(long double offset, long double oldScale, long double newScale) {
    if (newScale == 0.0L) {
        return offset;
    }
    return offset * oldScale / newScale;
}

void ResolveFirstLayout(InstrumentSettings& s, int trigSourceIndex) {
    if (s.trigLevelOffset == kTrigLevelOffsetUnset) {
        const int trace = trigSourceIndex == 0   ? kTraceCh1
                          : trigSourceIndex == 1 ? kTraceCh2
                                                 : kTraceTrigRef;
        s.trigLevelOffset = static_cast<long double>(s.tracePosition[trace] - s.trigLevel);
    }
    if (s.trigPosition > s.memoryPoints - 100) {
        s.trigPosition = s.memoryPoints - 100;
    }
    if (s.trigPosition < 10) {
        s.trigPosition = 10;
    }
}

}  // namespace lumatrace
