#include "app/measure/MeasureEngine.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "app/display/ViewGeometry.h"
#include "app/display/ViewState.h"
#include "app/measure/MeasureKernels.h"

namespace lumatrace {

namespace {

constexpr int kBins = kCodeCount;  // codes of a channel; equal bins of MATH
constexpr int kMissingBin = kCodeCount;
// A half's mode is a state level when its bin holds more than this many times the half's
// average count per bin; flatter halves (ramps, triangles) have no state there.
constexpr std::uint64_t kModeProminence = 2;

using Histogram = std::array<std::uint32_t, kBins + 1>;  // the extra bin counts missing samples

// ---------------------------------------------------------------- histogram of codes

// The record is summarised in blocks of kBlock samples: the smallest and largest code of each
// block let the edge searches step over blocks that cannot hold what they look for.
constexpr int kBlockShift = kMeasureBlockShift;
constexpr int kBlock = kMeasureBlock;

// Per-block extremes of one channel's codes over a gate, and the histogram of its codes: the
// whole blocks by the widest build of the summary this machine runs, the rest here.
template <int Shift>
void SummariseCodes(const SampleWord* words, int n, Histogram& out, std::uint16_t* blockMin,
                    std::uint16_t* blockMax) {
    out.fill(0);
    const int blocks = n >> kBlockShift;
    BestCodeSummaryKernel().summarise(words, blocks, Shift, out.data(), blockMin, blockMax);
    // The last, partial block.
    const int rest = blocks << kBlockShift;
    if (rest < n) {
        int lo = kCodeCount;
        int hi = -1;
        for (int i = rest; i < n; ++i) {
            const int c = CodeOf<Shift>(words[i]);
            ++out[static_cast<std::size_t>(c)];
            lo = std::min(lo, c);
            hi = std::max(hi, c);
        }
        blockMin[blocks] = static_cast<std::uint16_t>(lo);
        blockMax[blocks] = static_cast<std::uint16_t>(hi);
    }
    // Missing halves were counted as code 1023; only blocks reaching 1023 can hold one.
    std::uint32_t missing = 0;
    if (out[kCodeCount - 1] != 0) {
        const int allBlocks = (n + kBlock - 1) >> kBlockShift;
        for (int b = 0; b < allBlocks; ++b) {
            if (blockMax[b] != kCodeCount - 1)
                continue;
            const int from = b << kBlockShift;
            const int to = std::min(n, from + kBlock);
            for (int i = from; i < to; ++i)
                missing += MissingIn<Shift>(words[i]) ? 1u : 0u;
        }
    }
    out[kCodeCount - 1] -= missing;
    out[kMissingBin] = missing;
}

// ---------------------------------------------------------------- state levels

struct HistogramLevels {
    int lowest = 0;  // first and last occupied bins
    int highest = 0;
    int top = 0;  // bins of the state levels
    int base = 0;
    bool topIsMode = false;
    bool baseIsMode = false;
};

// The most populated bin of [from, to] walking from `start` towards `stop`; ties go to the bin
// met first, the one nearer the record's extreme.
int ModeBin(const Histogram& h, int start, int stop) {
    const int step = stop >= start ? 1 : -1;
    int best = start;
    for (int b = start;; b += step) {
        if (h[static_cast<std::size_t>(b)] > h[static_cast<std::size_t>(best)])
            best = b;
        if (b == stop)
            break;
    }
    return best;
}

bool Prominent(const Histogram& h, int mode, int from, int to) {
    std::uint64_t count = 0;
    for (int b = from; b <= to; ++b)
        count += h[static_cast<std::size_t>(b)];
    const std::uint64_t bins = static_cast<std::uint64_t>(to - from + 1);
    return std::uint64_t{h[static_cast<std::size_t>(mode)]} * bins > kModeProminence * count;
}

// Histogram with at least one sample in bins 0..kBins-1.
HistogramLevels LevelsOf(const Histogram& h) {
    HistogramLevels l;
    l.lowest = 0;
    while (h[static_cast<std::size_t>(l.lowest)] == 0)
        ++l.lowest;
    l.highest = kBins - 1;
    while (h[static_cast<std::size_t>(l.highest)] == 0)
        --l.highest;
    l.top = l.highest;
    l.base = l.lowest;
    if (l.highest == l.lowest)
        return l;
    const int mid = (l.lowest + l.highest) / 2;  // last bin of the lower half
    const int base = ModeBin(h, l.lowest, mid);
    if (Prominent(h, base, l.lowest, mid)) {
        l.base = base;
        l.baseIsMode = true;
    }
    const int top = ModeBin(h, l.highest, mid + 1);
    if (Prominent(h, top, mid + 1, l.highest)) {
        l.top = top;
        l.topIsMode = true;
    }
    return l;
}

// ---------------------------------------------------------------- edges

// Reference levels of one source in the units its series compares in.
struct ReferenceLevels {
    double l10 = 0.0;
    double l50 = 0.0;
    double l90 = 0.0;
};

// A passage from one band to the other: the last sample in the band left and the first in the
// band reached.
struct Passage {
    int from;
    int to;
};

// x where the line through (a, va) and (b, vb) meets level; va != vb.
double Cross(int a, double va, int b, double vb, double level) {
    return a + (level - va) / (vb - va) * (b - a);
}

// Sums one edge after another, in record order (the sums depend on it to the last bit). The
// sums are kept by value so that they can stay in registers through a walk.
class EdgeAccumulator {
  public:
    explicit EdgeAccumulator(double near) : near_(near) {}

    const MeasureEngine::EdgeSummary& Summary() const { return e_; }

    // An edge leaving its band at tLeave, arriving in the other at tArrive, crossing 50 % at t50.
    void Add(bool rising, double tLeave, double tArrive, double t50) {
        MeasureEngine::EdgeSummary& e = e_;
        if (rising) {
            if (e.rising == 0)
                e.firstRise = t50;
            e.lastRise = t50;
            ++e.rising;
            if (!std::isnan(near_) &&
                (std::isnan(e.nearRise) || std::fabs(t50 - near_) <= std::fabs(e.nearRise - near_)))
                e.nearRise = t50;
            e.riseSum += tArrive - tLeave;
            if (havePrevious_) {
                e.widthNegSum += t50 - previous_;
                ++e.widthNegCount;
            }
        } else {
            if (e.falling == 0)
                e.firstFall = t50;
            e.lastFall = t50;
            ++e.falling;
            e.fallSum += tArrive - tLeave;
            if (havePrevious_) {
                e.widthPosSum += t50 - previous_;
                ++e.widthPosCount;
            }
        }
        havePrevious_ = true;
        previous_ = t50;
    }

  private:
    MeasureEngine::EdgeSummary e_;
    double near_;
    bool havePrevious_ = false;
    double previous_ = 0.0;  // 50 % instant of the last edge, index units
};

// Walks the series for edges with the hysteresis of the 10 % and 90 % levels and sums what
// the measurements need (MATH values; a channel's codes take CodeEdgeScan). A Series gives, for
// index i: Valid and Value; FirstState (first valid index from i at or below 10 % or at or above 90
// %, or end) and IsHigh; RiseFrom (from a low sample i: the first valid sample j at or above 90 %,
// or end, and the last valid sample at or below 10 % before it) and FallFrom (the reverse);
// LastBelow50 and LastAbove50 (the last valid sample before j below or above the 50 % level, known
// to exist).
template <class Series>
void ScanEdges(const Series& s, int first, int end, const ReferenceLevels& ref, double near,
               MeasureEngine::EdgeSummary& e) {
    auto prevValid = [&](int i) {
        do {
            --i;
        } while (!s.Valid(i));
        return i;
    };
    auto nextValid = [&](int i) {
        do {
            ++i;
        } while (!s.Valid(i));
        return i;
    };
    auto cross = [&](int a, int b, double level) {
        return Cross(a, s.Value(a), b, s.Value(b), level);
    };

    int i = s.FirstState(first, end);
    if (i >= end)
        return;
    bool high = s.IsHigh(i);
    EdgeAccumulator sums(near);
    while (true) {
        const Passage p = high ? s.FallFrom(i, end) : s.RiseFrom(i, end);
        if (p.to >= end) {
            e = sums.Summary();
            return;
        }
        const int j = p.to;
        const int a = p.from;  // last sample of the band left
        const double tLeave = cross(a, nextValid(a), high ? ref.l90 : ref.l10);
        const double tArrive = cross(prevValid(j), j, high ? ref.l10 : ref.l90);
        const int m = high ? s.LastAbove50(j) : s.LastBelow50(j);
        const double t50 = cross(m, nextValid(m), ref.l50);
        sums.Add(!high, tLeave, tArrive, t50);
        high = !high;
        i = j;
    }
}

// ---------------------------------------------------------------- channel series

// Compares the `count` samples of one block (at most kBlock) with the thresholds: a whole
// block by `compare` (the widest build this machine runs), a partial one here. A missing half
// reads as 1023.
template <int Shift>
BlockMasks CompareBlock(const SampleWord* w, int count, const CodeThresholds& t,
                        CodeCompare* compare) {
    if (count == kBlock)
        return compare(w, Shift, t);
    BlockMasks m;
    for (int k = 0; k < count; ++k) {
        const int c = CodeOf<Shift>(w[k]);
        m.low |= static_cast<std::uint64_t>(c <= t.low) << k;
        m.high |= static_cast<std::uint64_t>(c >= t.high) << k;
        m.below50 |= static_cast<std::uint64_t>(c <= t.below50) << k;
        m.above50 |= static_cast<std::uint64_t>(c >= t.above50) << k;
    }
    return m;
}

// Bits [from, to) of a block mask.
std::uint64_t Bits(int from, int to) {
    const std::uint64_t below = to >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
    return below & ~((std::uint64_t{1} << from) - 1);
}

int Lowest(std::uint64_t m) {
    return std::countr_zero(m);
}

int Highest(std::uint64_t m) {
    return 63 - std::countl_zero(m);
}

// Bits above bit k of a block mask.
std::uint64_t Above(int k) {
    return k >= kBlock - 1 ? 0 : ~std::uint64_t{0} << (k + 1);
}

// Bit k set where sample w[k] of a block of `count` misses this channel's half.
template <int Shift>
std::uint64_t MissingMask(const SampleWord* w, int count) {
    std::uint64_t m = 0;
    for (int k = 0; k < count; ++k)
        m |= static_cast<std::uint64_t>(MissingIn<Shift>(w[k])) << k;
    return m;
}

// A channel's edges, found a block at a time: blocks whose extremes show they hold nothing the
// walk looks for are stepped over; the others are compared whole into bit masks, and the walk
// with the hysteresis of the 10 % and 90 % levels takes the masks' bits in turn, so that a
// block holding several edges is compared once. A missing half reads as code 1023: never at
// or below the thresholds below the top one, so only the masks that look upwards drop it.
// Finds what ScanEdges finds on the same codes.
template <int Shift>
class CodeEdgeScan {
  public:
    CodeEdgeScan(const SampleWord* w, int first, int end, const std::uint16_t* blockMin,
                 const std::uint16_t* blockMax, const CodeThresholds& t, const ReferenceLevels& ref)
        : w_(w),
          first_(first),
          end_(end),
          blockMin_(blockMin),
          blockMax_(blockMax),
          t_(t),
          ref_(ref) {}

    // The edges' sums; `near` as for EdgeSummary::nearRise.
    MeasureEngine::EdgeSummary Run(double near) const {
        EdgeAccumulator sums(near);
        enum class State { kSeek, kLow, kHigh };
        State state = State::kSeek;
        int last = 0;  // the last sample in the band the walk is in
        const int blocks = (end_ - first_ + kBlock - 1) >> kBlockShift;
        FetchAhead fetch;
        for (int b = 0; b < blocks; ++b) {
            // Blocks without a sample in the band the walk looks for are stepped over; those
            // holding the band it is in only move `last`.
            if (state == State::kSeek) {
                b = NextBlock(b, blocks, t_.low, t_.high);
            } else if (state == State::kLow) {
                const int next = NextBlock(b, blocks, -1, t_.high);
                last = LastLowBefore(b, next, last);
                b = next;
            } else {
                const int next = NextBlock(b, blocks, t_.low, kCodeCount);
                last = LastHighBefore(b, next, last);
                b = next;
            }
            if (b == blocks)
                break;
            fetch.Before(*this, b, blocks);
            const int start = Start(b);
            const BlockMasks m = MasksOf(b);
            std::uint64_t from = ~std::uint64_t{0};  // the bits not walked yet
            while (from != 0) {
                if (state == State::kSeek) {
                    const std::uint64_t either = (m.low | m.high) & from;
                    if (either == 0)
                        break;
                    const int k = Lowest(either);
                    state = (m.high >> k) & 1 ? State::kHigh : State::kLow;
                    last = start + k;
                    from = Above(k);
                    continue;
                }
                const bool rising = state == State::kLow;
                const std::uint64_t held = (rising ? m.low : m.high) & from;
                const std::uint64_t reached = (rising ? m.high : m.low) & from;
                if (reached == 0) {
                    if (held != 0)
                        last = start + Highest(held);
                    break;
                }
                const int j = Lowest(reached);
                const std::uint64_t before = held & Bits(0, j);
                if (before != 0)
                    last = start + Highest(before);
                Edge(rising, last, start + j, b, m, sums);
                state = rising ? State::kHigh : State::kLow;
                last = start + j;
                from = Above(j);
            }
        }
        return sums.Summary();
    }

  private:
    int Start(int b) const { return first_ + (b << kBlockShift); }

    // The first block from b on that the walk may have to compare: one holding a sample at or
    // below 10 % or at or above 90 % that is neither all low nor all high without a missing
    // sample; `blocks` if none. Eight blocks at a time.
    int NextCandidate(int b, int blocks) const {
#if defined(__SSE2__)
        const __m128i low = _mm_set1_epi16(static_cast<short>(t_.low));
        const __m128i lowPlus = _mm_set1_epi16(static_cast<short>(t_.low + 1));
        const __m128i high = _mm_set1_epi16(static_cast<short>(t_.high));
        const __m128i highLess = _mm_set1_epi16(static_cast<short>(t_.high - 1));
        const __m128i topCode = _mm_set1_epi16(kCodeCount - 1);
        for (; b + 8 <= blocks; b += 8) {
            const __m128i mins = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blockMin_ + b));
            const __m128i maxs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blockMax_ + b));
            const __m128i inBand =
                _mm_or_si128(_mm_cmpgt_epi16(lowPlus, mins), _mm_cmpgt_epi16(maxs, highLess));
            const __m128i notAllLow = _mm_cmpgt_epi16(maxs, low);
            const __m128i notAllHigh =
                _mm_or_si128(_mm_cmpgt_epi16(high, mins), _mm_cmpeq_epi16(maxs, topCode));
            const __m128i hit = _mm_and_si128(_mm_and_si128(inBand, notAllLow), notAllHigh);
            const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
            if (bits != 0)
                return b + std::countr_zero(bits) / 2;
        }
#endif
        for (; b < blocks; ++b) {
            const int lo = blockMin_[b];
            const int hi = blockMax_[b];
            if ((lo <= t_.low || hi >= t_.high) && hi > t_.low &&
                (lo < t_.high || hi == kCodeCount - 1))
                break;
        }
        return b;
    }

    // Fetches the blocks the walk may compare a few ahead of it: since the summary read the
    // record it has left the nearer caches, and the comparisons come too far apart for the
    // hardware to foresee them.
    class FetchAhead {
      public:
        // Before block b is compared: the next candidates after it on their way.
        void Before(const CodeEdgeScan& scan, int b, int blocks) {
            while (count_ > 0 && queued_[head_] <= b) {
                head_ = (head_ + 1) % kAhead;
                --count_;
            }
            if (next_ <= b)
                next_ = b + 1;
            while (count_ < kAhead && next_ < blocks) {
                const int c = scan.NextCandidate(next_, blocks);
                if (c == blocks) {
                    next_ = blocks;
                    break;
                }
#if defined(__SSE2__)
                // The block, and the sample before it: an edge may leave its band there. The
                // addresses are reckoned as numbers: they may lie past the record's ends, where
                // a prefetch is harmless but a pointer may not point.
                const std::uintptr_t block =
                    reinterpret_cast<std::uintptr_t>(scan.w_) +
                    static_cast<std::uintptr_t>(scan.Start(c)) * sizeof(SampleWord);
                auto fetch = [](std::uintptr_t at) {
                    _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
                };
                fetch(block - sizeof(SampleWord));
                for (std::uintptr_t offset = 0; offset < kBlock * sizeof(SampleWord); offset += 64)
                    fetch(block + offset);
                fetch(block + kBlock * sizeof(SampleWord) - 1);
#endif
                queued_[(head_ + count_) % kAhead] = c;
                ++count_;
                next_ = c + 1;
            }
        }

      private:
        static constexpr int kAhead = 8;
        int queued_[kAhead] = {};
        int head_ = 0;
        int count_ = 0;
        int next_ = 0;  // the first block not looked at for candidates
    };

    // The first block from b on whose smallest code is at most `low` or whose largest is at
    // least `high`, or `blocks` if none; eight blocks compared at a time.
    int NextBlock(int b, int blocks, int low, int high) const {
#if defined(__SSE2__)
        const __m128i lowPlus = _mm_set1_epi16(static_cast<short>(low + 1));
        const __m128i highLess = _mm_set1_epi16(static_cast<short>(high - 1));
        for (; b + 8 <= blocks; b += 8) {
            const __m128i mins = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blockMin_ + b));
            const __m128i maxs = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blockMax_ + b));
            const __m128i hit =
                _mm_or_si128(_mm_cmpgt_epi16(lowPlus, mins), _mm_cmpgt_epi16(maxs, highLess));
            const unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(hit));
            if (bits != 0)
                return b + std::countr_zero(bits) / 2;
        }
#endif
        for (; b < blocks; ++b) {
            if (blockMin_[b] <= low || blockMax_[b] >= high)
                break;
        }
        return b;
    }

    // The last sample at or below 10 % in blocks [from, to), none of which reaches 90 %; `last`
    // if there is none.
    int LastLowBefore(int from, int to, int last) const {
        for (int b = to - 1; b >= from; --b) {
            if (blockMin_[b] > t_.low)
                continue;
            if (blockMax_[b] <= t_.low)
                return End(b) - 1;  // all low, none missing
            return Start(b) + Highest(MasksOf(b).low);
        }
        return last;
    }

    // The last valid sample at or above 90 % in blocks [from, to), none of which comes down to
    // 10 %; `last` if there is none.
    int LastHighBefore(int from, int to, int last) const {
        for (int b = to - 1; b >= from; --b) {
            if (blockMax_[b] < t_.high)
                continue;
            if (blockMin_[b] >= t_.high && blockMax_[b] < kCodeCount - 1)
                return End(b) - 1;  // all high, none missing
            const std::uint64_t high = MasksOf(b).high;
            if (high != 0)
                return Start(b) + Highest(high);
        }
        return last;
    }
    int End(int b) const {
        return std::min(Start(b) + kBlock, end_);
    }

    // The block's masks, missing samples taken out of those looking upwards (only a block
    // reaching the top code can hold one).
    BlockMasks MasksOf(int b) const {
        const int start = Start(b);
        BlockMasks m = CompareBlock<Shift>(w_ + start, End(b) - start, t_, compare_);
        if (blockMax_[b] == kCodeCount - 1) {
            const std::uint64_t missing = MissingMask<Shift>(w_ + start, End(b) - start);
            m.high &= ~missing;
            m.above50 &= ~missing;
        }
        return m;
    }

    bool Valid(int i) const {
        return !MissingIn<Shift>(w_[i]);
    }
    double Value(int i) const {
        return CodeOf<Shift>(w_[i]);
    }
    int NextValid(int i) const {
        do {
            ++i;
        } while (!Valid(i));
        return i;
    }
    int PrevValid(int i) const {
        do {
            --i;
        } while (!Valid(i));
        return i;
    }
    double CrossAt(int a, int b, double level) const {
        const double va = Value(a);
        const double vb = Value(b);
        // Between neighbours the step is 1, and a product with 1 is exact: the same instant
        // as Cross gives, for less work.
        if (b == a + 1)
            return a + (level - va) / (vb - va);
        return Cross(a, va, b, vb, level);
    }

    // The last valid sample before j (in block b, whose masks are m) below (rising) or above
    // the 50 % level; there is one, since the edge left its band before it.
    int Last50(bool rising, int j, int b, const BlockMasks& m) const {
        std::uint64_t bits = (rising ? m.below50 : m.above50) & Bits(0, j - Start(b));
        while (bits == 0) {
            --b;
            if (rising ? blockMin_[b] > t_.below50 : blockMax_[b] < t_.above50)
                continue;
            const BlockMasks earlier = MasksOf(b);
            bits = rising ? earlier.below50 : earlier.above50;
        }
        return Start(b) + Highest(bits);
    }

    // The edge from the band left at sample a to the other reached at sample j.
    void Edge(bool rising, int a, int j, int b, const BlockMasks& m, EdgeAccumulator& sums) const {
        const int m50 = Last50(rising, j, b, m);
        // a, m50 and j lie in that order; within one block below the top code no sample is
        // missing, so their neighbours are those one index away.
        const bool none = a >= Start(b) && blockMax_[b] < kCodeCount - 1;
        const double tLeave = CrossAt(a, none ? a + 1 : NextValid(a), rising ? ref_.l10 : ref_.l90);
        const double tArrive =
            CrossAt(none ? j - 1 : PrevValid(j), j, rising ? ref_.l90 : ref_.l10);
        const double t50 = CrossAt(m50, none ? m50 + 1 : NextValid(m50), ref_.l50);
        sums.Add(rising, tLeave, tArrive, t50);
    }

    const SampleWord* w_;
    int first_;  // the gate's first index: block 0 starts there
    int end_;
    const std::uint16_t* blockMin_;
    const std::uint16_t* blockMax_;
    CodeThresholds t_;
    ReferenceLevels ref_;
    CodeCompare* compare_ = BestCodeSummaryKernel().compare;
};

// MATH values or scores, NaN where there is none: every comparison with NaN is false, so no
// search stops on one. Values gives the i-th by [i], and the values of block b (kBlock of them
// from index b x kBlock, fewer in the last) in memory by Block(b). With the extremes of each
// block (NaN left out), the searches step over blocks that cannot hold what they look for.
template <class Values>
struct ValueSeries {
    const Values& v;
    ReferenceLevels ref;
    const double* blockMin = nullptr;  // both or neither
    const double* blockMax = nullptr;

    bool Valid(int i) const { return !std::isnan(v[i]); }
    double Value(int i) const { return v[i]; }
    bool IsHigh(int i) const { return v[i] >= ref.l90; }
    int FirstState(int i, int stop) const {
        while (i < stop) {
            const int end = BlockEnd(i, stop);
            if (WholeBlock(i, end) && blockMin[i >> kBlockShift] > ref.l10 &&
                blockMax[i >> kBlockShift] < ref.l90) {
                i = end;
                continue;
            }
            const int start = i & ~(kBlock - 1);
            const double* x = v.Block(i >> kBlockShift);
            for (; i < end; ++i) {
                if (x[i - start] <= ref.l10 || x[i - start] >= ref.l90)
                    return i;
            }
        }
        return stop;
    }
    Passage RiseFrom(int i, int stop) const { return Pass<true>(i, stop); }
    Passage FallFrom(int i, int stop) const { return Pass<false>(i, stop); }
    // From a sample in the band left: the first sample in the band reached (`to`), and the
    // last one in the band left before it (`from`). No sample is in both bands (10 % < 90 %).
    template <bool Rise>
    Passage Pass(int i, int stop) const {
        int last = i;
        // A block stepped over that holds a sample in the band left, later than `last`; its
        // last such sample is looked for only when the passage needs it.
        int leftIn = -1;
        int k = i + 1;
        while (k < stop) {
            const int end = BlockEnd(k, stop);
            if (WholeBlock(k, end)) {
                const int b = k >> kBlockShift;
                const bool reaches = Rise ? blockMax[b] >= ref.l90 : blockMin[b] <= ref.l10;
                if (!reaches) {
                    if (Rise ? blockMin[b] <= ref.l10 : blockMax[b] >= ref.l90)
                        leftIn = b;
                    k = end;
                    continue;
                }
            }
            if (leftIn >= 0) {
                last = LastLeft<Rise>(leftIn);
                leftIn = -1;
            }
            const int j = Walk<Rise>(k, end, last);
            if (j < end)
                return {last, j};
            k = end;
        }
        return {last, stop};  // not reached: `from` is not used
    }
    int LastBelow50(int j) const { return Last50<true>(j); }
    int LastAbove50(int j) const { return Last50<false>(j); }

  private:
    // The last sample before j below (above) the 50 % level, known to exist: blocks whose
    // extremes show none are stepped over.
    template <bool Below>
    int Last50(int j) const {
        int i = j - 1;
        while (true) {
            const int b = i >> kBlockShift;
            const int start = b << kBlockShift;
            if (blockMin != nullptr &&
                (Below ? !(blockMin[b] < ref.l50) : !(blockMax[b] > ref.l50))) {
                i = start - 1;
                continue;
            }
            const double* x = v.Block(b);
            for (; i >= start; --i) {
                if (Below ? x[i - start] < ref.l50 : x[i - start] > ref.l50)
                    return i;
            }
        }
    }

    // The end of the block holding i, or stop if that comes first.
    static int BlockEnd(int i, int stop) { return std::min(stop, (i | (kBlock - 1)) + 1); }
    // Whether [i, end) is a whole block whose extremes are known.
    bool WholeBlock(int i, int end) const {
        return blockMin != nullptr && (i & (kBlock - 1)) == 0 && end - i == kBlock;
    }

    // The last sample of whole block b in the band a passage leaves; there is one.
    template <bool Rise>
    int LastLeft(int b) const {
        const double* x = v.Block(b);
        int k = kBlock - 1;
        while (!(Rise ? x[k] <= ref.l10 : x[k] >= ref.l90))
            --k;
        return (b << kBlockShift) + k;
    }

    // The first sample of [k, end), which lie in one block, in the band reached, or end; `last`
    // follows the samples in the band left on the way.
    template <bool Rise>
    int Walk(int k, int end, int& last) const {
        // Offsets within the block.
        const int start = k & ~(kBlock - 1);
        const double* x = v.Block(k >> kBlockShift);
        int o = k - start;
        const int stop = end - start;
#if defined(__SSE2__)
        // Eight at a time, as two bit masks in record order.
        const __m128d low = _mm_set1_pd(ref.l10);
        const __m128d high = _mm_set1_pd(ref.l90);
        for (; o + 8 <= stop; o += 8) {
            unsigned left = 0;
            unsigned reached = 0;
            for (int q = 0; q < 8; q += 2) {
                const __m128d two = _mm_loadu_pd(x + o + q);
                const unsigned below =
                    static_cast<unsigned>(_mm_movemask_pd(_mm_cmple_pd(two, low)));
                const unsigned above =
                    static_cast<unsigned>(_mm_movemask_pd(_mm_cmpge_pd(two, high)));
                left |= (Rise ? below : above) << q;
                reached |= (Rise ? above : below) << q;
            }
            if (reached != 0) {
                const int j = std::countr_zero(reached);
                const unsigned before = left & ((1u << j) - 1u);
                if (before != 0)
                    last = start + o + std::bit_width(before) - 1;
                return start + o + j;
            }
            if (left != 0)
                last = start + o + std::bit_width(left) - 1;
        }
#endif
        for (; o < stop; ++o) {
            if (Rise ? x[o] <= ref.l10 : x[o] >= ref.l90)
                last = start + o;
            else if (Rise ? x[o] >= ref.l90 : x[o] <= ref.l10)
                return start + o;
        }
        return end;
    }
};

// MATH values held in memory.
struct ValuesInMemory {
    const double* v;

    double operator[](int i) const { return v[i]; }
    const double* Block(int b) const { return v + (b << kBlockShift); }
};

// ---------------------------------------------------------------- MATH bins

// MATH's histogram: bins 2^exponent wide in the units of its values (volts, or scores), aligned
// on multiples of that width, the narrowest for which at most kBins of them span the values'
// extremes (so at least about half as many do). A bin is then found exactly: scaling by a power
// of two and rounding down are exact.
struct AlignedBins {
    int exponent = 0;
    double first = 0.0;     // the lowest bin's start in widths
    double base = 0.0;      // and in the values' units
    double perWidth = 1.0;  // 2^-exponent

    // Scores are whole numbers: their bins are at least one wide (lowest 0).
    AlignedBins(double lo, double hi, int lowest = std::numeric_limits<int>::min()) {
        if (hi > lo) {
            // Too narrow by at least one step: (hi - lo) / 2^exponent >= 2 kBins.
            const double step = (hi - lo) / kBins;
            exponent =
                std::max(lowest, step > 0.0 ? std::ilogb(step) - 1 : std::ilogb(hi - lo) - 12);
            while (std::floor(std::ldexp(hi, -exponent)) - std::floor(std::ldexp(lo, -exponent)) >
                   kBins - 1)
                ++exponent;
        } else {
            exponent = std::max(lowest, 0);
        }
        perWidth = std::ldexp(1.0, -exponent);
        first = std::floor(lo * perWidth);
        base = std::ldexp(first, exponent);
    }

    // x at or above the lowest extreme. first is a whole number at or below x / width, and
    // within 1,024 of it: the difference is exact, and its whole part is the bin.
    int Of(double x) const { return static_cast<int>(x * perWidth - first); }
};

// ---------------------------------------------------------------- MATH values
// The sums of the values in bins `first` and `second` (-1: none), each in four lanes (lane k
// takes the values k, k + 4, ... in record order) added 0 + 1 + 2 + 3 at the end.
void SumsOfBins(const double* v, int n, const AlignedBins& bins, int first, int second,
                double& firstSum, double& secondSum) {
    double a[4] = {};
    double b[4] = {};
    int i = 0;
#if defined(__SSE2__)
    // In a bin: bin <= x / width - first < bin + 1, compared as doubles.
    const __m128d perWidth = _mm_set1_pd(bins.perWidth);
    const __m128d start = _mm_set1_pd(bins.first);
    const __m128d fromA = _mm_set1_pd(first);
    const __m128d toA = _mm_set1_pd(first + 1.0);
    const __m128d fromB = _mm_set1_pd(second);
    const __m128d toB = _mm_set1_pd(second + 1.0);
    __m128d a01 = _mm_setzero_pd();
    __m128d a23 = _mm_setzero_pd();
    __m128d b01 = _mm_setzero_pd();
    __m128d b23 = _mm_setzero_pd();
    auto two = [&](const double* at, __m128d& inA, __m128d& inB) {
        const __m128d x = _mm_loadu_pd(at);
        const __m128d d = _mm_sub_pd(_mm_mul_pd(x, perWidth), start);
        inA = _mm_add_pd(inA,
                         _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(d, fromA), _mm_cmplt_pd(d, toA)), x));
        inB = _mm_add_pd(inB,
                         _mm_and_pd(_mm_and_pd(_mm_cmpge_pd(d, fromB), _mm_cmplt_pd(d, toB)), x));
    };
    for (; i + 4 <= n; i += 4) {
        two(v + i, a01, b01);
        two(v + i + 2, a23, b23);
    }
    _mm_storeu_pd(a, a01);
    _mm_storeu_pd(a + 2, a23);
    _mm_storeu_pd(b, b01);
    _mm_storeu_pd(b + 2, b23);
#endif
    for (int k = i % 4; i < n; ++i, k = (k + 1) % 4) {
        if (std::isnan(v[i]))
            continue;
        const int bin = bins.Of(v[i]);
        a[k] += bin == first ? v[i] : 0.0;
        b[k] += bin == second ? v[i] : 0.0;
    }
    firstSum = a[0] + a[1] + a[2] + a[3];
    secondSum = b[0] + b[1] + b[2] + b[3];
}

// What the first pass over the MATH values gathers: extremes, count, and sums in four lanes
// (lane k takes the samples k, k + 4, ... of the gate), so that each addition does not wait
// for the one before.
struct MathFirstPass {
    static constexpr int kLanes = 4;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    std::uint64_t count = 0;
    double sum[kLanes] = {};
};

// The MATH value of each word into v (NaN where a source is missing or a quotient is by zero):
// the operation of CombineMath on the mapping's operands, as the trace computes it, with the
// operator and the sources' bits (ShiftA, ShiftB) fixed so that nothing is chosen per sample.
template <MathOperator Op, int ShiftA, int ShiftB>
void MathValues(const SampleWord* words, int n, const MathMapping& mapping, double* v,
                MathFirstPass& pass) {
    constexpr bool kJoint = ShiftA != ShiftB;
    // Products and quotients take the operands in volts: the mapping's tables of a / 1000 and
    // b / 1000 hold exactly what CombineMath works out.
    constexpr bool kVolts = Op == MathOperator::Mul || Op == MathOperator::Div;
    const double* tableA = kVolts ? mapping.VoltsTableA() : mapping.TableA();
    const double* tableB = kVolts ? mapping.VoltsTableB() : mapping.TableB();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    double lo = pass.lo;
    double hi = pass.hi;
    std::uint64_t count = 0;
    double sum[MathFirstPass::kLanes] = {};
    // Without branches: min and max keep their side when x is NaN, and a sum that starts at +0
    // never becomes -0, so adding +0 in place of a missing value leaves it as it was.
    auto one = [&](int i, double& laneSum) {
        const SampleWord w = words[i];
        const double a = tableA[CodeOf<ShiftA>(w)];
        const double b = tableB[CodeOf<ShiftB>(w)];
        double m = 0.0;
        bool none = MissingIn<ShiftA>(w) || (kJoint && MissingIn<ShiftB>(w));
        if constexpr (Op == MathOperator::Add) {
            m = a + b;
        } else if constexpr (Op == MathOperator::Sub) {
            m = a - b;
        } else if constexpr (Op == MathOperator::Mul) {
            m = a * b * 1000.0;
        } else {
            none = none || b == 0.0;  // b / 1000 is 0 exactly when b is
            m = a / b * 1000.0;
        }
        const double x = none ? nan : m / 1000.0;
        v[i] = x;
        const bool valid = !std::isnan(x);
        lo = std::min(lo, x);
        hi = std::max(hi, x);
        laneSum += valid ? x : 0.0;
        count += valid ? 1u : 0u;
    };
    int i = 0;
#if defined(__SSE2__)
    // Two samples at a time: lanes 0 and 1 of the sums in one register, 2 and 3 in another,
    // each lane still adding its own samples in record order; the same operations on each
    // value as one at a time.
    const __m128d thousand = _mm_set1_pd(1000.0);
    const __m128d nans = _mm_set1_pd(nan);
    __m128d lo2 = _mm_set1_pd(lo);
    __m128d hi2 = _mm_set1_pd(hi);
    __m128d sum01 = _mm_setzero_pd();
    __m128d sum23 = _mm_setzero_pd();
    __m128i count01 = _mm_setzero_si128();
    __m128i count23 = _mm_setzero_si128();
    auto two = [&](int j, __m128d& laneSums, __m128i& laneCounts) {
        const SampleWord w0 = words[j];
        const SampleWord w1 = words[j + 1];
        const __m128d a = _mm_set_pd(tableA[CodeOf<ShiftA>(w1)], tableA[CodeOf<ShiftA>(w0)]);
        const __m128d b = _mm_set_pd(tableB[CodeOf<ShiftB>(w1)], tableB[CodeOf<ShiftB>(w0)]);
        auto missing = [](SampleWord w) {
            return -static_cast<long long>(MissingIn<ShiftA>(w) ||
                                           (kJoint && MissingIn<ShiftB>(w)));
        };
        __m128d none = _mm_castsi128_pd(_mm_set_epi64x(missing(w1), missing(w0)));
        __m128d m;
        if constexpr (Op == MathOperator::Add) {
            m = _mm_add_pd(a, b);
        } else if constexpr (Op == MathOperator::Sub) {
            m = _mm_sub_pd(a, b);
        } else if constexpr (Op == MathOperator::Mul) {
            m = _mm_mul_pd(_mm_mul_pd(a, b), thousand);
        } else {
            none = _mm_or_pd(none, _mm_cmpeq_pd(b, _mm_setzero_pd()));
            m = _mm_mul_pd(_mm_div_pd(a, b), thousand);
        }
        const __m128d x =
            _mm_or_pd(_mm_and_pd(none, nans), _mm_andnot_pd(none, _mm_div_pd(m, thousand)));
        _mm_storeu_pd(v + j, x);
        const __m128d valid = _mm_cmpord_pd(x, x);
        // Each keeps its own side when x is NaN.
        lo2 = _mm_min_pd(x, lo2);
        hi2 = _mm_max_pd(x, hi2);
        laneSums = _mm_add_pd(laneSums, _mm_and_pd(valid, x));
        laneCounts = _mm_sub_epi64(laneCounts, _mm_castpd_si128(valid));
    };
    for (; i + MathFirstPass::kLanes <= n; i += MathFirstPass::kLanes) {
        two(i, sum01, count01);
        two(i + 2, sum23, count23);
    }
    alignas(16) double lanes[MathFirstPass::kLanes];
    _mm_store_pd(lanes, sum01);
    _mm_store_pd(lanes + 2, sum23);
    std::copy(lanes, lanes + MathFirstPass::kLanes, sum);
    alignas(16) std::uint64_t counts[MathFirstPass::kLanes];
    _mm_store_si128(reinterpret_cast<__m128i*>(counts), count01);
    _mm_store_si128(reinterpret_cast<__m128i*>(counts + 2), count23);
    count = counts[0] + counts[1] + counts[2] + counts[3];
    _mm_store_pd(lanes, lo2);
    lo = std::min(lanes[0], lanes[1]);
    _mm_store_pd(lanes, hi2);
    hi = std::max(lanes[0], lanes[1]);
#else
    for (; i + MathFirstPass::kLanes <= n; i += MathFirstPass::kLanes) {
        one(i, sum[0]);
        one(i + 1, sum[1]);
        one(i + 2, sum[2]);
        one(i + 3, sum[3]);
    }
#endif
    for (int k = 0; i < n; ++i, ++k)
        one(i, sum[k]);
    // Taken one at a time in record order, an extreme of 0 is the first value equal to it, -0
    // or +0 (the lanes above may have met them in another order).
    for (double* extreme : {&lo, &hi}) {
        if (*extreme == 0.0)
            *extreme = *std::find(v, v + n, 0.0);
    }
    pass.lo = lo;
    pass.hi = hi;
    pass.count = count;
    for (int k = 0; k < MathFirstPass::kLanes; ++k)
        pass.sum[k] = sum[k];
}

template <MathOperator Op>
void MathValuesOf(const MathMapping& mapping, const SampleWord* words, int n, double* v,
                  MathFirstPass& pass) {
    const int shiftA = mapping.ShiftA();
    const int shiftB = mapping.ShiftB();
    if (shiftA == 0 && shiftB == 0)
        MathValues<Op, 0, 0>(words, n, mapping, v, pass);
    else if (shiftA == 0)
        MathValues<Op, 0, 16>(words, n, mapping, v, pass);
    else if (shiftB == 0)
        MathValues<Op, 16, 0>(words, n, mapping, v, pass);
    else
        MathValues<Op, 16, 16>(words, n, mapping, v, pass);
}

void MathValuesFor(const MathMapping& mapping, const SampleWord* words, int n, double* v,
                   MathFirstPass& pass) {
    switch (mapping.Op()) {
        case MathOperator::Add:
            return MathValuesOf<MathOperator::Add>(mapping, words, n, v, pass);
        case MathOperator::Sub:
            return MathValuesOf<MathOperator::Sub>(mapping, words, n, v, pass);
        case MathOperator::Mul:
            return MathValuesOf<MathOperator::Mul>(mapping, words, n, v, pass);
        case MathOperator::Div:
            return MathValuesOf<MathOperator::Div>(mapping, words, n, v, pass);
    }
}

SampleRange Clip(SampleRange gate, std::size_t recordSize) {
    const int size = static_cast<int>(std::min<std::size_t>(recordSize, 0x7FFFFFFF));
    gate.first = std::clamp(gate.first, 0, size);
    gate.end = std::clamp(gate.end, gate.first, size);
    return gate;
}

double Percent(double part, double whole) {
    return part / whole * 100.0;
}

// ---------------------------------------------------------------- MATH as whole numbers

// Sums, differences and products of the channels as one whole number per sample, the score.
// In exact arithmetic an operand is R x (125 x code + o) / 128000 mV, with R = 10 x V/div x
// probe (0 when grounded) and o = -256 x (250 - position) - 64000. A sum or difference is then
// g / 1024 mV times kA x codeA +- kB x codeB, plus a constant, g being the greatest common
// divisor of the two R and k = R / g; a product is R_A x R_B / 128000^2 mV^2 times
// (125 x codeA + oA) x (125 x codeB + oB). A score and every step of it are whole numbers well
// within 2^53, so doubles hold them exactly: extremes, sums and histogram bins of scores are
// exact whatever order the samples are taken in, and a value is its score times one unit, plus
// the constant. The scores of a sum step by one: a bin of them is never narrower than a step.
struct MathScoreForm {
    ScoreForm form;
    double unit = 0.0;    // volts (V^2 for a product) per unit of score
    double offset = 0.0;  // volts of score 0
};

// The score form of the MATH of `in` over `samples` samples; none for quotients, for products
// with a grounded source (their values are zeros of either sign, which the path in record order
// keeps), and where a term might leave +-(2^31 - 1), a score exceed 2^46 or their sum 2^62.
std::optional<MathScoreForm> ScoreFormOf(const MeasureInput& in, int samples) {
    const int first = in.math.firstSource == 1 ? 1 : 0;
    const int second = in.math.secondSource == 1 ? 1 : 0;
    auto range = [&](int ch) -> std::int64_t {
        const MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
        return c.ground ? 0 : std::int64_t{10} * c.voltsPerDivMv * c.probeFactor;
    };
    auto offset = [&](int ch) {
        return -256.0 * (250 - in.channel[static_cast<std::size_t>(ch)].position) - 64000.0;
    };
    const std::int64_t ra = range(first);
    const std::int64_t rb = range(second);
    constexpr std::int64_t kMaxRange = std::int64_t{1} << 31;
    if (ra < 0 || rb < 0 || ra >= kMaxRange || rb >= kMaxRange)
        return std::nullopt;
    MathScoreForm f;
    ScoreForm& t = f.form;
    if (in.math.op == MathOperator::Add || in.math.op == MathOperator::Sub) {
        const std::int64_t g = std::gcd(ra, rb);
        if (g == 0)
            return std::nullopt;
        const double ka = static_cast<double>(ra / g);
        const double kb = static_cast<double>(rb / g);
        const double sign = in.math.op == MathOperator::Sub ? -1.0 : 1.0;
        t.mulA = ka;
        t.mulB = sign * kb;
        f.unit = static_cast<double>(g) / 1.024e6;
        // ka oA +- kb oB, a whole number within 2^53.
        f.offset =
            (ka * offset(first) + sign * kb * offset(second)) * static_cast<double>(g) / 1.28e8;
    } else if (in.math.op == MathOperator::Mul) {
        if (ra == 0 || rb == 0)
            return std::nullopt;
        t.product = true;
        t.mulA = 125.0;
        t.addA = offset(first);
        t.mulB = 125.0;
        t.addB = offset(second);
        f.unit = static_cast<double>(ra * rb) / 1.6384e16;
    } else {
        return std::nullopt;
    }
    const double termA = std::fabs(t.mulA) * (kCodeCount - 1) + std::fabs(t.addA);
    const double termB = std::fabs(t.mulB) * (kCodeCount - 1) + std::fabs(t.addB);
    const double largest = t.product ? termA * termB : termA + termB;
    constexpr double kMaxTerm = 2147483647.0;
    if (!(termA <= kMaxTerm && termB <= kMaxTerm && largest <= 0x1p46 &&
          largest * samples < 0x1p62))
        return std::nullopt;
    return f;
}

// The scores of a gate's words (index 0 is the gate's first), worked out a block at a time
// where they are read, the last few blocks kept.
struct ScoresOfWords {
    ScoresOfWords(const SampleWord* words, int count, const ScoreForm& form, int first, int second)
        : w(words), n(count), f(form), shiftA(first), shiftB(second) {}

    const SampleWord* w;
    int n;
    ScoreForm f;
    int shiftA;  // the sources' codes' bits
    int shiftB;

    double operator[](int i) const { return Block(i >> kBlockShift)[i & (kBlock - 1)]; }
    // Valid until a block that shares its slot is asked for.
    const double* Block(int b) const {
        Slot& slot = slots_[static_cast<std::size_t>(b) % kSlots];
        if (slot.block != b) {
            const int first = b << kBlockShift;
            ScoresOfBlock(w + first, std::min(kBlock, n - first), shiftA, shiftB, f, slot.values);
            slot.block = b;
        }
        return slot.values;
    }

  private:
    static constexpr std::size_t kSlots = 4;
    struct Slot {
        int block = -1;
        double values[kBlock];
    };
    mutable std::array<Slot, kSlots> slots_{};
};

// The first pass: the whole blocks by the widest build this machine runs, the last, partial
// block here. squares (kScoreLanes) receives the squares of the distances from center.
void ScoresFor(const ScoresOfWords& s, double center, double* blockMin, double* blockMax,
               double* blockSum, ScoreTotals& totals, double* squares) {
    const int whole = s.n >> kBlockShift;
    BestScoreKernel().scores(s.w, whole, s.shiftA, s.shiftB, s.f, center, blockMin, blockMax,
                             blockSum, totals, squares);
    const int rest = whole << kBlockShift;
    if (rest == s.n)
        return;
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    double sum = 0.0;
    TakeScores(s.Block(whole), s.n - rest, center, lo, hi, sum, totals.count, squares);
    blockMin[whole] = lo;
    blockMax[whole] = hi;
    blockSum[whole] = sum;
    totals.lo = std::min(totals.lo, lo);
    totals.hi = std::max(totals.hi, hi);
    totals.sum += static_cast<std::int64_t>(sum);
}

// The second pass: the histogram of the scores' bins (missing scores counted in bin 0, for
// the caller to take out).
void BinScores(const ScoresOfWords& s, const double* blockMin, const double* blockMax,
               const AlignedBins& bins, Histogram& h) {
    const int whole = s.n >> kBlockShift;
    BestScoreKernel().bin(s.w, whole, s.shiftA, s.shiftB, s.f, blockMin, blockMax, bins.base,
                          bins.exponent, h.data());
    for (int i = whole << kBlockShift; i < s.n; ++i) {
        const double x = s[i];
        ++h[static_cast<std::size_t>(std::isnan(x) ? 0 : bins.Of(x))];
    }
}

// The sum of the scores in bin `bin`: the whole blocks by the widest build this machine runs,
// the last, partial block here.
std::int64_t SumOfBin(const ScoresOfWords& s, const double* blockMin, const double* blockMax,
                      const double* blockSum, const AlignedBins& bins, int bin) {
    const int whole = s.n >> kBlockShift;
    std::int64_t total =
        BestScoreKernel().sumOfBin(s.w, whole, s.shiftA, s.shiftB, s.f, blockMin, blockMax,
                                   blockSum, bins.base, bins.exponent, bin);
    double sum = 0.0;
    for (int i = whole << kBlockShift; i < s.n; ++i) {
        const double x = s[i];
        if (!std::isnan(x) && bins.Of(x) == bin)
            sum += x;
    }
    return total + static_cast<std::int64_t>(sum);
}

}  // namespace

// ---------------------------------------------------------------- channels

void MeasureEngine::AnalyseChannel(const MeasureInput& in, int channel, SampleRange gate,
                                   Analysis& out, double near) {
    const MeasureChannel& ch = in.channel[static_cast<std::size_t>(channel)];
    const double rangeMv = FullScaleMv(ch.voltsPerDivMv, ch.probeFactor);
    if (!ch.on || ch.ground || !(rangeMv > 0.0) || gate.Size() == 0)
        return;
    const SampleWord* words = in.record.data();
    const int blocks = (gate.Size() + kBlock - 1) >> kBlockShift;
    blockMin_.resize(static_cast<std::size_t>(blocks));
    blockMax_.resize(static_cast<std::size_t>(blocks));
    Histogram h;
    if (channel == 0)
        SummariseCodes<0>(words + gate.first, gate.Size(), h, blockMin_.data(), blockMax_.data());
    else
        SummariseCodes<16>(words + gate.first, gate.Size(), h, blockMin_.data(), blockMax_.data());
    const std::uint64_t n = static_cast<std::uint64_t>(gate.Size()) - h[kMissingBin];
    if (n == 0)
        return;
    out.measurable = true;

    // Sums over the 1,024 bins instead of the samples: exact counts, and the spread is taken
    // about the zero code and the mean directly, without cancellation.
    const double zero = ZeroCode(ch.position);
    std::uint64_t sum = 0;
    for (int c = 0; c < kBins; ++c)
        sum += std::uint64_t{h[static_cast<std::size_t>(c)]} * static_cast<std::uint64_t>(c);
    const double meanCode = static_cast<double>(sum) / static_cast<double>(n);
    double squares = 0.0;
    double spread = 0.0;
    for (int c = 0; c < kBins; ++c) {
        const double count = h[static_cast<std::size_t>(c)];
        if (count == 0.0)
            continue;
        squares += count * (c - zero) * (c - zero);
        spread += count * (c - meanCode) * (c - meanCode);
    }
    const double voltsPerCode = rangeMv / 1024.0 / 1000.0;
    auto volts = [&](int code) { return CodeToMillivolts(code, ch.position, rangeMv) / 1000.0; };

    const HistogramLevels l = LevelsOf(h);
    out.max = volts(l.highest);
    out.min = volts(l.lowest);
    out.top = volts(l.top);
    out.base = volts(l.base);
    out.mean = (meanCode - zero) * voltsPerCode;
    out.rms = std::sqrt(squares / static_cast<double>(n)) * voltsPerCode;
    out.rmsAc = std::sqrt(spread / static_cast<double>(n)) * voltsPerCode;
    const int amplitude = l.top - l.base;
    out.amplitudeForPercent = amplitude;
    out.overshootSpan = l.highest - l.top;
    out.preshootSpan = l.base - l.lowest;

    if (amplitude < kMinEdgeAmplitudeCodes || !(in.sampleIntervalSeconds > 0.0))
        return;
    out.edgesLooked = true;
    out.interval = in.sampleIntervalSeconds;
    ReferenceLevels ref;
    ref.l10 = l.base + amplitude / 10.0;
    ref.l50 = l.base + amplitude / 2.0;
    ref.l90 = l.base + (9 * amplitude) / 10.0;
    // The same levels as whole codes: 2 x 50 % is base + top, a whole number.
    const int lowT = l.base + amplitude / 10;
    const int highT = l.base + (9 * amplitude + 9) / 10;
    const int twice50 = l.base + l.top;
    const int below50 = twice50 % 2 == 0 ? twice50 / 2 - 1 : twice50 / 2;
    const int above50 = twice50 / 2 + 1;
    const CodeThresholds t{lowT, highT, below50, above50};
    if (channel == 0)
        out.edges =
            CodeEdgeScan<0>(words, gate.first, gate.end, blockMin_.data(), blockMax_.data(), t, ref)
                .Run(near);
    else
        out.edges = CodeEdgeScan<16>(words, gate.first, gate.end, blockMin_.data(),
                                     blockMax_.data(), t, ref)
                        .Run(near);
}

// ---------------------------------------------------------------- MATH

void MeasureEngine::AnalyseMath(const MeasureInput& in, SampleRange gate, Analysis& out) {
    if (!in.mathOn || gate.Size() == 0)
        return;
    if (AnalyseMathScores(in, gate, out))
        return;
    // The trace's own mapping gives the operands; only its values are used here, so the
    // geometry and the MATH position do not matter.
    ViewSettings view;
    MathSettings math = in.math;
    for (int ch = 0; ch < 2; ++ch) {
        const MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
        view.acqVoltsPerDivMv[static_cast<std::size_t>(ch)] = c.voltsPerDivMv;
        view.probeFactor[static_cast<std::size_t>(ch)] = c.probeFactor;
        view.acqTracePosition[static_cast<std::size_t>(ch)] = c.position;
        math.groundCoupled[static_cast<std::size_t>(ch)] = c.ground;
    }
    math.mathScale = 1;
    const MathMapping mapping(view, ViewGeometry{}, math);

    // MATH values in the units the trace is scaled in, divided by 1000: volts for sums and
    // differences, V^2 and V/V for products and quotients.
    const int n = gate.Size();
    mathValues_.resize(static_cast<std::size_t>(n));
    double* v = mathValues_.data();
    const SampleWord* words = in.record.data() + gate.first;
    MathFirstPass pass;
    MathValuesFor(mapping, words, n, v, pass);
    constexpr int kLanes = MathFirstPass::kLanes;
    const double lo = pass.lo;
    const double hi = pass.hi;
    const std::uint64_t count = pass.count;
    const double* sum = pass.sum;
    if (count == 0)
        return;
    out.measurable = true;
    const double mean = (sum[0] + sum[1] + sum[2] + sum[3]) / static_cast<double>(count);

    // The histogram, a missing value counted in bin 0 and taken out after; the squares in the
    // lanes of the sums.
    Histogram h{};
    const AlignedBins bins(lo, hi);
    double squares[kLanes] = {};
    double spread[kLanes] = {};
    // A sum that starts at +0 never becomes -0, so adding +0 for a missing value leaves it as
    // it was.
    auto square = [&](double x, int lane) {
        const bool valid = !std::isnan(x);
        squares[lane] += valid ? x * x : 0.0;
        spread[lane] += valid ? (x - mean) * (x - mean) : 0.0;
        return valid ? bins.Of(x) : 0;
    };
    const int whole = n >> kBlockShift;
    {
        CodeTables tables(h.data());
        alignas(16) std::uint16_t keys[kBlock];
        for (int b = 0; b < whole; ++b) {
            const double* x = v + (b << kBlockShift);
            for (int k = 0; k < kBlock; k += kLanes) {
                keys[k] = static_cast<std::uint16_t>(square(x[k], 0));
                keys[k + 1] = static_cast<std::uint16_t>(square(x[k + 1], 1));
                keys[k + 2] = static_cast<std::uint16_t>(square(x[k + 2], 2));
                keys[k + 3] = static_cast<std::uint16_t>(square(x[k + 3], 3));
            }
            tables.CountBlock([&](int k) { return keys[k]; });
        }
    }
    for (int i = whole << kBlockShift; i < n; ++i)
        ++h[static_cast<std::size_t>(square(v[i], i % kLanes))];
    h[0] -= static_cast<std::uint32_t>(static_cast<std::uint64_t>(n) - count);
    const HistogramLevels l = LevelsOf(h);
    // The level of a state is the mean of the values in its bin, summed in the lanes of the
    // sums: the edges depend on it to the last bit.
    double topSum = 0.0;
    double baseSum = 0.0;
    SumsOfBins(v, n, bins, l.topIsMode ? l.top : -1, l.baseIsMode ? l.base : -1, topSum, baseSum);
    auto levelOf = [&](int bin, bool mode, double binSum, double extreme) {
        return mode ? binSum / h[static_cast<std::size_t>(bin)] : extreme;
    };
    out.max = hi;
    out.min = lo;
    out.top = levelOf(l.top, l.topIsMode, topSum, hi);
    out.base = levelOf(l.base, l.baseIsMode, baseSum, lo);
    out.mean = mean;
    out.rms =
        std::sqrt((squares[0] + squares[1] + squares[2] + squares[3]) / static_cast<double>(count));
    out.rmsAc =
        std::sqrt((spread[0] + spread[1] + spread[2] + spread[3]) / static_cast<double>(count));
    const double amplitude = out.top - out.base;
    out.amplitudeForPercent = amplitude;
    out.overshootSpan = out.max - out.top;
    out.preshootSpan = out.base - out.min;

    // The same smallest amplitude as for a channel: 8 / 1,024 of the MATH range.
    const double scale = hi > lo ? kBins / (hi - lo) : 0.0;
    if (!(amplitude * scale >= kMinEdgeAmplitudeCodes) || !(in.sampleIntervalSeconds > 0.0))
        return;
    out.edgesLooked = true;
    ReferenceLevels ref;
    ref.l10 = out.base + amplitude / 10.0;
    ref.l50 = out.base + amplitude / 2.0;
    ref.l90 = out.base + amplitude * 9.0 / 10.0;
    out.interval = in.sampleIntervalSeconds;
    // The values are indexed from the gate's start; only differences of instants are used.
    const ValuesInMemory values{v};
    ScanEdges(ValueSeries<ValuesInMemory>{values, ref}, 0, n, ref,
              std::numeric_limits<double>::quiet_NaN(), out.edges);
}

namespace {

// What the passes over MATH's scores found, in scores.
struct ScoreLevels {
    double lo = 0.0;
    double hi = 0.0;
    double mean = 0.0;
    double variance = 0.0;
    double top = 0.0;
    double base = 0.0;
};

// The analysis from the levels of the scores; the edges are looked for in the scores (blocks'
// extremes as the first pass found them).
void FinishScores(const MeasureInput& in, const ScoresOfWords& s, const ScoreLevels& m,
                  const MathScoreForm& form, const double* blockMin, const double* blockMax,
                  MeasureEngine::Analysis& out) {
    auto volts = [&](double score) { return score * form.unit + form.offset; };
    out.measurable = true;
    out.max = volts(m.hi);
    out.min = volts(m.lo);
    out.top = volts(m.top);
    out.base = volts(m.base);
    out.mean = volts(m.mean);
    const double deviation = std::sqrt(m.variance) * form.unit;
    out.rms = std::sqrt(deviation * deviation + out.mean * out.mean);
    out.rmsAc = deviation;
    const double amplitude = m.top - m.base;
    out.amplitudeForPercent = amplitude;
    out.overshootSpan = m.hi - m.top;
    out.preshootSpan = m.base - m.lo;

    // The same smallest amplitude as for a channel: 8 / 1,024 of the MATH range.
    const double scale = m.hi > m.lo ? kBins / (m.hi - m.lo) : 0.0;
    if (!(amplitude * scale >= kMinEdgeAmplitudeCodes) || !(in.sampleIntervalSeconds > 0.0))
        return;
    out.edgesLooked = true;
    ReferenceLevels ref;
    ref.l10 = m.base + amplitude / 10.0;
    ref.l50 = m.base + amplitude / 2.0;
    ref.l90 = m.base + amplitude * 9.0 / 10.0;
    out.interval = in.sampleIntervalSeconds;
    // The scores are indexed from the gate's start; only differences of instants are used.
    ScanEdges(ValueSeries<ScoresOfWords>{s, ref, blockMin, blockMax}, 0, s.n, ref,
              std::numeric_limits<double>::quiet_NaN(), out.edges);
}

// A sum or difference whose score s = k1 x code1 + k2 x code2 takes fewer than kSmallScores
// values.
struct SmallForm {
    SmallScore score;
    int sMin = 0;
};

std::optional<SmallForm> SmallFormOf(const MeasureInput& in, const ScoreForm& f) {
    if (f.product)
        return std::nullopt;
    const int first = in.math.firstSource == 1 ? 1 : 0;
    const int second = in.math.secondSource == 1 ? 1 : 0;
    // mul = k, whole, signed for a difference.
    double k[2] = {0.0, 0.0};
    k[first] += f.mulA;
    k[second] += f.mulB;
    if (!(std::fabs(k[0]) <= 2047.0 && std::fabs(k[1]) <= 2047.0))
        return std::nullopt;
    SmallForm small;
    small.score = {static_cast<int>(k[0]), static_cast<int>(k[1]), first == 0 || second == 0,
                   first == 1 || second == 1};
    const int lowest =
        (std::min(small.score.k1, 0) + std::min(small.score.k2, 0)) * (kCodeCount - 1);
    const int highest =
        (std::max(small.score.k1, 0) + std::max(small.score.k2, 0)) * (kCodeCount - 1);
    if (highest - lowest >= kSmallScores)
        return std::nullopt;
    small.sMin = lowest;
    return small;
}

// Scores 125 s + c of few values of s: one pass counts each s, and the histogram, sums and
// levels follow from the counts, exactly.
// The engine's buffers for it: counts by s, the blocks' extremes of s and of the scores.
struct SmallBuffers {
    std::vector<std::uint32_t>& counts;
    std::vector<std::int16_t>& smallMin;
    std::vector<std::int16_t>& smallMax;
    std::vector<double>& blockMin;
    std::vector<double>& blockMax;
};

void AnalyseSmallScores(const SmallForm& small, const ScoresOfWords& s, const MathScoreForm& form,
                        const MeasureInput& in, SmallBuffers buffers,
                        MeasureEngine::Analysis& out) {
    const int n = s.n;
    const int blocks = (n + kBlock - 1) >> kBlockShift;
    std::vector<std::uint32_t>& counts = buffers.counts;
    std::vector<std::int16_t>& smallMin = buffers.smallMin;
    std::vector<std::int16_t>& smallMax = buffers.smallMax;
    std::vector<double>& blockMin = buffers.blockMin;
    std::vector<double>& blockMax = buffers.blockMax;
    counts.assign(kSmallScores + 1, 0u);
    smallMin.resize(static_cast<std::size_t>(blocks));
    smallMax.resize(static_cast<std::size_t>(blocks));
    blockMin.resize(static_cast<std::size_t>(blocks));
    blockMax.resize(static_cast<std::size_t>(blocks));
    const int whole = n >> kBlockShift;
    const SmallScore& score = small.score;
    CountSmallScores(s.w, whole, score.k1, score.k2, score.ch1, score.ch2, small.sMin,
                     counts.data(), smallMin.data(), smallMax.data());
    if (whole < blocks) {
        int lo = 32767;
        int hi = -32768;
        for (int i = whole << kBlockShift; i < n; ++i) {
            if (score.Missing(s.w[i]))
                continue;
            const int v = score.Of(s.w[i]);
            ++counts[static_cast<std::size_t>(v - small.sMin)];
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
        smallMin[static_cast<std::size_t>(whole)] = static_cast<std::int16_t>(lo);
        smallMax[static_cast<std::size_t>(whole)] = static_cast<std::int16_t>(hi);
    }
    // The blocks' extremes as scores, for the edge searches.
    for (int b = 0; b < blocks; ++b) {
        const int lo = smallMin[static_cast<std::size_t>(b)];
        const int hi = smallMax[static_cast<std::size_t>(b)];
        const bool none = lo > hi;
        blockMin[static_cast<std::size_t>(b)] =
            none ? std::numeric_limits<double>::infinity() : static_cast<double>(lo);
        blockMax[static_cast<std::size_t>(b)] =
            none ? -std::numeric_limits<double>::infinity() : static_cast<double>(hi);
    }

    auto scoreOf = [&](int key) { return static_cast<double>(key + small.sMin); };
    std::uint64_t count = 0;
    std::int64_t sum = 0;
    int lowest = -1;
    int highest = -1;
    for (int key = 0; key < kSmallScores; ++key) {
        const std::uint32_t c = counts[static_cast<std::size_t>(key)];
        if (c == 0)
            continue;
        if (lowest < 0)
            lowest = key;
        highest = key;
        count += c;
        sum += static_cast<std::int64_t>(c) * static_cast<std::int64_t>(scoreOf(key));
    }
    if (count == 0)
        return;
    ScoreLevels m;
    m.lo = scoreOf(lowest);
    m.hi = scoreOf(highest);
    m.mean = static_cast<double>(sum) / static_cast<double>(count);
    const AlignedBins bins(m.lo, m.hi, 0);
    Histogram h{};
    std::array<std::int64_t, kBins> binSums{};
    double spread = 0.0;
    for (int key = lowest; key <= highest; ++key) {
        const std::uint32_t c = counts[static_cast<std::size_t>(key)];
        if (c == 0)
            continue;
        const double x = scoreOf(key);
        const std::size_t bin = static_cast<std::size_t>(bins.Of(x));
        h[bin] += c;
        binSums[bin] += static_cast<std::int64_t>(c) * static_cast<std::int64_t>(x);
        spread += c * (x - m.mean) * (x - m.mean);
    }
    m.variance = spread / static_cast<double>(count);
    const HistogramLevels l = LevelsOf(h);
    auto levelOf = [&](int bin, bool mode, double extreme) {
        return mode ? static_cast<double>(binSums[static_cast<std::size_t>(bin)]) /
                          h[static_cast<std::size_t>(bin)]
                    : extreme;
    };
    m.top = levelOf(l.top, l.topIsMode, m.hi);
    m.base = levelOf(l.base, l.baseIsMode, m.lo);
    FinishScores(in, s, m, form, blockMin.data(), blockMax.data(), out);
}

}  // namespace

bool MeasureEngine::AnalyseMathScores(const MeasureInput& in, SampleRange gate, Analysis& out) {
    const int n = gate.Size();
    const std::optional<MathScoreForm> form = ScoreFormOf(in, n);
    if (!form)
        return false;
    const ScoresOfWords s(in.record.data() + gate.first, n, form->form,
                          ChannelShift(in.math.firstSource == 1 ? 1 : 0),
                          ChannelShift(in.math.secondSource == 1 ? 1 : 0));
    const int blocks = (n + kBlock - 1) >> kBlockShift;
    mathBlockMin_.resize(static_cast<std::size_t>(blocks));
    mathBlockMax_.resize(static_cast<std::size_t>(blocks));
    if (const std::optional<SmallForm> small = SmallFormOf(in, form->form)) {
        AnalyseSmallScores(
            *small, s, *form, in,
            {smallCounts_, smallBlockMin_, smallBlockMax_, mathBlockMin_, mathBlockMax_}, out);
        return true;
    }

    // The squares are taken about the first score, a score near the others; the first pass
    // cannot know the mean.
    int firstPresent = 0;
    while (firstPresent < n && std::isnan(s[firstPresent]))
        ++firstPresent;
    if (firstPresent == n)
        return true;
    const double center = s[firstPresent];
    mathBlockSum_.resize(static_cast<std::size_t>(blocks));
    const double* blockMin = mathBlockMin_.data();
    const double* blockMax = mathBlockMax_.data();
    const double* blockSum = mathBlockSum_.data();
    ScoreTotals sum;
    double squareLanes[kScoreLanes] = {};
    ScoresFor(s, center, mathBlockMin_.data(), mathBlockMax_.data(), mathBlockSum_.data(), sum,
              squareLanes);

    // The sums of the scores and of their distances from center are exact (within 2^62:
    // ScoreFormOf).
    ScoreLevels m;
    const double count = static_cast<double>(sum.count);
    m.mean = static_cast<double>(sum.sum) / count;
    const std::int64_t offsets =
        sum.sum - static_cast<std::int64_t>(sum.count) * static_cast<std::int64_t>(center);
    const double meanOffset = static_cast<double>(offsets) / count;
    double squares = 0.0;
    for (double lane : squareLanes)
        squares += lane;
    m.variance = std::max(0.0, squares / count - meanOffset * meanOffset);
    m.lo = sum.lo;
    m.hi = sum.hi;
    const AlignedBins bins(m.lo, m.hi, 0);
    Histogram h{};
    BinScores(s, blockMin, blockMax, bins, h);
    h[0] -= static_cast<std::uint32_t>(static_cast<std::uint64_t>(n) - sum.count);
    const HistogramLevels l = LevelsOf(h);
    // A state level is the mean of the scores in its bin.
    auto levelOf = [&](int bin, bool mode, double extreme) {
        if (!mode)
            return extreme;
        return static_cast<double>(SumOfBin(s, blockMin, blockMax, blockSum, bins, bin)) /
               h[static_cast<std::size_t>(bin)];
    };
    m.top = levelOf(l.top, l.topIsMode, m.hi);
    m.base = levelOf(l.base, l.baseIsMode, m.lo);
    FinishScores(in, s, m, *form, blockMin, blockMax, out);
    return true;
}

// ---------------------------------------------------------------- results

const MeasureEngine::Analysis& MeasureEngine::Analyse(const MeasureInput& in, MeasureSource source,
                                                      SampleRange gate) {
    analysis_ = Analysis{};
    gate = Clip(gate, in.record.size());
    if (source == MeasureSource::Math)
        AnalyseMath(in, gate, analysis_);
    else
        AnalyseChannel(in, static_cast<int>(source), gate, analysis_);
    return analysis_;
}

MeasureValues MeasureEngine::Measure(const MeasureInput& in, MeasureSource source, SampleRange gate,
                                     bool withPair) {
    if (!withPair)
        return ValuesOf(Analyse(in, source, gate));
    // The pair needs both channels' edges; a channel source's values come from the same
    // analysis.
    const SampleRange clipped = Clip(gate, in.record.size());
    Analysis ch1;
    AnalyseChannel(in, 0, clipped, ch1);
    const double near = ch1.edgesLooked && ch1.edges.rising > 0
                            ? ch1.edges.firstRise
                            : std::numeric_limits<double>::quiet_NaN();
    Analysis ch2;
    AnalyseChannel(in, 1, clipped, ch2, near);
    MeasureValues values;
    if (source == MeasureSource::Ch1) {
        analysis_ = ch1;
        values = ValuesOf(ch1);
    } else if (source == MeasureSource::Ch2) {
        analysis_ = ch2;
        values = ValuesOf(ch2);
    } else {
        values = ValuesOf(Analyse(in, source, gate));
    }
    FillDelayAndPhase(ch1, ch2, values);
    return values;
}

MeasureValues ValuesOf(const MeasureEngine::Analysis& a) {
    MeasureValues v;
    if (!a.measurable)
        return v;
    v[MeasureId::Vmax] = a.max;
    v[MeasureId::Vmin] = a.min;
    v[MeasureId::Vpp] = a.max - a.min;
    v[MeasureId::Vtop] = a.top;
    v[MeasureId::Vbase] = a.base;
    v[MeasureId::Vamp] = a.top - a.base;
    v[MeasureId::Vmean] = a.mean;
    v[MeasureId::Vrms] = a.rms;
    v[MeasureId::VrmsAc] = a.rmsAc;
    if (a.amplitudeForPercent > 0.0) {
        v[MeasureId::Overshoot] = Percent(a.overshootSpan, a.amplitudeForPercent);
        v[MeasureId::Preshoot] = Percent(a.preshootSpan, a.amplitudeForPercent);
    }
    if (!a.edgesLooked)
        return v;
    const MeasureEngine::EdgeSummary& e = a.edges;
    v[MeasureId::Edges] = e.rising;
    const double dt = a.interval;
    std::optional<double> period;
    if (e.rising >= 2)
        period = (e.lastRise - e.firstRise) / (e.rising - 1) * dt;
    else if (e.falling >= 2)
        period = (e.lastFall - e.firstFall) / (e.falling - 1) * dt;
    if (period && *period > 0.0) {
        v[MeasureId::Period] = *period;
        v[MeasureId::Frequency] = 1.0 / *period;
    }
    if (e.widthPosCount > 0)
        v[MeasureId::WidthPos] = e.widthPosSum / e.widthPosCount * dt;
    if (e.widthNegCount > 0)
        v[MeasureId::WidthNeg] = e.widthNegSum / e.widthNegCount * dt;
    if (v[MeasureId::Period] && v[MeasureId::WidthPos])
        v[MeasureId::DutyPos] = Percent(*v[MeasureId::WidthPos], *v[MeasureId::Period]);
    if (v[MeasureId::Period] && v[MeasureId::WidthNeg])
        v[MeasureId::DutyNeg] = Percent(*v[MeasureId::WidthNeg], *v[MeasureId::Period]);
    if (e.rising > 0)
        v[MeasureId::Rise] = e.riseSum / e.rising * dt;
    if (e.falling > 0)
        v[MeasureId::Fall] = e.fallSum / e.falling * dt;
    return v;
}

void FillDelayAndPhase(const MeasureEngine::Analysis& ch1, const MeasureEngine::Analysis& ch2,
                       MeasureValues& values) {
    values[MeasureId::Delay] = std::nullopt;
    values[MeasureId::Phase] = std::nullopt;
    if (!ch1.edgesLooked || !ch2.edgesLooked || ch1.edges.rising == 0 ||
        std::isnan(ch2.edges.nearRise))
        return;
    const double delay = (ch2.edges.nearRise - ch1.edges.firstRise) * ch1.interval;
    values[MeasureId::Delay] = delay;
    const std::optional<double> period = ValuesOf(ch1)[MeasureId::Period];
    if (period)
        values[MeasureId::Phase] = delay / *period * 360.0;
}

}  // namespace lumatrace
