// TFormDrv: the device session's window. Hidden in normal use; it shows the
// account of the device calls that the session writes, for service work.
#pragma once

#include <QDialog>
#include <QStringList>
#include <functional>

#include "app/core/DeviceSession.h"

class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace lumatrace {

class TFormDrv : public QDialog, public DeviceLog {
    Q_OBJECT

  public:
    explicit TFormDrv(QWidget* parent = nullptr);

    QPlainTextEdit* MemoDLog;
    QPushButton* ButtonClr;

    // A line after a quiet spell goes into the memo at once; lines that follow
    // it closely are gathered and go in together a moment later, or, while
    // the window is hidden, when it is shown. Every line laid out on its own
    // costs the memo a pass over its widths, which at several lines per
    // record would cost more than the record.
    void Write(std::string_view line) override;
    // Puts the gathered lines into the memo now.
    void FlushLog();
    // Shift+F12 in this window brings the main window forward.
    void SetMainWindowRaiser(std::function<void()> raise) { raiseMain_ = std::move(raise); }
    // Shows the window at its fixed place near the work area's corner.
    void ShowLog();

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    std::function<void()> raiseMain_;
    QStringList pending_;
    bool shown_ = false;       // between a show and a hide event: someone can read the memo
    QTimer* flush_ = nullptr;  // running while lines that follow a flush closely are gathered
};

}  // namespace lumatrace
