#include "device/library/DeviceLink.h"

#include <algorithm>
#include <cstring>
#include <vector>
#if defined(__linux__)
#include <pthread.h>
#endif

#include "device/protocol/BulkProtocol.h"

namespace lumatrace::device {

namespace p = protocol;

ErrorWord errorForResult(uint16_t result) {
    switch (result) {
        case p::kOk:
            return 0;
        case p::kBadParameter:
            return ZEP9100_ERR_INVALID_ARGUMENT;
        case p::kNoLargeMemory:
            return ZEP9100_ERR_MEMSIZE;
        default:
            return ZEP9100_ERR_DEVICE | (static_cast<uint32_t>(result) << 16);
    }
}

DeviceLink::DeviceLink(std::unique_ptr<Transport> transport, uint16_t number,
                       const Zep9100Notifier* notifier, uint32_t messageBase,
                       std::function<void(ErrorWord)> onFailure, LinkTimeouts timeouts)
    : transport_(std::move(transport)),
      number_(number),
      messageBase_(messageBase),
      onFailure_(std::move(onFailure)),
      timeouts_(timeouts) {
    if (notifier)
        notifier_ = *notifier;
}

DeviceLink::~DeviceLink() {
    shutdown();
}

void DeviceLink::startReader() {
    // The reader keeps the link alive, so that even a link closed from its
    // own notification is destroyed only after the reader has finished.
    reader_ = std::thread([self = shared_from_this()] { self->readerMain(); });
}

void DeviceLink::setSampling(bool on) {
    std::lock_guard lock(mutex_);
    sampling_ = on;
}

void DeviceLink::post(uint32_t offset) {
    if (notifier_.post)
        notifier_.post(notifier_.context, messageBase_ + offset, number_, ZEP9100_NOTIFY_LPARAM);
}

void DeviceLink::transportFailed(ErrorWord error) {
    bool report = false;
    {
        std::lock_guard lock(mutex_);
        if (dead_ == 0)
            dead_ = error;
        if (pending_ && !pending_->done) {
            pending_->result = dead_;
            pending_->done = true;
        }
        report = sampling_ && !shutDown_ && error != ZEP9100_ERR_TRANSFER_CANCEL;
        sampling_ = false;
    }
    answered_.notify_all();
    if (report) {
        onFailure_(error);
        post(ZEP9100_MSG_FAILED_OFFSET);
    }
}

void DeviceLink::readerMain() {
#if defined(__linux__)
    // Named so that a look at the process's threads finds the library's reader.
    pthread_setname_np(pthread_self(), "zep-link");
#endif
    // Headers, and payloads nobody (any longer) waits for.
    std::vector<uint8_t> bounce(Transport::kMaxTransfer);
    for (;;) {
        std::size_t got = 0;
        if (ErrorWord e = transport_->read(bounce.data(), bounce.size(), got)) {
            transportFailed(e);
            return;
        }
        if (got != p::kResponseHeaderBytes) {
            // Out of step with the instrument: whatever the call waits for
            // will not come in a form it can trust.
            std::lock_guard lock(mutex_);
            if (pending_ && !pending_->done) {
                pending_->result = ZEP9100_ERR_INTERNAL;
                pending_->done = true;
                answered_.notify_all();
            }
            continue;
        }
        const p::ResponseHeader h = p::decodeResponse(bounce.data());
        const bool event = (h.opcode & 0x8000) != 0;
        if (event && h.length == 0) {
            if (h.opcode == p::kEventProgress) {
                post(ZEP9100_MSG_DATA_OFFSET);
            } else if (h.opcode == p::kEventFailure) {
                onFailure_(errorForResult(h.result == p::kOk ? uint16_t{p::kAcquisitionFailed}
                                                             : h.result));
                post(ZEP9100_MSG_FAILED_OFFSET);
            }
            continue;
        }
        // A response (or an event with a body we do not know): take the
        // payload, into the waiting call's buffer if it is still waiting.
        auto waiting = [&] {
            return !event && pending_ && !pending_->done && pending_->tag == h.tag;
        };
        std::size_t remaining = h.length;
        std::size_t offset = 0;
        while (remaining > 0) {
            const std::size_t chunk = std::min(remaining, Transport::kMaxTransfer);
            uint8_t* into = bounce.data();
            {
                std::lock_guard lock(mutex_);
                if (waiting() && offset + chunk <= pending_->capacity) {
                    // Straight into the caller's buffer, without a copy of
                    // our own; the call waits for this read to end before
                    // it returns, whatever else happens meanwhile.
                    into = pending_->destination + offset;
                    lending_ = true;
                }
            }
            const bool direct = into != bounce.data();
            ErrorWord e = transport_->read(into, chunk, got);
            {
                std::lock_guard lock(mutex_);
                if (direct)
                    lending_ = false;
                if (e == 0 && waiting()) {
                    Pending& r = *pending_;
                    if (direct) {
                        r.received += got;
                    } else {
                        // The part of a response too long for the buffer.
                        if (offset < r.capacity) {
                            std::size_t n = std::min(got, r.capacity - offset);
                            std::memcpy(r.destination + offset, bounce.data(), n);
                            r.received += n;
                        }
                        if (offset + got > r.capacity)
                            r.overflow = true;
                    }
                }
            }
            if (direct)
                lentBack_.notify_all();
            if (e) {
                transportFailed(e);
                return;
            }
            offset += got;
            remaining -= got;
        }
        if (event)
            continue;
        bool answered = false;
        {
            std::lock_guard lock(mutex_);
            if (pending_ && !pending_->done && pending_->tag == h.tag) {
                Pending& r = *pending_;
                if (h.result != p::kOk)
                    r.result = errorForResult(h.result);
                else if (r.overflow)
                    r.result = ZEP9100_ERR_BUFF_OVERFLOW;
                else if (r.received != r.capacity)
                    r.result = ZEP9100_ERR_INTERNAL;
                else
                    r.result = 0;
                r.done = true;
                answered = true;
            }
        }
        // Woken with the lock still held, the caller would only wait for it again.
        if (answered)
            answered_.notify_all();
    }
}

ErrorWord DeviceLink::transact(uint16_t opcode, const uint8_t* payload, std::size_t payloadBytes,
                               uint8_t* response, std::size_t expected) {
    std::lock_guard oneAtATime(commandMutex_);
    Pending request;
    request.destination = response;
    request.capacity = expected;
    {
        std::lock_guard lock(mutex_);
        if (dead_ != 0)
            return dead_;
        if (++nextTag_ == 0)
            nextTag_ = 1;
        request.tag = nextTag_;
        pending_ = &request;
    }
    std::vector<uint8_t> command(p::kCommandHeaderBytes + payloadBytes);
    p::encode(p::CommandHeader{opcode, request.tag, static_cast<uint32_t>(payloadBytes)},
              command.data());
    if (payloadBytes)
        std::memcpy(command.data() + p::kCommandHeaderBytes, payload, payloadBytes);
    ErrorWord e = transport_->write(command.data(), command.size());

    std::unique_lock lock(mutex_);
    if (e == 0 && !answered_.wait_for(lock, timeouts_.response, [&] { return request.done; })) {
        e = ZEP9100_ERR_TRANSFER_TIMEOUT;
        request.done = true;  // no further part of the response goes to the buffer
        if (!lentBack_.wait_for(lock, timeouts_.lentReadGrace, [&] { return !lending_; })) {
            // The instrument stopped half-way through its response with a
            // read into the caller's buffer pending. Only cancelling the
            // transport ends that read, and the link is out of step with
            // the instrument from then on.
            if (dead_ == 0)
                dead_ = ZEP9100_ERR_TRANSFER_TIMEOUT;
            lock.unlock();
            transport_->cancel();
            lock.lock();
        }
    } else if (e == 0) {
        e = request.result;
    }
    // A read into the buffer may still be under way (Close cancels it):
    // the buffer is the caller's again only once it has ended.
    lentBack_.wait(lock, [&] { return !lending_; });
    pending_ = nullptr;
    return e;
}

ErrorWord DeviceLink::queryVersion(uint32_t& version) {
    std::lock_guard oneAtATime(commandMutex_);
    {
        std::lock_guard lock(mutex_);
        if (dead_ != 0)
            return dead_;
    }
    return transport_->queryVersion(version);
}

void DeviceLink::shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (shutDown_)
            return;
        shutDown_ = true;
        if (dead_ == 0)
            dead_ = ZEP9100_ERR_TRANSFER_CANCEL;
        if (pending_ && !pending_->done) {
            pending_->result = ZEP9100_ERR_TRANSFER_CANCEL;
            pending_->done = true;
        }
    }
    answered_.notify_all();
    transport_->cancel();
    if (reader_.joinable()) {
        if (reader_.get_id() == std::this_thread::get_id())
            reader_.detach();
        else
            reader_.join();
    }
    // Calls still inside the transport return promptly now; wait for them.
    std::lock_guard oneAtATime(commandMutex_);
    transport_->close();
}

}  // namespace lumatrace::device
