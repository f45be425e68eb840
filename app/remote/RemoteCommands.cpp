#include "app/remote/RemoteCommands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/remote/ScpiResponse.h"

namespace lumatrace {

namespace {

using namespace scpi_error;

void Check(ScpiCall& c, const RemoteStatus& s) {
    if (!s.ok()) {
        c.Error(s.error, s.detail);
    }
}

std::string Bool01(bool b) {
    return b ? "1" : "0";
}

// The response to a character-data query: the first choice with the value.
std::string ChoiceText(std::span<const ScpiChoice> choices, int value) {
    for (const ScpiChoice& c : choices) {
        if (c.value == value) {
            return ScpiShortForm(c.mnemonic);
        }
    }
    // A value the panel holds but the command set does not name.
    return FormatNr1(value);
}

int IndexOf(const ItemList& list, std::string_view item) {
    const auto it = std::find(list.begin(), list.end(), item);
    if (it == list.end()) {
        throw std::logic_error("value list without " + std::string(item));
    }
    return static_cast<int>(it - list.begin());
}

std::string RangeText(double lo, double hi, std::string_view unit) {
    std::string text = FormatNr3(lo) + " .. " + FormatNr3(hi);
    if (!unit.empty()) {
        text += ' ';
        text += unit;
    }
    return text;
}

// Parameter 0, in unit, as the item of an ascending list nearest to it on a
// log scale; -222 when it lies outside the list. MINimum and MAXimum name the
// list's ends.
std::optional<int> Snap(ScpiCall& c, const std::vector<double>& list, std::string_view unit) {
    const auto number = c.Number(0, {unit, list.front(), list.back(), std::nullopt});
    if (!number) {
        return std::nullopt;
    }
    const double value = *number;
    constexpr double kSlack = 1e-9;  // a value printed with fewer digits still hits the end
    if (!(value >= list.front() * (1 - kSlack) && value <= list.back() * (1 + kSlack))) {
        c.Error(kDataOutOfRange, RangeText(list.front(), list.back(), unit));
        return std::nullopt;
    }
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const double d = std::fabs(std::log(value / list[i]));
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// Parameter 0 as the index of an item of an ascending list of whole numbers:
// -222 outside the list's range, -224 between its items. MINimum and MAXimum
// name the list's ends.
std::optional<int> Member(ScpiCall& c, const std::vector<long long>& list) {
    const auto number = c.Number(
        0, {{}, static_cast<double>(list.front()), static_cast<double>(list.back()), std::nullopt});
    if (!number) {
        return std::nullopt;
    }
    const double value = *number;
    if (!(value >= static_cast<double>(list.front()) &&
          value <= static_cast<double>(list.back()))) {
        c.Error(kDataOutOfRange,
                RangeText(static_cast<double>(list.front()), static_cast<double>(list.back()), {}));
        return std::nullopt;
    }
    std::string items;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (value == static_cast<double>(list[i])) {
            return static_cast<int>(i);
        }
        items += (i > 0 ? ", " : "") + std::to_string(list[i]);
    }
    c.Error(kIllegalParameterValue, "one of " + items);
    return std::nullopt;
}

// An integer within lo..hi after rounding; -222 outside.
std::optional<int> WholeInRange(ScpiCall& c, double value, int lo, int hi, std::string_view what) {
    const double r = std::nearbyint(value);
    if (!(r >= lo && r <= hi)) {
        c.Error(kDataOutOfRange,
                std::string(what) + " " + std::to_string(lo) + " .. " + std::to_string(hi));
        return std::nullopt;
    }
    return static_cast<int>(r);
}

// V/div and T/div items in volts and seconds: the command snaps to these
// and the query answers with them, so a value read back sets the same item.
double VoltsPerDiv(int index, int probeIndex) {
    return static_cast<double>(VoltsPerDivMv(index)) * ProbeFactor(probeIndex) / 1000.0;
}

double SecondsPerDiv(int index) {
    return static_cast<double>(TimePerDivNs(index)) / 1e9;
}

std::vector<double> VoltsPerDivList(int probeIndex) {
    std::vector<double> v;
    for (int i = 0; i < kVoltsPerDivCount; ++i) {
        v.push_back(VoltsPerDiv(i, probeIndex));
    }
    return v;
}

std::vector<double> TimeDivList(int memoryIndex) {
    std::vector<double> v;
    for (int i = 0; i < TimeDivCount(memoryIndex); ++i) {
        v.push_back(SecondsPerDiv(i));
    }
    return v;
}

// Position units: 1/50 division, 250 at the centre, 0 at the top.
constexpr int kCentrePosition = 250;
constexpr double kPositionsPerDiv = 50.0;
constexpr int kMinPosition = 1;
constexpr int kMaxPosition = 500;

double PositionDivisions(int position) {
    return (kCentrePosition - position) / kPositionsPerDiv;
}

constexpr ScpiChoice kChannelChoices[] = {{"CH1", 0}, {"CHANnel1", 0}, {"CH2", 1}, {"CHANnel2", 1}};
constexpr ScpiChoice kWaveSourceChoices[] = {{"CH1", static_cast<int>(RemoteSource::kCh1)},
                                             {"CHANnel1", static_cast<int>(RemoteSource::kCh1)},
                                             {"CH2", static_cast<int>(RemoteSource::kCh2)},
                                             {"CHANnel2", static_cast<int>(RemoteSource::kCh2)},
                                             {"MATH", static_cast<int>(RemoteSource::kMath)}};
constexpr ScpiChoice kFormatChoices[] = {{"BYTE", static_cast<int>(RemoteWaveFormat::kByte)},
                                         {"WORD", static_cast<int>(RemoteWaveFormat::kWord)},
                                         {"ASCii", static_cast<int>(RemoteWaveFormat::kAscii)}};
constexpr ScpiChoice kMathOperatorChoices[] = {
    {"ADD", 0}, {"SUBTract", 1}, {"MULTiply", 2}, {"DIVide", 3}};
constexpr ScpiChoice kFftWindowChoices[] = {
    {"RECTangular", 0}, {"HAMMing", 1}, {"HANNing", 2}, {"BHARris", 3}};
constexpr ScpiChoice kTriggerModeChoices[] = {{"AUTO", 0}, {"NORMal", 1}};

std::string_view TriggerStatusText(RemoteTriggerStatus s) {
    switch (s) {
        case RemoteTriggerStatus::kStopped:
            return "STOP";
        case RemoteTriggerStatus::kBlank:
            return "NONE";
        case RemoteTriggerStatus::kPreTrigger:
            return "PRET";
        case RemoteTriggerStatus::kWaitForTrigger:
            return "WAIT";
        case RemoteTriggerStatus::kTriggered:
            return "TRIG";
        case RemoteTriggerStatus::kAutoTriggered:
            return "AUTO";
    }
    return "NONE";
}

// *IDN? fields may not hold the separators of the response.
std::string IdentityField(std::string text) {
    for (char& c : text) {
        if (c == ',' || c == ';' || static_cast<unsigned char>(c) < 0x20) {
            c = ' ';
        }
    }
    return text;
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) {
        return false;
    }
    const std::string_view tail = text.substr(text.size() - end.size());
    for (std::size_t i = 0; i < end.size(); ++i) {
        const char a = static_cast<char>(std::tolower(static_cast<unsigned char>(tail[i])));
        if (a != end[i]) {
            return false;
        }
    }
    return true;
}

// Which copy of a setting a call names: the channel (or operand) of the
// header's <n> suffix, 1 or 2, as 0 or 1 (-114 for any other suffix); or 0
// for a setting held once.
using SettingIndex = std::optional<int> (*)(ScpiCall&);

std::optional<int> SuffixIndex(ScpiCall& c) {
    const auto n = c.Suffix(0, 1, 2);
    return n ? std::optional<int>(*n - 1) : std::nullopt;
}

std::optional<int> HeldOnce(ScpiCall&) {
    return 0;
}

// A setting's command (ON/OFF) and its query.
void AddBooleanPair(ScpiCommandTable& table, std::string_view header, SettingIndex which,
                    std::function<bool(int)> get, std::function<RemoteStatus(int, bool)> set) {
    table.Add(header, [which, set = std::move(set)](ScpiCall& c) {
        const auto i = which(c);
        if (!i || !c.ExpectCount(1, 1)) {
            return;
        }
        if (const auto on = c.Boolean(0)) {
            Check(c, set(*i, *on));
        }
    });
    table.Add(std::string(header) + "?", [which, get = std::move(get)](ScpiCall& c) {
        const auto i = which(c);
        if (i && c.ExpectCount(0, 0)) {
            c.Respond(Bool01(get(*i)));
        }
    });
}

// A setting's command (one of the choices) and its query.
void AddChoicePair(ScpiCommandTable& table, std::string_view header,
                   std::span<const ScpiChoice> choices, SettingIndex which,
                   std::function<int(int)> get, std::function<RemoteStatus(int, int)> set) {
    // The handlers outlive the caller's list (often built in place from the
    // value tables): they keep a copy.
    std::vector<ScpiChoice> kept(choices.begin(), choices.end());
    table.Add(header, [which, kept, set = std::move(set)](ScpiCall& c) {
        const auto i = which(c);
        if (!i || !c.ExpectCount(1, 1)) {
            return;
        }
        if (const auto value = c.Choice(0, kept)) {
            Check(c, set(*i, *value));
        }
    });
    table.Add(std::string(header) + "?", [which, kept, get = std::move(get)](ScpiCall& c) {
        const auto i = which(c);
        if (i && c.ExpectCount(0, 0)) {
            c.Respond(ChoiceText(kept, get(*i)));
        }
    });
}

constexpr std::array kMeasurements = {
    RemoteMeasureEntry{"VMAX", "vmax", true},
    RemoteMeasureEntry{"VMIN", "vmin", true},
    RemoteMeasureEntry{"VPP", "vpp", true},
    RemoteMeasureEntry{"VTOP", "vtop", true},
    RemoteMeasureEntry{"VBASe", "vbase", true},
    RemoteMeasureEntry{"VAMPlitude", "vamp", true},
    RemoteMeasureEntry{"VAVerage", "vmean", true},
    RemoteMeasureEntry{"VRMS", "vrms", true},
    RemoteMeasureEntry{"VACRms", "vrms_ac", true},
    RemoteMeasureEntry{"OVERshoot", "overshoot", true},
    RemoteMeasureEntry{"PREShoot", "preshoot", true},
    RemoteMeasureEntry{"FREQuency", "frequency", true},
    RemoteMeasureEntry{"PERiod", "period", true},
    RemoteMeasureEntry{"PWIDth", "width_pos", true},
    RemoteMeasureEntry{"NWIDth", "width_neg", true},
    RemoteMeasureEntry{"PDUTy", "duty_pos", true},
    RemoteMeasureEntry{"NDUTy", "duty_neg", true},
    RemoteMeasureEntry{"RISetime", "rise", true},
    RemoteMeasureEntry{"FALLtime", "fall", true},
    RemoteMeasureEntry{"EDGes", "edges", true},
    RemoteMeasureEntry{"DELay", "delay", false},
    RemoteMeasureEntry{"PHASe", "phase", false},
};

}  // namespace

std::span<const RemoteMeasureEntry> RemoteMeasurements() {
    return kMeasurements;
}

RemoteCommands::RemoteCommands(RemoteInstrument& instrument, ScpiStatus& status)
    : target_(instrument), status_(status) {
    AddCommon();
    AddSystem();
    AddRun();
    AddChannel();
    AddTimebase();
    AddAcquire();
    AddTrigger();
    AddMath();
    AddFft();
    AddMeasure();
    AddWaveform();
    AddSave();
}

void RemoteCommands::SettleOperationComplete() {
    if (opcArmed_ && !target_.OperationPending()) {
        status_.SetEventBits(scpi_esr::kOperationComplete);
        opcArmed_ = false;
    }
}

// ---------------------------------------------------------------------------
// IEEE 488.2 common commands.

void RemoteCommands::AddCommon() {
    table_.Add("*IDN?", [this](ScpiCall& c) {
        if (!c.ExpectCount(0, 0)) {
            return;
        }
        const RemoteIdentity id = target_.Identity();
        c.Respond(IdentityField(id.maker) + ',' + IdentityField(id.model) + ',' +
                  IdentityField(id.serial.empty() ? "0" : id.serial) + ',' +
                  IdentityField(id.version));
    });
    table_.Add("*RST", [this](ScpiCall& c) {
        if (!c.ExpectCount(0, 0)) {
            return;
        }
        waveSource_ = RemoteSource::kCh1;
        waveFormat_ = RemoteWaveFormat::kWord;
        normalTriggerMode_ = false;
        Check(c, target_.Reset());
    });
    table_.Add("*CLS", [this](ScpiCall& c) {
        if (!c.ExpectCount(0, 0)) {
            return;
        }
        status_.Clear();
        opcArmed_ = false;
    });
    auto registerByte = [this](std::string_view set, std::string_view query,
                               std::uint8_t ScpiStatus::*field, std::uint8_t ignored) {
        table_.Add(set, [this, field, ignored](ScpiCall& c) {
            if (!c.ExpectCount(1, 1)) {
                return;
            }
            const auto v = c.Number(0, {});
            if (!v) {
                return;
            }
            if (const auto n = WholeInRange(c, *v, 0, 255, "register value")) {
                status_.*field = static_cast<std::uint8_t>(*n & ~ignored);
            }
        });
        table_.Add(query, [this, field](ScpiCall& c) {
            if (c.ExpectCount(0, 0)) {
                c.Respond(FormatNr1(status_.*field));
            }
        });
    };
    registerByte("*ESE", "*ESE?", &ScpiStatus::eventEnable, 0);
    // Bit 6 of the service request enable has no meaning (IEEE 488.2, 11.3.2.3).
    registerByte("*SRE", "*SRE?", &ScpiStatus::serviceEnable, scpi_stb::kMasterSummary);
    table_.Add("*ESR?", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            SettleOperationComplete();
            c.Respond(FormatNr1(status_.ReadEventStatus()));
        }
    });
    table_.Add("*STB?", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            SettleOperationComplete();
            c.Respond(FormatNr1(status_.StatusByte()));
        }
    });
    table_.Add("*OPC", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            opcArmed_ = true;
            SettleOperationComplete();
        }
    });
    table_.Add("*OPC?", [this](ScpiCall& c) {
        if (!c.ExpectCount(0, 0)) {
            return;
        }
        if (target_.OperationPending()) {
            c.Defer();
            return;
        }
        c.Respond("1");
    });
    table_.Add("*WAI", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0) && target_.OperationPending()) {
            c.Defer();
        }
    });
}

void RemoteCommands::AddSystem() {
    auto error = [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            c.Respond(FormatScpiError(status_.Pop()));
        }
    };
    table_.Add(":SYSTem:ERRor[:NEXT]?", error);
    table_.Add(":SYSTem:ERRor:COUNt?", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            c.Respond(FormatNr1(static_cast<std::int64_t>(status_.Count())));
        }
    });
    table_.Add(":SYSTem:VERSion?", [](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            c.Respond("1999.0");
        }
    });
}

// ---------------------------------------------------------------------------
// Run control and trigger status.

void RemoteCommands::AddRun() {
    auto action = [this](std::string_view header, auto choose) {
        table_.Add(header, [this, choose](ScpiCall& c) {
            if (c.ExpectCount(0, 0)) {
                Check(c, target_.Run(choose()));
            }
        });
    };
    action(":RUN", [this] {
        return normalTriggerMode_ ? RemoteRunAction::kNormal : RemoteRunAction::kAuto;
    });
    action(":STOP", [] { return RemoteRunAction::kStop; });
    action(":SINGle", [] { return RemoteRunAction::kSingle; });
    action(":AUTO", [this] {
        normalTriggerMode_ = false;
        return RemoteRunAction::kAuto;
    });
    table_.Add(":TRIGger:STATus?", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            c.Respond(TriggerStatusText(target_.TriggerStatus()));
        }
    });
    AddChoiceSetting(
        ":TRIGger:MODE", kTriggerModeChoices,
        [this] {
            const int run = target_.RunMode();
            const bool normal = run == kRunStop ? normalTriggerMode_ : run != kRunAuto;
            return normal ? 1 : 0;
        },
        [this](int mode) {
            normalTriggerMode_ = mode == 1;
            // A continuous run changes over at once; Single and Stop keep the
            // choice for the next :RUN.
            const int run = target_.RunMode();
            if (run == kRunAuto && normalTriggerMode_) {
                return target_.Run(RemoteRunAction::kNormal);
            }
            if (run == kRunNormal && !normalTriggerMode_) {
                return target_.Run(RemoteRunAction::kAuto);
            }
            return RemoteStatus::Ok();
        });
}

// ---------------------------------------------------------------------------
// Channels.

void RemoteCommands::AddChannel() {
    AddBooleanSetting(
        ":CHANnel<n>:DISPlay", [this](int ch) { return target_.Channel(ch).shown; },
        [this](int ch, bool on) { return target_.SetChannelShown(ch, on); });

    table_.Add(":CHANnel<n>:SCALe", [this](ScpiCall& c) {
        const auto ch = SuffixIndex(c);
        if (!ch || !c.ExpectCount(1, 1)) {
            return;
        }
        const std::vector<double> list = VoltsPerDivList(target_.Channel(*ch).probeIndex);
        if (const auto index = Snap(c, list, "V")) {
            Check(c, target_.SetVoltsPerDiv(*ch, *index));
        }
    });
    table_.Add(":CHANnel<n>:SCALe?", [this](ScpiCall& c) {
        const auto ch = SuffixIndex(c);
        if (!ch || !c.ExpectCount(0, 0)) {
            return;
        }
        const RemoteChannelState s = target_.Channel(*ch);
        c.Respond(FormatNr3(VoltsPerDiv(s.voltsPerDivIndex, s.probeIndex)));
    });

    table_.Add(":CHANnel<n>:PROBe", [this](ScpiCall& c) {
        const auto ch = SuffixIndex(c);
        if (!ch || !c.ExpectCount(1, 1)) {
            return;
        }
        std::vector<long long> factors;
        for (int p = 0; p < kProbeCount; ++p) {
            factors.push_back(ProbeFactor(p));
        }
        if (const auto index = Member(c, factors)) {
            Check(c, target_.SetProbe(*ch, *index));
        }
    });
    table_.Add(":CHANnel<n>:PROBe?", [this](ScpiCall& c) {
        const auto ch = SuffixIndex(c);
        if (ch && c.ExpectCount(0, 0)) {
            c.Respond(FormatNr1(ProbeFactor(target_.Channel(*ch).probeIndex)));
        }
    });

    const std::vector<ScpiChoice> coupling = {{"DC", IndexOf(lists_.Coupling(), "DC")},
                                              {"AC", IndexOf(lists_.Coupling(), "AC")},
                                              {"GND", IndexOf(lists_.Coupling(), "GND")}};
    AddChoiceSetting(
        ":CHANnel<n>:COUPling", coupling,
        [this](int ch) { return target_.Channel(ch).couplingIndex; },
        [this](int ch, int index) { return target_.SetCoupling(ch, index); });

    AddBooleanSetting(
        ":CHANnel<n>:BWLimit", [this](int ch) { return target_.Channel(ch).bandwidthLimit; },
        [this](int ch, bool on) { return target_.SetBandwidthLimit(ch, on); });

    // Divisions above the centre, in steps of 1/50 division.
    table_.Add(":CHANnel<n>:POSition", [this](ScpiCall& c) {
        const auto ch = SuffixIndex(c);
        if (!ch || !c.ExpectCount(1, 1)) {
            return;
        }
        const double lo = PositionDivisions(kMaxPosition);
        const double hi = PositionDivisions(kMinPosition);
        const auto v = c.Number(0, {"DIV", lo, hi, 0.0});
        if (!v) {
            return;
        }
        const double units = std::nearbyint(*v * kPositionsPerDiv);
        const double position = kCentrePosition - units;
        if (!(position >= kMinPosition && position <= kMaxPosition)) {
            c.Error(kDataOutOfRange, RangeText(lo, hi, "DIV"));
            return;
        }
        Check(c, target_.SetChannelPosition(*ch, static_cast<int>(position)));
    });
    table_.Add(":CHANnel<n>:POSition?", [this](ScpiCall& c) {
        const auto ch = SuffixIndex(c);
        if (ch && c.ExpectCount(0, 0)) {
            c.Respond(FormatNr3(PositionDivisions(target_.Channel(*ch).position)));
        }
    });
}

// ---------------------------------------------------------------------------
// Horizontal.

void RemoteCommands::AddTimebase() {
    table_.Add(":TIMebase:SCALe", [this](ScpiCall& c) {
        if (!c.ExpectCount(1, 1)) {
            return;
        }
        const std::vector<double> list = TimeDivList(target_.Acquire().memoryIndex);
        if (const auto index = Snap(c, list, "S")) {
            Check(c, target_.SetTimeDiv(*index));
        }
    });
    table_.Add(":TIMebase:SCALe?", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            c.Respond(FormatNr3(SecondsPerDiv(target_.Timebase().timeDivIndex)));
        }
    });

    // The trigger point's index in the record, in samples.
    table_.Add(":TIMebase:POSition", [this](ScpiCall& c) {
        if (!c.ExpectCount(1, 1)) {
            return;
        }
        const int points = MemoryPoints(target_.Acquire().memoryIndex);
        const int lo = 10;
        const int hi = points - 100;
        const auto v = c.Number(0, {{}, lo, hi, std::nullopt});
        if (!v) {
            return;
        }
        if (const auto samples = WholeInRange(c, *v, lo, hi, "trigger position")) {
            Check(c, target_.SetTriggerPosition(*samples));
        }
    });
    table_.Add(":TIMebase:POSition?", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            c.Respond(FormatNr1(target_.Timebase().triggerPosition));
        }
    });
}

// ---------------------------------------------------------------------------
// Acquisition.

void RemoteCommands::AddAcquire() {
    table_.Add(":ACQuire:POINts", [this](ScpiCall& c) {
        if (!c.ExpectCount(1, 1)) {
            return;
        }
        const RemoteAcquireState s = target_.Acquire();
        const auto sizes = static_cast<int>(lists_.MemorySize(s.largeMemory ? 1 : 0).size());
        std::vector<long long> points;
        for (int i = 0; i < sizes; ++i) {
            points.push_back(MemoryPoints(i));
        }
        if (const auto index = Member(c, points)) {
            Check(c, target_.SetMemorySize(*index));
        }
    });
    table_.Add(":ACQuire:POINts?", [this](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            c.Respond(FormatNr1(MemoryPoints(target_.Acquire().memoryIndex)));
        }
    });

    const std::vector<ScpiChoice> modes = {{"SAMPle", IndexOf(lists_.WaveForm(), "Sample")},
                                           {"AVERage", IndexOf(lists_.WaveForm(), "Average")},
                                           {"ENVelope", IndexOf(lists_.WaveForm(), "Envelope")}};
    AddChoiceSetting(
        ":ACQuire:MODE", modes, [this] { return target_.Acquire().waveformMode; },
        [this](int mode) { return target_.SetWaveformMode(mode); });

    // The averaging count list follows the memory size: list B at 1M points.
    auto counts = [this](int memoryIndex) {
        std::vector<long long> v;
        for (const std::string& item : lists_.Number(memoryIndex == 2 ? 1 : 0)) {
            v.push_back(ParseAcquireCount(item).value_or(0));
        }
        return v;
    };
    table_.Add(":ACQuire:COUNt", [this, counts](ScpiCall& c) {
        if (!c.ExpectCount(1, 1)) {
            return;
        }
        const std::vector<long long> list = counts(target_.Acquire().memoryIndex);
        if (const auto index = Member(c, list)) {
            Check(c, target_.SetAcquireCount(*index));
        }
    });
    table_.Add(":ACQuire:COUNt?", [this, counts](ScpiCall& c) {
        if (!c.ExpectCount(0, 0)) {
            return;
        }
        const RemoteAcquireState s = target_.Acquire();
        const std::vector<long long> list = counts(s.memoryIndex);
        if (s.countIndex < 0 || static_cast<std::size_t>(s.countIndex) >= list.size()) {
            c.Error(kExecutionError, "acquisition count index outside its list");
            return;
        }
        c.Respond(FormatNr1(list[static_cast<std::size_t>(s.countIndex)]));
    });

    AddBooleanSetting(
        ":ACQuire:EQUivalent", [this] { return target_.Acquire().equivalentAllowed; },
        [this](bool on) { return target_.SetEquivalentAllowed(on); });
    AddBooleanSetting(
        ":ACQuire:ROLL", [this] { return target_.Acquire().rollAllowed; },
        [this](bool on) { return target_.SetRollAllowed(on); });
}

// ---------------------------------------------------------------------------
// Trigger.

void RemoteCommands::AddTrigger() {
    const ItemList& sources = lists_.TrigSource();
    const std::vector<ScpiChoice> source = {{"CH1", IndexOf(sources, "CH1")},
                                            {"CHANnel1", IndexOf(sources, "CH1")},
                                            {"CH2", IndexOf(sources, "CH2")},
                                            {"CHANnel2", IndexOf(sources, "CH2")},
                                            {"EXTernal", IndexOf(sources, "EXT")}};
    const int external = IndexOf(sources, "EXT");
    AddChoiceSetting(
        ":TRIGger:SOURce", source, [this] { return target_.Trigger().sourceIndex; },
        [this](int index) { return target_.SetTriggerSource(index); });

    const ItemList& channelCoupling = lists_.TrigCoupling(0);
    const ItemList& externalCoupling = lists_.TrigCoupling(1);
    const std::vector<ScpiChoice> coupling = {{"DC", IndexOf(channelCoupling, "DC")},
                                              {"LFReject", IndexOf(channelCoupling, "LFrej")},
                                              {"HFReject", IndexOf(channelCoupling, "HFrej")}};
    const auto externalItems = static_cast<int>(externalCoupling.size());
    AddChoiceSetting(
        ":TRIGger:COUPling", coupling, [this] { return target_.Trigger().couplingIndex; },
        [this, external, externalItems](int index) {
            if (target_.Trigger().sourceIndex == external && index >= externalItems) {
                return RemoteStatus::Fail(kSettingsConflict, "the EXT input couples DC only");
            }
            return target_.SetTriggerCoupling(index);
        });

    const std::vector<ScpiChoice> slope = {{"POSitive", IndexOf(lists_.Slope(), "↑")},
                                           {"NEGative", IndexOf(lists_.Slope(), "↓")}};
    AddChoiceSetting(
        ":TRIGger:SLOPe", slope, [this] { return target_.Trigger().slopeIndex; },
        [this](int index) { return target_.SetTriggerSlope(index); });

    // Volts, measured from the source's zero line in the source's scale, in
    // steps of 1/50 division.
    auto levelVolts = [](const RemoteTriggerState& t, int level) {
        return (t.sourcePosition - level) * t.sourceScaleMv / (kPositionsPerDiv * 1000.0);
    };
    table_.Add(":TRIGger:LEVel", [this, levelVolts](ScpiCall& c) {
        if (!c.ExpectCount(1, 1)) {
            return;
        }
        const RemoteTriggerState t = target_.Trigger();
        const double lo = levelVolts(t, kMaxPosition);
        const double hi = levelVolts(t, kMinPosition);
        const auto v = c.Number(0, {"V", lo, hi, std::nullopt});
        if (!v) {
            return;
        }
        const double steps = std::nearbyint(*v * 1000.0 / t.sourceScaleMv * kPositionsPerDiv);
        const double level = t.sourcePosition - steps;
        if (!(level >= kMinPosition && level <= kMaxPosition)) {
            c.Error(kDataOutOfRange, RangeText(lo, hi, "V"));
            return;
        }
        Check(c, target_.SetTriggerLevel(static_cast<int>(level)));
    });
    table_.Add(":TRIGger:LEVel?", [this, levelVolts](ScpiCall& c) {
        if (c.ExpectCount(0, 0)) {
            const RemoteTriggerState t = target_.Trigger();
            c.Respond(FormatNr3(levelVolts(t, t.level)));
        }
    });
}

// ---------------------------------------------------------------------------
// Settings: a command that sets one and a query that reads it back.

void RemoteCommands::AddBooleanSetting(std::string_view header, std::function<bool()> get,
                                       std::function<RemoteStatus(bool)> set) {
    AddBooleanPair(
        table_, header, HeldOnce, [get = std::move(get)](int) { return get(); },
        [set = std::move(set)](int, bool on) { return set(on); });
}

void RemoteCommands::AddBooleanSetting(std::string_view header, std::function<bool(int)> get,
                                       std::function<RemoteStatus(int, bool)> set) {
    AddBooleanPair(table_, header, SuffixIndex, std::move(get), std::move(set));
}

void RemoteCommands::AddChoiceSetting(std::string_view header, std::span<const ScpiChoice> choices,
                                      std::function<int()> get,
                                      std::function<RemoteStatus(int)> set) {
    AddChoicePair(
        table_, header, choices, HeldOnce, [get = std::move(get)](int) { return get(); },
        [set = std::move(set)](int, int value) { return set(value); });
}

void RemoteCommands::AddChoiceSetting(std::string_view header, std::span<const ScpiChoice> choices,
                                      std::function<int(int)> get,
                                      std::function<RemoteStatus(int, int)> set) {
    AddChoicePair(table_, header, choices, SuffixIndex, std::move(get), std::move(set));
}

// ---------------------------------------------------------------------------
// Math and spectrum.

void RemoteCommands::AddMath() {
    AddBooleanSetting(
        ":MATH:DISPlay", [this] { return target_.Math().shown; },
        [this](bool on) { return target_.SetMathShown(on); });
    AddChoiceSetting(
        ":MATH:OPERation", kMathOperatorChoices, [this] { return target_.Math().operatorIndex; },
        [this](int op) { return target_.SetMathOperator(op); });
    AddChoiceSetting(
        ":MATH:SOURce<n>", kChannelChoices,
        [this](int operand) {
            const RemoteMathState m = target_.Math();
            return operand == 0 ? m.firstOperand : m.secondOperand;
        },
        [this](int operand, int ch) { return target_.SetMathOperand(operand, ch); });
}

void RemoteCommands::AddFft() {
    AddBooleanSetting(
        ":FFT:DISPlay", [this] { return target_.Fft().shown; },
        [this](bool on) { return target_.SetFftShown(on); });
    AddChoiceSetting(
        ":FFT:SOURce", kChannelChoices, [this] { return target_.Fft().sourceIndex; },
        [this](int ch) { return target_.SetFftSource(ch); });
    AddChoiceSetting(
        ":FFT:WINDow", kFftWindowChoices, [this] { return target_.Fft().window; },
        [this](int w) { return target_.SetFftWindow(w); });
}

// ---------------------------------------------------------------------------
// Measurements.

void RemoteCommands::AddMeasure() {
    for (const RemoteMeasureEntry& entry : kMeasurements) {
        table_.Add(":MEASure:" + std::string(entry.header) + "?", [this, entry](ScpiCall& c) {
            const std::size_t count = entry.takesSource ? 1 : 0;
            if (!c.ExpectCount(count, count)) {
                return;
            }
            RemoteSource source = RemoteSource::kCh1;
            if (entry.takesSource) {
                const auto s = c.Choice(0, kWaveSourceChoices);
                if (!s) {
                    return;
                }
                source = static_cast<RemoteSource>(*s);
            }
            if (!target_.HasMeasurementEngine()) {
                c.Error(kExecutionError, "no measurement engine");
                return;
            }
            const RemoteMeasurement m = target_.Measure(entry.name, source);
            if (!m.status.ok()) {
                c.Error(m.status.error, m.status.detail);
                return;
            }
            // Undefined for this record: SCPI's not-a-number.
            c.Respond(FormatNr3(m.value.value_or(std::numeric_limits<double>::quiet_NaN())));
        });
    }
}

// ---------------------------------------------------------------------------
// Records.

void RemoteCommands::AddWaveform() {
    AddChoiceSetting(
        ":WAVeform:SOURce", kWaveSourceChoices, [this] { return static_cast<int>(waveSource_); },
        [this](int s) {
            waveSource_ = static_cast<RemoteSource>(s);
            return RemoteStatus::Ok();
        });
    AddChoiceSetting(
        ":WAVeform:FORMat", kFormatChoices, [this] { return static_cast<int>(waveFormat_); },
        [this](int f) {
            waveFormat_ = static_cast<RemoteWaveFormat>(f);
            return RemoteStatus::Ok();
        });
    // A query about the record of the :WAVeform:SOURce.
    auto recordQuery = [this](std::string_view header, auto answer) {
        table_.Add(header, [this, answer](ScpiCall& c) {
            if (!c.ExpectCount(0, 0)) {
                return;
            }
            RemoteRecord record;
            const RemoteStatus s = target_.Record(waveSource_, record);
            if (!s.ok()) {
                c.Error(s.error, s.detail);
                return;
            }
            answer(c, record);
        });
    };
    recordQuery(":WAVeform:PREamble?", [this](ScpiCall& c, const RemoteRecord& record) {
        c.Respond(FormatPreamble(record, waveFormat_));
    });
    recordQuery(":WAVeform:DATA?", [this](ScpiCall& c, const RemoteRecord& record) {
        AppendWaveformBlock(c.ResponseUnitMessage(), record, waveFormat_);
    });
}

// ---------------------------------------------------------------------------
// Files.

void RemoteCommands::AddSave() {
    table_.Add(":SAVE:SET", [this](ScpiCall& c) {
        if (!c.ExpectCount(1, 1)) {
            return;
        }
        const auto path = c.String(0);
        if (!path) {
            return;
        }
        if (!EndsWithNoCase(*path, ".zep") || path->size() <= 4) {
            c.Error(kFileNameError, "a waveform file set ends in .zep");
            return;
        }
        Check(c, target_.SaveWaveformSet(*path));
    });
    table_.Add(":SAVE:IMAGe", [this](ScpiCall& c) {
        if (!c.ExpectCount(1, 1)) {
            return;
        }
        const auto path = c.String(0);
        if (!path) {
            return;
        }
        struct Extension {
            std::string_view text;
            RemoteImageFormat format;
        };
        static constexpr Extension kExtensions[] = {{".png", RemoteImageFormat::kPng},
                                                    {".bmp", RemoteImageFormat::kBmp},
                                                    {".jpg", RemoteImageFormat::kJpeg},
                                                    {".jpeg", RemoteImageFormat::kJpeg}};
        for (const Extension& e : kExtensions) {
            if (path->size() > e.text.size() && EndsWithNoCase(*path, e.text)) {
                Check(c, target_.SaveImage(*path, e.format));
                return;
            }
        }
        c.Error(kFileNameError, "a picture ends in .png, .bmp or .jpg");
    });
}

}  // namespace lumatrace
