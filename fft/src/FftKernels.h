// The builds of the transform kernel for different instruction sets, and the choice among them.
#pragma once

#include "fft/src/FftPlan.h"

namespace lumatrace::fft {

struct FftKernel {
    const char* name;
    bool (*supported)();  // whether this CPU and OS can run it
    void (*transform)(const FftJob& job);
};

// Every kernel compiled into the library, widest first; the last one runs everywhere.
int kernelCount();
const FftKernel& kernelAt(int index);

// The widest kernel this machine supports.
const FftKernel& bestKernel();

}  // namespace lumatrace::fft

namespace lumatrace::fft {

// The plain scalar path for lengths below kMinFourStepPoints complex points.
void smallTransform(const FftJob& job);

}  // namespace lumatrace::fft
