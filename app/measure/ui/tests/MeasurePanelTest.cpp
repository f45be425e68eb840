// The measurements panel offscreen: values and statistics after records, the choices and
// their file.
#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/display/SampleWord.h"
#include "app/measure/ui/MeasurePanel.h"
#include "app/platform/testing/FakeFileStore.h"

namespace lumatrace {
namespace {

const std::filesystem::path kFile = "/home/me/.config/ORVEX/ZEP-9100/Zep9100Measure.ini";

// 10,000 samples 200 ns apart: CH1 a square of ten 1,000-sample periods, high (code 712, at
// 1 V/div 1.953 V) for the first `high` of each; CH2 ground-coupled.
struct Square {
    std::vector<SampleWord> words;
    MeasureFrame frame;

    explicit Square(int high = 300) {
        for (int i = 0; i < 10000; ++i)
            words.push_back(MakeSampleWord(i % 1000 < high ? 712 : 312, 512));
        frame.input.record = words;
        frame.input.channel[0] = {true, false, 1000, 1, 250};
        frame.input.channel[1] = {true, true, 500, 1, 250};
        frame.input.sampleIntervalSeconds = 200e-9;
        frame.screen = {0, 10000};
        frame.cursors = {3000, 7001};
    }
};

class MeasurePanelTest : public ::testing::Test {
  protected:
    testing::FakeFileStore files;
    std::unique_ptr<MeasurePanel> panel;

    void Make() { panel = std::make_unique<MeasurePanel>(MeasurePanelServices{&files, kFile}); }

    void SetUp() override { Make(); }

    std::string FileText() const {
        const auto it = files.files.find(kFile);
        return it == files.files.end() ? std::string()
                                       : std::string(it->second.begin(), it->second.end());
    }
    int Row(const char* name) const {
        for (int r = 0; r < panel->TableMeasure->rowCount(); ++r) {
            if (panel->TableMeasure->verticalHeaderItem(r)->text() == QString::fromLatin1(name))
                return r;
        }
        return -1;
    }
    // The cell of a measurement's row: 0 current, 1 mean, 2 min, 3 max, 4 std dev, 5 count.
    std::string Cell(const char* name, int column) const {
        const int row = Row(name);
        if (row < 0)
            return "(no row)";
        return panel->TableMeasure->item(row, column)->text().toStdString();
    }
    QAction* Choice(const char* name) const {
        return panel->findChild<QAction*>(QStringLiteral("M_Measure_") + QString::fromLatin1(name));
    }
};

TEST_F(MeasurePanelTest, ShowsValuesAndCountsRecords) {
    EXPECT_TRUE(panel->LoadChoices().empty());
    EXPECT_TRUE(panel->isHidden());
    // The default measurements, in order.
    ASSERT_EQ(panel->TableMeasure->rowCount(), 4);
    EXPECT_EQ(panel->TableMeasure->verticalHeaderItem(0)->text(), "vpp");
    EXPECT_EQ(Cell("frequency", 0), "----");

    panel->SetShown(true);
    EXPECT_FALSE(panel->isHidden());
    EXPECT_NE(FileText().find("visible=1\n"), std::string::npos);

    Square a(300);
    Square b(200);
    panel->OnRecord(a.frame);
    panel->OnRecord(b.frame);
    panel->OnRecord(a.frame);
    EXPECT_EQ(Cell("vpp", 0), "3.906V");
    EXPECT_EQ(Cell("frequency", 0), "5.000KHz");
    EXPECT_EQ(Cell("duty_pos", 0), "30.00%");
    EXPECT_EQ(Cell("duty_pos", 1), "26.67%");  // (30 + 20 + 30) / 3
    EXPECT_EQ(Cell("duty_pos", 2), "20.00%");
    EXPECT_EQ(Cell("duty_pos", 3), "30.00%");
    EXPECT_EQ(Cell("duty_pos", 4), "5.774%");  // sample deviation of 30, 20, 30
    EXPECT_EQ(Cell("duty_pos", 5), "3");
    EXPECT_EQ(Cell("vpp", 4), "0.000mV");

    QTest::mouseClick(panel->BtnMeasureReset, Qt::LeftButton);
    EXPECT_EQ(Cell("duty_pos", 0), "----");
    EXPECT_EQ(Cell("duty_pos", 5), "0");
    panel->OnRecord(b.frame);
    EXPECT_EQ(Cell("duty_pos", 1), "20.00%");
    EXPECT_EQ(Cell("duty_pos", 5), "1");
}

TEST_F(MeasurePanelTest, ChoicesRestartTheStatisticsAndAreKept) {
    panel->LoadChoices();
    panel->SetShown(true);
    Square a;
    panel->OnRecord(a.frame);
    panel->OnRecord(a.frame);
    EXPECT_EQ(Cell("frequency", 5), "2");

    // Between the cursors: the record on show is measured again at once.
    panel->ComboBoxMeasureGate->setCurrentIndex(static_cast<int>(MeasureGate::Cursors));
    EXPECT_EQ(Cell("frequency", 5), "1");
    EXPECT_NE(FileText().find("gate=cursors\n"), std::string::npos);

    // A grounded channel has no values.
    panel->ComboBoxMeasureSrc->setCurrentIndex(static_cast<int>(MeasureSource::Ch2));
    EXPECT_EQ(Cell("vpp", 0), "----");
    EXPECT_EQ(Cell("vpp", 5), "0");
    EXPECT_NE(FileText().find("source=CH2\n"), std::string::npos);

    // Measurements are added at the end and removed where they are.
    Choice("edges")->trigger();
    Choice("vpp")->trigger();
    ASSERT_EQ(panel->TableMeasure->rowCount(), 4);
    EXPECT_EQ(panel->TableMeasure->verticalHeaderItem(3)->text(), "edges");
    EXPECT_EQ(Row("vpp"), -1);
    EXPECT_NE(FileText().find("show=vrms,frequency,duty_pos,edges\n"), std::string::npos);

    // A new panel reads the choices back.
    Make();
    EXPECT_TRUE(panel->LoadChoices().empty());
    EXPECT_FALSE(panel->isHidden());
    EXPECT_EQ(panel->ComboBoxMeasureSrc->currentText(), "CH2");
    EXPECT_EQ(panel->ComboBoxMeasureGate->currentText(), "Cursors");
    EXPECT_TRUE(Choice("edges")->isChecked());
    EXPECT_FALSE(Choice("vpp")->isChecked());
    EXPECT_EQ(panel->TableMeasure->rowCount(), 4);
}

TEST_F(MeasurePanelTest, RedrawsMeasureAgainOnlyWhenTheGateMoves) {
    panel->LoadChoices();
    panel->SetShown(true);
    Square a;
    panel->OnRecord(a.frame);
    panel->OnView(a.frame);  // a redraw of the same view: nothing new
    EXPECT_EQ(panel->Statistics().Acquisitions(), 1);
    // Scrolled: the part on screen is another, and so are its statistics.
    a.frame.screen = {2100, 2900};
    panel->OnView(a.frame);
    EXPECT_EQ(panel->Statistics().Acquisitions(), 1);
    EXPECT_EQ(Cell("frequency", 0), "----");  // one falling edge only
    EXPECT_EQ(Cell("vpp", 0), "3.906V");
    // Cursors moved while the gate is the screen: nothing to do.
    a.frame.cursors = {0, 10};
    panel->OnView(a.frame);
    EXPECT_EQ(panel->Statistics().Acquisitions(), 1);
}

TEST_F(MeasurePanelTest, HiddenPanelMeasuresNothing) {
    panel->LoadChoices();
    Square a;
    panel->OnRecord(a.frame);
    EXPECT_EQ(panel->Statistics().Acquisitions(), 0);
    // Shown, it measures the record on show and the ones after it.
    panel->SetShown(true);
    EXPECT_EQ(panel->Statistics().Acquisitions(), 1);
    panel->OnRecord(a.frame);
    EXPECT_EQ(panel->Statistics().Acquisitions(), 2);
    panel->SetShown(false);
    panel->OnRecord(a.frame);
    EXPECT_EQ(panel->Statistics().Acquisitions(), 2);
    EXPECT_NE(FileText().find("visible=0\n"), std::string::npos);
    // Nothing to measure once the record is gone.
    panel->ForgetRecord();
    panel->SetShown(true);
    EXPECT_EQ(panel->Statistics().Acquisitions(), 0);
}

TEST_F(MeasurePanelTest, BadFileIsReportedAndKeptUntilAChange) {
    const std::string bad = "source=MATH\nshow=vpp,bogus\nvisible=maybe\n";
    files.files[kFile] = std::vector<std::uint8_t>(bad.begin(), bad.end());
    const std::vector<std::string> errors = panel->LoadChoices();
    EXPECT_EQ(errors, (std::vector<std::string>{"line 2: unknown measurement \"bogus\"",
                                                "line 3: visible is 0 or 1, not \"maybe\""}));
    EXPECT_EQ(panel->ComboBoxMeasureSrc->currentText(), "MATH");
    ASSERT_EQ(panel->TableMeasure->rowCount(), 1);
    EXPECT_EQ(FileText(), bad);
    panel->ComboBoxMeasureGate->setCurrentIndex(static_cast<int>(MeasureGate::Record));
    EXPECT_EQ(FileText(), "source=MATH\ngate=record\nshow=vpp\nvisible=0\n");

    // Without a file to keep the choices in, the panel still works.
    panel = std::make_unique<MeasurePanel>(MeasurePanelServices{});
    EXPECT_TRUE(panel->LoadChoices().empty());
    panel->SetShown(true);
    Square a;
    panel->OnRecord(a.frame);
    EXPECT_EQ(Cell("vpp", 0), "3.906V");
}

}  // namespace
}  // namespace lumatrace
