#include "app/display/AverageHistory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/display/AverageKernels.h"
#include "app/platform/UiText.h"
#include "app/settings/InstrumentTypes.h"

namespace lumatrace {

namespace {

constexpr int kMaxPoints = 1000000;
constexpr int kMaxDepth = 512;
// Up to this N the mean is summed straight from the ring: reading the one other row costs less
// than reading and writing running sums.
constexpr int kDirectDepth = 2;
// Up to this N a running sum of 10-bit codes stays below 2^16 (64 x 1023 = 65472), so both
// sums of a point share one 32-bit word, laid out like a sample word.
constexpr int kPackedSumDepth = 64;
// Up to this N a sum stays below 2^17 (128 x 1023 = 130944): the split layout, whose ring
// keeps 20 bits a point and whose sums keep one bit above 16 bits each.
constexpr int kSplitDepth = 128;
// Rows of the split layout start on this boundary, so that the vector loops meet whole lines.
constexpr std::size_t kRowAlign = 64;

// The two codes of a packed pair as two 32-bit lanes of one 64-bit word, so that both running
// sums move with one addition. A lane never borrows: a sum always includes the entry leaving it.
inline std::uint64_t Lanes(std::uint32_t codes) {
    return (codes & 0xFFFFu) | (std::uint64_t{codes >> 16} << 32);
}

// Both means of a pair of sums: the packed sample word of the averaged point.
inline SampleWord MeanWord(std::uint64_t sum1, std::uint64_t sum2, std::uint64_t magic) {
    const std::uint64_t m1 = (sum1 * magic) >> kDivShift;
    const std::uint64_t m2 = (sum2 * magic) >> kDivShift;
    return static_cast<SampleWord>(((m2 & kCodeMask) << 16) | (m1 & kCodeMask));
}

// The plain step over points i .. end-1, which also finishes every block a kernel leaves.
// `mean(i, codes)` moves the point's sums from its ring entry (still in the row) to its new
// codes and returns the averaged word. A missing sample keeps its ring entry and its word.
template <typename Mean>
void PlainSteps(const AverageRows& r, int i, int end, Mean mean) {
    for (; i < end; ++i) {
        const SampleWord w = r.record[i];
        if (w == NoSample)
            continue;
        const std::uint32_t codes = w & kCodePairMask;
        const SampleWord averaged = mean(i, codes);
        if (r.row)
            r.row[i] = codes;  // the split layout's mean has written its row itself
        r.record[i] = averaged;
    }
}

void DirectTail(const AverageRows& r, int i, int end, std::uint64_t magic) {
    PlainSteps(r, i, end, [&](int k, std::uint32_t codes) {
        const std::uint32_t s = r.other ? codes + r.other[k] : codes;
        return MeanWord(s & 0xFFFFu, s >> 16, magic);
    });
}

void PackedTail(const AverageRows& r, int i, int end, std::uint64_t magic) {
    auto* sums = static_cast<std::uint32_t*>(r.sums);
    PlainSteps(r, i, end, [&](int k, std::uint32_t codes) {
        // Each half stays below 2^16 and never borrows from the other: it includes the entry
        // that leaves it.
        const std::uint32_t s = sums[k] + codes - r.row[k];
        sums[k] = s;
        return MeanWord(s & 0xFFFFu, s >> 16, magic);
    });
}

void SplitTail(const AverageRows& r, int i, int end, std::uint64_t magic) {
    auto* sums = static_cast<std::uint32_t*>(r.sums);
    PlainSteps(r, i, end, [&](int k, std::uint32_t codes) {
        const auto at = static_cast<std::size_t>(k);
        std::uint8_t& high = r.rowHigh[at / 2];
        const int highShift = 4 * static_cast<int>(at % 2);
        const std::uint32_t old = SplitCodes(r.rowLow[at], high >> highShift);
        std::uint8_t& carry = r.carries[at / 4];
        const int carryShift = 2 * static_cast<int>(at % 4);
        const std::uint32_t c = carry >> carryShift;
        const std::uint32_t s1 =
            (sums[at] & 0xFFFFu) + ((c & 1u) << 16) + (codes & 0xFFFFu) - (old & 0xFFFFu);
        const std::uint32_t s2 = (sums[at] >> 16) + ((c & 2u) << 15) + (codes >> 16) - (old >> 16);
        sums[at] = (s1 & 0xFFFFu) | (s2 << 16);
        carry = static_cast<std::uint8_t>((carry & ~(3u << carryShift)) |
                                          ((((s1 >> 16) & 1u) | ((s2 >> 15) & 2u)) << carryShift));
        // The plain loop writes the row's entry after this: its split halves are written here.
        r.rowLow[at] = static_cast<std::uint16_t>(SplitLow(codes));
        high = static_cast<std::uint8_t>((high & ~(0xFu << highShift)) |
                                         (SplitHigh(codes) << highShift));
        return MeanWord(s1, s2, magic);
    });
}

void WideTail(const AverageRows& r, int i, int end, std::uint64_t magic) {
    auto* sums = static_cast<std::uint64_t*>(r.sums);
    PlainSteps(r, i, end, [&](int k, std::uint32_t codes) {
        const std::uint64_t s = sums[k] + Lanes(codes) - Lanes(r.row[k]);
        sums[k] = s;
        return MeanWord(s & 0xFFFFFFFFu, s >> 32, magic);
    });
}

}  // namespace

void AverageHistory::FreeDeleter::operator()(void* p) const {
    std::free(p);
}

std::uint64_t AverageHistory::RequiredBytes(int memoryPoints, int n) {
    return static_cast<std::uint64_t>(std::max(memoryPoints, 0)) *
           static_cast<std::uint64_t>(std::max(n, 0)) * 8u;
}

bool AverageHistory::NeedsWaitCursor(int memoryPoints, int n) {
    return (memoryPoints == 100000 && n == 512) || (memoryPoints == 1000000 && n >= 64);
}

AverageHistory::AverageHistory(AverageHost& host) : host_(host) {}

AverageHistory::~AverageHistory() = default;

bool AverageHistory::SplitLayout(int n, const AverageKernel& kernel) {
    return n > kPackedSumDepth && n <= kSplitDepth && kernel.split != nullptr;
}

std::size_t AverageHistory::RowBytes(int points, bool split) {
    const auto p = static_cast<std::size_t>(points);
    if (!split)
        return p * sizeof(std::uint32_t);
    const std::size_t bytes = p * sizeof(std::uint16_t) + (p + 1) / 2;
    return (bytes + kRowAlign - 1) / kRowAlign * kRowAlign;
}

void AverageHistory::Release() {
    ring_.reset();
    sums_.reset();
    points_ = 0;
    depth_ = 0;
    split_ = false;
}

std::size_t AverageHistory::SumBytes(int points, int n, bool split) {
    const auto p = static_cast<std::size_t>(points);
    if (n <= kDirectDepth)
        return 0;
    if (n <= kPackedSumDepth)
        return p * sizeof(std::uint32_t);
    if (split)
        return p * sizeof(std::uint32_t) + (p + 3) / 4;
    return p * sizeof(std::uint64_t);
}

void AverageHistory::Zero() {
    if (!HasData())
        return;
    std::memset(ring_.get(), 0, RowBytes(points_, split_) * static_cast<std::size_t>(depth_));
    if (sums_)
        std::memset(sums_.get(), 0, SumBytes(points_, depth_, split_));
}

bool AverageHistory::Allocate(int points, int n) {
    Release();
    const bool wait = NeedsWaitCursor(points, n);
    if (wait)
        host_.SetWaitCursor(true);
    // calloc: the zero pages of a large history cost nothing until the ring reaches them.
    const bool split = SplitLayout(n, *kernel_);
    ring_.reset(static_cast<std::uint8_t*>(
        std::calloc(static_cast<std::size_t>(n), RowBytes(points, split))));
    const std::size_t sumBytes = SumBytes(points, n, split);
    if (sumBytes > 0)
        sums_.reset(std::calloc(1, sumBytes));
    if (wait)
        host_.SetWaitCursor(false);
    if (!ring_ || (sumBytes > 0 && !sums_)) {
        Release();
        return false;
    }
    points_ = points;
    depth_ = n;
    split_ = split;
    return true;
}

void AverageHistory::ReportNoMemory() {
    host_.StopAcquisition();
    host_.Messages().Show(
        MessageIcon::Error, "Lumatrace",
        UiText("Messages", "[ アベレージ演算エラー ]\r\n波形取り込み回数を変更してください。"));
}

bool AverageHistory::PrepareAverage(const AverageConditions& c, bool& averageResize) {
    if (HasData()) {
        if (averageResize)
            Release();
        else
            Zero();
    }
    if (!c.running || c.waveformMode != kWaveformAverage ||
        (c.equivalentActive && !c.equivalentAsRealTime) || c.rollActive)
        return true;
    averageSlot = 1;
    averageFull = false;

    const int n = c.acquireCount;
    const int points = c.memoryPoints;
    if (n < 1 || n > kMaxDepth || points < 1 || points > kMaxPoints) {
        // No history can be sized from these ("∞" or a value no list offers): averaging is
        // left off rather than sized from garbage.
        Release();
        averageResize = false;
        return true;
    }

    const std::optional<std::uint64_t> available = host_.AvailablePhysicalMemory();
    if (available && RequiredBytes(points, n) >= *available) {
        Release();
        ReportNoMemory();
        return false;
    }

    // A history of other dimensions than the record's cannot be used, requested or not.
    if (averageResize || !HasData() || points_ != points || depth_ != n) {
        if (!Allocate(points, n)) {
            ReportNoMemory();
            return false;
        }
    }
    averageResize = false;
    return true;
}

void AverageHistory::AverageStep(SampleWord* record, int memoryPoints) {
    if (!HasData() || record == nullptr)
        return;
    if (averageSlot < 1 || averageSlot > depth_) {
        averageSlot = 1;
        averageFull = false;
    }
    const std::size_t rowBytes = RowBytes(points_, split_);
    std::uint8_t* row = ring_.get() + static_cast<std::size_t>(averageSlot - 1) * rowBytes;
    AverageRows rows;
    rows.record = record;
    rows.sums = sums_.get();
    if (split_) {
        rows.rowLow = reinterpret_cast<std::uint16_t*>(row);
        rows.rowHigh = row + static_cast<std::size_t>(points_) * sizeof(std::uint16_t);
        rows.carries = static_cast<std::uint8_t*>(sums_.get()) +
                       static_cast<std::size_t>(points_) * sizeof(std::uint32_t);
    } else {
        rows.row = reinterpret_cast<std::uint32_t*>(row);
        if (depth_ == 2) {
            rows.other = reinterpret_cast<const std::uint32_t*>(
                ring_.get() + static_cast<std::size_t>(2 - averageSlot) * rowBytes);
        }
    }
    rows.divisor = averageFull ? depth_ : averageSlot;
    const std::uint64_t magic = DivMagic(rows.divisor);
    const int count = std::clamp(memoryPoints, 0, points_);

    for (int begin = 0; begin < count; begin += kPollBlock) {
        if (begin > 0 && !host_.KeepAveraging())
            break;
        const int end = std::min(count, begin + kPollBlock);
        int i = begin;
        if (depth_ <= kDirectDepth) {
            i = kernel_->direct(rows, i, end);
            DirectTail(rows, i, end, magic);
        } else if (depth_ <= kPackedSumDepth) {
            i = kernel_->packed(rows, i, end);
            PackedTail(rows, i, end, magic);
        } else if (split_) {
            if (kernel_->split)
                i = kernel_->split(rows, i, end);
            SplitTail(rows, i, end, magic);
        } else {
            i = kernel_->wide(rows, i, end);
            WideTail(rows, i, end, magic);
        }
    }

    if (++averageSlot > depth_) {
        averageSlot = 1;
        averageFull = true;
    }
}

void AverageHistory::Shrink() {
    if (!HasData())
        return;
    host_.SetWaitCursor(true);
    Release();
    host_.SetWaitCursor(false);
}

}  // namespace lumatrace
