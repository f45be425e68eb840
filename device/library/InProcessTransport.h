// The transport of the embedded virtual instruments: the bulk endpoints of
// each VirtualInstrument, reached by a direct call instead of the driver.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "device/firmware/VirtualConfig.h"
#include "device/firmware/VirtualInstrument.h"
#include "device/library/Transport.h"

namespace lumatrace::device {

// What the driver reports through its version query; the in-process
// transport stands in for the driver, so it reports the same.
inline constexpr uint32_t kDriverVersion = 0x00010000;

class VirtualBus final : public TransportBus {
  public:
    // Powers up config.instruments instruments.
    explicit VirtualBus(const VirtualConfig& config);

    unsigned deviceCount() const override;
    std::unique_ptr<Transport> transport(unsigned index) override;

    struct Slot {
        std::mutex mutex;
        std::shared_ptr<VirtualInstrument> instrument;
        bool open = false;
    };

  private:
    std::vector<std::shared_ptr<Slot>> slots_;
};

}  // namespace lumatrace::device
