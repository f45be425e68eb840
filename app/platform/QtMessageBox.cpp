#include "app/platform/QtMessageBox.h"

#include <QMessageBox>
#include <QString>
#include <memory>
#include <ostream>

namespace lumatrace {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The program's texts break lines with CR LF; a lone CR would show as a glyph.
QString BodyText(std::string_view text) {
    QString body = FromUtf8(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return body;
}

QMessageBox::Icon QtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::None:
            break;
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons QtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            break;
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo:
        case MessageButtons::YesNoDefaultNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton QtButton(MessageButton button) {
    switch (button) {
        case MessageButton::Ok:
            break;
        case MessageButton::Cancel:
            return QMessageBox::Cancel;
        case MessageButton::Yes:
            return QMessageBox::Yes;
        case MessageButton::No:
            return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

std::unique_ptr<QMessageBox> MakeBox(MessageIcon icon, std::string_view title,
                                     std::string_view text, MessageButtons buttons,
                                     QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(QtIcon(icon), FromUtf8(title), BodyText(text),
                                             QtButtons(buttons), parent);
    box->setDefaultButton(QtButton(DefaultAnswer(buttons)));
    return box;
}

}  // namespace

MessageButton DefaultAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
        case MessageButtons::OkCancel:
            break;
        case MessageButtons::YesNo:
        case MessageButtons::YesNoCancel:
            return MessageButton::Yes;
        case MessageButtons::YesNoDefaultNo:
            return MessageButton::No;
    }
    return MessageButton::Ok;
}

MessageButton QtMessageBoxService::Show(MessageIcon icon, std::string_view title,
                                        std::string_view text, MessageButtons buttons) {
    const std::unique_ptr<QMessageBox> box = MakeBox(icon, title, text, buttons, parent_);
    switch (box->exec()) {
        case QMessageBox::Cancel:
            return MessageButton::Cancel;
        case QMessageBox::Yes:
            return MessageButton::Yes;
        case QMessageBox::No:
            return MessageButton::No;
        case QMessageBox::Ok:
            return MessageButton::Ok;
        default:
            // Closed by the window's close button or Escape.
            return buttons == MessageButtons::Ok ? MessageButton::Ok : MessageButton::Cancel;
    }
}

// ---------------------------------------------------------------------------

UnattendedMessageBoxService::UnattendedMessageBoxService(std::ostream& log) : log_(log) {}

UnattendedMessageBoxService::~UnattendedMessageBoxService() {
    for (const QPointer<QMessageBox>& box : boxes_) {
        delete box.data();
    }
}

MessageButton UnattendedMessageBoxService::Show(MessageIcon icon, std::string_view title,
                                                std::string_view text, MessageButtons buttons) {
    // One block per message in the log: whoever reads it later sees what a
    // person at the screen would have had to answer.
    log_ << "lumatrace: " << title << ": " << BodyText(text).toStdString() << std::endl;
    QMessageBox* box = MakeBox(icon, title, text, buttons, nullptr).release();
    box->setModal(false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // An open box must not keep the program running once its window is closed.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->show();
    boxes_.removeAll(nullptr);
    boxes_.append(box);
    return DefaultAnswer(buttons);
}

QList<QMessageBox*> UnattendedMessageBoxService::OpenBoxes() const {
    QList<QMessageBox*> open;
    for (const QPointer<QMessageBox>& box : boxes_) {
        if (box) {
            open.append(box.data());
        }
    }
    return open;
}

}  // namespace lumatrace
