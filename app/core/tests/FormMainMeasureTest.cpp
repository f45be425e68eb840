// The measurements panel in the main window on the virtual instrument: shown
// from its menu item and shortcut, measuring every record on show, hidden by
// default without a trace in the window or the files, and its choices kept
// across a restart.
//
// The virtual instrument's default signals: CH1 a 1 kHz sine of 0.1 V
// amplitude, CH2 a 1 kHz square of 0.075 V amplitude, both through the
// default x10 probes (2 Vpp and 1.5 Vpp as shown).
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QMenu>
#include <QTableWidget>
#include <QTest>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/core/tests/FormMainFixture.h"
#include "app/measure/MeasureChoices.h"
#include "app/measure/ui/MeasurePanel.h"

namespace lumatrace {
namespace {

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct FormMainMeasureTest : FormMainTest {
    std::filesystem::path ChoicesFile() const {
        return ParamFile().parent_path() / std::string(kMeasureChoicesFileName);
    }
    QAction* Item() const { return form->findChild<QAction*>("M_Measure"); }
    bool DockShown() const { return form->MeasurementsDock()->isVisible(); }
    std::int64_t Records() const { return form->Measurements()->Statistics().Acquisitions(); }
    std::optional<double> Current(MeasureId id) const {
        return form->Measurements()->Statistics().Of(id).current;
    }

    // The wave area closes whole divisions, 10 by 8, and the window holds it whole.
    void ExpectWaveSnapped(const char* when) const {
        SCOPED_TRACE(when);
        const ViewGeometry& g = form->View().Geometry();
        EXPECT_EQ(g.WaveWidth % 50, 0) << g.WaveWidth;
        EXPECT_EQ(g.WaveHeight % 40, 0) << g.WaveHeight;
        EXPECT_EQ(g.WaveWidth * 8, g.WaveHeight * 10);
        EXPECT_EQ(form->WavePicture().width(), g.WaveWidth + 1);
        EXPECT_EQ(form->WavePicture().height(), g.WaveHeight + 1);
        EXPECT_GE(form->PanelMain->height(), g.WaveHeight + 1 + 12 + 63 - 1);
        EXPECT_GE(form->PanelMain->width(), g.WaveWidth + 1 + 12 + 48 - 1);
    }

    void Activate() {
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
};

TEST_F(FormMainMeasureTest, CtrlEShowsThePanelWhichMeasuresEveryRecordOnShow) {
    Start("seed = 31");
    Activate();
    ASSERT_NE(Item(), nullptr);
    EXPECT_FALSE(Item()->isChecked());
    EXPECT_FALSE(DockShown());
    ExpectWaveSnapped("at start");
    const int waveWidth = form->View().Geometry().WaveWidth;
    const QSize window = form->size();
    const QSize waveArea = form->PanelMain->size();

    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return DockShown(); }, kWaitMs));
    EXPECT_TRUE(Item()->isChecked());
    EXPECT_TRUE(form->Measurements()->Shown());
    // The window grew by the panel; the wave area kept its size.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->height() > window.height() && form->PanelMain->size() == waveArea; },
        kWaitMs));
    EXPECT_EQ(form->width(), window.width());
    EXPECT_EQ(form->View().Geometry().WaveWidth, waveWidth);
    ExpectWaveSnapped("panel shown");
    EXPECT_EQ(Records(), 0);  // nothing acquired yet

    // One Single run: one record, measured once.
    QTest::keyClick(form.get(), Qt::Key_F7);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Stopped() && Records() >= 1; }, kWaitMs));
    EXPECT_EQ(Records(), 1);
    ASSERT_TRUE(Current(MeasureId::Frequency));
    EXPECT_NEAR(*Current(MeasureId::Frequency), 1000.0, 5.0);
    ASSERT_TRUE(Current(MeasureId::Vpp));
    EXPECT_NEAR(*Current(MeasureId::Vpp), 2.0, 0.1);
    ASSERT_TRUE(Current(MeasureId::Vrms));
    EXPECT_NEAR(*Current(MeasureId::Vrms), 2.0 / 2.0 / std::sqrt(2.0), 0.02);
    // The table shows them with their units.
    EXPECT_FALSE(form->Measurements()->TableMeasure->findItems("KHz", Qt::MatchContains).empty());

    // Redraws of the same record (a cursor step while stopped) add nothing.
    form->RedrawAll();
    EXPECT_EQ(Records(), 1);

    // CH2's square: half the period high.
    Pick(form->Measurements()->ComboBoxMeasureSrc, static_cast<int>(MeasureSource::Ch2));
    EXPECT_EQ(form->Measurements()->Choices().source, MeasureSource::Ch2);
    ASSERT_TRUE(Current(MeasureId::DutyPos));
    EXPECT_NEAR(*Current(MeasureId::DutyPos), 50.0, 1.0);
    EXPECT_NEAR(*Current(MeasureId::Vpp), 1.5, 0.1);

    // Auto: the statistics count the records as they come.
    QTest::keyClick(form.get(), Qt::Key_F5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 2; }, kWaitMs));
    const std::int64_t some = Records();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Records() >= some + 3; }, kWaitMs));
    QTest::keyClick(form.get(), Qt::Key_F6);
    ASSERT_TRUE(Stopped());
    const MeasureStatistics::Column duty =
        form->Measurements()->Statistics().Of(MeasureId::DutyPos);
    EXPECT_GE(duty.count, some + 3);
    ASSERT_TRUE(duty.mean && duty.min && duty.max);
    EXPECT_NEAR(*duty.mean, 50.0, 1.0);
    EXPECT_LE(*duty.min, *duty.max);
    EXPECT_TRUE(messages.shown.empty());

    // The menu item hides it again: the window is as it was.
    Item()->trigger();
    EXPECT_FALSE(DockShown());
    EXPECT_FALSE(Item()->isChecked());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->size() == window; }, kWaitMs));
    EXPECT_EQ(form->PanelMain->size(), waveArea);
    EXPECT_EQ(form->View().Geometry().WaveWidth, waveWidth);
    ExpectWaveSnapped("panel hidden again");
}

TEST_F(FormMainMeasureTest, HiddenByDefaultItAddsOnlyItsMenuItemAndWritesNothing) {
    Start("seed = 32");
    EXPECT_FALSE(DockShown());
    ExpectWaveSnapped("hidden by default");
    // The 表示(V) menu as before, then a separator and the new item.
    auto* view = form->findChild<QMenu*>("M_View");
    ASSERT_NE(view, nullptr);
    const QList<QAction*> items = view->actions();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items[items.size() - 3]->objectName(), "M_Hint");
    EXPECT_TRUE(items[items.size() - 2]->isSeparator());
    EXPECT_EQ(items.back(), Item());
    EXPECT_EQ(Item()->text().toStdString(), "測定(&E)");
    EXPECT_EQ(Item()->shortcut(), QKeySequence("Ctrl+E"));
    EXPECT_EQ(Item()->toolTip().toStdString(), "自動測定パネル表示");
    // No context menu offers the dock.
    EXPECT_EQ(form->findChildren<QDockWidget*>().size(), 1);

    // Runs measure nothing while hidden.
    form->A_Auto->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 3; }, kWaitMs));
    form->A_Stop->trigger();
    EXPECT_EQ(Records(), 0);

    const QSize window = form->size();
    form->close();
    const std::string first = ReadAll(ParamFile());
    ASSERT_FALSE(first.empty());
    EXPECT_FALSE(std::filesystem::exists(ChoicesFile()));
    form.reset();
    Launch();
    EXPECT_EQ(form->size(), window);
    form->close();
    EXPECT_EQ(ReadAll(ParamFile()), first);
    EXPECT_FALSE(std::filesystem::exists(ChoicesFile()));
}

TEST_F(FormMainMeasureTest, ChoicesAndVisibilityPersistAcrossARestart) {
    Start("seed = 33");
    const std::string hiddenPrm = (form->close(), ReadAll(ParamFile()));
    Restart();
    form->findChild<QAction*>("M_Measure")->trigger();
    ASSERT_TRUE(DockShown());
    Pick(form->Measurements()->ComboBoxMeasureSrc, static_cast<int>(MeasureSource::Ch2));
    Pick(form->Measurements()->ComboBoxMeasureGate, static_cast<int>(MeasureGate::Record));
    const MeasureChoices chosen = form->Measurements()->Choices();
    EXPECT_TRUE(chosen.visible);

    Restart();
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(form->Measurements()->Choices(), chosen);
    EXPECT_TRUE(DockShown());
    EXPECT_TRUE(Item()->isChecked());
    EXPECT_EQ(form->Measurements()->ComboBoxMeasureSrc->currentIndex(),
              static_cast<int>(MeasureSource::Ch2));
    ExpectWaveSnapped("shown from the start");
    // The parameter file knows nothing of the panel.
    form->close();
    EXPECT_EQ(ReadAll(ParamFile()), hiddenPrm);

    Launch();
    // Shown from the start, it measures the first record.
    form->A_Single->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Stopped() && Records() >= 1; }, kWaitMs));
    ASSERT_TRUE(Current(MeasureId::Frequency));
    EXPECT_NEAR(*Current(MeasureId::Frequency), 1000.0, 5.0);

    Item()->trigger();
    EXPECT_FALSE(DockShown());
    Restart();
    EXPECT_FALSE(DockShown());
    EXPECT_FALSE(Item()->isChecked());
    EXPECT_FALSE(form->Measurements()->Choices().visible);
    EXPECT_EQ(form->Measurements()->Choices().source, MeasureSource::Ch2);
}

}  // namespace
}  // namespace lumatrace
