// One open instrument: its transport, the command/response exchange, and
// the reader thread that owns the IN pipe. Responses are matched to the
// waiting call by tag and read straight into the call's buffer; the
// instrument's unsolicited event messages become the notifications posted
// to the program.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "device/include/zep9100.h"
#include "device/library/Transport.h"

namespace lumatrace::device {

struct LinkTimeouts {
    // A call gives up when its response has not come within this.
    std::chrono::milliseconds response{10000};
    // How long a call that has given up lets a read into its buffer finish
    // before it cancels the transport to end it.
    std::chrono::milliseconds lentReadGrace{1000};
};

class DeviceLink : public std::enable_shared_from_this<DeviceLink> {
  public:
    // `onFailure` records the error word of an acquisition failure that is
    // reported by notification rather than by a call.
    DeviceLink(std::unique_ptr<Transport> transport, uint16_t number,
               const Zep9100Notifier* notifier, uint32_t messageBase,
               std::function<void(ErrorWord)> onFailure, LinkTimeouts timeouts = {});
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    void startReader();

    // Sends one command and waits for its response. The response payload
    // goes to `response`; its length must be exactly `expected` bytes. The
    // payload is read straight into `response`, and the call returns only
    // once no read into it is under way any more.
    ErrorWord transact(uint16_t opcode, const uint8_t* payload, std::size_t payloadBytes,
                       uint8_t* response, std::size_t expected);

    ErrorWord queryVersion(uint32_t& version);

    // Whether an acquisition is under way, so that losing the instrument
    // is reported as a failed acquisition.
    void setSampling(bool on);

    // Fails calls in progress with ZEP9100_ERR_TRANSFER_CANCEL, stops the
    // reader and releases the transport. Idempotent.
    void shutdown();

  private:
    struct Pending {
        uint16_t tag = 0;
        uint8_t* destination = nullptr;
        std::size_t capacity = 0;
        std::size_t received = 0;
        bool overflow = false;
        bool done = false;
        ErrorWord result = 0;
    };

    void readerMain();
    void transportFailed(ErrorWord error);
    void post(uint32_t offset);

    std::unique_ptr<Transport> transport_;
    const uint16_t number_;
    Zep9100Notifier notifier_{};
    const uint32_t messageBase_;
    std::function<void(ErrorWord)> onFailure_;
    const LinkTimeouts timeouts_;

    std::mutex commandMutex_;  // one command at a time
    std::mutex mutex_;         // guards what follows
    std::condition_variable answered_;
    Pending* pending_ = nullptr;
    // The reader has a transport read pending into pending_'s buffer; the
    // call does not return before it has ended.
    bool lending_ = false;
    std::condition_variable lentBack_;
    ErrorWord dead_ = 0;
    bool sampling_ = false;
    bool shutDown_ = false;
    uint16_t nextTag_ = 0;

    std::thread reader_;
};

// Error word for a response result code.
ErrorWord errorForResult(uint16_t result);

}  // namespace lumatrace::device
