// The contract of the twelve functions: results, error code words,
// versions and information, exclusivity, configuration sources, injected
// faults and the two notifications.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "device/tests/LibraryHarness.h"

namespace lumatrace::device::test {
namespace {

uint32_t low(uint32_t result) {
    return result & 0xFF;
}

TEST(DeviceContract, VersionsMemorySizeAndDeviceInfo) {
    struct Case {
        const char* config;
        uint32_t memSize;
        uint8_t firmware, fpga, large;
    };
    const Case cases[] = {
        {"", 1000000, 123, 105, 1},
        {"large_memory = no; firmware = 201; fpga = 7", 0, 201, 7, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.config);
        configure(c.config);
        uint32_t driver = 0, library = 0;
        ASSERT_EQ(low(api().GetVersion(&driver, &library)), 1u);
        EXPECT_EQ(driver, 0x00010000u);
        EXPECT_EQ(library, 0x00010200u);
        Device d;
        uint32_t size = 12345;
        ASSERT_EQ(low(api().GetMemSize(d.number(), &size)), 1u);
        EXPECT_EQ(size, c.memSize);
        uint8_t info[26];
        ASSERT_EQ(low(api().GetDevInfo(d.number(), info)), 1u);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(info), 8), "ZEP-9100");
        EXPECT_EQ(info[21], 2);
        EXPECT_EQ(info[22], c.large);
        EXPECT_EQ(info[24], c.firmware);
        EXPECT_EQ(info[25], c.fpga);
        // Open, the version still comes from the driver.
        ASSERT_EQ(low(api().GetVersion(&driver, &library)), 1u);
        EXPECT_EQ(driver, 0x00010000u);
    }
}

TEST(DeviceContract, InstrumentsAreOpenedExclusively) {
    configure("instruments = 2");
    uint16_t a = 99, b = 99, c = 99;
    ASSERT_EQ(low(api().Create(&a, nullptr, 1124)), 1u);
    ASSERT_EQ(low(api().Create(&b, nullptr, 1124)), 1u);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(low(api().Create(&c, nullptr, 1124)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_IN_USE);
    EXPECT_EQ(c, 99) << "out arguments are written only on success";
    // A released instrument can be opened again, under its number.
    ASSERT_EQ(low(api().Close(a)), 1u);
    ASSERT_EQ(low(api().Create(&c, nullptr, 1124)), 1u);
    EXPECT_EQ(c, 0);
    EXPECT_EQ(low(api().Close(a)), 1u);
    EXPECT_EQ(low(api().Close(b)), 1u);
    EXPECT_EQ(low(api().Close(b)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_DEVICENO);
}

TEST(DeviceContract, NoInstrumentMeansNoDevice) {
    configure("instruments = 0");
    uint16_t n = 0;
    EXPECT_EQ(low(api().Create(&n, nullptr, 1124)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_NO_DEVICE);
    uint32_t driver, library;
    EXPECT_EQ(low(api().GetVersion(&driver, &library)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_NO_DEVICE);
}

// Every per-device function refuses a number that is not open, and every
// pointer argument refuses NULL.
TEST(DeviceContract, BadDeviceNumbersAndNullPointers) {
    configure("");
    Device d;
    const uint32_t open = d.number();
    uint32_t u = 0;
    uint8_t info[26];
    const ModeRecord mode = defaultMode();
    struct Case {
        const char* name;
        std::function<uint32_t(uint32_t device)> call;
        bool hasPointer;
        std::function<uint32_t()> nullCall;
    };
    const Case cases[] = {
        {"Close", [](uint32_t n) { return api().Close(n); }, false, nullptr},
        {"GetDevInfo", [&](uint32_t n) { return api().GetDevInfo(n, info); }, true,
         [&] { return api().GetDevInfo(open, nullptr); }},
        {"GetMemSize", [&](uint32_t n) { return api().GetMemSize(n, &u); }, true,
         [&] { return api().GetMemSize(open, nullptr); }},
        {"SetMode", [&](uint32_t n) { return api().SetMode(n, mode.data()); }, true,
         [&] { return api().SetMode(open, nullptr); }},
        {"StartSampling", [](uint32_t n) { return api().StartSampling(n, 1); }, false, nullptr},
        {"StopSampling", [](uint32_t n) { return api().StopSampling(n); }, false, nullptr},
        {"GetStatus", [&](uint32_t n) { return api().GetStatus(n, &u, &u, &u); }, true,
         [&] { return api().GetStatus(open, &u, nullptr, &u); }},
        {"GetData", [&](uint32_t n) { return api().GetData(n, 1, &u); }, true,
         [&] { return api().GetData(open, 1, nullptr); }},
        {"GetEquData", [&](uint32_t n) { return api().GetEquData(n, &u); }, true,
         [&] { return api().GetEquData(open, nullptr); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (uint32_t bad : {open + 1, 0x10000u + open, 0xFFFFFFFFu}) {
            EXPECT_EQ(low(c.call(bad)), 0u);
            EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_DEVICENO);
        }
        if (c.hasPointer) {
            EXPECT_EQ(low(c.nullCall()), 0u);
            EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_ARGUMENT);
        }
    }
    uint16_t* noNumber = nullptr;
    EXPECT_EQ(low(api().Create(noNumber, nullptr, 1124)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_ARGUMENT);
    uint32_t v = 0;
    EXPECT_EQ(low(api().GetVersion(&v, nullptr)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_ARGUMENT);
    // Zero words need no buffer.
    EXPECT_EQ(low(api().GetData(open, 0, nullptr)), 1u);
}

TEST(DeviceContract, ModeRecordWordsOutOfRangeAreRefused) {
    struct Case {
        std::size_t word;
        uint32_t value;
        uint32_t error;
    };
    const Case cases[] = {
        {0, 8, ZEP9100_ERR_INVALID_ARGUMENT},
        {3, 501, ZEP9100_ERR_INVALID_ARGUMENT},
        {4, 2, ZEP9100_ERR_INVALID_ARGUMENT},
        {6, 3, ZEP9100_ERR_INVALID_ARGUMENT},
        {6, 2, ZEP9100_ERR_MEMSIZE},
        {7, 5, ZEP9100_ERR_INVALID_ARGUMENT},
        {7, 15, ZEP9100_ERR_INVALID_ARGUMENT},
        {7, 10000010, ZEP9100_ERR_INVALID_ARGUMENT},
        {12, 3, ZEP9100_ERR_INVALID_ARGUMENT},
        {13, 3, ZEP9100_ERR_INVALID_ARGUMENT},
        {16, 501, ZEP9100_ERR_INVALID_ARGUMENT},
        {17, 10000, ZEP9100_ERR_INVALID_ARGUMENT},
        {18, 4000000, ZEP9100_ERR_INVALID_ARGUMENT},
        {19, 3, ZEP9100_ERR_INVALID_ARGUMENT},
        {20, 15, ZEP9100_ERR_INVALID_ARGUMENT},
        {20, 655360, ZEP9100_ERR_INVALID_ARGUMENT},
    };
    configure("large_memory = no");
    Device d;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "word " << c.word << " = " << c.value);
        ModeRecord m = defaultMode();
        m[c.word] = c.value;
        EXPECT_FALSE(d.setMode(m));
        EXPECT_EQ(api().GetLastError(), c.error);
    }
    ModeRecord both = defaultMode();
    both[10] = both[11] = 1;  // equivalent-time and roll exclude each other
    EXPECT_FALSE(d.setMode(both));
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_ARGUMENT);
    // The instrument kept its last good mode: a record of 10,000 samples.
    ModeRecord good = defaultMode();
    good[7] = 10;
    ASSERT_TRUE(d.setMode(good));
    EXPECT_FALSE(d.setMode({}));  // word 7 = 0
    ASSERT_TRUE(d.start());
    d.waitComplete();
    uint32_t w[1];
    EXPECT_EQ(low(api().GetData(d.number(), 10001, w)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_ARGUMENT);
    EXPECT_FALSE(d.start(2));
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_INVALID_ARGUMENT);
}

// errno belongs to the caller, except that an OS error is left in it.
TEST(DeviceContract, ErrnoIsKeptOrCarriesTheOsError) {
    configure("fail = Zep9100GetStatus 2 1:13");
    Device d;
    uint32_t s, c, x;
    errno = 1234;
    ASSERT_EQ(low(api().GetStatus(d.number(), &s, &c, &x)), 1u);
    EXPECT_EQ(errno, 1234);
    EXPECT_EQ(low(api().GetStatus(d.number(), &s, &c, &x)), 0u);
    EXPECT_EQ(errno, 13);
    EXPECT_EQ(api().GetLastError(), 0x000D0001u);
    errno = 77;
    EXPECT_EQ(low(api().GetStatus(7, &s, &c, &x)), 0u);
    EXPECT_EQ(errno, 77);
}

// "fail = F K code[:detail]" makes call K of F fail with that code word;
// calls before it succeed and the instrument is not reached.
TEST(DeviceContract, InjectedFaultsSurfaceWithTheirCodeWord) {
    struct Case {
        const char* rule;
        uint32_t word;
        std::function<uint32_t(uint32_t device)> call;
        uint32_t k;
    };
    uint32_t u = 0;
    uint8_t info[26];
    const ModeRecord mode = defaultMode();
    const Case cases[] = {
        {"fail = Zep9100GetVersion 2 7", 7, [&](uint32_t) { return api().GetVersion(&u, &u); }, 2},
        {"fail = Zep9100GetDevInfo 1 12:5", 0x0005000C,
         [&](uint32_t n) { return api().GetDevInfo(n, info); }, 1},
        {"fail = Zep9100GetMemSize 1 6", 6, [&](uint32_t n) { return api().GetMemSize(n, &u); }, 1},
        {"fail = Zep9100SetMode 3 10", 10,
         [&](uint32_t n) { return api().SetMode(n, mode.data()); }, 3},
        {"fail = Zep9100StartSampling 1 8", 8, [](uint32_t n) { return api().StartSampling(n, 1); },
         1},
        {"fail = Zep9100StopSampling 2 9", 9, [](uint32_t n) { return api().StopSampling(n); }, 2},
        {"fail = Zep9100GetStatus 4 11", 11,
         [&](uint32_t n) { return api().GetStatus(n, &u, &u, &u); }, 4},
        {"fail = Zep9100GetData 1 2", 2, [&](uint32_t n) { return api().GetData(n, 1, &u); }, 1},
        {"fail = Zep9100GetEquData 1 3", 3, [&](uint32_t n) { return api().GetEquData(n, &u); }, 1},
        {"fail = Zep9100GetStatus 1 4", 4,
         [&](uint32_t n) { return api().GetStatus(n, &u, &u, &u); }, 1},
        {"fail = Zep9100GetStatus 1 5", 5,
         [&](uint32_t n) { return api().GetStatus(n, &u, &u, &u); }, 1},
        {"fail = Zep9100GetStatus 1 12", 12,
         [&](uint32_t n) { return api().GetStatus(n, &u, &u, &u); }, 1},
        {"fail = Zep9100Close 1 1:5", 0x00050001, [](uint32_t n) { return api().Close(n); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        configure(c.rule);
        Device d;
        for (uint32_t i = 1; i < c.k; ++i)
            c.call(d.number());
        EXPECT_EQ(low(c.call(d.number())), 0u);
        EXPECT_EQ(api().GetLastError(), c.word);
    }
    // An injected Create failure opens nothing; the next Create works.
    configure("fail = Zep9100Create 1 1:13");
    uint16_t n = 0;
    EXPECT_EQ(low(api().Create(&n, nullptr, 1124)), 0u);
    EXPECT_EQ(api().GetLastError(), 0x000D0001u);
    ASSERT_EQ(low(api().Create(&n, nullptr, 1124)), 1u);
    EXPECT_EQ(low(api().Close(n)), 1u);
}

TEST(DeviceContract, DataNotificationComesFromTheInstrumentsThread) {
    configure("");
    Notifications log;
    Device d(log.notifier());
    ModeRecord m = defaultMode();
    m[7] = 10;
    m[12] = 2;  // free run: no trigger to wait for
    ASSERT_TRUE(d.setMode(m));
    ASSERT_TRUE(d.start());
    Notifications::Message msg = log.waitFor(1125);
    ASSERT_EQ(msg.message, 1125u);
    EXPECT_EQ(msg.lParam, 0xAB00);
    EXPECT_EQ(msg.wParam, d.number());
    EXPECT_NE(msg.thread, std::this_thread::get_id());
    // It may come early (at the trigger): the count tells.
    EXPECT_EQ(d.waitComplete().count, 10000u);
    EXPECT_GE(log.count(1125), 1u);
    EXPECT_EQ(log.count(1126), 0u);
}

TEST(DeviceContract, FailedAcquisitionIsNotifiedWithItsCode) {
    configure("fail_acquisition = 2 9; clock_step = 1ms");
    Notifications log;
    Device d(log.notifier());
    ModeRecord m = defaultMode();
    m[7] = 10;
    ASSERT_TRUE(d.setMode(m));
    ASSERT_TRUE(d.start());
    EXPECT_EQ(d.waitComplete().status, 7u);
    ASSERT_TRUE(d.start());
    EXPECT_EQ(d.waitComplete().status, 0u);
    ASSERT_EQ(log.waitFor(1126).message, 1126u);
    EXPECT_EQ(log.waitFor(1126).lParam, 0xAB00);
    EXPECT_EQ(api().GetLastError(), 0x0009000Cu);
}

TEST(DeviceContract, UnpluggedInstrumentFailsCallsAndTheAcquisition) {
    configure("unplug = 20ms; clock_step = 1ms");
    Notifications log;
    uint16_t n = 0;
    {
        Device d(log.notifier());
        n = static_cast<uint16_t>(d.number());
        ModeRecord m = defaultMode();
        m[7] = 1000000;  // slow enough to be still sampling when the plug goes
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        uint32_t s, c, x;
        uint32_t calls = 0;
        while (low(api().GetStatus(n, &s, &c, &x)) == 1 && calls < 1000)
            ++calls;
        EXPECT_LT(calls, 1000u);
        EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_TRANSFER_FAIL);
        EXPECT_EQ(log.waitFor(1126).lParam, 0xAB00);
    }
    // Closed, and still unplugged.
    EXPECT_EQ(low(api().Create(&n, nullptr, 1124)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_NO_DEVICE);
}

class ConfigFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/zep9100-settings-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        unsetenv("ZEP9100_VIRTUAL");
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void write(const std::filesystem::path& base, const std::string& text) {
        std::filesystem::create_directories(base / "ORVEX/ZEP-9100");
        std::ofstream(base / "ORVEX/ZEP-9100/virtual.conf") << text;
    }
    uint8_t firmware() {
        Device d;
        uint8_t info[26] = {};
        EXPECT_EQ(low(api().GetDevInfo(d.number(), info)), 1u);
        return info[24];
    }

    std::filesystem::path root_;
};

// virtual.conf in the settings folder ($APPDATA, else $XDG_CONFIG_HOME,
// else $HOME/.config), overridden statement by statement by the variable.
TEST_F(ConfigFile, SettingsFolderFileThenVariable) {
    write(root_ / "appdata", "firmware = 150\nbogus line\nfpga = 9");
    write(root_ / "xdg", "firmware = 151");
    write(root_ / "home/.config", "firmware = 152");
    setenv("HOME", (root_ / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root_ / "xdg").c_str(), 1);
    setenv("APPDATA", (root_ / "appdata").c_str(), 1);
    EXPECT_EQ(firmware(), 150);
    unsetenv("APPDATA");
    EXPECT_EQ(firmware(), 151);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(firmware(), 152);
    setenv("ZEP9100_VIRTUAL", "firmware = 160", 1);
    EXPECT_EQ(firmware(), 160);
}

}  // namespace
}  // namespace lumatrace::device::test
