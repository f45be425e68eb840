#include "app/display/Readouts.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "app/display/SampleWord.h"

namespace lumatrace {

namespace {

constexpr std::string_view kAt = "＠: ";

// Every character up to the blank counts as white space, control characters included.
std::string Trim(std::string_view s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return std::string(s.substr(b, e - b));
}

double RoundTripped(long double value) {
    return TextRoundTrip(static_cast<double>(value));
}

// Decimals that shrink as the shown value grows, so the readout keeps a steady width.
int DecimalsByMagnitude(double shown, int forLarge) {
    const double a = std::fabs(shown);
    if (a >= 100.0)
        return forLarge;
    if (a >= 10.0)
        return forLarge + 1;
    return forLarge + 2;
}

std::string Join(const ScaledValue& v, int decimals) {
    return FormatFixed(v.value, decimals) + v.unit;
}

std::string TimeText(double ns, int largeDecimals) {
    const ScaledValue v = ScaleTime(ns);
    return Join(v, DecimalsByMagnitude(v.value, largeDecimals));
}

std::string FrequencyText(double hz, int largeDecimals) {
    const ScaledValue v = ScaleFrequency(hz);
    return Join(v, DecimalsByMagnitude(v.value, largeDecimals));
}

int SelectedOf(int first, int second, int selected) {
    return selected == 2 ? second : first;
}

// Volts per division of the trigger source at the probe tip; the EXT input counts as
// 500 mV/div with a x1 probe.
long double SourceScaleMv(const TrigLevelInputs& in, int source) {
    if (source < 2)
        return static_cast<long double>(in.voltsPerDivMv[source]) * in.probeFactor[source];
    return 500.0L;
}

}  // namespace

// ---------------------------------------------------------------- number formatting

double TextRoundTrip(double value) {
    if (!std::isfinite(value))
        return value;
    char buf[64];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    if (written.ec != std::errc{})
        return value;
    double back = value;
    std::from_chars(buf, written.ptr, back);
    return back;
}

std::string FormatFixed(double value, int decimals) {
    // Wide enough for the largest finite double with any decimals used here.
    char buf[400];
    const auto written =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (written.ec != std::errc{})
        return std::string();
    return std::string(buf, written.ptr);
}

ScaledValue ScaleTime(double ns) {
    const double a = std::fabs(ns);
    if (a >= 1e9)
        return {ns / 1e9, "s"};
    if (a >= 1e6)
        return {ns / 1e6, "ms"};
    if (a >= 1e3)
        return {ns / 1e3, "us"};
    return {ns, "ns"};
}

ScaledValue ScaleFrequency(double hz) {
    const double a = std::fabs(hz);
    if (a >= 1e9)
        return {hz / 1e9, "GHz"};
    if (a >= 1e6)
        return {hz / 1e6, "MHz"};
    if (a >= 1e3)
        return {hz / 1e3, "KHz"};
    if (a < 1.0 && a != 0.0) {
        if (a < 0.001)
            return {hz / 1e-6, "uHz"};
        return {hz / 1e-3, "mHz"};
    }
    return {hz, "Hz"};
}

std::string FormatCursorVolts(double mv, const std::string& baseUnit) {
    const double a = std::fabs(mv);
    double shown = mv;
    const char* prefix = "m";
    if (a >= 1e6) {
        shown = mv / 1e6;
        prefix = "K";
    } else if (a >= 1e3) {
        shown = mv / 1e3;
        prefix = "";
    }
    const double s = std::fabs(shown);
    const int decimals = s >= 100.0 ? 1 : (s >= 10.0 ? 2 : 3);
    return FormatFixed(shown, decimals) + prefix + baseUnit;
}

int MemoryClass(int memoryPoints) {
    if (memoryPoints <= 10000)
        return 0;
    if (memoryPoints <= 100000)
        return 1;
    return 2;
}

// ---------------------------------------------------------------- single readouts

double TrigLevelMv(const TrigLevelInputs& in) {
    const int source =
        (in.trigSourceIndex == 0 || in.trigSourceIndex == 1) ? in.trigSourceIndex : kTraceTrigRef;
    // At the clamped ends the stored offset no longer describes where the level is drawn.
    const long double offset =
        (in.trigLevel == 1 || in.trigLevel == 500)
            ? static_cast<long double>(in.tracePosition[source]) - in.trigLevel
            : in.trigLevelOffset;
    return RoundTripped(offset * SourceScaleMv(in, source) / 50.0L);
}

std::string TrigLevelText(const TrigLevelInputs& in) {
    const double v = TrigLevelMv(in);
    const double a = std::fabs(v);
    double shown = v;
    const char* unit = "mV";
    if (a >= 1e6) {
        shown = v / 1e6;
        unit = "KV";
    } else if (a >= 1e3) {
        shown = v / 1e3;
        unit = "V";
    }
    const double s = std::fabs(shown);
    const int decimals = s >= 100.0 ? 0 : (s >= 10.0 ? 1 : 2);
    return "    " + FormatFixed(shown, decimals) + unit;
}

std::string TrigPositionText(int trigPosition, int memoryPoints) {
    const double pct =
        memoryPoints > 0 ? RoundTripped(static_cast<long double>(trigPosition) / memoryPoints * 100)
                         : 0.0;
    return "    " + FormatFixed(pct, 1 + MemoryClass(memoryPoints)) + "%";
}

std::string TimeCursorText(const TimeCursorInputs& in) {
    const long double unit = in.timePerDiv / 50.0L;
    const double dt = RoundTripped(unit * std::abs(in.cursorT1 - in.cursorT2));
    const double freq = dt == 0.0 ? 0.0 : TextRoundTrip(1e9 / dt);
    const int trigUnits = in.kx != 0.0 ? static_cast<int>(RoundHalfEven(in.trigPointX / in.kx)) : 0;
    const int selected = SelectedOf(in.cursorT1, in.cursorT2, in.cursorTSelected);
    const double at = RoundTripped(unit * (selected - trigUnits));
    const int large = 4 + MemoryClass(in.memoryPoints);
    return "  Δ: " + TimeText(dt, large) + " (" + FrequencyText(freq, large) +
           ")  ＠: " + TimeText(at, large);
}

std::string SpectrumCursorText(const SpectrumCursorInputs& in) {
    const long double unit = in.fftHzPerDiv / 50.0L;
    const double df = RoundTripped(unit * std::abs(in.cursorT1 - in.cursorT2));
    const int selected = SelectedOf(in.cursorT1, in.cursorT2, in.cursorTSelected);
    const double zeroUnits = in.kx != 0.0 ? in.specZeroX / in.kx : 0.0;
    const double af = RoundTripped(unit * RoundHalfEven(selected - zeroUnits));
    const int large = 3 + MemoryClass(in.memoryPoints);
    return "  Δ: " + FrequencyText(df, large) + "  ＠: " + FrequencyText(af, large);
}

std::string VoltageCursorText(const VoltageCursorInputs& in) {
    const double unit = in.fullScaleMv / 400.0;
    const double dv = TextRoundTrip(unit * std::abs(in.cursorV1 - in.cursorV2));
    const int selected = SelectedOf(in.cursorV1, in.cursorV2, in.cursorVSelected);
    const double av = TextRoundTrip(unit * (in.position - selected - 50));
    const std::string base = in.dbv ? "dBV" : "V";
    return "  Δ: " + FormatCursorVolts(dv, base) + "  ＠: " + FormatCursorVolts(av, base);
}

std::string SplitReadoutLines(const std::string& built, bool withFrequencyLine) {
    const std::string s = Trim(built);
    const std::size_t at = s.find(kAt);
    if (at == std::string::npos)
        return s;
    const std::string last = Trim(std::string_view(s).substr(at + kAt.size()));
    const std::string rest = s.substr(0, at);
    const std::size_t blank = rest.find(' ');
    std::string first = Trim(blank == std::string::npos ? rest : rest.substr(blank + 1));
    if (!withFrequencyLine)
        return first + "\r\n" + last;
    std::string middle;
    const std::size_t open = first.find(" (");
    if (open != std::string::npos) {
        const std::size_t close = first.find(')', open);
        const std::size_t end = close == std::string::npos ? first.size() : close + 1;
        middle = first.substr(open + 1, end - open - 1);
        first = Trim(std::string_view(first).substr(0, open));
    }
    return first + "\r\n" + middle + "\r\n" + last;
}

// ---------------------------------------------------------------- the readout panel

ReadoutInputs ReadoutInputsFrom(const InstrumentSettings& s, int trigSourceIndex, bool fftDbv) {
    ReadoutInputs in;
    in.trigSourceIndex = trigSourceIndex;
    in.tracePosition = s.tracePosition;
    in.trigLevel = s.trigLevel;
    in.trigLevelOffset = s.trigLevelOffset;
    in.voltsPerDivMv = s.voltsPerDivMv;
    in.probeFactor = s.probeFactor;
    in.trigPosition = s.trigPosition;
    in.memoryPoints = s.memoryPoints;
    in.timePerDiv = s.timePerDiv;
    in.cursorTOn = s.cursorTOn != 0;
    in.cursorVOn = s.cursorVOn != 0;
    in.cursorT1 = s.cursorT1;
    in.cursorT2 = s.cursorT2;
    in.cursorV1 = s.cursorV1;
    in.cursorV2 = s.cursorV2;
    in.cursorTSelected = s.cursorTSelected;
    in.cursorVSelected = s.cursorVSelected;
    in.channelOn = {s.channelOn[0] != 0, s.channelOn[1] != 0};
    in.mathOn = s.mathOn != 0;
    in.fftOn = s.fftOn != 0;
    in.fftDbv = fftDbv;
    in.mathScale = s.mathScale;
    in.fftScale = s.fftScale;
    return in;
}

ReadoutTexts BuildReadouts(const ReadoutInputs& in) {
    ReadoutTexts out;
    TrigLevelInputs level;
    level.trigSourceIndex = in.trigSourceIndex;
    level.tracePosition = in.tracePosition;
    level.trigLevel = in.trigLevel;
    level.trigLevelOffset = in.trigLevelOffset;
    level.voltsPerDivMv = in.voltsPerDivMv;
    level.probeFactor = in.probeFactor;
    out.trigLevel = TrigLevelText(level);
    out.trigPosition = TrigPositionText(in.trigPosition, in.memoryPoints);

    out.time.visible = in.cursorTOn;
    if (in.spectrumInFront) {
        SpectrumCursorInputs f;
        f.cursorT1 = in.cursorT1;
        f.cursorT2 = in.cursorT2;
        f.cursorTSelected = in.cursorTSelected;
        f.memoryPoints = in.memoryPoints;
        f.fftHzPerDiv = in.fftHzPerDiv;
        f.specZeroX = in.specZeroX;
        f.kx = in.kx;
        out.cursorTText = SpectrumCursorText(f);
        out.time.caption = " Time ( FFT )";
        out.time.label1 = "Δ :\r\n＠:";
        out.time.label2 = SplitReadoutLines(out.cursorTText, false);
    } else {
        TimeCursorInputs t;
        t.cursorT1 = in.cursorT1;
        t.cursorT2 = in.cursorT2;
        t.cursorTSelected = in.cursorTSelected;
        t.memoryPoints = in.memoryPoints;
        t.timePerDiv = in.timePerDiv;
        t.trigPointX = in.trigPointX;
        t.kx = in.kx;
        out.cursorTText = TimeCursorText(t);
        out.time.caption = " Time";
        out.time.label1 = "Δ :\r\n\r\n＠:";
        out.time.label2 = SplitReadoutLines(out.cursorTText, true);
    }

    auto volts = [&](int trace) {
        VoltageCursorInputs v;
        v.cursorV1 = in.cursorV1;
        v.cursorV2 = in.cursorV2;
        v.cursorVSelected = in.cursorVSelected;
        v.position = in.tracePosition[trace];
        switch (trace) {
            case kTraceCh1:
            case kTraceCh2:
                v.fullScaleMv = 8.0 * in.voltsPerDivMv[trace] * in.probeFactor[trace];
                break;
            case kTraceMath:
                v.fullScaleMv = 8.0 * in.mathScale;
                break;
            default:
                v.fullScaleMv = 8.0 * in.fftScale;
                v.dbv = in.fftDbv;
                break;
        }
        return VoltageCursorText(v);
    };
    for (int trace : {kTraceCh1, kTraceCh2, kTraceMath, kTraceFft})
        out.cursorVText[trace] = volts(trace);

    auto panel = [&](CursorPanelTexts& p, bool visible, int trace) {
        p.visible = visible;
        if (in.cursorVOn) {
            p.label1 = "Δ :\r\n＠:";
            p.label2 = SplitReadoutLines(out.cursorVText[trace], false);
        }
    };
    panel(out.ch1, in.channelOn[0], kTraceCh1);
    panel(out.ch2, in.channelOn[1], kTraceCh2);
    panel(out.math, in.mathOn || in.fftOn, in.fftOn ? kTraceFft : kTraceMath);
    out.math.caption = in.fftOn ? " FFT" : " MATH";
    return out;
}

}  // namespace lumatrace
