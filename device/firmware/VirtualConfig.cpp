#include "device/firmware/VirtualConfig.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace lumatrace::device {
namespace {

constexpr std::string_view kFailable[] = {
    "Zep9100GetVersion", "Zep9100Create",  "Zep9100Close",         "Zep9100GetDevInfo",
    "Zep9100GetMemSize", "Zep9100SetMode", "Zep9100StartSampling", "Zep9100StopSampling",
    "Zep9100GetStatus",  "Zep9100GetData", "Zep9100GetEquData",
};

struct ParseError {
    std::string message;
};

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::string quoted(std::string_view s) {
    // Keep messages short and printable whatever the input was.
    std::string out = "'";
    for (char c : s.substr(0, 40))
        out += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (s.size() > 40)
        out += "...";
    return out + "'";
}

// A number, then an optional SI prefix, then an optional unit (any case).
// "50m" and "50mV" are both 0.05 with unit "V"; "1M" is 1e6 with unit "Hz".
double parseQuantity(std::string_view token, std::string_view unit, bool unitRequired = false) {
    token = trim(token);
    double value = 0.0;
    const char* begin = token.data();
    const char* end = token.data() + token.size();
    if (begin != end && *begin == '+')
        ++begin;
    auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
    if (ec != std::errc() || !std::isfinite(value))
        throw ParseError{"expected a number, found " + quoted(token)};
    std::string_view rest(ptr, static_cast<std::size_t>(end - ptr));
    rest = trim(rest);
    if (rest.empty()) {
        if (unitRequired)
            throw ParseError{"the value " + quoted(token) + " needs a unit (ns, us, ms or s)"};
        return value;
    }
    if (equalsIgnoreCase(rest, unit))
        return value;
    struct Prefix {
        std::string_view text;
        double factor;
    };
    static constexpr Prefix kPrefixes[] = {{"p", 1e-12},       {"n", 1e-9}, {"u", 1e-6},
                                           {"\xC2\xB5", 1e-6}, {"m", 1e-3}, {"k", 1e3},
                                           {"K", 1e3},         {"M", 1e6},  {"G", 1e9}};
    for (const Prefix& p : kPrefixes) {
        if (rest.substr(0, p.text.size()) == p.text) {
            std::string_view after = rest.substr(p.text.size());
            if ((after.empty() && !unitRequired) || equalsIgnoreCase(after, unit)) {
                double scaled = value * p.factor;
                if (!std::isfinite(scaled))
                    break;
                return scaled;
            }
        }
    }
    throw ParseError{"cannot read " + quoted(token) + " as a value in " + std::string(unit)};
}

double parseInRange(std::string_view token, std::string_view unit, double lo, double hi,
                    const char* what) {
    double v = parseQuantity(token, unit);
    if (!(v >= lo && v <= hi))
        throw ParseError{std::string(what) + " " + quoted(token) + " is out of range"};
    return v;
}

int64_t parseDurationPs(std::string_view token, double maxSeconds) {
    double s = parseQuantity(token, "s", true);
    if (!(s >= 0.0 && s <= maxSeconds))
        throw ParseError{"the duration " + quoted(token) + " is out of range"};
    return static_cast<int64_t>(std::llround(s * 1e12));
}

uint64_t parseUnsigned(std::string_view token, uint64_t maxValue, const char* what) {
    token = trim(token);
    uint64_t v = 0;
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
    if (ec != std::errc() || ptr != token.data() + token.size() || token.empty())
        throw ParseError{std::string(what) + " must be a whole number, found " + quoted(token)};
    if (v > maxValue)
        throw ParseError{std::string(what) + " " + quoted(token) + " is too large"};
    return v;
}

bool parseBool(std::string_view token) {
    token = trim(token);
    for (std::string_view t : {"yes", "on", "true", "1"})
        if (equalsIgnoreCase(token, t))
            return true;
    for (std::string_view f : {"no", "off", "false", "0"})
        if (equalsIgnoreCase(token, f))
            return false;
    throw ParseError{"expected yes or no, found " + quoted(token)};
}

std::vector<std::string_view> splitWords(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        std::size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t')
            ++i;
        if (i > start)
            words.push_back(s.substr(start, i - start));
    }
    return words;
}

SignalTerm parseShapeTerm(std::string_view name, std::string_view args) {
    struct ShapeName {
        std::string_view text;
        Shape shape;
    };
    static constexpr ShapeName kShapes[] = {{"sine", Shape::Sine},
                                            {"square", Shape::Square},
                                            {"triangle", Shape::Triangle},
                                            {"sawtooth", Shape::Sawtooth},
                                            {"saw", Shape::Sawtooth},
                                            {"pulse", Shape::Pulse},
                                            {"dc", Shape::Dc},
                                            {"noise", Shape::Noise}};
    SignalTerm term;
    bool known = false;
    for (const ShapeName& s : kShapes) {
        if (equalsIgnoreCase(name, s.text)) {
            term.shape = s.shape;
            known = true;
        }
    }
    if (!known)
        throw ParseError{"unknown signal " + quoted(name) +
                         " (sine, square, triangle, sawtooth, pulse, dc, noise)"};
    if (term.shape == Shape::Pulse)
        term.duty = 0.1;

    std::size_t pos = 0;
    while (pos <= args.size()) {
        std::size_t comma = args.find(',', pos);
        if (comma == std::string_view::npos)
            comma = args.size();
        std::string_view arg = trim(args.substr(pos, comma - pos));
        pos = comma + 1;
        if (arg.empty()) {
            if (comma == args.size() && trim(args).empty())
                break;
            throw ParseError{"empty argument in " + quoted(name)};
        }
        std::size_t eq = arg.find('=');
        if (eq == std::string_view::npos)
            throw ParseError{"expected key=value, found " + quoted(arg)};
        std::string_view key = trim(arg.substr(0, eq));
        std::string_view value = trim(arg.substr(eq + 1));
        if (equalsIgnoreCase(key, "freq") || equalsIgnoreCase(key, "frequency")) {
            term.frequencyHz = parseQuantity(value, "Hz");
            if (!(term.frequencyHz > 0.0 && term.frequencyHz <= 1e9))
                throw ParseError{"the frequency " + quoted(value) + " is out of range (0..1GHz]"};
        } else if (equalsIgnoreCase(key, "amp") || equalsIgnoreCase(key, "amplitude")) {
            term.amplitude = parseInRange(value, "V", -1000.0, 1000.0, "the amplitude");
        } else if (equalsIgnoreCase(key, "offset") || equalsIgnoreCase(key, "level")) {
            term.offset = parseInRange(value, "V", -1000.0, 1000.0, "the offset");
        } else if (equalsIgnoreCase(key, "phase")) {
            term.phaseDeg = std::fmod(parseInRange(value, "deg", -1e6, 1e6, "the phase"), 360.0);
        } else if (equalsIgnoreCase(key, "duty")) {
            double d = parseQuantity(value, "%");
            if (!(d > 0.0 && d < 100.0))
                throw ParseError{"the duty " + quoted(value) + " must lie between 0 and 100 %"};
            term.duty = d / 100.0;
        } else if (equalsIgnoreCase(key, "rms")) {
            term.rms = parseInRange(value, "V", 0.0, 1000.0, "the rms");
        } else {
            throw ParseError{"unknown key " + quoted(key) +
                             " (freq, amp, offset, phase, duty, rms)"};
        }
    }
    if (term.shape == Shape::Noise && term.rms == 0.0 && term.amplitude != 0.0)
        term.rms = std::fabs(term.amplitude);
    return term;
}

SignalSpec parseSignal(std::string_view text) {
    text = trim(text);
    SignalSpec spec;
    if (equalsIgnoreCase(text, "off") || equalsIgnoreCase(text, "none"))
        return spec;
    if (text.empty())
        throw ParseError{"missing signal"};
    std::size_t i = 0;
    bool negate = false;
    auto skipSpaces = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
    };
    skipSpaces();
    if (i < text.size() && (text[i] == '-' || text[i] == '+') && i + 1 < text.size() &&
        !(text[i + 1] >= '0' && text[i + 1] <= '9') && text[i + 1] != '.') {
        negate = text[i] == '-';
        ++i;
    }
    for (;;) {
        skipSpaces();
        std::size_t start = i;
        SignalTerm term;
        // A shape name runs up to its '('; anything else is a DC value.
        std::size_t nameEnd = i;
        while (nameEnd < text.size() && ((text[nameEnd] >= 'a' && text[nameEnd] <= 'z') ||
                                         (text[nameEnd] >= 'A' && text[nameEnd] <= 'Z')))
            ++nameEnd;
        std::size_t afterName = nameEnd;
        while (afterName < text.size() && (text[afterName] == ' ' || text[afterName] == '\t'))
            ++afterName;
        if (nameEnd > start && afterName < text.size() && text[afterName] == '(') {
            std::size_t close = text.find(')', afterName);
            if (close == std::string_view::npos)
                throw ParseError{"missing ')' after " + quoted(text.substr(start))};
            term = parseShapeTerm(text.substr(start, nameEnd - start),
                                  text.substr(afterName + 1, close - afterName - 1));
            i = close + 1;
        } else {
            // Number with unit, up to the next operator that is not an exponent sign.
            std::size_t j = i;
            if (j < text.size() && (text[j] == '-' || text[j] == '+'))
                ++j;
            while (j < text.size() && text[j] != '+' && text[j] != '-')
                ++j;
            while (j < text.size() && (text[j] == '+' || text[j] == '-') && j > i &&
                   (text[j - 1] == 'e' || text[j - 1] == 'E')) {
                ++j;
                while (j < text.size() && text[j] != '+' && text[j] != '-')
                    ++j;
            }
            term.shape = Shape::Dc;
            term.offset = parseInRange(text.substr(i, j - i), "V", -1000.0, 1000.0, "the level");
            i = j;
        }
        if (negate) {
            term.amplitude = -term.amplitude;
            term.offset = -term.offset;
        }
        spec.push_back(term);
        if (spec.size() > kMaxSignalTerms)
            throw ParseError{"more than 16 terms"};
        skipSpaces();
        if (i >= text.size())
            break;
        if (text[i] != '+' && text[i] != '-')
            throw ParseError{"expected '+' or '-' before " + quoted(text.substr(i))};
        negate = text[i] == '-';
        ++i;
        skipSpaces();
        if (i >= text.size())
            throw ParseError{"missing term after the last operator"};
    }
    return spec;
}

FaultRule parseFault(std::string_view value) {
    std::vector<std::string_view> w = splitWords(value);
    if (w.size() != 3)
        throw ParseError{"expected: fail = <function> <call number> <code>[:<minor or OS error>]"};
    FaultRule rule;
    if (!isFailableFunction(w[0]))
        throw ParseError{"no library function " + quoted(w[0]) + " can be made to fail"};
    rule.function = std::string(w[0]);
    rule.call = static_cast<uint32_t>(parseUnsigned(w[1], 0xFFFFFFFFu, "the call number"));
    if (rule.call == 0)
        throw ParseError{"call numbers start at 1"};
    std::string_view code = w[2];
    std::size_t colon = code.find(':');
    rule.code = static_cast<uint32_t>(parseUnsigned(code.substr(0, colon), 12, "the error code"));
    if (rule.code == 0)
        throw ParseError{"error codes run from 1 to 12"};
    if (colon != std::string_view::npos) {
        if (rule.code != 1 && rule.code != 12)
            throw ParseError{"only codes 1 (OS error) and 12 (device minor code) take a detail"};
        rule.detail =
            static_cast<uint32_t>(parseUnsigned(code.substr(colon + 1), 0xFFFF, "the detail"));
    }
    return rule;
}

void applyStatement(std::string_view key, std::string_view value, VirtualConfig& config) {
    if (equalsIgnoreCase(key, "CH1")) {
        config.inputs[kInputCh1] = parseSignal(value);
    } else if (equalsIgnoreCase(key, "CH2")) {
        config.inputs[kInputCh2] = parseSignal(value);
    } else if (equalsIgnoreCase(key, "EXT")) {
        config.inputs[kInputExt] = parseSignal(value);
    } else if (equalsIgnoreCase(key, "transport")) {
        const std::string_view kind = trim(value);
        if (equalsIgnoreCase(kind, "driver"))
            config.transport = TransportKind::Driver;
        else if (equalsIgnoreCase(kind, "direct"))
            config.transport = TransportKind::Direct;
        else
            throw ParseError{"expected driver or direct, found " + quoted(kind)};
    } else if (equalsIgnoreCase(key, "instruments")) {
        config.instruments =
            static_cast<unsigned>(parseUnsigned(value, kMaxInstruments, "the instrument count"));
    } else if (equalsIgnoreCase(key, "large_memory")) {
        config.largeMemory = parseBool(value);
    } else if (equalsIgnoreCase(key, "firmware")) {
        config.firmwareVersion = static_cast<uint8_t>(parseUnsigned(value, 255, "the version"));
    } else if (equalsIgnoreCase(key, "fpga")) {
        config.fpgaVersion = static_cast<uint8_t>(parseUnsigned(value, 255, "the version"));
    } else if (equalsIgnoreCase(key, "seed")) {
        if (equalsIgnoreCase(trim(value), "random"))
            config.seed.reset();
        else
            config.seed = parseUnsigned(value, UINT64_MAX, "the seed");
    } else if (equalsIgnoreCase(key, "timescale")) {
        config.timescale = parseInRange(value, "", 0.001, 1000.0, "the time scale");
    } else if (equalsIgnoreCase(key, "clock_step")) {
        config.clockStepPs = parseDurationPs(value, 3600.0);
    } else if (equalsIgnoreCase(key, "auto_timeout")) {
        config.autoTimeoutPs = parseDurationPs(value, 100.0);
        if (config.autoTimeoutPs < 1'000'000)
            throw ParseError{"the auto time-out must be at least 1 us"};
    } else if (equalsIgnoreCase(key, "unplug")) {
        if (equalsIgnoreCase(trim(value), "never"))
            config.unplugAfterPs = -1;
        else
            config.unplugAfterPs = parseDurationPs(value, 1e6);
    } else if (equalsIgnoreCase(key, "fail")) {
        if (equalsIgnoreCase(trim(value), "none"))
            config.faults.clear();
        else
            config.faults.push_back(parseFault(value));
    } else if (equalsIgnoreCase(key, "fail_acquisition")) {
        std::vector<std::string_view> w = splitWords(value);
        if (w.empty() || w.size() > 2)
            throw ParseError{"expected: fail_acquisition = <acquisition number> [<minor code>]"};
        uint32_t n = static_cast<uint32_t>(parseUnsigned(w[0], 0xFFFFFFFFu, "the acquisition"));
        uint16_t minor = 6;
        if (w.size() == 2)
            minor = static_cast<uint16_t>(parseUnsigned(w[1], 0xFFFF, "the minor code"));
        config.failAcquisition = n;
        config.failAcquisitionMinor = minor;
    } else {
        throw ParseError{"unknown setting " + quoted(key)};
    }
}

}  // namespace

bool isFailableFunction(std::string_view name) {
    return std::find(std::begin(kFailable), std::end(kFailable), name) != std::end(kFailable);
}

VirtualConfig defaultVirtualConfig() {
    VirtualConfig c;
    // Two periods across the default 200 us/div screen, a few divisions high
    // at the default 50 mV/div input range.
    SignalTerm sine;
    sine.shape = Shape::Sine;
    sine.frequencyHz = 1000.0;
    sine.amplitude = 0.1;
    c.inputs[kInputCh1] = {sine};
    SignalTerm square;
    square.shape = Shape::Square;
    square.frequencyHz = 1000.0;
    square.amplitude = 0.075;
    c.inputs[kInputCh2] = {square};
    SignalTerm ext = square;
    ext.amplitude = 1.0;
    c.inputs[kInputExt] = {ext};
    return c;
}

std::vector<ConfigError> applyVirtualConfig(std::string_view text, VirtualConfig& config) {
    std::vector<ConfigError> errors;
    int line = 1;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = pos;
        while (end < text.size() && text[end] != '\n' && text[end] != ';')
            ++end;
        std::string_view statement = text.substr(pos, end - pos);
        int statementLine = line;
        if (end < text.size() && text[end] == '\n')
            ++line;
        pos = end + 1;

        if (std::size_t hash = statement.find('#'); hash != std::string_view::npos)
            statement = statement.substr(0, hash);
        statement = trim(statement);
        if (statement.empty())
            continue;
        if (statement.find('\0') != std::string_view::npos) {
            errors.push_back({statementLine, "contains a NUL character"});
            continue;
        }
        std::size_t eq = statement.find('=');
        if (eq == std::string_view::npos) {
            errors.push_back(
                {statementLine, "expected <setting> = <value>, found " + quoted(statement)});
            continue;
        }
        // Apply to a copy so that a faulty statement changes nothing.
        VirtualConfig candidate = config;
        try {
            applyStatement(trim(statement.substr(0, eq)), trim(statement.substr(eq + 1)),
                           candidate);
            config = std::move(candidate);
        } catch (const ParseError& e) {
            errors.push_back({statementLine, e.message});
        }
    }
    return errors;
}

}  // namespace lumatrace::device
