// The instrument as a USB bus sees it: the function side of its two bulk
// endpoints (OUT 0x02 for commands, IN 0x81 for responses and events).
// This is all a bus needs to carry the instrument's protocol; the in-process
// transport of the device library and the driver's virtual USB bus both
// drive an instrument through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace lumatrace::device {

enum class BulkStatus {
    Ok,     // transfer done (for IN: bytes > 0, or 0 meaning NAK, nothing to send yet)
    Stall,  // the endpoint refused the transfer (OUT longer than 65,536 bytes)
    Gone,   // the function has been unplugged; every later transfer fails too
};

class BulkFunction {
  public:
    static constexpr std::size_t kMaxTransfer = 65536;

    virtual ~BulkFunction() = default;

    // One OUT transfer of `length` (1..65,536) bytes. Each transfer carries
    // exactly one command; the function queues its response for IN.
    virtual BulkStatus bulkOut(const uint8_t* data, std::size_t length) = 0;

    // One IN transfer of at most `capacity` bytes. `transferred` = 0 with
    // BulkStatus::Ok is a NAK: nothing is ready, the bus retries after the
    // doorbell rings. A transfer never spans two messages (a response header
    // always travels alone; its payload follows in transfers of at most
    // 65,536 bytes); a short capacity takes a prefix and leaves the rest.
    virtual BulkStatus bulkIn(uint8_t* buffer, std::size_t capacity, std::size_t& transferred) = 0;

    // The bus's doorbell: rung from any of the function's threads (never
    // while it holds its own lock) when IN data becomes ready after a NAK,
    // and when the function goes away. Set once, before the first transfer.
    virtual void setDoorbell(std::function<void()> doorbell) = 0;

    // False once the function has been unplugged.
    virtual bool attached() const = 0;
};

}  // namespace lumatrace::device
