#pragma once

#include <ostream>
#include <span>
#include <string>

namespace lumatrace {

// zeptool measure SET.zep [--gate record|cursors] [--channel CH1|CH2|MATH]: every automatic
// measurement of the set's record as JSON, one object per source, SI units, null where a
// measurement has no value.
int RunMeasure(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace lumatrace
