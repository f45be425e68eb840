#include "tools/zeptool/WaveformCommands.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "app/files/WaveformFiles.h"
#include "tools/zeptool/JsonWriter.h"
#include "tools/zeptool/Zeptool.h"

namespace lumatrace {

namespace {

// Keeps the last value of every setting a load restores, in the order the
// settings first appear.
class SettingsCollector final : public SettingsRestoreHost {
  public:
    std::vector<std::pair<std::string, long double>> values;

    void SetItemIndex(std::string_view control, int index) override {
        Set(std::string(control), index);
    }
    void SetChecked(std::string_view control, bool checked) override {
        Set(std::string(control), checked ? 1 : 0);
    }
    void SetDown(std::string_view control, bool down) override {
        Set(std::string(control), down ? 1 : 0);
    }
    void SetMirror(std::string_view mirror, int element, long double value) override {
        Set(RestoreStepKey({RestoreStep::Kind::Mirror, mirror, element, value}), value);
    }

    std::optional<long double> Get(std::string_view key) const {
        for (const auto& [k, v] : values) {
            if (k == key) {
                return v;
            }
        }
        return std::nullopt;
    }

  private:
    void Set(std::string key, long double value) {
        for (auto& [k, v] : values) {
            if (k == key) {
                v = value;
                return;
            }
        }
        values.emplace_back(std::move(key), value);
    }
};

struct LoadedSet {
    SettingsCollector settings;
    // Words the set does not hold (a set without its first file) stay missing.
    std::vector<SampleWord> record = std::vector<SampleWord>(kRecordWords, kNoSampleWord);
    WaveformLoadInfo info;
};

std::string OneLine(std::string text) {
    for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) {
        text.replace(at, 2, " ");
    }
    return text;
}

bool Load(const std::string& path, LoadedSet& set, std::ostream& err) {
    LocalFileStore files;
    std::string message;
    if (!LoadWaveformFile(files, path, set.settings, set.record, message, &set.info)) {
        err << "zeptool: " << OneLine(message) << '\n';
        return false;
    }
    return true;
}

// Scale of one channel as the program shows it, from the restored settings.
struct ChannelScale {
    bool on = false;
    int voltsPerDivMv = 0;
    int probeFactor = 1;
    int tracePosition = 250;
    bool ground = false;

    // Volts at the probe tip (the file's column is in V or mV by the scale).
    double Volts(int code) const {
        if (ground) {
            return 0.0;
        }
        const long long d = static_cast<long long>(voltsPerDivMv) * probeFactor;
        const long double v = SampleVolts(code, voltsPerDivMv, probeFactor, tracePosition);
        return static_cast<double>(d / 1000 != 0 ? v : v / 1000.0L);
    }
};

ChannelScale Scale(const SettingsCollector& s, int ch) {
    const auto get = [&](std::string_view key, long double fallback) {
        return s.Get(key).value_or(fallback);
    };
    const std::string n = std::to_string(ch);
    ChannelScale c;
    c.on = get("channelOn[" + n + "]", 0) != 0;
    c.voltsPerDivMv = static_cast<int>(get("voltsPerDivMv[" + n + "]", 0));
    const int probeIndex = static_cast<int>(get(ch == 0 ? "ComboBoxPb1" : "ComboBoxPb2", 0));
    c.probeFactor = probeIndex == 0 ? 1 : probeIndex == 1 ? 10 : 100;
    c.tracePosition = static_cast<int>(get("tracePosition[" + n + "]", 250));
    c.ground = get(ch == 0 ? "ComboBoxCup1" : "ComboBoxCup2", 0) == 2;
    return c;
}

bool Missing(SampleWord w, int ch) {
    return ch == 0 ? (w & 0xFFFFu) == 0xFFFFu : (w >> 16) == 0xFFFFu;
}

int Code(SampleWord w, int ch) {
    return static_cast<int>((ch == 0 ? w : w >> 16) & 0x3FFu);
}

int Usage(std::ostream& err, const char* text) {
    err << "usage: zeptool " << text << '\n';
    return kZeptoolUsage;
}

}  // namespace

int RunWaveformInfo(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1) {
        return Usage(err, "info SET.zep");
    }
    LoadedSet set;
    if (!Load(args[0], set, err)) {
        return kZeptoolFailed;
    }
    JsonWriter json(out);
    json.BeginObject();
    json.Key("file");
    json.String(args[0]);
    json.Key("settings");
    json.BeginObject();
    for (const auto& [key, value] : set.settings.values) {
        json.Key(key);
        if (key == "trigLevelOffset") {
            json.Number(static_cast<double>(value));
        } else {
            json.Number(static_cast<std::int64_t>(value));
        }
    }
    json.EndObject();
    json.Key("samples");
    json.BeginObject();
    json.Key("files");
    json.Number(static_cast<std::int64_t>(set.info.files));
    json.Key("points");
    json.Number(static_cast<std::int64_t>(set.info.endSample));
    for (int ch = 0; ch < 2; ++ch) {
        std::int64_t present = 0;
        int lo = 1024, hi = -1;
        for (std::size_t i = 0; i < set.info.endSample; ++i) {
            const SampleWord w = set.record[i];
            if (!Missing(w, ch)) {
                ++present;
                lo = std::min(lo, Code(w, ch));
                hi = std::max(hi, Code(w, ch));
            }
        }
        json.Key(ch == 0 ? "CH1" : "CH2");
        json.BeginObject();
        json.Key("present");
        json.Number(present);
        json.Key("minCode");
        present ? json.Number(std::int64_t{lo}) : json.Null();
        json.Key("maxCode");
        present ? json.Number(std::int64_t{hi}) : json.Null();
        json.EndObject();
    }
    json.EndObject();
    json.EndObject();
    out << '\n';
    return out.good() ? kZeptoolOk : kZeptoolFailed;
}

namespace {

void AppendDouble(std::string& s, double v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    s.append(buf, r.ptr);
}

void WriteCsv(const LoadedSet& set, const std::array<ChannelScale, 2>& scale, std::ostream& out) {
    std::string text = "index";
    for (int ch = 0; ch < 2; ++ch) {
        if (scale[ch].on) {
            text += ch == 0 ? ",ch1_code,ch1_volts" : ",ch2_code,ch2_volts";
        }
    }
    text += '\n';
    for (std::size_t i = 0; i < set.info.endSample; ++i) {
        text += std::to_string(i);
        const SampleWord w = set.record[i];
        for (int ch = 0; ch < 2; ++ch) {
            if (!scale[ch].on) {
                continue;
            }
            text += ',';
            if (!Missing(w, ch)) {
                text += std::to_string(Code(w, ch));
                text += ',';
                AppendDouble(text, scale[ch].Volts(Code(w, ch)));
            } else {
                text += ',';
            }
        }
        text += '\n';
        if (text.size() > (1 << 20)) {
            out << text;
            text.clear();
        }
    }
    out << text;
}

void WriteJson(const LoadedSet& set, const std::string& file,
               const std::array<ChannelScale, 2>& scale, std::ostream& out) {
    JsonWriter json(out);
    json.BeginObject();
    json.Key("file");
    json.String(file);
    json.Key("points");
    json.Number(static_cast<std::int64_t>(set.info.endSample));
    for (int ch = 0; ch < 2; ++ch) {
        if (!scale[ch].on) {
            continue;
        }
        json.Key(ch == 0 ? "CH1" : "CH2");
        json.BeginObject();
        for (const bool volts : {false, true}) {
            json.Key(volts ? "volts" : "codes");
            json.BeginArray(true);
            for (std::size_t i = 0; i < set.info.endSample; ++i) {
                const SampleWord w = set.record[i];
                if (Missing(w, ch)) {
                    json.Null();
                } else if (volts) {
                    json.Number(scale[ch].Volts(Code(w, ch)));
                } else {
                    json.Number(std::int64_t{Code(w, ch)});
                }
            }
            json.EndArray();
        }
        json.EndObject();
    }
    json.EndObject();
    out << '\n';
}

}  // namespace

int RunWaveformExport(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    constexpr const char* kUsage = "export SET.zep [--format csv|json] [-o FILE]";
    std::string set;
    std::string format = "csv";
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--format" || args[i] == "-o") && i + 1 < args.size()) {
            (args[i] == "-o" ? output : format) = args[i + 1];
            ++i;
        } else if (set.empty() && !args[i].empty() && args[i][0] != '-') {
            set = args[i];
        } else {
            return Usage(err, kUsage);
        }
    }
    if (set.empty() || (format != "csv" && format != "json")) {
        return Usage(err, kUsage);
    }
    LoadedSet loaded;
    if (!Load(set, loaded, err)) {
        return kZeptoolFailed;
    }
    const std::array<ChannelScale, 2> scale{Scale(loaded.settings, 0), Scale(loaded.settings, 1)};
    std::ofstream file;
    if (!output.empty()) {
        file.open(output, std::ios::binary | std::ios::trunc);
        if (!file) {
            err << "zeptool: " << output << ": cannot create the file\n";
            return kZeptoolFailed;
        }
    }
    std::ostream& sink = output.empty() ? out : file;
    if (format == "csv") {
        WriteCsv(loaded, scale, sink);
    } else {
        WriteJson(loaded, set, scale, sink);
    }
    sink.flush();
    if (!sink) {
        err << "zeptool: " << (output.empty() ? std::string("output") : output)
            << ": cannot write the file\n";
        return kZeptoolFailed;
    }
    return kZeptoolOk;
}

}  // namespace lumatrace
