// The measurements against signals whose values are known in closed form: rendered by the
// virtual instrument's signal model (sine, square, pulse, DC, noise, its 20 MHz bandwidth limit)
// or built sample by sample (a trapezoid, gaps, ground).
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "app/measure/MeasureEngine.h"
#include "device/firmware/FrontEnd.h"
#include "device/firmware/SampleRenderer.h"
#include "device/firmware/VirtualConfig.h"

namespace lumatrace {
namespace {

using device::Picoseconds;

// One channel of a rendered scene: the signal at the input connector and the front end.
struct ChannelScene {
    std::string signal = "off";
    int voltsPerDivIndex = 4;  // 200 mV/div
    int position = 250;
    bool bandwidthLimit = false;
    std::uint64_t noiseSeed = 7;
};

device::SignalSpec Parse(const std::string& text) {
    device::VirtualConfig c;
    const auto errors = device::applyVirtualConfig("CH1 = " + text, c);
    EXPECT_TRUE(errors.empty()) << text;
    return c.inputs[device::kInputCh1];
}

// `points` words sampled every `dtPs` from instant `startPs`.
std::vector<SampleWord> Render(const ChannelScene& ch1, const ChannelScene& ch2, int points,
                               Picoseconds dtPs, Picoseconds startPs = 0) {
    auto compile = [](const ChannelScene& c) {
        device::ChannelSetting s;
        s.voltsPerDivIndex = static_cast<std::uint32_t>(c.voltsPerDivIndex);
        s.positionWord = static_cast<std::uint32_t>(500 - c.position);
        s.bandwidthLimited = c.bandwidthLimit;
        return device::compileChannel(Parse(c.signal), s, c.noiseSeed);
    };
    const std::vector<device::Epoch> epochs = {{0, {compile(ch1), compile(ch2)}}};
    std::vector<SampleWord> words(static_cast<std::size_t>(points));
    device::SampleRenderer().render(epochs, startPs, dtPs, 0, static_cast<std::uint32_t>(points),
                                    words.data());
    return words;
}

MeasureInput InputFor(const std::vector<SampleWord>& record, const ChannelScene& ch1,
                      const ChannelScene& ch2, double intervalSeconds) {
    MeasureInput in;
    in.record = record;
    const ChannelScene* scenes[2] = {&ch1, &ch2};
    for (int ch = 0; ch < 2; ++ch) {
        MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
        c.voltsPerDivMv = static_cast<int>(device::kVoltsPerDivMv[scenes[ch]->voltsPerDivIndex]);
        c.probeFactor = 1;
        c.position = scenes[ch]->position;
    }
    in.sampleIntervalSeconds = intervalSeconds;
    return in;
}

MeasureValues MeasureWhole(const MeasureInput& in, MeasureSource source) {
    MeasureEngine engine;
    return engine.Measure(in, source, {0, static_cast<int>(in.record.size())});
}

double Value(const MeasureValues& v, MeasureId id) {
    EXPECT_TRUE(v[id].has_value()) << InfoOf(id).name;
    return v[id].value_or(std::nan(""));
}

void ExpectWithin(const MeasureValues& v, MeasureId id, double expected, double relative) {
    EXPECT_NEAR(Value(v, id), expected, std::fabs(expected) * relative) << InfoOf(id).name;
}

constexpr MeasureId kTiming[] = {MeasureId::Frequency, MeasureId::Period,  MeasureId::WidthPos,
                                 MeasureId::WidthNeg,  MeasureId::DutyPos, MeasureId::DutyNeg,
                                 MeasureId::Rise,      MeasureId::Fall,    MeasureId::Edges};

// 100,000 samples 1 us apart: 100 periods of 1 kHz, 1,000 samples each.
constexpr int kPoints = 100000;
constexpr Picoseconds kMicrosecond = 1'000'000;

TEST(MeasureAnalytic, SineAmplitudeRmsAndFrequency) {
    // 0.78125 V at 200 mV/div is exactly 400 codes: the peaks land on codes 112 and 912.
    ChannelScene ch1{"sine(freq=1kHz, amp=0.78125)"};
    const auto record = Render(ch1, {}, kPoints, kMicrosecond);
    const MeasureValues v = MeasureWhole(InputFor(record, ch1, {}, 1e-6), MeasureSource::Ch1);
    const double a = 0.78125;
    ExpectWithin(v, MeasureId::Vmax, a, 1e-3);
    ExpectWithin(v, MeasureId::Vmin, -a, 1e-3);
    ExpectWithin(v, MeasureId::Vpp, 2 * a, 1e-3);
    ExpectWithin(v, MeasureId::Vamp, 2 * a, 1e-3);  // a sine's histogram peaks at its extremes
    ExpectWithin(v, MeasureId::Vrms, a / std::numbers::sqrt2, 1e-3);
    ExpectWithin(v, MeasureId::VrmsAc, a / std::numbers::sqrt2, 1e-3);
    EXPECT_NEAR(Value(v, MeasureId::Vmean), 0.0, 1e-3);
    ExpectWithin(v, MeasureId::Frequency, 1000.0, 1e-3);
    ExpectWithin(v, MeasureId::Period, 1e-3, 1e-3);
    ExpectWithin(v, MeasureId::DutyPos, 50.0, 1e-3);
    // The sine starts at its 50 % level, so the first rising edge is the second period's.
    EXPECT_EQ(Value(v, MeasureId::Edges), 99.0);
    // 10-90 % of a sine's swing: 2 asin(0.8) / (2 pi f).
    ExpectWithin(v, MeasureId::Rise, 2 * std::asin(0.8) / (2 * std::numbers::pi * 1000.0), 2e-3);

    // The same signal through a x10 probe reads ten times larger; the times do not change.
    MeasureInput tenfold = InputFor(record, ch1, {}, 1e-6);
    tenfold.channel[0].probeFactor = 10;
    const MeasureValues w = MeasureWhole(tenfold, MeasureSource::Ch1);
    ExpectWithin(w, MeasureId::Vpp, 20 * a, 1e-3);
    ExpectWithin(w, MeasureId::Vrms, 10 * a / std::numbers::sqrt2, 1e-3);
    EXPECT_EQ(w[MeasureId::Frequency], v[MeasureId::Frequency]);
}

TEST(MeasureAnalytic, PulseAndSquareDutyAndWidths) {
    struct Case {
        const char* signal;
        double duty;  // percent high
    };
    for (const Case& c : {Case{"pulse(freq=1kHz, amp=0.6, duty=20%)", 20.0},
                          Case{"square(freq=1kHz, amp=0.3, duty=20%)", 20.0},
                          Case{"square(freq=1kHz, amp=0.3)", 50.0},
                          Case{"pulse(freq=1kHz, amp=0.6, duty=80%, offset=-0.3)", 80.0}}) {
        SCOPED_TRACE(c.signal);
        ChannelScene ch1{c.signal};
        const auto record = Render(ch1, {}, kPoints, kMicrosecond);
        const MeasureValues v = MeasureWhole(InputFor(record, ch1, {}, 1e-6), MeasureSource::Ch1);
        EXPECT_NEAR(Value(v, MeasureId::DutyPos), c.duty, 0.5);
        EXPECT_NEAR(Value(v, MeasureId::DutyNeg), 100.0 - c.duty, 0.5);
        EXPECT_NEAR(Value(v, MeasureId::WidthPos), c.duty * 1e-5, 1e-6);  // within one sample
        EXPECT_NEAR(Value(v, MeasureId::WidthNeg), (100.0 - c.duty) * 1e-5, 1e-6);
        ExpectWithin(v, MeasureId::Frequency, 1000.0, 1e-3);
        ExpectWithin(v, MeasureId::Vamp, 0.6, 5e-3);
        // Edges from one sample to the next: below one sample interval.
        EXPECT_LT(Value(v, MeasureId::Rise), 1e-6);
        EXPECT_LT(Value(v, MeasureId::Fall), 1e-6);
        EXPECT_NEAR(Value(v, MeasureId::Overshoot), 0.0, 1e-9);
        EXPECT_NEAR(Value(v, MeasureId::Preshoot), 0.0, 1e-9);
    }
}

TEST(MeasureAnalytic, TrapezoidRiseAndFallTenToNinety) {
    // Base code 200, a ramp of 6 codes per sample to 800, 400 samples high, a ramp of 12 codes
    // per sample back down: 10 % and 90 % are codes 260 and 740, reached on samples.
    std::vector<SampleWord> record;
    for (int period = 0; period < 20; ++period) {
        for (int k = 0; k < 300; ++k)
            record.push_back(MakeSampleWord(200, 0));
        for (int k = 0; k < 100; ++k)
            record.push_back(MakeSampleWord(200 + 6 * k, 0));
        for (int k = 0; k < 400; ++k)
            record.push_back(MakeSampleWord(800, 0));
        for (int k = 0; k < 50; ++k)
            record.push_back(MakeSampleWord(800 - 12 * k, 0));
    }
    ChannelScene ch1;
    const MeasureValues v = MeasureWhole(InputFor(record, ch1, {}, 2e-9), MeasureSource::Ch1);
    EXPECT_DOUBLE_EQ(Value(v, MeasureId::Rise), 80 * 2e-9);
    EXPECT_DOUBLE_EQ(Value(v, MeasureId::Fall), 40 * 2e-9);
    EXPECT_DOUBLE_EQ(Value(v, MeasureId::Period), 850 * 2e-9);
    EXPECT_EQ(Value(v, MeasureId::Edges), 20.0);
    // 50 % (code 500) is met 50 samples into the rise and 25 into the fall.
    EXPECT_DOUBLE_EQ(Value(v, MeasureId::WidthPos), (50 + 400 + 25) * 2e-9);
    // 200 mV/div: 2 V over 1024 codes.
    EXPECT_DOUBLE_EQ(Value(v, MeasureId::Vamp), 600 * 2.0 / 1024);
    EXPECT_DOUBLE_EQ(Value(v, MeasureId::Vtop), (800 - 512) * 2.0 / 1024);
}

TEST(MeasureAnalytic, BandwidthLimitedEdgeRisesInTauLnNine) {
    // A first-order 20 MHz low-pass: 10-90 % in ln(9) / (2 pi 20 MHz) = 17.48 ns, sampled
    // every 100 ps as an equivalent-time record is.
    ChannelScene ch1{"square(freq=100kHz, amp=0.5)"};
    ch1.bandwidthLimit = true;
    const auto record = Render(ch1, {}, 200000, 100);
    const MeasureValues v = MeasureWhole(InputFor(record, ch1, {}, 1e-10), MeasureSource::Ch1);
    const double expected = std::log(9.0) / (2 * std::numbers::pi * 20e6);
    ExpectWithin(v, MeasureId::Rise, expected, 1e-2);
    ExpectWithin(v, MeasureId::Fall, expected, 1e-2);
    ExpectWithin(v, MeasureId::Frequency, 100e3, 1e-3);
}

TEST(MeasureAnalytic, DcHasLevelsButNoTiming) {
    ChannelScene ch1{"dc(level=0.3)"};
    const auto record = Render(ch1, {}, kPoints, kMicrosecond);
    const MeasureValues v = MeasureWhole(InputFor(record, ch1, {}, 1e-6), MeasureSource::Ch1);
    EXPECT_NEAR(Value(v, MeasureId::Vmean), 0.3, 2.0 / 1024);
    EXPECT_NEAR(Value(v, MeasureId::Vrms), 0.3, 2.0 / 1024);
    EXPECT_EQ(Value(v, MeasureId::Vpp), 0.0);
    EXPECT_EQ(Value(v, MeasureId::VrmsAc), 0.0);
    for (MeasureId id : kTiming)
        EXPECT_FALSE(v[id].has_value()) << InfoOf(id).name;
    EXPECT_FALSE(v[MeasureId::Overshoot].has_value());
    EXPECT_FALSE(v[MeasureId::Preshoot].has_value());
    EXPECT_FALSE(v[MeasureId::Delay].has_value());
}

TEST(MeasureAnalytic, NoiseOnASquareMakesNoFalseEdges) {
    // 0.8 V peak to peak (410 codes) with 0.156 V rms of noise (80 codes, reaching 3.5 rms at
    // most): the noise crosses the 50 % level from either state many times, but can never
    // span the 80 % between the 10 % and 90 % levels.
    ChannelScene ch1{"square(freq=1kHz, amp=0.4) + noise(rms=156m)"};
    const auto record = Render(ch1, {}, kPoints, kMicrosecond);
    int strays = 0;
    for (int i = 1; i < kPoints; ++i) {
        const int a = DecodeCode(record[static_cast<std::size_t>(i - 1)], 0);
        const int b = DecodeCode(record[static_cast<std::size_t>(i)], 0);
        // Within one half period but across the middle code: noise, not an edge.
        const bool sameHalf = (i - 1) / 500 == i / 500;
        strays += sameHalf && ((a < 512) != (b < 512));
    }
    ASSERT_GT(strays, 100) << "the noise should cross the 50 % level by itself";
    const MeasureValues v = MeasureWhole(InputFor(record, ch1, {}, 1e-6), MeasureSource::Ch1);
    // High for the first half period: rising edges at 1, 2, ... 99 ms.
    EXPECT_EQ(Value(v, MeasureId::Edges), 99.0);
    ExpectWithin(v, MeasureId::Frequency, 1000.0, 1e-3);
    EXPECT_NEAR(Value(v, MeasureId::DutyPos), 50.0, 0.5);
}

TEST(MeasureAnalytic, MissingSamplesAreSkipped) {
    ChannelScene ch1{"sine(freq=1kHz, amp=0.78125)"};
    ChannelScene ch2{"pulse(freq=1kHz, amp=0.6, duty=20%)"};
    const auto full = Render(ch1, ch2, kPoints, kMicrosecond);
    const MeasureInput fullInput = InputFor(full, ch1, ch2, 1e-6);
    const MeasureValues whole1 = MeasureWhole(fullInput, MeasureSource::Ch1);
    const MeasureValues whole2 = MeasureWhole(fullInput, MeasureSource::Ch2);

    // Only every 7th word acquired (an equivalent-time record before it fills), CH1 missing
    // in a further tenth of them, CH2 in another tenth, and a longer gap.
    std::vector<SampleWord> gappy(full.size(), NoSample);
    for (std::size_t i = 0; i < full.size(); i += 7) {
        gappy[i] = full[i];
        if (i % 10 == 3)
            gappy[i] |= 0xFFFFu;
        if (i % 10 == 6)
            gappy[i] |= 0xFFFF0000u;
    }
    // A gap across CH1's falling edge, but shorter than either of its bands beyond the 10 %
    // and 90 % levels, so that no edge is lost: the edge is taken across it.
    std::fill(gappy.begin() + 40350, gappy.begin() + 40600, NoSample);
    const MeasureInput in = InputFor(gappy, ch1, ch2, 1e-6);
    const MeasureValues v1 = MeasureWhole(in, MeasureSource::Ch1);
    const MeasureValues v2 = MeasureWhole(in, MeasureSource::Ch2);
    ExpectWithin(v1, MeasureId::Frequency, 1000.0, 1e-3);
    ExpectWithin(v1, MeasureId::Vpp, Value(whole1, MeasureId::Vpp), 1e-2);
    ExpectWithin(v1, MeasureId::Vrms, Value(whole1, MeasureId::Vrms), 1e-3);
    EXPECT_EQ(Value(v1, MeasureId::Edges), Value(whole1, MeasureId::Edges));
    ExpectWithin(v2, MeasureId::Frequency, 1000.0, 1e-3);
    EXPECT_NEAR(Value(v2, MeasureId::DutyPos), 20.0, 1.0);  // seven times coarser
    ExpectWithin(v2, MeasureId::Vtop, Value(whole2, MeasureId::Vtop), 1e-9);
    ExpectWithin(v2, MeasureId::Vbase, Value(whole2, MeasureId::Vbase), 1e-9);

    // Nothing acquired yet: no values at all.
    const std::vector<SampleWord> empty(1000, NoSample);
    EXPECT_EQ(MeasureWhole(InputFor(empty, ch1, ch2, 1e-6), MeasureSource::Ch1), MeasureValues{});
    EXPECT_EQ(MeasureWhole(InputFor(empty, ch1, ch2, 1e-6), MeasureSource::Math), MeasureValues{});
}

TEST(MeasureAnalytic, GroundedOrOffChannelHasNoValues) {
    ChannelScene ch1{"sine(freq=1kHz, amp=0.5)"};
    ChannelScene ch2{"sine(freq=1kHz, amp=0.5)"};
    auto record = Render(ch1, ch2, kPoints, kMicrosecond);
    // Acquisition writes the zero code into a grounded channel.
    for (SampleWord& w : record)
        w = MakeSampleWord(DecodeCode(w, 0), RoundedZeroCode(ch2.position));
    MeasureInput in = InputFor(record, ch1, ch2, 1e-6);
    in.channel[1].ground = true;
    EXPECT_EQ(MeasureWhole(in, MeasureSource::Ch2), MeasureValues{});
    // CH1 still measures, but the pair has no second channel.
    const MeasureValues v1 = MeasureWhole(in, MeasureSource::Ch1);
    EXPECT_TRUE(v1[MeasureId::Frequency].has_value());
    EXPECT_FALSE(v1[MeasureId::Delay].has_value());
    EXPECT_FALSE(v1[MeasureId::Phase].has_value());

    in.channel[1].ground = false;
    in.channel[0].on = false;
    EXPECT_EQ(MeasureWhole(in, MeasureSource::Ch1), MeasureValues{});
    // MATH off: nothing, whatever the channels hold.
    EXPECT_EQ(MeasureWhole(in, MeasureSource::Math), MeasureValues{});
}

TEST(MeasureAnalytic, DelayAndPhaseBetweenTheChannels) {
    // CH2 lags CH1 by 45 degrees; the record starts 0.3 period before CH1's rising zero
    // crossing.
    ChannelScene ch1{"sine(freq=1kHz, amp=0.6)"};
    ChannelScene ch2{"sine(freq=1kHz, amp=0.3, phase=-45)"};
    const auto record = Render(ch1, ch2, kPoints, kMicrosecond, -300 * kMicrosecond);
    MeasureInput in = InputFor(record, ch1, ch2, 1e-6);
    for (MeasureSource source : {MeasureSource::Ch1, MeasureSource::Ch2}) {
        const MeasureValues v = MeasureWhole(in, source);
        EXPECT_NEAR(Value(v, MeasureId::Delay), 125e-6, 1e-6);
        EXPECT_NEAR(Value(v, MeasureId::Phase), 45.0, 0.5);
    }
    // Swapped, CH2 leads by an eighth of a period.
    std::swap(ch1, ch2);
    const auto swapped = Render(ch1, ch2, kPoints, kMicrosecond, -300 * kMicrosecond);
    const MeasureValues s = MeasureWhole(InputFor(swapped, ch1, ch2, 1e-6), MeasureSource::Ch1);
    EXPECT_NEAR(Value(s, MeasureId::Delay), -125e-6, 1e-6);
    EXPECT_NEAR(Value(s, MeasureId::Phase), -45.0, 0.5);
}

TEST(MeasureAnalytic, DelayIsToTheNearestEdgeOfTheSecondChannel) {
    // CH2 lags by 120 degrees. CH1 begins on its way up between its 10 % and 90 % levels, so
    // its first rising edge in the record is at 340 degrees; CH2 begins low and rises at 100
    // and 460 degrees. Its edge nearest CH1's is 120 degrees after it, not 240 before.
    ChannelScene ch1{"sine(freq=1kHz, amp=0.6, phase=20)"};
    ChannelScene ch2{"sine(freq=1kHz, amp=0.6, phase=-100)"};
    const auto record = Render(ch1, ch2, kPoints, kMicrosecond);
    const MeasureValues v = MeasureWhole(InputFor(record, ch1, ch2, 1e-6), MeasureSource::Ch2);
    EXPECT_NEAR(Value(v, MeasureId::Delay), 120.0 / 360.0 * 1e-3, 1e-6);
    EXPECT_NEAR(Value(v, MeasureId::Phase), 120.0, 0.5);
}

TEST(MeasureAnalytic, MathOfTheChannels) {
    ChannelScene ch1{"sine(freq=1kHz, amp=0.78125)"};
    ChannelScene ch2{"sine(freq=1kHz, amp=0.390625)"};
    ch2.voltsPerDivIndex = 3;  // 100 mV/div: 400 codes as well
    ch2.position = 200;
    const auto record = Render(ch1, ch2, kPoints, kMicrosecond);
    MeasureInput in = InputFor(record, ch1, ch2, 1e-6);
    in.mathOn = true;

    in.math.op = MathOperator::Add;
    MeasureValues v = MeasureWhole(in, MeasureSource::Math);
    ExpectWithin(v, MeasureId::Vpp, 2 * (0.78125 + 0.390625), 2e-3);
    ExpectWithin(v, MeasureId::Vrms, (0.78125 + 0.390625) / std::numbers::sqrt2, 2e-3);
    ExpectWithin(v, MeasureId::Frequency, 1000.0, 1e-3);

    // The product of two sines in phase: A B sin^2, at twice the frequency, always >= 0.
    in.math.op = MathOperator::Mul;
    v = MeasureWhole(in, MeasureSource::Math);
    ExpectWithin(v, MeasureId::Frequency, 2000.0, 1e-3);
    ExpectWithin(v, MeasureId::Vmax, 0.78125 * 0.390625, 1e-2);
    ExpectWithin(v, MeasureId::Vmean, 0.78125 * 0.390625 / 2, 1e-2);

    // CH1 - CH1 is flat: levels of zero, no timing.
    in.math.secondSource = 0;
    in.math.op = MathOperator::Sub;
    v = MeasureWhole(in, MeasureSource::Math);
    EXPECT_EQ(Value(v, MeasureId::Vpp), 0.0);
    EXPECT_FALSE(v[MeasureId::Frequency].has_value());

    // A quotient by a channel at its zero code has no value anywhere.
    std::vector<SampleWord> zero(record);
    for (SampleWord& w : zero)
        w = MakeSampleWord(DecodeCode(w, 0), 512);
    MeasureInput div = InputFor(zero, ch1, ch2, 1e-6);
    div.channel[1].position = 250;
    div.mathOn = true;
    div.math.op = MathOperator::Div;
    EXPECT_EQ(MeasureWhole(div, MeasureSource::Math), MeasureValues{});
    // A grounded operand counts as 0 V: CH1 + grounded CH2 is CH1.
    div.math.op = MathOperator::Add;
    div.channel[1].ground = true;
    v = MeasureWhole(div, MeasureSource::Math);
    const MeasureValues alone = MeasureWhole(div, MeasureSource::Ch1);
    ExpectWithin(v, MeasureId::Vpp, Value(alone, MeasureId::Vpp), 1e-12);
    ExpectWithin(v, MeasureId::Frequency, Value(alone, MeasureId::Frequency), 1e-9);
}

}  // namespace
}  // namespace lumatrace
