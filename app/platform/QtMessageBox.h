#pragma once

#include <QList>
#include <QPointer>
#include <iosfwd>

#include "app/platform/MessageBox.h"

class QMessageBox;
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

// The button a box answers with when nobody presses one: its default button.
MessageButton DefaultAnswer(MessageButtons buttons);

// Message boxes of an unattended run (a timed close, a picture of the window):
// nobody is there to press a button, so no box may wait for one. Each message
// is written to `log` as "lumatrace: <title>: <text>" and shown in a box that
// does not block and does not keep the program open; Show returns the box's
// default button at once. Boxes still open when the service ends are closed.
class UnattendedMessageBoxService final : public MessageBoxService {
  public:
    explicit UnattendedMessageBoxService(std::ostream& log);
    ~UnattendedMessageBoxService() override;
    UnattendedMessageBoxService(const UnattendedMessageBoxService&) = delete;
    UnattendedMessageBoxService& operator=(const UnattendedMessageBoxService&) = delete;

    MessageButton Show(MessageIcon icon, std::string_view title, std::string_view text,
                       MessageButtons buttons) override;

    // The boxes shown and not yet closed.
    QList<QMessageBox*> OpenBoxes() const;

  private:
    std::ostream& log_;
    QList<QPointer<QMessageBox>> boxes_;
};

}  // namespace lumatrace
