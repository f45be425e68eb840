#include "app/files/SettingsMirrors.h"

#include <cstdint>

namespace lumatrace {

namespace {

template <typename T, std::size_t N>
bool SetElement(std::array<T, N>& array, int element, long double value) {
    if (element < 0 || element > 1) {  // the channels only, never the math or FFT traces
        return false;
    }
    array[static_cast<std::size_t>(element)] = static_cast<T>(value);
    return true;
}

}  // namespace

bool SetInstrumentMirror(InstrumentSettings& s, std::string_view mirror, int element,
                         long double value) {
    if (mirror == "channelOn") {
        return SetElement(s.channelOn, element, value != 0 ? 1 : 0);
    }
    if (mirror == "voltsPerDivMv") {
        return SetElement(s.voltsPerDivMv, element, value);
    }
    if (mirror == "tracePosition") {
        return SetElement(s.tracePosition, element, value);
    }
    if (mirror == "trigCouplingBySource") {
        return SetElement(s.trigCouplingBySource, element, value);
    }
    if (mirror == "trigLevelOffset") {
        s.trigLevelOffset = value;
        return true;
    }
    struct Field {
        std::string_view name;
        int InstrumentSettings::*field;
    };
    static constexpr Field kFields[] = {
        {"trigMode", &InstrumentSettings::trigMode},
        {"trigLevel", &InstrumentSettings::trigLevel},
        {"trigPosition", &InstrumentSettings::trigPosition},
        {"trigDelay", &InstrumentSettings::trigDelay},
        {"pulseWidth", &InstrumentSettings::pulseWidth},
        {"timeDivIndex", &InstrumentSettings::timeDivIndex},
        {"acquireCountIndex", &InstrumentSettings::acquireCountIndex},
        {"acquireCountReserved", &InstrumentSettings::acquireCountReserved},
        {"cursorT1", &InstrumentSettings::cursorT1},
        {"cursorT2", &InstrumentSettings::cursorT2},
        {"cursorV1", &InstrumentSettings::cursorV1},
        {"cursorV2", &InstrumentSettings::cursorV2},
    };
    for (const Field& f : kFields) {
        if (mirror == f.name) {
            s.*f.field = static_cast<int>(value);
            return true;
        }
    }
    return false;
}

}  // namespace lumatrace
