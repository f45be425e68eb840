// TFormSetup, the display colour dialog.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include <QDialog>
#include <QFrame>

#include "app/settings/DisplayColorDraft.h"

class QLabel;
class QPushButton;

namespace lumatrace {

class ColorDialogService;
class TFormSub;

// A colour swatch: a raised panel that can take the focus. Pressing it with
// the left button (or Space) lowers it; releasing raises it again and asks
// for the colour picker.
class ColorSwatch : public QFrame {
    Q_OBJECT

  public:
    ColorSwatch(int tag, QWidget* parent);

    int Tag() const { return tag_; }
    void SetColor(std::uint32_t color);
    // The thin frame shown around the swatch while it has the focus.
    void SetFocusFrame(QFrame* frame) { focusFrame_ = frame; }
    bool Lowered() const { return frameShadow() == QFrame::Sunken; }

  signals:
    void Released(int tag);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Press();
    void Release();

    int tag_;
    bool pressed_ = false;
    QFrame* focusFrame_ = nullptr;
};

// The modal dialog "表示色の変更": changes the ten display colours on a
// private copy; only OK and Apply write them to the target.
class TFormSetup : public QDialog {
    Q_OBJECT

  public:
    TFormSetup(DisplayColorTarget& target, ColorDialogService& picker, QWidget* parent = nullptr);

    // Swatches in display-item order, and their captions.
    ColorSwatch* PanelCh1;
    ColorSwatch* PanelCh2;
    ColorSwatch* PanelMath;
    ColorSwatch* PanelFft;
    ColorSwatch* PanelBack;
    ColorSwatch* PanelScale;
    ColorSwatch* PanelLevel;
    ColorSwatch* PanelPos;
    ColorSwatch* PanelDt;
    ColorSwatch* PanelDv;
    std::array<ColorSwatch*, kDisplayItemCount> Swatches() const;
    std::array<QLabel*, kDisplayItemCount> Labels;
    std::array<QFrame*, kDisplayItemCount> FocusFrames;

    QPushButton* ButtonOk;
    QPushButton* ButtonCancel;
    QPushButton* ButtonApply;
    QPushButton* ButtonReset;

    // The working copy (valid while the dialog is shown).
    const DisplayColorDraft& Draft() const { return draft_; }

    // Centres on the owner window and runs modally; the dialog's result.
    int ShowModal();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SwatchReleased(int tag);
    void ButtonOkClick();
    void ButtonApplyClick();
    void ButtonResetClick();
    void PaintSwatches();
    QWidget* AltTarget(int key) const;

    DisplayColorTarget& target_;
    ColorDialogService& picker_;
    DisplayColorDraft draft_;
};

// The main window's display colours as the dialog's target; `applied` runs
// after each OK or Apply (the window rebuilds its grid and redraws).
class FormSubColorTarget final : public DisplayColorTarget {
  public:
    explicit FormSubColorTarget(TFormSub& form, std::function<void()> applied = {})
        : form_(form), applied_(std::move(applied)) {}

    std::uint32_t GetDisplayColor(int displayItem) const override;
    void SetDisplayColor(int displayItem, std::uint32_t color) override;
    void DisplayColorsApplied() override;

  private:
    TFormSub& form_;
    std::function<void()> applied_;
};

}  // namespace lumatrace
