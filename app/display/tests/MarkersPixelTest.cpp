#include <gtest/gtest.h>

#include <QGuiApplication>
#include <memory>

#include "app/display/QImageCanvas.h"
#include "app/display/QtViewSurfaces.h"
#include "app/display/RecordingCanvas.h"
#include "app/display/ViewMarkers.h"
#include "app/display/WaveView.h"

namespace lumatrace {
namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "DisplayMarkersQtTest";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QGuiApplication>(argc, argv);
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QGuiApplication> app_;
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

QRgb Rgb(Color c) {
    return ToQColor(c).rgb();
}

// Pictures where only the volt strip is a real image.
class VoltImageSurfaces : public ViewSurfaces {
  public:
    VoltImageSurfaces() : image(20, 372, QImage::Format_RGB32), volt(&image) {
        for (RecordingCanvas& c : others)
            c.Resize(451, 361);
    }
    Canvas& CanvasFor(ViewImage i) override {
        if (i == ViewImage::Volt)
            return volt;
        return others[static_cast<int>(i)];
    }
    void CopyGridToWave() override {}
    void Present() override {}

    QImage image;
    QImageCanvas volt;
    RecordingCanvas others[kViewImageCount];
};

TEST(MarkersOnImage, PentagonIsFilledAndLabelShowsThrough) {
    WaveView view;
    ViewMarkers markers;
    VoltImageSurfaces surfaces;
    ViewSettings s;
    s.tracePosition[kTraceCh1] = 250;  // strip y 185
    surfaces.volt.Clear(kPanelMainColor);
    markers.DrawTracePositionMarker(
        RedrawContext{view, s, view.Geometry(), view.Horizontal(), surfaces}, kTraceCh1);
    surfaces.volt.End();
    const QImage& img = surfaces.image;
    const QRgb trace = Rgb(s.displayColors[kSlotCh1]);
    const QRgb background = Rgb(s.displayColors[kSlotBackground]);
    EXPECT_EQ(img.pixel(18, 185), trace);  // the tip
    EXPECT_EQ(img.pixel(19, 185), Rgb(kPanelMainColor));
    EXPECT_EQ(img.pixel(2, 185), Rgb(kPanelMainColor));
    EXPECT_EQ(img.pixel(3, 180), trace);
    EXPECT_EQ(img.pixel(15, 185), trace);  // right of the label
    EXPECT_EQ(img.pixel(10, 200), Rgb(kPanelMainColor));
    int labelPixels = 0;
    for (int y = 181; y < 190; ++y) {
        for (int x = 4; x < 13; ++x)
            labelPixels += img.pixel(x, y) == background;
    }
    EXPECT_GT(labelPixels, 3);
}

}  // namespace
}  // namespace lumatrace
