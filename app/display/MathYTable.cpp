#include "app/display/MathYTable.h"

#include <algorithm>

#if defined(LUMATRACE_DISPLAY_AVX2)
#include "app/display/MathYTableAvx2.h"
#endif

namespace lumatrace {

namespace {

int NoVectors(const std::int16_t*, const SampleWord*, int i, int, int&, int&) {
    return i;
}

bool RunsEverywhere() {
    return true;
}

#if defined(LUMATRACE_DISPLAY_AVX2)
// __builtin_cpu_supports also checks that the OS saves the wider registers.
bool HasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}
#endif

const MathRangeKernel kKernels[] = {
#if defined(LUMATRACE_DISPLAY_AVX2)
    {"avx2", &HasAvx2, &avx2::MathRangeAvx2},
#endif
    {"plain", &RunsEverywhere, &NoVectors},
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
    static const MathRangeKernel& best = []() -> const MathRangeKernel& {
        for (const MathRangeKernel& k : kKernels) {
            if (k.supported())
                return k;
        }
        return kKernels[kKernelCount - 1];
    }();
    return best;
}

bool MathYTable::Update(const MathMapping& map) {
    if (built_ && mapping_.SameAs(map))
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
    return true;
}

void MathYTable::ColumnRange(const SampleWord* words, int from, int to, int& top,
                             int& bottom) const {
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

}  // namespace lumatrace
