#include "app/settings/PanelArt.h"

#include <cmath>
#include <numbers>

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "app/settings/PanelTexts.h"

namespace lumatrace {

namespace {

QImage Blank(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void Folder(QPainter& p) {
    p.setPen(QPen(QColor(120, 90, 20), 1));
    p.setBrush(QColor(230, 190, 80));
    p.drawRect(QRectF(2.5, 6.5, 18, 14));
    p.drawRect(QRectF(2.5, 4.5, 8, 3));
    QPainterPath flap;
    flap.moveTo(5.5, 10.5);
    flap.lineTo(22.5, 10.5);
    flap.lineTo(19.5, 20.5);
    flap.lineTo(2.5, 20.5);
    flap.closeSubpath();
    p.setBrush(QColor(250, 220, 120));
    p.drawPath(flap);
}

void Disk(QPainter& p) {
    p.setPen(QPen(QColor(20, 40, 90), 1));
    p.setBrush(QColor(50, 90, 170));
    p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
    p.setBrush(QColor(245, 245, 245));
    p.drawRect(QRectF(6.5, 3.5, 11, 7));
    p.setBrush(QColor(180, 185, 195));
    p.drawRect(QRectF(7.5, 13.5, 9, 7));
    p.fillRect(QRectF(13, 15, 2, 4), QColor(40, 40, 40));
}

void Scale(QPainter& p) {
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawLine(QPointF(2.5, 12.5), QPointF(21.5, 12.5));
    p.drawLine(QPointF(12.5, 2.5), QPointF(12.5, 21.5));
    for (int i = 3; i <= 21; i += 3) {
        p.drawLine(QPointF(i + 0.5, 11), QPointF(i + 0.5, 14));
        p.drawLine(QPointF(11, i + 0.5), QPointF(14, i + 0.5));
    }
}

void Grid(QPainter& p) {
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 4.5, 19, 15));
    p.setPen(QPen(QColor(120, 120, 120), 1, Qt::DotLine));
    for (int x = 7; x < 22; x += 5) {
        p.drawLine(QPointF(x + 0.5, 5), QPointF(x + 0.5, 19));
    }
    for (int y = 8; y < 20; y += 4) {
        p.drawLine(QPointF(3, y + 0.5), QPointF(21, y + 0.5));
    }
}

void Cursors(QPainter& p) {
    p.setPen(QPen(QColor(200, 0, 200), 2));
    p.drawLine(QPointF(7, 2), QPointF(7, 22));
    p.setPen(QPen(QColor(200, 0, 200), 2, Qt::DotLine));
    p.drawLine(QPointF(16, 2), QPointF(16, 22));
    p.setPen(QPen(QColor(0, 160, 180), 2));
    p.drawLine(QPointF(2, 8), QPointF(22, 8));
    p.setPen(QPen(QColor(0, 160, 180), 2, Qt::DotLine));
    p.drawLine(QPointF(2, 17), QPointF(22, 17));
}

void Lissajous(QPainter& p) {
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.setBrush(QColor(20, 30, 20));
    p.drawRect(QRectF(2.5, 2.5, 19, 19));
    QPainterPath curve;
    for (int i = 0; i <= 64; ++i) {
        const double t = 2 * std::numbers::pi * i / 64;
        const QPointF pt(12 + 7.5 * std::sin(2 * t), 12 + 7.5 * std::sin(3 * t + 0.5));
        i == 0 ? curve.moveTo(pt) : curve.lineTo(pt);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(80, 240, 80), 1.3));
    p.drawPath(curve);
}

void Spectrum(QPainter& p) {
    p.setPen(QPen(QColor(40, 40, 40), 1));
    p.drawLine(QPointF(2.5, 21.5), QPointF(21.5, 21.5));
    const int heights[] = {5, 16, 9, 12, 4, 7, 3};
    for (int i = 0; i < 7; ++i) {
        p.fillRect(QRectF(3 + i * 2.75, 21 - heights[i], 2, heights[i]), QColor(128, 0, 128));
    }
}

void Palette(QPainter& p) {
    const QColor colors[4] = {QColor(230, 30, 30), QColor(30, 80, 230), QColor(30, 170, 60),
                              QColor(240, 200, 30)};
    for (int i = 0; i < 4; ++i) {
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.setBrush(colors[i]);
        p.drawRect(QRectF(3.5 + (i % 2) * 9, 3.5 + (i / 2) * 9, 8, 8));
    }
}

void Play(QPainter& p, const QColor& color, double left = 5) {
    QPainterPath tri;
    tri.moveTo(left, 4);
    tri.lineTo(left + 14, 12);
    tri.lineTo(left, 20);
    tri.closeSubpath();
    p.setPen(QPen(color.darker(160), 1));
    p.setBrush(color);
    p.drawPath(tri);
}

void Auto(QPainter& p) {
    Play(p, QColor(40, 170, 60), 6);
}

void Stop(QPainter& p) {
    p.setPen(QPen(QColor(120, 10, 10), 1));
    p.setBrush(QColor(210, 40, 40));
    p.drawRoundedRect(QRectF(5.5, 5.5, 13, 13), 1.5, 1.5);
}

void Single(QPainter& p) {
    Play(p, QColor(230, 140, 20), 3);
    p.fillRect(QRectF(18, 4, 3, 16), QColor(120, 70, 10));
}

void Normal(QPainter& p) {
    Play(p, QColor(40, 100, 210), 3);
    // A trigger edge beside the triangle.
    p.setPen(QPen(QColor(20, 40, 90), 1.5));
    p.drawPolyline(QPolygonF({QPointF(16, 20), QPointF(19, 20), QPointF(19, 5), QPointF(22, 5)}));
}

using Painter = void (*)(QPainter&);

Painter PainterFor(std::string_view action) {
    struct Entry {
        std::string_view name;
        Painter paint;
    };
    static constexpr Entry kEntries[] = {
        {"A_Open", Folder}, {"A_Save", Disk},    {"A_Scale", Scale},   {"A_Grid", Grid},
        {"A_Cur", Cursors}, {"A_XY", Lissajous}, {"A_Fft", Spectrum},  {"A_Setup", Palette},
        {"A_Auto", Auto},   {"A_Stop", Stop},    {"A_Single", Single}, {"A_Normal", Normal},
    };
    for (const Entry& e : kEntries) {
        if (e.name == action) {
            return e.paint;
        }
    }
    return nullptr;
}

// The disabled look: grey, lighter, and slightly transparent.
QImage Disabled(const QImage& image) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) {
            const QRgb c = line[x];
            const int gray = 128 + qGray(c) / 2;
            line[x] = qRgba(gray, gray, gray, qAlpha(c) * 3 / 5);
        }
    }
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

QImage ToolImage(std::string_view action, bool enabled) {
    const Painter paint = PainterFor(action);
    if (!paint) {
        return {};
    }
    QImage image = Blank(kToolImageSize, kToolImageSize);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        paint(p);
    }
    return enabled ? image : Disabled(image);
}

QIcon ToolIcon(std::string_view action) {
    QIcon icon;
    const QImage normal = ToolImage(action, true);
    if (normal.isNull()) {
        return icon;
    }
    icon.addPixmap(QPixmap::fromImage(normal), QIcon::Normal);
    icon.addPixmap(QPixmap::fromImage(ToolImage(action, false)), QIcon::Disabled);
    return icon;
}

QImage CursorSelectorGlyph(int index) {
    QImage image = Blank(16, 16);
    QPainter p(&image);
    const bool deltaV = index >= 2;
    const bool firstSelected = index % 2 == 0;
    const QColor color = deltaV ? QColor(0, 150, 170) : QColor(190, 0, 190);
    const QColor dim(150, 150, 150);
    for (int cursor = 0; cursor < 2; ++cursor) {
        const bool selected = (cursor == 0) == firstSelected;
        QPen pen(selected ? color : dim, selected ? 2 : 1,
                 cursor == 0 ? Qt::SolidLine : Qt::DotLine);
        p.setPen(pen);
        const int at = cursor == 0 ? 4 : 11;
        if (deltaV) {
            p.drawLine(1, at, 14, at);
        } else {
            p.drawLine(at, 1, at, 14);
        }
    }
    return image;
}

QImage ProgramImage(int size) {
    QImage image = Blank(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    QLinearGradient body(0, 0, 0, 32);
    body.setColorAt(0, QColor(90, 100, 115));
    body.setColorAt(1, QColor(40, 45, 55));
    p.setPen(QPen(QColor(20, 20, 25), 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1.5, 3.5, 29, 25), 3, 3);
    p.setBrush(QColor(10, 30, 20));
    p.drawRect(QRectF(4.5, 6.5, 23, 17));
    p.setPen(QPen(QColor(40, 90, 60), 0.6));
    for (int i = 1; i < 4; ++i) {
        p.drawLine(QPointF(4.5 + i * 23.0 / 4, 6.5), QPointF(4.5 + i * 23.0 / 4, 23.5));
        p.drawLine(QPointF(4.5, 6.5 + i * 17.0 / 4), QPointF(27.5, 6.5 + i * 17.0 / 4));
    }
    QPainterPath trace;
    for (int i = 0; i <= 40; ++i) {
        const double x = 5 + 22.0 * i / 40;
        const QPointF pt(x, 15 - 6 * std::sin(i / 40.0 * 2 * std::numbers::pi * 1.5));
        i == 0 ? trace.moveTo(pt) : trace.lineTo(pt);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(90, 255, 120), 1.6));
    p.drawPath(trace);
    return image;
}

QImage SplashImage() {
    QImage image(kSplashWidth, kSplashHeight, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient background(0, 0, 0, kSplashHeight);
    background.setColorAt(0, QColor(18, 32, 58));
    background.setColorAt(1, QColor(4, 8, 16));
    p.fillRect(image.rect(), background);

    // A screen with its graticule of 10 x 8 divisions.
    const QRectF screen(40, 150, 459, 200);
    QRadialGradient glow(screen.center(), screen.width() / 1.6);
    glow.setColorAt(0, QColor(16, 44, 30));
    glow.setColorAt(1, QColor(4, 14, 10));
    p.setPen(QPen(QColor(70, 90, 110), 2));
    p.setBrush(glow);
    p.drawRoundedRect(screen.adjusted(-6, -6, 6, 6), 6, 6);
    p.setPen(QPen(QColor(40, 90, 60), 1, Qt::DotLine));
    for (int i = 1; i < 10; ++i) {
        const double x = screen.left() + screen.width() * i / 10;
        p.drawLine(QPointF(x, screen.top()), QPointF(x, screen.bottom()));
    }
    for (int i = 1; i < 8; ++i) {
        const double y = screen.top() + screen.height() * i / 8;
        p.drawLine(QPointF(screen.left(), y), QPointF(screen.right(), y));
    }

    // Two traces: a damped sine and a square wave.
    QPainterPath sine;
    QPainterPath square;
    for (int i = 0; i <= 459; ++i) {
        const double x = screen.left() + i;
        const double t = i / 459.0;
        const double y1 =
            screen.top() + 70 - 48 * std::exp(-1.8 * t) * std::sin(2 * std::numbers::pi * 5.5 * t);
        const double y2 = screen.top() + 150 + ((static_cast<int>(t * 8) % 2) ? -22 : 22);
        i == 0 ? sine.moveTo(x, y1) : sine.lineTo(x, y1);
        i == 0 ? square.moveTo(x, y2) : square.lineTo(x, y2);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 90, 80), 2));
    p.drawPath(sine);
    p.setPen(QPen(QColor(90, 160, 255), 2));
    p.drawPath(square);

    // Titles.
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(58);
    title.setBold(true);
    title.setItalic(true);
    p.setFont(title);
    p.setPen(QColor(235, 240, 250));
    p.drawText(QRectF(36, 28, 480, 70), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Lumatrace"));
    QFont sub = title;
    sub.setPixelSize(20);
    p.setFont(sub);
    p.setPen(QColor(150, 200, 255));
    p.drawText(QRectF(40, 96, 480, 28), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("for ZEP-9100"));
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPixelSize(13);
    p.setFont(small);
    p.setPen(QColor(170, 180, 195));
    p.drawText(QRectF(40, 368, 459, 24), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Digital Storage Oscilloscope Software"));
    p.drawText(QRectF(40, 368, 459, 24), Qt::AlignRight | Qt::AlignVCenter,
               QString::fromUtf8(kProgramVersionText.data(),
                                 static_cast<qsizetype>(kProgramVersionText.size())));
    return image;
}

}  // namespace lumatrace
