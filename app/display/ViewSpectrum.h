// The spectrum trace and the spectrum variant of the trigger position strip, drawn by
// WaveView::RedrawAll through the SpectrumLayer steps.
#pragma once

#include <vector>

#include "app/display/Spectrum.h"
#include "app/display/ViewLayers.h"

namespace lumatrace {

// Settings of the spectrum view that ViewSettings does not carry. The main window keeps them
// up to date from its controls and InstrumentSettings.
struct SpectrumDisplaySettings {
    int source = 0;             // 0 CH1, 1 CH2
    bool sourceGround = false;  // the source channel is GND-coupled
    bool dbv = false;           // RdBtnFftVstdBV
    int window = 0;             // fftWindow
    int fftScale = 500;         // thousandths of the unit per division
    long double hzPerDiv = 0.0L;
    long double binWidthHz = 0.0L;
    int overviewLeft = 1;  // x of the graticule's left edge on the position strip, plus 1
    // The redraw runs with WaveBufferMutex held by its caller (the main window's redraw does).
    bool recordLocked = false;
};

class ViewSpectrum : public SpectrumLayer {
  public:
    explicit ViewSpectrum(SpectrumAnalyzer& analyzer) : analyzer_(analyzer) {}

    // Draws the centre marker; none until set.
    void SetMarkerLayer(MarkerLayer* markers) { markers_ = markers; }
    SpectrumDisplaySettings& Display() { return display_; }
    const SpectrumDisplaySettings& Display() const { return display_; }

    // x of 0 Hz on the graticule in the last spectrum redraw (for the frequency readout).
    long double SpecZeroX() const { return specZeroX_; }

    void DrawSpectrum(const RedrawContext& ctx) override;
    void DrawSpectrumPositionStrip(const RedrawContext& ctx) override;

  private:
    int YOf(double amplitudeSquared, const RedrawContext& ctx) const;

    SpectrumAnalyzer& analyzer_;
    MarkerLayer* markers_ = nullptr;
    SpectrumDisplaySettings display_;
    long double specZeroX_ = 1.0L;
    std::vector<double> re_;
    std::vector<double> im_;
    std::vector<Segment> segments_;
};

}  // namespace lumatrace
