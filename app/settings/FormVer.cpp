#include "app/settings/FormVer.h"

#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

#include "app/settings/FormBase.h"
#include "app/settings/PanelArt.h"
#include "app/settings/PanelTexts.h"

namespace lumatrace {

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kClientWidth = 359;
constexpr int kClientHeight = 213;
constexpr int kPanelWidth = 150;
constexpr int kPanelHeight = 60;

}  // namespace

TFormVer::TFormVer(VersionSource* source, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormVer"));
    setWindowTitle(QCoreApplication::translate("VersionDialog", "バージョン情報"));
    setFont(PanelFont());
    setFixedSize(kClientWidth, kClientHeight);
    setModal(true);

    ProgramIcon = new QLabel(this);
    ProgramIcon->setObjectName(QStringLiteral("ProgramIcon"));
    ProgramIcon->setPixmap(QPixmap::fromImage(ProgramImage(48)));
    ProgramIcon->setGeometry(22, 22, 48, 48);

    AppName = new QLabel(QStringLiteral("Lumatrace"), this);
    AppName->setObjectName(QStringLiteral("AppName"));
    QFont big = font();
    big.setPointSize(20);
    big.setBold(true);
    big.setItalic(true);
    AppName->setFont(big);
    AppName->setGeometry(92, 14, 250, 36);

    ProductName = new QLabel(QStringLiteral("for ZEP-9100"), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont bold = font();
    bold.setPointSize(10);
    bold.setBold(true);
    bold.setItalic(true);
    ProductName->setFont(bold);
    ProductName->setGeometry(96, 50, 250, 20);

    Version = new QLabel(this);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setText(Utf8(kProgramVersionText));
    Version->setGeometry(96, 74, 250, 16);

    PanelVer = new QFrame(this);
    PanelVer->setObjectName(QStringLiteral("PanelVer"));
    PanelVer->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    PanelVer->setGeometry(96, 96, kPanelWidth, kPanelHeight);

    // Read once; the dialog keeps these values for the rest of the run.
    const auto lines = FormatVersionLines(ReadVersionValues(source));
    QLabel** labels[4] = {&LabelDrvVer, &LabelDllVer, &LabelFrmVer, &LabelFpgaVer};
    const char* names[4] = {"LabelDrvVer", "LabelDllVer", "LabelFrmVer", "LabelFpgaVer"};
    for (int i = 0; i < 4; ++i) {
        QLabel* label =
            new QLabel(QString::fromStdString(lines[static_cast<std::size_t>(i)]), PanelVer);
        label->setObjectName(QString::fromLatin1(names[i]));
        label->adjustSize();
        *labels[i] = label;
    }
    // One common left edge, centring the driver line in the panel.
    const int left = (kPanelWidth - LabelDrvVer->width() - 4) / 2;
    for (int i = 0; i < 4; ++i) {
        (*labels[i])->move(left, 3 + i * 13);
    }

    LabelNotice =
        new QLabel(QCoreApplication::translate(
                       "VersionDialog", "ZEP-9100 デジタルストレージオシロスコープ用ソフトウェア"),
                   this);
    LabelNotice->setObjectName(QStringLiteral("LabelNotice"));
    LabelNotice->setGeometry(12, 164, kClientWidth - 24, 16);
    LabelNotice->setAlignment(Qt::AlignCenter);

    OKButton = new QPushButton(QStringLiteral("OK"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    OKButton->setGeometry((kClientWidth - 75) / 2, 184, 75, 24);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TFormVer::reject() {
    accept();
}

int TFormVer::ShowModal() {
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->window()->frameGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    return exec();
}

}  // namespace lumatrace
