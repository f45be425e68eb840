// Lengths too short for the four-step kernels (the program never uses them, but the library takes
// any power of two): a plain radix-2 transform of the m complex points and the split step.
#include <cstddef>
#include <cstdint>

#include "fft/src/FftKernels.h"

namespace lumatrace::fft {

namespace {

double inputValue(const FftJob& job, int32_t i) {
    const uint32_t word = job.samples[i];
    double value = 0.0;
    if (word != 0xFFFFFFFFu) {
        const double code = static_cast<double>((word >> job.shift) & 0x3FFu);
        value = (job.rangeMv * (code - job.offsetCodes) * (1.0 / 1024) - job.rangeMv * 0.5) * 0.001;
    }
    if (job.windowEven != nullptr) {
        value *= (i % 2 == 0 ? job.windowEven : job.windowOdd)[i / 2];
    }
    return value;
}

}  // namespace

void smallTransform(const FftJob& job) {
    const FftPlan& p = *job.plan;
    const int32_t m = p.m;
    const int32_t n = p.n;
    double* zr = p.workRe;
    double* zi = p.workIm;
    for (int32_t j = 0; j < m; ++j) {
        zr[j] = inputValue(job, 2 * j);
        zi[j] = inputValue(job, 2 * j + 1);
    }

    // Decimation in frequency; bin k ends at position bitrev(k).
    for (int32_t len = m; len >= 2; len /= 2) {
        const int32_t half = len / 2;
        const int32_t stride = m / len;
        for (int32_t s = 0; s < m; s += len) {
            for (int32_t j = 0; j < half; ++j) {
                const int32_t a = s + j;
                const int32_t b = a + half;
                const double dr = zr[a] - zr[b];
                const double di = zi[a] - zi[b];
                zr[a] += zr[b];
                zi[a] += zi[b];
                const double wr = p.smallTwRe[j * stride];
                const double wi = p.smallTwIm[j * stride];
                zr[b] = dr * wr - di * wi;
                zi[b] = dr * wi + di * wr;
            }
        }
    }

    job.outRe[0] = (zr[0] + zi[0]) * p.dcScale;
    job.outIm[0] = 0.0;
    job.outRe[m] = (zr[0] - zi[0]) * (2.0 * p.binScale);
    job.outIm[m] = 0.0;
    const double s = p.binScale;
    for (int32_t k = 1; k < m; ++k) {
        const int32_t pk = p.smallBitrev[k];
        const int32_t pj = p.smallBitrev[m - k];
        const double a = zr[pk], b = zi[pk], c = zr[pj], d = zi[pj];
        const double wr = p.smallSplitRe[k] * s, wi = p.smallSplitIm[k] * s;
        const double sr = (a + c) * s, si = (b - d) * s;
        const double orr = b + d, oi = c - a;
        const double tr = wr * orr - wi * oi, ti = wr * oi + wi * orr;
        job.outRe[k] = sr + tr;
        job.outIm[k] = si + ti;
        job.outRe[n - k] = sr + tr;
        job.outIm[n - k] = -(si + ti);
    }
}

}  // namespace lumatrace::fft
