// Parameter files for tests, built byte by byte without the codec under test,
// and the snapshot of a freshly set-up program.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings/ParamFile.h"

namespace lumatrace::testdata {

using Bytes = std::vector<std::uint8_t>;

inline void Append(Bytes& out, std::string_view raw) {
    out.insert(out.end(), raw.begin(), raw.end());
}
inline void Append(Bytes& out, const Bytes& raw) {
    out.insert(out.end(), raw.begin(), raw.end());
}
inline void U8(Bytes& out, std::uint8_t v) {
    out.push_back(v);
}
inline void Le(Bytes& out, std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) {
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
}
inline void Short(Bytes& out, std::string_view s) {
    U8(out, static_cast<std::uint8_t>(s.size()));
    Append(out, s);
}

// One property: name, then the already encoded value (tag first).
inline Bytes Prop(std::string_view name, const Bytes& value) {
    Bytes out;
    Short(out, name);
    Append(out, value);
    return out;
}

// Values, tag first.
inline Bytes VInt8(std::int8_t v) {
    return {2, static_cast<std::uint8_t>(v)};
}
inline Bytes VInt16(std::int16_t v) {
    Bytes out{3};
    Le(out, static_cast<std::uint16_t>(v), 2);
    return out;
}
inline Bytes VInt32(std::int32_t v) {
    Bytes out{4};
    Le(out, static_cast<std::uint32_t>(v), 4);
    return out;
}
inline Bytes VString(std::string_view ansi) {  // short string, bytes as given (CP932)
    Bytes out{6};
    Short(out, ansi);
    return out;
}
inline Bytes VLString(std::string_view ansi) {
    Bytes out{12};
    Le(out, ansi.size(), 4);
    Append(out, ansi);
    return out;
}
inline Bytes VUtf8(std::string_view utf8) {
    Bytes out{20};
    Le(out, utf8.size(), 4);
    Append(out, utf8);
    return out;
}
inline Bytes VWString(std::u16string_view text) {
    Bytes out{18};
    Le(out, text.size(), 4);
    for (char16_t c : text) {
        Le(out, c, 2);
    }
    return out;
}
inline Bytes VIdent(std::string_view name) {
    Bytes out{7};
    Short(out, name);
    return out;
}
inline Bytes VBool(bool v) {
    return {static_cast<std::uint8_t>(v ? 9 : 8)};
}
inline Bytes VList(std::initializer_list<Bytes> items) {
    Bytes out{1};
    for (const Bytes& item : items) {
        Append(out, item);
    }
    U8(out, 0);
    return out;
}
inline Bytes VStrings(const std::vector<std::string>& ansiItems) {
    Bytes out{1};
    for (const std::string& item : ansiItems) {
        Append(out, VString(item));
    }
    U8(out, 0);
    return out;
}

// Properties the earlier programs wrote around the ones that matter, in all
// the value types a reader has to step over.
inline Bytes Clutter() {
    Bytes out;
    Append(out, Prop("Left", VInt16(1000)));
    Append(out, Prop("Top", VInt8(8)));
    Append(out, Prop("Width", VInt32(70000)));
    Append(out, Prop("Caption", VString("\x83\x65\x83\x58\x83\x67")));  // テスト
    Append(out, Prop("Hint", VWString(u"ヒント")));
    Append(out, Prop("Font.Charset", VIdent("SHIFTJIS_CHARSET")));
    Append(out, Prop("Font.Style", Bytes{11, 6, 'f', 's', 'B', 'o', 'l', 'd', 0}));
    Append(out, Prop("Glyph.Data", Bytes{10, 3, 0, 0, 0, 0xAA, 0xBB, 0xCC}));
    Append(out, Prop("OnClick", VIdent("SpeedButtonCh1Click")));
    Bytes extended{5, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
    Append(out, Prop("Scale", extended));
    Append(out, Prop("Ratio", Bytes{15, 0, 0, 0x80, 0x3F}));              // single 1.0
    Append(out, Prop("Stamp", Bytes{17, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));  // date
    Append(out, Prop("Price", Bytes{16, 0x10, 0x27, 0, 0, 0, 0, 0, 0}));  // currency 1
    Append(out, Prop("Big", Bytes{19, 1, 0, 0, 0, 0, 0, 0, 0x80}));       // int64
    Append(out, Prop("Real", Bytes{21, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));   // double
    Append(out, Prop("Nothing", Bytes{13}));                              // nil
    Append(out, Prop("Text", VUtf8("テキスト")));
    Append(out, Prop("Long", VLString("long string")));
    // A collection of two items, the first with an explicit order.
    Bytes collection{14, 2, 0, 1};
    Append(collection, Prop("Width", VInt16(300)));
    U8(collection, 0);
    U8(collection, 1);
    Append(collection, Prop("Text", VString("B")));
    U8(collection, 0);
    U8(collection, 0);
    Append(out, Prop("Columns", collection));
    return out;
}

// "TPF0", class and name, properties, end of properties, end of children.
inline Bytes Record(std::string_view className, std::string_view name,
                    std::initializer_list<Bytes> props, bool clutter = true) {
    Bytes out;
    Append(out, std::string_view("TPF0"));
    Short(out, className);
    Short(out, name);
    if (clutter) {
        Append(out, Clutter());
    }
    for (const Bytes& p : props) {
        Append(out, p);
    }
    U8(out, 0);
    U8(out, 0);
    return out;
}

inline Bytes Combo(std::string_view name, const std::vector<std::string>& ansiItems, int index) {
    return Record("TComboBox", name,
                  {Prop("Items.Strings", VStrings(ansiItems)),
                   Prop("ItemIndex", VInt8(static_cast<std::int8_t>(index)))});
}
inline Bytes Radio(std::string_view name, bool checked) {
    // The framework leaves out a false Checked.
    if (!checked) {
        return Record("TRadioButton", name, {});
    }
    return Record("TRadioButton", name, {Prop("Checked", VBool(true))});
}
inline Bytes Speed(std::string_view name, bool down, std::string_view colorIdent) {
    if (!down) {
        return Record("TSpeedButton", name, {Prop("Font.Color", VIdent(colorIdent))});
    }
    return Record("TSpeedButton", name,
                  {Prop("Down", VBool(true)), Prop("Font.Color", VIdent(colorIdent))});
}

// Lists as the earlier generations had them (CP932 bytes).
inline std::vector<std::string> OldTimeDivList() {
    return {"1ns",   "2ns",   "5ns",   "10ns", "20ns", "50ns", "100ns", "200ns",
            "500ns", "1us",   "2us",   "5us",  "10us", "20us", "50us",  "100us",
            "200us", "500us", "1ms",   "2ms",  "5ms",  "10ms", "20ms",  "50ms",
            "100ms", "200ms", "500ms", "1s",   "2s",   "5s",   "10s"};
}
inline std::vector<std::string> OldMathList() {
    return {"1mV",   "2mV",   "5mV", "10mV", "20mV", "50mV", "100mV",
            "200mV", "500mV", "1V",  "2V",   "5V",   "10V",  "20V"};
}
inline std::vector<std::string> MathList() {
    auto list = OldMathList();
    list.insert(list.end(), {"50V", "100V", "200V"});
    return list;
}

// The records every generation writes (SpeedButtonCh1 .. RdBtnDiv).
inline Bytes CommonRecords(const std::vector<std::string>& probeList) {
    Bytes out;
    const std::vector<std::string> vd = {"100mV", "200mV", "500mV", "1V", "2V", "5V", "10V", "20V"};
    Append(out, Speed("SpeedButtonCh1", true, "clRed"));
    Append(out, Speed("SpeedButtonCh2", false, "clBlue"));
    Append(out, Combo("ComboBoxVd1", vd, 2));
    Append(out, Combo("ComboBoxVd2", vd, 5));
    Append(out, Combo("ComboBoxPb1", probeList, 1));
    Append(out, Combo("ComboBoxPb2", probeList, 0));
    Append(out, Combo("ComboBoxCup1", {"DC", "AC", "GND"}, 0));
    Append(out, Combo("ComboBoxCup2", {"DC", "AC", "GND"}, 2));
    Append(out, Combo("ComboBoxTrigSrc", {"CH1", "CH2", "EXT"}, 1));
    Append(out, Combo("ComboBoxTrigCup", {"DC", "LFrej", "HFrej"}, 2));
    Append(out, Combo("ComboBoxTrigSp", {"\x81\xAA", "\x81\xAB"}, 1));  // ↑ ↓
    Append(out, Radio("RdBtnUnder", false));
    Append(out, Radio("RdBtnAbove", true));
    Append(out, Combo("ComboBoxTd", OldTimeDivList(), 16));
    Append(out, Combo("ComboBoxMemSize", {"10kPoint", "100kPoint"}, 1));
    Append(out, Speed("SpeedButtonDt", true, "clBlack"));
    Append(out, Speed("SpeedButtonDv", false, "clBlack"));
    Append(out, Radio("RdBtnFull1", true));
    Append(out, Radio("RdBtn20MHz1", false));
    Append(out, Radio("RdBtnFull2", false));
    Append(out, Radio("RdBtn20MHz2", true));
    Append(out, Combo("ComboBoxWaveForm", {"Sample", "Average", "Envelope"}, 1));
    Append(out, Combo("ComboBoxNumber", {"2", "4", "8", "16", "32", "64", "128", "256", "512"}, 3));
    Append(out, Speed("SpeedButtonMath", true, "clGreen"));
    Append(out, Combo("ComboBoxMath", OldMathList(), 9));
    Append(out, Radio("RdBtnMath11", false));
    Append(out, Radio("RdBtnMath12", true));
    Append(out, Radio("RdBtnMath21", true));
    Append(out, Radio("RdBtnMath22", false));
    Append(out, Radio("RdBtnAdd", false));
    Append(out, Radio("RdBtnSub", false));
    Append(out, Radio("RdBtnMul", true));
    Append(out, Radio("RdBtnDiv", false));
    return out;
}

inline std::vector<std::string> FftLinearList() {
    return MathList();
}
inline std::vector<std::string> FftHScaleList5() {
    return {"250KHz", "200KHz", "100KHz", "50KHz", "25KHz", "20KHz",
            "10KHz",  "5KHz",   "2.5KHz", "2KHz",  "1KHz"};
}

inline Bytes FftRecords() {
    Bytes out;
    Append(out, Speed("SpeedButtonFft", true, "clPurple"));
    Append(out, Combo("ComboBoxFftVScale", FftLinearList(), 4));
    Append(out, Combo("ComboBoxFftHScale", FftHScaleList5(), 3));
    Append(out, Radio("RdBtnFftSrc1", false));
    Append(out, Radio("RdBtnFftSrc2", true));
    Append(out, Radio("RdBtnFftVstV", true));
    Append(out, Radio("RdBtnFftVstdBV", false));
    Append(out, Radio("RdBtnFftWndRc", false));
    Append(out, Radio("RdBtnFftWndHm", false));
    Append(out, Radio("RdBtnFftWndHn", true));
    Append(out, Radio("RdBtnFftWndBh", false));
    return out;
}

// Extended encodings of the versions.
inline Bytes Version(double v) {
    // Exact for the powers of two and halves used here.
    if (v == 2.1) {
        return {0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0x86, 0x00, 0x40};
    }
    if (v == 2.0) {
        return {0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x40};
    }
    if (v == 1.0) {
        return {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
    }
    if (v == 1.5) {
        return {0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F};
    }
    if (v == 0.03) {  // nearest extended
        return {0x8F, 0xC2, 0xF5, 0x28, 0x5C, 0x8F, 0xC2, 0xF5, 0xF9, 0x3F};
    }
    if (v == 0.02) {
        return {0x0A, 0xD7, 0xA3, 0x70, 0x3D, 0x0A, 0xD7, 0xA3, 0xF9, 0x3F};
    }
    return {};
}

// Header of the 184-byte layout with distinct values in every field, so that
// a field read from the wrong offset shows.
inline Bytes NewHeader(double version) {
    Bytes h;
    Append(h, Version(version));
    Le(h, 0xEEEE, 2);       // padding
    Le(h, 1920 * 1040, 4);  // work area
    for (int i = 0; i < 10; ++i) {
        Le(h, 0x010101u * static_cast<unsigned>(i + 1), 4);  // colours
    }
    for (int i = 0; i < 10; ++i) {
        Le(h, static_cast<unsigned>(200 + i), 4);  // positions
    }
    U8(h, 2);  // maximised
    Le(h, 0xEEEEEE, 3);
    Le(h, 11, 4);   // left
    Le(h, 22, 4);   // top
    Le(h, 900, 4);  // width
    Le(h, 600, 4);  // height
    for (std::uint8_t f : {1, 0, 1, 0, 0, 1, 1, 0}) {
        U8(h, f);
    }
    Le(h, 0xEEEEEEEE, 4);
    // trigLevelOffset -12.5
    for (std::uint8_t b : {0, 0, 0, 0, 0, 0, 0, 0xC8, 0x02, 0xC0}) {
        U8(h, b);
    }
    Le(h, 0xEEEE, 2);
    Le(h, 1, 4);     // trigCouplingBySource[0]
    Le(h, 2, 4);     // [1]
    Le(h, 1234, 4);  // trigDelay
    Le(h, 56, 4);    // pulseWidth
    Le(h, 3, 4);     // acquireCountIndex
    Le(h, 77, 4);    // reserved
    Le(h, 9, 4);     // fftVScaleIndex[0]
    Le(h, 6, 4);     // [1]
    Le(h, 410, 4);   // fftPositionByType[0]
    Le(h, 90, 4);    // [1]
    Le(h, 0xEEEEEEEE, 4);
    return h;
}

// Header of the 160-byte layout (version <= 1), same values where they exist.
inline Bytes OldHeader(double version) {
    Bytes h;
    Append(h, Version(version));
    Le(h, 0xEEEE, 2);
    Le(h, 1920 * 1040, 4);
    for (int i = 0; i < 9; ++i) {
        Le(h, 0x010101u * static_cast<unsigned>(i + 1), 4);
    }
    for (int i = 0; i < 9; ++i) {
        Le(h, static_cast<unsigned>(200 + i), 4);
    }
    U8(h, 0);  // normal
    Le(h, 0xEEEEEE, 3);
    Le(h, 11, 4);
    Le(h, 22, 4);
    Le(h, 900, 4);
    Le(h, 600, 4);
    for (std::uint8_t f : {1, 0, 1, 0, 0, 1, 1, 0}) {
        U8(h, f);
    }
    Le(h, 0xEEEEEEEE, 4);
    for (std::uint8_t b : {0, 0, 0, 0, 0, 0, 0, 0xC8, 0x02, 0xC0}) {
        U8(h, b);
    }
    Le(h, 0xEEEE, 2);
    Le(h, 1, 4);
    Le(h, 2, 4);
    Le(h, 1234, 4);
    Le(h, 56, 4);
    Le(h, 3, 4);
    Le(h, 77, 4);
    Le(h, 0xEEEEEEEE, 4);
    return h;
}

// A file as the 2.0 program wrote it.
inline Bytes Version20File() {
    Bytes f = NewHeader(2.0);
    Append(f, CommonRecords({"x1", "x10"}));
    Append(f, FftRecords());
    return f;
}

// A file as the 1.0 program wrote it.
inline Bytes Version10File() {
    Bytes f = OldHeader(1.0);
    Append(f, CommonRecords({"x1", "x10"}));
    return f;
}

// The state of a freshly set-up program on a 1920 x 1040 work area.
inline ParamSnapshot DefaultSnapshot() {
    ParamSnapshot s;
    s.workAreaSize = 1920 * 1040;
    const std::uint32_t colors[10] = {0x0000FF, 0xFF0000, 0x008000, 0x800080, 0xFFFFFF,
                                      0xC0C0C0, 0x00FF00, 0x808000, 0xFF00FF, 0xFFFF00};
    const std::int32_t positions[10] = {250, 250, 250, 100, 250, 5000, 150, 350, 100, 300};
    for (std::size_t i = 0; i < 10; ++i) {
        s.displayColors[i] = colors[i];
        s.itemPositions[i] = positions[i];
    }
    s.windowState = ParamWindowState::Normal;
    s.windowRect = {517, 240, 886, 560};
    s.scaleChecked = true;
    s.gridChecked = true;
    s.xyChecked = false;
    s.hintChecked = true;
    s.delayChecked = false;
    s.pulseChecked = false;
    s.equChecked = true;
    s.rollChecked = true;
    s.trigLevelOffset = Extended80::FromDouble(500.0);
    s.trigCouplingBySource = {0, 0};
    s.trigDelay = 0;
    s.pulseWidth = 10;
    s.acquireCountIndex = 0;
    s.reservedValue = 0;
    s.fftVScaleIndex = std::array<std::int32_t, 2>{8, 7};
    s.fftPositionByType = std::array<std::int32_t, 2>{400, 100};

    const auto list = [](std::vector<std::string> items, int index) {
        ParamControlRecord r;
        r.items = std::move(items);
        r.itemIndex = index;
        return r;
    };
    const auto radio = [](bool checked) {
        ParamControlRecord r;
        r.checked = checked;
        return r;
    };
    const auto button = [](bool down, std::optional<std::uint32_t> color) {
        ParamControlRecord r;
        r.down = down;
        r.fontColor = color;
        return r;
    };
    std::vector<std::string> td = OldTimeDivList();
    using C = ParamControl;
    s.Control(C::GroupBoxVert) = ParamControlRecord{};
    s.Control(C::SpeedButtonCh1) = button(true, 0x0000FF);
    s.Control(C::SpeedButtonCh2) = button(true, 0xFF0000);
    const std::vector<std::string> vd = {"100mV", "200mV", "500mV", "1V", "2V", "5V", "10V", "20V"};
    s.Control(C::ComboBoxVd1) = list(vd, 2);
    s.Control(C::ComboBoxVd2) = list(vd, 2);
    s.Control(C::ComboBoxPb1) = list({"x1", "x10", "x100"}, 1);
    s.Control(C::ComboBoxPb2) = list({"x1", "x10", "x100"}, 1);
    s.Control(C::ComboBoxCup1) = list({"DC", "AC", "GND"}, 0);
    s.Control(C::ComboBoxCup2) = list({"DC", "AC", "GND"}, 0);
    s.Control(C::ComboBoxTrigSrc) = list({"CH1", "CH2", "EXT"}, 0);
    s.Control(C::ComboBoxTrigCup) = list({"DC", "LFrej", "HFrej"}, 0);
    s.Control(C::ComboBoxTrigSp) = list({"↑", "↓"}, 0);
    s.Control(C::RdBtnUnder) = radio(true);
    s.Control(C::RdBtnAbove) = radio(false);
    s.Control(C::ComboBoxTd) = list(td, 16);
    s.Control(C::ComboBoxMemSize) = list({"10kPoint", "100kPoint", "1MPoint"}, 0);
    s.Control(C::SpeedButtonDt) = button(true, std::nullopt);
    s.Control(C::SpeedButtonDv) = button(true, std::nullopt);
    s.Control(C::RdBtnFull1) = radio(true);
    s.Control(C::RdBtn20MHz1) = radio(false);
    s.Control(C::RdBtnFull2) = radio(true);
    s.Control(C::RdBtn20MHz2) = radio(false);
    s.Control(C::ComboBoxWaveForm) = list({"Sample", "Average", "Envelope"}, 0);
    s.Control(C::ComboBoxNumber) = list({"2", "4", "8", "16", "32", "64", "128", "256", "512"}, 0);
    s.Control(C::SpeedButtonMath) = button(false, 0x008000);
    s.Control(C::ComboBoxMath) = list(MathList(), 8);
    s.Control(C::RdBtnMath11) = radio(true);
    s.Control(C::RdBtnMath12) = radio(false);
    s.Control(C::RdBtnMath21) = radio(false);
    s.Control(C::RdBtnMath22) = radio(true);
    s.Control(C::RdBtnAdd) = radio(true);
    s.Control(C::RdBtnSub) = radio(false);
    s.Control(C::RdBtnMul) = radio(false);
    s.Control(C::RdBtnDiv) = radio(false);
    s.Control(C::SpeedButtonFft) = button(false, 0x800080);
    s.Control(C::ComboBoxFftVScale) = list(FftLinearList(), 8);
    s.Control(C::ComboBoxFftHScale) = list(FftHScaleList5(), 0);
    s.Control(C::RdBtnFftSrc1) = radio(true);
    s.Control(C::RdBtnFftSrc2) = radio(false);
    s.Control(C::RdBtnFftVstV) = radio(true);
    s.Control(C::RdBtnFftVstdBV) = radio(false);
    s.Control(C::RdBtnFftWndRc) = radio(true);
    s.Control(C::RdBtnFftWndHm) = radio(false);
    s.Control(C::RdBtnFftWndHn) = radio(false);
    s.Control(C::RdBtnFftWndBh) = radio(false);
    return s;
}

}  // namespace lumatrace::testdata
