#include "app/settings/ParamFile.h"

#include <strings.h>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/platform/FileStore.h"
#include "app/platform/MessageBox.h"
#include "app/platform/TextEncoding.h"
#include "app/settings/ComponentStream.h"

namespace lumatrace {

namespace {

using Kind = ParamControlKind;
using Since = ParamRecordSince;

constexpr std::array<ParamControlInfo, kParamControlCount> kControls = {{
    {ParamControl::GroupBoxVert, "GroupBoxVert", "TGroupBox", Kind::GroupBox, Since::Version21},
    {ParamControl::SpeedButtonCh1, "SpeedButtonCh1", "TSpeedButton", Kind::SpeedButton,
     Since::Always},
    {ParamControl::SpeedButtonCh2, "SpeedButtonCh2", "TSpeedButton", Kind::SpeedButton,
     Since::Always},
    {ParamControl::ComboBoxVd1, "ComboBoxVd1", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxVd2, "ComboBoxVd2", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxPb1, "ComboBoxPb1", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxPb2, "ComboBoxPb2", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxCup1, "ComboBoxCup1", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxCup2, "ComboBoxCup2", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxTrigSrc, "ComboBoxTrigSrc", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxTrigCup, "ComboBoxTrigCup", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxTrigSp, "ComboBoxTrigSp", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::RdBtnUnder, "RdBtnUnder", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnAbove, "RdBtnAbove", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::ComboBoxTd, "ComboBoxTd", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::ComboBoxMemSize, "ComboBoxMemSize", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::SpeedButtonDt, "SpeedButtonDt", "TSpeedButton", Kind::SpeedButton,
     Since::Always},
    {ParamControl::SpeedButtonDv, "SpeedButtonDv", "TSpeedButton", Kind::SpeedButton,
     Since::Always},
    {ParamControl::RdBtnFull1, "RdBtnFull1", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtn20MHz1, "RdBtn20MHz1", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnFull2, "RdBtnFull2", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtn20MHz2, "RdBtn20MHz2", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::ComboBoxWaveForm, "ComboBoxWaveForm", "TComboBox", Kind::ComboBox,
     Since::Always},
    {ParamControl::ComboBoxNumber, "ComboBoxNumber", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::SpeedButtonMath, "SpeedButtonMath", "TSpeedButton", Kind::SpeedButton,
     Since::Always},
    {ParamControl::ComboBoxMath, "ComboBoxMath", "TComboBox", Kind::ComboBox, Since::Always},
    {ParamControl::RdBtnMath11, "RdBtnMath11", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnMath12, "RdBtnMath12", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnMath21, "RdBtnMath21", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnMath22, "RdBtnMath22", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnAdd, "RdBtnAdd", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnSub, "RdBtnSub", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnMul, "RdBtnMul", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::RdBtnDiv, "RdBtnDiv", "TRadioButton", Kind::RadioButton, Since::Always},
    {ParamControl::SpeedButtonFft, "SpeedButtonFft", "TSpeedButton", Kind::SpeedButton,
     Since::Version2},
    {ParamControl::ComboBoxFftVScale, "ComboBoxFftVScale", "TComboBox", Kind::ComboBox,
     Since::Version2},
    {ParamControl::ComboBoxFftHScale, "ComboBoxFftHScale", "TComboBox", Kind::ComboBox,
     Since::Version2},
    {ParamControl::RdBtnFftSrc1, "RdBtnFftSrc1", "TRadioButton", Kind::RadioButton,
     Since::Version2},
    {ParamControl::RdBtnFftSrc2, "RdBtnFftSrc2", "TRadioButton", Kind::RadioButton,
     Since::Version2},
    {ParamControl::RdBtnFftVstV, "RdBtnFftVstV", "TRadioButton", Kind::RadioButton,
     Since::Version2},
    {ParamControl::RdBtnFftVstdBV, "RdBtnFftVstdBV", "TRadioButton", Kind::RadioButton,
     Since::Version2},
    {ParamControl::RdBtnFftWndRc, "RdBtnFftWndRc", "TRadioButton", Kind::RadioButton,
     Since::Version2},
    {ParamControl::RdBtnFftWndHm, "RdBtnFftWndHm", "TRadioButton", Kind::RadioButton,
     Since::Version2},
    {ParamControl::RdBtnFftWndHn, "RdBtnFftWndHn", "TRadioButton", Kind::RadioButton,
     Since::Version2},
    {ParamControl::RdBtnFftWndBh, "RdBtnFftWndBh", "TRadioButton", Kind::RadioButton,
     Since::Version2},
}};

// Version thresholds, compared exactly as extended values.
constexpr Extended80 kVersion1 = Extended80::FromParts(false, 0x3FFF, 0x8000000000000000);
constexpr Extended80 kVersion2 = Extended80::FromParts(false, 0x4000, 0x8000000000000000);
// The extended values nearest to 2.1 and to 0.03.
constexpr Extended80 kVersion21 = Extended80::FromParts(false, 0x4000, 0x8666666666666666);
constexpr Extended80 kMinVersion = Extended80::FromParts(false, 0x3FF9, 0xF5C28F5C28F5C28F);

// Files older than 2.1 lack the 2.1 program's list entries.
constexpr const char* kProbeUpgrade[] = {"x100"};
constexpr const char* kTimeDivUpgrade[] = {"20s", "50s", "100s", "200s", "500s", "1000s"};
constexpr const char* kMathUpgrade[] = {"50V", "100V", "200V"};

// Display items of the nine-entry arrays of files below version 2 (no FFT item).
constexpr int kNineItemMap[9] = {0, 1, 2, 4, 5, 6, 7, 8, 9};

// The title of the program's general error report.
constexpr char kProgramTitle[] = "Lumatrace";

// A file larger than this is not a parameter file: a full 2.1 file has a few kB.
constexpr std::size_t kMaxParamFileSize = 4 * 1024 * 1024;

// Value ranges the program itself can produce. Anything outside them would
// index past a list or place a trace off the scale, so such a file is treated
// as damaged.
constexpr std::int32_t kMaxPosition = 500;
constexpr std::int32_t kMaxTrigPosition = 1000000 - 100;
constexpr std::int32_t kMaxTrigDelay = 3999999;
constexpr std::int32_t kMaxCouplingIndex = 2;
constexpr std::int32_t kMaxAcquireCountIndex = 10;
constexpr std::int32_t kMaxFftVScaleIndex[2] = {16, 14};

struct ColorName {
    const char* name;
    std::uint32_t value;
};
// The colour identifiers the form framework writes for Font.Color.
constexpr ColorName kColorNames[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", 0xFF000000},
    {"clBackground", 0xFF000001},
    {"clActiveCaption", 0xFF000002},
    {"clInactiveCaption", 0xFF000003},
    {"clMenu", 0xFF000004},
    {"clWindow", 0xFF000005},
    {"clWindowFrame", 0xFF000006},
    {"clMenuText", 0xFF000007},
    {"clWindowText", 0xFF000008},
    {"clCaptionText", 0xFF000009},
    {"clActiveBorder", 0xFF00000A},
    {"clInactiveBorder", 0xFF00000B},
    {"clAppWorkSpace", 0xFF00000C},
    {"clHighlight", 0xFF00000D},
    {"clHighlightText", 0xFF00000E},
    {"clBtnFace", 0xFF00000F},
    {"clBtnShadow", 0xFF000010},
    {"clGrayText", 0xFF000011},
    {"clBtnText", 0xFF000012},
    {"clInactiveCaptionText", 0xFF000013},
    {"clBtnHighlight", 0xFF000014},
    {"cl3DDkShadow", 0xFF000015},
    {"cl3DLight", 0xFF000016},
    {"clInfoText", 0xFF000017},
    {"clInfoBk", 0xFF000018},
    {"clHotLight", 0xFF00001A},
    {"clGradientActiveCaption", 0xFF00001B},
    {"clGradientInactiveCaption", 0xFF00001C},
    {"clMenuHighlight", 0xFF00001D},
    {"clMenuBar", 0xFF00001E},
};

std::string VersionText(const Extended80& v) {
    const double d = v.ToDouble();
    char buffer[64];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, d);
    return std::string(buffer, r.ptr);
}

std::string Quoted(std::string_view s) {
    return "\"" + std::string(s) + "\"";
}

// ---------------------------------------------------------------------------
// Little-endian fields.

struct HeaderReader {
    std::span<const std::uint8_t> data;

    std::uint8_t U8(std::size_t at) const { return data[at]; }
    std::int32_t I32(std::size_t at) const {
        const std::uint32_t v = static_cast<std::uint32_t>(data[at]) |
                                (static_cast<std::uint32_t>(data[at + 1]) << 8) |
                                (static_cast<std::uint32_t>(data[at + 2]) << 16) |
                                (static_cast<std::uint32_t>(data[at + 3]) << 24);
        return static_cast<std::int32_t>(v);
    }
    Extended80 Ext(std::size_t at) const {
        return Extended80::FromBytes(
            std::span<const std::uint8_t, Extended80::kSize>(data.data() + at, Extended80::kSize));
    }
};

void PutI32(std::vector<std::uint8_t>& out, std::size_t at, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < 4; ++i) {
        out[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

void PutExt(std::vector<std::uint8_t>& out, std::size_t at, const Extended80& value) {
    const auto bytes = value.ToBytes();
    std::copy(bytes.begin(), bytes.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}

// ---------------------------------------------------------------------------
// Records <-> controls.

std::optional<std::string> DecodeText(const TpfValue& v) {
    switch (v.type) {
        case TpfValueType::String:
        case TpfValueType::LString:
            return Cp932ToUtf8(v.bytes);
        case TpfValueType::Utf8String:
            if (!IsValidUtf8(v.bytes)) {
                return std::nullopt;
            }
            return v.bytes;
        case TpfValueType::WString:
            return Utf16ToUtf8(v.wide);
        default:
            return std::nullopt;
    }
}

// Older programs wrote the items in the Japanese code page; the few texts
// that code page lacks go out as UTF-16.
std::optional<TpfValue> EncodeText(const std::string& utf8) {
    if (auto cp932 = Utf8ToCp932(utf8)) {
        return TpfValue::AnsiString(std::move(*cp932));
    }
    if (auto utf16 = Utf8ToUtf16(utf8)) {
        return TpfValue::WideString(std::move(*utf16));
    }
    return std::nullopt;
}

bool ReadBoolean(const TpfProperty& p, bool& out, std::string& error) {
    if (p.value.type == TpfValueType::True || p.value.type == TpfValueType::False) {
        out = p.value.type == TpfValueType::True;
        return true;
    }
    error = p.name + " is not true or false";
    return false;
}

bool ReadInt32(const TpfProperty& p, std::int32_t& out, std::string& error) {
    if (p.value.IsInteger() && p.value.integer >= INT32_MIN && p.value.integer <= INT32_MAX) {
        out = static_cast<std::int32_t>(p.value.integer);
        return true;
    }
    error = p.name + " is not a 32-bit integer";
    return false;
}

bool ReadColor(const TpfProperty& p, std::uint32_t& out, std::string& error) {
    if (p.value.type == TpfValueType::Ident) {
        for (const ColorName& c : kColorNames) {
            if (::strcasecmp(c.name, p.value.bytes.c_str()) == 0) {
                out = c.value;
                return true;
            }
        }
        error = p.name + " names an unknown colour " + Quoted(p.value.bytes);
        return false;
    }
    std::int32_t value = 0;
    if (!ReadInt32(p, value, error)) {
        error = p.name + " is neither a colour value nor a colour name";
        return false;
    }
    out = static_cast<std::uint32_t>(value);
    return true;
}

// Takes the properties that restore the control and skips the rest (geometry,
// captions, tab order, event handlers, fonts ...).
bool RecordFromComponent(const TpfComponent& c, ParamControlKind kind, ParamControlRecord& record,
                         std::string& error) {
    record = {};
    switch (kind) {
        case Kind::GroupBox:
            return true;
        case Kind::ComboBox:
            if (const TpfProperty* p = c.Find("Items.Strings")) {
                if (p->value.type != TpfValueType::List) {
                    error = "Items.Strings is not a list";
                    return false;
                }
                std::vector<std::string> items;
                for (std::size_t i = 0; i < p->value.list.size(); ++i) {
                    auto text = DecodeText(p->value.list[i]);
                    if (!text) {
                        error =
                            "item " + std::to_string(i) + " of Items.Strings is not readable text";
                        return false;
                    }
                    items.push_back(std::move(*text));
                }
                record.items = std::move(items);
            }
            if (const TpfProperty* p = c.Find("ItemIndex")) {
                if (!ReadInt32(*p, record.itemIndex, error)) {
                    return false;
                }
            }
            return true;
        case Kind::RadioButton:
            if (const TpfProperty* p = c.Find("Checked")) {
                return ReadBoolean(*p, record.checked, error);
            }
            return true;
        case Kind::SpeedButton:
            if (const TpfProperty* p = c.Find("Down")) {
                if (!ReadBoolean(*p, record.down, error)) {
                    return false;
                }
            }
            if (const TpfProperty* p = c.Find("Font.Color")) {
                std::uint32_t color = 0;
                if (!ReadColor(*p, color, error)) {
                    return false;
                }
                record.fontColor = color;
            }
            return true;
    }
    return true;
}

TpfValue ColorValue(std::uint32_t color) {
    for (const ColorName& c : kColorNames) {
        if (c.value == color) {
            return TpfValue::Identifier(c.name);
        }
    }
    return TpfValue::Integer(static_cast<std::int32_t>(color));
}

// States are written even where they equal the framework's defaults, so that
// reading a record always sets them, whatever the control was before.
bool ComponentFromRecord(const ParamControlInfo& info, const ParamControlRecord& record,
                         TpfComponent& c, std::string& error) {
    c = {};
    c.className = info.className;
    c.name = info.name;
    switch (info.kind) {
        case Kind::GroupBox:
            break;
        case Kind::ComboBox:
            if (record.items) {
                std::vector<TpfValue> items;
                for (const std::string& item : *record.items) {
                    auto value = EncodeText(item);
                    if (!value) {
                        error = std::string(info.name) + ": an item is not valid UTF-8";
                        return false;
                    }
                    items.push_back(std::move(*value));
                }
                c.properties.push_back({"Items.Strings", TpfValue::ListOf(std::move(items))});
            }
            c.properties.push_back({"ItemIndex", TpfValue::Integer(record.itemIndex)});
            break;
        case Kind::RadioButton:
            c.properties.push_back({"Checked", TpfValue::Boolean(record.checked)});
            break;
        case Kind::SpeedButton:
            c.properties.push_back({"Down", TpfValue::Boolean(record.down)});
            if (record.fontColor) {
                c.properties.push_back({"Font.Color", ColorValue(*record.fontColor)});
            }
            break;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Decoding steps.

// Appends the entries a list lacks, in order. A list that already has one
// (a file saved by a program that had it) does not get it twice.
void AppendMissing(std::vector<std::string>& list, std::span<const char* const> entries) {
    for (const char* entry : entries) {
        if (std::find(list.begin(), list.end(), entry) == list.end()) {
            list.emplace_back(entry);
        }
    }
}

void UpgradeOlderLists(ParamSnapshot& s) {
    auto& pb1 = s.Control(ParamControl::ComboBoxPb1);
    if (pb1 && pb1->items && pb1->items->size() == 2) {
        AppendMissing(*pb1->items, kProbeUpgrade);
        auto& pb2 = s.Control(ParamControl::ComboBoxPb2);
        if (pb2 && pb2->items) {
            AppendMissing(*pb2->items, kProbeUpgrade);
        }
    }
    auto& td = s.Control(ParamControl::ComboBoxTd);
    if (td && td->items) {
        AppendMissing(*td->items, kTimeDivUpgrade);
    }
    auto& math = s.Control(ParamControl::ComboBoxMath);
    if (math && math->items) {
        AppendMissing(*math->items, kMathUpgrade);
    }
}

bool InRange(std::int32_t v, std::int32_t lo, std::int32_t hi) {
    return v >= lo && v <= hi;
}

std::string CheckRanges(const ParamSnapshot& s) {
    const auto outside = [](const std::string& what, std::int32_t v) {
        return what + " " + std::to_string(v) + " is out of range";
    };
    for (int i = 0; i < kParamDisplayItems; ++i) {
        const auto& p = s.itemPositions[static_cast<std::size_t>(i)];
        const std::int32_t max = i == 5 ? kMaxTrigPosition : kMaxPosition;
        if (p && !InRange(*p, 0, max)) {
            return outside("position of display item " + std::to_string(i), *p);
        }
    }
    for (int i = 0; i < 2; ++i) {
        const std::int32_t c = s.trigCouplingBySource[static_cast<std::size_t>(i)];
        if (!InRange(c, 0, kMaxCouplingIndex)) {
            return outside("trigCouplingBySource[" + std::to_string(i) + "]", c);
        }
        if (s.fftVScaleIndex) {
            const std::int32_t v = (*s.fftVScaleIndex)[static_cast<std::size_t>(i)];
            if (!InRange(v, 0, kMaxFftVScaleIndex[i])) {
                return outside("fftVScaleIndex[" + std::to_string(i) + "]", v);
            }
        }
        if (s.fftPositionByType) {
            const std::int32_t v = (*s.fftPositionByType)[static_cast<std::size_t>(i)];
            if (!InRange(v, 0, kMaxPosition)) {
                return outside("fftPositionByType[" + std::to_string(i) + "]", v);
            }
        }
    }
    if (!InRange(s.trigDelay, 0, kMaxTrigDelay)) {
        return outside("trigDelay", s.trigDelay);
    }
    if (!InRange(s.acquireCountIndex, 0, kMaxAcquireCountIndex)) {
        return outside("acquireCountIndex", s.acquireCountIndex);
    }
    if (!std::isfinite(s.trigLevelOffset.ToDouble())) {
        return "trigLevelOffset is not a finite number";
    }
    for (const ParamControlInfo& info : kControls) {
        const auto& r = s.controls[static_cast<std::size_t>(info.id)];
        if (!r || info.kind != Kind::ComboBox) {
            continue;
        }
        const std::int32_t count =
            r->items ? static_cast<std::int32_t>(r->items->size()) : INT32_MAX;
        if (!InRange(r->itemIndex, -1, count - 1)) {
            return outside(std::string(info.name) + ".ItemIndex", r->itemIndex);
        }
    }
    return {};
}

}  // namespace

Extended80 ParamFileVersion() {
    return kVersion21;
}

const std::array<ParamControlInfo, kParamControlCount>& ParamControls() {
    return kControls;
}

const ParamControlInfo& ParamControlInfoOf(ParamControl control) {
    return kControls[static_cast<std::size_t>(control)];
}

ParamDecodeResult DecodeParamFile(std::span<const std::uint8_t> data) {
    ParamDecodeResult result;
    const auto fail = [&](std::string error) {
        result = {};
        result.error = std::move(error);
        return result;
    };
    if (data.size() < Extended80::kSize) {
        return fail("file too short for a version (" + std::to_string(data.size()) + " bytes)");
    }
    const HeaderReader h{data};
    ParamSnapshot& s = result.snapshot;
    s.version = h.Ext(0);
    if (!s.version.IsFinite()) {
        return fail("version is not a number");
    }
    const auto atLeast = [&](const Extended80& v) {
        return std::is_gteq(CompareValues(s.version, v));
    };
    if (!atLeast(kMinVersion)) {
        return fail("version " + VersionText(s.version) + " is below 0.03");
    }
    const bool newLayout = std::is_gt(CompareValues(s.version, kVersion1));
    const bool version2 = atLeast(kVersion2);
    const bool version21 = atLeast(kVersion21);

    const std::size_t headerSize = newLayout ? kParamHeaderSize : kParamOldHeaderSize;
    if (data.size() < headerSize) {
        return fail("file too short for the header of version " + VersionText(s.version) + " (" +
                    std::to_string(data.size()) + " of " + std::to_string(headerSize) + " bytes)");
    }

    // Offsets of the fields that differ between the layouts.
    struct Layout {
        std::size_t colors, positions, state, rect, flags, offset, integers;
    };
    const Layout layout =
        newLayout ? Layout{16, 56, 96, 100, 116, 128, 140} : Layout{16, 52, 88, 92, 108, 120, 132};
    s.workAreaSize = h.I32(12);

    // Files below 2 have no FFT item; between 1 and 2 the arrays have room
    // for ten entries but only the first nine are meant.
    if (version2) {
        for (std::size_t i = 0; i < kParamDisplayItems; ++i) {
            s.displayColors[i] = static_cast<std::uint32_t>(h.I32(layout.colors + 4 * i));
            s.itemPositions[i] = h.I32(layout.positions + 4 * i);
        }
    } else {
        for (std::size_t j = 0; j < 9; ++j) {
            const auto item = static_cast<std::size_t>(kNineItemMap[j]);
            s.displayColors[item] = static_cast<std::uint32_t>(h.I32(layout.colors + 4 * j));
            s.itemPositions[item] = h.I32(layout.positions + 4 * j);
        }
    }

    const std::uint8_t state = h.U8(layout.state);
    if (state > 2) {
        return fail("window state " + std::to_string(state) + " is not 0, 1 or 2");
    }
    s.windowState = static_cast<ParamWindowState>(state);
    s.windowRect = {h.I32(layout.rect), h.I32(layout.rect + 4), h.I32(layout.rect + 8),
                    h.I32(layout.rect + 12)};

    bool* const flags[] = {&s.scaleChecked, &s.gridChecked,  &s.xyChecked,  &s.hintChecked,
                           &s.delayChecked, &s.pulseChecked, &s.equChecked, &s.rollChecked};
    for (std::size_t i = 0; i < 8; ++i) {
        *flags[i] = h.U8(layout.flags + i) != 0;
    }

    s.trigLevelOffset = h.Ext(layout.offset);
    s.trigCouplingBySource = {h.I32(layout.integers), h.I32(layout.integers + 4)};
    s.trigDelay = h.I32(layout.integers + 8);
    s.pulseWidth = h.I32(layout.integers + 12);
    s.acquireCountIndex = h.I32(layout.integers + 16);
    s.reservedValue = h.I32(layout.integers + 20);
    if (version2) {
        s.fftVScaleIndex = std::array<std::int32_t, 2>{h.I32(164), h.I32(168)};
        s.fftPositionByType = std::array<std::int32_t, 2>{h.I32(172), h.I32(176)};
    }

    std::size_t pos = headerSize;
    for (const ParamControlInfo& info : kControls) {
        const bool carried = info.since == Since::Always ||
                             (info.since == Since::Version2 && version2) ||
                             (info.since == Since::Version21 && version21);
        if (!carried) {
            continue;
        }
        const TpfReadResult record = ReadTpfRecord(data.subspan(pos));
        if (!record.ok) {
            return fail("record " + std::string(info.name) + " (from byte " + std::to_string(pos) +
                        "): " + record.error);
        }
        ParamControlRecord control;
        std::string error;
        if (!RecordFromComponent(record.component, info.kind, control, error)) {
            return fail("record " + std::string(info.name) + " (from byte " + std::to_string(pos) +
                        "): " + error);
        }
        s.controls[static_cast<std::size_t>(info.id)] = std::move(control);
        result.records.push_back({info.id, pos, record.component.className, record.component.name});
        pos += record.consumed;
    }

    if (std::is_lt(CompareValues(s.version, kVersion21))) {
        UpgradeOlderLists(s);
    }
    if (std::string error = CheckRanges(s); !error.empty()) {
        return fail(error);
    }
    result.ok = true;
    return result;
}

std::optional<std::vector<std::uint8_t>> EncodeParamFile(const ParamSnapshot& s,
                                                         std::string* error) {
    const auto fail = [&](std::string why) -> std::optional<std::vector<std::uint8_t>> {
        if (error != nullptr) {
            *error = std::move(why);
        }
        return std::nullopt;
    };
    std::vector<std::uint8_t> out(kParamHeaderSize, 0);
    PutExt(out, 0, kVersion21);
    PutI32(out, 12, s.workAreaSize);
    for (std::size_t i = 0; i < kParamDisplayItems; ++i) {
        if (!s.displayColors[i] || !s.itemPositions[i]) {
            return fail("display item " + std::to_string(i) + " has no colour or position");
        }
        PutI32(out, 16 + 4 * i, static_cast<std::int32_t>(*s.displayColors[i]));
        PutI32(out, 56 + 4 * i, *s.itemPositions[i]);
    }
    out[96] = static_cast<std::uint8_t>(s.windowState);
    PutI32(out, 100, s.windowRect.left);
    PutI32(out, 104, s.windowRect.top);
    PutI32(out, 108, s.windowRect.width);
    PutI32(out, 112, s.windowRect.height);
    const bool flags[] = {s.scaleChecked, s.gridChecked,  s.xyChecked,  s.hintChecked,
                          s.delayChecked, s.pulseChecked, s.equChecked, s.rollChecked};
    for (std::size_t i = 0; i < 8; ++i) {
        out[116 + i] = flags[i] ? 1 : 0;
    }
    PutExt(out, 128, s.trigLevelOffset);
    PutI32(out, 140, s.trigCouplingBySource[0]);
    PutI32(out, 144, s.trigCouplingBySource[1]);
    PutI32(out, 148, s.trigDelay);
    PutI32(out, 152, s.pulseWidth);
    PutI32(out, 156, s.acquireCountIndex);
    PutI32(out, 160, s.reservedValue);
    if (!s.fftVScaleIndex || !s.fftPositionByType) {
        return fail("FFT settings missing");
    }
    PutI32(out, 164, (*s.fftVScaleIndex)[0]);
    PutI32(out, 168, (*s.fftVScaleIndex)[1]);
    PutI32(out, 172, (*s.fftPositionByType)[0]);
    PutI32(out, 176, (*s.fftPositionByType)[1]);

    for (const ParamControlInfo& info : kControls) {
        const auto& record = s.controls[static_cast<std::size_t>(info.id)];
        if (!record) {
            return fail(std::string("no record for ") + info.name);
        }
        TpfComponent component;
        std::string why;
        if (!ComponentFromRecord(info, *record, component, why)) {
            return fail(why);
        }
        if (!AppendTpfRecord(out, component)) {
            return fail(std::string("record ") + info.name + " cannot be written");
        }
    }
    return out;
}

ParamLoadResult LoadParameterFile(FileStore& files, const std::filesystem::path& file) {
    ParamLoadResult result;
    if (file.has_parent_path()) {
        files.MakeDirectories(file.parent_path());
    }
    if (!files.Exists(file)) {
        return result;
    }
    std::vector<std::uint8_t> bytes;
    const FileStatus read = files.ReadAll(file, bytes, kMaxParamFileSize);
    if (read.code == FileStatus::Code::NotFound) {
        return result;  // gone since Exists: nothing to load
    }
    std::string problem;
    if (read.code == FileStatus::Code::TooLarge) {
        problem = "file larger than " + std::to_string(kMaxParamFileSize) + " bytes";
    } else if (!read.ok()) {
        // Not a damaged file but one we may not read: keep it, say why.
        result.status = ParamLoadStatus::Unreadable;
        result.message = "Cannot open file " + Quoted(file.string()) + ". " + read.error;
        result.detail = read.error;
        return result;
    } else {
        ParamDecodeResult decoded = DecodeParamFile(bytes);
        if (decoded.ok) {
            result.status = ParamLoadStatus::Loaded;
            result.snapshot = std::move(decoded.snapshot);
            return result;
        }
        problem = std::move(decoded.error);
    }
    files.Remove(file);
    result.status = ParamLoadStatus::Corrupt;
    result.message = UiText("Files", kParamReadErrorMessage);
    result.detail = std::move(problem);
    return result;
}

bool StoreParameterFile(FileStore& files, MessageBoxService& messages,
                        const std::filesystem::path& file, const ParamSnapshot& snapshot) {
    if (file.has_parent_path()) {
        files.MakeDirectories(file.parent_path());
    }
    const auto bytes = EncodeParamFile(snapshot);
    if (!bytes) {
        messages.Show(MessageIcon::Error, kParamWriteErrorTitle,
                      UiText("Files", kParamWriteErrorMessage));
        return false;
    }
    const FileStatus written = files.WriteAtomically(file, *bytes);
    if (written.ok()) {
        return true;
    }
    if (written.code == FileStatus::Code::CreateFailed) {
        // Nothing was written: the general error report, as for any file that
        // cannot be created.
        messages.Show(MessageIcon::Error, kProgramTitle,
                      "Cannot create file " + Quoted(file.string()) + ". " + written.error);
    } else {
        messages.Show(MessageIcon::Error, kParamWriteErrorTitle,
                      UiText("Files", kParamWriteErrorMessage));
    }
    return false;
}

std::filesystem::path ParameterFilePath(const std::filesystem::path& settingsFolder) {
    return settingsFolder / kParamFileName;
}

}  // namespace lumatrace
