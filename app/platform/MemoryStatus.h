#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace lumatrace {

// The "MemAvailable" figure of a /proc/meminfo text, in bytes.
std::optional<std::uint64_t> ParseMemAvailable(std::string_view meminfo);

// Physical memory available to new allocations without swapping, as the
// kernel estimates it; nullopt when the kernel does not say.
std::optional<std::uint64_t> AvailablePhysicalMemory();

}  // namespace lumatrace
