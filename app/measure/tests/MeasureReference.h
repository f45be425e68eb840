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
    // true: the values are channel codes, one bin per code; false: 1,024 equal bins between
    // the extremes.
    bool codeBins = true;
    double zero = 0.0;          // value standing for 0 V
    double voltsPerUnit = 1.0;  // volts per unit of value
    double interval = 0.0;      // seconds per index
    int firstIndex = 0;         // index of values[0]
    // The sums behind the mean and the RMS values in four lanes, as the engine takes MATH's:
    // values[k] in lane k % 4, each lane in record order, the lanes added 0 + 1 + 2 + 3.
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

}  // namespace lumatrace::testing
