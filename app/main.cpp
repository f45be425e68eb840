// Program entry: one running instance per user, the main window, and the
// options for unattended runs (a picture of the window, a timed close).
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/core/FormMain.h"
#include "app/platform/QtMessageBox.h"
#include "app/platform/SingleInstance.h"
#include "app/settings/FormVer.h"

namespace {

std::vector<std::string> ToStrings(const QStringList& list) {
    std::vector<std::string> out;
    out.reserve(static_cast<std::size_t>(list.size()));
    for (const QString& s : list) {
        out.push_back(s.toStdString());
    }
    return out;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Lumatrace");
    QApplication::setApplicationVersion(QStringLiteral(LUMATRACE_VERSION));
    // Ties the windows to the installed desktop entry (its name and icon in docks and on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.lumatrace.Lumatrace"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Lumatrace: the PC software of the ZEP-9100 two-channel USB oscilloscope.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption autoRun("auto",
                                     "Start acquisition (Auto) once the window is laid out.");
    const QCommandLineOption screenshot(
        "screenshot", "Save a picture of the main window as PNG to <file> before closing.", "file");
    const QCommandLineOption quitAfter("quit-after", "Close the program in order after <seconds>.",
                                       "seconds");
    const QCommandLineOption triggerItems(
        "trigger",
        "Trigger these menu items or actions, by name, once the window is laid out "
        "(comma-separated, e.g. M_Math,A_Fft).",
        "names");
    parser.addOption(autoRun);
    parser.addOption(screenshot);
    parser.addOption(quitAfter);
    parser.addOption(triggerItems);
    parser.addPositionalArgument("file", "Waveform file (.zep) to open.", "[file]");
    parser.process(app);

    bool quitOk = true;
    const double quitSeconds =
        parser.isSet(quitAfter) ? parser.value(quitAfter).toDouble(&quitOk) : 0.0;
    if (!quitOk || quitSeconds < 0.0) {
        std::fprintf(stderr, "lumatrace: --quit-after needs a number of seconds\n");
        return 2;
    }
    if (parser.isSet(screenshot) && !parser.isSet(quitAfter)) {
        std::fprintf(stderr, "lumatrace: --screenshot needs --quit-after\n");
        return 2;
    }

    // A later start hands its arguments to the running program and ends.
    lumatrace::SingleInstance instance;
    lumatrace::TFormMain* mainWindow = nullptr;
    std::vector<std::vector<std::string>> earlyArguments;
    instance.SetArgumentsHandler([&](const QStringList& arguments) {
        // Only the file it was given counts, not its unattended options.
        QCommandLineParser forwarded;
        forwarded.addOptions({autoRun, screenshot, quitAfter, triggerItems});
        forwarded.parse(arguments);
        const QStringList rest = forwarded.positionalArguments();
        if (mainWindow && mainWindow->FirstLayoutDone()) {
            mainWindow->HandleForwardedArguments(ToStrings(rest));
        } else {
            earlyArguments.push_back(ToStrings(rest));
        }
    });
    const lumatrace::SingleInstance::Outcome role = instance.Start(QApplication::arguments());
    if (role.role == lumatrace::SingleInstance::Role::Secondary) {
        if (!role.delivered) {
            std::fprintf(stderr, "lumatrace: the running program did not answer: %s\n",
                         qPrintable(role.error));
            return 1;
        }
        if (parser.isSet(screenshot) || parser.isSet(autoRun)) {
            // Unattended options belong to the program that is already running.
            std::fprintf(stderr,
                         "lumatrace: another instance is running; the arguments went to it\n");
        }
        return 0;
    }

    QApplication::setApplicationDisplayName("Lumatrace");
    lumatrace::MainServices services;
    // Unattended runs have nobody to close a message box: messages go to the
    // error stream and their boxes do not wait, so the run ends on time.
    std::optional<lumatrace::UnattendedMessageBoxService> unattended;
    if (parser.isSet(quitAfter) || parser.isSet(screenshot)) {
        unattended.emplace(std::cerr);
        services.form.messages = &*unattended;
    }
    lumatrace::TFormMain form(std::move(services));
    if (form.StartupFailed()) {
        return 1;
    }
    mainWindow = &form;
    auto* version = new lumatrace::TFormVer(form.Versions(), &form);
    form.SetVersionDialog(version);
    if (!parser.positionalArguments().isEmpty()) {
        form.SetPendingFile(
            lumatrace::WaveFileFromArguments(ToStrings(parser.positionalArguments())));
    }

    const bool runAuto = parser.isSet(autoRun);
    const QStringList triggered = parser.value(triggerItems).split(',', Qt::SkipEmptyParts);
    QObject::connect(&form, &lumatrace::TFormMain::firstLayoutDone, &form, [&] {
        for (const auto& arguments : earlyArguments) {
            form.HandleForwardedArguments(arguments);
        }
        earlyArguments.clear();
        for (const QString& name : triggered) {
            QAction* item = form.MenuItem(name.trimmed().toStdString());
            if (!item) {
                item = form.findChild<QAction*>(name.trimmed());
            }
            if (!item) {
                std::fprintf(stderr, "lumatrace: --trigger: no menu item or action %s\n",
                             qPrintable(name));
            } else if (item->isEnabled()) {
                item->trigger();
            }
        }
        if (runAuto && form.A_Auto->isEnabled()) {
            form.A_Auto->trigger();
        }
    });
    form.show();

    if (parser.isSet(quitAfter)) {
        const QString shotFile = parser.value(screenshot);
        QTimer::singleShot(static_cast<int>(quitSeconds * 1000.0), &form, [&form, shotFile] {
            if (!shotFile.isEmpty()) {
                const QPixmap picture = form.grab();
                if (!picture.save(shotFile, "PNG")) {
                    std::fprintf(stderr, "lumatrace: could not write %s\n", qPrintable(shotFile));
                }
            }
            form.close();
        });
    }
    return QApplication::exec();
}
