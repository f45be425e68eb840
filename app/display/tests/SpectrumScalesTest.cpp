#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/display/SpectrumScales.h"

namespace lumatrace {
namespace {

TEST(DisplaySpectrumScales, FftLengthRollIntervalAndStagesFollowTheRecordLength) {
    struct Case {
        int points, n, stages, rollMs;
    };
    for (const Case& c :
         {Case{10000, 8192, 13, 10}, Case{100000, 65536, 16, 10}, Case{1000000, 524288, 19, 100}}) {
        SCOPED_TRACE(c.points);
        EXPECT_EQ(FftLengthFor(c.points), c.n);
        EXPECT_EQ(FftStages(c.n), c.stages);
        EXPECT_EQ(RollIntervalMsFor(c.points), c.rollMs);
    }
}

TEST(DisplaySpectrumScales, SamplingClassFollowsTheInterval) {
    struct Case {
        int intervalNs;
        bool equivalent;
        int klass;
    };
    const Case cases[] = {{20, false, 2},      {50, false, 3},        {1000, false, 7},
                          {500000, false, 15}, {10000000, false, 19}, {10, false, 1},
                          {30, false, 1},      {20000000, false, 1},  {20, true, 0},
                          {10000000, true, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.intervalNs);
        EXPECT_EQ(FftHScaleClass(c.intervalNs, c.equivalent), c.klass);
    }
}

TEST(DisplaySpectrumScales, FrequencyItemsParseToTheirLabelledValue) {
    struct Case {
        const char* text;
        long double hz;
    };
    const Case cases[] = {{"500MHz", 5e8L},    {"2.5MHz", 2.5e6L},  {"250KHz", 2.5e5L},
                          {"2.5KHz", 2500.0L}, {"1Hz", 1.0L},       {"2.5Hz", 2.5L},
                          {"25mHz", 0.025L},   {"2.5mHz", 0.0025L}, {"200uHz", 2e-4L}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto hz = ParseFftHzPerDiv(c.text);
        ASSERT_TRUE(hz.has_value());
        EXPECT_NEAR(static_cast<double>(*hz / c.hz), 1.0, 1e-15);
    }
}

TEST(DisplaySpectrumScales, UnreadableFrequencyItemsAreRefused) {
    for (const char* text : {"", "MHz", "2.MHz", ".5MHz", "2.5", "5GHz", "5MHzx", "5 MHz", "0Hz",
                             "0.0Hz", "2.5.1Hz", "1234567890123Hz", "-5Hz"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseFftHzPerDiv(text).has_value());
    }
}

// The label of every item of every list is the frequency per division used.
TEST(DisplaySpectrumScales, EveryListItemMeansWhatItSays) {
    const ValueLists lists;
    for (int g = 0; g < kMemorySizeCount; ++g) {
        for (int k = 0; k < kFftHScaleGroupLists; ++k) {
            const ItemList& items = lists.FftHScale(g, k);
            const std::vector<std::int64_t> values = FftHScaleValues(g, k);
            ASSERT_EQ(items.size(), values.size());
            for (std::size_t i = 0; i < items.size(); ++i) {
                SCOPED_TRACE(items[i]);
                const auto hz = ParseFftHzPerDiv(items[i]);
                ASSERT_TRUE(hz.has_value());
                EXPECT_NEAR(static_cast<double>(*hz * 1e6L / values[i]), 1.0, 1e-15);
            }
        }
    }
}

TEST(DisplaySpectrumScales, BinWidthAndBinsPerScreen) {
    EXPECT_DOUBLE_EQ(static_cast<double>(BinWidthHz(8192, 10, false)), 12207.03125);
    EXPECT_DOUBLE_EQ(static_cast<double>(BinWidthHz(524288, 1000, false)), 1e9 / 524288e3);
    // Equivalent time samples every 100 ps whatever the interval of the time base.
    EXPECT_DOUBLE_EQ(static_cast<double>(BinWidthHz(8192, 20, true)), 1e10 / 8192);

    EXPECT_EQ(BinsPerScreenFor(1e6L, 12207.03125L), 820);  // 819.2 -> 819, made even
    EXPECT_EQ(BinsPerScreenFor(5e6L, 12207.03125L), 4096);
    EXPECT_EQ(BinsPerScreenFor(1.0L, 12207.03125L), 2);  // never fewer than two
}

TEST(DisplaySpectrumScales, ListIsRebuiltWhenEquivalentTimeStartsAndStops) {
    const ValueLists lists;
    FftHScaleState st;
    SpectrumWindow win;
    // 10k points at 1 us: class 7.
    ASSERT_TRUE(RebuildFftHScaleList(lists, st, 0, 1000, false));
    EXPECT_EQ(st.items, lists.FftHScale(0, 7));
    ASSERT_TRUE(SelectFftHScale(st, 5, 8192, 1000, false, win));
    const long double realHz = st.hzPerDiv;
    EXPECT_EQ(st.index, 5);
    // The same class again changes nothing, the index stays.
    EXPECT_FALSE(RebuildFftHScaleList(lists, st, 0, 1000, false));
    EXPECT_EQ(st.index, 5);

    // Equivalent-time records: the list starting at 500 MHz, index kept.
    ASSERT_TRUE(RebuildFftHScaleList(lists, st, 0, 1000, true));
    EXPECT_EQ(st.items.front(), "500MHz");
    EXPECT_EQ(st.index, 5);
    ASSERT_TRUE(SelectFftHScale(st, st.index, 8192, 1000, true, win));
    EXPECT_EQ(win.FftBins, 4096);
    EXPECT_EQ(win.BinsPerScreen, BinsPerScreenFor(st.hzPerDiv, 1e10L / 8192));
    EXPECT_EQ(win.HalfScreenBins, win.BinsPerScreen / 2);
    EXPECT_DOUBLE_EQ(win.ScrollPerBin, 1e6 / (4096 + win.BinsPerScreen));

    // Back to real time at the larger memory: that group's list, the index clamped to it.
    ASSERT_TRUE(RebuildFftHScaleList(lists, st, 2, 1000, false));
    EXPECT_EQ(st.items, lists.FftHScale(2, 7));
    st.index = 100;
    ASSERT_TRUE(RebuildFftHScaleList(lists, st, 2, 20, false));
    EXPECT_EQ(st.index, static_cast<int>(st.items.size()) - 1);
    for (std::size_t i = 0; i < st.menuVisible.size(); ++i)
        EXPECT_EQ(st.menuVisible[i], i < st.items.size()) << i;
    ASSERT_TRUE(SelectFftHScale(st, 0, 524288, 20, false, win));
    EXPECT_NE(st.hzPerDiv, realHz);
    EXPECT_FALSE(SelectFftHScale(st, -1, 524288, 20, false, win));
    EXPECT_FALSE(SelectFftHScale(st, static_cast<int>(st.items.size()), 524288, 20, false, win));
    EXPECT_EQ(st.index, 0);
}

// A new frequency scale keeps the bin in the centre of the view where it is; the first scale
// starts the view at 0 Hz.
TEST(DisplaySpectrumScales, ANewScaleKeepsTheCentreOfTheView) {
    const ValueLists lists;
    FftHScaleState st;
    SpectrumWindow win;
    // 10k points at 1 us (122 Hz a bin): "25KHz" 2048 bins a screen, "10KHz" 820, "5KHz" 410.
    ASSERT_TRUE(RebuildFftHScaleList(lists, st, 0, 1000, false));
    ASSERT_EQ(st.items[1], "25KHz");
    ASSERT_EQ(st.items[3], "10KHz");
    ASSERT_EQ(st.items[4], "5KHz");
    ASSERT_TRUE(SelectFftHScale(st, 3, 8192, 1000, false, win));
    EXPECT_EQ(win.SpecStart, 0);
    EXPECT_EQ(win.SpecLeftBlank, 0);

    struct Case {
        const char* name;
        int start, leftBlank, from, to;
        int expectStart, expectLeftBlank;
    };
    const Case cases[] = {
        {"narrower", 1000, 0, 3, 4, 1205, 0},                      // centre bin 1410
        {"wider", 1000, 0, 3, 1, 386, 0},                          // centre bin 1410
        {"left of 0 Hz, then right of it", 0, 100, 1, 3, 514, 0},  // centre bin 924
        {"0 Hz at the left edge moves in", 0, 0, 3, 1, 0, 614},    // centre bin 410
        {"last bin in the centre", 3685, 0, 3, 4, 3890, 0},        // centre bin 4095
        {"wider than what is left", 3890, 0, 4, 0, 2047, 0},       // 4096 bins a screen
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(SelectFftHScale(st, c.from, 8192, 1000, false, win));
        win.SpecStart = c.start;
        win.SpecLeftBlank = c.leftBlank;
        ASSERT_TRUE(SelectFftHScale(st, c.to, 8192, 1000, false, win));
        EXPECT_EQ(win.SpecStart, c.expectStart);
        EXPECT_EQ(win.SpecLeftBlank, c.expectLeftBlank);
    }

    // Half the bin width (2 us sampling) is another set of bins: the start stays.
    ASSERT_TRUE(SelectFftHScale(st, 3, 8192, 1000, false, win));
    win.SpecStart = 1000;
    win.SpecLeftBlank = 0;
    ASSERT_TRUE(RebuildFftHScaleList(lists, st, 0, 2000, false));
    ASSERT_EQ(st.items[2], "10KHz");
    ASSERT_TRUE(SelectFftHScale(st, 2, 8192, 2000, false, win));
    EXPECT_EQ(win.BinsPerScreen, 1638);
    EXPECT_EQ(win.SpecStart, 1000);
    // A blank left of 0 Hz wider than the new half screen would put 0 Hz past the centre,
    // where no scroll position leads: it is narrowed to half a screen.
    win.SpecStart = 0;
    win.SpecLeftBlank = 800;
    ASSERT_TRUE(RebuildFftHScaleList(lists, st, 0, 1000, false));
    ASSERT_EQ(st.items[4], "5KHz");
    ASSERT_TRUE(SelectFftHScale(st, 4, 8192, 1000, false, win));
    EXPECT_EQ(win.SpecLeftBlank, 205);
    EXPECT_EQ(win.SpecCentreBin(), 0);
}

TEST(DisplaySpectrumScales, BinValueAndScreenY) {
    // A 1 V amplitude bin has power 1 in the library's scaling: 0.707 V RMS.
    EXPECT_NEAR(BinAmplitude(1.0, 5, 0), std::sqrt(0.5), 1e-15);
    EXPECT_NEAR(BinAmplitude(4.0, 0, 0), 2.0, 1e-15);  // DC is not halved
    EXPECT_NEAR(BinAmplitude(1.0, 5, 1), std::sqrt(0.5) / 0.54, 1e-12);
    EXPECT_NEAR(BinAmplitude(1.0, 5, 2), std::sqrt(0.5) * 2, 1e-12);
    EXPECT_NEAR(BinAmplitude(1.0, 5, 3), std::sqrt(0.5) / 0.35875, 1e-12);
    EXPECT_NEAR(BinAmplitude(1.0, 5, 9), std::sqrt(0.5), 1e-15);  // unknown: rectangular

    EXPECT_DOUBLE_EQ(SpectrumValue(1.0, true), 0.0);
    EXPECT_DOUBLE_EQ(SpectrumValue(0.0, true), -200.0);
    EXPECT_NEAR(SpectrumValue(std::sqrt(0.5), true), -3.0103, 1e-4);
    EXPECT_DOUBLE_EQ(SpectrumValue(0.25, false), 0.25);

    const ViewGeometry g = ViewGeometry::ForWaveBox(451, 361);
    // Zero at the centre position is the middle row; 1 V at 500 mV/div is two divisions up.
    EXPECT_EQ(SpectrumY(0.0, g, 500, 250), 180);
    EXPECT_EQ(SpectrumY(1.0, g, 500, 250), 180 - 90);
    // The zero moves with the trace position: 50 units = one division.
    EXPECT_EQ(SpectrumY(0.0, g, 500, 300), 180 + static_cast<int>(std::trunc(-(-50) * g.Ky)));
    // -200 dBV at 20 dB/div lies far below the graticule; nothing overflows.
    EXPECT_GT(SpectrumY(-200.0, g, 20000, 100), g.WaveHeight);
    EXPECT_EQ(SpectrumY(1e300, g, 1, 250), -(1 << 20));
    EXPECT_EQ(SpectrumY(std::nan(""), g, 1, 250), 1 << 20);
}

TEST(DisplaySpectrumScales, ReadoutLabel) {
    struct Case {
        int source, window;
        const char* detail;
    };
    for (const Case& c : {Case{0, 0, "   CH1 , Rect."}, Case{1, 1, "   CH2 , Hamm."},
                          Case{0, 2, "   CH1 , Hann."}, Case{1, 3, "   CH2 , Black."}}) {
        const FftReadoutLabels l = FftReadoutLabelsFor(c.source, c.window);
        EXPECT_EQ(l.title, " FFT");
        EXPECT_EQ(l.detail, c.detail);
    }
}

TEST(DisplaySpectrumScales, EachVerticalTypeKeepsItsScaleAndPosition) {
    const ValueLists lists;
    InstrumentSettings s;
    ApplyFftDefaultValues(s);
    s.tracePosition[kTraceFft] = 400;
    s.fftScale = 500;

    // Linear: the user moves the trace and picks "1V".
    MoveFftTrace(s, kFftTypeLinear, 320);
    ASSERT_TRUE(SelectFftVScale(s, kFftTypeLinear, 9, lists.FftVScale(0)[9]));
    EXPECT_EQ(s.fftScale, 1000);

    // To dBV: its defaults come back ("20dB" at position 100).
    FftVScaleSelection sel = SwitchFftVType(lists, s, kFftTypeLinear, 9, kFftTypeDbv);
    EXPECT_EQ(sel.items, lists.FftVScale(1));
    EXPECT_EQ(sel.index, 7);
    EXPECT_EQ(s.fftScale, 20000);
    EXPECT_EQ(s.tracePosition[kTraceFft], 100);
    MoveFftTrace(s, kFftTypeDbv, 150);
    ASSERT_TRUE(SelectFftVScale(s, kFftTypeDbv, 3, lists.FftVScale(1)[3]));

    // Back to linear: its own choices, not dBV's.
    sel = SwitchFftVType(lists, s, kFftTypeDbv, 3, kFftTypeLinear);
    EXPECT_EQ(sel.index, 9);
    EXPECT_EQ(s.fftScale, 1000);
    EXPECT_EQ(s.tracePosition[kTraceFft], 320);

    // And dBV again.
    sel = SwitchFftVType(lists, s, kFftTypeLinear, 9, kFftTypeDbv);
    EXPECT_EQ(sel.index, 3);
    EXPECT_EQ(s.tracePosition[kTraceFft], 150);
    EXPECT_EQ(s.fftScale, *ParseFftVScale(lists.FftVScale(1)[3]));

    // An unreadable item changes nothing.
    EXPECT_FALSE(SelectFftVScale(s, kFftTypeDbv, 4, "dB"));
    EXPECT_EQ(s.FftVScaleIndex(kFftTypeDbv), 3);
}

}  // namespace
}  // namespace lumatrace
