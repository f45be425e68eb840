// The AVX2 build of the code summary (MeasureKernels.h); call only where the CPU has AVX2.
#pragma once

#include <cstdint>

#include "app/display/SampleWord.h"

namespace lumatrace::avx2 {

void SummariseCodesAvx2(const SampleWord* words, int blocks, int shift, std::uint32_t* counts,
                        std::uint16_t* blockMin, std::uint16_t* blockMax);

}  // namespace lumatrace::avx2
