// The instrument's acquisition memory, driven through its bulk endpoints on
// a clock the test sets: samples taken at the instant of a front-end change
// follow the new settings, and a response being read out keeps the record
// it was given when the next acquisition starts.
#include "device/firmware/VirtualInstrument.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "device/protocol/BulkProtocol.h"

namespace lumatrace::device {
namespace {

namespace p = protocol;

class ManualClock final : public InstrumentClock {
  public:
    explicit ManualClock(std::atomic<Picoseconds>& t) : t_(t) {}
    Picoseconds now() override { return t_.load(); }
    WallTime wallTimeOf(Picoseconds) override { return WallTime::max(); }

  private:
    std::atomic<Picoseconds>& t_;
};

constexpr Picoseconds kStart = 1'000'000;
constexpr Picoseconds kInterval = 10'000;  // 10 ns
constexpr uint32_t kLength = 10000;

class Endpoints {
  public:
    Endpoints() {
        VirtualConfig config = defaultVirtualConfig();
        EXPECT_TRUE(applyVirtualConfig("seed = 5; CH1 = 0.1; CH2 = 0", config).empty());
        instrument_ =
            std::make_unique<VirtualInstrument>(config, 0, std::make_unique<ManualClock>(time));
    }

    void send(uint16_t opcode, const std::vector<uint32_t>& words = {}) {
        std::vector<uint8_t> command(p::kCommandHeaderBytes + 4 * words.size());
        p::encode(p::CommandHeader{opcode, ++tag_, static_cast<uint32_t>(4 * words.size())},
                  command.data());
        for (std::size_t i = 0; i < words.size(); ++i)
            p::putU32(command.data() + p::kCommandHeaderBytes + 4 * i, words[i]);
        ASSERT_EQ(instrument_->bulkOut(command.data(), command.size()), BulkStatus::Ok);
    }

    // The next response's payload as words (events skipped).
    std::vector<uint32_t> receive(uint16_t opcode) {
        std::vector<uint8_t> transfer(BulkFunction::kMaxTransfer);
        for (;;) {
            std::size_t got = 0;
            EXPECT_EQ(instrument_->bulkIn(transfer.data(), transfer.size(), got), BulkStatus::Ok);
            EXPECT_EQ(got, p::kResponseHeaderBytes);
            if (got != p::kResponseHeaderBytes)
                return {};
            const p::ResponseHeader h = p::decodeResponse(transfer.data());
            if (h.opcode & 0x8000)
                continue;
            EXPECT_EQ(h.opcode, opcode);
            EXPECT_EQ(h.result, p::kOk);
            std::vector<uint8_t> payload;
            while (payload.size() < h.length) {
                EXPECT_EQ(instrument_->bulkIn(transfer.data(), transfer.size(), got),
                          BulkStatus::Ok);
                payload.insert(payload.end(), transfer.begin(),
                               transfer.begin() + static_cast<std::ptrdiff_t>(got));
            }
            std::vector<uint32_t> words(payload.size() / 4);
            if (!words.empty())
                std::memcpy(words.data(), payload.data(), 4 * words.size());
            return words;
        }
    }

    std::vector<uint32_t> call(uint16_t opcode, const std::vector<uint32_t>& words = {}) {
        send(opcode, words);
        return receive(opcode);
    }

    std::atomic<Picoseconds> time{kStart};

  private:
    std::unique_ptr<VirtualInstrument> instrument_;
    uint16_t tag_ = 0;
};

// 10,000 samples at 10 ns, free running: sample i is taken at START + i x
// 10 ns. CH1 holds 0.1 V at 50 mV/div: code 717 at position 250, 819 at 300.
std::vector<uint32_t> mode(uint32_t position) {
    return {2, 2, position, 250, 0, 0, 0, 10, 0, 0, 0, 0, 2, 0, 0, 0, 250, 5000, 0, 0, 10};
}
constexpr Picoseconds kAfterTheRecord = kStart + 2 * kLength * kInterval;

// CH1 codes of a record, as runs: {code, count}, ...
std::vector<std::pair<uint32_t, std::size_t>> runs(const std::vector<uint32_t>& words) {
    std::vector<std::pair<uint32_t, std::size_t>> out;
    for (uint32_t w : words) {
        uint32_t code = w == kNoSample ? w : (w & 0x3FF);
        if (out.empty() || out.back().first != code)
            out.push_back({code, 0});
        ++out.back().second;
    }
    return out;
}

TEST(DeviceVirtualInstrument, ASampleTakenAtAFrontEndChangeFollowsTheNewSettings) {
    Endpoints e;
    e.call(p::kSetMode, mode(250));
    e.call(p::kStart, {1});
    // Sample 7000 is taken now: it is held, and read, with the old setting.
    e.time = kStart + 7000 * kInterval;
    using Runs = std::vector<std::pair<uint32_t, std::size_t>>;
    EXPECT_EQ(runs(e.call(p::kGetData, {kLength})), (Runs{{717, 7001}, {kNoSample, 2999}}));
    // A change at this very instant applies to it all the same.
    e.call(p::kSetMode, mode(300));
    e.time = kAfterTheRecord;
    EXPECT_EQ(e.call(p::kGetStatus), (std::vector<uint32_t>{11, kLength, 1}));
    EXPECT_EQ(runs(e.call(p::kGetData, {kLength})), (Runs{{717, 7000}, {819, 3000}}));
}

TEST(DeviceVirtualInstrument, AResponseKeepsItsRecordWhenTheNextOneStarts) {
    Endpoints e;
    e.call(p::kSetMode, mode(250));
    e.call(p::kStart, {1});
    e.time = kAfterTheRecord;
    EXPECT_EQ(e.call(p::kGetStatus)[0], 11u);
    // Read out only after the next record is complete.
    e.send(p::kGetData, {kLength});
    e.send(p::kSetMode, mode(300));
    e.send(p::kStart, {1});
    e.time = 2 * kAfterTheRecord;
    e.send(p::kGetStatus);
    using Runs = std::vector<std::pair<uint32_t, std::size_t>>;
    EXPECT_EQ(runs(e.receive(p::kGetData)), (Runs{{717, kLength}}));
    e.receive(p::kSetMode);
    e.receive(p::kStart);
    EXPECT_EQ(e.receive(p::kGetStatus)[0], 11u);
    EXPECT_EQ(runs(e.call(p::kGetData, {kLength})), (Runs{{819, kLength}}));
}

}  // namespace
}  // namespace lumatrace::device
