// The panel controls the parameter file saves, reached by name: what a record
// restores is applied to the widget, and a widget's state is taken back into
// a record. The form keeps no knowledge of records; this is the one place
// that knows which widget property a record field stands for.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/settings/ParamFile.h"

class QWidget;

namespace lumatrace {

class ParamControlBinding {
  public:
    // Looks up every saved control among the children of `form` by its object
    // name and expected widget type. Missing ones are listed by Missing().
    explicit ParamControlBinding(QWidget& form);

    // Names of saved controls the form lacks (or has with another kind of
    // widget); empty for a complete panel.
    const std::vector<std::string>& Missing() const { return missing_; }

    // Why the record cannot be applied to the control as it is now, or empty.
    // A record without items selects from the list the control already has,
    // so its index must fit that list.
    std::string Check(ParamControl control, const ParamControlRecord& record) const;

    // Restores the control from the record: list items replace the control's
    // own, then the index; checked, down and caption colour as the kind has
    // them. A group box record carries nothing the panel uses.
    void Apply(ParamControl control, const ParamControlRecord& record);

    // The record that restores the control to its present state.
    ParamControlRecord Capture(ParamControl control) const;

  private:
    QWidget* WidgetOf(ParamControl control) const {
        return widgets_[static_cast<std::size_t>(control)];
    }

    std::array<QWidget*, kParamControlCount> widgets_{};
    std::vector<std::string> missing_;
};

}  // namespace lumatrace
