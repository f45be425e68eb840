// Values typed into or stepped on the panel's delay and pulse controls, and
// the trigger level that follows its source's scale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/settings/SettingsModel.h"

namespace lumatrace {

inline constexpr std::int64_t kMaxTrigDelay = 3999999;
inline constexpr long double kMaxDelayNs = 100e9L;  // 100 s
inline constexpr int kMaxPulseUnderNs = 655350;
inline constexpr int kMaxPulseAboveNs = 655340;

// A time typed into an edit, in ns: a decimal number that may end in a unit
// letter (N ns, U us, M ms, S s, any case); without one the unit label beside
// the edit ("ns", "us", "ms", "s") applies. Empty text: 0. Text that is not
// such a number, or a negative one: nullopt, and the value stays as it was.
std::optional<long double> ParseTimeNs(std::string_view text, std::string_view unitLabel);

// A time as the delay edit shows it: the unit beside the edit follows the
// time's size (at least 1 s "s", 1 ms "ms", 1 us "us", else "ns") and the
// number carries the decimals that keep whole nanoseconds ("%.0f", "%.3f",
// "%.6f", "%.9f").
struct EditTime {
    std::string_view unit;
    std::string text;
};
EditTime FormatEditTime(long double ns);

// Up-down multiplier: 1, 10 with Ctrl, 100 with Shift, 1000 with both.
int StepMultiplier(bool shift, bool ctrl);

// Delay in sampling intervals for a typed time: at most 100 s, rounded up to
// whole intervals, then limited.
std::int64_t DelayFromTime(long double ns, int sampleIntervalNs);
// Limits of the delay: 0 .. 3,999,999 and never more than 100 s of intervals.
std::int64_t ClampDelay(std::int64_t intervals, int sampleIntervalNs);

// Pulse width in ns (a multiple of 10) for a typed time, and its limits for
// the condition (1 under: 10 .. 655,350; 2 above: 0 .. 655,340).
int PulseFromTime(long double ns, int pulseCondition);
int ClampPulse(std::int64_t ns, int pulseCondition);
// An empty pulse edit: 10 ns under, 0 above.
int EmptyPulse(int pulseCondition);

// Scale of a trigger source in the sense of the level offset: voltsPerDivMv
// x probeFactor for CH1 and CH2, 500 mV/div with probe 1 for EXT.
long double TriggerSourceScale(const InstrumentSettings& s, int sourceIndex);
// Keeps the trigger level's voltage across a change of the source's scale
// (or of the source): the offset is re-scaled old/new and the level placed
// at the new source's position minus it.
void TrackTriggerLevel(InstrumentSettings& s, long double oldScale, long double newScale,
                       int newSourceIndex);

}  // namespace lumatrace
