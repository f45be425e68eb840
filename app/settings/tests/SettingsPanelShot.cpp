// Renders the control panel (each page), the version dialog, the colour
// dialog and the splash window into PNG files, to look at the layout without
// a display, in Japanese or in English (QT_SCALE_FACTOR scales them all):
//   QT_QPA_PLATFORM=offscreen SettingsPanelShot <folder> [ja|en]
#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTabWidget>

#include "app/i18n/QtLanguage.h"
#include "app/platform/testing/ScriptedDialogs.h"
#include "app/settings/FormSetup.h"
#include "app/settings/FormSplash.h"
#include "app/settings/FormSub.h"
#include "app/settings/FormVer.h"

namespace {

// A stand-in for the waveform view: a grey panel with an empty graticule.
class ViewStandIn : public QWidget {
  public:
    ViewStandIn() { setMinimumSize(470, 380); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(128, 128, 128));
        const QRect screen(25, 43, 451, 361);
        p.fillRect(screen, Qt::white);
        p.setPen(QColor(192, 192, 192));
        for (int i = 0; i <= 10; ++i) {
            p.drawLine(screen.left() + i * 45, screen.top(), screen.left() + i * 45,
                       screen.bottom());
        }
        for (int i = 0; i <= 8; ++i) {
            p.drawLine(screen.left(), screen.top() + i * 45, screen.right(), screen.top() + i * 45);
        }
    }
};

// The colours the colour dialog shows: the defaults.
class ColorStandIn final : public lumatrace::DisplayColorTarget {
  public:
    std::uint32_t GetDisplayColor(int) const override { return 0x808080; }
    void SetDisplayColor(int, std::uint32_t) override {}
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    if (argc > 2) {
        const auto language = lumatrace::LanguageByCode(argv[2]);
        if (!language || !lumatrace::InstallLanguage(*language)) {
            return 2;
        }
    }
    lumatrace::TFormSub form;
    form.SetWaveView(new ViewStandIn);
    form.ApplyDefaults();
    form.SynchronisePanel(true);
    form.A_Stop->setEnabled(false);  // as while stopped: shows the disabled image
    form.resize(870, 521 + 22);
    form.show();
    app.processEvents();
    for (int page = 0; page < 3; ++page) {
        form.PageControlBtn->setCurrentIndex(page);
        app.processEvents();
        form.grab().save(QDir(folder).filePath(QStringLiteral("panel-page%1.png").arg(page + 1)));
    }
    lumatrace::TFormVer version(nullptr, &form);
    version.show();
    app.processEvents();
    version.grab().save(QDir(folder).filePath(QStringLiteral("version.png")));
    ColorStandIn colors;
    lumatrace::testing::ScriptedColorDialog picker;
    lumatrace::TFormSetup setup(colors, picker, &form);
    setup.show();
    app.processEvents();
    setup.grab().save(QDir(folder).filePath(QStringLiteral("colours.png")));
    lumatrace::TFormSplash splash;
    splash.show();
    app.processEvents();
    splash.grab().save(QDir(folder).filePath(QStringLiteral("splash.png")));
    return 0;
}
