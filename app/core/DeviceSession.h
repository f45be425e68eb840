// The device session: the one object that talks to the device access
// library. It owns the device number, caches what the library reports, holds
// the mode record, turns error code words into texts and classifies the two
// messages the library posts. Every operation returns a success flag and
// never throws; callers decide what a failure means.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/core/DeviceLibrary.h"
#include "app/display/WaveBuffers.h"
#include "app/platform/Clock.h"
#include "app/platform/LibraryLoader.h"

namespace lumatrace {

inline constexpr std::uint32_t kDeviceMessageBase = 1124;
inline constexpr std::uint32_t kMsgDataArrival = 1125;
inline constexpr std::uint32_t kMsgAcquisitionFailed = 1126;
inline constexpr std::intptr_t kDeviceMessageLParam = 0xAB00;
inline constexpr std::uint32_t kModeWordCount = 21;
inline constexpr std::size_t kDeviceInfoBytes = 26;
inline constexpr std::uint32_t kMaxEquPhase = 99;

// Text of an error code word of the library.
std::string ErrorCodeText(std::uint32_t word);

enum class DeviceMessage { Ignored, DataArrival, AcquisitionFailed };
// What a message posted by the library asks for; anything with another lParam
// is ignored.
DeviceMessage ClassifyDeviceMessage(std::uint32_t message, std::intptr_t lParam);

// Where the session writes its account of the device calls (the session
// window's log memo). Called on the user-interface thread only.
class DeviceLog {
  public:
    virtual ~DeviceLog() = default;
    virtual void Write(std::string_view line) = 0;
};

// Queues a library message to the user-interface thread. The library calls it
// from its own threads, so it must not block and must not touch the session.
using PostToUi =
    std::function<void(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam)>;

class DeviceSession {
  public:
    DeviceSession(DeviceLibrary& library, Clock& clock, SampleBuffer& fetch = FetchBuffer);
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    void SetLog(DeviceLog* log) { log_ = log; }
    // Must be set before OpenDevice: the library keeps the notifier record and
    // may call it from then on.
    void SetPostToUi(PostToUi post) { post_ = std::move(post); }

    // Fields, as the library left them (initial values after Bind).
    std::uint16_t deviceNo = 0xFFFF;
    std::uint32_t driverVersion = 0xFFFFFFFFu;
    std::uint32_t libraryVersion = 0xFFFFFFFFu;
    std::uint32_t memorySize = 0xFFFFFFFFu;
    std::uint32_t startFlag = 0;
    std::uint32_t deviceStatus = 0xFFFFFFFFu;
    std::uint32_t sampleCount = 0;
    std::uint32_t statusExtra = 0;
    std::uint32_t equPhase = 0xFFFFFFFFu;
    std::array<std::uint8_t, kDeviceInfoBytes> deviceInfo{};
    std::array<std::uint32_t, kModeWordCount> modeRecord{};

    bool Bind(LibraryLoader& loader, const std::string& fileName = kDeviceLibraryFile);
    bool Unbind();
    bool Bound() const { return library_.Bound(); }

    bool ReadVersion();
    bool OpenDevice();
    bool CloseDevice();
    bool ReadDeviceInfo();
    bool ReadMemorySize();
    bool SendMode();
    // Starts with startFlag and, whatever the result, writes the millisecond
    // tick of the start into `startTick`.
    bool StartSampling(std::uint32_t& startTick);
    bool StopSampling();
    bool ReadStatus();
    // Clears the whole fetch buffer, then reads sampleCount words into it. A
    // count beyond the buffer is refused without calling the library. The
    // buffer is the session's own: only the words its reads may have reached
    // are written again, the rest holding NoSample from the clear before.
    bool ReadData();
    // A phase above 99 reads as 99; a failed read leaves 0xFFFFFFFF.
    bool ReadEquPhase();
    std::string LastErrorText() const;

    SampleBuffer& Fetch() { return fetch_; }

    // The millisecond tick as the session stores it (32 bits, wrapping).
    std::uint32_t TickMs() const { return static_cast<std::uint32_t>(clock_.NowMs()); }

  private:
    void ResetFields();
    bool Done(std::uint32_t result, std::string_view call, std::string_view detail = {});
    static void Post(void* context, std::uint32_t message, std::uintptr_t wParam,
                     std::intptr_t lParam);

    DeviceLibrary& library_;
    Clock& clock_;
    SampleBuffer& fetch_;
    // Words of fetch_ at or past it hold NoSample since this session's last
    // clear; the whole buffer until it has cleared it once.
    std::size_t fetchExtent_ = kBufferWords;
    DeviceLog* log_ = nullptr;
    PostToUi post_;
    Zep9100Notifier notifier_{};
    std::uint32_t loggedStatus_ = 0xFFFFFFFEu;  // status reads are logged when the status moves
};

}  // namespace lumatrace
