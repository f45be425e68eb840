// The fast sample rendering against a plain evaluation, the filters against
// their textbook responses, and the trigger search.
#include "device/firmware/SignalModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "device/firmware/Acquisition.h"
#include "device/firmware/FrontEnd.h"

namespace lumatrace::device {
namespace {

SignalSpec parse(const std::string& text) {
    VirtualConfig c;
    auto errors = applyVirtualConfig("CH1 = " + text, c);
    EXPECT_TRUE(errors.empty()) << (errors.empty() ? "" : errors[0].message);
    return c.inputs[kInputCh1];
}

TEST(DeviceSignalModel, RenderingMatchesThePlainEvaluation) {
    struct Case {
        const char* signal;
        FilterChain chain;
        bool ac;
        Picoseconds t0, dt;
    };
    const Case cases[] = {
        {"sine(freq=1k, amp=0.1)", FilterChain::identity(), false, 123457, 10000},
        {"sine(freq=50MHz, amp=0.1, phase=33) + 0.02", FilterChain::lowPass(20e6), false,
         987654321987, 10000},
        // Far from power-on, and sampled below the signal's rate.
        {"square(freq=3.3MHz, amp=0.2, duty=30%)", FilterChain::identity(), true,
         3'600'000'000'123'457, 1'000'000},
        {"triangle(freq=20k, amp=0.1) + saw(freq=7k, amp=0.05, offset=0.01)",
         FilterChain::lowPass(20e6).then(FilterChain::highPass(50e3)), false, 55555, 20000},
        {"pulse(freq=1MHz, amp=0.3, duty=12%) + noise(rms=5m)", FilterChain::lowPass(20e6), false,
         1, 10000},
        {"square(freq=10k, amp=0.1)", FilterChain::lowPass(50e3), true, 777, 100000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.signal);
        CompiledSignal s(parse(c.signal), c.chain, c.ac, 2048.0, 512.0, 99);
        const std::size_t n = 9000;  // crosses a re-seeding boundary
        std::vector<double> fast(n);
        s.render(c.t0, c.dt, n, fast.data());
        double worst = 0.0;
        std::size_t edges = 0;
        for (std::size_t k = 0; k < n; ++k) {
            double d =
                std::fabs(fast[k] - s.referenceAt(c.t0 + static_cast<Picoseconds>(k) * c.dt));
            // An unfiltered edge may fall within rounding of a sample.
            if (d > 1.0)
                ++edges;
            else
                worst = std::max(worst, d);
        }
        EXPECT_LT(worst, 1e-6);
        EXPECT_LE(edges, 1u);
    }
}

// Edges that fall exactly on sample instants: every sample, the ones right
// on an edge included, takes the level of the plain evaluation the trigger
// comparator uses, and a sample taken at a trigger instant is on the side
// the trigger went to.
TEST(DeviceSignalModel, SamplesOnAnEdgeTakeTheComparatorsSide) {
    struct Case {
        const char* signal;
        Picoseconds t0, dt;
        bool falling;
    };
    const Case cases[] = {
        {"pulse(freq=50k, amp=0.1, duty=10%) + pulse(freq=50k, amp=0.1, duty=30%, phase=180)", 0,
         10'000, true},
        {"pulse(freq=50k, amp=0.1, duty=10%) + pulse(freq=50k, amp=0.1, duty=30%, phase=180)",
         7'000'000'000'000, 10'000, false},
        {"square(freq=1MHz, amp=0.1, duty=25%)", 0, 10'000, true},
        {"square(freq=1MHz, amp=0.1, duty=25%)", 250'000, 50'000, false},  // two samples a level
        {"pulse(freq=2.5MHz, amp=0.1, duty=50%)", 3'600'000'000'000'000, 100'000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.signal << " from " << c.t0);
        CompiledSignal s(parse(c.signal), FilterChain::identity(), false, 2048.0, 512.0, 0);
        const std::size_t n = 9000;  // crosses a re-seeding boundary
        std::vector<double> fast(n);
        s.render(c.t0, c.dt, n, fast.data());
        std::size_t differing = 0;
        for (std::size_t k = 0; k < n; ++k)
            differing +=
                std::fabs(fast[k] - s.deterministicAt(c.t0 + static_cast<Picoseconds>(k) * c.dt)) >
                1e-6;
        EXPECT_EQ(differing, 0u);

        const double level = 512.0 + 0.05 * 2048.0;
        TriggerCondition t{&s, level, c.falling, 0, 0};
        const Picoseconds at = findTriggerEvent(t, c.t0 + 1, kNever);
        ASSERT_NE(at, kNever);
        double sample = 0.0;
        s.render(at, c.dt, 1, &sample);
        EXPECT_EQ(sample >= level, !c.falling);
    }
}

// Steady state of a first-order low-pass driven by a square wave, against
// a plain integration of tau y' + y = x over many periods.
TEST(DeviceSignalModel, LowPassOfASquareMatchesIntegration) {
    for (double corner : {5e3, 50e3, 500e3}) {
        SCOPED_TRACE(corner);
        const double tau = 1.0 / (2.0 * std::numbers::pi * corner);
        CompiledSignal s(parse("square(freq=10k, amp=1, duty=30%)"), FilterChain::lowPass(corner),
                         false, 1.0, 0.0, 0);
        // Exact step of the ODE for a piecewise-constant input.
        const Picoseconds step = 10'000;  // 10 ns
        const double e = std::exp(-1e-8 / tau);
        double y = 0.0;
        double worst = 0.0;
        for (Picoseconds t = 0; t < 4'000'000'000; t += step) {  // 40 periods
            double x = t % 100'000'000 < 30'000'000 ? 1.0 : -1.0;
            y = x + (y - x) * e;
            if (t > 3'000'000'000)
                worst = std::max(worst, std::fabs(y - s.deterministicAt(t + step)));
        }
        EXPECT_LT(worst, 1e-3);
    }
}

TEST(DeviceSignalModel, FilterChainsHaveTheirTextbookResponses) {
    struct Case {
        FilterChain chain;
        double frequency, gain;
    };
    auto lp = [](double fc) { return FilterChain::lowPass(fc); };
    auto hp = [](double fc) { return FilterChain::highPass(fc); };
    const Case cases[] = {
        {lp(20e6), 20e6, 1 / std::sqrt(2.0)},
        {lp(20e6), 50e6, 1 / std::sqrt(1 + 6.25)},
        {hp(50e3), 1e3, 0.02 / std::sqrt(1 + 0.0004)},
        {lp(20e6).then(lp(50e3)), 50e3, 1 / std::sqrt(2.0) / std::sqrt(1 + 6.25e-6)},
        {lp(20e6).then(hp(50e3)), 20e6, 1 / std::sqrt(2.0) / std::sqrt(1 + 6.25e-6)},
    };
    for (const Case& c : cases) {
        double gain = 0, phase = 0;
        c.chain.sineResponse(c.frequency, gain, phase);
        EXPECT_NEAR(gain, c.gain, 1e-9);
    }
    EXPECT_NEAR(hp(50e3).dcGain(), 0.0, 1e-15);
    EXPECT_NEAR(lp(20e6).then(lp(50e3)).dcGain(), 1.0, 1e-12);
}

TEST(DeviceSignalModel, QuantisationRoundsHalfToEvenAndClips) {
    EXPECT_EQ(quantise(511.5), 512u);
    EXPECT_EQ(quantise(512.5), 512u);
    EXPECT_EQ(quantise(512.5000001), 513u);
    EXPECT_EQ(quantise(-3.0), 0u);
    EXPECT_EQ(quantise(1023.4), 1023u);
    EXPECT_EQ(quantise(5000.0), 1023u);
}

// Crossings of a 1 kHz sine (period 1 ms) at +0.05 V: rising at 1/12 of
// the period, falling at 5/12.
TEST(DeviceSignalModel, TriggerSearchFindsTheCrossing) {
    CompiledSignal s(parse("sine(freq=1k, amp=0.1)"), FilterChain::identity(), false, 2048.0, 512.0,
                     0);
    struct Case {
        bool falling;
        Picoseconds from;
        double expectedMs;
    };
    const Case cases[] = {
        {false, 0, 1.0 / 12},
        {true, 0, 5.0 / 12},
        {false, 100'000'000, 1 + 1.0 / 12},
        {true, 2'000'000'000, 2 + 5.0 / 12},
    };
    for (const Case& c : cases) {
        TriggerCondition t{&s, 512.0 + 0.05 * 2048.0, c.falling, 0, 0};
        Picoseconds at = findTriggerEvent(t, c.from, kNever);
        EXPECT_NEAR(at * 1e-9, c.expectedMs, 1e-6);
    }
    TriggerCondition never{&s, 512.0 + 0.2 * 2048.0, false, 0, 0};
    EXPECT_EQ(findTriggerEvent(never, 0, kNever), kNever);
}

}  // namespace
}  // namespace lumatrace::device
