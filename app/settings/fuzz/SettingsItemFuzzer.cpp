// List items reach the parsers from parameter and waveform files: whatever
// the text, a parser either refuses it or returns a value in its range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/settings/PanelRules.h"
#include "app/settings/ValueTables.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace lumatrace;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto ns = ParseTimePerDivNs(text)) {
        if (*ns < 0.0L) {
            std::abort();
        }
    }
    if (const auto mv = ParseMillivolts(text); mv && *mv < 0) {
        std::abort();
    }
    if (const auto scale = ParseFftVScale(text); scale && *scale < 0) {
        std::abort();
    }
    if (const auto count = ParseAcquireCount(text); count && *count < -1) {
        std::abort();
    }
    if (const auto v = VoltsPerDivFromItem(text, 10); v && *v < 0) {
        std::abort();
    }
    if (const auto n = AcquireCountFor(1, text); n && *n < -1) {
        std::abort();
    }
    return 0;
}
