// The termination signals reach the program's handler from its event loop,
// in order, and the service leaves the process's signal handling as it
// found it.
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

#include "app/platform/PosixTerminationSignals.h"

namespace lumatrace {
namespace {

// Runs the event loop until `count` signals have arrived or a generous bound
// passes (the bound only keeps a broken build from hanging).
void ProcessUntil(const std::vector<int>& received, std::size_t count) {
    QDeadlineTimer bound(30000);
    while (received.size() < count && !bound.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
}

TEST(PlatformTerminationSignals, EachSignalReachesTheHandlerFromTheEventLoop) {
    for (const int signalNumber : PosixTerminationSignals::kSignals) {
        SCOPED_TRACE(::strsignal(signalNumber));
        PosixTerminationSignals service;
        std::vector<int> received;
        service.SetHandler([&received](int n) { received.push_back(n); });
        ASSERT_EQ(std::raise(signalNumber), 0);
        // The signal handler has run and returned (the process lives on);
        // the program's handler waits for the event loop.
        EXPECT_TRUE(received.empty());
        ProcessUntil(received, 1);
        EXPECT_EQ(received, std::vector<int>{signalNumber});
    }
}

TEST(PlatformTerminationSignals, SignalsComeInOrderAndBeforeAHandlerAreKept) {
    PosixTerminationSignals service;
    ASSERT_EQ(std::raise(SIGHUP), 0);
    ASSERT_EQ(std::raise(SIGTERM), 0);
    // Nobody listens yet: the loop reads the pipe and keeps the requests.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::vector<int> received;
    service.SetHandler([&received](int n) { received.push_back(n); });
    EXPECT_EQ(received, (std::vector<int>{SIGHUP, SIGTERM}));
    ASSERT_EQ(std::raise(SIGINT), 0);
    ProcessUntil(received, 3);
    EXPECT_EQ(received, (std::vector<int>{SIGHUP, SIGTERM, SIGINT}));
}

// The handler that ends the program may destroy the service on its way.
TEST(PlatformTerminationSignals, TheHandlerMayDestroyTheService) {
    auto* service = new PosixTerminationSignals;
    std::vector<int> received;
    service->SetHandler([&](int n) {
        received.push_back(n);
        delete service;
        service = nullptr;
    });
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ProcessUntil(received, 1);
    EXPECT_EQ(received, std::vector<int>{SIGTERM});
    EXPECT_EQ(service, nullptr);
}

volatile std::sig_atomic_t outerSignal = 0;
extern "C" void RecordOuterSignal(int n) {
    outerSignal = n;
}

TEST(PlatformTerminationSignals, PutsBackTheHandlersItFound) {
    struct sigaction outer = {};
    outer.sa_handler = RecordOuterSignal;
    sigemptyset(&outer.sa_mask);
    struct sigaction saved[std::size(PosixTerminationSignals::kSignals)] = {};
    for (std::size_t i = 0; i < std::size(PosixTerminationSignals::kSignals); ++i) {
        ASSERT_EQ(::sigaction(PosixTerminationSignals::kSignals[i], &outer, &saved[i]), 0);
    }
    {
        PosixTerminationSignals service;
        // Only one instance can own the signals.
        EXPECT_THROW(PosixTerminationSignals second, std::logic_error);
        struct sigaction now = {};
        ASSERT_EQ(::sigaction(SIGTERM, nullptr, &now), 0);
        EXPECT_NE(now.sa_handler, &RecordOuterSignal);
    }
    for (std::size_t i = 0; i < std::size(PosixTerminationSignals::kSignals); ++i) {
        const int signalNumber = PosixTerminationSignals::kSignals[i];
        SCOPED_TRACE(::strsignal(signalNumber));
        outerSignal = 0;
        ASSERT_EQ(std::raise(signalNumber), 0);
        EXPECT_EQ(outerSignal, signalNumber);
        ASSERT_EQ(::sigaction(signalNumber, &saved[i], nullptr), 0);
    }
    // A new instance works after the old one has gone.
    PosixTerminationSignals again;
    std::vector<int> received;
    again.SetHandler([&received](int n) { received.push_back(n); });
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ProcessUntil(received, 1);
    EXPECT_EQ(received, std::vector<int>{SIGTERM});
}

}  // namespace
}  // namespace lumatrace
