#include "app/remote/RemoteServer.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <atomic>
#include <cerrno>
#include <future>
#include <memory>
#include <utility>

#include "app/remote/RemoteSocketWorker.h"
#include "app/remote/ScpiErrors.h"

namespace lumatrace {

namespace {

// How much of a client's input is taken in one go.
constexpr qint64 kReadChunk = 64 * 1024;
// How often messages waiting for the instrument look again.
constexpr int kPollMs = 10;

// Pieces of output handed to the system in one call.
constexpr int kGatherPieces = 16;

// Accepted sockets read from the system only when asked to (see Accept).
// Their output does not go through Qt at all.
class UnbufferedTcpServer : public QTcpServer {
  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor, QAbstractSocket::ConnectedState,
                                         QIODevice::ReadWrite | QIODevice::Unbuffered)) {
            delete socket;
            return;
        }
        addPendingConnection(socket);
    }
};

// Unique for the life of the process, so that an event still on its way from
// a stopped server never lands on a client of a new one.
std::atomic<std::uint64_t> nextClientId{1};

}  // namespace

// ---------------------------------------------------------------------------
// Socket thread.

RemoteSocketWorker::~RemoteSocketWorker() {
    delete server_;
    for (auto& [id, client] : clients_) {
        delete client->writable;
        client->socket->disconnect(this);
        client->socket->abort();
        delete client->socket;
    }
}

bool RemoteSocketWorker::Listen(const QString& address, quint16 port, QString* error,
                                quint16* bound) {
    server_ = new UnbufferedTcpServer;
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

void RemoteSocketWorker::Accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (static_cast<int>(clients_.size()) >= limits_.maxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        const std::uint64_t id = nextClientId++;
        socket->setParent(nullptr);
        // Unbuffered, Qt reads from the system only when we do: a client that
        // floods us while its message runs is held back by TCP itself.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto client = std::make_unique<Client>(socket, limits_.maxMessageBytes);
        client->writable = new QSocketNotifier(socket->socketDescriptor(), QSocketNotifier::Write);
        client->writable->setEnabled(false);
        connect(socket, &QTcpSocket::readyRead, this, [this, id] { Pump(id); });
        connect(client->writable, &QSocketNotifier::activated, this, [this, id] {
            if (Flush(id)) {
                Pump(id);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, id] { Drop(id); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, id] { Drop(id); });
        clients_.emplace(id, std::move(client));
        Pump(id);
    }
}

void RemoteSocketWorker::Pump(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) {
        return;
    }
    Client& c = *it->second;
    while (!c.busy) {
        if (c.unsent > limits_.maxPendingOutput) {
            return;  // the socket's turning writable brings us back
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
        events_.Post(
            {m.overrun ? RemoteSocketEvent::Kind::kOverrun : RemoteSocketEvent::Kind::kMessage, id,
             std::move(m.text)});
    }
}

void RemoteSocketWorker::Deliver(std::uint64_t client, ScpiResponseMessage response) {
    const auto it = clients_.find(client);
    if (it == clients_.end()) {
        return;  // gone while its message ran
    }
    Client& c = *it->second;
    c.busy = false;
    if (!response.empty()) {
        c.unsent += response.size();
        c.output.push_back(std::move(response));
        if (c.output.size() == 1 && !Flush(client)) {
            return;
        }
    }
    Pump(client);
}

bool RemoteSocketWorker::Flush(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) {
        return false;
    }
    Client& c = *it->second;
    const int fd = static_cast<int>(c.socket->socketDescriptor());
    while (!c.output.empty()) {
        // The unsent bytes, from where the system stopped taking them last.
        iovec pieces[kGatherPieces];
        int count = 0;
        std::size_t skip = c.sent;
        for (const ScpiResponseMessage& m : c.output) {
            for (const std::span<const char> bytes : m.Pieces()) {
                if (count == kGatherPieces) {
                    break;
                }
                if (skip >= bytes.size()) {
                    skip -= bytes.size();
                    continue;
                }
                pieces[count++] = {const_cast<char*>(bytes.data() + skip), bytes.size() - skip};
                skip = 0;
            }
        }
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = static_cast<std::size_t>(count);
        const ssize_t n = ::sendmsg(fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                c.writable->setEnabled(true);
                return true;
            }
            // Gone, or broken: what it had asked for goes nowhere.
            Drop(id);
            return false;
        }
        c.unsent -= static_cast<std::size_t>(n);
        c.sent += static_cast<std::size_t>(n);
        while (!c.output.empty() && c.sent >= c.output.front().size()) {
            c.sent -= c.output.front().size();
            c.output.pop_front();
        }
    }
    c.writable->setEnabled(false);
    return true;
}

void RemoteSocketWorker::Drop(std::uint64_t id) {
    const auto it = clients_.find(id);
    if (it == clients_.end()) {
        return;
    }
    QTcpSocket* socket = it->second->socket;
    // Before the socket gives up its descriptor. Possibly called from the
    // notifier's own signal: deleted once that has returned.
    it->second->writable->setEnabled(false);
    it->second->writable->deleteLater();
    clients_.erase(it);
    socket->disconnect(this);
    socket->abort();
    // Called from the socket's own signals: delete it once they have returned.
    socket->deleteLater();
    events_.Post({RemoteSocketEvent::Kind::kGone, id, {}});
}

// ---------------------------------------------------------------------------
// Command thread.

RemoteServer::RemoteServer(ScpiInterpreter& interpreter, RemoteServerLimits limits, QObject* parent)
    : QObject(parent),
      interpreter_(interpreter),
      limits_(limits),
      eventsNotifier_(events_.wakeFd(), QSocketNotifier::Read) {
    connect(&eventsNotifier_, &QSocketNotifier::activated, this, &RemoteServer::TakeEvents);
    poll_.setInterval(kPollMs);
    connect(&poll_, &QTimer::timeout, this, &RemoteServer::ResumeWaiting);
}

RemoteServer::~RemoteServer() {
    Stop();
}

bool RemoteServer::Listen(const RemoteEndpoint& endpoint, QString* error) {
    Stop();
    struct Started {
        bool ok = false;
        QString error;
        quint16 port = 0;
    };
    auto started = std::make_shared<std::promise<Started>>();
    std::future<Started> result = started->get_future();
    const QString address = QString::fromStdString(endpoint.address);
    const quint16 port = endpoint.port;
    const RemoteServerLimits limits = limits_;
    ThreadMailbox<RemoteSocketEvent>* events = &events_;
    ThreadMailbox<RemoteAnswer>* answers = &answers_;

    thread_ = std::thread([=] {
        // The loop first: it gives this thread the event dispatcher that the
        // sockets and notifiers below register with.
        QEventLoop loop;
        RemoteSocketWorker worker(limits, *events);
        Started s;
        s.ok = worker.Listen(address, port, &s.error, &s.port);
        if (!s.ok) {
            started->set_value(s);
            return;
        }
        QSocketNotifier notifier(answers->wakeFd(), QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, &worker, [&] {
            for (RemoteAnswer& a : answers->Take()) {
                if (a.stop) {
                    loop.quit();
                    return;
                }
                worker.Deliver(a.client, std::move(a.response));
            }
        });
        started->set_value(s);
        loop.exec();
        // Sockets dropped earlier are waiting for their deferred delete.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    const Started s = result.get();
    if (!s.ok) {
        thread_.join();
        if (error) {
            *error = s.error;
        }
        return false;
    }
    port_ = s.port;
    return true;
}

void RemoteServer::Stop() {
    if (!thread_.joinable()) {
        return;
    }
    answers_.Post({true, 0, {}});
    thread_.join();
    // Whatever the socket thread left behind belongs to clients that are gone.
    events_.Take();
    answers_.Take();
    port_ = 0;
    conversations_.clear();
    waiting_.clear();
    poll_.stop();
}

void RemoteServer::TakeEvents() {
    for (RemoteSocketEvent& e : events_.Take()) {
        switch (e.kind) {
            case RemoteSocketEvent::Kind::kMessage:
                Execute(e.client, std::move(e.message));
                break;
            case RemoteSocketEvent::Kind::kOverrun:
                interpreter_.status().Push(
                    scpi_error::kInputBufferOverrun,
                    "line longer than " + std::to_string(limits_.maxMessageBytes) + " bytes");
                Answer(e.client, {});
                break;
            case RemoteSocketEvent::Kind::kGone:
                Forget(e.client);
                break;
        }
    }
}

void RemoteServer::Execute(std::uint64_t client, std::string message) {
    ScpiConversation& c = conversations_[client];
    if (interpreter_.Execute(c, std::move(message)) == ScpiInterpreter::Outcome::kWaiting) {
        waiting_.insert(client);
        poll_.start();
        return;
    }
    Answer(client, std::move(c.response));
}

void RemoteServer::Answer(std::uint64_t client, ScpiResponseMessage response) {
    // The response moves to the socket thread as it is: a record of
    // megabytes is not copied on the way.
    answers_.Post({false, client, std::move(response)});
}

void RemoteServer::Forget(std::uint64_t client) {
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
        const std::uint64_t client = *it;
        ScpiConversation& c = conversations_[client];
        if (interpreter_.Resume(c) == ScpiInterpreter::Outcome::kWaiting) {
            ++it;
            continue;
        }
        it = waiting_.erase(it);
        Answer(client, std::move(c.response));
    }
    if (waiting_.empty()) {
        poll_.stop();
    }
}

}  // namespace lumatrace
