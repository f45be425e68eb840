// The socket side of RemoteServer. Created, used and destroyed on the
// server's socket thread; it meets the command thread only through the two
// mailboxes.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "app/remote/RemoteServer.h"
#include "app/remote/ScpiInputFramer.h"

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
    void Deliver(std::uint64_t client, const std::string& response);

  private:
    struct Client {
        QTcpSocket* socket = nullptr;
        ScpiInputFramer framer;
        bool busy = false;  // a message is with the interpreter
    };
    void Accept();
    void Pump(std::uint64_t id);
    void Drop(std::uint64_t id);

    RemoteServerLimits limits_;
    ThreadMailbox<RemoteSocketEvent>& events_;
    QTcpServer* server_ = nullptr;
    std::map<std::uint64_t, std::unique_ptr<Client>> clients_;
};

}  // namespace lumatrace
