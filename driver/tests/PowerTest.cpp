// Power handling through the host power manager: sleep refused while the instrument is in use,
// the device following the system to sleep and back, power-up on the next open, and power
// requests after the instrument is gone.
#include "driver/tests/DriverTestSupport.h"

namespace lumatrace::driver::test {
namespace {

class PowerTest : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        node = &plug();
        ASSERT_EQ(node->startStatus(), STATUS_SUCCESS);
    }
    DEVICE_POWER_STATE deviceState() { return kernel.power().reportedDeviceState(fdo(*node)); }
    DEVICE_POWER_STATE busState() { return kernel.power().reportedDeviceState(node->pdo()); }
    DeviceNode* node = nullptr;
};

TEST_F(PowerTest, StandbyIsVetoedWhileOpenAndAllowedWhenClosed) {
    UserFile* file = open();
    EXPECT_EQ(kernel.power().setSystemState(PowerSystemSleeping3), STATUS_DEVICE_BUSY);
    EXPECT_EQ(kernel.power().systemState(), PowerSystemWorking);
    EXPECT_EQ(deviceState(), PowerDeviceD0);
    function().queueIn(pattern(8));
    std::vector<uint8_t> buffer(8);
    ULONG bytes = 0;
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);  // the vetoed query held nothing
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);

    EXPECT_EQ(kernel.power().setSystemState(PowerSystemSleeping3), STATUS_SUCCESS);
    EXPECT_EQ(deviceState(), PowerDeviceD3);
    EXPECT_EQ(busState(), PowerDeviceD3);
}

TEST_F(PowerTest, ResumeLeavesTheDeviceAsleepUntilTheNextOpen) {
    ASSERT_EQ(kernel.power().setSystemState(PowerSystemSleeping3), STATUS_SUCCESS);
    ASSERT_EQ(kernel.power().setSystemState(PowerSystemWorking), STATUS_SUCCESS);
    kernel.settle();
    EXPECT_EQ(deviceState(), PowerDeviceD3);
    EXPECT_EQ(busState(), PowerDeviceD3);

    UserFile* file = open();
    EXPECT_EQ(deviceState(), PowerDeviceD0);
    EXPECT_EQ(busState(), PowerDeviceD0);
    function().queueIn(pattern(8));
    std::vector<uint8_t> buffer(8);
    ULONG bytes = 0;
    EXPECT_EQ(read(file, buffer, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
}

TEST_F(DriverTest, SleepStatesMapThroughTheCapabilitiesTable) {
    UsbDeviceSpec spec = UsbDeviceSpec::instrument();
    spec.deviceStateFor[PowerSystemSleeping1] = PowerDeviceD2;
    spec.deviceStateFor[PowerSystemSleeping2] = PowerDeviceUnspecified;  // stays as it is
    DeviceNode& node = plug(spec);
    struct Case {
        SYSTEM_POWER_STATE system;
        DEVICE_POWER_STATE device;
    };
    for (const Case& c :
         {Case{PowerSystemSleeping2, PowerDeviceD0}, Case{PowerSystemSleeping1, PowerDeviceD2},
          Case{PowerSystemHibernate, PowerDeviceD3}}) {
        SCOPED_TRACE(c.system);
        EXPECT_EQ(kernel.power().setSystemState(c.system), STATUS_SUCCESS);
        EXPECT_EQ(kernel.power().reportedDeviceState(fdo(node)), c.device);
        EXPECT_EQ(kernel.power().setSystemState(PowerSystemWorking), STATUS_SUCCESS);
        EXPECT_EQ(kernel.power().reportedDeviceState(fdo(node)), c.device);
    }
}

// The power manager sends its next request as soon as one has completed, which may be while the
// thread that completed it is still on its way out of the driver. A sleep that takes the device
// down completes in the thread of the device request; holding that thread there, the wake and
// the deeper sleep that follow must find nothing of the first sleep still counted as in progress.
TEST_F(PowerTest, SleepRightAfterASleepIsNotVetoed) {
    kernel.power().holdNextCompletingThread();
    ASSERT_EQ(kernel.power().setSystemState(PowerSystemSleeping3), STATUS_SUCCESS);
    ASSERT_TRUE(kernel.power().completingThreadHeld());
    EXPECT_EQ(deviceState(), PowerDeviceD3);
    EXPECT_EQ(kernel.power().setSystemState(PowerSystemWorking), STATUS_SUCCESS);
    EXPECT_EQ(kernel.power().setSystemState(PowerSystemHibernate), STATUS_SUCCESS);
    EXPECT_EQ(kernel.power().systemState(), PowerSystemHibernate);
    kernel.power().releaseCompletingThread();
}

// A wake that finds requests held powers the device up before the system request completes, in
// the thread of the device request; holding that thread there, the held read has been served,
// and once its handle is closed a sleep query is not refused by the wake just finished.
TEST_F(PowerTest, QueryRightAfterAWakeThatPoweredTheDeviceUpIsNotVetoed) {
    UserFile* file = open();
    // A critical sleep comes without a query, so the open handle cannot refuse it.
    ASSERT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_SET_POWER, PowerSystemSleeping3),
              STATUS_SUCCESS);
    ASSERT_EQ(deviceState(), PowerDeviceD3);
    // The device cannot be powered up for this read, so it is held until the wake.
    kernel.power().refuseNextRequest(STATUS_UNSUCCESSFUL);
    function().queueIn(pattern(8));
    std::vector<uint8_t> buffer(8);
    UserIo* io = kernel.io().readFileAsync(file, buffer.data(), static_cast<ULONG>(buffer.size()));
    kernel.settle();
    ASSERT_FALSE(kernel.io().ioDone(io));

    kernel.power().holdNextCompletingThread();
    ASSERT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_SET_POWER, PowerSystemWorking),
              STATUS_SUCCESS);
    ASSERT_TRUE(kernel.power().completingThreadHeld());
    EXPECT_EQ(deviceState(), PowerDeviceD0);
    ULONG bytes = 0;
    EXPECT_EQ(kernel.io().waitIo(io, &bytes), STATUS_SUCCESS);
    EXPECT_EQ(buffer, pattern(8));
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
    EXPECT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_QUERY_POWER, PowerSystemSleeping3),
              STATUS_SUCCESS);
    kernel.power().releaseCompletingThread();
    // The sleep does not happen after all: the power manager confirms the working state.
    EXPECT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_SET_POWER, PowerSystemWorking),
              STATUS_SUCCESS);
}

TEST_F(PowerTest, PowerRequestsAfterUnplugFailWithDeletePending) {
    UserFile* file = open();
    kernel.bus().unplug(*node);  // the open handle keeps the stack until it is closed
    EXPECT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_QUERY_POWER, PowerSystemSleeping3),
              STATUS_DELETE_PENDING);
    EXPECT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_SET_POWER, PowerSystemWorking),
              STATUS_DELETE_PENDING);
    EXPECT_EQ(kernel.io().closeHandle(file), STATUS_SUCCESS);
}

TEST_F(PowerTest, SleepFailsWhenTheDeviceRequestCannotBeMade) {
    struct Case {
        const char* name;
        NTSTATUS expected;
        bool poolFails;
    };
    for (const Case& c :
         {Case{"power manager refuses", STATUS_NO_SUCH_DEVICE, false},
          Case{"no pool for the bookkeeping", STATUS_INSUFFICIENT_RESOURCES, true}}) {
        SCOPED_TRACE(c.name);
        if (c.poolFails)
            kernel.pool().failAllocations(kTagPower);
        else
            kernel.power().refuseNextRequest(STATUS_NO_SUCH_DEVICE);
        EXPECT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_SET_POWER, PowerSystemSleeping3),
                  c.expected);
        EXPECT_EQ(deviceState(), PowerDeviceD0);
        EXPECT_EQ(kernel.power().sendSystemRequest(*node, IRP_MN_SET_POWER, PowerSystemWorking),
                  STATUS_SUCCESS);
    }
}

}  // namespace
}  // namespace lumatrace::driver::test
