#include <gtest/gtest.h>

#include "app/platform/MemoryStatus.h"

namespace lumatrace {
namespace {

TEST(PlatformMemoryStatus, ParsesMemAvailableInBytes) {
    struct Case {
        const char* text;
        std::optional<std::uint64_t> expected;
    };
    const Case cases[] = {
        {"MemTotal:       16303412 kB\nMemFree:         1234 kB\nMemAvailable:   8000000 kB\n",
         8000000ull * 1024},
        {"MemAvailable: 0 kB", 0},
        {"MemTotal: 5 kB\n", std::nullopt},                         // older kernels: no figure
        {"MemAvailable:  12 MB\n", std::nullopt},                   // unknown unit
        {"MemAvailable:   kB\n", std::nullopt},                     // no number
        {"XMemAvailable: 5 kB\n", std::nullopt},                    // another key
        {"MemAvailable: 99999999999999999999 kB\n", std::nullopt},  // overflow
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseMemAvailable(c.text), c.expected) << c.text;
    }
}

TEST(PlatformMemoryStatus, ReadsTheKernelsFigure) {
    const auto available = AvailablePhysicalMemory();
    ASSERT_TRUE(available.has_value());
    EXPECT_GT(*available, 0u);
}

}  // namespace
}  // namespace lumatrace
