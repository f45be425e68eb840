// What a waveform set records of the panel, and how it comes back: every
// control a set restores is a control of the panel state, and the panel's
// selections survive the set's settings block.
#include <gtest/gtest.h>

#include "app/core/PanelDerived.h"
#include "app/files/SettingsRestore.h"

namespace lumatrace {
namespace {

std::vector<RestoreStep> StepsOf(const WaveformFileSettings& f) {
    const std::optional<std::string> block = WriteSettingsBlock(f);
    EXPECT_TRUE(block.has_value());
    LineCursor cursor(*block);
    std::vector<RestoreStep> steps;
    ChannelsOn channels;
    EXPECT_TRUE(ReadSettingsBlock(cursor, steps, channels));
    return steps;
}

// Restores into a panel state by name, as the main window does.
class StateRestore final : public SettingsRestoreHost {
  public:
    explicit StateRestore(PanelState& state) : state_(state) {}
    void SetItemIndex(std::string_view control, int index) override {
        EXPECT_TRUE(SelectPanelItem(state_, control, index)) << control << " " << index;
    }
    void SetChecked(std::string_view control, bool checked) override {
        EXPECT_TRUE(SetPanelChecked(state_, control, checked)) << control;
    }
    void SetDown(std::string_view control, bool down) override {
        EXPECT_TRUE(SetPanelChecked(state_, control, down)) << control;
    }
    void SetMirror(std::string_view mirror, int, long double value) override {
        if (mirror == "timeDivIndex") {
            timeDivIndex = static_cast<int>(value);
        }
    }
    int timeDivIndex = -1;

  private:
    PanelState& state_;
};

TEST(PanelDerived, EveryControlASetRestoresIsOneOfThePanel) {
    const ValueLists lists;
    const PanelState panel = DefaultPanelState(lists);
    InstrumentSettings settings;
    int controls = 0;
    for (const RestoreStep& step : StepsOf(FileSettingsFrom(panel, settings, false))) {
        if (step.kind == RestoreStep::Kind::Mirror) {
            continue;
        }
        ++controls;
        const std::optional<PanelControlRef> ref = FindPanelControl(step.name);
        ASSERT_TRUE(ref) << step.name;
        EXPECT_EQ(ref->kind == PanelControlKind::List, step.kind == RestoreStep::Kind::ItemIndex)
            << step.name;
    }
    EXPECT_GT(controls, 10);
}

TEST(PanelDerived, PanelSelectionsComeBackFromASet) {
    const ValueLists lists;
    PanelState saved = DefaultPanelState(lists);
    saved.List(PanelList::Vd1).index = 6;
    saved.List(PanelList::Pb2).index = 2;
    saved.List(PanelList::Cup1).index = 1;
    saved.List(PanelList::TrigSrc).index = 1;
    saved.List(PanelList::TrigCup).index = 2;
    saved.List(PanelList::TrigSp).index = 1;
    saved.List(PanelList::Td).index = 25;
    saved.List(PanelList::MemSize).index = 1;
    saved.List(PanelList::WaveForm).index = 1;
    saved.List(PanelList::Number).index = 4;
    saved.Checked(PanelCheck::Delay) = true;
    saved.Checked(PanelCheck::Roll) = false;
    saved.Radio(PanelRadio::PulseCond) = 1;
    InstrumentSettings settings;
    settings.memorySizeIndex = 1;
    settings.memoryPoints = 100000;
    settings.waveformMode = 1;
    settings.displayCoupling = {1, 0};

    PanelState restored = DefaultPanelState(lists);
    StateRestore host(restored);
    ApplyRestoreSteps(StepsOf(FileSettingsFrom(saved, settings, false)), host);
    for (const PanelList l :
         {PanelList::Vd1, PanelList::Pb2, PanelList::Cup1, PanelList::TrigSrc, PanelList::TrigCup,
          PanelList::TrigSp, PanelList::MemSize, PanelList::WaveForm, PanelList::Number}) {
        EXPECT_EQ(restored.Index(l), saved.Index(l)) << PanelListName(l);
    }
    // The T/div comes back as the mirror the memory-size handler selects from.
    EXPECT_EQ(host.timeDivIndex, 25);
    EXPECT_TRUE(restored.Checked(PanelCheck::Delay));
    EXPECT_FALSE(restored.Checked(PanelCheck::Roll));
    EXPECT_TRUE(PulseAbove(restored));
}

TEST(PanelDerived, EditTextsShowTheAppliedValues) {
    InstrumentSettings s;
    s.trigDelay = 200;
    s.sampleIntervalNs = 10;
    s.pulseWidth = 150;
    const EditTexts t = PanelEditTexts(s);
    EXPECT_EQ(t.delayText, "2.000");
    EXPECT_EQ(t.delayUnitText, "us");
    EXPECT_EQ(t.pulseText, "150");
    EXPECT_EQ(t.pulseUnitText, "ns");
}

TEST(PanelDerived, CaptionFollowsThePanelState) {
    const ValueLists lists;
    PanelState p = DefaultPanelState(lists);
    p.Radio(PanelRadio::Math1) = 1;
    p.Radio(PanelRadio::Ope) = 2;
    p.Radio(PanelRadio::FftSrc) = 1;
    p.Flag(PanelFlag::XY) = true;
    InstrumentSettings s;
    s.waveformMode = kWaveformAverage;
    const ImageCaptionSettings c = CaptionSettingsFrom(p, s, false, {});
    EXPECT_EQ(c.waveformMode, kWaveformAverage);
    EXPECT_EQ(c.mathOperand1, 1);
    EXPECT_EQ(c.mathOperand2, 1);
    EXPECT_EQ(c.mathOperator, 2);
    EXPECT_EQ(c.fftSource, 1);
    EXPECT_TRUE(c.xyOn);
    EXPECT_EQ(c.timeDivText, "200us");
}

}  // namespace
}  // namespace lumatrace
