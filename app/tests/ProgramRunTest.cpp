// The built program in unattended runs: started as a script starts it, with
// its own settings folder, home and runtime folder on the offscreen platform.
// Whatever it has to say at start-up, it must end by itself and leave the
// picture it was asked for; asked to end by a signal, it must end as a closed
// window does.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTcpSocket>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

// Generous: the start-up alone waits two seconds for the splash window.
constexpr int kRunBoundMs = 120000;

QString Q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

struct ProgramRun : ::testing::Test {
    fs::path root;

    void SetUp() override {
        char folder[] = "/tmp/lumatrace-run-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        root = folder;
        fs::create_directories(AppData() / "ORVEX" / "ZEP-9100");
        fs::create_directories(root / "home");
        fs::create_directories(root / "runtime");
        fs::permissions(root / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path AppData() const { return root / "appdata"; }
    fs::path ParamFile() const { return AppData() / "ORVEX" / "ZEP-9100" / "Zep9100.prm"; }
    fs::path Picture() const { return root / "out.png"; }

    struct Outcome {
        bool finished = false;
        int exitCode = -1;
        std::string errors;  // standard error
    };

    QProcessEnvironment Environment(const QString& instrument, const QString& language = {}) const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("APPDATA", Q(AppData()));
        env.insert("HOME", Q(root / "home"));
        env.insert("XDG_RUNTIME_DIR", Q(root / "runtime"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("ZEP9100_VIRTUAL", instrument);
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("LUMATRACE_LANG");
        if (!language.isEmpty()) {
            env.insert("LUMATRACE_LANG", language);
        }
        return env;
    }

    Outcome Run(const fs::path& program, const QString& instrument, const QStringList& options = {},
                const QString& language = {}) {
        QProcess process;
        process.setProcessEnvironment(Environment(instrument, language));
        process.setWorkingDirectory(Q(root));
        process.start(Q(program),
                      QStringList{"--quit-after", "2", "--screenshot", Q(Picture())} + options);
        Outcome out;
        if (!process.waitForStarted(kRunBoundMs)) {
            return out;
        }
        out.finished = process.waitForFinished(kRunBoundMs);
        if (!out.finished) {
            process.kill();
            process.waitForFinished();
        }
        out.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        out.errors = process.readAllStandardError().toStdString();
        return out;
    }
};

// A box the program shows at start-up answers itself and is written to the
// error stream; the run ends on time with its picture.
TEST_F(ProgramRun, StartUpMessagesDoNotHoldUpAnUnattendedRun) {
    struct Case {
        const char* what;
        const char* instrument;  // the virtual instrument's configuration
        bool damagedParameters;
        const char* message;  // a line the program must report
    };
    const Case cases[] = {
        {"damaged parameter file", "seed = 1", true,
         "パラメータファイル読み込み中にエラーが発生しました。"},
        {"no instrument", "instruments = 0", false, "使用可能なデバイスがありません。"},
        {"both", "instruments = 0", true, "パラメータファイル読み込み中にエラーが発生しました。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(Picture());
        fs::remove(ParamFile());
        if (c.damagedParameters) {
            std::ofstream(ParamFile(), std::ios::binary) << "TPF0\x07garbage, not a panel";
        }
        const Outcome out = Run(LUMATRACE_PROGRAM, QString::fromUtf8(c.instrument));
        ASSERT_TRUE(out.finished) << "the run did not end by itself";
        EXPECT_EQ(out.exitCode, 0) << out.errors;
        EXPECT_NE(out.errors.find(c.message), std::string::npos) << out.errors;
        ASSERT_TRUE(fs::exists(Picture())) << out.errors;
        const QImage picture(Q(Picture()), "PNG");
        EXPECT_FALSE(picture.isNull());
        EXPECT_GT(picture.width(), 400);
        EXPECT_GT(picture.height(), 300);
    }
}

// English by the option or the environment (the option first), the same
// parameter file as in Japanese, and a wrong language is a wrong command line.
TEST_F(ProgramRun, EnglishByOptionOrEnvironment) {
    struct Case {
        const char* what;
        QStringList options;
        const char* variable;
        const char* message;  // the damaged parameter file's message
    };
    const Case cases[] = {
        {"Japanese", {}, "", "パラメータファイル読み込み中にエラーが発生しました。"},
        {"option", {"--lang", "en"}, "", "An error occurred while reading the parameter file."},
        {"variable", {}, "en", "An error occurred while reading the parameter file."},
        {"option over variable",
         {"--lang", "ja"},
         "en",
         "パラメータファイル読み込み中にエラーが発生しました。"},
    };
    std::string japaneseParameters;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(ParamFile(), std::ios::binary) << "TPF0\x07garbage, not a panel";
        const Outcome out = Run(LUMATRACE_PROGRAM, QStringLiteral("seed = 1"), c.options,
                                QString::fromUtf8(c.variable));
        ASSERT_TRUE(out.finished) << "the run did not end by itself";
        EXPECT_EQ(out.exitCode, 0) << out.errors;
        EXPECT_NE(out.errors.find(c.message), std::string::npos) << out.errors;
        std::ifstream written(ParamFile(), std::ios::binary);
        const std::string parameters{std::istreambuf_iterator<char>(written), {}};
        ASSERT_FALSE(parameters.empty());
        if (japaneseParameters.empty()) {
            japaneseParameters = parameters;
        }
        EXPECT_TRUE(parameters == japaneseParameters);
        // A run's language is no choice to keep.
        EXPECT_FALSE(fs::exists(AppData() / "ORVEX" / "ZEP-9100" / "Lumatrace.ini"));
    }

    const Outcome wrong = Run(LUMATRACE_PROGRAM, QStringLiteral("seed = 1"), {"--lang", "fr"});
    ASSERT_TRUE(wrong.finished);
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_NE(wrong.errors.find("--lang: unknown language \"fr\""), std::string::npos)
        << wrong.errors;
}

// Without its libraries the program ends at once with its message, also
// when nobody is there to read it.
TEST_F(ProgramRun, MissingLibraryEndsAnUnattendedRun) {
    const fs::path alone = root / "alone" / "lumatrace";
    fs::create_directories(alone.parent_path());
    fs::copy_file(LUMATRACE_PROGRAM, alone);
    const Outcome out = Run(alone, QStringLiteral("seed = 1"));
    ASSERT_TRUE(out.finished) << "the run did not end by itself";
    EXPECT_EQ(out.exitCode, 1) << out.errors;
    EXPECT_NE(out.errors.find("のロードに失敗しました。"), std::string::npos) << out.errors;
    EXPECT_FALSE(fs::exists(Picture()));
}

// The program under remote control, talked to as a script does.
struct RemoteRun {
    QProcess process;
    QTcpSocket socket;
    std::string errors;  // standard error so far

    // Starts the program and connects once it says where it listens.
    bool Start(const QProcessEnvironment& env, const QString& folder, const QStringList& args) {
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(folder);
        process.start(LUMATRACE_PROGRAM, args);
        if (!process.waitForStarted(kRunBoundMs)) {
            return false;
        }
        const QRegularExpression listening(QStringLiteral("remote control on \\S+ port (\\d+)"));
        QDeadlineTimer bound(kRunBoundMs);
        while (!bound.hasExpired() && process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
            errors += process.readAllStandardError().toStdString();
            const auto match = listening.match(QString::fromStdString(errors));
            if (match.hasMatch()) {
                socket.connectToHost(QStringLiteral("127.0.0.1"), match.captured(1).toUShort());
                return socket.waitForConnected(kRunBoundMs);
            }
        }
        return false;
    }

    // One query line and its response line, without the newline.
    std::optional<std::string> Query(const std::string& line) {
        socket.write((line + "\n").c_str());
        std::string answer;
        QDeadlineTimer bound(kRunBoundMs);
        while (!bound.hasExpired()) {
            if (!socket.canReadLine() && !socket.waitForReadyRead(100)) {
                continue;
            }
            if (socket.canReadLine()) {
                answer = socket.readLine().toStdString();
                answer.pop_back();
                return answer;
            }
        }
        return std::nullopt;
    }

    // Sends `signalNumber` and waits for the end; the exit code, or -1 when
    // the program did not end by itself or crashed.
    int EndBy(int signalNumber) {
        ::kill(static_cast<pid_t>(process.processId()), signalNumber);
        const bool finished = process.waitForFinished(kRunBoundMs);
        errors += process.readAllStandardError().toStdString();
        if (!finished) {
            process.kill();
            process.waitForFinished();
            return -1;
        }
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

// SIGTERM, SIGINT and SIGHUP end the program as closing its window does: it
// exits normally, a setting changed over the remote port is in the parameter
// file (the next start comes up with it), and the single-instance lock is
// given back. With and without a window.
TEST_F(ProgramRun, TerminationSignalsCloseTheProgramInOrder) {
    struct Case {
        const char* what;
        int signalNumber;
        bool headless;
        double timePerDiv;  // set in this run, expected at the start of the next
    };
    const Case cases[] = {
        {"SIGTERM, no window", SIGTERM, true, 2e-3},
        {"SIGINT, no window", SIGINT, true, 5e-3},
        {"SIGHUP, window", SIGHUP, false, 10e-3},
        {"SIGTERM, window", SIGTERM, false, 20e-3},
    };
    const fs::path lock = root / "runtime" / "MtxZep9100.lock";
    std::optional<double> previous;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoteRun run;
        QStringList args{"--remote", "127.0.0.1:0"};
        if (c.headless) {
            args << "--headless";
        }
        QProcessEnvironment env = Environment(QStringLiteral("seed = 1"));
        if (c.headless) {
            env.remove("QT_QPA_PLATFORM");  // --headless chooses it
        }
        ASSERT_TRUE(run.Start(env, Q(root), args)) << run.errors;
        EXPECT_TRUE(fs::exists(lock));
        if (previous) {
            const auto read = run.Query(":TIMebase:SCALe?");
            ASSERT_TRUE(read) << run.errors;
            EXPECT_NEAR(std::stod(*read), *previous, *previous * 1e-9) << *read;
        }
        const std::string set = ":TIMebase:SCALe " + std::to_string(c.timePerDiv) + ";*OPC?";
        ASSERT_EQ(run.Query(set), std::optional<std::string>("1")) << run.errors;
        ASSERT_EQ(run.Query(":SYSTem:ERRor?"), std::optional<std::string>("0,\"No error\""));
        fs::remove(ParamFile());
        EXPECT_EQ(run.EndBy(c.signalNumber), 0) << run.errors;
        EXPECT_NE(run.errors.find("closing"), std::string::npos) << run.errors;
        EXPECT_TRUE(fs::exists(ParamFile())) << run.errors;
        EXPECT_FALSE(fs::exists(lock));
        previous = c.timePerDiv;
    }
    // The last run's setting, read back by one more start.
    RemoteRun last;
    QProcessEnvironment env = Environment(QStringLiteral("seed = 1"));
    env.remove("QT_QPA_PLATFORM");
    ASSERT_TRUE(last.Start(env, Q(root), {"--headless", "--remote", "127.0.0.1:0"})) << last.errors;
    const auto read = last.Query(":TIMebase:SCALe?");
    ASSERT_TRUE(read) << last.errors;
    EXPECT_NEAR(std::stod(*read), *previous, *previous * 1e-9) << *read;
    EXPECT_EQ(last.EndBy(SIGTERM), 0) << last.errors;
}

}  // namespace
