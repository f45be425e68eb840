// The panel state and the parameter file's control records: every saved
// control stands for a part of the state, records carry the state there and
// back, and a list record without a usable index is refused.
#include <gtest/gtest.h>

#include "app/settings/PanelState.h"
#include "app/settings/ParamControlBinding.h"

namespace lumatrace {
namespace {

PanelControlKind KindFor(ParamControlKind kind) {
    switch (kind) {
        case ParamControlKind::ComboBox:
            return PanelControlKind::List;
        case ParamControlKind::SpeedButton:
            return PanelControlKind::Latch;
        case ParamControlKind::RadioButton:
        case ParamControlKind::GroupBox:
            break;
    }
    return PanelControlKind::Radio;
}

TEST(PanelState, EverySavedControlStandsForAPartOfTheState) {
    for (const ParamControlInfo& info : ParamControls()) {
        const std::optional<PanelControlRef> ref = PanelControlOf(info.id);
        if (info.kind == ParamControlKind::GroupBox) {
            EXPECT_FALSE(ref) << info.name;
            continue;
        }
        ASSERT_TRUE(ref) << info.name;
        EXPECT_EQ(ref->kind, KindFor(info.kind)) << info.name;
        EXPECT_STREQ(PanelControlNameOf(*ref), info.name);
    }
}

TEST(PanelState, NamesAreUniqueAndFindTheirOwnEntry) {
    for (const PanelControlName& n : PanelControlNames()) {
        const std::optional<PanelControlRef> ref = FindPanelControl(n.name);
        ASSERT_TRUE(ref) << n.name;
        EXPECT_STREQ(PanelControlNameOf(*ref), n.name);
    }
    EXPECT_FALSE(FindPanelControl("ComboBoxVd3"));
}

TEST(PanelState, RecordsCarryTheStateThereAndBack) {
    const ValueLists lists;
    PanelState written = DefaultPanelState(lists);
    written.List(PanelList::Vd2) = {lists.VoltsPerDiv(2), 7};
    written.List(PanelList::Td) = {lists.TimeDiv(1), 33};
    written.List(PanelList::FftHScale) = {lists.FftHScale(2, 7), 4};
    written.Down(PanelLatch::Ch2) = false;
    written.Down(PanelLatch::Math) = true;
    written.CaptionColor(PanelLatch::Dv) = 0xFF000008;
    written.Radio(PanelRadio::Ope) = 3;
    written.Radio(PanelRadio::FftWnd) = 2;
    written.Radio(PanelRadio::Math2) = 0;

    PanelState read;
    for (const ParamControlInfo& info : ParamControls()) {
        const ParamControlRecord record = CaptureParamRecord(info.id, written);
        ASSERT_EQ(CheckParamRecord(info.id, record, read), "") << info.name;
        ApplyParamRecord(info.id, record, read);
    }
    // Check boxes and display flags travel in the file's header, not in records.
    read.checked = written.checked;
    read.flags = written.flags;
    EXPECT_EQ(read, written);
}

TEST(PanelState, ListRecordsMustSelectAnItem) {
    const ValueLists lists;
    const PanelState state = DefaultPanelState(lists);
    struct Case {
        const char* what;
        std::optional<std::vector<std::string>> items;
        int index;
        bool usable;
    };
    const std::vector<Case> cases = {
        {"own items, first", ItemList{"a", "b"}, 0, true},
        {"own items, last", ItemList{"a", "b"}, 1, true},
        {"own items, no index", ItemList{"a", "b"}, -1, false},
        {"own items, past the end", ItemList{"a", "b"}, 2, false},
        {"no items: the state's 37", std::nullopt, 36, true},
        {"no items, past the state's", std::nullopt, 37, false},
        {"no items, no index", std::nullopt, -1, false},
    };
    for (const Case& c : cases) {
        ParamControlRecord record;
        record.items = c.items;
        record.itemIndex = c.index;
        EXPECT_EQ(CheckParamRecord(ParamControl::ComboBoxTd, record, state).empty(), c.usable)
            << c.what;
    }
}

TEST(PanelState, RestoringByNameKeepsToWhatTheControlsHave) {
    const ValueLists lists;
    PanelState s = DefaultPanelState(lists);
    EXPECT_TRUE(SelectPanelItem(s, "ComboBoxTd", 20));
    EXPECT_EQ(s.Index(PanelList::Td), 20);
    EXPECT_FALSE(SelectPanelItem(s, "ComboBoxTd", 37));
    EXPECT_FALSE(SelectPanelItem(s, "ComboBoxTd", -1));
    EXPECT_EQ(s.Index(PanelList::Td), 20);
    EXPECT_FALSE(SelectPanelItem(s, "CheckBoxEqu", 0));
    EXPECT_FALSE(SetPanelChecked(s, "ComboBoxTd", true));
    EXPECT_FALSE(SetPanelChecked(s, "RdBtnNowhere", true));

    EXPECT_TRUE(SetPanelChecked(s, "RdBtnDiv", true));
    EXPECT_EQ(MathOperatorIndex(s), 3);
    // Unchecking a radio leaves its group as it is.
    EXPECT_TRUE(SetPanelChecked(s, "RdBtnDiv", false));
    EXPECT_EQ(MathOperatorIndex(s), 3);
    EXPECT_TRUE(SetPanelChecked(s, "SpeedButtonFft", true));
    EXPECT_TRUE(s.Down(PanelLatch::Fft));
    EXPECT_TRUE(SetPanelChecked(s, "A_XY", true));
    EXPECT_TRUE(s.Flag(PanelFlag::XY));
}

}  // namespace
}  // namespace lumatrace
