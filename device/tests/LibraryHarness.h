// Loads libzep9100.so with dlopen and binds the twelve functions by name,
// as the program does, and configures the virtual instrument through the
// environment variable the library reads.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "device/include/zep9100.h"

namespace lumatrace::device::test {

struct Api {
    Zep9100GetVersionFn GetVersion;
    Zep9100CreateFn Create;
    Zep9100CloseFn Close;
    Zep9100GetDevInfoFn GetDevInfo;
    Zep9100GetMemSizeFn GetMemSize;
    Zep9100SetModeFn SetMode;
    Zep9100StartSamplingFn StartSampling;
    Zep9100StopSamplingFn StopSampling;
    Zep9100GetStatusFn GetStatus;
    Zep9100GetDataFn GetData;
    Zep9100GetEquDataFn GetEquData;
    Zep9100GetLastErrorFn GetLastError;
};

// The library, loaded once per test process.
const Api& api();

// Replaces the virtual instrument's configuration (statements of
// VIRTUAL.md). Takes effect at the next Create or GetVersion with no
// instrument open.
void configure(const std::string& text);

using ModeRecord = std::array<uint32_t, ZEP9100_MODE_WORDS>;

// The mode record the program sends with its default settings.
ModeRecord defaultMode();

struct Status {
    uint32_t status = 0xFFFFFFFF;
    uint32_t count = 0;
    uint32_t extra = 0;
};

// Collects the messages the library posts.
class Notifications {
  public:
    struct Message {
        uint32_t message;
        uintptr_t wParam;
        intptr_t lParam;
        std::thread::id thread;
    };

    Zep9100Notifier* notifier() { return &notifier_; }
    // Waits (at most `seconds`, a guard against hangs) until a message with
    // this number has arrived; returns it, or a message 0.
    Message waitFor(uint32_t message, double seconds = 20.0);
    std::size_t count(uint32_t message);

  private:
    static void post(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam);

    Zep9100Notifier notifier_{&Notifications::post, this};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<Message> messages_;
};

// An open instrument, closed at the end of the scope.
class Device {
  public:
    explicit Device(Zep9100Notifier* notifier = nullptr);
    ~Device();
    uint32_t number() const { return number_; }
    bool setMode(const ModeRecord& mode);
    bool start(uint32_t flag = 1);
    Status status();
    // Polls until the status is one of the final ones (or 0), or the guard
    // of `maxPolls` runs out.
    Status waitComplete(uint32_t maxPolls = 2'000'000);
    std::vector<uint32_t> data(uint32_t count);

  private:
    uint32_t number_ = 0xFFFF;
};

inline uint32_t ch1(uint32_t word) {
    return word & 0x3FF;
}
inline uint32_t ch2(uint32_t word) {
    return (word >> 16) & 0x3FF;
}

}  // namespace lumatrace::device::test
