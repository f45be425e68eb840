#include "driver/host/LoopbackFunction.h"

#include <algorithm>
#include <cstring>

namespace lumatrace::host {

void LoopbackFunction::notify() {
    if (UsbFunctionHost* host = host_.load())
        host->functionReady();
}

void LoopbackFunction::attach(UsbFunctionHost* host) {
    host_.store(host);
}

void LoopbackFunction::setEcho(bool echo) {
    std::lock_guard lock(m_);
    echo_ = echo;
}

void LoopbackFunction::queueIn(std::vector<uint8_t> chunk) {
    {
        std::lock_guard lock(m_);
        in_.push_back(std::move(chunk));
    }
    notify();
}

void LoopbackFunction::setStream(std::vector<uint8_t> data) {
    {
        std::lock_guard lock(m_);
        stream_ = std::move(data);
        streamPosition_ = 0;
    }
    notify();
}

void LoopbackFunction::stallNextIn() {
    {
        std::lock_guard lock(m_);
        stallIn_ = true;
    }
    notify();
}

void LoopbackFunction::stallNextOut() {
    std::lock_guard lock(m_);
    stallOut_ = true;
}

void LoopbackFunction::setOutBlocked(bool blocked) {
    {
        std::lock_guard lock(m_);
        outBlocked_ = blocked;
    }
    if (!blocked)
        notify();
}

void LoopbackFunction::pullOut(bool tellTheBus) {
    {
        std::lock_guard lock(m_);
        gone_ = true;
    }
    if (!tellTheBus)
        return;
    if (UsbFunctionHost* host = host_.load())
        host->functionGone();
}

std::vector<uint8_t> LoopbackFunction::received() const {
    std::lock_guard lock(m_);
    return received_;
}

size_t LoopbackFunction::queuedInBytes() const {
    std::lock_guard lock(m_);
    size_t n = 0;
    for (auto& chunk : in_)
        n += chunk.size();
    return n;
}

unsigned LoopbackFunction::inCalls() const {
    std::lock_guard lock(m_);
    return inCalls_;
}

UsbPacketResult LoopbackFunction::bulkOut(const uint8_t* data, size_t length) {
    bool queued = false;
    {
        std::lock_guard lock(m_);
        if (gone_)
            return UsbPacketResult::gone();
        if (stallOut_) {
            stallOut_ = false;
            return UsbPacketResult::stall();
        }
        if (outBlocked_)
            return UsbPacketResult::notReady();
        received_.insert(received_.end(), data, data + length);
        if (echo_) {
            in_.emplace_back(data, data + length);
            queued = true;
        }
    }
    if (queued)
        notify();
    return UsbPacketResult::done(length);
}

UsbPacketResult LoopbackFunction::bulkIn(uint8_t* buffer, size_t capacity) {
    std::lock_guard lock(m_);
    inCalls_++;
    if (gone_)
        return UsbPacketResult::gone();
    if (stallIn_) {
        stallIn_ = false;
        return UsbPacketResult::stall();
    }
    if (!stream_.empty()) {
        size_t done = 0;
        while (done < capacity) {
            size_t n = std::min(capacity - done, stream_.size() - streamPosition_);
            std::memcpy(buffer + done, stream_.data() + streamPosition_, n);
            done += n;
            streamPosition_ = (streamPosition_ + n) % stream_.size();
        }
        return UsbPacketResult::done(capacity);
    }
    if (in_.empty())
        return UsbPacketResult::notReady();
    std::vector<uint8_t>& chunk = in_.front();
    size_t n = std::min(capacity, chunk.size());
    std::memcpy(buffer, chunk.data(), n);
    if (n == chunk.size())
        in_.pop_front();
    else
        chunk.erase(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    return UsbPacketResult::done(n);
}

}  // namespace lumatrace::host
