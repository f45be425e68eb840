// The twelve exported functions of the device access library.
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "device/include/zep9100.h"
#include "device/library/ConfigSource.h"
#include "device/library/DeviceLink.h"
#include "device/library/DriverTransport.h"
#include "device/library/FaultInjector.h"
#include "device/library/InProcessTransport.h"
#include "device/protocol/BulkProtocol.h"

namespace lumatrace::device {
namespace {

namespace p = protocol;

// 1.20: one decimal digit per byte.
constexpr uint32_t kLibraryVersion = 0x00010200;

std::atomic<uint32_t> gLastError{0};

void recordError(ErrorWord word) {
    gLastError.store(word);
}

// Keeps errno as the caller left it, except that a failure with an OS
// error leaves that error in errno.
class ErrnoGuard {
  public:
    ErrnoGuard() : saved_(errno) {}
    ~ErrnoGuard() { errno = saved_; }
    void setOsError(int e) { saved_ = e; }

  private:
    int saved_;
};

uint32_t fail(ErrnoGuard& guard, ErrorWord word) {
    recordError(word);
    if (ZEP9100_ERROR_MAJOR(word) == ZEP9100_ERR_SYSTEM)
        guard.setOsError(static_cast<int>(ZEP9100_ERROR_MINOR(word)));
    return 0;
}

uint32_t result(ErrnoGuard& guard, ErrorWord word) {
    return word == 0 ? 1 : fail(guard, word);
}

class Library {
  public:
    ~Library() {
        // Unloaded with instruments still open: release them before the
        // instruments' threads go.
        std::vector<std::shared_ptr<DeviceLink>> links;
        {
            std::lock_guard lock(mutex_);
            links.swap(links_);
        }
        for (auto& link : links)
            if (link)
                link->shutdown();
    }

    std::mutex mutex_;
    std::optional<ConfigTexts> texts_;
    std::unique_ptr<TransportBus> bus_;
    FaultInjector faults_;
    std::vector<std::shared_ptr<DeviceLink>> links_;

    bool anyOpenLocked() const {
        for (const auto& l : links_)
            if (l)
                return true;
        return false;
    }

    // With nothing open, (re)builds the bus when the configuration changed:
    // the instruments are plugged in afresh.
    void refreshLocked() {
        if (anyOpenLocked())
            return;
        ConfigTexts texts = readConfigTexts();
        if (texts_ && *texts_ == texts && bus_)
            return;
        VirtualConfig config = parseConfigTexts(texts);
        bus_.reset();
        if (config.transport == TransportKind::Direct)
            bus_ = std::make_unique<VirtualBus>(config);
        else
            bus_ = std::make_unique<DriverBus>(config);
        faults_.configure(config.faults);
        texts_ = std::move(texts);
    }

    std::shared_ptr<DeviceLink> find(uint32_t deviceNo) {
        std::lock_guard lock(mutex_);
        if (deviceNo < links_.size())
            return links_[deviceNo];
        return nullptr;
    }
};

Library& library() {
    static Library instance;
    return instance;
}

// The common start of every per-device call: count it for the fault
// rules, then find the device.
ErrorWord enter(const char* function, uint32_t deviceNo, std::shared_ptr<DeviceLink>& link) {
    Library& lib = library();
    if (ErrorWord injected = lib.faults_.onCall(function))
        return injected;
    link = lib.find(deviceNo);
    return link ? 0 : ZEP9100_ERR_INVALID_DEVICENO;
}

void recordAcquisitionFailure(ErrorWord word) {
    recordError(word);
}

}  // namespace
}  // namespace lumatrace::device

using namespace lumatrace::device;

extern "C" {

ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetVersion(uint32_t* driverVersion,
                                                    uint32_t* libraryVersion) {
    ErrnoGuard guard;
    Library& lib = library();
    std::lock_guard lock(lib.mutex_);
    lib.refreshLocked();
    if (ErrorWord injected = lib.faults_.onCall("Zep9100GetVersion"))
        return fail(guard, injected);
    if (!driverVersion || !libraryVersion)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    uint32_t version = 0;
    ErrorWord e = ZEP9100_ERR_NO_DEVICE;
    for (const auto& link : lib.links_) {
        if (link) {
            e = link->queryVersion(version);
            break;
        }
    }
    if (e == ZEP9100_ERR_NO_DEVICE) {
        // Nothing open: ask the driver through a short-lived handle.
        for (unsigned i = 0; i < lib.bus_->deviceCount(); ++i) {
            std::unique_ptr<Transport> t = lib.bus_->transport(i);
            ErrorWord opened = t->open();
            if (opened == ZEP9100_ERR_NO_DEVICE || opened == ZEP9100_ERR_IN_USE)
                continue;
            e = opened ? opened : t->queryVersion(version);
            t->close();
            break;
        }
    }
    if (e)
        return fail(guard, e);
    *driverVersion = version;
    *libraryVersion = kLibraryVersion;
    return 1;
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100Create(uint16_t* deviceNo, Zep9100Notifier* window,
                                                uint32_t messageBase) {
    ErrnoGuard guard;
    Library& lib = library();
    std::lock_guard lock(lib.mutex_);
    lib.refreshLocked();
    if (ErrorWord injected = lib.faults_.onCall("Zep9100Create"))
        return fail(guard, injected);
    if (!deviceNo)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    const unsigned count = lib.bus_->deviceCount();
    if (lib.links_.size() < count)
        lib.links_.resize(count);
    bool busy = false;
    for (unsigned i = 0; i < count; ++i) {
        if (lib.links_[i]) {
            busy = true;
            continue;
        }
        std::unique_ptr<Transport> t = lib.bus_->transport(i);
        ErrorWord e = t->open();
        if (e == ZEP9100_ERR_IN_USE) {
            busy = true;
            continue;
        }
        if (e == ZEP9100_ERR_NO_DEVICE)
            continue;
        if (e)
            return fail(guard, e);
        auto link = std::make_shared<DeviceLink>(std::move(t), static_cast<uint16_t>(i), window,
                                                 messageBase, recordAcquisitionFailure);
        link->startReader();
        lib.links_[i] = std::move(link);
        *deviceNo = static_cast<uint16_t>(i);
        return 1;
    }
    return fail(guard, busy ? ZEP9100_ERR_IN_USE : ZEP9100_ERR_NO_DEVICE);
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100Close(uint32_t deviceNo) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100Close", deviceNo, link))
        return fail(guard, e);
    {
        Library& lib = library();
        std::lock_guard lock(lib.mutex_);
        if (deviceNo >= lib.links_.size() || lib.links_[deviceNo] != link)
            return fail(guard, ZEP9100_ERR_INVALID_DEVICENO);  // closed meanwhile
        lib.links_[deviceNo].reset();
    }
    // Leave the instrument idle for whoever opens it next; a lost
    // instrument cannot be stopped and need not be.
    link->setSampling(false);
    link->transact(p::kStop, nullptr, 0, nullptr, 0);
    link->shutdown();
    return 1;
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetDevInfo(uint32_t deviceNo,
                                                    uint8_t info[ZEP9100_DEVINFO_BYTES]) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100GetDevInfo", deviceNo, link))
        return fail(guard, e);
    if (!info)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    uint8_t response[p::kInfoResponseBytes];
    if (ErrorWord e = link->transact(p::kGetInfo, nullptr, 0, response, sizeof response))
        return fail(guard, e);
    std::memcpy(info, response, ZEP9100_DEVINFO_BYTES);
    return 1;
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetMemSize(uint32_t deviceNo, uint32_t* size) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100GetMemSize", deviceNo, link))
        return fail(guard, e);
    if (!size)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    uint8_t response[p::kInfoResponseBytes];
    if (ErrorWord e = link->transact(p::kGetInfo, nullptr, 0, response, sizeof response))
        return fail(guard, e);
    *size = p::getU32(response + 28);
    return 1;
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100SetMode(uint32_t deviceNo,
                                                 const uint32_t mode[ZEP9100_MODE_WORDS]) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100SetMode", deviceNo, link))
        return fail(guard, e);
    if (!mode)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    uint8_t payload[4 * p::kModeWords];
    for (std::size_t i = 0; i < p::kModeWords; ++i)
        p::putU32(payload + 4 * i, mode[i]);
    return result(guard, link->transact(p::kSetMode, payload, sizeof payload, nullptr, 0));
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100StartSampling(uint32_t deviceNo, uint32_t startFlag) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100StartSampling", deviceNo, link))
        return fail(guard, e);
    uint8_t payload[4];
    p::putU32(payload, startFlag);
    ErrorWord e = link->transact(p::kStart, payload, sizeof payload, nullptr, 0);
    if (e == 0)
        link->setSampling(true);
    return result(guard, e);
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100StopSampling(uint32_t deviceNo) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100StopSampling", deviceNo, link))
        return fail(guard, e);
    ErrorWord e = link->transact(p::kStop, nullptr, 0, nullptr, 0);
    if (e == 0)
        link->setSampling(false);
    return result(guard, e);
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetStatus(uint32_t deviceNo, uint32_t* status,
                                                   uint32_t* count, uint32_t* extra) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100GetStatus", deviceNo, link))
        return fail(guard, e);
    if (!status || !count || !extra)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    uint8_t response[p::kStatusResponseBytes];
    if (ErrorWord e = link->transact(p::kGetStatus, nullptr, 0, response, sizeof response))
        return fail(guard, e);
    *status = p::getU32(response);
    *count = p::getU32(response + 4);
    *extra = p::getU32(response + 8);
    return 1;
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetData(uint32_t deviceNo, uint32_t count,
                                                 uint32_t* words) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100GetData", deviceNo, link))
        return fail(guard, e);
    if (!words && count != 0)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    if (count > p::kMaxRecordSamples)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    uint8_t payload[4];
    p::putU32(payload, count);
    // Sample words arrive little-endian, as they lie in memory here.
    return result(guard, link->transact(p::kGetData, payload, sizeof payload,
                                        reinterpret_cast<uint8_t*>(words),
                                        static_cast<std::size_t>(count) * 4));
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetEquData(uint32_t deviceNo, uint32_t* phase) {
    ErrnoGuard guard;
    std::shared_ptr<DeviceLink> link;
    if (ErrorWord e = enter("Zep9100GetEquData", deviceNo, link))
        return fail(guard, e);
    if (!phase)
        return fail(guard, ZEP9100_ERR_INVALID_ARGUMENT);
    uint8_t response[4];
    if (ErrorWord e = link->transact(p::kGetPhase, nullptr, 0, response, sizeof response))
        return fail(guard, e);
    *phase = p::getU32(response);
    return 1;
}

ZEP9100_API uint32_t ZEP9100_CALL Zep9100GetLastError(void) {
    return gLastError.load();
}

}  // extern "C"
