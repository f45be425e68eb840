// The AVX-512 build of the MATH product loops (MathYTable.h); call only where the CPU has
// AVX-512 F and BW.
#pragma once

#include <cstdint>

#include "app/display/MathYTable.h"
#include "app/display/SampleWord.h"

namespace lumatrace::avx512 {

int MathProductRangeAvx512(const SampleWord* words, int i, int end, const MathProductScore& p,
                           std::int64_t& lo, std::int64_t& hi);
int MathProductFindAvx512(const SampleWord* words, int i, int end, const MathProductScore& p,
                          std::int64_t lo, std::int64_t hi);

}  // namespace lumatrace::avx512
