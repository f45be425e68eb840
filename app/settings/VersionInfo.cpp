#include "app/settings/VersionInfo.h"

#include <cstdio>

namespace lumatrace {

long double DecodeVersionWord(std::uint32_t word) {
    const auto byte = [word](int i) { return static_cast<long double>((word >> (8 * i)) & 0xFFu); };
    return (byte(3) * 10.0L + byte(2)) + byte(1) * 0.1L + byte(0) * 0.01L;
}

long double DecodeVersionByte(std::uint8_t value) {
    return static_cast<long double>(value / 100) + static_cast<long double>(value % 100) * 0.01L;
}

VersionValues ReadVersionValues(VersionSource* source) {
    VersionValues v;
    if (source == nullptr || !source->DeviceReady()) {
        return v;
    }
    std::array<std::uint8_t, kDeviceInfoSize> info{};
    std::uint32_t driver = 0;
    std::uint32_t library = 0;
    if (!source->ReadDeviceInfo(info) || !source->ReadVersion(driver, library)) {
        return v;
    }
    v.driver = DecodeVersionWord(driver);
    v.library = DecodeVersionWord(library);
    v.firmware = DecodeVersionByte(info[kFirmwareVersionByte]);
    v.fpga = DecodeVersionByte(info[kFpgaVersionByte]);
    return v;
}

std::array<std::string, 4> FormatVersionLines(const VersionValues& values) {
    const auto line = [](const char* label, long double value) {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "  %s Version\t:   %5.2Lf", label, value);
        return std::string(buffer);
    };
    return {line("Drv", values.driver), line("DLL", values.library), line("Firm", values.firmware),
            line("FPGA", values.fpga)};
}

}  // namespace lumatrace
