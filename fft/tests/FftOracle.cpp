#include "fft/tests/FftOracle.h"

#include <cmath>
#include <cstddef>

namespace lumatrace::fft::testing {

namespace {
constexpr double kTwoPi = 6.283185307179586;
constexpr double kFourPi = 12.566370614359172;
constexpr double kSixPi = 18.84955592153876;
}  // namespace

FftOracle::FftOracle(int32_t n, int32_t stages, int32_t half)
    : n_(n),
      stages_(stages),
      half_(half),
      cos_(static_cast<std::size_t>(half)),
      sin_(static_cast<std::size_t>(half)),
      workRe_(static_cast<std::size_t>(n)),
      workIm_(static_cast<std::size_t>(n)),
      outRe_(static_cast<std::size_t>(n)),
      outIm_(static_cast<std::size_t>(n)),
      input_(static_cast<std::size_t>(n)) {
    for (int32_t k = 0; k < half; ++k) {
        cos_[k] = std::cos(kTwoPi * k / n);
        sin_[k] = -std::sin(kTwoPi * k / n);
    }
}

int32_t FftOracle::bitReverse(int32_t x) const {
    int32_t result = 0;
    for (int32_t i = 0; i < stages_; ++i) {
        result = 2 * result + (x % 2);
        x = x / 2;
    }
    return result;
}

void FftOracle::calc(const FftParams& params, const uint32_t* samples, double* outReal,
                     double* outImag) {
    const int32_t n = n_;
    const double r = params.rangeMv;

    // 1. decode and window
    for (int32_t i = 0; i < n; ++i) {
        const uint32_t word = samples[i];
        double value = 0.0;
        if (word != 0xFFFFFFFFu) {
            const uint32_t code = (word >> (params.shift & 31)) & 0x3FF;
            value = (r * (code - params.offsetCodes) * (1.0 / 1024) - r * 0.5) * 0.001;
        }
        const double c = static_cast<double>(i) / static_cast<double>(n - 1);
        double w = 1.0;
        switch (params.window) {
            case 1:
                w = 0.54 - 0.46 * std::cos(kTwoPi * c);
                break;
            case 2:
                w = 0.5 - 0.5 * std::cos(kTwoPi * c);
                break;
            case 3:
                w = 0.35875 - 0.48829 * std::cos(kTwoPi * c) + 0.14128 * std::cos(kFourPi * c) -
                    0.01168 * std::cos(kSixPi * c);
                break;
            default:
                break;
        }
        workRe_[i] = value * w;
        workIm_[i] = 0.0;
        input_[i] = workRe_[i];
    }

    // 2. radix 2 in place
    for (int32_t s = 1; s <= stages_; ++s) {
        const int32_t span = n >> s;
        const int32_t block = 1 << s;
        for (int32_t g = 0; g < n - 1; g += 2 * span) {
            for (int32_t j = 0; j < span; ++j) {
                const int32_t a = g + j;
                const int32_t b = a + span;
                const int32_t d = bitReverse(a);
                const int32_t t = (d % block) * span;
                const double xr = cos_[t] * workRe_[b] - sin_[t] * workIm_[b];
                const double xi = cos_[t] * workIm_[b] + sin_[t] * workRe_[b];
                workRe_[b] = workRe_[a] - xr;
                workIm_[b] = workIm_[a] - xi;
                workRe_[a] = workRe_[a] + xr;
                workIm_[a] = workIm_[a] + xi;
            }
        }
    }

    // 3. reorder and normalise
    for (int32_t i = 0; i < n; ++i) {
        const int32_t k = bitReverse(i);
        const double divisor = (k == 0) ? n : half_;
        outRe_[k] = workRe_[i] / divisor;
        outIm_[k] = workIm_[i] / divisor;
    }

    // 4. copy out
    for (int32_t i = 0; i < n; ++i) {
        outReal[i] = outRe_[i];
        outImag[i] = outIm_[i];
    }
}

}  // namespace lumatrace::fft::testing
