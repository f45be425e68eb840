// Typed delay and pulse times and command lines: whatever the text, the
// parsers answer without faults and the converted values stay in their limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/core/PanelValues.h"
#include "app/core/WindowRules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumatrace;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string_view units[] = {"ns", "us", "ms", "s", ""};
    const int intervals[] = {10, 20, 1000000, 10000000};
    for (std::string_view unit : units) {
        const auto ns = ParseTimeNs(text, unit);
        if (!ns) {
            continue;
        }
        if (!(*ns >= 0.0L)) {
            std::abort();
        }
        for (int interval : intervals) {
            const std::int64_t delay = DelayFromTime(*ns, interval);
            if (delay < 0 || delay > kMaxTrigDelay || delay > 100'000'000'000LL / interval) {
                std::abort();
            }
        }
        for (int condition : {1, 2}) {
            const int pulse = PulseFromTime(*ns, condition);
            if (pulse % 10 != 0 || pulse < 0 || pulse > kMaxPulseUnderNs ||
                (condition == 1 && pulse < 10) || (condition == 2 && pulse > kMaxPulseAboveNs)) {
                std::abort();
            }
        }
    }
    const std::string file = ExtractWaveFileName(text);
    if (file.size() > text.size() || file.find('"') != std::string::npos) {
        std::abort();
    }
    return 0;
}
