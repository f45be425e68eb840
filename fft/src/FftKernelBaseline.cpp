// The kernel for the instruction set the library is built for (SSE2 on x86-64); always usable.
#define FFT_KERNEL_NS baseline
#include "fft/src/FftKernel.inc"
