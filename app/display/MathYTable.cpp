#include "app/display/MathYTable.h"

#include <algorithm>
#include <array>

#include "app/display/KernelChoice.h"

#if defined(LUMATRACE_DISPLAY_AVX2)
#include "app/display/MathYTableAvx2.h"
#endif
#if defined(LUMATRACE_DISPLAY_AVX512)
#include "app/display/MathYTableAvx512.h"
#endif

namespace lumatrace {

namespace {

constexpr int kMixedScore = std::numeric_limits<int>::min();
// The largest span of scores given a table of their y (4 MB).
constexpr int kMaxScoreSpan = 1 << 20;

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
// of the smallest: only they are looked up. The first pass keeps each block's smallest and
// largest score, so the second looks again only at the blocks that hold the column's ends.
template <typename Params, typename RangeLoop, typename FindLoop>
void ColumnRangeByScore(const MathYTable& table, const SampleWord* words, int from, int to,
                        const Params& p, RangeLoop range, FindLoop find, int& top, int& bottom) {
    using Score = decltype(ScoreOf(SampleWord{}, p));
    constexpr Score kNoLo = std::numeric_limits<Score>::max();
    constexpr Score kNoHi = std::numeric_limits<Score>::min();
    // Blocks of whole vectors (16 words), at most kMaxBlocks of them a column: short enough that
    // the second pass skips most of a long column, long enough that the vector loop's final
    // reduction stays a small part of a block.
    constexpr int kMaxBlocks = 64;
    constexpr int kMinBlockWords = 128;
    const int length = to - from;
    const int blockWords =
        (std::max(kMinBlockWords, (length + kMaxBlocks - 1) / kMaxBlocks) + 15) & ~15;
    std::array<Score, kMaxBlocks> blockLo;
    std::array<Score, kMaxBlocks> blockHi;
    Score lo = kNoLo;
    Score hi = kNoHi;
    int blocks = 0;
    for (int b = from; b < to; b += blockWords, ++blocks) {
        const int e = b + std::min(blockWords, to - b);
        Score bLo = kNoLo;
        Score bHi = kNoHi;
        int i = range(words, b, e, p, bLo, bHi);
        for (; i < e; ++i) {
            if (words[i] != NoSample) {
                const Score score = ScoreOf(words[i], p);
                bLo = std::min(bLo, score);
                bHi = std::max(bHi, score);
            }
        }
        blockLo[static_cast<std::size_t>(blocks)] = bLo;
        blockHi[static_cast<std::size_t>(blocks)] = bHi;
        lo = std::min(lo, bLo);
        hi = std::max(hi, bHi);
    }
    if (lo > hi)
        return;  // no sample
    int yTop = top;
    int yBottom = bottom;
    for (int k = 0; k < blocks; ++k) {
        if (blockLo[static_cast<std::size_t>(k)] != lo &&
            blockHi[static_cast<std::size_t>(k)] != hi)
            continue;
        int i = from + k * blockWords;
        const int e = i + std::min(blockWords, to - i);
        while (i < e) {
            i = find(words, i, e, p, lo, hi);
            const int stop = std::min(e, i + 8);
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
    }
    top = yTop;
    bottom = yBottom;
}

const MathRangeKernel kKernels[] = {
#if defined(LUMATRACE_DISPLAY_AVX512)
    // Products gain from 64-bit minimum and maximum; the other loops stay on AVX2.
    {"avx512", &HasAvx512, &avx2::MathRangeAvx2, &avx2::MathScoreRangeAvx2,
     &avx2::MathScoreFindAvx2, &avx512::MathProductRangeAvx512, &avx512::MathProductFindAvx512},
#endif
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
    BuildScoreTable();
    return true;
}

void MathYTable::BuildScoreTable() {
    scoreY_.clear();
    if (!mapping_.HasScore())
        return;
    const int k1 = mapping_.ScoreCh1();
    const int k2 = mapping_.ScoreCh2();
    const int top = kCodeCount - 1;
    const std::int64_t lo =
        std::int64_t{std::min(0, k1)} * top + std::int64_t{std::min(0, k2)} * top;
    const std::int64_t hi =
        std::int64_t{std::max(0, k1)} * top + std::int64_t{std::max(0, k2)} * top;
    if (hi - lo + 1 > kMaxScoreSpan)
        return;
    scoreBase_ = static_cast<int>(lo);
    // Scores no pair has stay mixed; they are never asked for.
    scoreY_.assign(static_cast<std::size_t>(hi - lo + 1), kMixedScore);
    std::vector<bool> seen(scoreY_.size(), false);
    for (int c2 = 0; c2 < kCodeCount; ++c2) {
        for (int c1 = 0; c1 < kCodeCount; ++c1) {
            const SampleWord w = MakeSampleWord(c1, c2);
            const auto at = static_cast<std::size_t>(MathScore(w, coefficients_) - scoreBase_);
            const int y = Y(w);
            if (!seen[at]) {
                seen[at] = true;
                scoreY_[at] = y;
            } else if (scoreY_[at] != y) {
                scoreY_[at] = kMixedScore;
            }
        }
    }
}

int MathYTable::ScoreY(int score) const {
    const std::int64_t at = std::int64_t{score} - scoreBase_;
    if (at < 0 || at >= static_cast<std::int64_t>(scoreY_.size()))
        return kMixedScore;
    return scoreY_[static_cast<std::size_t>(at)];
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
    if (!scoreY_.empty()) {
        // The ends of the column are those of its smallest and largest score; where every pair
        // of such a score has the same y, that y is the end and the words need no second look.
        int lo = std::numeric_limits<int>::max();
        int hi = std::numeric_limits<int>::min();
        int i = kernel_->scoreRange(words, from, to, coefficients_, lo, hi);
        for (; i < to; ++i) {
            if (words[i] != NoSample) {
                const int score = MathScore(words[i], coefficients_);
                lo = std::min(lo, score);
                hi = std::max(hi, score);
            }
        }
        if (lo > hi)
            return;  // no sample
        const int yTop = ScoreY(hi);
        const int yBottom = ScoreY(lo);
        if (yTop != kMixedScore && yBottom != kMixedScore) {
            top = std::min(top, yTop);
            bottom = std::max(bottom, yBottom);
            return;
        }
    }
    ColumnRangeByScore(*this, words, from, to, coefficients_, kernel_->scoreRange,
                       kernel_->scoreFind, top, bottom);
}

void MathYTable::ProductColumnRange(const SampleWord* words, int from, int to, int& top,
                                    int& bottom) const {
    ColumnRangeByScore(*this, words, from, to, product_, kernel_->productRange,
                       kernel_->productFind, top, bottom);
}

}  // namespace lumatrace
