#include <gtest/gtest.h>

#include "app/display/WaveView.h"

namespace lumatrace {
namespace {

ViewSettings Fresh() {
    ViewSettings s;
    s.formReady = s.displayInitialised = true;
    s.runMode = kRunAuto;
    s.recordSinceStart = true;
    return s;
}

TEST(DisplayGeometry, FollowsTheWaveBox) {
    struct Case {
        int boxW, boxH;
        int w, h, div, gridStepX, tickX, tickY;
        double ky, kx;
    };
    const Case cases[] = {
        {451, 361, 450, 360, 45, 45, 9, 9, 0.9, 0.9},
        {1701, 1361, 1700, 1360, 170, 170, 34, 34, 3.4, 3.4},
        {863, 691, 862, 690, 86, 86, 17, 17, 1.72, 1.724},
    };
    for (const Case& c : cases) {
        const ViewGeometry g = ViewGeometry::ForWaveBox(c.boxW, c.boxH);
        EXPECT_EQ(g.WaveWidth, c.w);
        EXPECT_EQ(g.WaveHeight, c.h);
        EXPECT_EQ(g.DivHeight, c.div);
        for (int i = 0; i <= 10; ++i)
            EXPECT_EQ(g.gridX[i], c.gridStepX * i);
        for (int i = 0; i <= 8; ++i)
            EXPECT_EQ(g.gridY[i], c.div * i);
        for (int i = 1; i <= 5; ++i) {
            EXPECT_EQ(g.tickX[i], c.tickX * i);
            EXPECT_EQ(g.tickY[i], c.tickY * i);
        }
        EXPECT_DOUBLE_EQ(g.Ky, c.ky);
        EXPECT_DOUBLE_EQ(g.Kx, c.kx);
        EXPECT_EQ(g.WaveImageWidth(), c.boxW);
        EXPECT_EQ(g.WaveImageHeight(), c.boxH);
    }
}

TEST(DisplayCodeMapping, CodeToYSpansEightDivisionsOfTheCodeRange) {
    struct Case {
        int boxH;
        int code;
        int y;
    };
    const Case cases[] = {
        // H = 360: y = trunc(180 - (code / 102.4 - 5) * 45)
        {361, 512, 180},
        {361, 0, 405},
        {361, 1023, -44},
        {361, 103, 359},
        {361, 921, 0},
        {361, 700, 97},
        // H = 1360
        {1361, 512, 680},
        {1361, 0, 1530},
        {1361, 1023, -168},
        {1361, 300, 1031},
    };
    for (const Case& c : cases) {
        WaveView view;
        view.Resize(451, c.boxH);
        EXPECT_EQ(view.CodeToY(Fresh(), 0, c.code), c.y) << "H+1=" << c.boxH << " code " << c.code;
        EXPECT_EQ(view.CodeToY(Fresh(), 1, c.code), c.y);
    }
}

TEST(DisplayCodeMapping, StaleRecordFollowsPositionAndScaleAboutItsZeroLine) {
    WaveView view;  // 450 x 360
    ViewSettings s = Fresh();
    s.runMode = kRunStop;
    s.acqTracePosition = {250, 250};
    s.acqVoltsPerDivMv = {100, 100};
    s.voltsPerDivMv = {100, 100};
    struct Case {
        int position;
        int voltsPerDiv;
        int code;
        int y;
    };
    // Code 612 at position 250 is y 136.05; the zero line is y 180.
    const Case cases[] = {
        {250, 100, 612, 136},   // unchanged settings: as acquired
        {250, 200, 612, 158},   // V/div doubled: excursion halved
        {300, 100, 612, 181},   // moved down 50 units = 45 px
        {300, 50, 612, 137},    // moved and V/div halved: excursion doubled about y 225
        {250, 50, 1023, -269},  // truncated toward zero
    };
    for (const Case& c : cases) {
        s.tracePosition[0] = c.position;
        s.voltsPerDivMv[0] = c.voltsPerDiv;
        EXPECT_EQ(view.CodeToY(s, 0, c.code), c.y) << c.position << " " << c.voltsPerDiv;
        // CH2 keeps its own acquisition values.
        EXPECT_EQ(view.CodeToY(s, 1, 612), 136);
    }
}

TEST(DisplayCodeMapping, OnlyARecordTakenBeforeTheLastStartIsRescaled) {
    struct Case {
        int runMode;
        bool recordSinceStart;
        bool roll;
        bool stale;
    };
    const Case cases[] = {
        {kRunStop, true, false, true},  {kRunStop, false, true, true},
        {kRunAuto, false, false, true}, {kRunSingle, false, false, true},
        {kRunAuto, true, false, false}, {kRunNormal, true, false, false},
        {kRunAuto, false, true, false},
    };
    WaveView view;
    for (const Case& c : cases) {
        ViewSettings s = Fresh();
        s.runMode = c.runMode;
        s.recordSinceStart = c.recordSinceStart;
        s.rollActive = c.roll;
        s.acqVoltsPerDivMv = {100, 100};
        s.voltsPerDivMv = {200, 200};
        EXPECT_EQ(WaveView::RecordIsStale(s), c.stale);
        EXPECT_EQ(view.CodeToY(s, 0, 612), c.stale ? 158 : 136);
    }
}

TEST(DisplayCodeMapping, ZeroLineFollowsTheMarkerPosition) {
    WaveView view;
    ViewSettings s = Fresh();
    const std::pair<int, int> cases[] = {{250, 180}, {251, 181}, {50, 0},
                                         {450, 360}, {1, -44},   {500, 405}};
    for (auto [position, y] : cases) {
        s.tracePosition[0] = position;
        EXPECT_EQ(view.ZeroLineY(s, 0), y) << position;
    }
}

TEST(DisplayCodeMapping, CodeToXSpansTheWidthWithTheCodeRange) {
    struct Case {
        int boxW;
        int code;
        int x;
    };
    const Case cases[] = {{451, 0, 0},      {451, 1, 0},      {451, 3, 1},       {451, 512, 225},
                          {451, 1023, 449}, {1701, 512, 850}, {1701, 1023, 1698}};
    for (const Case& c : cases) {
        WaveView view;
        view.Resize(c.boxW, 361);
        EXPECT_EQ(view.CodeToX(c.code), c.x) << c.boxW << " " << c.code;
    }
}

}  // namespace
}  // namespace lumatrace
