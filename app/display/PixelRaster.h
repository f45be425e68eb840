#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/display/Canvas.h"

namespace lumatrace {

// Where a picture has been drawn on since the last Clean(): 16 x 16 tiles, and the exact runs
// of pixels that long straight stretches of lines painted. Lets a picture that is restored
// from a cached background every redraw restore only what was drawn over; a trace across a
// wide picture touches a few pixels of most tiles, and its runs are far smaller than them.
class TileDamage {
  public:
    static constexpr int kTileShift = 4;
    static constexpr int kTileSize = 1 << kTileShift;
    // Runs kept per Clean(); past this the picture counts as drawn on everywhere.
    static constexpr std::size_t kMaxRuns = 1 << 18;

    // One row (vertical = false: pixels first..last of row `at`) or one column (pixels
    // first..last of column `at`), inside the picture.
    struct Run {
        int at = 0;
        int first = 0;
        int last = 0;
        bool vertical = false;
    };

    // Sizes the map for a picture; everything counts as drawn on.
    void Reset(int width, int height);
    void MarkAll() { all_ = true; }
    void Mark(int x, int y) {
        tiles_[static_cast<std::size_t>((y >> kTileShift) * tilesX_ + (x >> kTileShift))] = 1;
    }
    // Columns left..right-1 of rows top..bottom-1, clipped to the picture.
    void MarkRect(int left, int top, int right, int bottom);
    // Rows top..bottom of column x, and columns left..right of row y; both inside the picture.
    void MarkColumn(int x, int top, int bottom) { AddRun({x, top, bottom, true}); }
    void MarkRow(int y, int left, int right) { AddRun({y, left, right, false}); }
    void Clean();

    bool All() const { return all_; }
    int TilesX() const { return tilesX_; }
    int TilesY() const { return tilesY_; }
    bool Dirty(int tileX, int tileY) const {
        return all_ || tiles_[static_cast<std::size_t>(tileY * tilesX_ + tileX)] != 0;
    }
    // The runs marked since the last Clean(), unless everything counts as drawn on.
    const std::vector<Run>& Runs() const { return runs_; }

  private:
    void AddRun(const Run& run) {
        // A trace paints its column bar and the steps into and out of it one after the other:
        // runs that touch or overlap the last one on the same column or row join it.
        if (!runs_.empty()) {
            Run& last = runs_.back();
            if (last.vertical == run.vertical && last.at == run.at && run.first <= last.last + 1 &&
                run.last >= last.first - 1) {
                last.first = run.first < last.first ? run.first : last.first;
                last.last = run.last > last.last ? run.last : last.last;
                return;
            }
        }
        if (runs_.size() < kMaxRuns)
            runs_.push_back(run);
        else
            all_ = true;
    }

    int width_ = 0;
    int height_ = 0;
    int tilesX_ = 0;
    int tilesY_ = 0;
    bool all_ = true;
    std::vector<std::uint8_t> tiles_;
    std::vector<Run> runs_;
};

// A 32-bit picture in memory (one word per pixel, rows `stride` words apart), optionally
// recording where it is drawn on.
struct PixelBuffer {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    TileDamage* damage = nullptr;
};

// Pixel value of a 32-bit RGB picture (0xFFRRGGBB) for a colour value (0x00BBGGRR).
constexpr std::uint32_t PixelValue(Color c) {
    return 0xFF000000u | (static_cast<std::uint32_t>(ColorRed(c)) << 16) |
           (static_cast<std::uint32_t>(ColorGreen(c)) << 8) |
           static_cast<std::uint32_t>(ColorBlue(c));
}

// One-pixel line from a to b, both ends included. Along the longer axis every position from
// one end to the other gets one pixel; the other coordinate is the exact one rounded half up
// from the end with the smaller coordinate, so a line paints the same pixels in either
// direction. Dotted lines paint three pixels and skip three, counted from that same end.
// Anything outside the picture is clipped; far-away ends cost nothing extra (coordinates
// beyond +-2^29 are pulled in to that range).
void RasterLine(const PixelBuffer& buffer, Segment line, std::uint32_t value, bool dotted = false);

// Solid lines of one colour: the pixels RasterLine paints for each. Lines within one column
// or between neighbouring columns (a trace of more samples than pixels: its bars and the steps
// between them) are first joined into one span per column where their pixels touch, and each
// span is painted once; the others are drawn one by one.
void RasterLines(const PixelBuffer& buffer, const Segment* lines, std::size_t count,
                 std::uint32_t value);

void RasterPoint(const PixelBuffer& buffer, Point p, std::uint32_t value);

// Fills columns left..right-1 of rows top..bottom-1, clipped.
void RasterFill(const PixelBuffer& buffer, const Rect& rect, std::uint32_t value);

}  // namespace lumatrace
