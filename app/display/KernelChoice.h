// Choosing among builds of an inner loop for several instruction sets at run time (the
// program itself is built for the plain x86-64 baseline). A table of builds lists the widest
// first and ends with one that runs everywhere.
#pragma once

#include <cstddef>

namespace lumatrace {

inline bool RunsEverywhere() {
    return true;
}

#if defined(LUMATRACE_DISPLAY_AVX2)
// __builtin_cpu_supports also checks that the OS saves the wider registers.
inline bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

#if defined(LUMATRACE_DISPLAY_AVX512)
inline bool HasAvx512() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
}
#endif

// The first build of the table this machine runs; the last one when none says it does.
template <typename Kernel, std::size_t N>
const Kernel& WidestSupported(const Kernel (&kernels)[N]) {
    for (const Kernel& k : kernels) {
        if (k.supported())
            return k;
    }
    return kernels[N - 1];
}

}  // namespace lumatrace
