// AVX2 + FMA build of the kernel, chosen at run time on CPUs that have both.
#if !defined(__AVX2__) || !defined(__FMA__)
#error "compile with -mavx2 -mfma"
#endif
#define FFT_KERNEL_NS avx2
#include "fft/src/FftKernel.inc"
