#pragma once

#include <functional>

namespace lumatrace {

// The requests to end the program that arrive as signals: SIGTERM (kill, a
// service manager, a test harness), SIGINT (Ctrl+C in the terminal) and
// SIGHUP (the terminal went away). The program answers them as it answers a
// closed window, which takes the event loop: the handler runs there, never
// inside the signal handler.
class TerminationSignals {
  public:
    virtual ~TerminationSignals() = default;
    // `handler` is called on the thread that owns the service, from its event
    // loop, once for every request in the order they came, with the signal's
    // number. Requests that came before a handler was set are handed to it
    // when it is set.
    virtual void SetHandler(std::function<void(int signalNumber)> handler) = 0;
};

}  // namespace lumatrace
