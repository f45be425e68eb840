#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;
class QLockFile;

namespace lumatrace {

// One running program per user. The first start holds a lock file and listens
// on a local socket; a later start finds the lock taken, sends its argument
// count and arguments over the socket and is told to exit. A lock left behind
// by a crashed instance is recognised by its dead process and taken over, and
// so is the socket file it left.
class SingleInstance {
  public:
    static constexpr const char* kDefaultName = "MtxZep9100";

    enum class Role { Primary, Secondary };
    struct Outcome {
        Role role = Role::Primary;
        bool delivered = false;  // Secondary: the arguments reached the first instance
        QString error;           // what went wrong, if anything (Primary still runs)
    };

    // The lock file is <folder>/<name>.lock and the socket <folder>/<name>.
    explicit SingleInstance(QString name = QString::fromLatin1(kDefaultName),
                            QString folder = DefaultFolder());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // Called on the first instance (in its event loop) with the argument list
    // a later start handed over.
    void SetArgumentsHandler(std::function<void(const QStringList&)> handler);

    // Becomes the first instance, or hands `arguments` (argv, program path
    // included) to the one already running, waiting at most `handoffTimeoutMs`
    // for it to answer.
    Outcome Start(const QStringList& arguments, int handoffTimeoutMs = 5000);

    // The per-user runtime folder.
    static QString DefaultFolder();

    // The message a later start sends: "MTXZ", argument count, then each
    // argument as byte length and UTF-8 text, all counts 32-bit little-endian.
    static QByteArray EncodeArguments(const QStringList& arguments);
    enum class DecodeState { Complete, Incomplete, Invalid };
    static DecodeState DecodeArguments(const QByteArray& message, QStringList& arguments);

  private:
    bool Listen(QString& error);
    bool HandOver(const QStringList& arguments, int timeoutMs, QString& error);
    void Accept();

    QString name_;
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void(const QStringList&)> handler_;
};

}  // namespace lumatrace
