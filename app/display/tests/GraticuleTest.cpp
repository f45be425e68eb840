#include <gtest/gtest.h>

#include <algorithm>

#include "app/display/RecordingCanvas.h"
#include "app/display/WaveView.h"

namespace lumatrace {
namespace {

bool Has(const std::vector<Segment>& v, Segment s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

TEST(DisplayGraticule, GridIsNineDottedVerticalsAndSevenHorizontals) {
    WaveView view;
    view.Resize(451, 361);
    ViewSettings s;
    s.displayColors[kSlotScale] = 0x123456;
    RecordingCanvas grid(451, 361);
    view.DrawGrid(s, grid);
    const auto lines = grid.SegmentsDrawn(0x123456);
    ASSERT_EQ(lines.size(), 16u);
    for (const CanvasOp& op : grid.Ops())
        EXPECT_EQ(op.style, PenStyle::Dot);
    for (int i = 1; i <= 9; ++i)
        EXPECT_TRUE(Has(lines, {{45 * i, 0}, {45 * i, 360}})) << i;
    for (int i = 1; i <= 7; ++i)
        EXPECT_TRUE(Has(lines, {{0, 45 * i}, {450, 45 * i}})) << i;
    EXPECT_FALSE(Has(lines, {{0, 0}, {0, 360}}));  // the edges belong to the frame
}

TEST(DisplayGraticule, ScaleIsTheCentreCrossWithFiveTicksPerDivision) {
    struct Case {
        int boxW, boxH;
        int cx, cy, divX, divY, tickX, tickY;
    };
    const Case cases[] = {{451, 361, 225, 180, 45, 45, 9, 9},
                          {1701, 1361, 850, 680, 170, 170, 34, 34}};
    for (const Case& c : cases) {
        WaveView view;
        view.Resize(c.boxW, c.boxH);
        ViewSettings s;
        RecordingCanvas grid(c.boxW, c.boxH);
        view.DrawScale(s, grid);
        const auto lines = grid.SegmentsDrawn(s.displayColors[kSlotScale]);
        ASSERT_EQ(lines.size(), 2u + 50u + 40u);
        for (const CanvasOp& op : grid.Ops())
            EXPECT_EQ(op.style, PenStyle::Solid);
        const int w = c.boxW - 1, h = c.boxH - 1;
        EXPECT_EQ(lines[0], (Segment{{c.cx, 0}, {c.cx, h}}));
        EXPECT_EQ(lines[1], (Segment{{0, c.cy}, {w, c.cy}}));
        // Ticks reach 2 pixels either side of the axis.
        EXPECT_EQ(lines[2], (Segment{{c.tickX, c.cy - 2}, {c.tickX, c.cy + 2}}));
        EXPECT_TRUE(Has(
            lines, {{9 * c.divX + 5 * c.tickX, c.cy - 2}, {9 * c.divX + 5 * c.tickX, c.cy + 2}}));
        EXPECT_EQ(lines[52], (Segment{{c.cx - 2, c.tickY}, {c.cx + 2, c.tickY}}));
        EXPECT_TRUE(Has(
            lines, {{c.cx - 2, 7 * c.divY + 5 * c.tickY}, {c.cx + 2, 7 * c.divY + 5 * c.tickY}}));
        for (std::size_t i = 2; i < 52; ++i)
            EXPECT_EQ(lines[i].a.x, lines[i].b.x);
        for (std::size_t i = 52; i < lines.size(); ++i)
            EXPECT_EQ(lines[i].a.y, lines[i].b.y);
    }
}

}  // namespace
}  // namespace lumatrace
