// The virtual ZEP-9100: command decoding, acquisition state, acquisition
// memory and the instrument's own thread, behind the bulk endpoints of
// BulkFunction. As on the real instrument, a record's samples are in the
// acquisition memory by the time the status shows them: the instrument's
// thread computes them from the signal model as they fall due, so reading
// out a record is a copy. Samples that are only looked at as they come
// (roll mode, the pre-trigger samples before the trigger) are computed
// when they are read out.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "device/firmware/Acquisition.h"
#include "device/firmware/BulkFunction.h"
#include "device/firmware/FrontEnd.h"
#include "device/firmware/InstrumentClock.h"
#include "device/firmware/SampleRenderer.h"
#include "device/firmware/VirtualConfig.h"

namespace lumatrace::device {

class VirtualInstrument final : public BulkFunction {
  public:
    // `index` is the instrument's place on the bus (serial number, seeds).
    // Without a clock, the configuration chooses one.
    VirtualInstrument(const VirtualConfig& config, unsigned index,
                      std::unique_ptr<InstrumentClock> clock = nullptr);
    ~VirtualInstrument() override;
    VirtualInstrument(const VirtualInstrument&) = delete;
    VirtualInstrument& operator=(const VirtualInstrument&) = delete;

    BulkStatus bulkOut(const uint8_t* data, std::size_t length) override;
    BulkStatus bulkIn(uint8_t* buffer, std::size_t capacity, std::size_t& transferred) override;
    void setDoorbell(std::function<void()> doorbell) override;
    bool attached() const override;

    // Pulls the plug now (as the configured unplug time does).
    void unplug();

  private:
    enum class Run { Idle, Record, Roll };
    struct Outgoing;
    class DataStream;
    // Acquisition memory: words are written before they are read, so it
    // is not cleared (the pages are touched by the thread that fills them).
    using Memory = std::shared_ptr<uint32_t[]>;

    // A stretch of the record for the instrument's thread to compute.
    struct RenderJob {
        Memory memory;
        std::vector<Epoch> epochs;
        Picoseconds first = 0;
        Picoseconds dt = 1;
        uint32_t from = 0, to = 0;
        uint64_t generation = 0;
    };

    void threadMain();
    bool advanceTo(Picoseconds now);  // true when something was queued for IN
    Picoseconds nextDeadline() const;
    void detachLocked();
    void ring();

    // Record samples that have to be in memory at view time t: those taken
    // by then, and those the status counts as held.
    uint32_t renderTargetAt(Picoseconds t) const;
    // Record samples a command needs in memory before it is answered.
    uint32_t neededFor(uint16_t opcode, Picoseconds t) const;
    std::optional<RenderJob> nextRenderJob(Picoseconds now) const;
    void commitRender(const RenderJob& job);
    // Samples at or after `since` are computed again (new front-end epoch).
    void invalidateFrom(Picoseconds since);
    // Makes the memory hold `words` words and shares it with no response
    // still being read out (nor with the thread's work in progress), taking
    // a fresh one if need be; the computed words are kept if asked for.
    void ownMemory(uint32_t words, bool keepContents);

    void handleCommand(const uint8_t* data, std::size_t length, Picoseconds now);
    void respond(uint16_t opcode, uint16_t tag, uint16_t result, uint16_t detail,
                 std::vector<uint8_t> payload = {});
    void pushEvent(uint16_t opcode, uint16_t result);
    void setMode(const AcquisitionMode& mode, Picoseconds now);
    void start(uint32_t flag, Picoseconds now);
    Epoch compileEpoch(Picoseconds since) const;
    Picoseconds viewTime(Picoseconds now) const;
    uint32_t heldLength() const;

    const VirtualConfig config_;
    const unsigned index_;
    std::unique_ptr<InstrumentClock> clock_;

    std::mutex commandMutex_;  // commands are taken one at a time
    mutable std::mutex mutex_;
    std::condition_variable wake_;      // the instrument's thread
    std::condition_variable rendered_;  // commands waiting for the memory
    std::function<void()> doorbell_;
    bool quit_ = false;
    bool detached_ = false;
    Picoseconds unplugAt_ = kNever;

    std::mt19937_64 rng_;
    uint64_t noiseSeed_[2] = {};

    AcquisitionMode mode_;
    std::vector<Epoch> epochs_;
    Run run_ = Run::Idle;
    bool running_ = false;
    Picoseconds stopTime_ = kNever;
    RecordPlan plan_;
    RollPlan roll_;
    bool triggerAnnounced_ = false;
    bool completeAnnounced_ = false;
    Picoseconds failAt_ = kNever;
    bool failed_ = false;
    uint32_t acquisitions_ = 0;
    uint32_t recordsCompleted_ = 0;

    // Acquisition memory of the record in progress: words [0, renderedWords_)
    // are final. A response being read out shares the memory; changing it
    // then takes a fresh copy, so the response keeps what it was given.
    Memory memory_;
    uint32_t memoryWords_ = 0;
    uint32_t renderedWords_ = 0;
    uint32_t wantedWords_ = 0;  // what a command waiting for the memory needs computed
    uint64_t generation_ = 0;   // moves on whenever computed words are discarded
    SampleRenderer renderer_;   // the instrument's thread's own

    std::deque<std::unique_ptr<Outgoing>> out_;
    std::thread thread_;
};

}  // namespace lumatrace::device
