// Value tables, item parsing, list dependencies, display items and defaults.
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "app/settings/PanelRules.h"
#include "app/settings/PanelState.h"
#include "app/settings/SettingsModel.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {
namespace {

const ValueLists& Lists() {
    static const ValueLists lists;
    return lists;
}

// ---------------------------------------------------------------------------
// Value tables.

TEST(SettingsTables, VoltsPerDivListsFollowTheProbe) {
    EXPECT_EQ(Lists().VoltsPerDiv(0),
              (ItemList{"10mV", "20mV", "50mV", "100mV", "200mV", "500mV", "1V", "2V"}));
    EXPECT_EQ(Lists().VoltsPerDiv(1),
              (ItemList{"100mV", "200mV", "500mV", "1V", "2V", "5V", "10V", "20V"}));
    EXPECT_EQ(Lists().VoltsPerDiv(2),
              (ItemList{"1V", "2V", "5V", "10V", "20V", "50V", "100V", "200V"}));
    // The instrument's own sensitivity depends on the index only.
    for (int probe = 0; probe < 3; ++probe) {
        for (int i = 0; i < kVoltsPerDivCount; ++i) {
            const auto& item = Lists().VoltsPerDiv(probe)[static_cast<std::size_t>(i)];
            EXPECT_EQ(VoltsPerDivFromItem(item, ProbeFactor(probe)), VoltsPerDivMv(i)) << item;
        }
    }
}

TEST(SettingsTables, TimeDivListsAreOneSequenceCutByMemorySize) {
    const ItemList& all = Lists().TimeDiv(2);
    ASSERT_EQ(all.size(), 37u);
    EXPECT_EQ(all.front(), "1ns");
    EXPECT_EQ(all[9], "1us");
    EXPECT_EQ(all[16], "200us");
    EXPECT_EQ(all[18], "1ms");
    EXPECT_EQ(all[27], "1s");
    EXPECT_EQ(all[30], "10s");
    EXPECT_EQ(all[33], "100s");
    EXPECT_EQ(all.back(), "1000s");
    EXPECT_EQ(Lists().TimeDiv(0), ItemList(all.begin(), all.begin() + 31));
    EXPECT_EQ(Lists().TimeDiv(1), ItemList(all.begin(), all.begin() + 34));
    // Every item parses back to the table's nanoseconds.
    for (int i = 0; i < kTimeDivCount; ++i) {
        EXPECT_EQ(ParseTimePerDivNs(all[static_cast<std::size_t>(i)]),
                  static_cast<long double>(TimePerDivNs(i)))
            << all[static_cast<std::size_t>(i)];
    }
}

TEST(SettingsTables, SamplingIntervalMatchesTheTableRows) {
    struct Row {
        int index;
        std::int64_t k10, k100, m1;
    };
    const Row rows[] = {
        {0, 10, 10, 10},
        {12, 10, 10, 10},
        {13, 20, 10, 10},
        {16, 200, 20, 10},
        {18, 1000, 100, 10},
        {19, 2000, 200, 20},
        {24, 100000, 10000, 1000},
        {30, 10000000, 1000000, 100000},
        {33, 0, 10000000, 1000000},
        {36, 0, 0, 10000000},
    };
    for (const Row& r : rows) {
        if (r.k10) {
            EXPECT_EQ(SampleIntervalNs(r.index, 0), r.k10) << r.index;
        }
        if (r.k100) {
            EXPECT_EQ(SampleIntervalNs(r.index, 1), r.k100) << r.index;
        }
        EXPECT_EQ(SampleIntervalNs(r.index, 2), r.m1) << r.index;
    }
}

TEST(SettingsTables, NumberMathAndDbvLists) {
    EXPECT_EQ(Lists().Number(0), (ItemList{"2", "4", "8", "16", "32", "64", "128", "256", "512"}));
    EXPECT_EQ(Lists().Number(1), (ItemList{"2", "4", "8", "16", "32", "64", "128"}));
    EXPECT_EQ(Lists().Number(2),
              (ItemList{"1", "2", "4", "8", "16", "32", "64", "128", "256", "512", "∞"}));
    EXPECT_EQ(Lists().MathScale(),
              (ItemList{"1mV", "2mV", "5mV", "10mV", "20mV", "50mV", "100mV", "200mV", "500mV",
                        "1V", "2V", "5V", "10V", "20V", "50V", "100V", "200V"}));
    EXPECT_EQ(Lists().FftVScale(0), Lists().MathScale());
    EXPECT_EQ(Lists().FftVScale(1),
              (ItemList{"100mdB", "200mdB", "500mdB", "1dB", "2dB", "5dB", "10dB", "20dB", "50dB",
                        "100dB", "200dB", "500dB", "1KdB", "2KdB", "5KdB"}));
    const ItemList& menu = MathMenuCaptions();
    ASSERT_EQ(menu.size(), 20u);
    EXPECT_EQ((ItemList{menu[17], menu[18], menu[19]}), (ItemList{"500V", "1KV", "2KV"}));
}

TEST(SettingsTables, FftHorizontalListsFollowTheRule) {
    // The top values of the twenty lists.
    const char* tops[20] = {"500MHz", "5MHz",  "2.5MHz", "1MHz", "500KHz", "250KHz", "100KHz",
                            "50KHz",  "25KHz", "10KHz",  "5KHz", "2.5KHz", "1KHz",   "500Hz",
                            "250Hz",  "100Hz", "50Hz",   "25Hz", "10Hz",   "5Hz"};
    for (int g = 0; g < 3; ++g) {
        for (int k = 0; k < 20; ++k) {
            const ItemList& list = Lists().FftHScale(g, k);
            ASSERT_FALSE(list.empty());
            EXPECT_EQ(list.front(), tops[k]) << g << "/" << k;
            const bool mantissaOne = list.front()[0] == '1';
            const std::size_t expected = (mantissaOne ? 10u : 11u) + 4u * static_cast<unsigned>(g);
            EXPECT_EQ(list.size(), expected) << g << "/" << k;
        }
    }
    EXPECT_EQ(Lists().FftHScale(0, 0),
              (ItemList{"500MHz", "250MHz", "200MHz", "100MHz", "50MHz", "25MHz", "20MHz", "10MHz",
                        "5MHz", "2.5MHz", "2MHz"}));
    EXPECT_EQ(Lists().FftHScale(1, 3).back(), "500Hz");
    EXPECT_EQ(Lists().FftHScale(1, 3).size(), 14u);
    const ItemList& slowest = Lists().FftHScale(2, 19);
    EXPECT_EQ(slowest.size(), 19u);
    EXPECT_EQ(slowest[4], "500mHz");
    EXPECT_EQ(slowest[5], "250mHz");
    EXPECT_EQ(slowest.back(), "200uHz");
}

TEST(SettingsTables, ProvidersRefuseIndicesOutsideTheirRange) {
    EXPECT_THROW(Lists().VoltsPerDiv(3), std::out_of_range);  // the "x1000" slot has no list
    EXPECT_THROW(Lists().TrigCoupling(2), std::out_of_range);
    EXPECT_THROW(Lists().TimeDiv(-1), std::out_of_range);
    EXPECT_THROW(Lists().MemorySize(2), std::out_of_range);
    EXPECT_THROW(Lists().Number(3), std::out_of_range);
    EXPECT_THROW(Lists().FftVScale(2), std::out_of_range);
    EXPECT_THROW(Lists().FftHScale(3, 0), std::out_of_range);
    EXPECT_THROW(Lists().FftHScale(0, 20), std::out_of_range);
}

// ---------------------------------------------------------------------------
// Parsing.

TEST(SettingsParse, TimePerDivUnitsInExtendedPrecision) {
    EXPECT_EQ(ParseTimePerDivNs("1ms"), 1000000.0L);
    EXPECT_EQ(ParseTimePerDivNs("1s"), 1000000000.0L);
    EXPECT_EQ(ParseTimePerDivNs("500us"), 500000.0L);
    EXPECT_EQ(ParseTimePerDivNs("2ns"), 2.0L);
    // Beyond 32 bits, still exact.
    EXPECT_EQ(ParseTimePerDivNs("1000s"), 1000000000000.0L);
    // What cannot be read is refused, not guessed.
    for (const char* bad : {"", "ms", "10", "10x", "99999999999999999999s", "9999999999999s"}) {
        EXPECT_FALSE(ParseTimePerDivNs(bad)) << bad;
    }
}

TEST(SettingsParse, VoltsMathFftAndNumberItems) {
    struct Case {
        const char* text;
        std::optional<int> mv, fft, count;
    };
    const Case cases[] = {
        {"500mV", 500, 500, std::nullopt},
        {"2V", 2000, 2000, std::nullopt},
        {"200V", 200000, 200000, std::nullopt},
        {"100mdB", 100, 100, std::nullopt},
        {"1dB", 1, 1000, std::nullopt},
        {"5KdB", 5, 5000000, std::nullopt},
        {"512", 512, 512000, 512},
        {"∞", std::nullopt, std::nullopt, -1},
        {"x10", std::nullopt, std::nullopt, std::nullopt},
        {"3000000V", std::nullopt, std::nullopt, std::nullopt},
        {"12a", 12, 12000, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseMillivolts(c.text), c.mv) << c.text;
        EXPECT_EQ(ParseFftVScale(c.text), c.fft) << c.text;
        EXPECT_EQ(ParseAcquireCount(c.text), c.count) << c.text;
    }
    EXPECT_EQ(AcquireCountFor(2, "64"), 1);  // Envelope
    EXPECT_EQ(AcquireCountFor(1, "64"), 64);
}

// ---------------------------------------------------------------------------
// List dependencies.

TEST(SettingsRules, ProbeChangeKeepsTheIndexAndTheSensitivity) {
    // "50mV" under "x1" becomes "5V" under "x100"; the instrument still sees 50 mV.
    const ProbeChange c = ApplyProbeChange(Lists(), 2, 2);
    EXPECT_EQ(c.voltsPerDiv.items[static_cast<std::size_t>(c.voltsPerDiv.index)], "5V");
    EXPECT_EQ(c.probeFactor, 100);
    EXPECT_EQ(VoltsPerDivFromItem("5V", c.probeFactor), 50);
    EXPECT_EQ(ApplyProbeChange(Lists(), 1, 2).voltsPerDiv.items[2], "500mV");
    // The hidden "x1000" item acts like "x100".
    EXPECT_EQ(ApplyProbeChange(Lists(), 3, 7).probeFactor, 100);
    EXPECT_EQ(ApplyProbeChange(Lists(), 3, 7).voltsPerDiv.items[7], "200V");
}

TEST(SettingsRules, MemorySizeChangeKeepsOrClampsTimeDiv) {
    // "1000s" at 1MPoint, then 10kPoint: "10s" (index 30).
    const MemorySizeChange c = ApplyMemorySizeChange(Lists(), 0, 36);
    EXPECT_EQ(c.timeDiv.index, 30);
    EXPECT_EQ(c.timeDiv.items[30], "10s");
    EXPECT_EQ(c.memoryPoints, 10000);
    EXPECT_EQ(ApplyMemorySizeChange(Lists(), 2, 16).timeDiv.index, 16);
    // Menu items beyond the list are hidden: "20s" .. "100s" from 100k, the rest at 1M only.
    for (int m = 0; m < 3; ++m) {
        const auto visible = ApplyMemorySizeChange(Lists(), m, 0).timeDivMenuVisible;
        EXPECT_TRUE(visible[30]);
        EXPECT_EQ(visible[31], m >= 1);
        EXPECT_EQ(visible[33], m >= 1);
        EXPECT_EQ(visible[34], m == 2);
        EXPECT_EQ(visible[36], m == 2);
    }
}

TEST(SettingsRules, NumberListFollowsModeAndMemory) {
    // "256" in Average at 100kPoint, then 1MPoint: "128".
    const NumberListChange b = ApplyWaveformMode(Lists(), 1, 2, 7);
    EXPECT_EQ(b.number.items[static_cast<std::size_t>(b.number.index)], "128");
    EXPECT_FALSE(b.numberMenuVisible[8]);
    EXPECT_FALSE(b.numberMenuVisible[9]);
    EXPECT_TRUE(b.numberEnabled);
    // Back to list A the index stays where it is.
    const NumberListChange a = ApplyWaveformMode(Lists(), 2, 1, 6);
    EXPECT_EQ(a.number.items.size(), 9u);
    EXPECT_EQ(a.number.index, 6);
    EXPECT_TRUE(a.numberMenuVisible[9]);
    EXPECT_FALSE(a.numberMenuVisible[0]);   // "1"
    EXPECT_FALSE(a.numberMenuVisible[10]);  // "∞"
    EXPECT_FALSE(a.numberEnabled);
    // Menu tags count the hidden "1" item.
    EXPECT_EQ(NumberMenuIndexForText("128"), 7);
    EXPECT_EQ(NumberListIndexFromTag(7, true), 6);
    EXPECT_EQ(NumberMenuIndexForText("3"), -1);
}

TEST(SettingsRules, TriggerSourceRemembersCouplingPerChannel) {
    std::array<int, 2> remembered{0, 0};
    RememberTrigCoupling(remembered, 1, 2);  // HFrej while CH2 is the source
    RememberTrigCoupling(remembered, 2, 1);  // EXT remembers nothing
    const TrigSourceChange ext = ApplyTrigSource(Lists(), 2, remembered);
    EXPECT_EQ(ext.coupling.items, ItemList{"DC"});
    EXPECT_EQ(ext.coupling.index, 0);
    EXPECT_FALSE(ext.filterItemsVisible);
    const TrigSourceChange ch2 = ApplyTrigSource(Lists(), 1, remembered);
    EXPECT_EQ(ch2.coupling.items[static_cast<std::size_t>(ch2.coupling.index)], "HFrej");
    EXPECT_TRUE(ch2.filterItemsVisible);
    EXPECT_EQ(ApplyTrigSource(Lists(), 0, remembered).coupling.index, 0);
}

TEST(SettingsRules, FftVerticalTypeSwapsListIndexAndPosition) {
    InstrumentSettings s;
    s.fftVScaleIndex = {3, 11};
    s.fftPositionByType = {420, 90};
    const FftVTypeChange dbv = ApplyFftVType(Lists(), 1, s);
    EXPECT_EQ(dbv.scale.items.size(), 15u);
    EXPECT_EQ(dbv.scale.index, 11);
    EXPECT_EQ(dbv.tracePosition, 90);
    EXPECT_EQ(dbv.menuCaptions.size(), 15u);
    EXPECT_TRUE(dbv.menuVisible[14]);
    EXPECT_FALSE(dbv.menuVisible[15]);
    EXPECT_FALSE(dbv.menuVisible[16]);
    const FftVTypeChange lin = ApplyFftVType(Lists(), 0, s);
    EXPECT_EQ(lin.scale.index, 3);
    EXPECT_EQ(lin.tracePosition, 420);
    EXPECT_EQ(lin.menuCaptions.size(), 17u);
    EXPECT_TRUE(lin.menuVisible[16]);
    EXPECT_FALSE(lin.menuVisible[17]);
}

TEST(SettingsRules, GroundCouplingLeavesTheDeviceCoupling) {
    InstrumentSettings s;
    ApplyCoupling(s, 1, 1);
    ApplyCoupling(s, 1, 2);
    EXPECT_EQ(s.displayCoupling[1], 2);
    EXPECT_EQ(s.deviceCoupling[1], 1);
    ApplyCoupling(s, 5, 1);  // no such channel
    EXPECT_EQ(s.deviceCoupling[0], 0);
}

TEST(SettingsRules, MathRestsWhileTheSpectrumIsOn) {
    InstrumentSettings s;
    s.mathOn = 1;
    EXPECT_TRUE(ComputeEnabling(s).mathGroup);
    s.fftOn = 1;
    EXPECT_FALSE(ComputeEnabling(s).mathGroup);
    EXPECT_FALSE(ComputeEnabling(s).mathMenuItem);
    s.channelOn = {0, 0};
    EXPECT_FALSE(ComputeEnabling(s).channelLabels);
}

// ---------------------------------------------------------------------------
// Display items, trigger offset, defaults.

TEST(SettingsModel, DisplayItemsReachTheirFieldsAndIgnoreOthers) {
    InstrumentSettings s;
    const int expected[10] = {250, 250, 250, 100, 250, 5000, 150, 350, 100, 300};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(s.ItemPosition(i), expected[i]) << i;
        EXPECT_EQ(s.DisplayColor(i), DisplayItemDefaults()[static_cast<std::size_t>(i)].color);
    }
    EXPECT_TRUE(s.SetItemPosition(2, 321));
    EXPECT_EQ(s.tracePosition[kTraceMath], 321);  // item 2 is MATH, trace 3
    EXPECT_TRUE(s.SetItemPosition(5, 777));
    EXPECT_EQ(s.trigPosition, 777);
    for (int bad : {-1, 10}) {
        EXPECT_FALSE(s.SetItemPosition(bad, 1));
        EXPECT_FALSE(s.SetDisplayColorValue(bad, 1));
        EXPECT_EQ(s.ItemPosition(bad), 0);
        EXPECT_EQ(s.DisplayColor(bad), 0u);
    }
    EXPECT_FALSE(s.SetFftVScaleIndex(2, 1));
    EXPECT_FALSE(s.SetTracePosition(5, 1));
    EXPECT_EQ(s.FftPositionByType(2), 0);
}

TEST(SettingsModel, FirstLayoutResolvesTheTriggerOffset) {
    InstrumentSettings s;
    ResolveFirstLayout(s, 0);
    EXPECT_EQ(s.trigLevelOffset, 0.0L);

    InstrumentSettings t;
    t.tracePosition[kTraceCh2] = 300;
    t.trigLevel = 200;
    t.memoryPoints = 10000;
    t.trigPosition = 9950;
    ResolveFirstLayout(t, 1);
    EXPECT_EQ(t.trigLevelOffset, 100.0L);
    EXPECT_EQ(t.trigPosition, 9900);
    // A set offset stays; EXT uses the fixed reference.
    t.trigLevelOffset = 12.5L;
    ResolveFirstLayout(t, 2);
    EXPECT_EQ(t.trigLevelOffset, 12.5L);
    t.trigLevelOffset = kTrigLevelOffsetUnset;
    ResolveFirstLayout(t, 2);
    EXPECT_EQ(t.trigLevelOffset, 50.0L);  // 250 - 200
}

TEST(SettingsModel, TriggerLevelFollowsItsChannel) {
    EXPECT_EQ(TrigLevelFromOffset(260, 10.0L), 250);
    EXPECT_EQ(TrigLevelFromOffset(260, 9.5L), 250);  // 250.5: ties to even
    EXPECT_EQ(TrigLevelFromOffset(260, 8.5L), 252);  // 251.5
    EXPECT_EQ(TrigLevelFromOffset(5, 100.0L), 1);
    EXPECT_EQ(TrigLevelFromOffset(490, -40.0L), 500);
    EXPECT_EQ(TrigLevelFromOffset(250, std::nanl("")), 1);
    // 500 mV/div to 1 V/div: the offset halves, the level keeps its voltage.
    EXPECT_EQ(RescaleTrigLevelOffset(40.0L, 500.0L, 1000.0L), 20.0L);
    EXPECT_EQ(RescaleTrigLevelOffset(40.0L, 500.0L, 0.0L), 40.0L);
}

TEST(SettingsModel, DefaultsResetValuesAndDescribeEveryControl) {
    InstrumentSettings s;
    s.trigLevelOffset = 3;
    s.trigDelay = 99;
    s.pulseWidth = 500;
    s.displayColors[3] = 1;
    s.tracePosition[kTraceFft] = 300;
    s.cursorV2 = 1;
    ApplyDefaultValues(s);
    EXPECT_EQ(s.trigLevelOffset, kTrigLevelOffsetUnset);
    EXPECT_EQ(s.trigDelay, 0);
    EXPECT_EQ(s.pulseWidth, 10);
    EXPECT_EQ(s.displayColors[3], wincolor::kPurple);
    EXPECT_EQ(s.tracePosition[kTraceFft], 100);
    EXPECT_EQ(s.cursorV2, 300);
    EXPECT_EQ(s.fftPositionByType, (std::array<int, 2>{400, 100}));

    const PanelState d = DefaultPanelState(Lists());
    EXPECT_EQ(d.List(PanelList::Vd1).items[2], "50mV");  // "x1" list; the probe swaps it later
    EXPECT_EQ(d.List(PanelList::Td).items.size(), 37u);
    EXPECT_EQ(d.Index(PanelList::Td), 16);
    EXPECT_EQ(d.List(PanelList::MemSize).items.size(), 3u);
    EXPECT_EQ(d.List(PanelList::FftHScale).items.front(), "250KHz");
    EXPECT_EQ(d.Index(PanelList::Math), 8);
    for (const PanelControlName& n : PanelControlNames()) {
        if (n.ref.kind == PanelControlKind::List) {
            EXPECT_FALSE(d.List(static_cast<PanelList>(n.ref.id)).items.empty()) << n.name;
        }
    }
    EXPECT_EQ(d.CaptionColor(PanelLatch::Ch1), wincolor::kRed);
    EXPECT_EQ(d.CaptionColor(PanelLatch::Fft), wincolor::kPurple);
    EXPECT_TRUE(d.Radio(PanelRadio::Math2) == 1 && d.Radio(PanelRadio::PulseCond) == 0);
}

}  // namespace
}  // namespace lumatrace
