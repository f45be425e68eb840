// The live path's kernel side: an instrument that pulls its own plug is
// reported by the virtual USB bus, the plug-and-play manager removes it from
// the driver, and the transport sees the driver fail its requests.
#include "device/library/DriverTransport.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/include/zep9100.h"

namespace lumatrace::device {
namespace {

// STATUS_DELETE_PENDING, as the transport reports a system error.
constexpr ErrorWord kDeletePending = ZEP9100_ERR_SYSTEM | (0x0056u << 16);

TEST(DeviceDriverTransport, UnpluggedInstrumentIsSurpriseRemovedFromTheDriver) {
    VirtualConfig config;
    ASSERT_TRUE(applyVirtualConfig("unplug = 50ms", config).empty());
    DriverBus bus(config);
    ASSERT_EQ(bus.deviceCount(), 1u);
    EXPECT_TRUE(bus.pnpState(0).started);
    std::unique_ptr<Transport> t = bus.transport(0);
    ASSERT_EQ(t->open(), 0u);
    uint32_t version = 0;
    EXPECT_EQ(t->queryVersion(version), 0u);

    // Nothing to read: the transfer waits in the bus until the plug goes.
    std::vector<uint8_t> buffer(Transport::kMaxTransfer);
    std::size_t got = 99;
    EXPECT_EQ(t->read(buffer.data(), buffer.size(), got), ZEP9100_ERR_TRANSFER_FAIL);
    EXPECT_EQ(got, 0u);
    DriverBus::PnpState state = bus.pnpState(0);
    EXPECT_TRUE(state.surpriseRemoved);
    EXPECT_FALSE(state.started);
    EXPECT_FALSE(state.removed);  // remove-device waits for the handle

    // From here the driver itself refuses the handle's requests.
    EXPECT_EQ(t->queryVersion(version), kDeletePending);
    EXPECT_EQ(t->read(buffer.data(), buffer.size(), got), ZEP9100_ERR_TRANSFER_FAIL);
    const uint8_t command[8] = {};
    EXPECT_EQ(t->write(command, sizeof command), ZEP9100_ERR_TRANSFER_FAIL);

    t->close();
    EXPECT_TRUE(bus.pnpState(0).removed);
    EXPECT_EQ(t->open(), ZEP9100_ERR_NO_DEVICE);
}

}  // namespace
}  // namespace lumatrace::device
