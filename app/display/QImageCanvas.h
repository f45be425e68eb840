#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
#include <string>
#include <string_view>
#include <vector>

#include "app/display/Canvas.h"
#include "app/display/PixelRaster.h"

namespace lumatrace {

QColor ToQColor(Color color);

// Canvas over a 32-bit QImage. Lines, points and rectangles are written straight into the
// pixels (PixelRaster), which is both exact and several times faster than QPainter's
// cosmetic stroker on thousands of short trace segments; polygons and text go through a
// QPainter (antialiasing off, one-pixel cosmetic pen), opened when first needed and closed
// before the next direct write.
class QImageCanvas : public Canvas {
  public:
    // The image must outlive the canvas; it is converted to 32-bit RGB if it is not 32-bit.
    explicit QImageCanvas(QImage* image = nullptr);
    ~QImageCanvas() override;
    QImageCanvas(const QImageCanvas&) = delete;
    QImageCanvas& operator=(const QImageCanvas&) = delete;

    void SetImage(QImage* image);
    // Records where the canvas draws (null: not recorded). Sized by the owner.
    void SetDamage(TileDamage* damage) { damage_ = damage; }
    // Closes the painter; call before the image is read, copied or replaced.
    void End();

    int Width() const override;
    int Height() const override;
    void Clear(Color color) override;
    void SetPen(Color color, PenStyle style) override;
    void SetBrush(Color color) override;
    void SetFont(const Font& font) override;
    void SetTextColor(Color color) override;
    void MoveTo(int x, int y) override { current_ = {x, y}; }
    void LineTo(int x, int y) override;
    void Lines(const Segment* segments, std::size_t count) override;
    void Polyline(const Point* points, std::size_t count) override;
    void Polygon(const Point* points, std::size_t count) override;
    void FrameRect(const Rect& rect) override;
    void FillRect(const Rect& rect, Color color) override;
    void Points(const Point* points, std::size_t count) override;
    void Pixel(int x, int y, Color color) override;
    void Text(int x, int y, std::string_view utf8, TextAlign align) override;

  private:
    PixelBuffer Pixels();
    QPainter& Painter();
    void MarkDamage(const QRect& rect);
    void ApplyFont(const Font& font);
    // The picture of a text drawn at (0, 0), or null when its glyphs are not all fully opaque
    // (then only drawing it in place gives the same pixels).
    const QImage* CachedText(std::string_view utf8, TextAlign align, QRect* drawn);

    // Labels are a handful of short texts drawn on every frame; laying them out each time cost
    // more than the rest of the markers. Each is drawn once into a picture of its own and copied
    // after that. Glyphs are not antialiased, so the copy gives exactly the pixels drawing did.
    struct TextPicture {
        std::string text;
        Font font;
        TextAlign align = TextAlign::Left;
        QRgb color = 0;
        QRect drawn;  // relative to the text's anchor
        QImage image;
        bool exact = false;
    };

    QImage* image_ = nullptr;
    TileDamage* damage_ = nullptr;
    QPainter painter_;
    Color pen_ = 0;
    PenStyle penStyle_ = PenStyle::Solid;
    QBrush brush_;
    QFont font_;
    Font fontKey_;
    QColor textColor_;
    std::vector<TextPicture> texts_;
    std::size_t nextText_ = 0;
    Point current_;
    std::vector<QPoint> points_;
};

}  // namespace lumatrace
