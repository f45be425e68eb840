#include "app/display/tests/InteractionFakeHost.h"

#include <algorithm>
#include <cmath>

namespace lumatrace::testing {

namespace {

const char* ReadoutName(Readout r) {
    switch (r) {
        case Readout::TrigLevel:
            return "TrigLevel";
        case Readout::TrigPosition:
            return "TrigPosition";
        case Readout::Ch1:
            return "Ch1";
        case Readout::Ch2:
            return "Ch2";
        case Readout::Math:
            return "Math";
        case Readout::Fft:
            return "Fft";
        case Readout::CursorT:
            return "CursorT";
        case Readout::CursorV:
            return "CursorV";
    }
    return "?";
}

}  // namespace

void RecordingInteractionHost::SendSettings(bool restartSampling) {
    calls.push_back(restartSampling ? "send+restart" : "send");
    if (horizontal)
        anchorHeldAtSend = horizontal->viewAnchorHold;
}

void RecordingInteractionHost::RedrawAll() {
    calls.push_back("redraw");
    if (horizontal)
        anchorHeldAtRedraw = horizontal->viewAnchorHold;
    if (onRedraw)
        onRedraw();
}

void RecordingInteractionHost::RefreshReadout(Readout readout) {
    calls.push_back(std::string("readout ") + ReadoutName(readout));
}

void RecordingInteractionHost::SetPointerShape(PointerSurface, PointerShape shape) {
    lastShape = shape;
    calls.push_back("shape");
}

void RecordingInteractionHost::ShowHint(PointerSurface, HintSource hint) {
    lastHint = hint;
    calls.push_back("hint");
}

void RecordingInteractionHost::ToggleCursorSelection(bool pairT) {
    calls.push_back(pairT ? "toggle T" : "toggle V");
    if (settings) {
        int& selected = pairT ? settings->cursorTSelected : settings->cursorVSelected;
        selected = selected == 1 ? 2 : 1;
    }
}

void RecordingInteractionHost::SetScrollPosition(int position) {
    scrollPosition = position;
    calls.push_back("scroll " + std::to_string(position));
}

void RecordingInteractionHost::SetScrollSpectrumMode(bool spectrum) {
    calls.push_back(spectrum ? "scroll mode spectrum" : "scroll mode time");
}

void RecordingInteractionHost::SetTrigPosControlsEnabled(bool enabled) {
    calls.push_back(enabled ? "trigp enabled" : "trigp disabled");
}

int RecordingInteractionHost::Count(const std::string& call) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

InteractionFixtureState::InteractionFixtureState() {
    geometry = ViewGeometry::ForWaveBox(451, 361);
    view.formReady = view.displayInitialised = true;
    settings.trigLevelOffset = 0.0L;
    host.settings = &settings;
    host.horizontal = &horizontal;
    host.onRedraw = [this] { UpdateMarkers(); };
    UpdateMarkers();
}

InteractionContext InteractionFixtureState::Context() {
    return InteractionContext{settings, view, geometry, horizontal, spectrum, markers, inputs};
}

void InteractionFixtureState::UpdateMarkers() {
    const double ky = geometry.Ky;
    for (int t = 0; t < kTraceCount; ++t)
        markers.MarkerY[t] = static_cast<int>(std::nearbyint(settings.tracePosition[t] * ky));
    markers.TrigLevelY = static_cast<int>(std::nearbyint(settings.trigLevel * ky));
    markers.StripOffset = geometry.DivHeight - 5;
    markers.OverviewLeft = 10;
    markers.OverviewScale = static_cast<double>(geometry.WaveWidth - 2) / settings.memoryPoints;
    markers.TrigPosMarkerX =
        static_cast<int>(std::nearbyint(settings.trigPosition * markers.OverviewScale)) +
        markers.OverviewLeft;
}

}  // namespace lumatrace::testing
