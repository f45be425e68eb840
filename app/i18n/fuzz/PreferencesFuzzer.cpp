// Feeds arbitrary bytes to the reader of the program's preferences file: whatever it reads must
// write back as a file that reads to the same preferences without errors.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/i18n/Language.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const lumatrace::PreferencesRead read =
        lumatrace::DecodePreferences(std::string_view(reinterpret_cast<const char*>(data), size));
    const lumatrace::PreferencesRead again =
        lumatrace::DecodePreferences(lumatrace::EncodePreferences(read.preferences));
    if (!again.errors.empty() || !(again.preferences == read.preferences))
        std::abort();
    return 0;
}
