#pragma once

#include <cmath>
#include <memory>
#include <numbers>

#include "app/display/SampleWord.h"
#include "app/display/Spectrum.h"

namespace lumatrace::testing {

// Records stop requests from the spectrum code.
class StopCounter : public SpectrumHost {
  public:
    int stops = 0;
    void StopAcquisition() override { ++stops; }
};

inline std::unique_ptr<SampleBuffer> NewRecord() {
    auto r = std::make_unique<SampleBuffer>();
    r->fill(NoSample);
    return r;
}

// n words with `channel` carrying a sine of `amplitudeCodes` codes around `centre` on bin `bin`
// of an n-point transform, the other channel at code 100.
inline void FillSine(SampleBuffer& r, int n, int channel, double centre, double amplitudeCodes,
                     int bin) {
    for (int i = 0; i < n; ++i) {
        const double v = centre + amplitudeCodes * std::sin(2.0 * std::numbers::pi * bin * i / n);
        const int code = static_cast<int>(RoundHalfEven(v));
        r[static_cast<std::size_t>(i)] =
            channel == 0 ? MakeSampleWord(code, 100) : MakeSampleWord(100, code);
    }
}

}  // namespace lumatrace::testing
