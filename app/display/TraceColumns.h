#pragma once

#include <cstddef>
#include <cstdint>

#include "app/display/SampleWord.h"

namespace lumatrace {

// Horizontal positions of a trace are kept in fixed point, 1/2^40 pixel: exact integer
// arithmetic, so that where a sample lands does not depend on how the samples are walked.
inline constexpr int kPixelFractionBits = 40;
inline constexpr std::int64_t kPixelOne = std::int64_t{1} << kPixelFractionBits;

// One pixel column of a time-domain trace: the sample that entered it and, when requested,
// the smallest and largest codes in it, packed like a sample word (CH1 low half, CH2 high).
struct TraceColumn {
    int x = 0;
    int enter = 0;  // index of the entering sample
    SampleWord word = 0;
    SampleWord lo = 0;
    SampleWord hi = 0;
};

struct ColumnWalkInput {
    const SampleWord* words = nullptr;
    int first = 0;  // first index walked
    int end = -1;   // last index walked (inclusive)
    int x0 = 1;     // x of the first index (plus the whole pixels of the phase)
    std::int64_t stepFixed = kPixelOne;  // pixels per sample, > 0
    std::int64_t phaseFixed = 0;         // start phase, 0 <= phase < 1 pixel
    bool widen = false;                  // track the code range of every column
    int rightEdge = 0;                   // last x that can be visible
};

struct ColumnWalkResult {
    bool anyValid = false;
    int xFirst = 0;           // column of the first valid sample
    int xLast = 0;            // column of the last valid sample (x0 when none)
    std::int64_t accEnd = 0;  // pixel accumulator after the last index, fixed point
    std::size_t count = 0;    // columns written
};

// Walks first..end once. A sample is placed at
//   x = xFirst + floor((base + (i - iFirst) * step) / 1 px)
// where iFirst is the first valid index, xFirst = x0 + floor(phase + (iFirst - first) * step)
// and base is the phase fraction kept when the trace starts at x = 1 (else 0). NoSample words
// advance the position but enter no column, so a gap is bridged by the next segment.
//
// Columns left of x = 0 are merged into the last of them and the walk stops after the first
// column right of rightEdge: neither changes what is visible. `out` needs room for
// rightEdge + 8 columns. The position at the end (xLast, accEnd) is that of the whole walk.
ColumnWalkResult WalkColumns(const ColumnWalkInput& in, TraceColumn* out, std::size_t capacity);

// Same end position as WalkColumns, without visiting the columns.
ColumnWalkResult TraceEndPosition(const ColumnWalkInput& in);

// Narrows lo / widens hi (packed as in TraceColumn) with the codes of every word of
// words[0..count) that is not NoSample.
void WidenCodeRange(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi);

// The builds of WidenCodeRange for several instruction sets, widest first, chosen at run time;
// the last (SSE2, the x86-64 baseline, or plain) runs everywhere. Each does the whole job; the
// wider ones finish the last few words with it.
struct WidenKernel {
    const char* name;
    bool (*supported)();  // whether this CPU and OS can run it
    void (*widen)(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi);
};
int WidenKernelCount();
const WidenKernel& WidenKernelAt(int index);
const WidenKernel& BestWidenKernel();
// The build that runs everywhere.
void WidenCodeRangeBaseline(const SampleWord* words, std::size_t count, SampleWord& lo,
                            SampleWord& hi);

}  // namespace lumatrace
