#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/display/Canvas.h"

namespace lumatrace {

// Which 16 x 16 tiles of a picture have been drawn on since the last Clean(). Lets a picture
// that is restored from a cached background every redraw restore only what was drawn over.
class TileDamage {
  public:
    static constexpr int kTileShift = 4;
    static constexpr int kTileSize = 1 << kTileShift;

    // Sizes the map for a picture; everything counts as drawn on.
    void Reset(int width, int height);
    void MarkAll() { all_ = true; }
    void Mark(int x, int y) {
        tiles_[static_cast<std::size_t>((y >> kTileShift) * tilesX_ + (x >> kTileShift))] = 1;
    }
    // Columns left..right-1 of rows top..bottom-1, clipped to the picture.
    void MarkRect(int left, int top, int right, int bottom);
    void Clean();

    bool All() const { return all_; }
    int TilesX() const { return tilesX_; }
    int TilesY() const { return tilesY_; }
    bool Dirty(int tileX, int tileY) const {
        return all_ || tiles_[static_cast<std::size_t>(tileY * tilesX_ + tileX)] != 0;
    }

  private:
    int width_ = 0;
    int height_ = 0;
    int tilesX_ = 0;
    int tilesY_ = 0;
    bool all_ = true;
    std::vector<std::uint8_t> tiles_;
};

// The one-pixel lines and points drawn on a picture since it was last restored, so that a
// restore can put back exactly their pixels: a trace across a wide picture touches a few
// pixels of nearly every tile, and copying those pixels back costs a fraction of copying
// the tiles.
class LineLog {
  public:
    struct Entry {
        Segment line;  // a point is a line from itself to itself
        bool dotted;
    };
    // Beyond this many lines a restore copies the damaged tiles instead.
    static constexpr std::size_t kMaxEntries = std::size_t{1} << 20;

    void Add(Segment line, bool dotted) {
        if (entries_.size() < kMaxEntries) {
            entries_.push_back({line, dotted});
        } else {
            overflow_ = true;
        }
    }
    bool Overflow() const { return overflow_; }
    const std::vector<Entry>& Entries() const { return entries_; }
    void Clear() {
        entries_.clear();
        overflow_ = false;
    }

  private:
    std::vector<Entry> entries_;
    bool overflow_ = false;
};

// A 32-bit picture in memory (one word per pixel, rows `stride` words apart), optionally
// recording where it is drawn on: lines and points in `lines` when given (else as tile
// damage), everything else as tile damage.
struct PixelBuffer {
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    TileDamage* damage = nullptr;
    LineLog* lines = nullptr;
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

void RasterPoint(const PixelBuffer& buffer, Point p, std::uint32_t value);

// Copies back from `source` (a picture of the same size and stride) exactly the pixels the
// logged lines and points painted on `buffer`; its damage and log are not touched.
void RestoreLoggedLines(const PixelBuffer& buffer, const std::uint32_t* source, const LineLog& log);

// Fills columns left..right-1 of rows top..bottom-1, clipped.
void RasterFill(const PixelBuffer& buffer, const Rect& rect, std::uint32_t value);

}  // namespace lumatrace
