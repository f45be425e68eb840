// Remote control: :WAVeform:DATA? of a 1M-point WORD record through the SCPI server over
// loopback, against the same 2 MB block sent over a plain loopback socket by a thread that
// does nothing else. The client side (one request line, read the block to its end) is the
// same code for both; the difference is the server's parsing, encoding, thread hand-over and
// writing. Wall-clock time: the work is spread over threads and the kernel.
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "app/display/SampleWord.h"
#include "app/remote/RemoteCommands.h"
#include "app/remote/RemoteServer.h"
#include "app/remote/ScpiInterpreter.h"
#include "app/remote/testing/FakeInstrument.h"

namespace {

using namespace lumatrace;

constexpr int kPoints = 1000000;
const std::string kRequest = ":WAVeform:DATA?\n";

// A sine on CH1 and a ramp on CH2, as the instrument's sample words hold them.
std::vector<std::uint32_t> MakeWords() {
    std::vector<std::uint32_t> words(kPoints);
    for (int i = 0; i < kPoints; ++i) {
        const int c1 =
            512 + static_cast<int>(400 * std::sin(6.283185307179586 * 7.0 * i / kPoints));
        words[static_cast<std::size_t>(i)] = MakeSampleWord(c1, i % 1024);
    }
    return words;
}

void SendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) {
            std::perror("send");
            std::abort();
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

int Connect(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        std::perror("connect");
        std::abort();
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Sends one query and reads its definite-length block answer to the end of the message;
// returns the block's byte count.
std::size_t QueryBlock(int fd, std::vector<char>& buffer) {
    SendAll(fd, kRequest.data(), kRequest.size());
    std::size_t have = 0;
    std::size_t total = 0;  // header + data + newline, once the header is known
    for (;;) {
        const ssize_t n = ::recv(fd, buffer.data() + have, buffer.size() - have, 0);
        if (n <= 0) {
            std::perror("recv");
            std::abort();
        }
        have += static_cast<std::size_t>(n);
        if (total == 0 && have >= 2) {
            const std::size_t digits = static_cast<std::size_t>(buffer[1] - '0');
            if (have >= 2 + digits) {
                const std::size_t length =
                    std::stoul(std::string(buffer.data() + 2, buffer.data() + 2 + digits));
                total = 2 + digits + length + 1;
                if (total > buffer.size()) {
                    std::fprintf(stderr, "answer larger than the buffer\n");
                    std::abort();
                }
            }
        }
        if (total != 0 && have >= total) {
            return total - 1;
        }
    }
}

// The SCPI server over the fake instrument, on a thread of its own with an event loop: the
// command thread of the program, here without a window.
class ScpiSide {
  public:
    explicit ScpiSide(const std::vector<std::uint32_t>& words) {
        std::promise<quint16> bound;
        auto port = bound.get_future();
        thread_.reset(QThread::create([this, &words, &bound] {
            FakeInstrument fake;
            RemoteRecord record;
            record.words = std::span<const std::uint32_t>(words);
            record.shift = 0;
            record.xIncrement = 1e-8;
            record.yIncrement = 0.5 * 10 / 1024.0;
            record.yOrigin = 512;
            fake.records[RemoteSource::kCh1] = record;
            ScpiStatus status;
            RemoteCommands commands(fake, status);
            ScpiInterpreter interpreter(commands.table(), status);
            RemoteServer server(interpreter);
            QString error;
            if (!server.Listen({"127.0.0.1", 0}, &error)) {
                std::fprintf(stderr, "cannot listen: %s\n", qPrintable(error));
                std::abort();
            }
            QEventLoop loop;
            loop_ = &loop;
            bound.set_value(server.Port());
            loop.exec();
            server.Stop();
        }));
        thread_->start();
        port_ = port.get();
    }
    ~ScpiSide() {
        QMetaObject::invokeMethod(loop_, "quit", Qt::QueuedConnection);
        thread_->wait();
    }
    quint16 Port() const { return port_; }

  private:
    std::unique_ptr<QThread> thread_;
    QEventLoop* loop_ = nullptr;
    quint16 port_ = 0;
};

// The yardstick: a thread that answers every request line with the same block as the
// server's, prepared once, written with plain send calls.
class PlainSide {
  public:
    explicit PlainSide(std::string answer) : answer_(std::move(answer)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 1) != 0) {
            std::perror("bind");
            std::abort();
        }
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~PlainSide() {
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        thread_.join();
    }
    quint16 Port() const { return port_; }

  private:
    void Serve() {
        for (;;) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) {
                return;
            }
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            std::string line;
            char c = 0;
            while (::recv(fd, &c, 1, 0) == 1) {
                if (c == '\n') {
                    SendAll(fd, answer_.data(), answer_.size());
                    line.clear();
                } else {
                    line.push_back(c);
                }
            }
            ::close(fd);
        }
    }

    std::string answer_;
    int listener_ = -1;
    quint16 port_ = 0;
    std::thread thread_;
};

const std::vector<std::uint32_t>& Words() {
    static const std::vector<std::uint32_t> words = MakeWords();
    return words;
}

// The WORD block the server sends for Words(): codes little-endian, header and newline.
std::string ExpectedBlock() {
    std::string data;
    data.reserve(2 * kPoints);
    for (const std::uint32_t w : Words()) {
        const std::uint16_t code = static_cast<std::uint16_t>(w);
        data.push_back(static_cast<char>(code & 0xFF));
        data.push_back(static_cast<char>(code >> 8));
    }
    const std::string length = std::to_string(data.size());
    return "#" + std::to_string(length.size()) + length + data + "\n";
}

void BM_ScpiWaveformData(benchmark::State& state) {
    ScpiSide server(Words());
    const int fd = Connect(server.Port());
    const std::string setup = ":WAVeform:SOURce CH1;FORMat WORD\n";
    SendAll(fd, setup.data(), setup.size());
    std::vector<char> buffer(4 * kPoints);
    // The answer is checked once against the plain encoding, so both sides send the same.
    const std::size_t size = QueryBlock(fd, buffer);
    const std::string expected = ExpectedBlock();
    if (size + 1 != expected.size() ||
        std::memcmp(buffer.data(), expected.data(), expected.size()) != 0) {
        state.SkipWithError("the server's block differs from the plain one");
        ::close(fd);
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(QueryBlock(fd, buffer));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * kPoints);
    ::close(fd);
}
BENCHMARK(BM_ScpiWaveformData)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

void BM_PlainSocketBlock(benchmark::State& state) {
    PlainSide server(ExpectedBlock());
    const int fd = Connect(server.Port());
    std::vector<char> buffer(4 * kPoints);
    for (auto _ : state) {
        benchmark::DoNotOptimize(QueryBlock(fd, buffer));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 2 * kPoints);
    ::close(fd);
}
BENCHMARK(BM_PlainSocketBlock)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);

// Keeps each benchmark's fastest repetition in wall-clock time.
class FastestRealTimes : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            if (!r.error_occurred && r.run_type == Run::RT_Iteration) {
                const double ms =
                    r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit) * 1e3;
                auto [it, added] = ms_.emplace(r.run_name.function_name, ms);
                if (!added) {
                    it->second = std::min(it->second, ms);
                }
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double Milliseconds(const std::string& name) const {
        const auto it = ms_.find(name);
        return it == ms_.end() ? -1.0 : it->second;
    }

  private:
    std::map<std::string, double> ms_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    FastestRealTimes times;
    benchmark::RunSpecifiedBenchmarks(&times);
    const double scpi = times.Milliseconds("BM_ScpiWaveformData");
    const double plain = times.Milliseconds("BM_PlainSocketBlock");
    if (scpi > 0 && plain > 0) {
        std::printf(
            "\n:WAVeform:DATA? of 1M WORD points: %.2f ms; plain socket, same 2 MB: %.2f ms; "
            "ratio %.2fx (target <= 1.5x)\n",
            scpi, plain, scpi / plain);
    }
    benchmark::Shutdown();
    return 0;
}
