// zeptool: inspects the program's files from the command line.
//   zeptool prm FILE     the parameter file as JSON
//   zeptool info SET.zep the waveform set's settings and sample summary as JSON
//   zeptool export SET.zep [--format csv|json] [-o FILE]   the record as CSV or JSON
//   zeptool measure SET.zep [--gate record|cursors] [--channel CH1|CH2|MATH]
//                        the automatic measurements of the record as JSON
// Each command is one entry of the command table; results go to `out`,
// errors to `err`.
#pragma once

#include <ostream>
#include <span>
#include <string>

namespace lumatrace {

// Exit codes.
inline constexpr int kZeptoolOk = 0;
inline constexpr int kZeptoolFailed = 1;  // the file could not be read or understood
inline constexpr int kZeptoolUsage = 2;   // wrong command line

// `args` excludes the program name.
int RunZeptool(std::span<const std::string> args, std::ostream& out, std::ostream& err);

}  // namespace lumatrace
