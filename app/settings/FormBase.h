// TFormBase: the root form of the application's windows.
#pragma once

#include <QMainWindow>

namespace lumatrace {

// A main window in the panel font ("Tahoma", 8 pt, falling back to the
// system sans-serif face) with hints shown.
class TFormBase : public QMainWindow {
    Q_OBJECT

  public:
    explicit TFormBase(QWidget* parent = nullptr);

    // The form's own hint display: while it is off no control of the form
    // shows a hint.
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool show) { showHint_ = show; }

  private:
    bool showHint_ = true;
};

// The panel font.
QFont PanelFont();

}  // namespace lumatrace
