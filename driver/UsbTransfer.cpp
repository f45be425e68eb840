// USB transfer engine: configures the instrument's interface at start, binds the bulk pipes,
// turns each read and write into one bulk transfer, and deconfigures at stop.
#include "driver/Zep9100.h"

namespace lumatrace::driver {

namespace {

struct TRANSFER_CONTEXT {
    PURB Urb;
    PDEVICE_EXTENSION Extension;
};

VOID UnbindPipes(PDEVICE_EXTENSION Ext) {
    Ext->ReadPipe.Handle = Ext->WritePipe.Handle = NULL;
    Ext->ReadPipe.Bound = Ext->WritePipe.Bound = FALSE;
    Ext->ReadPipe.MaximumTransferSize = Ext->WritePipe.MaximumTransferSize = kMaximumTransferSize;
}

VOID FreeInterface(PDEVICE_EXTENSION Ext) {
    if (Ext->Interface)
        ExFreePoolWithTag(Ext->Interface, kTagInterface);
    Ext->Interface = NULL;
}

/*
 * SubmitUrbAndWait - sends one URB to the lower device in a request of its own and waits,
 * without time-out, for it to complete.
 * Returns the request's status (STATUS_INSUFFICIENT_RESOURCES when none can be allocated).
 * IRQL: PASSIVE_LEVEL.
 */
NTSTATUS SubmitUrbAndWait(PDEVICE_EXTENSION Ext, PURB Urb) {
    PIRP irp = IoAllocateIrp(Ext->LowerDevice->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = Urb;
    IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(Ext->LowerDevice, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    NTSTATUS status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    return status;
}

/*
 * ReadDescriptor - reads a device or configuration descriptor into Buffer.
 * Returns the status and, in *Received, the bytes the device returned. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS ReadDescriptor(PDEVICE_EXTENSION Ext, UCHAR Type, UCHAR Index, PVOID Buffer, ULONG Length,
                        PULONG Received) {
    *Received = 0;
    auto urb = static_cast<PURB>(ExAllocatePoolWithTag(
        NonPagedPool, sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST), kTagUrb));
    if (!urb)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(urb, sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST));
    UsbBuildGetDescriptorRequest(urb, sizeof(struct _URB_CONTROL_DESCRIPTOR_REQUEST), Type, Index,
                                 0, Buffer, NULL, Length, NULL);
    NTSTATUS status = SubmitUrbAndWait(Ext, urb);
    if (NT_SUCCESS(status))
        *Received = urb->UrbControlDescriptorRequest.TransferBufferLength;
    ExFreePoolWithTag(urb, kTagUrb);
    return status;
}

/*
 * FindInterface - finds an interface descriptor by number and alternate setting in the first
 * Length bytes of a configuration descriptor set, walking the descriptors by their lengths and
 * never past Length.
 * Returns the descriptor or NULL. IRQL: any.
 */
PUSB_INTERFACE_DESCRIPTOR FindInterface(PUSB_CONFIGURATION_DESCRIPTOR Config, ULONG Length,
                                        UCHAR Number, UCHAR Alternate) {
    PUCHAR base = reinterpret_cast<PUCHAR>(Config);
    for (ULONG at = 0; at + 2 <= Length;) {
        UCHAR size = base[at];
        if (size < 2 || at + size > Length)
            break;
        if (base[at + 1] == USB_INTERFACE_DESCRIPTOR_TYPE &&
            size >= sizeof(USB_INTERFACE_DESCRIPTOR)) {
            auto selected = reinterpret_cast<PUSB_INTERFACE_DESCRIPTOR>(base + at);
            if (selected->bInterfaceNumber == Number && selected->bAlternateSetting == Alternate)
                return selected;
        }
        at += size;
    }
    return NULL;
}

/*
 * RequestTransferSizes - asks for each pipe's maximum transfer size in a select-configuration
 * request. The request's pipe entries follow the interface's endpoint descriptors in order; class
 * descriptors between them are stepped over by their lengths.
 * IRQL: any.
 */
VOID RequestTransferSizes(PDEVICE_EXTENSION Ext, PUSB_CONFIGURATION_DESCRIPTOR Config, ULONG Length,
                          PUSB_INTERFACE_DESCRIPTOR Interface, PUSBD_INTERFACE_INFORMATION Info) {
    PUCHAR base = reinterpret_cast<PUCHAR>(Config);
    ULONG at = static_cast<ULONG>(reinterpret_cast<PUCHAR>(Interface) - base) + Interface->bLength;
    ULONG endpoint = 0;
    while (at + 2 <= Length && endpoint < Info->NumberOfPipes) {
        UCHAR size = base[at];
        if (size < 2 || at + size > Length || base[at + 1] == USB_INTERFACE_DESCRIPTOR_TYPE)
            break;
        if (base[at + 1] == USB_ENDPOINT_DESCRIPTOR_TYPE &&
            size >= sizeof(USB_ENDPOINT_DESCRIPTOR)) {
            UCHAR address = reinterpret_cast<PUSB_ENDPOINT_DESCRIPTOR>(base + at)->bEndpointAddress;
            if (address == Ext->ReadPipe.EndpointAddress)
                Info->Pipes[endpoint].MaximumTransferSize = Ext->ReadPipe.MaximumTransferSize;
            else if (address == Ext->WritePipe.EndpointAddress)
                Info->Pipes[endpoint].MaximumTransferSize = Ext->WritePipe.MaximumTransferSize;
            endpoint++;
        }
        at += size;
    }
}

/*
 * BindPipes - binds each pipe to the returned pipe information with its endpoint address.
 * IRQL: any.
 */
VOID BindPipes(PDEVICE_EXTENSION Ext, PUSBD_INTERFACE_INFORMATION Info) {
    UnbindPipes(Ext);
    for (ULONG i = 0; i < Info->NumberOfPipes; ++i) {
        USBD_PIPE_INFORMATION& pipe = Info->Pipes[i];
        UsbPipe* target = pipe.EndpointAddress == Ext->ReadPipe.EndpointAddress    ? &Ext->ReadPipe
                          : pipe.EndpointAddress == Ext->WritePipe.EndpointAddress ? &Ext->WritePipe
                                                                                   : NULL;
        if (!target || pipe.MaximumTransferSize == 0)
            continue;
        target->Handle = pipe.PipeHandle;
        target->MaximumTransferSize = pipe.MaximumTransferSize;
        target->Bound = TRUE;
    }
}

/*
 * SelectConfiguration - selects the configuration in Ext->ConfigurationDescriptor (Length valid
 * bytes) with the given interface, keeps the configuration handle and a copy of the returned
 * interface information, and binds the pipes.
 * Returns STATUS_SUCCESS or the failure. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS SelectConfiguration(PDEVICE_EXTENSION Ext, ULONG Length,
                             PUSB_INTERFACE_DESCRIPTOR Interface) {
    PUSB_CONFIGURATION_DESCRIPTOR config = Ext->ConfigurationDescriptor;
    USBD_INTERFACE_LIST_ENTRY list[2];
    list[0].InterfaceDescriptor = Interface;
    list[0].Interface = NULL;
    list[1].InterfaceDescriptor = NULL;
    list[1].Interface = NULL;
    PURB urb = USBD_CreateConfigurationRequestEx(config, list);
    if (!urb)
        return STATUS_INSUFFICIENT_RESOURCES;
    RequestTransferSizes(Ext, config, Length, Interface, list[0].Interface);

    NTSTATUS status = SubmitUrbAndWait(Ext, urb);
    if (NT_SUCCESS(status)) {
        PUSBD_INTERFACE_INFORMATION returned = list[0].Interface;
        FreeInterface(Ext);
        Ext->Interface = static_cast<PUSBD_INTERFACE_INFORMATION>(
            ExAllocatePoolWithTag(NonPagedPool, returned->Length, kTagInterface));
        if (Ext->Interface) {
            RtlCopyMemory(Ext->Interface, returned, returned->Length);
            Ext->ConfigurationHandle = urb->UrbSelectConfiguration.ConfigurationHandle;
            BindPipes(Ext, Ext->Interface);
        } else {
            status = STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    ExFreePool(urb);
    return status;
}

/*
 * CompleteTransfer - completion routine of a read or write: reports the bytes moved, frees the
 * URB and context and releases the request's hold; the USB stack's status goes to the caller
 * unchanged.
 * Returns STATUS_SUCCESS (completion continues). IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS NTAPI CompleteTransfer(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context) {
    UNREFERENCED_PARAMETER(DeviceObject);
    auto context = static_cast<TRANSFER_CONTEXT*>(Context);
    PDEVICE_EXTENSION ext = context->Extension;
    if (Irp->PendingReturned)
        IoMarkIrpPending(Irp);
    Irp->IoStatus.Information = NT_SUCCESS(Irp->IoStatus.Status)
                                    ? context->Urb->UrbBulkOrInterruptTransfer.TransferBufferLength
                                    : 0;
    ExFreePoolWithTag(context->Urb, kTagUrb);
    ExFreePoolWithTag(context, kTagTransfer);
    ReleaseHold(ext);
    return STATUS_SUCCESS;
}

/*
 * Transfer - one bulk transfer for a read or write request on Pipe: at most the pipe's granted
 * maximum, straight between the caller's locked pages and the pipe.
 * Returns the request's status, or what passing it down returned. Releases the request's hold
 * on every path: here when it completes the request, in CompleteTransfer otherwise.
 * IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS Transfer(PDEVICE_EXTENSION Ext, PIRP Irp, UsbPipe* Pipe, ULONG Length, ULONG Flags) {
    NTSTATUS status;
    TRANSFER_CONTEXT* context = NULL;
    PURB urb = NULL;
    if (Length == 0) {
        status = CompleteRequest(Irp, STATUS_SUCCESS, 0);
        goto done;
    }
    if (!Pipe->Bound || !Irp->MdlAddress) {
        status = CompleteRequest(Irp, STATUS_INVALID_DEVICE_STATE, 0);
        goto done;
    }
    context = static_cast<TRANSFER_CONTEXT*>(
        ExAllocatePoolWithTag(NonPagedPool, sizeof(TRANSFER_CONTEXT), kTagTransfer));
    if (!context) {
        status = CompleteRequest(Irp, STATUS_INSUFFICIENT_RESOURCES, 0);
        goto done;
    }
    urb = static_cast<PURB>(ExAllocatePoolWithTag(
        NonPagedPool, sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER), kTagUrb));
    if (!urb) {
        ExFreePoolWithTag(context, kTagTransfer);
        status = CompleteRequest(Irp, STATUS_INSUFFICIENT_RESOURCES, 0);
        goto done;
    }
    RtlZeroMemory(urb, sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER));
    UsbBuildInterruptOrBulkTransferRequest(
        urb, sizeof(struct _URB_BULK_OR_INTERRUPT_TRANSFER), Pipe->Handle, NULL, Irp->MdlAddress,
        Length < Pipe->MaximumTransferSize ? Length : Pipe->MaximumTransferSize, Flags, NULL);
    context->Urb = urb;
    context->Extension = Ext;
    {
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(Irp);
        next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        next->MinorFunction = 0;
        next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
        next->Parameters.Others.Argument1 = urb;
        IoSetCompletionRoutine(Irp, CompleteTransfer, context, TRUE, TRUE, TRUE);
    }
    return IoCallDriver(Ext->LowerDevice, Irp);  // CompleteTransfer releases the hold

done:
    ReleaseHold(Ext);
    return status;
}

/*
 * AbortPipe - cancels the transfers queued on a bound pipe in the USB stack and waits.
 * IRQL: PASSIVE_LEVEL.
 */
VOID AbortPipe(PDEVICE_EXTENSION Ext, UsbPipe* Pipe) {
    if (!Pipe->Bound)
        return;
    auto urb = static_cast<PURB>(
        ExAllocatePoolWithTag(NonPagedPool, sizeof(struct _URB_PIPE_REQUEST), kTagUrb));
    if (!urb)
        return;
    RtlZeroMemory(urb, sizeof(struct _URB_PIPE_REQUEST));
    urb->UrbHeader.Length = sizeof(struct _URB_PIPE_REQUEST);
    urb->UrbHeader.Function = URB_FUNCTION_ABORT_PIPE;
    urb->UrbPipeRequest.PipeHandle = Pipe->Handle;
    SubmitUrbAndWait(Ext, urb);
    ExFreePoolWithTag(urb, kTagUrb);
}

}  // namespace

/*
 * InitializeUsbMembers - the interface and pipes the driver looks for, before any bus traffic.
 * IRQL: PASSIVE_LEVEL.
 */
VOID InitializeUsbMembers(PDEVICE_EXTENSION Ext) {
    Ext->ConfigurationValue = kConfigurationValue;
    Ext->InterfaceNumber = kInterfaceNumber;
    Ext->AlternateSetting = kAlternateSetting;
    Ext->ReadPipe.EndpointAddress = kReadEndpoint;
    Ext->WritePipe.EndpointAddress = kWriteEndpoint;
    UnbindPipes(Ext);
}

/*
 * StartConfiguration - reads the descriptors, finds configuration value 1 and its interface 0,
 * alternate setting 0, selects it and binds the pipes.
 * Returns STATUS_SUCCESS or STATUS_UNSUCCESSFUL. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS StartConfiguration(PDEVICE_EXTENSION Ext) {
    ULONG received = 0;
    ULONG length = 0;
    BOOLEAN found = FALSE;
    PUSB_INTERFACE_DESCRIPTOR selected;

    if (!Ext->DeviceDescriptor)
        Ext->DeviceDescriptor = static_cast<PUSB_DEVICE_DESCRIPTOR>(
            ExAllocatePoolWithTag(NonPagedPool, sizeof(USB_DEVICE_DESCRIPTOR), kTagDescriptor));
    if (!Ext->ConfigurationDescriptor)
        Ext->ConfigurationDescriptor = static_cast<PUSB_CONFIGURATION_DESCRIPTOR>(
            ExAllocatePoolWithTag(NonPagedPool, kConfigurationBufferSize, kTagDescriptor));
    if (!Ext->DeviceDescriptor || !Ext->ConfigurationDescriptor)
        return STATUS_UNSUCCESSFUL;

    if (!NT_SUCCESS(ReadDescriptor(Ext, USB_DEVICE_DESCRIPTOR_TYPE, 0, Ext->DeviceDescriptor,
                                   sizeof(USB_DEVICE_DESCRIPTOR), &received)) ||
        received < sizeof(USB_DEVICE_DESCRIPTOR))
        return STATUS_UNSUCCESSFUL;

    for (UCHAR i = 0; i < Ext->DeviceDescriptor->bNumConfigurations && !found; ++i) {
        if (!NT_SUCCESS(ReadDescriptor(Ext, USB_CONFIGURATION_DESCRIPTOR_TYPE, i,
                                       Ext->ConfigurationDescriptor, kConfigurationBufferSize,
                                       &length)) ||
            length < sizeof(USB_CONFIGURATION_DESCRIPTOR))
            return STATUS_UNSUCCESSFUL;
        found = Ext->ConfigurationDescriptor->bConfigurationValue == Ext->ConfigurationValue;
    }
    if (!found)
        return STATUS_UNSUCCESSFUL;

    // A set longer than the buffer was cut short: from here on it is only as long as what
    // was read, also for the bus driver that parses it during selection.
    if (Ext->ConfigurationDescriptor->wTotalLength < length)
        length = Ext->ConfigurationDescriptor->wTotalLength;
    Ext->ConfigurationDescriptor->wTotalLength = static_cast<USHORT>(length);

    selected = FindInterface(Ext->ConfigurationDescriptor, length, Ext->InterfaceNumber,
                             Ext->AlternateSetting);
    if (!selected)
        return STATUS_UNSUCCESSFUL;
    if (!NT_SUCCESS(SelectConfiguration(Ext, length, selected)))
        return STATUS_UNSUCCESSFUL;
    if (Ext->Interface->NumberOfPipes == 0) {
        FreeInterface(Ext);
        UnbindPipes(Ext);
        return STATUS_UNSUCCESSFUL;
    }
    return STATUS_SUCCESS;
}

/*
 * StopConfiguration - returns the device to the unconfigured state, frees the interface
 * information and unbinds the pipes; the outcome of the request does not matter to the caller.
 * IRQL: PASSIVE_LEVEL.
 */
VOID StopConfiguration(PDEVICE_EXTENSION Ext) {
    auto urb = static_cast<PURB>(
        ExAllocatePoolWithTag(NonPagedPool, sizeof(struct _URB_SELECT_CONFIGURATION), kTagUrb));
    if (urb) {
        RtlZeroMemory(urb, sizeof(struct _URB_SELECT_CONFIGURATION));
        UsbBuildSelectConfigurationRequest(urb, sizeof(struct _URB_SELECT_CONFIGURATION), NULL);
        SubmitUrbAndWait(Ext, urb);
        ExFreePoolWithTag(urb, kTagUrb);
    }
    Ext->ConfigurationHandle = NULL;
    FreeInterface(Ext);
    UnbindPipes(Ext);
}

/*
 * ReleaseUsbResources - frees the descriptors and interface information at removal; no bus
 * traffic. IRQL: PASSIVE_LEVEL.
 */
VOID ReleaseUsbResources(PDEVICE_EXTENSION Ext) {
    if (Ext->DeviceDescriptor)
        ExFreePoolWithTag(Ext->DeviceDescriptor, kTagDescriptor);
    if (Ext->ConfigurationDescriptor)
        ExFreePoolWithTag(Ext->ConfigurationDescriptor, kTagDescriptor);
    Ext->DeviceDescriptor = NULL;
    Ext->ConfigurationDescriptor = NULL;
    Ext->ConfigurationHandle = NULL;
    FreeInterface(Ext);
    UnbindPipes(Ext);
}

/*
 * AbortTransfers - cancels every transfer in flight on both pipes in the USB stack.
 * IRQL: PASSIVE_LEVEL.
 */
VOID AbortTransfers(PDEVICE_EXTENSION Ext) {
    AbortPipe(Ext, &Ext->ReadPipe);
    AbortPipe(Ext, &Ext->WritePipe);
}

/*
 * ReadTransfer - a read request as one bulk IN transfer, short packets allowed.
 * Returns as Transfer. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS ReadTransfer(PDEVICE_EXTENSION Ext, PIRP Irp) {
    return Transfer(Ext, Irp, &Ext->ReadPipe,
                    IoGetCurrentIrpStackLocation(Irp)->Parameters.Read.Length,
                    USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK);
}

/*
 * WriteTransfer - a write request as one bulk OUT transfer.
 * Returns as Transfer. IRQL: <= DISPATCH_LEVEL.
 */
NTSTATUS WriteTransfer(PDEVICE_EXTENSION Ext, PIRP Irp) {
    return Transfer(Ext, Irp, &Ext->WritePipe,
                    IoGetCurrentIrpStackLocation(Irp)->Parameters.Write.Length,
                    USBD_TRANSFER_DIRECTION_OUT);
}

/*
 * QueryCapabilities - asks the bus for the device capabilities and keeps the system-to-device
 * power table; without an answer the default table stays.
 * Returns the bus's status. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS QueryCapabilities(PDEVICE_EXTENSION Ext) {
    PIRP irp = IoAllocateIrp(Ext->LowerDevice->StackSize, FALSE);
    if (!irp)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlZeroMemory(&Ext->Capabilities, sizeof(DEVICE_CAPABILITIES));
    Ext->Capabilities.Size = sizeof(DEVICE_CAPABILITIES);
    Ext->Capabilities.Version = 1;
    Ext->Capabilities.Address = static_cast<ULONG>(-1);
    Ext->Capabilities.UINumber = static_cast<ULONG>(-1);
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_PNP;
    next->MinorFunction = IRP_MN_QUERY_CAPABILITIES;
    next->Parameters.DeviceCapabilities.Capabilities = &Ext->Capabilities;
    IoSetCompletionRoutine(irp, SignalEvent, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(Ext->LowerDevice, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
    NTSTATUS status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    if (NT_SUCCESS(status)) {
        KIRQL irql;
        KeAcquireSpinLock(&Ext->QueueLock, &irql);
        for (int s = 0; s < PowerSystemMaximum; ++s)
            Ext->DeviceStateForSystem[s] = Ext->Capabilities.DeviceState[s];
        KeReleaseSpinLock(&Ext->QueueLock, irql);
    }
    return status;
}

}  // namespace lumatrace::driver
