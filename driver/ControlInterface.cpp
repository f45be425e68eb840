// The driver's control interface to user mode: open, cleanup and close of the exclusive device,
// reads and writes passed to the bulk pipes, the version control code, and WMI pass-through.
#include "driver/Zep9100.h"

namespace lumatrace::driver {

/*
 * DispatchCreate - opens the device: counts the handle, powering the device up first when it is
 * below full power. Fails with STATUS_DELETE_PENDING once the device is removed.
 * Serialised with close and removal by the device mutex, which is taken before the hold so that
 * a removal draining requests under the mutex never waits for an open blocked on it.
 * Returns the request's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    KeWaitForSingleObject(&ext->DeviceMutex, Executive, KernelMode, FALSE, NULL);
    AcquireHold(ext);
    NTSTATUS status = STATUS_DELETE_PENDING;
    if (!IsGone(ext)) {
        status = PowerUpOnDemand(ext);
        if (NT_SUCCESS(status)) {
            InterlockedIncrement(&ext->OpenCount);
            status = STATUS_SUCCESS;
        }
    }
    ReleaseHold(ext);
    KeReleaseMutex(&ext->DeviceMutex, FALSE);
    return CompleteRequest(Irp, status, 0);
}

/*
 * DispatchCleanup - the last handle of a file object is being closed: its held requests are
 * cancelled, and so are its transfers in the USB stack (the device is exclusive, so every
 * transfer in flight belongs to this handle), so that the close that follows is not kept
 * waiting by a read for which no data will come.
 * Returns STATUS_SUCCESS. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    AcquireHold(ext);
    CancelHeldRequestsOfFile(ext, IoGetCurrentIrpStackLocation(Irp)->FileObject);
    if ((ReadStateFlags(ext) & (kStarted | kRemoved | kSurpriseRemoved)) == kStarted &&
        OtherRequestsInProgress(ext))
        AbortTransfers(ext);
    ReleaseHold(ext);
    return CompleteRequest(Irp, STATUS_SUCCESS, 0);
}

/*
 * DispatchClose - uncounts a handle; after a removal that left the device object in place for
 * an open handle, the last close deletes it.
 * Returns STATUS_SUCCESS. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    KeWaitForSingleObject(&ext->DeviceMutex, Executive, KernelMode, FALSE, NULL);
    AcquireHold(ext);
    LONG open = InterlockedDecrement(&ext->OpenCount);
    BOOLEAN deleteNow = open == 0 && (ReadStateFlags(ext) & kRemoved);
    ReleaseHold(ext);
    KeReleaseMutex(&ext->DeviceMutex, FALSE);
    NTSTATUS status = CompleteRequest(Irp, STATUS_SUCCESS, 0);
    if (deleteNow)
        IoDeleteDevice(DeviceObject);
    return status;
}

/*
 * DispatchRead - a read of the bulk IN pipe (one transfer of at most 65,536 bytes).
 * Returns the request's status or STATUS_PENDING. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchRead(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    return SubmitGatedRequest(Extension(DeviceObject), Irp);
}

/*
 * DispatchWrite - a write to the bulk OUT pipe (one transfer of at most 65,536 bytes).
 * Returns the request's status or STATUS_PENDING. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchWrite(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    return SubmitGatedRequest(Extension(DeviceObject), Irp);
}

/*
 * DispatchDeviceControl - the version control code; every other code is invalid.
 * Returns the request's status or STATUS_PENDING (held). IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    return SubmitGatedRequest(Extension(DeviceObject), Irp);
}

/*
 * DispatchSystemControl - WMI requests go to the lower driver unchanged; once the device is
 * removed there is no lower driver to take them and they fail with STATUS_DELETE_PENDING.
 * As with PnP and power requests, the hold ends as the driver lets go of the request (in
 * PassDown's completion routine, or before completing it here), so that a request sent right
 * after this one completed never finds the device still held by it.
 * Returns the lower driver's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI DispatchSystemControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    AcquireHold(ext);
    if (ReadStateFlags(ext) & kRemoved) {
        ReleaseHold(ext);
        return CompleteRequest(Irp, STATUS_DELETE_PENDING, 0);
    }
    return PassDown(ext, Irp);
}

/*
 * GetVersion - answers the version control code into the buffered output.
 * Returns the request's status. IRQL: <= DISPATCH_LEVEL.
 */
static NTSTATUS GetVersion(PIRP Irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_ZEP9100_GET_VERSION ||
        stack->Parameters.DeviceIoControl.OutputBufferLength < sizeof(ULONG))
        return CompleteRequest(Irp, STATUS_INVALID_PARAMETER, 0);
    // Little-endian whatever the processor: byte 0 hundredths up to byte 3 tens.
    PUCHAR out = static_cast<PUCHAR>(Irp->AssociatedIrp.SystemBuffer);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<UCHAR>(kDriverVersion >> (8 * i));
    return CompleteRequest(Irp, STATUS_SUCCESS, sizeof(ULONG));
}

/*
 * ProcessRequest - carries out a read, write or device control on a device that can process it.
 * The caller's hold on the device passes to the request and is released when the driver is done
 * with it (for a transfer, in its completion routine).
 * Returns the request's status or what passing it down returned. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS ProcessRequest(PDEVICE_EXTENSION Ext, PIRP Irp) {
    NTSTATUS status;
    switch (IoGetCurrentIrpStackLocation(Irp)->MajorFunction) {
        case IRP_MJ_READ:
            return ReadTransfer(Ext, Irp);
        case IRP_MJ_WRITE:
            return WriteTransfer(Ext, Irp);
        case IRP_MJ_DEVICE_CONTROL:
            status = GetVersion(Irp);
            break;
        default:
            status = CompleteRequest(Irp, STATUS_INVALID_DEVICE_REQUEST, 0);
            break;
    }
    ReleaseHold(Ext);
    return status;
}

}  // namespace lumatrace::driver
