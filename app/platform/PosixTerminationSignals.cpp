#include "app/platform/PosixTerminationSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace lumatrace {

namespace {

// The write end of the instance's pipe, for the signal handler; -1 when no
// instance exists. Lock-free, so the handler may read it.
std::atomic<int> signalPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void WriteSignalToPipe(int signalNumber) {
    const int savedErrno = errno;
    const int fd = signalPipe.load(std::memory_order_relaxed);
    if (fd >= 0) {
        const auto byte = static_cast<unsigned char>(signalNumber);
        // Non-blocking: should the pipe ever be full (thousands of signals the
        // loop has not yet read), the program is ending anyway.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

PosixTerminationSignals::PosixTerminationSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "pipe for termination signals");
    }
    int expected = -1;
    if (!signalPipe.compare_exchange_strong(expected, fds_[1])) {
        ::close(fds_[0]);
        ::close(fds_[1]);
        throw std::logic_error("termination signals are already taken over");
    }
    notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this,
            &PosixTerminationSignals::TakeSignals);

    struct sigaction action = {};
    action.sa_handler = WriteSignalToPipe;
    sigemptyset(&action.sa_mask);
    // A system call the signal interrupts goes on where it can.
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        if (::sigaction(kSignals[i], &action, &previous_[i]) != 0) {
            const int error = errno;
            for (std::size_t j = 0; j < i; ++j) {
                ::sigaction(kSignals[j], &previous_[j], nullptr);
            }
            signalPipe.store(-1);
            notifier_.reset();
            ::close(fds_[0]);
            ::close(fds_[1]);
            throw std::system_error(error, std::generic_category(), "termination signal handler");
        }
    }
}

PosixTerminationSignals::~PosixTerminationSignals() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) {
        ::sigaction(kSignals[i], &previous_[i], nullptr);
    }
    signalPipe.store(-1);
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void PosixTerminationSignals::SetHandler(std::function<void(int signalNumber)> handler) {
    handler_ = std::move(handler);
    if (!handler_) {
        return;
    }
    // The handler may replace itself or destroy this object: go by copies.
    const std::vector<int> waiting = std::exchange(pending_, {});
    const std::function<void(int)> call = handler_;
    for (const int signalNumber : waiting) {
        call(signalNumber);
    }
}

void PosixTerminationSignals::TakeSignals() {
    unsigned char buffer[64];
    std::vector<int> received;
    ssize_t n = 0;
    while ((n = ::read(fds_[0], buffer, sizeof buffer)) > 0) {
        received.insert(received.end(), buffer, buffer + n);
    }
    if (!handler_) {
        pending_.insert(pending_.end(), received.begin(), received.end());
        return;
    }
    const std::function<void(int)> call = handler_;
    for (const int signalNumber : received) {
        call(signalNumber);
    }
}

}  // namespace lumatrace
