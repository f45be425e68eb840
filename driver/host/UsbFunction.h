// The instrument's side of the two bulk pipes, as the virtual USB bus sees it.
//
// The bus calls these from its own thread and from the thread that submits a transfer, one call
// at a time per device (it serialises them), and never while it holds a kernel spin lock.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumatrace::host {

struct UsbPacketResult {
    enum class Kind {
        Done,      // the function took or delivered `bytes` bytes
        NotReady,  // NAK: nothing to deliver (IN) or no room (OUT) yet; the bus retries later
        Stall,     // the endpoint answers STALL: the transfer fails and the pipe halts
        Gone,      // the device has been pulled out: the bus reports its removal
    };
    Kind kind = Kind::Done;
    size_t bytes = 0;

    static UsbPacketResult done(size_t n) { return {Kind::Done, n}; }
    static UsbPacketResult notReady() { return {Kind::NotReady, 0}; }
    static UsbPacketResult stall() { return {Kind::Stall, 0}; }
    static UsbPacketResult gone() { return {Kind::Gone, 0}; }
};

// Where the function reports to the bus: that an endpoint that answered NotReady may be ready
// now, and that the device has been pulled out (as the hub sees a port go dead). Both may be
// called from any thread that holds none of the function's locks.
class UsbFunctionHost {
  public:
    virtual void functionReady() = 0;
    virtual void functionGone() = 0;

  protected:
    ~UsbFunctionHost() = default;
};

class UsbFunction {
  public:
    virtual ~UsbFunction() = default;

    // Host to device on the bulk OUT endpoint: `length` bytes of one transfer.
    virtual UsbPacketResult bulkOut(const uint8_t* data, size_t length) = 0;

    // Device to host on the bulk IN endpoint: at most `capacity` bytes. Fewer bytes than
    // `capacity` end the transfer as a short packet would.
    virtual UsbPacketResult bulkIn(uint8_t* buffer, size_t capacity) = 0;

    // The bus attaches itself while the device is plugged in (nullptr when unplugged).
    virtual void attach(UsbFunctionHost* host) { (void)host; }
};

}  // namespace lumatrace::host
