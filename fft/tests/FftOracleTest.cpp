// The oracle is a literal transcription of the library's contract; check that it is what the
// contract says it computes: the scaled forward DFT of the windowed input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>

#include "fft/tests/FftOracle.h"
#include "fft/tests/FftTestSignals.h"

namespace lumatrace::fft::testing {
namespace {

// Direct DFT, in long double so that it is the more accurate side.
Spectrum scaledDft(const std::vector<double>& x) {
    const int32_t n = static_cast<int32_t>(x.size());
    Spectrum out(n);
    const long double pi = 3.141592653589793238462643383279502884L;
    for (int32_t k = 0; k < n; ++k) {
        long double re = 0;
        long double im = 0;
        for (int32_t j = 0; j < n; ++j) {
            const long double a =
                -2 * pi * static_cast<long double>((static_cast<int64_t>(k) * j) % n) / n;
            re += x[static_cast<std::size_t>(j)] * std::cos(a);
            im += x[static_cast<std::size_t>(j)] * std::sin(a);
        }
        const long double divisor = (k == 0) ? n : n / 2;
        out.re[static_cast<std::size_t>(k)] = static_cast<double>(re / divisor);
        out.im[static_cast<std::size_t>(k)] = static_cast<double>(im / divisor);
    }
    return out;
}

TEST(FftOracle, IsTheScaledForwardDftOfTheWindowedInput) {
    for (int32_t n = 2; n <= 512; n *= 2) {
        for (int32_t window = 0; window <= 3; ++window) {
            SCOPED_TRACE(::testing::Message() << "n " << n << ", window " << window);
            FftOracle oracle(n, stagesOf(n), n / 2);
            const auto words = randomRecord(n, static_cast<uint32_t>(n + window));
            Spectrum got(n);
            oracle.calc(randomParams(static_cast<uint32_t>(window), window), words.data(),
                        got.re.data(), got.im.data());
            EXPECT_EQ(spectrumMismatch(got, scaledDft(oracle.input()), false), "");
        }
    }
}

TEST(FftOracle, DecodesVoltsRelativeToTheZeroLevel) {
    // Code 640 at position 250, 1 V full scale: 128 codes above zero = 0.125 V; the zero level
    // at position 200 is code 614.4.
    struct Case {
        uint32_t word;
        FftParams params;
        double volts;
    };
    const Case cases[] = {
        {640, makeParams(0, 0, 1000.0, 0.0), 0.125},
        {640u << 16, makeParams(16, 0, 1000.0, 0.0), 0.125},
        {512, makeParams(0, 0, 1000.0, 0.0), 0.0},
        {614, makeParams(0, 0, 100.0, 102.4), 100.0 * (614 - 614.4) / 1024 * 0.001},
        {ZEP9100FFT_NO_SAMPLE, makeParams(0, 0, 1000.0, 0.0), 0.0},
    };
    for (const Case& c : cases) {
        FftOracle oracle(4, 2, 2);
        const uint32_t words[4] = {c.word, c.word, c.word, c.word};
        Spectrum out(4);
        oracle.calc(c.params, words, out.re.data(), out.im.data());
        EXPECT_NEAR(oracle.input()[0], c.volts, 1e-15) << "word " << c.word;
    }
}

}  // namespace
}  // namespace lumatrace::fft::testing
