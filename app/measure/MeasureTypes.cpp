#include "app/measure/MeasureTypes.h"

namespace lumatrace {

namespace {

constexpr std::array<MeasureInfo, kMeasureCount> kInfo = {{
    {"vmax", MeasureUnit::Volt},        {"vmin", MeasureUnit::Volt},
    {"vpp", MeasureUnit::Volt},         {"vtop", MeasureUnit::Volt},
    {"vbase", MeasureUnit::Volt},       {"vamp", MeasureUnit::Volt},
    {"vmean", MeasureUnit::Volt},       {"vrms", MeasureUnit::Volt},
    {"vrms_ac", MeasureUnit::Volt},     {"overshoot", MeasureUnit::Percent},
    {"preshoot", MeasureUnit::Percent}, {"frequency", MeasureUnit::Hertz},
    {"period", MeasureUnit::Second},    {"width_pos", MeasureUnit::Second},
    {"width_neg", MeasureUnit::Second}, {"duty_pos", MeasureUnit::Percent},
    {"duty_neg", MeasureUnit::Percent}, {"rise", MeasureUnit::Second},
    {"fall", MeasureUnit::Second},      {"edges", MeasureUnit::Count},
    {"delay", MeasureUnit::Second},     {"phase", MeasureUnit::Degree},
}};

constexpr std::array<std::string_view, kMeasureSourceCount> kSourceNames = {"CH1", "CH2", "MATH"};

}  // namespace

const MeasureInfo& InfoOf(MeasureId id) {
    return kInfo[static_cast<std::size_t>(id)];
}

std::optional<MeasureId> MeasureByName(std::string_view name) {
    for (int i = 0; i < kMeasureCount; ++i) {
        if (kInfo[static_cast<std::size_t>(i)].name == name)
            return static_cast<MeasureId>(i);
    }
    return std::nullopt;
}

std::string_view SourceName(MeasureSource source) {
    return kSourceNames[static_cast<std::size_t>(source)];
}

std::optional<MeasureSource> SourceByName(std::string_view name) {
    for (int i = 0; i < kMeasureSourceCount; ++i) {
        if (kSourceNames[static_cast<std::size_t>(i)] == name)
            return static_cast<MeasureSource>(i);
    }
    return std::nullopt;
}

}  // namespace lumatrace
