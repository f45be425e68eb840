#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "app/platform/SingleInstance.h"
#include "app/platform/tests/QtTestApp.h"

namespace lumatrace {
namespace {

using testing::TestApp;

const QString kName = QStringLiteral("MtxZep9100");

// Processes events until `done` holds; gives up after a generous time so a
// broken handoff fails the test instead of hanging it.
template <typename Pred>
bool SpinUntil(Pred done) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > 20000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// Runs the helper program to completion while this process keeps serving its
// event loop; returns its exit code.
int RunHelper(const QStringList& arguments) {
    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedChannels);
    helper.start(QStringLiteral(LUMATRACE_INSTANCE_HELPER), arguments);
    EXPECT_TRUE(helper.waitForStarted());
    EXPECT_TRUE(SpinUntil([&] { return helper.state() == QProcess::NotRunning; }));
    EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
    return helper.exitCode();
}

class PlatformSingleInstance : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir_.isValid());
    }
    QString Folder() const { return dir_.path(); }

    QTemporaryDir dir_;
};

TEST_F(PlatformSingleInstance, SecondProcessHandsItsArgumentsToTheFirst) {
    SingleInstance first(kName, Folder());
    std::vector<QStringList> received;
    first.SetArgumentsHandler([&](const QStringList& args) { received.push_back(args); });
    const auto outcome = first.Start({QStringLiteral("lumatrace")});
    ASSERT_EQ(outcome.role, SingleInstance::Role::Primary);
    EXPECT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();

    const QString file = QStringLiteral("/data/波形 1.zep");
    EXPECT_EQ(RunHelper({QStringLiteral("second"), Folder(), kName, file, QStringLiteral("-x")}),
              0);
    ASSERT_TRUE(SpinUntil([&] { return !received.empty(); }));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (QStringList{QStringLiteral("lumatrace"), file, QStringLiteral("-x")}));
}

TEST_F(PlatformSingleInstance, SecondStartInTheSameProcessIsTurnedAway) {
    SingleInstance first(kName, Folder());
    std::vector<QStringList> received;
    first.SetArgumentsHandler([&](const QStringList& args) { received.push_back(args); });
    ASSERT_EQ(first.Start({}).role, SingleInstance::Role::Primary);

    SingleInstance second(kName, Folder());
    const QStringList args{QStringLiteral("lumatrace"), QStringLiteral("a.zep")};
    const auto outcome = second.Start(args);
    EXPECT_EQ(outcome.role, SingleInstance::Role::Secondary);
    EXPECT_TRUE(outcome.delivered) << outcome.error.toStdString();
    ASSERT_TRUE(SpinUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received[0], args);
}

TEST_F(PlatformSingleInstance, LockLeftByACrashDoesNotBlockTheNextStart) {
    // The helper becomes the first instance and dies without cleaning up.
    EXPECT_EQ(RunHelper({QStringLiteral("crash"), Folder(), kName}), 0);
    ASSERT_TRUE(QFile::exists(Folder() + QStringLiteral("/MtxZep9100.lock")));

    SingleInstance next(kName, Folder());
    std::vector<QStringList> received;
    next.SetArgumentsHandler([&](const QStringList& args) { received.push_back(args); });
    const auto outcome = next.Start({});
    ASSERT_EQ(outcome.role, SingleInstance::Role::Primary);
    // The socket file the dead instance left must not stop us listening.
    EXPECT_TRUE(outcome.error.isEmpty()) << outcome.error.toStdString();
    EXPECT_EQ(RunHelper({QStringLiteral("second"), Folder(), kName, QStringLiteral("b.zep")}), 0);
    ASSERT_TRUE(SpinUntil([&] { return !received.empty(); }));
    EXPECT_EQ(received[0], (QStringList{QStringLiteral("lumatrace"), QStringLiteral("b.zep")}));
}

TEST_F(PlatformSingleInstance, LiveHolderThatDoesNotAnswerIsNotTakenOver) {
    QLockFile held(Folder() + QStringLiteral("/MtxZep9100.lock"));
    ASSERT_TRUE(held.tryLock(0));
    SingleInstance second(kName, Folder());
    const auto outcome = second.Start({QStringLiteral("lumatrace")}, 200);
    EXPECT_EQ(outcome.role, SingleInstance::Role::Secondary);
    EXPECT_FALSE(outcome.delivered);
    EXPECT_FALSE(outcome.error.isEmpty());
}

TEST(PlatformSingleInstanceMessage, DecodesOnlyCompleteWellFormedMessages) {
    const QStringList args{QStringLiteral("lumatrace"), QString(), QStringLiteral("ファイル.zep")};
    const QByteArray message = SingleInstance::EncodeArguments(args);
    QStringList out;
    ASSERT_EQ(SingleInstance::DecodeArguments(message, out), SingleInstance::DecodeState::Complete);
    EXPECT_EQ(out, args);

    for (qsizetype cut = 0; cut < message.size(); ++cut) {
        EXPECT_EQ(SingleInstance::DecodeArguments(message.left(cut), out),
                  SingleInstance::DecodeState::Incomplete)
            << cut;
    }
    EXPECT_EQ(SingleInstance::DecodeArguments(message + "x", out),
              SingleInstance::DecodeState::Invalid);
    QByteArray wrongMagic = message;
    wrongMagic[0] = 'X';
    EXPECT_EQ(SingleInstance::DecodeArguments(wrongMagic, out),
              SingleInstance::DecodeState::Invalid);
    const QByteArray hugeCount = QByteArray("MTXZ") + QByteArray("\xff\xff\xff\x7f", 4);
    EXPECT_EQ(SingleInstance::DecodeArguments(hugeCount, out),
              SingleInstance::DecodeState::Invalid);
    const QByteArray hugeLength =
        QByteArray("MTXZ") + QByteArray("\x01\0\0\0", 4) + QByteArray("\xff\xff\xff\x7f", 4);
    EXPECT_EQ(SingleInstance::DecodeArguments(hugeLength, out),
              SingleInstance::DecodeState::Invalid);
}

}  // namespace
}  // namespace lumatrace
