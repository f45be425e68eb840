// Puts a restored settings mirror into the instrument settings, for a
// SettingsRestoreHost of the main window.
#pragma once

#include <string_view>

#include "app/settings/SettingsModel.h"

namespace lumatrace {

// Sets the mirror named by a restoring step. False when the mirror is not
// kept in InstrumentSettings (equivalentAsRealTime belongs to acquisition
// control) or the element is out of range; nothing is changed then.
bool SetInstrumentMirror(InstrumentSettings& s, std::string_view mirror, int element,
                         long double value);

}  // namespace lumatrace
