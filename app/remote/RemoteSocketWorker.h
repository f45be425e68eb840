// The socket side of RemoteServer; lives on the server's own thread.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

#include "app/remote/RemoteServer.h"
#include "app/remote/ScpiInputFramer.h"

class QTcpServer;
class QTcpSocket;

namespace lumatrace {

class RemoteSocketWorker : public QObject {
    Q_OBJECT

  public:
    explicit RemoteSocketWorker(RemoteServerLimits limits) : limits_(limits) {}

    // Both run on the worker's thread (called through a blocking queued call).
    bool Listen(const QString& address, quint16 port, QString* error, quint16* bound);
    void Shutdown();

  public slots:
    void Deliver(quint64 client, QByteArray response);

  signals:
    void MessageReady(quint64 client, QByteArray message, bool overrun);
    void ClientGone(quint64 client);

  private:
    struct Client {
        QTcpSocket* socket = nullptr;
        ScpiInputFramer framer;
        bool busy = false;  // a message is with the interpreter
    };
    void Accept();
    void Pump(quint64 id);
    void Drop(quint64 id);

    RemoteServerLimits limits_;
    QTcpServer* server_ = nullptr;
    std::map<quint64, std::unique_ptr<Client>> clients_;
};

}  // namespace lumatrace
