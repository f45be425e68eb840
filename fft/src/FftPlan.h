// Tables and buffers of one transform length, and the description of one transform, as the
// kernels see them.
//
// This header is compiled into every instruction-set build of the kernel, so it holds plain data
// only: an inline function here could be emitted with AVX-512 code and then picked by the linker
// for the baseline build.
#pragma once

#include <stdint.h>

namespace lumatrace::fft {

// The real input of n points is transformed as m = n / 2 complex points z[j] = x[2j] + i x[2j+1],
// followed by a split step that separates the spectra of the even and odd samples.
//
// For m >= kMinFourStepPoints the complex transform is done in four steps over an m2 x m1 matrix
// (element j = n1 + m1 n2 in row n2, column n1):
//   1. for each column n1: transform of length m2 over n2 (vectorised across adjacent columns),
//      then multiplication by W_m^(n1 k2); written to work row k2.
//   2. for each row k2: transform of length m1 over n1 (vectorised across adjacent rows), giving
//      Z[k2 + m2 k1], followed directly by the split step and the normalisation.
// Smaller lengths take a plain scalar path.
constexpr int32_t kMinFourStepPoints = 256;

// Most lanes any kernel build uses; the lane twiddle table is laid out for this width.
constexpr int32_t kMaxLanes = 8;

// Rows of the work matrix that step 2 transforms before writing their bins out together.
constexpr int32_t kGroupRows = 32;

struct FftPlan {
    int32_t n;  // real points
    int32_t m;  // complex points, n / 2
    bool fourStep;

    double dcScale;   // 1 / n
    double binScale;  // 0.5 / half: the split step's halving and the division by half in one

    // ---- four-step path ----
    int32_t m1;  // row length (step 2)
    int32_t m2;  // column length (step 1)
    // Radix-4 pass twiddles of the length-m2 and length-m1 transforms: for each pass with block
    // length L = len, len/4, ... while L >= 8, and each j < L/4, six doubles: W_L^j, W_L^2j, W_L^3j
    // as (re, im) pairs.
    const double* colTwiddles;
    const double* rowTwiddles;
    // Bit reversal over log2(m2) and log2(m1) bits: where the in-place transforms leave bin k.
    const int32_t* colBitrev;
    const int32_t* rowBitrev;
    // W_m^(n1 k2) = block[n1 / 8][k2] x lane[k2][n1 % 8]
    const double* laneTwRe;   // [m2][kMaxLanes]
    const double* laneTwIm;   //
    const double* blockTwRe;  // [m1 / 8][m2]
    const double* blockTwIm;  //
    // Split step: W_n^(k2 + m2 k1) x binScale = splitRow[k2] x splitCol[k1]
    const double* splitRowRe;  // [m2 + 1], scaled by binScale
    const double* splitRowIm;
    const double* splitColRe;  // [m1]
    const double* splitColIm;
    double* workRe;  // [m2][workStride] after step 1
    double* workIm;
    // m1 plus a cache line: rows a power of two apart would all fall into the same cache sets.
    int32_t workStride;
    double* scratchRe;  // the blocks being transformed: max(m2 kMaxLanes, 2 kGroupRows m1)
    double* scratchIm;

    // ---- scalar path for small lengths ----
    const double* smallTwRe;  // W_m^t, t < m / 2
    const double* smallTwIm;
    const double* smallSplitRe;  // W_n^k, k < m
    const double* smallSplitIm;
    const int32_t* smallBitrev;  // over log2(m) bits
};

// One call's worth of input: the decoding parameters and where the result goes.
struct FftJob {
    const FftPlan* plan;
    const uint32_t* samples;  // n words
    double* outRe;            // n doubles each
    double* outIm;
    // Window weights of the even and odd samples (m each, in the order the kernel reads them), or
    // null for the rectangular window.
    const double* windowEven;
    const double* windowOdd;
    int32_t shift;  // 0 .. 31
    double rangeMv;
    double offsetCodes;
};

}  // namespace lumatrace::fft
