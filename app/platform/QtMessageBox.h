#pragma once

#include "app/platform/MessageBox.h"

class QWidget;

namespace lumatrace {

// QMessageBox with the given icon, title and text.
class QtMessageBoxService final : public MessageBoxService {
  public:
    // `parent` may be null (the box is then application-modal).
    explicit QtMessageBoxService(QWidget* parent = nullptr) : parent_(parent) {}

    MessageButton Show(MessageIcon icon, std::string_view title, std::string_view text,
                       MessageButtons buttons) override;

  private:
    QWidget* parent_;
};

}  // namespace lumatrace
