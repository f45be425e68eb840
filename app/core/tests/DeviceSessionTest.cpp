#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/core/DeviceSession.h"
#include "app/core/DeviceStartup.h"
#include "app/core/testing/ScriptedDevice.h"

namespace lumatrace {
namespace {

using testing::ScriptedDevice;
using testing::ScriptedDeviceLoader;

class ManualClock final : public Clock {
  public:
    std::uint64_t now = 1000;
    std::uint64_t NowMs() override { return now; }
    void SleepMs(std::uint32_t ms) override { now += ms; }
};

class LinesLog final : public DeviceLog {
  public:
    std::vector<std::string> lines;
    void Write(std::string_view line) override { lines.emplace_back(line); }
};

struct SessionFixture : ::testing::Test {
    ScriptedDevice device;
    ScriptedDeviceLoader loader{kDeviceLibraryFile};
    DeviceLibrary library;
    ManualClock clock;
    DeviceSession session{library, clock};
};

TEST_F(SessionFixture, BindResolvesTheTwelveNamesInOrder) {
    ASSERT_TRUE(session.Bind(loader));
    EXPECT_EQ(loader.lookups,
              std::vector<std::string>(kDeviceFunctionNames.begin(), kDeviceFunctionNames.end()));
    EXPECT_EQ(session.deviceNo, 0xFFFF);
    EXPECT_EQ(session.memorySize, 0xFFFFFFFFu);
    EXPECT_TRUE(std::all_of(session.deviceInfo.begin(), session.deviceInfo.end(),
                            [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(SessionFixture, SecondBindFailsAndKeepsTheFirst) {
    ASSERT_TRUE(session.Bind(loader));
    ASSERT_TRUE(session.OpenDevice());
    EXPECT_FALSE(session.Bind(loader));
    EXPECT_EQ(loader.loads, 1);
    EXPECT_EQ(loader.unloads, 0);
    EXPECT_EQ(session.deviceNo, 3);  // fields untouched by the refused binding
    EXPECT_TRUE(session.ReadMemorySize());
}

TEST_F(SessionFixture, MissingNameUnloadsAndStopsLookingUp) {
    loader.missing = {"Zep9100SetMode"};
    EXPECT_FALSE(session.Bind(loader));
    EXPECT_FALSE(session.Bound());
    EXPECT_EQ(loader.unloads, 1);
    ASSERT_EQ(loader.lookups.size(), 6u);
    EXPECT_EQ(loader.lookups.back(), "Zep9100SetMode");
}

TEST_F(SessionFixture, UnbindReleasesAndIsHarmlessWhenUnbound) {
    EXPECT_TRUE(session.Unbind());
    ASSERT_TRUE(session.Bind(loader));
    EXPECT_TRUE(session.Unbind());
    EXPECT_EQ(loader.unloads, 1);
    EXPECT_FALSE(session.Bound());
    EXPECT_TRUE(session.Bind(loader));  // can bind again
}

TEST_F(SessionFixture, AbsentLibraryFailsEveryOperationWithoutCalling) {
    loader.failLoad = true;
    EXPECT_FALSE(session.Bind(loader));
    std::uint32_t tick = 0;
    session.sampleCount = 10;
    EXPECT_FALSE(session.ReadVersion());
    EXPECT_FALSE(session.OpenDevice());
    EXPECT_FALSE(session.CloseDevice());
    EXPECT_FALSE(session.ReadDeviceInfo());
    EXPECT_FALSE(session.ReadMemorySize());
    EXPECT_FALSE(session.SendMode());
    EXPECT_FALSE(session.StartSampling(tick));
    EXPECT_FALSE(session.StopSampling());
    EXPECT_FALSE(session.ReadStatus());
    EXPECT_FALSE(session.ReadData());
    EXPECT_FALSE(session.ReadEquPhase());
    EXPECT_EQ(session.LastErrorText(), "ZEP9100_ERR_WRAPDLL");
    EXPECT_TRUE(device.calls.empty());
    EXPECT_EQ(tick, 1000u);  // the start tick is taken whatever the result
}

TEST_F(SessionFixture, OperationsFillTheirFields) {
    ASSERT_TRUE(session.Bind(loader));
    LinesLog log;
    session.SetLog(&log);
    ASSERT_TRUE(session.OpenDevice());
    EXPECT_EQ(device.messageBase, kDeviceMessageBase);
    EXPECT_TRUE(device.hasNotifier);
    ASSERT_TRUE(session.ReadVersion());
    EXPECT_EQ(session.driverVersion, 0x00010000u);
    EXPECT_EQ(session.libraryVersion, 0x00020100u);
    ASSERT_TRUE(session.ReadDeviceInfo());
    EXPECT_EQ(session.deviceInfo[24], 123);
    ASSERT_TRUE(session.ReadMemorySize());
    EXPECT_EQ(session.memorySize, 1000000u);

    session.modeRecord[7] = 20;
    ASSERT_TRUE(session.SendMode());
    EXPECT_EQ(device.mode[7], 20u);

    session.startFlag = 1;
    clock.now = 0x1'0000'0005;  // the stored tick is 32 bits wide
    std::uint32_t tick = 0;
    device.FailNext("Zep9100StartSampling", ZEP9100_ERR_TRANSFER_TIMEOUT);
    EXPECT_FALSE(session.StartSampling(tick));
    EXPECT_EQ(tick, 5u);
    EXPECT_EQ(device.startFlags, std::vector<std::uint32_t>{1});
    EXPECT_EQ(session.LastErrorText(), "ZEP9100_ERR_TRANSFER_TIMEOUT");

    device.status = {6, 123, 9};
    ASSERT_TRUE(session.ReadStatus());
    EXPECT_EQ(session.deviceStatus, 6u);
    EXPECT_EQ(session.sampleCount, 123u);
    EXPECT_EQ(session.statusExtra, 9u);
    device.FailNext("Zep9100GetStatus", ZEP9100_ERR_TRANSFER_FAIL);
    EXPECT_FALSE(session.ReadStatus());
    EXPECT_EQ(session.deviceStatus, 0xFFFFFFFFu);
    EXPECT_EQ(session.sampleCount, 0u);

    // Every call leaves a line; a failure names its error.
    EXPECT_FALSE(log.lines.empty());
    EXPECT_NE(std::find_if(log.lines.begin(), log.lines.end(),
                           [](const std::string& l) {
                               return l.find("StartSampling") != std::string::npos &&
                                      l.find("ZEP9100_ERR_TRANSFER_TIMEOUT") != std::string::npos;
                           }),
              log.lines.end());
}

TEST_F(SessionFixture, ReadDataClearsTheWholeBufferFirst) {
    ASSERT_TRUE(session.Bind(loader));
    ASSERT_TRUE(session.OpenDevice());
    FetchBuffer.fill(0x12345678u);
    session.sampleCount = 10;
    device.sample = [](std::uint32_t i) { return i * 2; };
    ASSERT_TRUE(session.ReadData());
    EXPECT_EQ(FetchBuffer[9], 18u);
    EXPECT_EQ(FetchBuffer[10], NoSample);
    EXPECT_EQ(FetchBuffer[kBufferWords - 1], NoSample);

    // A failed read leaves an empty record.
    FetchBuffer.fill(0x12345678u);
    device.FailNext("Zep9100GetData", ZEP9100_ERR_TRANSFER_FAIL);
    EXPECT_FALSE(session.ReadData());
    EXPECT_EQ(FetchBuffer[0], NoSample);

    // A count the buffer cannot hold never reaches the library.
    session.sampleCount = kBufferWords + 1;
    const auto before = device.dataCounts.size();
    EXPECT_FALSE(session.ReadData());
    EXPECT_EQ(device.dataCounts.size(), before);
    EXPECT_EQ(FetchBuffer[0], NoSample);
}

// The session clears only as far as its own reads reached: a long record
// followed by a short one, a failed read and a refused one each leave the
// buffer as a whole clear would.
TEST_F(SessionFixture, ReadsAfterLongerOnesLeaveNothingOfThemBehind) {
    ASSERT_TRUE(session.Bind(loader));
    ASSERT_TRUE(session.OpenDevice());
    device.sample = [](std::uint32_t i) { return i + 1; };
    auto noSampleFrom = [](std::size_t first) {
        return std::all_of(FetchBuffer.begin() + static_cast<long>(first), FetchBuffer.end(),
                           [](SampleWord w) { return w == NoSample; });
    };
    session.sampleCount = 100000;
    ASSERT_TRUE(session.ReadData());
    EXPECT_EQ(FetchBuffer[99999], 100000u);
    EXPECT_TRUE(noSampleFrom(100000));

    session.sampleCount = 10000;
    ASSERT_TRUE(session.ReadData());
    EXPECT_EQ(FetchBuffer[9999], 10000u);
    EXPECT_TRUE(noSampleFrom(10000));

    device.FailNext("Zep9100GetData", ZEP9100_ERR_TRANSFER_FAIL);
    EXPECT_FALSE(session.ReadData());
    EXPECT_TRUE(noSampleFrom(0));

    session.sampleCount = 1000000;
    ASSERT_TRUE(session.ReadData());
    session.sampleCount = kBufferWords + 1;
    EXPECT_FALSE(session.ReadData());
    EXPECT_TRUE(noSampleFrom(0));
}

TEST_F(SessionFixture, EquPhaseIsClampedTo99) {
    ASSERT_TRUE(session.Bind(loader));
    struct Case {
        std::uint32_t reported;
        std::uint32_t read;
    };
    for (const Case c : {Case{250, 99}, Case{99, 99}, Case{0, 0}, Case{37, 37}}) {
        device.phase = c.reported;
        ASSERT_TRUE(session.ReadEquPhase());
        EXPECT_EQ(session.equPhase, c.read) << c.reported;
    }
    device.FailNext("Zep9100GetEquData", ZEP9100_ERR_DEVICE | (5u << 16));
    EXPECT_FALSE(session.ReadEquPhase());
    EXPECT_EQ(session.equPhase, 0xFFFFFFFFu);
}

TEST(ErrorCodeText, EveryCode) {
    struct Case {
        std::uint32_t word;
        const char* text;
    };
    const Case cases[] = {
        {0xFFFFFFFFu, "ZEP9100_ERR_WRAPDLL"},
        {1u | (0x2Au << 16), "ZEP9100_ERR_SYSTEM (Error code: 2AH)"},
        {1u | (0xBEEFu << 16), "ZEP9100_ERR_SYSTEM (Error code: BEEFH)"},
        {2, "ZEP9100_ERR_NO_DEVICE"},
        {3, "ZEP9100_ERR_IN_USE"},
        {4, "ZEP9100_ERR_INVALID_DEVICENO"},
        {5, "ZEP9100_ERR_INVALID_ARGUMENT"},
        {6, "ZEP9100_ERR_INTERNAL"},
        {7, "ZEP9100_ERR_TRANSFER_TIMEOUT"},
        {8 | (3u << 16), "ZEP9100_ERR_TRANSFER_CANCEL"},  // high half ignored below 12
        {9, "ZEP9100_ERR_TRANSFER_FAIL"},
        {10, "ZEP9100_ERR_BUFF_OVERFLOW"},
        {11, "ZEP9100_ERR_MEMSIZE"},
        {12 | (5u << 16), "ZEP9100_ERR_DEVICE (Minor Error code: 5)"},
        {12 | (1u << 16), "ZEP9100_ERR_DEVICE (Minor Error code: 1)"},
        {12 | (0xFFFEu << 16), "ZEP9100_ERR_DEVICE (Minor Error code: 65534)"},
        {0, "Undefined Error (code: 0)"},
        {13, "Undefined Error (code: 13)"},
        {0x8000000Du, "Undefined Error (code: -2147483635)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ErrorCodeText(c.word), c.text) << std::hex << c.word;
    }
}

TEST(DeviceMessages, OnlyTheAgreedLParamCounts) {
    EXPECT_EQ(ClassifyDeviceMessage(1125, 0xAB00), DeviceMessage::DataArrival);
    EXPECT_EQ(ClassifyDeviceMessage(1126, 0xAB00), DeviceMessage::AcquisitionFailed);
    EXPECT_EQ(ClassifyDeviceMessage(1126, 0), DeviceMessage::Ignored);
    EXPECT_EQ(ClassifyDeviceMessage(1125, 0xAB01), DeviceMessage::Ignored);
    EXPECT_EQ(ClassifyDeviceMessage(1127, 0xAB00), DeviceMessage::Ignored);
}

TEST_F(SessionFixture, NotifierForwardsToThePostFunction) {
    std::vector<std::uint32_t> posted;
    session.SetPostToUi([&](std::uint32_t m, std::uintptr_t, std::intptr_t l) {
        if (l == kDeviceMessageLParam) {
            posted.push_back(m);
        }
    });
    ASSERT_TRUE(session.Bind(loader));
    ASSERT_TRUE(session.OpenDevice());
    device.PostMessage(1125);
    device.PostMessage(1126);
    EXPECT_EQ(posted, (std::vector<std::uint32_t>{1125, 1126}));
}

TEST_F(SessionFixture, StatusPollsAreLoggedWhenTheyChange) {
    ASSERT_TRUE(session.Bind(loader));
    LinesLog log;
    session.SetLog(&log);
    device.status = {2, 0, 0};
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(session.ReadStatus());
    }
    device.status = {7, 10000, 0};
    ASSERT_TRUE(session.ReadStatus());
    ASSERT_TRUE(session.ReadStatus());
    EXPECT_EQ(log.lines, (std::vector<std::string>{"GetStatus status 2 count 0 : OK",
                                                   "GetStatus status 7 count 10000 : OK"}));
}

TEST_F(SessionFixture, StartupMessages) {
    DeviceStartup startup;
    OpenInstrument(session, startup);  // nothing bound
    EXPECT_FALSE(startup.deviceReady);
    EXPECT_EQ(startup.message, "使用可能なデバイスがありません。\r\n[ ZEP9100_ERR_WRAPDLL ]");

    ASSERT_TRUE(session.Bind(loader));
    startup = {};
    device.FailNext("Zep9100Create", ZEP9100_ERR_NO_DEVICE);
    OpenInstrument(session, startup);
    EXPECT_EQ(startup.message, "使用可能なデバイスがありません。\r\n[ ZEP9100_ERR_NO_DEVICE ]");
    ReadInstrumentMemory(session, startup);  // not attempted without a device
    EXPECT_EQ(device.CallCount("Zep9100GetMemSize"), 0);

    startup = {};
    OpenInstrument(session, startup);
    device.FailNext("Zep9100GetMemSize", ZEP9100_ERR_TRANSFER_FAIL);
    ReadInstrumentMemory(session, startup);
    EXPECT_FALSE(startup.deviceReady);
    EXPECT_EQ(startup.message, "実装メモリサイズが不正です。");
    EXPECT_EQ(LibraryLoadFailureText("libzep9100.so"), "libzep9100.so のロードに失敗しました。");
}

// The real library with its virtual instrument, bound by path through the
// platform loader.
TEST(RealDeviceLibrary, OpensTheVirtualInstrument) {
    DynamicLibraryLoader loader;
    DeviceLibrary library;
    ManualClock clock;
    DeviceSession session(library, clock);
    ASSERT_TRUE(session.Bind(loader, LUMATRACE_DEVICE_LIBRARY_PATH));
    ASSERT_TRUE(session.OpenDevice()) << session.LastErrorText();
    EXPECT_NE(session.deviceNo, 0xFFFF);
    EXPECT_TRUE(session.ReadMemorySize());
    EXPECT_TRUE(session.ReadDeviceInfo());
    EXPECT_TRUE(session.ReadVersion());
    EXPECT_TRUE(session.ReadStatus());
    EXPECT_TRUE(session.CloseDevice());
    EXPECT_FALSE(session.ReadStatus());  // closed: the device number is no longer open
    EXPECT_EQ(session.LastErrorText(), "ZEP9100_ERR_INVALID_DEVICENO");
    EXPECT_TRUE(session.Unbind());
}

}  // namespace
}  // namespace lumatrace
