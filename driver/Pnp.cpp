// Plug and play: one handler per minor function of interest, everything else passed down.
//
// A PnP request's hold on the device, taken as it enters the driver, ends when the driver lets go
// of the request: as the lower drivers complete a request passed down, or just before the driver
// completes it itself. Whoever sent the request may act the moment it completes, while the thread
// that completed it is still on its way out of the driver; so the driver also finishes its own
// state changes before it lets go of a request.
#include "driver/Zep9100.h"

namespace lumatrace::driver {

namespace {

/*
 * FinishPnpRequest - ends the request's hold and completes the request with Status. The caller
 * touches the device's state no more.
 * Returns Status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS FinishPnpRequest(PDEVICE_EXTENSION Ext, PIRP Irp, NTSTATUS Status) {
    ReleaseHold(Ext);
    return CompleteRequest(Irp, Status, 0);
}

/*
 * HandleStartDevice - the lower drivers start the device first; then the USB configuration is
 * selected and the capabilities read. Requests held while the device was not started are
 * dispatched once it is.
 * Consumes the caller's hold. Returns the start's status. IRQL: PASSIVE_LEVEL.
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
    return FinishPnpRequest(Ext, Irp, status);
}

/*
 * HandleQueryRemoveDevice - refuses while a handle is open; otherwise holds new requests, waits
 * for those in progress and passes the query down.
 * Consumes the caller's hold. Returns STATUS_DEVICE_BUSY or the lower driver's status.
 * IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleQueryRemoveDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    KeWaitForSingleObject(&Ext->DeviceMutex, Executive, KernelMode, FALSE, NULL);
    BOOLEAN busy = InterlockedCompareExchange(&Ext->OpenCount, 0, 0) > 0;
    if (!busy)
        ChangeStateFlags(Ext, kRemovePending, 0);
    KeReleaseMutex(&Ext->DeviceMutex, FALSE);
    if (busy)
        return FinishPnpRequest(Ext, Irp, STATUS_DEVICE_BUSY);
    WaitForOtherRequests(Ext);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(Ext, Irp);
}

/*
 * HandleCancelRemoveDevice - the lower drivers first; then requests flow again.
 * Consumes the caller's hold. Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleCancelRemoveDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    NTSTATUS status = ForwardAndWait(Ext, Irp);
    ChangeStateFlags(Ext, 0, kRemovePending);
    DispatchHeldRequests(Ext);
    return FinishPnpRequest(Ext, Irp, status);
}

/*
 * HandleRemoveDevice - fails held requests, waits for those in progress, frees the USB
 * resources, passes the request down, detaches and deletes the link. The device object goes now
 * when no handle is open, else at the last close. The request's hold ends as it completes below;
 * the rest of the removal happens under the device mutex, which keeps a close out meanwhile.
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
    // The mutex lives in the extension: it is released before the object can be deleted.
    KeReleaseMutex(&Ext->DeviceMutex, FALSE);
    if (deleteNow)
        IoDeleteDevice(device);
    return status;
}

/*
 * HandleQueryStopDevice - refuses while a handle is open or another request is in progress;
 * otherwise holds new requests and passes the query down.
 * Consumes the caller's hold. Returns STATUS_DEVICE_BUSY or the lower driver's status.
 * IRQL: PASSIVE_LEVEL.
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
        return FinishPnpRequest(Ext, Irp, STATUS_DEVICE_BUSY);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(Ext, Irp);
}

/*
 * HandleCancelStopDevice - the lower drivers first; then requests flow again.
 * Consumes the caller's hold. Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleCancelStopDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    NTSTATUS status = ForwardAndWait(Ext, Irp);
    ChangeStateFlags(Ext, 0, kStopPending);
    DispatchHeldRequests(Ext);
    return FinishPnpRequest(Ext, Irp, status);
}

/*
 * HandleStopDevice - deconfigures the USB interface; requests are held until the next start.
 * The device counts as stopped before the request goes: the start that follows may come as soon
 * as the stop has completed.
 * Consumes the caller's hold. Returns the lower driver's status, or STATUS_SUCCESS for a device
 * that was not started. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleStopDevice(PDEVICE_EXTENSION Ext, PIRP Irp) {
    BOOLEAN started = (ReadStateFlags(Ext) & kStarted) != 0;
    StopConfiguration(Ext);
    ChangeStateFlags(Ext, 0, kStarted | kStopPending);
    if (!started)
        return FinishPnpRequest(Ext, Irp, STATUS_SUCCESS);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(Ext, Irp);
}

/*
 * HandleSurpriseRemoval - the instrument is gone: held requests fail, the lower drivers are told
 * (they fail the transfers in flight); the device object stays until remove-device.
 * Consumes the caller's hold. Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleSurpriseRemoval(PDEVICE_EXTENSION Ext, PIRP Irp) {
    ChangeStateFlags(Ext, kSurpriseRemoved, kStarted | kStopPending | kRemovePending);
    FailHeldRequests(Ext, STATUS_DELETE_PENDING);
    Irp->IoStatus.Status = STATUS_SUCCESS;
    return PassDown(Ext, Irp);
}

}  // namespace

/*
 * DispatchPnp - plug and play requests, by minor function. The hold taken here is the request's:
 * the handler hands it on with the request, and it ends when the driver lets go of the request,
 * never after the request has completed.
 * Returns the handler's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    AcquireHold(ext);
    switch (IoGetCurrentIrpStackLocation(Irp)->MinorFunction) {
        case IRP_MN_START_DEVICE:
            return HandleStartDevice(ext, Irp);
        case IRP_MN_QUERY_REMOVE_DEVICE:
            return HandleQueryRemoveDevice(ext, Irp);
        case IRP_MN_CANCEL_REMOVE_DEVICE:
            return HandleCancelRemoveDevice(ext, Irp);
        case IRP_MN_REMOVE_DEVICE:
            return HandleRemoveDevice(ext, Irp);
        case IRP_MN_QUERY_STOP_DEVICE:
            return HandleQueryStopDevice(ext, Irp);
        case IRP_MN_CANCEL_STOP_DEVICE:
            return HandleCancelStopDevice(ext, Irp);
        case IRP_MN_STOP_DEVICE:
            return HandleStopDevice(ext, Irp);
        case IRP_MN_SURPRISE_REMOVAL:
            return HandleSurpriseRemoval(ext, Irp);
        default:
            return PassDown(ext, Irp);
    }
}

}  // namespace lumatrace::driver
