#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "app/display/AverageKernels.h"
#include "app/display/SampleWord.h"
#include "app/platform/MessageBox.h"

namespace lumatrace {

// What the averaging history needs from the main window.
class AverageHost {
  public:
    virtual ~AverageHost() = default;
    // Physical memory available to a new allocation; nullopt when the system does not say.
    virtual std::optional<std::uint64_t> AvailablePhysicalMemory() = 0;
    // Stops acquisition as the Stop action does.
    virtual void StopAcquisition() = 0;
    virtual MessageBoxService& Messages() = 0;
    // The hourglass cursor over the window while a large history is allocated or released.
    virtual void SetWaitCursor(bool on) = 0;
    // Polled between blocks of an averaging step: false once sampling has stopped or the
    // waveform mode has left Average, which ends the step early.
    virtual bool KeepAveraging() = 0;
};

// The run state that decides whether a history is needed, filled by the caller from the
// settings mirrors.
struct AverageConditions {
    bool running = false;
    int waveformMode = 0;  // kWaveformSample, kWaveformAverage, kWaveformEnvelope
    bool equivalentActive = false;
    bool equivalentAsRealTime = false;
    bool rollActive = false;
    int memoryPoints = 10000;
    int acquireCount = 2;  // N
};

// Moving (boxcar) average over the last N records, point by point and per channel.
//
// The history keeps, per slot of the ring, the packed codes of every point (both channels
// in one word, slot after slot), and per point the running sums of both channels. One step
// therefore touches the record, one ring row and the sums once, whatever N is; the mean is
// the same integer as summing the N ring entries of the point (unfilled entries count as 0)
// and truncating the division. The sums are as narrow as N allows: none for N = 2 (the other
// row is read instead), both in one 32-bit word up to N = 64, two 32-bit lanes beyond. Up to
// N = 128 the builds with a split loop (AVX2 and wider) take AverageKernels.h's split layout
// instead: that word and a plane of the sums' 17th bits, and 20 bits a point in the ring.
class AverageHistory {
  public:
    // Bytes of physical memory the history is checked against: two 32-bit entries per point
    // and slot.
    static std::uint64_t RequiredBytes(int memoryPoints, int n);
    // Records with this length and N are allocated under the hourglass cursor.
    static bool NeedsWaitCursor(int memoryPoints, int n);
    // Points averaged between two polls of AverageHost::KeepAveraging.
    static constexpr int kPollBlock = 65536;

    explicit AverageHistory(AverageHost& host);
    ~AverageHistory();
    AverageHistory(const AverageHistory&) = delete;
    AverageHistory& operator=(const AverageHistory&) = delete;

    // Prepares the history when N is chosen, when sampling is (re)started with a new mode
    // record and when an equivalent-time run flips between real-time and equivalent-time
    // records. `averageResize` is the request to reallocate; it is cleared once the history
    // has been prepared. On failure (not enough memory) acquisition has been stopped, the
    // message shown and the history left empty; the result is then false.
    bool PrepareAverage(const AverageConditions& c, bool& averageResize);

    // One averaging step over record[0 .. memoryPoints): each point that holds a sample is
    // replaced by the mean of its last N codes. Does nothing while the history is empty.
    void AverageStep(SampleWord* record, int memoryPoints);

    // The build of the inner loops the steps use: the widest this machine runs unless set.
    // Tests set each build in turn to check it against the plain loop. The build at the time
    // the history is allocated chooses its layout; any build then steps it.
    void SetKernel(const AverageKernel& kernel) { kernel_ = &kernel; }
    const AverageKernel& Kernel() const { return *kernel_; }

    // The Stop action's release of a history that holds data, under the hourglass cursor.
    void Shrink();

    bool HasData() const { return ring_ != nullptr; }
    int Points() const { return points_; }
    int Depth() const { return depth_; }
    int averageSlot = 1;       // ring position 1..N of the next record
    bool averageFull = false;  // the ring has been filled once

  private:
    struct FreeDeleter {
        void operator()(void* p) const;
    };
    bool Allocate(int points, int n);
    void Release();
    void Zero();
    void ReportNoMemory();
    // Bytes of the running sums of a ring N deep, and of one of its rows.
    static std::size_t SumBytes(int points, int n, bool split);
    static std::size_t RowBytes(int points, bool split);
    // Whether a new history N deep takes the split layout with this build of the loops.
    static bool SplitLayout(int n, const AverageKernel& kernel);

    AverageHost& host_;
    const AverageKernel* kernel_ = &BestAverageKernel();
    int points_ = 0;
    int depth_ = 0;
    bool split_ = false;  // the split layout (chosen when the history is allocated)
    std::unique_ptr<std::uint8_t[], FreeDeleter> ring_;  // depth_ rows of RowBytes
    std::unique_ptr<void, FreeDeleter> sums_;            // CH1 sum low, CH2 sum high
};

}  // namespace lumatrace
