// zep9100.sys: WDM function driver of the instrument's USB interface. Shared declarations of the
// driver's parts: driver entry and plug and play, the control interface, the USB transfer engine
// and power management.
#pragma once

#include "driver/KernelApi.h"

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);

namespace lumatrace::driver {

constexpr ULONG MakePoolTag(char a, char b, char c, char d) {
    return static_cast<ULONG>(static_cast<unsigned char>(a)) |
           (static_cast<ULONG>(static_cast<unsigned char>(b)) << 8) |
           (static_cast<ULONG>(static_cast<unsigned char>(c)) << 16) |
           (static_cast<ULONG>(static_cast<unsigned char>(d)) << 24);
}

// Pool tags, one per kind of block, so a leak names its owner.
constexpr ULONG kTagRegistryPath = MakePoolTag('Z', 'e', 'p', 'R');
constexpr ULONG kTagDescriptor = MakePoolTag('Z', 'e', 'p', 'D');
constexpr ULONG kTagInterface = MakePoolTag('Z', 'e', 'p', 'I');
constexpr ULONG kTagUrb = MakePoolTag('Z', 'e', 'p', 'U');
constexpr ULONG kTagTransfer = MakePoolTag('Z', 'e', 'p', 'T');
constexpr ULONG kTagPower = MakePoolTag('Z', 'e', 'p', 'P');

constexpr ULONG IOCTL_ZEP9100_GET_VERSION =
    CTL_CODE(FILE_DEVICE_UNKNOWN, 0x800, METHOD_BUFFERED, FILE_ANY_ACCESS);
// Version 1.00, one decimal digit per byte: tens, units, tenths, hundredths from byte 3 down.
constexpr ULONG kDriverVersion = 0x00010000;

constexpr ULONG kMaximumTransferSize = 65536;
constexpr UCHAR kReadEndpoint = 0x81;
constexpr UCHAR kWriteEndpoint = 0x02;
constexpr UCHAR kConfigurationValue = 1;
constexpr UCHAR kInterfaceNumber = 0;
constexpr UCHAR kAlternateSetting = 0;
constexpr ULONG kConfigurationBufferSize = 1024;

// Device state flags, changed only under the queue lock.
enum DeviceStateFlag : ULONG {
    kStarted = 0x01,
    kStopPending = 0x02,
    kRemovePending = 0x04,
    kRemoved = 0x08,
    kRemovalInProgress = 0x10,
    kSurpriseRemoved = 0x20,
    kPowerDownPending = 0x40,
};

struct UsbPipe {
    UCHAR EndpointAddress;
    ULONG MaximumTransferSize;  // requested before selection, granted after
    USBD_PIPE_HANDLE Handle;
    BOOLEAN Bound;
};

struct DEVICE_EXTENSION {
    PDEVICE_OBJECT Self;
    PDEVICE_OBJECT PhysicalDeviceObject;
    PDEVICE_OBJECT LowerDevice;

    UNICODE_STRING LinkName;
    WCHAR LinkNameBuffer[64];
    BOOLEAN LinkCreated;

    KMUTEX DeviceMutex;  // open, close and removal
    volatile LONG OpenCount;
    volatile LONG OutstandingRequests;  // 1 (the device's own) + requests in the driver
    KSPIN_LOCK CountLock;
    KEVENT DrainEvent;  // signalled while only the device's own reference is left

    KSPIN_LOCK QueueLock;  // StateFlags, power states, HeldRequests; after the cancel lock
    ULONG StateFlags;
    LIST_ENTRY HeldRequests;

    DEVICE_POWER_STATE DevicePowerState;
    SYSTEM_POWER_STATE SystemPowerState;
    DEVICE_POWER_STATE DeviceStateForSystem[PowerSystemMaximum];
    DEVICE_CAPABILITIES Capabilities;

    PUSB_DEVICE_DESCRIPTOR DeviceDescriptor;
    PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor;
    USBD_CONFIGURATION_HANDLE ConfigurationHandle;
    PUSBD_INTERFACE_INFORMATION Interface;
    UCHAR ConfigurationValue;
    UCHAR InterfaceNumber;
    UCHAR AlternateSetting;
    UsbPipe ReadPipe;
    UsbPipe WritePipe;
};
using PDEVICE_EXTENSION = DEVICE_EXTENSION*;

inline PDEVICE_EXTENSION Extension(PDEVICE_OBJECT DeviceObject) {
    return static_cast<PDEVICE_EXTENSION>(DeviceObject->DeviceExtension);
}

// ---- Device state (DeviceState.cpp) ----
NTSTATUS CompleteRequest(PIRP Irp, NTSTATUS Status, ULONG_PTR Information);
VOID AcquireHold(PDEVICE_EXTENSION Ext);
VOID ReleaseHold(PDEVICE_EXTENSION Ext);
BOOLEAN OtherRequestsInProgress(PDEVICE_EXTENSION Ext);
VOID WaitForOtherRequests(PDEVICE_EXTENSION Ext);
VOID ChangeStateFlags(PDEVICE_EXTENSION Ext, ULONG Set, ULONG Clear);
ULONG ReadStateFlags(PDEVICE_EXTENSION Ext);
BOOLEAN IsGone(PDEVICE_EXTENSION Ext);
DEVICE_POWER_STATE ReadDevicePowerState(PDEVICE_EXTENSION Ext);
BOOLEAN HasHeldRequests(PDEVICE_EXTENSION Ext);
NTSTATUS SubmitGatedRequest(PDEVICE_EXTENSION Ext, PIRP Irp);
VOID DispatchHeldRequests(PDEVICE_EXTENSION Ext);
VOID FailHeldRequests(PDEVICE_EXTENSION Ext, NTSTATUS Status);
VOID CancelHeldRequestsOfFile(PDEVICE_EXTENSION Ext, PFILE_OBJECT FileObject);
NTSTATUS ForwardAndWait(PDEVICE_EXTENSION Ext, PIRP Irp);
NTSTATUS NTAPI SignalEvent(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
NTSTATUS NTAPI HoldEndsOnCompletion(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
NTSTATUS PassDown(PDEVICE_EXTENSION Ext, PIRP Irp);

// ---- Plug and play (Pnp.cpp) ----
NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp);

// ---- Control interface (ControlInterface.cpp) ----
NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchRead(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchWrite(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI DispatchSystemControl(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS ProcessRequest(PDEVICE_EXTENSION Ext, PIRP Irp);

// ---- USB transfer engine (UsbTransfer.cpp) ----
VOID InitializeUsbMembers(PDEVICE_EXTENSION Ext);
NTSTATUS StartConfiguration(PDEVICE_EXTENSION Ext);
VOID StopConfiguration(PDEVICE_EXTENSION Ext);
VOID ReleaseUsbResources(PDEVICE_EXTENSION Ext);
VOID AbortTransfers(PDEVICE_EXTENSION Ext);
NTSTATUS ReadTransfer(PDEVICE_EXTENSION Ext, PIRP Irp);
NTSTATUS WriteTransfer(PDEVICE_EXTENSION Ext, PIRP Irp);
NTSTATUS QueryCapabilities(PDEVICE_EXTENSION Ext);

// ---- Power (Power.cpp) ----
NTSTATUS NTAPI DispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS PowerUpOnDemand(PDEVICE_EXTENSION Ext);

// ---- Driver entry (DriverEntry.cpp) ----
VOID DestroyDevice(PDEVICE_EXTENSION Ext);

}  // namespace lumatrace::driver
