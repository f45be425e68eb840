// SSE2 build of the kernel, for 32-bit x86 builds whose baseline lacks it.
#if !defined(__SSE2__)
#error "compile with -msse2"
#endif
#define FFT_KERNEL_NS sse2
#include "fft/src/FftKernel.inc"
