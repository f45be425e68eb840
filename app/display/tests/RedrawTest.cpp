#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/display/RecordingCanvas.h"
#include "app/display/WaveView.h"
#include "app/display/tests/TraceReference.h"

namespace lumatrace {
namespace {

// Layers that leave a labelled text on the picture they paint, so that the recording shows
// which step ran, where, and in which order relative to the traces.
class LabelLayers : public MarkerLayer, public ProcessingLayer, public SpectrumLayer {
  public:
    void DrawTimeCursors(const RedrawContext& c) override { Label(c, ViewImage::Wave, "cursorT"); }
    void DrawVoltageCursors(const RedrawContext& c) override {
        Label(c, ViewImage::Wave, "cursorV");
    }
    void DrawTracePositionMarker(const RedrawContext& c, int trace) override {
        Label(c, ViewImage::Volt, "marker" + std::to_string(trace));
    }
    void DrawTriggerPointMarker(const RedrawContext& c, int) override {
        Label(c, ViewImage::Wave, "trigPoint");
    }
    void DrawTriggerLevelMarker(const RedrawContext& c) override {
        Label(c, ViewImage::TrigLevel, "trigLevel");
    }
    void DrawTriggerPositionStrip(const RedrawContext& c) override {
        Label(c, ViewImage::TrigPos, "strip");
    }
    void AverageStep(const RedrawContext& c) override { Label(c, ViewImage::Wave, "average"); }
    void DrawMathTrace(const RedrawContext& c) override { Label(c, ViewImage::Wave, "math"); }
    void DrawSpectrum(const RedrawContext& c) override { Label(c, ViewImage::Wave, "spectrum"); }
    void DrawSpectrumPositionStrip(const RedrawContext& c) override {
        Label(c, ViewImage::TrigPos, "specStrip");
    }

  private:
    static void Label(const RedrawContext& c, ViewImage image, const std::string& text) {
        c.surfaces.CanvasFor(image).Text(0, 0, text, TextAlign::Left);
    }
};

class DisplayRedraw : public ::testing::Test {
  protected:
    void SetUp() override {
        testing::FillRecord(*record, testing::RecordRecipe{.points = 10000});
        view.SetRecord(record.get());
        view.SetMarkerLayer(&layers);
        view.SetProcessingLayer(&layers);
        view.SetSpectrumLayer(&layers);
        surfaces.Resize(ViewImageSizes{{451, 361}, {20, 372}, {20, 372}, {501, 32}});
        s.formReady = s.displayInitialised = true;
        s.runMode = kRunAuto;
        s.recordSinceStart = s.dataValid = true;
        s.memoryPoints = 10000;
        s.trigPosition = 5000;
        view.Horizontal().ScreenSamples = 10000;
        s.displayColors[kSlotCh1] = 0x0000F1;
        s.displayColors[kSlotCh2] = 0xF20000;
        s.buttonShadowColor = 0x404040;
    }

    // The story of one picture: labels, trace lines by channel (runs merged), other items.
    std::vector<std::string> Story(ViewImage image) {
        std::vector<std::string> out;
        for (const CanvasOp& op : surfaces.Recorder(image).Ops()) {
            std::string item;
            switch (op.kind) {
                case CanvasOp::Kind::Text:
                    item = op.text;
                    break;
                case CanvasOp::Kind::Line:
                    item = op.color == 0x0000F1 ? "ch1" : op.color == 0xF20000 ? "ch2" : "line";
                    break;
                case CanvasOp::Kind::Clear:
                    item = "clear";
                    break;
                case CanvasOp::Kind::Frame:
                    item = "frame";
                    break;
                case CanvasOp::Kind::Points:
                    item = "points";
                    break;
                default:
                    item = "other";
            }
            if (out.empty() || out.back() != item)
                out.push_back(item);
        }
        return out;
    }
    using Story_ = std::vector<std::string>;

    std::unique_ptr<SampleBuffer> record = std::make_unique<SampleBuffer>();
    WaveView view;
    LabelLayers layers;
    RecordingSurfaces surfaces;
    ViewSettings s;
};

TEST_F(DisplayRedraw, NothingIsDrawnBeforeTheWindowIsReadyOrWhileAFileLoads) {
    s.formReady = false;
    view.RedrawAll(s, surfaces);
    s.formReady = true;
    s.displaySuspended = true;
    view.RedrawAll(s, surfaces);
    EXPECT_TRUE(surfaces.Events().empty());
    for (int i = 0; i < kViewImageCount; ++i)
        EXPECT_TRUE(surfaces.Recorder(static_cast<ViewImage>(i)).Ops().empty());
    EXPECT_TRUE(view.GridDirty());
}

TEST_F(DisplayRedraw, StepsRunInTheirOrder) {
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(surfaces.Events(),
              (std::vector<RecordingSurfaces::Event>{RecordingSurfaces::Event::CopyGridToWave,
                                                     RecordingSurfaces::Event::Present}));
    // CH2 is on layer 2, CH1 in front; the trigger point is met inside each trace.
    EXPECT_EQ(Story(ViewImage::Wave), (Story_{"cursorT", "cursorV", "ch2", "trigPoint", "ch2",
                                              "ch1", "trigPoint", "ch1", "frame"}));
    EXPECT_EQ(Story(ViewImage::Volt), (Story_{"clear", "marker1", "marker0"}));
    EXPECT_EQ(Story(ViewImage::TrigLevel), (Story_{"clear", "trigLevel"}));
    EXPECT_EQ(Story(ViewImage::TrigPos), (Story_{"clear", "strip", "line"}));
    EXPECT_EQ(Story(ViewImage::Grid), (Story_{"clear", "line"}));

    const auto& volt = surfaces.Recorder(ViewImage::Volt).Ops();
    EXPECT_EQ(volt[0].color, 0x808080u);  // PanelMain's clGray
    EXPECT_EQ(surfaces.Recorder(ViewImage::TrigLevel).Ops()[0].color, 0x808080u);
    EXPECT_EQ(surfaces.Recorder(ViewImage::TrigPos).Ops()[0].color,
              s.displayColors[kSlotBackground]);
    EXPECT_EQ(surfaces.Recorder(ViewImage::Grid).Ops()[0].color, s.displayColors[kSlotBackground]);

    const CanvasOp& frame = surfaces.Recorder(ViewImage::Wave).Ops().back();
    EXPECT_EQ(frame.rect, (Rect{0, 0, 451, 361}));
    EXPECT_EQ(frame.color, 0x404040u);
    const auto edges = surfaces.Recorder(ViewImage::TrigPos).SegmentsDrawn(0x404040);
    EXPECT_EQ(edges, (std::vector<Segment>{{{500, 0}, {500, 31}}, {{0, 31}, {500, 31}}}));
}

TEST_F(DisplayRedraw, GraticuleIsRebuiltOnlyWhenDirty) {
    view.RedrawAll(s, surfaces);
    EXPECT_FALSE(view.GridDirty());
    const std::size_t gridOps = surfaces.Recorder(ViewImage::Grid).Ops().size();
    EXPECT_EQ(gridOps, 1u + 16u + 92u);

    surfaces.Reset();
    view.RedrawAll(s, surfaces);
    EXPECT_TRUE(surfaces.Recorder(ViewImage::Grid).Ops().empty());

    struct Case {
        bool grid, scale;
        std::size_t ops;
    };
    for (const Case& c :
         {Case{false, true, 1 + 92}, Case{true, false, 1 + 16}, Case{false, false, 1}}) {
        s.gridOn = c.grid;
        s.scaleOn = c.scale;
        view.MarkGridDirty();
        surfaces.Reset();
        view.RedrawAll(s, surfaces);
        EXPECT_EQ(surfaces.Recorder(ViewImage::Grid).Ops().size(), c.ops);
    }
    view.Resize(1701, 1361);
    EXPECT_TRUE(view.GridDirty());
}

TEST_F(DisplayRedraw, CursorPairTouchedLastIsOnTop) {
    struct Case {
        bool lastT, tOn, vOn;
        Story_ expected;
    };
    const Case cases[] = {
        {false, true, true, {"cursorT", "cursorV"}},
        {true, true, true, {"cursorV", "cursorT"}},
        {true, false, true, {"cursorV"}},
        {false, true, false, {"cursorT"}},
        {false, false, false, {}},
    };
    s.channelOn = {false, false};
    s.mathOn = true;  // keeps the trigger-point-only walk out of the story
    for (const Case& c : cases) {
        s.lastCursorPairT = c.lastT;
        s.cursorTOn = c.tOn;
        s.cursorVOn = c.vOn;
        surfaces.Reset();
        view.RedrawAll(s, surfaces);
        Story_ story = Story(ViewImage::Wave);
        story.erase(std::remove_if(story.begin(), story.end(),
                                   [](const std::string& x) { return x.rfind("cursor", 0) != 0; }),
                    story.end());
        EXPECT_EQ(story, c.expected);
    }
}

TEST_F(DisplayRedraw, TracesAreStackedByLayerOnePerLayer) {
    struct Case {
        const char* name;
        std::array<int, kTraceCount> order;
        bool ch1, ch2, math, fft;
        Story_ volt;
    };
    const Case cases[] = {
        {"default", {1, 2, 0, 3, 3}, true, true, false, false, {"marker1", "marker0"}},
        {"math at the back",
         {1, 2, 0, 3, 3},
         true,
         true,
         true,
         false,
         {"marker3", "marker1", "marker0"}},
        {"ch1 at the back",
         {3, 1, 0, 2, 3},
         true,
         true,
         true,
         false,
         {"marker0", "marker3", "marker1"}},
        {"fft replaces math",
         {2, 3, 0, 1, 1},
         true,
         true,
         true,
         true,
         {"marker1", "marker0", "marker4"}},
        {"one per layer", {1, 1, 0, 3, 3}, true, true, false, false, {"marker0"}},
        {"switched off", {1, 2, 0, 3, 3}, false, true, false, false, {"marker1"}},
    };
    for (const Case& c : cases) {
        s.traceOrder = c.order;
        s.channelOn = {c.ch1, c.ch2};
        s.mathOn = c.math;
        s.fftOn = c.fft;
        surfaces.Reset();
        view.RedrawAll(s, surfaces);
        Story_ volt = Story(ViewImage::Volt);
        volt.erase(volt.begin());  // the fill
        EXPECT_EQ(volt, c.volt) << c.name;
    }
    // The traces themselves follow the same order, and the front FFT takes the strip.
    EXPECT_EQ(Story(ViewImage::Wave),
              (Story_{"cursorT", "cursorV", "ch2", "trigPoint", "ch2", "frame"}));
    s.traceOrder = {2, 3, 0, 1, 1};
    s.channelOn = {true, true};
    s.mathOn = s.fftOn = true;
    surfaces.Reset();
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(Story(ViewImage::Wave),
              (Story_{"cursorT", "cursorV", "ch2", "ch1", "spectrum", "frame"}));
    EXPECT_EQ(Story(ViewImage::TrigPos), (Story_{"clear", "specStrip", "line"}));
}

TEST_F(DisplayRedraw, WithoutTracesTheTriggerPointIsStillComputed) {
    s.channelOn = {false, false};
    view.Horizontal().TrigPointX = -1;
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(Story(ViewImage::Wave), (Story_{"cursorT", "cursorV", "trigPoint", "frame"}));
    EXPECT_EQ(view.Horizontal().TrigPointX, 225);
}

TEST_F(DisplayRedraw, AveragingRunsOnlyForAFreshRealTimeRecordInAverageMode) {
    struct Case {
        int runMode;
        bool fresh;
        int mode;
        bool equivalent, asRealTime, roll;
        bool runs;
    };
    const Case cases[] = {
        {kRunAuto, true, kWaveformAverage, false, false, false, true},
        {kRunNormal, true, kWaveformAverage, true, true, false, true},
        {kRunStop, true, kWaveformAverage, false, false, false, false},
        {kRunAuto, false, kWaveformAverage, false, false, false, false},
        {kRunAuto, true, kWaveformEnvelope, false, false, false, false},
        {kRunAuto, true, kWaveformAverage, true, false, false, false},
        {kRunAuto, true, kWaveformAverage, false, false, true, false},
    };
    for (const Case& c : cases) {
        s.runMode = c.runMode;
        s.recordSinceStart = c.fresh;
        s.waveformMode = c.mode;
        s.equivalentActive = c.equivalent;
        s.equivalentAsRealTime = c.asRealTime;
        s.rollActive = c.roll;
        surfaces.Reset();
        view.RedrawAll(s, surfaces);
        const Story_ story = Story(ViewImage::Wave);
        const bool ran = std::find(story.begin(), story.end(), "average") != story.end();
        EXPECT_EQ(ran, c.runs) << c.runMode << c.fresh << c.mode << c.equivalent << c.asRealTime
                               << c.roll;
        if (ran) {
            EXPECT_EQ(story[2], "average");  // after the cursors, before the traces
        }
    }
}

TEST_F(DisplayRedraw, RollModeHidesTheTriggerMarkers) {
    s.rollActive = true;
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(Story(ViewImage::Wave), (Story_{"cursorT", "cursorV", "ch2", "ch1", "frame"}));
    EXPECT_EQ(Story(ViewImage::TrigLevel), (Story_{"clear"}));
    EXPECT_EQ(Story(ViewImage::TrigPos), (Story_{"clear", "strip", "line"}));
}

TEST_F(DisplayRedraw, XyPlotReplacesTheTraceLines) {
    s.xyOn = true;
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(Story(ViewImage::Wave),
              (Story_{"cursorT", "cursorV", "trigPoint", "points", "frame"}));
}

TEST_F(DisplayRedraw, StepsOfMissingLayersAreSkipped) {
    view.SetMarkerLayer(nullptr);
    view.SetProcessingLayer(nullptr);
    view.SetSpectrumLayer(nullptr);
    s.mathOn = true;
    view.RedrawAll(s, surfaces);
    EXPECT_EQ(Story(ViewImage::Wave), (Story_{"ch2", "ch1", "frame"}));
    EXPECT_EQ(Story(ViewImage::Volt), (Story_{"clear"}));
}

}  // namespace
}  // namespace lumatrace
