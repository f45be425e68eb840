// Power management: the driver is the power-policy owner of the instrument's stack. System
// states map to device states through the capabilities' table; sleep is refused while the
// instrument is in use; the device is powered up again when it is needed.
//
// A power request's hold on the device, taken as it enters the driver, goes with the request
// wherever it waits (in the lower drivers, or for a device request it caused) and ends when the
// driver lets go of it: as the lower drivers complete it, or just before the driver completes it.
// The power manager may send its next request the moment one completes, while the thread that
// completed it is still on its way out of the driver; a hold ending any later would then make a
// sleep query right after a transition find the device busy.
#include "driver/Zep9100.h"

namespace lumatrace::driver {

namespace {

// Bookkeeping of a system request waiting for the device request it caused; the system request's
// hold goes with it.
struct POWER_CONTEXT {
    PDEVICE_EXTENSION Extension;
    PIRP SystemIrp;
};

struct POWER_UP_WAIT {
    KEVENT Done;
    NTSTATUS Status;
};

SYSTEM_POWER_STATE ReadSystemPowerState(PDEVICE_EXTENSION Ext) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    SYSTEM_POWER_STATE state = Ext->SystemPowerState;
    KeReleaseSpinLock(&Ext->QueueLock, irql);
    return state;
}

VOID RecordSystemPowerState(PDEVICE_EXTENSION Ext, SYSTEM_POWER_STATE State) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    Ext->SystemPowerState = State;
    KeReleaseSpinLock(&Ext->QueueLock, irql);
}

VOID RecordDevicePowerState(PDEVICE_EXTENSION Ext, DEVICE_POWER_STATE State, ULONG ClearFlags) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    Ext->DevicePowerState = State;
    Ext->StateFlags &= ~ClearFlags;
    KeReleaseSpinLock(&Ext->QueueLock, irql);
}

/*
 * DeviceStateFor - the device state for a system state from the capabilities' table; an entry
 * outside D0..D3 keeps the current state. IRQL: <= DISPATCH_LEVEL.
 */
DEVICE_POWER_STATE DeviceStateFor(PDEVICE_EXTENSION Ext, SYSTEM_POWER_STATE System) {
    KIRQL irql;
    KeAcquireSpinLock(&Ext->QueueLock, &irql);
    DEVICE_POWER_STATE state = Ext->DevicePowerState;
    if (System > PowerSystemUnspecified && System < PowerSystemMaximum) {
        DEVICE_POWER_STATE mapped = Ext->DeviceStateForSystem[System];
        if (mapped >= PowerDeviceD0 && mapped <= PowerDeviceD3)
            state = mapped;
    }
    KeReleaseSpinLock(&Ext->QueueLock, irql);
    return state;
}

/*
 * PassPowerDown - tells the power manager the next power request may start and hands the
 * request to the lower driver unchanged; its hold ends in HoldEndsOnCompletion. The caller
 * touches neither the request nor the device afterwards.
 * Returns what the lower driver returns. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS PassPowerDown(PDEVICE_EXTENSION Ext, PIRP Irp) {
    PoStartNextPowerIrp(Irp);
    IoCopyCurrentIrpStackLocationToNext(Irp);
    IoSetCompletionRoutine(Irp, HoldEndsOnCompletion, Ext, TRUE, TRUE, TRUE);
    return PoCallDriver(Ext->LowerDevice, Irp);
}

/*
 * FailPowerRequest - ends the request's hold, tells the power manager the next power request
 * may start and completes the request with Status. The caller touches the device no more.
 * Returns Status. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS FailPowerRequest(PDEVICE_EXTENSION Ext, PIRP Irp, NTSTATUS Status) {
    ReleaseHold(Ext);
    PoStartNextPowerIrp(Irp);
    return CompleteRequest(Irp, Status, 0);
}

/*
 * PowerUpDone - callback of the device power-up requested on demand: wakes the waiter.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID NTAPI PowerUpDone(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                       PVOID Context, PIO_STATUS_BLOCK IoStatus) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(MinorFunction);
    UNREFERENCED_PARAMETER(PowerState);
    auto wait = static_cast<POWER_UP_WAIT*>(Context);
    wait->Status = IoStatus->Status;
    KeSetEvent(&wait->Done, IO_NO_INCREMENT, FALSE);
}

/*
 * SleepDeviceRequestDone - the device request for a sleeping system state has completed: the
 * system request that waited for it goes down now, with its hold.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID NTAPI SleepDeviceRequestDone(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction,
                                  POWER_STATE PowerState, PVOID Context,
                                  PIO_STATUS_BLOCK IoStatus) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(MinorFunction);
    UNREFERENCED_PARAMETER(PowerState);
    UNREFERENCED_PARAMETER(IoStatus);
    auto context = static_cast<POWER_CONTEXT*>(Context);
    PDEVICE_EXTENSION ext = context->Extension;
    PIRP systemIrp = context->SystemIrp;
    ExFreePoolWithTag(context, kTagPower);
    PassPowerDown(ext, systemIrp);
}

/*
 * WakeDeviceRequestDone - the device is back in D0 after a system wake: the system request that
 * waited for it completes, its hold ended first.
 * IRQL: <= DISPATCH_LEVEL.
 */
VOID NTAPI WakeDeviceRequestDone(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction,
                                 POWER_STATE PowerState, PVOID Context, PIO_STATUS_BLOCK IoStatus) {
    UNREFERENCED_PARAMETER(DeviceObject);
    UNREFERENCED_PARAMETER(MinorFunction);
    UNREFERENCED_PARAMETER(PowerState);
    UNREFERENCED_PARAMETER(IoStatus);
    auto context = static_cast<POWER_CONTEXT*>(Context);
    PDEVICE_EXTENSION ext = context->Extension;
    PIRP systemIrp = context->SystemIrp;
    ExFreePoolWithTag(context, kTagPower);
    ReleaseHold(ext);
    IoCompleteRequest(systemIrp, IO_NO_INCREMENT);
}

/*
 * SystemWakeComplete - completion of a system wake: records the state and, only when requests
 * are held, powers the device up before the system request completes. The request's hold ends
 * here, or goes with it to WakeDeviceRequestDone.
 * Context: the device extension. Returns STATUS_MORE_PROCESSING_REQUIRED while the device
 * request runs, else STATUS_SUCCESS. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS NTAPI SystemWakeComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    UNREFERENCED_PARAMETER(DeviceObject);
    auto ext = static_cast<PDEVICE_EXTENSION>(Context);
    if (NT_SUCCESS(Irp->IoStatus.Status)) {
        SYSTEM_POWER_STATE system =
            IoGetCurrentIrpStackLocation(Irp)->Parameters.Power.State.SystemState;
        RecordSystemPowerState(ext, system);
        if (HasHeldRequests(ext)) {
            auto context = static_cast<POWER_CONTEXT*>(
                ExAllocatePoolWithTag(NonPagedPool, sizeof(POWER_CONTEXT), kTagPower));
            if (!context) {
                Irp->IoStatus.Status = STATUS_INSUFFICIENT_RESOURCES;
            } else {
                context->Extension = ext;
                context->SystemIrp = Irp;
                POWER_STATE state;
                state.DeviceState = DeviceStateFor(ext, PowerSystemWorking);
                NTSTATUS status = PoRequestPowerIrp(ext->PhysicalDeviceObject, IRP_MN_SET_POWER,
                                                    state, WakeDeviceRequestDone, context, NULL);
                if (NT_SUCCESS(status))
                    return STATUS_MORE_PROCESSING_REQUIRED;
                ExFreePoolWithTag(context, kTagPower);
                Irp->IoStatus.Status = status;
            }
        }
    }
    ReleaseHold(ext);
    return STATUS_SUCCESS;
}

/*
 * DevicePowerUpComplete - completion of a device power-up: records the state, tells the power
 * manager, clears the transition flags and, at D0, dispatches the held requests. The request's
 * hold ends here.
 * Context: the device extension. Returns STATUS_SUCCESS. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS NTAPI DevicePowerUpComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    auto ext = static_cast<PDEVICE_EXTENSION>(Context);
    if (NT_SUCCESS(Irp->IoStatus.Status)) {
        POWER_STATE state = IoGetCurrentIrpStackLocation(Irp)->Parameters.Power.State;
        RecordDevicePowerState(ext, state.DeviceState, kPowerDownPending);
        PoSetPowerState(DeviceObject, DevicePowerState, state);
        if (state.DeviceState == PowerDeviceD0)
            DispatchHeldRequests(ext);
    }
    ReleaseHold(ext);
    return STATUS_SUCCESS;
}

/*
 * HandleQueryPower - a system sleep is refused while the instrument is in use; otherwise new
 * requests are held and those in progress drained before the query goes down. Device queries
 * only move the transition flag.
 * Consumes the caller's hold. Returns STATUS_DEVICE_BUSY or the lower driver's status.
 * IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleQueryPower(PDEVICE_EXTENSION Ext, PIRP Irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    if (stack->Parameters.Power.Type == SystemPowerState) {
        if (stack->Parameters.Power.State.SystemState > ReadSystemPowerState(Ext)) {
            if (InterlockedCompareExchange(&Ext->OpenCount, 0, 0) > 0 ||
                OtherRequestsInProgress(Ext))
                return FailPowerRequest(Ext, Irp, STATUS_DEVICE_BUSY);
            ChangeStateFlags(Ext, kPowerDownPending, 0);
            WaitForOtherRequests(Ext);
        }
    } else {
        DEVICE_POWER_STATE current = ReadDevicePowerState(Ext);
        if (stack->Parameters.Power.State.DeviceState < current)
            ChangeStateFlags(Ext, 0, kPowerDownPending);
        else if (stack->Parameters.Power.State.DeviceState > current)
            ChangeStateFlags(Ext, kPowerDownPending, 0);
    }
    return PassPowerDown(Ext, Irp);
}

/*
 * HandleSystemSetPower - a system set-power: the same state lets held requests go again when the
 * system works at D0; sleeping powers the device down first; waking goes down with a completion
 * routine that decides whether the device must come back at once.
 * Consumes the caller's hold. Returns STATUS_PENDING or the lower driver's status.
 * IRQL: PASSIVE_LEVEL.
 */
NTSTATUS HandleSystemSetPower(PDEVICE_EXTENSION Ext, PIRP Irp) {
    SYSTEM_POWER_STATE target =
        IoGetCurrentIrpStackLocation(Irp)->Parameters.Power.State.SystemState;
    SYSTEM_POWER_STATE current = ReadSystemPowerState(Ext);

    if (target == current) {
        if (target == PowerSystemWorking && ReadDevicePowerState(Ext) == PowerDeviceD0) {
            ChangeStateFlags(Ext, 0, kPowerDownPending);
            DispatchHeldRequests(Ext);
        }
        return PassPowerDown(Ext, Irp);
    }

    if (target > current) {
        RecordSystemPowerState(Ext, target);
        POWER_STATE device;
        device.DeviceState = DeviceStateFor(Ext, target);
        if (device.DeviceState == ReadDevicePowerState(Ext))
            return PassPowerDown(Ext, Irp);
        WaitForOtherRequests(Ext);
        auto context = static_cast<POWER_CONTEXT*>(
            ExAllocatePoolWithTag(NonPagedPool, sizeof(POWER_CONTEXT), kTagPower));
        if (!context)
            return FailPowerRequest(Ext, Irp, STATUS_INSUFFICIENT_RESOURCES);
        context->Extension = Ext;
        context->SystemIrp = Irp;
        IoMarkIrpPending(Irp);
        NTSTATUS status = PoRequestPowerIrp(Ext->PhysicalDeviceObject, IRP_MN_SET_POWER, device,
                                            SleepDeviceRequestDone, context, NULL);
        if (!NT_SUCCESS(status)) {
            ExFreePoolWithTag(context, kTagPower);
            FailPowerRequest(Ext, Irp, status);
        }
        return STATUS_PENDING;
    }

    IoMarkIrpPending(Irp);
    IoCopyCurrentIrpStackLocationToNext(Irp);
    IoSetCompletionRoutine(Irp, SystemWakeComplete, Ext, TRUE, TRUE, TRUE);
    PoStartNextPowerIrp(Irp);
    PoCallDriver(Ext->LowerDevice, Irp);
    return STATUS_PENDING;
}

/*
 * HandleDeviceSetPower - powering down is reported first and then passed down; powering up is
 * recorded when the lower drivers have completed it.
 * Consumes the caller's hold. Returns STATUS_PENDING or the lower driver's status.
 * IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS HandleDeviceSetPower(PDEVICE_EXTENSION Ext, PIRP Irp) {
    POWER_STATE target = IoGetCurrentIrpStackLocation(Irp)->Parameters.Power.State;
    DEVICE_POWER_STATE current = ReadDevicePowerState(Ext);
    if (target.DeviceState > current) {
        ChangeStateFlags(Ext, kPowerDownPending, 0);
        PoSetPowerState(Ext->Self, DevicePowerState, target);
        RecordDevicePowerState(Ext, target.DeviceState, 0);
        return PassPowerDown(Ext, Irp);
    }
    if (target.DeviceState < current) {
        IoMarkIrpPending(Irp);
        IoCopyCurrentIrpStackLocationToNext(Irp);
        IoSetCompletionRoutine(Irp, DevicePowerUpComplete, Ext, TRUE, TRUE, TRUE);
        PoStartNextPowerIrp(Irp);
        PoCallDriver(Ext->LowerDevice, Irp);
        return STATUS_PENDING;
    }
    return PassPowerDown(Ext, Irp);
}

}  // namespace

/*
 * PowerUpOnDemand - brings a device below D0 back to D0 before a request that needs it, waiting
 * without time-out for the device power request.
 * Returns STATUS_SUCCESS, or the failure of the power request. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS PowerUpOnDemand(PDEVICE_EXTENSION Ext) {
    if (KeGetCurrentIrql() != PASSIVE_LEVEL || ReadDevicePowerState(Ext) == PowerDeviceD0 ||
        IsGone(Ext))
        return STATUS_SUCCESS;
    POWER_UP_WAIT wait;
    KeInitializeEvent(&wait.Done, NotificationEvent, FALSE);
    wait.Status = STATUS_SUCCESS;
    POWER_STATE state;
    state.DeviceState = PowerDeviceD0;
    NTSTATUS status = PoRequestPowerIrp(Ext->PhysicalDeviceObject, IRP_MN_SET_POWER, state,
                                        PowerUpDone, &wait, NULL);
    if (!NT_SUCCESS(status))
        return status;
    KeWaitForSingleObject(&wait.Done, Executive, KernelMode, FALSE, NULL);
    return wait.Status;
}

/*
 * DispatchPower - power requests, by minor function; after removal every one fails with
 * STATUS_DELETE_PENDING. The hold taken here is the request's: the handler hands it on with the
 * request, and it ends when the driver lets go of the request, never after the request has
 * completed.
 * Returns the handler's status. IRQL: PASSIVE_LEVEL (the device is power-pageable).
 */
NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PDEVICE_EXTENSION ext = Extension(DeviceObject);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    NTSTATUS status;
    AcquireHold(ext);
    if (IsGone(ext))
        status = FailPowerRequest(ext, Irp, STATUS_DELETE_PENDING);
    else if (stack->MinorFunction == IRP_MN_QUERY_POWER)
        status = HandleQueryPower(ext, Irp);
    else if (stack->MinorFunction == IRP_MN_SET_POWER &&
             stack->Parameters.Power.Type == SystemPowerState)
        status = HandleSystemSetPower(ext, Irp);
    else if (stack->MinorFunction == IRP_MN_SET_POWER)
        status = HandleDeviceSetPower(ext, Irp);
    else
        status = PassPowerDown(ext, Irp);
    return status;
}

}  // namespace lumatrace::driver
