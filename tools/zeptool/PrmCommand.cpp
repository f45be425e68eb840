#include "tools/zeptool/PrmCommand.h"

#include "tools/zeptool/JsonWriter.h"

namespace lumatrace {

namespace {

template <typename T, std::size_t N>
void OptionalArray(JsonWriter& json, const std::array<std::optional<T>, N>& values) {
    json.BeginArray(true);
    for (const auto& v : values) {
        if (v) {
            json.Number(static_cast<std::int64_t>(*v));
        } else {
            json.Null();
        }
    }
    json.EndArray();
}

void Pair(JsonWriter& json, const std::optional<std::array<std::int32_t, 2>>& values) {
    if (!values) {
        json.Null();
        return;
    }
    json.BeginArray(true);
    json.Number(static_cast<std::int64_t>((*values)[0]));
    json.Number(static_cast<std::int64_t>((*values)[1]));
    json.EndArray();
}

void Control(JsonWriter& json, const ParamControlInfo& info, const ParamControlRecord& record,
             const ParamRecordOrigin* origin) {
    json.BeginObject();
    json.Key("class");
    json.String(origin != nullptr ? origin->className : info.className);
    if (origin != nullptr && origin->name != info.name) {
        json.Key("name");
        json.String(origin->name);
    }
    switch (info.kind) {
        case ParamControlKind::GroupBox:
            break;
        case ParamControlKind::ComboBox:
            json.Key("Items.Strings");
            if (record.items) {
                json.BeginArray();
                for (const std::string& item : *record.items) {
                    json.String(item);
                }
                json.EndArray();
            } else {
                json.Null();
            }
            json.Key("ItemIndex");
            json.Number(static_cast<std::int64_t>(record.itemIndex));
            break;
        case ParamControlKind::RadioButton:
            json.Key("Checked");
            json.Bool(record.checked);
            break;
        case ParamControlKind::SpeedButton:
            json.Key("Down");
            json.Bool(record.down);
            json.Key("Font.Color");
            if (record.fontColor) {
                json.Number(static_cast<std::int64_t>(*record.fontColor));
            } else {
                json.Null();
            }
            break;
    }
    json.EndObject();
}

}  // namespace

void WriteParamFileJson(const ParamDecodeResult& decoded, std::ostream& out) {
    const ParamSnapshot& s = decoded.snapshot;
    JsonWriter json(out);
    json.BeginObject();
    json.Key("version");
    json.Number(s.version.ToDouble());
    json.Key("headerSize");
    json.Number(
        static_cast<std::int64_t>(decoded.records.empty() ? 0 : decoded.records.front().offset));
    json.Key("workAreaSize");
    json.Number(static_cast<std::int64_t>(s.workAreaSize));
    json.Key("displayColors");
    OptionalArray(json, s.displayColors);
    json.Key("itemPositions");
    OptionalArray(json, s.itemPositions);
    json.Key("window");
    json.BeginObject();
    json.Key("state");
    json.Number(static_cast<std::int64_t>(s.windowState));
    json.Key("left");
    json.Number(static_cast<std::int64_t>(s.windowRect.left));
    json.Key("top");
    json.Number(static_cast<std::int64_t>(s.windowRect.top));
    json.Key("width");
    json.Number(static_cast<std::int64_t>(s.windowRect.width));
    json.Key("height");
    json.Number(static_cast<std::int64_t>(s.windowRect.height));
    json.EndObject();
    const std::pair<const char*, bool> flags[] = {
        {"A_Scale", s.scaleChecked},
        {"A_Grid", s.gridChecked},
        {"A_XY", s.xyChecked},
        {"M_Hint", s.hintChecked},
        {"CheckBoxDelay", s.delayChecked},
        {"CheckBoxPulse", s.pulseChecked},
        {"CheckBoxEqu", s.equChecked},
        {"CheckBoxRoll", s.rollChecked},
    };
    for (const auto& [name, value] : flags) {
        json.Key(name);
        json.Bool(value);
    }
    json.Key("trigLevelOffset");
    json.Number(s.trigLevelOffset.ToDouble());
    json.Key("trigCouplingBySource");
    Pair(json, s.trigCouplingBySource);
    json.Key("trigDelay");
    json.Number(static_cast<std::int64_t>(s.trigDelay));
    json.Key("pulseWidth");
    json.Number(static_cast<std::int64_t>(s.pulseWidth));
    json.Key("acquireCountIndex");
    json.Number(static_cast<std::int64_t>(s.acquireCountIndex));
    json.Key("reserved");
    json.Number(static_cast<std::int64_t>(s.reservedValue));
    json.Key("fftVScaleIndex");
    Pair(json, s.fftVScaleIndex);
    json.Key("fftPositionByType");
    Pair(json, s.fftPositionByType);

    json.Key("controls");
    json.BeginObject();
    for (const ParamControlInfo& info : ParamControls()) {
        json.Key(info.name);
        const auto& record = s.Control(info.id);
        if (!record) {
            json.Null();  // not carried by files of this version
            continue;
        }
        const ParamRecordOrigin* origin = nullptr;
        for (const ParamRecordOrigin& o : decoded.records) {
            if (o.control == info.id) {
                origin = &o;
            }
        }
        Control(json, info, *record, origin);
    }
    json.EndObject();
    json.EndObject();
}

}  // namespace lumatrace
