// A host that records what the interaction asks of the main window, and the state a test
// hands to it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/display/InteractionHost.h"

namespace lumatrace::testing {

class RecordingInteractionHost : public InteractionHost {
  public:
    void SendSettings(bool restartSampling) override;
    void RedrawAll() override;
    void RefreshReadout(Readout readout) override;
    void RollStep() override { calls.push_back("roll"); }
    void SetPointerShape(PointerSurface surface, PointerShape shape) override;
    void ShowHint(PointerSurface surface, HintSource hint) override;
    void ToggleCursorSelection(bool pairT) override;
    void SetScrollPosition(int position) override;
    void SetScrollSpectrumMode(bool spectrum) override;
    void SetScrollHint(std::string_view hint) override { scrollHint = std::string(hint); }
    void SetTrigPosControlsEnabled(bool enabled) override;

    int Count(const std::string& call) const;
    void Clear() { calls.clear(); }

    // The toggle flips the selection in these settings, as the panel's action does.
    InstrumentSettings* settings = nullptr;
    // Set by SendSettings: whether viewAnchorHold was up at that moment.
    HorizontalView* horizontal = nullptr;
    bool anchorHeldAtSend = false;
    bool anchorHeldAtRedraw = false;
    // Runs at every redraw, as the markers recompute their pixels there.
    std::function<void()> onRedraw;

    std::vector<std::string> calls;
    std::string scrollHint;
    int scrollPosition = -1;
    PointerShape lastShape = PointerShape::Default;
    HintSource lastHint = HintSource::None;
};

// One set of state for an InteractionContext, with screen geometry W = 450, H = 360.
struct InteractionFixtureState {
    InteractionFixtureState();
    InteractionContext Context();

    InstrumentSettings settings;
    ViewSettings view;
    ViewGeometry geometry;
    HorizontalView horizontal;
    SpectrumWindow spectrum;
    MarkerPixels markers;
    InteractionInputs inputs;
    RecordingInteractionHost host;

    // MarkerPixels as a redraw computes them from the settings.
    void UpdateMarkers();
};

}  // namespace lumatrace::testing
