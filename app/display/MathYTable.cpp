#include "app/display/MathYTable.h"

#include <algorithm>

#include "app/display/KernelChoice.h"

#if defined(LUMATRACE_DISPLAY_AVX2)
#include "app/display/MathYTableAvx2.h"
#endif

namespace lumatrace {

namespace {

int NoVectors(const std::int16_t*, const SampleWord*, int i, int, int&, int&) {
    return i;
}

int NoScoreVectors(const SampleWord*, int i, int, std::uint32_t, int&, int&) {
    return i;
}

int NoFindVectors(const SampleWord*, int i, int, std::uint32_t, int, int) {
    return i;
}

int NoProductVectors(const SampleWord*, int i, int, const MathProductScore&, std::int64_t&,
                     std::int64_t&) {
    return i;
}

int NoProductFindVectors(const SampleWord*, int i, int, const MathProductScore&, std::int64_t,
                         std::int64_t) {
    return i;
}

// The score of a word for either kind of score.
int ScoreOf(SampleWord w, std::uint32_t coefficients) {
    return MathScore(w, coefficients);
}

std::int64_t ScoreOf(SampleWord w, const MathProductScore& p) {
    return MathProduct(w, p);
}

// Smallest and largest y among the words of words[from .. to) of a mapping whose value grows
// with a score of the codes (`range` and `find` are the kernel's loops for that score). The
// largest value of the column is among the words of the largest score, the smallest among those
// of the smallest: only they are looked up.
template <typename Params, typename RangeLoop, typename FindLoop>
void ColumnRangeByScore(const MathYTable& table, const SampleWord* words, int from, int to,
                        const Params& p, RangeLoop range, FindLoop find, int& top, int& bottom) {
    using Score = decltype(ScoreOf(SampleWord{}, p));
    Score lo = std::numeric_limits<Score>::max();
    Score hi = std::numeric_limits<Score>::min();
    int i = range(words, from, to, p, lo, hi);
    for (; i < to; ++i) {
        if (words[i] != NoSample) {
            const Score score = ScoreOf(words[i], p);
            lo = std::min(lo, score);
            hi = std::max(hi, score);
        }
    }
    if (lo > hi)
        return;  // no sample
    int yTop = top;
    int yBottom = bottom;
    i = from;
    while (i < to) {
        i = find(words, i, to, p, lo, hi);
        const int stop = std::min(to, i + 8);
        for (; i < stop; ++i) {
            const SampleWord w = words[i];
            if (w == NoSample)
                continue;
            const Score score = ScoreOf(w, p);
            if (score == hi)
                yTop = std::min(yTop, table.Y(w));
            if (score == lo)
                yBottom = std::max(yBottom, table.Y(w));
        }
    }
    top = yTop;
    bottom = yBottom;
}

const MathRangeKernel kKernels[] = {
#if defined(LUMATRACE_DISPLAY_AVX2)
    {"avx2", &HasAvx2, &avx2::MathRangeAvx2, &avx2::MathScoreRangeAvx2, &avx2::MathScoreFindAvx2,
     &avx2::MathProductRangeAvx2, &avx2::MathProductFindAvx2},
#endif
    {"plain", &RunsEverywhere, &NoVectors, &NoScoreVectors, &NoFindVectors, &NoProductVectors,
     &NoProductFindVectors},
};

constexpr int kKernelCount = static_cast<int>(sizeof(kKernels) / sizeof(kKernels[0]));

}  // namespace

int MathRangeKernelCount() {
    return kKernelCount;
}

const MathRangeKernel& MathRangeKernelAt(int index) {
    return kKernels[index];
}

const MathRangeKernel& BestMathRangeKernel() {
    static const MathRangeKernel& best = WidestSupported(kKernels);
    return best;
}

bool MathYTable::Update(const MathMapping& map) {
    if (built_ && mapping_ == map)
        return false;
    mapping_ = map;
    table_.resize(kEntries + 1);
    for (int c2 = 0; c2 < kCodeCount; ++c2) {
        std::int16_t* row = table_.data() + (static_cast<std::size_t>(c2) << 10);
        for (int c1 = 0; c1 < kCodeCount; ++c1) {
            const int y = map.Y(MakeSampleWord(c1, c2));
            row[c1] = y > std::numeric_limits<std::int16_t>::max() || y <= kOutOfRange
                          ? kOutOfRange
                          : static_cast<std::int16_t>(y);
        }
    }
    table_[kEntries] = 0;
    built_ = true;
    coefficients_ = map.HasScore() ? (static_cast<std::uint32_t>(map.ScoreCh1()) & 0xFFFFu) |
                                         (static_cast<std::uint32_t>(map.ScoreCh2()) << 16)
                                   : 0;
    product_ = {map.ShiftA(), map.ShiftB(), map.OffsetA(), map.OffsetB()};
    return true;
}

void MathYTable::ColumnRange(const SampleWord* words, int from, int to, int& top,
                             int& bottom) const {
    if (mapping_.HasScore()) {
        ScoreColumnRange(words, from, to, top, bottom);
        return;
    }
    if (mapping_.HasProduct()) {
        ProductColumnRange(words, from, to, top, bottom);
        return;
    }
    int lo = top;
    int hi = bottom;
    const std::int16_t* table = table_.data();
    int i = from;
    while (i < to) {
        i = kernel_->range(table, words, i, to, lo, hi);
        // What the vector loop left: the last few words, or a vector with a pair off the table.
        const int stop = std::min(to, i + 8);
        for (; i < stop; ++i) {
            const SampleWord w = words[i];
            if (w == NoSample)
                continue;
            const int y = Y(w);
            lo = std::min(lo, y);
            hi = std::max(hi, y);
        }
    }
    top = lo;
    bottom = hi;
}

void MathYTable::ScoreColumnRange(const SampleWord* words, int from, int to, int& top,
                                  int& bottom) const {
    ColumnRangeByScore(*this, words, from, to, coefficients_, kernel_->scoreRange,
                       kernel_->scoreFind, top, bottom);
}

void MathYTable::ProductColumnRange(const SampleWord* words, int from, int to, int& top,
                                    int& bottom) const {
    ColumnRangeByScore(*this, words, from, to, product_, kernel_->productRange,
                       kernel_->productFind, top, bottom);
}

}  // namespace lumatrace
