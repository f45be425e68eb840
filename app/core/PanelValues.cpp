#include "app/core/PanelValues.h"

#include <cstdio>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

namespace lumatrace {

namespace {

std::optional<long double> UnitNs(char letter) {
    switch (std::tolower(static_cast<unsigned char>(letter))) {
        case 'n':
            return 1.0L;
        case 'u':
            return 1e3L;
        case 'm':
            return 1e6L;
        case 's':
            return 1e9L;
        default:
            return std::nullopt;
    }
}

std::string_view Trim(std::string_view t) {
    while (!t.empty() && t.front() == ' ') {
        t.remove_prefix(1);
    }
    while (!t.empty() && t.back() == ' ') {
        t.remove_suffix(1);
    }
    return t;
}

}  // namespace

std::optional<long double> ParseTimeNs(std::string_view text, std::string_view unitLabel) {
    text = Trim(text);
    if (text.empty()) {
        return 0.0L;
    }
    // Digits with at most one decimal point; no sign, no exponent.
    std::size_t end = 0;
    bool point = false;
    bool digit = false;
    for (; end < text.size(); ++end) {
        const char c = text[end];
        if (c == '.' && !point) {
            point = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            digit = true;
        } else {
            break;
        }
    }
    if (!digit) {
        return std::nullopt;
    }
    // Then a unit: its letter, optionally followed by "s" ("5m", "5ms", "5 us").
    const std::string_view rest = Trim(text.substr(end));
    std::optional<long double> unit;
    if (rest.empty()) {
        unit = unitLabel.empty() ? std::nullopt : UnitNs(unitLabel.front());
    } else {
        const bool letterOnly = rest.size() == 1;
        const bool withS = rest.size() == 2 && (rest[1] == 's' || rest[1] == 'S') &&
                           std::tolower(static_cast<unsigned char>(rest[0])) != 's';
        if (letterOnly || withS) {
            unit = UnitNs(rest[0]);
        }
    }
    if (!unit) {
        return std::nullopt;
    }
    const long double value = std::strtold(std::string(text.substr(0, end)).c_str(), nullptr);
    return value * *unit;
}

int StepMultiplier(bool shift, bool ctrl) {
    if (shift && ctrl) {
        return 1000;
    }
    if (shift) {
        return 100;
    }
    return ctrl ? 10 : 1;
}

std::int64_t ClampDelay(std::int64_t intervals, int sampleIntervalNs) {
    std::int64_t limit = kMaxTrigDelay;
    if (sampleIntervalNs > 0) {
        limit = std::min<std::int64_t>(limit, 100'000'000'000LL / sampleIntervalNs);
    }
    return std::clamp<std::int64_t>(intervals, 0, limit);
}

std::int64_t DelayFromTime(long double ns, int sampleIntervalNs) {
    if (sampleIntervalNs <= 0) {
        return 0;
    }
    ns = std::clamp(ns, 0.0L, kMaxDelayNs);
    const auto intervals = static_cast<std::int64_t>(std::ceil(ns / sampleIntervalNs));
    return ClampDelay(intervals, sampleIntervalNs);
}

int ClampPulse(std::int64_t ns, int pulseCondition) {
    if (pulseCondition == 2) {
        return static_cast<int>(std::clamp<std::int64_t>(ns, 0, kMaxPulseAboveNs));
    }
    return static_cast<int>(std::clamp<std::int64_t>(ns, 10, kMaxPulseUnderNs));
}

int PulseFromTime(long double ns, int pulseCondition) {
    ns = std::clamp(ns, 0.0L, static_cast<long double>(kMaxPulseUnderNs));
    const auto tens = static_cast<std::int64_t>(std::ceil(ns / 10.0L));
    return ClampPulse(tens * 10, pulseCondition);
}

int EmptyPulse(int pulseCondition) {
    return pulseCondition == 2 ? 0 : 10;
}

long double TriggerSourceScale(const InstrumentSettings& s, int sourceIndex) {
    if (sourceIndex == 0 || sourceIndex == 1) {
        return static_cast<long double>(s.voltsPerDivMv[sourceIndex]) * s.probeFactor[sourceIndex];
    }
    return 500.0L;
}

void TrackTriggerLevel(InstrumentSettings& s, long double oldScale, long double newScale,
                       int newSourceIndex) {
    s.trigLevelOffset = RescaleTrigLevelOffset(s.trigLevelOffset, oldScale, newScale);
    const int trace = newSourceIndex == 0 || newSourceIndex == 1 ? newSourceIndex : kTraceTrigRef;
    s.trigLevel = TrigLevelFromOffset(s.tracePosition[trace], s.trigLevelOffset);
}

EditTime FormatEditTime(long double ns) {
    struct Unit {
        std::string_view label;
        long double ns;
        const char* format;
    };
    static constexpr Unit kUnits[] = {
        {"s", 1e9L, "%.9f"}, {"ms", 1e6L, "%.6f"}, {"us", 1e3L, "%.3f"}, {"ns", 1.0L, "%.0f"}};
    const long double magnitude = ns < 0 ? -ns : ns;
    const Unit* unit = &kUnits[3];
    for (const Unit& u : kUnits) {
        if (magnitude >= u.ns) {
            unit = &u;
            break;
        }
    }
    char text[64];
    std::snprintf(text, sizeof text, unit->format, static_cast<double>(ns / unit->ns));
    return {unit->label, text};
}

}  // namespace lumatrace
