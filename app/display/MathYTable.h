// The MATH trace's y for every pair of codes, so that a redraw looks each sample up instead of
// working out voltages, the operation and the scale in floating point.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "app/display/MathTrace.h"
#include "app/display/SampleWord.h"

namespace lumatrace {

// One build of the loop that finds the smallest and largest table y among the samples of a
// column. It handles whole vectors of words from `i` on and returns where it stopped: before
// `end` when fewer than a vector's words are left, or at the start of a vector that holds a
// pair whose y the table does not carry, which the plain loop then finishes.
//
// For sums and differences two loops work on the integer score of the codes instead
// (MathMapping::HasScore; `coefficients` holds the CH1 coefficient in its low 16 bits and the
// CH2 one in its high 16 bits): `scoreRange` widens lo..hi with the scores of the words,
// `scoreFind` returns the start of the first vector holding a word whose score is lo or hi
// (or where fewer than a vector's words are left). Neither needs the table.
// The two scores of a product (MathMapping::HasProduct).
struct MathProductScore {
    int shiftA = 0;
    int shiftB = 16;
    int offsetA = 0;
    int offsetB = 0;
};

struct MathRangeKernel {
    const char* name;
    bool (*supported)();  // whether this CPU and OS can run it
    int (*range)(const std::int16_t* table, const SampleWord* words, int i, int end, int& lo,
                 int& hi);
    int (*scoreRange)(const SampleWord* words, int i, int end, std::uint32_t coefficients, int& lo,
                      int& hi);
    int (*scoreFind)(const SampleWord* words, int i, int end, std::uint32_t coefficients, int lo,
                     int hi);
    // The same two loops for products, on the 64-bit product of the two scores.
    int (*productRange)(const SampleWord* words, int i, int end, const MathProductScore& p,
                        std::int64_t& lo, std::int64_t& hi);
    int (*productFind)(const SampleWord* words, int i, int end, const MathProductScore& p,
                       std::int64_t lo, std::int64_t hi);
};

// The product score of a word (not NoSample).
constexpr std::int64_t MathProduct(SampleWord w, const MathProductScore& p) {
    const int a = 125 * static_cast<int>((w >> p.shiftA) & kCodeMask) + p.offsetA;
    const int b = 125 * static_cast<int>((w >> p.shiftB) & kCodeMask) + p.offsetB;
    return std::int64_t{a} * b;
}

// The score of a word's codes (not NoSample) for MathRangeKernel's coefficients.
constexpr int MathScore(SampleWord w, std::uint32_t coefficients) {
    const auto k1 = static_cast<std::int16_t>(coefficients & 0xFFFFu);
    const auto k2 = static_cast<std::int16_t>(coefficients >> 16);
    return k1 * static_cast<int>(w & kCodeMask) + k2 * static_cast<int>((w >> 16) & kCodeMask);
}

// Every build compiled in, widest first; the last one (no vector loop) runs everywhere.
int MathRangeKernelCount();
const MathRangeKernel& MathRangeKernelAt(int index);
const MathRangeKernel& BestMathRangeKernel();

// y of the MATH trace (MathMapping::Y, quotients by zero included) for all 1024 x 1024 pairs of
// a word's codes, in 16 bits; the few pairs whose y does not fit (values far off the scale) are
// marked and worked out from the mapping when met. 2 MB, built again only when the mapping
// changes: its settings, the acquisition's scales and the picture's height.
class MathYTable {
  public:
    static constexpr int kEntries = kCodeCount * kCodeCount;
    // Entry of a pair whose y lies outside 16 bits.
    static constexpr std::int16_t kOutOfRange = std::numeric_limits<std::int16_t>::min();

    // CH1 code in bits 0-9, CH2 code in bits 10-19.
    static constexpr std::uint32_t Index(SampleWord w) {
        return (w & kCodeMask) | ((w >> 6) & (kCodeMask << 10));
    }

    // Makes the table that of `map`; returns true when it had to be built.
    bool Update(const MathMapping& map);

    int Y(SampleWord w) const {
        const std::int16_t y = table_[Index(w)];
        return y != kOutOfRange ? y : mapping_.Y(w);
    }
    // Smallest and largest y among the words of words[from .. to) that are not NoSample and
    // the values top and bottom held before.
    void ColumnRange(const SampleWord* words, int from, int to, int& top, int& bottom) const;

    // The loop ColumnRange uses: the widest this machine runs unless set (tests set each).
    void SetKernel(const MathRangeKernel& kernel) { kernel_ = &kernel; }
    const MathRangeKernel& Kernel() const { return *kernel_; }
    const std::int16_t* Data() const { return table_.data(); }

  private:
    void ScoreColumnRange(const SampleWord* words, int from, int to, int& top, int& bottom) const;
    // y of a score shared by every pair that has it; kMixedScore where pairs of one score
    // differ (the tables' rounding straddling a pixel) or outside the table.
    int ScoreY(int score) const;
    void BuildScoreTable();
    void ProductColumnRange(const SampleWord* words, int from, int to, int& top, int& bottom) const;

    // kEntries + 1 entries: a 32-bit gather of the last entry stays inside.
    std::vector<std::int16_t> table_;
    MathMapping mapping_;
    bool built_ = false;
    std::uint32_t coefficients_ = 0;  // of the mapping's score, when it has one
    // y by score - scoreBase_, for every score some pair has, when the scores span few enough
    // values; else empty.
    std::vector<int> scoreY_;
    int scoreBase_ = 0;
    MathProductScore product_;  // of the mapping's product score, when it has one
    const MathRangeKernel* kernel_ = &BestMathRangeKernel();
};

}  // namespace lumatrace
