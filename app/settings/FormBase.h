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

// The font of the values in the set-information column. The column is a
// fixed 90 pixels wide and its cursor readouts run to 15 characters
// ("(125.000000KHz)") in 64 pixels, so the face is one whose half-width
// characters all advance half an em: at 8 pixels any readout of n characters
// takes 4n pixels.
QFont ReadoutFont();

}  // namespace lumatrace
