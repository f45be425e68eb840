// How the device access library reaches an instrument: an exclusive handle
// with bulk read and write (each at most 65,536 bytes) and the driver's
// version query. The in-process transport talks to the virtual instrument
// directly; a driver transport opens the driver's device node instead.
// Results are library error code words (0 for success).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace lumatrace::device {

using ErrorWord = uint32_t;

class Transport {
  public:
    static constexpr std::size_t kMaxTransfer = 65536;

    virtual ~Transport() = default;

    // Opens the instrument exclusively. ZEP9100_ERR_NO_DEVICE when it is not
    // there (any more), ZEP9100_ERR_IN_USE when someone has it open,
    // ZEP9100_ERR_SYSTEM with the OS error for anything else.
    virtual ErrorWord open() = 0;
    // Makes a read blocked in another thread, and every later transfer,
    // fail with ZEP9100_ERR_TRANSFER_CANCEL.
    virtual void cancel() = 0;
    // Releases the handle. No transfer may be running.
    virtual void close() = 0;
    // One bulk OUT transfer of 1..65,536 bytes.
    virtual ErrorWord write(const uint8_t* data, std::size_t length) = 0;
    // One bulk IN transfer of at most `capacity` (<= 65,536) bytes. Waits,
    // without a time limit, until the instrument sends something, the
    // transfer fails (ZEP9100_ERR_TRANSFER_FAIL when it is gone) or cancel().
    virtual ErrorWord read(uint8_t* buffer, std::size_t capacity, std::size_t& got) = 0;
    // The driver's version word (one decimal digit per byte).
    virtual ErrorWord queryVersion(uint32_t& version) = 0;
};

// The instruments a transport can reach, numbered from 0.
class TransportBus {
  public:
    virtual ~TransportBus() = default;
    virtual unsigned deviceCount() const = 0;
    virtual std::unique_ptr<Transport> transport(unsigned index) = 0;
};

}  // namespace lumatrace::device
