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
