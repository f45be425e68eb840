// The engine's fast path (code histograms, integer thresholds, searches and walking back from
// edges) against the plain reference, on random records and on records of known shape, over
// random gates.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "app/measure/MeasureEngine.h"
#include "app/measure/tests/MeasureReference.h"

namespace lumatrace {
namespace {

using testing::CodesOf;
using testing::LiteralMathOf;
using testing::MathScoresOf;
using testing::ReferenceMeasure;
using testing::ReferenceOptions;

// The measurements of levels, vmax to preshoot: taken from the values and their sums alone.
bool IsLevel(MeasureId id) {
    return static_cast<int>(id) <= static_cast<int>(MeasureId::Preshoot);
}

// `exactLevels`: the levels must agree to the last bit (the sign of a zero included), as they
// do when both sides sum the same values in the same order.
void ExpectSame(const MeasureValues& got, const MeasureValues& want, const std::string& what,
                bool exactLevels = false) {
    for (int i = 0; i < kMeasureCount; ++i) {
        const MeasureId id = static_cast<MeasureId>(i);
        const std::optional<double>& g = got[id];
        const std::optional<double>& w = want[id];
        ASSERT_EQ(g.has_value(), w.has_value()) << what << ": " << InfoOf(id).name;
        if (g && exactLevels && IsLevel(id)) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(*g), std::bit_cast<std::uint64_t>(*w))
                << what << ": " << InfoOf(id).name << " " << *g << " vs " << *w;
        } else if (g) {
            // Shares of an amplitude (percent, degrees) may be differences of nearly equal
            // levels: their rounding is absolute.
            const MeasureUnit unit = InfoOf(id).unit;
            const double floor =
                unit == MeasureUnit::Percent || unit == MeasureUnit::Degree ? 1e-9 : 1e-14;
            const double tolerance = 1e-9 * std::max(std::fabs(*g), std::fabs(*w)) + floor;
            ASSERT_NEAR(*g, *w, tolerance) << what << ": " << InfoOf(id).name;
        }
    }
}

// Whether the MATH levels must agree with the reference to the last bit: they do where both
// sum the same values in the same order; sums, differences and products are taken by their
// scores, whose sums the engine takes exactly and the reference in doubles.
bool ExactMath(const MeasureInput& in) {
    double unit = 0.0;
    double offset = 0.0;
    return !MathScoresOf({}, in, 0, 0, unit, offset).has_value();
}

// Everything the reference computes for `source`, delay and phase included.
MeasureValues Reference(const std::vector<SampleWord>& record, const MeasureInput& in,
                        MeasureSource source, SampleRange gate) {
    auto channel = [&](int ch, std::vector<double>* rises) {
        const MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
        if (!c.on || c.ground) {
            rises->clear();
            return MeasureValues{};
        }
        ReferenceOptions o;
        o.codeBins = true;
        o.zero = (500 - c.position) * 2.048;
        o.voltsPerUnit = 10.0 * c.voltsPerDivMv * c.probeFactor / 1024.0 / 1000.0;
        o.interval = in.sampleIntervalSeconds;
        o.firstIndex = gate.first;
        return ReferenceMeasure(CodesOf(record, ch, gate.first, gate.end), o, rises);
    };
    std::vector<double> rises1, rises2;
    const MeasureValues ch1 = channel(0, &rises1);
    const MeasureValues ch2 = channel(1, &rises2);
    MeasureValues out;
    if (source == MeasureSource::Ch1) {
        out = ch1;
    } else if (source == MeasureSource::Ch2) {
        out = ch2;
    } else if (in.mathOn) {
        ReferenceOptions o;
        o.codeBins = false;
        o.interval = in.sampleIntervalSeconds;
        o.firstIndex = gate.first;
        double unit = 0.0;
        double offset = 0.0;
        if (const auto scores = MathScoresOf(record, in, gate.first, gate.end, unit, offset)) {
            o.wholeScores = true;
            o.voltsPerUnit = unit;
            o.zero = -offset / unit;
            out = ReferenceMeasure(*scores, o);
        } else {
            o.laneSums = true;
            out = ReferenceMeasure(LiteralMathOf(record, in, gate.first, gate.end), o);
        }
    }
    if (!rises1.empty() && !rises2.empty()) {
        // The CH2 rising edge nearest to CH1's first, the later of two equally near.
        double nearest = rises2.front();
        for (double t : rises2) {
            if (std::fabs(t - rises1.front()) <= std::fabs(nearest - rises1.front()))
                nearest = t;
        }
        const double delay = (nearest - rises1.front()) * in.sampleIntervalSeconds;
        out[MeasureId::Delay] = delay;
        if (ch1[MeasureId::Period])
            out[MeasureId::Phase] = delay / *ch1[MeasureId::Period] * 360.0;
    }
    return out;
}

// Codes of one channel: a square of random period, duty and levels with noise, a random walk,
// a noisy sine, or clipped noise.
std::vector<int> RandomChannel(std::mt19937& rng, int n) {
    std::uniform_int_distribution<int> kindOf(0, 3);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<int> codes(static_cast<std::size_t>(n));
    const int kind = kindOf(rng);
    const double sigma = unit(rng) < 0.3 ? 0.0 : 40.0 * unit(rng);
    const double period = 20.0 + 3000.0 * unit(rng);
    const double duty = 0.05 + 0.9 * unit(rng);
    const double low = 1023.0 * unit(rng);
    const double high = 1023.0 * unit(rng);
    double walk = 512.0;
    for (int i = 0; i < n; ++i) {
        double v = 0.0;
        switch (kind) {
            case 0:
                v = std::fmod(i, period) < duty * period ? high : low;
                break;
            case 1:
                walk += 3.0 * gauss(rng);
                walk = std::clamp(walk, -100.0, 1100.0);
                v = walk;
                break;
            case 2:
                v = 512.0 + (high - low) * std::sin(2 * 3.141592653589793 * i / period);
                break;
            default:
                v = low + 200.0 * gauss(rng);
                break;
        }
        v += sigma * gauss(rng);
        codes[static_cast<std::size_t>(i)] =
            static_cast<int>(std::clamp(std::lround(v), 0L, 1023L));
    }
    return codes;
}

// A record of two random channels with random missing samples: whole words in runs, single
// halves, or none at all.
std::vector<SampleWord> RandomRecord(std::mt19937& rng, int n) {
    const std::vector<int> a = RandomChannel(rng, n);
    const std::vector<int> b = RandomChannel(rng, n);
    std::vector<SampleWord> record(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        record[static_cast<std::size_t>(i)] =
            MakeSampleWord(a[static_cast<std::size_t>(i)], b[static_cast<std::size_t>(i)]);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double missing = unit(rng) < 0.4 ? 0.0 : 0.3 * unit(rng);
    for (int i = 0; i < n; ++i) {
        const double u = unit(rng);
        SampleWord& w = record[static_cast<std::size_t>(i)];
        if (u < missing / 3)
            w = NoSample;
        else if (u < 2 * missing / 3)
            w |= 0xFFFFu;
        else if (u < missing)
            w |= 0xFFFF0000u;
    }
    if (unit(rng) < 0.3) {
        const int from = static_cast<int>(unit(rng) * n);
        const int to = std::min(n, from + static_cast<int>(unit(rng) * n / 4));
        std::fill(record.begin() + from, record.begin() + to, NoSample);
    }
    return record;
}

MeasureInput RandomInput(std::mt19937& rng, const std::vector<SampleWord>& record) {
    static constexpr int kVdiv[] = {10, 20, 50, 100, 200, 500, 1000, 2000};
    static constexpr int kProbe[] = {1, 10, 100};
    std::uniform_int_distribution<int> pick(0, 1 << 20);
    MeasureInput in;
    in.record = record;
    for (MeasureChannel& c : in.channel) {
        c.voltsPerDivMv = kVdiv[pick(rng) % 8];
        c.probeFactor = kProbe[pick(rng) % 3];
        c.position = 20 + pick(rng) % 461;
        c.on = pick(rng) % 10 != 0;
        c.ground = pick(rng) % 10 == 0;
    }
    in.mathOn = pick(rng) % 8 != 0;
    in.math.firstSource = pick(rng) % 2;
    in.math.secondSource = pick(rng) % 2;
    in.math.op = static_cast<MathOperator>(pick(rng) % 4);
    in.sampleIntervalSeconds = (1 + pick(rng) % 1000) * 1e-9;
    return in;
}

SampleRange RandomGate(std::mt19937& rng, int n) {
    std::uniform_int_distribution<int> at(0, n);
    switch (at(rng) % 4) {
        case 0:
            return {0, n};
        case 1: {
            const int a = at(rng);
            return {a, std::min(n, a + at(rng) % 5)};  // a handful of samples, or none
        }
        default: {
            const int a = at(rng);
            const int b = at(rng);
            return {std::min(a, b), std::max(a, b)};
        }
    }
}

TEST(MeasureReference, MathScoresTimesTheirUnitAreTheLiteralValues) {
    // Every code pair's score against the formulas as written, for random scales, positions
    // and groundings of the sources: the scores are exact, the literal values rounded.
    std::mt19937 rng(77);
    std::vector<SampleWord> record;
    for (int a = 0; a < 1024; a += 31) {
        for (int b = 0; b < 1024; b += 29)
            record.push_back(MakeSampleWord(a, b));
    }
    record.push_back(MakeSampleWord(1023, 1023));
    record.push_back(NoSample);
    const int n = static_cast<int>(record.size());
    for (int trial = 0; trial < 200; ++trial) {
        const MeasureInput in = RandomInput(rng, record);
        double unit = 0.0;
        double offset = 0.0;
        const auto scores = MathScoresOf(record, in, 0, n, unit, offset);
        const std::vector<double> literal = LiteralMathOf(record, in, 0, n);
        const bool groundA = in.channel[static_cast<std::size_t>(in.math.firstSource)].ground;
        const bool groundB = in.channel[static_cast<std::size_t>(in.math.secondSource)].ground;
        const bool scored = in.math.op == MathOperator::Mul   ? !groundA && !groundB
                            : in.math.op == MathOperator::Div ? false
                                                              : !(groundA && groundB);
        ASSERT_EQ(scores.has_value(), scored) << "trial " << trial;
        if (!scores)
            continue;
        double largest = 0.0;
        for (double v : literal)
            largest = std::isnan(v) ? largest : std::max(largest, std::fabs(v));
        for (int i = 0; i < n; ++i) {
            const double value = (*scores)[static_cast<std::size_t>(i)] * unit + offset;
            if (std::isnan(literal[static_cast<std::size_t>(i)])) {
                EXPECT_TRUE(std::isnan(value)) << "trial " << trial << " word " << i;
                continue;
            }
            ASSERT_NEAR(value, literal[static_cast<std::size_t>(i)], 1e-13 * largest + 1e-300)
                << "trial " << trial << " word " << i;
        }
    }
}

TEST(MeasureReference, RandomRecordsAgreeWithThePlainImplementation) {
    std::mt19937 rng(20260414);
    MeasureEngine engine;  // one engine for all: its buffers must not carry anything over
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 40000);
        const std::vector<SampleWord> record = RandomRecord(rng, n);
        const MeasureInput in = RandomInput(rng, record);
        const SampleRange gate = RandomGate(rng, n);
        for (MeasureSource source : {MeasureSource::Ch1, MeasureSource::Ch2, MeasureSource::Math}) {
            const std::string what = "trial " + std::to_string(trial) + " " +
                                     std::string(SourceName(source)) + " gate " +
                                     std::to_string(gate.first) + ".." + std::to_string(gate.end);
            const bool exact = source == MeasureSource::Math && ExactMath(in);
            MeasureValues want = Reference(record, in, source, gate);
            ExpectSame(engine.Measure(in, source, gate), want, what, exact);
            // Without the pair: the same, delay and phase left out.
            want[MeasureId::Delay] = std::nullopt;
            want[MeasureId::Phase] = std::nullopt;
            ExpectSame(engine.Measure(in, source, gate, false), want, what + " alone", exact);
            if (::testing::Test::HasFatalFailure())
                return;
        }
    }
}

TEST(MeasureReference, ShapedRecordsAgreeWithThePlainImplementation) {
    // Shapes where the choices of the fast path matter: slow noisy edges (walking back to the
    // 10 % and 50 % crossings), samples exactly on the reference levels, blocks of a few
    // neighbouring codes (counted without the tables), codes 0 and 1023 next to missing halves
    // (which read as 1023), a state that returns without completing an edge.
    struct Shape {
        const char* name;
        int (*code)(int i);
    };
    const Shape shapes[] = {
        {"slow ramps with ripple",
         [](int i) {
             const int phase = i % 4000;
             const int ramp = phase < 2000 ? phase / 2 : 2000 - phase / 2;
             return std::clamp(ramp + (i * 7919 % 13) - 6, 0, 1023);
         }},
        {"levels met exactly",
         [](int i) {
             static constexpr int kSteps[] = {100, 160, 400, 640, 700, 640, 400, 160};
             return kSteps[(i / 37) % 8];
         }},
        {"a code or two per block, up to the top code",
         [](int i) {
             const int slow = (i / 5000) % 2 ? 1020 : 200 + (i % 5000) / 40;
             return std::min(1023, slow + (i * 7 % 11) % 4);
         }},
        {"clipped square", [](int i) { return (i / 250) % 2 ? 1023 : 0; }},
        {"returns before the far level",
         [](int i) {
             static constexpr int kSteps[] = {100, 500, 100, 900, 500, 900, 100};
             return kSteps[(i / 50) % 7];
         }},
    };
    MeasureEngine engine;
    for (const Shape& shape : shapes) {
        for (int missingEvery : {0, 3, 11}) {
            std::vector<SampleWord> record;
            for (int i = 0; i < 30000; ++i) {
                SampleWord w = MakeSampleWord(shape.code(i), shape.code(i + 1234));
                if (missingEvery && i % missingEvery == 1)
                    w |= (i / missingEvery) % 2 ? 0xFFFFu : 0xFFFF0000u;
                record.push_back(w);
            }
            MeasureInput in;
            in.record = record;
            in.mathOn = true;
            in.math.op = MathOperator::Sub;
            in.sampleIntervalSeconds = 20e-9;
            for (SampleRange gate : {SampleRange{0, 30000}, SampleRange{777, 20001}}) {
                for (MeasureSource source :
                     {MeasureSource::Ch1, MeasureSource::Ch2, MeasureSource::Math}) {
                    const std::string what = std::string(shape.name) + " missing every " +
                                             std::to_string(missingEvery) + " " +
                                             std::string(SourceName(source));
                    ExpectSame(engine.Measure(in, source, gate),
                               Reference(record, in, source, gate), what,
                               source == MeasureSource::Math && ExactMath(in));
                }
            }
        }
    }
}

TEST(MeasureReference, MathOfEveryOperatorAgreesWithThePlainImplementation) {
    // Every operator on every pair of sources, with the second source's zero code met (its
    // quotients by zero have no value), a grounded source (products of 0 and a negative
    // operand are -0), and missing halves of either source.
    struct Case {
        const char* name;
        int first;
        int second;
        bool groundFirst;
        int missingEvery;
    };
    const Case cases[] = {
        {"CH1 . CH2", 0, 1, false, 0},
        {"CH2 . CH1, missing halves", 1, 0, false, 7},
        {"CH1 . CH1", 0, 0, false, 0},
        {"CH2 . CH2, missing halves", 1, 1, false, 5},
        {"grounded CH1 . CH2", 0, 1, true, 0},
        {"grounded CH1 . CH2, missing halves", 0, 1, true, 3},
    };
    std::vector<SampleWord> record;
    for (int i = 0; i < 20000; ++i) {
        // CH1: a square with a slow ramp on it; CH2: a triangle through the zero code 512 of
        // position 250, resting on it for a while each period.
        const int ch1 = ((i / 700) % 2 ? 800 : 150) + (i % 700) / 50;
        const int phase = i % 1600;
        const int tri = phase < 800 ? phase : 1600 - phase;
        const int ch2 = tri / 40 == 10 ? 512 : 112 + tri;
        record.push_back(MakeSampleWord(ch1, ch2));
    }
    MeasureEngine engine;
    for (const Case& c : cases) {
        std::vector<SampleWord> words = record;
        for (std::size_t i = 0; c.missingEvery && i < words.size(); ++i) {
            if (i % static_cast<std::size_t>(c.missingEvery) == 2)
                words[i] |= (i / 2) % 2 ? 0xFFFFu : 0xFFFF0000u;
        }
        MeasureInput in;
        in.record = words;
        in.mathOn = true;
        in.math.firstSource = c.first;
        in.math.secondSource = c.second;
        in.channel[0] = {true, c.groundFirst, 200, 10, 180};
        in.channel[1] = {true, false, 100, 1, 250};
        in.sampleIntervalSeconds = 4e-9;
        for (MathOperator op :
             {MathOperator::Add, MathOperator::Sub, MathOperator::Mul, MathOperator::Div}) {
            in.math.op = op;
            for (SampleRange gate : {SampleRange{0, 20000}, SampleRange{333, 12345}}) {
                const std::string what = std::string(c.name) + " operator " +
                                         std::to_string(static_cast<int>(op)) + " gate " +
                                         std::to_string(gate.first);
                const MeasureValues got = engine.Measure(in, MeasureSource::Math, gate, false);
                MeasureValues want = Reference(words, in, MeasureSource::Math, gate);
                want[MeasureId::Delay] = std::nullopt;
                want[MeasureId::Phase] = std::nullopt;
                ASSERT_TRUE(got[MeasureId::Vmean].has_value()) << what;
                ExpectSame(got, want, what, ExactMath(in));
            }
        }
    }

    // Products of a grounded CH1 and a CH2 either side of 0 V are +0 and -0 in turn: the
    // extremes are the first of them in record order, here -0 after a missing first sample.
    std::vector<SampleWord> zeros;
    for (int i = 0; i < 1001; ++i)
        zeros.push_back(i == 0 ? NoSample : MakeSampleWord(300, i % 2 ? 400 : 600));
    MeasureInput in;
    in.record = zeros;
    in.mathOn = true;
    in.math.op = MathOperator::Mul;
    in.channel[0].ground = true;
    in.channel[1].position = 250;
    const MeasureValues got = engine.Measure(in, MeasureSource::Math, {0, 1001}, false);
    ASSERT_TRUE(got[MeasureId::Vmax] && got[MeasureId::Vmin]);
    EXPECT_TRUE(std::signbit(*got[MeasureId::Vmax]));
    EXPECT_TRUE(std::signbit(*got[MeasureId::Vmin]));
    MeasureValues want = Reference(zeros, in, MeasureSource::Math, {0, 1001});
    want[MeasureId::Delay] = std::nullopt;
    want[MeasureId::Phase] = std::nullopt;
    ExpectSame(got, want, "signs of zero", true);
}

}  // namespace
}  // namespace lumatrace
