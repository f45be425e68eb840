#pragma once

#include <string>
#include <vector>

#include "app/display/Canvas.h"
#include "app/display/ViewLayers.h"

namespace lumatrace {

// Drawing primitive as the recording canvas keeps it. Every line-drawing call (LineTo,
// Lines, Polyline) is stored as one `Line` entry per segment, with the pen in force, so
// that tests compare what was drawn rather than how the calls were batched.
struct CanvasOp {
    enum class Kind { Clear, Line, Polygon, Frame, Fill, Points, Text };
    Kind kind = Kind::Clear;
    Color color = 0;  // pen colour (fill colour for Clear, Fill and the Pixel call)
    PenStyle style = PenStyle::Solid;
    Color brush = 0;            // Polygon only
    std::vector<Point> points;  // Line: the two ends; Polygon, Points: all of them
    Rect rect;                  // Frame, Fill
    std::string text;           // Text
    TextAlign align = TextAlign::Left;
    Font font;  // Text
};

class RecordingCanvas : public Canvas {
  public:
    RecordingCanvas(int width = 0, int height = 0) : width_(width), height_(height) {}

    void Resize(int width, int height) {
        width_ = width;
        height_ = height;
    }
    void Reset() { ops_.clear(); }

    const std::vector<CanvasOp>& Ops() const { return ops_; }
    // The line segments drawn, in order, optionally only those of one pen colour.
    std::vector<Segment> SegmentsDrawn() const;
    std::vector<Segment> SegmentsDrawn(Color pen) const;

    int Width() const override { return width_; }
    int Height() const override { return height_; }
    void Clear(Color color) override;
    void SetPen(Color color, PenStyle style) override;
    void SetBrush(Color color) override { brush_ = color; }
    void SetFont(const Font& font) override { font_ = font; }
    void SetTextColor(Color color) override { textColor_ = color; }
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
    void AddLine(Point a, Point b);

    int width_;
    int height_;
    Color pen_ = 0;
    PenStyle style_ = PenStyle::Solid;
    Color brush_ = 0xFFFFFF;
    Color textColor_ = 0;
    Font font_;
    Point current_;
    std::vector<CanvasOp> ops_;
};

// Five recording canvases standing in for the view's pictures, plus a log of the copies.
class RecordingSurfaces : public ViewSurfaces {
  public:
    enum class Event { CopyGridToWave, Present };

    // Sizes the wave and grid canvases from the wave picture and the strips as given.
    void Resize(const ViewImageSizes& sizes);

    Canvas& CanvasFor(ViewImage image) override;
    void CopyGridToWave() override { events_.push_back(Event::CopyGridToWave); }
    void Present() override { events_.push_back(Event::Present); }

    RecordingCanvas& Recorder(ViewImage image);
    const std::vector<Event>& Events() const { return events_; }
    void Reset();

  private:
    RecordingCanvas canvases_[kViewImageCount];
    std::vector<Event> events_;
};

}  // namespace lumatrace
