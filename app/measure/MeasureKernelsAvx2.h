// The AVX2 build of the code summary and comparison (MeasureKernels.h); call only where the
// CPU has AVX2.
#pragma once

#include <cstdint>

#include "app/display/SampleWord.h"
#include "app/measure/MeasureKernels.h"

namespace lumatrace::avx2 {

void SummariseCodesAvx2(const SampleWord* words, int blocks, int shift, std::uint32_t* counts,
                        std::uint16_t* blockMin, std::uint16_t* blockMax);
BlockMasks CompareCodesAvx2(const SampleWord* words, int shift, const CodeThresholds& t);

}  // namespace lumatrace::avx2
