// The live path: the instruments behind zep9100.sys. The library runs the
// driver on the host kernel model, plugs each virtual instrument into the
// model's USB bus, and talks to it through the I/O manager's front door
// (\\.\Zep9100DeviceN, read, write, the version control code), as the
// program would talk to the real driver.
#pragma once

#include <memory>
#include <mutex>

#include "device/firmware/BulkFunction.h"
#include "device/firmware/VirtualConfig.h"
#include "device/library/Transport.h"
#include "driver/host/UsbFunction.h"

namespace lumatrace::device {

// The instrument's bulk endpoints as the function behind the virtual USB
// bus. The instrument must outlive the adapter, and the adapter must be
// unplugged from the bus before it goes.
class BulkUsbFunction final : public host::UsbFunction {
  public:
    explicit BulkUsbFunction(BulkFunction& function);
    ~BulkUsbFunction() override;
    BulkUsbFunction(const BulkUsbFunction&) = delete;
    BulkUsbFunction& operator=(const BulkUsbFunction&) = delete;

    host::UsbPacketResult bulkOut(const uint8_t* data, size_t length) override;
    host::UsbPacketResult bulkIn(uint8_t* buffer, size_t capacity) override;
    void attach(host::UsbFunctionHost* host) override;

  private:
    struct HostSlot {
        std::recursive_mutex mutex;
        host::UsbFunctionHost* host = nullptr;
    };
    BulkFunction& function_;
    // Shared with the doorbell, which the instrument may be ringing while
    // the adapter goes.
    std::shared_ptr<HostSlot> host_;
};

// The driver's control code for its version word.
inline constexpr uint32_t kVersionControlCode = 0x00222000;

class DriverBus final : public TransportBus {
  public:
    // Loads the driver and plugs in config.instruments instruments.
    explicit DriverBus(const VirtualConfig& config);
    ~DriverBus() override;

    unsigned deviceCount() const override;
    std::unique_ptr<Transport> transport(unsigned index) override;

    // What the plug-and-play manager has told the driver about instrument
    // `index`, once the kernel model has nothing left to do: for tests and
    // diagnostics.
    struct PnpState {
        bool started = false;
        bool surpriseRemoved = false;
        bool removed = false;
    };
    PnpState pnpState(unsigned index) const;

    struct Stack;

  private:
    // Shared with the transports: the kernel stays until the last handle
    // on it has been closed.
    std::shared_ptr<Stack> stack_;
};

}  // namespace lumatrace::device
