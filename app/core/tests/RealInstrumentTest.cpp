// Acquisition control on the real device library and its virtual instrument:
// the library's messages arrive on its own threads and are delivered here
// the way the main window's event loop delivers them.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <utility>

#include "app/core/tests/AcquisitionFixture.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {
namespace {

struct RealInstrument : ::testing::Test {
    DynamicLibraryLoader loader;
    DeviceLibrary library;
    SteadyClock clock;
    DeviceSession session{library, clock};
    InstrumentSettings settings;
    testing::RecordingHost host;
    testing::RecordingMessageBox messages;
    AcquisitionControl control{settings, session, host, messages};

    std::filesystem::path settingsFolder;
    std::mutex mutex;
    std::condition_variable arrived;
    std::deque<std::pair<std::uint32_t, std::intptr_t>> queue;

    void Open(const char* configuration) {
        // No settings folder of the user's: only the statements given here apply.
        char folder[] = "/tmp/lumatrace-core-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        settingsFolder = folder;
        ::setenv("APPDATA", folder, 1);
        ::setenv("ZEP9100_VIRTUAL", configuration, 1);
        session.SetPostToUi([this](std::uint32_t message, std::uintptr_t, std::intptr_t lParam) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                queue.emplace_back(message, lParam);
            }
            arrived.notify_one();
        });
        ASSERT_TRUE(session.Bind(loader, LUMATRACE_DEVICE_LIBRARY_PATH));
        ASSERT_TRUE(session.OpenDevice()) << session.LastErrorText();
        ASSERT_TRUE(session.ReadMemorySize());
        settings.sampleIntervalNs = static_cast<int>(SampleIntervalNs(settings.timeDivIndex, 0));
        for (int i = 0; i < kVoltsPerDivCount; ++i) {
            if (VoltsPerDivMv(i) == settings.voltsPerDivMv[0]) {
                control.panel.voltsPerDivIndex = {i, i};
            }
        }
        control.formReady = true;
    }

    // Delivers the queued messages on this thread until `done` holds; false
    // when nothing more arrives for a long while (a hang, not a timing check).
    bool Pump(const std::function<bool()>& done) {
        while (!done()) {
            std::unique_lock<std::mutex> lock(mutex);
            if (!arrived.wait_for(lock, std::chrono::seconds(30), [&] { return !queue.empty(); })) {
                return false;
            }
            const auto [message, lParam] = queue.front();
            queue.pop_front();
            lock.unlock();
            control.HandleDeviceMessage(message, lParam);
        }
        return true;
    }

    void TearDown() override {
        session.CloseDevice();
        session.Unbind();
        ::unsetenv("ZEP9100_VIRTUAL");
        if (!settingsFolder.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(settingsFolder, ec);
        }
    }
};

TEST_F(RealInstrument, SingleRecordArrivesAndStops) {
    Open("");
    control.A_Single();
    ASSERT_TRUE(Pump([&] { return settings.runMode == kRunStop; }));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(control.dataValid);
    EXPECT_EQ(control.passCount, 1);
    int distinct = 0;
    for (int i = 0; i < settings.memoryPoints; ++i) {
        ASSERT_NE(WaveBuffer[i], NoSample) << i;
        distinct += WaveBuffer[i] != WaveBuffer[0] ? 1 : 0;
    }
    EXPECT_GT(distinct, 0);  // a signal, not a constant
    EXPECT_EQ(host.execText, "Stop");
}

TEST_F(RealInstrument, AcquisitionFaultEndsInStopWithTheMessage) {
    Open("fail_acquisition = 2 6");
    control.A_Auto();
    ASSERT_TRUE(Pump([&] { return settings.runMode == kRunStop; }));
    EXPECT_EQ(control.passCount, 1);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].title, "Lumatrace");
    EXPECT_EQ(messages.shown[0].text, "[ データ取得エラー ]\r\nサンプリングを停止します。");
    EXPECT_EQ(host.errorText, "ZEP9100_ERR_DEVICE (Minor Error code: 6)");
}

}  // namespace
}  // namespace lumatrace
