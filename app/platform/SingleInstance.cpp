#include "app/platform/SingleInstance.h"

#include <unistd.h>

#include <algorithm>

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

namespace lumatrace {

namespace {

constexpr char kMagic[4] = {'M', 'T', 'X', 'Z'};
// A command line is far below this; anything bigger is not one of ours.
constexpr qsizetype kMaxMessage = 4 * 1024 * 1024;
constexpr quint32 kMaxArguments = 65536;

void AppendU32(QByteArray& out, quint32 v) {
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

quint32 ReadU32(const QByteArray& in, qsizetype at) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i) {
        v |= static_cast<quint32>(static_cast<unsigned char>(in.at(at + i))) << (8 * i);
    }
    return v;
}

}  // namespace

SingleInstance::SingleInstance(QString name, QString folder)
    : name_(std::move(name)), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (server_) {
        server_->close();
    }
    // The lock file is removed by QLockFile's destructor.
}

void SingleInstance::SetArgumentsHandler(std::function<void(const QStringList&)> handler) {
    handler_ = std::move(handler);
}

QString SingleInstance::DefaultFolder() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/lumatrace-") + QString::number(::getuid());
        QDir().mkpath(folder);
    }
    return folder;
}

SingleInstance::Outcome SingleInstance::Start(const QStringList& arguments, int handoffTimeoutMs) {
    Outcome outcome;
    QDir().mkpath(folder_);
    lock_ =
        std::make_unique<QLockFile>(folder_ + QLatin1Char('/') + name_ + QStringLiteral(".lock"));
    // Never age a lock out: the first instance may run for days. A lock is
    // stale only when the process that wrote it is gone.
    lock_->setStaleLockTime(0);

    const QDeadlineTimer deadline(handoffTimeoutMs);
    for (;;) {
        if (lock_->tryLock(0)) {
            outcome.role = Role::Primary;
            Listen(outcome.error);
            return outcome;
        }
        if (lock_->error() != QLockFile::LockFailedError) {
            // The folder is unusable: run without the single-instance rule
            // rather than refuse to start.
            outcome.role = Role::Primary;
            outcome.error = QStringLiteral("cannot create the instance lock in ") + folder_;
            lock_.reset();
            return outcome;
        }
        outcome.role = Role::Secondary;
        if (HandOver(arguments, static_cast<int>(deadline.remainingTime()), outcome.error)) {
            outcome.delivered = true;
            outcome.error.clear();
            return outcome;
        }
        // The first instance may hold the lock but not listen yet, or may have
        // died since tryLock: try both again until the time is up.
        if (deadline.hasExpired()) {
            return outcome;
        }
        QThread::msleep(20);
    }
}

bool SingleInstance::Listen(QString& error) {
    const QString path = folder_ + QLatin1Char('/') + name_;
    // We hold the lock, so a socket file left here belongs to a dead instance.
    QLocalServer::removeServer(path);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path)) {
        error = server_->errorString();
        server_.reset();
        return false;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(),
                     [this] { Accept(); });
    return true;
}

void SingleInstance::Accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket, buffer] {
            buffer->append(socket->readAll());
            QStringList arguments;
            switch (DecodeArguments(*buffer, arguments)) {
                case DecodeState::Incomplete:
                    if (buffer->size() <= kMaxMessage) {
                        return;
                    }
                    [[fallthrough]];
                case DecodeState::Invalid:
                    socket->abort();
                    return;
                case DecodeState::Complete:
                    buffer->clear();
                    socket->disconnectFromServer();
                    if (handler_) {
                        handler_(arguments);
                    }
                    return;
            }
        });
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    }
}

bool SingleInstance::HandOver(const QStringList& arguments, int timeoutMs, QString& error) {
    const QDeadlineTimer deadline(std::max(timeoutMs, 0));
    QLocalSocket socket;
    socket.connectToServer(folder_ + QLatin1Char('/') + name_);
    if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
        error = socket.errorString();
        return false;
    }
    socket.write(EncodeArguments(arguments));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) {
            error = socket.errorString();
            return false;
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(static_cast<int>(deadline.remainingTime()));
    }
    return true;
}

QByteArray SingleInstance::EncodeArguments(const QStringList& arguments) {
    QByteArray out(kMagic, sizeof kMagic);
    AppendU32(out, static_cast<quint32>(arguments.size()));
    for (const QString& a : arguments) {
        const QByteArray utf8 = a.toUtf8();
        AppendU32(out, static_cast<quint32>(utf8.size()));
        out.append(utf8);
    }
    return out;
}

SingleInstance::DecodeState SingleInstance::DecodeArguments(const QByteArray& message,
                                                            QStringList& arguments) {
    arguments.clear();
    const qsizetype magicSize = static_cast<qsizetype>(sizeof kMagic);
    if (message.size() < magicSize) {
        return QByteArray(kMagic, message.size()) == message ? DecodeState::Incomplete
                                                             : DecodeState::Invalid;
    }
    if (message.left(magicSize) != QByteArray(kMagic, magicSize)) {
        return DecodeState::Invalid;
    }
    qsizetype at = magicSize;
    if (message.size() - at < 4) {
        return DecodeState::Incomplete;
    }
    const quint32 count = ReadU32(message, at);
    at += 4;
    if (count > kMaxArguments) {
        return DecodeState::Invalid;
    }
    QStringList decoded;
    for (quint32 i = 0; i < count; ++i) {
        if (message.size() - at < 4) {
            return DecodeState::Incomplete;
        }
        const quint32 length = ReadU32(message, at);
        at += 4;
        if (length > static_cast<quint32>(kMaxMessage)) {
            return DecodeState::Invalid;
        }
        if (message.size() - at < static_cast<qsizetype>(length)) {
            return DecodeState::Incomplete;
        }
        decoded << QString::fromUtf8(message.constData() + at, static_cast<qsizetype>(length));
        at += static_cast<qsizetype>(length);
    }
    if (at != message.size()) {
        return DecodeState::Invalid;
    }
    arguments = decoded;
    return DecodeState::Complete;
}

}  // namespace lumatrace
