#include "app/display/QImageCanvas.h"

#include <QPainter>
#include <QRect>
#include <QString>
#include <algorithm>

namespace lumatrace {

QColor ToQColor(Color color) {
    return QColor(ColorRed(color), ColorGreen(color), ColorBlue(color));
}

namespace {

QPen MakePen(Color color) {
    QPen pen(ToQColor(color));
    pen.setWidth(1);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::SquareCap);  // both end pixels, as the canvas's lines
    pen.setJoinStyle(Qt::MiterJoin);
    return pen;
}

}  // namespace

QImageCanvas::QImageCanvas(QImage* image) : brush_(Qt::white), textColor_(Qt::black) {
    ApplyFont(Font{});
    SetImage(image);
}

QImageCanvas::~QImageCanvas() {
    End();
}

void QImageCanvas::SetImage(QImage* image) {
    End();
    image_ = image;
    if (image_ && !image_->isNull() && image_->depth() != 32) {
        *image_ = image_->convertToFormat(QImage::Format_RGB32);
    }
}

void QImageCanvas::End() {
    if (painter_.isActive()) {
        painter_.end();
    }
}

PixelBuffer QImageCanvas::Pixels() {
    End();
    if (!image_ || image_->isNull()) {
        return {};
    }
    // bits() detaches a shared image, so a copy someone holds is never written.
    return PixelBuffer{reinterpret_cast<std::uint32_t*>(image_->bits()), image_->width(),
                       image_->height(), image_->bytesPerLine() / 4, damage_};
}

void QImageCanvas::MarkDamage(const QRect& r) {
    if (damage_) {
        damage_->MarkRect(r.left(), r.top(), r.right() + 1, r.bottom() + 1);
    }
}

QPainter& QImageCanvas::Painter() {
    if (!painter_.isActive() && image_ && !image_->isNull()) {
        painter_.begin(image_);
        painter_.setRenderHint(QPainter::Antialiasing, false);
        painter_.setRenderHint(QPainter::TextAntialiasing, false);
        painter_.setPen(MakePen(pen_));
        painter_.setBrush(brush_);
        painter_.setFont(font_);
    }
    return painter_;
}

int QImageCanvas::Width() const {
    return image_ ? image_->width() : 0;
}

int QImageCanvas::Height() const {
    return image_ ? image_->height() : 0;
}

void QImageCanvas::Clear(Color color) {
    if (!image_) {
        return;
    }
    End();
    image_->fill(ToQColor(color));
    if (damage_) {
        damage_->MarkAll();
    }
}

void QImageCanvas::SetPen(Color color, PenStyle style) {
    pen_ = color;
    penStyle_ = style;
    if (painter_.isActive()) {
        painter_.setPen(MakePen(pen_));
    }
}

void QImageCanvas::SetBrush(Color color) {
    brush_ = QBrush(ToQColor(color));
    if (painter_.isActive()) {
        painter_.setBrush(brush_);
    }
}

void QImageCanvas::SetFont(const Font& font) {
    if (font == fontKey_) {
        return;
    }
    ApplyFont(font);
}

void QImageCanvas::ApplyFont(const Font& font) {
    fontKey_ = font;
    font_ = QFont(QString::fromStdString(font.family));
    font_.setPixelSize(font.pixelSize > 0 ? font.pixelSize : 11);
    font_.setBold(font.bold);
    font_.setStyleStrategy(QFont::NoAntialias);
    if (painter_.isActive()) {
        painter_.setFont(font_);
    }
}

void QImageCanvas::SetTextColor(Color color) {
    textColor_ = ToQColor(color);
}

void QImageCanvas::LineTo(int x, int y) {
    const Segment s{current_, {x, y}};
    Lines(&s, 1);
    current_ = {x, y};
}

void QImageCanvas::Lines(const Segment* segments, std::size_t count) {
    const PixelBuffer pixels = Pixels();
    if (!pixels.pixels) {
        return;
    }
    const std::uint32_t value = PixelValue(pen_);
    if (penStyle_ == PenStyle::Dot) {
        for (std::size_t i = 0; i < count; ++i) {
            RasterLine(pixels, segments[i], value, true);
        }
        return;
    }
    RasterLines(pixels, segments, count, value);
}

void QImageCanvas::Polyline(const Point* points, std::size_t count) {
    if (count == 0) {
        return;
    }
    const PixelBuffer pixels = Pixels();
    if (!pixels.pixels) {
        return;
    }
    const std::uint32_t value = PixelValue(pen_);
    const bool dotted = penStyle_ == PenStyle::Dot;
    if (count == 1) {
        RasterPoint(pixels, points[0], value);
    }
    for (std::size_t i = 1; i < count; ++i) {
        RasterLine(pixels, {points[i - 1], points[i]}, value, dotted);
    }
}

void QImageCanvas::Polygon(const Point* points, std::size_t count) {
    if (count < 3) {
        return;
    }
    points_.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        points_[i] = QPoint(points[i].x, points[i].y);
    }
    QPainter& p = Painter();
    if (p.isActive()) {
        p.drawPolygon(points_.data(), static_cast<int>(count));
        int left = points[0].x, right = points[0].x, top = points[0].y, bottom = points[0].y;
        for (std::size_t i = 1; i < count; ++i) {
            left = std::min(left, points[i].x);
            right = std::max(right, points[i].x);
            top = std::min(top, points[i].y);
            bottom = std::max(bottom, points[i].y);
        }
        MarkDamage(QRect(QPoint(left - 1, top - 1), QPoint(right + 1, bottom + 1)));
    }
}

void QImageCanvas::FrameRect(const Rect& r) {
    if (r.right - r.left < 1 || r.bottom - r.top < 1) {
        return;
    }
    const int x1 = r.right - 1;
    const int y1 = r.bottom - 1;
    const Segment edges[4] = {{{r.left, r.top}, {x1, r.top}},
                              {{x1, r.top}, {x1, y1}},
                              {{x1, y1}, {r.left, y1}},
                              {{r.left, y1}, {r.left, r.top}}};
    const PenStyle style = penStyle_;
    penStyle_ = PenStyle::Solid;
    Lines(edges, 4);
    penStyle_ = style;
}

void QImageCanvas::FillRect(const Rect& r, Color color) {
    const PixelBuffer pixels = Pixels();
    if (pixels.pixels) {
        RasterFill(pixels, r, PixelValue(color));
    }
}

void QImageCanvas::Points(const Point* points, std::size_t count) {
    const PixelBuffer pixels = Pixels();
    if (!pixels.pixels) {
        return;
    }
    const std::uint32_t value = PixelValue(pen_);
    for (std::size_t i = 0; i < count; ++i) {
        RasterPoint(pixels, points[i], value);
    }
}

void QImageCanvas::Pixel(int x, int y, Color color) {
    const PixelBuffer pixels = Pixels();
    if (pixels.pixels) {
        RasterPoint(pixels, {x, y}, PixelValue(color));
    }
}

namespace {

constexpr std::size_t kTextPictures = 32;

// Where drawing a text anchored at (x, y) puts it: a box far larger than any label, aligned.
QRect TextBox(int x, int y, TextAlign align, int* flags) {
    constexpr int kBox = 4096;
    *flags = Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    switch (align) {
        case TextAlign::Left:
            *flags |= Qt::AlignLeft;
            return QRect(x, y, kBox, kBox);
        case TextAlign::Center:
            *flags |= Qt::AlignHCenter;
            return QRect(x - kBox / 2, y, kBox, kBox);
        case TextAlign::Right:
            *flags |= Qt::AlignRight;
            return QRect(x - kBox, y, kBox, kBox);
    }
    return QRect(x, y, kBox, kBox);
}

}  // namespace

const QImage* QImageCanvas::CachedText(std::string_view utf8, TextAlign align, QRect* drawn) {
    const QRgb color = textColor_.rgb();
    for (const TextPicture& t : texts_) {
        if (t.align == align && t.color == color && t.text == utf8 && t.font == fontKey_) {
            *drawn = t.drawn;
            return t.exact ? &t.image : nullptr;
        }
    }
    TextPicture t;
    t.text.assign(utf8);
    t.font = fontKey_;
    t.align = align;
    t.color = color;
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    int flags = 0;
    const QRect box = TextBox(0, 0, align, &flags);
    {
        // Where it lands, then the picture: the box moved by whole pixels draws the same glyphs.
        QImage probe(1, 1, QImage::Format_ARGB32_Premultiplied);
        QPainter p(&probe);
        p.setFont(font_);
        t.drawn = p.boundingRect(box, flags, text);
    }
    t.image = QImage(std::max(1, t.drawn.width()), std::max(1, t.drawn.height()),
                     QImage::Format_ARGB32_Premultiplied);
    t.image.fill(Qt::transparent);
    QRect painted;
    {
        QPainter p(&t.image);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setFont(font_);
        p.setPen(textColor_);
        p.drawText(box.translated(-t.drawn.topLeft()), flags, text, &painted);
    }
    t.exact = painted.translated(t.drawn.topLeft()) == t.drawn;
    for (int row = 0; t.exact && row < t.image.height(); ++row) {
        const auto* line = reinterpret_cast<const QRgb*>(t.image.constScanLine(row));
        for (int col = 0; col < t.image.width(); ++col) {
            const int alpha = qAlpha(line[col]);
            if (alpha != 0 && alpha != 255) {
                t.exact = false;
                break;
            }
        }
    }
    std::size_t slot = texts_.size();
    if (slot < kTextPictures) {
        texts_.push_back(std::move(t));
    } else {
        slot = nextText_;
        nextText_ = (nextText_ + 1) % kTextPictures;
        texts_[slot] = std::move(t);
    }
    *drawn = texts_[slot].drawn;
    return texts_[slot].exact ? &texts_[slot].image : nullptr;
}

void QImageCanvas::Text(int x, int y, std::string_view utf8, TextAlign align) {
    QPainter& p = Painter();
    if (!p.isActive()) {
        return;
    }
    QRect drawn;
    if (const QImage* picture = CachedText(utf8, align, &drawn)) {
        drawn.translate(x, y);
        p.drawImage(drawn.topLeft(), *picture);
        MarkDamage(drawn.adjusted(-1, -1, 1, 1));
        return;
    }
    int flags = 0;
    const QRect box = TextBox(x, y, align, &flags);
    p.setPen(textColor_);
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    p.drawText(box, flags, text, &drawn);
    MarkDamage(drawn.adjusted(-1, -1, 1, 1));
    p.setPen(MakePen(pen_));
}

}  // namespace lumatrace
