#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPoint>
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

    QImage* image_ = nullptr;
    TileDamage* damage_ = nullptr;
    QPainter painter_;
    Color pen_ = 0;
    PenStyle penStyle_ = PenStyle::Solid;
    QBrush brush_;
    QFont font_;
    QColor textColor_;
    Point current_;
    std::vector<QPoint> points_;
};

}  // namespace lumatrace
