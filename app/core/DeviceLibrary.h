// The device access library, bound by name through the platform loader. Each
// wrapper answers failure (0) without calling anything while the library is
// not bound, so the session can be used before and after a binding and
// simply reports that every step failed.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "app/platform/LibraryLoader.h"
#include "device/include/zep9100.h"

namespace lumatrace {

#if defined(_WIN32)
inline constexpr const char* kDeviceLibraryFile = "zep9100.dll";
#else
inline constexpr const char* kDeviceLibraryFile = "libzep9100.so";
#endif

// Exported names, in the order they are resolved.
inline constexpr std::array<const char*, 12> kDeviceFunctionNames = {
    "Zep9100GetVersion", "Zep9100Create",  "Zep9100Close",         "Zep9100GetDevInfo",
    "Zep9100GetMemSize", "Zep9100SetMode", "Zep9100StartSampling", "Zep9100StopSampling",
    "Zep9100GetStatus",  "Zep9100GetData", "Zep9100GetEquData",    "Zep9100GetLastError"};

// Error code word the wrapper of Zep9100GetLastError gives while unbound.
inline constexpr std::uint32_t kUnboundErrorWord = 0xFFFFFFFFu;

class DeviceLibrary {
  public:
    DeviceLibrary() = default;
    DeviceLibrary(const DeviceLibrary&) = delete;
    DeviceLibrary& operator=(const DeviceLibrary&) = delete;

    bool Bound() const { return library_ != nullptr; }

    std::uint32_t GetVersion(std::uint32_t* driverVersion, std::uint32_t* libraryVersion) const;
    std::uint32_t Create(std::uint16_t* deviceNo, Zep9100Notifier* window,
                         std::uint32_t messageBase) const;
    std::uint32_t Close(std::uint16_t deviceNo) const;
    std::uint32_t GetDevInfo(std::uint16_t deviceNo, std::uint8_t* info) const;
    std::uint32_t GetMemSize(std::uint16_t deviceNo, std::uint32_t* size) const;
    std::uint32_t SetMode(std::uint16_t deviceNo, const std::uint32_t* mode) const;
    std::uint32_t StartSampling(std::uint16_t deviceNo, std::uint32_t startFlag) const;
    std::uint32_t StopSampling(std::uint16_t deviceNo) const;
    std::uint32_t GetStatus(std::uint16_t deviceNo, std::uint32_t* status, std::uint32_t* count,
                            std::uint32_t* extra) const;
    std::uint32_t GetData(std::uint16_t deviceNo, std::uint32_t count, std::uint32_t* words) const;
    std::uint32_t GetEquData(std::uint16_t deviceNo, std::uint32_t* phase) const;
    std::uint32_t GetLastError() const;

  private:
    friend bool BindDeviceLibrary(DeviceLibrary&, LibraryLoader&, const std::string&, std::string*);
    friend bool UnbindDeviceLibrary(DeviceLibrary&);

    struct Functions {
        Zep9100GetVersionFn getVersion = nullptr;
        Zep9100CreateFn create = nullptr;
        Zep9100CloseFn close = nullptr;
        Zep9100GetDevInfoFn getDevInfo = nullptr;
        Zep9100GetMemSizeFn getMemSize = nullptr;
        Zep9100SetModeFn setMode = nullptr;
        Zep9100StartSamplingFn startSampling = nullptr;
        Zep9100StopSamplingFn stopSampling = nullptr;
        Zep9100GetStatusFn getStatus = nullptr;
        Zep9100GetDataFn getData = nullptr;
        Zep9100GetEquDataFn getEquData = nullptr;
        Zep9100GetLastErrorFn getLastError = nullptr;
    };

    std::unique_ptr<LoadedLibrary> library_;
    Functions fn_;
};

// Loads the library and resolves the twelve names in order. Fails at once when
// already bound (the binding is left alone), when the load fails, or at the
// first missing name (the library is unloaded again). `error`, when given,
// receives the reason.
bool BindDeviceLibrary(DeviceLibrary& library, LibraryLoader& loader,
                       const std::string& fileName = kDeviceLibraryFile,
                       std::string* error = nullptr);

// Unloads a bound library; true also when nothing was bound. The platform
// loader's unload cannot report a failure, so this always succeeds.
bool UnbindDeviceLibrary(DeviceLibrary& library);

}  // namespace lumatrace
