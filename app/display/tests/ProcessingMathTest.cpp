#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

#include "app/display/MathTrace.h"
#include "app/display/MathYTable.h"
#include "app/display/RecordingCanvas.h"
#include "app/display/ViewProcessing.h"
#include "app/display/WaveView.h"
#include "app/display/tests/TraceReference.h"
#include "app/platform/testing/RecordingMessageBox.h"

namespace lumatrace {
namespace {

using testing::RecordRecipe;

constexpr Color kMarkerColor = 0x0A0B0C;

class NoAveraging : public AverageHost {
  public:
    std::optional<std::uint64_t> AvailablePhysicalMemory() override { return std::nullopt; }
    void StopAcquisition() override {}
    MessageBoxService& Messages() override { return box; }
    void SetWaitCursor(bool) override {}
    bool KeepAveraging() override { return true; }
    testing::RecordingMessageBox box;
};

class MarkerPixel : public MarkerLayer {
  public:
    void DrawTimeCursors(const RedrawContext&) override {}
    void DrawVoltageCursors(const RedrawContext&) override {}
    void DrawTracePositionMarker(const RedrawContext&, int) override {}
    void DrawTriggerPointMarker(const RedrawContext& ctx, int x) override {
        ctx.surfaces.CanvasFor(ViewImage::Wave).Pixel(x, 2, kMarkerColor);
    }
    void DrawTriggerLevelMarker(const RedrawContext&) override {}
    void DrawTriggerPositionStrip(const RedrawContext&) override {}
};

// The MATH y of one word computed from the formulas as written, without tables.
int LiteralMathY(const ViewSettings& s, const ViewGeometry& g, const MathSettings& m,
                 SampleWord w) {
    auto volts = [&](int ch) {
        if (m.groundCoupled[ch])
            return 0.0;
        const int code = static_cast<int>((w >> (ch == 0 ? 0 : 16)) & 0x3FF);
        const double r = 10.0 * s.acqVoltsPerDivMv[ch] * s.probeFactor[ch];
        return (code - (250 - s.acqTracePosition[ch]) * 2.048) * r / 1024.0 - r / 2.0;
    };
    const double a = volts(m.firstSource);
    const double b = volts(m.secondSource);
    double v = 0.0;
    switch (m.op) {
        case MathOperator::Add:
            v = a + b;
            break;
        case MathOperator::Sub:
            v = a - b;
            break;
        case MathOperator::Mul:
            v = (a / 1000) * (b / 1000) * 1000;
            break;
        case MathOperator::Div:
            if (b == 0)
                return -1;
            v = (a / 1000) / (b / 1000) * 1000;
            break;
    }
    const double h = g.WaveHeight;
    return static_cast<int>(
        std::trunc(h / 2 - v * h / (8 * m.mathScale) - (250 - s.tracePosition[kTraceMath]) * g.Ky));
}

// The trace loop walked sample by sample, tracking the y range of each column; the bar goes
// from the top of the column to its bottom and the line to the next column leaves from there.
// Returns where the trace ends: x + ceil(acc).
std::int64_t DrawLiteralMath(const SampleWord* words, const TracePlan& plan, bool envelope,
                             bool equivalent, int trigPosition,
                             const std::function<int(SampleWord)>& yOf,
                             const std::function<void()>& marker, Canvas& canvas) {
    const std::int64_t one = kPixelOne;
    std::int64_t acc = plan.phaseFixed;
    int x = plan.x0;
    bool first = true;
    int top = 0, bottom = 0;
    for (int i = plan.first; i <= plan.end; ++i) {
        if (i == trigPosition && marker)
            marker();
        const SampleWord w = words[i];
        if (w == NoSample) {
            acc += plan.stepFixed;
            continue;
        }
        const int y = yOf(w);
        if (first) {
            const std::int64_t n = acc / one;
            x = plan.x0 + static_cast<int>(n);
            canvas.MoveTo(x, y);
            top = bottom = y;
            acc = x != 1 ? 0 : acc - n * one;
            first = false;
            continue;
        }
        acc += plan.stepFixed;
        const std::int64_t n = acc / one;
        acc -= n * one;
        if (n != 0) {
            if (envelope) {
                canvas.MoveTo(x, top);
                canvas.LineTo(x, bottom);
            }
            top = bottom = y;
            x += static_cast<int>(n);
            canvas.LineTo(x, y);
        } else if (envelope && !equivalent) {
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (envelope && !first) {
        canvas.MoveTo(x, top);
        canvas.LineTo(x, bottom);
    }
    return x + (acc + one - 1) / one;
}

TEST(ProcessingMath, ValuesOfTheFourOperators) {
    // 100 mV/div with probe x1 is 1 V over the code range; at position 250 code 512 is 0 V and
    // every 1.024 codes is one millivolt.
    EXPECT_DOUBLE_EQ(MathChannelMillivolts(768, 100, 1, 250), 250.0);
    EXPECT_DOUBLE_EQ(MathChannelMillivolts(640, 100, 1, 250), 125.0);
    EXPECT_DOUBLE_EQ(MathChannelMillivolts(512, 100, 1, 250), 0.0);
    EXPECT_DOUBLE_EQ(MathChannelMillivolts(256, 100, 10, 250), -2500.0);
    // Position 300 puts 0 V at code (500 - 300) x 2.048 = 409.6.
    EXPECT_NEAR(MathChannelMillivolts(768, 100, 1, 300), (768 - 409.6) * 1000 / 1024, 1e-9);

    struct Case {
        double a, b;
        MathOperator op;
        double value;
        bool divideByZero;
    };
    const Case cases[] = {
        {250, 125, MathOperator::Add, 375, false},   {250, 125, MathOperator::Sub, 125, false},
        {250, 125, MathOperator::Mul, 31.25, false},  // 0.25 V x 0.125 V in thousandths
        {250, 125, MathOperator::Div, 2000, false},  {-2500, 125, MathOperator::Div, -20000, false},
        {250, 0, MathOperator::Div, 0, true},        {0, 0, MathOperator::Div, 0, true},
        {250, 0, MathOperator::Mul, 0, false},
    };
    for (const Case& c : cases) {
        const MathResult r = CombineMath(c.a, c.b, c.op);
        EXPECT_EQ(r.divideByZero, c.divideByZero) << static_cast<int>(c.op);
        if (!c.divideByZero) {
            EXPECT_DOUBLE_EQ(r.value, c.value) << static_cast<int>(c.op);
        }
    }
}

// Settings of the table tests: each operator with several scales, positions, probes and
// couplings, including quotients by zero (a second source at its zero code, or ground-coupled)
// and values so far off the scale that y leaves 16 bits and meets the clamp.
struct TableCase {
    const char* name;
    MathSettings math;
    ViewSettings s;
};

std::vector<TableCase> TableCases() {
    std::vector<TableCase> cases;
    for (int op = 0; op < 4; ++op) {
        auto add = [&](const char* name, auto change) {
            TableCase c{name, {}, {}};
            c.math.op = static_cast<MathOperator>(op);
            c.math.mathScale = 200;
            c.s.acqVoltsPerDivMv = {100, 50};
            c.s.probeFactor = {1, 10};
            c.s.acqTracePosition = {250, 250};
            c.s.tracePosition[kTraceMath] = 250;
            change(c);
            cases.push_back(c);
        };
        add("plain", [](TableCase&) {});
        add("CH2 with CH1, shifted positions", [](TableCase& c) {
            c.math.firstSource = 1;
            c.math.secondSource = 0;
            c.s.acqTracePosition = {300, 37};
            c.s.tracePosition[kTraceMath] = 410;
        });
        add("one channel twice", [](TableCase& c) { c.math.secondSource = 0; });
        add("far off the scale", [](TableCase& c) {
            c.math.mathScale = 1;
            c.s.acqVoltsPerDivMv = {5000, 2000};
            c.s.probeFactor = {100, 100};
        });
        add("ranges too far apart for a 16-bit score", [](TableCase& c) {
            c.s.acqVoltsPerDivMv = {5000, 1};
            c.s.probeFactor = {100, 1};
            c.math.mathScale = 50000;
        });
        add("second source grounded", [](TableCase& c) { c.math.groundCoupled = {false, true}; });
        add("first source grounded, large scale", [](TableCase& c) {
            c.math.groundCoupled = {true, false};
            c.math.mathScale = 50000;
        });
    }
    return cases;
}

TEST(ProcessingMathTable, EveryPairMatchesTheDirectComputation) {
    const ViewGeometry g = ViewGeometry::ForWaveBox(1701, 1361);
    int outOfRange = 0;
    int quotientsByZero = 0;
    int clamped = 0;
    for (const TableCase& c : TableCases()) {
        SCOPED_TRACE(c.name);
        SCOPED_TRACE(static_cast<int>(c.math.op));
        const MathMapping map(c.s, g, c.math);
        MathYTable table;
        EXPECT_TRUE(table.Update(map));
        for (int c2 = 0; c2 < kCodeCount; ++c2) {
            for (int c1 = 0; c1 < kCodeCount; ++c1) {
                // Stray bits outside the codes do not choose the entry.
                const SampleWord w = MakeSampleWord(c1, c2) | (c1 % 7 == 0 ? 0x0400FC00u : 0u);
                const int y = table.Y(w);
                const int direct = map.Y(w);
                // The drawing holds far-off values at the clamp; the formula as written
                // does not.
                const bool held = std::abs(direct) == static_cast<int>(MathMapping::kYLimit);
                const int literal = held ? direct : LiteralMathY(c.s, g, c.math, w & 0x03FF03FFu);
                if (direct != literal || y != direct) {
                    ADD_FAILURE() << "codes " << c1 << ", " << c2 << ": table " << y << ", direct "
                                  << direct << ", literal " << literal;
                    return;
                }
                outOfRange += table.Data()[MathYTable::Index(w)] == MathYTable::kOutOfRange;
                quotientsByZero += c.math.op == MathOperator::Div && y == -1;
                clamped += std::abs(y) == static_cast<int>(MathMapping::kYLimit);
            }
        }
    }
    // The cases reach every kind of entry.
    EXPECT_GT(outOfRange, 0);
    EXPECT_GT(quotientsByZero, 0);
    EXPECT_GT(clamped, 0);
}

TEST(ProcessingMathTable, RebuiltOnlyWhenTheMappingChanges) {
    const ViewGeometry g = ViewGeometry::ForWaveBox(451, 361);
    TableCase c = TableCases()[0];
    MathYTable table;
    EXPECT_TRUE(table.Update(MathMapping(c.s, g, c.math)));
    EXPECT_FALSE(table.Update(MathMapping(c.s, g, c.math)));
    // The current V/div and position of a channel do not enter MATH; the acquisition's do.
    c.s.voltsPerDivMv = {1000, 1000};
    c.s.tracePosition[kTraceCh1] = 10;
    EXPECT_FALSE(table.Update(MathMapping(c.s, g, c.math)));
    const SampleWord w = MakeSampleWord(900, 100);
    struct Change {
        const char* name;
        std::function<void(TableCase&)> apply;
    };
    const Change changes[] = {
        {"operator", [](TableCase& k) { k.math.op = MathOperator::Sub; }},
        {"first source", [](TableCase& k) { k.math.firstSource = 1; }},
        {"scale", [](TableCase& k) { k.math.mathScale = 500; }},
        {"coupling",
         [](TableCase& k) {
             k.math.groundCoupled = {true, false};
         }},
        {"probe",
         [](TableCase& k) {
             k.s.probeFactor = {10, 10};
         }},
        {"V/div at acquisition",
         [](TableCase& k) {
             k.s.acqVoltsPerDivMv = {200, 50};
         }},
        {"position at acquisition",
         [](TableCase& k) {
             k.s.acqTracePosition = {200, 250};
         }},
        {"MATH position", [](TableCase& k) { k.s.tracePosition[kTraceMath] = 100; }},
    };
    for (const Change& change : changes) {
        TableCase k = c;
        change.apply(k);
        EXPECT_TRUE(table.Update(MathMapping(k.s, g, k.math))) << change.name;
        EXPECT_EQ(table.Y(w), LiteralMathY(k.s, g, k.math, w)) << change.name;
        EXPECT_TRUE(table.Update(MathMapping(c.s, g, c.math))) << change.name;
    }
    // A picture of another height.
    const ViewGeometry taller = ViewGeometry::ForWaveBox(451, 401);
    EXPECT_TRUE(table.Update(MathMapping(c.s, taller, c.math)));
    EXPECT_EQ(table.Y(w), LiteralMathY(c.s, taller, c.math, w));
}

// The smallest and largest y of a column against the direct computation of every sample's y.
TEST(ProcessingMathTable, ColumnRangeOfEveryKernelMatchesThePlainLoop) {
    const ViewGeometry g = ViewGeometry::ForWaveBox(1701, 1361);
    std::mt19937 rng(3);
    int scored = 0;    // cases whose sums and differences go by the codes' score
    int products = 0;  // products that go by the product of two scores
    int unscored = 0;  // the rest: every word looked up
    for (const TableCase& c : TableCases()) {
        SCOPED_TRACE(c.name);
        SCOPED_TRACE(static_cast<int>(c.math.op));
        const MathMapping map(c.s, g, c.math);
        MathYTable table;
        table.Update(map);
        std::vector<SampleWord> words(3000);
        for (SampleWord& w : words) {
            const int pick = static_cast<int>(rng() % 100);
            w = pick < 10 ? NoSample
                          : MakeSampleWord(static_cast<int>(rng() % 1024),
                                           pick < 20 ? 512 : static_cast<int>(rng() % 1024));
        }
        // A flat stretch: every word ties for both ends of its column.
        std::fill(words.begin() + 1000, words.begin() + 1300, MakeSampleWord(300, 700));
        // Stretches near opposite corners, every other word missing: a missing word must
        // not stand in for a code pair at either end (all bits set reads as codes 1023).
        for (int i = 1500; i < 2100; ++i) {
            const int near = static_cast<int>(rng() % 8);
            words[i] = i % 2 == 0 ? NoSample
                       : i < 1800 ? MakeSampleWord(900 + near, 100 + near)
                                  : MakeSampleWord(100 + near, 900 + near);
        }
        const std::pair<int, int> corners[] = {{1500, 1800}, {1800, 2100}, {1501, 1799}};
        scored += map.HasScore();
        products += map.HasProduct();
        unscored += !map.HasScore() && !map.HasProduct();
        for (int k = 0; k < MathRangeKernelCount(); ++k) {
            const MathRangeKernel& kernel = MathRangeKernelAt(k);
            if (!kernel.supported()) {
                std::cout << "MATH kernel " << kernel.name
                          << " not checked: this CPU cannot run it\n";
                continue;
            }
            SCOPED_TRACE(kernel.name);
            table.SetKernel(kernel);
            for (int trial = 0; trial < 203; ++trial) {
                int from = static_cast<int>(rng() % words.size());
                int to = from + static_cast<int>(rng() % (words.size() - from + 1));
                if (trial >= 200)
                    std::tie(from, to) = corners[trial - 200];
                int top = 5000, bottom = -5000;  // what the column held before
                int wantTop = top, wantBottom = bottom;
                for (int i = from; i < to; ++i) {
                    if (words[i] == NoSample)
                        continue;
                    const int y = map.Y(words[i]);
                    wantTop = std::min(wantTop, y);
                    wantBottom = std::max(wantBottom, y);
                }
                table.ColumnRange(words.data(), from, to, top, bottom);
                ASSERT_EQ(top, wantTop) << from << ".." << to;
                ASSERT_EQ(bottom, wantBottom) << from << ".." << to;
            }
        }
    }
    EXPECT_GT(scored, 0);
    EXPECT_GT(products, 0);
    EXPECT_GT(unscored, 0);
}

// Sums and differences find a column's ends by the score of its codes and then the y shared by
// all pairs of that score. Where the tables' rounding gives pairs of one score different y, the
// words of the column are looked at again: columns made of exactly such pairs, alone and among
// other words, against the direct computation of every sample's y.
TEST(ProcessingMathTable, ColumnEndsAtScoresWhosePairsDifferInY) {
    const ViewGeometry g = ViewGeometry::ForWaveBox(1701, 1361);
    std::mt19937 rng(11);
    int mixed = 0;
    for (const TableCase& c : TableCases()) {
        const MathMapping map(c.s, g, c.math);
        if (!map.HasScore())
            continue;
        SCOPED_TRACE(c.name);
        SCOPED_TRACE(static_cast<int>(c.math.op));
        std::map<int, std::vector<SampleWord>> byScore;
        std::map<int, std::pair<int, int>> ys;
        for (int c2 = 0; c2 < kCodeCount; ++c2) {
            for (int c1 = 0; c1 < kCodeCount; ++c1) {
                const SampleWord w = MakeSampleWord(c1, c2);
                const int score = map.ScoreCh1() * c1 + map.ScoreCh2() * c2;
                const int y = map.Y(w);
                auto [at, fresh] = ys.try_emplace(score, y, y);
                at->second = {std::min(at->second.first, y), std::max(at->second.second, y)};
                byScore[score].push_back(w);
            }
        }
        MathYTable table;
        table.Update(map);
        for (const auto& [score, range] : ys) {
            if (range.first == range.second)
                continue;
            ++mixed;
            std::vector<SampleWord> alone = byScore[score];
            std::vector<SampleWord> among = alone;
            for (int k = 0; k < 40; ++k) {
                among.push_back(
                    MakeSampleWord(static_cast<int>(rng() % 1024), static_cast<int>(rng() % 1024)));
            }
            std::shuffle(among.begin(), among.end(), rng);
            for (const std::vector<SampleWord>* words : {&alone, &among}) {
                int wantTop = 5000, wantBottom = -5000;
                for (SampleWord w : *words) {
                    wantTop = std::min(wantTop, map.Y(w));
                    wantBottom = std::max(wantBottom, map.Y(w));
                }
                for (int k = 0; k < MathRangeKernelCount(); ++k) {
                    const MathRangeKernel& kernel = MathRangeKernelAt(k);
                    if (!kernel.supported())
                        continue;
                    SCOPED_TRACE(kernel.name);
                    table.SetKernel(kernel);
                    int top = 5000, bottom = -5000;
                    table.ColumnRange(words->data(), 0, static_cast<int>(words->size()), top,
                                      bottom);
                    ASSERT_EQ(top, wantTop) << "score " << score;
                    ASSERT_EQ(bottom, wantBottom) << "score " << score;
                }
            }
        }
    }
    EXPECT_GT(mixed, 0);
}

class ProcessingMathTrace : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearRecord(*record);
        view.SetRecord(record.get());
        view.Resize(451, 361);
        surfaces.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {502, 32}});
        processing.SetMarkerLayer(&marker);
        s.formReady = s.displayInitialised = true;
        s.runMode = kRunAuto;
        s.recordSinceStart = s.dataValid = true;
        s.mathOn = true;
        s.channelOn = {false, false};
        s.voltsPerDivMv = s.acqVoltsPerDivMv = {100, 100};
        s.probeFactor = {1, 1};
        math.mathScale = 100;
    }
    void Use(int boxW, int boxH) {
        view.Resize(boxW, boxH);
        surfaces.Resize(
            ViewImageSizes{{boxW, boxH}, {20, boxH + 11}, {20, boxH + 11}, {boxW + 51, 32}});
    }
    RecordingCanvas& wave() { return surfaces.Recorder(ViewImage::Wave); }
    void Draw() {
        surfaces.Reset();
        processing.SetMathSettings(math);
        const RedrawContext ctx{view, s, view.Geometry(), view.Horizontal(), surfaces};
        processing.DrawMathTrace(ctx);
    }
    int Y(SampleWord w) { return LiteralMathY(s, view.Geometry(), math, w); }
    // Draws the trace and the literal loop over the same plan and compares what shows.
    void ExpectSameAsLiteral(const char* name) {
        const HorizontalView before = view.Horizontal();
        Draw();
        const auto drawn = testing::VisibleItems(wave(), view.Geometry().WaveWidth);
        const HorizontalView after = view.Horizontal();
        view.Horizontal() = before;
        view.Horizontal().viewOffsetComputed = false;
        const TracePlan plan = view.BeginTrace(s);
        RecordingCanvas reference(view.Geometry().WaveWidth + 1, view.Geometry().WaveHeight + 1);
        reference.SetPen(s.displayColors[kSlotMath], PenStyle::Solid);
        const std::int64_t end = DrawLiteralMath(
            record->data(), plan, s.waveformMode == kWaveformEnvelope, s.equivalentActive,
            s.trigPosition, [&](SampleWord w) { return Y(w); },
            [&] { reference.Pixel(plan.trigX, 2, kMarkerColor); }, reference);
        const auto expected = testing::VisibleItems(reference, view.Geometry().WaveWidth);
        EXPECT_EQ(drawn, expected) << name;
        const int w = view.Geometry().WaveWidth;
        const bool shortened = view.Horizontal().HorizontalZoom != 1.0 && end < w;
        EXPECT_EQ(after.TraceRight, shortened ? static_cast<int>(end) : w) << name;
    }

    std::unique_ptr<SampleBuffer> record = std::make_unique<SampleBuffer>();
    WaveView view;
    RecordingSurfaces surfaces;
    MarkerPixel marker;
    NoAveraging host;
    ViewProcessing processing{host};
    ViewSettings s;
    MathSettings math;
};

TEST_F(ProcessingMathTrace, PointsUseTheScalesOfTheAcquisitionAndTheCurrentProbe) {
    // Few samples, so that every sample is a vertex: 10 samples over 450 pixels.
    s.memoryPoints = 10000;
    view.Horizontal().ScreenSamples = 10;
    s.trigPosition = 5000;
    (*record)[0] = MakeSampleWord(768, 640);  // 250 mV and 125 mV
    (*record)[1] = MakeSampleWord(512, 640);
    s.tracePosition[kTraceMath] = 300;
    auto firstVertex = [&] {
        Draw();
        const auto lines = wave().SegmentsDrawn(s.displayColors[kSlotMath]);
        EXPECT_FALSE(lines.empty());
        return lines.empty() ? Point{} : lines[0].a;
    };
    // 375 mV at 100 mV/div is 3.75 div above the MATH position (50 units, 45 px, above the
    // centre): 180 - 168.75 - (-45) = 56.25.
    EXPECT_EQ(firstVertex(), (Point{1, 56}));
    // The panel changes after the record was taken: V/div and positions of the channels do
    // not move the MATH trace, the probe does.
    s.voltsPerDivMv = {500, 20};
    s.tracePosition[kTraceCh1] = 100;
    EXPECT_EQ(firstVertex(), (Point{1, 56}));
    s.probeFactor = {10, 1};  // 2500 + 125 mV: 180 - 2625 x 360 / 800 + 45
    EXPECT_EQ(firstVertex(), (Point{1, static_cast<int>(std::trunc(180 - 1181.25 + 45))}));
    s.probeFactor = {1, 1};
    // A GND-coupled operand counts as 0.
    math.groundCoupled = {false, true};
    EXPECT_EQ(firstVertex(), (Point{1, static_cast<int>(std::trunc(180 - 112.5 + 45))}));
    math.groundCoupled = {false, false};
    // The quotient by a channel at its zero code is drawn at y = -1.
    math.firstSource = 1;
    math.secondSource = 0;
    math.op = MathOperator::Div;
    Draw();
    const auto lines = wave().SegmentsDrawn(s.displayColors[kSlotMath]);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0].b, (Point{46, -1}));
}

TEST_F(ProcessingMathTrace, DifferenceOfAChannelWithItselfIsFlatAtTheMathPosition) {
    s.memoryPoints = 10000;
    view.Horizontal().ScreenSamples = 10000;
    s.trigPosition = 20000;
    testing::FillRecord(*record, RecordRecipe{.points = 10000, .noise = 300});
    math.firstSource = math.secondSource = 0;
    math.op = MathOperator::Sub;
    for (int position : {250, 130, 420}) {
        s.tracePosition[kTraceMath] = position;
        const int flat = static_cast<int>(std::trunc(180 - (250 - position) * 0.9));
        for (int mode : {kWaveformSample, kWaveformEnvelope}) {
            s.waveformMode = mode;
            Draw();
            const auto lines = wave().SegmentsDrawn(s.displayColors[kSlotMath]);
            ASSERT_EQ(lines.size(), 449u);
            for (const Segment& seg : lines) {
                EXPECT_EQ(seg.a.y, flat);
                EXPECT_EQ(seg.b.y, flat);
            }
        }
    }
}

TEST_F(ProcessingMathTrace, VerticesMatchTheSampleLoop) {
    struct Case {
        const char* name;
        int boxW, boxH;
        int points, screen, viewStart, trig;
        int mode;
        bool equivalent;
        MathOperator op;
        int first, second;
        RecordRecipe recipe;
        double zoom;
    };
    const Case cases[] = {
        {"sum, sample mode",
         451,
         361,
         10000,
         10000,
         0,
         5000,
         kWaveformSample,
         false,
         MathOperator::Add,
         0,
         1,
         {.points = 10000, .noise = 100},
         1.0},
        {"sum, envelope",
         451,
         361,
         10000,
         10000,
         0,
         5000,
         kWaveformEnvelope,
         false,
         MathOperator::Add,
         0,
         1,
         {.points = 10000, .noise = 200},
         1.0},
        {"product, envelope, wide",
         1701,
         1361,
         100000,
         100000,
         0,
         123,
         kWaveformEnvelope,
         false,
         MathOperator::Mul,
         1,
         0,
         {.points = 100000, .noise = 300},
         1.0},
        {"quotient through zero, envelope",
         451,
         361,
         10000,
         10000,
         0,
         5000,
         kWaveformEnvelope,
         false,
         MathOperator::Div,
         0,
         1,
         {.points = 10000, .cycles = 3, .noise = 2},
         1.0},
        {"difference, envelope, equivalent-time",
         451,
         361,
         10000,
         10000,
         0,
         5000,
         kWaveformEnvelope,
         true,
         MathOperator::Sub,
         1,
         0,
         {.points = 10000, .noise = 200, .gapEvery = 97, .gapLength = 40},
         1.0},
        {"gaps, envelope",
         451,
         361,
         10000,
         10000,
         0,
         7000,
         kWaveformEnvelope,
         false,
         MathOperator::Sub,
         0,
         1,
         {.points = 10000, .noise = 100, .gapEvery = 500, .gapLength = 120, .leadingGap = 30},
         1.0},
        {"part of a long record",
         451,
         361,
         100000,
         10000,
         40000,
         45000,
         kWaveformEnvelope,
         false,
         MathOperator::Add,
         0,
         1,
         {.points = 100000, .noise = 50},
         1.0},
        {"few samples",
         451,
         361,
         10000,
         100,
         4950,
         5000,
         kWaveformEnvelope,
         false,
         MathOperator::Mul,
         0,
         0,
         {.points = 10000, .noise = 50},
         1.0},
        {"zoomed out",
         451,
         361,
         10000,
         10000,
         0,
         5000,
         kWaveformEnvelope,
         false,
         MathOperator::Add,
         0,
         1,
         {.points = 10000, .noise = 80},
         0.4},
    };
    for (const Case& c : cases) {
        Use(c.boxW, c.boxH);
        s.memoryPoints = c.points;
        s.trigPosition = c.trig;
        s.waveformMode = c.mode;
        s.equivalentActive = c.equivalent;
        // CH2's zero code is exactly 512 here, which the noisy CH2 meets now and then.
        s.acqTracePosition = {240, 250};
        s.tracePosition[kTraceMath] = 210;
        math.op = c.op;
        math.firstSource = c.first;
        math.secondSource = c.second;
        math.mathScale = c.op == MathOperator::Div ? 2000 : 200;
        HorizontalView& h = view.Horizontal();
        h = HorizontalView{};
        h.ScreenSamples = c.screen;
        h.ViewStart = c.viewStart;
        h.HorizontalZoom = c.zoom;
        testing::FillRecord(*record, c.recipe);
        ExpectSameAsLiteral(c.name);
        if (c.op == MathOperator::Div) {
            // The comparison did meet quotients by zero.
            const int atZero = static_cast<int>(std::count_if(
                record->begin(), record->begin() + c.points,
                [](SampleWord w) { return w != NoSample && DecodeCode(w, 16) == 512; }));
            EXPECT_GT(atZero, 0) << c.name;
        }
    }
}

TEST_F(ProcessingMathTrace, EnvelopeBarsSpanTheValuesOfTheirColumn) {
    s.memoryPoints = 10000;
    view.Horizontal().ScreenSamples = 10000;
    s.trigPosition = 20000;
    s.waveformMode = kWaveformEnvelope;
    testing::FillRecord(*record, RecordRecipe{.points = 10000, .noise = 200});
    math.op = MathOperator::Mul;
    std::vector<int> top(452, 1 << 30), bottom(452, -(1 << 30));
    for (int i = 0; i < 10000; ++i) {
        const int x = 1 + i * 450 / 10000;
        const int y = Y((*record)[i]);
        top[x] = std::min(top[x], y);
        bottom[x] = std::max(bottom[x], y);
    }
    Draw();
    int bars = 0;
    for (const Segment& seg : wave().SegmentsDrawn(s.displayColors[kSlotMath])) {
        if (seg.a.x != seg.b.x)
            continue;
        EXPECT_EQ(seg.a.y, top[seg.a.x]) << seg.a.x;
        EXPECT_EQ(seg.b.y, bottom[seg.a.x]) << seg.a.x;
        ++bars;
    }
    EXPECT_EQ(bars, 450);
}

TEST_F(ProcessingMathTrace, QuotientByZeroReachesAboveTheGraticuleInItsColumn) {
    s.memoryPoints = 10000;
    view.Horizontal().ScreenSamples = 10000;
    s.trigPosition = 20000;
    s.waveformMode = kWaveformEnvelope;
    math.op = MathOperator::Div;
    math.mathScale = 1000;
    for (int i = 0; i < 10000; ++i)
        (*record)[i] = MakeSampleWord(600 + i % 5, i % 97 == 0 ? 512 : 700 + i % 3);
    ExpectSameAsLiteral("quotient by zero");
    int reaching = 0;
    for (const Segment& seg : wave().SegmentsDrawn(s.displayColors[kSlotMath])) {
        if (seg.a.x == seg.b.x && seg.a.y == -1) {
            EXPECT_GT(seg.b.y, 0);
            ++reaching;
        }
    }
    EXPECT_EQ(reaching, 104);  // one bar per column holding a multiple of 97
}

TEST_F(ProcessingMathTrace, NothingDrawnWithTheXyPlotButTheTriggerPointIsKept) {
    s.memoryPoints = 10000;
    view.Horizontal().ScreenSamples = 10000;
    s.trigPosition = 5000;
    s.xyOn = true;
    testing::FillRecord(*record, RecordRecipe{.points = 10000});
    Draw();
    EXPECT_TRUE(wave().SegmentsDrawn(s.displayColors[kSlotMath]).empty());
    EXPECT_EQ(view.Horizontal().TrigPointX, 225);
    int markers = 0;
    for (const CanvasOp& op : wave().Ops())
        markers += op.kind == CanvasOp::Kind::Points && op.color == kMarkerColor;
    EXPECT_EQ(markers, 1);
}

TEST_F(ProcessingMathTrace, RedrawDrawsMathOnlyWithoutTheSpectrum) {
    view.SetProcessingLayer(&processing);
    processing.SetMathSettings(math);
    s.memoryPoints = 10000;
    view.Horizontal().ScreenSamples = 10000;
    s.trigPosition = 5000;
    testing::FillRecord(*record, RecordRecipe{.points = 10000});
    surfaces.Reset();
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(wave().SegmentsDrawn(s.displayColors[kSlotMath]).size(), 449u);
    s.fftOn = true;
    surfaces.Reset();
    view.RedrawAll(s, surfaces);
    EXPECT_TRUE(wave().SegmentsDrawn(s.displayColors[kSlotMath]).empty());
}

TEST(ProcessingMathLabels, OperationAndAcquireLabels) {
    struct Case {
        int first, second;
        MathOperator op;
        const char* text;
    };
    const Case cases[] = {
        {0, 1, MathOperator::Add, "   CH1＋CH2"},
        {1, 0, MathOperator::Sub, "   CH2－CH1"},
        {0, 0, MathOperator::Mul, "   CH1×CH1"},
        {1, 1, MathOperator::Div, "   CH2÷CH2"},
    };
    for (const Case& c : cases) {
        MathSettings m;
        m.firstSource = c.first;
        m.secondSource = c.second;
        m.op = c.op;
        EXPECT_EQ(MathOperationLabel(m), c.text);
    }
    EXPECT_EQ(AcquireLabel(kWaveformSample, "Sample", "16"), "    Sample");
    EXPECT_EQ(AcquireLabel(kWaveformAverage, "Average", "16"), "    Average 16");
    EXPECT_EQ(AcquireLabel(kWaveformAverage, "Average", "∞"), "    Average ∞");
    EXPECT_EQ(AcquireLabel(kWaveformEnvelope, "Envelope", "1"), "    Envelope");
}

}  // namespace
}  // namespace lumatrace
