#include "fft/src/FftKernels.h"

namespace lumatrace::fft {

// Entry points of the builds of FftKernel.inc, one namespace each.
#define LUMATRACE_DECLARE_KERNEL(ns)   \
    namespace ns {                     \
    const char* kernelName();          \
    void transform(const FftJob& job); \
    }
LUMATRACE_DECLARE_KERNEL(baseline)
#if defined(ZEP9100FFT_KERNEL_AVX512)
LUMATRACE_DECLARE_KERNEL(avx512)
#endif
#if defined(ZEP9100FFT_KERNEL_AVX2)
LUMATRACE_DECLARE_KERNEL(avx2)
#endif
#if defined(ZEP9100FFT_KERNEL_SSE2)
LUMATRACE_DECLARE_KERNEL(sse2)
#endif
#undef LUMATRACE_DECLARE_KERNEL

namespace {

bool runsEverywhere() {
    return true;
}

#if defined(ZEP9100FFT_KERNEL_AVX512) || defined(ZEP9100FFT_KERNEL_AVX2) || \
    defined(ZEP9100FFT_KERNEL_SSE2)
// __builtin_cpu_supports also checks that the OS saves the wider registers.
bool cpuHas(bool avx512, bool avx2, bool sse2) {
    __builtin_cpu_init();
    if (avx512 && !__builtin_cpu_supports("avx512f")) {
        return false;
    }
    if (avx2 && !(__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"))) {
        return false;
    }
    return !sse2 || __builtin_cpu_supports("sse2");
}
#endif
#if defined(ZEP9100FFT_KERNEL_AVX512)
bool hasAvx512() {
    return cpuHas(true, true, true);
}
#endif
#if defined(ZEP9100FFT_KERNEL_AVX2)
bool hasAvx2() {
    return cpuHas(false, true, true);
}
#endif
#if defined(ZEP9100FFT_KERNEL_SSE2)
bool hasSse2() {
    return cpuHas(false, false, true);
}
#endif

const FftKernel kKernels[] = {
#if defined(ZEP9100FFT_KERNEL_AVX512)
    {avx512::kernelName(), &hasAvx512, &avx512::transform},
#endif
#if defined(ZEP9100FFT_KERNEL_AVX2)
    {avx2::kernelName(), &hasAvx2, &avx2::transform},
#endif
#if defined(ZEP9100FFT_KERNEL_SSE2)
    {sse2::kernelName(), &hasSse2, &sse2::transform},
#endif
    {baseline::kernelName(), &runsEverywhere, &baseline::transform},
};

constexpr int kKernelCount = static_cast<int>(sizeof(kKernels) / sizeof(kKernels[0]));

}  // namespace

int kernelCount() {
    return kKernelCount;
}

const FftKernel& kernelAt(int index) {
    return kKernels[index];
}

const FftKernel& bestKernel() {
    for (const FftKernel& k : kKernels) {
        if (k.supported()) {
            return k;
        }
    }
    return kKernels[kKernelCount - 1];
}

}  // namespace lumatrace::fft
