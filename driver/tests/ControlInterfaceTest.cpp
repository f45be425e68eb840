// The driver's control interface as user mode sees it: opening, reads and writes through the
// bulk pipes, the version control code, and the statuses the USB stack reports.
#include "driver/tests/DriverTestSupport.h"

namespace lumatrace::driver::test {
namespace {

using host::UsbBus;

class ControlInterfaceTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        node = &plug();
        ASSERT_EQ(node->startStatus(), STATUS_SUCCESS);
        file = open();
        ASSERT_NE(file, nullptr);
    }
    void TearDown() override {
        if (file) {
            EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
        }
        DriverTest::TearDown();
    }
    DeviceNode* node = nullptr;
    UserFile* file = nullptr;
};

TEST_F(ControlInterfaceTest, SecondOpenIsRefusedWhileTheFirstHandleIsOpen) {
    UserFile* second = nullptr;
    EXPECT_EQ(kernel.io().createFile(userPath(0), &second), STATUS_ACCESS_DENIED);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    file = open();
    EXPECT_NE(file, nullptr);
}

TEST_F(ControlInterfaceTest, ZeroLengthReadCompletesWithoutBusTraffic) {
    std::vector<uint8_t> buffer;
    ULONG bytes = 99;
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(node->traffic().bulkInTransfers, 0u);
}

TEST_F(ControlInterfaceTest, LongReadsMoveAtMostOneMaximumTransfer) {
    for (ULONG length : {100000u, 70000u}) {
        SCOPED_TRACE(length);
        std::vector<uint8_t> data = pattern(length, static_cast<uint8_t>(length));
        function().queueIn(data);
        std::vector<uint8_t> buffer(length, 0);
        ULONG bytes = 0;
        EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
        EXPECT_EQ(bytes, 65536u);
        EXPECT_EQ(node->traffic().lastBulkInLength, 65536u);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + 65536, buffer.begin()));
        // What the instrument had beyond one transfer is still there for the next read.
        EXPECT_EQ(function().queuedInBytes(), length - 65536);
        std::vector<uint8_t> rest(length);
        EXPECT_EQ(read(file, rest, &bytes), STATUS_SUCCESS);
        EXPECT_EQ(bytes, length - 65536);
    }
}

TEST_F(ControlInterfaceTest, ShortPacketEndsTheReadWithWhatArrived) {
    function().queueIn(pattern(64));
    std::vector<uint8_t> buffer(512);
    ULONG bytes = 0;
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 64u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 64, pattern(64).begin()));
}

TEST_F(ControlInterfaceTest, WritesGoToTheBulkOutPipe) {
    std::vector<uint8_t> data = pattern(70000, 9);
    ULONG bytes = 0;
    EXPECT_EQ(write(file, data, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 65536u);
    std::vector<uint8_t> received = function().received();
    ASSERT_EQ(received.size(), 65536u);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), data.begin()));

    std::vector<uint8_t> none;
    EXPECT_EQ(write(file, none, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(node->traffic().bulkOutTransfers, 1u);
}

TEST_F(ControlInterfaceTest, VersionControlCode) {
    struct Case {
        ULONG code;
        ULONG outLength;
        NTSTATUS status;
        ULONG bytes;
    };
    const ULONG nextFunction =
        CTL_CODE(FILE_DEVICE_UNKNOWN, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS);
    for (const Case& c :
         {Case{0x00222000, 8, STATUS_SUCCESS, 4}, Case{0x00222000, 4, STATUS_SUCCESS, 4},
          Case{0x00222000, 3, STATUS_INVALID_PARAMETER, 0},
          Case{0x00222000, 0, STATUS_INVALID_PARAMETER, 0},
          Case{nextFunction, 8, STATUS_INVALID_PARAMETER, 0}}) {
        SCOPED_TRACE(testing::Message()
                     << std::hex << c.code << " out " << std::dec << c.outLength);
        uint8_t in[2] = {0x55, 0x66};  // ignored
        uint8_t out[8];
        std::memset(out, 0xEE, sizeof out);
        ULONG bytes = 99;
        EXPECT_EQ(
            kernel.io().deviceIoControl(file, c.code, in, sizeof in, out, c.outLength, &bytes),
            c.status);
        EXPECT_EQ(bytes, c.bytes);
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{0, 0, 1, 0}));
            EXPECT_EQ(out[4], 0xEE);
        } else {
            EXPECT_EQ(out[0], 0xEE);
        }
    }
    EXPECT_EQ(node->traffic().bulkInTransfers + node->traffic().bulkOutTransfers, 0u);
}

TEST_F(ControlInterfaceTest, RequestKindsTheDriverDoesNotServeAreInvalid) {
    EXPECT_EQ(kernel.io().flushFileBuffers(file), STATUS_INVALID_DEVICE_REQUEST);
}

TEST_F(ControlInterfaceTest, UsbStackStatusReachesTheCallerUnchanged) {
    function().stallNextIn();
    std::vector<uint8_t> buffer(512);
    ULONG bytes = 99;
    EXPECT_EQ(read(file, buffer, &bytes), UsbBus::kStallStatus);
    EXPECT_EQ(bytes, 0u);
    // No retry and no reset by the driver: the halted pipe keeps failing.
    function().queueIn(pattern(16));
    EXPECT_EQ(read(file, buffer, &bytes), UsbBus::kStallStatus);
    EXPECT_EQ(node->traffic().pipeResets, 0u);
    EXPECT_EQ(node->traffic().bulkInTransfers, 2u);
}

TEST_F(ControlInterfaceTest, PoolFailureFailsOnlyThatTransfer) {
    for (ULONG tag : {kTagTransfer, kTagUrb}) {
        SCOPED_TRACE(tag);
        kernel.pool().failAllocations(tag);
        std::vector<uint8_t> buffer(512);
        ULONG bytes = 99;
        EXPECT_EQ(read(file, buffer, &bytes), STATUS_INSUFFICIENT_RESOURCES);
        EXPECT_EQ(bytes, 0u);
        EXPECT_EQ(node->traffic().bulkInTransfers, 0u);
    }
    function().queueIn(pattern(512));
    std::vector<uint8_t> buffer(512);
    ULONG bytes = 0;
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 512u);
    EXPECT_EQ(kernel.pool().outstanding(kTagTransfer), 0u);
}

TEST_F(ControlInterfaceTest, PendingReadCompletesWhenDataArrivesAndCanBeCancelled) {
    std::vector<uint8_t> buffer(512);
    UserIo* io = kernel.io().readFileAsync(file, buffer.data(), 512);
    kernel.settle();
    EXPECT_FALSE(kernel.io().ioDone(io));
    function().queueIn(pattern(100));
    ULONG bytes = 0;
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 100u);

    io = kernel.io().readFileAsync(file, buffer.data(), 512);
    kernel.io().cancelIo(file);
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), UsbBus::kCancelledStatus);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(ControlInterfaceTest, ClosingTheHandleCancelsItsReadInTheUsbStack) {
    std::vector<uint8_t> buffer(512);
    UserIo* io = kernel.io().readFileAsync(file, buffer.data(), 512);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    file = nullptr;
    ULONG bytes = 99;
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), UsbBus::kCancelledStatus);
    EXPECT_EQ(bytes, 0u);
    kernel.settle();
    file = open();  // the exclusive device is free again
    EXPECT_NE(file, nullptr);
}

// A device that lacks one bulk endpoint starts; the missing pipe fails cleanly.
TEST_F(DriverTest, MissingBulkEndpointLeavesThatPipeUnbound) {
    UsbDeviceSpec spec = UsbDeviceSpec::instrument();
    spec.configurations[0].interfaces[0].endpoints = {{0x81, 2, 512, 0}};
    DeviceNode& node = plug(spec);
    ASSERT_EQ(node.startStatus(), STATUS_SUCCESS);
    UserFile* file = open();
    ULONG bytes = 99;
    EXPECT_EQ(write(file, pattern(10), &bytes), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(bytes, 0u);
    function().queueIn(pattern(10));
    std::vector<uint8_t> buffer(10);
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 10u);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
}

TEST(DriverLinkPrefixTest, RegistryChoosesWhereTheLinkIsCreated) {
    const std::wstring control = L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class";
    const std::wstring services =
        L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Class";
    struct Case {
        bool controlClass;
        bool servicesClass;
        const wchar_t* link;
    };
    for (const Case& c :
         {Case{true, false, L"\\??\\Zep9100Device0"}, Case{true, true, L"\\??\\Zep9100Device0"},
          Case{false, false, L"\\??\\Zep9100Device0"},
          Case{false, true, L"\\DosDevices\\Zep9100Device0"}}) {
        SCOPED_TRACE(testing::Message() << c.controlClass << c.servicesClass);
        LoopbackFunction function;
        HostKernel kernel;
        if (!c.controlClass)
            kernel.registry().deleteKey(control);
        if (c.servicesClass)
            kernel.registry().createKey(services);
        ASSERT_EQ(kernel.loadDriver(DriverEntry, L"Zep9100"), STATUS_SUCCESS);
        kernel.bus().plug(UsbDeviceSpec::instrument(), function);
        EXPECT_EQ(kernel.io().symbolicLinkNames(), std::vector<std::wstring>{c.link});
        UserFile* file = nullptr;
        EXPECT_EQ(kernel.io().createFile(userPath(0), &file), STATUS_SUCCESS);
        EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
        EXPECT_EQ(kernel.registry().openHandles(), 0u);
        EXPECT_EQ(kernel.shutdown(), "");
    }
}

}  // namespace
}  // namespace lumatrace::driver::test
