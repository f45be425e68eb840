#include "app/platform/MemoryStatus.h"

#include <fstream>
#include <iterator>
#include <limits>
#include <string>

namespace lumatrace {

std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo) {
    constexpr std::string_view kKey = "MemAvailable:";
    std::size_t lineStart = 0;
    while (lineStart < meminfo.size()) {
        std::size_t lineEnd = meminfo.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = meminfo.size();
        }
        const std::string_view line = meminfo.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        if (line.substr(0, kKey.size()) != kKey) {
            continue;
        }
        std::size_t i = kKey.size();
        while (i < line.size() && line[i] == ' ') {
            ++i;
        }
        if (i == line.size() || line[i] < '0' || line[i] > '9') {
            return std::nullopt;
        }
        std::uint64_t kib = 0;
        for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
            const unsigned digit = static_cast<unsigned>(line[i] - '0');
            if (kib > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) {
                return std::nullopt;
            }
            kib = kib * 10 + digit;
        }
        const std::string_view unit = line.substr(i);
        if (unit != " kB") {
            return std::nullopt;
        }
        if (kib > std::numeric_limits<std::uint64_t>::max() / 1024) {
            return std::nullopt;
        }
        return kib * 1024;
    }
    return std::nullopt;
}

std::optional<std::uint64_t> AvailablePhysicalMemory() {
    std::ifstream in("/proc/meminfo");
    if (!in) {
        return std::nullopt;
    }
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return ParseMemAvailable(text);
}

}  // namespace lumatrace
