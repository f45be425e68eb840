// The AVX-512 build of the averaging loop of the split layout (AverageKernels.h); call only
// where the CPU has AVX-512 F and BW.
#pragma once

#include "app/display/AverageKernels.h"

namespace lumatrace::avx512 {

int SplitAvx512(const AverageRows& rows, int i, int end);

}  // namespace lumatrace::avx512
