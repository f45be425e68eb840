// The server on a loopback port with the fake instrument, driven by plain
// POSIX socket clients on another thread while this thread runs the event
// loop that executes the commands, as the program's window thread does.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/remote/RemoteCommands.h"
#include "app/remote/RemoteServer.h"
#include "app/remote/ScpiInterpreter.h"
#include "app/remote/ThreadMailbox.h"
#include "app/remote/testing/FakeInstrument.h"

namespace lumatrace {
namespace {

// A blocking client; every read gives up after ten seconds, so a fault
// fails the test instead of hanging it.
class Client {
  public:
    // A small receive buffer (bytes) makes the server's writes stop short.
    explicit Client(quint16 port, int receiveBuffer = 0) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        timeval timeout{10, 0};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        if (receiveBuffer > 0) {
            setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { Close(); }

    bool connected() const { return connected_; }
    void Send(const std::string& bytes) {
        std::size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                return;
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    // Exactly n bytes, or fewer when the connection ends or times out.
    std::string Read(std::size_t n) {
        std::string out;
        while (out.size() < n) {
            char buffer[65536];
            const ssize_t got = recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0) {
                break;
            }
            out.append(buffer, static_cast<std::size_t>(got));
        }
        return out;
    }
    std::string ReadLine() {
        std::string line;
        while (true) {
            const std::string c = Read(1);
            if (c.empty() || c == "\n") {
                return line;
            }
            line += c;
        }
    }
    // A definite-length block and the newline after it.
    std::string ReadBlock() {
        if (Read(1) != "#") {
            return "<no block>";
        }
        const std::string digits = Read(1);
        if (digits.empty() || digits[0] < '1' || digits[0] > '9') {
            return "<bad header>";
        }
        const std::size_t length = std::stoul(Read(static_cast<std::size_t>(digits[0] - '0')));
        std::string data = Read(length);
        if (Read(1) != "\n") {
            return "<no newline>";
        }
        return data;
    }
    // True when the server has closed the connection.
    bool AtEnd() {
        char c;
        return recv(fd_, &c, 1, 0) == 0;
    }
    void Close() {
        if (fd_ >= 0) {
            close(fd_);
            fd_ = -1;
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

class RemoteServerFixture : public ::testing::Test {
  protected:
    void Start(RemoteServerLimits limits = {}) {
        server = std::make_unique<RemoteServer>(interpreter, limits);
        QString error;
        ASSERT_TRUE(server->Listen({"127.0.0.1", 0}, &error)) << error.toStdString();
        port = server->Port();
        ASSERT_NE(port, 0);
    }

    // Runs the clients on a thread of their own while this thread executes
    // the commands; gives up after a generous time so a fault cannot hang.
    void WithClients(const std::function<void()>& clients) {
        std::atomic<bool> done{false};
        std::thread thread([&] {
            clients();
            done = true;
        });
        QElapsedTimer guard;
        guard.start();
        while (!done && guard.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        thread.join();
        EXPECT_TRUE(done);
    }

    static RemoteRecord Ramp(std::size_t points) {
        RemoteRecord r;
        r.codes.resize(points);
        for (std::size_t i = 0; i < points; ++i) {
            r.codes[i] = (i % 97 == 0) ? kRemoteNoSample : static_cast<std::uint16_t>(i % 1024);
        }
        r.xIncrement = 1e-8;
        r.yIncrement = 5.0 / 1024.0;
        r.yOrigin = 512.0;
        return r;
    }

    FakeInstrument fake;
    ScpiStatus status;
    RemoteCommands commands{fake, status};
    ScpiInterpreter interpreter{commands.table(), status};
    std::unique_ptr<RemoteServer> server;
    quint16 port = 0;
};

TEST_F(RemoteServerFixture, AnswersIdentityOnTheBoundPort) {
    Start();
    WithClients([&] {
        Client c(port);
        ASSERT_TRUE(c.connected());
        c.Send("*IDN?\n");
        EXPECT_EQ(c.ReadLine(), "ORVEX,ZEP-9100,0,2.20");
        c.Send(":CHAN1:SCAL 200mV;SCAL?\r\n");
        EXPECT_EQ(c.ReadLine(), "2.0E-01");
    });
    EXPECT_EQ(fake.calls, std::vector<std::string>{"SetVoltsPerDiv(0,1)"});
}

TEST_F(RemoteServerFixture, ARecordArrivesAsOneBlock) {
    fake.records[RemoteSource::kCh1] = Ramp(200000);
    Start();
    std::string data;
    WithClients([&] {
        Client c(port);
        c.Send(":WAV:FORM WORD;:WAV:DATA?\n");
        data = c.ReadBlock();
        c.Send("*OPC?\n");
        EXPECT_EQ(c.ReadLine(), "1");
    });
    const auto& codes = fake.records[RemoteSource::kCh1].codes;
    ASSERT_EQ(data.size(), codes.size() * 2);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        const unsigned value = static_cast<unsigned char>(data[2 * i]) |
                               (static_cast<unsigned char>(data[2 * i + 1]) << 8);
        ASSERT_EQ(value, codes[i]) << i;
    }
}

// A client that reads slowly gets its records (lent words, the fast encoding)
// whole and in order, however the system took them piece by piece, and the
// answers after them too.
TEST_F(RemoteServerFixture, ARecordForASlowReaderArrivesWholeAndInOrder) {
    std::vector<std::uint32_t> words(1000003);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const auto ch1 = static_cast<std::uint32_t>(i % 1021);
        const auto ch2 = (i % 89 == 0) ? 0xFFFFu : static_cast<std::uint32_t>((i * 7) % 1024);
        words[i] = ch1 | (ch2 << 16);
    }
    RemoteRecord record = Ramp(0);
    record.codes.clear();
    record.words = words;
    record.shift = 16;
    fake.records[RemoteSource::kCh2] = record;
    Start();
    std::string first;
    std::string second;
    WithClients([&] {
        Client c(port, 4096);
        c.Send(":WAV:SOUR CH2;FORM WORD;:WAV:DATA?\n:WAV:DATA?\n*IDN?\n");
        // Reads nothing for a while: the server's writes stop short.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        first = c.ReadBlock();
        second = c.ReadBlock();
        EXPECT_EQ(c.ReadLine(), "ORVEX,ZEP-9100,0,2.20");
    });
    // The plain reference: each word's code, low byte first.
    std::string expected;
    for (const std::uint32_t w : words) {
        expected += static_cast<char>((w >> 16) & 0xFF);
        expected += static_cast<char>(w >> 24);
    }
    EXPECT_TRUE(first == expected) << first.size() << " bytes";
    EXPECT_TRUE(second == expected) << second.size() << " bytes";
}

TEST_F(RemoteServerFixture, AnOverlongLineIsAnErrorAndTheConnectionStaysUsable) {
    Start({.maxMessageBytes = 256});
    WithClients([&] {
        Client c(port);
        c.Send(":SAVE:SET \"" + std::string(5000, 'x') + ".zep\"\n");
        c.Send(":SYST:ERR?\n");
        EXPECT_EQ(c.ReadLine(), "-363,\"Input buffer overrun;line longer than 256 bytes\"");
        c.Send("*IDN?\n");
        EXPECT_EQ(c.ReadLine(), "ORVEX,ZEP-9100,0,2.20");
    });
    EXPECT_TRUE(fake.calls.empty());
}

// "#<digits><length>" for a block of these bytes.
std::string BlockOf(const std::string& bytes) {
    const std::string length = std::to_string(bytes.size());
    return "#" + std::to_string(length.size()) + length + bytes;
}

TEST_F(RemoteServerFixture, BlockBytesAreNeverReadAsCommands) {
    Start({.maxMessageBytes = 64});
    WithClients([&] {
        Client c(port);
        // Inside the blocks: newlines and commands that would change the
        // instrument. The second block is longer than a message may be.
        c.Send(":X " + BlockOf("\n*RST\n:RUN\n") + "\n");
        c.Send(":X " + BlockOf(std::string(40, '\n') + ":STOP\n" + std::string(40, '\n')) + "\n");
        c.Send(":SYST:ERR?;ERR?;ERR?\n");
        EXPECT_EQ(c.ReadLine(),
                  "-113,\"Undefined header;:X\";-363,\"Input buffer overrun;line longer than 64 "
                  "bytes\";0,\"No error\"");
    });
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(RemoteServerFixture, AClientThatLeavesMidTransferCostsNothing) {
    fake.records[RemoteSource::kCh1] = Ramp(1000000);
    Start();
    WithClients([&] {
        {
            Client leaving(port);
            leaving.Send(":WAV:DATA?\n");
            EXPECT_EQ(leaving.Read(100).size(), 100u);
        }
        {
            // Leaves while its message waits for a Single run.
            Client waiting(port);
            waiting.Send(":SING;*OPC?\n");
            waiting.Send("*IDN?\n");
        }
        Client next(port);
        next.Send(":WAV:FORM BYTE;:WAV:DATA?\n");
        EXPECT_EQ(next.ReadBlock().size(), 1000000u);
        next.Send(":STOP;*OPC?;:SYST:ERR?\n");
        EXPECT_EQ(next.ReadLine(), "1;0,\"No error\"");
    });
}

TEST_F(RemoteServerFixture, AWaitingClientHoldsBackOnlyItself) {
    Start();
    WithClients([&] {
        Client first(port);
        Client second(port);
        first.Send(":SING;*OPC?;:TRIG:STAT?\n");
        first.Send("*IDN?\n");  // queued behind the waiting message
        second.Send("*IDN?\n");
        EXPECT_EQ(second.ReadLine(), "ORVEX,ZEP-9100,0,2.20");
        // The other client ends the run; the first one's *OPC? then answers.
        second.Send(":STOP\n*OPC?\n");
        EXPECT_EQ(second.ReadLine(), "1");
        EXPECT_EQ(first.ReadLine(), "1;STOP");
        EXPECT_EQ(first.ReadLine(), "ORVEX,ZEP-9100,0,2.20");
    });
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"Run(Single)", "Run(Stop)"}));
}

TEST_F(RemoteServerFixture, PipelinedMessagesAnswerInOrder) {
    Start();
    WithClients([&] {
        Client c(port);
        std::string burst;
        for (int i = 0; i < 2000; ++i) {
            burst += ":CHAN1:POS " + std::to_string(i % 5) + ";POS?\n";
        }
        c.Send(burst);
        for (int i = 0; i < 2000; ++i) {
            const std::string expected[] = {"0.0E+00", "1.0E+00", "2.0E+00", "3.0E+00", "4.0E+00"};
            ASSERT_EQ(c.ReadLine(), expected[i % 5]) << i;
        }
    });
}

TEST_F(RemoteServerFixture, ClientsBeyondTheLimitAreClosed) {
    Start({.maxClients = 2});
    WithClients([&] {
        Client a(port);
        Client b(port);
        a.Send("*IDN?\n");
        b.Send("*IDN?\n");
        EXPECT_FALSE(a.ReadLine().empty());
        EXPECT_FALSE(b.ReadLine().empty());
        Client c(port);
        EXPECT_TRUE(c.AtEnd());
        a.Close();
    });
    // A place is free again once the server has seen a client leave (it
    // may not have yet when the next one knocks, so knock again).
    WithClients([&] {
        bool served = false;
        for (int attempt = 0; attempt < 100 && !served; ++attempt) {
            Client d(port);
            d.Send("*IDN?\n");
            served = d.ReadLine() == "ORVEX,ZEP-9100,0,2.20";
            if (!served) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
        EXPECT_TRUE(served);
    });
}

TEST_F(RemoteServerFixture, APortInUseIsRefusedWithAReason) {
    Start();
    RemoteServer other(interpreter);
    QString error;
    EXPECT_FALSE(other.Listen({"127.0.0.1", port}, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(other.Port(), 0);
    EXPECT_FALSE(other.Listen({"192.0.2.1", 0}, &error));  // not an address of this machine
}

TEST_F(RemoteServerFixture, StopClosesEveryConnection) {
    Start();
    Client client(port);
    client.Send("*IDN?\n");
    WithClients([&] { EXPECT_FALSE(client.ReadLine().empty()); });
    server->Stop();
    EXPECT_EQ(server->Port(), 0);
    EXPECT_TRUE(client.AtEnd());
}

bool Readable(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1;
}

TEST(ThreadMailbox, ItemsArriveInOrderAndTheFdSaysWhenTheyWait) {
    ThreadMailbox<int> box;
    EXPECT_FALSE(Readable(box.wakeFd()));
    EXPECT_TRUE(box.Take().empty());
    constexpr int kItems = 20000;
    std::thread producer([&] {
        for (int i = 0; i < kItems; ++i) {
            box.Post(i);
        }
    });
    std::vector<int> got;
    while (got.size() < kItems) {
        pollfd p{box.wakeFd(), POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 10000), 1) << "no wake-up with " << got.size() << " items taken";
        for (int v : box.Take()) {
            got.push_back(v);
        }
    }
    producer.join();
    for (int i = 0; i < kItems; ++i) {
        ASSERT_EQ(got[static_cast<std::size_t>(i)], i);
    }
    EXPECT_TRUE(box.Take().empty());
    EXPECT_FALSE(Readable(box.wakeFd()));
    box.Post(1);
    EXPECT_TRUE(Readable(box.wakeFd()));
}

}  // namespace
}  // namespace lumatrace
