#include "device/firmware/VirtualConfig.h"

#include <gtest/gtest.h>

#include <functional>

namespace lumatrace::device {
namespace {

TEST(DeviceVirtualConfig, StatementsSetTheirFields) {
    struct Case {
        const char* text;
        std::function<bool(const VirtualConfig&)> holds;
    };
    const Case cases[] = {
        {"instruments = 3", [](auto& c) { return c.instruments == 3; }},
        {"transport = Direct", [](auto& c) { return c.transport == TransportKind::Direct; }},
        {"transport = direct; transport = driver",
         [](auto& c) { return c.transport == TransportKind::Driver; }},
        {"Large_Memory = no", [](auto& c) { return !c.largeMemory; }},
        {"firmware = 201 ; fpga = 7",
         [](auto& c) { return c.firmwareVersion == 201 && c.fpgaVersion == 7; }},
        {"seed = 42", [](auto& c) { return c.seed == 42u; }},
        {"timescale = 2.5k", [](auto& c) { return c.timescale == 1.0; }},  // refused: > 1000
        {"timescale = 250", [](auto& c) { return c.timescale == 250.0; }},
        {"clock_step = 10us", [](auto& c) { return c.clockStepPs == 10'000'000; }},
        {"auto_timeout = 0.5s", [](auto& c) { return c.autoTimeoutPs == 500'000'000'000; }},
        {"unplug = 5000ms", [](auto& c) { return c.unplugAfterPs == 5'000'000'000'000; }},
        {"fail = Zep9100SetMode 3 12:5\nfail = Zep9100Create 1 1:13",
         [](auto& c) {
             return c.faults == std::vector<FaultRule>{{"Zep9100SetMode", 3, 12, 5},
                                                       {"Zep9100Create", 1, 1, 13}};
         }},
        {"fail_acquisition = 2 9",
         [](auto& c) { return c.failAcquisition == 2 && c.failAcquisitionMinor == 9; }},
        {"CH2 = off", [](auto& c) { return c.inputs[kInputCh2].empty(); }},
        {"EXT = -25mV",
         [](auto& c) {
             return c.inputs[kInputExt] == SignalSpec{{Shape::Dc, 1000.0, 0.0, -0.025}};
         }},
        {"CH1 = sine(freq=50MHz, amp=150mV, phase=-90deg) - 1e-2 + noise(rms=1m)",
         [](auto& c) {
             const SignalSpec& s = c.inputs[kInputCh1];
             return s.size() == 3 && s[0].shape == Shape::Sine && s[0].frequencyHz == 50e6 &&
                    std::abs(s[0].amplitude - 0.15) < 1e-15 && s[0].phaseDeg == -90.0 &&
                    s[1].shape == Shape::Dc && s[1].offset == -0.01 && s[2].shape == Shape::Noise &&
                    s[2].rms == 0.001;
         }},
        {"CH1 = pulse(freq=10k, amp=1, duty=5%) + saw(freq=1, amp=2, offset=0.5)",
         [](auto& c) {
             const SignalSpec& s = c.inputs[kInputCh1];
             return s.size() == 2 && s[0].shape == Shape::Pulse && s[0].duty == 0.05 &&
                    s[1].shape == Shape::Sawtooth && s[1].offset == 0.5;
         }},
        {"CH1 = square(freq=1k, amp=1)",
         [](auto& c) {
             return c.inputs[kInputCh1][0].duty == 0.5;  // pulses default to 10 %
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        VirtualConfig config = defaultVirtualConfig();
        std::vector<ConfigError> errors = applyVirtualConfig(c.text, config);
        if (std::string(c.text).find("2.5k") == std::string::npos) {
            EXPECT_TRUE(errors.empty()) << errors[0].message;
        }
        EXPECT_TRUE(c.holds(config));
    }
}

// A statement in error is reported with its line and changes nothing;
// the good statements around it still apply.
TEST(DeviceVirtualConfig, ErrorsNameTheLineAndKeepTheRest) {
    const char* bad[] = {
        "nonsense",
        "colour = red",
        "instruments = 9",
        "instruments = -1",
        "transport = usb",
        "large_memory = maybe",
        "firmware = 256",
        "clock_step = 10",  // a duration needs its unit
        "auto_timeout = 1ns",
        "CH1 = sinus(freq=1k)",
        "CH1 = sine(freq=0)",
        "CH1 = sine(freq=2GHz)",
        "CH1 = sine(freq=1k, amp=2kV)",
        "CH1 = sine(freq=1k,, amp=1)",
        "CH1 = sine(freq=1k amp=1)",
        "CH1 = sine(freq=1k, colour=1)",
        "CH1 = square(duty=100)",
        "CH1 = sine(freq=1k",
        "CH1 = sine(freq=1k) +",
        "CH1 = sine(freq=1k) sine(freq=2k)",
        "CH1 = 1x",
        "CH1 = nan",
        "CH1 =",
        "CH1 = 1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1+1",
        "fail = Zep9100GetLastError 1 2",
        "fail = Zep9100Create 0 2",
        "fail = Zep9100Create 1 13",
        "fail = Zep9100Create 1 5:3",
        "fail = Zep9100Create 1",
        "fail_acquisition = x",
    };
    for (const char* statement : bad) {
        SCOPED_TRACE(statement);
        VirtualConfig config = defaultVirtualConfig();
        std::string text = std::string("firmware = 99\n\n") + statement + "\nfpga = 98";
        std::vector<ConfigError> errors = applyVirtualConfig(text, config);
        ASSERT_EQ(errors.size(), 1u);
        EXPECT_EQ(errors[0].line, 3);
        EXPECT_FALSE(errors[0].message.empty());
        EXPECT_EQ(config.firmwareVersion, 99);
        EXPECT_EQ(config.fpgaVersion, 98);
        VirtualConfig defaults = defaultVirtualConfig();
        EXPECT_EQ(config.inputs, defaults.inputs);
        EXPECT_EQ(config.instruments, defaults.instruments);
        EXPECT_TRUE(config.faults.empty());
    }
}

}  // namespace
}  // namespace lumatrace::device
