#include "app/remote/RemoteServer.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <string>
#include <utility>

#include "app/remote/RemoteSocketWorker.h"
#include "app/remote/ScpiErrors.h"

namespace lumatrace {

namespace {

// How much of a client's input is taken in one go.
constexpr qint64 kReadChunk = 64 * 1024;
// How often messages waiting for the instrument look again.
constexpr int kPollMs = 10;

}  // namespace

// ---------------------------------------------------------------------------
// Socket thread.

bool RemoteSocketWorker::Listen(const QString& address, quint16 port, QString* error,
                                quint16* bound) {
    server_ = new QTcpServer(this);
    server_->setMaxPendingConnections(limits_.maxClients);
    if (!server_->listen(QHostAddress(address), port)) {
        *error = server_->errorString();
        delete server_;
        server_ = nullptr;
        return false;
    }
    *bound = server_->serverPort();
    connect(server_, &QTcpServer::newConnection, this, &RemoteSocketWorker::Accept);
    return true;
}

void RemoteSocketWorker::Shutdown() {
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
    for (auto& [id, client] : clients_) {
        client->socket->disconnect(this);
        client->socket->abort();
        delete client->socket;
    }
    clients_.clear();
}

void RemoteSocketWorker::Accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (static_cast<int>(clients_.size()) >= limits_.maxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // Unique for the life of the process, so that a message still on its
        // way from a stopped server never lands on a client of a new one.
        static std::atomic<quint64> nextId{1};
        const quint64 id = nextId++;
        socket->setParent(nullptr);
        // Qt stops reading from the system once this much waits unread, so a
        // client that floods us is held back by TCP itself.
        socket->setReadBufferSize(kReadChunk);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto client = std::make_unique<Client>(
            Client{socket, ScpiInputFramer(limits_.maxMessageBytes), false});
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { Pump(id); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, id] { Pump(id); });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { Drop(id); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id] { Drop(id); });
        clients_.emplace(id, std::move(client));
        Pump(id);
    }
}

void RemoteSocketWorker::Pump(quint64 id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) {
        return;
    }
    Client& c = *it->second;
    while (!c.busy) {
        if (static_cast<std::size_t>(c.socket->bytesToWrite()) > limits_.maxPendingOutput) {
            return;  // bytesWritten brings us back
        }
        if (!c.framer.HasMessage()) {
            if (c.socket->bytesAvailable() <= 0) {
                return;
            }
            const QByteArray chunk = c.socket->read(kReadChunk);
            c.framer.Feed(
                std::string_view(chunk.constData(), static_cast<std::size_t>(chunk.size())));
            continue;
        }
        ScpiFramedMessage m = c.framer.TakeMessage();
        c.busy = true;
        emit MessageReady(id, QByteArray(m.text.data(), static_cast<qsizetype>(m.text.size())),
                          m.overrun);
    }
}

void RemoteSocketWorker::Deliver(quint64 client, QByteArray response) {
    const auto it = clients_.find(client);
    if (it == clients_.end()) {
        return;  // gone while its message ran
    }
    Client& c = *it->second;
    if (!response.isEmpty()) {
        c.socket->write(response);
    }
    c.busy = false;
    Pump(client);
}

void RemoteSocketWorker::Drop(quint64 id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) {
        return;
    }
    QTcpSocket* socket = it->second->socket;
    clients_.erase(it);
    socket->disconnect(this);
    socket->abort();
    // Called from the socket's own signals: delete it once they have returned.
    socket->deleteLater();
    emit ClientGone(id);
}

// ---------------------------------------------------------------------------
// Command thread.

RemoteServer::RemoteServer(ScpiInterpreter& interpreter, RemoteServerLimits limits, QObject* parent)
    : QObject(parent), interpreter_(interpreter), limits_(limits) {
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &RemoteServer::ResumeWaiting);
}

RemoteServer::~RemoteServer() {
    Stop();
}

bool RemoteServer::Listen(const RemoteEndpoint& endpoint, QString* error) {
    Stop();
    worker_ = new RemoteSocketWorker(limits_);
    worker_->moveToThread(&thread_);
    connect(worker_, &RemoteSocketWorker::MessageReady, this, &RemoteServer::Execute);
    connect(worker_, &RemoteSocketWorker::ClientGone, this, &RemoteServer::Forget);
    connect(this, &RemoteServer::Answered, worker_, &RemoteSocketWorker::Deliver);
    thread_.setObjectName("RemoteSockets");
    thread_.start();

    bool ok = false;
    QString why;
    quint16 bound = 0;
    const QString address = QString::fromStdString(endpoint.address);
    QMetaObject::invokeMethod(
        worker_, [&] { ok = worker_->Listen(address, endpoint.port, &why, &bound); },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        Stop();
        if (error) {
            *error = why;
        }
        return false;
    }
    port_ = bound;
    return true;
}

void RemoteServer::Stop() {
    if (!worker_) {
        return;
    }
    QMetaObject::invokeMethod(
        worker_,
        [this] {
            worker_->Shutdown();
            // Sockets dropped earlier are waiting for their deferred delete.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
    delete worker_;
    worker_ = nullptr;
    port_ = 0;
    conversations_.clear();
    waiting_.clear();
    poll_.stop();
}

void RemoteServer::Execute(quint64 client, QByteArray message, bool overrun) {
    if (!worker_) {
        return;  // posted before Stop()
    }
    if (overrun) {
        interpreter_.status().Push(
            scpi_error::kInputBufferOverrun,
            "line longer than " + std::to_string(limits_.maxMessageBytes) + " bytes");
        emit Answered(client, {});
        return;
    }
    ScpiConversation& c = conversations_[client];
    const auto outcome = interpreter_.Execute(
        c, std::string(message.constData(), static_cast<std::size_t>(message.size())));
    if (outcome == ScpiInterpreter::Outcome::kWaiting) {
        waiting_.insert(client);
        poll_.start();
        return;
    }
    emit Answered(client, QByteArray(c.response.data(), static_cast<qsizetype>(c.response.size())));
}

void RemoteServer::Forget(quint64 client) {
    conversations_.erase(client);
    waiting_.erase(client);
    if (waiting_.empty()) {
        poll_.stop();
    }
}

void RemoteServer::OperationStateChanged() {
    ResumeWaiting();
}

void RemoteServer::ResumeWaiting() {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        const quint64 client = *it;
        ScpiConversation& c = conversations_[client];
        if (interpreter_.Resume(c) == ScpiInterpreter::Outcome::kWaiting) {
            ++it;
            continue;
        }
        it = waiting_.erase(it);
        emit Answered(client,
                      QByteArray(c.response.data(), static_cast<qsizetype>(c.response.size())));
    }
    if (waiting_.empty()) {
        poll_.stop();
    }
}

}  // namespace lumatrace
