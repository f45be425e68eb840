#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "app/display/PixelRaster.h"

namespace lumatrace {
namespace {

struct Picture {
    Picture(int w, int h)
        : words(static_cast<std::size_t>(w) * h, 0), buffer{words.data(), w, h, w} {}
    std::uint32_t At(int x, int y) const {
        return words[static_cast<std::size_t>(y) * buffer.stride + x];
    }
    int Count() const {
        int n = 0;
        for (std::uint32_t w : words)
            n += w != 0;
        return n;
    }
    std::vector<std::uint32_t> words;
    PixelBuffer buffer;
};

std::uint32_t Next(std::uint32_t& state) {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
}

TEST(DisplayPixelRaster, ColourValuesBecomeRgbPixels) {
    EXPECT_EQ(PixelValue(0x0000FF), 0xFFFF0000u);
    EXPECT_EQ(PixelValue(0xFF0000), 0xFF0000FFu);
    EXPECT_EQ(PixelValue(0x804020), 0xFF204080u);
}

TEST(DisplayPixelRaster, LinesHaveOnePixelPerStepAndBothEnds) {
    struct Case {
        Segment line;
        int pixels;
    };
    const Case cases[] = {
        {{{2, 5}, {9, 5}}, 8}, {{{9, 5}, {2, 5}}, 8},   {{{5, 2}, {5, 9}}, 8},
        {{{1, 1}, {7, 4}}, 7}, {{{7, 19}, {3, 2}}, 18}, {{{6, 6}, {6, 6}}, 1},
    };
    for (const Case& c : cases) {
        Picture p(24, 24);
        RasterLine(p.buffer, c.line, 7);
        EXPECT_EQ(p.Count(), c.pixels);
        EXPECT_EQ(p.At(c.line.a.x, c.line.a.y), 7u);
        EXPECT_EQ(p.At(c.line.b.x, c.line.b.y), 7u);
    }
    // The exact line rounded: (1,1)-(7,4) has y = 1 + round((x - 1) / 2).
    Picture p(24, 24);
    RasterLine(p.buffer, {{1, 1}, {7, 4}}, 7);
    const int expectedY[] = {1, 2, 2, 3, 3, 4, 4};  // halves round up
    for (int x = 1; x <= 7; ++x)
        EXPECT_EQ(p.At(x, expectedY[x - 1]), 7u) << x;
}

TEST(DisplayPixelRaster, ALinePaintsTheSamePixelsInEitherDirection) {
    std::uint32_t state = 99;
    for (int k = 0; k < 2000; ++k) {
        const Point a{static_cast<int>(Next(state) % 40) - 4,
                      static_cast<int>(Next(state) % 40) - 4};
        const Point b{static_cast<int>(Next(state) % 40) - 4,
                      static_cast<int>(Next(state) % 40) - 4};
        const bool dotted = k % 3 == 0;
        Picture forward(32, 32), backward(32, 32);
        RasterLine(forward.buffer, {a, b}, 1, dotted);
        RasterLine(backward.buffer, {b, a}, 1, dotted);
        ASSERT_EQ(forward.words, backward.words) << a.x << "," << a.y << " " << b.x << "," << b.y;
    }
}

TEST(DisplayPixelRaster, ClippingKeepsTheVisiblePixelsOfFarAwayLines) {
    // The same lines drawn whole into a large picture and clipped into a small window of it.
    constexpr int kOffset = 3000;
    std::uint32_t state = 7;
    // One large picture for all lines: each line is erased again by drawing it in colour 0,
    // which touches exactly the pixels it set.
    Picture big(6200, 6200);
    for (int k = 0; k < 200; ++k) {
        auto far = [&] { return static_cast<int>(Next(state) % 6100) - 3000; };
        const Point a{far(), far()};
        const Point b{far(), far()};
        const Point bigA{a.x + kOffset, a.y + kOffset};
        const Point bigB{b.x + kOffset, b.y + kOffset};
        RasterLine(big.buffer, {bigA, bigB}, 1);
        Picture small(64, 48);
        RasterLine(small.buffer, {a, b}, 1);
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 64; ++x) {
                ASSERT_EQ(small.At(x, y), big.At(x + kOffset, y + kOffset))
                    << k << " at " << x << "," << y;
            }
        }
        RasterLine(big.buffer, {bigA, bigB}, 0);
    }
    // Coordinates near the limits of int are pulled in, not overflowed.
    Picture p(16, 16);
    RasterLine(p.buffer, {{-2000000000, 5}, {2000000000, 5}}, 1);
    EXPECT_EQ(p.Count(), 16);
}

// The solid line pixel by pixel as documented: along the longer axis every position from one
// end to the other, the other coordinate exactly interpolated and rounded half up from the end
// with the smaller coordinate.
void ReferenceLine(std::vector<std::uint32_t>& words, int w, int h, Segment line,
                   std::uint32_t value) {
    const bool steep = std::abs(line.b.y - line.a.y) > std::abs(line.b.x - line.a.x);
    Point a = line.a, b = line.b;
    if ((steep ? b.y : b.x) < (steep ? a.y : a.x))
        std::swap(a, b);
    const std::int64_t m0 = steep ? a.y : a.x, m1 = steep ? b.y : b.x;
    const std::int64_t n0 = steep ? a.x : a.y, n1 = steep ? b.x : b.y;
    const std::int64_t dm = m1 - m0, dn = n1 - n0;
    for (std::int64_t m = m0; m <= m1; ++m) {
        std::int64_t n = n0;
        if (dm > 0) {
            const std::int64_t num = (m - m0) * 2 * dn + dm;
            n += num >= 0 ? num / (2 * dm) : -((-num + 2 * dm - 1) / (2 * dm));
        }
        const std::int64_t x = steep ? n : m, y = steep ? m : n;
        if (x >= 0 && y >= 0 && x < w && y < h)
            words[static_cast<std::size_t>(y * w + x)] = value;
    }
}

// Where the damage marked on a picture disagrees with its pixels: a run pixel left unpainted,
// or a painted pixel in neither a run nor a dirty tile; empty when they agree.
std::string DamageMismatch(const Picture& drawn, const TileDamage& damage) {
    std::vector<bool> inRun(drawn.words.size(), false);
    for (const TileDamage::Run& run : damage.Runs()) {
        for (int i = run.first; i <= run.last; ++i) {
            const int x = run.vertical ? run.at : i;
            const int y = run.vertical ? i : run.at;
            if (drawn.At(x, y) == 0)
                return "run pixel " + std::to_string(x) + "," + std::to_string(y) + " unpainted";
            inRun[static_cast<std::size_t>(y) * drawn.buffer.width + x] = true;
        }
    }
    for (int y = 0; y < drawn.buffer.height; ++y) {
        for (int x = 0; x < drawn.buffer.width; ++x) {
            if (drawn.At(x, y) != 0 &&
                !inRun[static_cast<std::size_t>(y) * drawn.buffer.width + x] &&
                !damage.Dirty(x / TileDamage::kTileSize, y / TileDamage::kTileSize))
                return "pixel " + std::to_string(x) + "," + std::to_string(y) + " unmarked";
        }
    }
    return "";
}

TEST(DisplayPixelRaster, SolidLinesMatchThePixelByPixelLineAndMarkWhatTheyPaint) {
    // Long and short, steep and shallow, inside and across the edges; both straight runs and
    // stepped ones.
    std::uint32_t state = 5;
    for (int k = 0; k < 3000; ++k) {
        const int span = k % 3 == 0 ? 400 : (k % 3 == 1 ? 60 : 12);
        auto coord = [&] { return static_cast<int>(Next(state) % (2 * span)) - span / 2; };
        Point a{coord() + 40, coord() + 30};
        Point b{coord() + 40, coord() + 30};
        if (k % 4 == 0)
            b.x = a.x + static_cast<int>(Next(state) % 3) - 1;  // nearly vertical
        if (k % 4 == 1)
            b.y = a.y + static_cast<int>(Next(state) % 3) - 1;  // nearly horizontal
        Picture drawn(97, 75);
        TileDamage damage;
        damage.Reset(97, 75);
        damage.Clean();
        drawn.buffer.damage = &damage;
        RasterLine(drawn.buffer, {a, b}, 3);
        std::vector<std::uint32_t> expected(drawn.words.size(), 0);
        ReferenceLine(expected, 97, 75, {a, b}, 3);
        ASSERT_EQ(drawn.words, expected) << a.x << "," << a.y << " " << b.x << "," << b.y;
        // What was marked is exactly what was painted: runs hold only painted pixels, a
        // dirty tile holds at least one, and every painted pixel is in one or the other.
        ASSERT_EQ(DamageMismatch(drawn, damage), "")
            << "line " << a.x << "," << a.y << " " << b.x << "," << b.y;
        for (int ty = 0; ty < damage.TilesY(); ++ty) {
            for (int tx = 0; tx < damage.TilesX(); ++tx) {
                bool any = false;
                for (int y = ty * 16; y < std::min(75, ty * 16 + 16); ++y) {
                    for (int x = tx * 16; x < std::min(97, tx * 16 + 16); ++x)
                        any = any || drawn.At(x, y) != 0;
                }
                ASSERT_TRUE(!damage.Dirty(tx, ty) || any) << "tile " << tx << "," << ty;
            }
        }
    }
}

TEST(DisplayPixelRaster, JoinedColumnSpansPaintWhatTheLinesPaintOneByOne) {
    // Batches shaped like traces: bars and steps between neighbouring columns, columns that
    // repeat or go back, rows far outside the picture, and now and then a line of any kind.
    std::uint32_t state = 11;
    constexpr int w = 97;
    constexpr int h = 75;
    for (int batch = 0; batch < 400; ++batch) {
        std::vector<Segment> lines;
        const int reach = batch % 4 == 0 ? 300 : (batch % 4 == 1 ? 40 : 8);
        Point at{static_cast<int>(Next(state) % 20) - 5, static_cast<int>(Next(state) % h)};
        for (int k = 0; k < 150; ++k) {
            const int choice = static_cast<int>(Next(state) % 20);
            Point next = at;
            if (choice < 12) {
                next.x += 1;
                next.y += static_cast<int>(Next(state) % (2 * reach + 1)) - reach;
            } else if (choice < 16) {
                next.y += static_cast<int>(Next(state) % (2 * reach + 1)) - reach;
            } else if (choice < 17) {
                next.x -= 1;
            } else if (choice < 18) {
                next.y = (Next(state) % 2) ? (1 << 29) + 5 : -(1 << 30);
            } else {
                next = {static_cast<int>(Next(state) % 140) - 20,
                        static_cast<int>(Next(state) % 120) - 20};
            }
            lines.push_back({at, next});
            at = next.y > 1000 || next.y < -1000 ? Point{next.x, 30} : next;
        }
        Picture drawn(w, h);
        TileDamage damage;
        damage.Reset(w, h);
        damage.Clean();
        drawn.buffer.damage = &damage;
        RasterLines(drawn.buffer, lines.data(), lines.size(), 3);
        // RasterLine itself is checked against the pixel-by-pixel line above.
        Picture single(w, h);
        for (const Segment& line : lines)
            RasterLine(single.buffer, line, 3);
        ASSERT_EQ(drawn.words, single.words) << "batch " << batch;
        // Every painted pixel is in a run or a dirty tile, and runs hold only painted pixels.
        ASSERT_EQ(DamageMismatch(drawn, damage), "") << "batch " << batch;
    }
}

TEST(DisplayPixelRaster, DotsAreThreeOnThreeOffFromTheLowerEnd) {
    Picture p(24, 4);
    RasterLine(p.buffer, {{20, 1}, {0, 1}}, 1, true);
    const char* expected = "###...###...###...###";
    for (int x = 0; x <= 20; ++x)
        EXPECT_EQ(p.At(x, 1) != 0, expected[x] == '#') << x;
}

TEST(DisplayPixelRaster, FillsAndPointsAreClipped) {
    Picture p(10, 8);
    RasterFill(p.buffer, {-5, 6, 3, 100}, 2);
    EXPECT_EQ(p.Count(), 3 * 2);
    EXPECT_EQ(p.At(2, 7), 2u);
    RasterFill(p.buffer, {5, 5, 5, 9}, 3);  // no width
    RasterPoint(p.buffer, {-1, 0}, 4);
    RasterPoint(p.buffer, {10, 0}, 4);
    RasterPoint(p.buffer, {9, 7}, 4);
    EXPECT_EQ(p.Count(), 7);
    EXPECT_EQ(p.At(9, 7), 4u);
}

}  // namespace
}  // namespace lumatrace
