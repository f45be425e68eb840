#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lumatrace {

// Colours stay Windows colour values (0x00BBGGRR) everywhere in the program; only the
// canvas implementation converts them.
using Color = std::uint32_t;

constexpr int ColorRed(Color c) {
    return static_cast<int>(c & 0xFFu);
}
constexpr int ColorGreen(Color c) {
    return static_cast<int>((c >> 8) & 0xFFu);
}
constexpr int ColorBlue(Color c) {
    return static_cast<int>((c >> 16) & 0xFFu);
}
constexpr Color MakeColor(int r, int g, int b) {
    return static_cast<Color>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A line from a to b, both end pixels included.
struct Segment {
    Point a;
    Point b;
    friend bool operator==(const Segment&, const Segment&) = default;
};

// Left and top inclusive, right and bottom exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum class PenStyle {
    Solid,
    Dot,  // three pixels on, three off
};

enum class TextAlign {
    Left,    // x is the left edge of the text
    Center,  // x is the middle of the text
    Right,   // x is the right edge of the text
};

struct Font {
    std::string family = "Tahoma";
    int pixelSize = 11;
    bool bold = false;
    friend bool operator==(const Font&, const Font&) = default;
};

// The one drawing interface of the views. Pen width is always one pixel and nothing is
// antialiased. Lines follow the move-to/line-to model (the current point starts at (0, 0),
// LineTo draws from it and moves it) and paint both end pixels, whatever their direction, so
// segments that share a point join without a gap and a line of no length is one pixel.
class Canvas {
  public:
    virtual ~Canvas() = default;

    virtual int Width() const = 0;
    virtual int Height() const = 0;

    // Fills the whole surface.
    virtual void Clear(Color color) = 0;

    virtual void SetPen(Color color, PenStyle style = PenStyle::Solid) = 0;
    virtual void SetBrush(Color color) = 0;
    virtual void SetFont(const Font& font) = 0;
    virtual void SetTextColor(Color color) = 0;

    virtual void MoveTo(int x, int y) = 0;
    virtual void LineTo(int x, int y) = 0;
    // Independent segments in pen colour and style; the current point is left alone.
    virtual void Lines(const Segment* segments, std::size_t count) = 0;
    virtual void Polyline(const Point* points, std::size_t count) = 0;
    // Filled with the brush and outlined with the pen.
    virtual void Polygon(const Point* points, std::size_t count) = 0;
    // Outline with the pen: columns left..right-1, rows top..bottom-1.
    virtual void FrameRect(const Rect& rect) = 0;
    virtual void FillRect(const Rect& rect, Color color) = 0;
    // Single pixels in pen colour.
    virtual void Points(const Point* points, std::size_t count) = 0;
    virtual void Pixel(int x, int y, Color color) = 0;
    // UTF-8 text in the current font and text colour, transparent background; y is the top.
    virtual void Text(int x, int y, std::string_view utf8, TextAlign align = TextAlign::Left) = 0;
};

}  // namespace lumatrace
