// Versions of the driver, the device library, the instrument's firmware and
// its FPGA, as the version dialog shows them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumatrace {

inline constexpr std::size_t kDeviceInfoSize = 26;
inline constexpr std::size_t kFirmwareVersionByte = 24;
inline constexpr std::size_t kFpgaVersionByte = 25;

// What the version dialog asks of the device session.
class VersionSource {
  public:
    virtual ~VersionSource() = default;
    virtual bool DeviceReady() const = 0;
    virtual bool ReadDeviceInfo(std::array<std::uint8_t, kDeviceInfoSize>& info) = 0;
    virtual bool ReadVersion(std::uint32_t& driverVersion, std::uint32_t& libraryVersion) = 0;
};

struct VersionValues {
    long double driver = 0.0L;
    long double library = 0.0L;
    long double firmware = 0.0L;
    long double fpga = 0.0L;
};

// A version word: (byte 3 x 10 + byte 2) + byte 1 x 0.1 + byte 0 x 0.01,
// bytes counted from the least significant.
long double DecodeVersionWord(std::uint32_t word);
// A version byte: value div 100 + (value mod 100) x 0.01.
long double DecodeVersionByte(std::uint8_t value);

// Reads the four versions once; all 0 without a ready device or when a read
// fails. A null source counts as no device.
VersionValues ReadVersionValues(VersionSource* source);

// The four label texts, "  Drv Version\t:   %5.2f" and so on.
std::array<std::string, 4> FormatVersionLines(const VersionValues& values);

}  // namespace lumatrace
