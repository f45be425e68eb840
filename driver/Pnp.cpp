// Plug and play: one handler per minor function of interest, everything else passed down.
#include "driver/Zep9100.h"

namespace lumatrace::driver {

namespace {

/*
 * HandleStartDevice - the lower drivers start the device first; then the USB configuration is
 * selected and the capabilities read. Requests held while the device was not started are
 * dispatched once it is.
 * Returns the start's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleStartDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    NTSTATUS status = ForwardAndWait(Ext, Irp);
    if (NT_SUCCESS(status))
        status = StartConfiguration(Ext);
    if (NT_SUCCESS(status)) {
        QueryCapabilities(Ext);
        ChangeStateFlags(Ext, kStarted, 0);
        DispatchHeldRequests(Ext);
    } else {
        ChangeStateFlags(Ext, 0, kStarted);
    }
    return CompleteRequest(Irp, status, 0);
}

/*
 * HandleQueryRemoveDevice - refuses while a handle is open; otherwise holds new requests, waits
 * for those in progress and passes the query down.
 * Returns STATUS_DEVICE_BUSY or the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleQueryRemoveDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    KeWaitForSingleObject(&Ext->DeviceMutex, Executive, KernelMode, FALSE, NULL);
    BOOLEAN busy = InterlockedCompareExchange(&Ext->OpenCount, 0, 0) > 0;
    if (!busy)
        ChangeStateFlags(Ext, kRemovePending, 0);
    KeReleaseMutex(&Ext->DeviceMutex, FALSE);
    if (busy)
        return CompleteRequest(Irp, STATUS_DEVICE_BUSY, 0);
    WaitForOtherRequests(Ext);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(Ext, Irp);
}

/*
 * HandleCancelRemoveDevice - the lower drivers first; then requests flow again.
 * Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleCancelRemoveDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    NTSTATUS status = ForwardAndWait(Ext, Irp);
    ChangeStateFlags(Ext, 0, kRemovePending);
    DispatchHeldRequests(Ext);
    return CompleteRequest(Irp, status, 0);
}

/*
 * HandleRemoveDevice - fails held requests, waits for those in progress, frees the USB
 * resources, passes the request down, detaches and deletes the link. The device object goes now
 * when no handle is open, else at the last close.
 * Consumes the caller's hold (the device may be gone on return).
 * Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleRemoveDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    PDEVICE_OBJECT device = Ext->Self;
    KeWaitForSingleObject(&Ext->DeviceMutex, Executive, KernelMode, FALSE, NULL);
    ChangeStateFlags(Ext, kRemoved | kRemovalInProgress, 0);
    FailHeldRequests(Ext, STATUS_DELETE_PENDING);
    // Drained before the USB members go, so no request still in the driver can see them freed.
    WaitForOtherRequests(Ext);
    ReleaseUsbResources(Ext);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    NTSTATUS status = PassDown(Ext, Irp);
    IoDetachDevice(Ext->LowerDevice);
    Ext->LowerDevice = NULL;
    if (Ext->LinkCreated)
        IoDeleteSymbolicLink(&Ext->LinkName);
    Ext->LinkCreated = FALSE;
    BOOLEAN deleteNow = InterlockedCompareExchange(&Ext->OpenCount, 0, 0) == 0;
    if (!deleteNow)
        ChangeStateFlags(Ext, 0, ~static_cast<ULONG>(kRemoved));
    ReleaseHold(Ext);
    // The mutex lives in the extension: it is released before the object can be deleted.
    KeReleaseMutex(&Ext->DeviceMutex, FALSE);
    if (deleteNow)
        IoDeleteDevice(device);
    return status;
}

/*
 * HandleQueryStopDevice - refuses while a handle is open or another request is in progress;
 * otherwise holds new requests and passes the query down.
 * Returns STATUS_DEVICE_BUSY or the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleQueryStopDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    BOOLEAN busy;
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    busy = InterlockedCompareExchange(&Ext->OpenCount, 0, 0) > 0 || OtherRequestsInProgress(Ext);
    if (!busy)
        Ext->StateFlags |= kStopPending;
    KeReleaseSpinLock(&Ext->QueueLock, irql);
    if (busy)
        return CompleteRequest(Irp, STATUS_DEVICE_BUSY, 0);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(Ext, Irp);
}

/*
 * HandleCancelStopDevice - the lower drivers first; then requests flow again.
 * Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleCancelStopDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    NTSTATUS status = ForwardAndWait(Ext, Irp);
    ChangeStateFlags(Ext, 0, kStopPending);
    DispatchHeldRequests(Ext);
    return CompleteRequest(Irp, status, 0);
}

/*
 * HandleStopDevice - deconfigures the USB interface; requests are held until the next start.
 * Returns the lower driver's status, or STATUS_SUCCESS for a device that was not started.
 * IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleStopDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    BOOLEAN started = (ReadStateFlags(Ext) & kStarted) != 0;
    StopConfiguration(Ext);
    NTSTATUS status;
    if (started) {
        Irp->IoStatus.Status = STATUS_SUCCESS;
        status = PassDown(Ext, Irp);
    } else {
        status = CompleteRequest(Irp, STATUS_SUCCESS, 0);
    }
    ChangeStateFlags(Ext, 0, kStarted | kStopPending);
    return status;
}

/*
 * HandleSurpriseRemoval - the instrument is gone: held requests fail, the lower drivers are told
 * (they fail the transfers in flight); the device object stays until remove-device.
 * Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleSurpriseRemoval(PDEVICE_EXTENSION Ext, PIRP Irp) {
    ChangeStateFlags(Ext, kSurpriseRemoved, 0);
    FailHeldRequests(Ext, STATUS_DELETE_PENDING);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    NTSTATUS status = PassDown(Ext, Irp);
    ChangeStateFlags(Ext, 0, kStarted | kStopPending | kRemovePending);
    return status;
}

}  // namespace

/*
 * DispatchPnp - plug and play requests, by minor function.
 * Returns the handler's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    NTSTATUS status;
    AcquireHold(ext);
    switch (IoGetCurrentIrpStackLocation(Irp)->MinorFunction) {
        case IRP_MN_START_DEVICE:
            status = HandleStartDevice(ext, Irp);
            break;
        case IRP_MN_QUERY_REMOVE_DEVICE:
            status = HandleQueryRemoveDevice(ext, Irp);
            break;
        case IRP_MN_CANCEL_REMOVE_DEVICE:
            status = HandleCancelRemoveDevice(ext, Irp);
            break;
        case IRP_MN_REMOVE_DEVICE:
            return HandleRemoveDevice(ext, Irp);  // releases the hold itself
        case IRP_MN_QUERY_STOP_DEVICE:
            status = HandleQueryStopDevice(ext, Irp);
            break;
        case IRP_MN_CANCEL_STOP_DEVICE:
            status = HandleCancelStopDevice(ext, Irp);
            break;
        case IRP_MN_STOP_DEVICE:
            status = HandleStopDevice(ext, Irp);
            break;
        case IRP_MN_SURPRISE_REMOVAL:
            status = HandleSurpriseRemoval(ext, Irp);
            break;
        default:
            status = PassDown(ext, Irp);
            break;
    }
    ReleaseHold(ext);
    return status;
}

}  // namespace lumatrace::driver
