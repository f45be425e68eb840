#include <gtest/gtest.h>

#include <cmath>

#include "app/measure/MeasureStatistics.h"

namespace lumatrace {
namespace {

MeasureValues With(MeasureId id, std::optional<double> value) {
    MeasureValues v;
    v[id] = value;
    return v;
}

TEST(MeasureStatistics, CountsAcquisitionsWithValues) {
    MeasureStatistics stats;
    const MeasureSetup setup;
    for (double x : {2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0})
        stats.Add(With(MeasureId::Vpp, x), setup);
    stats.Add(With(MeasureId::Vpp, std::nullopt), setup);  // an acquisition without a value

    const MeasureStatistics::Column c = stats.Of(MeasureId::Vpp);
    EXPECT_FALSE(c.current.has_value());
    EXPECT_EQ(c.count, 8);
    EXPECT_EQ(stats.Acquisitions(), 9);
    EXPECT_DOUBLE_EQ(*c.mean, 5.0);
    EXPECT_DOUBLE_EQ(*c.min, 2.0);
    EXPECT_DOUBLE_EQ(*c.max, 9.0);
    EXPECT_DOUBLE_EQ(*c.stdDev, std::sqrt(32.0 / 7.0));

    // A measurement that never had a value has no statistics either.
    const MeasureStatistics::Column none = stats.Of(MeasureId::Frequency);
    EXPECT_EQ(none.count, 0);
    EXPECT_FALSE(none.mean || none.min || none.max || none.stdDev || none.current);
}

TEST(MeasureStatistics, OneValueHasNoDeviation) {
    MeasureStatistics stats;
    stats.Add(With(MeasureId::Period, 1e-3), {});
    EXPECT_DOUBLE_EQ(*stats.Of(MeasureId::Period).current, 1e-3);
    EXPECT_FALSE(stats.Of(MeasureId::Period).stdDev.has_value());
}

TEST(MeasureStatistics, LongRunsKeepTheirPrecision) {
    // Large values with a small spread: summing squares would lose it.
    MeasureStatistics stats;
    for (int i = 0; i < 100000; ++i)
        stats.Add(With(MeasureId::Frequency, 1e9 + (i % 2 ? 0.5 : -0.5)), {});
    // The sample deviation: n / (n - 1) of the population's variance.
    EXPECT_NEAR(*stats.Of(MeasureId::Frequency).stdDev, 0.5 * std::sqrt(100000.0 / 99999.0), 1e-9);
    EXPECT_DOUBLE_EQ(*stats.Of(MeasureId::Frequency).mean, 1e9);
}

TEST(MeasureStatistics, RestartWhenWhatIsMeasuredChanges) {
    std::vector<SampleWord> record(100, MakeSampleWord(500, 500));
    MeasureInput in;
    in.record = record;
    in.sampleIntervalSeconds = 1e-6;
    const SampleRange gate{0, 100};
    const MeasureSetup base = SetupOf(in, MeasureSource::Ch1, gate);

    struct Change {
        const char* what;
        bool restarts;
        void (*apply)(MeasureInput&, MeasureSource&, SampleRange&);
    };
    const Change changes[] = {
        {"nothing", false, [](MeasureInput&, MeasureSource&, SampleRange&) {}},
        {"position", false,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.channel[0].position = 100; }},
        {"MATH scale", false,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.math.mathScale = 200; }},
        {"V/div", true,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.channel[0].voltsPerDivMv = 100; }},
        {"probe", true,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.channel[1].probeFactor = 1; }},
        {"coupling", true,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.channel[0].ground = true; }},
        {"channel off", true,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.channel[1].on = false; }},
        {"interval", true,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.sampleIntervalSeconds = 2e-6; }},
        {"math", true,
         [](MeasureInput& i, MeasureSource&, SampleRange&) { i.math.op = MathOperator::Div; }},
        {"source", true,
         [](MeasureInput&, MeasureSource& s, SampleRange&) { s = MeasureSource::Math; }},
        {"gate", true, [](MeasureInput&, MeasureSource&, SampleRange& g) { g.end = 50; }},
    };
    for (const Change& c : changes) {
        MeasureStatistics stats;
        stats.Add(With(MeasureId::Vmax, 1.0), base);
        stats.Add(With(MeasureId::Vmax, 2.0), base);
        MeasureInput changed = in;
        MeasureSource source = MeasureSource::Ch1;
        SampleRange g = gate;
        c.apply(changed, source, g);
        stats.Add(With(MeasureId::Vmax, 3.0), SetupOf(changed, source, g));
        EXPECT_EQ(stats.Of(MeasureId::Vmax).count, c.restarts ? 1 : 3) << c.what;
    }

    MeasureStatistics stats;
    stats.Add(With(MeasureId::Vmax, 1.0), base);
    stats.Reset();
    EXPECT_EQ(stats.Of(MeasureId::Vmax).count, 0);
    EXPECT_EQ(stats.Acquisitions(), 0);
    stats.Add(With(MeasureId::Vmax, 4.0), base);
    EXPECT_DOUBLE_EQ(*stats.Of(MeasureId::Vmax).mean, 4.0);
}

}  // namespace
}  // namespace lumatrace
