#include "tools/zeptool/MeasureCommand.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "app/core/TimeBase.h"
#include "app/display/WaveView.h"
#include "app/measure/MeasureEngine.h"
#include "app/measure/MeasureGate.h"
#include "app/settings/ValueTables.h"
#include "tools/zeptool/JsonWriter.h"
#include "tools/zeptool/WaveformSet.h"
#include "tools/zeptool/Zeptool.h"

namespace lumatrace {

namespace {

constexpr const char* kUsage = "measure SET.zep [--gate record|cursors] [--channel CH1|CH2|MATH]";

// The set's horizontal settings as the program reads them back.
struct Timing {
    int memoryPoints = 0;
    int trigPosition = 0;
    bool equivalentDisplay = false;  // equivalent-time record: 100 ps per index
    long double timePerDivNs = 0.0L;
    double intervalSeconds = 0.0;
};

Timing TimingOf(const LoadedSet& set) {
    const SettingsCollector& s = set.settings;
    Timing t;
    const int memoryIndex = static_cast<int>(s.Get("ComboBoxMemSize", 0));
    const int timeDivIndex = static_cast<int>(s.Get("timeDivIndex", 16));
    t.memoryPoints = std::min<int>(MemoryPoints(memoryIndex), static_cast<int>(set.record.size()));
    t.trigPosition = static_cast<int>(s.Get("trigPosition", 0));
    // Equivalent-time sampling runs only at the seven fastest time bases, and a record the
    // instrument triggered by itself is a real-time one.
    t.equivalentDisplay =
        s.Get("CheckBoxEqu", 0) != 0 && timeDivIndex <= 6 && s.Get("equivalentAsRealTime", 0) == 0;
    t.timePerDivNs = static_cast<long double>(TimePerDivNs(timeDivIndex));
    t.intervalSeconds =
        t.equivalentDisplay
            ? 100e-12
            : static_cast<double>(SampleIntervalNs(timeDivIndex, memoryIndex)) * 1e-9;
    return t;
}

// The samples between the set's ΔT cursors as the program shows the set once it has loaded
// it: the record's own time base across the default graticule, the trigger point in the
// middle of the screen.
SampleRange CursorRange(const LoadedSet& set, const Timing& t) {
    WaveView view;
    view.Resize(451, 361);
    ViewSettings s;
    s.displayInitialised = true;
    s.displaySuspended = true;  // as while a set is being applied: trigger point in the middle
    s.memoryPoints = t.memoryPoints;
    s.trigPosition = t.trigPosition;
    view.Horizontal().ScreenSamples = t.equivalentDisplay
                                          ? EquivalentScreenSamples(t.timePerDivNs)
                                          : RealTimeScreenSamples(t.timePerDivNs, t.memoryPoints);
    view.RecomputeViewWindow(s);
    s.displaySuspended = false;
    view.BeginTrace(s);
    const int c1 = static_cast<int>(set.settings.Get("cursorT1", 150));
    const int c2 = static_cast<int>(set.settings.Get("cursorT2", 350));
    return CursorGate(view.Horizontal(), view.Geometry(), t.memoryPoints, t.trigPosition, c1, c2);
}

void WriteValues(JsonWriter& json, const MeasureValues& values) {
    json.BeginObject();
    for (int i = 0; i < kMeasureCount; ++i) {
        const MeasureId id = static_cast<MeasureId>(i);
        json.Key(InfoOf(id).name);
        if (values[id])
            json.Number(*values[id]);
        else
            json.Null();
    }
    json.EndObject();
}

int Usage(std::ostream& err) {
    err << "usage: zeptool " << kUsage << '\n';
    return kZeptoolUsage;
}

}  // namespace

int RunMeasure(std::span<const std::string> args, std::ostream& out, std::ostream& err) {
    std::string path;
    std::string gateName = "record";
    std::optional<MeasureSource> only;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--gate" && i + 1 < args.size()) {
            gateName = args[++i];
        } else if (args[i] == "--channel" && i + 1 < args.size()) {
            only = SourceByName(args[++i]);
            if (!only)
                return Usage(err);
        } else if (path.empty() && !args[i].empty() && args[i][0] != '-') {
            path = args[i];
        } else {
            return Usage(err);
        }
    }
    if (path.empty() || (gateName != "record" && gateName != "cursors"))
        return Usage(err);

    LoadedSet set;
    if (!LoadSet(path, set, err))
        return kZeptoolFailed;
    const Timing timing = TimingOf(set);
    MeasureInput in;
    in.record = std::span<const SampleWord>(set.record.data(),
                                            static_cast<std::size_t>(timing.memoryPoints));
    for (int ch = 0; ch < 2; ++ch) {
        const ChannelScale scale = Scale(set.settings, ch);
        MeasureChannel& c = in.channel[static_cast<std::size_t>(ch)];
        c.on = scale.on;
        c.ground = scale.ground;
        c.voltsPerDivMv = scale.voltsPerDivMv;
        c.probeFactor = scale.probeFactor;
        c.position = scale.tracePosition;
    }
    // The set does not record the MATH operation: MATH is the program's default, CH1 + CH2.
    in.mathOn = only == MeasureSource::Math;
    in.sampleIntervalSeconds = timing.intervalSeconds;
    const SampleRange gate =
        gateName == "cursors" ? CursorRange(set, timing) : RecordGate(timing.memoryPoints);

    std::vector<MeasureSource> sources = {MeasureSource::Ch1, MeasureSource::Ch2};
    if (only)
        sources = {*only};
    MeasureEngine engine;
    JsonWriter json(out);
    json.BeginObject();
    for (MeasureSource source : sources) {
        json.Key(SourceName(source));
        WriteValues(json, engine.Measure(in, source, gate));
    }
    json.EndObject();
    out << '\n';
    return out.good() ? kZeptoolOk : kZeptoolFailed;
}

}  // namespace lumatrace
