// Sample words from the two channels' signals: the converter's rounding
// and clipping in the packed fast path, the front-end epochs, and words
// that do not depend on how the grid is cut into calls.
#include "device/firmware/SampleRenderer.h"

#include <gtest/gtest.h>

#include <cmath>

#include "device/firmware/FrontEnd.h"

namespace lumatrace::device {
namespace {

SignalSpec parse(const std::string& text) {
    VirtualConfig c;
    auto errors = applyVirtualConfig("CH1 = " + text, c);
    EXPECT_TRUE(errors.empty());
    return c.inputs[kInputCh1];
}

std::shared_ptr<const CompiledSignal> level(double code) {
    return std::make_shared<const CompiledSignal>(SignalSpec{}, FilterChain::identity(), false, 1.0,
                                                  code, 0);
}

TEST(DeviceSampleRenderer, EachSampleIsQuantisedUnderTheEpochOfItsInstant) {
    // Ties go to even, out-of-range and NaN levels clip.
    const double levels[][2] = {{511.5, 512.5},   {-3.0, 1500.0},   {0.5, 1.5},
                                {1022.5, 1023.0}, {2.4999, 700.51}, {NAN, -0.0}};
    const Picoseconds first = 5000, dt = 10'000;
    std::vector<Epoch> epochs;
    for (std::size_t e = 0; e < std::size(levels); ++e) {
        // Epoch e takes over at sample e x 1717: at its instant or just before.
        const Picoseconds since =
            e == 0 ? 0 : first + dt * static_cast<Picoseconds>(e * 1717) - (e % 2 ? 0 : 3);
        epochs.push_back({since, {level(levels[e][0]), level(levels[e][1])}});
    }
    const uint32_t n = 12000;
    std::vector<uint32_t> words(n);
    SampleRenderer().render(epochs, first, dt, 0, n, words.data());
    std::size_t wrong = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const std::size_t e = std::min<std::size_t>(i / 1717, std::size(levels) - 1);
        const uint32_t expected = quantise(levels[e][0]) | (quantise(levels[e][1]) << 16);
        wrong += words[i] != expected;
    }
    EXPECT_EQ(wrong, 0u);
}

TEST(DeviceSampleRenderer, WordsDoNotDependOnHowTheGridIsCutIntoCalls) {
    // Edges that fall exactly on samples (1 MHz at 10 ns) are where the
    // way a block was stepped through would show.
    const std::vector<Epoch> epochs = {
        {0,
         {compileChannel(parse("pulse(freq=1MHz, amp=0.3, duty=12%) + noise(rms=2m)"), {}, 11),
          compileChannel(parse("square(freq=1MHz, amp=0.2) + sine(freq=3.3MHz, amp=0.05)"), {},
                         12)}},
        {250'000'000,
         {compileChannel(parse("square(freq=1MHz, amp=0.1, duty=30%)"), {3, 300, true, true}, 13),
          compileChannel(parse("triangle(freq=20k, amp=0.1)"), {}, 14)}},
    };
    const Picoseconds first = 123'000'000, dt = 10'000;
    const uint32_t n = 40000;
    std::vector<uint32_t> whole(n), pieces(n);
    SampleRenderer().render(epochs, first, dt, 0, n, whole.data());
    SampleRenderer renderer;
    const uint32_t cuts[] = {1, 2047, 2049, 3, 12706, 777, 4096, 5000};
    uint32_t at = 0;
    for (std::size_t c = 0; at < n; ++c) {
        const uint32_t m = std::min(cuts[c % std::size(cuts)], n - at);
        renderer.render(epochs, first, dt, at, m, pieces.data() + at);
        at += m;
    }
    EXPECT_EQ(pieces, whole);
}

}  // namespace
}  // namespace lumatrace::device
