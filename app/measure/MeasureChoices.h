// What the measurements panel shows, kept in a file of its own beside the parameter file: the
// source, the gate, the measurements in the order they are listed, and whether the panel is
// shown. The parameter file is not touched.
//
// The file is UTF-8 text, one "key=value" line each:
//   source=CH1            CH1, CH2 or MATH
//   gate=screen           record, screen or cursors
//   show=vpp,frequency    measurement names, comma-separated, in display order
//   visible=1             0 or 1
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/measure/MeasureGate.h"
#include "app/measure/MeasureTypes.h"
#include "app/platform/FileStore.h"
#include "app/platform/SettingsFolder.h"

namespace lumatrace {

inline constexpr std::string_view kMeasureChoicesFileName = "Zep9100Measure.ini";

struct MeasureChoices {
    MeasureSource source = MeasureSource::Ch1;
    MeasureGate gate = MeasureGate::Screen;
    std::vector<MeasureId> shown = {MeasureId::Vpp, MeasureId::Vrms, MeasureId::Frequency,
                                    MeasureId::DutyPos};
    bool visible = false;

    bool operator==(const MeasureChoices&) const = default;
};

std::string_view GateName(MeasureGate gate);  // "record", "screen", "cursors"
std::optional<MeasureGate> GateByName(std::string_view name);

std::string EncodeMeasureChoices(const MeasureChoices& choices);

// What a read gave: every line that could be understood applied over the defaults, and one
// message per line that could not ("line 3: unknown measurement \"vpk\"").
struct MeasureChoicesRead {
    MeasureChoices choices;
    std::vector<std::string> errors;
};
MeasureChoicesRead DecodeMeasureChoices(std::string_view text);

// The file beside the parameter file; nullopt without an application-data folder.
std::optional<std::filesystem::path> MeasureChoicesFile(const EnvironmentLookup& env);

// Reads the file; a missing file gives the defaults without an error.
MeasureChoicesRead LoadMeasureChoices(FileStore& files, const std::filesystem::path& file);
// Writes the file, making its folder when needed.
FileStatus SaveMeasureChoices(FileStore& files, const std::filesystem::path& file,
                              const MeasureChoices& choices);

}  // namespace lumatrace
