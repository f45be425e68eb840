#include "app/display/RecordingCanvas.h"

namespace lumatrace {

std::vector<Segment> RecordingCanvas::SegmentsDrawn() const {
    std::vector<Segment> out;
    for (const CanvasOp& op : ops_) {
        if (op.kind == CanvasOp::Kind::Line)
            out.push_back({op.points[0], op.points[1]});
    }
    return out;
}

std::vector<Segment> RecordingCanvas::SegmentsDrawn(Color pen) const {
    std::vector<Segment> out;
    for (const CanvasOp& op : ops_) {
        if (op.kind == CanvasOp::Kind::Line && op.color == pen) {
            out.push_back({op.points[0], op.points[1]});
        }
    }
    return out;
}

void RecordingCanvas::Clear(Color color) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Clear;
    op.color = color;
    ops_.push_back(op);
}

void RecordingCanvas::SetPen(Color color, PenStyle style) {
    pen_ = color;
    style_ = style;
}

void RecordingCanvas::AddLine(Point a, Point b) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Line;
    op.color = pen_;
    op.style = style_;
    op.points = {a, b};
    ops_.push_back(std::move(op));
}

void RecordingCanvas::LineTo(int x, int y) {
    AddLine(current_, {x, y});
    current_ = {x, y};
}

void RecordingCanvas::Lines(const Segment* segments, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        AddLine(segments[i].a, segments[i].b);
}

void RecordingCanvas::Polyline(const Point* points, std::size_t count) {
    for (std::size_t i = 1; i < count; ++i)
        AddLine(points[i - 1], points[i]);
}

void RecordingCanvas::Polygon(const Point* points, std::size_t count) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Polygon;
    op.color = pen_;
    op.brush = brush_;
    op.points.assign(points, points + count);
    ops_.push_back(std::move(op));
}

void RecordingCanvas::FrameRect(const Rect& rect) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Frame;
    op.color = pen_;
    op.style = style_;
    op.rect = rect;
    ops_.push_back(op);
}

void RecordingCanvas::FillRect(const Rect& rect, Color color) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Fill;
    op.color = color;
    op.rect = rect;
    ops_.push_back(op);
}

void RecordingCanvas::Points(const Point* points, std::size_t count) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Points;
    op.color = pen_;
    op.points.assign(points, points + count);
    ops_.push_back(std::move(op));
}

void RecordingCanvas::Pixel(int x, int y, Color color) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Points;
    op.color = color;
    op.points = {{x, y}};
    ops_.push_back(std::move(op));
}

void RecordingCanvas::Text(int x, int y, std::string_view utf8, TextAlign align) {
    CanvasOp op;
    op.kind = CanvasOp::Kind::Text;
    op.color = textColor_;
    op.points = {{x, y}};
    op.text = std::string(utf8);
    op.align = align;
    op.font = font_;
    ops_.push_back(std::move(op));
}

void RecordingSurfaces::Resize(const ViewImageSizes& sizes) {
    for (int i = 0; i < kViewImageCount; ++i) {
        const ImageSize s = sizes.Of(static_cast<ViewImage>(i));
        canvases_[i].Resize(s.width, s.height);
    }
}

Canvas& RecordingSurfaces::CanvasFor(ViewImage image) {
    return Recorder(image);
}

RecordingCanvas& RecordingSurfaces::Recorder(ViewImage image) {
    return canvases_[static_cast<int>(image)];
}

void RecordingSurfaces::Reset() {
    for (RecordingCanvas& c : canvases_)
        c.Reset();
    events_.clear();
}

}  // namespace lumatrace
