#include "device/firmware/VirtualInstrument.h"

#include <algorithm>
#include <bit>
#include <cstring>
#if defined(__linux__)
#include <pthread.h>
#endif

#include "device/protocol/BulkProtocol.h"

namespace lumatrace::device {

namespace p = protocol;

static_assert(std::endian::native == std::endian::little,
              "sample words are copied to the IN pipe as they lie in memory");

namespace {

// Record samples the instrument's thread computes in one go, between looks
// at what else has happened (about a millisecond's work at most).
constexpr uint32_t kRenderBatch = 65536;
// While a record fills, its samples are computed once this many have been
// taken since the last computing, not as each one is: every call computes
// whole blocks of the grid, so a trickle of a few samples a call (the thread
// keeping up with the clock) would compute most of them many times over and
// keep the thread busy for the whole record. A command that needs samples
// has them computed at once.
constexpr uint32_t kFillBatch = 8192;
constexpr std::size_t kMaxEpochs = 32;
constexpr std::size_t kMaxQueuedEvents = 64;

std::unique_ptr<InstrumentClock> clockFor(const VirtualConfig& config) {
    if (config.clockStepPs > 0)
        return std::make_unique<SteppedClock>(config.clockStepPs);
    return std::make_unique<ScaledClock>(config.timescale);
}

}  // namespace

// A GET_DATA payload of samples that are not in the acquisition memory,
// computed as it is read out.
class VirtualInstrument::DataStream {
  public:
    DataStream(std::vector<Epoch> epochs, SampleGrid grid)
        : epochs_(std::move(epochs)), grid_(grid) {}

    void produce(std::size_t byteOffset, std::size_t n, uint8_t* out) {
        const std::size_t w0 = byteOffset / 4;
        const std::size_t w1 = (byteOffset + n + 3) / 4;
        words_.resize(w1 - w0);
        produceWords(static_cast<uint32_t>(w0), static_cast<uint32_t>(w1 - w0), words_.data());
        std::memcpy(out, reinterpret_cast<const uint8_t*>(words_.data()) + (byteOffset - 4 * w0),
                    n);
    }

  private:
    void produceWords(uint32_t first, uint32_t count, uint32_t* out) {
        const uint32_t end = first + count;
        const uint32_t validEnd = std::max(first, std::min(end, grid_.valid));
        if (validEnd > first)
            renderer_.render(epochs_, grid_.first, grid_.dt, first, validEnd - first, out);
        std::fill(out + (validEnd - first), out + count, kNoSample);
    }

    std::vector<Epoch> epochs_;
    SampleGrid grid_;
    SampleRenderer renderer_;
    std::vector<uint32_t> words_;
};

struct VirtualInstrument::Outgoing {
    uint8_t header[p::kResponseHeaderBytes] = {};
    std::size_t headerSent = 0;
    std::size_t payloadLength = 0;
    std::size_t payloadSent = 0;
    std::vector<uint8_t> payload;
    std::unique_ptr<DataStream> stream;
    // A record read out of the acquisition memory: its first `held` words,
    // then words without a sample.
    std::shared_ptr<const uint32_t[]> memory;
    uint32_t held = 0;
    bool event = false;
};

VirtualInstrument::VirtualInstrument(const VirtualConfig& config, unsigned index,
                                     std::unique_ptr<InstrumentClock> clock)
    : config_(config),
      index_(index),
      clock_(clock ? std::move(clock) : clockFor(config)),
      mode_(powerOnMode()) {
    uint64_t seed = config.seed ? *config.seed + index : std::random_device{}();
    rng_.seed(seed);
    noiseSeed_[0] = rng_();
    noiseSeed_[1] = rng_();
    if (config.unplugAfterPs >= 0)
        unplugAt_ = clock_->now() + config.unplugAfterPs;
    epochs_.push_back(compileEpoch(0));
    thread_ = std::thread([this] { threadMain(); });
}

VirtualInstrument::~VirtualInstrument() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void VirtualInstrument::setDoorbell(std::function<void()> doorbell) {
    std::lock_guard lock(mutex_);
    doorbell_ = std::move(doorbell);
}

bool VirtualInstrument::attached() const {
    std::lock_guard lock(mutex_);
    return !detached_;
}

void VirtualInstrument::unplug() {
    {
        std::lock_guard lock(mutex_);
        detachLocked();
    }
    wake_.notify_all();
    ring();
}

void VirtualInstrument::ring() {
    std::function<void()> bell;
    {
        std::lock_guard lock(mutex_);
        bell = doorbell_;
    }
    if (bell)
        bell();
}

void VirtualInstrument::detachLocked() {
    detached_ = true;
    out_.clear();
    running_ = false;
    rendered_.notify_all();  // a command waiting for the memory gives up
}

void VirtualInstrument::threadMain() {
#if defined(__linux__)
    // Named so that a look at the process's threads tells the instrument from the program.
    pthread_setname_np(pthread_self(), "vi-instrument");
#endif
    std::unique_lock lock(mutex_);
    while (!quit_) {
        const Picoseconds now = clock_->now();
        if (advanceTo(now)) {
            lock.unlock();
            ring();
            lock.lock();
            continue;
        }
        if (std::optional<RenderJob> job = nextRenderJob(now)) {
            // The words past renderedWords_ are this thread's alone: nothing
            // reads them before the commit, and only this thread writes.
            lock.unlock();
            renderer_.render(job->epochs, job->first, job->dt, job->from, job->to - job->from,
                             job->memory.get() + job->from);
            lock.lock();
            commitRender(*job);
            continue;
        }
        Picoseconds deadline = nextDeadline();
        auto wall =
            deadline == kNever ? InstrumentClock::WallTime::max() : clock_->wallTimeOf(deadline);
        if (wall == InstrumentClock::WallTime::max())
            wake_.wait(lock);
        else
            wake_.wait_until(lock, wall);
    }
}

bool VirtualInstrument::advanceTo(Picoseconds now) {
    if (detached_)
        return false;
    if (now >= unplugAt_) {
        detachLocked();
        return true;
    }
    if (!running_)
        return false;
    if (!failed_ && now >= failAt_) {
        failed_ = true;
        running_ = false;
        stopTime_ = failAt_;
        pushEvent(p::kEventFailure, config_.failAcquisitionMinor);
        return true;
    }
    if (run_ != Run::Record)
        return false;
    bool progress = false;
    if (!triggerAnnounced_ && now >= plan_.trigger) {
        triggerAnnounced_ = true;
        progress = true;
    }
    if (!completeAnnounced_ && now >= plan_.complete) {
        completeAnnounced_ = true;
        ++recordsCompleted_;
        progress = true;
    }
    if (progress)
        pushEvent(p::kEventProgress, p::kOk);
    return progress;
}

Picoseconds VirtualInstrument::nextDeadline() const {
    if (detached_)
        return kNever;
    Picoseconds d = unplugAt_;
    if (running_) {
        if (!failed_)
            d = std::min(d, failAt_);
        if (run_ == Run::Record) {
            if (!triggerAnnounced_)
                d = std::min(d, plan_.trigger);
            if (!completeAnnounced_)
                d = std::min(d, plan_.complete);
            // Keep the memory filling while the record does, so that little
            // is left to compute when it completes.
            if (plan_.firstSample != kNever && renderedWords_ < plan_.length) {
                const uint32_t next = std::min(renderedWords_ + kFillBatch, plan_.length);
                d = std::min(d, plan_.firstSample + plan_.dt * (next - 1));
            }
        }
    }
    return d;
}

uint32_t VirtualInstrument::renderTargetAt(Picoseconds t) const {
    if (run_ != Run::Record || plan_.firstSample == kNever || t < plan_.firstSample)
        return 0;
    const Picoseconds taken = (t - plan_.firstSample) / plan_.dt + 1;
    uint32_t n = static_cast<uint32_t>(std::min<Picoseconds>(taken, plan_.length));
    if (t >= plan_.trigger)
        n = std::max(n, plan_.countAt(t));
    return n;
}

uint32_t VirtualInstrument::neededFor(uint16_t opcode, Picoseconds t) const {
    if (run_ != Run::Record || failed_ || t < plan_.trigger)
        return 0;
    switch (opcode) {
        case p::kGetStatus:
            // A complete record is reported only once all of it is there.
            return t >= plan_.complete ? plan_.length : 0;
        case p::kGetData:
            return plan_.countAt(t);
        default:
            return 0;
    }
}

std::optional<VirtualInstrument::RenderJob> VirtualInstrument::nextRenderJob(
    Picoseconds now) const {
    if (detached_ || run_ != Run::Record || !memory_)
        return std::nullopt;
    const uint32_t target = renderTargetAt(viewTime(now));
    if (renderedWords_ >= target)
        return std::nullopt;
    const uint32_t batchEnd = std::min(renderedWords_ + kFillBatch, plan_.length);
    if (target < batchEnd && wantedWords_ <= renderedWords_)
        return std::nullopt;
    RenderJob job;
    job.memory = memory_;
    job.epochs = epochs_;
    job.first = plan_.firstSample;
    job.dt = plan_.dt;
    job.from = renderedWords_;
    job.to = std::min(target, renderedWords_ + kRenderBatch);
    job.generation = generation_;
    return job;
}

void VirtualInstrument::commitRender(const RenderJob& job) {
    // A START or a front-end change in the meantime has discarded the work.
    if (job.generation != generation_ || job.memory != memory_ || job.from != renderedWords_)
        return;
    renderedWords_ = job.to;
    rendered_.notify_all();
}

void VirtualInstrument::ownMemory(uint32_t words, bool keepContents) {
    if (memory_ && memory_.use_count() == 1 && memoryWords_ >= words)
        return;
    Memory fresh(new uint32_t[words]);
    if (keepContents && memory_)
        std::copy_n(memory_.get(), std::min(renderedWords_, words), fresh.get());
    memory_ = std::move(fresh);
    memoryWords_ = words;
}

void VirtualInstrument::invalidateFrom(Picoseconds since) {
    if (run_ != Run::Record || plan_.firstSample == kNever || renderedWords_ == 0)
        return;
    // The first sample taken at or after `since`.
    Picoseconds first = 0;
    if (since > plan_.firstSample)
        first = (since - plan_.firstSample + plan_.dt - 1) / plan_.dt;
    if (first >= renderedWords_)
        return;
    ownMemory(memoryWords_, true);
    renderedWords_ = static_cast<uint32_t>(first);
    ++generation_;
}

BulkStatus VirtualInstrument::bulkOut(const uint8_t* data, std::size_t length) {
    bool gone = false;
    bool wakeThread = false;
    {
        std::lock_guard oneAtATime(commandMutex_);
        std::unique_lock lock(mutex_);
        if (detached_)
            return BulkStatus::Gone;
        if (length == 0 || length > kMaxTransfer)
            return BulkStatus::Stall;
        clock_->commandReceived();
        Picoseconds now = clock_->now();
        advanceTo(now);
        // What the answer reports must be in the memory: wait for the
        // instrument's thread to get there (at once for a record that is
        // computed as it fills; the computing time of a whole record at
        // the fastest time bases).
        const uint16_t opcode = length >= 2 ? p::getU16(data) : 0;
        while (!detached_ && renderedWords_ < neededFor(opcode, viewTime(now))) {
            wantedWords_ = neededFor(opcode, viewTime(now));
            wake_.notify_all();
            rendered_.wait(lock);
            now = clock_->now();
            advanceTo(now);
        }
        wantedWords_ = 0;
        // Unplugged just as the command arrived: it never got there.
        gone = detached_;
        if (!gone)
            handleCommand(data, length, now);
        // The thread sleeps until its next instant; only a new plan or
        // samples left to compute concern it, not every status poll.
        wakeThread = !gone && (opcode == p::kStart || opcode == p::kStop ||
                               renderTargetAt(viewTime(now)) > renderedWords_);
    }
    if (wakeThread)
        wake_.notify_all();
    ring();
    return gone ? BulkStatus::Gone : BulkStatus::Ok;
}

BulkStatus VirtualInstrument::bulkIn(uint8_t* buffer, std::size_t capacity,
                                     std::size_t& transferred) {
    std::lock_guard lock(mutex_);
    transferred = 0;
    if (detached_)
        return BulkStatus::Gone;
    if (out_.empty() || capacity == 0)
        return BulkStatus::Ok;
    const std::size_t cap = std::min(capacity, kMaxTransfer);
    Outgoing& o = *out_.front();
    if (o.headerSent < p::kResponseHeaderBytes) {
        std::size_t n = std::min(cap, p::kResponseHeaderBytes - o.headerSent);
        std::memcpy(buffer, o.header + o.headerSent, n);
        o.headerSent += n;
        transferred = n;
    } else {
        std::size_t n = std::min(cap, o.payloadLength - o.payloadSent);
        if (o.memory) {
            // Held words as they lie in memory, then 0xFF bytes: no sample.
            const std::size_t heldBytes = std::size_t{4} * o.held;
            const std::size_t copied =
                heldBytes > o.payloadSent ? std::min(n, heldBytes - o.payloadSent) : 0;
            std::memcpy(buffer, reinterpret_cast<const uint8_t*>(o.memory.get()) + o.payloadSent,
                        copied);
            std::memset(buffer + copied, 0xFF, n - copied);
        } else if (o.stream) {
            o.stream->produce(o.payloadSent, n, buffer);
        } else {
            std::memcpy(buffer, o.payload.data() + o.payloadSent, n);
        }
        o.payloadSent += n;
        transferred = n;
    }
    if (o.headerSent == p::kResponseHeaderBytes && o.payloadSent == o.payloadLength)
        out_.pop_front();
    return BulkStatus::Ok;
}

void VirtualInstrument::respond(uint16_t opcode, uint16_t tag, uint16_t result, uint16_t detail,
                                std::vector<uint8_t> payload) {
    auto o = std::make_unique<Outgoing>();
    p::ResponseHeader h{opcode, tag, result, detail, static_cast<uint32_t>(payload.size()), 0};
    p::encode(h, o->header);
    o->payloadLength = payload.size();
    o->payload = std::move(payload);
    out_.push_back(std::move(o));
}

void VirtualInstrument::pushEvent(uint16_t opcode, uint16_t result) {
    std::size_t events = std::count_if(
        out_.begin(), out_.end(), [](const auto& o) { return o->event && o->headerSent == 0; });
    // Nobody is reading: the newest news is the one that matters.
    if (events >= kMaxQueuedEvents)
        return;
    auto o = std::make_unique<Outgoing>();
    p::encode(p::ResponseHeader{opcode, 0, result, 0, 0, 0}, o->header);
    o->event = true;
    out_.push_back(std::move(o));
}

Epoch VirtualInstrument::compileEpoch(Picoseconds since) const {
    Epoch e;
    e.since = since;
    for (int ch = 0; ch < 2; ++ch)
        e.channel[ch] = compileChannel(config_.inputs[ch], mode_.channel[ch], noiseSeed_[ch]);
    return e;
}

Picoseconds VirtualInstrument::viewTime(Picoseconds now) const {
    return running_ ? now : std::min(now, stopTime_);
}

uint32_t VirtualInstrument::heldLength() const {
    if (run_ == Run::Record)
        return plan_.length;
    if (run_ == Run::Roll)
        return roll_.length;
    return mode_.recordLength();
}

void VirtualInstrument::setMode(const AcquisitionMode& mode, Picoseconds now) {
    const bool frontEndChanged = mode.channel != mode_.channel;
    mode_ = mode;
    if (!frontEndChanged)
        return;
    // Samples already taken keep the settings they were taken with, also
    // in a stopped record that is still to be read.
    if (epochs_.size() >= kMaxEpochs)
        epochs_.erase(epochs_.begin());
    epochs_.push_back(compileEpoch(now));
    invalidateFrom(now);
}

void VirtualInstrument::start(uint32_t flag, Picoseconds now) {
    ++acquisitions_;
    running_ = true;
    failed_ = false;
    stopTime_ = kNever;
    triggerAnnounced_ = completeAnnounced_ = false;
    epochs_.assign(1, compileEpoch(0));
    // The held record is discarded.
    renderedWords_ = 0;
    ++generation_;
    const Picoseconds dt = mode_.sampleInterval();
    if (mode_.roll) {
        run_ = Run::Roll;
        roll_ = RollPlan{now, dt, mode_.recordLength(), 0};
        failAt_ = acquisitions_ == config_.failAcquisition ? now + dt : kNever;
        return;
    }
    run_ = Run::Record;
    auto path = compileTriggerPath(config_.inputs, mode_);
    Picoseconds wait = flag == 1 ? config_.autoTimeoutPs : config_.autoTimeoutPs / 10;
    uint32_t phase = static_cast<uint32_t>(rng_() % 100);
    plan_ = planRecord(mode_, *path, now, wait, phase);
    failAt_ = acquisitions_ == config_.failAcquisition ? plan_.armed : kNever;
    ownMemory(plan_.length, false);
}

void VirtualInstrument::handleCommand(const uint8_t* data, std::size_t length, Picoseconds now) {
    if (length < p::kCommandHeaderBytes) {
        uint16_t opcode = length >= 2 ? p::getU16(data) : 0;
        uint16_t tag = length >= 4 ? p::getU16(data + 2) : 0;
        respond(opcode, tag, p::kMalformed, 0);
        return;
    }
    const p::CommandHeader h = p::decodeCommand(data);
    const uint8_t* payload = data + p::kCommandHeaderBytes;
    const std::size_t payloadBytes = length - p::kCommandHeaderBytes;
    auto expect = [&](std::size_t bytes) {
        if (h.length == bytes && payloadBytes == bytes)
            return true;
        respond(h.opcode, h.tag, p::kMalformed, 0);
        return false;
    };
    const Picoseconds t = viewTime(now);

    switch (h.opcode) {
        case p::kGetInfo: {
            if (!expect(0))
                return;
            std::vector<uint8_t> info(p::kInfoResponseBytes, 0);
            std::memcpy(info.data(), "ZEP-9100", 8);
            std::string serial = std::to_string(index_ + 1);
            serial = "VZ" + std::string(10 - serial.size(), '0') + serial;
            std::memcpy(info.data() + 8, serial.data(), 12);
            info[20] = 1;
            info[21] = 2;
            info[22] = config_.largeMemory ? 1 : 0;
            info[24] = config_.firmwareVersion;
            info[25] = config_.fpgaVersion;
            p::putU32(info.data() + 28, config_.largeMemory ? p::kMaxRecordSamples : 0);
            respond(h.opcode, h.tag, p::kOk, 0, std::move(info));
            return;
        }
        case p::kSetMode: {
            if (!expect(4 * p::kModeWords))
                return;
            uint32_t words[p::kModeWords];
            for (std::size_t i = 0; i < p::kModeWords; ++i)
                words[i] = p::getU32(payload + 4 * i);
            AcquisitionMode mode;
            uint16_t detail = 0;
            p::Result r = decodeMode(words, config_.largeMemory, mode, detail);
            if (r == p::kOk)
                setMode(mode, now);
            respond(h.opcode, h.tag, r, detail);
            return;
        }
        case p::kStart: {
            if (!expect(4))
                return;
            uint32_t flag = p::getU32(payload);
            if (flag > 1) {
                respond(h.opcode, h.tag, p::kBadParameter, 0);
                return;
            }
            start(flag, now);
            respond(h.opcode, h.tag, p::kOk, 0);
            return;
        }
        case p::kStop: {
            if (!expect(0))
                return;
            if (running_) {
                running_ = false;
                stopTime_ = now;
            }
            respond(h.opcode, h.tag, p::kOk, 0);
            return;
        }
        case p::kGetStatus: {
            if (!expect(0))
                return;
            uint32_t status = kStatusIdle, count = 0;
            if (run_ == Run::Record) {
                Picoseconds at = failed_ ? stopTime_ : t;
                count = plan_.countAt(at);
                status = failed_ ? kStatusIdle : plan_.statusAt(at);
            } else if (run_ == Run::Roll) {
                count = roll_.availableAt(t);
                status = failed_ ? kStatusIdle : kStatusAuto;
            }
            std::vector<uint8_t> out(p::kStatusResponseBytes);
            p::putU32(out.data(), status);
            p::putU32(out.data() + 4, count);
            p::putU32(out.data() + 8, recordsCompleted_);
            respond(h.opcode, h.tag, p::kOk, 0, std::move(out));
            return;
        }
        case p::kGetData: {
            if (!expect(4))
                return;
            uint32_t count = p::getU32(payload);
            if (count > heldLength()) {
                respond(h.opcode, h.tag, p::kBadParameter, 0);
                return;
            }
            auto o = std::make_unique<Outgoing>();
            o->payloadLength = static_cast<std::size_t>(count) * 4;
            p::encode(p::ResponseHeader{h.opcode, h.tag, p::kOk, 0,
                                        static_cast<uint32_t>(o->payloadLength), 0},
                      o->header);
            SampleGrid grid;  // nothing held: every word is NoSample
            if (run_ == Run::Record)
                grid = heldSamples(plan_, t);
            else if (run_ == Run::Roll)
                grid = roll_.take(count, t);
            if (run_ == Run::Record && !failed_ && t >= plan_.trigger &&
                grid.valid <= renderedWords_) {
                // The triggered record, as the acquisition memory holds it.
                o->memory = memory_;
                o->held = std::min(count, grid.valid);
            } else {
                // Pre-trigger samples before the trigger, roll samples.
                o->stream = std::make_unique<DataStream>(epochs_, grid);
            }
            out_.push_back(std::move(o));
            return;
        }
        case p::kGetPhase: {
            if (!expect(0))
                return;
            bool triggered = run_ == Run::Record && !failed_ && !plan_.autoTriggered &&
                             plan_.trigger != kNever && t >= plan_.trigger;
            if (!triggered) {
                respond(h.opcode, h.tag, p::kNoTriggerPhase, 0);
                return;
            }
            std::vector<uint8_t> out(4);
            p::putU32(out.data(), plan_.phase);
            respond(h.opcode, h.tag, p::kOk, 0, std::move(out));
            return;
        }
        default:
            respond(h.opcode, h.tag, p::kUnknownCommand, 0);
            return;
    }
}

}  // namespace lumatrace::device
