// The shared library as the program uses it: loaded by path, both functions bound by name, and
// the behaviour its callers rely on.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>

#include "fft/include/zep9100fft.h"
#include "fft/tests/FftOracle.h"
#include "fft/tests/FftTestSignals.h"

namespace lumatrace::fft::testing {
namespace {

class FftLibrary : public ::testing::Test {
  protected:
    void SetUp() override { load(); }
    void TearDown() override { unload(); }

    void load() {
        handle_ = dlopen(ZEP9100FFT_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        init_ = reinterpret_cast<Zep9100InitFftFn>(dlsym(handle_, "Zep9100InitFft"));
        calc_ = reinterpret_cast<Zep9100CalcFftFn>(dlsym(handle_, "Zep9100CalcFft"));
        ASSERT_NE(init_, nullptr);
        ASSERT_NE(calc_, nullptr);
    }
    void unload() {
        if (handle_ != nullptr) {
            EXPECT_EQ(dlclose(handle_), 0);
            handle_ = nullptr;
        }
    }

    bool init(int32_t n) { return init_(n, stagesOf(n), n / 2) == 1; }
    Spectrum calc(const FftParams& params, const std::vector<uint32_t>& words) {
        Spectrum out(static_cast<int32_t>(words.size()));
        EXPECT_EQ(calc_(&params, words.data(), out.re.data(), out.im.data()), 1);
        return out;
    }
    static Spectrum oracle(const FftParams& params, const std::vector<uint32_t>& words) {
        const int32_t n = static_cast<int32_t>(words.size());
        FftOracle o(n, stagesOf(n), n / 2);
        Spectrum out(n);
        o.calc(params, words.data(), out.re.data(), out.im.data());
        return out;
    }

    void* handle_ = nullptr;
    Zep9100InitFftFn init_ = nullptr;
    Zep9100CalcFftFn calc_ = nullptr;
};

bool allZero(const Spectrum& s) {
    for (std::size_t k = 0; k < s.re.size(); ++k) {
        if (s.re[k] != 0.0 || s.im[k] != 0.0) {
            return false;
        }
    }
    return true;
}

bool bitwiseEqual(const Spectrum& a, const Spectrum& b) {
    return a.re.size() == b.re.size() &&
           std::memcmp(a.re.data(), b.re.data(), a.re.size() * sizeof(double)) == 0 &&
           std::memcmp(a.im.data(), b.im.data(), a.im.size() * sizeof(double)) == 0;
}

TEST_F(FftLibrary, MatchesTheOracleAtEachProgramLength) {
    const struct { int32_t n, window; } cases[] = {{8192, 3}, {65536, 1}, {524288, 2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "n " << c.n);
        ASSERT_TRUE(init(c.n));
        const auto words = randomRecord(c.n, 99);
        const FftParams params = randomParams(3, c.window);
        EXPECT_EQ(spectrumMismatch(calc(params, words), oracle(params, words), false), "");
    }
}

TEST_F(FftLibrary, FillsAllBinsInNaturalOrderWithTheUpperHalfMirrored) {
    const int32_t n = 8192;
    ASSERT_TRUE(init(n));
    const auto words = randomRecord(n, 4);
    const std::vector<uint32_t> before = words;
    const Spectrum s = calc(makeParams(16, 1, 500.0, -20.48), words);
    EXPECT_EQ(words, before) << "the samples are read only";
    for (int32_t k = 0; k < n; ++k) {
        ASSERT_FALSE(std::isnan(s.re[k]) || std::isnan(s.im[k])) << "bin " << k << " not written";
    }
    EXPECT_EQ(s.im[0], 0.0);
    EXPECT_EQ(s.im[n / 2], 0.0);
    for (int32_t k = 1; k < n / 2; ++k) {
        ASSERT_EQ(s.re[n - k], s.re[k]) << k;
        ASSERT_EQ(s.im[n - k], -s.im[k]) << k;
    }
}

TEST_F(FftLibrary, RecordOfMissingSamplesGivesAZeroSpectrum) {
    ASSERT_TRUE(init(8192));
    const std::vector<uint32_t> words(8192, ZEP9100FFT_NO_SAMPLE);
    for (int32_t window = 0; window <= 3; ++window) {
        EXPECT_TRUE(allZero(calc(makeParams(0, window, 1000.0, 50.0), words))) << window;
    }
}

TEST_F(FftLibrary, ConstantCodesGiveOnlyTheirLevelInBinZero) {
    ASSERT_TRUE(init(8192));
    // Code 512 is the zero level at position 250.
    EXPECT_TRUE(allZero(calc(makeParams(0, 0, 1000.0, 0.0), constantRecord(8192, 512))));

    // Code 640 at 100 mV/div (R = 1000): 128 codes = 0.125 V.
    const Spectrum s = calc(makeParams(0, 0, 1000.0, 0.0), constantRecord(8192, 640));
    EXPECT_NEAR(s.re[0], 0.125, 1e-15);
    EXPECT_EQ(s.im[0], 0.0);
    for (int32_t k = 1; k < 8192; ++k) {
        ASSERT_NEAR(s.re[k], 0.0, 1e-15) << k;
        ASSERT_NEAR(s.im[k], 0.0, 1e-15) << k;
    }
}

TEST_F(FftLibrary, ShiftSelectsTheChannel) {
    ASSERT_TRUE(init(8192));
    const std::vector<uint32_t> words(8192, 640u | (384u << 16));
    EXPECT_NEAR(calc(makeParams(0, 0, 1000.0, 0.0), words).re[0], 0.125, 1e-15);
    EXPECT_NEAR(calc(makeParams(16, 0, 1000.0, 0.0), words).re[0], -0.125, 1e-15);
    // Only the low five bits of the shift count.
    EXPECT_TRUE(bitwiseEqual(calc(makeParams(48, 0, 1000.0, 0.0), words),
                             calc(makeParams(16, 0, 1000.0, 0.0), words)));
}

TEST_F(FftLibrary, WindowsOutsideTheListActAsRectangular) {
    ASSERT_TRUE(init(65536));
    const auto words = randomRecord(65536, 8);
    const Spectrum rectangular = calc(makeParams(0, 0, 2000.0, 10.24), words);
    for (int32_t window : {7, 4, -1, 1000}) {
        EXPECT_TRUE(bitwiseEqual(calc(makeParams(0, window, 2000.0, 10.24), words), rectangular))
            << window;
    }
}

// A sine exactly on a bin reads its amplitude times the window's mean there.
TEST_F(FftLibrary, SineOnABinReadsAmplitudeTimesWindowMean) {
    const int32_t n = 65536;
    const int32_t bin = 1000;
    ASSERT_TRUE(init(n));
    std::vector<uint32_t> words(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        const double s = 512.0 + 400.0 * std::sin(6.283185307179586 * bin * i / n);
        words[static_cast<std::size_t>(i)] = static_cast<uint32_t>(std::lround(s));
    }
    const double rangeMv = 2000.0;
    const double amplitude = rangeMv * 400.0 / 1024 * 0.001;  // volts
    const char* names[] = {"rectangular", "Hamming", "Hann", "Blackman-Harris"};
    for (int32_t window = 0; window <= 3; ++window) {
        double mean = 0.0;
        for (int32_t i = 0; i < n; ++i) {
            const double c = static_cast<double>(i) / (n - 1);
            const double w[] = {1.0, 0.54 - 0.46 * std::cos(6.283185307179586 * c),
                                0.5 - 0.5 * std::cos(6.283185307179586 * c),
                                0.35875 - 0.48829 * std::cos(6.283185307179586 * c) +
                                    0.14128 * std::cos(12.566370614359172 * c) -
                                    0.01168 * std::cos(18.84955592153876 * c)};
            mean += w[window];
        }
        mean /= n;
        const Spectrum s = calc(makeParams(0, window, rangeMv, 0.0), words);
        // Code rounding limits the agreement to about 1e-4 of the amplitude.
        EXPECT_NEAR(std::hypot(s.re[bin], s.im[bin]), amplitude * mean, 2e-4 * amplitude)
            << names[window];
        EXPECT_NEAR(std::hypot(s.re[n - bin], s.im[n - bin]), amplitude * mean, 2e-4 * amplitude)
            << names[window];
    }
}

TEST_F(FftLibrary, InitialisingTwiceOrForAnotherLengthAndBackChangesNothing) {
    const int32_t n = 65536;
    const auto words = randomRecord(n, 21);
    const FftParams params = randomParams(21, 3);
    ASSERT_TRUE(init(n));
    const Spectrum once = calc(params, words);
    ASSERT_TRUE(init(n));
    ASSERT_TRUE(init(n));
    EXPECT_TRUE(bitwiseEqual(calc(params, words), once));
    ASSERT_TRUE(init(8192));
    ASSERT_TRUE(init(n));
    EXPECT_TRUE(bitwiseEqual(calc(params, words), once));
    EXPECT_TRUE(bitwiseEqual(calc(params, words), once)) << "a transform leaves no trace";
}

TEST_F(FftLibrary, NullPointersAreRefusedWithoutTouchingAnything) {
    ASSERT_TRUE(init(8192));
    const auto words = randomRecord(8192, 3);
    const FftParams params = makeParams(0, 0, 1000.0, 0.0);
    Spectrum out(8192);
    EXPECT_EQ(calc_(nullptr, words.data(), out.re.data(), out.im.data()), 0);
    EXPECT_EQ(calc_(&params, nullptr, out.re.data(), out.im.data()), 0);
    EXPECT_EQ(calc_(&params, words.data(), nullptr, out.im.data()), 0);
    EXPECT_EQ(calc_(&params, words.data(), out.re.data(), nullptr), 0);
    for (std::size_t k = 0; k < out.re.size(); ++k) {
        ASSERT_TRUE(std::isnan(out.re[k]) && std::isnan(out.im[k])) << k;
    }
}

TEST_F(FftLibrary, ARefusedInitialisationLeavesTheLibraryUnusableUntilTheNextOne) {
    ASSERT_TRUE(init(8192));
    EXPECT_EQ(init_(8192, 12, 4096), 0);  // stages do not match
    const auto words = randomRecord(8192, 3);
    const FftParams params = makeParams(0, 0, 1000.0, 0.0);
    Spectrum out(8192);
    EXPECT_EQ(calc_(&params, words.data(), out.re.data(), out.im.data()), 0);
    EXPECT_TRUE(std::isnan(out.re[0]));
    ASSERT_TRUE(init(8192));
    EXPECT_EQ(calc_(&params, words.data(), out.re.data(), out.im.data()), 1);
}

TEST_F(FftLibrary, AFreshlyLoadedLibraryRefusesToTransform) {
    ASSERT_TRUE(init(8192));
    unload();
    load();
    const auto words = randomRecord(8192, 3);
    const FftParams params = makeParams(0, 0, 1000.0, 0.0);
    Spectrum out(8192);
    EXPECT_EQ(calc_(&params, words.data(), out.re.data(), out.im.data()), 0);
}

}  // namespace
}  // namespace lumatrace::fft::testing
