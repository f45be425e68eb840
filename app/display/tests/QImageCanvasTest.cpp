#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <memory>
#include <random>
#include <string>

#include "app/display/QImageCanvas.h"
#include "app/display/QtViewSurfaces.h"
#include "app/display/WaveView.h"
#include "app/display/tests/TraceReference.h"

namespace lumatrace {
namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "DisplayQtTest";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QGuiApplication> app_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

constexpr QRgb kWhite = 0xFFFFFFFF;
QRgb Rgb(Color c) {
    return ToQColor(c).rgb();
}

class DisplayQImageCanvas : public ::testing::Test {
  protected:
    void SetUp() override { image.fill(Qt::white); }
    QRgb At(int x, int y) {
        canvas.End();
        return image.pixel(x, y);
    }

    QImage image{24, 24, QImage::Format_RGB32};
    QImageCanvas canvas{&image};
};

TEST_F(DisplayQImageCanvas, ColoursAreWindowsColourValues) {
    canvas.Clear(0x0000FF);
    EXPECT_EQ(At(3, 3), qRgb(255, 0, 0));
    canvas.Clear(0xFF0000);
    EXPECT_EQ(At(3, 3), qRgb(0, 0, 255));
    canvas.Clear(0x804020);
    EXPECT_EQ(At(23, 23), qRgb(0x20, 0x40, 0x80));
}

TEST_F(DisplayQImageCanvas, LinesPaintBothEndsInEitherDirection) {
    canvas.SetPen(0x0000FF, PenStyle::Solid);
    canvas.MoveTo(2, 5);
    canvas.LineTo(10, 5);
    canvas.LineTo(10, 12);
    // Reversed lines, a falling diagonal and a line of no length.
    const Segment segs[] = {
        {{15, 8}, {15, 2}}, {{22, 4}, {17, 4}}, {{4, 16}, {0, 20}}, {{18, 18}, {18, 18}}};
    canvas.Lines(segs, 4);
    const QRgb red = qRgb(255, 0, 0);
    for (int x = 2; x <= 10; ++x) {
        EXPECT_EQ(At(x, 5), red) << x;
    }
    for (int y = 5; y <= 12; ++y) {
        EXPECT_EQ(At(10, y), red) << y;
    }
    EXPECT_EQ(At(10, 13), kWhite);
    EXPECT_EQ(At(1, 5), kWhite);
    for (int y = 2; y <= 8; ++y) {
        EXPECT_EQ(At(15, y), red) << y;
    }
    EXPECT_EQ(At(15, 1), kWhite);
    EXPECT_EQ(At(15, 9), kWhite);
    for (int x = 17; x <= 22; ++x) {
        EXPECT_EQ(At(x, 4), red) << x;
    }
    for (int k = 0; k <= 4; ++k) {
        EXPECT_EQ(At(k, 20 - k), red) << k;
    }
    EXPECT_EQ(At(18, 18), red);
    EXPECT_EQ(At(19, 18), kWhite);
}

TEST_F(DisplayQImageCanvas, DottedPenIsThreeOnThreeOff) {
    canvas.SetPen(0x000000, PenStyle::Dot);
    const Segment seg{{0, 3}, {20, 3}};
    canvas.Lines(&seg, 1);
    const bool expected[] = {true, true, true, false, false, false,
                             true, true, true, false, false, false};
    for (int x = 0; x < 12; ++x)
        EXPECT_EQ(At(x, 3) != kWhite, expected[x]) << x;
}

TEST_F(DisplayQImageCanvas, FramesAndFillsStopBeforeRightAndBottom) {
    canvas.SetPen(0x00FF00, PenStyle::Solid);
    canvas.FrameRect({1, 1, 7, 6});
    canvas.FillRect({10, 10, 13, 12}, 0xFF0000);
    const QRgb green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255);
    for (int x = 1; x <= 6; ++x) {
        EXPECT_EQ(At(x, 1), green) << x;
        EXPECT_EQ(At(x, 5), green) << x;
    }
    for (int y = 1; y <= 5; ++y) {
        EXPECT_EQ(At(1, y), green) << y;
        EXPECT_EQ(At(6, y), green) << y;
    }
    EXPECT_EQ(At(7, 1), kWhite);
    EXPECT_EQ(At(1, 6), kWhite);
    EXPECT_EQ(At(3, 3), kWhite);
    EXPECT_EQ(At(10, 10), blue);
    EXPECT_EQ(At(12, 11), blue);
    EXPECT_EQ(At(13, 11), kWhite);
    EXPECT_EQ(At(12, 12), kWhite);
}

TEST_F(DisplayQImageCanvas, PixelsPolygonsAndText) {
    canvas.SetPen(0x0000FF, PenStyle::Solid);
    const Point pts[] = {{3, 3}, {5, 7}};
    canvas.Points(pts, 2);
    canvas.Pixel(20, 1, 0x00FF00);
    EXPECT_EQ(At(3, 3), qRgb(255, 0, 0));
    EXPECT_EQ(At(5, 7), qRgb(255, 0, 0));
    EXPECT_EQ(At(4, 3), kWhite);
    EXPECT_EQ(At(20, 1), qRgb(0, 255, 0));

    canvas.SetBrush(0xFF0000);
    const Point tri[] = {{10, 10}, {20, 10}, {15, 18}};
    canvas.Polygon(tri, 3);
    EXPECT_EQ(At(15, 12), qRgb(0, 0, 255));  // filled
    EXPECT_EQ(At(10, 10), qRgb(255, 0, 0));  // outlined

    image.fill(Qt::white);
    canvas.SetTextColor(0x000000);
    canvas.SetFont(Font{"Tahoma", 12, true});
    canvas.Text(2, 2, "1", TextAlign::Left);
    int inked = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x)
            inked += At(x, y) != kWhite;
    }
    EXPECT_GT(inked, 3);
    EXPECT_EQ(At(23, 23), kWhite);
}

// Labels are drawn once and copied after that: the copy must give the pixels drawing them in
// place gives, wherever they are anchored and however aligned, the first time and every time.
TEST(DisplayQImageCanvasText, CopiedLabelsMatchDrawingInPlace) {
    struct Case {
        const char* text;
        TextAlign align;
        Font font;
        Color color;
        int x, y;
    };
    const Case cases[] = {
        {"1", TextAlign::Left, Font{"Tahoma", 11, false}, 0x000000, 5, 7},
        {"M", TextAlign::Left, Font{"Tahoma", 11, false}, 0x00FFFF, 40, 3},
        {"T", TextAlign::Center, Font{"Tahoma", 11, false}, 0x0000FF, 61, 20},
        {"T", TextAlign::Center, Font{"Tahoma", 11, false}, 0x0000FF, 30, 2},
        {"L", TextAlign::Right, Font{"Tahoma", 12, true}, 0x00FF00, 90, 30},
        {"-12.5mV", TextAlign::Right, Font{"Tahoma", 12, true}, 0xFF00FF, 95, 44},
        {"", TextAlign::Left, Font{}, 0x000000, 3, 3},
    };
    QImage viaCanvas(120, 64, QImage::Format_RGB32);
    QImage inPlace(120, 64, QImage::Format_RGB32);
    QImageCanvas canvas(&viaCanvas);
    for (int pass = 0; pass < 3; ++pass) {
        for (const Case& c : cases) {
            viaCanvas.fill(Qt::white);
            inPlace.fill(Qt::white);
            canvas.SetFont(c.font);
            canvas.SetTextColor(c.color);
            canvas.Text(c.x, c.y, c.text, c.align);
            canvas.End();

            QFont font(QString::fromStdString(c.font.family));
            font.setPixelSize(c.font.pixelSize);
            font.setBold(c.font.bold);
            font.setStyleStrategy(QFont::NoAntialias);
            QPainter p(&inPlace);
            p.setRenderHint(QPainter::TextAntialiasing, false);
            p.setFont(font);
            p.setPen(ToQColor(c.color));
            int flags = Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
            QRect box(c.x, c.y, 4096, 4096);
            if (c.align == TextAlign::Center) {
                flags |= Qt::AlignHCenter;
                box.moveLeft(c.x - 2048);
            } else if (c.align == TextAlign::Right) {
                flags |= Qt::AlignRight;
                box.moveLeft(c.x - 4096);
            }
            p.drawText(box, flags, QString::fromUtf8(c.text));
            p.end();
            EXPECT_EQ(viaCanvas, inPlace) << "pass " << pass << " text '" << c.text << "'";
        }
    }
}

// ------------------------------------------------------------------------------------------

class DisplayQtRedraw : public ::testing::Test {
  protected:
    void SetUp() override {
        view.SetRecord(record.get());
        view.Resize(451, 361);
        surfaces.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {501, 32}});
        surfaces.SetPresenter([this] { ++presented; });
        s.formReady = s.displayInitialised = true;
        s.runMode = kRunAuto;
        s.recordSinceStart = s.dataValid = true;
        s.memoryPoints = 10000;
        s.trigPosition = 5000;
        s.buttonShadowColor = 0x404040;
        view.Horizontal().ScreenSamples = 10000;
    }

    std::unique_ptr<SampleBuffer> record = std::make_unique<SampleBuffer>();
    WaveView view;
    QtViewSurfaces surfaces;
    ViewSettings s;
    int presented = 0;
};

TEST_F(DisplayQtRedraw, RedrawPaintsGraticuleTracesAndFrame) {
    ClearRecord(*record);
    for (int i = 0; i < 10000; ++i)
        (*record)[i] = MakeSampleWord(612, 300);  // y 136 and 273
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(presented, 1);
    const QImage& wave = surfaces.Image(ViewImage::Wave);
    const QRgb silver = Rgb(0xC0C0C0), shadow = Rgb(0x404040);
    EXPECT_EQ(wave.pixel(100, 100), kWhite);
    EXPECT_EQ(wave.pixel(100, 136), qRgb(255, 0, 0));
    EXPECT_EQ(wave.pixel(449, 136), qRgb(255, 0, 0));
    EXPECT_EQ(wave.pixel(100, 273), qRgb(0, 0, 255));
    EXPECT_EQ(wave.pixel(45, 1), silver);  // dotted grid
    EXPECT_EQ(wave.pixel(45, 4), kWhite);
    EXPECT_EQ(wave.pixel(45, 7), silver);
    EXPECT_EQ(wave.pixel(225, 100), silver);  // centre line of the scale
    EXPECT_EQ(wave.pixel(9, 178), silver);    // a tick, 2 pixels either side of the axis
    EXPECT_EQ(wave.pixel(9, 182), silver);
    EXPECT_EQ(wave.pixel(9, 183), kWhite);
    EXPECT_EQ(wave.pixel(0, 0), shadow);
    EXPECT_EQ(wave.pixel(450, 360), shadow);
    EXPECT_EQ(wave.pixel(450, 100), shadow);
    EXPECT_EQ(wave.pixel(100, 360), shadow);

    EXPECT_EQ(surfaces.Image(ViewImage::Volt).pixel(10, 10), qRgb(128, 128, 128));
    const QImage& trigPos = surfaces.Image(ViewImage::TrigPos);
    EXPECT_EQ(trigPos.pixel(500, 5), shadow);
    EXPECT_EQ(trigPos.pixel(5, 31), shadow);
    EXPECT_EQ(trigPos.pixel(5, 5), kWhite);

    // A second redraw with the trace moved leaves no trace of the first: the graticule copy
    // covers the picture.
    for (int i = 0; i < 10000; ++i)
        (*record)[i] = MakeSampleWord(700, 300);
    view.RedrawAll(s, surfaces);
    const QImage& again = surfaces.Image(ViewImage::Wave);
    EXPECT_EQ(again.pixel(100, 136), kWhite);
    EXPECT_EQ(again.pixel(100, 97), qRgb(255, 0, 0));
}

TEST_F(DisplayQtRedraw, FastPathPaintsTheSamePixelsAsThePerSampleLoop) {
    struct Case {
        testing::RecordRecipe recipe;
        int memoryPoints, screen, viewStart, offset, mode;
    };
    const Case cases[] = {
        {{.points = 10000, .noise = 200, .gapEvery = 1500, .gapLength = 200},
         10000,
         10000,
         0,
         0,
         kWaveformEnvelope},
        {{.points = 100000, .noise = 30}, 100000, 3000, 40000, 6, kWaveformSample},
        {{.points = 100000, .noise = 300}, 100000, 30000, 40000, -9, kWaveformEnvelope},
    };
    for (const Case& c : cases) {
        testing::FillRecord(*record, c.recipe);
        s.memoryPoints = c.memoryPoints;
        s.waveformMode = c.mode;
        s.trigPosition = 1;  // no marker
        view.Horizontal().ScreenSamples = c.screen;
        view.Horizontal().ViewStart = c.viewStart;
        view.Horizontal().ViewOffset = c.offset;
        view.Horizontal().viewOffsetComputed = true;
        WaveView twin = view;
        const TracePlan plan = twin.BeginTrace(s);

        surfaces.CanvasFor(ViewImage::Wave).Clear(0xFFFFFF);
        view.DrawTrace(s, kTraceCh1, surfaces);
        const QImage fast = surfaces.Image(ViewImage::Wave).copy();

        QImage slow(451, 361, QImage::Format_RGB32);
        slow.fill(Qt::white);
        {
            QImageCanvas canvas(&slow);
            canvas.SetPen(s.displayColors[kSlotCh1], PenStyle::Solid);
            testing::ReferenceTrace r;
            r.words = record->data();
            r.plan = plan;
            r.envelope = c.mode == kWaveformEnvelope;
            r.trigPosition = s.trigPosition;
            r.codeToY = [&](int code) { return view.CodeToY(s, 0, code); };
            testing::DrawReferenceTrace(r, canvas);
        }
        int differing = 0;
        for (int y = 0; y < 361; ++y) {
            for (int x = 0; x < 451; ++x)
                differing += fast.pixel(x, y) != slow.pixel(x, y);
        }
        EXPECT_EQ(differing, 0) << c.memoryPoints << " " << c.screen;
        int red = 0;
        for (int y = 0; y < 361; ++y) {
            for (int x = 0; x < 451; ++x)
                red += fast.pixel(x, y) == qRgb(255, 0, 0);
        }
        EXPECT_GT(red, 400);  // something was drawn
    }
}

// Draws polygons and text on the wave picture, as the marker layer will.
class ShapeMarkers : public MarkerLayer {
  public:
    void DrawTimeCursors(const RedrawContext& c) override {
        Canvas& wave = c.surfaces.CanvasFor(ViewImage::Wave);
        wave.SetPen(0xFF00FF, PenStyle::Solid);
        wave.MoveTo(cursorX, 0);
        wave.LineTo(cursorX, c.geometry.WaveHeight);
    }
    void DrawVoltageCursors(const RedrawContext& c) override {
        Canvas& wave = c.surfaces.CanvasFor(ViewImage::Wave);
        wave.SetPen(0xFFFF00, PenStyle::Dot);
        wave.MoveTo(0, cursorX / 2);
        wave.LineTo(c.geometry.WaveWidth, cursorX / 3);
        wave.Pixel(cursorX, cursorX / 4, 0x00FFFF);
    }
    void DrawTracePositionMarker(const RedrawContext&, int) override {}
    void DrawTriggerPointMarker(const RedrawContext& c, int x) override {
        Canvas& wave = c.surfaces.CanvasFor(ViewImage::Wave);
        wave.SetPen(0x808000, PenStyle::Solid);
        wave.SetBrush(0x808000);
        const Point tri[] = {{x, 5}, {x - 4, 1}, {x + 4, 1}};
        wave.Polygon(tri, 3);
        wave.SetTextColor(0x000000);
        wave.Text(x + 6, 40, "T", TextAlign::Left);
    }
    void DrawTriggerLevelMarker(const RedrawContext&) override {}
    void DrawTriggerPositionStrip(const RedrawContext&) override {}
    int cursorX = 100;
};

TEST_F(DisplayQtRedraw, RestoringOnlyTheDrawnTilesGivesTheFullCopysPicture) {
    ShapeMarkers markers;
    WaveView marked = view;
    marked.SetMarkerLayer(&markers);
    struct Step {
        testing::RecordRecipe recipe;
        int mode, trigPosition, cursorX;
        bool xy;
    };
    const Step steps[] = {
        {{.points = 10000, .noise = 300}, kWaveformEnvelope, 5000, 100, false},
        {{.points = 10000, .cycles = 2, .noise = 10, .seed = 5}, kWaveformSample, 2500, 300, false},
        {{.points = 10000, .cycles = 31, .noise = 0}, kWaveformSample, 9000, 20, true},
        {{.points = 10000, .cycles = 1, .noise = 5, .gapEvery = 3000, .gapLength = 900},
         kWaveformEnvelope,
         700,
         440,
         false},
    };
    for (const Step& st : steps) {
        testing::FillRecord(*record, st.recipe);
        s.waveformMode = st.mode;
        s.trigPosition = st.trigPosition;
        s.xyOn = st.xy;
        markers.cursorX = st.cursorX;
        marked.RedrawAll(s, surfaces);

        WaveView fresh = marked;
        fresh.MarkGridDirty();
        QtViewSurfaces once;
        once.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {501, 32}});
        fresh.RedrawAll(s, once);
        EXPECT_TRUE(surfaces.Image(ViewImage::Wave) == once.Image(ViewImage::Wave))
            << st.trigPosition;
    }
}

TEST_F(DisplayQtRedraw, RedrawOverRandomFramesEqualsARedrawFromScratch) {
    // The picture is restored only where the frames before painted; over any sequence of
    // frames it must still equal a redraw onto fresh pictures, with nothing left behind.
    ShapeMarkers markers;
    WaveView marked = view;
    marked.SetMarkerLayer(&markers);
    std::mt19937 rng(20261210);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int width = 451;
    int height = 361;
    auto sizes = [&] {
        return ViewImageSizes{
            {width, height}, {20, height + 11}, {20, height + 11}, {width + 50, 32}};
    };
    const Color colours[] = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080, 0xFFFFFF, 0x000000, 0xC0C0C0};
    testing::RecordRecipe recipe{.points = 10000, .noise = 200};
    testing::FillRecord(*record, recipe);
    s.cursorTOn = s.cursorVOn = true;
    for (int frame = 0; frame < 120; ++frame) {
        std::string what;
        for (int change = pick(1, 3); change > 0; --change) {
            switch (pick(0, 11)) {
                case 0:
                    recipe.cycles = pick(1, 40) / 2.0;
                    recipe.noise = pick(0, 400);
                    recipe.gapEvery = pick(0, 1) ? pick(500, 4000) : 0;
                    recipe.gapLength = pick(1, 600);
                    recipe.seed = static_cast<unsigned>(frame + 1);
                    testing::FillRecord(*record, recipe);
                    what += " record";
                    break;
                case 1:
                    s.waveformMode =
                        s.waveformMode == kWaveformEnvelope ? kWaveformSample : kWaveformEnvelope;
                    what += " mode";
                    break;
                case 2:
                    s.channelOn[pick(0, 1)] ^= true;
                    what += " channel";
                    break;
                case 3:
                    std::swap(s.traceOrder[kTraceCh1], s.traceOrder[kTraceCh2]);
                    what += " order";
                    break;
                case 4:
                    markers.cursorX = pick(-20, width + 20);
                    s.cursorTOn = pick(0, 3) != 0;
                    s.cursorVOn = pick(0, 3) != 0;
                    s.lastCursorPairT = pick(0, 1) != 0;
                    what += " cursor";
                    break;
                case 5:
                    s.displayColors[pick(0, 1)] = colours[pick(0, 6)];
                    what += " trace colour";
                    break;
                case 6:
                    s.displayColors[pick(0, 1) ? kSlotBackground : kSlotScale] =
                        colours[pick(0, 6)];
                    marked.MarkGridDirty();
                    what += " grid colour";
                    break;
                case 7:
                    if (pick(0, 1))
                        s.gridOn ^= true;
                    else
                        s.scaleOn ^= true;
                    marked.MarkGridDirty();
                    what += " grid";
                    break;
                case 8:
                    s.tracePosition[pick(0, 1)] = pick(-50, 550);
                    what += " position";
                    break;
                case 9:
                    s.trigPosition = pick(0, 9999);
                    what += " trigger";
                    break;
                case 10:
                    s.xyOn = pick(0, 5) == 0;
                    what += " xy";
                    break;
                case 11:
                    width = pick(40, 700);
                    height = pick(30, 500);
                    marked.Resize(width, height);
                    what += " size";
                    break;
            }
        }
        surfaces.Resize(sizes());
        marked.RedrawAll(s, surfaces);

        WaveView fresh = marked;
        fresh.MarkGridDirty();
        QtViewSurfaces once;
        once.Resize(sizes());
        fresh.RedrawAll(s, once);
        const QImage& kept = surfaces.Image(ViewImage::Wave);
        const QImage& scratch = once.Image(ViewImage::Wave);
        ASSERT_EQ(kept.size(), scratch.size());
        int differing = 0;
        for (int y = 0; y < kept.height(); ++y) {
            for (int x = 0; x < kept.width(); ++x)
                differing += kept.pixel(x, y) != scratch.pixel(x, y);
        }
        ASSERT_EQ(differing, 0) << "frame " << frame << ":" << what;
    }
}

TEST(DisplayQtSurfaces, RestoreGivesTheGraticuleBackWhateverItsRows) {
    // A graticule of few distinct rows (restored from a table of them) and one whose every
    // row differs (restored from the picture itself).
    for (const bool diagonal : {false, true}) {
        QtViewSurfaces surfaces;
        surfaces.Resize(ViewImageSizes{{400, 300}, {20, 311}, {20, 311}, {451, 32}});
        Canvas& grid = surfaces.CanvasFor(ViewImage::Grid);
        grid.Clear(0x102030);
        grid.SetPen(0x808080, PenStyle::Dot);
        const Segment lines[] = {{{0, 100}, {399, 100}}, {{200, 0}, {200, 299}}};
        grid.Lines(lines, 2);
        if (diagonal) {
            grid.SetPen(0x00FF00, PenStyle::Solid);
            grid.MoveTo(0, 0);
            grid.LineTo(399, 299);
        }
        surfaces.CopyGridToWave();
        for (int round = 0; round < 3; ++round) {
            Canvas& wave = surfaces.CanvasFor(ViewImage::Wave);
            wave.SetPen(0x0000FF, PenStyle::Solid);
            for (int x = 0; x < 400; x += 1 + round) {
                const Segment bar[] = {{{x, (x * 7 + round * 13) % 250}, {x, (x * 7) % 250 + 40}},
                                       {{x, 5}, {x + 1, 290 - x % 200}}};
                wave.Lines(bar, 2);
            }
            wave.Pixel(3, 3, 0xFFFFFF);
            wave.FillRect({10, 20, 60, 45}, 0x00FFFF);
            surfaces.CopyGridToWave();
            ASSERT_TRUE(surfaces.Image(ViewImage::Wave) == surfaces.Image(ViewImage::Grid))
                << (diagonal ? "diagonal" : "plain") << " round " << round;
        }
    }
}

TEST(DisplayTileDamage, MarksTilesOfPixelsAndClippedRectangles) {
    constexpr int T = TileDamage::kTileSize;
    TileDamage d;
    d.Reset(3 * T + 4, 2 * T + 6);  // 4 x 3 tiles
    EXPECT_TRUE(d.All());
    d.Clean();
    EXPECT_FALSE(d.All());
    EXPECT_EQ(d.TilesX(), 4);
    EXPECT_EQ(d.TilesY(), 3);
    d.Mark(T - 1, T);
    d.MarkRect(-10, 2 * T, T + 1, 500);
    int dirty = 0;
    for (int ty = 0; ty < 3; ++ty) {
        for (int tx = 0; tx < 4; ++tx) {
            dirty += d.Dirty(tx, ty);
        }
    }
    EXPECT_EQ(dirty, 3);
    EXPECT_TRUE(d.Dirty(0, 1));
    EXPECT_TRUE(d.Dirty(0, 2));
    EXPECT_TRUE(d.Dirty(1, 2));
    d.MarkRect(T, T, T, 2 * T);  // no width
    d.Clean();
    EXPECT_FALSE(d.Dirty(0, 1));
    // Runs are kept as runs, up to a bound past which the whole picture counts as drawn on.
    d.MarkColumn(3, 1, 30);
    d.MarkColumn(3, 31, 40);  // joins the run before it
    d.MarkColumn(3, 20, 25);
    d.MarkColumn(4, 20, 25);
    d.MarkRow(7, 0, 2);
    ASSERT_EQ(d.Runs().size(), 3u);
    EXPECT_TRUE(d.Runs()[0].vertical);
    EXPECT_EQ(d.Runs()[0].first, 1);
    EXPECT_EQ(d.Runs()[0].last, 40);
    EXPECT_EQ(d.Runs()[1].at, 4);
    EXPECT_FALSE(d.Dirty(0, 0));
    for (std::size_t k = 3; k < TileDamage::kMaxRuns; ++k)
        d.MarkRow(static_cast<int>(k % 2) * 3, 0, 0);
    EXPECT_FALSE(d.All());
    d.MarkRow(5, 0, 0);
    EXPECT_TRUE(d.All());
    d.Clean();
    EXPECT_TRUE(d.Runs().empty());
    EXPECT_FALSE(d.All());
}

}  // namespace
}  // namespace lumatrace
