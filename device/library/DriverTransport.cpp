#include "device/library/DriverTransport.h"

#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "device/firmware/VirtualInstrument.h"
#include "device/include/zep9100.h"
#include "driver/Zep9100.h"
#include "driver/host/HostKernel.h"

namespace lumatrace::device {

static_assert(kVersionControlCode == driver::IOCTL_ZEP9100_GET_VERSION);
static_assert(Transport::kMaxTransfer == driver::kMaximumTransferSize);

BulkUsbFunction::BulkUsbFunction(BulkFunction& function)
    : function_(function), host_(std::make_shared<HostSlot>()) {
    // The instrument rings when IN data is ready and when it has been
    // unplugged; the bus hears of the latter as a dead port. The bus is
    // called with the slot locked, so that detaching it waits for a call in
    // progress (the bus detaches itself from inside functionGone, hence the
    // recursive lock).
    function_.setDoorbell([slot = host_, &function = function_] {
        std::lock_guard lock(slot->mutex);
        if (!slot->host)
            return;
        if (function.attached())
            slot->host->functionReady();
        else
            slot->host->functionGone();
    });
}

BulkUsbFunction::~BulkUsbFunction() {
    function_.setDoorbell(nullptr);
}

host::UsbPacketResult BulkUsbFunction::bulkOut(const uint8_t* data, size_t length) {
    switch (function_.bulkOut(data, length)) {
        case BulkStatus::Ok:
            return host::UsbPacketResult::done(length);
        case BulkStatus::Stall:
            return host::UsbPacketResult::stall();
        case BulkStatus::Gone:
            break;
    }
    return host::UsbPacketResult::gone();
}

host::UsbPacketResult BulkUsbFunction::bulkIn(uint8_t* buffer, size_t capacity) {
    std::size_t got = 0;
    switch (function_.bulkIn(buffer, capacity, got)) {
        case BulkStatus::Ok:
            return got == 0 ? host::UsbPacketResult::notReady() : host::UsbPacketResult::done(got);
        case BulkStatus::Stall:
            return host::UsbPacketResult::stall();
        case BulkStatus::Gone:
            break;
    }
    return host::UsbPacketResult::gone();
}

void BulkUsbFunction::attach(host::UsbFunctionHost* host) {
    std::lock_guard lock(host_->mutex);
    host_->host = host;
}

struct DriverBus::Stack {
    std::unique_ptr<host::HostKernel> kernel;
    std::vector<std::shared_ptr<VirtualInstrument>> instruments;
    std::vector<std::unique_ptr<BulkUsbFunction>> functions;
    std::vector<host::DeviceNode*> nodes;

    explicit Stack(const VirtualConfig& config) : kernel(std::make_unique<host::HostKernel>()) {
        const NTSTATUS loaded = kernel->loadDriver(DriverEntry, L"Zep9100");
        if (!NT_SUCCESS(loaded)) {
            std::fprintf(stderr, "zep9100: the driver did not load (%s)\n",
                         host::statusName(loaded).c_str());
            return;
        }
        for (unsigned i = 0; i < config.instruments; ++i) {
            instruments.push_back(std::make_shared<VirtualInstrument>(config, i));
            functions.push_back(std::make_unique<BulkUsbFunction>(*instruments.back()));
            nodes.push_back(
                &kernel->bus().plug(host::UsbDeviceSpec::instrument(), *functions.back()));
        }
        kernel->settle();
    }

    ~Stack() {
        // Unplug everything and unload the driver while the functions are
        // still there; the kernel goes last, as a doorbell rung before the
        // instruments stopped may still reach it.
        const std::string leaks = kernel->shutdown();
        if (!leaks.empty())
            std::fprintf(stderr, "zep9100: the driver left behind:\n%s\n", leaks.c_str());
        functions.clear();
        instruments.clear();
        kernel.reset();
    }
};

namespace {

ErrorWord systemError(NTSTATUS status) {
    return ZEP9100_ERR_SYSTEM | (static_cast<uint32_t>(status) & 0xFFFFu) << 16;
}

ErrorWord transferError(NTSTATUS status) {
    return status == STATUS_CANCELLED ? ZEP9100_ERR_TRANSFER_CANCEL : ZEP9100_ERR_TRANSFER_FAIL;
}

class DriverTransport final : public Transport {
  public:
    DriverTransport(std::shared_ptr<DriverBus::Stack> stack, unsigned index)
        : stack_(std::move(stack)), index_(index) {}

    ~DriverTransport() override { close(); }

    ErrorWord open() override {
        std::lock_guard lock(mutex_);
        if (file_)
            return ZEP9100_ERR_IN_USE;
        // The plug-and-play manager removes an instrument that pulled its
        // own plug on a thread of its own, a moment later: it is not there
        // any more from the moment it went.
        if (!stack_->instruments.at(index_)->attached())
            return ZEP9100_ERR_NO_DEVICE;
        const std::wstring path = L"\\\\.\\Zep9100Device" + std::to_wstring(index_);
        host::UserFile* file = nullptr;
        const NTSTATUS status = stack_->kernel->io().createFile(path, &file);
        switch (status) {
            case STATUS_SUCCESS:
                file_ = file;
                cancelled_ = false;
                return 0;
            case STATUS_OBJECT_NAME_NOT_FOUND:
            case STATUS_NO_SUCH_DEVICE:
            case STATUS_DELETE_PENDING:
                return ZEP9100_ERR_NO_DEVICE;
            case STATUS_ACCESS_DENIED:
                return ZEP9100_ERR_IN_USE;
            default:
                return systemError(status);
        }
    }

    void cancel() override {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
        if (file_)
            stack_->kernel->io().cancelIo(file_);
    }

    void close() override {
        host::UserFile* file;
        {
            std::lock_guard lock(mutex_);
            file = file_;
            file_ = nullptr;
        }
        if (file)
            stack_->kernel->io().closeHandle(file);
    }

    ErrorWord write(const uint8_t* data, std::size_t length) override {
        if (length == 0 || length > kMaxTransfer)
            return ZEP9100_ERR_INVALID_ARGUMENT;
        host::UserIo* io;
        {
            std::lock_guard lock(mutex_);
            if (cancelled_)
                return ZEP9100_ERR_TRANSFER_CANCEL;
            if (!file_)
                return ZEP9100_ERR_TRANSFER_FAIL;
            io = stack_->kernel->io().writeFileAsync(file_, data, static_cast<ULONG>(length));
        }
        ULONG bytes = 0;
        const NTSTATUS status = stack_->kernel->io().waitIo(io, &bytes);
        if (!NT_SUCCESS(status))
            return transferError(status);
        return bytes == length ? 0 : ZEP9100_ERR_TRANSFER_FAIL;
    }

    ErrorWord read(uint8_t* buffer, std::size_t capacity, std::size_t& got) override {
        got = 0;
        if (capacity > kMaxTransfer)
            capacity = kMaxTransfer;
        host::UserIo* io;
        {
            // Started under the lock cancel() takes: a cancel either comes
            // first and is seen here, or finds the request to cancel.
            std::lock_guard lock(mutex_);
            if (cancelled_)
                return ZEP9100_ERR_TRANSFER_CANCEL;
            if (!file_)
                return ZEP9100_ERR_TRANSFER_FAIL;
            io = stack_->kernel->io().readFileAsync(file_, buffer, static_cast<ULONG>(capacity));
        }
        ULONG bytes = 0;
        const NTSTATUS status = stack_->kernel->io().waitIo(io, &bytes);
        if (!NT_SUCCESS(status))
            return transferError(status);
        got = bytes;
        return 0;
    }

    ErrorWord queryVersion(uint32_t& version) override {
        std::lock_guard lock(mutex_);
        if (!file_)
            return ZEP9100_ERR_TRANSFER_FAIL;
        ULONG word = 0;
        ULONG bytes = 0;
        const NTSTATUS status = stack_->kernel->io().deviceIoControl(
            file_, kVersionControlCode, nullptr, 0, &word, sizeof word, &bytes);
        if (!NT_SUCCESS(status))
            return systemError(status);
        if (bytes != sizeof word)
            return ZEP9100_ERR_INTERNAL;
        version = word;
        return 0;
    }

  private:
    std::shared_ptr<DriverBus::Stack> stack_;
    const unsigned index_;
    std::mutex mutex_;
    host::UserFile* file_ = nullptr;
    bool cancelled_ = false;
};

}  // namespace

DriverBus::DriverBus(const VirtualConfig& config) : stack_(std::make_shared<Stack>(config)) {}

DriverBus::~DriverBus() = default;

unsigned DriverBus::deviceCount() const {
    return static_cast<unsigned>(stack_->nodes.size());
}

DriverBus::PnpState DriverBus::pnpState(unsigned index) const {
    const host::DeviceNode* node = stack_->nodes.at(index);
    stack_->kernel->settle();
    return {node->started(), node->surpriseRemoved(), node->removed()};
}

std::unique_ptr<Transport> DriverBus::transport(unsigned index) {
    if (index >= stack_->nodes.size())
        throw std::out_of_range("no such instrument");
    return std::make_unique<DriverTransport>(stack_, index);
}

}  // namespace lumatrace::device
