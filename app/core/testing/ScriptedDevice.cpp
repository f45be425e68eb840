#include "app/core/testing/ScriptedDevice.h"

#include <cstring>
#include <stdexcept>

namespace lumatrace::testing {

namespace {

ScriptedDevice* current = nullptr;

ScriptedDevice& Dev() {
    if (current == nullptr) {
        throw std::logic_error("no ScriptedDevice is current");
    }
    return *current;
}

std::uint32_t GetVersion(std::uint32_t* driver, std::uint32_t* library) {
    const std::uint32_t r = Dev().Result("Zep9100GetVersion");
    if (r & 0xFF) {
        *driver = Dev().driverVersion;
        *library = Dev().libraryVersion;
    }
    return r;
}

std::uint32_t Create(std::uint16_t* deviceNo, Zep9100Notifier* window, std::uint32_t base) {
    const std::uint32_t r = Dev().Result("Zep9100Create");
    if (r & 0xFF) {
        *deviceNo = Dev().deviceNo;
        Dev().hasNotifier = window != nullptr;
        if (window != nullptr) {
            Dev().notifier = *window;
        }
        Dev().messageBase = base;
    }
    return r;
}

std::uint32_t Close(std::uint32_t) {
    return Dev().Result("Zep9100Close");
}

std::uint32_t GetDevInfo(std::uint32_t, std::uint8_t* info) {
    const std::uint32_t r = Dev().Result("Zep9100GetDevInfo");
    if (r & 0xFF) {
        std::memcpy(info, Dev().info.data(), Dev().info.size());
    }
    return r;
}

std::uint32_t GetMemSize(std::uint32_t, std::uint32_t* size) {
    const std::uint32_t r = Dev().Result("Zep9100GetMemSize");
    if (r & 0xFF) {
        *size = Dev().memSize;
    }
    return r;
}

std::uint32_t SetMode(std::uint32_t, const std::uint32_t* mode) {
    const std::uint32_t r = Dev().Result("Zep9100SetMode");
    if (r & 0xFF) {
        std::memcpy(Dev().mode.data(), mode, sizeof(std::uint32_t) * ZEP9100_MODE_WORDS);
        Dev().modesSent.push_back(Dev().mode);
    }
    return r;
}

std::uint32_t StartSampling(std::uint32_t, std::uint32_t flag) {
    Dev().startFlags.push_back(flag);
    return Dev().Result("Zep9100StartSampling");
}

std::uint32_t StopSampling(std::uint32_t) {
    ++Dev().stops;
    return Dev().Result("Zep9100StopSampling");
}

std::uint32_t GetStatus(std::uint32_t, std::uint32_t* status, std::uint32_t* count,
                        std::uint32_t* extra) {
    ScriptedDevice& d = Dev();
    const std::uint32_t r = d.Result("Zep9100GetStatus");
    ScriptedDevice::Status s = d.status;
    if (!d.statuses.empty()) {
        s = d.statuses.front();
        d.statuses.pop_front();
    }
    if (r & 0xFF) {
        *status = s.status;
        *count = s.count;
        *extra = s.extra;
    }
    return r;
}

std::uint32_t GetData(std::uint32_t, std::uint32_t count, std::uint32_t* words) {
    ScriptedDevice& d = Dev();
    d.dataCounts.push_back(count);
    const std::uint32_t r = d.Result("Zep9100GetData");
    if (r & 0xFF) {
        for (std::uint32_t i = 0; i < count; ++i) {
            words[i] = d.sample ? d.sample(d.streamIndex + i) : i;
        }
        if (d.stream) {
            d.streamIndex += count;
        }
    }
    return r;
}

std::uint32_t GetEquData(std::uint32_t, std::uint32_t* phase) {
    ScriptedDevice& d = Dev();
    const std::uint32_t r = d.Result("Zep9100GetEquData");
    std::uint32_t p = d.phase;
    if (!d.phases.empty()) {
        p = d.phases.front();
        d.phases.pop_front();
    }
    if (r & 0xFF) {
        *phase = p;
    }
    return r;
}

std::uint32_t GetLastError() {
    Dev().calls.push_back("Zep9100GetLastError");
    return Dev().lastError;
}

void* Address(const std::string& name) {
    static const std::map<std::string, void*> table = {
        {"Zep9100GetVersion", reinterpret_cast<void*>(&GetVersion)},
        {"Zep9100Create", reinterpret_cast<void*>(&Create)},
        {"Zep9100Close", reinterpret_cast<void*>(&Close)},
        {"Zep9100GetDevInfo", reinterpret_cast<void*>(&GetDevInfo)},
        {"Zep9100GetMemSize", reinterpret_cast<void*>(&GetMemSize)},
        {"Zep9100SetMode", reinterpret_cast<void*>(&SetMode)},
        {"Zep9100StartSampling", reinterpret_cast<void*>(&StartSampling)},
        {"Zep9100StopSampling", reinterpret_cast<void*>(&StopSampling)},
        {"Zep9100GetStatus", reinterpret_cast<void*>(&GetStatus)},
        {"Zep9100GetData", reinterpret_cast<void*>(&GetData)},
        {"Zep9100GetEquData", reinterpret_cast<void*>(&GetEquData)},
        {"Zep9100GetLastError", reinterpret_cast<void*>(&GetLastError)},
    };
    const auto it = table.find(name);
    return it == table.end() ? nullptr : it->second;
}

class ScriptedLibrary final : public LoadedLibrary {
  public:
    explicit ScriptedLibrary(ScriptedDeviceLoader& loader) : loader_(loader) {}
    ~ScriptedLibrary() override { ++loader_.unloads; }
    void* Symbol(const char* name) override {
        loader_.lookups.emplace_back(name);
        return loader_.missing.count(name) != 0 ? nullptr : Address(name);
    }

  private:
    ScriptedDeviceLoader& loader_;
};

}  // namespace

ScriptedDevice::ScriptedDevice() {
    info.fill(0);
    info[24] = 123;
    info[25] = 105;
    current = this;
}

ScriptedDevice::~ScriptedDevice() {
    if (current == this) {
        current = nullptr;
    }
}

ScriptedDevice* ScriptedDevice::Current() {
    return current;
}

void ScriptedDevice::QueueResult(const std::string& function, std::uint32_t result) {
    results_[function].push_back(result);
    errorWords_[function].push_back(failureWord);
}

void ScriptedDevice::FailNext(const std::string& function, std::uint32_t errorWord) {
    results_[function].push_back(0);
    errorWords_[function].push_back(errorWord);
}

std::uint32_t ScriptedDevice::Result(const char* function) {
    calls.emplace_back(function);
    auto it = results_.find(function);
    if (it == results_.end() || it->second.empty()) {
        return 1;
    }
    const std::uint32_t r = it->second.front();
    it->second.pop_front();
    auto& words = errorWords_[function];
    const std::uint32_t word = words.empty() ? failureWord : words.front();
    if (!words.empty()) {
        words.pop_front();
    }
    if ((r & 0xFF) == 0) {
        lastError = word;
    }
    return r;
}

void ScriptedDevice::PostMessage(std::uint32_t message, std::intptr_t lParam) {
    if (hasNotifier && notifier.post != nullptr) {
        notifier.post(notifier.context, message, deviceNo, lParam);
    }
}

int ScriptedDevice::CallCount(const std::string& function) const {
    int n = 0;
    for (const auto& c : calls) {
        n += c == function ? 1 : 0;
    }
    return n;
}

std::unique_ptr<LoadedLibrary> ScriptedDeviceLoader::Load(const std::string& fileName,
                                                          std::string& error) {
    if (failLoad || fileName != fileName_) {
        error = fileName + ": cannot open shared object file";
        return nullptr;
    }
    ++loads;
    return std::make_unique<ScriptedLibrary>(*this);
}

}  // namespace lumatrace::testing
