// Measured values as the panel shows them, in the program's readout style: the unit tables
// and prefixes of the cursor readouts, fewer decimals as the shown number grows, "----"
// where there is no value.
#pragma once

#include <optional>
#include <string>

#include "app/measure/MeasureTypes.h"

namespace lumatrace {

inline constexpr const char* kNoMeasureValue = "----";

// Volts as the voltage cursors ("mV", "V", "KV"), seconds as the time cursors ("ns" .. "s"),
// hertz as their frequency ("uHz" .. "GHz"); 3, 2 or 1 decimals for a shown number below
// 10, below 100, and from 100 on. Percentages and degrees the same way; counts whole, the
// mean or deviation of a count like a percentage.
std::string FormatMeasure(MeasureUnit unit, std::optional<double> value);

}  // namespace lumatrace
