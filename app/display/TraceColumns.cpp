#include "app/display/TraceColumns.h"

#include <algorithm>

#include "app/display/KernelChoice.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(LUMATRACE_DISPLAY_AVX2)
#include "app/display/TraceColumnsAvx2.h"
#endif

namespace lumatrace {

namespace {

constexpr SampleWord kCodePairMask = 0x03FF03FFu;

struct WalkStart {
    bool any = false;
    int i0 = 0;
    int xFirst = 0;
    std::int64_t base = 0;
};

WalkStart FindStart(const ColumnWalkInput& in) {
    WalkStart s;
    int i = in.first;
    while (i <= in.end && in.words[i] == NoSample)
        ++i;
    if (i > in.end)
        return s;
    const std::int64_t pos = in.phaseFixed + std::int64_t{i - in.first} * in.stepFixed;
    const std::int64_t n = pos >> kPixelFractionBits;
    s.any = true;
    s.i0 = i;
    s.xFirst = in.x0 + static_cast<int>(n);
    // The phase survives only when the trace starts where a trace normally starts (x = 1);
    // anywhere else the first sample defines the grid of columns.
    s.base = s.xFirst != 1 ? 0 : pos - (n << kPixelFractionBits);
    return s;
}

ColumnWalkResult EndOf(const ColumnWalkInput& in, const WalkStart& s) {
    ColumnWalkResult r;
    if (!s.any) {
        r.xFirst = r.xLast = in.x0;
        const std::int64_t walked = in.end >= in.first ? std::int64_t{in.end - in.first + 1} : 0;
        r.accEnd = in.phaseFixed + walked * in.stepFixed;
        return r;
    }
    int last = in.end;
    while (last > s.i0 && in.words[last] == NoSample)
        --last;
    const std::int64_t rel = s.base + std::int64_t{last - s.i0} * in.stepFixed;
    r.anyValid = true;
    r.xFirst = s.xFirst;
    r.xLast = s.xFirst + static_cast<int>(rel >> kPixelFractionBits);
    r.accEnd = (rel & (kPixelOne - 1)) + std::int64_t{in.end - last} * in.stepFixed;
    return r;
}

}  // namespace

namespace {

void WidenPlain(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi) {
    std::size_t i = 0;
    int lo1 = static_cast<int>(lo & 0xFFFFu), lo2 = static_cast<int>(lo >> 16);
    int hi1 = static_cast<int>(hi & 0xFFFFu), hi2 = static_cast<int>(hi >> 16);
#if defined(__SSE2__)
    if (count >= 8) {
        // Each word is two 16-bit lanes (CH1 low, CH2 high), so one signed 16-bit min/max
        // handles both channels of four words. Masked, a NoSample word reads as code 1023 in
        // both lanes, which leaves a minimum alone; for the maximum it is zeroed.
        const __m128i mask = _mm_set1_epi32(static_cast<int>(kCodePairMask));
        const __m128i allOnes = _mm_set1_epi32(-1);
        __m128i vmin = _mm_set1_epi32(static_cast<int>(lo));
        __m128i vmax = _mm_set1_epi32(static_cast<int>(hi));
        for (; i + 4 <= count; i += 4) {
            const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(words + i));
            const __m128i missing = _mm_cmpeq_epi32(w, allOnes);
            const __m128i codes = _mm_and_si128(w, mask);
            vmin = _mm_min_epi16(vmin, codes);
            vmax = _mm_max_epi16(vmax, _mm_andnot_si128(missing, codes));
        }
        vmin = _mm_min_epi16(vmin, _mm_shuffle_epi32(vmin, _MM_SHUFFLE(1, 0, 3, 2)));
        vmin = _mm_min_epi16(vmin, _mm_shuffle_epi32(vmin, _MM_SHUFFLE(2, 3, 0, 1)));
        vmax = _mm_max_epi16(vmax, _mm_shuffle_epi32(vmax, _MM_SHUFFLE(1, 0, 3, 2)));
        vmax = _mm_max_epi16(vmax, _mm_shuffle_epi32(vmax, _MM_SHUFFLE(2, 3, 0, 1)));
        const auto mn = static_cast<SampleWord>(_mm_cvtsi128_si32(vmin));
        const auto mx = static_cast<SampleWord>(_mm_cvtsi128_si32(vmax));
        lo1 = static_cast<int>(mn & 0xFFFFu);
        lo2 = static_cast<int>(mn >> 16);
        hi1 = static_cast<int>(mx & 0xFFFFu);
        hi2 = static_cast<int>(mx >> 16);
    }
#endif
    for (; i < count; ++i) {
        const SampleWord w = words[i];
        if (w == NoSample)
            continue;
        const int c1 = static_cast<int>(w & kCodeMask);
        const int c2 = static_cast<int>((w >> 16) & kCodeMask);
        lo1 = std::min(lo1, c1);
        hi1 = std::max(hi1, c1);
        lo2 = std::min(lo2, c2);
        hi2 = std::max(hi2, c2);
    }
    lo = static_cast<SampleWord>(lo1) | (static_cast<SampleWord>(lo2) << 16);
    hi = static_cast<SampleWord>(hi1) | (static_cast<SampleWord>(hi2) << 16);
}

const WidenKernel kWidenKernels[] = {
#if defined(LUMATRACE_DISPLAY_AVX512)
    {"avx512", &HasAvx512, &avx512::WidenAvx512},
#endif
#if defined(LUMATRACE_DISPLAY_AVX2)
    {"avx2", &HasAvx2, &avx2::WidenAvx2},
#endif
    {"sse2", &RunsEverywhere, &WidenPlain},
};

}  // namespace

int WidenKernelCount() {
    return static_cast<int>(sizeof(kWidenKernels) / sizeof(kWidenKernels[0]));
}

const WidenKernel& WidenKernelAt(int index) {
    return kWidenKernels[index];
}

const WidenKernel& BestWidenKernel() {
    static const WidenKernel& best = WidestSupported(kWidenKernels);
    return best;
}

void WidenCodeRangeBaseline(const SampleWord* words, std::size_t count, SampleWord& lo,
                            SampleWord& hi) {
    WidenPlain(words, count, lo, hi);
}

void WidenCodeRange(const SampleWord* words, std::size_t count, SampleWord& lo, SampleWord& hi) {
    static const auto widen = BestWidenKernel().widen;
    widen(words, count, lo, hi);
}

ColumnWalkResult TraceEndPosition(const ColumnWalkInput& in) {
    return EndOf(in, FindStart(in));
}

ColumnWalkResult WalkColumns(const ColumnWalkInput& in, TraceColumn* out, std::size_t capacity) {
    const WalkStart s = FindStart(in);
    ColumnWalkResult r = EndOf(in, s);
    if (!s.any)
        return r;

    std::size_t count = 0;
    int i = s.i0;
    while (i <= in.end) {
        const std::int64_t rel = s.base + std::int64_t{i - s.i0} * in.stepFixed;
        const std::int64_t m = rel >> kPixelFractionBits;
        // First index of the next column: the smallest j with base + j * step >= (m + 1) px.
        const std::int64_t need = ((m + 1) << kPixelFractionBits) - s.base;
        const std::int64_t j = (need + in.stepFixed - 1) / in.stepFixed;
        const int stop =
            static_cast<int>(std::min<std::int64_t>(s.i0 + j, std::int64_t{in.end} + 1));
        int v = i;
        while (v < stop && in.words[v] == NoSample)
            ++v;
        if (v < stop) {
            TraceColumn c;
            c.x = s.xFirst + static_cast<int>(m);
            c.enter = v;
            c.word = in.words[v];
            c.lo = c.hi = c.word & kCodePairMask;
            if (in.widen)
                WidenCodeRange(in.words + v + 1, static_cast<std::size_t>(stop - v - 1), c.lo,
                               c.hi);
            if (c.x < 0 && count > 0 && out[count - 1].x < 0) {
                out[count - 1] = c;
            } else {
                if (count == capacity)
                    break;
                out[count++] = c;
            }
            if (c.x > in.rightEdge)
                break;
        }
        i = stop;
    }
    r.count = count;
    return r;
}

}  // namespace lumatrace
