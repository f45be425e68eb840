#include "app/core/FormDrv.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

namespace lumatrace {

namespace {

// A service log must not grow without bound over a long session.
constexpr int kMaxLogLines = 5000;
// How long lines are gathered after a flush: a few flushes a second keep the
// account current for whoever watches it.
constexpr int kLogGatherMs = 200;

}  // namespace

TFormDrv::TFormDrv(QWidget* parent) : QDialog(parent) {
    setObjectName("FormDrv");
    setWindowTitle("FormDrv");
    setWindowFlag(Qt::Tool, true);
    setFixedSize(394, 418);
    setToolTip(QCoreApplication::translate("DriverForm", "デバッグ画面表示切替(Shift+F12)"));

    MemoDLog = new QPlainTextEdit(this);
    MemoDLog->setObjectName("MemoDLog");
    MemoDLog->setReadOnly(true);
    MemoDLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    MemoDLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoDLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    MemoDLog->setMaximumBlockCount(kMaxLogLines);
    MemoDLog->setStyleSheet("QPlainTextEdit { background: black; color: white; }");
    MemoDLog->clear();

    ButtonClr = new QPushButton("Log Clear", this);
    ButtonClr->setObjectName("ButtonClr");
    connect(ButtonClr, &QPushButton::clicked, this, [this] {
        pending_.clear();
        MemoDLog->clear();
    });

    flush_ = new QTimer(this);
    flush_->setSingleShot(true);
    flush_->setInterval(kLogGatherMs);
    connect(flush_, &QTimer::timeout, this, [this] {
        if (shown_ && !pending_.isEmpty()) {
            FlushLog();
        }
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MemoDLog, 1);
    layout->addWidget(ButtonClr, 0, Qt::AlignHCenter);
}

void TFormDrv::Write(std::string_view line) {
    pending_.append(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    if (pending_.size() > kMaxLogLines) {
        pending_.removeFirst();
    }
    // Hidden, the window has nobody to read it: after the first line of a
    // quiet spell (the memo holds the start of the account) the lines wait,
    // as many as the memo keeps, for the window to be shown. Laying out a
    // line costs the memo far more than the line, and once the memo is full
    // it lays out each line it lets go as well.
    if (!flush_->isActive() && (shown_ || pending_.size() == 1)) {
        FlushLog();
    }
}

void TFormDrv::FlushLog() {
    if (!pending_.isEmpty()) {
        MemoDLog->appendPlainText(pending_.join('\n'));
        pending_.clear();
    }
    // Lines written within the next moment wait for its end.
    flush_->start();
}

void TFormDrv::showEvent(QShowEvent* event) {
    shown_ = true;
    FlushLog();
    QDialog::showEvent(event);
}

void TFormDrv::hideEvent(QHideEvent* event) {
    shown_ = false;
    QDialog::hideEvent(event);
}

void TFormDrv::ShowLog() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + 10, area.top() + 10);
    }
    show();
    raise();
}

void TFormDrv::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F12 && (event->modifiers() & Qt::ShiftModifier)) {
        if (raiseMain_) {
            raiseMain_();
        }
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace lumatrace
