#include "app/display/WaveBuffers.h"

#include <cstring>

namespace lumatrace {

SampleBuffer FetchBuffer{};
SampleBuffer EquBuffer{};
SampleBuffer WaveBuffer{};
SampleBuffer RollScratch{};
SampleBuffer FftInputSnapshot{};
XyPlotFlags XyPlotMap{};
std::mutex WaveBufferMutex;

void ClearRecord(SampleBuffer& buffer) {
    std::memset(buffer.data(), 0xFF, sizeof(SampleWord) * buffer.size());
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
