// Feeds arbitrary bytes to the reader of the measurements panel's file: whatever it reads must
// write back as a file that reads to the same choices without errors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/measure/MeasureChoices.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lumatrace::MeasureChoicesRead read = lumatrace::DecodeMeasureChoices(
        std::string_view(reinterpret_cast<const char*>(data), size));
    const lumatrace::MeasureChoicesRead again =
        lumatrace::DecodeMeasureChoices(lumatrace::EncodeMeasureChoices(read.choices));
    if (!again.errors.empty() || !(again.choices == read.choices))
        std::abort();
    return 0;
}
