#pragma once

#include <array>
#include <string>
#include <string_view>

#include "app/display/SampleWord.h"
#include "app/display/ViewGeometry.h"
#include "app/display/ViewState.h"

namespace lumatrace {

enum class MathOperator : int { Add = 0, Sub = 1, Mul = 2, Div = 3 };

// The MATH settings the view's settings do not carry, filled by the main window.
struct MathSettings {
    int firstSource = 0;   // 0 CH1 (RdBtnMath11), 1 CH2 (RdBtnMath12)
    int secondSource = 1;  // 0 CH1 (RdBtnMath21), 1 CH2 (RdBtnMath22)
    MathOperator op = MathOperator::Add;
    int mathScale = 500;                                 // mV per division
    std::array<bool, 2> groundCoupled = {false, false};  // current coupling is GND
};

// Voltage of a channel's code in mV: full-scale range 10 x V/div x probe, about the zero code of
// the position.
double MathChannelMillivolts(int code, int voltsPerDivMv, int probeFactor, int position);

// Result of the MATH operation on two operands in mV. A quotient by zero has no value and is
// drawn just above the graticule.
struct MathResult {
    double value = 0.0;
    bool divideByZero = false;
};
MathResult CombineMath(double a, double b, MathOperator op);

// y of the MATH trace for the settings of one redraw. Voltages use each channel's volts per
// division and position as the record was taken, and the current probe factor and coupling.
class MathMapping {
  public:
    // y of a quotient by zero: one pixel above the graticule.
    static constexpr int kDivideByZeroY = -1;
    // Far-off values are held to this distance from the graticule: enough that a line towards
    // them leaves the picture the same way, and never beyond the range of int.
    static constexpr double kYLimit = 16777216.0;

    MathMapping() = default;  // not usable
    MathMapping(const ViewSettings& s, const ViewGeometry& g, const MathSettings& math);

    // Whether both map every word to the same y: all they hold is the same.
    bool operator==(const MathMapping& other) const = default;

    bool Usable() const { return usable_; }  // false when the scale cannot place a value
    double OperandA(SampleWord w) const { return a_[DecodeCode(w, shiftA_)]; }
    double OperandB(SampleWord w) const { return b_[DecodeCode(w, shiftB_)]; }
    // The operands in volts (a / 1000, b / 1000), as products and quotients use them.
    double VoltsA(SampleWord w) const { return aVolts_[DecodeCode(w, shiftA_)]; }
    double VoltsB(SampleWord w) const { return bVolts_[DecodeCode(w, shiftB_)]; }
    MathResult Value(SampleWord w) const { return CombineMath(OperandA(w), OperandB(w), op_); }
    // y of a value (not a quotient by zero). Never increases as the value grows.
    int YOfValue(double m) const;
    int Y(const MathResult& r) const { return r.divideByZero ? kDivideByZeroY : YOfValue(r.value); }
    int Y(SampleWord w) const { return Y(Value(w)); }
    MathOperator Op() const { return op_; }
    int FirstSource() const { return shiftA_ == 0 ? 0 : 1; }
    int SecondSource() const { return shiftB_ == 0 ? 0 : 1; }
    // Sums and differences grow with an integer score of the word's codes,
    // ScoreCh1() x CH1 code + ScoreCh2() x CH2 code: a larger score is always a larger value,
    // and equal scores are equal values up to the rounding of the tables. HasScore() is false
    // for products and quotients and when the coefficients would not fit 16 bits.
    bool HasScore() const { return hasScore_; }
    int ScoreCh1() const { return scoreCh1_; }
    int ScoreCh2() const { return scoreCh2_; }
    // Products grow with the product of two integer scores, (125 x codeA + OffsetA()) x
    // (125 x codeB + OffsetB()), codeA and codeB taken from the sources' halves of the word;
    // HasProduct() is false for the other operators and when a source is grounded.
    bool HasProduct() const { return hasProduct_; }
    int OffsetA() const { return offsetA_; }
    int OffsetB() const { return offsetB_; }
    int ShiftA() const { return shiftA_; }
    int ShiftB() const { return shiftB_; }
    // The tables behind the operands, indexed by the source channel's code.
    const double* TableA() const { return a_.data(); }
    const double* TableB() const { return b_.data(); }
    const double* VoltsTableA() const { return aVolts_.data(); }
    const double* VoltsTableB() const { return bVolts_.data(); }

  private:
    std::array<double, kCodeCount> a_{};
    std::array<double, kCodeCount> b_{};
    std::array<double, kCodeCount> aVolts_{};
    std::array<double, kCodeCount> bVolts_{};
    int shiftA_ = 0;
    int shiftB_ = 16;
    MathOperator op_ = MathOperator::Add;
    double h_ = 0.0;
    double scaleDen_ = 1.0;  // 8 x mathScale
    double offset_ = 0.0;    // (250 - MATH position) x Ky
    bool usable_ = false;
    bool hasScore_ = false;
    int scoreCh1_ = 0;
    int scoreCh2_ = 0;
    bool hasProduct_ = false;
    int offsetA_ = 0;
    int offsetB_ = 0;
};

// LblSIMathOpe: three spaces, the first source, the operator and the second source.
std::string MathOperationLabel(const MathSettings& math);

// LabelSIWf: four spaces and the waveform item's text, for Average followed by a blank and
// the number item's text.
std::string AcquireLabel(int waveformMode, std::string_view waveformItem,
                         std::string_view numberItem);

}  // namespace lumatrace
