// Device state shared by every request kind: the outstanding-request count and its drain event,
// the state flags, and the queue of requests held while the device cannot process them.
#include "driver/Zep9100.h"

namespace lumatrace::driver {

namespace {

constexpr ULONG kGone = kRemoved | kSurpriseRemoved;
constexpr ULONG kNotReady = kStopPending | kRemovePending | kPowerDownPending | kGone;

// Called with the queue lock held.
BOOLEAN ReadyLocked(PDEVICE_EXTENSION Ext) {
    return (Ext->StateFlags & kStarted) && !(Ext->StateFlags & kNotReady) &&
           Ext->DevicePowerState == PowerDeviceD0;
}

PIRP IrpFromEntry(PLIST_ENTRY Entry) {
    return CONTAINING_RECORD(Entry, IRP, Tail.Overlay.ListEntry);
}

/*
 * CancelHeldRequest - cancel routine of a held request: takes it out of the queue and completes
 * it with STATUS_CANCELLED.
 * DeviceObject: the device the request was held on. Irp: the request.
 * IRQL: DISPATCH_LEVEL, called with the cancel spin lock held, which it releases.
 */
VOID NTAPI CancelHeldRequest(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    KeAcquireSpinLockAtDpcLevel(&ext->QueueLock);
    RemoveEntryList(&Irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLockFromDpcLevel(&ext->QueueLock);
    IoReleaseCancelSpinLock(Irp->CancelIrql);
    CompleteRequest(Irp, STATUS_CANCELLED, 0);
}

/*
 * CompleteList - completes every request of a private list with one status.
 * IRQL: <= DISPATCH_LEVEL, no lock held.
 */
VOID CompleteList(PLIST_ENTRY List, NTSTATUS Status) {
    while (!IsListEmpty(List))
        CompleteRequest(IrpFromEntry(RemoveHeadList(List)), Status, 0);
}

}  // namespace

/*
 * SignalEvent - completion routine that wakes the thread waiting for a request it sent down and
 * keeps the request for it.
 * Context: the KEVENT to set. Returns STATUS_MORE_PROCESSING_REQUIRED.
 * IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS NTAPI SignalEvent(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(Irp);
    KeSetEvent(static_cast<PKEVENT>(Context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

/*
 * CompleteRequest - sets a request's status and byte count and completes it.
 * Returns Status. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS CompleteRequest(PIRP Irp, NTSTATUS Status, ULONG_PTR Information) {
    Irp->IoStatus.Status = Status;
    Irp->IoStatus.Information = Information;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return Status;
}

/*
 * AcquireHold - counts a request that entered the driver; the drain event is cleared when the
 * count leaves its idle value.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID AcquireHold(PDEVICE_EXTENSION Ext) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->CountLock, &irql);
    if (InterlockedIncrement(&Ext->OutstandingRequests) == 2)
        KeClearEvent(&Ext->DrainEvent);
    KeReleaseSpinLock(&Ext->CountLock, irql);
}

/*
 * ReleaseHold - the driver is done with a request; the drain event is set when the count
 * returns to its idle value.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID ReleaseHold(PDEVICE_EXTENSION Ext) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->CountLock, &irql);
    if (InterlockedDecrement(&Ext->OutstandingRequests) == 1)
        KeSetEvent(&Ext->DrainEvent, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&Ext->CountLock, irql);
}

/*
 * OtherRequestsInProgress - whether any request besides the caller's is in the driver.
 * The caller holds one hold. IRQL: <= DISPATCH_LEVEL.
 */
BOOLEAN OtherRequestsInProgress(PDEVICE_EXTENSION Ext) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->CountLock, &irql);
    BOOLEAN busy = Ext->OutstandingRequests > 2;
    KeReleaseSpinLock(&Ext->CountLock, irql);
    return busy;
}

/*
 * WaitForOtherRequests - waits, without time-out, until no request other than the caller's is
 * in the driver. The caller holds one hold and still holds it on return.
 * IRQL: PASSIVE_LEVEL.
 */
VOID WaitForOtherRequests(PDEVICE_EXTENSION Ext) {
    ReleaseHold(Ext);
    KeWaitForSingleObject(&Ext->DrainEvent, Executive, KernelMode, FALSE, NULL);
    AcquireHold(Ext);
}

/*
 * ChangeStateFlags - sets and clears state flags atomically with respect to request gating.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID ChangeStateFlags(PDEVICE_EXTENSION Ext, ULONG Set, ULONG Clear) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    Ext->StateFlags = (Ext->StateFlags & ~Clear) | Set;
    KeReleaseSpinLock(&Ext->QueueLock, irql);
}

/*
 * ReadStateFlags - a snapshot of the state flags. IRQL: <= DISPATCH_LEVEL.
 */
ULONG ReadStateFlags(PDEVICE_EXTENSION Ext) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    ULONG flags = Ext->StateFlags;
    KeReleaseSpinLock(&Ext->QueueLock, irql);
    return flags;
}

/*
 * IsGone - whether the device has been removed or surprise-removed. IRQL: <= DISPATCH_LEVEL.
 */
BOOLEAN IsGone(PDEVICE_EXTENSION Ext) {
    return (ReadStateFlags(Ext) & kGone) != 0;
}

/*
 * ReadDevicePowerState - the device power state last recorded. IRQL: <= DISPATCH_LEVEL.
 */
DEVICE_POWER_STATE ReadDevicePowerState(PDEVICE_EXTENSION Ext) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    DEVICE_POWER_STATE state = Ext->DevicePowerState;
    KeReleaseSpinLock(&Ext->QueueLock, irql);
    return state;
}

/*
 * HasHeldRequests - whether any request is waiting in the held-request queue.
 * IRQL: <= DISPATCH_LEVEL.
 */
BOOLEAN HasHeldRequests(PDEVICE_EXTENSION Ext) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    BOOLEAN held = !IsListEmpty(&Ext->HeldRequests);
    KeReleaseSpinLock(&Ext->QueueLock, irql);
    return held;
}

/*
 * SubmitGatedRequest - the common path of reads, writes and device controls: fails the request
 * when the device is gone, holds it when the device cannot process it now, else processes it.
 * Ext: the device. Irp: the request.
 * Returns the request's status, or STATUS_PENDING when it is held or passed down.
 * IRQL: PASSIVE_LEVEL.
 */
NTSTATUS SubmitGatedRequest(PDEVICE_EXTENSION Ext, PIRP Irp) {
    AcquireHold(Ext);
    PowerUpOnDemand(Ext);

    NTSTATUS status = STATUS_PENDING;
    BOOLEAN process = FALSE;
    KIRQL cancelIrql;
    IoAcquireCancelSpinLock(&cancelIrql);
    KeAcquireSpinLockAtDpcLevel(&Ext->QueueLock);
    if (Ext->StateFlags & kGone) {
        status = STATUS_DELETE_PENDING;
    } else if (ReadyLocked(Ext)) {
        process = TRUE;
    } else if (Irp->Cancel) {
        status = STATUS_CANCELLED;
    } else {
        IoMarkIrpPending(Irp);
        InsertTailList(&Ext->HeldRequests, &Irp->Tail.Overlay.ListEntry);
        (void)IoSetCancelRoutine(Irp, CancelHeldRequest);
    }
    KeReleaseSpinLockFromDpcLevel(&Ext->QueueLock);
    IoReleaseCancelSpinLock(cancelIrql);

    if (process)
        return ProcessRequest(Ext, Irp);  // the request keeps the hold until it is done
    // A held request gives its hold back so that drains are not blocked by requests that wait
    // for the very state change a drain precedes; it takes a new one when dispatched again.
    ReleaseHold(Ext);
    if (status != STATUS_PENDING)
        CompleteRequest(Irp, status, 0);
    return status;
}

/*
 * DispatchHeldRequests - processes the held requests, oldest first, for as long as the device
 * can process requests.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID DispatchHeldRequests(PDEVICE_EXTENSION Ext) {
    for (;;) {
        PIRP irp = NULL;
        KIRQL cancelIrql;
        IoAcquireCancelSpinLock(&cancelIrql);
        KeAcquireSpinLockAtDpcLevel(&Ext->QueueLock);
        if (ReadyLocked(Ext) && !IsListEmpty(&Ext->HeldRequests)) {
            irp = IrpFromEntry(RemoveHeadList(&Ext->HeldRequests));
            // With the cancel spin lock held a queued request's cancel routine cannot be running.
            (void)IoSetCancelRoutine(irp, NULL);
            AcquireHold(Ext);
        }
        KeReleaseSpinLockFromDpcLevel(&Ext->QueueLock);
        IoReleaseCancelSpinLock(cancelIrql);
        if (!irp)
            return;
        ProcessRequest(Ext, irp);
    }
}

/*
 * FailHeldRequests - completes every held request with Status.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID FailHeldRequests(PDEVICE_EXTENSION Ext, NTSTATUS Status) {
    LIST_ENTRY taken;
    InitializeListHead(&taken);
    KIRQL cancelIrql;
    IoAcquireCancelSpinLock(&cancelIrql);
    KeAcquireSpinLockAtDpcLevel(&Ext->QueueLock);
    while (!IsListEmpty(&Ext->HeldRequests)) {
        PIRP irp = IrpFromEntry(RemoveHeadList(&Ext->HeldRequests));
        (void)IoSetCancelRoutine(irp, NULL);
        InsertTailList(&taken, &irp->Tail.Overlay.ListEntry);
    }
    KeReleaseSpinLockFromDpcLevel(&Ext->QueueLock);
    IoReleaseCancelSpinLock(cancelIrql);
    CompleteList(&taken, Status);
}

/*
 * CancelHeldRequestsOfFile - completes with STATUS_CANCELLED the held requests issued on one
 * handle (file object).
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID CancelHeldRequestsOfFile(PDEVICE_EXTENSION Ext, PFILE_OBJECT FileObject) {
    LIST_ENTRY taken;
    InitializeListHead(&taken);
    KIRQL cancelIrql;
    IoAcquireCancelSpinLock(&cancelIrql);
    KeAcquireSpinLockAtDpcLevel(&Ext->QueueLock);
    PLIST_ENTRY entry = Ext->HeldRequests.Flink;
    while (entry != &Ext->HeldRequests) {
        PLIST_ENTRY next = entry->Flink;
        PIRP irp = IrpFromEntry(entry);
        if (IoGetCurrentIrpStackLocation(irp)->FileObject == FileObject) {
            RemoveEntryList(entry);
            (void)IoSetCancelRoutine(irp, NULL);
            InsertTailList(&taken, entry);
        }
        entry = next;
    }
    KeReleaseSpinLockFromDpcLevel(&Ext->QueueLock);
    IoReleaseCancelSpinLock(cancelIrql);
    CompleteList(&taken, STATUS_CANCELLED);
}

/*
 * ForwardAndWait - passes a request to the lower driver and waits, without time-out, until it
 * has completed there; the request is then the caller's again, to complete.
 * Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS ForwardAndWait(PDEVICE_EXTENSION Ext, PIRP Irp) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(Irp);
    IoSetCompletionRoutine(Irp, SignalEvent, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(Ext->LowerDevice, Irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    return Irp->IoStatus.Status;
}

/*
 * HoldEndsOnCompletion - completion routine of a request passed down unchanged with its hold:
 * the lower drivers have completed it, so its hold ends here, before whoever sent it hears of
 * it. Up to here the hold kept the lower device the request went to from being detached by a
 * removal.
 * Context: the device extension. Returns STATUS_SUCCESS. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS NTAPI HoldEndsOnCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    UNREFERENCED_PARAMETER(DeviceObject);
    if (Irp->PendingReturned)
        IoMarkIrpPending(Irp);
    ReleaseHold(static_cast<PDEVICE_EXTENSION>(Context));
    return STATUS_SUCCESS;
}

/*
 * PassDown - hands a request to the lower driver unchanged; its hold ends in
 * HoldEndsOnCompletion. The caller touches neither the request nor the device's state
 * afterwards: whoever sent the request may act the moment it completes.
 * Consumes the caller's hold. Returns what the lower driver returns. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS PassDown(PDEVICE_EXTENSION Ext, PIRP Irp) {
    IoCopyCurrentIrpStackLocationToNext(Irp);
    IoSetCompletionRoutine(Irp, HoldEndsOnCompletion, Ext, TRUE, TRUE, TRUE);
    return IoCallDriver(Ext->LowerDevice, Irp);
}

}  // namespace lumatrace::driver
