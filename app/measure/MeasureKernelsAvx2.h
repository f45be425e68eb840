// The AVX2 build of the code summary and comparison and of the passes over MATH's scores
// (MeasureKernels.h); call only where the CPU has AVX2.
#pragma once

#include <cstdint>

#include "app/display/SampleWord.h"
#include "app/measure/MeasureKernels.h"

namespace lumatrace::avx2 {

void SummariseCodesAvx2(const SampleWord* words, int blocks, int shift, std::uint32_t* counts,
                        std::uint16_t* blockMin, std::uint16_t* blockMax);
BlockMasks CompareCodesAvx2(const SampleWord* words, int shift, const CodeThresholds& t);
void ScoresAvx2(const SampleWord* words, int blocks, int shiftA, int shiftB, const ScoreForm& form,
                double center, double* blockMin, double* blockMax, double* blockSum,
                ScoreTotals& totals, double* squares);
void BinScoresAvx2(const SampleWord* words, int blocks, int shiftA, int shiftB,
                   const ScoreForm& form, const double* blockMin, const double* blockMax,
                   double base, int shift, std::uint32_t* counts);
std::int64_t SumOfBinAvx2(const SampleWord* words, int blocks, int shiftA, int shiftB,
                          const ScoreForm& form, const double* blockMin, const double* blockMax,
                          const double* blockSum, double base, int shift, int bin);

}  // namespace lumatrace::avx2
