// The program's state as a whole: what the user set comes back after a
// restart, the parameter file survives a start and close unchanged, and a
// damaged list in it never reaches a value table.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/core/PanelController.h"
#include "app/core/PanelDerived.h"
#include "app/core/tests/FormMainFixture.h"
#include "app/files/SettingsRestore.h"
#include "app/settings/ParamFile.h"

namespace lumatrace {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// Every control of the panel state by name, readable in a failure.
std::vector<std::pair<std::string, std::string>> Describe(const PanelState& p) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const PanelControlName& n : PanelControlNames()) {
        std::ostringstream text;
        switch (n.ref.kind) {
            case PanelControlKind::List: {
                const ListState& l = p.List(static_cast<PanelList>(n.ref.id));
                for (const std::string& item : l.items) {
                    text << item << '|';
                }
                text << '#' << l.index;
                break;
            }
            case PanelControlKind::Latch: {
                const auto b = static_cast<PanelLatch>(n.ref.id);
                text << (p.Down(b) ? "down" : "up") << " colour " << p.CaptionColor(b);
                break;
            }
            case PanelControlKind::Check:
                text << p.Checked(static_cast<PanelCheck>(n.ref.id));
                break;
            case PanelControlKind::Radio:
                text << (p.Radio(static_cast<PanelRadio>(n.ref.id)) == n.ref.member);
                break;
            case PanelControlKind::Flag:
                text << p.Flag(static_cast<PanelFlag>(n.ref.id));
                break;
        }
        out.emplace_back(n.name, text.str());
    }
    return out;
}

// The derived and stored numbers a restart must bring back.
std::vector<std::pair<std::string, long double>> Numbers(const InstrumentSettings& s) {
    std::vector<std::pair<std::string, long double>> v = {
        {"voltsPerDivMv[0]", s.voltsPerDivMv[0]},
        {"voltsPerDivMv[1]", s.voltsPerDivMv[1]},
        {"probeFactor[0]", s.probeFactor[0]},
        {"probeFactor[1]", s.probeFactor[1]},
        {"displayCoupling[0]", s.displayCoupling[0]},
        {"displayCoupling[1]", s.displayCoupling[1]},
        {"deviceCoupling[0]", s.deviceCoupling[0]},
        {"deviceCoupling[1]", s.deviceCoupling[1]},
        {"bandwidthLimit[0]", s.bandwidthLimit[0]},
        {"bandwidthLimit[1]", s.bandwidthLimit[1]},
        {"channelOn[0]", s.channelOn[0]},
        {"channelOn[1]", s.channelOn[1]},
        {"trigCouplingBySource[0]", s.trigCouplingBySource[0]},
        {"trigCouplingBySource[1]", s.trigCouplingBySource[1]},
        {"trigLevel", s.trigLevel},
        {"trigLevelOffset", s.trigLevelOffset},
        {"trigPosition", s.trigPosition},
        {"trigDelay", s.trigDelay},
        {"pulseWidth", s.pulseWidth},
        {"timeDivIndex", s.timeDivIndex},
        {"timePerDiv", s.timePerDiv},
        {"memorySizeIndex", s.memorySizeIndex},
        {"memoryPoints", s.memoryPoints},
        {"sampleIntervalNs", s.sampleIntervalNs},
        {"equivalentActive", s.equivalentActive},
        {"rollActive", s.rollActive},
        {"waveformMode", s.waveformMode},
        {"acquireCount", s.acquireCount},
        {"acquireCountIndex", s.acquireCountIndex},
        {"mathOn", s.mathOn},
        {"mathScale", s.mathScale},
        {"fftOn", s.fftOn},
        {"fftScale", s.fftScale},
        {"fftVScaleIndex[0]", s.fftVScaleIndex[0]},
        {"fftVScaleIndex[1]", s.fftVScaleIndex[1]},
        {"fftWindow", s.fftWindow},
        {"cursorTOn", s.cursorTOn},
        {"cursorVOn", s.cursorVOn},
        {"cursorT1", s.cursorT1},
        {"cursorV2", s.cursorV2},
    };
    for (int i = 0; i < kTraceCount; ++i) {
        v.emplace_back("tracePosition[" + std::to_string(i) + "]", s.tracePosition[i]);
    }
    for (int i = 0; i < kDisplayItemCount; ++i) {
        v.emplace_back("displayColors[" + std::to_string(i) + "]", s.DisplayColor(i));
    }
    return v;
}

void TypeInto(QLineEdit* edit, const char* text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// What the derived availability says of each control agrees with what the form enables.
void ExpectAvailabilityAsShown(TFormMain& f) {
    const PanelAvailability a = PanelAvailabilityOf(f.Panel(), f.Settings(), f.Acquisition());
    for (int i = 0; i < kPanelListCount; ++i) {
        const auto list = static_cast<PanelList>(i);
        EXPECT_EQ(f.ListWidget(list)->isEnabled(), ListAvailable(a, list)) << PanelListName(list);
    }
    for (int i = 0; i < kPanelCheckCount; ++i) {
        const auto check = static_cast<PanelCheck>(i);
        EXPECT_EQ(f.CheckWidget(check)->isEnabled(), CheckAvailable(a, check))
            << f.CheckWidget(check)->objectName().toStdString();
    }
    for (int i = 0; i < kPanelRadioCount; ++i) {
        const auto group = static_cast<PanelRadio>(i);
        for (QRadioButton* r : f.RadioWidgets(group)) {
            EXPECT_EQ(r->isEnabled(), RadioAvailable(a, f.Panel(), group))
                << r->objectName().toStdString();
        }
    }
    EXPECT_EQ(f.UpDownCh1->isEnabled(), a.channel[0]);
    EXPECT_EQ(f.UpDownCh2->isEnabled(), a.channel[1]);
    EXPECT_EQ(f.UpDownTrigL->isEnabled(), a.trigger);
    EXPECT_EQ(f.A_Auto->isEnabled(), a.runActions.autoEnabled);
    EXPECT_EQ(f.A_Single->isEnabled(), a.runActions.singleEnabled);
    EXPECT_EQ(f.A_Normal->isEnabled(), a.runActions.normalEnabled);
    EXPECT_EQ(f.A_Stop->isEnabled(), a.runActions.stopEnabled);
}

struct ProgramState : FormMainTest {
    // What the user changes, one step a row, each through the controls.
    void ChangeEverything() {
        TFormMain& f = *form;
        const std::vector<std::pair<const char*, std::function<void()>>> steps = {
            {"V/div CH1", [&] { Pick(f.ComboBoxVd1, 5); }},
            {"probe CH2", [&] { Pick(f.ComboBoxPb2, 2); }},
            {"coupling CH1 AC", [&] { Pick(f.ComboBoxCup1, 1); }},
            {"coupling CH2 GND", [&] { Pick(f.ComboBoxCup2, 2); }},
            {"CH1 trigger coupling LFrej", [&] { Pick(f.ComboBoxTrigCup, 1); }},
            {"source CH2", [&] { Pick(f.ComboBoxTrigSrc, 1); }},
            {"CH2 trigger coupling HFrej", [&] { Pick(f.ComboBoxTrigCup, 2); }},
            {"slope", [&] { Pick(f.ComboBoxTrigSp, 1); }},
            {"memory 100k", [&] { Pick(f.ComboBoxMemSize, 1); }},
            {"T/div 10us", [&] { Pick(f.ComboBoxTd, 12); }},
            {"delay on", [&] { f.CheckBoxDelay->click(); }},
            {"delay 2us", [&] { TypeInto(f.EditDelay, "2us"); }},
            {"pulse on", [&] { f.CheckBoxPulse->click(); }},
            {"pulse above", [&] { f.RdBtnAbove->click(); }},
            {"pulse 150 ns", [&] { TypeInto(f.EditPulse, "150"); }},
            {"bandwidth CH2 20 MHz", [&] { f.RdBtn20MHz2->click(); }},
            {"equivalent time off", [&] { f.CheckBoxEqu->click(); }},
            {"roll off", [&] { f.CheckBoxRoll->click(); }},
            {"Average", [&] { Pick(f.ComboBoxWaveForm, 1); }},
            {"number 16", [&] { Pick(f.ComboBoxNumber, 3); }},
            {"MATH on", [&] { f.SpeedButtonMath->click(); }},
            {"MATH scale", [&] { Pick(f.ComboBoxMath, 10); }},
            {"MATH CH2 first", [&] { f.RdBtnMath12->click(); }},
            {"MATH product", [&] { f.RdBtnMul->click(); }},
            {"FFT on", [&] { f.SpeedButtonFft->click(); }},
            {"FFT of CH2", [&] { f.RdBtnFftSrc2->click(); }},
            {"FFT in dBV", [&] { f.RdBtnFftVstdBV->click(); }},
            {"FFT Hanning", [&] { f.RdBtnFftWndHn->click(); }},
            {"FFT scale", [&] { Pick(f.ComboBoxFftVScale, 3); }},
            {"V cursors off", [&] { f.SpeedButtonDv->click(); }},
            {"grid off", [&] { f.A_Grid->trigger(); }},
            {"scale off", [&] { f.A_Scale->trigger(); }},
            {"trigger level up", [&] { f.UpDownTrigL->step(UpDownButton::Up); }},
            {"T cursor right", [&] { f.UpDownDt->step(UpDownButton::Up); }},
            {"CH1 position up", [&] { f.UpDownCh1->step(UpDownButton::Up); }},
            {"scale colour", [&] { f.SetDisplayColor(5, 0x123456); }},
        };
        for (const auto& [name, step] : steps) {
            SCOPED_TRACE(name);
            step();
            ExpectAvailabilityAsShown(f);
        }
        for (UpDown* u : {f.UpDownTrigL, f.UpDownDt, f.UpDownCh1}) {
            emit u->mouseReleased();
        }
    }

    void ExpectSameState(const std::vector<std::pair<std::string, std::string>>& panel,
                         const std::vector<std::pair<std::string, long double>>& numbers) {
        const auto nowPanel = Describe(form->Panel());
        ASSERT_EQ(nowPanel.size(), panel.size());
        for (std::size_t i = 0; i < panel.size(); ++i) {
            EXPECT_EQ(nowPanel[i].second, panel[i].second) << panel[i].first;
        }
        const auto nowNumbers = Numbers(form->Settings());
        ASSERT_EQ(nowNumbers.size(), numbers.size());
        for (std::size_t i = 0; i < numbers.size(); ++i) {
            EXPECT_EQ(nowNumbers[i].second, numbers[i].second) << numbers[i].first;
        }
    }
};

TEST_F(ProgramState, EverythingTheUserSetComesBackAfterARestart) {
    Start("seed = 21");
    ChangeEverything();
    ASSERT_TRUE(messages.shown.empty());
    // The changes took: these are what the restart must keep.
    ASSERT_EQ(form->Settings().waveformMode, kWaveformAverage);
    ASSERT_EQ(form->Settings().acquireCountIndex, 3);
    ASSERT_NE(form->Settings().trigDelay, 0);
    ASSERT_EQ(form->Settings().pulseWidth, 150);
    ASSERT_EQ(form->Settings().trigCouplingBySource, (std::array<int, 2>{1, 2}));
    const auto panel = Describe(form->Panel());
    const auto numbers = Numbers(form->Settings());
    const std::string waveformLabel = form->LabelSIWf->text().toStdString();

    Restart();
    EXPECT_TRUE(messages.shown.empty());
    ExpectSameState(panel, numbers);
    // The panel shows it, and acquisition runs with it.
    EXPECT_EQ(form->LabelSIWf->text().toStdString(), waveformLabel);
    EXPECT_EQ(form->EditPulse->text(), "150");
    EXPECT_EQ(form->EditDelay->text(), "2.000");
    EXPECT_EQ(form->LabelDelayUt->text(), "us");
    EXPECT_EQ(form->ComboBoxTrigCup->currentIndex(), 2);
    // Back on CH1, the coupling remembered for it.
    Pick(form->ComboBoxTrigSrc, 0);
    EXPECT_EQ(form->ComboBoxTrigCup->currentIndex(), 1);
}

TEST_F(ProgramState, WhatTheFormEnablesFollowsRunsAndRoll) {
    Start("seed = 25");
    ExpectAvailabilityAsShown(*form);
    // Running: the memory size rests; rolling, the trigger controls too.
    form->A_Auto->trigger();
    ASSERT_FALSE(Stopped());
    ExpectAvailabilityAsShown(*form);
    form->A_Stop->trigger();
    Pick(form->ComboBoxTd, 27);  // 1 s/div: roll with the box ticked
    form->A_Auto->trigger();
    ASSERT_NE(form->Settings().rollActive, 0);
    EXPECT_FALSE(form->ComboBoxTrigSrc->isEnabled());
    ExpectAvailabilityAsShown(*form);
    form->A_Stop->trigger();
    ExpectAvailabilityAsShown(*form);
}

TEST_F(ProgramState, StartAndCloseWithoutAChangeLeaveTheParameterFileAsItWas) {
    Start("seed = 22");
    ChangeEverything();
    Restart();
    form->close();
    const Bytes first = ReadBytes(ParamFile());
    ASSERT_FALSE(first.empty());
    form.reset();
    Launch();
    form->close();
    EXPECT_EQ(ReadBytes(ParamFile()), first);
}

// The controls a waveform set restores, by name.
std::vector<std::string> ControlsASetRestores(const PanelState& p, const InstrumentSettings& s) {
    const std::optional<std::string> block = WriteSettingsBlock(FileSettingsFrom(p, s, false));
    EXPECT_TRUE(block.has_value());
    LineCursor cursor(*block);
    std::vector<RestoreStep> steps;
    ChannelsOn channels;
    EXPECT_TRUE(ReadSettingsBlock(cursor, steps, channels));
    std::vector<std::string> names;
    for (const RestoreStep& step : steps) {
        if (step.kind != RestoreStep::Kind::Mirror) {
            names.emplace_back(step.name);
        }
    }
    return names;
}

TEST_F(ProgramState, ASetOpensWithTheSettingsItWasSavedWith) {
    Start("seed = 24");
    ChangeEverything();
    const auto panel = Describe(form->Panel());
    const InstrumentSettings saved = form->Settings();
    dialogs.answers.push_back(FileDialogResult{(appData / "state.zep").string(), 1});
    form->A_Save->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.shown.front().text;

    // Everything else again, then the set.
    Pick(form->ComboBoxVd1, 0);
    Pick(form->ComboBoxPb2, 0);
    Pick(form->ComboBoxCup1, 0);
    Pick(form->ComboBoxTrigSrc, 0);
    Pick(form->ComboBoxTrigSp, 0);
    Pick(form->ComboBoxMemSize, 0);
    Pick(form->ComboBoxTd, 20);
    form->CheckBoxDelay->click();
    form->CheckBoxPulse->click();
    form->RdBtnUnder->click();
    form->RdBtnFull2->click();
    form->CheckBoxEqu->click();
    Pick(form->ComboBoxWaveForm, 2);
    form->UpDownTrigL->step(UpDownButton::Down);
    form->UpDownTrigL->step(UpDownButton::Down);
    ASSERT_NE(form->Settings().timeDivIndex, saved.timeDivIndex);
    dialogs.answers.push_back(FileDialogResult{(appData / "state.zep").string(), 1});
    form->A_Open->trigger();
    ASSERT_TRUE(messages.shown.empty()) << messages.shown.front().text;

    const auto now = Describe(form->Panel());
    for (const std::string& name : ControlsASetRestores(form->Panel(), form->Settings())) {
        for (std::size_t i = 0; i < panel.size(); ++i) {
            if (panel[i].first == name) {
                EXPECT_EQ(now[i].second, panel[i].second) << name;
            }
        }
    }
    const InstrumentSettings& s = form->Settings();
    EXPECT_EQ(s.voltsPerDivMv, saved.voltsPerDivMv);
    EXPECT_EQ(s.probeFactor, saved.probeFactor);
    EXPECT_EQ(s.displayCoupling, saved.displayCoupling);
    EXPECT_EQ(s.bandwidthLimit, saved.bandwidthLimit);
    EXPECT_EQ(s.trigCouplingBySource, saved.trigCouplingBySource);
    EXPECT_EQ(s.trigLevel, saved.trigLevel);
    EXPECT_EQ(s.trigPosition, saved.trigPosition);
    EXPECT_EQ(s.trigDelay, saved.trigDelay);
    EXPECT_EQ(s.pulseWidth, saved.pulseWidth);
    EXPECT_EQ(s.pulseCondition, saved.pulseCondition);
    EXPECT_EQ(s.timeDivIndex, saved.timeDivIndex);
    EXPECT_EQ(s.memoryPoints, saved.memoryPoints);
    EXPECT_EQ(s.sampleIntervalNs, saved.sampleIntervalNs);
    EXPECT_EQ(s.equivalentActive, saved.equivalentActive);
    EXPECT_EQ(s.waveformMode, saved.waveformMode);
    EXPECT_EQ(s.acquireCount, saved.acquireCount);
    EXPECT_EQ(s.acquireCountIndex, saved.acquireCountIndex);
    EXPECT_EQ(s.tracePosition[kTraceCh1], saved.tracePosition[kTraceCh1]);
    EXPECT_EQ(s.cursorT1, saved.cursorT1);
    EXPECT_EQ(form->Panel().Index(PanelList::Td), saved.timeDivIndex);
}

// A list record without a usable index, as a damaged or foreign file has it.
struct DamagedList {
    ParamControl control;
    int index;  // -1: the file names no index
};

class ProgramStateDamagedList : public ProgramState,
                                public ::testing::WithParamInterface<DamagedList> {};

TEST_P(ProgramStateDamagedList, IsTreatedAsADamagedFileAndNeverReachesATable) {
    Start("seed = 23");
    form->close();
    ParamDecodeResult decoded = DecodeParamFile(ReadBytes(ParamFile()));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    auto& record = decoded.snapshot.Control(GetParam().control);
    ASSERT_TRUE(record.has_value());
    ASSERT_TRUE(record->items.has_value());
    record->itemIndex =
        GetParam().index < 0 ? -1 : static_cast<std::int32_t>(record->items->size());
    const std::optional<Bytes> damaged = EncodeParamFile(decoded.snapshot);
    ASSERT_TRUE(damaged.has_value());
    form.reset();
    WriteBytes(ParamFile(), *damaged);

    Launch();
    ASSERT_TRUE(form->FirstLayoutDone());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, kParamReadErrorMessage);
    // The defaults, and the damaged file is gone.
    EXPECT_EQ(form->Settings().timeDivIndex, 16);
    EXPECT_FALSE(std::filesystem::exists(ParamFile()));
    // It starts again, with a good file this time.
    Restart();
    EXPECT_TRUE(messages.shown.empty());
}

std::vector<DamagedList> EveryListDamaged() {
    std::vector<DamagedList> cases;
    for (const ParamControlInfo& info : ParamControls()) {
        if (info.kind == ParamControlKind::ComboBox) {
            cases.push_back({info.id, -1});
            cases.push_back({info.id, 1});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryList, ProgramStateDamagedList,
                         ::testing::ValuesIn(EveryListDamaged()),
                         [](const ::testing::TestParamInfo<DamagedList>& info) {
                             return std::string(ParamControlInfoOf(info.param.control).name) +
                                    (info.param.index < 0 ? "Absent" : "OutOfRange");
                         });

}  // namespace
}  // namespace lumatrace
