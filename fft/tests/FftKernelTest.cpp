// Every kernel build against the oracle, at the lengths the program uses and at the short ones
// that take the scalar path or sit at the kernels' lower limit.
#include <gtest/gtest.h>

#include <iostream>
#include <ostream>
#include <string>
#include <vector>

#include "fft/src/FftEngine.h"
#include "fft/src/FftKernels.h"
#include "fft/tests/FftOracle.h"
#include "fft/tests/FftTestSignals.h"

namespace lumatrace::fft::scalar_for_test {
void transform(const FftJob& job);
}

namespace lumatrace::fft::testing {
namespace {

bool always() {
    return true;
}

// The kernels of this build, and the plain C++ one that 32-bit builds fall back on.
std::vector<FftKernel> kernelsToCheck() {
    std::vector<FftKernel> kernels;
    for (int i = 0; i < kernelCount(); ++i) {
        kernels.push_back(kernelAt(i));
    }
    kernels.push_back({"scalar", &always, &scalar_for_test::transform});
    return kernels;
}

struct Reference {
    Spectrum spectrum;
    bool inputAllZero = true;
};

Reference oracleSpectrum(int32_t n, const FftParams& params, const std::vector<uint32_t>& words) {
    FftOracle oracle(n, stagesOf(n), n / 2);
    Reference r{Spectrum(n)};
    oracle.calc(params, words.data(), r.spectrum.re.data(), r.spectrum.im.data());
    for (double x : oracle.input()) {
        r.inputAllZero = r.inputAllZero && x == 0.0;
    }
    return r;
}

// Runs every kernel this machine supports on the same input and compares each with the oracle.
void expectAllKernelsMatch(int32_t n, const FftParams& params, const std::vector<uint32_t>& words) {
    const Reference reference = oracleSpectrum(n, params, words);
    FftEngine engine;
    ASSERT_TRUE(engine.init(n, stagesOf(n), n / 2));
    for (const FftKernel& kernel : kernelsToCheck()) {
        if (!kernel.supported()) {
            std::cout << "kernel " << kernel.name << " not checked: this CPU cannot run it\n";
            continue;
        }
        Spectrum got(n);
        ASSERT_TRUE(engine.calc(kernel, &params, words.data(), got.re.data(), got.im.data()));
        EXPECT_EQ(spectrumMismatch(got, reference.spectrum, reference.inputAllZero), "")
            << "kernel " << kernel.name << ", n " << n << ", window " << params.window;
    }
}

struct LengthAndWindow {
    int32_t n;
    int32_t window;
};

void PrintTo(const LengthAndWindow& c, std::ostream* os) {
    *os << "n " << c.n << ", window " << c.window;
}

class FftKernelMatchesOracle : public ::testing::TestWithParam<LengthAndWindow> {};

TEST_P(FftKernelMatchesOracle, OnRandomRecords) {
    const auto [n, window] = GetParam();
    const uint32_t seed = static_cast<uint32_t>(n) * 7u + static_cast<uint32_t>(window);
    expectAllKernelsMatch(n, randomParams(seed, window), randomRecord(n, seed));
}

TEST_P(FftKernelMatchesOracle, OnAnAllMissingRecord) {
    const auto [n, window] = GetParam();
    expectAllKernelsMatch(n, makeParams(0, window, 1000.0, 12.0),
                          std::vector<uint32_t>(static_cast<std::size_t>(n), ZEP9100FFT_NO_SAMPLE));
}

std::vector<LengthAndWindow> programLengths() {
    std::vector<LengthAndWindow> cases;
    for (int32_t n : {8192, 65536, 524288}) {
        for (int32_t window = 0; window <= 3; ++window) {
            cases.push_back({n, window});
        }
    }
    return cases;
}

// The scalar path (below 512 points), the smallest four-step lengths, and both parities of
// log2 for the row and column transforms.
std::vector<LengthAndWindow> otherLengths() {
    std::vector<LengthAndWindow> cases;
    for (int32_t n = 2; n <= 4096; n *= 2) {
        cases.push_back({n, static_cast<int32_t>(n % 5)});
    }
    cases.push_back({1 << 17, 2});
    return cases;
}

std::string caseName(const ::testing::TestParamInfo<LengthAndWindow>& info) {
    return "n" + std::to_string(info.param.n) + "_window" + std::to_string(info.param.window);
}

INSTANTIATE_TEST_SUITE_P(ProgramLengths, FftKernelMatchesOracle,
                         ::testing::ValuesIn(programLengths()), caseName);
INSTANTIATE_TEST_SUITE_P(OtherLengths, FftKernelMatchesOracle, ::testing::ValuesIn(otherLengths()),
                         caseName);

TEST(FftKernels, WidestSupportedIsChosenAndBaselineRunsEverywhere) {
    ASSERT_GE(kernelCount(), 1);
    const FftKernel& last = kernelAt(kernelCount() - 1);
    EXPECT_TRUE(last.supported());
    int firstSupported = 0;
    while (!kernelAt(firstSupported).supported()) {
        ++firstSupported;
    }
    EXPECT_EQ(&bestKernel(), &kernelAt(firstSupported));
#if defined(__x86_64__)
    // Each build really was compiled for its instruction set (names come from the builds).
    std::vector<std::string> names;
    for (int i = 0; i < kernelCount(); ++i) {
        names.push_back(kernelAt(i).name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"avx512", "avx2", "sse2"}));
#endif
}

}  // namespace
}  // namespace lumatrace::fft::testing
