// Records, parameter blocks and comparisons shared by the FFT tests and the Windows check
// program (which has no GoogleTest).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fft/include/zep9100fft.h"

namespace lumatrace::fft::testing {

// log2 of a power of two.
int32_t stagesOf(int32_t n);

// A record of n words: CH1 a noisy sine around mid-scale, CH2 random codes, a few words with
// stray bits in the unused positions, scattered no-sample words and one run of them.
std::vector<uint32_t> randomRecord(int32_t n, uint32_t seed);

// Every word carries `code` on both channels.
std::vector<uint32_t> constantRecord(int32_t n, uint32_t code);

FftParams makeParams(int32_t shift, int32_t window, double rangeMv, double offsetCodes);

// A channel, range and offset drawn from the seed, with the given window.
FftParams randomParams(uint32_t seed, int32_t window);

// A full spectrum as the library returns it.
struct Spectrum {
    explicit Spectrum(int32_t n = 0);
    std::vector<double> re;
    std::vector<double> im;
};

// Empty when every bin is within 1e-9 of the reference's largest magnitude (and exactly zero
// everywhere when the reference came from an all-zero input); otherwise the worst bin.
std::string spectrumMismatch(const Spectrum& actual, const Spectrum& reference,
                             bool referenceInputAllZero);

}  // namespace lumatrace::fft::testing
