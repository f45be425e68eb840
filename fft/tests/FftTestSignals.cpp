#include "fft/tests/FftTestSignals.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <sstream>

namespace lumatrace::fft::testing {

int32_t stagesOf(int32_t n) {
    int32_t s = 0;
    while ((int32_t{1} << s) < n) {
        ++s;
    }
    return s;
}

std::vector<uint32_t> randomRecord(int32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<uint32_t> code(0, 1023);
    std::uniform_int_distribution<int> noise(-40, 40);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double cycles = 1.0 + unit(rng) * n / 8.0;
    const double phase = unit(rng) * 6.0;
    std::vector<uint32_t> words(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        const double s = 512.0 + 380.0 * std::sin(6.283185307179586 * cycles * i / n + phase);
        const uint32_t ch1 =
            static_cast<uint32_t>(std::clamp(static_cast<int>(s) + noise(rng), 0, 1023));
        uint32_t word = ch1 | (code(rng) << 16);
        const double u = unit(rng);
        if (u < 0.01) {
            word = ZEP9100FFT_NO_SAMPLE;
        } else if (u < 0.05) {
            word |= 0xFC00FC00u & static_cast<uint32_t>(rng());  // stray bits outside the codes
        }
        words[static_cast<std::size_t>(i)] = word;
    }
    const int32_t run = std::min(n / 8, 300);
    const int32_t at = static_cast<int32_t>(unit(rng) * (n - run));
    std::fill_n(words.begin() + at, run, ZEP9100FFT_NO_SAMPLE);
    return words;
}

std::vector<uint32_t> constantRecord(int32_t n, uint32_t code) {
    return std::vector<uint32_t>(static_cast<std::size_t>(n), code | (code << 16));
}

FftParams makeParams(int32_t shift, int32_t window, double rangeMv, double offsetCodes) {
    FftParams p;
    p.shift = shift;
    p.window = window;
    p.rangeMv = rangeMv;
    p.offsetCodes = offsetCodes;
    return p;
}

FftParams randomParams(uint32_t seed, int32_t window) {
    static const double kRanges[] = {20.0, 100.0, 1000.0, 5000.0, 100000.0};
    std::mt19937 rng(seed);
    const int32_t shift = (rng() % 2 == 0) ? 0 : 16;
    const double range = kRanges[rng() % 5];
    const int position = static_cast<int>(rng() % 501);
    return makeParams(shift, window, range, (250 - position) * 2.048);
}

Spectrum::Spectrum(int32_t n)
    : re(static_cast<std::size_t>(n), std::nan("")),
      im(static_cast<std::size_t>(n), std::nan("")) {}

std::string spectrumMismatch(const Spectrum& actual, const Spectrum& reference,
                             bool referenceInputAllZero) {
    const std::size_t n = reference.re.size();
    if (actual.re.size() != n || actual.im.size() != n) {
        return "length " + std::to_string(actual.re.size()) + " instead of " + std::to_string(n);
    }
    if (referenceInputAllZero) {
        for (std::size_t k = 0; k < n; ++k) {
            if (actual.re[k] != 0.0 || actual.im[k] != 0.0) {
                std::ostringstream m;
                m << "bin " << k << " is " << actual.re[k] << " + " << actual.im[k]
                  << "i for an all-zero input";
                return m.str();
            }
        }
        return "";
    }
    double largest = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        largest = std::max(largest, std::hypot(reference.re[k], reference.im[k]));
    }
    const double tolerance = 1e-9 * largest;
    double worst = 0.0;
    std::size_t worstAt = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const double d = std::max(std::abs(actual.re[k] - reference.re[k]),
                                  std::abs(actual.im[k] - reference.im[k]));
        if (!std::isnan(worst) && (std::isnan(d) || d > worst)) {
            worst = d;
            worstAt = k;
        }
    }
    if (!(worst <= tolerance)) {
        std::ostringstream m;
        m << "bin " << worstAt << " of " << n << ": " << actual.re[worstAt] << " + "
          << actual.im[worstAt] << "i, expected " << reference.re[worstAt] << " + "
          << reference.im[worstAt] << "i (difference " << worst << ", tolerance " << tolerance
          << ")";
        return m.str();
    }
    return "";
}

}  // namespace lumatrace::fft::testing
