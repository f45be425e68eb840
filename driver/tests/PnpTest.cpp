// Plug and play through the host PnP manager: starting with the instrument's descriptor
// variants, refusals while in use, removal with and without open handles, unplugging, and the
// requests held while the device cannot take them.
#include "driver/tests/DriverTestSupport.h"

namespace lumatrace::driver::test {
namespace {

using host::UsbBus;
using host::UsbConfigurationSpec;
using host::UsbEndpointSpec;

class PnpTest : public DriverTest {
  protected:
    // A read that must be held: it neither completes nor reaches the bus.
    UserIo* heldRead(UserFile* file, std::vector<uint8_t>& buffer, DeviceNode& node) {
        unsigned before = node.traffic().bulkInTransfers;
        UserIo* io =
            kernel.io().readFileAsync(file, buffer.data(), static_cast<ULONG>(buffer.size()));
        kernel.settle();
        EXPECT_FALSE(kernel.io().ioDone(io));
        EXPECT_EQ(node.traffic().bulkInTransfers, before);
        return io;
    }
};

TEST_F(PnpTest, StartFailures) {
    struct Case {
        const char* name;
        void (*change)(UsbDeviceSpec&);
        NTSTATUS status;
    };
    const Case cases[] = {
        {"lower driver fails the start",
         [](UsbDeviceSpec& s) { s.startStatus = STATUS_NO_SUCH_DEVICE; }, STATUS_NO_SUCH_DEVICE},
        {"device descriptor unreadable", [](UsbDeviceSpec& s) { s.failDeviceDescriptor = true; },
         STATUS_UNSUCCESSFUL},
        {"configuration descriptor unreadable",
         [](UsbDeviceSpec& s) { s.failConfigurationIndex = 0; }, STATUS_UNSUCCESSFUL},
        {"no configuration with value 1", [](UsbDeviceSpec& s) { s.configurations[0].value = 2; },
         STATUS_UNSUCCESSFUL},
        {"no interface 0", [](UsbDeviceSpec& s) { s.configurations[0].interfaces[0].number = 1; },
         STATUS_UNSUCCESSFUL},
        {"no alternate setting 0",
         [](UsbDeviceSpec& s) { s.configurations[0].interfaces[0].alternateSetting = 1; },
         STATUS_UNSUCCESSFUL},
        {"selection refused", [](UsbDeviceSpec& s) { s.refuseSelectConfiguration = true; },
         STATUS_UNSUCCESSFUL},
        {"interface without pipes",
         [](UsbDeviceSpec& s) { s.configurations[0].interfaces[0].endpoints.clear(); },
         STATUS_UNSUCCESSFUL},
    };
    int number = 0;  // add-device succeeds each time, so each device takes a number
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbDeviceSpec spec = UsbDeviceSpec::instrument();
        c.change(spec);
        DeviceNode& node = plug(spec);
        EXPECT_EQ(node.addStatus(), STATUS_SUCCESS);
        EXPECT_EQ(node.startStatus(), c.status);
        // The PnP manager removes a device that failed to start.
        EXPECT_TRUE(node.removed());
        EXPECT_FALSE(kernel.io().deviceObjectExists(devicePath(number)));
        UserFile* file = nullptr;
        EXPECT_EQ(kernel.io().createFile(userPath(number), &file), STATUS_OBJECT_NAME_NOT_FOUND);
        EXPECT_EQ(
            kernel.pool().outstanding(kTagDescriptor) + kernel.pool().outstanding(kTagInterface),
            0u);
        kernel.bus().unplug(node);
        ++number;
    }
}

TEST_F(PnpTest, NoMemoryForTheSelectionFailsTheStart) {
    kernel.pool().failAllocations(host::Pool::kUsbdTag);
    DeviceNode& node = plug();
    EXPECT_EQ(node.startStatus(), STATUS_UNSUCCESSFUL);
}

TEST_F(PnpTest, StartsThatSucceedAndReadAFullTransfer) {
    struct Case {
        const char* name;
        void (*change)(UsbDeviceSpec&);
    };
    const Case cases[] = {
        {"configuration value 2 first, then 1",
         [](UsbDeviceSpec& s) {
             UsbConfigurationSpec other = s.configurations[0];
             other.value = 2;
             other.interfaces[0].endpoints = {{0x83, 2, 64, 0}};
             s.configurations.insert(s.configurations.begin(), other);
         }},
        {"extra interrupt endpoint",
         [](UsbDeviceSpec& s) {
             s.configurations[0].interfaces[0].endpoints.insert(
                 s.configurations[0].interfaces[0].endpoints.begin(),
                 UsbEndpointSpec{0x83, 3, 16, 10});
         }},
        {"class descriptor before the endpoints",
         [](UsbDeviceSpec& s) {
             s.configurations[0].interfaces[0].classDescriptors = {5, 0x24, 1, 2, 3};
         }},
        {"descriptor set longer than the driver's buffer",
         [](UsbDeviceSpec& s) {
             std::vector<uint8_t> filler;
             for (int i = 0; i < 300; ++i)
                 filler.insert(filler.end(), {7, 0x21, 0, 0, 0, 0, 0});
             s.configurations[0].trailingDescriptors = filler;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbDeviceSpec spec = UsbDeviceSpec::instrument();
        c.change(spec);
        DeviceNode& node = plug(spec);
        ASSERT_EQ(node.startStatus(), STATUS_SUCCESS);
        EXPECT_EQ(node.traffic().configurationValue, 1);
        UserFile* file = open(int(functions.size()) - 1);
        function().queueIn(pattern(100000));
        std::vector<uint8_t> buffer(100000);
        ULONG bytes = 0;
        // The full 65,536 bytes show that the bulk IN pipe got its maximum transfer size.
        EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
        EXPECT_EQ(bytes, 65536u);
        EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
        kernel.bus().unplug(node);
    }
}

TEST_F(PnpTest, DisableAndRebalanceAreRefusedWhileOpen) {
    DeviceNode& node = plug();
    UserFile* file = open();
    EXPECT_EQ(kernel.pnp().disable(node), STATUS_DEVICE_BUSY);
    EXPECT_EQ(kernel.pnp().rebalance(node), STATUS_DEVICE_BUSY);
    // Still fully working after the cancelled queries.
    function().queueIn(pattern(32));
    std::vector<uint8_t> buffer(32);
    ULONG bytes = 0;
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 32u);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);

    EXPECT_EQ(kernel.pnp().rebalance(node), STATUS_SUCCESS);
    EXPECT_EQ(node.traffic().configurationValue, 1);
    file = open();
    function().queueIn(pattern(32));
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);

    EXPECT_EQ(kernel.pnp().disable(node), STATUS_SUCCESS);
    EXPECT_FALSE(kernel.io().deviceObjectExists(devicePath(0)));
    EXPECT_TRUE(kernel.io().symbolicLinkNames().empty());
}

TEST_F(PnpTest, RemovalWithAHandleOpenKeepsTheDeviceObjectUntilClose) {
    DeviceNode& node = plug();
    UserFile* file = open();
    EXPECT_EQ(kernel.pnp().removeDevice(node), STATUS_SUCCESS);
    EXPECT_TRUE(kernel.io().deviceObjectExists(devicePath(0)));
    // The link is gone, and the exclusive device cannot be opened under its own name either.
    UserFile* again = nullptr;
    EXPECT_EQ(kernel.io().createFile(userPath(0), &again), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(kernel.io().createFile(devicePath(0), &again), STATUS_ACCESS_DENIED);
    std::vector<uint8_t> buffer(16);
    ULONG bytes = 99;
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_DELETE_PENDING);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    EXPECT_FALSE(kernel.io().deviceObjectExists(devicePath(0)));
}

TEST_F(PnpTest, OpenAfterSurpriseRemovalFailsWithDeletePending) {
    DeviceNode& node = plug();
    kernel.bus().disconnect(node);
    EXPECT_EQ(kernel.pnp().surpriseRemoval(node), STATUS_SUCCESS);
    // Before the PnP manager's remove-device arrives, the object still answers opens.
    UserFile* file = nullptr;
    EXPECT_EQ(kernel.io().createFile(userPath(0), &file), STATUS_DELETE_PENDING);
    EXPECT_EQ(kernel.pnp().removeDevice(node), STATUS_SUCCESS);
    EXPECT_FALSE(kernel.io().deviceObjectExists(devicePath(0)));
}

TEST_F(PnpTest, UnplugWithAReadPending) {
    DeviceNode& node = plug();
    UserFile* file = open();
    std::vector<uint8_t> buffer(512);
    UserIo* io = kernel.io().readFileAsync(file, buffer.data(), 512);
    kernel.bus().unplug(node);
    ULONG bytes = 99;
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), UsbBus::kDeviceGoneStatus);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_DELETE_PENDING);
    EXPECT_EQ(write(file, pattern(4), &bytes), STATUS_DELETE_PENDING);
    EXPECT_FALSE(node.removed());  // remove-device waits for the handle
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    kernel.settle();
    EXPECT_TRUE(node.removed());
    EXPECT_FALSE(kernel.io().deviceObjectExists(devicePath(0)));
}

// A device that pulls itself out is removed by the PnP manager on its own thread: the transfer
// in flight fails, the driver fails later requests, and remove-device follows the last close.
TEST_F(PnpTest, DeviceThatPullsItselfOutIsSurpriseRemoved) {
    for (bool tellTheBus : {true, false}) {
        SCOPED_TRACE(tellTheBus ? "reported by the device" : "found by a transfer");
        DeviceNode& node = plug();
        UserFile* file = open(static_cast<int>(functions.size()) - 1);  // each plug, a new number
        std::vector<uint8_t> buffer(512);
        ULONG bytes = 99;
        if (tellTheBus) {
            UserIo* io = kernel.io().readFileAsync(file, buffer.data(), 512);  // NAK: pending
            kernel.settle();
            EXPECT_FALSE(kernel.io().ioDone(io));
            function().pullOut(true);
            EXPECT_EQ(kernel.io().waitIo(io, &bytes), UsbBus::kDeviceGoneStatus);
        } else {
            function().pullOut(false);
            EXPECT_EQ(read(file, buffer, &bytes), UsbBus::kDeviceGoneStatus);
        }
        EXPECT_EQ(bytes, 0u);
        kernel.settle();
        EXPECT_TRUE(node.surpriseRemoved());
        EXPECT_EQ(read(file, buffer, &bytes), STATUS_DELETE_PENDING);
        EXPECT_EQ(write(file, pattern(4), &bytes), STATUS_DELETE_PENDING);
        EXPECT_FALSE(node.removed());  // remove-device waits for the handle
        EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
        kernel.settle();
        EXPECT_TRUE(node.removed());
        EXPECT_EQ(node.pdo(), nullptr);
    }
}

TEST_F(PnpTest, ReplugGetsTheNextNumber) {
    DeviceNode& first = plug();
    kernel.bus().unplug(first);
    EXPECT_TRUE(first.removed());
    DeviceNode& second = plug();
    ASSERT_EQ(second.startStatus(), STATUS_SUCCESS);
    UserFile* file = nullptr;
    EXPECT_EQ(kernel.io().createFile(userPath(0), &file), STATUS_OBJECT_NAME_NOT_FOUND);
    file = open(1);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
}

TEST_F(PnpTest, FailedAddDeviceDoesNotUseUpANumber) {
    for (bool linkFails : {false, true}) {
        SCOPED_TRACE(linkFails);
        if (linkFails)
            kernel.io().failNextSymbolicLink(STATUS_INSUFFICIENT_RESOURCES);
        else
            kernel.io().failNextDeviceCreation(STATUS_INSUFFICIENT_RESOURCES);
        DeviceNode& failed = plug();
        EXPECT_EQ(failed.addStatus(), STATUS_INSUFFICIENT_RESOURCES);
        EXPECT_FALSE(kernel.io().deviceObjectExists(devicePath(0)));
        kernel.bus().unplug(failed);
    }
    plug();
    UserFile* file = open(0);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
}

TEST_F(PnpTest, RequestsHeldWhileStopPendingRunAfterCancelStop) {
    DeviceNode& node = plug();
    EXPECT_EQ(kernel.pnp().queryStopDevice(node), STATUS_SUCCESS);
    UserFile* file = open();
    std::vector<uint8_t> buffer(64);
    UserIo* io = heldRead(file, buffer, node);
    uint8_t out[4];
    ULONG bytes = 0;
    function().queueIn(pattern(64));
    EXPECT_EQ(kernel.pnp().cancelStopDevice(node), STATUS_SUCCESS);
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 64u);
    EXPECT_EQ(
        kernel.io().deviceIoControl(file, IOCTL_ZEP9100_GET_VERSION, nullptr, 0, out, 4, &bytes),
        STATUS_SUCCESS);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
}

TEST_F(PnpTest, RequestsHeldWhileStoppedRunAfterTheNextStart) {
    DeviceNode& node = plug();
    EXPECT_EQ(kernel.pnp().queryStopDevice(node), STATUS_SUCCESS);
    EXPECT_EQ(kernel.pnp().stopDevice(node), STATUS_SUCCESS);
    EXPECT_EQ(node.traffic().configurationValue, 0);
    UserFile* file = open();
    std::vector<uint8_t> buffer(64);
    UserIo* io = heldRead(file, buffer, node);
    function().queueIn(pattern(64));
    EXPECT_EQ(kernel.pnp().startDevice(node), STATUS_SUCCESS);
    ULONG bytes = 0;
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 64u);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
}

TEST_F(PnpTest, HeldRequestsAreCancelledByTheirHandlesCleanupAndByCancelIo) {
    DeviceNode& node = plug();
    EXPECT_EQ(kernel.pnp().queryStopDevice(node), STATUS_SUCCESS);
    UserFile* file = open();
    std::vector<uint8_t> first(8), second(8);
    UserIo* cancelled = heldRead(file, first, node);
    kernel.io().cancelIo(file);
    ULONG bytes = 99;
    EXPECT_EQ(kernel.io().waitIo(cancelled, &bytes), STATUS_CANCELLED);
    EXPECT_EQ(bytes, 0u);

    UserIo* cleaned = heldRead(file, second, node);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    EXPECT_EQ(kernel.io().waitIo(cleaned, &bytes), STATUS_CANCELLED);
    EXPECT_EQ(kernel.pnp().cancelStopDevice(node), STATUS_SUCCESS);
    EXPECT_EQ(node.traffic().bulkInTransfers, 0u);
}

TEST_F(PnpTest, HeldRequestsFailAtRemoval) {
    DeviceNode& node = plug();
    EXPECT_EQ(kernel.pnp().queryRemoveDevice(node), STATUS_SUCCESS);
    UserFile* file = open();
    std::vector<uint8_t> buffer(8);
    UserIo* io = heldRead(file, buffer, node);
    EXPECT_EQ(kernel.pnp().removeDevice(node), STATUS_SUCCESS);
    ULONG bytes = 99;
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), STATUS_DELETE_PENDING);
    EXPECT_EQ(bytes, 0u);
    EXPECT_TRUE(kernel.io().deviceObjectExists(devicePath(0)));
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    EXPECT_FALSE(kernel.io().deviceObjectExists(devicePath(0)));
}

TEST_F(PnpTest, HeldRequestsFailAtSurpriseRemoval) {
    DeviceNode& node = plug();
    EXPECT_EQ(kernel.pnp().queryStopDevice(node), STATUS_SUCCESS);
    UserFile* file = open();
    std::vector<uint8_t> buffer(8);
    UserIo* io = heldRead(file, buffer, node);
    kernel.bus().unplug(node);
    ULONG bytes = 99;
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), STATUS_DELETE_PENDING);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    kernel.settle();
    EXPECT_TRUE(node.removed());
}

TEST_F(PnpTest, OtherMinorFunctionsPassToTheBusUnchanged) {
    DeviceNode& node = plug();
    EXPECT_EQ(kernel.pnp().sendRequest(node, IRP_MN_QUERY_ID), STATUS_NOT_SUPPORTED);
    EXPECT_EQ(kernel.pnp().sendRequest(node, IRP_MN_QUERY_PNP_DEVICE_STATE), STATUS_NOT_SUPPORTED);
}

}  // namespace
}  // namespace lumatrace::driver::test
