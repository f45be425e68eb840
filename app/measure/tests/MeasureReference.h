// A plain implementation of the measurements for checking the engine: one sample at a time, in
// double precision, with none of the engine's shortcuts (no histogram tables taking turns, no
// integer thresholds, no searches, no walking back from an edge).
#pragma once

#include <optional>
#include <vector>

#include "app/measure/MeasureEngine.h"
#include "app/measure/MeasureTypes.h"

namespace lumatrace::testing {

struct ReferenceOptions {
    // true: the values are channel codes, one bin per code; false: bins 2^e wide, aligned on
    // multiples of 2^e, e the least integer for which at most 1,024 bins span the extremes
    // (and at least 0 when the values are whole scores).
    bool codeBins = true;
    bool wholeScores = false;
    double zero = 0.0;          // value standing for 0 V
    double voltsPerUnit = 1.0;  // volts per unit of value
    double interval = 0.0;      // seconds per index
    int firstIndex = 0;         // index of values[0]
    // The sums behind the mean, the RMS values and the state levels in four lanes, as the engine
    // takes MATH's values: values[k] in lane k % 4, each lane in record order, the lanes added
    // 0 + 1 + 2 + 3.
    bool laneSums = false;
};

// Every single-source measurement of `values` (NaN where a sample is missing). `rises`, when
// given, receives the 50 % instants of the rising edges as record indices (fractional).
MeasureValues ReferenceMeasure(const std::vector<double>& values, const ReferenceOptions& o,
                               std::vector<double>* rises = nullptr);

// The codes of one channel over [first, end) as values, NaN where the channel is missing.
std::vector<double> CodesOf(const std::vector<SampleWord>& record, int channel, int first, int end);

// The MATH values over [first, end) from the formulas as written (volts of each operand,
// the operation, the result / 1000), NaN where there is none.
std::vector<double> LiteralMathOf(const std::vector<SampleWord>& record, const MeasureInput& in,
                                  int first, int end);

// A sum, difference or product of the channels as whole numbers (scores): each operand is
// R x (125 x code - 256 x (250 - position) - 64000) / 128000 mV, R = 10 x V/div x probe (0 when
// grounded); a sum or difference is g / 1024 mV times kA x codeA +- kB x codeB plus a constant,
// g the greatest common divisor of the R and k = R / g, a product R_A R_B / 128000^2 mV^2 times
// the product of the two whole numbers. The scores over [first, end), NaN where a source is
// missing; the volts (V^2) per unit of score in `unit` and of score 0 in `offset`; nothing for
// quotients, products of a grounded source and sums of two grounded ones.
std::optional<std::vector<double>> MathScoresOf(const std::vector<SampleWord>& record,
                                                const MeasureInput& in, int first, int end,
                                                double& unit, double& offset);

}  // namespace lumatrace::testing
