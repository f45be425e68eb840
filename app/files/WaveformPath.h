// The waveform set named on a command line (the program's own, or one that a
// second instance hands over).
#pragma once

#include <string>
#include <string_view>

namespace lumatrace {

// Drops everything up to the end of the quoted program path (`.exe" `) when
// there is one, everything after the first ".zep" (any case), every double
// quote, and blanks at both ends. Empty when no path remains.
std::string ExtractWaveformPath(std::string_view commandLine);

}  // namespace lumatrace
