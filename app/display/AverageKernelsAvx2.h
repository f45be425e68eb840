// The AVX2 build of the averaging loops (AverageKernels.h); call only where the CPU has AVX2.
#pragma once

#include "app/display/AverageKernels.h"

namespace lumatrace::avx2 {

int DirectAvx2(const AverageRows& rows, int i, int end);
int PackedAvx2(const AverageRows& rows, int i, int end);
int WideAvx2(const AverageRows& rows, int i, int end);
int SplitAvx2(const AverageRows& rows, int i, int end);

}  // namespace lumatrace::avx2
