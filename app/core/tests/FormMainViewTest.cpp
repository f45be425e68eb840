// The waveform view of the main window as the user handles it: up-down
// buttons held down, markers and cursor lines dragged with the mouse, the
// readouts that follow, and the scroll bar over a long record, on the virtual
// instrument under the offscreen platform.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLayout>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/core/tests/FormMainFixture.h"
#include "app/display/SpectrumScales.h"
#include "app/display/testing/ViewInvariants.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {
namespace {

struct FormMainViewTest : FormMainTest {
    InstrumentSettings& S() { return form->Settings(); }
    const MarkerPositions& Pos() { return form->Markers().Positions(); }

    // Presses at `from` on the box, drags to `to` and lets go, as a hand
    // would: the pointer comes to the item first.
    void Drag(QWidget* box, QPoint from, QPoint to) {
        QTest::mouseMove(box, from);
        QTest::mousePress(box, Qt::LeftButton, {}, from);
        QTest::mouseMove(box, to);
        QTest::mouseRelease(box, Qt::LeftButton, {}, to);
    }

    // Stopped with a 1,000,000-point record of which 10,000 samples span the 450-pixel
    // screen (22.2 samples a pixel).
    void StopWithALongRecord(int seed) {
        Start(("seed = " + std::to_string(seed) + "; large_memory = yes").c_str());
        const int extra = form->View().Geometry().WaveWidth - 450;
        form->resize(form->width() - extra, form->height() - extra * 8 / 10);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return form->View().Geometry().WaveWidth == 450; }, kWaitMs));
        int td10us = -1;
        for (int i = 0; i < form->ComboBoxTd->count(); ++i) {
            if (TimePerDivNs(i) == 10000) {
                td10us = i;
            }
        }
        ASSERT_GE(td10us, 0);
        Pick(form->ComboBoxMemSize, form->ComboBoxMemSize->count() - 1);
        Pick(form->ComboBoxTd, td10us);
        ASSERT_EQ(S().memoryPoints, 1000000);
        form->A_Single->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return S().runMode == kRunStop; }, kWaitMs));
        ASSERT_TRUE(form->Acquisition().dataValid);
        ASSERT_EQ(form->ScreenSamples(), 10000);
    }

    testing::ScrollBarState Bar() const {
        const QScrollBar* bar = form->ScrollBar1;
        return {bar->value(), bar->maximum(), bar->pageStep(), bar->singleStep(), bar->isEnabled()};
    }
    std::string BarDisagrees() {
        return testing::CheckScrollBar(form->CurrentViewSettings(), form->View(), Bar());
    }
    std::string EndOutOfReach() {
        return testing::CheckEndReachable(form->CurrentViewSettings(), form->View(), Bar());
    }
    int ViewStart() { return form->View().Horizontal().ViewStart; }
    // The last sample of the record is on screen, to within the pixel the view stops at.
    bool ShowsTheEnd() {
        const int lastStart = S().memoryPoints - form->ScreenSamples() - 1;
        const double pixels = (lastStart - ViewStart()) *
                              static_cast<double>(form->View().Geometry().WaveWidth) /
                              form->ScreenSamples();
        return ViewStart() <= lastStart && pixels < 1.0;
    }
    void CtrlKey(Qt::Key key) { QTest::keyClick(form->ScrollBar1, key, Qt::ControlModifier); }

    // Closes the program (which writes its parameter file) and starts it again on the same
    // application-data folder.
    void Restart(const char* configuration) {
        form->close();
        form.reset();
        ::setenv("APPDATA", appData.c_str(), 1);
        ::setenv("ZEP9100_VIRTUAL", configuration, 1);
        MainServices services;
        services.form.messages = &messages;
        services.fileDialogs = &dialogs;
        services.colorDialogs = &colors;
        services.splashMs = 0;
        services.form.workArea = [] { return WorkArea{0, 0, 1600, 1000}; };
        form = std::make_unique<TFormMain>(std::move(services));
        ASSERT_FALSE(form->StartupFailed());
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return form->FirstLayoutDone(); }, kWaitMs));
    }
    int TimeDivIndex(std::int64_t ns) {
        for (int i = 0; i < form->ComboBoxTd->count(); ++i) {
            if (TimePerDivNs(i) == ns) {
                return i;
            }
        }
        return -1;
    }
};

// The upper button of a held up-down, clicked by its auto-repeat.
void Hold(UpDown* upDown, int clicks) {
    for (int i = 0; i < clicks; ++i) {
        upDown->step(UpDownButton::Up);
    }
}

void Release(UpDown* upDown) {
    QTest::mouseRelease(upDown->button(UpDownButton::Up), Qt::LeftButton);
}

TEST_F(FormMainViewTest, AHeldUpDownAcceleratesStacksItsTraceAndStartsOverOnRelease) {
    Start("seed = 1");
    ASSERT_EQ(S().tracePosition[kTraceCh1], 250);
    ASSERT_EQ(form->ComboBoxTrigSrc->currentIndex(), 0);  // CH1 triggers

    std::vector<int> moves;
    int last = S().tracePosition[kTraceCh1];
    for (int i = 0; i < 6; ++i) {
        Hold(form->UpDownCh1, 1);
        moves.push_back(last - S().tracePosition[kTraceCh1]);
        last = S().tracePosition[kTraceCh1];
    }
    EXPECT_EQ(moves, (std::vector<int>{1, 2, 3, 4, 5, 5}));
    // The level follows its source, and the readouts show both.
    EXPECT_EQ(S().tracePosition[kTraceCh1], 230);
    EXPECT_EQ(S().trigLevel, 230);
    Release(form->UpDownCh1);
    Hold(form->UpDownCh1, 1);
    EXPECT_EQ(S().tracePosition[kTraceCh1], 229);
    Release(form->UpDownCh1);

    // A click on the CH2 buttons brings CH2 in front of CH1; switching it
    // off sends it to the back.
    Hold(form->UpDownCh2, 1);
    Release(form->UpDownCh2);
    EXPECT_EQ(form->CurrentViewSettings().traceOrder[kTraceCh2], 1);
    EXPECT_EQ(form->CurrentViewSettings().traceOrder[kTraceCh1], 2);
    form->SpeedButtonCh2->click();
    EXPECT_EQ(S().channelOn[1], 0);
    EXPECT_EQ(form->CurrentViewSettings().traceOrder[kTraceCh2], 3);
    EXPECT_EQ(form->CurrentViewSettings().traceOrder[kTraceCh1], 1);
    EXPECT_FALSE(form->PanelSICh2->isVisibleTo(form.get()));
    EXPECT_TRUE(form->PanelSICh1->isVisibleTo(form.get()));
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, MarkersAreDrawnAndDragsStopAtTheScreenAndWholeHundreds) {
    Start("seed = 2");
    // CH2 out of the way so that only CH1's marker sits at its height.
    for (int i = 0; i < 10; ++i) {
        form->UpDownCh2->step(UpDownButton::Down);
    }
    Release(form->UpDownCh2);
    QApplication::processEvents();

    const int w = form->VoltPicture().width();
    int y = Pos().markerY[kTraceCh1] - Pos().stripOffset;
    const std::uint32_t ch1 = S().DisplayColor(0);
    const QRgb want = qRgb(static_cast<int>(ch1 & 0xFF), static_cast<int>((ch1 >> 8) & 0xFF),
                           static_cast<int>((ch1 >> 16) & 0xFF));
    EXPECT_EQ(form->VoltPicture().pixel(w - 4, y) & 0xFFFFFF, want & 0xFFFFFF);
    EXPECT_NE(form->VoltPicture().pixel(w - 4, y - 12) & 0xFFFFFF, want & 0xFFFFFF);

    // Over the marker the pointer takes the program's vertical move cursor.
    QTest::mouseMove(form->PaintBoxVolt, {10, y});
    EXPECT_EQ(form->PaintBoxVolt->cursor().shape(), Qt::BitmapCursor);
    // Dragged far above the screen, the marker stops at its top edge.
    Drag(form->PaintBoxVolt, {10, y}, {10, -300});
    EXPECT_EQ(S().tracePosition[kTraceCh1], 50);
    EXPECT_EQ(S().trigLevel, 50);
    // The top edge itself is off the screen: the marker became the small
    // triangle at the top of the strip, and its old place is clear.
    const int divHeight = form->View().Geometry().DivHeight;
    EXPECT_EQ(Pos().markerY[kTraceCh1], divHeight - 3);
    int top = 0;
    for (int row = 0; row < 8; ++row) {
        for (int x = 0; x < w; ++x) {
            top += (form->VoltPicture().pixel(x, row) & 0xFFFFFF) == (want & 0xFFFFFF) ? 1 : 0;
        }
    }
    EXPECT_GT(top, 0);
    EXPECT_NE(form->VoltPicture().pixel(w - 4, y) & 0xFFFFFF, want & 0xFFFFFF);
    // The up-down still takes it beyond.
    form->UpDownCh1->step(UpDownButton::Up);
    Release(form->UpDownCh1);
    EXPECT_EQ(S().tracePosition[kTraceCh1], 49);
    QTest::mouseMove(form->PaintBoxVolt, {10, 150});
    QTest::mouseMove(form.get(), {5, 5});

    // The trigger position marker: far left gives the minimum, 10.
    const int trigY = 6;
    const QPoint at(Pos().trigPosMarkerX, trigY);
    Drag(form->PaintBoxTrigP, at, {-500, trigY});
    EXPECT_EQ(S().trigPosition, 10);
    EXPECT_EQ(form->LabelSITrigP->text(), "    0.1%");
    // Anywhere else it lands on whole hundreds of samples.
    for (const int dx : {37, 123, 281}) {
        const QPoint from(Pos().trigPosMarkerX, trigY);
        Drag(form->PaintBoxTrigP, from, from + QPoint(dx, 0));
        EXPECT_GT(S().trigPosition, 10) << dx;
        EXPECT_EQ(S().trigPosition % 100, 0) << dx;
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, DraggingATimeCursorUpdatesItsReadout) {
    Start("seed = 3");
    const ViewGeometry& g = form->View().Geometry();
    ASSERT_EQ(S().cursorT1, 150);
    ASSERT_EQ(S().cursorT2, 350);
    ASSERT_EQ(S().timePerDiv, 200000.0L);
    ASSERT_EQ(S().memoryPoints, 10000);
    const int midY = g.WaveHeight / 2;  // clear of both voltage cursors
    const QPoint line(Pos().cursorTX[0], midY);
    QTest::mouseMove(form->PaintBoxWave, line);
    EXPECT_EQ(form->PaintBoxWave->cursor().shape(), Qt::SplitHCursor);
    EXPECT_EQ(form->PaintBoxWave->toolTip(), form->UpDownDt->toolTip());

    // Cursor 1 to 250: two divisions from cursor 2.
    const int x250 = static_cast<int>(std::lround(250 * g.Kx));
    Drag(form->PaintBoxWave, line, {x250, midY});
    EXPECT_EQ(S().cursorT1, 250);
    EXPECT_EQ(Pos().cursorTX[0], x250);
    EXPECT_TRUE(form->PanelSIDt->isVisibleTo(form.get()));
    EXPECT_EQ(form->LblSIDt->text(), " Time");
    const QString dt = form->LabelSIDt2->text();
    EXPECT_TRUE(dt.startsWith("400.0000us\r\n(2.500000KHz)\r\n")) << dt.toStdString();
    EXPECT_EQ(form->CursorTText().rfind("  Δ: 400.0000us (2.500000KHz)  ＠: ", 0), 0u)
        << form->CursorTText();

    // Pressing on cursor 2 selects it through the pair's toggle.
    const QPoint second(Pos().cursorTX[1], midY);
    Drag(form->PaintBoxWave, second, second - QPoint(static_cast<int>(std::lround(50 * g.Kx)), 0));
    EXPECT_EQ(S().cursorTSelected, 2);
    EXPECT_EQ(S().cursorT2, 300);
    EXPECT_TRUE(form->LabelSIDt2->text().startsWith("200.0000us\r\n(5.000000KHz)\r\n"));
    EXPECT_TRUE(form->CurrentViewSettings().lastCursorPairT);
    // Switched off, the pair's readout goes.
    form->SpeedButtonDt->click();
    EXPECT_EQ(S().cursorTOn, 0);
    EXPECT_FALSE(form->PanelSIDt->isVisibleTo(form.get()));
    EXPECT_TRUE(messages.shown.empty());
}

// The set-information column is a fixed 90 pixels wide: every line of every
// label in it must show whole, also for the longest readouts (six to eight
// decimals with a 1MPoint record), in the fonts the program is set up with.
TEST_F(FormMainViewTest, SetInformationLabelsShowTheirWholeTexts) {
    Start("seed = 14");
    const auto expectWhole = [&](const char* what) {
        form->RedrawAll();
        form->PanelSetInfo->layout()->activate();
        QApplication::processEvents();
        int lines = 0;
        for (QLabel* label : form->PanelSetInfo->findChildren<QLabel*>()) {
            if (!label->isVisibleTo(form.get())) {
                continue;
            }
            const QFontMetrics metrics = label->fontMetrics();
            const int room = label->contentsRect().width();
            for (const QString& line : label->text().split(QStringLiteral("\r\n"))) {
                ++lines;
                EXPECT_LE(metrics.horizontalAdvance(line), room)
                    << what << ": " << label->objectName().toStdString() << " \""
                    << line.toStdString() << "\" in " << metrics.horizontalAdvance(line) << " of "
                    << room << " pixels, " << label->font().family().toStdString() << " "
                    << label->font().pixelSize() << " px";
            }
        }
        EXPECT_GT(lines, 20) << what;
    };
    const auto tdIndex = [&](const char* item) {
        const int i = form->ComboBoxTd->findText(QString::fromLatin1(item));
        EXPECT_GE(i, 0) << item;
        return i;
    };
    form->MenuItem("M_Math")->trigger();
    ASSERT_EQ(S().cursorTOn, 1);
    ASSERT_EQ(S().cursorVOn, 1);
    expectWhole("defaults: 800.0000us (1.250000KHz)");

    const int oneMega = form->ComboBoxMemSize->count() - 1;
    Pick(form->ComboBoxMemSize, oneMega);
    ASSERT_EQ(S().memoryPoints, 1000000);
    Pick(form->ComboBoxTd, tdIndex("2us"));
    EXPECT_TRUE(form->LabelSIDt2->text().startsWith("8.00000000us\r\n(125.000000KHz)\r\n"))
        << form->LabelSIDt2->text().toStdString();
    expectWhole("1MPoint at 2us/div: (125.000000KHz)");
    S().cursorT1 = 1;
    S().cursorT2 = 499;
    expectWhole("1MPoint at 2us/div, cursors at both ends");

    Pick(form->ComboBoxTd, form->ComboBoxTd->count() - 1);  // the slowest time base
    S().cursorT1 = 150;
    S().cursorT2 = 350;
    EXPECT_TRUE(form->LabelSIDt2->text().contains("uHz)"))
        << form->LabelSIDt2->text().toStdString();
    expectWhole("1MPoint at the slowest time base: seconds and microhertz");

    // The largest voltages: x100 probes at the coarsest scale, cursors at the edges.
    for (QComboBox* probe : {form->ComboBoxPb1, form->ComboBoxPb2}) {
        Pick(probe, probe->count() - 1);
    }
    for (QComboBox* scale : {form->ComboBoxVd1, form->ComboBoxVd2}) {
        Pick(scale, scale->count() - 1);
    }
    S().cursorV1 = 1;
    S().cursorV2 = 399;
    S().cursorVSelected = 2;
    expectWhole("x100 probes at the coarsest scale");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, MathStaysOnShowAfterTheSpectrumComesAndGoes) {
    Start("seed = 5");
    S().tracePosition[kTraceMath] = 150;  // its marker clear of the channels' markers
    form->MenuItem("M_Math")->trigger();
    ASSERT_TRUE(S().mathOn);
    const std::uint32_t mathColor = S().DisplayColor(2);
    ASSERT_GT(CountPixels(form->VoltPicture(), mathColor), 0);  // its position marker

    form->A_Fft->trigger();
    EXPECT_EQ(testing::CheckTraceLayers(form->CurrentViewSettings()), "");
    form->A_Fft->trigger();
    ASSERT_FALSE(S().fftOn);
    EXPECT_EQ(testing::CheckTraceLayers(form->CurrentViewSettings()), "");
    EXPECT_GT(CountPixels(form->VoltPicture(), mathColor), 0);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, ALongRecordScrollsByWholePixelsWithCtrlKeys) {
    Start("seed = 4; large_memory = yes");
    // The standard wave area, 450 pixels wide.
    const int extra = form->View().Geometry().WaveWidth - 450;
    form->resize(form->width() - extra, form->height() - extra * 8 / 10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->View().Geometry().WaveWidth == 450; }, kWaitMs));
    int td10us = -1;
    for (int i = 0; i < form->ComboBoxTd->count(); ++i) {
        if (TimePerDivNs(i) == 10000) {
            td10us = i;
        }
    }
    ASSERT_GE(td10us, 0);
    const int oneMega = form->ComboBoxMemSize->count() - 1;
    form->ComboBoxMemSize->setCurrentIndex(oneMega);
    emit form->ComboBoxMemSize->activated(oneMega);
    form->ComboBoxTd->setCurrentIndex(td10us);
    emit form->ComboBoxTd->activated(td10us);
    ASSERT_EQ(S().memoryPoints, 1000000);
    form->A_Single->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return S().runMode == kRunStop; }, kWaitMs));
    ASSERT_TRUE(form->Acquisition().dataValid);
    ASSERT_EQ(form->ScreenSamples(), 10000);

    const ScrollGeometry& bar = form->ScrollBarGeometry();
    EXPECT_EQ(bar.smallChange, 22);  // one pixel
    EXPECT_EQ(bar.pageSize, 10000);
    EXPECT_EQ(bar.largeChange, 5000);
    EXPECT_TRUE(form->ScrollBar1->isEnabled());
    EXPECT_EQ(form->ScrollBar1->singleStep(), 22);
    EXPECT_EQ(form->ScrollBar1->maximum(), 1000000 - 10000);

    // Ctrl+Right: one step of 22 samples is 0.99 pixel, no move; the second
    // passes a whole pixel, and the view moves to the sample where that pixel
    // is reached (22.2 samples a pixel: the 23rd).
    form->ScrollBar1->setFocus();
    const int start = form->View().Horizontal().ViewStart;
    const int position = form->ScrollBar1->value();
    QTest::keyClick(form->ScrollBar1, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(form->ScrollBar1->value(), position + 22);
    EXPECT_EQ(form->View().Horizontal().ViewStart, start);
    QTest::keyClick(form->ScrollBar1, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(form->ScrollBar1->value(), position + 44);
    EXPECT_EQ(form->View().Horizontal().ViewStart, start + 23);
    // Ctrl+Home: back to the start of the record.
    QTest::keyClick(form->ScrollBar1, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(form->ScrollBar1->value(), 0);
    EXPECT_EQ(form->View().Horizontal().ViewStart, 0);
    // A page click on the bar moves by the large change, not by the page.
    form->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(form->ScrollBar1->value(), 5000);
    EXPECT_EQ(form->View().Horizontal().ViewStart, 5000);
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, EveryWayToTheEndOfTheBarShowsTheEndOfTheRecord) {
    StopWithALongRecord(6);
    form->ScrollBar1->setFocus();
    ASSERT_EQ(BarDisagrees(), "");
    EXPECT_EQ(EndOutOfReach(), "");

    CtrlKey(Qt::Key_End);
    EXPECT_TRUE(ShowsTheEnd()) << "Ctrl+End: ViewStart " << ViewStart();
    EXPECT_EQ(BarDisagrees(), "");
    CtrlKey(Qt::Key_Home);
    EXPECT_EQ(ViewStart(), 0);

    for (int i = 0; i < 400 && form->ScrollBar1->value() < form->ScrollBar1->maximum() - 5000;
         ++i) {
        CtrlKey(Qt::Key_PageDown);
    }
    CtrlKey(Qt::Key_PageDown);  // the last one
    EXPECT_TRUE(ShowsTheEnd()) << "Ctrl+PageDown: ViewStart " << ViewStart();
    EXPECT_EQ(BarDisagrees(), "");
    CtrlKey(Qt::Key_Home);

    // Clicks in the trough, a large change each, until the bar is at its end.
    for (int i = 0; i < 200; ++i) {
        form->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    }
    EXPECT_TRUE(ShowsTheEnd()) << "trough: ViewStart " << ViewStart();
    EXPECT_EQ(BarDisagrees(), "");
    CtrlKey(Qt::Key_Home);

    // The thumb dragged to the end and let go.
    form->ScrollBar1->setSliderDown(true);
    form->ScrollBar1->setSliderPosition(form->ScrollBar1->maximum());
    form->ScrollBar1->setSliderDown(false);
    EXPECT_TRUE(ShowsTheEnd()) << "thumb: ViewStart " << ViewStart();
    EXPECT_EQ(BarDisagrees(), "");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, TheBarFollowsTheSpectrumToTheFrontAndBack) {
    StopWithALongRecord(7);
    form->ScrollBar1->setFocus();
    for (int i = 0; i < 10; ++i) {
        CtrlKey(Qt::Key_PageDown);
    }
    ASSERT_EQ(ViewStart(), 50000);

    form->A_Fft->trigger();
    ASSERT_TRUE(form->CurrentViewSettings().SpectrumInFront());
    const SpectrumWindow& sp = form->View().Spectrum();
    EXPECT_EQ(BarDisagrees(), "");
    EXPECT_EQ(EndOutOfReach(), "");
    // The first Ctrl+Right moves the spectrum by a pixel at most.
    const int centre = sp.SpecCentreBin();
    const int binsPerPixel = std::max(1, sp.BinsPerScreen / form->View().Geometry().WaveWidth + 1);
    CtrlKey(Qt::Key_Right);
    EXPECT_EQ(sp.SpecLeftBlank, 0);
    EXPECT_LE(std::abs(sp.SpecCentreBin() - centre), binsPerPixel)
        << "from bin " << centre << " to " << sp.SpecCentreBin();
    EXPECT_EQ(BarDisagrees(), "");
    // Ctrl+End: the last bin in the centre, to within the pixel the view stops at.
    CtrlKey(Qt::Key_End);
    EXPECT_LE(sp.FftBins - 1 - sp.SpecCentreBin(), binsPerPixel) << sp.SpecCentreBin();
    EXPECT_EQ(BarDisagrees(), "");

    // Back to the record: the bar stands where the record's view does.
    form->A_Fft->trigger();
    EXPECT_EQ(ViewStart(), 50000);
    EXPECT_EQ(BarDisagrees(), "");
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, TheFirstLayoutCentresTheTriggerPoint) {
    Start("seed = 8");
    Pick(form->ComboBoxMemSize, 1);  // 100,000 points
    ASSERT_GE(TimeDivIndex(10000), 0);
    Pick(form->ComboBoxTd, TimeDivIndex(10000));  // 10,000 samples across the screen
    S().trigPosition = 50000;
    Restart("seed = 8");
    ASSERT_EQ(S().memoryPoints, 100000);
    ASSERT_EQ(S().trigPosition, 50000);
    ASSERT_EQ(form->ScreenSamples(), 10000);

    EXPECT_EQ(ViewStart(), 45000);
    EXPECT_EQ(BarDisagrees(), "");
    EXPECT_EQ(form->ScrollBar1->value(), 450000);
    EXPECT_TRUE(form->ScrollBar1->isEnabled());
    // The trigger point in the middle of the 450-pixel wide screen.
    const int w = form->View().Geometry().WaveWidth;
    EXPECT_NEAR(form->View().Horizontal().TrigPointX, w / 2, 1);
    EXPECT_EQ(testing::CheckTriggerMarker(form->CurrentViewSettings(), form->View()), "");
    EXPECT_TRUE(messages.shown.empty());
}

// Opening a set holds the view off the trigger marker of the record shown before; the next
// time/div change or run action lets it go.
TEST_F(FormMainViewTest, ATimeDivChangeOrARunActionLetsTheOpenedSetsViewGo) {
    Start("seed = 9");
    form->A_Single->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Stopped() && form->Acquisition().dataValid; }, kWaitMs));
    dialogs.answers.push_back(FileDialogResult{(appData / "set.zep").string(), 1});
    form->A_Save->trigger();
    ASSERT_TRUE(std::filesystem::exists(appData / "set.zep"));
    const HorizontalView& h = form->View().Horizontal();

    const auto open = [&] {
        dialogs.answers.push_back(FileDialogResult{(appData / "set.zep").string(), 1});
        form->A_Open->trigger();
        ASSERT_TRUE(messages.shown.empty());
        ASSERT_TRUE(h.viewAnchorHold);
    };
    open();
    Pick(form->ComboBoxTd, form->ComboBoxTd->currentIndex() + 1);
    EXPECT_FALSE(h.viewAnchorHold) << "time/div change";

    open();
    form->A_Auto->trigger();
    EXPECT_FALSE(h.viewAnchorHold) << "Auto";
    form->A_Stop->trigger();

    open();
    form->A_Single->trigger();
    EXPECT_FALSE(h.viewAnchorHold) << "Single";
    form->A_Stop->trigger();
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, TheFrequencyScaleFollowsTheTimeBaseAtOnceAndKeepsTheCentre) {
    Start("seed = 10");
    form->A_Fft->trigger();
    ASSERT_TRUE(form->CurrentViewSettings().SpectrumInFront());
    const auto items = [&] {
        std::vector<std::string> texts;
        for (int i = 0; i < form->ComboBoxFftHScale->count(); ++i) {
            texts.push_back(form->ComboBoxFftHScale->itemText(i).toStdString());
        }
        return texts;
    };
    const auto listFor = [&] {
        const ItemList& list = form->Lists().FftHScale(S().memorySizeIndex,
                                                       FftHScaleClass(S().sampleIntervalNs, false));
        return std::vector<std::string>(list.begin(), list.end());
    };
    ASSERT_EQ(items(), listFor());

    // A time base of another sampling interval, stopped: no record comes, the list follows.
    const std::vector<std::string> before = items();
    const int interval = S().sampleIntervalNs;
    Pick(form->ComboBoxTd, form->ComboBoxTd->currentIndex() + 1);
    ASSERT_NE(S().sampleIntervalNs, interval);
    EXPECT_EQ(items(), listFor());
    EXPECT_NE(items(), before);
    EXPECT_EQ(BarDisagrees(), "");

    // Into the spectrum, then a wider and a narrower scale: the centre stays.
    const SpectrumWindow& sp = form->View().Spectrum();
    form->ScrollBar1->setFocus();
    Pick(form->ComboBoxFftHScale, 4);
    for (int i = 0; i < 3; ++i) {
        CtrlKey(Qt::Key_PageDown);
    }
    const int centre = sp.SpecCentreBin();
    ASSERT_GT(sp.SpecStart, 0);
    for (int index : {2, 5}) {
        Pick(form->ComboBoxFftHScale, index);
        EXPECT_EQ(sp.SpecCentreBin(), centre)
            << form->ComboBoxFftHScale->currentText().toStdString();
        EXPECT_EQ(BarDisagrees(), "");
    }
    EXPECT_TRUE(messages.shown.empty());
}

TEST_F(FormMainViewTest, ANewRecordLengthReScalesTheBarOverTheSpectrum) {
    Start("seed = 12; large_memory = yes");
    form->A_Single->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Stopped() && form->Acquisition().dataValid; }, kWaitMs));
    form->A_Fft->trigger();
    ASSERT_TRUE(form->CurrentViewSettings().SpectrumInFront());
    form->ScrollBar1->setFocus();
    CtrlKey(Qt::Key_End);
    ASSERT_EQ(BarDisagrees(), "");
    for (int memory : {1, 2, 0}) {
        Pick(form->ComboBoxMemSize, memory);
        EXPECT_EQ(BarDisagrees(), "") << "memory size " << memory;
        EXPECT_EQ(EndOutOfReach(), "") << "memory size " << memory;
    }
    EXPECT_TRUE(messages.shown.empty());
}

// Seeded sequences of what the user does to the view of a stopped record, every invariant
// of the view checked after each step.
TEST_F(FormMainViewTest, TheViewInvariantsHoldThroughSeededSequences) {
    Start("seed = 11; large_memory = yes");
    const int first = TimeDivIndex(1000);  // 1 us/div .. 1 ms/div: no roll, no equivalent time
    const int last = TimeDivIndex(1000000);
    ASSERT_GE(first, 0);
    ASSERT_GT(last, first);
    Pick(form->ComboBoxMemSize, 1);
    Pick(form->ComboBoxTd, TimeDivIndex(10000));
    form->A_Single->trigger();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return Stopped() && form->Acquisition().dataValid; }, kWaitMs));
    form->ScrollBar1->setFocus();

    struct Step {
        const char* name;
        std::function<void(std::mt19937&)> run;
    };
    const auto hold = [&](UpDown* upDown, UpDownButton button) {
        if (upDown->isEnabled()) {
            upDown->step(button);
            QTest::mouseRelease(upDown->button(button), Qt::LeftButton);
        }
    };
    const std::vector<Step> steps = {
        {"Ctrl+Right", [&](std::mt19937&) { CtrlKey(Qt::Key_Right); }},
        {"Ctrl+Left", [&](std::mt19937&) { CtrlKey(Qt::Key_Left); }},
        {"Ctrl+PageDown", [&](std::mt19937&) { CtrlKey(Qt::Key_PageDown); }},
        {"Ctrl+PageUp", [&](std::mt19937&) { CtrlKey(Qt::Key_PageUp); }},
        {"Ctrl+End", [&](std::mt19937&) { CtrlKey(Qt::Key_End); }},
        {"Ctrl+Home", [&](std::mt19937&) { CtrlKey(Qt::Key_Home); }},
        {"Ctrl+Insert", [&](std::mt19937&) { CtrlKey(Qt::Key_Insert); }},
        {"trough right",
         [&](std::mt19937&) {
             form->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepAdd);
         }},
        {"trough left",
         [&](std::mt19937&) {
             form->ScrollBar1->triggerAction(QAbstractSlider::SliderPageStepSub);
         }},
        {"thumb dragged",
         [&](std::mt19937& random) {
             QScrollBar* bar = form->ScrollBar1;
             bar->setSliderDown(true);
             bar->setSliderPosition(std::uniform_int_distribution<int>(0, bar->maximum())(random));
             bar->setSliderDown(false);
         }},
        {"FFT switched", [&](std::mt19937&) { form->A_Fft->trigger(); }},
        {"MATH switched", [&](std::mt19937&) { form->MenuItem("M_Math")->trigger(); }},
        {"CH1 switched", [&](std::mt19937&) { form->SpeedButtonCh1->click(); }},
        {"CH2 switched", [&](std::mt19937&) { form->SpeedButtonCh2->click(); }},
        {"CH1 up-down", [&](std::mt19937&) { hold(form->UpDownCh1, UpDownButton::Up); }},
        {"CH2 up-down", [&](std::mt19937&) { hold(form->UpDownCh2, UpDownButton::Down); }},
        {"MATH up-down", [&](std::mt19937&) { hold(form->UpDownMath, UpDownButton::Up); }},
        {"FFT up-down", [&](std::mt19937&) { hold(form->UpDownFft, UpDownButton::Down); }},
        {"trigger position step",
         [&](std::mt19937&) { hold(form->UpDownTrigP, UpDownButton::Down); }},
        {"T/div",
         [&](std::mt19937& random) {
             Pick(form->ComboBoxTd, std::uniform_int_distribution<int>(first, last)(random));
         }},
        {"frequency scale",
         [&](std::mt19937& random) {
             Pick(form->ComboBoxFftHScale, std::uniform_int_distribution<int>(
                                               0, form->ComboBoxFftHScale->count() - 1)(random));
         }},
        {"memory size",
         [&](std::mt19937& random) {
             Pick(form->ComboBoxMemSize, std::uniform_int_distribution<int>(
                                             0, form->ComboBoxMemSize->count() - 1)(random));
         }},
        {"Single",
         [&](std::mt19937&) {
             form->A_Single->trigger();
             ASSERT_TRUE(QTest::qWaitFor([&] { return Stopped(); }, kWaitMs));
         }},
    };
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 random(seed);
        std::string done;
        for (int i = 0; i < 60; ++i) {
            const Step& step =
                steps[std::uniform_int_distribution<std::size_t>(0, steps.size() - 1)(random)];
            done += std::string(done.empty() ? "" : ", ") + step.name;
            step.run(random);
            const ViewSettings v = form->CurrentViewSettings();
            for (const std::string& broken :
                 {testing::CheckTraceLayers(v), BarDisagrees(), EndOutOfReach(),
                  testing::CheckTriggerMarker(v, form->View())}) {
                ASSERT_EQ(broken, "") << "seed " << seed << ", step " << i << ": " << done;
            }
        }
    }
    EXPECT_TRUE(messages.shown.empty());
}

}  // namespace
}  // namespace lumatrace
