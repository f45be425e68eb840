// The AVX2 build of the MATH column range loop (MathYTable.h); call only where the CPU has AVX2.
#pragma once

#include <cstdint>

#include "app/display/MathYTable.h"
#include "app/display/SampleWord.h"

namespace lumatrace::avx2 {

int MathRangeAvx2(const std::int16_t* table, const SampleWord* words, int i, int end, int& lo,
                  int& hi);
int MathScoreRangeAvx2(const SampleWord* words, int i, int end, std::uint32_t coefficients, int& lo,
                       int& hi);
int MathProductRangeAvx2(const SampleWord* words, int i, int end, const MathProductScore& p,
                         std::int64_t& lo, std::int64_t& hi);
int MathProductFindAvx2(const SampleWord* words, int i, int end, const MathProductScore& p,
                        std::int64_t lo, std::int64_t hi);
int MathScoreFindAvx2(const SampleWord* words, int i, int end, std::uint32_t coefficients, int lo,
                      int hi);

}  // namespace lumatrace::avx2
