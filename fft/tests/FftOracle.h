// The transform exactly as the library's contract describes it, step by step: radix 2 in place on
// N points, the stored twiddle tables indexed through the bit-reversed index, the reorder and the
// normalisation. Slow on purpose; every faster path is checked against it.
#pragma once

#include <cstdint>
#include <vector>

#include "fft/include/zep9100fft.h"

namespace lumatrace::fft::testing {

class FftOracle {
  public:
    FftOracle(int32_t n, int32_t stages, int32_t half);

    void calc(const FftParams& params, const uint32_t* samples, double* outReal, double* outImag);

    // The windowed input of the last calc, in volts.
    const std::vector<double>& input() const { return input_; }

  private:
    int32_t bitReverse(int32_t x) const;

    int32_t n_;
    int32_t stages_;
    int32_t half_;
    std::vector<double> cos_;
    std::vector<double> sin_;
    std::vector<double> workRe_;
    std::vector<double> workIm_;
    std::vector<double> outRe_;
    std::vector<double> outIm_;
    std::vector<double> input_;
};

}  // namespace lumatrace::fft::testing
