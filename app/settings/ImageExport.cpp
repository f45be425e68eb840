#include "app/settings/ImageExport.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QPainter>

#include "app/platform/FileStore.h"
#include "app/platform/MessageBox.h"
#include "app/settings/BmpWriter.h"
#include "app/settings/JpegWriter.h"

namespace lumatrace {
namespace {

// 96 dots per inch, so that 8-point text has the size it has on screen.
constexpr int kDotsPerMeter = 3780;
constexpr QRgb kGrey = 0x808080;
constexpr int kLineStep = 15;

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// The marker strips' grey background would print as a dark band; it
// becomes paper white in the picture.
QImage GreyToWhite(const QImage& source) {
    QImage img = source.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if ((line[x] & 0xFFFFFF) == kGrey) {
                line[x] = 0xFFFFFFFF;
            }
        }
    }
    return img;
}

// Rectangles given as left, top, right, bottom (right and bottom exclusive).
QRect Ltrb(int l, int t, int r, int b) {
    return QRect(QPoint(l, t), QSize(r - l, b - t));
}

void CopyRect(QPainter& p, const QRect& dest, const QImage& src, const QRect& source) {
    if (dest.isEmpty() || source.isEmpty() || src.isNull()) {
        return;
    }
    p.drawImage(dest, src, source);
}

// Text with its top-left corner at (x, y), on a white cell like the
// canvas's own text output.
void TextAt(QPainter& p, int x, int y, const QString& text) {
    p.drawText(QPoint(x, y + p.fontMetrics().ascent()), text);
}

}  // namespace

ImageFileFormat ImageFormatForExtension(std::string_view extension) {
    return extension == ".jpg" ? ImageFileFormat::Jpeg : ImageFileFormat::Bmp;
}

ExportLayout ComputeExportLayout(QSize left, QSize top, QSize right, QSize wave) {
    ExportLayout g;
    g.x0 = left.width() + 20;
    g.y0 = top.height() + 30;
    g.xR = g.x0 + wave.width();
    g.yB = g.y0 + wave.height();
    g.xT = left.width();
    g.xE = g.xR + 20;
    g.width = left.width() + wave.width() + right.width() + 40;
    g.height = top.height() + wave.height() + 150;
    return g;
}

int WidenedWidth(int imageWidth, int xT, int lineWidth, int margin) {
    return xT + lineWidth >= imageWidth ? xT + lineWidth + margin : imageWidth;
}

QFont ExportFont() {
    QFont f(QStringLiteral("Tahoma"), 8);
    f.setStyleHint(QFont::SansSerif);
    return f;
}

QImage ComposeExportImage(const ViewPictures& pictures, const ImageCaption& caption) {
    const QImage& L = pictures.volt;
    const QImage& T = pictures.trigPos;
    const QImage& R = pictures.trigLevel;
    const QImage& Wv = pictures.wave;
    if (Wv.isNull()) {
        return {};
    }
    const ExportLayout g = ComputeExportLayout(L.size(), T.size(), R.size(), Wv.size());

    // Text widths are measured on a picture of the same resolution, so the
    // final width is known before anything is drawn; the image only ever
    // grows to the right, and the new columns are white, so this gives the
    // same picture as widening it line by line.
    QImage probe(1, 1, QImage::Format_RGB32);
    probe.setDotsPerMeterX(kDotsPerMeter);
    probe.setDotsPerMeterY(kDotsPerMeter);
    const QFont regular = ExportFont();
    const QFontMetrics fm(regular, &probe);

    // The first position of each line, in drawing order.
    int y = g.yB + 10;
    y += kLineStep;  // waveform and memory lines
    int width = g.width;
    int channelY = 0, triggerY = 0, timeCursorY = 0, voltCursorY = 0;
    auto widen = [&](const std::optional<std::string>& line, int margin) {
        width = WidenedWidth(width, g.xT, fm.horizontalAdvance(Q(*line)), margin);
    };
    if (caption.channel) {
        y += kLineStep;
        channelY = y;
        // Channel and cursor lines widen the picture as the trigger line
        // does: a clipped caption would no longer document the settings.
        widen(caption.channel, 5);
    }
    if (caption.trigger) {
        y += kLineStep;
        triggerY = y;
        widen(caption.trigger, 5);
    }
    if (caption.timeCursor) {
        y += kLineStep;
        timeCursorY = y;
        widen(caption.timeCursor, 5);
    }
    if (caption.voltCursor && !caption.voltCursor->empty()) {
        y += kLineStep;
        voltCursorY = y;
        widen(caption.voltCursor, 10);
    }
    const int finalHeight = y + 25;

    QImage img(width, std::max(g.height, finalHeight), QImage::Format_RGB32);
    if (img.isNull()) {
        return {};
    }
    img.setDotsPerMeterX(kDotsPerMeter);
    img.setDotsPerMeterY(kDotsPerMeter);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, false);

        CopyRect(p, Ltrb(20, T.height() + 25, L.width() + 20, L.height() + T.height() + 25),
                 GreyToWhite(L), QRect(0, 0, L.width(), L.height()));
        CopyRect(p, Ltrb(g.xR, T.height() + 25, g.xR + R.width(), L.height() + T.height() + 25),
                 GreyToWhite(R), QRect(0, 0, R.width(), R.height()));
        CopyRect(p, Ltrb(g.x0 - 3, 32, g.x0 + T.width() - 4, T.height() + 32), T,
                 Ltrb(0, 0, T.width() - 1, T.height() - 1));
        p.drawImage(QPoint(g.x0, g.y0), Wv);

        p.setPen(Qt::black);
        p.setBackground(Qt::white);
        p.setBackgroundMode(Qt::OpaqueMode);
        QFont bold = regular;
        bold.setBold(true);
        p.setFont(bold);
        TextAt(p, g.xT, 12, Q(caption.title));
        p.setFont(regular);
        const QFontMetrics pm = p.fontMetrics();
        auto right = [&](int ty, const std::string& text) {
            TextAt(p, g.xE - pm.horizontalAdvance(Q(text)), ty, Q(text));
        };
        right(12, caption.dateTime);

        int ty = g.yB + 10;
        TextAt(p, g.xT, ty, Q(caption.sampling));
        right(ty, caption.time);
        ty += kLineStep;
        TextAt(p, g.xT, ty, Q(caption.waveform));
        right(ty, caption.memory);
        if (channelY) {
            TextAt(p, g.xT, channelY, Q(*caption.channel));
        }
        if (triggerY) {
            TextAt(p, g.xT, triggerY, Q(*caption.trigger));
        }
        if (timeCursorY) {
            TextAt(p, g.xT, timeCursorY, Q(*caption.timeCursor));
        }
        if (voltCursorY) {
            TextAt(p, g.xT, voltCursorY, Q(*caption.voltCursor));
        }

        // A one-pixel frame on the waveform area's outermost pixels.
        p.setBackgroundMode(Qt::TransparentMode);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 1));
        p.drawRect(QRect(g.x0, g.y0, Wv.width() - 1, Wv.height() - 1));
    }
    return img.copy(0, 0, width, finalHeight);
}

std::optional<std::vector<std::uint8_t>> EncodeExportImage(const QImage& image,
                                                           ImageFileFormat format) {
    if (image.isNull()) {
        return std::nullopt;
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    ImagePixels view;
    view.width = rgb.width();
    view.height = rgb.height();
    view.stride = static_cast<std::size_t>(rgb.bytesPerLine()) / 4u;
    view.pixels = reinterpret_cast<const std::uint32_t*>(rgb.constBits());
    return format == ImageFileFormat::Jpeg ? EncodeJpeg(view) : EncodeBmp(view);
}

std::string FormatCaptionDateTime(const LocalDateTime& t, const QLocale& locale) {
    const QDate date(t.year, t.month, t.day);
    const QTime time(t.hour, t.minute, t.second);
    QString timeFormat = locale.timeFormat(QLocale::LongFormat);
    // The long time of some locales names the zone; the caption's time is
    // the wall clock's, as on the user's desk.
    timeFormat.remove(QLatin1Char('t'));
    timeFormat = timeFormat.trimmed();
    return (locale.toString(date, QLocale::ShortFormat) + QLatin1Char(' ') +
            locale.toString(time, timeFormat))
        .toStdString();
}

LocalDateTime SystemWallClock::Now() {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()};
}

bool ImageExporter::Export(const ImageExportRequest& request) {
    const ImageCaption caption =
        BuildImageCaption(request.settings, FormatCaptionDateTime(clock_.Now(), locale_));
    const QImage image = ComposeExportImage(request.pictures, caption);
    if (image.isNull()) {
        return Fail();
    }
    const auto bytes = EncodeExportImage(image, ImageFormatForExtension(request.extension));
    if (!bytes) {
        return Fail();
    }
    if (!files_.WriteAtomically(request.fileName, *bytes).ok()) {
        return Fail();
    }
    return true;
}

bool ImageExporter::Fail() {
    messages_.Show(MessageIcon::Error, UiText("Files", kImageSaveCaption),
                   UiText("Files", kImageWriteErrorText));
    return false;
}

}  // namespace lumatrace
