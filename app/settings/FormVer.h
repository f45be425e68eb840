// TFormVer, the version dialog.
#pragma once

#include <QDialog>

#include "app/settings/VersionInfo.h"

class QFrame;
class QLabel;
class QPushButton;

namespace lumatrace {

// Shows the program version and the versions of the driver, the device
// library, the firmware and the FPGA. The versions are read once, when the
// dialog is created, and shown unchanged until the program ends.
class TFormVer : public QDialog {
    Q_OBJECT

  public:
    // `source` may be null (no instrument): every version then reads 0.00.
    explicit TFormVer(VersionSource* source, QWidget* parent = nullptr);

    QLabel* AppName;
    QLabel* ProductName;
    QLabel* Version;
    QLabel* ProgramIcon;
    QFrame* PanelVer;
    QLabel* LabelDrvVer;
    QLabel* LabelDllVer;
    QLabel* LabelFrmVer;
    QLabel* LabelFpgaVer;
    QLabel* LabelNotice;
    QPushButton* OKButton;

    // Centre on the owner and show modally.
    int ShowModal();

  public slots:
    // Escape and the window's close button end the dialog with OK as well.
    void reject() override;
};

}  // namespace lumatrace
