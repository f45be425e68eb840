#include "app/core/DeviceLibrary.h"

#include <utility>

namespace lumatrace {

namespace {

template <typename Fn>
bool Resolve(LoadedLibrary& library, const char* name, Fn& target) {
    void* address = library.Symbol(name);
    target = reinterpret_cast<Fn>(address);
    return address != nullptr;
}

}  // namespace

bool BindDeviceLibrary(DeviceLibrary& library, LibraryLoader& loader, const std::string& fileName,
                       std::string* error) {
    if (library.Bound()) {
        if (error != nullptr) {
            *error = "already bound";
        }
        return false;
    }
    std::string reason;
    std::unique_ptr<LoadedLibrary> loaded = loader.Load(fileName, reason);
    if (!loaded) {
        if (error != nullptr) {
            *error = reason;
        }
        return false;
    }
    DeviceLibrary::Functions fn;
    const auto& n = kDeviceFunctionNames;
    // Resolved in the order of the name table; && stops at the first miss.
    const bool all =
        Resolve(*loaded, n[0], fn.getVersion) && Resolve(*loaded, n[1], fn.create) &&
        Resolve(*loaded, n[2], fn.close) && Resolve(*loaded, n[3], fn.getDevInfo) &&
        Resolve(*loaded, n[4], fn.getMemSize) && Resolve(*loaded, n[5], fn.setMode) &&
        Resolve(*loaded, n[6], fn.startSampling) && Resolve(*loaded, n[7], fn.stopSampling) &&
        Resolve(*loaded, n[8], fn.getStatus) && Resolve(*loaded, n[9], fn.getData) &&
        Resolve(*loaded, n[10], fn.getEquData) && Resolve(*loaded, n[11], fn.getLastError);
    if (!all) {
        if (error != nullptr) {
            *error = "a function of the device library is missing";
        }
        return false;  // `loaded` unloads the library
    }
    library.fn_ = fn;
    library.library_ = std::move(loaded);
    return true;
}

bool UnbindDeviceLibrary(DeviceLibrary& library) {
    library.fn_ = DeviceLibrary::Functions{};
    library.library_.reset();
    return true;
}

std::uint32_t DeviceLibrary::GetVersion(std::uint32_t* driverVersion,
                                        std::uint32_t* libraryVersion) const {
    return Bound() ? fn_.getVersion(driverVersion, libraryVersion) : 0;
}

std::uint32_t DeviceLibrary::Create(std::uint16_t* deviceNo, Zep9100Notifier* window,
                                    std::uint32_t messageBase) const {
    return Bound() ? fn_.create(deviceNo, window, messageBase) : 0;
}

std::uint32_t DeviceLibrary::Close(std::uint16_t deviceNo) const {
    return Bound() ? fn_.close(deviceNo) : 0;
}

std::uint32_t DeviceLibrary::GetDevInfo(std::uint16_t deviceNo, std::uint8_t* info) const {
    return Bound() ? fn_.getDevInfo(deviceNo, info) : 0;
}

std::uint32_t DeviceLibrary::GetMemSize(std::uint16_t deviceNo, std::uint32_t* size) const {
    return Bound() ? fn_.getMemSize(deviceNo, size) : 0;
}

std::uint32_t DeviceLibrary::SetMode(std::uint16_t deviceNo, const std::uint32_t* mode) const {
    return Bound() ? fn_.setMode(deviceNo, mode) : 0;
}

std::uint32_t DeviceLibrary::StartSampling(std::uint16_t deviceNo, std::uint32_t startFlag) const {
    return Bound() ? fn_.startSampling(deviceNo, startFlag) : 0;
}

std::uint32_t DeviceLibrary::StopSampling(std::uint16_t deviceNo) const {
    return Bound() ? fn_.stopSampling(deviceNo) : 0;
}

std::uint32_t DeviceLibrary::GetStatus(std::uint16_t deviceNo, std::uint32_t* status,
                                       std::uint32_t* count, std::uint32_t* extra) const {
    return Bound() ? fn_.getStatus(deviceNo, status, count, extra) : 0;
}

std::uint32_t DeviceLibrary::GetData(std::uint16_t deviceNo, std::uint32_t count,
                                     std::uint32_t* words) const {
    return Bound() ? fn_.getData(deviceNo, count, words) : 0;
}

std::uint32_t DeviceLibrary::GetEquData(std::uint16_t deviceNo, std::uint32_t* phase) const {
    return Bound() ? fn_.getEquData(deviceNo, phase) : 0;
}

std::uint32_t DeviceLibrary::GetLastError() const {
    return Bound() ? fn_.getLastError() : kUnboundErrorWord;
}

}  // namespace lumatrace
