// The automatic measurements: their names, units and the value set one measurement run gives.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace lumatrace {

// Every measurement, in the order the panel and zeptool list them. The names are the keys of
// the JSON output and of the panel's choices file.
enum class MeasureId : int {
    Vmax,
    Vmin,
    Vpp,
    Vtop,
    Vbase,
    Vamp,
    Vmean,
    Vrms,
    VrmsAc,
    Overshoot,
    Preshoot,
    Frequency,
    Period,
    WidthPos,
    WidthNeg,
    DutyPos,
    DutyNeg,
    Rise,
    Fall,
    Edges,
    Delay,  // CH1 -> CH2, whatever the source
    Phase,
};
inline constexpr int kMeasureCount = 22;

// What a value is measured in. Values are SI: volts, seconds, hertz; percentages and degrees
// as numbers of them; edges as a count.
enum class MeasureUnit : int { Volt, Second, Hertz, Percent, Degree, Count };

struct MeasureInfo {
    std::string_view name;  // "vpp", "width_pos", ...
    MeasureUnit unit;
};

const MeasureInfo& InfoOf(MeasureId id);
std::optional<MeasureId> MeasureByName(std::string_view name);

// Channel-pair measurements: they need both channels, whatever the source.
constexpr bool IsBetweenChannels(MeasureId id) {
    return id == MeasureId::Delay || id == MeasureId::Phase;
}

// One run's values; std::nullopt where a measurement has no value (never 0 in its place).
class MeasureValues {
  public:
    std::optional<double>& operator[](MeasureId id) { return v_[static_cast<int>(id)]; }
    const std::optional<double>& operator[](MeasureId id) const { return v_[static_cast<int>(id)]; }
    bool operator==(const MeasureValues&) const = default;

  private:
    std::array<std::optional<double>, kMeasureCount> v_{};
};

// The sources a measurement reads.
enum class MeasureSource : int { Ch1 = 0, Ch2 = 1, Math = 2 };
inline constexpr int kMeasureSourceCount = 3;
std::string_view SourceName(MeasureSource source);  // "CH1", "CH2", "MATH"
std::optional<MeasureSource> SourceByName(std::string_view name);

}  // namespace lumatrace
