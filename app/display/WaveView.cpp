#include "app/display/WaveView.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumatrace {

namespace {

constexpr std::size_t kPointBatch = 4096;

// Room for the columns of one trace: at most one left of the picture, one per visible x
// (0..W) and one right of it.
std::size_t ColumnCapacity(int waveWidth) {
    return static_cast<std::size_t>(waveWidth) + 16;
}

bool SameWalk(const ColumnWalkInput& a, const ColumnWalkInput& b) {
    return a.words == b.words && a.first == b.first && a.end == b.end && a.x0 == b.x0 &&
           a.stepFixed == b.stepFixed && a.phaseFixed == b.phaseFixed && a.widen == b.widen &&
           a.rightEdge == b.rightEdge;
}

}  // namespace

WaveView::WaveView() {
    points_.reserve(kPointBatch);
    Resize(geometry_.WaveWidth + 1, geometry_.WaveHeight + 1);
}

void WaveView::Resize(int waveBoxWidth, int waveBoxHeight) {
    geometry_ = ViewGeometry::ForWaveBox(waveBoxWidth, waveBoxHeight);
    // The only allocations of the view; a redraw reuses them.
    columns_.assign(ColumnCapacity(geometry_.WaveWidth), TraceColumn{});
    segments_.clear();
    segments_.reserve(2 * columns_.size() + 4);
    for (int c = 0; c < kCodeCount; ++c)
        xTable_[c] = CodeToX(c);
    gridDirty_ = true;
    walkValid_ = false;
}

// ---------------------------------------------------------------- graticule

void WaveView::DrawGrid(const ViewSettings& s, Canvas& grid) const {
    const ViewGeometry& g = geometry_;
    std::array<Segment, 16> lines;
    std::size_t n = 0;
    for (int i = 1; i <= 9; ++i)
        lines[n++] = {{g.gridX[i], 0}, {g.gridX[i], g.WaveHeight}};
    for (int i = 1; i <= 7; ++i)
        lines[n++] = {{0, g.gridY[i]}, {g.WaveWidth, g.gridY[i]}};
    grid.SetPen(s.displayColors[kSlotScale], PenStyle::Dot);
    grid.Lines(lines.data(), n);
}

void WaveView::DrawScale(const ViewSettings& s, Canvas& grid) const {
    const ViewGeometry& g = geometry_;
    std::array<Segment, 2 + 10 * 5 + 8 * 5> lines;
    std::size_t n = 0;
    const int cx = g.gridX[5];
    const int cy = g.gridY[4];
    lines[n++] = {{cx, 0}, {cx, g.WaveHeight}};
    lines[n++] = {{0, cy}, {g.WaveWidth, cy}};
    for (int d = 0; d <= 9; ++d) {
        for (int i = 1; i <= 5; ++i) {
            const int x = g.gridX[d] + g.tickX[i];
            lines[n++] = {{x, cy - 2}, {x, cy + 2}};  // five pixels centred on the axis
        }
    }
    for (int d = 0; d <= 7; ++d) {
        for (int i = 1; i <= 5; ++i) {
            const int y = g.gridY[d] + g.tickY[i];
            lines[n++] = {{cx - 2, y}, {cx + 2, y}};
        }
    }
    grid.SetPen(s.displayColors[kSlotScale], PenStyle::Solid);
    grid.Lines(lines.data(), n);
}

// ---------------------------------------------------------------- code mapping

bool WaveView::RecordIsStale(const ViewSettings& s) {
    if (!s.Running())
        return true;
    return !s.recordSinceStart && !s.rollActive;
}

int WaveView::ZeroLineY(const ViewSettings& s, int trace) const {
    return static_cast<int>(RoundHalfEven(s.tracePosition[trace] * geometry_.Ky)) -
           geometry_.DivHeight;
}

namespace {

// The bar scrolls the spectrum in front, or a record wider than the screen.
bool ScrollEnabled(const ViewSettings& s, int points, int screen) {
    return s.SpectrumInFront() || points != screen;
}

// CodeToY with the per-channel constants worked out once; the arithmetic per code is the
// same whichever way it is called.
struct YMapping {
    double h = 0.0;
    bool stale = false;
    double shift = 0.0;  // (p - p0) * Ky
    double g = 0.0;      // zero line
    double ratio = 1.0;  // S0 / S

    int Map(int code) const {
        // code * 10 / 1024 is code / 102.4 without the rounding of 102.4.
        double y = h / 2.0 - (code * (10.0 / 1024.0) - 5.0) * h / 8.0;
        if (stale)
            y = (y + shift - g) * ratio + g;
        return static_cast<int>(std::trunc(y));
    }
};

YMapping MappingFor(const WaveView& view, const ViewGeometry& geometry, const ViewSettings& s,
                    int channel) {
    YMapping m;
    m.h = geometry.WaveHeight;
    m.stale = WaveView::RecordIsStale(s);
    if (m.stale) {
        const int vd = s.voltsPerDivMv[channel];
        const int vd0 = s.acqVoltsPerDivMv[channel];
        m.ratio = vd > 0 && vd0 > 0 ? static_cast<double>(vd0) / vd : 1.0;
        m.shift = (s.tracePosition[channel] - s.acqTracePosition[channel]) * geometry.Ky;
        m.g = view.ZeroLineY(s, channel);
    }
    return m;
}

}  // namespace

int WaveView::CodeToY(const ViewSettings& s, int channel, int code) const {
    return MappingFor(*this, geometry_, s, channel).Map(code);
}

int WaveView::CodeToX(int code) const {
    return code * geometry_.WaveWidth / 1024;
}

void WaveView::FillYTable(const ViewSettings& s, int channel,
                          std::array<int, kCodeCount>& table) const {
    const YMapping m = MappingFor(*this, geometry_, s, channel);
    for (int c = 0; c < kCodeCount; ++c)
        table[c] = m.Map(c);
}

// ---------------------------------------------------------------- time-domain traces

int WaveView::RoundedWholeStep(std::int64_t samples) const {
    return static_cast<int>(
        RoundHalfEvenDiv(std::int64_t{geometry_.WaveWidth} * samples, horizontal_.ScreenSamples));
}

int WaveView::Rounded(const TracePlan& plan, std::int64_t samples) const {
    if (plan.exactStep)
        return RoundedWholeStep(samples);
    return static_cast<int>(RoundHalfEven(plan.step * static_cast<double>(samples)));
}

void WaveView::ComputeViewOffset(const ViewSettings& s, double step, int lastIndex) {
    HorizontalView& h = horizontal_;
    const int w = geometry_.WaveWidth;
    const int tp = s.trigPosition;
    const double f = h.TrigMarkerFraction;
    const double d = step * (tp - h.ViewStart);
    const double wf = w * f;
    const bool endsAtRecordEnd = lastIndex >= s.memoryPoints - 1;
    if (wf != d && h.ViewStart >= 1 && !endsAtRecordEnd && f != -1.0 && !h.viewAnchorHold) {
        // Keep the trigger point where it was drawn last time.
        h.ViewOffset = static_cast<int>(RoundHalfEven(wf)) - RoundedWholeStep(tp - h.ViewStart);
    } else if (wf != d && h.ViewStart != 0) {
        if (endsAtRecordEnd) {
            h.ViewOffset = 0;
        } else if (!s.Running() && f == -1.0 && s.timePerDiv != offsetTimePerDiv_ &&
                   offsetScreenSamples_ > 0) {
            h.ViewOffset = static_cast<int>(RoundHalfEven(static_cast<double>(h.ViewOffset) *
                                                          offsetScreenSamples_ / h.ScreenSamples));
        }
    } else {
        h.ViewOffset = 0;
    }
    h.viewOffsetComputed = true;
    offsetTimePerDiv_ = s.timePerDiv;
    offsetScreenSamples_ = h.ScreenSamples;
}

TracePlan WaveView::BeginTrace(const ViewSettings& s) {
    TracePlan plan;
    HorizontalView& h = horizontal_;
    const int w = geometry_.WaveWidth;
    h.TraceLeft = 1;
    h.TraceRight = w;
    const int screen = h.ScreenSamples;
    const int points = std::min(s.memoryPoints, kMaxRecordPoints);
    if (!s.displayInitialised || screen <= 0 || points <= 0)
        return plan;

    const double step = static_cast<double>(w) / screen;
    const double zstep = step * h.HorizontalZoom;
    const int last = screen >= points ? screen - 1 : screen;
    std::int64_t first = h.ViewStart;
    std::int64_t end = std::int64_t{h.ViewStart} + last;
    const int tp = s.trigPosition;
    int x0 = 1;
    if (screen >= points) {
        // Whole record on screen: zooming keeps the trigger point in place. The trigger point
        // and the samples are both placed with the zoomed step, so the marker stays on the
        // trigger sample.
        const int zoomedTrig = h.HorizontalZoom == 1.0
                                   ? RoundedWholeStep(tp)
                                   : static_cast<int>(RoundHalfEven(zstep * tp));
        h.ViewOffset = RoundedWholeStep(tp) - zoomedTrig;
        x0 = h.ViewOffset >= 1 ? h.ViewOffset : 1;
        plan.step = zstep;
        plan.exactStep = h.HorizontalZoom == 1.0;
    } else {
        if (!h.viewOffsetComputed)
            ComputeViewOffset(s, step, static_cast<int>(end));
        if (h.ViewOffset >= 1) {
            --first;
            x0 = -h.ViewOffset;
        } else if (h.ViewOffset < 0) {
            ++end;
            x0 = h.ViewOffset;
        }
        plan.step = step;
        plan.exactStep = true;
    }
    h.TrigMarkerFraction = -1.0;
    h.TrigPointX = Rounded(plan, std::int64_t{tp} - h.ViewStart) + h.ViewOffset;
    if (x0 >= 1)
        h.TraceLeft = x0;

    // Indices outside the buffers are never read, whatever the view state says.
    plan.first = static_cast<int>(std::max<std::int64_t>(first, 0));
    plan.end = static_cast<int>(std::min<std::int64_t>(end, kBufferWords - 1));
    plan.x0 = x0;
    if (plan.exactStep) {
        const std::int64_t num = std::int64_t{w} << kPixelFractionBits;
        plan.stepFixed = (num + screen - 1) / screen;  // rounded up: exact columns stay exact
    } else {
        plan.stepFixed =
            static_cast<std::int64_t>(std::ceil(std::ldexp(plan.step, kPixelFractionBits)));
    }
    plan.stepFixed = std::max<std::int64_t>(plan.stepFixed, 1);
    const double phase = std::clamp(h.StartPhase, 0.0, 1.0);
    plan.phaseFixed = std::min<std::int64_t>(
        static_cast<std::int64_t>(std::llround(std::ldexp(phase, kPixelFractionBits))),
        kPixelOne - 1);
    plan.trigInRange = tp >= plan.first && tp <= plan.end;
    plan.trigX = h.TrigPointX;
    if (plan.trigInRange)
        h.TrigMarkerFraction = static_cast<double>(plan.trigX) / w;
    plan.valid = true;
    return plan;
}

const ColumnWalkResult& WaveView::Columns(const TracePlan& plan, bool widen) {
    ColumnWalkInput in;
    in.words = record_->data();
    in.first = plan.first;
    in.end = plan.end;
    in.x0 = plan.x0;
    in.stepFixed = plan.stepFixed;
    in.phaseFixed = plan.phaseFixed;
    in.widen = widen;
    in.rightEdge = geometry_.WaveWidth;
    if (!walkValid_ || !SameWalk(in, walkInput_)) {
        walk_ = WalkColumns(in, columns_.data(), columns_.size());
        walkInput_ = in;
        walkValid_ = true;
    }
    return walk_;
}

void WaveView::FlushSegments(Canvas& wave) {
    if (!segments_.empty())
        wave.Lines(segments_.data(), segments_.size());
    segments_.clear();
}

void WaveView::DrawTraceLine(const ViewSettings& s, int channel, const TracePlan& plan, bool bars,
                             Canvas& wave, const RedrawContext& ctx) {
    FillYTable(s, channel, yTable_);
    const int shift = ChannelShift(channel);
    const Color pen = s.displayColors[channel];
    auto y = [&](SampleWord packed) { return yTable_[DecodeCode(packed, shift)]; };
    bool markerPending = plan.trigInRange && markers_ && !s.SpectrumInFront() && !s.RollRunning();
    auto drawMarker = [&] {
        FlushSegments(wave);
        markers_->DrawTriggerPointMarker(ctx, plan.trigX);
        wave.SetPen(pen, PenStyle::Solid);
        markerPending = false;
    };

    wave.SetPen(pen, PenStyle::Solid);
    segments_.clear();
    const TraceColumn* cols = columns_.data();
    const std::size_t n = walk_.count;
    Point current;
    if (n > 0)
        current = {cols[0].x, y(cols[0].word)};
    for (std::size_t k = 1; k < n; ++k) {
        const TraceColumn& prev = cols[k - 1];
        const TraceColumn& col = cols[k];
        if (markerPending && col.enter >= s.trigPosition)
            drawMarker();
        if (bars) {
            // The min-max bar of the column being left; the line to the next column then
            // starts at its lower end. A bar of no length is the vertex pixel, already drawn.
            const Point top{prev.x, y(prev.hi)};
            const Point bottom{prev.x, y(prev.lo)};
            if (top != bottom)
                segments_.push_back({top, bottom});
            current = bottom;
        }
        const Point next{col.x, y(col.word)};
        segments_.push_back({current, next});
        current = next;
    }
    if (markerPending)
        drawMarker();
    if (bars && n > 0) {
        // The last column gets its bar too.
        const TraceColumn& lastCol = cols[n - 1];
        const Point top{lastCol.x, y(lastCol.hi)};
        const Point bottom{lastCol.x, y(lastCol.lo)};
        if (top != bottom)
            segments_.push_back({top, bottom});
    }
    FlushSegments(wave);
}

void WaveView::DrawTrace(const ViewSettings& s, int index, ViewSurfaces& surfaces) {
    // Outside a redraw the record may have changed since the last walk.
    if (!inRedraw_)
        walkValid_ = false;
    const TracePlan plan = BeginTrace(s);
    if (!plan.valid)
        return;
    const RedrawContext ctx = Context(s, surfaces);
    Canvas& wave = surfaces.CanvasFor(ViewImage::Wave);
    const bool draws = (index == kTraceCh1 || index == kTraceCh2) && !s.xyOn;

    ColumnWalkResult end;
    if (draws) {
        const bool envelope = s.waveformMode == kWaveformEnvelope;
        // In equivalent-time the samples inside a column do not widen its bar, so the bar
        // never has any length.
        const bool widen = envelope && !s.equivalentActive;
        end = Columns(plan, widen);
        DrawTraceLine(s, index, plan, widen, wave, ctx);
    } else {
        ColumnWalkInput in;
        in.words = record_->data();
        in.first = plan.first;
        in.end = plan.end;
        in.x0 = plan.x0;
        in.stepFixed = plan.stepFixed;
        in.phaseFixed = plan.phaseFixed;
        end = TraceEndPosition(in);
        if (plan.trigInRange && markers_ && !s.SpectrumInFront() && !s.RollRunning()) {
            markers_->DrawTriggerPointMarker(ctx, plan.trigX);
        }
    }
    const std::int64_t ceilAcc = (end.accEnd + kPixelOne - 1) >> kPixelFractionBits;
    const std::int64_t right = std::int64_t{end.xLast} + ceilAcc;
    if (horizontal_.HorizontalZoom != 1.0 && right < geometry_.WaveWidth) {
        horizontal_.TraceRight = static_cast<int>(right);
    }
}

// ---------------------------------------------------------------- XY plot

void WaveView::DrawXY(const ViewSettings& s, Canvas& wave) {
    if (!s.xyOn || !s.dataValid)
        return;
    std::memset(XyPlotMap.data(), 0, XyPlotMap.size());
    FillYTable(s, kTraceCh2, yTable_);
    wave.SetPen(s.displayColors[kSlotMath], PenStyle::Solid);
    points_.clear();
    const SampleWord* words = record_->data();
    const int count = std::min(s.memoryPoints, kMaxRecordPoints);
    for (int i = 0; i < count; ++i) {
        const SampleWord word = words[i];
        if (word == NoSample)
            continue;
        const int c1 = DecodeCode(word, 0);
        const int c2 = DecodeCode(word, 16);
        std::uint8_t& seen = XyPlotMap[XyPlotIndex(c1, c2)];
        if (seen)
            continue;
        seen = 1;
        points_.push_back({xTable_[c1], yTable_[c2]});
        if (points_.size() == kPointBatch) {
            wave.Points(points_.data(), points_.size());
            points_.clear();
        }
    }
    if (!points_.empty())
        wave.Points(points_.data(), points_.size());
    points_.clear();
}

// ---------------------------------------------------------------- view window

void WaveView::RecomputeViewWindow(const ViewSettings& s) {
    if (!s.displayInitialised)
        return;
    HorizontalView& h = horizontal_;
    const int points = std::clamp(s.memoryPoints, 1, kMaxRecordPoints);
    const int screen = h.ScreenSamples;
    const int scrollPerSample = 1000000 / points;

    std::int64_t p;
    if (s.displaySuspended) {
        p = std::int64_t{s.trigPosition} - screen / 2;
    } else if (h.TrigMarkerFraction != -1.0 && !h.viewAnchorHold) {
        p = static_cast<std::int64_t>(std::trunc(s.trigPosition - screen * h.TrigMarkerFraction));
    } else if (s.prevTimePerDiv != s.timePerDiv) {
        p = h.scrollPosition / scrollPerSample;
    } else {
        p = h.ViewStart;
        if (std::int64_t{h.ViewStart} + screen >= points)
            p = h.scrollPosition / scrollPerSample;
    }
    SetViewStart(p, points);

    SpectrumWindow& sp = spectrum_;
    if (s.fftOn) {
        std::int64_t a = 0;
        if (s.displaySuspended) {
            h.SpecStartPhase = 0.0;
        } else {
            a = sp.SpecCentreBin() - sp.HalfScreenBins;
            if (sp.BinsPerScreen > 0) {
                const double x = static_cast<double>(geometry_.WaveWidth) / sp.BinsPerScreen * a;
                h.SpecStartPhase = x - std::trunc(x);
            } else {
                h.SpecStartPhase = 0.0;
            }
        }
        sp.SetSpecStart(a);
        if (!h.viewAnchorHold)
            sp.SpecLeftBlank = a < 0 ? static_cast<int>(-a) : 0;
    }

    h.scrollEnabled = ScrollEnabled(s, points, screen);
    h.scrollPosition = ViewScrollPosition(s, h, sp);
}

void WaveView::SetViewStart(std::int64_t p, int points) {
    HorizontalView& h = horizontal_;
    const int screen = h.ScreenSamples;
    if (p <= 0) {
        h.ViewStart = 0;
    } else if (p + screen < points) {
        h.ViewStart = static_cast<int>(p);
    } else {
        h.ViewStart = screen >= points ? 0 : points - screen - 1;
    }
}

void WaveView::CentreOnTrigger(const ViewSettings& s) {
    if (!s.displayInitialised)
        return;
    HorizontalView& h = horizontal_;
    const int points = std::clamp(s.memoryPoints, 1, kMaxRecordPoints);
    SetViewStart(std::int64_t{s.trigPosition} - h.ScreenSamples / 2, points);
    h.StartPhase = 0.0;
    h.ViewOffset = 0;
    h.TrigMarkerFraction = -1.0;
    h.scrollEnabled = ScrollEnabled(s, points, h.ScreenSamples);
    h.scrollPosition = ViewScrollPosition(s, h, spectrum_);
    h.viewOffsetComputed = false;
    BeginTrace(s);
}

int ViewScrollPosition(const ViewSettings& s, const HorizontalView& h, const SpectrumWindow& sp) {
    if (!s.SpectrumInFront()) {
        const int points = std::clamp(s.memoryPoints, 1, kMaxRecordPoints);
        return h.ViewStart * (1000000 / points);
    }
    const int b = (sp.SpecStart != 0 || sp.SpecLeftBlank == 0)
                      ? sp.SpecStart + sp.HalfScreenBins
                      : sp.HalfScreenBins - sp.SpecLeftBlank;
    return static_cast<int>(std::trunc(sp.ScrollPerBin * b));
}

// ---------------------------------------------------------------- redraw

void WaveView::AverageRecord(const ViewSettings& s, ViewSurfaces& surfaces) {
    if (!s.formReady || s.displaySuspended || !AveragesNow(s))
        return;
    processing_->AverageStep(Context(s, surfaces));
}

bool WaveView::AveragesNow(const ViewSettings& s) const {
    return processing_ && s.Running() && s.recordSinceStart && s.waveformMode == kWaveformAverage &&
           (!s.equivalentActive || s.equivalentAsRealTime) && !s.rollActive;
}

void WaveView::RedrawAll(const ViewSettings& s, ViewSurfaces& surfaces, bool averageStep) {
    if (!s.formReady || s.displaySuspended)
        return;
    inRedraw_ = true;
    walkValid_ = false;
    const RedrawContext ctx = Context(s, surfaces);
    const Color background = s.displayColors[kSlotBackground];
    Canvas& wave = surfaces.CanvasFor(ViewImage::Wave);

    // The wave picture is not filled here: the graticule copy below covers all of it.
    surfaces.CanvasFor(ViewImage::Volt).Clear(kPanelMainColor);
    surfaces.CanvasFor(ViewImage::TrigLevel).Clear(kPanelMainColor);
    surfaces.CanvasFor(ViewImage::TrigPos).Clear(background);

    if (gridDirty_) {
        Canvas& grid = surfaces.CanvasFor(ViewImage::Grid);
        grid.Clear(background);
        if (s.gridOn)
            DrawGrid(s, grid);
        if (s.scaleOn)
            DrawScale(s, grid);
        gridDirty_ = false;
    }
    surfaces.CopyGridToWave();

    // Cursors: the pair touched last is drawn on top.
    if (markers_) {
        if (s.lastCursorPairT) {
            if (s.cursorVOn)
                markers_->DrawVoltageCursors(ctx);
            if (s.cursorTOn)
                markers_->DrawTimeCursors(ctx);
        } else {
            if (s.cursorTOn)
                markers_->DrawTimeCursors(ctx);
            if (s.cursorVOn)
                markers_->DrawVoltageCursors(ctx);
        }
    }

    if (averageStep && AveragesNow(s)) {
        processing_->AverageStep(ctx);
    }

    // Traces back to front, at most one per layer.
    horizontal_.viewOffsetComputed = false;
    auto shown = [&](int trace) {
        switch (trace) {
            case kTraceCh1:
                return s.channelOn[0];
            case kTraceCh2:
                return s.channelOn[1];
            case kTraceFft:
                return s.fftOn;
            case kTraceMath:
                return s.mathOn && !s.fftOn;
            default:
                return false;
        }
    };
    constexpr int kPickOrder[] = {kTraceCh1, kTraceCh2, kTraceFft, kTraceMath};
    for (int layer = 3; layer >= 1; --layer) {
        for (int trace : kPickOrder) {
            if (s.traceOrder[trace] != layer || !shown(trace))
                continue;
            if (markers_)
                markers_->DrawTracePositionMarker(ctx, trace);
            if (trace == kTraceFft) {
                if (spectrumLayer_)
                    spectrumLayer_->DrawSpectrum(ctx);
            } else if (trace == kTraceMath) {
                if (processing_)
                    processing_->DrawMathTrace(ctx);
            } else {
                DrawTrace(s, trace, surfaces);
            }
            break;
        }
    }
    if (!s.channelOn[0] && !s.channelOn[1] && !s.mathOn && !s.fftOn) {
        DrawTrace(s, kTraceNone, surfaces);
    }

    if (s.xyOn)
        DrawXY(s, wave);

    if (markers_ && !s.RollRunning())
        markers_->DrawTriggerLevelMarker(ctx);

    if (s.SpectrumInFront()) {
        if (spectrumLayer_)
            spectrumLayer_->DrawSpectrumPositionStrip(ctx);
    } else if (markers_) {
        markers_->DrawTriggerPositionStrip(ctx);
    }

    wave.SetPen(s.buttonShadowColor, PenStyle::Solid);
    wave.FrameRect({0, 0, geometry_.WaveWidth + 1, geometry_.WaveHeight + 1});
    Canvas& trigPos = surfaces.CanvasFor(ViewImage::TrigPos);
    const int tw = trigPos.Width();
    const int th = trigPos.Height();
    const Segment edges[2] = {{{tw - 1, 0}, {tw - 1, th - 1}}, {{0, th - 1}, {tw - 1, th - 1}}};
    trigPos.SetPen(s.buttonShadowColor, PenStyle::Solid);
    trigPos.Lines(edges, 2);

    inRedraw_ = false;
    surfaces.Present();
}

}  // namespace lumatrace
