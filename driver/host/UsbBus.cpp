// The virtual USB bus of the host model: the bus driver below the function driver, which answers
// URBs from the device's descriptors and passes bulk transfers to the device's function.
#include <algorithm>
#if defined(__linux__)
#include <pthread.h>
#endif

#include "driver/host/KernelState.h"

namespace lumatrace::host {

namespace {
constexpr ULONG kUsbdTag = Pool::kUsbdTag;

void put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// Copies descriptor bytes into a URB's buffer (virtual address or MDL).
ULONG copyToUrbBuffer(PVOID buffer, PMDL mdl, ULONG length, const std::vector<uint8_t>& bytes) {
    uint8_t* target = static_cast<uint8_t*>(buffer);
    if (!target && mdl) {
        target = static_cast<uint8_t*>(MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority));
        length = std::min<ULONG>(length, MmGetMdlByteCount(mdl));
    }
    if (!target)
        BugCheck("descriptor request without a buffer");
    ULONG n = std::min<ULONG>(length, static_cast<ULONG>(bytes.size()));
    std::memcpy(target, bytes.data(), n);
    return n;
}

void completeAtDispatch(PIRP irp) {
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    KeLowerIrql(old);
}

VOID NTAPI cancelQueuedTransfer(PDEVICE_OBJECT device, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    deviceInfo(device).usb->cancelQueued(irp);
}
}  // namespace

UsbDeviceSpec UsbDeviceSpec::instrument() {
    UsbDeviceSpec spec;
    UsbInterfaceSpec interface;
    interface.endpoints = {{0x81, 2, 512, 0}, {0x02, 2, 512, 0}};
    UsbConfigurationSpec configuration;
    configuration.value = 1;
    configuration.interfaces = {interface};
    spec.configurations = {configuration};
    return spec;
}

std::vector<uint8_t> deviceDescriptorBytes(const UsbDeviceSpec& spec) {
    std::vector<uint8_t> d = {18, USB_DEVICE_DESCRIPTOR_TYPE};
    put16(d, 0x0200);
    d.insert(d.end(), {0xFF, 0xFF, 0xFF, 64});
    put16(d, spec.vendorId);
    put16(d, spec.productId);
    put16(d, 0x0100);
    d.insert(d.end(), {0, 0, 0, static_cast<uint8_t>(spec.configurations.size())});
    return d;
}

std::vector<uint8_t> configurationDescriptorBytes(const UsbConfigurationSpec& config) {
    std::vector<uint8_t> d = {9,
                              USB_CONFIGURATION_DESCRIPTOR_TYPE,
                              0,
                              0,
                              static_cast<uint8_t>(config.interfaces.size()),
                              config.value,
                              0,
                              0x80,
                              50};
    for (const auto& interface : config.interfaces) {
        d.insert(
            d.end(),
            {9, USB_INTERFACE_DESCRIPTOR_TYPE, interface.number, interface.alternateSetting,
             static_cast<uint8_t>(interface.endpoints.size()), interface.interfaceClass, 0, 0, 0});
        d.insert(d.end(), interface.classDescriptors.begin(), interface.classDescriptors.end());
        for (const auto& ep : interface.endpoints) {
            d.insert(d.end(), {7, USB_ENDPOINT_DESCRIPTOR_TYPE, ep.address, ep.attributes});
            put16(d, ep.maxPacketSize);
            d.push_back(ep.interval);
        }
    }
    d.insert(d.end(), config.trailingDescriptors.begin(), config.trailingDescriptors.end());
    d[2] = static_cast<uint8_t>(d.size());
    d[3] = static_cast<uint8_t>(d.size() >> 8);
    return d;
}

// ---------------------------------------------------------------------------------------------

VirtualUsbDevice::VirtualUsbDevice(const UsbDeviceSpec& spec, UsbFunction& function)
    : spec_(spec), function_(function) {
    function_.attach(this);
    thread_ = std::thread([this] { threadMain(); });
}

VirtualUsbDevice::~VirtualUsbDevice() {
    stopThread();
}

void VirtualUsbDevice::stopThread() {
    {
        std::lock_guard lock(m_);
        if (!thread_.joinable())
            return;
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    function_.attach(nullptr);
}

void VirtualUsbDevice::functionReady() {
    // Never serviced in the caller's thread: a function may ring from a thread that its own
    // transfers wait for.
    {
        std::lock_guard lock(m_);
        wakeRequested_ = true;
    }
    wake_.notify_all();
}

void VirtualUsbDevice::functionGone() {
    kernel().busApi.reportRemoval(*node);
}

void VirtualUsbDevice::waitIdle() {
    std::unique_lock lock(m_);
    idle_.wait(lock, [this] { return !busy_ && !wakeRequested_; });
}

bool VirtualUsbDevice::connected() const {
    std::lock_guard lock(m_);
    return connected_;
}

UsbTrafficCounts VirtualUsbDevice::traffic() const {
    std::lock_guard lock(m_);
    UsbTrafficCounts counts = counts_;
    counts.configurationValue = configurationValue_;
    return counts;
}

void VirtualUsbDevice::threadMain() {
#if defined(__linux__)
    // Named so that a look at the process's threads tells the bus from the program.
    pthread_setname_np(pthread_self(), "vi-usb-bus");
#endif
    std::unique_lock lock(m_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || wakeRequested_; });
        if (stopping_)
            break;
        wakeRequested_ = false;
        busy_ = true;
        lock.unlock();
        service();
        checkThreadIsClean("the bus thread");
        lock.lock();
        busy_ = false;
        if (!wakeRequested_)
            idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}

NTSTATUS VirtualUsbDevice::completeUrb(PIRP irp, PURB urb, NTSTATUS status, USBD_STATUS usbStatus) {
    urb->UrbHeader.Status = usbStatus;
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    completeAtDispatch(irp);
    return status;
}

void VirtualUsbDevice::completeAll(std::vector<Finished>& finished) {
    for (const Finished& f : finished) {
        PURB urb =
            static_cast<PURB>(IoGetCurrentIrpStackLocation(f.irp)->Parameters.Others.Argument1);
        urb->UrbHeader.Status = f.usbStatus;
        if (!NT_SUCCESS(f.status))
            urb->UrbBulkOrInterruptTransfer.TransferBufferLength = 0;
        f.irp->IoStatus.Status = f.status;
        f.irp->IoStatus.Information = 0;
        completeAtDispatch(f.irp);
    }
    finished.clear();
}

VirtualUsbDevice::Pipe* VirtualUsbDevice::findPipeLocked(USBD_PIPE_HANDLE handle) {
    for (Pipe& pipe : pipes_)
        if (pipe.handle == handle)
            return &pipe;
    return nullptr;
}

void VirtualUsbDevice::deconfigureLocked(std::vector<Finished>& finished, NTSTATUS status,
                                         USBD_STATUS usb) {
    for (Pipe& pipe : pipes_) {
        for (auto it = pipe.queue.begin(); it != pipe.queue.end();) {
            if (IoSetCancelRoutine(*it, nullptr)) {
                finished.push_back({*it, status, usb});
                it = pipe.queue.erase(it);
            } else {
                ++it;  // its cancel routine is about to take it
            }
        }
    }
}

void VirtualUsbDevice::cancelQueued(PIRP irp) {
    bool found = false;
    {
        std::lock_guard lock(m_);
        for (Pipe& pipe : pipes_) {
            auto it = std::find(pipe.queue.begin(), pipe.queue.end(), irp);
            if (it != pipe.queue.end()) {
                pipe.queue.erase(it);
                found = true;
                break;
            }
        }
    }
    if (!found)
        BugCheck("bus cancel routine ran for a transfer that is not queued");
    std::vector<Finished> finished = {{irp, STATUS_CANCELLED, USBD_STATUS_CANCELED}};
    completeAll(finished);
}

void VirtualUsbDevice::disconnect() {
    std::vector<Finished> finished;
    {
        std::lock_guard lock(m_);
        connected_ = false;
        deconfigureLocked(finished, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE);
    }
    completeAll(finished);
    function_.attach(nullptr);
}

// Moves every transfer that the function can finish now, in order per pipe.
void VirtualUsbDevice::service() {
    // The lists are kept per thread between passes. A pass can run inside a completion routine
    // of another pass on the same thread, so each pass takes the spare lists and puts them back.
    static thread_local std::vector<Finished> spareFinished;
    static thread_local std::vector<USBD_PIPE_HANDLE> spareWaiting;
    std::vector<Finished> finished;
    finished.swap(spareFinished);
    bool gone = false;
    {
        std::lock_guard functionLock(functionLock_);
        std::vector<USBD_PIPE_HANDLE> waiting;  // pipes whose head the function cannot take yet
        waiting.swap(spareWaiting);
        std::unique_lock lock(m_);
        for (;;) {
            PIRP irp = nullptr;
            Pipe* pipe = nullptr;
            for (Pipe& p : pipes_) {
                if (std::find(waiting.begin(), waiting.end(), p.handle) != waiting.end())
                    continue;
                for (auto it = p.queue.begin(); it != p.queue.end(); ++it) {
                    if (IoSetCancelRoutine(*it, nullptr)) {
                        irp = *it;
                        p.queue.erase(it);
                        pipe = &p;
                        break;
                    }
                }
                if (irp)
                    break;
            }
            if (!irp)
                break;
            lock.unlock();
            PURB urb =
                static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
            auto& transfer = urb->UrbBulkOrInterruptTransfer;
            const bool in = USB_ENDPOINT_DIRECTION_IN(pipe->endpoint.address) != 0;
            auto* data = static_cast<uint8_t*>(transfer.TransferBuffer);
            if (!data)
                data = static_cast<uint8_t*>(
                    MmGetSystemAddressForMdlSafe(transfer.TransferBufferMDL, NormalPagePriority));
            UsbPacketResult result = in ? function_.bulkIn(data, transfer.TransferBufferLength)
                                        : function_.bulkOut(data, transfer.TransferBufferLength);
            lock.lock();
            if (!connected_) {
                finished.push_back({irp, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE});
            } else if (result.kind == UsbPacketResult::Kind::NotReady) {
                // Back to the head of its queue, cancellable again, until the function says it
                // may be ready; a cancel that came meanwhile is honoured now.
                pipe->queue.push_front(irp);
                IoSetCancelRoutine(irp, cancelQueuedTransfer);
                if (__atomic_load_n(&irp->Cancel, __ATOMIC_SEQ_CST) &&
                    IoSetCancelRoutine(irp, nullptr)) {
                    pipe->queue.pop_front();
                    finished.push_back({irp, STATUS_CANCELLED, USBD_STATUS_CANCELED});
                }
                waiting.push_back(pipe->handle);
            } else if (result.kind == UsbPacketResult::Kind::Gone) {
                // Pulled out with the transfer in it: this and every queued transfer fail as
                // at a disconnect, and the PnP manager hears of it once this pass is over.
                connected_ = false;
                finished.push_back({irp, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE});
                deconfigureLocked(finished, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE);
                gone = true;
                break;
            } else if (result.kind == UsbPacketResult::Kind::Stall) {
                pipe->halted = true;
                finished.push_back({irp, STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID});
            } else {
                if (result.bytes > transfer.TransferBufferLength)
                    BugCheck("the USB function moved more bytes than the transfer holds");
                const bool shortIn = in && result.bytes < transfer.TransferBufferLength;
                transfer.TransferBufferLength = static_cast<ULONG>(result.bytes);
                if (shortIn && !(transfer.TransferFlags & USBD_SHORT_TRANSFER_OK))
                    finished.push_back(
                        {irp, STATUS_UNSUCCESSFUL, USBD_STATUS_ERROR_SHORT_TRANSFER});
                else
                    finished.push_back({irp, STATUS_SUCCESS, USBD_STATUS_SUCCESS});
            }
        }
        lock.unlock();
        waiting.clear();
        spareWaiting.swap(waiting);
    }
    if (gone)
        functionGone();
    completeAll(finished);
    spareFinished.swap(finished);
}

// ---------------------------------------------------------------------------------------------
// Bus driver dispatch

NTSTATUS VirtualUsbDevice::dispatchPnp(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    switch (sp->MinorFunction) {
        case IRP_MN_START_DEVICE:
            status = spec_.startStatus;
            break;
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE:
        case IRP_MN_SURPRISE_REMOVAL:
            status = STATUS_SUCCESS;
            break;
        case IRP_MN_REMOVE_DEVICE: {
            std::vector<Finished> finished;
            {
                std::lock_guard functionLock(functionLock_);
                std::lock_guard lock(m_);
                deconfigureLocked(finished, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE);
                pipes_.clear();
                configurationValue_ = 0;
            }
            completeAll(finished);
            status = STATUS_SUCCESS;
            break;
        }
        case IRP_MN_QUERY_CAPABILITIES: {
            PDEVICE_CAPABILITIES caps = sp->Parameters.DeviceCapabilities.Capabilities;
            if (!caps || caps->Size < sizeof(DEVICE_CAPABILITIES) || caps->Version != 1) {
                status = STATUS_INVALID_PARAMETER;
                break;
            }
            caps->Removable = 1;
            caps->SurpriseRemovalOK = 1;
            caps->Address = 1;
            caps->UINumber = 1;
            for (int s = 0; s < PowerSystemMaximum; ++s)
                caps->DeviceState[s] = spec_.deviceStateFor[s];
            caps->SystemWake = PowerSystemUnspecified;
            caps->DeviceWake = PowerDeviceUnspecified;
            status = STATUS_SUCCESS;
            break;
        }
        default:
            break;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS VirtualUsbDevice::dispatchPower(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    PoStartNextPowerIrp(irp);
    NTSTATUS status = irp->IoStatus.Status;
    if (sp->MinorFunction == IRP_MN_SET_POWER || sp->MinorFunction == IRP_MN_QUERY_POWER) {
        status = STATUS_SUCCESS;
        if (sp->MinorFunction == IRP_MN_SET_POWER && sp->Parameters.Power.Type == DevicePowerState)
            PoSetPowerState(device, DevicePowerState, sp->Parameters.Power.State);
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS VirtualUsbDevice::dispatchInternalControl(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(irp);
    if (sp->Parameters.DeviceIoControl.IoControlCode != IOCTL_INTERNAL_USB_SUBMIT_URB) {
        irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    auto urb = static_cast<PURB>(sp->Parameters.Others.Argument1);
    if (!urb)
        BugCheck("submit-URB request without a URB");
    // A bulk transfer checks the connection under the lock it queues with.
    if (urb->UrbHeader.Function != URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER && !connected())
        return completeUrb(irp, urb, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE);
    switch (urb->UrbHeader.Function) {
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
            return getDescriptor(irp, urb);
        case URB_FUNCTION_SELECT_CONFIGURATION:
            return selectConfiguration(irp, urb);
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
            return bulkTransfer(irp, urb);
        case URB_FUNCTION_ABORT_PIPE:
            return abortPipe(irp, urb);
        case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
            return resetPipe(irp, urb);
        default:
            return completeUrb(irp, urb, STATUS_INVALID_PARAMETER,
                               USBD_STATUS_INVALID_URB_FUNCTION);
    }
}

NTSTATUS VirtualUsbDevice::getDescriptor(PIRP irp, PURB urb) {
    auto& request = urb->UrbControlDescriptorRequest;
    if (urb->UrbHeader.Length < sizeof(request))
        BugCheck("descriptor URB with a short header length");
    {
        std::lock_guard lock(m_);
        counts_.descriptorReads++;
    }
    std::vector<uint8_t> bytes;
    if (request.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE && request.Index == 0 &&
        !spec_.failDeviceDescriptor) {
        bytes = deviceDescriptorBytes(spec_);
    } else if (request.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE &&
               request.Index < spec_.configurations.size() &&
               request.Index != spec_.failConfigurationIndex) {
        bytes = configurationDescriptorBytes(spec_.configurations[request.Index]);
    } else {
        return completeUrb(irp, urb, STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID);
    }
    request.TransferBufferLength = copyToUrbBuffer(
        request.TransferBuffer, request.TransferBufferMDL, request.TransferBufferLength, bytes);
    return completeUrb(irp, urb, STATUS_SUCCESS, USBD_STATUS_SUCCESS);
}

NTSTATUS VirtualUsbDevice::selectConfiguration(PIRP irp, PURB urb) {
    auto& select = urb->UrbSelectConfiguration;
    std::vector<Finished> finished;
    PUSB_CONFIGURATION_DESCRIPTOR descriptor = select.ConfigurationDescriptor;
    {
        std::lock_guard functionLock(functionLock_);
        std::lock_guard lock(m_);
        counts_.selectConfigurations++;
        // Any new selection (or none) ends the pipes of the previous one.
        deconfigureLocked(finished, STATUS_CANCELLED, USBD_STATUS_CANCELED);
        pipes_.clear();
        configurationValue_ = 0;
        generation_++;
    }
    completeAll(finished);
    if (!descriptor)
        return completeUrb(irp, urb, STATUS_SUCCESS, USBD_STATUS_SUCCESS);
    if (spec_.refuseSelectConfiguration)
        return completeUrb(irp, urb, STATUS_UNSUCCESSFUL, USBD_STATUS_REQUEST_FAILED);

    const UsbConfigurationSpec* config = nullptr;
    for (const auto& c : spec_.configurations)
        if (c.value == descriptor->bConfigurationValue)
            config = &c;
    if (!config)
        return completeUrb(irp, urb, STATUS_INVALID_PARAMETER,
                           USBD_STATUS_INAVLID_CONFIGURATION_DESCRIPTOR);

    std::vector<Pipe> pipes;
    const auto* end = reinterpret_cast<const uint8_t*>(urb) + urb->UrbHeader.Length;
    auto* info = &select.Interface;
    unsigned generation;
    {
        std::lock_guard lock(m_);
        generation = generation_;
    }
    for (unsigned i = 0; i < descriptor->bNumInterfaces; ++i) {
        if (reinterpret_cast<const uint8_t*>(info) + sizeof(USBD_INTERFACE_INFORMATION) -
                sizeof(USBD_PIPE_INFORMATION) >
            end)
            break;
        const UsbInterfaceSpec* spec = nullptr;
        for (const auto& candidate : config->interfaces)
            if (candidate.number == info->InterfaceNumber &&
                candidate.alternateSetting == info->AlternateSetting)
                spec = &candidate;
        if (!spec)
            return completeUrb(irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER);
        if (info->Length < GET_USBD_INTERFACE_SIZE(spec->endpoints.size()) ||
            reinterpret_cast<const uint8_t*>(info) + info->Length > end)
            return completeUrb(irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_BUFFER_TOO_SMALL);
        info->Class = spec->interfaceClass;
        info->SubClass = 0;
        info->Protocol = 0;
        info->InterfaceHandle = reinterpret_cast<USBD_INTERFACE_HANDLE>(0x1000 + i);
        info->NumberOfPipes = static_cast<ULONG>(spec->endpoints.size());
        for (size_t p = 0; p < spec->endpoints.size(); ++p) {
            const UsbEndpointSpec& ep = spec->endpoints[p];
            USBD_PIPE_INFORMATION& pipeInfo = info->Pipes[p];
            pipeInfo.MaximumPacketSize = ep.maxPacketSize;
            pipeInfo.EndpointAddress = ep.address;
            pipeInfo.Interval = ep.interval;
            pipeInfo.PipeType = (ep.attributes & 3) == 3 ? UsbdPipeTypeInterrupt : UsbdPipeTypeBulk;
            pipeInfo.PipeHandle = reinterpret_cast<USBD_PIPE_HANDLE>(
                static_cast<ULONG_PTR>(0x10000 + generation * 0x100 + pipes.size() * 8 + 8));
            pipeInfo.MaximumTransferSize =
                std::min<ULONG>(pipeInfo.MaximumTransferSize, spec_.maximumTransferSize);
            Pipe pipe;
            pipe.endpoint = ep;
            pipe.handle = pipeInfo.PipeHandle;
            pipe.maximumTransferSize = pipeInfo.MaximumTransferSize;
            pipes.push_back(pipe);
        }
        info = reinterpret_cast<PUSBD_INTERFACE_INFORMATION>(reinterpret_cast<uint8_t*>(info) +
                                                             info->Length);
    }
    select.ConfigurationHandle =
        reinterpret_cast<USBD_CONFIGURATION_HANDLE>(static_cast<ULONG_PTR>(0x2000 + generation));
    {
        std::lock_guard functionLock(functionLock_);
        std::lock_guard lock(m_);
        pipes_ = std::move(pipes);
        configurationValue_ = config->value;
    }
    return completeUrb(irp, urb, STATUS_SUCCESS, USBD_STATUS_SUCCESS);
}

NTSTATUS VirtualUsbDevice::bulkTransfer(PIRP irp, PURB urb) {
    auto& transfer = urb->UrbBulkOrInterruptTransfer;
    if (urb->UrbHeader.Length < sizeof(transfer))
        BugCheck("bulk URB with a short header length");
    if (transfer.UrbLink)
        BugCheck("chained URBs are not modelled");
    if (transfer.TransferBufferMDL) {
        if (transfer.TransferBufferLength > MmGetMdlByteCount(transfer.TransferBufferMDL))
            return completeUrb(irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER);
    } else if (!transfer.TransferBuffer) {
        return completeUrb(irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER);
    }
    std::vector<Finished> finished;
    bool queued = false;
    {
        std::lock_guard lock(m_);
        Pipe* pipe = findPipeLocked(transfer.PipeHandle);
        if (!connected_) {
            finished.push_back({irp, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEVICE_GONE});
        } else if (pipe) {
            const bool in = USB_ENDPOINT_DIRECTION_IN(pipe->endpoint.address) != 0;
            if (in) {
                counts_.bulkInTransfers++;
                counts_.lastBulkInLength = transfer.TransferBufferLength;
            } else {
                counts_.bulkOutTransfers++;
                counts_.lastBulkOutLength = transfer.TransferBufferLength;
            }
            if (in != ((transfer.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0)) {
                finished.push_back({irp, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER});
            } else if (pipe->halted) {
                finished.push_back({irp, STATUS_UNSUCCESSFUL, USBD_STATUS_ENDPOINT_HALTED});
            } else {
                IoMarkIrpPending(irp);
                pipe->queue.push_back(irp);
                IoSetCancelRoutine(irp, cancelQueuedTransfer);
                if (__atomic_load_n(&irp->Cancel, __ATOMIC_SEQ_CST) &&
                    IoSetCancelRoutine(irp, nullptr)) {
                    pipe->queue.pop_back();
                    finished.push_back({irp, STATUS_CANCELLED, USBD_STATUS_CANCELED});
                }
                queued = true;
            }
        } else {
            finished.push_back({irp, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE});
        }
    }
    if (!queued) {
        NTSTATUS status = finished.front().status;
        completeAll(finished);
        return status;
    }
    completeAll(finished);
    if (spec_.completeFromBusThread)
        functionReady();
    else
        service();
    return STATUS_PENDING;
}

NTSTATUS VirtualUsbDevice::abortPipe(PIRP irp, PURB urb) {
    std::vector<Finished> finished;
    {
        // Wait for a transfer that is inside the function, then cancel what is queued.
        std::lock_guard functionLock(functionLock_);
        std::lock_guard lock(m_);
        counts_.pipeAborts++;
        Pipe* pipe = findPipeLocked(urb->UrbPipeRequest.PipeHandle);
        if (!pipe) {
            finished.push_back({irp, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE});
        } else {
            for (auto it = pipe->queue.begin(); it != pipe->queue.end();) {
                if (IoSetCancelRoutine(*it, nullptr)) {
                    finished.push_back({*it, STATUS_CANCELLED, USBD_STATUS_CANCELED});
                    it = pipe->queue.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    if (!finished.empty() && finished.front().irp == irp) {
        completeAll(finished);
        return STATUS_INVALID_PARAMETER;
    }
    completeAll(finished);
    return completeUrb(irp, urb, STATUS_SUCCESS, USBD_STATUS_SUCCESS);
}

NTSTATUS VirtualUsbDevice::resetPipe(PIRP irp, PURB urb) {
    bool found;
    {
        std::lock_guard lock(m_);
        counts_.pipeResets++;
        Pipe* pipe = findPipeLocked(urb->UrbPipeRequest.PipeHandle);
        found = pipe != nullptr;
        if (pipe)
            pipe->halted = false;
    }
    if (!found)
        return completeUrb(irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE);
    return completeUrb(irp, urb, STATUS_SUCCESS, USBD_STATUS_SUCCESS);
}

// ---------------------------------------------------------------------------------------------
// The bus's public face

DeviceNode& UsbBus::plug(const UsbDeviceSpec& spec, UsbFunction& function) {
    auto usb = std::make_unique<VirtualUsbDevice>(spec, function);
    VirtualUsbDevice* raw = usb.get();
    kernel_.usbDevices.push_back(std::move(usb));
    return kernel_.enumerate(raw);
}

void UsbBus::disconnect(DeviceNode& node) {
    node.usb().disconnect();
}

void UsbBus::unplug(DeviceNode& node) {
    disconnect(node);
    kernel_.removeUnplugged(node);
}

void UsbBus::reportRemoval(DeviceNode& node) {
    // Queued before the transfers fail: whoever hears of a failed transfer and then settles the
    // kernel finds the removal under way.
    Kernel& k = kernel_;
    k.pnpWorker.post([&k, &node] { k.removeUnplugged(node); });
    disconnect(node);
}

}  // namespace lumatrace::host

using namespace lumatrace::host;

extern "C" {

PURB USBD_CreateConfigurationRequestEx(PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor,
                                       PUSBD_INTERFACE_LIST_ENTRY InterfaceList) {
    if (!ConfigurationDescriptor || !InterfaceList)
        return nullptr;
    if (!InterfaceList->InterfaceDescriptor)
        return nullptr;
    size_t size = offsetof(struct _URB_SELECT_CONFIGURATION, Interface);
    for (auto* entry = InterfaceList; entry->InterfaceDescriptor; ++entry) {
        UCHAR endpoints = entry->InterfaceDescriptor->bNumEndpoints;
        size += GET_USBD_INTERFACE_SIZE(endpoints ? endpoints : 1);
    }
    auto urb = static_cast<PURB>(ExAllocatePoolWithTag(NonPagedPool, size, kUsbdTag));
    if (!urb)
        return nullptr;
    std::memset(urb, 0, size);
    auto* info = &urb->UrbSelectConfiguration.Interface;
    for (auto* entry = InterfaceList; entry->InterfaceDescriptor; ++entry) {
        UCHAR endpoints = entry->InterfaceDescriptor->bNumEndpoints;
        info->Length = static_cast<USHORT>(GET_USBD_INTERFACE_SIZE(endpoints ? endpoints : 1));
        info->InterfaceNumber = entry->InterfaceDescriptor->bInterfaceNumber;
        info->AlternateSetting = entry->InterfaceDescriptor->bAlternateSetting;
        info->NumberOfPipes = endpoints;
        for (UCHAR p = 0; p < endpoints; ++p) {
            info->Pipes[p].MaximumTransferSize = 4096;
            info->Pipes[p].PipeFlags = 0;
        }
        entry->Interface = info;
        info = reinterpret_cast<PUSBD_INTERFACE_INFORMATION>(reinterpret_cast<uint8_t*>(info) +
                                                             info->Length);
    }
    UsbBuildSelectConfigurationRequest(urb, static_cast<USHORT>(size), ConfigurationDescriptor);
    return urb;
}

}  // extern "C"
