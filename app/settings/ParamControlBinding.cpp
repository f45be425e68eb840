#include "app/settings/ParamControlBinding.h"

namespace lumatrace {

std::optional<PanelControlRef> PanelControlOf(ParamControl control) {
    if (ParamControlInfoOf(control).kind == ParamControlKind::GroupBox) {
        return std::nullopt;
    }
    return FindPanelControl(ParamControlInfoOf(control).name);
}

std::string CheckParamRecord(ParamControl control, const ParamControlRecord& record,
                             const PanelState& state) {
    const ParamControlInfo& info = ParamControlInfoOf(control);
    if (info.kind != ParamControlKind::ComboBox) {
        return {};
    }
    const std::optional<PanelControlRef> ref = PanelControlOf(control);
    if (!ref || ref->kind != PanelControlKind::List) {
        return std::string(info.name) + " is not a list of the panel";
    }
    const std::size_t count = record.items
                                  ? record.items->size()
                                  : state.List(static_cast<PanelList>(ref->id)).items.size();
    if (record.itemIndex < 0 || static_cast<std::size_t>(record.itemIndex) >= count) {
        return std::string(info.name) + ".ItemIndex " + std::to_string(record.itemIndex) +
               " is outside the list's " + std::to_string(count) + " items";
    }
    return {};
}

void ApplyParamRecord(ParamControl control, const ParamControlRecord& record, PanelState& state) {
    const std::optional<PanelControlRef> ref = PanelControlOf(control);
    if (!ref) {
        return;
    }
    switch (ref->kind) {
        case PanelControlKind::List: {
            ListState& list = state.List(static_cast<PanelList>(ref->id));
            if (record.items) {
                list.items = *record.items;
            }
            list.index = record.itemIndex;
            break;
        }
        case PanelControlKind::Latch: {
            const auto latch = static_cast<PanelLatch>(ref->id);
            state.Down(latch) = record.down;
            if (record.fontColor) {
                state.CaptionColor(latch) = *record.fontColor;
            }
            break;
        }
        case PanelControlKind::Radio:
            // Unchecking a group's checked member is refused, as the radio
            // button itself refuses it; the partner's record checks it away.
            if (record.checked) {
                state.Radio(static_cast<PanelRadio>(ref->id)) = ref->member;
            }
            break;
        case PanelControlKind::Check:
            state.Checked(static_cast<PanelCheck>(ref->id)) = record.checked;
            break;
        case PanelControlKind::Flag:
            state.Flag(static_cast<PanelFlag>(ref->id)) = record.checked;
            break;
    }
}

ParamControlRecord CaptureParamRecord(ParamControl control, const PanelState& state) {
    ParamControlRecord record;
    const std::optional<PanelControlRef> ref = PanelControlOf(control);
    if (!ref) {
        return record;
    }
    switch (ref->kind) {
        case PanelControlKind::List: {
            const ListState& list = state.List(static_cast<PanelList>(ref->id));
            record.items = list.items;
            record.itemIndex = list.index;
            break;
        }
        case PanelControlKind::Latch: {
            const auto latch = static_cast<PanelLatch>(ref->id);
            record.down = state.Down(latch);
            record.fontColor = state.CaptionColor(latch);
            break;
        }
        case PanelControlKind::Radio:
            record.checked = state.Radio(static_cast<PanelRadio>(ref->id)) == ref->member;
            break;
        case PanelControlKind::Check:
            record.checked = state.Checked(static_cast<PanelCheck>(ref->id));
            break;
        case PanelControlKind::Flag:
            record.checked = state.Flag(static_cast<PanelFlag>(ref->id));
            break;
    }
    return record;
}

}  // namespace lumatrace
