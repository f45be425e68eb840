#include <QApplication>
#include <QColor>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <sstream>

#include <gtest/gtest.h>

#include "app/platform/QtDesktop.h"
#include "app/platform/QtDialogs.h"
#include "app/platform/QtMessageBox.h"
#include "app/platform/tests/QtTestApp.h"

namespace lumatrace {
namespace {

using testing::TestApp;

// Runs `inspect` on the modal widget as soon as it is shown.
template <typename Widget, typename Fn>
void WhenModalShown(Fn inspect) {
    QTimer::singleShot(0, [inspect] {
        auto* widget = qobject_cast<Widget*>(QApplication::activeModalWidget());
        ASSERT_NE(widget, nullptr);
        inspect(widget);
    });
}

TEST(PlatformQt, WindowsColorValuesMapToRgb) {
    struct Case {
        std::uint32_t windows;
        QColor qt;
    };
    const Case cases[] = {
        {0x0000FF, QColor(255, 0, 0)},    // clRed
        {0xFF0000, QColor(0, 0, 255)},    // clBlue
        {0x808000, QColor(0, 128, 128)},  // clTeal
        {0x123456, QColor(0x56, 0x34, 0x12)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WindowsColorToQColor(c.windows), c.qt) << std::hex << c.windows;
        EXPECT_EQ(QColorToWindowsColor(c.qt), c.windows) << std::hex << c.windows;
    }
}

TEST(PlatformQt, MessageBoxShowsIconTitleAndText) {
    TestApp();
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QString text;
    WhenModalShown<QMessageBox>([&](QMessageBox* box) {
        icon = box->icon();
        title = box->windowTitle();
        text = box->text();
        box->button(QMessageBox::No)->click();
    });
    QtMessageBoxService service;
    const MessageButton answer =
        service.Show(MessageIcon::Error, "ZEP-9100", "一行目\r\n二行目", MessageButtons::YesNo);
    EXPECT_EQ(answer, MessageButton::No);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(title, QStringLiteral("ZEP-9100"));
    EXPECT_EQ(text, QStringLiteral("一行目\n二行目"));
}

TEST(PlatformQt, OverwriteQuestionDefaultsToNo) {
    TestApp();
    const struct {
        MessageButtons buttons;
        QMessageBox::StandardButton expected;
    } cases[] = {{MessageButtons::YesNo, QMessageBox::Yes},
                 {MessageButtons::YesNoDefaultNo, QMessageBox::No}};
    for (const auto& c : cases) {
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        WhenModalShown<QMessageBox>([&](QMessageBox* box) {
            defaultButton = box->standardButton(box->defaultButton());
            box->button(QMessageBox::Yes)->click();
        });
        QtMessageBoxService service;
        EXPECT_EQ(service.Show(MessageIcon::Warning, "t", "q", c.buttons), MessageButton::Yes);
        EXPECT_EQ(defaultButton, c.expected);
    }
}

TEST(PlatformQt, UnattendedMessagesAnswerAtOnceAndGoToTheLog) {
    TestApp();
    const struct {
        MessageButtons buttons;
        MessageButton answer;  // the box's default button
    } cases[] = {{MessageButtons::Ok, MessageButton::Ok},
                 {MessageButtons::OkCancel, MessageButton::Ok},
                 {MessageButtons::YesNo, MessageButton::Yes},
                 {MessageButtons::YesNoDefaultNo, MessageButton::No},
                 {MessageButtons::YesNoCancel, MessageButton::Yes}};
    std::ostringstream log;
    QPointer<QMessageBox> first;
    {
        UnattendedMessageBoxService service(log);
        for (const auto& c : cases) {
            // Nothing presses a button: a box that waited would never return.
            EXPECT_EQ(service.Show(MessageIcon::Error, "Lumatrace", "一行目\r\n二行目", c.buttons),
                      c.answer);
        }
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        const QList<QMessageBox*> boxes = service.OpenBoxes();
        ASSERT_EQ(boxes.size(), 5);
        first = boxes[0];
        EXPECT_TRUE(first->isVisible());
        EXPECT_FALSE(first->isModal());
        EXPECT_EQ(first->icon(), QMessageBox::Critical);
        EXPECT_EQ(first->text(), QStringLiteral("一行目\n二行目"));
        // An open box does not keep the program running after its window closed.
        EXPECT_FALSE(first->testAttribute(Qt::WA_QuitOnClose));
        EXPECT_EQ(boxes[3]->standardButton(boxes[3]->defaultButton()), QMessageBox::No);
        boxes[1]->button(QMessageBox::Ok)->click();  // a person may still close one
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(service.OpenBoxes().size(), 4);
    }
    EXPECT_TRUE(first.isNull());  // the rest go with the service
    std::string expected;
    for (int i = 0; i < 5; ++i) {
        expected += "lumatrace: Lumatrace: 一行目\n二行目\n";
    }
    EXPECT_EQ(log.str(), expected);
}

TEST(PlatformQt, SaveDialogIsConfiguredFromTheOptions) {
    TestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList filters;
    QString suffix;
    WhenModalShown<QFileDialog>([&](QFileDialog* dialog) {
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        dialog->selectFile(dir.filePath(QStringLiteral("picture.bmp")));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QtFileDialogService dialogs;
    FileDialogOptions options;
    options.filter =
        "ZEP-9100 files (*.zep)|*.zep|BMP files (*.bmp)|*.bmp|JPG files (*.jpg)|*.jpg|";
    options.filterIndex = 2;
    options.defaultExtension = "zep|bmp|jpg";
    options.fileName = "file1.zep";
    options.initialFolder = dir.path().toStdString();
    const auto result = dialogs.GetSaveFileName(options);
    EXPECT_EQ(filters, (QStringList{QStringLiteral("ZEP-9100 files (*.zep)"),
                                    QStringLiteral("BMP files (*.bmp)"),
                                    QStringLiteral("JPG files (*.jpg)")}));
    EXPECT_EQ(suffix, QStringLiteral("bmp"));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->path, dir.filePath(QStringLiteral("picture.bmp")).toStdString());
    EXPECT_EQ(result->filterIndex, 2);
}

TEST(PlatformQt, FilterChangeRenamesTheFileInTheNameBox) {
    TestApp();
    QString shown;
    WhenModalShown<QFileDialog>([&](QFileDialog* dialog) {
        auto* nameBox = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(nameBox, nullptr);
        nameBox->setText(QStringLiteral("file1.zep"));
        dialog->selectNameFilter(dialog->nameFilters().at(2));
        emit dialog->filterSelected(dialog->nameFilters().at(2));
        shown = nameBox->text();
        dialog->reject();
    });
    QtFileDialogService dialogs;
    FileDialogOptions options;
    options.filter =
        "ZEP-9100 files (*.zep)|*.zep|BMP files (*.bmp)|*.bmp|JPG files (*.jpg)|*.jpg|";
    options.nameForFilter = [](std::string_view name, int filterIndex) {
        return std::string(name.substr(0, name.rfind('.'))) + (filterIndex == 3 ? ".jpg" : "?");
    };
    EXPECT_FALSE(dialogs.GetSaveFileName(options).has_value());
    EXPECT_EQ(shown, QStringLiteral("file1.jpg"));
}

TEST(PlatformQt, CancelledDialogGivesNothing) {
    TestApp();
    WhenModalShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
    QtFileDialogService dialogs;
    EXPECT_FALSE(dialogs.GetOpenFileName({}).has_value());
}

TEST(PlatformQt, DesktopReportsAMissingFile) {
    TestApp();
    QtDesktopService desktop;
    EXPECT_EQ(desktop.OpenFile("/nonexistent/zep9100_man.pdf"), DesktopOpenResult::NotFound);
}

}  // namespace
}  // namespace lumatrace
