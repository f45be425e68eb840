// Test fixture for the driver on the host kernel model: the driver loaded, the instrument's
// function behind the virtual bus, and helpers for the user-mode side.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "driver/Zep9100.h"
#include "driver/host/HostKernel.h"
#include "driver/host/LoopbackFunction.h"

namespace lumatrace::driver::test {

using host::DeviceNode;
using host::HostKernel;
using host::LoopbackFunction;
using host::UsbDeviceSpec;
using host::UserFile;
using host::UserIo;

inline std::wstring userPath(int n) {
    return L"\\\\.\\Zep9100Device" + std::to_wstring(n);
}
inline std::wstring devicePath(int n) {
    return L"\\Device\\Zep9100Device" + std::to_wstring(n);
}

inline std::vector<uint8_t> pattern(size_t n, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 8));
    return bytes;
}

class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(kernel.loadDriver(DriverEntry, L"Zep9100"), STATUS_SUCCESS); }
    void TearDown() override { EXPECT_EQ(kernel.shutdown(), ""); }

    DeviceNode& plug(const UsbDeviceSpec& spec = UsbDeviceSpec::instrument()) {
        functions.emplace_back();
        return kernel.bus().plug(spec, functions.back());
    }
    LoopbackFunction& function() { return functions.back(); }

    UserFile* open(int n = 0) {
        UserFile* file = nullptr;
        EXPECT_EQ(kernel.io().createFile(userPath(n), &file), STATUS_SUCCESS);
        return file;
    }
    NTSTATUS read(UserFile* file, std::vector<uint8_t>& buffer, ULONG* bytes) {
        return kernel.io().readFile(file, buffer.data(), static_cast<ULONG>(buffer.size()), bytes);
    }
    NTSTATUS write(UserFile* file, const std::vector<uint8_t>& data, ULONG* bytes) {
        return kernel.io().writeFile(file, data.data(), static_cast<ULONG>(data.size()), bytes);
    }
    static PDEVICE_OBJECT fdo(DeviceNode& node) { return node.pdo()->AttachedDevice; }

    std::deque<LoopbackFunction> functions;  // outlive the kernel's devices
    HostKernel kernel;
};

}  // namespace lumatrace::driver::test
