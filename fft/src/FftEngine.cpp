#include "fft/src/FftEngine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <malloc.h>
#else
#include <sys/mman.h>
#endif

namespace lumatrace::fft {

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr std::size_t kAlign = 64;
#if !defined(_WIN32)
constexpr std::size_t kHugePage = std::size_t{2} << 20;
#endif

// e^(-2 pi i t / len), with the argument reduced in integers to the first octant so that every
// table entry is as accurate as cos and sin allow.
void unitRoot(std::int64_t t, std::int64_t len, double& re, double& im) {
    t %= len;
    if (len % 4 != 0) {  // len 1 or 2
        re = (t == 0) ? 1.0 : -1.0;
        im = 0.0;
        return;
    }
    const std::int64_t quarter = len / 4;
    const std::int64_t q = t / quarter;
    const std::int64_t r = t % quarter;
    double c = 0.0;
    double s = 0.0;
    if (2 * r <= quarter) {
        const double angle = kTwoPi * static_cast<double>(r) / static_cast<double>(len);
        c = std::cos(angle);
        s = std::sin(angle);
    } else {
        const double angle = kTwoPi * static_cast<double>(quarter - r) / static_cast<double>(len);
        c = std::sin(angle);
        s = std::cos(angle);
    }
    switch (q) {
        case 0:
            re = c;
            im = -s;
            break;
        case 1:
            re = -s;
            im = -c;
            break;
        case 2:
            re = -c;
            im = s;
            break;
        default:
            re = s;
            im = c;
            break;
    }
}

int32_t log2Of(int32_t powerOfTwo) {
    int32_t bits = 0;
    while ((int32_t{1} << bits) < powerOfTwo) {
        ++bits;
    }
    return bits;
}

bool validShape(int32_t n, int32_t stages, int32_t half) {
    if (n < 2 || n > (int32_t{1} << 30) || (n & (n - 1)) != 0) {
        return false;
    }
    return stages == log2Of(n) && half == n / 2;
}

void fillBitrev(int32_t* out, int32_t length) {
    const int32_t bits = log2Of(length);
    for (int32_t i = 0; i < length; ++i) {
        int32_t r = 0;
        for (int32_t b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1) << (bits - 1 - b);
        }
        out[i] = r;
    }
}

// Doubles in the radix-4 pass twiddle table of a length-len transform (see FftPlan).
std::size_t passTwiddleCount(int32_t len) {
    std::size_t count = 0;
    for (int32_t lb = len; lb >= 8; lb /= 4) {
        count += 6 * static_cast<std::size_t>(lb / 4);
    }
    return count;
}

void fillPassTwiddles(double* out, int32_t len) {
    for (int32_t lb = len; lb >= 8; lb /= 4) {
        for (int32_t j = 0; j < lb / 4; ++j) {
            unitRoot(j, lb, out[0], out[1]);
            unitRoot(2 * j, lb, out[2], out[3]);
            unitRoot(3 * j, lb, out[4], out[5]);
            out += 6;
        }
    }
}

// Hands out 64-byte aligned pieces of one block. A first run over a null base only adds up the
// size; a second run over the allocated block hands out the pieces.
class Carver {
  public:
    explicit Carver(unsigned char* base) : base_(base) {}
    template <typename T>
    T* take(std::size_t count) {
        const std::size_t at = used_;
        used_ += (count * sizeof(T) + kAlign - 1) / kAlign * kAlign;
        return base_ == nullptr ? nullptr : reinterpret_cast<T*>(base_ + at);
    }
    std::size_t used() const { return used_; }

  private:
    unsigned char* base_;
    std::size_t used_ = 0;
};

struct FourStepTables {
    double* colTwiddles;
    double* rowTwiddles;
    int32_t* colBitrev;
    int32_t* rowBitrev;
    double* laneTwRe;
    double* laneTwIm;
    double* blockTwRe;
    double* blockTwIm;
    double* splitRowRe;
    double* splitRowIm;
    double* splitColRe;
    double* splitColIm;
};

FourStepTables carveFourStep(Carver& c, int32_t m1, int32_t m2) {
    const std::size_t s1 = static_cast<std::size_t>(m1);
    const std::size_t s2 = static_cast<std::size_t>(m2);
    FourStepTables t{};
    t.colTwiddles = c.take<double>(passTwiddleCount(m2));
    t.rowTwiddles = c.take<double>(passTwiddleCount(m1));
    t.colBitrev = c.take<int32_t>(s2);
    t.rowBitrev = c.take<int32_t>(s1);
    t.laneTwRe = c.take<double>(s2 * kMaxLanes);
    t.laneTwIm = c.take<double>(s2 * kMaxLanes);
    t.blockTwRe = c.take<double>(s1 / kMaxLanes * s2);
    t.blockTwIm = c.take<double>(s1 / kMaxLanes * s2);
    t.splitRowRe = c.take<double>(s2 + 1);
    t.splitRowIm = c.take<double>(s2 + 1);
    t.splitColRe = c.take<double>(s1);
    t.splitColIm = c.take<double>(s1);
    return t;
}

struct SmallTables {
    double* twRe;
    double* twIm;
    double* splitRe;
    double* splitIm;
    int32_t* bitrev;
};

SmallTables carveSmall(Carver& c, int32_t m) {
    const std::size_t sm = static_cast<std::size_t>(m);
    SmallTables t{};
    t.twRe = c.take<double>(sm / 2 + 1);
    t.twIm = c.take<double>(sm / 2 + 1);
    t.splitRe = c.take<double>(sm);
    t.splitIm = c.take<double>(sm);
    t.bitrev = c.take<int32_t>(sm);
    return t;
}

}  // namespace

void* systemAllocate(std::size_t bytes, void* /*context*/) noexcept {
#if defined(_WIN32)
    return _aligned_malloc(bytes, kAlign);
#else
    // The transforms stride through their large tables and work buffers a row (often 4 KB) at
    // a time; on huge pages that costs no TLB misses. Only a hint: without it the memory is
    // simply made of small pages.
    const bool large = bytes >= kHugePage;
    void* block = nullptr;
    if (posix_memalign(&block, large ? kHugePage : kAlign, bytes) != 0) {
        return nullptr;
    }
    if (large) {
        madvise(block, bytes, MADV_HUGEPAGE);
    }
    return block;
#endif
}

void systemRelease(void* block, void* /*context*/) noexcept {
#if defined(_WIN32)
    _aligned_free(block);
#else
    std::free(block);
#endif
}

double windowWeight(int32_t window, int32_t i, int32_t n) noexcept {
    const double c = static_cast<double>(i) / static_cast<double>(n - 1);
    switch (window) {
        case 1:
            return 0.54 - 0.46 * std::cos(6.283185307179586 * c);
        case 2:
            return 0.5 - 0.5 * std::cos(6.283185307179586 * c);
        case 3:
            return 0.35875 - 0.48829 * std::cos(6.283185307179586 * c) +
                   0.14128 * std::cos(12.566370614359172 * c) -
                   0.01168 * std::cos(18.84955592153876 * c);
        default:
            return 1.0;
    }
}

FftEngine::~FftEngine() {
    release();
}

void* FftEngine::allocate(std::uint64_t bytes) noexcept {
    if (bytes > SIZE_MAX) {
        return nullptr;
    }
    return allocator_.allocate(static_cast<std::size_t>(bytes), allocator_.context);
}

void FftEngine::release() noexcept {
    void** blocks[] = {&tables_, &work_, &scratch_};
    for (void** block : blocks) {
        if (*block != nullptr) {
            allocator_.release(*block, allocator_.context);
            *block = nullptr;
        }
    }
    for (int w = 0; w < kWindowKinds; ++w) {
        if (windows_[w] != nullptr) {
            allocator_.release(windows_[w], allocator_.context);
            windows_[w] = nullptr;
        }
        windowFilled_[w] = false;
    }
    plan_ = FftPlan{};
    ready_ = false;
}

void FftEngine::reset() noexcept {
    release();
    fftLength_ = 0;
    fftStages_ = 0;
    fftHalf_ = 0;
}

bool FftEngine::init(int32_t n, int32_t stages, int32_t half) noexcept {
    fftLength_ = n;
    fftStages_ = stages;
    fftHalf_ = half;
    release();
    // Anything else would make the tables and the output range disagree with the buffers the
    // caller sized from n; refuse it rather than read or write past them.
    if (!validShape(n, stages, half)) {
        return false;
    }

    const int32_t m = n / 2;
    plan_.n = n;
    plan_.m = m;
    plan_.dcScale = 1.0 / static_cast<double>(n);
    plan_.binScale = 0.5 / static_cast<double>(half);
    plan_.fourStep = m >= kMinFourStepPoints;

    if (!(plan_.fourStep ? buildFourStep() : buildSmall())) {
        release();
        return false;
    }
    for (double*& table : windows_) {
        table = static_cast<double*>(allocate(static_cast<std::uint64_t>(n) * sizeof(double)));
        if (table == nullptr) {
            release();
            return false;
        }
    }
    kernel_ = &bestKernel();
    ready_ = true;
    return true;
}

bool FftEngine::buildFourStep() noexcept {
    const int32_t m = plan_.m;
    const int32_t bits = log2Of(m);
    const int32_t m2 = int32_t{1} << ((bits + 1) / 2);
    const int32_t m1 = m / m2;
    plan_.m1 = m1;
    plan_.m2 = m2;
    plan_.workStride = m1 + kMaxLanes;

    const std::uint64_t workDoubles =
        static_cast<std::uint64_t>(m2) * static_cast<std::uint64_t>(plan_.workStride);
    work_ = allocate(2 * workDoubles * sizeof(double));
    if (work_ == nullptr) {
        return false;
    }
    plan_.workRe = static_cast<double*>(work_);
    plan_.workIm = plan_.workRe + workDoubles;

    const std::uint64_t scratchDoubles =
        std::max(static_cast<std::uint64_t>(m2) * kMaxLanes,
                 static_cast<std::uint64_t>(2 * kGroupRows) * static_cast<std::uint64_t>(m1));
    scratch_ = allocate(2 * scratchDoubles * sizeof(double));
    if (scratch_ == nullptr) {
        return false;
    }
    plan_.scratchRe = static_cast<double*>(scratch_);
    plan_.scratchIm = plan_.scratchRe + scratchDoubles;

    Carver measure(nullptr);
    carveFourStep(measure, m1, m2);
    tables_ = allocate(measure.used());
    if (tables_ == nullptr) {
        return false;
    }
    Carver carver(static_cast<unsigned char*>(tables_));
    const FourStepTables t = carveFourStep(carver, m1, m2);

    fillPassTwiddles(t.colTwiddles, m2);
    fillPassTwiddles(t.rowTwiddles, m1);
    fillBitrev(t.colBitrev, m2);
    fillBitrev(t.rowBitrev, m1);
    for (int32_t k2 = 0; k2 < m2; ++k2) {
        for (int32_t j = 0; j < kMaxLanes; ++j) {
            const std::size_t at =
                static_cast<std::size_t>(k2) * kMaxLanes + static_cast<std::size_t>(j);
            unitRoot(static_cast<std::int64_t>(j) * k2, m, t.laneTwRe[at], t.laneTwIm[at]);
        }
    }
    for (int32_t g = 0; g < m1 / kMaxLanes; ++g) {
        for (int32_t k2 = 0; k2 < m2; ++k2) {
            const std::size_t at = static_cast<std::size_t>(g) * static_cast<std::size_t>(m2) +
                                   static_cast<std::size_t>(k2);
            unitRoot(static_cast<std::int64_t>(kMaxLanes) * g * k2, m, t.blockTwRe[at],
                     t.blockTwIm[at]);
        }
    }
    for (int32_t k2 = 0; k2 <= m2; ++k2) {
        double re = 0.0;
        double im = 0.0;
        unitRoot(k2, plan_.n, re, im);
        t.splitRowRe[k2] = re * plan_.binScale;
        t.splitRowIm[k2] = im * plan_.binScale;
    }
    for (int32_t k1 = 0; k1 < m1; ++k1) {
        unitRoot(static_cast<std::int64_t>(m2) * k1, plan_.n, t.splitColRe[k1], t.splitColIm[k1]);
    }

    plan_.colTwiddles = t.colTwiddles;
    plan_.rowTwiddles = t.rowTwiddles;
    plan_.colBitrev = t.colBitrev;
    plan_.rowBitrev = t.rowBitrev;
    plan_.laneTwRe = t.laneTwRe;
    plan_.laneTwIm = t.laneTwIm;
    plan_.blockTwRe = t.blockTwRe;
    plan_.blockTwIm = t.blockTwIm;
    plan_.splitRowRe = t.splitRowRe;
    plan_.splitRowIm = t.splitRowIm;
    plan_.splitColRe = t.splitColRe;
    plan_.splitColIm = t.splitColIm;
    return true;
}

bool FftEngine::buildSmall() noexcept {
    const int32_t m = plan_.m;
    work_ = allocate(2 * static_cast<std::uint64_t>(m) * sizeof(double));
    if (work_ == nullptr) {
        return false;
    }
    plan_.workRe = static_cast<double*>(work_);
    plan_.workIm = plan_.workRe + m;

    Carver measure(nullptr);
    carveSmall(measure, m);
    tables_ = allocate(measure.used());
    if (tables_ == nullptr) {
        return false;
    }
    Carver carver(static_cast<unsigned char*>(tables_));
    const SmallTables t = carveSmall(carver, m);
    for (int32_t j = 0; j < m / 2; ++j) {
        unitRoot(j, m, t.twRe[j], t.twIm[j]);
    }
    for (int32_t k = 0; k < m; ++k) {
        unitRoot(k, plan_.n, t.splitRe[k], t.splitIm[k]);
    }
    fillBitrev(t.bitrev, m);
    plan_.smallTwRe = t.twRe;
    plan_.smallTwIm = t.twIm;
    plan_.smallSplitRe = t.splitRe;
    plan_.smallSplitIm = t.splitIm;
    plan_.smallBitrev = t.bitrev;
    return true;
}

const double* FftEngine::windowTable(int32_t window) noexcept {
    double* table = windows_[window - 1];
    if (!windowFilled_[window - 1]) {
        // Even samples first, then odd ones. Complex point j = n2 m1 + col sits where the kernels
        // read it: in record order for the short transforms, column group by column group for the
        // four-step ones.
        const int32_t n = plan_.n;
        const int32_t m = plan_.m;
        for (int32_t i = 0; i < n; ++i) {
            const int32_t j = i / 2;
            int32_t at = j;
            if (plan_.fourStep) {
                const int32_t n2 = j / plan_.m1, col = j % plan_.m1;
                at = ((col / kMaxLanes) * plan_.m2 + n2) * kMaxLanes + col % kMaxLanes;
            }
            table[(i % 2) * m + at] = windowWeight(window, i, n);
        }
        windowFilled_[window - 1] = true;
    }
    return table;
}

bool FftEngine::calc(const FftParams* params, const uint32_t* samples, double* outReal,
                     double* outImag) noexcept {
    if (kernel_ == nullptr) {
        return false;
    }
    return calc(*kernel_, params, samples, outReal, outImag);
}

bool FftEngine::calc(const FftKernel& kernel, const FftParams* params, const uint32_t* samples,
                     double* outReal, double* outImag) noexcept {
    if (params == nullptr || samples == nullptr || outReal == nullptr || outImag == nullptr ||
        !ready_) {
        return false;
    }
    FftParams p;
    std::memcpy(&p, params, sizeof p);
    const int32_t window = (p.window >= 1 && p.window <= kWindowKinds) ? p.window : 0;

    FftJob job{};
    job.plan = &plan_;
    job.samples = samples;
    job.outRe = outReal;
    job.outIm = outImag;
    if (window != 0) {
        job.windowEven = windowTable(window);
        job.windowOdd = job.windowEven + plan_.m;
    }
    // Only the low five bits count, as with the processor's own 32-bit shifts.
    job.shift = p.shift & 31;
    job.rangeMv = p.rangeMv;
    job.offsetCodes = p.offsetCodes;

    if (plan_.fourStep) {
        kernel.transform(job);
    } else {
        smallTransform(job);
    }
    return true;
}

}  // namespace lumatrace::fft
