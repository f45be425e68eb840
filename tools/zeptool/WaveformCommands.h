#pragma once

#include <ostream>
#include <span>
#include <string>

namespace lumatrace {

// zeptool info SET.zep: the restored settings and a summary of the samples as JSON.
int RunWaveformInfo(std::span<const std::string> args, std::ostream& out, std::ostream& err);
// zeptool export SET.zep [--format csv|json] [-o FILE]: the record as plain CSV
// (UTF-8) or JSON. A missing sample is an empty code and volts field in CSV
// and null in JSON; info does not count it.
int RunWaveformExport(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace lumatrace
