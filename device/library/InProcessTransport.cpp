#include "device/library/InProcessTransport.h"

#include <condition_variable>

#include "device/include/zep9100.h"

namespace lumatrace::device {
namespace {

// Shared with the instrument's doorbell, which may ring after the
// transport has gone.
struct Doorbell {
    std::mutex mutex;
    std::condition_variable rung;
    uint64_t rings = 0;
    bool cancelled = false;
};

class InProcessTransport final : public Transport {
  public:
    explicit InProcessTransport(std::shared_ptr<VirtualBus::Slot> slot)
        : slot_(std::move(slot)), bell_(std::make_shared<Doorbell>()) {}

    ~InProcessTransport() override { close(); }

    ErrorWord open() override {
        std::lock_guard lock(slot_->mutex);
        if (!slot_->instrument->attached())
            return ZEP9100_ERR_NO_DEVICE;
        if (slot_->open)
            return ZEP9100_ERR_IN_USE;
        slot_->open = true;
        opened_ = true;
        std::weak_ptr<Doorbell> weak = bell_;
        slot_->instrument->setDoorbell([weak] {
            if (auto bell = weak.lock()) {
                {
                    std::lock_guard l(bell->mutex);
                    ++bell->rings;
                }
                bell->rung.notify_all();
            }
        });
        return 0;
    }

    void cancel() override {
        {
            std::lock_guard lock(bell_->mutex);
            bell_->cancelled = true;
        }
        bell_->rung.notify_all();
    }

    void close() override {
        std::lock_guard lock(slot_->mutex);
        if (!opened_)
            return;
        opened_ = false;
        slot_->open = false;
        slot_->instrument->setDoorbell(nullptr);
    }

    ErrorWord write(const uint8_t* data, std::size_t length) override {
        {
            std::lock_guard lock(bell_->mutex);
            if (bell_->cancelled)
                return ZEP9100_ERR_TRANSFER_CANCEL;
        }
        switch (slot_->instrument->bulkOut(data, length)) {
            case BulkStatus::Ok:
                return 0;
            default:
                return ZEP9100_ERR_TRANSFER_FAIL;
        }
    }

    ErrorWord read(uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
        got = 0;
        std::unique_lock lock(bell_->mutex);
        for (;;) {
            if (bell_->cancelled)
                return ZEP9100_ERR_TRANSFER_CANCEL;
            const uint64_t seen = bell_->rings;
            lock.unlock();
            BulkStatus s = slot_->instrument->bulkIn(buffer, capacity, got);
            lock.lock();
            if (s != BulkStatus::Ok)
                return ZEP9100_ERR_TRANSFER_FAIL;
            if (got > 0)
                return 0;
            // NAK: wait for the doorbell. A ring between the attempt and
            // here has moved the counter, so it is not lost.
            bell_->rung.wait(lock, [&] { return bell_->rings != seen || bell_->cancelled; });
        }
    }

    ErrorWord queryVersion(uint32_t& version) override {
        version = kDriverVersion;
        return 0;
    }

  private:
    std::shared_ptr<VirtualBus::Slot> slot_;
    std::shared_ptr<Doorbell> bell_;
    bool opened_ = false;
};

}  // namespace

VirtualBus::VirtualBus(const VirtualConfig& config) {
    for (unsigned i = 0; i < config.instruments; ++i) {
        auto slot = std::make_shared<Slot>();
        slot->instrument = std::make_shared<VirtualInstrument>(config, i);
        slots_.push_back(std::move(slot));
    }
}

unsigned VirtualBus::deviceCount() const {
    return static_cast<unsigned>(slots_.size());
}

std::unique_ptr<Transport> VirtualBus::transport(unsigned index) {
    return std::make_unique<InProcessTransport>(slots_.at(index));
}

}  // namespace lumatrace::device
