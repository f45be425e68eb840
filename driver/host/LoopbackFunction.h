// A scriptable USB function for tests and benchmarks: echoes OUT data back on IN, or answers IN
// from queued chunks or an endless stream, and stalls on request.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "driver/host/UsbFunction.h"

namespace lumatrace::host {

class LoopbackFunction final : public UsbFunction {
  public:
    // Each OUT transfer becomes one IN chunk (on by default).
    void setEcho(bool echo);
    // One device-side transfer for the IN endpoint; an IN transfer returns up to its capacity
    // from the oldest chunk (the rest stays for the next one), so a chunk shorter than the
    // request arrives as a short packet.
    void queueIn(std::vector<uint8_t> chunk);
    // IN transfers are answered in full from `data`, cyclically, for ever.
    void setStream(std::vector<uint8_t> data);
    void stallNextIn();
    void stallNextOut();
    // OUT transfers answer NAK until this is cleared.
    void setOutBlocked(bool blocked);
    // The device pulls itself out: it answers every later transfer as gone, and tells the bus
    // at once when `tellTheBus` (else the bus finds out at the next transfer).
    void pullOut(bool tellTheBus = true);

    std::vector<uint8_t> received() const;  // every byte taken on OUT
    size_t queuedInBytes() const;
    unsigned inCalls() const;

    UsbPacketResult bulkOut(const uint8_t* data, size_t length) override;
    UsbPacketResult bulkIn(uint8_t* buffer, size_t capacity) override;
    void attach(UsbFunctionHost* host) override;

  private:
    void notify();

    mutable std::mutex m_;
    std::atomic<UsbFunctionHost*> host_{nullptr};
    bool echo_ = true;
    bool stallIn_ = false;
    bool stallOut_ = false;
    bool outBlocked_ = false;
    bool gone_ = false;
    std::deque<std::vector<uint8_t>> in_;
    std::vector<uint8_t> stream_;
    size_t streamPosition_ = 0;
    std::vector<uint8_t> received_;
    unsigned inCalls_ = 0;
};

}  // namespace lumatrace::host
