// A device library for tests: the whole twelve-function contract, scriptable
// per call, reached through the loader by name like the real one. One
// instance is current at a time (the exported functions are plain C entry
// points without a context).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/platform/LibraryLoader.h"
#include "device/include/zep9100.h"

namespace lumatrace::testing {

class ScriptedDevice {
  public:
    ScriptedDevice();
    ~ScriptedDevice();
    ScriptedDevice(const ScriptedDevice&) = delete;
    ScriptedDevice& operator=(const ScriptedDevice&) = delete;

    static ScriptedDevice* Current();

    // Results of the next calls of one function ("Zep9100SetMode", ...); when
    // none is queued the call succeeds with 1. A result with a zero low byte
    // sets the error word to failureWord.
    void QueueResult(const std::string& function, std::uint32_t result);
    void FailNext(const std::string& function, std::uint32_t errorWord);

    struct Status {
        std::uint32_t status;
        std::uint32_t count;
        std::uint32_t extra;
    };

    // What the calls saw and what they answer.
    std::vector<std::string> calls;  // names, in order
    std::uint32_t lastError = 0;
    std::uint32_t failureWord = ZEP9100_ERR_TRANSFER_FAIL;

    std::uint16_t deviceNo = 3;
    Zep9100Notifier notifier{};
    bool hasNotifier = false;
    std::uint32_t messageBase = 0;
    std::uint32_t driverVersion = 0x00010000;
    std::uint32_t libraryVersion = 0x00020100;
    std::uint32_t memSize = 1000000;
    std::array<std::uint8_t, ZEP9100_DEVINFO_BYTES> info{};
    std::array<std::uint32_t, ZEP9100_MODE_WORDS> mode{};
    std::vector<std::array<std::uint32_t, ZEP9100_MODE_WORDS>> modesSent;
    std::vector<std::uint32_t> startFlags;  // one per start
    int stops = 0;

    // Status reads take the queued answers first, then repeat `status`.
    std::deque<Status> statuses;
    Status status{7, 0, 0};

    // Words returned by GetData: sample(streamIndex + i). With `stream` on
    // (roll mode) each read moves the stream on by its count.
    std::function<std::uint32_t(std::uint32_t)> sample;
    bool stream = false;
    std::uint32_t streamIndex = 0;
    std::vector<std::uint32_t> dataCounts;  // count of every GetData call

    // Phases returned by GetEquData: queued ones first, then `phase`.
    std::deque<std::uint32_t> phases;
    std::uint32_t phase = 0;

    // Delivers a message through the notifier the program gave to Create.
    void PostMessage(std::uint32_t message, std::intptr_t lParam = ZEP9100_NOTIFY_LPARAM);

    int CallCount(const std::string& function) const;

    // Internal: result of one call of `function`.
    std::uint32_t Result(const char* function);

  private:
    std::map<std::string, std::deque<std::uint32_t>> results_;
    std::map<std::string, std::deque<std::uint32_t>> errorWords_;
};

// Loader that hands out the scripted functions for one file name; names in
// `missing` are not exported; `failLoad` makes every load fail.
class ScriptedDeviceLoader final : public LibraryLoader {
  public:
    explicit ScriptedDeviceLoader(std::string fileName) : fileName_(std::move(fileName)) {}

    std::set<std::string> missing;
    bool failLoad = false;
    int loads = 0;
    int unloads = 0;  // libraries handed out and released again
    std::vector<std::string> lookups;

    std::unique_ptr<LoadedLibrary> Load(const std::string& fileName, std::string& error) override;

  private:
    std::string fileName_;
};

}  // namespace lumatrace::testing
