// The socket side of RemoteServer. Created, used and destroyed on the
// server's socket thread; it meets the command thread only through the two
// mailboxes.
#pragma once

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>

#include "app/remote/RemoteServer.h"
#include "app/remote/ScpiInputFramer.h"

class QSocketNotifier;
class QTcpServer;
class QTcpSocket;

namespace lumatrace {

class RemoteSocketWorker : public QObject {
  public:
    RemoteSocketWorker(RemoteServerLimits limits, ThreadMailbox<RemoteSocketEvent>& events)
        : limits_(limits), events_(events) {}
    ~RemoteSocketWorker() override;

    bool Listen(const QString& address, quint16 port, QString* error, quint16* bound);
    // Writes a response and goes on with the client's input.
    void Deliver(std::uint64_t client, ScpiResponseMessage response);

  private:
    struct Client {
        Client(QTcpSocket* s, std::size_t maxMessageBytes) : socket(s), framer(maxMessageBytes) {}
        QTcpSocket* socket = nullptr;  // reads; writes go to its descriptor
        ScpiInputFramer framer;
        bool busy = false;  // a message is with the interpreter
        // Answers not yet taken by the system, oldest first; `sent` bytes of
        // the first are gone.
        std::deque<ScpiResponseMessage> output;
        std::size_t sent = 0;
        std::size_t unsent = 0;
        QSocketNotifier* writable = nullptr;  // on while output waits
    };
    void Accept();
    void Pump(std::uint64_t id);
    // Writes what the system takes; false when the client is gone (dropped).
    bool Flush(std::uint64_t id);
    void Drop(std::uint64_t id);

    RemoteServerLimits limits_;
    ThreadMailbox<RemoteSocketEvent>& events_;
    QTcpServer* server_ = nullptr;
    std::map<std::uint64_t, std::unique_ptr<Client>> clients_;
};

}  // namespace lumatrace
