// The virtual USB bus below the driver: what a plugged-in device looks like (descriptors and
// behaviour of its bus driver), and what the bus reports about the traffic it has seen.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/host/Wdm.h"

namespace lumatrace::host {

struct UsbEndpointSpec {
    uint8_t address = 0;     // bit 7 set for IN
    uint8_t attributes = 2;  // 2 bulk, 3 interrupt
    uint16_t maxPacketSize = 512;
    uint8_t interval = 0;
};

struct UsbInterfaceSpec {
    uint8_t number = 0;
    uint8_t alternateSetting = 0;
    uint8_t interfaceClass = 0xFF;
    std::vector<UsbEndpointSpec> endpoints;
    // Raw class-specific descriptors placed between the interface and its endpoint descriptors.
    std::vector<uint8_t> classDescriptors;
};

struct UsbConfigurationSpec {
    uint8_t value = 1;
    std::vector<UsbInterfaceSpec> interfaces;
    // Raw descriptors appended after the interfaces (lets a test make the set longer than a
    // reader's buffer).
    std::vector<uint8_t> trailingDescriptors;
};

struct UsbDeviceSpec {
    uint16_t vendorId = 0x1D50;
    uint16_t productId = 0x9100;
    std::vector<UsbConfigurationSpec> configurations;

    // Behaviour of the bus driver for this device.
    NTSTATUS startStatus = STATUS_SUCCESS;  // how the bus answers the start request
    bool failDeviceDescriptor = false;
    int failConfigurationIndex = -1;  // a configuration descriptor read that fails
    bool refuseSelectConfiguration = false;
    uint32_t maximumTransferSize = 1u << 20;  // the most the bus grants for a pipe
    // Transfers that could complete at once are completed from the bus's own thread instead of
    // the submitting one.
    bool completeFromBusThread = false;
    // System-to-device power table reported in the device capabilities.
    DEVICE_POWER_STATE deviceStateFor[PowerSystemMaximum] = {
        PowerDeviceUnspecified, PowerDeviceD0, PowerDeviceD3, PowerDeviceD3,
        PowerDeviceD3,          PowerDeviceD3, PowerDeviceD3};

    // The instrument as built: configuration value 1, interface 0 with bulk IN 0x81 and bulk
    // OUT 0x02 of 512-byte packets.
    static UsbDeviceSpec instrument();
};

// Serialised descriptor bytes of a spec, as the device returns them.
std::vector<uint8_t> deviceDescriptorBytes(const UsbDeviceSpec& spec);
std::vector<uint8_t> configurationDescriptorBytes(const UsbConfigurationSpec& config);

// What the bus has seen of one device.
struct UsbTrafficCounts {
    unsigned descriptorReads = 0;
    unsigned selectConfigurations = 0;  // including deconfiguration
    unsigned bulkInTransfers = 0;       // submitted
    unsigned bulkOutTransfers = 0;
    unsigned pipeAborts = 0;
    unsigned pipeResets = 0;
    unsigned lastBulkInLength = 0;  // requested length of the latest IN transfer
    unsigned lastBulkOutLength = 0;
    uint8_t configurationValue = 0;  // 0: unconfigured
};

}  // namespace lumatrace::host
