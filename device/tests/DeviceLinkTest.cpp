// The library's end of the pipes against a scripted instrument: responses
// read straight into the caller's buffer whatever their shape, and a call
// that ends (answered, given up, closed) never has its buffer written to
// afterwards.
#include "device/library/DeviceLink.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "device/protocol/BulkProtocol.h"

namespace lumatrace::device {
namespace {

namespace p = protocol;
using namespace std::chrono_literals;

uint8_t patternByte(std::size_t j, uint16_t tag) {
    return static_cast<uint8_t>(j * 31 + tag);
}

// What the instrument sends for one command.
struct Reply {
    uint16_t result = p::kOk;
    uint32_t announced = 0;              // payload length in the header
    std::vector<std::size_t> transfers;  // payload transfers actually sent
    bool stall = false;                  // then nothing more comes
    bool held = false;                   // nothing comes until release()
};

// The far side of the pipes, shared between the test and the transport
// the link owns.
struct Instrument {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Reply> replies;
    std::deque<std::vector<uint8_t>> in;  // IN transfers ready to be read
    std::deque<std::vector<uint8_t>> held;
    bool stalled = false;
    bool readStalled = false;  // a read is waiting in the stall
    bool cancelled = false;

    void release() {
        {
            std::lock_guard lock(mutex);
            for (auto& t : held)
                in.push_back(std::move(t));
            held.clear();
        }
        changed.notify_all();
    }

    void waitForStalledRead() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return readStalled; });
    }
};

class ScriptedTransport final : public Transport {
  public:
    explicit ScriptedTransport(std::shared_ptr<Instrument> instrument)
        : i_(std::move(instrument)) {}

    ErrorWord open() override { return 0; }
    void close() override {}
    ErrorWord queryVersion(uint32_t& version) override {
        version = 0x00010000;
        return 0;
    }

    void cancel() override {
        {
            std::lock_guard lock(i_->mutex);
            i_->cancelled = true;
        }
        i_->changed.notify_all();
    }

    ErrorWord write(const uint8_t* data, std::size_t length) override {
        EXPECT_GE(length, p::kCommandHeaderBytes);
        const uint16_t tag = p::decodeCommand(data).tag;
        {
            std::lock_guard lock(i_->mutex);
            if (i_->cancelled)
                return ZEP9100_ERR_TRANSFER_CANCEL;
            if (i_->replies.empty())
                return 0;  // no answer at all
            Reply r = i_->replies.front();
            i_->replies.pop_front();
            auto& to = r.held ? i_->held : i_->in;
            std::vector<uint8_t> header(p::kResponseHeaderBytes);
            p::encode(
                p::ResponseHeader{p::decodeCommand(data).opcode, tag, r.result, 0, r.announced, 0},
                header.data());
            to.push_back(std::move(header));
            std::size_t sent = 0;
            for (std::size_t n : r.transfers) {
                std::vector<uint8_t> t(n);
                for (std::size_t j = 0; j < n; ++j)
                    t[j] = patternByte(sent + j, tag);
                sent += n;
                to.push_back(std::move(t));
            }
            i_->stalled = r.stall;
        }
        i_->changed.notify_all();
        return 0;
    }

    ErrorWord read(uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
        EXPECT_LE(capacity, kMaxTransfer);
        got = 0;
        std::unique_lock lock(i_->mutex);
        for (;;) {
            if (i_->cancelled) {
                i_->readStalled = false;
                lock.unlock();
                // A read that was under way when it was cancelled may still
                // deliver: only its return tells that it is over.
                std::this_thread::sleep_for(20ms);
                std::memset(buffer, 0xEE, capacity);
                return ZEP9100_ERR_TRANSFER_CANCEL;
            }
            if (!i_->in.empty())
                break;
            if (i_->stalled && !i_->readStalled) {
                i_->readStalled = true;
                i_->changed.notify_all();
            }
            i_->changed.wait(lock);
        }
        std::vector<uint8_t>& t = i_->in.front();
        got = std::min(capacity, t.size());
        std::memcpy(buffer, t.data(), got);
        t.erase(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(got));
        if (t.empty())
            i_->in.pop_front();
        return 0;
    }

  private:
    std::shared_ptr<Instrument> i_;
};

struct Link {
    explicit Link(LinkTimeouts timeouts = {})
        : instrument(std::make_shared<Instrument>()),
          link(std::make_shared<DeviceLink>(
              std::make_unique<ScriptedTransport>(instrument), 0, nullptr, 1124, [](ErrorWord) {},
              timeouts)) {
        link->startReader();
    }
    ~Link() { link->shutdown(); }

    void script(const Reply& r) {
        std::lock_guard lock(instrument->mutex);
        instrument->replies.push_back(r);
    }

    std::shared_ptr<Instrument> instrument;
    std::shared_ptr<DeviceLink> link;
};

constexpr std::size_t kGuard = 64;

// A caller's buffer with guard bytes behind it.
struct Buffer {
    explicit Buffer(std::size_t n) : bytes(n + kGuard, 0x5A), size(n) {}
    uint8_t* data() { return bytes.data(); }
    bool guardIntact() const {
        for (std::size_t j = size; j < bytes.size(); ++j)
            if (bytes[j] != 0x5A)
                return false;
        return true;
    }
    std::vector<uint8_t> bytes;
    std::size_t size;
};

TEST(DeviceLink, ResponsesLandInTheCallersBufferOrFailWithTheirCode) {
    struct Case {
        const char* name;
        std::size_t expected;
        Reply reply;
        ErrorWord error;
    };
    const Case cases[] = {
        {"one transfer", 12, {p::kOk, 12, {12}}, 0},
        {"a record in 64 KiB transfers", 200000, {p::kOk, 200000, {65536, 65536, 65536, 3392}}, 0},
        {"in small pieces", 5000, {p::kOk, 5000, {1000, 1000, 1000, 1000, 1000}}, 0},
        {"longer than the buffer", 100, {p::kOk, 150, {150}}, ZEP9100_ERR_BUFF_OVERFLOW},
        {"longer, over several transfers",
         70000,
         {p::kOk, 140000, {65536, 65536, 8928}},
         ZEP9100_ERR_BUFF_OVERFLOW},
        {"shorter than the buffer", 100, {p::kOk, 60, {60}}, ZEP9100_ERR_INTERNAL},
        {"refused", 4, {p::kBadParameter, 0, {}}, ZEP9100_ERR_INVALID_ARGUMENT},
    };
    Link l;
    uint16_t tag = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        l.script(c.reply);
        ++tag;
        Buffer b(c.expected);
        EXPECT_EQ(l.link->transact(p::kGetData, nullptr, 0, b.data(), c.expected), c.error);
        EXPECT_TRUE(b.guardIntact());
        if (c.error == 0) {
            std::size_t wrong = 0;
            for (std::size_t j = 0; j < c.expected; ++j)
                wrong += b.bytes[j] != patternByte(j, tag);
            EXPECT_EQ(wrong, 0u);
        }
    }
}

// The call runs in a thread of its own; what its buffer holds when it has
// returned must stay so.
struct Call {
    Call(DeviceLink& link, std::size_t expected) : buffer(expected) {
        result = std::async(std::launch::async, [&link, this] {
            ErrorWord e = link.transact(p::kGetData, nullptr, 0, buffer.data(), buffer.size);
            atReturn = buffer.bytes;
            return e;
        });
    }
    ErrorWord get() { return result.get(); }
    // Long enough for a read that outlived its call to have written.
    bool untouchedSinceReturn() {
        std::this_thread::sleep_for(100ms);
        return buffer.bytes == atReturn;
    }

    Buffer buffer;
    std::vector<uint8_t> atReturn;
    std::future<ErrorWord> result;
};

TEST(DeviceLink, CloseEndsACallStuckInItsResponse) {
    Link l;
    l.script({p::kOk, 100000, {65536}, true});
    Call call(*l.link, 100000);
    l.instrument->waitForStalledRead();
    l.link->shutdown();
    EXPECT_EQ(call.get(), ZEP9100_ERR_TRANSFER_CANCEL);
    EXPECT_TRUE(call.untouchedSinceReturn());
    EXPECT_TRUE(call.buffer.guardIntact());
}

TEST(DeviceLink, GivingUpHalfWayThroughAResponseLosesTheLink) {
    Link l({50ms, 20ms});
    l.script({p::kOk, 100000, {65536}, true});
    Call call(*l.link, 100000);
    EXPECT_EQ(call.get(), ZEP9100_ERR_TRANSFER_TIMEOUT);
    EXPECT_TRUE(call.untouchedSinceReturn());
    // Out of step with the instrument: later calls fail without a word.
    Buffer next(12);
    const std::vector<uint8_t> before = next.bytes;
    EXPECT_EQ(l.link->transact(p::kGetStatus, nullptr, 0, next.data(), 12),
              ZEP9100_ERR_TRANSFER_TIMEOUT);
    EXPECT_EQ(next.bytes, before);
}

TEST(DeviceLink, AResponseAfterTheCallGaveUpIsDropped) {
    Link l({50ms, 20ms});
    l.script({p::kOk, 8, {8}, false, true});
    Call late(*l.link, 8);
    EXPECT_EQ(late.get(), ZEP9100_ERR_TRANSFER_TIMEOUT);
    // The late answer comes first, then the next call's own.
    l.script({p::kOk, 12, {12}});
    l.instrument->release();
    Buffer b(12);
    EXPECT_EQ(l.link->transact(p::kGetStatus, nullptr, 0, b.data(), 12), 0u);
    for (std::size_t j = 0; j < 12; ++j)
        EXPECT_EQ(b.bytes[j], patternByte(j, 2)) << j;
    EXPECT_TRUE(late.untouchedSinceReturn());
    EXPECT_EQ(late.buffer.bytes, std::vector<uint8_t>(8 + kGuard, 0x5A));
}

}  // namespace
}  // namespace lumatrace::device
