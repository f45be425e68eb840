#include "app/platform/QtMessageBox.h"

#include <QMessageBox>
#include <QString>

namespace lumatrace {

namespace {

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MessageButton QtMessageBoxService::Show(MessageIcon icon, std::string_view title,
                                        std::string_view text, MessageButtons buttons) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
        case MessageIcon::None:
            break;
        case MessageIcon::Information:
            qtIcon = QMessageBox::Information;
            break;
        case MessageIcon::Warning:
            qtIcon = QMessageBox::Warning;
            break;
        case MessageIcon::Error:
            qtIcon = QMessageBox::Critical;
            break;
        case MessageIcon::Question:
            qtIcon = QMessageBox::Question;
            break;
    }
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    switch (buttons) {
        case MessageButtons::Ok:
            break;
        case MessageButtons::OkCancel:
            qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
            break;
        case MessageButtons::YesNo:
            qtButtons = QMessageBox::Yes | QMessageBox::No;
            defaultButton = QMessageBox::Yes;
            break;
        case MessageButtons::YesNoDefaultNo:
            qtButtons = QMessageBox::Yes | QMessageBox::No;
            defaultButton = QMessageBox::No;
            break;
        case MessageButtons::YesNoCancel:
            qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
            defaultButton = QMessageBox::Yes;
            break;
    }
    // The program's texts break lines with CR LF; a lone CR would show as a glyph.
    QString body = FromUtf8(text);
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(qtIcon, FromUtf8(title), body, qtButtons, parent_);
    box.setDefaultButton(defaultButton);
    switch (box.exec()) {
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

}  // namespace lumatrace
