#include "tools/zeptool/WaveformSet.h"

#include "app/display/WaveBuffers.h"
#include "app/settings/ValueTables.h"

namespace lumatrace {

namespace {

// The message with its line breaks (CR LF) as blanks.
std::string OneLine(const std::string& text) {
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            line += ' ';
            ++i;
        } else {
            line += text[i];
        }
    }
    return line;
}

}  // namespace

void SettingsCollector::SetItemIndex(std::string_view control, int index) {
    Set(std::string(control), index);
}

void SettingsCollector::SetChecked(std::string_view control, bool checked) {
    Set(std::string(control), checked ? 1 : 0);
}

void SettingsCollector::SetDown(std::string_view control, bool down) {
    Set(std::string(control), down ? 1 : 0);
}

void SettingsCollector::SetMirror(std::string_view mirror, int element, long double value) {
    Set(RestoreStepKey({RestoreStep::Kind::Mirror, mirror, element, value}), value);
}

std::optional<long double> SettingsCollector::Get(std::string_view key) const {
    for (const auto& [k, v] : values) {
        if (k == key) {
            return v;
        }
    }
    return std::nullopt;
}

void SettingsCollector::Set(std::string key, long double value) {
    for (auto& [k, v] : values) {
        if (k == key) {
            v = value;
            return;
        }
    }
    values.emplace_back(std::move(key), value);
}

bool LoadSet(const std::string& path, LoadedSet& set, std::ostream& err) {
    LocalFileStore files;
    std::string message;
    if (!LoadWaveformFile(files, path, set.settings, set.record, message, &set.info)) {
        err << "zeptool: " << OneLine(message) << '\n';
        return false;
    }
    return true;
}

double ChannelScale::Volts(int code) const {
    if (ground) {
        return 0.0;
    }
    const long long d = static_cast<long long>(voltsPerDivMv) * probeFactor;
    const long double v = SampleVolts(code, voltsPerDivMv, probeFactor, tracePosition);
    return static_cast<double>(d / 1000 != 0 ? v : v / 1000.0L);
}

ChannelScale Scale(const SettingsCollector& s, int ch) {
    const std::string n = std::to_string(ch);
    ChannelScale c;
    c.on = s.Get("channelOn[" + n + "]", 0) != 0;
    c.voltsPerDivMv = static_cast<int>(s.Get("voltsPerDivMv[" + n + "]", 0));
    c.probeFactor =
        ProbeFactor(static_cast<int>(s.Get(ch == 0 ? "ComboBoxPb1" : "ComboBoxPb2", 0)));
    c.tracePosition = static_cast<int>(s.Get("tracePosition[" + n + "]", 250));
    c.ground = s.Get(ch == 0 ? "ComboBoxCup1" : "ComboBoxCup2", 0) == kCouplingGnd;
    return c;
}

}  // namespace lumatrace
