// TFormDrv: the device session's window. Hidden in normal use; it shows the
// account of the device calls that the session writes, for service work.
#pragma once

#include <QDialog>
#include <functional>

#include "app/core/DeviceSession.h"

class QPlainTextEdit;
class QPushButton;

namespace lumatrace {

class TFormDrv : public QDialog, public DeviceLog {
    Q_OBJECT

  public:
    explicit TFormDrv(QWidget* parent = nullptr);

    QPlainTextEdit* MemoDLog;
    QPushButton* ButtonClr;

    void Write(std::string_view line) override;
    // Shift+F12 in this window brings the main window forward.
    void SetMainWindowRaiser(std::function<void()> raise) { raiseMain_ = std::move(raise); }
    // Shows the window at its fixed place near the work area's corner.
    void ShowLog();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::function<void()> raiseMain_;
};

}  // namespace lumatrace
