// The program's main window on the virtual instrument, under the offscreen
// platform: start-up, runs, a device fault and close, as the user meets them.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include "app/core/FormDrv.h"
#include "app/core/tests/FormMainFixture.h"

namespace lumatrace {
namespace {

// Loads the real libraries beside the test, refusing one file name.
class RefusingLoader final : public LibraryLoader {
  public:
    explicit RefusingLoader(std::string refused) : refused_(std::move(refused)) {}
    std::unique_ptr<LoadedLibrary> Load(const std::string& fileName, std::string& error) override {
        if (fileName == refused_) {
            error = "refused by the test";
            return nullptr;
        }
        return real_.Load(fileName, error);
    }

  private:
    std::string refused_;
    DynamicLibraryLoader real_;
};

TEST_F(FormMainTest, ComesUpStoppedWithTheWaveAreaSnappedToWholeDivisions) {
    Start("seed = 1");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(Stopped());
    EXPECT_TRUE(form->Startup().deviceReady);
    EXPECT_TRUE(form->A_Auto->isEnabled());
    EXPECT_FALSE(form->A_Stop->isEnabled());
    EXPECT_EQ(form->PnlStsExec->text(), "Stop");
    // The panel was replayed into the set-information column.
    EXPECT_EQ(form->LabelSIBw1->text(), " FULL");
    EXPECT_EQ(form->LabelSIEqu->text(), "    ON");
    EXPECT_EQ(form->LabelSIWf->text(), "    Sample");
    const ViewGeometry& g = form->View().Geometry();
    EXPECT_EQ(g.WaveWidth % 50, 0);
    EXPECT_EQ(g.WaveHeight % 40, 0);
    EXPECT_EQ(g.WaveWidth * 8, g.WaveHeight * 10);
    // The session's log window got the account of the start-up calls.
    EXPECT_FALSE(form->SessionWindow().MemoDLog->toPlainText().isEmpty());
    QTest::keyClick(form.get(), Qt::Key_F12, Qt::ShiftModifier);
    EXPECT_TRUE(form->SessionWindow().isVisible());
    form->SessionWindow().ButtonClr->click();
    EXPECT_TRUE(form->SessionWindow().MemoDLog->toPlainText().isEmpty());
}

// The session's log keeps the last lines of the account in order, whether
// they came while its window was hidden or shown.
TEST(SessionLog, KeepsTheLastLinesInOrderHiddenOrShown) {
    TFormDrv log;
    log.Write("Bind : OK");
    EXPECT_EQ(log.MemoDLog->toPlainText(), QStringLiteral("Bind : OK"));
    for (int i = 0; i < 6000; ++i) {
        log.Write("GetStatus " + std::to_string(i));
    }
    log.show();
    const QStringList lines = log.MemoDLog->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 5000);
    EXPECT_EQ(lines.front(), QStringLiteral("GetStatus 1000"));
    EXPECT_EQ(lines.back(), QStringLiteral("GetStatus 5999"));
    log.Write("StopSampling : OK");
    log.Write("GetData count 10000 : OK");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return log.MemoDLog->toPlainText().endsWith(
                QStringLiteral("StopSampling : OK\nGetData count 10000 : OK"));
        },
        kWaitMs));
}

TEST_F(FormMainTest, ResizingSnapsTheWaveAreaBackToWholeDivisions) {
    Start("seed = 10");
    const int before = form->View().Geometry().WaveWidth;
    // Mostly wider: the width decides, the height follows 10:8.
    form->resize(form->width() + 137, form->height() + 20);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->View().Geometry().WaveWidth != before; }, kWaitMs));
    const ViewGeometry& g = form->View().Geometry();
    EXPECT_EQ(g.WaveWidth, before + 150);
    EXPECT_EQ(g.WaveWidth * 8, g.WaveHeight * 10);
    EXPECT_EQ(form->WavePicture().width(), g.WaveWidth + 1);
    EXPECT_EQ(form->WavePicture().height(), g.WaveHeight + 1);
    // The window itself took the snapped size: nothing of the wave area is cut off.
    EXPECT_GE(form->PanelMain->width(), g.WaveWidth + 1 + 12 + 48 - 1);
    // The largest window still holds whole divisions and fits the work area.
    const int around = form->width() - form->PanelMain->width() + 48;
    const int maxWave = form->maximumWidth() - around;
    EXPECT_EQ((maxWave - 12) % 50, 0) << maxWave;
    EXPECT_LE(form->maximumWidth() + form->FrameExtent().width(), 1600);
    EXPECT_LE(form->maximumHeight() + form->FrameExtent().height(), 1000);
    // One of the two sides is within a division of the work area.
    EXPECT_TRUE(form->maximumWidth() + form->FrameExtent().width() > 1600 - 50 ||
                form->maximumHeight() + form->FrameExtent().height() > 1000 - 40);
}

TEST_F(FormMainTest, F5RunsLiveAndBothTracesAreDrawn) {
    Start("seed = 2");
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QTest::keyClick(form.get(), Qt::Key_F5);
    ASSERT_EQ(form->Settings().runMode, kRunAuto);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 3; }, kWaitMs));
    EXPECT_TRUE(form->Acquisition().dataValid);
    const int n = form->Settings().memoryPoints;
    int filled = 0;
    for (int i = 0; i < n; ++i) {
        filled += WaveBuffer[static_cast<std::size_t>(i)] != NoSample ? 1 : 0;
    }
    EXPECT_EQ(filled, n);
    const QImage wave = form->WavePicture().copy();
    EXPECT_GT(CountPixels(wave, form->Settings().DisplayColor(0)), wave.width() / 2);  // CH1
    EXPECT_GT(CountPixels(wave, form->Settings().DisplayColor(1)), wave.width() / 2);  // CH2
    EXPECT_EQ(form->PnlStsExec->text(), "Real");
    EXPECT_FALSE(form->A_Auto->isEnabled());
    EXPECT_TRUE(form->A_Stop->isEnabled());

    QTest::keyClick(form.get(), Qt::Key_F6);
    EXPECT_TRUE(Stopped());
    EXPECT_EQ(form->PnlStsExec->text(), "Stop");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, PanelChangesWhileRunningReachTheInstrument) {
    Start("seed = 7");
    form->A_Auto->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 1; }, kWaitMs));

    Pick(form->ComboBoxTd, 10);  // 2us/div: 10 ns sampling, 2,000 samples across
    EXPECT_EQ(form->Settings().sampleIntervalNs, 10);
    EXPECT_EQ(form->Settings().runMode, kRunAuto);
    const int before = Passes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= before + 2; }, kWaitMs));
    EXPECT_EQ(form->ScreenSamples(), 2000);
    EXPECT_EQ(form->LabelSISmpTm->text(), "    10ns");

    Pick(form->ComboBoxCup2, kCouplingGnd);  // CH2 to ground: a flat trace
    const int grounded = Passes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= grounded + 2; }, kWaitMs));
    const int n = form->Settings().memoryPoints;
    int ch2Levels = 0;
    int ch1Levels = 0;
    for (int i = 1; i < n; ++i) {
        const SampleWord a = WaveBuffer[static_cast<std::size_t>(i - 1)];
        const SampleWord b = WaveBuffer[static_cast<std::size_t>(i)];
        ch2Levels += ((a >> 16) & kCodeMask) != ((b >> 16) & kCodeMask) ? 1 : 0;
        ch1Levels += (a & kCodeMask) != (b & kCodeMask) ? 1 : 0;
    }
    EXPECT_EQ(ch2Levels, 0);
    EXPECT_GT(ch1Levels, 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, DelayEditShowsTheDelayInAFittingUnit) {
    Start("seed = 11");
    Pick(form->ComboBoxTd, 10);  // 10 ns sampling
    form->CheckBoxDelay->setChecked(true);
    ASSERT_TRUE(form->EditDelay->isEnabled());
    form->EditDelay->setFocus();
    form->EditDelay->selectAll();
    QTest::keyClicks(form->EditDelay, "5ms");
    QTest::keyClick(form->EditDelay, Qt::Key_Return);
    EXPECT_EQ(form->Settings().trigDelay, 500000);
    EXPECT_EQ(form->LabelDelayUt->text(), "ms");
    EXPECT_EQ(form->EditDelay->text(), "5.000000");
    // A bare number is read in the unit shown, and a small one brings the unit down again.
    form->EditDelay->selectAll();
    QTest::keyClicks(form->EditDelay, "0.00025");
    QTest::keyClick(form->EditDelay, Qt::Key_Return);
    EXPECT_EQ(form->Settings().trigDelay, 25);
    EXPECT_EQ(form->LabelDelayUt->text(), "ns");
    EXPECT_EQ(form->EditDelay->text(), "250");
}

TEST_F(FormMainTest, MathAndSpectrumAreDrawnLive) {
    Start("seed = 12");
    form->MenuItem("M_Math")->trigger();
    EXPECT_TRUE(form->Settings().mathOn);
    form->A_Auto->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 3; }, kWaitMs));
    const QImage math = form->WavePicture().copy();
    EXPECT_GT(CountPixels(math, form->Settings().DisplayColor(2)), math.width() / 2);
    EXPECT_EQ(form->LblSIMath->text(), " MATH");

    // The spectrum takes the third trace's place and comes to the front.
    form->A_Fft->trigger();
    const int before = Passes();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= before + 3; }, kWaitMs));
    const QImage spectrum = form->WavePicture().copy();
    EXPECT_GT(CountPixels(spectrum, form->Settings().DisplayColor(3)), spectrum.width() / 2);
    EXPECT_EQ(CountPixels(spectrum, form->Settings().DisplayColor(2)), 0);
    EXPECT_EQ(form->LblSIMath->text(), " FFT");
    EXPECT_EQ(form->LblSIDt->text(), " Time ( FFT )");
    form->A_Stop->trigger();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, SlowTimeBaseRollsTheRecordIn) {
    Start("seed = 8; CH2 = sawtooth(freq=1, amp=0.1)");
    ASSERT_TRUE(form->CheckBoxRoll->isChecked());
    Pick(form->ComboBoxTd, 25);  // 200ms/div
    ASSERT_EQ(form->Settings().rollActive, 1);
    form->A_Auto->trigger();
    EXPECT_EQ(form->A_Auto->iconText(), "Run");
    EXPECT_EQ(form->PnlStsExec->text(), "Roll");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Acquisition().dataValid; }, kWaitMs));
    const int n = form->Settings().memoryPoints;
    // New samples come in at the end of the record; the start is still empty.
    EXPECT_NE(WaveBuffer[static_cast<std::size_t>(n - 1)], NoSample);
    EXPECT_EQ(WaveBuffer[0], NoSample);
    form->A_Stop->trigger();
    EXPECT_TRUE(Stopped());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, FastTimeBaseSamplesInEquivalentTime) {
    Start("seed = 9; CH1 = sine(freq=50MHz, amp=0.15)");
    ASSERT_TRUE(form->CheckBoxEqu->isChecked());
    Pick(form->ComboBoxTd, 2);  // 5ns/div
    ASSERT_EQ(form->Settings().equivalentActive, 1);
    form->A_Normal->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 20; }, kWaitMs));
    EXPECT_EQ(form->PnlStsExec->text(), "Equiv");
    EXPECT_EQ(form->LabelSISmpTm->text(), "    100ps");
    EXPECT_EQ(form->ScreenSamples(), 500);  // 5 ns per division at 100 ps
    form->A_Stop->trigger();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, FastTimeBaseShowsTheTriggerStatusWhileRunning) {
    // Records of 100 us come back far more often than the status timer ticks.
    Start("seed = 13; CH1 = sine(freq=1MHz, amp=0.15)");
    Pick(form->ComboBoxTd, 10);  // 2us/div: 10 ns sampling, real time
    ASSERT_EQ(form->Settings().equivalentActive, 0);
    form->A_Auto->trigger();
    // Only the status timer sets the start flag again after a genuine trigger.
    form->Session().startFlag = 0;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 5; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form->PnlStsTrig->text() == QStringLiteral("Trig'd"); }, kWaitMs));
    EXPECT_EQ(form->Session().startFlag, 1u);
    form->A_Stop->trigger();
    EXPECT_TRUE(messages.shown.empty());
}

// Records that come faster than the display's frames are each taken into the
// average, but share a picture. The window's clock stands still, so every
// record after the run's first redraw falls within one frame; the records are
// taken in here, without the event loop, so that the frame's end cannot come.
TEST_F(FormMainTest, RecordsWithinOneFrameAreEachAveragedAndDrawnOnce) {
    testing::ManualClock still;
    clock = &still;
    Start("seed = 5");
    Pick(form->ComboBoxWaveForm, 1);  // Average
    Pick(form->ComboBoxNumber, form->ComboBoxNumber->findText("512"));
    ASSERT_EQ(form->Settings().acquireCount, 512);
    form->A_Auto->trigger();
    const AverageHistory& history = form->Processing().History();
    ASSERT_TRUE(history.HasData());
    ASSERT_EQ(history.averageSlot, 1);
    const std::uint64_t frames = form->Counts().frames;

    constexpr int kRecords = 6;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWaitMs);
    while (Passes() < kRecords && std::chrono::steady_clock::now() < until) {
        form->Acquisition().HandleDeviceMessage(kMsgDataArrival, kDeviceMessageLParam);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(Passes(), kRecords);
    EXPECT_EQ(history.averageSlot, 1 + kRecords);  // every record went into the average
    EXPECT_EQ(form->Counts().records, static_cast<std::uint64_t>(kRecords));
    EXPECT_EQ(form->Counts().frames, frames);  // none drawn yet: all wait for the frame's end

    // The frame's end: one picture shows the last record, averaged once only.
    form->DrawPendingFrame();
    EXPECT_EQ(form->Counts().frames, frames + 1);
    EXPECT_EQ(history.averageSlot, 1 + kRecords);
    form->DrawPendingFrame();  // nothing is due any more
    EXPECT_EQ(form->Counts().frames, frames + 1);
    const QImage wave = form->WavePicture().copy();
    EXPECT_GT(CountPixels(wave, form->Settings().DisplayColor(0)), wave.width() / 2);  // CH1
    form->A_Stop->trigger();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, SingleStopsAfterItsRecord) {
    Start("seed = 3");
    form->A_Single->trigger();
    EXPECT_EQ(form->Settings().runMode, kRunSingle);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Stopped(); }, kWaitMs));
    EXPECT_EQ(Passes(), 1);
    EXPECT_TRUE(form->Acquisition().dataValid);
    EXPECT_NE(WaveBuffer[0], NoSample);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, DeviceFaultMidRunEndsInStopWithItsMessage) {
    Start("seed = 4; fail_acquisition = 3 6");
    form->A_Auto->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Stopped(); }, kWaitMs));
    EXPECT_EQ(Passes(), 2);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
    EXPECT_EQ(messages.shown[0].title, "Lumatrace");
    EXPECT_EQ(messages.shown[0].text, "[ データ取得エラー ]\r\nサンプリングを停止します。");
    EXPECT_EQ(form->PnlStsError->text(), "ZEP9100_ERR_DEVICE (Minor Error code: 6)");
    EXPECT_EQ(form->PnlStsExec->text(), "Stop");
    EXPECT_TRUE(form->A_Auto->isEnabled());
}

TEST_F(FormMainTest, CloseWhileRunningStopsThenWritesTheParameterFile) {
    Start("seed = 5");
    ASSERT_FALSE(std::filesystem::exists(ParamFile()));
    form->A_Normal->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Passes() >= 1; }, kWaitMs));
    form->close();
    EXPECT_TRUE(Stopped());
    ASSERT_TRUE(std::filesystem::exists(ParamFile()));
    EXPECT_GT(std::filesystem::file_size(ParamFile()), 0u);
    EXPECT_FALSE(form->Session().Bound());
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainTest, MissingLibraryEndsStartUpWithItsMessage) {
    for (const char* file : {"libzep9100.so", "libzep9100fft.so"}) {
        messages.shown.clear();
        RefusingLoader loader(file);
        Start("seed = 6", &loader);
        ASSERT_TRUE(form->StartupFailed()) << file;
        ASSERT_EQ(messages.shown.size(), 1u) << file;
        EXPECT_EQ(messages.shown[0].title, "Lumatrace");
        EXPECT_EQ(messages.shown[0].text, std::string(file) + " のロードに失敗しました。");
        EXPECT_FALSE(form->Session().Bound());
        form.reset();
        std::filesystem::remove_all(appData);
    }
}

TEST_F(FormMainTest, NoInstrumentLeavesTheRunActionsDisabled) {
    Start("instruments = 0");
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text.rfind("使用可能なデバイスがありません。\r\n[ ", 0), 0u);
    EXPECT_FALSE(form->A_Auto->isEnabled());
    EXPECT_FALSE(form->A_Single->isEnabled());
    EXPECT_FALSE(form->A_Normal->isEnabled());
    EXPECT_FALSE(form->A_Stop->isEnabled());
}

}  // namespace
}  // namespace lumatrace
