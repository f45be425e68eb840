#include "app/settings/PanelWidgets.h"

#include <algorithm>

#include <QBoxLayout>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QStyleOptionToolButton>
#include <QStylePainter>

#include "app/platform/QtDialogs.h"
#include "app/settings/PanelKeys.h"

namespace lumatrace {

// ---------------------------------------------------------------------------
// UpDown

UpDown::UpDown(Qt::Orientation orientation, QWidget* parent)
    : QWidget(parent), orientation_(orientation) {
    const bool vertical = orientation == Qt::Vertical;
    QBoxLayout* layout = vertical ? static_cast<QBoxLayout*>(new QVBoxLayout(this))
                                  : static_cast<QBoxLayout*>(new QHBoxLayout(this));
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(vertical ? Qt::UpArrow : Qt::RightArrow);
    down_->setArrowType(vertical ? Qt::DownArrow : Qt::LeftArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setAutoRepeatDelay(400);
        b->setAutoRepeatInterval(80);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        b->installEventFilter(this);
    }
    // The left arrow of a horizontal pair comes first.
    if (vertical) {
        layout->addWidget(up_);
        layout->addWidget(down_);
        setFixedSize(17, 24);
    } else {
        layout->addWidget(down_);
        layout->addWidget(up_);
        setFixedSize(34, 18);
    }
    // pressed() comes with the press and again with every auto-repeat.
    connect(up_, &QToolButton::pressed, this, [this] { step(UpDownButton::Up); });
    connect(down_, &QToolButton::pressed, this, [this] { step(UpDownButton::Down); });
}

void UpDown::setRange(int minimum, int maximum) {
    min_ = minimum;
    max_ = maximum < minimum ? minimum : maximum;
    setPosition(position_);
}

void UpDown::setPosition(int position) {
    position_ = position < min_ ? min_ : (position > max_ ? max_ : position);
}

void UpDown::step(UpDownButton button) {
    if (button == UpDownButton::Up) {
        position_ = position_ < max_ ? position_ + 1 : (wrap_ ? min_ : max_);
    } else {
        position_ = position_ > min_ ? position_ - 1 : (wrap_ ? max_ : min_);
    }
    emit clicked(button);
}

QToolButton* UpDown::button(UpDownButton button) const {
    return button == UpDownButton::Up ? up_ : down_;
}

bool UpDown::eventFilter(QObject* watched, QEvent* event) {
    if ((watched == up_ || watched == down_) && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        // The release also stops the button's auto-repeat; neither order
        // of the two produces an extra click.
        emit mouseReleased();
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// SpeedButton

SpeedButton::SpeedButton(const QString& caption, QWidget* parent) : QToolButton(parent) {
    setText(caption);
    setCheckable(true);
    setFocusPolicy(Qt::NoFocus);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
}

void SpeedButton::setCaptionColor(std::uint32_t windowsColor) {
    captionColor_ = windowsColor;
    update();
}

void SpeedButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    option.palette.setColor(QPalette::ButtonText, WindowsColorToQColor(captionColor_));
    option.font.setBold(true);
    p.drawComplexControl(QStyle::CC_ToolButton, option);
}

// ---------------------------------------------------------------------------
// PanelEdit

PanelEdit::PanelEdit(int maxLength, const QString& text, QWidget* parent) : QLineEdit(parent) {
    setMaxLength(maxLength);
    setText(text);
    // Pasted text obeys the same character rule as typed text.
    setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9.mnsuMNSU]*")), this));
    connect(this, &QLineEdit::textEdited, this, [this] { setPending(true); });
}

void PanelEdit::setPending(bool pending) {
    QFont f = font();
    f.setUnderline(pending);
    setFont(f);
}

bool IsTypedCharacter(const QKeyEvent* event) {
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint() &&
           !event->modifiers().testAnyFlags(Qt::ControlModifier | Qt::MetaModifier);
}

void PanelEdit::keyPressEvent(QKeyEvent* event) {
    if (IsTypedCharacter(event) &&
        !EditAcceptsCharacter(static_cast<char32_t>(event->text().at(0).unicode()))) {
        event->accept();  // discarded
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void PanelEdit::focusInEvent(QFocusEvent* event) {
    const int cursor = cursorPosition();
    QLineEdit::focusInEvent(event);
    // Keyboard focus would select the whole text; keep the caret where it was.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason ||
        event->reason() == Qt::ShortcutFocusReason) {
        deselect();
        setCursorPosition(cursor);
    }
}

// ---------------------------------------------------------------------------
// AccelLabel

AccelLabel::AccelLabel(const QString& caption, QWidget* parent) : QLabel(caption, parent) {}

QSize AccelLabel::sizeHint() const {
    const QRect r = fontMetrics().boundingRect(QRect(), Qt::TextShowMnemonic, text());
    const QMargins m = contentsMargins();
    return QSize(r.width() + m.left() + m.right() + 2, r.height() + m.top() + m.bottom());
}

void AccelLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    style()->drawItemText(&p, contentsRect(), static_cast<int>(alignment()) | Qt::TextShowMnemonic,
                          palette(), isEnabled(), text(), foregroundRole());
}

// ---------------------------------------------------------------------------
// PageControl

QSize FixedTabBar::tabSizeHint(int) const {
    int widest = 0;
    for (int i = 0; i < count(); ++i) {
        widest = std::max(widest, fontMetrics().horizontalAdvance(tabText(i)));
    }
    const int space = style()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, this);
    return QSize(std::max(70, widest + space), 20);
}

PageControl::PageControl(QWidget* parent) : QTabWidget(parent) {
    setTabBar(new FixedTabBar(this));
    tabBar()->setUsesScrollButtons(false);
    tabBar()->setExpanding(false);
}

}  // namespace lumatrace
