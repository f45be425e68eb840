#include <functional>

#include <gtest/gtest.h>

#include "app/settings/ComponentStream.h"
#include "app/settings/ParamFile.h"
#include "app/settings/tests/ParamFileTestData.h"

namespace lumatrace {
namespace {

using namespace testdata;
using C = ParamControl;

Bytes Encode(const ParamSnapshot& s) {
    std::string error;
    auto bytes = EncodeParamFile(s, &error);
    EXPECT_TRUE(bytes.has_value()) << error;
    return bytes.value_or(Bytes{});
}

ParamSnapshot Decode(const Bytes& bytes) {
    ParamDecodeResult r = DecodeParamFile(bytes);
    EXPECT_TRUE(r.ok) << r.error;
    return r.snapshot;
}

std::vector<std::string> Items(const ParamSnapshot& s, C c) {
    const auto& r = s.Control(c);
    if (!r || !r->items) {
        return {"<no items>"};
    }
    return *r->items;
}

TEST(ParamFileCodec, WritesTheHeaderOfAKnownStateByteForByte) {
    const Bytes file = Encode(DefaultSnapshot());
    ASSERT_GE(file.size(), kParamHeaderSize);
    const Bytes expected = {
        0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x86, 0x00, 0x40,  // version 2.1
        0x00, 0x00,                                                  // padding
        0x00, 0x78, 0x1E, 0x00,                                      // 1920 x 1040
        0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x00,              // colours
        0x00, 0x80, 0x00, 0x00, 0x80, 0x00, 0x80, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0xC0, 0xC0,
        0xC0, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x80, 0x00, 0xFF, 0x00, 0xFF, 0x00,
        0x00, 0xFF, 0xFF, 0x00, 0xFA, 0x00, 0x00, 0x00, 0xFA, 0x00, 0x00, 0x00,  // positions
        0xFA, 0x00, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00, 0xFA, 0x00, 0x00, 0x00, 0x88, 0x13,
        0x00, 0x00, 0x96, 0x00, 0x00, 0x00, 0x5E, 0x01, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00,
        0x2C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,              // state, padding
        0x05, 0x02, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x00,              // left, top
        0x76, 0x03, 0x00, 0x00, 0x30, 0x02, 0x00, 0x00,              // width, height
        0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x01, 0x01,              // flags
        0x00, 0x00, 0x00, 0x00,                                      // padding
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFA, 0x07, 0x40,  // trigLevelOffset 500
        0x00, 0x00,                                                  // padding
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,              // couplings
        0x00, 0x00, 0x00, 0x00, 0x0A, 0x00, 0x00, 0x00,              // delay, pulse width
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,              // count index, reserved
        0x08, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00,              // fftVScaleIndex
        0x90, 0x01, 0x00, 0x00, 0x64, 0x00, 0x00, 0x00,              // fftPositionByType
        0x00, 0x00, 0x00, 0x00,                                      // padding
    };
    ASSERT_EQ(expected.size(), kParamHeaderSize);
    EXPECT_EQ(Bytes(file.begin(), file.begin() + kParamHeaderSize), expected);
}

TEST(ParamFileCodec, WritesRecordsInTheFrameworksFormat) {
    const Bytes file = Encode(DefaultSnapshot());
    Bytes expected;
    Append(expected, std::string_view("TPF0\x09TGroupBox\x0CGroupBoxVert"));
    U8(expected, 0);
    U8(expected, 0);
    Append(expected, std::string_view("TPF0\x0CTSpeedButton\x0ESpeedButtonCh1"));
    Append(expected, Prop("Down", VBool(true)));
    Append(expected, Prop("Font.Color", VIdent("clRed")));
    U8(expected, 0);
    U8(expected, 0);
    ASSERT_GE(file.size(), kParamHeaderSize + expected.size());
    EXPECT_EQ(Bytes(file.begin() + kParamHeaderSize,
                    file.begin() + kParamHeaderSize + static_cast<std::ptrdiff_t>(expected.size())),
              expected);

    // The slope list goes out in the Japanese code page, as the earlier programs wrote it.
    const ParamDecodeResult decoded = DecodeParamFile(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    std::size_t at = 0;
    for (const ParamRecordOrigin& origin : decoded.records) {
        if (origin.control == C::ComboBoxTrigSp) {
            at = origin.offset;
        }
    }
    const TpfReadResult slope = ReadTpfRecord(std::span(file).subspan(at));
    ASSERT_TRUE(slope.ok);
    const TpfProperty* items = slope.component.Find("Items.Strings");
    ASSERT_NE(items, nullptr);
    ASSERT_EQ(items->value.list.size(), 2u);
    EXPECT_EQ(items->value.list[0].type, TpfValueType::String);
    EXPECT_EQ(items->value.list[0].bytes, "\x81\xAA");
    EXPECT_EQ(slope.component.className, "TComboBox");
}

TEST(ParamFileCodec, RoundTripsEveryFieldAndRecord) {
    ParamSnapshot s = DefaultSnapshot();
    EXPECT_EQ(Decode(Encode(s)), s);

    // Now every field away from its default, and distinct from its neighbours.
    for (std::size_t i = 0; i < kParamDisplayItems; ++i) {
        s.displayColors[i] = 0x00102030u + static_cast<std::uint32_t>(i);
        s.itemPositions[i] = static_cast<std::int32_t>(40 + i);
    }
    s.displayColors[9] = 0xFF00000Fu;  // a system colour survives too
    s.workAreaSize = -123456;
    s.windowState = ParamWindowState::Minimised;
    s.windowRect = {-5, -6, 1000, 700};
    s.scaleChecked = false;
    s.gridChecked = false;
    s.xyChecked = true;
    s.hintChecked = false;
    s.delayChecked = true;
    s.pulseChecked = true;
    s.equChecked = false;
    s.rollChecked = false;
    s.trigLevelOffset = Extended80::FromParts(true, 0x3FFE, 0xABCDEF0123456789);
    s.trigCouplingBySource = {2, 1};
    s.trigDelay = 3999999;
    s.pulseWidth = 99999999;
    s.acquireCountIndex = 8;
    s.reservedValue = -42;
    s.fftVScaleIndex = std::array<std::int32_t, 2>{16, 14};
    s.fftPositionByType = std::array<std::int32_t, 2>{1, 500};
    for (const ParamControlInfo& info : ParamControls()) {
        ParamControlRecord& r = *s.Control(info.id);
        r.checked = !r.checked;
        r.down = !r.down;
        if (r.items) {
            r.itemIndex = static_cast<std::int32_t>(r.items->size()) - 1;
        }
    }
    // Radio and speed-button records keep only their own state; lists their
    // items and index. Clear what the kinds do not carry before comparing.
    const auto carried = [](ParamSnapshot snap) {
        for (const ParamControlInfo& info : ParamControls()) {
            ParamControlRecord& r = *snap.Control(info.id);
            if (info.kind != ParamControlKind::RadioButton) {
                r.checked = false;
            }
            if (info.kind != ParamControlKind::SpeedButton) {
                r.down = false;
            }
        }
        return snap;
    };
    s.Control(C::SpeedButtonCh1)->fontColor = 0x123456;             // not a named colour
    s.Control(C::SpeedButtonDt)->fontColor = 0xFF000012;            // clBtnText
    s.Control(C::ComboBoxVd1)->items = std::vector<std::string>{};  // empty list
    s.Control(C::ComboBoxVd1)->itemIndex = -1;
    s.Control(C::ComboBoxVd2)->items = std::nullopt;  // keeps the control's own list
    s.Control(C::ComboBoxVd2)->itemIndex = 4;
    // Beyond the Japanese code page: written as UTF-16.
    s.Control(C::ComboBoxMath)->items->push_back("\xF0\x9F\x98\x80 ∞ 能");
    s.Control(C::ComboBoxTd)->items->push_back(std::string(300, 'L'));  // long string
    const ParamSnapshot expected = carried(s);
    EXPECT_EQ(Decode(Encode(s)), expected);
}

TEST(ParamFileCodec, ReadsAVersion20FileWithItsUpgrades) {
    const ParamSnapshot s = Decode(Version20File());
    EXPECT_EQ(s.version, Extended80::FromDouble(2.0));
    // No GroupBoxVert record in 2.0 files; everything else is there.
    EXPECT_FALSE(s.Control(C::GroupBoxVert).has_value());
    for (const ParamControlInfo& info : ParamControls()) {
        if (info.id != C::GroupBoxVert) {
            EXPECT_TRUE(s.Control(info.id).has_value()) << info.name;
        }
    }
    EXPECT_EQ(Items(s, C::ComboBoxPb1), (std::vector<std::string>{"x1", "x10", "x100"}));
    EXPECT_EQ(Items(s, C::ComboBoxPb2), (std::vector<std::string>{"x1", "x10", "x100"}));
    std::vector<std::string> td = OldTimeDivList();
    td.insert(td.end(), {"20s", "50s", "100s", "200s", "500s", "1000s"});
    EXPECT_EQ(Items(s, C::ComboBoxTd), td);
    EXPECT_EQ(Items(s, C::ComboBoxMath), MathList());
    // Lists that are not upgraded stay as stored.
    EXPECT_EQ(Items(s, C::ComboBoxMemSize), (std::vector<std::string>{"10kPoint", "100kPoint"}));
    EXPECT_EQ(Items(s, C::ComboBoxTrigSp), (std::vector<std::string>{"↑", "↓"}));

    // Header: all ten display items and the FFT settings.
    for (std::size_t i = 0; i < kParamDisplayItems; ++i) {
        EXPECT_EQ(s.displayColors[i], 0x010101u * (i + 1)) << i;
        EXPECT_EQ(s.itemPositions[i], static_cast<std::int32_t>(200 + i)) << i;
    }
    EXPECT_EQ(s.workAreaSize, 1920 * 1040);
    EXPECT_EQ(s.windowState, ParamWindowState::Maximised);
    EXPECT_EQ(s.windowRect, (WindowRect{11, 22, 900, 600}));
    EXPECT_EQ((std::array{s.scaleChecked, s.gridChecked, s.xyChecked, s.hintChecked, s.delayChecked,
                          s.pulseChecked, s.equChecked, s.rollChecked}),
              (std::array{true, false, true, false, false, true, true, false}));
    EXPECT_EQ(s.trigLevelOffset.ToDouble(), -12.5);
    EXPECT_EQ(s.trigCouplingBySource, (std::array<std::int32_t, 2>{1, 2}));
    EXPECT_EQ(s.trigDelay, 1234);
    EXPECT_EQ(s.pulseWidth, 56);
    EXPECT_EQ(s.acquireCountIndex, 3);
    EXPECT_EQ(s.reservedValue, 77);
    EXPECT_EQ(s.fftVScaleIndex, (std::array<std::int32_t, 2>{9, 6}));
    EXPECT_EQ(s.fftPositionByType, (std::array<std::int32_t, 2>{410, 90}));

    // Records: the states among the clutter of other properties.
    EXPECT_TRUE(s.Control(C::SpeedButtonCh1)->down);
    EXPECT_EQ(s.Control(C::SpeedButtonCh1)->fontColor, 0x0000FFu);
    EXPECT_FALSE(s.Control(C::SpeedButtonCh2)->down);
    EXPECT_EQ(s.Control(C::SpeedButtonFft)->fontColor, 0x800080u);
    EXPECT_EQ(s.Control(C::SpeedButtonDt)->fontColor, 0u);
    EXPECT_EQ(s.Control(C::ComboBoxVd2)->itemIndex, 5);
    EXPECT_EQ(s.Control(C::ComboBoxTd)->itemIndex, 16);
    EXPECT_FALSE(s.Control(C::RdBtnUnder)->checked);
    EXPECT_TRUE(s.Control(C::RdBtnAbove)->checked);
    EXPECT_TRUE(s.Control(C::RdBtnMul)->checked);
    EXPECT_TRUE(s.Control(C::RdBtnFftWndHn)->checked);
    EXPECT_EQ(s.Control(C::ComboBoxFftHScale)->itemIndex, 3);
}

TEST(ParamFileCodec, ReadsAVersion10FileWithNineDisplayItemsAndNoFft) {
    const ParamDecodeResult r = DecodeParamFile(Version10File());
    ASSERT_TRUE(r.ok) << r.error;
    const ParamSnapshot& s = r.snapshot;
    const int items[9] = {0, 1, 2, 4, 5, 6, 7, 8, 9};
    for (int j = 0; j < 9; ++j) {
        const auto i = static_cast<std::size_t>(items[j]);
        EXPECT_EQ(s.displayColors[i], 0x010101u * static_cast<unsigned>(j + 1)) << i;
        EXPECT_EQ(s.itemPositions[i], 200 + j) << i;
    }
    EXPECT_FALSE(s.displayColors[kFftDisplayItem].has_value());
    EXPECT_FALSE(s.itemPositions[kFftDisplayItem].has_value());
    EXPECT_FALSE(s.fftVScaleIndex.has_value());
    EXPECT_FALSE(s.fftPositionByType.has_value());
    EXPECT_FALSE(s.Control(C::GroupBoxVert).has_value());
    EXPECT_FALSE(s.Control(C::SpeedButtonFft).has_value());
    EXPECT_FALSE(s.Control(C::RdBtnFftWndBh).has_value());
    EXPECT_TRUE(s.Control(C::RdBtnDiv).has_value());
    EXPECT_EQ(r.records.size(), 33u);
    EXPECT_EQ(r.records.front().offset, kParamOldHeaderSize);
    // Old-layout fields.
    EXPECT_EQ(s.windowState, ParamWindowState::Normal);
    EXPECT_EQ(s.windowRect, (WindowRect{11, 22, 900, 600}));
    EXPECT_TRUE(s.scaleChecked);
    EXPECT_FALSE(s.rollChecked);
    EXPECT_EQ(s.trigLevelOffset.ToDouble(), -12.5);
    EXPECT_EQ(s.trigCouplingBySource, (std::array<std::int32_t, 2>{1, 2}));
    EXPECT_EQ(s.trigDelay, 1234);
    EXPECT_EQ(s.pulseWidth, 56);
    EXPECT_EQ(s.acquireCountIndex, 3);
    EXPECT_EQ(s.reservedValue, 77);
    EXPECT_EQ(Items(s, C::ComboBoxPb1).size(), 3u);
    EXPECT_EQ(Items(s, C::ComboBoxMath), MathList());
}

TEST(ParamFileCodec, VersionBetweenOneAndTwoUsesTheNewLayoutWithNineItems) {
    Bytes file = NewHeader(1.5);
    Append(file, CommonRecords({"x1", "x10", "x100"}));
    const ParamDecodeResult r = DecodeParamFile(file);
    ASSERT_TRUE(r.ok) << r.error;
    const ParamSnapshot& s = r.snapshot;
    // The first nine entries of the ten-entry arrays, skipping the FFT item.
    EXPECT_EQ(s.displayColors[2], 0x030303u);
    EXPECT_FALSE(s.displayColors[3].has_value());
    EXPECT_EQ(s.displayColors[4], 0x040404u);
    EXPECT_EQ(s.displayColors[9], 0x090909u);
    EXPECT_EQ(s.itemPositions[9], 208);
    EXPECT_FALSE(s.fftVScaleIndex.has_value());
    EXPECT_FALSE(s.Control(C::SpeedButtonFft).has_value());
    EXPECT_EQ(r.records.front().offset, kParamHeaderSize);
    EXPECT_EQ(s.windowState, ParamWindowState::Maximised);
    EXPECT_EQ(s.reservedValue, 77);
    // Three probe items already: no upgrade there.
    EXPECT_EQ(Items(s, C::ComboBoxPb1), (std::vector<std::string>{"x1", "x10", "x100"}));
}

TEST(ParamFileCodec, UpgradesNeverDuplicateEntries) {
    // A 2.0 file whose lists already reach the newer entries.
    Bytes file = NewHeader(2.0);
    Bytes records = CommonRecords({"x1", "x10"});
    Append(file, records);
    Append(file, FftRecords());
    ParamSnapshot s = Decode(file);
    std::vector<std::string> full = *s.Control(C::ComboBoxTd)->items;
    ASSERT_EQ(full.size(), 37u);

    // Re-encode as 2.0 with the full lists and read again: nothing added twice.
    ParamSnapshot again = s;
    again.Control(C::GroupBoxVert) = ParamControlRecord{};
    Bytes upgraded = Encode(again);
    const Bytes v20 = Version(2.0);
    std::copy(v20.begin(), v20.end(), upgraded.begin());
    // 2.0 files carry no GroupBoxVert record: drop it.
    const TpfReadResult group = ReadTpfRecord(std::span(upgraded).subspan(kParamHeaderSize));
    ASSERT_TRUE(group.ok);
    upgraded.erase(
        upgraded.begin() + kParamHeaderSize,
        upgraded.begin() + kParamHeaderSize + static_cast<std::ptrdiff_t>(group.consumed));
    const ParamSnapshot reread = Decode(upgraded);
    EXPECT_EQ(Items(reread, C::ComboBoxTd), full);
    EXPECT_EQ(Items(reread, C::ComboBoxMath), MathList());
    EXPECT_EQ(Items(reread, C::ComboBoxPb1), (std::vector<std::string>{"x1", "x10", "x100"}));

    // A 2.1 file is never upgraded: its lists are the program's own.
    ParamSnapshot current = DefaultSnapshot();
    current.Control(C::ComboBoxPb1)->items = std::vector<std::string>{"x1", "x10"};
    current.Control(C::ComboBoxPb1)->itemIndex = 0;
    EXPECT_EQ(Items(Decode(Encode(current)), C::ComboBoxPb1),
              (std::vector<std::string>{"x1", "x10"}));
    EXPECT_EQ(Items(Decode(Encode(current)), C::ComboBoxTd), OldTimeDivList());
}

TEST(ParamFileCodec, ReadsItemsInEveryStringEncoding) {
    Bytes file = NewHeader(2.1);
    Append(file, Record("TGroupBox", "GroupBoxVert", {}));
    Bytes common = CommonRecords({"x1", "x10", "x100"});
    // Replace the slope list by one mixing the encodings.
    Bytes slope = Record("TComboBox", "ComboBoxTrigSp",
                         {Prop("Items.Strings", VList({VLString("\x81\xAA"), VWString(u"↓"),
                                                       VUtf8("↕"), VString("\x96\xA2\x96\x9E")})),
                          Prop("ItemIndex", VInt32(3))});
    const Bytes oldSlope = Combo("ComboBoxTrigSp", {"\x81\xAA", "\x81\xAB"}, 1);
    auto at = std::search(common.begin(), common.end(), oldSlope.begin(), oldSlope.end());
    ASSERT_NE(at, common.end());
    at = common.erase(at, at + static_cast<std::ptrdiff_t>(oldSlope.size()));
    common.insert(at, slope.begin(), slope.end());
    Append(file, common);
    Append(file, FftRecords());
    const ParamSnapshot s = Decode(file);
    EXPECT_EQ(Items(s, C::ComboBoxTrigSp), (std::vector<std::string>{"↑", "↓", "↕", "未満"}));
    EXPECT_EQ(s.Control(C::ComboBoxTrigSp)->itemIndex, 3);
}

TEST(ParamFileCodec, AbsentPropertiesTakeTheFrameworksDefaults) {
    Bytes file = NewHeader(2.1);
    Append(file, Record("TGroupBox", "GroupBoxVert", {}));
    Append(file, CommonRecords({"x1", "x10", "x100"}));
    Append(file, FftRecords());
    // Swap in bare records for a list, a radio button and a speed button.
    const auto replace = [&](const Bytes& from, const Bytes& to) {
        auto at = std::search(file.begin(), file.end(), from.begin(), from.end());
        ASSERT_NE(at, file.end());
        at = file.erase(at, at + static_cast<std::ptrdiff_t>(from.size()));
        file.insert(at, to.begin(), to.end());
    };
    replace(Combo("ComboBoxCup1", {"DC", "AC", "GND"}, 0),
            Record("TComboBox", "ComboBoxCup1", {}, false));
    replace(Radio("RdBtnAbove", true), Record("TRadioButton", "RdBtnAbove", {}, false));
    replace(Speed("SpeedButtonCh1", true, "clRed"),
            Record("TSpeedButton", "SpeedButtonCh1", {}, false));
    const ParamSnapshot s = Decode(file);
    EXPECT_EQ(s.Control(C::ComboBoxCup1), ParamControlRecord{});  // no items, index -1
    EXPECT_FALSE(s.Control(C::RdBtnAbove)->checked);
    EXPECT_FALSE(s.Control(C::SpeedButtonCh1)->down);
    EXPECT_EQ(s.Control(C::SpeedButtonCh1)->fontColor, std::nullopt);
}

TEST(ParamFileCodec, AcceptsVersionsFromPointZeroThree) {
    Bytes file = OldHeader(0.03);
    Append(file, CommonRecords({"x1", "x10"}));
    EXPECT_TRUE(DecodeParamFile(file).ok);

    Bytes tooOld = OldHeader(0.02);
    Append(tooOld, CommonRecords({"x1", "x10"}));
    const ParamDecodeResult r = DecodeParamFile(tooOld);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("below 0.03"), std::string::npos) << r.error;

    // One step below the nearest extended value of 0.03.
    Bytes justBelow = file;
    justBelow[0] = 0x8E;
    EXPECT_FALSE(DecodeParamFile(justBelow).ok);
}

TEST(ParamFileCodec, EveryTruncationIsAnError) {
    const Bytes file = Encode(DefaultSnapshot());
    for (std::size_t cut = 0; cut < file.size(); ++cut) {
        const ParamDecodeResult r = DecodeParamFile(std::span(file.data(), cut));
        ASSERT_FALSE(r.ok) << cut;
        EXPECT_FALSE(r.error.empty()) << cut;
    }
    // Bytes after the last record are ignored, as they always were.
    Bytes longer = file;
    longer.push_back(0x55);
    EXPECT_TRUE(DecodeParamFile(longer).ok);
}

TEST(ParamFileCodec, CorruptFilesAreRefusedWithAReason) {
    const Bytes good = Encode(DefaultSnapshot());
    const ParamDecodeResult goodDecoded = DecodeParamFile(good);
    ASSERT_TRUE(goodDecoded.ok);
    const auto recordAt = [&](C control) {
        for (const ParamRecordOrigin& o : goodDecoded.records) {
            if (o.control == control) {
                return o.offset;
            }
        }
        return std::size_t{0};
    };
    // Replaces one control's record with a hand-built one.
    const auto withRecord = [&](C control, const Bytes& record) {
        const std::size_t at = recordAt(control);
        const TpfReadResult old = ReadTpfRecord(std::span(good).subspan(at));
        Bytes out(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(at));
        Append(out, record);
        out.insert(out.end(), good.begin() + static_cast<std::ptrdiff_t>(at + old.consumed),
                   good.end());
        return out;
    };
    const auto patchedI32 = [&](std::size_t offset, std::int32_t v) {
        Bytes out = good;
        for (std::size_t i = 0; i < 4; ++i) {
            out[offset + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
        }
        return out;
    };
    const auto patched = [&](std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
        Bytes out = good;
        std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(offset));
        return out;
    };
    struct Case {
        const char* label;
        Bytes file;
        const char* error;
    };
    const Case cases[] = {
        {"empty", {}, "too short"},
        {"version 0.02", patched(0, {0x0A, 0xD7, 0xA3, 0x70, 0x3D, 0x0A, 0xD7, 0xA3, 0xF9, 0x3F}),
         "below 0.03"},
        {"negative version", patched(9, {0xC0}), "below 0.03"},
        {"version NaN", patched(0, {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}), "not a number"},
        {"version infinite", patched(0, {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}), "not a number"},
        {"window state 3", patched(96, {3}), "window state 3"},
        {"trigLevelOffset NaN", patched(128, {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x7F}),
         "trigLevelOffset"},
        {"trigLevelOffset beyond double", patched(128, {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x7F}),
         "trigLevelOffset"},
        {"coupling 3", patchedI32(140, 3), "trigCouplingBySource[0]"},
        {"coupling -1", patchedI32(144, -1), "trigCouplingBySource[1]"},
        {"trigDelay", patchedI32(148, 4000000), "trigDelay"},
        {"acquireCountIndex", patchedI32(156, 11), "acquireCountIndex"},
        {"linear FFT scale index", patchedI32(164, 17), "fftVScaleIndex[0]"},
        {"dBV FFT scale index", patchedI32(168, 15), "fftVScaleIndex[1]"},
        {"FFT position", patchedI32(176, 501), "fftPositionByType[1]"},
        {"trace position", patchedI32(56, -1), "display item 0"},
        {"trigger position", patchedI32(56 + 5 * 4, 1000000), "display item 5"},
        {"bad signature", patched(kParamHeaderSize, {'X'}), "record GroupBoxVert"},
        {"unknown value type",
         withRecord(C::ComboBoxVd2,
                    Record("TComboBox", "ComboBoxVd2", {Bytes{4, 'N', 'o', 'p', 'e', 99}}, false)),
         "unknown value type 99"},
        {"item index beyond the list",
         withRecord(C::ComboBoxCup1, Combo("ComboBoxCup1", {"DC", "AC", "GND"}, 3)),
         "ComboBoxCup1.ItemIndex 3"},
        {"item index below -1",
         withRecord(C::ComboBoxCup1, Combo("ComboBoxCup1", {"DC", "AC", "GND"}, -2)),
         "ComboBoxCup1.ItemIndex -2"},
        {"item index as text",
         withRecord(C::ComboBoxCup1,
                    Record("TComboBox", "ComboBoxCup1", {Prop("ItemIndex", VString("1"))})),
         "ItemIndex is not a 32-bit integer"},
        {"items not a list",
         withRecord(C::ComboBoxCup1,
                    Record("TComboBox", "ComboBoxCup1", {Prop("Items.Strings", VString("DC"))})),
         "Items.Strings is not a list"},
        {"item not text",
         withRecord(C::ComboBoxCup1, Record("TComboBox", "ComboBoxCup1",
                                            {Prop("Items.Strings", VList({VInt8(1)}))})),
         "item 0 of Items.Strings"},
        {"item in broken CP932",
         withRecord(C::ComboBoxCup1, Record("TComboBox", "ComboBoxCup1",
                                            {Prop("Items.Strings", VList({VString("\x81")}))})),
         "item 0 of Items.Strings"},
        {"item in broken UTF-8",
         withRecord(C::ComboBoxCup1, Record("TComboBox", "ComboBoxCup1",
                                            {Prop("Items.Strings", VList({VUtf8("\xC3")}))})),
         "item 0 of Items.Strings"},
        {"checked as a number",
         withRecord(C::RdBtnUnder,
                    Record("TRadioButton", "RdBtnUnder", {Prop("Checked", VInt8(1))})),
         "Checked is not true or false"},
        {"unknown colour name",
         withRecord(C::SpeedButtonCh2, Speed("SpeedButtonCh2", true, "clPlaid")), "unknown colour"},
        {"colour as text",
         withRecord(C::SpeedButtonCh2,
                    Record("TSpeedButton", "SpeedButtonCh2", {Prop("Font.Color", VString("red"))})),
         "Font.Color"},
    };
    for (const Case& c : cases) {
        const ParamDecodeResult r = DecodeParamFile(c.file);
        EXPECT_FALSE(r.ok) << c.label;
        EXPECT_NE(r.error.find(c.error), std::string::npos) << c.label << ": " << r.error;
        EXPECT_EQ(r.snapshot, ParamSnapshot{}) << c.label;  // nothing half-read leaks out
    }
}

TEST(ParamFileCodec, ColourNamesAreReadInAnyCase) {
    Bytes file = NewHeader(2.0);
    Bytes common = CommonRecords({"x1", "x10", "x100"});
    const Bytes from = Speed("SpeedButtonCh2", false, "clBlue");
    const Bytes to =
        Record("TSpeedButton", "SpeedButtonCh2", {Prop("Font.Color", VIdent("CLAQUA"))});
    auto at = std::search(common.begin(), common.end(), from.begin(), from.end());
    ASSERT_NE(at, common.end());
    at = common.erase(at, at + static_cast<std::ptrdiff_t>(from.size()));
    common.insert(at, to.begin(), to.end());
    Append(file, common);
    Append(file, FftRecords());
    EXPECT_EQ(Decode(file).Control(C::SpeedButtonCh2)->fontColor, 0xFFFF00u);
}

TEST(ParamFileCodec, EncodingNeedsACompleteSnapshot) {
    std::string error;
    ParamSnapshot s = DefaultSnapshot();
    s.displayColors[3].reset();
    EXPECT_FALSE(EncodeParamFile(s, &error).has_value());
    EXPECT_NE(error.find("display item 3"), std::string::npos) << error;

    s = DefaultSnapshot();
    s.fftPositionByType.reset();
    EXPECT_FALSE(EncodeParamFile(s, &error).has_value());

    s = DefaultSnapshot();
    s.Control(C::RdBtnFftWndBh).reset();
    EXPECT_FALSE(EncodeParamFile(s, &error).has_value());
    EXPECT_NE(error.find("RdBtnFftWndBh"), std::string::npos) << error;

    s = DefaultSnapshot();
    s.Control(C::ComboBoxMath)->items->push_back("\xFF");
    EXPECT_FALSE(EncodeParamFile(s, &error).has_value());
    EXPECT_NE(error.find("ComboBoxMath"), std::string::npos) << error;
}

TEST(ParamFileCodec, ControlTableMatchesTheFileOrder) {
    const auto& controls = ParamControls();
    ASSERT_EQ(controls.size(), 45u);
    int always = 0, since2 = 0, since21 = 0;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(controls[i].id), i) << controls[i].name;
        EXPECT_EQ(&ParamControlInfoOf(controls[i].id), &controls[i]);
        switch (controls[i].since) {
            case ParamRecordSince::Always:
                ++always;
                break;
            case ParamRecordSince::Version2:
                ++since2;
                break;
            case ParamRecordSince::Version21:
                ++since21;
                break;
        }
    }
    EXPECT_EQ(always, 33);
    EXPECT_EQ(since2, 11);
    EXPECT_EQ(since21, 1);
    EXPECT_STREQ(controls.front().name, "GroupBoxVert");
    EXPECT_STREQ(controls[33].name, "RdBtnDiv");
    EXPECT_STREQ(controls.back().name, "RdBtnFftWndBh");
}

}  // namespace
}  // namespace lumatrace
