// A waveform set as the zeptool commands read it: the record and the settings its load
// restores, by the names the program's controls and mirrors carry.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/files/WaveformFiles.h"

namespace lumatrace {

// Keeps the last value of every setting a load restores, in the order the
// settings first appear.
class SettingsCollector final : public SettingsRestoreHost {
  public:
    std::vector<std::pair<std::string, long double>> values;

    void SetItemIndex(std::string_view control, int index) override;
    void SetChecked(std::string_view control, bool checked) override;
    void SetDown(std::string_view control, bool down) override;
    void SetMirror(std::string_view mirror, int element, long double value) override;

    std::optional<long double> Get(std::string_view key) const;
    long double Get(std::string_view key, long double fallback) const {
        return Get(key).value_or(fallback);
    }

  private:
    void Set(std::string key, long double value);
};

struct LoadedSet {
    SettingsCollector settings;
    // Words the set does not hold (a set without its first file) stay missing.
    std::vector<SampleWord> record = std::vector<SampleWord>(kRecordWords, kNoSampleWord);
    WaveformLoadInfo info;
};

// Loads the set at `path`; on failure writes the load's message on one line to `err`.
bool LoadSet(const std::string& path, LoadedSet& set, std::ostream& err);

// Scale of one channel as the program shows it, from the restored settings.
struct ChannelScale {
    bool on = false;
    int voltsPerDivMv = 0;  // at the instrument
    int probeFactor = 1;
    int tracePosition = 250;
    bool ground = false;

    // Volts at the probe tip (the file's column is in V or mV by the scale).
    double Volts(int code) const;
};
ChannelScale Scale(const SettingsCollector& s, int ch);

}  // namespace lumatrace
