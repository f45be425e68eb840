// Small widgets the control panel is built from: the up-down pair of arrow
// buttons, the latching speed button with its caption colour, the value
// edit with its key filter and "not yet applied" underline, and a label that
// shows its accelerator letter without claiming the key.
#pragma once

#include <cstdint>

#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>

namespace lumatrace {

enum class UpDownButton {
    Up,    // the up arrow, or the right arrow of a horizontal pair
    Down,  // the down arrow, or the left arrow
};

// Two arrow buttons with a position of their own that wraps around. Every
// press, and every auto-repeat while a button is held, is one click; the
// position itself carries no setting.
class UpDown : public QWidget {
    Q_OBJECT

  public:
    explicit UpDown(Qt::Orientation orientation, QWidget* parent = nullptr);

    Qt::Orientation orientation() const { return orientation_; }
    int minimum() const { return min_; }
    int maximum() const { return max_; }
    void setRange(int minimum, int maximum);
    int position() const { return position_; }
    void setPosition(int position);
    bool wrap() const { return wrap_; }
    void setWrap(bool wrap) { wrap_ = wrap; }

    // One click of a button, as if it had been pressed with the mouse.
    void step(UpDownButton button);

    QToolButton* button(UpDownButton button) const;

  signals:
    void clicked(lumatrace::UpDownButton button);
    // The mouse button went up over either arrow: the end of a step sequence.
    void mouseReleased();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    Qt::Orientation orientation_;
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
    bool wrap_ = true;
};

// A latching button that may be released. Its caption colour is kept as a
// Windows colour value (0x00BBGGRR) so it can be stored as such.
class SpeedButton : public QToolButton {
    Q_OBJECT

  public:
    explicit SpeedButton(const QString& caption, QWidget* parent = nullptr);

    std::uint32_t captionColor() const { return captionColor_; }
    void setCaptionColor(std::uint32_t windowsColor);
    // The "down" state of the latch.
    bool isDown() const { return isChecked(); }
    void setDown(bool down) { setChecked(down); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::uint32_t captionColor_ = 0;
};

// Whether a key press puts a character into an edit: printable text with
// neither Ctrl nor Meta held. With them a key is a command (copy, paste, ...),
// even where the platform hands it over with its letter as text.
bool IsTypedCharacter(const QKeyEvent* event);

// The delay and pulse edits: only the characters the value syntax uses get
// in, the text stays selected-as-is when the edit takes the focus, and a value
// typed but not yet applied is shown underlined.
class PanelEdit : public QLineEdit {
    Q_OBJECT

  public:
    PanelEdit(int maxLength, const QString& text, QWidget* parent = nullptr);

    bool isPending() const { return font().underline(); }
    void setPending(bool pending);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
};

// A caption whose accelerator letter is underlined but handled by the form
// itself (the same label serves the lists of both channels).
class AccelLabel : public QLabel {
    Q_OBJECT

  public:
    explicit AccelLabel(const QString& caption, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// Pages with tabs of one size: 70 x 20, wider only where the caption would
// not fit in the font at hand.
class PageControl : public QTabWidget {
    Q_OBJECT

  public:
    explicit PageControl(QWidget* parent = nullptr);
};

class FixedTabBar : public QTabBar {
    Q_OBJECT

  public:
    explicit FixedTabBar(QWidget* parent = nullptr) : QTabBar(parent) {}

  protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
};

}  // namespace lumatrace
