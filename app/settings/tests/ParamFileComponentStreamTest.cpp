#include <gtest/gtest.h>

#include "app/settings/ComponentStream.h"
#include "app/settings/tests/ParamFileTestData.h"

namespace lumatrace {
namespace {

using namespace testdata;

TEST(ParamFileComponentStream, ReadsEveryValueTypeAndWritesItBackByteForByte) {
    const Bytes record = Record("TSpeedButton", "SpeedButtonCh1",
                                {Prop("Down", VBool(true)), Prop("Font.Color", VIdent("clRed"))});
    const TpfReadResult read = ReadTpfRecord(record);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.consumed, record.size());
    const TpfComponent& c = read.component;
    EXPECT_EQ(c.className, "TSpeedButton");
    EXPECT_EQ(c.name, "SpeedButtonCh1");
    EXPECT_TRUE(c.children.empty());

    const auto type = [&](const char* name) {
        const TpfProperty* p = c.Find(name);
        EXPECT_NE(p, nullptr) << name;
        return p != nullptr ? p->value.type : TpfValueType::Null;
    };
    EXPECT_EQ(type("Left"), TpfValueType::Int16);
    EXPECT_EQ(c.Find("Left")->value.integer, 1000);
    EXPECT_EQ(c.Find("Width")->value.integer, 70000);
    EXPECT_EQ(type("Caption"), TpfValueType::String);
    EXPECT_EQ(c.Find("Caption")->value.bytes, "\x83\x65\x83\x58\x83\x67");
    EXPECT_EQ(c.Find("Hint")->value.wide, u"ヒント");
    EXPECT_EQ(c.Find("Font.Style")->value.set, std::vector<std::string>{"fsBold"});
    EXPECT_EQ(c.Find("Glyph.Data")->value.bytes, "\xAA\xBB\xCC");
    EXPECT_EQ(c.Find("OnClick")->value.bytes, "SpeedButtonCh1Click");
    EXPECT_EQ(c.Find("Scale")->value.extended.ToDouble(), 1.0);
    EXPECT_EQ(c.Find("Ratio")->value.AsDouble(), 1.0);
    EXPECT_EQ(c.Find("Stamp")->value.AsDouble(), 1.0);
    EXPECT_EQ(type("Price"), TpfValueType::Currency);
    EXPECT_EQ(c.Find("Price")->value.integer, 10000);
    EXPECT_EQ(c.Find("Big")->value.integer, static_cast<std::int64_t>(0x8000000000000001));
    EXPECT_EQ(c.Find("Real")->value.AsDouble(), 1.0);
    EXPECT_EQ(type("Nothing"), TpfValueType::Nil);
    EXPECT_EQ(c.Find("Text")->value.bytes, "テキスト");
    EXPECT_EQ(type("Long"), TpfValueType::LString);
    const TpfValue& columns = c.Find("Columns")->value;
    ASSERT_EQ(columns.collection.size(), 2u);
    EXPECT_EQ(columns.collection[0].order, std::optional<std::int64_t>(0));
    EXPECT_EQ(columns.collection[0].properties[0].value.integer, 300);
    EXPECT_EQ(columns.collection[1].order, std::nullopt);
    EXPECT_EQ(type("Down"), TpfValueType::True);

    std::vector<std::uint8_t> written;
    ASSERT_TRUE(AppendTpfRecord(written, c));
    EXPECT_EQ(written, record);
}

TEST(ParamFileComponentStream, ChildrenAndPrefixesRoundTrip) {
    TpfComponent parent;
    parent.className = "TGroupBox";
    parent.name = "GroupBoxVert";
    parent.properties.push_back({"Caption", TpfValue::AnsiString("VERTICAL")});
    TpfComponent child;
    child.flags = 0x02 | 0x01;  // inherited, with a child position
    child.childPosition = 3;
    child.className = "TComboBox";
    child.name = "ComboBoxVd1";
    child.properties.push_back({"Items.Strings", TpfValue::ListOf({TpfValue::AnsiString("a")})});
    TpfComponent nameless;  // needs the empty prefix to be told from the end of children
    nameless.properties.push_back({"Tag", TpfValue::Integer(-70000)});
    TpfComponent longClass;  // a length byte of 0xF0 or more reads as a prefix
    longClass.className = std::string(245, 'T');
    child.children = {nameless, longClass};
    parent.children.push_back(child);

    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(AppendTpfRecord(bytes, parent));
    const TpfReadResult read = ReadTpfRecord(bytes);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.component, parent);
    EXPECT_EQ(read.consumed, bytes.size());
}

TEST(ParamFileComponentStream, IntegerBuilderPicksTheSmallestType) {
    struct Case {
        std::int64_t value;
        TpfValueType type;
    };
    const Case cases[] = {
        {0, TpfValueType::Int8},
        {-128, TpfValueType::Int8},
        {127, TpfValueType::Int8},
        {128, TpfValueType::Int16},
        {-32768, TpfValueType::Int16},
        {32768, TpfValueType::Int32},
        {INT32_MIN, TpfValueType::Int32},
        {static_cast<std::int64_t>(INT32_MAX) + 1, TpfValueType::Int64},
    };
    for (const Case& c : cases) {
        const TpfValue v = TpfValue::Integer(c.value);
        EXPECT_EQ(v.type, c.type) << c.value;
        TpfComponent comp;
        comp.className = "T";
        comp.properties.push_back({"V", v});
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(AppendTpfRecord(bytes, comp));
        const TpfReadResult read = ReadTpfRecord(bytes);
        ASSERT_TRUE(read.ok);
        EXPECT_EQ(read.component.properties[0].value.integer, c.value);
    }
}

TEST(ParamFileComponentStream, EveryTruncationIsAnError) {
    const Bytes record =
        Record("TComboBox", "ComboBoxTd", {Prop("Items.Strings", VStrings(OldTimeDivList()))});
    for (std::size_t cut = 0; cut < record.size(); ++cut) {
        const TpfReadResult read = ReadTpfRecord(std::span<const std::uint8_t>(record.data(), cut));
        EXPECT_FALSE(read.ok) << cut;
        EXPECT_FALSE(read.error.empty()) << cut;
    }
}

TEST(ParamFileComponentStream, MalformedRecordsAreRefused) {
    Bytes deep;
    Append(deep, std::string_view("TPF0\x01T\x01N\x01P"));
    for (int i = 0; i < 100000; ++i) {
        U8(deep, 1);  // lists within lists
    }
    Bytes hugeString;
    Append(hugeString, std::string_view("TPF0\x01T\x01N\x01P"));
    Append(hugeString, Bytes{12, 0xFF, 0xFF, 0xFF, 0xFF, 'a'});
    Bytes hugeWide;
    Append(hugeWide, std::string_view("TPF0\x01T\x01N\x01P"));
    Append(hugeWide, Bytes{18, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0});
    Bytes badCollection;
    Append(badCollection, std::string_view("TPF0\x01T\x01N\x01P"));
    Append(badCollection, Bytes{14, 2, 0, 4});
    Bytes endMarkerAsValue;
    Append(endMarkerAsValue, std::string_view("TPF0\x01T\x01N\x01P"));
    Append(endMarkerAsValue, Bytes{0, 0, 0});
    struct Case {
        const char* label;
        Bytes bytes;
        const char* error;
    };
    const Case cases[] = {
        {"no signature", Bytes{'T', 'P', 'F', '1', 1, 'T', 1, 'N', 0, 0}, "signature"},
        {"unknown value type",
         [] {
             Bytes b;
             Append(b, std::string_view("TPF0\x01T\x01N\x01P"));
             U8(b, 22);
             return b;
         }(),
         "unknown value type 22"},
        {"nesting", deep, "nested too deeply"},
        {"string longer than the file", hugeString, "truncated"},
        {"wide string longer than the file", hugeWide, "truncated"},
        {"collection item without a list", badCollection, "collection item"},
        {"end marker as a value", endMarkerAsValue, "end-of-list"},
    };
    for (const Case& c : cases) {
        const TpfReadResult read = ReadTpfRecord(c.bytes);
        EXPECT_FALSE(read.ok) << c.label;
        EXPECT_NE(read.error.find(c.error), std::string::npos) << c.label << ": " << read.error;
    }
}

TEST(ParamFileComponentStream, WriterRefusesWhatCannotBeRead) {
    const auto writes = [](TpfComponent c) {
        std::vector<std::uint8_t> out{1, 2, 3};
        const bool ok = AppendTpfRecord(out, c);
        if (!ok) {
            EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3}));  // untouched
        }
        return ok;
    };
    TpfComponent base;
    base.className = "T";
    base.name = "N";
    EXPECT_TRUE(writes(base));

    TpfComponent longName = base;
    longName.name = std::string(256, 'n');
    EXPECT_FALSE(writes(longName));

    TpfComponent emptyProperty = base;
    emptyProperty.properties.push_back({"", TpfValue::Integer(1)});
    EXPECT_FALSE(writes(emptyProperty));

    TpfComponent badInt = base;
    TpfValue v = TpfValue::Integer(1);
    v.integer = 300;  // does not fit the Int8 it claims to be
    badInt.properties.push_back({"V", v});
    EXPECT_FALSE(writes(badInt));

    TpfComponent emptySetMember = base;
    TpfValue set;
    set.type = TpfValueType::Set;
    set.set = {"fsBold", ""};
    emptySetMember.properties.push_back({"S", set});
    EXPECT_FALSE(writes(emptySetMember));

    TpfComponent flagsWithoutPosition = base;
    flagsWithoutPosition.flags = 0x02;
    EXPECT_FALSE(writes(flagsWithoutPosition));
}

}  // namespace
}  // namespace lumatrace
