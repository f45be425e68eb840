#include <filesystem>

#include <QDate>
#include <QFontMetrics>
#include <QImage>
#include <QTime>

#include <gtest/gtest.h>

#include "app/platform/FileStore.h"
#include "app/platform/testing/FakeFileStore.h"
#include "app/platform/testing/RecordingMessageBox.h"
#include "app/settings/ImageExport.h"

namespace lumatrace {
namespace {

constexpr QRgb kGreyPixel = 0xFF808080;
constexpr QRgb kWhitePixel = 0xFFFFFFFF;
constexpr QRgb kBlackPixel = 0xFF000000;

QImage Filled(int w, int h, QRgb c) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

// Strips with the view's grey background and one coloured mark each, and a
// waveform area in a colour of its own.
ViewPictures Pictures() {
    ViewPictures p;
    p.volt = Filled(24, 230, kGreyPixel);
    p.volt.setPixel(5, 7, 0xFFFF0000);
    p.trigLevel = Filled(16, 230, kGreyPixel);
    p.trigLevel.setPixel(3, 9, 0xFF0000FF);
    p.trigPos = Filled(410, 14, 0xFF00FFFF);
    p.trigPos.setPixel(0, 0, 0xFF123456);
    p.wave = Filled(400, 200, 0xFF00C000);
    return p;
}

ImageCaption Caption() {
    ImageCaption c;
    c.title = "≪ ZEP-9100 Image ≫";
    c.dateTime = "2026/12/10 4:05:09";
    c.sampling = "Real Sampling";
    c.time = "Time/div : 200us (SamplingTime : 200ns)";
    c.waveform = "WaveForm : Sample          XY Plot : OFF";
    c.memory = "MemorySize : 10kPoint";
    return c;
}

int TextWidth(const std::string& text) {
    QImage probe(1, 1, QImage::Format_RGB32);
    probe.setDotsPerMeterX(3780);
    probe.setDotsPerMeterY(3780);
    return QFontMetrics(ExportFont(), &probe).horizontalAdvance(QString::fromStdString(text));
}

bool AnyDarkPixel(const QImage& img, const QRect& area) {
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qGray(img.pixel(x, y)) < 128) {
                return true;
            }
        }
    }
    return false;
}

TEST(ImageExportLayout, PlacesFromTheFourSizes) {
    const ExportLayout g =
        ComputeExportLayout(QSize(24, 230), QSize(410, 14), QSize(16, 230), QSize(400, 200));
    EXPECT_EQ(g.x0, 44);
    EXPECT_EQ(g.y0, 44);
    EXPECT_EQ(g.xR, 444);
    EXPECT_EQ(g.yB, 244);
    EXPECT_EQ(g.xT, 24);
    EXPECT_EQ(g.xE, 464);
    EXPECT_EQ(g.width, 480);
    EXPECT_EQ(g.height, 364);
}

TEST(ImageExportLayout, WideningStartsWhenALineReachesTheEdge) {
    EXPECT_EQ(WidenedWidth(480, 24, 455, 5), 480);
    EXPECT_EQ(WidenedWidth(480, 24, 456, 5), 485);
    EXPECT_EQ(WidenedWidth(480, 24, 600, 10), 634);
}

TEST(ImageExportCompose, PiecesCopiesAndFrame) {
    const ViewPictures pics = Pictures();
    const QImage img = ComposeExportImage(pics, Caption());
    // No channel, trigger or cursor line: the height ends 25 below the
    // waveform/memory line.
    ASSERT_EQ(img.size(), QSize(480, 244 + 10 + 15 + 25));

    // Left strip at (20, 39): grey became white, the mark stayed.
    EXPECT_EQ(img.pixel(20, 39), kWhitePixel);
    EXPECT_EQ(img.pixel(25, 46), 0xFFFF0000);
    // Right strip at (xR, 39).
    EXPECT_EQ(img.pixel(444 + 3, 39 + 9), 0xFF0000FF);
    EXPECT_EQ(img.pixel(444 + 15, 39 + 100), kWhitePixel);
    // Top strip at (x0 - 3, 32), copied as it is (no grey rule).
    EXPECT_EQ(img.pixel(41, 32), 0xFF123456);
    EXPECT_EQ(img.pixel(41 + 100, 32 + 5), 0xFF00FFFF);
    // Waveform inside, frame on its outermost pixels, white outside.
    EXPECT_EQ(img.pixel(44 + 1, 44 + 1), 0xFF00C000);
    for (const QPoint p : {QPoint(44, 44), QPoint(443, 44), QPoint(44, 243), QPoint(443, 243),
                           QPoint(200, 44), QPoint(200, 243), QPoint(44, 100), QPoint(443, 100)}) {
        EXPECT_EQ(img.pixel(p), kBlackPixel) << p.x() << "," << p.y();
    }
    EXPECT_NE(img.pixel(444 + 5, 244), kBlackPixel);
    // Title and date on the top line; caption text below the waveform.
    EXPECT_TRUE(AnyDarkPixel(img, QRect(24, 12, 60, 10)));
    EXPECT_TRUE(AnyDarkPixel(img, QRect(464 - 40, 12, 40, 10)));
    EXPECT_TRUE(AnyDarkPixel(img, QRect(24, 254, 60, 10)));
    EXPECT_TRUE(AnyDarkPixel(img, QRect(464 - 40, 269, 40, 10)));
}

TEST(ImageExportCompose, LineCountSetsTheHeight) {
    ImageCaption c = Caption();
    c.channel = "CH1 : 500mV (x10)  DC  FULL";
    c.trigger = "Trigger : CH1  DC  ↑";
    c.timeCursor = "[Time]  Δ: 400.0us";
    c.voltCursor = "[CH1]  Δ: 1.00V";
    const QImage img = ComposeExportImage(Pictures(), c);
    EXPECT_EQ(img.height(), 244 + 10 + 5 * 15 + 25);
    EXPECT_EQ(img.width(), 480);
    // The last line is drawn.
    EXPECT_TRUE(AnyDarkPixel(img, QRect(24, 244 + 10 + 5 * 15, 40, 10)));
}

TEST(ImageExportCompose, LongLinesWidenThePicture) {
    const std::string trigger(120, 'W');
    ImageCaption c = Caption();
    c.trigger = trigger;
    QImage img = ComposeExportImage(Pictures(), c);
    const int width = TextWidth(trigger);
    ASSERT_GE(24 + width, 480);
    EXPECT_EQ(img.width(), 24 + width + 5);
    // The line's end is on the picture.
    EXPECT_TRUE(AnyDarkPixel(img, QRect(24 + width - 8, 284, 8, 10)));

    // A longer voltage-cursor line widens again, by its own margin.
    c.voltCursor = std::string(140, 'W');
    img = ComposeExportImage(Pictures(), c);
    EXPECT_EQ(img.width(), 24 + TextWidth(*c.voltCursor) + 10);

    // So does a channel line; a clipped one would drop settings.
    ImageCaption ch = Caption();
    ch.channel = std::string(130, 'W');
    EXPECT_EQ(ComposeExportImage(Pictures(), ch).width(), 24 + TextWidth(*ch.channel) + 5);
}

TEST(ImageExportCompose, NoWaveformNoPicture) {
    ViewPictures p = Pictures();
    p.wave = QImage();
    EXPECT_TRUE(ComposeExportImage(p, Caption()).isNull());
}

class FixedClock final : public WallClock {
  public:
    LocalDateTime Now() override { return {2026, 12, 10, 4, 5, 9}; }
};

ImageExportRequest Request(const char* file, const char* extension) {
    ImageExportRequest r;
    r.fileName = file;
    r.extension = extension;
    r.pictures = Pictures();
    r.settings.channels[0].shown = true;
    r.settings.channels[0].voltsPerDivText = "500mV";
    return r;
}

TEST(ImageExporter, FormatFollowsTheFilterExtension) {
    struct Case {
        const char* file;
        const char* extension;
        const char* qtFormat;
        std::uint8_t first, second;
    };
    const Case cases[] = {
        {"/out/a.jpg", ".jpg", "JPG", 0xFF, 0xD8},
        {"/out/a.bmp", ".bmp", "BMP", 'B', 'M'},
        // The BMP filter with a name typed with a jpg extension: bitmap data.
        {"/out/b.jpg", ".bmp", "BMP", 'B', 'M'},
        {"/out/c", "", "BMP", 'B', 'M'},
    };
    for (const Case& k : cases) {
        testing::FakeFileStore files;
        testing::RecordingMessageBox messages;
        FixedClock clock;
        ImageExporter exporter(files, messages, clock, QLocale(QLocale::Japanese, QLocale::Japan));
        ASSERT_TRUE(exporter.Export(Request(k.file, k.extension))) << k.file;
        EXPECT_TRUE(messages.shown.empty());
        ASSERT_EQ(files.files.count(k.file), 1u);
        const auto& bytes = files.files.at(k.file);
        ASSERT_GT(bytes.size(), 2u);
        EXPECT_EQ(bytes[0], k.first);
        EXPECT_EQ(bytes[1], k.second);
        const QImage decoded =
            QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), k.qtFormat);
        ASSERT_FALSE(decoded.isNull()) << k.file;
        // Channel line and trigger line under the waveform/memory line.
        EXPECT_EQ(decoded.size(), QSize(480, 244 + 10 + 3 * 15 + 25)) << k.file;
    }
}

TEST(ImageExporter, BitmapFileHoldsTheComposedPixels) {
    testing::FakeFileStore files;
    testing::RecordingMessageBox messages;
    FixedClock clock;
    ImageExporter exporter(files, messages, clock);
    ASSERT_TRUE(exporter.Export(Request("/out/a.bmp", ".bmp")));
    const auto& bytes = files.files.at("/out/a.bmp");
    const QImage decoded = QImage::fromData(bytes.data(), static_cast<int>(bytes.size()), "BMP");
    EXPECT_EQ(decoded.pixel(45, 45), 0xFF00C000);
    EXPECT_EQ(decoded.pixel(44, 44), kBlackPixel);
    EXPECT_EQ(decoded.pixel(25, 46), 0xFFFF0000);
}

TEST(ImageExporter, FailureIsReportedAndNothingIsClaimed) {
    const std::filesystem::path missing =
        std::filesystem::temp_directory_path() / "lumatrace-no-such-folder" / "x" / "a.bmp";
    std::filesystem::remove_all(missing.parent_path().parent_path());
    for (const char* extension : {".bmp", ".jpg"}) {
        LocalFileStore files;
        testing::RecordingMessageBox messages;
        FixedClock clock;
        ImageExporter exporter(files, messages, clock);
        EXPECT_FALSE(exporter.Export(Request(missing.c_str(), extension)));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].icon, MessageIcon::Error);
        EXPECT_EQ(messages.shown[0].title, "ファイル保存");
        EXPECT_EQ(messages.shown[0].text, "ファイル書き込み中にエラーが発生しました。");
        EXPECT_FALSE(std::filesystem::exists(missing));
    }

    // A picture that cannot be composed goes the same way.
    testing::FakeFileStore files;
    testing::RecordingMessageBox messages;
    FixedClock clock;
    ImageExporter exporter(files, messages, clock);
    ImageExportRequest r = Request("/out/a.bmp", ".bmp");
    r.pictures.wave = QImage();
    EXPECT_FALSE(exporter.Export(r));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "ファイル書き込み中にエラーが発生しました。");
    EXPECT_TRUE(files.files.empty());
}

TEST(ImageExporter, DateAndTimeUseTheLocalesShortDateAndLongTime) {
    const LocalDateTime t{2026, 12, 10, 4, 5, 9};
    // The long time without the zone name some locales append.
    EXPECT_EQ(FormatCaptionDateTime(t, QLocale(QLocale::Japanese, QLocale::Japan)),
              "2026/12/10 4時05分09秒");
    // The space before the day-period mark varies with the locale data.
    const std::string us =
        FormatCaptionDateTime(t, QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(us.rfind("12/10/26 4:05:09", 0), 0u) << us;
    EXPECT_EQ(us.substr(us.size() - 2), "AM") << us;
}

}  // namespace
}  // namespace lumatrace
