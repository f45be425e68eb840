// The parameter file's control records and the panel state they stand for:
// what a record restores is applied to the state, and the state is taken
// back into a record. This is the one place that knows which part of the
// state a record field stands for; the form only shows the result.
#pragma once

#include <string>

#include "app/settings/PanelState.h"
#include "app/settings/ParamFile.h"

namespace lumatrace {

// Why the record cannot be applied to the state as it is now, or empty. A
// list record must select an item: of the items it carries, or, without
// items, of the list the state already has. A missing or out-of-range index
// makes the file as damaged as a broken record; no later step may meet it.
std::string CheckParamRecord(ParamControl control, const ParamControlRecord& record,
                             const PanelState& state);

// Restores the control's part of the state from the record: list items
// replace the state's own, then the index; checked, down and caption colour
// as the kind has them. A group box record carries nothing the panel uses.
void ApplyParamRecord(ParamControl control, const ParamControlRecord& record, PanelState& state);

// The record that restores the control to the state.
ParamControlRecord CaptureParamRecord(ParamControl control, const PanelState& state);

// The part of the state a saved control stands for; nullopt for the group
// box, which stands for nothing.
std::optional<PanelControlRef> PanelControlOf(ParamControl control);

}  // namespace lumatrace
