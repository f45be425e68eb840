#include "device/tests/LibraryHarness.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>

namespace lumatrace::device::test {
namespace {

template <typename F>
F bind(void* handle, const char* name) {
    void* f = dlsym(handle, name);
    if (!f) {
        ADD_FAILURE() << "missing export " << name;
        std::abort();
    }
    return reinterpret_cast<F>(f);
}

Api load() {
    void* handle = dlopen(ZEP9100_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        ADD_FAILURE() << "cannot load " << ZEP9100_LIBRARY_PATH << ": " << dlerror();
        std::abort();
    }
    Api a;
    a.GetVersion = bind<Zep9100GetVersionFn>(handle, "Zep9100GetVersion");
    a.Create = bind<Zep9100CreateFn>(handle, "Zep9100Create");
    a.Close = bind<Zep9100CloseFn>(handle, "Zep9100Close");
    a.GetDevInfo = bind<Zep9100GetDevInfoFn>(handle, "Zep9100GetDevInfo");
    a.GetMemSize = bind<Zep9100GetMemSizeFn>(handle, "Zep9100GetMemSize");
    a.SetMode = bind<Zep9100SetModeFn>(handle, "Zep9100SetMode");
    a.StartSampling = bind<Zep9100StartSamplingFn>(handle, "Zep9100StartSampling");
    a.StopSampling = bind<Zep9100StopSamplingFn>(handle, "Zep9100StopSampling");
    a.GetStatus = bind<Zep9100GetStatusFn>(handle, "Zep9100GetStatus");
    a.GetData = bind<Zep9100GetDataFn>(handle, "Zep9100GetData");
    a.GetEquData = bind<Zep9100GetEquDataFn>(handle, "Zep9100GetEquData");
    a.GetLastError = bind<Zep9100GetLastErrorFn>(handle, "Zep9100GetLastError");
    return a;
}

}  // namespace

const Api& api() {
    static const Api instance = load();
    return instance;
}

void configure(const std::string& text) {
    // The test's name makes each configuration distinct, so every test
    // starts with freshly plugged-in instruments.
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    // ZEP9100_TEST_TRANSPORT runs the whole suite over the other transport.
    const char* transport = std::getenv("ZEP9100_TEST_TRANSPORT");
    std::string full = text + (transport ? std::string("\ntransport = ") + transport : "") +
                       "\n# " + (info ? info->test_suite_name() : "") + "." +
                       (info ? info->name() : "") + "\n";
    setenv("ZEP9100_VIRTUAL", full.c_str(), 1);
}

ModeRecord defaultMode() {
    return {2, 2, 250, 250, 0, 0, 0, 200, 0, 0, 0, 0, 0, 0, 0, 0, 250, 5000, 0, 0, 10};
}

void Notifications::post(void* context, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto* self = static_cast<Notifications*>(context);
    {
        std::lock_guard lock(self->mutex_);
        self->messages_.push_back({message, wParam, lParam, std::this_thread::get_id()});
    }
    self->arrived_.notify_all();
}

Notifications::Message Notifications::waitFor(uint32_t message, double seconds) {
    std::unique_lock lock(mutex_);
    Message found{0, 0, 0, {}};
    arrived_.wait_for(lock, std::chrono::duration<double>(seconds), [&] {
        for (const Message& m : messages_) {
            if (m.message == message) {
                found = m;
                return true;
            }
        }
        return false;
    });
    return found;
}

std::size_t Notifications::count(uint32_t message) {
    std::lock_guard lock(mutex_);
    std::size_t n = 0;
    for (const Message& m : messages_)
        n += m.message == message;
    return n;
}

Device::Device(Zep9100Notifier* notifier) {
    uint16_t n = 0xFFFF;
    EXPECT_EQ(api().Create(&n, notifier, 1124) & 0xFF, 1u) << api().GetLastError();
    number_ = n;
}

Device::~Device() {
    if (number_ != 0xFFFF)
        api().Close(number_);
}

bool Device::setMode(const ModeRecord& mode) {
    return (api().SetMode(number_, mode.data()) & 0xFF) != 0;
}

bool Device::start(uint32_t flag) {
    return (api().StartSampling(number_, flag) & 0xFF) != 0;
}

Status Device::status() {
    Status s;
    EXPECT_NE(api().GetStatus(number_, &s.status, &s.count, &s.extra) & 0xFF, 0u)
        << api().GetLastError();
    return s;
}

Status Device::waitComplete(uint32_t maxPolls) {
    Status s;
    for (uint32_t i = 0; i < maxPolls; ++i) {
        s = status();
        if (s.status == 7 || s.status == 11 || s.status == 0)
            return s;
        if (i > 1000)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ADD_FAILURE() << "the record did not complete; status " << s.status;
    return s;
}

std::vector<uint32_t> Device::data(uint32_t count) {
    std::vector<uint32_t> words(count, 0xFFFFFFFF);
    EXPECT_NE(api().GetData(number_, count, words.data()) & 0xFF, 0u) << api().GetLastError();
    return words;
}

}  // namespace lumatrace::device::test
