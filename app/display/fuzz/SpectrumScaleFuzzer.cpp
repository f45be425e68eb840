// Frequency-scale items also come from parameter and waveform files: any text must either be
// refused or give a finite, positive frequency.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/display/SpectrumScales.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto hz = lumatrace::ParseFftHzPerDiv(text)) {
        if (!std::isfinite(static_cast<double>(*hz)) || !(*hz > 0.0L))
            std::abort();
        const int bins = lumatrace::BinsPerScreenFor(*hz, lumatrace::BinWidthHz(8192, 10, false));
        if (bins < 2 || bins % 2 != 0)
            std::abort();
    }
    return 0;
}
