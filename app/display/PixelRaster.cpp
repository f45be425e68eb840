#include "app/display/PixelRaster.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace lumatrace {

namespace {

// Keeps the exact arithmetic inside 64 bits; no picture comes near these coordinates.
constexpr int kFar = 1 << 29;

// Walks the line along its major axis. Major and minor coordinates are swapped for
// steep lines; `plot` receives picture coordinates, `run(n, from, to)` the pixels of major
// coordinates from..to (inclusive) at minor coordinate n, for solid lines that stay long on
// one minor coordinate.
template <typename Plot, typename Run>
void Walk(Point a, Point b, bool steep, int majorLimit, int minorLimit, bool dotted, Plot plot,
          Run run) {
    int m0 = steep ? a.y : a.x;
    int n0 = steep ? a.x : a.y;
    int m1 = steep ? b.y : b.x;
    int n1 = steep ? b.x : b.y;
    if (m1 < m0) {
        std::swap(m0, m1);
        std::swap(n0, n1);
    }
    const std::int64_t dm = std::int64_t{m1} - m0;  // >= |dn|, > 0
    const std::int64_t dn = std::int64_t{n1} - n0;
    const std::int64_t first = std::max<std::int64_t>(m0, 0);
    const std::int64_t last = std::min<std::int64_t>(m1, majorLimit - 1);
    if (first > last)
        return;
    // minor(m) = n0 + floor(((m - m0) * 2 dn + dm) / (2 dm)), kept as quotient and remainder.
    const std::int64_t den = 2 * dm;
    std::int64_t num = (first - m0) * 2 * dn + dm;
    std::int64_t q = num / den;
    std::int64_t r = num % den;
    if (r < 0) {
        r += den;
        --q;
    }
    std::int64_t n = n0 + q;
    const std::int64_t step = 2 * dn;
    // After the remainder has moved by at most one step's worth past [0, den): back into it,
    // the minor coordinate following.
    auto carry = [&] {
        if (r >= den) {
            r -= den;
            ++n;
        } else if (r < 0) {
            r += den;
            --n;
        }
    };
    if (!dotted && step != 0 && dm >= 4 * (dn < 0 ? -dn : dn)) {
        // Runs of at least four pixels share a minor coordinate: the length of each run comes
        // from the remainder in one division, and the run is painted as one (see `run`).
        for (std::int64_t m = first; m <= last;) {
            // Pixels before the remainder leaves [0, den): while r + j * step stays inside.
            const std::int64_t more = step > 0 ? (den - 1 - r) / step : r / -step;
            const std::int64_t end = std::min(last, m + more);
            if (n >= 0 && n < minorLimit)
                run(static_cast<int>(n), static_cast<int>(m), static_cast<int>(end));
            r += (end - m + 1) * step;
            carry();
            m = end + 1;
        }
        return;
    }
    for (std::int64_t m = first; m <= last; ++m) {
        if (n >= 0 && n < minorLimit && (!dotted || ((m - m0) / 3) % 2 == 0)) {
            plot(static_cast<int>(steep ? n : m), static_cast<int>(steep ? m : n));
        }
        r += step;
        carry();
    }
}

}  // namespace

void RasterLine(const PixelBuffer& buffer, Segment line, std::uint32_t value, bool dotted) {
    auto limit = [](Point p) {
        return Point{std::clamp(p.x, -kFar, kFar), std::clamp(p.y, -kFar, kFar)};
    };
    const Point a = limit(line.a);
    const Point b = limit(line.b);
    if (a == b) {
        RasterPoint(buffer, a, value);
        return;
    }
    if (!dotted && (a.x == b.x || a.y == b.y)) {
        // Envelope bars, grid lines, ticks and frames: straight runs without stepping.
        const Rect run{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x) + 1,
                       std::max(a.y, b.y) + 1};
        const int left = std::max(run.left, 0);
        const int right = std::min(run.right, buffer.width);
        const int top = std::max(run.top, 0);
        const int bottom = std::min(run.bottom, buffer.height);
        if (left >= right || top >= bottom) {
            return;
        }
        std::uint32_t* p = buffer.pixels + top * buffer.stride + left;
        if (left + 1 == right) {
            if (buffer.damage)
                buffer.damage->MarkColumn(left, top, bottom - 1);
            for (int y = top; y < bottom; ++y, p += buffer.stride) {
                *p = value;
            }
        } else {
            if (buffer.damage)
                buffer.damage->MarkRow(top, left, right - 1);
            std::fill(p, p + (right - left), value);
        }
        return;
    }
    const std::int64_t adx = std::abs(std::int64_t{b.x} - a.x);
    const std::int64_t ady = std::abs(std::int64_t{b.y} - a.y);
    const bool steep = ady > adx;
    TileDamage* damage = buffer.damage;
    auto plot = [&](int x, int y) {
        buffer.pixels[y * buffer.stride + x] = value;
        if (damage) {
            damage->Mark(x, y);
        }
    };
    const std::ptrdiff_t stride = buffer.stride;
    if (steep) {
        auto column = [&](int x, int top, int bottom) {
            std::uint32_t* p = buffer.pixels + top * stride + x;
            for (int y = top; y <= bottom; ++y, p += stride)
                *p = value;
            if (damage)
                damage->MarkColumn(x, top, bottom);
        };
        Walk(a, b, true, buffer.height, buffer.width, dotted, plot, column);
    } else {
        auto row = [&](int y, int left, int right) {
            std::uint32_t* p = buffer.pixels + y * stride;
            std::fill(p + left, p + right + 1, value);
            if (damage)
                damage->MarkRow(y, left, right);
        };
        Walk(a, b, false, buffer.width, buffer.height, dotted, plot, row);
    }
}

namespace {

// Coordinates RasterLine takes as they are (it pulls far-away ends in, which moves the line).
constexpr int kSpanLimit = 1 << 28;

// The runs of pixels lines paint in each column, joined while they touch. Two columns are
// held: a trace's steps go from one column to the next, so a column is finished once a line
// reaches the column after the next, and a column's pixels, which lie in as many cache lines,
// are then written in one go.
class ColumnSpans {
  public:
    ColumnSpans(const PixelBuffer& buffer, std::uint32_t value) : buffer_(buffer), value_(value) {}

    // Rows top..bottom of column x.
    void Add(int x, int top, int bottom) {
        Span* slot = nullptr;
        for (Span& h : held_) {
            if (h.used && h.x == x) {
                if (top <= h.bottom + 1 && bottom >= h.top - 1) {
                    h.top = std::min(h.top, top);
                    h.bottom = std::max(h.bottom, bottom);
                    return;
                }
                slot = &h;  // apart from what the column holds: paint that, keep the new run
                break;
            }
        }
        if (!slot) {
            if (!held_[0].used)
                slot = &held_[0];
            else if (!held_[1].used)
                slot = &held_[1];
            else
                slot = held_[0].x < held_[1].x ? &held_[0] : &held_[1];
        }
        if (slot->used)
            Paint(*slot);
        *slot = {x, top, bottom, true};
    }

    // Whether the line is one this joins: along one column or between neighbouring columns,
    // with coordinates RasterLine does not pull in.
    static bool Joins(const Segment& line) {
        const int dx = line.b.x - line.a.x;
        auto near = [](int v) { return v > -kSpanLimit && v < kSpanLimit; };
        return dx >= -1 && dx <= 1 && near(line.a.x) && near(line.a.y) && near(line.b.x) &&
               near(line.b.y);
    }

    // The run RasterLine paints in each column the line touches.
    void AddLine(Point a, Point b) {
        if (a.x == b.x) {
            Add(a.x, std::min(a.y, b.y), std::max(a.y, b.y));
            return;
        }
        const int dy = b.y - a.y;
        if (dy >= -1 && dy <= 1) {
            // Not steep: one pixel in either column, on its end's row.
            Add(a.x, a.y, a.y);
            Add(b.x, b.y, b.y);
            return;
        }
        // Steep: stepping down the rows from the upper end, the exact column rounded half up
        // from that end moves to the other column half way down (RasterLine's rule).
        const Point upper = dy > 0 ? a : b;
        const Point lower = dy > 0 ? b : a;
        const int rows = lower.y - upper.y;
        const int lastUpper = lower.x > upper.x ? upper.y + (rows + 1) / 2 - 1 : upper.y + rows / 2;
        Add(upper.x, upper.y, lastUpper);
        Add(lower.x, lastUpper + 1, lower.y);
    }

    void Flush() {
        for (Span& h : held_) {
            if (h.used)
                Paint(h);
            h.used = false;
        }
    }

  private:
    struct Span {
        int x = 0;
        int top = 0;
        int bottom = 0;
        bool used = false;
    };
    void Paint(const Span& h) const {
        RasterLine(buffer_, {{h.x, h.top}, {h.x, h.bottom}}, value_);
    }

    const PixelBuffer& buffer_;
    std::uint32_t value_;
    Span held_[2];
};

}  // namespace

void RasterLines(const PixelBuffer& buffer, const Segment* lines, std::size_t count,
                 std::uint32_t value) {
    // One colour: the order in which the pixels are painted does not change the picture.
    ColumnSpans spans(buffer, value);
    for (std::size_t i = 0; i < count; ++i) {
        if (ColumnSpans::Joins(lines[i]))
            spans.AddLine(lines[i].a, lines[i].b);
        else
            RasterLine(buffer, lines[i], value);
    }
    spans.Flush();
}

void RasterPoint(const PixelBuffer& buffer, Point p, std::uint32_t value) {
    if (p.x < 0 || p.y < 0 || p.x >= buffer.width || p.y >= buffer.height)
        return;
    buffer.pixels[p.y * buffer.stride + p.x] = value;
    if (buffer.damage) {
        buffer.damage->Mark(p.x, p.y);
    }
}

void RasterFill(const PixelBuffer& buffer, const Rect& rect, std::uint32_t value) {
    const int left = std::max(rect.left, 0);
    const int right = std::min(rect.right, buffer.width);
    const int top = std::max(rect.top, 0);
    const int bottom = std::min(rect.bottom, buffer.height);
    if (left >= right || top >= bottom)
        return;
    if (buffer.damage) {
        buffer.damage->MarkRect(left, top, right, bottom);
    }
    for (int y = top; y < bottom; ++y) {
        std::uint32_t* row = buffer.pixels + y * buffer.stride;
        std::fill(row + left, row + right, value);
    }
}

void TileDamage::Reset(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    tilesX_ = (width_ + kTileSize - 1) >> kTileShift;
    tilesY_ = (height_ + kTileSize - 1) >> kTileShift;
    tiles_.assign(static_cast<std::size_t>(tilesX_) * tilesY_, 0);
    runs_.clear();
    all_ = true;
}

void TileDamage::MarkRect(int left, int top, int right, int bottom) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width_);
    bottom = std::min(bottom, height_);
    if (left >= right || top >= bottom) {
        return;
    }
    for (int ty = top >> kTileShift; ty <= (bottom - 1) >> kTileShift; ++ty) {
        for (int tx = left >> kTileShift; tx <= (right - 1) >> kTileShift; ++tx) {
            tiles_[static_cast<std::size_t>(ty * tilesX_ + tx)] = 1;
        }
    }
}

void TileDamage::Clean() {
    std::fill(tiles_.begin(), tiles_.end(), std::uint8_t{0});
    runs_.clear();
    all_ = false;
}

}  // namespace lumatrace
