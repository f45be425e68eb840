#include "app/settings/ParamControlBinding.h"

#include <QComboBox>
#include <QFrame>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QWidget>

#include "app/settings/PanelWidgets.h"

namespace lumatrace {

namespace {

QWidget* FindControl(QWidget& form, const ParamControlInfo& info) {
    const QString name = QString::fromUtf8(info.name);
    switch (info.kind) {
        case ParamControlKind::GroupBox:
            return form.findChild<QFrame*>(name);
        case ParamControlKind::ComboBox:
            return form.findChild<QComboBox*>(name);
        case ParamControlKind::SpeedButton:
            return form.findChild<SpeedButton*>(name);
        case ParamControlKind::RadioButton:
            return form.findChild<QRadioButton*>(name);
    }
    return nullptr;
}

}  // namespace

ParamControlBinding::ParamControlBinding(QWidget& form) {
    for (const ParamControlInfo& info : ParamControls()) {
        QWidget* widget = FindControl(form, info);
        widgets_[static_cast<std::size_t>(info.id)] = widget;
        if (widget == nullptr) {
            missing_.emplace_back(info.name);
        }
    }
}

std::string ParamControlBinding::Check(ParamControl control,
                                       const ParamControlRecord& record) const {
    const ParamControlInfo& info = ParamControlInfoOf(control);
    QWidget* widget = WidgetOf(control);
    if (widget == nullptr) {
        return std::string(info.name) + " is not on the panel";
    }
    if (info.kind != ParamControlKind::ComboBox || record.items) {
        return {};
    }
    const int count = static_cast<QComboBox*>(widget)->count();
    if (record.itemIndex < -1 || record.itemIndex >= count) {
        return std::string(info.name) + ".ItemIndex " + std::to_string(record.itemIndex) +
               " is outside the control's " + std::to_string(count) + " items";
    }
    return {};
}

void ParamControlBinding::Apply(ParamControl control, const ParamControlRecord& record) {
    QWidget* widget = WidgetOf(control);
    if (widget == nullptr) {
        return;
    }
    // The record restores the control alone; the panel's change handlers
    // derive everything else once all records are in (start-up replays them).
    const QSignalBlocker quiet(widget);
    switch (ParamControlInfoOf(control).kind) {
        case ParamControlKind::GroupBox:
            break;
        case ParamControlKind::ComboBox: {
            auto* list = static_cast<QComboBox*>(widget);
            if (record.items) {
                list->clear();
                for (const std::string& item : *record.items) {
                    list->addItem(QString::fromStdString(item));
                }
            }
            list->setCurrentIndex(record.itemIndex);
            break;
        }
        case ParamControlKind::SpeedButton: {
            auto* button = static_cast<SpeedButton*>(widget);
            button->setDown(record.down);
            if (record.fontColor) {
                button->setCaptionColor(*record.fontColor);
            }
            break;
        }
        case ParamControlKind::RadioButton:
            // Unchecking the checked button of a group is refused; the
            // partner's record checks it away instead.
            static_cast<QRadioButton*>(widget)->setChecked(record.checked);
            break;
    }
}

ParamControlRecord ParamControlBinding::Capture(ParamControl control) const {
    ParamControlRecord record;
    QWidget* widget = WidgetOf(control);
    if (widget == nullptr) {
        return record;
    }
    switch (ParamControlInfoOf(control).kind) {
        case ParamControlKind::GroupBox:
            break;
        case ParamControlKind::ComboBox: {
            const auto* list = static_cast<const QComboBox*>(widget);
            std::vector<std::string> items;
            items.reserve(static_cast<std::size_t>(list->count()));
            for (int i = 0; i < list->count(); ++i) {
                items.push_back(list->itemText(i).toStdString());
            }
            record.items = std::move(items);
            record.itemIndex = list->currentIndex();
            break;
        }
        case ParamControlKind::SpeedButton: {
            const auto* button = static_cast<const SpeedButton*>(widget);
            record.down = button->isDown();
            record.fontColor = button->captionColor();
            break;
        }
        case ParamControlKind::RadioButton:
            record.checked = static_cast<const QRadioButton*>(widget)->isChecked();
            break;
    }
    return record;
}

}  // namespace lumatrace
