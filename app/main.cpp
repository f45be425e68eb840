// Program entry: one running instance per user, the main window, and the
// options for unattended runs (a picture of the window, a timed close, remote
// control over SCPI, no window at all). SIGTERM, SIGINT and SIGHUP close the
// program as closing its window does.
#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/FormMain.h"
#include "app/i18n/Language.h"
#include "app/i18n/QtLanguage.h"
#include "app/platform/FileStore.h"
#include "app/platform/PosixTerminationSignals.h"
#include "app/platform/QtMessageBox.h"
#include "app/platform/SettingsFolder.h"
#include "app/platform/SingleInstance.h"
#include "app/remote/RemoteAddress.h"
#include "app/remote/RemoteCommands.h"
#include "app/remote/RemoteServer.h"
#include "app/remote/ScpiInterpreter.h"
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

// --remote takes its address only when one follows; alone it means the
// default. The parser wants a value, so a bare --remote becomes "--remote=".
QStringList NormaliseRemoteOption(const QStringList& arguments) {
    QStringList out;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (i > 0 && a == QStringLiteral("--remote")) {
            // What follows is the address unless it is another option or a
            // waveform file to open; a malformed address is reported as such.
            const bool valueFollows = i + 1 < arguments.size() &&
                                      !arguments[i + 1].startsWith('-') &&
                                      !arguments[i + 1].endsWith(".zep", Qt::CaseInsensitive) &&
                                      !QFileInfo::exists(arguments[i + 1]);
            if (valueFollows) {
                out << QStringLiteral("--remote=") + arguments[i + 1];
                ++i;
            } else {
                out << QStringLiteral("--remote=");
            }
            continue;
        }
        out << a;
    }
    return out;
}

bool HeadlessRequested(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) {
            return true;
        }
    }
    return false;
}

// The SCPI server and what it needs, alive as long as the window.
struct RemoteControl {
    std::unique_ptr<lumatrace::RemoteInstrument> instrument;
    lumatrace::ScpiStatus status;
    std::unique_ptr<lumatrace::RemoteCommands> commands;
    std::unique_ptr<lumatrace::ScpiInterpreter> interpreter;
    std::unique_ptr<lumatrace::RemoteServer> server;
};

}  // namespace

int main(int argc, char* argv[]) {
    // Without a window no display is needed: the off-screen platform serves,
    // unless the user chose a platform.
    const bool headlessRun = HeadlessRequested(argc, argv);
    if (headlessRun && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
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
    const QCommandLineOption remote(
        "remote",
        "Serve SCPI remote control on [ADDRESS:]PORT (raw socket, one command per line; "
        "127.0.0.1:5025 when given alone, 127.0.0.1 unless an address is given). "
        "See docs/remote.md.",
        "[address:]port");
    const QCommandLineOption headless(
        "headless", "Run without showing a window (with --remote, for lab servers and CI).");
    const QCommandLineOption language(
        "lang",
        "Show the program in <language>: ja (Japanese, the default) or en (English). "
        "Overrides LUMATRACE_LANG and the choice of the options menu for this run.",
        "language");
    parser.addOption(autoRun);
    parser.addOption(screenshot);
    parser.addOption(quitAfter);
    parser.addOption(triggerItems);
    parser.addOption(remote);
    parser.addOption(headless);
    parser.addOption(language);
    parser.addPositionalArgument("file", "Waveform file (.zep) to open.", "[file]");
    const QStringList arguments = NormaliseRemoteOption(QApplication::arguments());
    parser.process(arguments);

    std::optional<lumatrace::RemoteEndpoint> remoteEndpoint;
    if (parser.isSet(remote)) {
        const lumatrace::RemoteEndpointResult parsed =
            lumatrace::ParseRemoteEndpoint(parser.value(remote).toStdString());
        if (!parsed.endpoint) {
            std::fprintf(stderr, "lumatrace: --remote: %s\n", parsed.error.c_str());
            return 2;
        }
        remoteEndpoint = parsed.endpoint;
    }

    // The language: --lang, else LUMATRACE_LANG, else the choice kept in the
    // preferences file, else Japanese. Files are written the same in all.
    {
        std::optional<std::string> option;
        if (parser.isSet(language)) {
            option = parser.value(language).toStdString();
        }
        std::optional<lumatrace::Language> saved;
        if (const auto file = lumatrace::PreferencesFile(lumatrace::ProcessEnvironment())) {
            lumatrace::LocalFileStore files;
            saved = lumatrace::LoadPreferences(files, *file).preferences.language;
        }
        const lumatrace::LanguageChoice choice = lumatrace::ChooseLanguage(
            option, lumatrace::ProcessEnvironment()(lumatrace::kLanguageVariable), saved);
        if (!choice.error.empty()) {
            std::fprintf(stderr, "lumatrace: %s\n", choice.error.c_str());
            return 2;
        }
        if (!choice.warning.empty()) {
            std::fprintf(stderr, "lumatrace: %s\n", choice.warning.c_str());
        }
        if (!lumatrace::InstallLanguage(choice.language)) {
            std::fprintf(stderr,
                         "lumatrace: the English translation is missing; showing Japanese\n");
        }
    }

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
        forwarded.addOptions(
            {autoRun, screenshot, quitAfter, triggerItems, remote, headless, language});
        forwarded.parse(arguments);
        const QStringList rest = forwarded.positionalArguments();
        if (mainWindow && mainWindow->FirstLayoutDone()) {
            mainWindow->HandleForwardedArguments(ToStrings(rest));
        } else {
            earlyArguments.push_back(ToStrings(rest));
        }
    });
    const lumatrace::SingleInstance::Outcome role = instance.Start(arguments);
    if (role.role == lumatrace::SingleInstance::Role::Secondary) {
        if (!role.delivered) {
            std::fprintf(stderr, "lumatrace: the running program did not answer: %s\n",
                         qPrintable(role.error));
            return 1;
        }
        if (parser.isSet(screenshot) || parser.isSet(autoRun) || parser.isSet(remote) ||
            parser.isSet(headless)) {
            // Unattended options belong to the program that is already running.
            std::fprintf(stderr,
                         "lumatrace: another instance is running; the arguments went to it\n");
        }
        return 0;
    }

    // From here on a request to end (kill, Ctrl+C, a closed terminal) closes
    // the window from the event loop, as the user does: the parameter file is
    // written, the instrument closed, the server stopped and the lock given
    // back on the ordinary way out. Before the window exists it is kept and
    // carried out once the window is up.
    lumatrace::PosixTerminationSignals terminationSignals;
    bool endRequested = false;
    bool closeQueued = false;
    const auto closeForSignal = [&mainWindow, &closeQueued] {
        if (closeQueued) {
            return;
        }
        closeQueued = true;
        // Queued: the loop that carries it out is the main one (a close before
        // exec() would leave nobody to quit).
        QMetaObject::invokeMethod(
            mainWindow,
            [window = mainWindow] {
                // A window that agrees to close ends the program even when
                // another window of it is still open.
                if (window->close()) {
                    QCoreApplication::quit();
                }
            },
            Qt::QueuedConnection);
    };
    terminationSignals.SetHandler([&](int signalNumber) {
        std::fprintf(stderr, "lumatrace: %s: closing\n", ::strsignal(signalNumber));
        endRequested = true;
        if (mainWindow) {
            closeForSignal();
        }
    });

    QApplication::setApplicationDisplayName("Lumatrace");
    lumatrace::MainServices services;
    // Unattended runs have nobody to close a message box: messages go to the
    // error stream and their boxes do not wait, so the run ends on time.
    std::optional<lumatrace::UnattendedMessageBoxService> unattended;
    if (parser.isSet(quitAfter) || parser.isSet(screenshot) || headlessRun) {
        unattended.emplace(std::cerr);
        services.form.messages = &*unattended;
    }
    if (headlessRun) {
        services.splashMs = 0;  // nothing to show it on
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
    if (headlessRun) {
        // The window goes through showing and its first layout as always;
        // it is only never put on a screen.
        form.setAttribute(Qt::WA_DontShowOnScreen);
    }
    form.show();
    if (endRequested) {
        closeForSignal();  // a request that came while the window was being made
    }

    RemoteControl control;
    if (remoteEndpoint) {
        control.instrument = form.CreateRemoteInstrument();
        control.commands =
            std::make_unique<lumatrace::RemoteCommands>(*control.instrument, control.status);
        control.interpreter =
            std::make_unique<lumatrace::ScpiInterpreter>(control.commands->table(), control.status);
        control.server = std::make_unique<lumatrace::RemoteServer>(*control.interpreter);
        QString error;
        if (!control.server->Listen(*remoteEndpoint, &error)) {
            std::fprintf(stderr, "lumatrace: --remote: cannot listen on %s port %u: %s\n",
                         remoteEndpoint->address.c_str(), remoteEndpoint->port, qPrintable(error));
            form.close();
            return 1;
        }
        std::fprintf(stderr, "lumatrace: remote control on %s port %u\n",
                     remoteEndpoint->address.c_str(), control.server->Port());
        // The server goes before the window it commands.
        QObject::connect(&app, &QCoreApplication::aboutToQuit,
                         [&control] { control.server->Stop(); });
    }

    // A look at the program's pace for scripted runs (bench/run_time.py):
    // every second, the records taken in and the pictures drawn so far.
    if (qEnvironmentVariableIsSet("LUMATRACE_RUN_COUNTS")) {
        auto* counts = new QTimer(&form);
        QObject::connect(counts, &QTimer::timeout, &form, [&form] {
            const lumatrace::TFormMain::RunCounts c = form.Counts();
            std::fprintf(stderr, "lumatrace: run counts: records %llu frames %llu\n",
                         static_cast<unsigned long long>(c.records),
                         static_cast<unsigned long long>(c.frames));
            std::fflush(stderr);
        });
        counts->start(1000);
    }

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
