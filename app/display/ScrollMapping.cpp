#include "app/display/ScrollMapping.h"

#include <algorithm>
#include <cmath>

namespace lumatrace {

namespace {

constexpr int kLargeChangeMax = 32767;

// Lowers viewAnchorHold however the scroll handler ends.
class AnchorHold {
  public:
    explicit AnchorHold(HorizontalView& h) : h_(h) { h_.viewAnchorHold = true; }
    ~AnchorHold() { h_.viewAnchorHold = false; }
    AnchorHold(const AnchorHold&) = delete;
    AnchorHold& operator=(const AnchorHold&) = delete;

  private:
    HorizontalView& h_;
};

void ViewMoved(const InteractionContext& ctx, InteractionHost& host) {
    host.RedrawAll();
    host.RefreshReadout(Readout::CursorT);
    if (ctx.view.rollActive)  // the step itself does nothing unless a roll run is on
        host.RollStep();
}

}  // namespace

int ScrollPerSample(int memoryPoints) {
    return memoryPoints > 0 ? std::max(1, kScrollMax / memoryPoints) : 1;
}

double ScrollPerBinFor(int fftBins, int binsPerScreen) {
    const int span = fftBins + binsPerScreen;
    return span > 0 ? static_cast<double>(kScrollMax) / span : 0.0;
}

ScrollGeometry TimeScrollGeometry(int screenSamples, int memoryPoints, int waveWidth) {
    const int sps = ScrollPerSample(memoryPoints);
    ScrollGeometry g;
    g.pageSize = screenSamples * sps;
    g.smallChange =
        waveWidth > 0 && screenSamples > waveWidth ? screenSamples / waveWidth * sps : sps;
    g.largeChange = std::max(std::min(screenSamples / 2 * sps, kLargeChangeMax), g.smallChange);
    g.enabled = memoryPoints > screenSamples;
    return g;
}

ScrollGeometry SpectrumScrollGeometry(const SpectrumWindow& sp, int waveWidth) {
    const double perBin = sp.ScrollPerBin;
    const double page = sp.BinsPerScreen * perBin;
    ScrollGeometry g;
    g.pageSize = static_cast<int>(std::trunc(page));
    g.smallChange = waveWidth > 0 && sp.BinsPerScreen > waveWidth
                        ? static_cast<int>(std::trunc(page / waveWidth))
                        : static_cast<int>(std::trunc(perBin));
    g.smallChange = std::max(g.smallChange, 1);
    g.largeChange = std::min(static_cast<int>(std::trunc(page / 2)), kLargeChangeMax);
    g.enabled = true;
    return g;
}

PixelMove AlignToPixel(long long oldStart, long long newStart, double phase, double pixelsPerItem) {
    // Item counts are whole numbers; anything this close to one is rounding noise.
    constexpr double kNoise = 1e-6;
    PixelMove m;
    const double h = pixelsPerItem * static_cast<double>(newStart - oldStart) + phase;
    if (h >= 0.0 && h < 1.0)
        return m;
    m.moves = true;
    double p = 0.0;
    if (pixelsPerItem >= 1.0) {
        m.start = newStart;
        p = h - std::floor(h);
    } else {
        // Several items share a pixel: stop at the first item of the pixel column the move
        // reaches, so the trace shifts by whole pixels and the phase stays below one pixel.
        double column = std::trunc(h);
        if (column == 0.0)
            column = -1.0;
        const long long items =
            static_cast<long long>(std::ceil((column - phase) / pixelsPerItem - kNoise));
        m.start = oldStart + items;
        p = pixelsPerItem * static_cast<double>(items) + phase - column;
        p -= std::floor(p);
    }
    m.phase = p < kNoise || p > 1.0 - kNoise ? 0.0 : p;
    return m;
}

bool ScrollTimeView(int position, const InteractionContext& ctx, InteractionHost& host,
                    int* setBackTo) {
    if (setBackTo)
        *setBackTo = -1;
    if (!ctx.view.displayInitialised)
        return false;
    HorizontalView& h = ctx.horizontal;
    AnchorHold hold(h);
    const int points = ctx.settings.memoryPoints;
    const int sps = ScrollPerSample(points);
    const int newStart = position / sps;
    if (position == 0 && h.ViewStart == 0)
        return false;
    const int maxStart = std::max(0, points - h.ScreenSamples - 1);
    if (newStart > maxStart) {
        host.SetScrollPosition(maxStart * sps);
        if (setBackTo)
            *setBackTo = maxStart * sps;
        return false;
    }
    if (h.ScreenSamples <= 0)
        return false;
    const double perSample = static_cast<double>(ctx.geometry.WaveWidth) / h.ScreenSamples;
    const PixelMove m = AlignToPixel(h.ViewStart, newStart, h.StartPhase, perSample);
    if (!m.moves)
        return false;
    h.ViewStart = static_cast<int>(std::clamp<long long>(m.start, 0, maxStart));
    h.StartPhase = m.phase;
    ViewMoved(ctx, host);
    return true;
}

bool ScrollSpectrumView(int position, const InteractionContext& ctx, InteractionHost& host,
                        int* setBackTo) {
    if (setBackTo)
        *setBackTo = -1;
    if (!ctx.view.displayInitialised)
        return false;
    HorizontalView& h = ctx.horizontal;
    SpectrumWindow& sp = ctx.spectrum;
    AnchorHold hold(h);
    if (sp.ScrollPerBin <= 0.0 || sp.BinsPerScreen <= 0)
        return false;
    const long long half = sp.HalfScreenBins;
    const long long left = static_cast<long long>(std::trunc(position / sp.ScrollPerBin)) - half;
    const long long maxLeft = sp.FftBins - half - 1;
    if (left > maxLeft) {
        const int back =
            static_cast<int>(std::ceil(static_cast<double>(sp.FftBins - 1) * sp.ScrollPerBin));
        host.SetScrollPosition(back);
        if (setBackTo)
            *setBackTo = back;
        return false;
    }
    const long long oldLeft = static_cast<long long>(sp.SpecStart) - sp.SpecLeftBlank;
    const double perBin = static_cast<double>(ctx.geometry.WaveWidth) / sp.BinsPerScreen;
    const PixelMove m = AlignToPixel(oldLeft, left, h.SpecStartPhase, perBin);
    if (!m.moves)
        return false;
    const long long start = std::clamp(m.start, -half, std::max(-half, maxLeft));
    if (start < 0) {
        sp.SpecStart = 0;
        sp.SpecLeftBlank = static_cast<int>(-start);
    } else {
        sp.SpecStart = static_cast<int>(start);
        sp.SpecLeftBlank = 0;
    }
    h.SpecStartPhase = m.phase;
    ViewMoved(ctx, host);
    return true;
}

KeyScroll ScrollForKey(ScrollKey key, bool ctrlAlone, bool barEnabled, bool spectrumMode,
                       int position, const ScrollGeometry& g, const SpectrumWindow& spectrum) {
    KeyScroll k;
    if (!ctrlAlone || !barEnabled)
        return k;
    const int top = std::max(0, kScrollMax - g.pageSize);
    int next = position;
    switch (key) {
        case ScrollKey::PageUp:
            k.code = ScrollCode::PageUp;
            next = position - g.largeChange;
            break;
        case ScrollKey::PageDown:
            k.code = ScrollCode::PageDown;
            next = position + g.largeChange;
            break;
        case ScrollKey::End:
            k.code = ScrollCode::Bottom;
            next = top;
            break;
        case ScrollKey::Home:
            k.code = ScrollCode::Top;
            next = 0;
            break;
        case ScrollKey::Left:
            k.code = ScrollCode::LineUp;
            next = position - g.smallChange;
            break;
        case ScrollKey::Right:
            k.code = ScrollCode::LineDown;
            next = position + g.smallChange;
            break;
        case ScrollKey::Insert:
            // Only the spectrum has a 0 Hz to go to; in the time view the key is not ours.
            if (!spectrumMode)
                return k;
            // Rounded up: the handler truncates position / ScrollPerBin, and a truncated
            // position would land one bin short of 0 Hz.
            k.code = ScrollCode::Position;
            next = static_cast<int>(std::ceil(spectrum.HalfScreenBins * spectrum.ScrollPerBin));
            break;
        case ScrollKey::Other:
            return k;
    }
    k.handled = true;
    k.position = std::clamp(next, 0, top);
    k.endOfScroll =
        (key == ScrollKey::PageDown || key == ScrollKey::End || key == ScrollKey::Right) &&
        k.position >= top;
    return k;
}

}  // namespace lumatrace
