#include "app/display/ViewSpectrum.h"

#include <algorithm>
#include <cmath>

#include "app/display/SampleWord.h"
#include "app/display/SpectrumScales.h"
#include "app/display/WaveView.h"

namespace lumatrace {

namespace {

// Squared RMS amplitude of bin k before the window correction: a sinusoid's power is halved,
// the DC bin's is not. The walk compares bins by this, so min and max of a column are those of
// what is displayed.
double AmplitudeSquared(double re, double im, int k) {
    const double p = re * re + im * im;
    return k == 0 ? p : p / 2.0;
}

}  // namespace

int ViewSpectrum::YOf(double amplitudeSquared, const RedrawContext& ctx) const {
    double a = std::sqrt(amplitudeSquared) * WindowCorrection(display_.window);
    if (display_.sourceGround)
        a = 0.0;
    return SpectrumY(SpectrumValue(a, display_.dbv), ctx.geometry, display_.fftScale,
                     ctx.settings.tracePosition[kTraceFft]);
}

void ViewSpectrum::DrawSpectrum(const RedrawContext& ctx) {
    const ViewSettings& s = ctx.settings;
    if (!s.displayInitialised)
        return;
    analyzer_.SetRecordOnShow(s.dataValid);
    // In the 1M-point roll configuration the worker transforms; elsewhere it happens here, at
    // most once per request.
    const bool workerConfiguration = s.memoryPoints >= kMaxRecordPoints && s.RollRunning();
    if (s.dataValid && analyzer_.RequestPending() && !workerConfiguration &&
        !analyzer_.WorkerRunning()) {
        analyzer_.ComputeSpectrum(display_.recordLocked);
    }

    Canvas& wave = ctx.surfaces.CanvasFor(ViewImage::Wave);
    const Color pen = s.displayColors[kSlotFft];
    wave.SetPen(pen, PenStyle::Solid);

    const SpectrumWindow& sp = ctx.view.Spectrum();
    const int w = ctx.geometry.WaveWidth;
    const int bins = std::max(sp.BinsPerScreen, 2);
    const double d = static_cast<double>(w) / bins;
    int x0 = 0;
    if (sp.SpecLeftBlank != 0) {
        x0 = static_cast<int>(RoundHalfEven(d * sp.SpecLeftBlank));
        x0 = std::min(x0, (w - 1) / 2);  // below W / 2
    }
    const long double perScreen = display_.binWidthHz > 0.0L
                                      ? display_.hzPerDiv * 10.0L / display_.binWidthHz
                                      : static_cast<long double>(bins);
    specZeroX_ = perScreen > 0.0L
                     ? (-static_cast<long double>(sp.SpecStart) * w) / perScreen + x0 + 1
                     : static_cast<long double>(x0 + 1);

    if (s.SpectrumInFront() && markers_) {
        markers_->DrawTriggerPointMarker(ctx, static_cast<int>(RoundHalfEven(w / 2.0)));
        wave.SetPen(pen, PenStyle::Solid);
    }
    if (!s.dataValid || sp.FftBins <= 0)
        return;

    const int first = std::clamp(sp.SpecStart, 0, sp.FftBins - 1);
    const int last = std::min(first + bins, sp.FftBins - 1);
    analyzer_.CopyOutputs(first, last, re_, im_);

    // Bin k lands at x0 + 1 + floor(phase + d * (k - first)); the phase of the view is kept
    // only when the trace starts at the left edge, as for the time traces.
    const double phase = x0 == 0 ? ctx.horizontal.SpecStartPhase : 0.0;
    auto xOf = [&](int k) {
        return x0 + 1 + static_cast<int>(std::floor(phase + d * (k - first)));
    };

    segments_.clear();
    int x = xOf(first);
    double q = AmplitudeSquared(re_[first], im_[first], first);
    double qMin = q;
    double qMax = q;
    Point vertex{x, YOf(q, ctx)};
    auto bar = [&] {
        const Point top{x, YOf(qMax, ctx)};
        const Point bottom{x, YOf(qMin, ctx)};
        if (top != bottom)
            segments_.push_back({top, bottom});
    };
    for (int k = first + 1; k <= last; ++k) {
        q = AmplitudeSquared(re_[k], im_[k], k);
        const int nx = xOf(k);
        if (nx == x) {
            qMin = std::min(qMin, q);
            qMax = std::max(qMax, q);
            continue;
        }
        bar();
        const Point next{nx, YOf(q, ctx)};
        segments_.push_back({vertex, next});
        vertex = next;
        x = nx;
        qMin = qMax = q;
        if (x > w + 1)
            break;  // nothing further right is visible
    }
    bar();
    if (segments_.empty())  // one bin in one column: its pixel
        segments_.push_back({vertex, vertex});
    wave.Lines(segments_.data(), segments_.size());
}

void ViewSpectrum::DrawSpectrumPositionStrip(const RedrawContext& ctx) {
    const ViewSettings& s = ctx.settings;
    const SpectrumWindow& sp = ctx.view.Spectrum();
    if (sp.FftBins <= 0)
        return;
    Canvas& strip = ctx.surfaces.CanvasFor(ViewImage::TrigPos);
    const int h = strip.Height();
    const int left = display_.overviewLeft;
    const double scale = static_cast<double>(ctx.geometry.WaveWidth - 2) / sp.FftBins;
    auto at = [&](long long bin) { return static_cast<int>(RoundHalfEven(bin * scale)) + left; };

    const int m = at(static_cast<long long>(sp.SpecStart) - sp.SpecLeftBlank);
    const int n = at(static_cast<long long>(sp.SpecStart) + sp.BinsPerScreen - sp.SpecLeftBlank);
    strip.SetPen(s.displayColors[kSlotScale], PenStyle::Solid);
    const Point open[4] = {{m + 1, 2}, {m - 1, 2}, {m - 1, h - 4}, {m + 2, h - 4}};
    const Point close[4] = {{n - 1, 2}, {n + 1, 2}, {n + 1, h - 4}, {n - 2, h - 4}};
    strip.Polyline(open, 4);
    strip.Polyline(close, 4);

    // The centre of the view, pointing down to the middle row; no label.
    const int f = at(sp.SpecCentreBin());
    const int tip = h / 2 - 1;
    strip.SetPen(s.displayColors[kSlotFft], PenStyle::Solid);
    strip.SetBrush(s.displayColors[kSlotFft]);
    strip.SetTextColor(s.displayColors[kSlotBackground]);
    const Point marker[5] = {{f - 4, 1}, {f + 4, 1}, {f + 4, tip - 4}, {f, tip}, {f - 4, tip - 4}};
    strip.Polygon(marker, 5);
}

}  // namespace lumatrace
