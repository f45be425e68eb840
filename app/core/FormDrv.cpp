#include "app/core/FormDrv.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace lumatrace {

namespace {

// A service log must not grow without bound over a long session.
constexpr int kMaxLogLines = 5000;

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
    connect(ButtonClr, &QPushButton::clicked, MemoDLog, &QPlainTextEdit::clear);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(MemoDLog, 1);
    layout->addWidget(ButtonClr, 0, Qt::AlignHCenter);
}

void TFormDrv::Write(std::string_view line) {
    MemoDLog->appendPlainText(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
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
