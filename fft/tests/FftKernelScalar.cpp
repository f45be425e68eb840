// The plain C++ build of the kernel, which 32-bit x86 builds without SSE2 run as their baseline;
// compiled here so that it is checked against the oracle like the builds of this machine.
#define FFT_KERNEL_SCALAR
#define FFT_KERNEL_NS scalar_for_test
#include "fft/src/FftKernel.inc"
