#pragma once

#include <QObject>

#include <csignal>
#include <functional>
#include <memory>
#include <vector>

#include "app/platform/TerminationSignals.h"

class QSocketNotifier;

namespace lumatrace {

// SIGTERM, SIGINT and SIGHUP through a self-pipe: the signal handler only
// writes the signal's number into a pipe (the one thing it may safely do);
// the event loop watches the pipe and calls the handler. One instance at a
// time; it installs its signal handlers when created and puts back the ones
// it found when destroyed. Needs a QCoreApplication.
class PosixTerminationSignals final : public QObject, public TerminationSignals {
  public:
    // The signals it takes over.
    static constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

    // Throws std::system_error when the pipe or a signal handler cannot be
    // set up, std::logic_error when another instance exists.
    explicit PosixTerminationSignals(QObject* parent = nullptr);
    ~PosixTerminationSignals() override;
    PosixTerminationSignals(const PosixTerminationSignals&) = delete;
    PosixTerminationSignals& operator=(const PosixTerminationSignals&) = delete;

    void SetHandler(std::function<void(int signalNumber)> handler) override;

  private:
    void TakeSignals();

    int fds_[2] = {-1, -1};
    struct sigaction previous_[std::size(kSignals)] = {};
    std::unique_ptr<QSocketNotifier> notifier_;
    std::function<void(int)> handler_;
    std::vector<int> pending_;
};

}  // namespace lumatrace
