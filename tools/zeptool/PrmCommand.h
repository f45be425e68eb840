#pragma once

#include <ostream>

#include "app/settings/ParamFile.h"

namespace lumatrace {

// The decoded parameter file as JSON, with the program's own names for the
// settings and the controls.
void WriteParamFileJson(const ParamDecodeResult& decoded, std::ostream& out);

}  // namespace lumatrace
