#include "tools/zeptool/WaveformCommands.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <optional>
#include <utility>
#include <vector>

#include "app/display/SampleWord.h"
#include "app/files/WaveformFiles.h"
#include "tools/zeptool/JsonWriter.h"
#include "tools/zeptool/WaveformSet.h"
#include "tools/zeptool/Zeptool.h"

namespace lumatrace {

namespace {

int Code(SampleWord w, int ch) {
    return DecodeCode(w, ChannelShift(ch));
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
    if (!LoadSet(args[0], set, err)) {
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
            if (!ChannelMissing(w, ch)) {
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
            if (!ChannelMissing(w, ch)) {
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
                if (ChannelMissing(w, ch)) {
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
    if (!LoadSet(set, loaded, err)) {
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
