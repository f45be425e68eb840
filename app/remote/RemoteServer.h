// The remote-control server: SCPI over a raw TCP socket, one message per
// line, as bench instruments offer on port 5025.
//
// Two threads. The sockets live on a thread of the server's own, which
// accepts clients, reads and frames their input and writes the answers; it
// never waits on the program. The commands run on the thread that created
// the RemoteServer (the user-interface thread, or the main thread of a
// program without a window; it needs a running Qt event loop and nothing
// else). Messages and answers pass between the two through mailboxes, so
// several clients are served strictly one command at a time, and a slow
// client or a large record never holds up the window.
//
// Per client, messages run in the order sent, the next only after the
// previous one has answered; a message that waits for the instrument
// (*OPC?, *WAI during a Single run) holds back only its own client. A
// client that never reads its answers stops being read once its unsent
// output passes a limit, so memory stays bounded. Answers go from the
// command thread to the socket thread by moving them, and from there to the
// system with gather writes straight from the answer's memory; what the
// system does not take at once waits in the answer itself until the socket
// is writable again.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "app/remote/RemoteAddress.h"
#include "app/remote/ScpiInterpreter.h"
#include "app/remote/ScpiResponse.h"
#include "app/remote/ThreadMailbox.h"

namespace lumatrace {

struct RemoteServerLimits {
    // Longest program message; a longer line is dropped with -363.
    std::size_t maxMessageBytes = 64 * 1024;
    // Clients served at once; further connections are closed at once.
    int maxClients = 8;
    // Unsent output above which a client's input is no longer read.
    std::size_t maxPendingOutput = 8 * 1024 * 1024;
};

// From the socket thread to the command thread.
struct RemoteSocketEvent {
    enum class Kind { kMessage, kOverrun, kGone };
    Kind kind = Kind::kMessage;
    std::uint64_t client = 0;
    std::string message;
};

// From the command thread to the socket thread.
struct RemoteAnswer {
    bool stop = false;  // end the socket thread
    std::uint64_t client = 0;
    ScpiResponseMessage response;  // empty when the message had no queries
};

class RemoteServer : public QObject {
    Q_OBJECT

  public:
    // The interpreter (and the instrument behind it) is used only on the
    // thread that creates the server.
    explicit RemoteServer(ScpiInterpreter& interpreter, RemoteServerLimits limits = {},
                          QObject* parent = nullptr);
    ~RemoteServer() override;

    // Starts listening; false with a reason when the address cannot be
    // bound (in use, not an address of this machine).
    bool Listen(const RemoteEndpoint& endpoint, QString* error);
    // The bound port (the chosen one when 0 was asked for); 0 when not listening.
    quint16 Port() const { return port_; }
    // Closes every connection and the listening socket. Messages waiting
    // for the instrument are dropped.
    void Stop();

    // Messages waiting for the instrument are checked at once instead of at
    // the next poll; call when a Single run ends. Optional.
    void OperationStateChanged();

  private:
    void TakeEvents();
    void Execute(std::uint64_t client, std::string message);
    void Forget(std::uint64_t client);
    void ResumeWaiting();
    void Answer(std::uint64_t client, ScpiResponseMessage response);

    ScpiInterpreter& interpreter_;
    RemoteServerLimits limits_;
    ThreadMailbox<RemoteSocketEvent> events_;
    ThreadMailbox<RemoteAnswer> answers_;
    QSocketNotifier eventsNotifier_;
    std::thread thread_;  // the socket thread; Qt adopts it
    quint16 port_ = 0;
    std::map<std::uint64_t, ScpiConversation> conversations_;
    std::set<std::uint64_t> waiting_;
    QTimer poll_;
};

}  // namespace lumatrace
