// Plug and play manager, power manager and the HostKernel facade of the host model.
#include <algorithm>
#include <sstream>

#include "driver/host/KernelState.h"

namespace lumatrace::host {

void setInPoCallDriver(bool value);

namespace {
const wchar_t kServicesRoot[] = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";
}

// ---------------------------------------------------------------------------------------------
// PnP

DeviceNode& Kernel::enumerate(VirtualUsbDevice* usb) {
    auto owned = std::make_unique<DeviceNode>();
    DeviceNode& node = *owned;
    nodes.push_back(std::move(owned));
    node.usb_ = usb;
    usb->node = &node;

    std::wstring name = L"\\Device\\USBPDO-" + std::to_wstring(pdoCounter++);
    UNICODE_STRING pdoName;
    RtlInitUnicodeString(&pdoName, name.c_str());
    PDEVICE_OBJECT pdo = nullptr;
    if (!NT_SUCCESS(
            IoCreateDevice(busDriver, 0, &pdoName, FILE_DEVICE_BUS_EXTENDER, 0, FALSE, &pdo)))
        BugCheck("the bus could not create its physical device object");
    {
        std::lock_guard lock(objectLock);
        deviceInfo(pdo).node = &node;
        deviceInfo(pdo).usb = usb;
        pdo->Flags &= ~DO_DEVICE_INITIALIZING;
        pdo->Flags |= DO_POWER_PAGABLE;
    }
    usb->pdo = pdo;
    node.pdo_ = pdo;

    if (!functionDriver || !functionDriver->DriverExtension->AddDevice)
        return node;
    node.addStatus_ = functionDriver->DriverExtension->AddDevice(functionDriver, pdo);
    checkThreadIsClean("the add-device routine");
    {
        std::lock_guard lock(objectLock);
        node.attached_ = NT_SUCCESS(node.addStatus_) && pdo->AttachedDevice != nullptr;
        if (!NT_SUCCESS(node.addStatus_) && pdo->AttachedDevice)
            BugCheck("add-device failed but left a device attached to the stack");
    }
    if (!node.attached_)
        return node;
    std::lock_guard pnp(pnpLock);
    node.startStatus_ = pnpApi.startDevice(node);
    if (!NT_SUCCESS(node.startStatus_))
        pnpApi.removeDevice(node);
    return node;
}

NTSTATUS Kernel::sendPnp(DeviceNode& node, UCHAR minor) {
    std::lock_guard pnp(pnpLock);
    if (node.removed_)
        BugCheck("PnP request 0x%x sent to a removed device", minor);
    PDEVICE_OBJECT top;
    {
        std::lock_guard lock(objectLock);
        top = IoGetAttachedDevice(node.pdo_);
    }
    HostIrp* hirp = allocateIrp(top->StackSize, IrpOrigin::Manager);
    hirp->irp.IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(&hirp->irp);
    sp->MajorFunction = IRP_MJ_PNP;
    sp->MinorFunction = minor;
    dispatchTop(top, hirp);
    checkThreadIsClean("a PnP dispatch routine");
    NTSTATUS status = waitManagerIrp(hirp).Status;
    switch (minor) {
        case IRP_MN_START_DEVICE:
            node.started_ = NT_SUCCESS(status);
            break;
        case IRP_MN_STOP_DEVICE:
            node.started_ = false;
            break;
        case IRP_MN_SURPRISE_REMOVAL:
            node.surpriseRemoved_ = true;
            node.started_ = false;
            break;
        case IRP_MN_REMOVE_DEVICE: {
            node.removed_ = true;
            node.started_ = false;
            node.removalOwed_ = false;
            std::lock_guard lock(objectLock);
            if (node.pdo_->AttachedDevice)
                BugCheck("remove-device completed but the function driver is still attached");
            node.attached_ = false;
            break;
        }
        default:
            break;
    }
    return status;
}

bool Kernel::stackHasOpenFiles(DeviceNode& node) {
    std::lock_guard lock(objectLock);
    for (PDEVICE_OBJECT device : deviceObjects) {
        DeviceInfo& info = deviceInfo(device);
        if (info.node == &node && info.openFiles > 0)
            return true;
    }
    return false;
}

void Kernel::removeIfOwed(DeviceNode& node) {
    std::lock_guard pnp(pnpLock);
    if (node.removalOwed_ && !stackHasOpenFiles(node)) {
        pnpApi.removeDevice(node);
        if (!node.usb_->connected())
            deletePdo(node);
    }
}

void Kernel::removeUnplugged(DeviceNode& node) {
    std::lock_guard pnp(pnpLock);
    if (node.removed_ || !node.attached_) {
        deletePdo(node);
        return;
    }
    if (node.surpriseRemoved_)
        return;  // told already; remove-device follows the last close
    pnpApi.surpriseRemoval(node);
    if (stackHasOpenFiles(node)) {
        node.removalOwed_ = true;
        return;
    }
    pnpApi.removeDevice(node);
    deletePdo(node);
}

void Kernel::deletePdo(DeviceNode& node) {
    if (!node.pdo_)
        return;
    PDEVICE_OBJECT pdo = node.pdo_;
    node.pdo_ = nullptr;
    IoDeleteDevice(pdo);
}

NTSTATUS PnpManager::startDevice(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_START_DEVICE);
}
NTSTATUS PnpManager::queryRemoveDevice(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_QUERY_REMOVE_DEVICE);
}
NTSTATUS PnpManager::cancelRemoveDevice(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_CANCEL_REMOVE_DEVICE);
}
NTSTATUS PnpManager::removeDevice(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_REMOVE_DEVICE);
}
NTSTATUS PnpManager::queryStopDevice(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_QUERY_STOP_DEVICE);
}
NTSTATUS PnpManager::cancelStopDevice(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_CANCEL_STOP_DEVICE);
}
NTSTATUS PnpManager::stopDevice(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_STOP_DEVICE);
}
NTSTATUS PnpManager::surpriseRemoval(DeviceNode& node) {
    return kernel_.sendPnp(node, IRP_MN_SURPRISE_REMOVAL);
}
NTSTATUS PnpManager::sendRequest(DeviceNode& node, UCHAR minorFunction) {
    return kernel_.sendPnp(node, minorFunction);
}

NTSTATUS PnpManager::disable(DeviceNode& node) {
    std::lock_guard pnp(kernel_.pnpLock);
    NTSTATUS status = queryRemoveDevice(node);
    if (!NT_SUCCESS(status)) {
        cancelRemoveDevice(node);
        return status;
    }
    return removeDevice(node);
}

NTSTATUS PnpManager::rebalance(DeviceNode& node) {
    std::lock_guard pnp(kernel_.pnpLock);
    NTSTATUS status = queryStopDevice(node);
    if (!NT_SUCCESS(status)) {
        cancelStopDevice(node);
        return status;
    }
    stopDevice(node);
    return startDevice(node);
}

UsbTrafficCounts DeviceNode::traffic() const {
    return usb_->traffic();
}

// ---------------------------------------------------------------------------------------------
// Power

NTSTATUS Kernel::sendPower(DeviceNode& node, UCHAR minor, POWER_STATE_TYPE type,
                           POWER_STATE state) {
    PDEVICE_OBJECT top;
    {
        std::lock_guard lock(objectLock);
        top = IoGetAttachedDevice(node.pdo_);
    }
    HostIrp* hirp = allocateIrp(top->StackSize, IrpOrigin::Manager);
    hirp->irp.IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(&hirp->irp);
    sp->MajorFunction = IRP_MJ_POWER;
    sp->MinorFunction = minor;
    sp->Parameters.Power.Type = type;
    sp->Parameters.Power.State = state;
    if (type == SystemPowerState) {
        SYSTEM_POWER_STATE s = state.SystemState;
        sp->Parameters.Power.ShutdownType = s == PowerSystemWorking     ? PowerActionNone
                                            : s == PowerSystemHibernate ? PowerActionHibernate
                                            : s == PowerSystemShutdown  ? PowerActionShutdown
                                                                        : PowerActionSleep;
    }
    hirp->requester = std::this_thread::get_id();
    dispatchTop(top, hirp);
    checkThreadIsClean("a power dispatch routine");
    return waitManagerIrp(hirp).Status;
}

bool Kernel::takeCompletionHold(const HostIrp* hirp) {
    if (hirp->requester == std::thread::id() || hirp->requester == std::this_thread::get_id())
        return false;
    std::lock_guard lock(completionHoldLock);
    if (completionHold != CompletionHold::Armed)
        return false;
    completionHold = CompletionHold::Holding;
    return true;
}

void Kernel::waitInCompletionHold() {
    std::unique_lock lock(completionHoldLock);
    if (!completionHoldChanged.wait_for(lock, std::chrono::seconds(waitWatchdogSeconds),
                                        [&] { return completionHold != CompletionHold::Holding; }))
        BugCheck("a thread held after completing a power request was not released after %d s",
                 waitWatchdogSeconds);
}

void Kernel::releaseCompletionHold() {
    {
        std::lock_guard lock(completionHoldLock);
        completionHold = CompletionHold::Off;
    }
    completionHoldChanged.notify_all();
}

NTSTATUS PowerManager::setSystemState(SYSTEM_POWER_STATE state) {
    Kernel& k = kernel_;
    SYSTEM_POWER_STATE current = k.systemPowerState;
    if (state == current)
        return STATUS_SUCCESS;
    std::vector<DeviceNode*> stacks;
    for (auto& node : k.nodes)
        if (node->attached_ && !node->removed_)
            stacks.push_back(node.get());
    POWER_STATE target;
    target.SystemState = state;
    if (state > current) {
        std::vector<DeviceNode*> queried;
        for (DeviceNode* node : stacks) {
            NTSTATUS status = k.sendPower(*node, IRP_MN_QUERY_POWER, SystemPowerState, target);
            queried.push_back(node);
            if (!NT_SUCCESS(status)) {
                POWER_STATE back;
                back.SystemState = current;
                for (DeviceNode* q : queried)
                    k.sendPower(*q, IRP_MN_SET_POWER, SystemPowerState, back);
                return status;
            }
        }
    }
    for (DeviceNode* node : stacks)
        k.sendPower(*node, IRP_MN_SET_POWER, SystemPowerState, target);
    k.systemPowerState = state;
    return STATUS_SUCCESS;
}

SYSTEM_POWER_STATE PowerManager::systemState() const {
    return kernel_.systemPowerState;
}

DEVICE_POWER_STATE PowerManager::reportedDeviceState(PDEVICE_OBJECT device) const {
    std::lock_guard lock(kernel_.objectLock);
    return deviceInfo(device).reportedPower;
}

void PowerManager::refuseNextRequest(NTSTATUS status) {
    std::lock_guard lock(kernel_.objectLock);
    kernel_.refuseNextPowerRequest = status;
}

NTSTATUS PowerManager::sendSystemRequest(DeviceNode& node, UCHAR minorFunction,
                                         SYSTEM_POWER_STATE state) {
    POWER_STATE s;
    s.SystemState = state;
    return kernel_.sendPower(node, minorFunction, SystemPowerState, s);
}

void PowerManager::holdNextCompletingThread() {
    std::lock_guard lock(kernel_.completionHoldLock);
    kernel_.completionHold = Kernel::CompletionHold::Armed;
}

bool PowerManager::completingThreadHeld() const {
    std::lock_guard lock(kernel_.completionHoldLock);
    return kernel_.completionHold == Kernel::CompletionHold::Holding;
}

void PowerManager::releaseCompletingThread() {
    kernel_.releaseCompletionHold();
}

// ---------------------------------------------------------------------------------------------
// HostKernel

HostKernel::HostKernel() : kernel_(std::make_unique<Kernel>()) {
    Kernel& k = *kernel_;
    k.registryApi.createKey(L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class");
    k.registryApi.createKey(L"\\Registry\\Machine\\System\\CurrentControlSet\\Services");
    k.busDriver = k.createDriverObject(L"\\Driver\\usbhub");
    k.busDriver->MajorFunction[IRP_MJ_PNP] = [](PDEVICE_OBJECT device, PIRP irp) {
        return deviceInfo(device).usb->dispatchPnp(device, irp);
    };
    k.busDriver->MajorFunction[IRP_MJ_POWER] = [](PDEVICE_OBJECT device, PIRP irp) {
        return deviceInfo(device).usb->dispatchPower(device, irp);
    };
    k.busDriver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = [](PDEVICE_OBJECT device,
                                                                    PIRP irp) {
        return deviceInfo(device).usb->dispatchInternalControl(device, irp);
    };
    k.busDriver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = [](PDEVICE_OBJECT, PIRP irp) {
        NTSTATUS status = irp->IoStatus.Status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return status;
    };
}

HostKernel::~HostKernel() {
    if (kernel_ && !kernel_->shutDown) {
        std::string leaks = shutdown();
        if (!leaks.empty())
            std::fprintf(stderr, "host kernel: left behind at destruction:\n%s", leaks.c_str());
    }
}

NTSTATUS HostKernel::loadDriver(PDRIVER_INITIALIZE entry, const std::wstring& service) {
    Kernel& k = *kernel_;
    if (k.functionDriver)
        BugCheck("the model holds one function driver at a time");
    k.functionDriver = k.createDriverObject(L"\\Driver\\" + service);
    k.functionRegistryPathText = kServicesRoot + service;
    RtlInitUnicodeString(&k.functionRegistryPath, k.functionRegistryPathText.c_str());
    k.functionDriver->DriverInit = entry;
    NTSTATUS status = entry(k.functionDriver, &k.functionRegistryPath);
    checkThreadIsClean("DriverEntry");
    if (!NT_SUCCESS(status)) {
        k.destroyDriverObject(k.functionDriver);
        k.functionDriver = nullptr;
    }
    return status;
}

void HostKernel::unloadDriver() {
    Kernel& k = *kernel_;
    if (!k.functionDriver)
        return;
    {
        std::lock_guard pnp(k.pnpLock);
        for (auto& node : k.nodes)
            if (node->attached_ && !node->removed_) {
                if (!node->surpriseRemoved_)
                    k.pnpApi.surpriseRemoval(*node);
                k.pnpApi.removeDevice(*node);
            }
    }
    k.worker.drain();
    if (k.functionDriver->DriverUnload) {
        k.functionDriver->DriverUnload(k.functionDriver);
        checkThreadIsClean("the unload routine");
    }
    std::lock_guard lock(k.objectLock);
    for (PDEVICE_OBJECT device : k.deviceObjects)
        if (device->DriverObject == k.functionDriver)
            BugCheck("driver unloaded while its device object %p (%s) still exists", device,
                     narrow(deviceInfo(device).name).c_str());
    k.destroyDriverObject(k.functionDriver);
    k.functionDriver = nullptr;
}

void HostKernel::settle() {
    Kernel& k = *kernel_;
    k.releaseCompletionHold();
    for (int round = 0; round < 3; ++round) {
        k.pnpWorker.drain();
        k.worker.drain();
        for (auto& usb : k.usbDevices)
            usb->waitIdle();
    }
}

std::string HostKernel::shutdown() {
    Kernel& k = *kernel_;
    std::ostringstream report;
    settle();
    std::vector<UserFile*> open;
    {
        std::lock_guard lock(k.filesLock);
        open.assign(k.files.begin(), k.files.end());
    }
    for (UserFile* file : open) {
        bool closed;
        {
            std::lock_guard lock(file->m);
            closed = file->closed;
        }
        if (!closed) {
            report << "file handle left open on " << narrow(deviceInfo(file->device).name) << "\n";
            k.ioApi.cancelIo(file);
            k.ioApi.closeHandle(file);
        }
    }
    settle();
    unloadDriver();
    for (auto& node : k.nodes) {
        if (node->pdo_) {
            if (node->attached_)
                BugCheck("a stack is still attached at shutdown");
            k.deletePdo(*node);
        }
    }
    settle();
    for (auto& usb : k.usbDevices)
        usb->stopThread();
    k.worker.drain();
    {
        std::lock_guard lock(k.poolLock);
        for (auto& [p, block] : k.pool) {
            char tag[5] = {char(block.tag), char(block.tag >> 8), char(block.tag >> 16),
                           char(block.tag >> 24), 0};
            report << "pool block of " << block.size << " bytes, tag '" << tag << "'\n";
            std::free(p);
        }
        k.pool.clear();
    }
    {
        std::lock_guard lock(k.irpLock);
        for (auto& [irp, hirp] : k.irps) {
            report << "IRP (major 0x" << std::hex << int(hirp->major) << std::dec
                   << ") never freed\n";
            delete hirp;
        }
        k.irps.clear();
        for (PMDL mdl : k.mdls) {
            report << "MDL never freed\n";
            delete mdl;
        }
        k.mdls.clear();
    }
    {
        std::lock_guard lock(k.objectLock);
        for (PDEVICE_OBJECT device : k.deviceObjects)
            report << "device object " << narrow(deviceInfo(device).name) << " never deleted\n";
        for (auto& [name, link] : k.links)
            report << "symbolic link " << narrow(link.literal) << " never deleted\n";
    }
    {
        std::lock_guard lock(k.registryLock);
        if (!k.registryHandles.empty())
            report << k.registryHandles.size() << " registry handle(s) never closed\n";
    }
    k.destroyDriverObject(k.busDriver);
    k.busDriver = nullptr;
    k.shutDown = true;
    kernel_.reset();
    return report.str();
}

Pool& HostKernel::pool() {
    return kernel_->poolApi;
}
Registry& HostKernel::registry() {
    return kernel_->registryApi;
}
PnpManager& HostKernel::pnp() {
    return kernel_->pnpApi;
}
PowerManager& HostKernel::power() {
    return kernel_->powerApi;
}
UsbBus& HostKernel::bus() {
    return kernel_->busApi;
}
IoManager& HostKernel::io() {
    return kernel_->ioApi;
}

}  // namespace lumatrace::host

using namespace lumatrace::host;

extern "C" {

NTSTATUS PoCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    if (IoGetNextIrpStackLocation(Irp)->MajorFunction != IRP_MJ_POWER)
        BugCheck("PoCallDriver with a request that is not a power request");
    setInPoCallDriver(true);
    return IofCallDriver(DeviceObject, Irp);
}

VOID PoStartNextPowerIrp(PIRP Irp) {
    HostIrp* hirp = kernel().findIrp(Irp, "PoStartNextPowerIrp");
    PIO_STACK_LOCATION sp = IoGetCurrentIrpStackLocation(Irp);
    if (Irp->CurrentLocation > Irp->StackCount || sp->MajorFunction != IRP_MJ_POWER)
        BugCheck("PoStartNextPowerIrp on an IRP that is not a power request held by a driver");
    hirp->startedNext.push_back(sp->DeviceObject);
}

POWER_STATE PoSetPowerState(PDEVICE_OBJECT DeviceObject, POWER_STATE_TYPE Type, POWER_STATE State) {
    Kernel& k = kernel();
    std::lock_guard lock(k.objectLock);
    POWER_STATE previous;
    previous.DeviceState = deviceInfo(DeviceObject).reportedPower;
    if (Type == DevicePowerState)
        deviceInfo(DeviceObject).reportedPower = State.DeviceState;
    return previous;
}

NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                           PREQUEST_POWER_COMPLETE CompletionFunction, PVOID Context, PIRP* Irp) {
    Kernel& k = kernel();
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        BugCheck("PoRequestPowerIrp above DISPATCH_LEVEL");
    PDEVICE_OBJECT top;
    {
        std::lock_guard lock(k.objectLock);
        if (k.refuseNextPowerRequest != STATUS_SUCCESS) {
            NTSTATUS status = k.refuseNextPowerRequest;
            k.refuseNextPowerRequest = STATUS_SUCCESS;
            return status;
        }
        if (MinorFunction != IRP_MN_SET_POWER && MinorFunction != IRP_MN_QUERY_POWER &&
            MinorFunction != IRP_MN_WAIT_WAKE)
            return STATUS_INVALID_PARAMETER_2;
        top = IoGetAttachedDevice(DeviceObject);
    }
    HostIrp* hirp = k.allocateIrp(top->StackSize, IrpOrigin::PowerRequest);
    hirp->irp.IoStatus.Status = STATUS_NOT_SUPPORTED;
    hirp->powerCallback = CompletionFunction;
    hirp->powerContext = Context;
    hirp->powerTarget = DeviceObject;
    hirp->powerMinor = MinorFunction;
    hirp->powerState = PowerState;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(&hirp->irp);
    sp->MajorFunction = IRP_MJ_POWER;
    sp->MinorFunction = MinorFunction;
    sp->Parameters.Power.Type = DevicePowerState;
    sp->Parameters.Power.State = PowerState;
    if (Irp)
        *Irp = &hirp->irp;
    k.worker.post([&k, top, hirp] { k.dispatchTop(top, hirp); });
    return STATUS_PENDING;
}

}  // extern "C"
