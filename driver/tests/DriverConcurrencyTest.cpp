// Requests from several threads at once while the instrument is cancelled, rebalanced and
// pulled out: no request may be lost, hang or complete with a status it cannot have, and
// nothing may leak. Built to run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "driver/Zep9100.h"
#include "driver/host/HostKernel.h"
#include "driver/host/LoopbackFunction.h"

namespace lumatrace::driver::test {
namespace {

using host::DeviceNode;
using host::HostKernel;
using host::LoopbackFunction;
using host::UsbDeviceSpec;
using host::UserFile;
using host::UserIo;

TEST(DriverConcurrencyTest, ReadsWritesCancellationAndSurpriseRemovalAtOnce) {
    for (bool fromBusThread : {true, false}) {
        SCOPED_TRACE(fromBusThread);
        LoopbackFunction function;
        HostKernel kernel;
        ASSERT_EQ(kernel.loadDriver(DriverEntry, L"Zep9100"), STATUS_SUCCESS);
        UsbDeviceSpec spec = UsbDeviceSpec::instrument();
        spec.completeFromBusThread = fromBusThread;
        DeviceNode& node = kernel.bus().plug(spec, function);
        UserFile* file = nullptr;
        ASSERT_EQ(kernel.io().createFile(L"\\\\.\\Zep9100Device0", &file), STATUS_SUCCESS);

        const std::set<NTSTATUS> allowed = {STATUS_SUCCESS, STATUS_CANCELLED,
                                            STATUS_DEVICE_NOT_CONNECTED, STATUS_DELETE_PENDING};
        std::atomic<uint64_t> written{0}, read{0};
        std::atomic<int> unexpected{0}, finished{0};
        auto worker = [&](bool reader) {
            std::vector<uint8_t> buffer(reader ? 4096 : 1000, 0x5A);
            for (;;) {
                UserIo* io = reader ? kernel.io().readFileAsync(file, buffer.data(), 4096)
                                    : kernel.io().writeFileAsync(file, buffer.data(), 1000);
                ULONG bytes = 0;
                NTSTATUS status = kernel.io().waitIo(io, &bytes);
                if (!allowed.count(status))
                    unexpected++;
                if (status == STATUS_SUCCESS)
                    (reader ? read : written) += bytes;
                if (status == STATUS_DELETE_PENDING)
                    break;
            }
            finished++;
        };
        std::vector<std::thread> threads;
        for (int i = 0; i < 2; ++i)
            threads.emplace_back(worker, true);
        for (int i = 0; i < 2; ++i)
            threads.emplace_back(worker, false);
        std::thread canceller([&] {
            while (finished.load() < 4) {
                kernel.io().cancelIo(file);
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        kernel.bus().unplug(node);
        for (auto& t : threads)
            t.join();
        canceller.join();

        EXPECT_EQ(unexpected.load(), 0);
        EXPECT_GT(written.load(), 0u);
        EXPECT_LE(read.load(), written.load());
        EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
        kernel.settle();
        EXPECT_TRUE(node.removed());
        EXPECT_EQ(kernel.shutdown(), "");
    }
}

TEST(DriverConcurrencyTest, OpensAndRequestsRaceWithRebalanceAndDisable) {
    LoopbackFunction function;
    HostKernel kernel;
    ASSERT_EQ(kernel.loadDriver(DriverEntry, L"Zep9100"), STATUS_SUCCESS);
    DeviceNode& node = kernel.bus().plug(UsbDeviceSpec::instrument(), function);
    std::atomic<bool> stop{false};
    std::atomic<int> versions{0}, unexpected{0};
    std::thread user([&] {
        while (!stop.load()) {
            UserFile* file = nullptr;
            NTSTATUS status = kernel.io().createFile(L"\\\\.\\Zep9100Device0", &file);
            if (status == STATUS_OBJECT_NAME_NOT_FOUND)
                break;  // disabled
            if (status == STATUS_DELETE_PENDING)
                continue;  // in the middle of the removal
            if (status != STATUS_SUCCESS) {
                ADD_FAILURE() << "open: " << host::statusName(status);
                unexpected++;
                continue;
            }
            uint8_t out[4];
            ULONG bytes = 0;
            status = kernel.io().deviceIoControl(file, IOCTL_ZEP9100_GET_VERSION, nullptr, 0, out,
                                                 4, &bytes);
            if (status == STATUS_SUCCESS && bytes == 4)
                versions++;
            else if (status != STATUS_DELETE_PENDING) {
                ADD_FAILURE() << "version: " << host::statusName(status) << ", " << bytes;
                unexpected++;
            }
            kernel.io().closeHandle(file);
        }
    });
    while (versions.load() < 5)
        std::this_thread::yield();
    for (int i = 0; i < 40; ++i) {
        NTSTATUS status = kernel.pnp().rebalance(node);
        EXPECT_TRUE(status == STATUS_SUCCESS || status == STATUS_DEVICE_BUSY);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    NTSTATUS disabled;
    do {
        disabled = kernel.pnp().disable(node);
    } while (disabled == STATUS_DEVICE_BUSY);
    EXPECT_EQ(disabled, STATUS_SUCCESS);
    stop = true;
    user.join();
    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_GT(versions.load(), 0);
    EXPECT_EQ(kernel.shutdown(), "");
}

}  // namespace
}  // namespace lumatrace::driver::test
