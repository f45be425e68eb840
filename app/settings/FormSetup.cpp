#include "app/settings/FormSetup.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>

#include "app/platform/QtDialogs.h"
#include "app/settings/FormBase.h"
#include "app/settings/FormSub.h"

namespace lumatrace {
namespace {

struct SetupRow {
    const char* label;
    const char* swatch;
};

constexpr SetupRow kRows[kDisplayItemCount] = {
    {QT_TRANSLATE_NOOP("ColourDialog", "グラフの線 (CH&1)"), "PanelCh1"},
    {QT_TRANSLATE_NOOP("ColourDialog", "グラフの線 (CH&2)"), "PanelCh2"},
    {QT_TRANSLATE_NOOP("ColourDialog", "グラフの線 (&MATH)"), "PanelMath"},
    {QT_TRANSLATE_NOOP("ColourDialog", "グラフの線 (&FFT)"), "PanelFft"},
    {QT_TRANSLATE_NOOP("ColourDialog", "グラフの背景(&B)"), "PanelBack"},
    {QT_TRANSLATE_NOOP("ColourDialog", "グラフの目盛り(&S)"), "PanelScale"},
    {QT_TRANSLATE_NOOP("ColourDialog", "トリガレベル(&L)"), "PanelLevel"},
    {QT_TRANSLATE_NOOP("ColourDialog", "トリガポジション(&P)"), "PanelPos"},
    {QT_TRANSLATE_NOOP("ColourDialog", "Δ &T カーソル"), "PanelDt"},
    {QT_TRANSLATE_NOOP("ColourDialog", "Δ &V カーソル"), "PanelDv"},
};

// Client-area layout (pixels).
constexpr int kClientSize = 254;
constexpr int kRowTop = 8;
constexpr int kRowStep = 21;
constexpr int kLabelLeft = 8;
constexpr int kLabelWidth = 104;
constexpr int kSwatchLeft = 116;
constexpr int kSwatchWidth = 47;
constexpr int kSwatchHeight = 17;
constexpr int kButtonLeft = 172;
constexpr int kButtonWidth = 74;
constexpr int kButtonHeight = 23;

}  // namespace

// ---------------------------------------------------------------------------

ColorSwatch::ColorSwatch(int tag, QWidget* parent) : QFrame(parent), tag_(tag) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(2);
    setFixedSize(kSwatchWidth, kSwatchHeight);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    setProperty("tag", tag);
}

void ColorSwatch::SetColor(std::uint32_t color) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, WindowsColorToQColor(color));
    setPalette(pal);
    update();
}

void ColorSwatch::Press() {
    setFocus(Qt::OtherFocusReason);
    setFrameShadow(QFrame::Sunken);
    pressed_ = true;
}

void ColorSwatch::Release() {
    setFrameShadow(QFrame::Raised);
    // A release without its press (the press went to another control, or
    // was another button) must not open the picker.
    if (!pressed_) {
        return;
    }
    pressed_ = false;
    emit Released(tag_);
}

void ColorSwatch::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Press();
    }
    event->accept();
}

void ColorSwatch::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        Release();
    }
    event->accept();
}

void ColorSwatch::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        if (!event->isAutoRepeat()) {
            Press();
        }
        event->accept();
        return;
    }
    QFrame::keyPressEvent(event);
}

void ColorSwatch::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat()) {
        Release();
        event->accept();
        return;
    }
    QFrame::keyReleaseEvent(event);
}

void ColorSwatch::focusInEvent(QFocusEvent* event) {
    if (focusFrame_) {
        focusFrame_->setVisible(true);
    }
    QFrame::focusInEvent(event);
}

void ColorSwatch::focusOutEvent(QFocusEvent* event) {
    if (focusFrame_) {
        focusFrame_->setVisible(false);
    }
    QFrame::focusOutEvent(event);
}

// ---------------------------------------------------------------------------

TFormSetup::TFormSetup(DisplayColorTarget& target, ColorDialogService& picker, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      target_(target),
      picker_(picker) {
    setObjectName(QStringLiteral("FormSetup"));
    setWindowTitle(QCoreApplication::translate("ColourDialog", "表示色の変更"));
    setFont(PanelFont());
    setFixedSize(kClientSize, kClientSize);
    setModal(true);

    std::array<ColorSwatch*, kDisplayItemCount> swatches{};
    for (int i = 0; i < kDisplayItemCount; ++i) {
        const int top = kRowTop + i * kRowStep;
        auto* frame = new QFrame(this);
        frame->setObjectName(QStringLiteral("FocusFrame%1").arg(i));
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        frame->setLineWidth(1);
        frame->setGeometry(kSwatchLeft - 2, top - 2, kSwatchWidth + 4, kSwatchHeight + 4);
        // Creation: every focus frame starts hidden.
        frame->hide();
        FocusFrames[static_cast<std::size_t>(i)] = frame;

        auto* swatch = new ColorSwatch(i, this);
        swatch->setObjectName(QString::fromUtf8(kRows[i].swatch));
        swatch->move(kSwatchLeft, top);
        swatch->SetFocusFrame(frame);
        connect(swatch, &ColorSwatch::Released, this, &TFormSetup::SwatchReleased);
        swatches[static_cast<std::size_t>(i)] = swatch;

        auto* label = new QLabel(QCoreApplication::translate("ColourDialog", kRows[i].label), this);
        label->setGeometry(kLabelLeft, top, kLabelWidth, kSwatchHeight);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // The buddy draws the mnemonic underlined; the key itself is taken
        // by the dialog's own Alt handling.
        label->setBuddy(swatch);
        Labels[static_cast<std::size_t>(i)] = label;
    }
    PanelCh1 = swatches[0];
    PanelCh2 = swatches[1];
    PanelMath = swatches[2];
    PanelFft = swatches[3];
    PanelBack = swatches[4];
    PanelScale = swatches[5];
    PanelLevel = swatches[6];
    PanelPos = swatches[7];
    PanelDt = swatches[8];
    PanelDv = swatches[9];

    auto button = [this](const char* name, const char* text, int left, int top, int width) {
        auto* b = new QPushButton(QCoreApplication::translate("ColourDialog", text), this);
        b->setObjectName(QString::fromUtf8(name));
        b->setGeometry(left, top, width, kButtonHeight);
        return b;
    };
    ButtonOk = button("ButtonOk", "&OK", kButtonLeft, 8, kButtonWidth);
    ButtonCancel = button("ButtonCancel", "&Cancel", kButtonLeft, 38, kButtonWidth);
    ButtonApply = button("ButtonApply", QT_TRANSLATE_NOOP("ColourDialog", "適用(&A)"), kButtonLeft,
                         68, kButtonWidth);
    ButtonReset = button("ButtonReset",
                         QT_TRANSLATE_NOOP("ColourDialog", "デフォルトの色に戻す(&R)"), kLabelLeft,
                         kRowTop + kDisplayItemCount * kRowStep + 8, kClientSize - 2 * kLabelLeft);
    ButtonOk->setDefault(true);
    ButtonOk->setAutoDefault(true);

    connect(ButtonOk, &QPushButton::clicked, this, &TFormSetup::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonApply, &QPushButton::clicked, this, &TFormSetup::ButtonApplyClick);
    connect(ButtonReset, &QPushButton::clicked, this, &TFormSetup::ButtonResetClick);

    // Every key passes the dialog first, whichever control has the focus.
    installEventFilter(this);
    for (QWidget* w : findChildren<QWidget*>()) {
        w->installEventFilter(this);
    }
    PaintSwatches();
}

std::array<ColorSwatch*, kDisplayItemCount> TFormSetup::Swatches() const {
    return {PanelCh1,   PanelCh2,   PanelMath, PanelFft, PanelBack,
            PanelScale, PanelLevel, PanelPos,  PanelDt,  PanelDv};
}

int TFormSetup::ShowModal() {
    if (QWidget* owner = parentWidget()) {
        const QRect frame = owner->window()->frameGeometry();
        move(frame.center() - QPoint(width() / 2, height() / 2));
    }
    return exec();
}

void TFormSetup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    draft_.LoadFrom(target_);
    PaintSwatches();
    ButtonOk->setFocus(Qt::OtherFocusReason);
}

QWidget* TFormSetup::AltTarget(int key) const {
    switch (key) {
        case Qt::Key_1:
            return PanelCh1;
        case Qt::Key_2:
            return PanelCh2;
        case Qt::Key_M:
            return PanelMath;
        case Qt::Key_F:
            return PanelFft;
        case Qt::Key_B:
            return PanelBack;
        case Qt::Key_S:
            return PanelScale;
        case Qt::Key_L:
            return PanelLevel;
        case Qt::Key_P:
            return PanelPos;
        case Qt::Key_T:
            return PanelDt;
        case Qt::Key_V:
            return PanelDv;
        case Qt::Key_A:
            return ButtonApply;
        case Qt::Key_R:
            return ButtonReset;
        default:
            return nullptr;
    }
}

bool TFormSetup::eventFilter(QObject* watched, QEvent* event) {
    const bool override = event->type() == QEvent::ShortcutOverride;
    if (override || event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto mods = key->modifiers() & ~Qt::KeypadModifier;
        if (mods == Qt::AltModifier) {
            if (QWidget* target = AltTarget(key->key())) {
                // Claiming the shortcut keeps the mnemonic of a label or
                // button from acting; the key press then moves the focus.
                if (!override) {
                    target->setFocus(Qt::ShortcutFocusReason);
                }
                key->accept();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormSetup::SwatchReleased(int tag) {
    if (draft_.Pick(tag, picker_)) {
        PaintSwatches();
    }
}

void TFormSetup::ButtonOkClick() {
    draft_.ApplyTo(target_);
    accept();
}

void TFormSetup::ButtonApplyClick() {
    draft_.ApplyTo(target_);
    PaintSwatches();
}

void TFormSetup::ButtonResetClick() {
    draft_.Reset();
    PaintSwatches();
}

void TFormSetup::PaintSwatches() {
    const auto swatches = Swatches();
    for (int i = 0; i < kDisplayItemCount; ++i) {
        swatches[static_cast<std::size_t>(i)]->SetColor(draft_.Color(i));
    }
}

// ---------------------------------------------------------------------------

std::uint32_t FormSubColorTarget::GetDisplayColor(int displayItem) const {
    return form_.GetDisplayColor(displayItem);
}

void FormSubColorTarget::SetDisplayColor(int displayItem, std::uint32_t color) {
    form_.SetDisplayColor(displayItem, color);
}

void FormSubColorTarget::DisplayColorsApplied() {
    if (applied_) {
        applied_();
    }
}

}  // namespace lumatrace
