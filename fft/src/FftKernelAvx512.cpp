// AVX-512 build of the kernel, chosen at run time on CPUs with AVX-512F.
#if !defined(__AVX512F__) || !defined(__AVX2__) || !defined(__FMA__)
#error "compile with -mavx512f -mavx2 -mfma"
#endif
#define FFT_KERNEL_NS avx512
#include "fft/src/FftKernel.inc"
