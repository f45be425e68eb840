#include "app/files/WaveformPath.h"

#include <algorithm>

namespace lumatrace {

std::string ExtractWaveformPath(std::string_view commandLine) {
    std::string s(commandLine);
    // Without a quoted program path there is nothing before the file name to
    // drop (a fixed cut would eat the name's first characters).
    constexpr std::string_view kProgramEnd = ".exe\" ";
    if (const std::size_t at = s.find(kProgramEnd); at != std::string::npos) {
        s.erase(0, at + kProgramEnd.size());
    }
    std::string lower = s;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    if (const std::size_t at = lower.find(".zep"); at != std::string::npos) {
        s.erase(at + 4);
    }
    s.erase(std::remove(s.begin(), s.end(), '"'), s.end());
    const std::size_t first = s.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

}  // namespace lumatrace
