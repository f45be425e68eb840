#include "app/display/testing/ViewInvariants.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "app/display/ScrollMapping.h"
#include "app/display/TraceColumns.h"
#include "app/display/ViewInteraction.h"

namespace lumatrace::testing {

namespace {

// Positions are whole samples and bins times a pixel step; this much is rounding.
constexpr double kNoise = 1e-9;

const char* TraceName(int trace) {
    switch (trace) {
        case kTraceCh1:
            return "CH1";
        case kTraceCh2:
            return "CH2";
        case kTraceMath:
            return "MATH";
        case kTraceFft:
            return "FFT";
        default:
            return "no trace";
    }
}

std::string CheckBarGeometry(const ScrollGeometry& g, const ScrollBarState& bar, const char* mode) {
    std::ostringstream out;
    const int maximum = std::max(0, kScrollMax - g.pageSize);
    if (bar.maximum != maximum || bar.pageStep != std::max(1, g.pageSize) ||
        bar.singleStep != std::max(1, g.smallChange) || bar.enabled != g.enabled) {
        out << "the bar (maximum " << bar.maximum << ", page " << bar.pageStep << ", step "
            << bar.singleStep << (bar.enabled ? ", enabled" : ", disabled")
            << ") does not have the geometry of the " << mode << " view (maximum " << maximum
            << ", page " << std::max(1, g.pageSize) << ", step " << std::max(1, g.smallChange)
            << (g.enabled ? ", enabled" : ", disabled") << ")";
    }
    return out.str();
}

std::string CheckTimeBar(const ViewSettings& s, const WaveView& view, const ScrollBarState& bar) {
    const HorizontalView& h = view.Horizontal();
    const int w = view.Geometry().WaveWidth;
    const int points = s.memoryPoints;
    const int screen = h.ScreenSamples;
    std::string geometry = CheckBarGeometry(TimeScrollGeometry(screen, points, w), bar, "record");
    if (!geometry.empty())
        return geometry;
    std::ostringstream out;
    const int maxStart = screen >= points ? 0 : points - screen - 1;
    if (h.ViewStart < 0 || h.ViewStart > maxStart) {
        out << "ViewStart " << h.ViewStart << " is outside 0.." << maxStart;
        return out.str();
    }
    if (screen <= 0)
        return {};
    // The scroll handler moves the view by whole pixels and keeps the rest as StartPhase, so
    // the bar leads or trails the view's left edge by less than a pixel.
    const int sps = ScrollPerSample(points);
    const int barStart = bar.value / sps;
    const double pixelsPerSample = static_cast<double>(w) / screen;
    const double lead = pixelsPerSample * (barStart - h.ViewStart) + h.StartPhase;
    if (!(lead > -1.0 - kNoise && lead < 1.0 + kNoise)) {
        out << "the bar at " << bar.value << " (sample " << barStart << ") is " << lead
            << " pixels from the view's left edge (ViewStart " << h.ViewStart << ", phase "
            << h.StartPhase << ")";
    }
    return out.str();
}

std::string CheckSpectrumBar(const WaveView& view, const ScrollBarState& bar) {
    const HorizontalView& h = view.Horizontal();
    const SpectrumWindow& sp = view.Spectrum();
    const int w = view.Geometry().WaveWidth;
    std::string geometry = CheckBarGeometry(SpectrumScrollGeometry(sp, w), bar, "spectrum");
    if (!geometry.empty())
        return geometry;
    std::ostringstream out;
    const int maxStart = std::max(0, sp.FftBins - sp.HalfScreenBins - 1);
    if (sp.SpecStart < 0 || sp.SpecStart > maxStart || sp.SpecLeftBlank < 0 ||
        sp.SpecLeftBlank > sp.HalfScreenBins) {
        out << "the spectrum window (SpecStart " << sp.SpecStart << ", SpecLeftBlank "
            << sp.SpecLeftBlank << ") is outside 0.." << maxStart << " and 0.."
            << sp.HalfScreenBins;
        return out.str();
    }
    if (sp.ScrollPerBin <= 0.0 || sp.BinsPerScreen <= 0)
        return {};
    const long long barLeft =
        static_cast<long long>(std::trunc(bar.value / sp.ScrollPerBin)) - sp.HalfScreenBins;
    const long long viewLeft = static_cast<long long>(sp.SpecStart) - sp.SpecLeftBlank;
    const double pixelsPerBin = static_cast<double>(w) / sp.BinsPerScreen;
    const double lead = pixelsPerBin * static_cast<double>(barLeft - viewLeft) + h.SpecStartPhase;
    if (!(lead > -1.0 - pixelsPerBin - kNoise && lead < 1.0 + kNoise)) {
        out << "the bar at " << bar.value << " (left bin " << barLeft << ") is " << lead
            << " pixels from the spectrum's left edge (bin " << viewLeft << ", phase "
            << h.SpecStartPhase << ")";
    }
    return out.str();
}

// The bar, as far as scrolling goes: a position within its range. Everything else the
// interaction asks for is drawing and readouts, which do not matter here.
class BarOnly final : public InteractionHost {
  public:
    BarOnly(int position, int maximum) : position_(position), maximum_(maximum) {}
    int Position() const { return position_; }

    void SendSettings(bool) override {}
    void RedrawAll() override {}
    void RefreshReadout(Readout) override {}
    void RollStep() override {}
    void SetPointerShape(PointerSurface, PointerShape) override {}
    void ShowHint(PointerSurface, HintSource) override {}
    void ToggleCursorSelection(bool) override {}
    void SetScrollPosition(int position) override { position_ = std::clamp(position, 0, maximum_); }
    void SetScrollSpectrumMode(bool) override {}
    void SetScrollHint(std::string_view) override {}
    void SetTrigPosControlsEnabled(bool) override {}

  private:
    int position_;
    int maximum_;
};

// One way to the end of the bar, tried on copies of the view.
struct EndAttempt {
    const char* name;
    void (*go)(ViewInteraction&, const ScrollGeometry&, int maximum, const InteractionContext&,
               BarOnly&);
};

const EndAttempt kEndAttempts[] = {
    {"Ctrl+End",
     [](ViewInteraction& vi, const ScrollGeometry& g, int, const InteractionContext& ctx,
        BarOnly& bar) { vi.KeyDown(ScrollKey::End, true, bar.Position(), g, ctx, bar); }},
    {"Ctrl+PageDown until the bar stops",
     [](ViewInteraction& vi, const ScrollGeometry& g, int, const InteractionContext& ctx,
        BarOnly& bar) {
         const int presses = kScrollMax / std::max(1, g.largeChange) + 2;
         for (int i = 0; i < presses; ++i) {
             if (vi.KeyDown(ScrollKey::PageDown, true, bar.Position(), g, ctx, bar).endOfScroll)
                 break;
         }
     }},
    {"clicks in the trough until the bar stops",
     [](ViewInteraction& vi, const ScrollGeometry& g, int maximum, const InteractionContext& ctx,
        BarOnly& bar) {
         const int clicks = kScrollMax / std::max(1, g.largeChange) + 2;
         for (int i = 0; i < clicks; ++i) {
             const int to = std::min(maximum, bar.Position() + g.largeChange);
             bar.SetScrollPosition(to);
             vi.Scroll(to, ctx, bar);
             vi.EndScroll(ctx, bar);
             if (to == maximum)
                 break;
         }
     }},
    {"the thumb dragged to the end",
     [](ViewInteraction& vi, const ScrollGeometry&, int maximum, const InteractionContext& ctx,
        BarOnly& bar) {
         bar.SetScrollPosition(maximum);
         vi.Scroll(maximum, ctx, bar);
         vi.EndScroll(ctx, bar);
     }},
};

}  // namespace

std::string CheckTraceLayers(const ViewSettings& s) {
    const std::array<int, 4> traces = {kTraceCh1, kTraceCh2, kTraceFft, kTraceMath};
    const std::array<bool, 4> shown = {s.channelOn[0], s.channelOn[1], s.fftOn,
                                       s.mathOn && !s.fftOn};
    std::array<int, 4> owner = {-1, -1, -1, -1};  // by layer 1..3
    std::ostringstream out;
    for (std::size_t i = 0; i < traces.size(); ++i) {
        if (!shown[i])
            continue;
        const int trace = traces[i];
        const int layer = s.traceOrder[static_cast<std::size_t>(trace)];
        if (layer < 1 || layer > 3) {
            out << TraceName(trace) << " is on show on layer " << layer << ", which is not drawn";
            return out.str();
        }
        int& first = owner[static_cast<std::size_t>(layer)];
        if (first >= 0) {
            out << TraceName(first) << " and " << TraceName(trace) << " are both on layer " << layer
                << ": only " << TraceName(first) << " is drawn";
            return out.str();
        }
        first = trace;
    }
    return {};
}

std::string CheckScrollBar(const ViewSettings& s, const WaveView& view, const ScrollBarState& bar) {
    if (!s.displayInitialised)
        return {};
    return s.SpectrumInFront() ? CheckSpectrumBar(view, bar) : CheckTimeBar(s, view, bar);
}

std::string CheckEndReachable(const ViewSettings& s, const WaveView& view,
                              const ScrollBarState& bar) {
    if (!s.displayInitialised || !bar.enabled)
        return {};
    const int w = view.Geometry().WaveWidth;
    const bool spectrum = s.SpectrumInFront();
    const ScrollGeometry g =
        spectrum ? SpectrumScrollGeometry(view.Spectrum(), w)
                 : TimeScrollGeometry(view.Horizontal().ScreenSamples, s.memoryPoints, w);
    for (const EndAttempt& attempt : kEndAttempts) {
        ViewSettings settings = s;
        HorizontalView h = view.Horizontal();
        SpectrumWindow sp = view.Spectrum();
        InstrumentSettings instrument;
        instrument.memoryPoints = s.memoryPoints;
        const MarkerPixels markers;
        const InteractionContext ctx{instrument, settings, view.Geometry(),    h,
                                     sp,         markers,  InteractionInputs{}};
        BarOnly host(bar.value, bar.maximum);
        ViewInteraction interaction;
        attempt.go(interaction, g, bar.maximum, ctx, host);

        std::ostringstream out;
        if (spectrum) {
            const int lastBin = sp.FftBins - 1;
            const double pixels =
                sp.BinsPerScreen > 0
                    ? static_cast<double>(lastBin - sp.SpecCentreBin()) * w / sp.BinsPerScreen
                    : 0.0;
            if (pixels >= 1.0 - kNoise) {
                out << attempt.name << " leaves the spectrum centred on bin " << sp.SpecCentreBin()
                    << ", " << pixels << " pixels short of the last bin " << lastBin;
            }
        } else {
            const int lastStart = std::max(0, s.memoryPoints - h.ScreenSamples - 1);
            const double pixels =
                h.ScreenSamples > 0
                    ? static_cast<double>(lastStart - h.ViewStart) * w / h.ScreenSamples
                    : 0.0;
            if (h.ViewStart > lastStart || pixels >= 1.0 - kNoise) {
                out << attempt.name << " leaves ViewStart at " << h.ViewStart << ", " << pixels
                    << " pixels short of the last start " << lastStart;
            }
        }
        if (!out.str().empty())
            return out.str();
    }
    return {};
}

std::string CheckTriggerMarker(const ViewSettings& s, const WaveView& view) {
    // A redraw places the trigger point only along a time-domain trace (or, with no trace on
    // at all, without one); with the spectrum alone on show it is left as it was.
    const bool timeTrace = s.channelOn[0] || s.channelOn[1] || (s.mathOn && !s.fftOn);
    if (!timeTrace && s.fftOn)
        return {};
    // The plan of the last redraw again, on a copy: its view offset stays as computed then.
    WaveView copy = view;
    copy.Horizontal().viewOffsetComputed = true;
    const TracePlan plan = copy.BeginTrace(s);
    if (!plan.valid)
        return {};
    std::ostringstream out;
    const int drawnX = view.Horizontal().TrigPointX;
    if (plan.trigX != drawnX) {
        out << "TrigPointX " << drawnX << " is not where the view as it stands puts the trigger "
            << "point (" << plan.trigX << "): the view changed without a redraw";
        return out.str();
    }
    if (!plan.trigInRange)
        return {};
    // The column the walk gives the trigger sample (TraceColumns.h): the first valid sample
    // walked fixes the grid of columns.
    const SampleBuffer& record = view.Record();
    const int tp = s.trigPosition;
    if (record[static_cast<std::size_t>(tp)] == NoSample)
        return {};
    int first = plan.first;
    while (first < tp && record[static_cast<std::size_t>(first)] == NoSample)
        ++first;
    const std::int64_t pos = plan.phaseFixed + std::int64_t{first - plan.first} * plan.stepFixed;
    const std::int64_t whole = pos >> kPixelFractionBits;
    const std::int64_t xFirst = plan.x0 + whole;
    const std::int64_t base = xFirst != 1 ? 0 : pos - (whole << kPixelFractionBits);
    const std::int64_t column =
        xFirst + ((base + std::int64_t{tp - first} * plan.stepFixed) >> kPixelFractionBits);
    if (std::llabs(drawnX - column) > 1) {
        out << "the trigger marker at x " << drawnX << " is " << (drawnX - column)
            << " pixels from the column " << column << " the trace draws trigger sample " << tp
            << " in (ViewStart " << view.Horizontal().ViewStart << ", ViewOffset "
            << view.Horizontal().ViewOffset << ")";
    }
    return out.str();
}

}  // namespace lumatrace::testing
