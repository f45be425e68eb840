// I/O manager of the host model: device objects and names, IRPs and their completion,
// cancellation, memory descriptor lists, and the user-mode front door.
#include <algorithm>
#include <cstdlib>
#include <new>

#include "driver/host/KernelState.h"

namespace lumatrace::host {

namespace {
thread_local bool t_inPoCallDriver = false;

NTSTATUS invalidDeviceRequest(PDEVICE_OBJECT, PIRP Irp) {
    Irp->IoStatus.Status = STATUS_INVALID_DEVICE_REQUEST;
    Irp->IoStatus.Information = 0;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return STATUS_INVALID_DEVICE_REQUEST;
}

bool startsWith(const std::wstring& s, const std::wstring& prefix) {
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The name below the user-visible DOS device directory, or empty.
std::wstring dosDeviceName(const std::wstring& lowerLink) {
    for (const wchar_t* prefix : {L"\\??\\", L"\\dosdevices\\", L"\\global??\\"})
        if (startsWith(lowerLink, prefix))
            return lowerLink.substr(std::wcslen(prefix));
    return {};
}
}  // namespace

void setInPoCallDriver(bool value) {
    t_inPoCallDriver = value;
}

// The cancel routine is exchanged atomically by IoSetCancelRoutine and IoCancelIrp on other
// threads; the model's own checks read it the same way.
static PDRIVER_CANCEL cancelRoutineOf(PIRP irp) {
    return __atomic_load_n(&irp->CancelRoutine, __ATOMIC_SEQ_CST);
}

DeviceInfo& deviceInfo(PDEVICE_OBJECT device) {
    if (!device || !device->DeviceObjectExtension)
        BugCheck("not a device object: %p", device);
    return *static_cast<DeviceInfo*>(device->DeviceObjectExtension);
}

PDRIVER_OBJECT Kernel::createDriverObject(const std::wstring& name) {
    auto* driver = new DRIVER_OBJECT{};
    auto* extension = new DRIVER_EXTENSION{};
    driver->Type = IO_TYPE_DRIVER;
    driver->Size = sizeof(DRIVER_OBJECT);
    driver->DriverExtension = extension;
    extension->DriverObject = driver;
    auto* text = new std::wstring(name);
    driver->DriverName.Buffer = text->data();
    driver->DriverName.Length = static_cast<USHORT>(text->size() * sizeof(WCHAR));
    driver->DriverName.MaximumLength = driver->DriverName.Length;
    driver->DriverSection = text;
    for (auto& f : driver->MajorFunction)
        f = invalidDeviceRequest;
    return driver;
}

void Kernel::destroyDriverObject(PDRIVER_OBJECT driver) {
    delete static_cast<std::wstring*>(driver->DriverSection);
    delete driver->DriverExtension;
    delete driver;
}

// ---------------------------------------------------------------------------------------------
// IRPs

HostIrp* Kernel::allocateIrp(CCHAR stackSize, IrpOrigin origin) {
    if (stackSize < 1 || stackSize > kMaxStackSize)
        BugCheck("IRP with %d stack locations (the model supports 1..%d)", stackSize,
                 kMaxStackSize);
    std::unique_lock lock(irpLock);
    void* memory = nullptr;
    if (!irpLookaside.empty()) {
        memory = irpLookaside.back();
        irpLookaside.pop_back();
    }
    auto* hirp = memory ? new (memory) HostIrp : new HostIrp;
    hirp->origin = origin;
    IRP& irp = hirp->irp;
    irp.Type = IO_TYPE_IRP;
    irp.Size = static_cast<USHORT>(sizeof(IRP) + stackSize * sizeof(IO_STACK_LOCATION));
    irp.StackCount = stackSize;
    irp.CurrentLocation = static_cast<CHAR>(stackSize + 1);
    std::memset(static_cast<void*>(hirp->stack), 0, sizeof(IO_STACK_LOCATION) * stackSize);
    irp.Tail.Overlay.CurrentStackLocation = &hirp->stack[static_cast<int>(stackSize)];
    InitializeListHead(&irp.ThreadListEntry);
    irpNodes.insert(irps, &irp, hirp);
    return hirp;
}

HostIrp* Kernel::findIrp(PIRP irp, const char* caller) {
    std::lock_guard lock(irpLock);
    auto it = irps.find(irp);
    if (it == irps.end())
        BugCheck("%s on %p, which is not a live IRP (freed already?)", caller, irp);
    return it->second;
}

void Kernel::releaseIrp(HostIrp* hirp) {
    if (hirp->refs.fetch_sub(1) != 1)
        return;
    {
        std::lock_guard lock(irpLock);
        irpNodes.erase(irps, irps.find(&hirp->irp));
        if (kLookasideLists && irpLookaside.size() < kLookasideDepth) {
            hirp->~HostIrp();
            irpLookaside.push_back(hirp);
            return;
        }
    }
    delete hirp;
}

void Kernel::checkPendingRules(HostIrp* hirp) {
    // Called with hirp->m held once both the top-level dispatch has returned and the IRP has
    // completed.
    if (hirp->dispatchStatus == STATUS_PENDING && !hirp->pendingReturned)
        BugCheck(
            "dispatch returned STATUS_PENDING but the IRP (major 0x%x) completed without "
            "the pending flag reaching the top (IoMarkIrpPending missing?)",
            hirp->major);
    if (hirp->dispatchStatus != STATUS_PENDING && hirp->pendingReturned)
        BugCheck("IRP (major 0x%x) marked pending but dispatch returned 0x%08X, not STATUS_PENDING",
                 hirp->major, static_cast<unsigned>(hirp->dispatchStatus));
    if (hirp->dispatchStatus != STATUS_PENDING && hirp->dispatchStatus != hirp->finalStatus.Status)
        BugCheck("dispatch returned 0x%08X for an IRP (major 0x%x) it completed with 0x%08X",
                 static_cast<unsigned>(hirp->dispatchStatus), hirp->major,
                 static_cast<unsigned>(hirp->finalStatus.Status));
}

void Kernel::dispatchTop(PDEVICE_OBJECT device, HostIrp* hirp) {
    hirp->refs.fetch_add(1);
    hirp->major = IoGetNextIrpStackLocation(&hirp->irp)->MajorFunction;
    NTSTATUS status = IofCallDriver(device, &hirp->irp);
    {
        std::lock_guard lock(hirp->m);
        hirp->dispatchReturned = true;
        hirp->dispatchStatus = status;
        if (hirp->completed)
            checkPendingRules(hirp);
        else if (status != STATUS_PENDING)
            BugCheck(
                "dispatch returned 0x%08X without completing the IRP (major 0x%x) and "
                "without STATUS_PENDING",
                static_cast<unsigned>(status), hirp->major);
    }
    releaseIrp(hirp);
}

IO_STATUS_BLOCK Kernel::waitManagerIrp(HostIrp* hirp) {
    IO_STATUS_BLOCK result;
    {
        std::unique_lock lock(hirp->m);
        if (!hirp->cv.wait_for(lock, std::chrono::seconds(waitWatchdogSeconds),
                               [&] { return hirp->completed && hirp->dispatchReturned; }))
            BugCheck("a request of major 0x%x sent by the kernel has not completed after %d s",
                     hirp->major, waitWatchdogSeconds);
        result = hirp->finalStatus;
    }
    releaseIrp(hirp);
    return result;
}

// Runs when completion has walked past the top stack location: what the I/O manager does for
// the requester.
void Kernel::finishIrp(HostIrp* hirp) {
    IRP& irp = hirp->irp;
    hirp->finished = true;
    if (hirp->origin == IrpOrigin::DriverAllocated)
        BugCheck(
            "IRP from IoAllocateIrp completed past its last stack location: its completion "
            "routine must return STATUS_MORE_PROCESSING_REQUIRED and free it");
    if (irp.IoStatus.Status == STATUS_PENDING)
        BugCheck("IRP completed with STATUS_PENDING");
    if (cancelRoutineOf(&irp))
        BugCheck("IRP completed with a cancel routine still set");

    if (!hirp->entered.empty()) {
        for (PDEVICE_OBJECT device : hirp->entered)
            if (std::find(hirp->startedNext.begin(), hirp->startedNext.end(), device) ==
                hirp->startedNext.end())
                BugCheck(
                    "power IRP completed without PoStartNextPowerIrp from device %p, which "
                    "it passed through",
                    device);
    }

    UserFile* file = hirp->file;
    if (hirp->origin == IrpOrigin::User) {
        const bool error =
            irp.IoStatus.Status < 0 && (irp.IoStatus.Status & 0xC0000000) == 0xC0000000;
        if (hirp->major == IRP_MJ_READ || hirp->major == IRP_MJ_WRITE ||
            hirp->major == IRP_MJ_DEVICE_CONTROL) {
            if (irp.IoStatus.Information > hirp->userLength)
                BugCheck("request (major 0x%x) completed with %lu bytes for a %lu-byte buffer",
                         hirp->major, static_cast<unsigned long>(irp.IoStatus.Information),
                         static_cast<unsigned long>(hirp->userLength));
        }
        if (hirp->copyOutBuffered && !error && irp.IoStatus.Information > 0)
            std::memcpy(hirp->userBuffer, hirp->systemBuffer, irp.IoStatus.Information);
        std::free(hirp->systemBuffer);
        hirp->systemBuffer = nullptr;
        for (PMDL mdl = irp.MdlAddress; mdl;) {
            PMDL next = mdl->Next;
            if (mdl->MdlFlags & MDL_PAGES_LOCKED)
                MmUnlockPages(mdl);
            IoFreeMdl(mdl);
            mdl = next;
        }
        irp.MdlAddress = nullptr;
    }

    if (hirp->origin == IrpOrigin::PowerRequest) {
        {
            std::lock_guard lock(hirp->m);
            hirp->completed = true;
            hirp->pendingReturned = irp.PendingReturned;
            hirp->finalStatus = irp.IoStatus;
            if (hirp->dispatchReturned)
                checkPendingRules(hirp);
        }
        if (hirp->powerCallback)
            hirp->powerCallback(hirp->powerTarget, hirp->powerMinor, hirp->powerState,
                                hirp->powerContext, &irp.IoStatus);
        releaseIrp(hirp);
        return;
    }

    // The request's reference to its file goes before the requester hears of the completion, as
    // the kernel's completion in the requester's thread does: a close right after the request
    // then finds no request of the file left.
    const bool user = hirp->origin == IrpOrigin::User;
    if (user) {
        bool lastReference;
        {
            std::lock_guard lock(file->m);
            file->inFlightNodes.erase(file->inFlight, file->inFlight.find(hirp));
            lastReference = --file->refs == 0;
        }
        // The close request goes to the driver at PASSIVE_LEVEL, outside any dispatch routine.
        if (lastReference)
            worker.post([this, file] { closeFile(file); });
    }
    bool hold = false;
    {
        std::lock_guard lock(hirp->m);
        hirp->completed = true;
        hirp->pendingReturned = irp.PendingReturned;
        hirp->finalStatus = irp.IoStatus;
        if (hirp->dispatchReturned)
            checkPendingRules(hirp);
        hold = takeCompletionHold(hirp);
        hirp->cv.notify_all();
    }
    // From here an IRP the kernel issued may be gone already: its waiter releases it.
    if (user)
        releaseIrp(hirp);
    if (hold)
        waitInCompletionHold();
}

// ---------------------------------------------------------------------------------------------
// Files

void Kernel::dropFileReference(UserFile* file, bool fromCompletion) {
    {
        std::lock_guard lock(file->m);
        if (--file->refs > 0)
            return;
    }
    // The last reference is gone: the close request goes to the driver at PASSIVE_LEVEL and
    // outside any dispatch routine, so from the worker when a completion dropped it.
    if (!fromCompletion)
        closeFile(file);
    else
        worker.post([this, file] { closeFile(file); });
}

void Kernel::closeFile(UserFile* file) {
    PDEVICE_OBJECT device = file->device;
    PDEVICE_OBJECT top;
    {
        std::lock_guard lock(objectLock);
        top = IoGetAttachedDevice(device);
    }
    HostIrp* hirp = allocateIrp(top->StackSize, IrpOrigin::Manager);
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(&hirp->irp);
    sp->MajorFunction = IRP_MJ_CLOSE;
    sp->FileObject = &file->fileObject;
    dispatchTop(top, hirp);
    waitManagerIrp(hirp);
    {
        std::lock_guard lock(filesLock);
        files.erase(file);
    }
    delete file;
    dropDeviceReference(device);
}

void Kernel::dropDeviceReference(PDEVICE_OBJECT device) {
    DeviceNode* node;
    {
        std::lock_guard lock(objectLock);
        DeviceInfo& info = deviceInfo(device);
        if (--info.openFiles > 0)
            return;
        // Everything needed of the object is read before it can go: once the count is zero a
        // removal on another thread may delete it at any moment, if it is not gone already.
        node = info.node;
        if (info.deleted) {
            deviceObjects.erase(device);
            delete &info;
            std::free(device);
        }
    }
    // A removal may be waiting for the last file on the stack; the PnP manager sends it from its
    // own thread, never from the thread that let go of the file, which may be the kernel's
    // worker or a requester inside the I/O manager.
    if (node)
        pnpWorker.post([this, node] { removeIfOwed(*node); });
}

}  // namespace lumatrace::host

using namespace lumatrace::host;

extern "C" {

// ---------------------------------------------------------------------------------------------
// Device objects and names

NTSTATUS IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                        PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                        ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                        PDEVICE_OBJECT* DeviceObject) {
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        BugCheck("IoCreateDevice above PASSIVE_LEVEL");
    Kernel& k = kernel();
    std::lock_guard lock(k.objectLock);
    if (k.failNextDeviceCreation != STATUS_SUCCESS && DriverObject == k.functionDriver) {
        NTSTATUS status = k.failNextDeviceCreation;
        k.failNextDeviceCreation = STATUS_SUCCESS;
        return status;
    }
    std::wstring name = lowerCase(toWString(DeviceName));
    if (!name.empty() && k.deviceNames.count(name))
        return STATUS_OBJECT_NAME_COLLISION;
    size_t extensionOffset = (sizeof(DEVICE_OBJECT) + 15) & ~size_t(15);
    auto* device =
        static_cast<PDEVICE_OBJECT>(std::calloc(1, extensionOffset + DeviceExtensionSize));
    device->Type = IO_TYPE_DEVICE;
    device->Size = static_cast<USHORT>(sizeof(DEVICE_OBJECT) + DeviceExtensionSize);
    device->DriverObject = DriverObject;
    device->Flags = DO_DEVICE_INITIALIZING | (Exclusive ? DO_EXCLUSIVE : 0);
    device->Characteristics = DeviceCharacteristics;
    device->DeviceType = DeviceType;
    device->StackSize = 1;
    device->DeviceExtension =
        DeviceExtensionSize ? reinterpret_cast<char*>(device) + extensionOffset : nullptr;
    auto* info = new DeviceInfo;
    info->name = toWString(DeviceName);
    device->DeviceObjectExtension = info;
    device->NextDevice = DriverObject->DeviceObject;
    DriverObject->DeviceObject = device;
    if (!name.empty())
        k.deviceNames[name] = device;
    k.deviceObjects.insert(device);
    *DeviceObject = device;
    return STATUS_SUCCESS;
}

VOID IoDeleteDevice(PDEVICE_OBJECT DeviceObject) {
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        BugCheck("IoDeleteDevice above PASSIVE_LEVEL");
    Kernel& k = kernel();
    std::unique_lock lock(k.objectLock);
    if (!k.deviceObjects.count(DeviceObject))
        BugCheck("IoDeleteDevice on %p, which is not a device object", DeviceObject);
    DeviceInfo& info = deviceInfo(DeviceObject);
    if (info.deleted)
        BugCheck("IoDeleteDevice called twice on %p", DeviceObject);
    if (DeviceObject->AttachedDevice)
        BugCheck("IoDeleteDevice on %p while another device is attached above it", DeviceObject);
    if (info.lower)
        BugCheck("IoDeleteDevice on %p before IoDetachDevice", DeviceObject);
    for (auto& [name, link] : k.links)
        if (link.target == lowerCase(info.name))
            BugCheck("IoDeleteDevice on %p while symbolic link %s still names it", DeviceObject,
                     narrow(link.literal).c_str());
    info.deleted = true;
    if (!info.name.empty())
        k.deviceNames.erase(lowerCase(info.name));
    for (PDEVICE_OBJECT* p = &DeviceObject->DriverObject->DeviceObject; *p; p = &(*p)->NextDevice)
        if (*p == DeviceObject) {
            *p = DeviceObject->NextDevice;
            break;
        }
    if (info.openFiles == 0) {
        k.deviceObjects.erase(DeviceObject);
        delete &info;
        std::free(DeviceObject);
    }
}

NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName, PUNICODE_STRING DeviceName) {
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        BugCheck("IoCreateSymbolicLink above PASSIVE_LEVEL");
    Kernel& k = kernel();
    std::lock_guard lock(k.objectLock);
    if (k.failNextSymbolicLink != STATUS_SUCCESS) {
        NTSTATUS status = k.failNextSymbolicLink;
        k.failNextSymbolicLink = STATUS_SUCCESS;
        return status;
    }
    std::wstring literal = toWString(SymbolicLinkName);
    std::wstring name = dosDeviceName(lowerCase(literal));
    if (name.empty())
        return STATUS_OBJECT_NAME_INVALID;
    if (k.links.count(name))
        return STATUS_OBJECT_NAME_COLLISION;
    k.links[name] = Kernel::Link{literal, lowerCase(toWString(DeviceName))};
    return STATUS_SUCCESS;
}

NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName) {
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        BugCheck("IoDeleteSymbolicLink above PASSIVE_LEVEL");
    Kernel& k = kernel();
    std::lock_guard lock(k.objectLock);
    std::wstring name = dosDeviceName(lowerCase(toWString(SymbolicLinkName)));
    return k.links.erase(name) ? STATUS_SUCCESS : STATUS_OBJECT_NAME_NOT_FOUND;
}

PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT DeviceObject) {
    while (DeviceObject->AttachedDevice)
        DeviceObject = DeviceObject->AttachedDevice;
    return DeviceObject;
}

PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT SourceDevice,
                                           PDEVICE_OBJECT TargetDevice) {
    Kernel& k = kernel();
    std::lock_guard lock(k.objectLock);
    if (deviceInfo(TargetDevice).deleted)
        return nullptr;
    PDEVICE_OBJECT top = IoGetAttachedDevice(TargetDevice);
    top->AttachedDevice = SourceDevice;
    SourceDevice->StackSize = static_cast<CCHAR>(top->StackSize + 1);
    DeviceInfo& info = deviceInfo(SourceDevice);
    info.lower = top;
    info.node = deviceInfo(TargetDevice).node;
    return top;
}

VOID IoDetachDevice(PDEVICE_OBJECT TargetDevice) {
    Kernel& k = kernel();
    std::lock_guard lock(k.objectLock);
    PDEVICE_OBJECT above = TargetDevice->AttachedDevice;
    if (!above)
        BugCheck("IoDetachDevice on %p, which has nothing attached", TargetDevice);
    deviceInfo(above).lower = nullptr;
    TargetDevice->AttachedDevice = nullptr;
}

// ---------------------------------------------------------------------------------------------
// IRPs

PIRP IoAllocateIrp(CCHAR StackSize, BOOLEAN ChargeQuota) {
    (void)ChargeQuota;
    return &kernel().allocateIrp(StackSize, IrpOrigin::DriverAllocated)->irp;
}

VOID IoFreeIrp(PIRP Irp) {
    Kernel& k = kernel();
    HostIrp* hirp = k.findIrp(Irp, "IoFreeIrp");
    if (hirp->origin != IrpOrigin::DriverAllocated)
        BugCheck("IoFreeIrp on an IRP the I/O manager owns");
    if (Irp->CurrentLocation <= Irp->StackCount)
        BugCheck("IoFreeIrp on an IRP that a driver still holds (location %d of %d)",
                 Irp->CurrentLocation, Irp->StackCount);
    if (cancelRoutineOf(Irp))
        BugCheck("IoFreeIrp on an IRP with a cancel routine set");
    k.releaseIrp(hirp);
}

NTSTATUS IofCallDriver(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    Kernel& k = kernel();
    HostIrp* hirp = k.findIrp(Irp, "IoCallDriver");
    ThreadState& t = currentThread();
    if (t.irql > DISPATCH_LEVEL)
        BugCheck("IoCallDriver above DISPATCH_LEVEL");
    if (Irp->CurrentLocation <= 1)
        BugCheck("NO_MORE_IRP_STACK_LOCATIONS: IRP passed to %p with no location left",
                 DeviceObject);
    const bool power = IoGetNextIrpStackLocation(Irp)->MajorFunction == IRP_MJ_POWER;
    if (power && !t_inPoCallDriver && Irp->CurrentLocation <= Irp->StackCount)
        BugCheck("power IRP passed down with IoCallDriver instead of PoCallDriver");
    t_inPoCallDriver = false;
    Irp->CurrentLocation--;
    Irp->Tail.Overlay.CurrentStackLocation--;
    PIO_STACK_LOCATION sp = Irp->Tail.Overlay.CurrentStackLocation;
    sp->DeviceObject = DeviceObject;
    if (power)
        hirp->entered.push_back(DeviceObject);
    KIRQL before = t.irql;
    int locksBefore = t.spinLocksHeld;
    NTSTATUS status =
        DeviceObject->DriverObject->MajorFunction[sp->MajorFunction](DeviceObject, Irp);
    if (t.irql != before || t.spinLocksHeld != locksBefore)
        BugCheck(
            "a dispatch routine (major 0x%x) returned at IRQL %d holding %d spin lock(s); "
            "it was called at IRQL %d holding %d",
            sp->MajorFunction, t.irql, t.spinLocksHeld, before, locksBefore);
    return status;
}

VOID IoMarkIrpPending(PIRP Irp) {
    IoGetCurrentIrpStackLocation(Irp)->Control |= SL_PENDING_RETURNED;
}

PDRIVER_CANCEL IoSetCancelRoutine(PIRP Irp, PDRIVER_CANCEL CancelRoutine) {
    return reinterpret_cast<PDRIVER_CANCEL>(
        InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(&Irp->CancelRoutine),
                                   reinterpret_cast<PVOID>(CancelRoutine)));
}

VOID IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost) {
    (void)PriorityBoost;
    Kernel& k = kernel();
    HostIrp* hirp = k.findIrp(Irp, "IoCompleteRequest");
    if (hirp->finished)
        BugCheck("MULTIPLE_IRP_COMPLETE_REQUESTS: IRP %p (major 0x%x) completed a second time", Irp,
                 hirp->major);
    if (Irp->CurrentLocation > Irp->StackCount)
        BugCheck(
            "MULTIPLE_IRP_COMPLETE_REQUESTS: IoCompleteRequest on IRP %p, which no driver "
            "holds",
            Irp);
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        BugCheck("IoCompleteRequest above DISPATCH_LEVEL");
    if (Irp->IoStatus.Status == STATUS_PENDING)
        BugCheck("IoCompleteRequest with STATUS_PENDING as the status");
    if (cancelRoutineOf(Irp))
        BugCheck("IoCompleteRequest on an IRP whose cancel routine is set");

    for (;;) {
        PIO_STACK_LOCATION sp = Irp->Tail.Overlay.CurrentStackLocation;
        Irp->CurrentLocation++;
        Irp->Tail.Overlay.CurrentStackLocation++;
        Irp->PendingReturned = (sp->Control & SL_PENDING_RETURNED) != 0;
        const bool top = Irp->CurrentLocation == Irp->StackCount + 1;
        PIO_COMPLETION_ROUTINE routine = sp->CompletionRoutine;
        PVOID context = sp->Context;
        const UCHAR control = sp->Control;
        const NTSTATUS status = Irp->IoStatus.Status;
        sp->Control = 0;
        sp->CompletionRoutine = nullptr;
        sp->Context = nullptr;
        sp->FileObject = nullptr;
        const bool cancelled = __atomic_load_n(&Irp->Cancel, __ATOMIC_SEQ_CST);
        const bool invoke = routine && ((NT_SUCCESS(status) && (control & SL_INVOKE_ON_SUCCESS)) ||
                                        (!NT_SUCCESS(status) && (control & SL_INVOKE_ON_ERROR)) ||
                                        (cancelled && (control & SL_INVOKE_ON_CANCEL)));
        if (invoke) {
            PDEVICE_OBJECT device = top ? nullptr : IoGetCurrentIrpStackLocation(Irp)->DeviceObject;
            KIRQL before = KeGetCurrentIrql();
            NTSTATUS result = routine(device, Irp, context);
            if (KeGetCurrentIrql() != before)
                BugCheck("a completion routine changed the IRQL from %d to %d", before,
                         KeGetCurrentIrql());
            if (result == STATUS_MORE_PROCESSING_REQUIRED)
                return;
        } else if (Irp->PendingReturned && !top) {
            IoMarkIrpPending(Irp);
        }
        if (top)
            break;
    }
    k.finishIrp(hirp);
}

BOOLEAN IoCancelIrp(PIRP Irp) {
    Kernel& k = kernel();
    k.findIrp(Irp, "IoCancelIrp");
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    __atomic_store_n(&Irp->Cancel, TRUE, __ATOMIC_SEQ_CST);
    PDRIVER_CANCEL routine = IoSetCancelRoutine(Irp, nullptr);
    if (!routine) {
        IoReleaseCancelSpinLock(irql);
        return FALSE;
    }
    Irp->CancelIrql = irql;
    routine(IoGetCurrentIrpStackLocation(Irp)->DeviceObject, Irp);
    if (currentThread().cancelLockHeld)
        BugCheck("a cancel routine returned without releasing the cancel spin lock");
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Memory descriptor lists

PMDL IoAllocateMdl(PVOID VirtualAddress, ULONG Length, BOOLEAN SecondaryBuffer, BOOLEAN ChargeQuota,
                   PIRP Irp) {
    (void)ChargeQuota;
    Kernel& k = kernel();
    PMDL mdl = nullptr;
    {
        std::lock_guard lock(k.irpLock);
        if (!k.mdlLookaside.empty()) {
            mdl = k.mdlLookaside.back();
            k.mdlLookaside.pop_back();
        }
        if (mdl)
            *mdl = MDL{};
        else
            mdl = new MDL{};
        k.mdlNodes.insert(k.mdls, mdl);
    }
    auto address = reinterpret_cast<ULONG_PTR>(VirtualAddress);
    mdl->StartVa = reinterpret_cast<PVOID>(address & ~ULONG_PTR(4095));
    mdl->ByteOffset = static_cast<ULONG>(address & 4095);
    mdl->ByteCount = Length;
    mdl->Size = sizeof(MDL);
    if (Irp) {
        if (!SecondaryBuffer) {
            if (Irp->MdlAddress)
                BugCheck("IoAllocateMdl: primary MDL for an IRP that has one");
            Irp->MdlAddress = mdl;
        } else {
            PMDL last = Irp->MdlAddress;
            if (!last)
                BugCheck("IoAllocateMdl: secondary MDL for an IRP without a primary one");
            while (last->Next)
                last = last->Next;
            last->Next = mdl;
        }
    }
    return mdl;
}

VOID IoFreeMdl(PMDL Mdl) {
    Kernel& k = kernel();
    std::unique_lock lock(k.irpLock);
    auto it = k.mdls.find(Mdl);
    if (it == k.mdls.end())
        BugCheck("IoFreeMdl on %p, which is not an MDL", Mdl);
    if (Mdl->MdlFlags & MDL_PAGES_LOCKED)
        BugCheck("IoFreeMdl on an MDL whose pages are locked");
    k.mdlNodes.erase(k.mdls, it);
    if (kLookasideLists && k.mdlLookaside.size() < kLookasideDepth) {
        k.mdlLookaside.push_back(Mdl);
        return;
    }
    lock.unlock();
    delete Mdl;
}

VOID MmProbeAndLockPages(PMDL MemoryDescriptorList, KPROCESSOR_MODE AccessMode,
                         LOCK_OPERATION Operation) {
    (void)AccessMode;
    (void)Operation;
    if (MemoryDescriptorList->MdlFlags & MDL_PAGES_LOCKED)
        BugCheck("MDL locked twice");
    MemoryDescriptorList->MdlFlags |= MDL_PAGES_LOCKED;
}

VOID MmUnlockPages(PMDL MemoryDescriptorList) {
    if (!(MemoryDescriptorList->MdlFlags & MDL_PAGES_LOCKED))
        BugCheck("MmUnlockPages on an MDL that is not locked");
    MemoryDescriptorList->MdlFlags &= ~MDL_PAGES_LOCKED;
}

PVOID MmGetSystemAddressForMdlSafe(PMDL Mdl, ULONG Priority) {
    (void)Priority;
    if (!(Mdl->MdlFlags & MDL_PAGES_LOCKED))
        BugCheck("MmGetSystemAddressForMdlSafe on an MDL whose pages are not locked");
    return MmGetMdlVirtualAddress(Mdl);
}

}  // extern "C"

// ---------------------------------------------------------------------------------------------
// The user-mode front door

namespace lumatrace::host {

namespace {
PDEVICE_OBJECT resolve(Kernel& k, const std::wstring& path) {
    std::wstring lower = lowerCase(path);
    std::wstring deviceName;
    if (startsWith(lower, L"\\\\.\\")) {
        auto it = k.links.find(lower.substr(4));
        if (it == k.links.end())
            return nullptr;
        deviceName = it->second.target;
    } else {
        deviceName = lower;
    }
    auto it = k.deviceNames.find(deviceName);
    return it == k.deviceNames.end() ? nullptr : it->second;
}

// Builds a request on a handle; returns it unsent.
HostIrp* newRequest(Kernel& k, UserFile* file, UCHAR major, PDEVICE_OBJECT* target) {
    PDEVICE_OBJECT top;
    {
        std::lock_guard lock(k.objectLock);
        top = IoGetAttachedDevice(file->device);
    }
    HostIrp* hirp = k.allocateIrp(top->StackSize, IrpOrigin::User);
    hirp->file = file;
    hirp->irp.RequestorMode = UserMode;
    hirp->irp.Tail.Overlay.OriginalFileObject = &file->fileObject;
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(&hirp->irp);
    sp->MajorFunction = major;
    sp->FileObject = &file->fileObject;
    *target = top;
    return hirp;
}

// Request records of the front door, kept per thread for reuse as the IRPs are.
struct UserIoLookaside {
    std::vector<UserIo*> free;
    ~UserIoLookaside() {
        for (UserIo* io : free)
            delete io;
    }
};
thread_local UserIoLookaside t_userIos;

UserIo* newUserIo(HostIrp* hirp, NTSTATUS status) {
    if (kLookasideLists && !t_userIos.free.empty()) {
        UserIo* io = t_userIos.free.back();
        t_userIos.free.pop_back();
        *io = UserIo{hirp, status};
        return io;
    }
    return new UserIo{hirp, status};
}

void freeUserIo(UserIo* io) {
    if (kLookasideLists && t_userIos.free.size() < 8) {
        t_userIos.free.push_back(io);
        return;
    }
    delete io;
}

UserIo* issue(Kernel& k, UserFile* file, HostIrp* hirp, PDEVICE_OBJECT top) {
    {
        std::lock_guard lock(file->m);
        file->refs++;
        file->inFlightNodes.insert(file->inFlight, hirp);
    }
    hirp->refs.fetch_add(1);  // the requester's, released by waitIo
    k.dispatchTop(top, hirp);
    checkThreadIsClean("a dispatch routine called from user mode");
    return newUserIo(hirp, STATUS_SUCCESS);
}

UserIo* failedIo(NTSTATUS status) {
    return newUserIo(nullptr, status);
}

bool usable(UserFile* file) {
    if (!file)
        return false;
    std::lock_guard lock(file->m);
    return !file->closed;
}

UserIo* transfer(Kernel& k, UserFile* file, UCHAR major, void* buffer, ULONG length) {
    if (!usable(file))
        return failedIo(STATUS_INVALID_HANDLE);
    PDEVICE_OBJECT top;
    HostIrp* hirp = newRequest(k, file, major, &top);
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(&hirp->irp);
    if (major == IRP_MJ_READ)
        sp->Parameters.Read.Length = length;
    else
        sp->Parameters.Write.Length = length;
    hirp->userBuffer = buffer;
    hirp->userLength = length;
    if (length > 0) {
        if (top->Flags & DO_DIRECT_IO) {
            PMDL mdl = IoAllocateMdl(buffer, length, FALSE, FALSE, &hirp->irp);
            MmProbeAndLockPages(mdl, UserMode, major == IRP_MJ_READ ? IoWriteAccess : IoReadAccess);
        } else if (top->Flags & DO_BUFFERED_IO) {
            hirp->systemBuffer = std::malloc(length);
            if (major == IRP_MJ_WRITE)
                std::memcpy(hirp->systemBuffer, buffer, length);
            hirp->copyOutBuffered = major == IRP_MJ_READ;
            hirp->irp.AssociatedIrp.SystemBuffer = hirp->systemBuffer;
        } else {
            hirp->irp.UserBuffer = buffer;
        }
    }
    return issue(k, file, hirp, top);
}
}  // namespace

NTSTATUS IoManager::createFile(const std::wstring& path, UserFile** file) {
    Kernel& k = kernel_;
    *file = nullptr;
    PDEVICE_OBJECT device;
    {
        std::lock_guard lock(k.objectLock);
        device = resolve(k, path);
        if (!device)
            return STATUS_OBJECT_NAME_NOT_FOUND;
        DeviceInfo& info = deviceInfo(device);
        if (info.deleted || (device->Flags & DO_DEVICE_INITIALIZING))
            return STATUS_NO_SUCH_DEVICE;
        if ((device->Flags & DO_EXCLUSIVE) && info.openFiles > 0)
            return STATUS_ACCESS_DENIED;
        info.openFiles++;
    }
    auto* f = new UserFile;
    f->device = device;
    f->fileObject.Type = IO_TYPE_FILE;
    f->fileObject.Size = sizeof(FILE_OBJECT);
    f->fileObject.DeviceObject = device;
    PDEVICE_OBJECT top;
    HostIrp* hirp = newRequest(k, f, IRP_MJ_CREATE, &top);
    hirp->file = nullptr;  // not counted against the file until it is open
    hirp->origin = IrpOrigin::Manager;
    k.dispatchTop(top, hirp);
    checkThreadIsClean("a create dispatch routine");
    NTSTATUS status = k.waitManagerIrp(hirp).Status;
    if (!NT_SUCCESS(status)) {
        delete f;
        k.dropDeviceReference(device);
        return status;
    }
    {
        std::lock_guard lock(k.filesLock);
        k.files.insert(f);
    }
    *file = f;
    return status;
}

NTSTATUS IoManager::closeHandle(UserFile* file) {
    Kernel& k = kernel_;
    {
        std::lock_guard lock(k.filesLock);
        if (!k.files.count(file))
            return STATUS_INVALID_HANDLE;
    }
    {
        std::lock_guard lock(file->m);
        if (file->closed)
            return STATUS_INVALID_HANDLE;
        file->closed = true;
    }
    PDEVICE_OBJECT top;
    HostIrp* hirp = newRequest(k, file, IRP_MJ_CLEANUP, &top);
    hirp->file = nullptr;
    hirp->origin = IrpOrigin::Manager;
    k.dispatchTop(top, hirp);
    checkThreadIsClean("a cleanup dispatch routine");
    k.waitManagerIrp(hirp);
    k.dropFileReference(file, false);
    return STATUS_SUCCESS;
}

UserIo* IoManager::readFileAsync(UserFile* file, void* buffer, ULONG length) {
    return transfer(kernel_, file, IRP_MJ_READ, buffer, length);
}

UserIo* IoManager::writeFileAsync(UserFile* file, const void* buffer, ULONG length) {
    return transfer(kernel_, file, IRP_MJ_WRITE, const_cast<void*>(buffer), length);
}

bool IoManager::ioDone(UserIo* io) const {
    if (!io->irp)
        return true;
    std::lock_guard lock(io->irp->m);
    return io->irp->completed;
}

NTSTATUS IoManager::waitIo(UserIo* io, ULONG* bytes) {
    NTSTATUS status = io->immediateStatus;
    ULONG_PTR information = 0;
    if (io->irp) {
        HostIrp* hirp = io->irp;
        {
            std::unique_lock lock(hirp->m);
            hirp->cv.wait(lock, [&] { return hirp->completed && hirp->dispatchReturned; });
            status = hirp->finalStatus.Status;
            information = hirp->finalStatus.Information;
        }
        kernel_.releaseIrp(hirp);
    }
    freeUserIo(io);
    if (bytes)
        *bytes = static_cast<ULONG>(information);
    return status;
}

void IoManager::cancelIo(UserFile* file) {
    std::vector<HostIrp*> targets;
    {
        std::lock_guard lock(file->m);
        for (HostIrp* hirp : file->inFlight) {
            hirp->refs.fetch_add(1);
            targets.push_back(hirp);
        }
    }
    for (HostIrp* hirp : targets) {
        IoCancelIrp(&hirp->irp);
        checkThreadIsClean("a cancel routine");
        kernel_.releaseIrp(hirp);
    }
}

NTSTATUS IoManager::readFile(UserFile* file, void* buffer, ULONG length, ULONG* bytes) {
    return waitIo(readFileAsync(file, buffer, length), bytes);
}

NTSTATUS IoManager::writeFile(UserFile* file, const void* buffer, ULONG length, ULONG* bytes) {
    return waitIo(writeFileAsync(file, buffer, length), bytes);
}

NTSTATUS IoManager::deviceIoControl(UserFile* file, ULONG code, const void* in, ULONG inLength,
                                    void* out, ULONG outLength, ULONG* bytes) {
    Kernel& k = kernel_;
    if (!usable(file))
        return waitIo(failedIo(STATUS_INVALID_HANDLE), bytes);
    PDEVICE_OBJECT top;
    HostIrp* hirp = newRequest(k, file, IRP_MJ_DEVICE_CONTROL, &top);
    PIO_STACK_LOCATION sp = IoGetNextIrpStackLocation(&hirp->irp);
    sp->Parameters.DeviceIoControl.IoControlCode = code;
    sp->Parameters.DeviceIoControl.InputBufferLength = inLength;
    sp->Parameters.DeviceIoControl.OutputBufferLength = outLength;
    hirp->userBuffer = out;
    hirp->userLength = outLength;
    switch (code & 3) {
        case METHOD_BUFFERED: {
            size_t size = std::max(inLength, outLength);
            hirp->systemBuffer = size ? std::malloc(size) : nullptr;
            if (inLength)
                std::memcpy(hirp->systemBuffer, in, inLength);
            hirp->irp.AssociatedIrp.SystemBuffer = hirp->systemBuffer;
            hirp->copyOutBuffered = true;
            break;
        }
        case METHOD_IN_DIRECT:
        case METHOD_OUT_DIRECT:
            if (inLength) {
                hirp->systemBuffer = std::malloc(inLength);
                std::memcpy(hirp->systemBuffer, in, inLength);
                hirp->irp.AssociatedIrp.SystemBuffer = hirp->systemBuffer;
            }
            if (outLength) {
                PMDL mdl = IoAllocateMdl(out, outLength, FALSE, FALSE, &hirp->irp);
                MmProbeAndLockPages(mdl, UserMode, IoWriteAccess);
            }
            break;
        default:
            sp->Parameters.DeviceIoControl.Type3InputBuffer = const_cast<void*>(in);
            hirp->irp.UserBuffer = out;
            break;
    }
    return waitIo(issue(k, file, hirp, top), bytes);
}

NTSTATUS IoManager::flushFileBuffers(UserFile* file) {
    Kernel& k = kernel_;
    if (!usable(file))
        return STATUS_INVALID_HANDLE;
    PDEVICE_OBJECT top;
    HostIrp* hirp = newRequest(k, file, IRP_MJ_FLUSH_BUFFERS, &top);
    return waitIo(issue(k, file, hirp, top), nullptr);
}

void IoManager::failNextDeviceCreation(NTSTATUS status) {
    std::lock_guard lock(kernel_.objectLock);
    kernel_.failNextDeviceCreation = status;
}

void IoManager::failNextSymbolicLink(NTSTATUS status) {
    std::lock_guard lock(kernel_.objectLock);
    kernel_.failNextSymbolicLink = status;
}

bool IoManager::deviceObjectExists(const std::wstring& ntName) const {
    std::lock_guard lock(kernel_.objectLock);
    for (PDEVICE_OBJECT device : kernel_.deviceObjects)
        if (lowerCase(deviceInfo(device).name) == lowerCase(ntName))
            return true;
    return false;
}

std::vector<std::wstring> IoManager::symbolicLinkNames() const {
    std::lock_guard lock(kernel_.objectLock);
    std::vector<std::wstring> names;
    for (auto& [name, link] : kernel_.links)
        names.push_back(link.literal);
    return names;
}

}  // namespace lumatrace::host
