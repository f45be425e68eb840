#include "app/display/WaveBuffers.h"

#include <algorithm>
#include <cstring>

namespace lumatrace {

SampleBuffer FetchBuffer{};
SampleBuffer EquBuffer{};
SampleBuffer WaveBuffer{};
SampleBuffer RollScratch{};
SampleBuffer FftInputSnapshot{};
XyPlotFlags XyPlotMap{};
std::mutex WaveBufferMutex;

namespace {

// Words compared (and, where they differ, written) in one go: small enough that the
// comparison's block stays in the nearest cache, large enough for the library's compare.
constexpr std::size_t kClearChunk = 1024;

void ClearBetween(SampleBuffer& buffer, std::size_t first, std::size_t end) {
    static const std::array<SampleWord, kClearChunk> kEmpty = [] {
        std::array<SampleWord, kClearChunk> a;
        a.fill(NoSample);
        return a;
    }();
    end = std::min(end, buffer.size());
    for (std::size_t i = first; i < end; i += kClearChunk) {
        const std::size_t bytes = sizeof(SampleWord) * std::min(kClearChunk, end - i);
        if (std::memcmp(buffer.data() + i, kEmpty.data(), bytes) != 0) {
            std::memset(buffer.data() + i, 0xFF, bytes);
        }
    }
}

}  // namespace

void ClearRecord(SampleBuffer& buffer) {
    ClearBetween(buffer, 0, buffer.size());
}

void ClearRecordBelow(SampleBuffer& buffer, std::size_t extent) {
    ClearBetween(buffer, 0, extent);
}

void TakeFetchedRecord(const SampleBuffer& from, std::size_t words, SampleBuffer& to,
                       std::size_t toExtent) {
    words = std::min(words, to.size());
    if (&from != &to) {
        std::memcpy(to.data(), from.data(), sizeof(SampleWord) * words);
    }
    ClearBetween(to, words, toExtent);
}

void TakeRecord(const SampleBuffer& from, SampleBuffer& to) {
    if (&from == &to)
        return;
    std::memcpy(to.data(), from.data(), sizeof(SampleWord) * to.size());
}

void SnapshotForSpectrum(const SampleBuffer& wave, SampleBuffer& snapshot) {
    std::lock_guard<std::mutex> lock(WaveBufferMutex);
    TakeRecord(wave, snapshot);
}

void ApplyGroundCoupling(std::span<SampleWord> words, const GroundCoupling& coupling) {
    const bool gnd1 = coupling.displayCoupling[0] == kCouplingGnd;
    const bool gnd2 = coupling.displayCoupling[1] == kCouplingGnd;
    if (!gnd1 && !gnd2)
        return;
    SampleWord keep = 0xFFFFFFFFu;
    SampleWord set = 0;
    if (gnd1) {
        keep &= 0xFFFF0000u;
        set |= static_cast<SampleWord>(RoundedZeroCode(coupling.tracePosition[0]));
    }
    if (gnd2) {
        keep &= 0x0000FFFFu;
        set |= static_cast<SampleWord>(RoundedZeroCode(coupling.tracePosition[1])) << 16;
    }
    for (SampleWord& w : words)
        w = (w & keep) | set;
}

}  // namespace lumatrace
