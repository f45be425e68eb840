// The AVX-512 build of the passes over MATH's scores (MeasureKernels.h); call only where the
// CPU has AVX-512 F, BW and DQ.
#pragma once

#include <cstdint>

#include "app/display/SampleWord.h"
#include "app/measure/MeasureKernels.h"

namespace lumatrace::avx512 {

void ScoresAvx512(const SampleWord* words, int blocks, int shiftA, int shiftB,
                  const ScoreForm& form, double center, double* blockMin, double* blockMax,
                  double* blockSum, ScoreTotals& totals, double* squares);
void BinScoresAvx512(const SampleWord* words, int blocks, int shiftA, int shiftB,
                     const ScoreForm& form, const double* blockMin, const double* blockMax,
                     double base, int shift, std::uint32_t* counts);
std::int64_t SumOfBinAvx512(const SampleWord* words, int blocks, int shiftA, int shiftB,
                            const ScoreForm& form, const double* blockMin, const double* blockMax,
                            const double* blockSum, double base, int shift, int bin);

}  // namespace lumatrace::avx512
