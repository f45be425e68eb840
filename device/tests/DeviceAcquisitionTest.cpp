// The virtual instrument through the library: status sequences, the front
// end's codes, trigger placement, equivalent-time passes and roll mode.
// Tests that follow an acquisition stage by stage step the instrument's
// clock with each command, so they see the same thing on any machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <set>

#include "device/tests/LibraryHarness.h"

namespace lumatrace::device::test {
namespace {

uint32_t low(uint32_t result) {
    return result & 0xFF;
}

double expectedCode(uint32_t vdivIndex, uint32_t positionWord, double volts) {
    static constexpr double kMv[8] = {10, 20, 50, 100, 200, 500, 1000, 2000};
    double code = positionWord * 2.048 + volts * 1024.0 / (10.0 * kMv[vdivIndex] / 1000.0);
    return std::clamp(std::nearbyint(code), 0.0, 1023.0);
}

// Status codes in the order they were seen, repeats folded.
std::vector<uint32_t> fold(const std::vector<Status>& seen) {
    std::vector<uint32_t> out;
    for (const Status& s : seen)
        if (out.empty() || out.back() != s.status)
            out.push_back(s.status);
    return out;
}

TEST(DeviceAcquisition, StatusCodesComeInTheirOrderWithTheCountRising) {
    struct Case {
        const char* name;
        uint32_t trigMode, levelWord, delay;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"normal", 1, 250, 0, {1, 2, 6, 7}},
        {"normal with delay", 1, 250, 2000, {1, 2, 3, 6, 7}},
        {"auto without a trigger", 0, 450, 0, {1, 2, 10, 11}},
        {"normal without a trigger", 1, 450, 0, {1, 2}},
        {"free run", 2, 250, 0, {1, 10, 11}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        configure("clock_step = 10us; auto_timeout = 2ms");
        Device d;
        ModeRecord m = defaultMode();
        m[7] = 1000;  // 1 us: a 10 ms record, half of it before the trigger
        m[12] = c.trigMode;
        m[16] = c.levelWord;
        m[18] = c.delay;
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        std::vector<Status> seen;
        for (int i = 0; i < 3000; ++i) {
            seen.push_back(d.status());
            if (seen.back().status == 7 || seen.back().status == 11)
                break;
        }
        EXPECT_EQ(fold(seen), c.expected);
        std::set<uint32_t> preTriggerCounts, fillingCounts;
        for (std::size_t i = 0; i < seen.size(); ++i) {
            const Status& s = seen[i];
            if (i > 0) {
                EXPECT_GE(s.count, seen[i - 1].count);
            }
            switch (s.status) {
                case 1:
                    EXPECT_LE(s.count, 5000u);
                    preTriggerCounts.insert(s.count);
                    break;
                case 2:
                case 3:
                    EXPECT_EQ(s.count, 5000u);
                    break;
                case 6:
                case 10:
                    EXPECT_GE(s.count, 5000u);
                    EXPECT_LT(s.count, 10000u);
                    fillingCounts.insert(s.count);
                    break;
                default:
                    EXPECT_EQ(s.count, 10000u);
            }
        }
        EXPECT_GT(preTriggerCounts.size(), 100u);
        if (c.expected.back() != 2) {
            EXPECT_GT(fillingCounts.size(), 100u);
        } else {
            EXPECT_EQ(seen.size(), 3000u);
        }
    }
}

TEST(DeviceAcquisition, CodesFollowRangePositionAndCoupling) {
    struct Channel {
        uint32_t vdiv, position;
        double volts;
        bool ac;
    };
    struct Case {
        Channel ch1, ch2;
    };
    const Case cases[] = {
        {{2, 250, 0.0, false}, {2, 250, 0.1, false}},
        {{0, 250, 0.013, false}, {7, 100, -3.0, false}},
        {{5, 400, 1.7, false}, {3, 0, -0.2, false}},  // clipped at both ends
        {{4, 333, -0.25, false}, {6, 480, 0.37, false}},
        {{2, 250, 0.1, true}, {1, 200, 0.031, false}},  // AC removes the level
        {{1, 317, -0.05, true}, {0, 1, 0.0004, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.ch1.vdiv << "/" << c.ch1.position << "/" << c.ch1.volts << " "
                     << c.ch2.vdiv << "/" << c.ch2.position << "/" << c.ch2.volts);
        configure("CH1 = " + std::to_string(c.ch1.volts) +
                  "; CH2 = " + std::to_string(c.ch2.volts));
        Device d;
        ModeRecord m = defaultMode();
        m[0] = c.ch1.vdiv;
        m[1] = c.ch2.vdiv;
        m[2] = c.ch1.position;
        m[3] = c.ch2.position;
        m[4] = c.ch1.ac;
        m[5] = c.ch2.ac;
        m[7] = 10;
        m[12] = 2;
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        ASSERT_EQ(d.waitComplete().status, 11u);
        const double e1 = expectedCode(c.ch1.vdiv, c.ch1.position, c.ch1.ac ? 0.0 : c.ch1.volts);
        const double e2 = expectedCode(c.ch2.vdiv, c.ch2.position, c.ch2.ac ? 0.0 : c.ch2.volts);
        std::vector<uint32_t> words = d.data(10000);
        std::size_t wrong = 0;
        for (uint32_t w : words)
            wrong += ch1(w) != e1 || ch2(w) != e2 || (w & 0xFC00FC00u) != 0;
        EXPECT_EQ(wrong, 0u) << "first word " << std::hex << words[0] << std::dec << ", expected "
                             << e1 << " and " << e2;
    }
}

// Amplitude of a sine of `cycles` per sample in the CH1 codes, by a
// single-bin Fourier sum over whole periods.
double amplitudeAt(const std::vector<uint32_t>& words, double cycles) {
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < words.size(); ++n)
        sum += static_cast<double>(ch1(words[n])) *
               std::polar(1.0, -2.0 * std::numbers::pi * cycles * static_cast<double>(n));
    return 2.0 * std::abs(sum) / static_cast<double>(words.size());
}

TEST(DeviceAcquisition, BandwidthLimitIsAFirstOrderLowPassAt20MHz) {
    struct Case {
        uint32_t limit;
        double gain;
    };
    for (const Case& c : {Case{0, 1.0}, Case{1, 1.0 / std::sqrt(2.0)}}) {
        SCOPED_TRACE(c.limit);
        configure("CH1 = sine(freq=20MHz, amp=0.2)");
        Device d;
        ModeRecord m = defaultMode();
        m[0] = 3;  // 100 mV/div: 0.2 V is 204.8 codes
        m[7] = 10;
        m[8] = c.limit;
        m[12] = 2;
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        d.waitComplete();
        EXPECT_NEAR(amplitudeAt(d.data(10000), 0.2), 204.8 * c.gain, 1.0);
    }
}

TEST(DeviceAcquisition, NoiseHasItsRms) {
    configure("CH1 = noise(rms=10mV); CH2 = 0");
    Device d;
    ModeRecord m = defaultMode();
    m[7] = 10;
    m[12] = 2;
    ASSERT_TRUE(d.setMode(m));
    ASSERT_TRUE(d.start());
    d.waitComplete();
    double sum = 0, sq = 0;
    std::vector<uint32_t> words = d.data(10000);
    for (uint32_t w : words) {
        sum += ch1(w);
        sq += static_cast<double>(ch1(w)) * ch1(w);
    }
    double mean = sum / 1e4, rms = std::sqrt(sq / 1e4 - mean * mean);
    EXPECT_NEAR(mean, 512.0, 1.0);
    EXPECT_NEAR(rms, 20.48, 2.0);  // 10 mV at 2048 codes per volt
}

// The trigger point lies at index P; with a delay of D intervals the
// crossing of the level, with the chosen slope, lies D samples earlier.
TEST(DeviceAcquisition, TriggerPointCrossesTheLevelAtItsIndex) {
    struct Case {
        const char* name;
        uint32_t source, slope, levelWord, delay;
    };
    const Case cases[] = {
        {"CH1 rising at 0 V", 0, 0, 250, 0},    {"CH1 falling at +50 mV", 0, 1, 300, 0},
        {"CH2 rising at -50 mV", 1, 0, 200, 0}, {"CH2 falling, delayed", 1, 1, 250, 37},
        {"EXT rising at 0 V", 2, 0, 250, 0},    {"EXT falling at +0.3 V", 2, 1, 280, 120},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // CH1 mirrors EXT when EXT is the source, on the same scale.
        configure(c.source == 2 ? "clock_step = 1ms; CH1 = sine(freq=1MHz, amp=1, phase=40);"
                                  "EXT = sine(freq=1MHz, amp=1, phase=40)"
                                : "clock_step = 1ms; CH1 = sine(freq=1MHz, amp=0.1);"
                                  "CH2 = sine(freq=1MHz, amp=0.1, phase=90); EXT = 0");
        Device d;
        ModeRecord m = defaultMode();
        m[0] = c.source == 2 ? 5 : 2;
        m[7] = 10;
        m[12] = 1;
        m[13] = c.source;
        m[15] = c.slope;
        m[16] = c.levelWord;
        m[18] = c.delay;
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        ASSERT_EQ(d.waitComplete().status, 7u);
        std::vector<uint32_t> words = d.data(10000);
        auto code = [&](int i) {
            return static_cast<double>(c.source == 1 ? ch2(words[i]) : ch1(words[i]));
        };
        const double level = c.levelWord * 2.048;
        const int at = 5000 - static_cast<int>(c.delay);
        if (c.slope == 0) {
            EXPECT_LE(code(at - 1), level + 1);
            EXPECT_GE(code(at), level - 1);
            EXPECT_GT(code(at + 3), code(at - 3));
        } else {
            EXPECT_GE(code(at - 1), level - 1);
            EXPECT_LE(code(at), level + 1);
            EXPECT_LT(code(at + 3), code(at - 3));
        }
        uint32_t phase = 100;
        EXPECT_EQ(low(api().GetEquData(d.number(), &phase)), 1u);
        EXPECT_LT(phase, 100u);
    }
}

// Two pulses in each 20 us period, 2 us and 6 us wide, with lows of 8 us
// and 4 us between them. The pulse condition picks which edge triggers:
// the time spent on the other side of the level before the edge.
TEST(DeviceAcquisition, PulseConditionChoosesTheEdge) {
    struct Case {
        uint32_t slope, condition;
        int runAfterTrigger;  // samples on the new side after P
    };
    const Case cases[] = {
        {0, 1, 200},  // rising after a low under 5 us: the 2 us pulse follows
        {0, 2, 600},  // rising after a low of at least 5 us: the 6 us pulse
        {1, 1, 800},  // falling after a high under 5 us: the 8 us low follows
        {1, 2, 400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "slope " << c.slope << " condition " << c.condition);
        configure(
            "clock_step = 1ms; CH1 = pulse(freq=50k, amp=0.1, duty=10%) + "
            "pulse(freq=50k, amp=0.1, duty=30%, phase=180)");
        Device d;
        ModeRecord m = defaultMode();
        m[7] = 10;
        m[12] = 1;
        m[15] = c.slope;
        m[16] = 300;  // +50 mV, half way up
        m[19] = c.condition;
        m[20] = 5000;
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        ASSERT_EQ(d.waitComplete().status, 7u);
        std::vector<uint32_t> words = d.data(10000);
        const bool high = c.slope == 0;
        int run = 0;
        while (5000 + run < 10000 && (ch1(words[5000 + run]) > 614) == high)
            ++run;
        EXPECT_NEAR(run, c.runAfterTrigger, 2);
        EXPECT_NE(ch1(words[4999]) > 614, high);
    }
}

TEST(DeviceAcquisition, TriggerCouplingFiltersTheComparatorOnly) {
    struct Case {
        uint32_t coupling;
        const char* signal;
        uint32_t interval;
        bool triggers;
    };
    const Case cases[] = {
        {0, "sine(freq=1k, amp=0.1)", 1000, true},
        {1, "sine(freq=1k, amp=0.1)", 1000, false},  // LF reject: 2 % of it is left
        {1, "sine(freq=1MHz, amp=0.1)", 10, true},
        {2, "sine(freq=1MHz, amp=0.1)", 10, false},  // HF reject: 5 % left
        {2, "sine(freq=1k, amp=0.1)", 1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.coupling << " " << c.signal);
        configure(std::string("clock_step = 1ms; CH1 = ") + c.signal);
        Device d;
        ModeRecord m = defaultMode();
        m[7] = c.interval;
        m[12] = 1;
        m[14] = c.coupling;
        m[16] = 300;
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        Status s;
        for (int i = 0; i < 300 && s.status != 7; ++i)
            s = d.status();
        EXPECT_EQ(s.status, c.triggers ? 7u : 2u);
    }
}

TEST(DeviceAcquisition, AutoTriggeredRecordHasNoTriggerPhase) {
    configure("clock_step = 1ms; auto_timeout = 1ms");
    Device d;
    ModeRecord m = defaultMode();
    m[7] = 10;
    m[16] = 450;
    ASSERT_TRUE(d.setMode(m));
    ASSERT_TRUE(d.start(0));
    EXPECT_EQ(d.waitComplete().status, 11u);
    uint32_t phase = 1234;
    EXPECT_EQ(low(api().GetEquData(d.number(), &phase)), 0u);
    EXPECT_EQ(api().GetLastError(), ZEP9100_ERR_DEVICE | (ZEP9100_MINOR_NO_TRIGGER_PHASE << 16));
    EXPECT_EQ(phase, 1234u);
}

// The program's merge of equivalent-time passes, as it places them: pass
// sample s + k goes to index phase + 100 k, s = P - P div 100.
TEST(DeviceAcquisition, EquivalentTimePassesRebuildA50MHzSine) {
    for (uint32_t p : {5000u, 5050u}) {
        SCOPED_TRACE(p);
        configure("seed = 7; CH1 = sine(freq=50MHz, amp=0.15)");
        Device d;
        ModeRecord m = defaultMode();
        m[7] = 10;
        m[10] = 1;
        m[12] = 1;
        m[17] = p;
        ASSERT_TRUE(d.setMode(m));
        const uint32_t n = 10000, s = p - p / 100, k = n / 100;
        std::vector<uint32_t> equ(n, ZEP9100_NO_SAMPLE);
        std::set<uint32_t> phases;
        for (int pass = 0; pass < 200; ++pass) {
            ASSERT_TRUE(d.start());
            ASSERT_EQ(d.waitComplete().status, 7u);
            std::vector<uint32_t> fetch = d.data(n);
            uint32_t phase = 0;
            ASSERT_EQ(low(api().GetEquData(d.number(), &phase)), 1u);
            ASSERT_LT(phase, 100u);
            phases.insert(phase);
            for (uint32_t i = 0; i < k; ++i)
                equ[phase + 100 * i] = fetch[s + i];
        }
        EXPECT_GT(phases.size(), 75u);
        std::size_t filled = 0, off = 0;
        for (uint32_t j = 0; j < n; ++j) {
            if (equ[j] == ZEP9100_NO_SAMPLE)
                continue;
            ++filled;
            // 100 ps per index, the trigger (rising through 0 V) at index P.
            double expected =
                512.0 + 0.15 * 2048.0 *
                            std::sin(2.0 * std::numbers::pi * (static_cast<double>(j) - p) / 200.0);
            off += std::fabs(ch1(equ[j]) - expected) > 2.0;
        }
        EXPECT_EQ(filled, phases.size() * 100);
        EXPECT_EQ(off, 0u);
    }
}

// Roll: each status reports what was gathered since the last read (here
// 10 samples per command), each read hands out the oldest, in order.
TEST(DeviceAcquisition, RollCountsAndHandsOutSamplesOldestFirst) {
    struct Case {
        const char* step;
        bool capped;
    };
    for (const Case& c : {Case{"10ms", false}, Case{"20s", true}}) {
        SCOPED_TRACE(c.step);
        // A ramp of about 2 codes per 1 ms sample.
        configure(std::string("clock_step = ") + c.step +
                  "; CH1 = sawtooth(freq=2.0346, amp=0.24)");
        Device d;
        ModeRecord m = defaultMode();
        m[7] = 1000000;
        m[11] = 1;
        m[12] = 2;
        ASSERT_TRUE(d.setMode(m));
        ASSERT_TRUE(d.start());
        int64_t commands = 0, consumed = 0;
        std::vector<uint32_t> codes;
        for (int i = 0; i < 40; ++i) {
            Status s = d.status();
            ++commands;
            if (c.capped) {
                EXPECT_EQ(s.count, 10000u);
            } else {
                EXPECT_EQ(s.count, 10 * commands - consumed);
            }
            uint32_t n = i % 3 == 0 ? s.count : s.count / 2;
            std::vector<uint32_t> words = d.data(n);
            ++commands;
            consumed += n;
            for (uint32_t w : words)
                codes.push_back(ch1(w));
            if (c.capped) {
                // Only the newest 10,000 are kept: continuity within a read.
                for (std::size_t j = 1; j < words.size(); ++j) {
                    int diff =
                        static_cast<int>(ch1(words[j])) - static_cast<int>(ch1(words[j - 1]));
                    EXPECT_TRUE((diff >= 1 && diff <= 3) || diff < -900) << diff;
                }
                codes.clear();
            }
        }
        std::size_t wraps = 0;
        for (std::size_t j = 1; j < codes.size(); ++j) {
            int diff = static_cast<int>(codes[j]) - static_cast<int>(codes[j - 1]);
            if (diff < -900) {
                ++wraps;
            } else {
                EXPECT_TRUE(diff >= 1 && diff <= 3) << "at " << j << ": " << diff;
            }
        }
        EXPECT_LE(wraps, codes.size() / 450 + 1);
    }
}

TEST(DeviceAcquisition, RollGathersWithTheWallClock) {
    configure("");
    Device d;
    ModeRecord m = defaultMode();
    m[7] = 100000;  // 100 us
    m[11] = 1;
    m[12] = 2;
    ASSERT_TRUE(d.setMode(m));
    ASSERT_TRUE(d.start());
    Status s;
    for (int i = 0; i < 10000 && s.count < 50; ++i) {
        s = d.status();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_GE(s.count, 50u);
    EXPECT_LE(s.count, 10000u);
    std::vector<uint32_t> words = d.data(s.count);
    EXPECT_EQ(std::count(words.begin(), words.end(), ZEP9100_NO_SAMPLE), 0);
    ASSERT_EQ(low(api().StopSampling(d.number())), 1u);
}

}  // namespace
}  // namespace lumatrace::device::test
