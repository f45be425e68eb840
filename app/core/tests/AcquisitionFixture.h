#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/AcquisitionControl.h"
#include "app/core/testing/RecordingHost.h"
#include "app/core/testing/ScriptedDevice.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace lumatrace {

class ManualClock final : public Clock {
  public:
    std::uint64_t now = 1000;
    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override { now += ms; }
};

// Acquisition control over the scripted device, opened and ready.
struct AcquisitionFixture : ::testing::Test {
    testing::ScriptedDevice device;
    testing::ScriptedDeviceLoader loader{kDeviceLibraryFile};
    DeviceLibrary library;
    ManualClock clock;
    DeviceSession session{library, clock};
    InstrumentSettings settings;
    testing::RecordingHost host;
    testing::RecordingMessageBox messages;
    AcquisitionControl control{settings, session, host, messages};

    void SetUp() override {
        ASSERT_TRUE(session.Bind(loader));
        ASSERT_TRUE(session.OpenDevice());
        control.formReady = true;
        control.deviceReady = true;
        device.calls.clear();
    }

    // Calls made to the device since the last check, then forgets them.
    std::vector<std::string> TakeCalls() {
        std::vector<std::string> c = std::move(device.calls);
        device.calls.clear();
        return c;
    }
};

}  // namespace lumatrace
