// Driver entry and unload, device creation (add-device) and destruction.
#include "driver/Zep9100.h"

namespace lumatrace::driver {

namespace {

// The driver-wide object: zero-initialised storage, filled in by DriverEntry.
struct DRIVER_GLOBALS {
    PDRIVER_OBJECT DriverObject;
    UNICODE_STRING RegistryPath;
    volatile LONG DeviceCounter;  // numbers the devices; never goes back
    PCWSTR LinkPrefix;
};
DRIVER_GLOBALS g_Driver;

const WCHAR kDeviceNamePrefix[] = L"\\Device\\Zep9100Device";
const WCHAR kLinkBaseName[] = L"Zep9100Device";
const WCHAR kDosDevicesPrefix[] = L"\\DosDevices\\";
const WCHAR kGlobalLinkPrefix[] = L"\\??\\";

/*
 * KeyExists - whether a registry key can be opened for reading. IRQL: PASSIVE_LEVEL.
 */
BOOLEAN KeyExists(PCWSTR Path) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, Path);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, NULL,
                               NULL);
    HANDLE key;
    if (!NT_SUCCESS(ZwOpenKey(&key, KEY_READ, &attributes)))
        return FALSE;
    ZwClose(key);
    return TRUE;
}

/*
 * ChooseLinkPrefix - systems that keep the device class key under the services root rather than
 * the control root get their links under \DosDevices\; all others under \??\.
 * IRQL: PASSIVE_LEVEL.
 */
PCWSTR ChooseLinkPrefix() {
    BOOLEAN control = KeyExists(L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Class");
    BOOLEAN services =
        KeyExists(L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\Class");
    return !control && services ? kDosDevicesPrefix : kGlobalLinkPrefix;
}

/*
 * AppendNumber - appends Value in decimal to a counted string.
 * Returns the append's status. IRQL: any.
 */
NTSTATUS AppendNumber(PUNICODE_STRING Target, ULONG Value) {
    WCHAR digits[12];
    UNICODE_STRING number;
    number.Length = 0;
    number.MaximumLength = sizeof(digits);
    number.Buffer = digits;
    NTSTATUS status = RtlIntegerToUnicodeString(Value, 10, &number);
    if (!NT_SUCCESS(status))
        return status;
    return RtlAppendUnicodeStringToString(Target, &number);
}

/*
 * ConstructDevice - attaches to the physical device object's stack and initialises the
 * extension's synchronisation, counters, queue and USB members; no bus traffic.
 * Returns STATUS_SUCCESS or STATUS_NO_SUCH_DEVICE when the stack cannot be joined.
 * IRQL: PASSIVE_LEVEL.
 */
NTSTATUS ConstructDevice(PDEVICE_EXTENSION Ext, PDEVICE_OBJECT PhysicalDeviceObject) {
    Ext->PhysicalDeviceObject = PhysicalDeviceObject;
    Ext->LowerDevice = IoAttachDeviceToDeviceStack(Ext->Self, PhysicalDeviceObject);
    if (!Ext->LowerDevice)
        return STATUS_NO_SUCH_DEVICE;
    KeInitializeMutex(&Ext->DeviceMutex, 0);
    Ext->OpenCount = 0;
    Ext->OutstandingRequests = 1;
    KeInitializeSpinLock(&Ext->CountLock);
    KeInitializeEvent(&Ext->DrainEvent, NotificationEvent, TRUE);
    KeInitializeSpinLock(&Ext->QueueLock);
    InitializeListHead(&Ext->HeldRequests);
    Ext->StateFlags = 0;
    Ext->DevicePowerState = PowerDeviceD0;
    Ext->SystemPowerState = PowerSystemWorking;
    for (int s = 0; s < PowerSystemMaximum; ++s)
        Ext->DeviceStateForSystem[s] = PowerDeviceD3;
    Ext->DeviceStateForSystem[PowerSystemWorking] = PowerDeviceD0;
    InitializeUsbMembers(Ext);
    return STATUS_SUCCESS;
}

/*
 * AddDevice - creates the device object and its symbolic link for a newly reported instrument
 * and joins its stack.
 * Returns STATUS_SUCCESS, STATUS_INSUFFICIENT_RESOURCES when the object or link cannot be
 * created, or the construction's failure. IRQL: PASSIVE_LEVEL.
 */
NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject) {
    ULONG number = static_cast<ULONG>(g_Driver.DeviceCounter);

    WCHAR deviceNameBuffer[64];
    UNICODE_STRING deviceName;
    deviceName.Length = 0;
    deviceName.MaximumLength = sizeof(deviceNameBuffer);
    deviceName.Buffer = deviceNameBuffer;
    RtlAppendUnicodeToString(&deviceName, kDeviceNamePrefix);
    AppendNumber(&deviceName, number);

    PDEVICE_OBJECT device = NULL;
    NTSTATUS status = IoCreateDevice(DriverObject, sizeof(DEVICE_EXTENSION), &deviceName,
                                     FILE_DEVICE_UNKNOWN, 0, TRUE, &device);
    if (!NT_SUCCESS(status))
        return STATUS_INSUFFICIENT_RESOURCES;
    device->Flags |= DO_DIRECT_IO | DO_POWER_PAGABLE;

    PDEVICE_EXTENSION ext = Extension(device);
    RtlZeroMemory(ext, sizeof(DEVICE_EXTENSION));
    ext->Self = device;
    ext->LinkName.Length = 0;
    ext->LinkName.MaximumLength = sizeof(ext->LinkNameBuffer);
    ext->LinkName.Buffer = ext->LinkNameBuffer;
    RtlAppendUnicodeToString(&ext->LinkName, g_Driver.LinkPrefix);
    RtlAppendUnicodeToString(&ext->LinkName, kLinkBaseName);
    AppendNumber(&ext->LinkName, number);

    if (!NT_SUCCESS(IoCreateSymbolicLink(&ext->LinkName, &deviceName))) {
        IoDeleteDevice(device);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    ext->LinkCreated = TRUE;

    status = ConstructDevice(ext, PhysicalDeviceObject);
    if (!NT_SUCCESS(status)) {
        DestroyDevice(ext);
        return status;
    }

    InterlockedIncrement(&g_Driver.DeviceCounter);
    POWER_STATE state;
    state.DeviceState = PowerDeviceD0;
    PoSetPowerState(device, DevicePowerState, state);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

/*
 * DriverUnload - destroys any device objects left, then the driver-wide object.
 * IRQL: PASSIVE_LEVEL.
 */
VOID NTAPI DriverUnload(PDRIVER_OBJECT DriverObject) {
    while (DriverObject->DeviceObject)
        DestroyDevice(Extension(DriverObject->DeviceObject));
    if (g_Driver.RegistryPath.Buffer)
        ExFreePoolWithTag(g_Driver.RegistryPath.Buffer, kTagRegistryPath);
    g_Driver.RegistryPath.Buffer = NULL;
    g_Driver.DriverObject = NULL;
}

}  // namespace

/*
 * DestroyDevice - deletes a device's link, leaves its stack and deletes the device object.
 * IRQL: PASSIVE_LEVEL.
 */
VOID DestroyDevice(PDEVICE_EXTENSION Ext) {
    if (Ext->LinkCreated)
        IoDeleteSymbolicLink(&Ext->LinkName);
    Ext->LinkCreated = FALSE;
    if (Ext->LowerDevice)
        IoDetachDevice(Ext->LowerDevice);
    Ext->LowerDevice = NULL;
    ReleaseUsbResources(Ext);
    IoDeleteDevice(Ext->Self);
}

}  // namespace lumatrace::driver

using namespace lumatrace::driver;

/*
 * DriverEntry - registers the dispatch routines of the nine request kinds the driver serves, the
 * add-device and unload routines, keeps a copy of the registry path and chooses the link prefix.
 * Returns STATUS_SUCCESS, or STATUS_INSUFFICIENT_RESOURCES when the path cannot be copied.
 * IRQL: PASSIVE_LEVEL.
 */
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath) {
    g_Driver.DriverObject = DriverObject;
    g_Driver.DeviceCounter = 0;
    g_Driver.RegistryPath.Length = 0;
    g_Driver.RegistryPath.MaximumLength = static_cast<USHORT>(RegistryPath->Length + sizeof(WCHAR));
    g_Driver.RegistryPath.Buffer = static_cast<PWSTR>(
        ExAllocatePoolWithTag(PagedPool, g_Driver.RegistryPath.MaximumLength, kTagRegistryPath));
    if (!g_Driver.RegistryPath.Buffer)
        return STATUS_INSUFFICIENT_RESOURCES;
    RtlCopyUnicodeString(&g_Driver.RegistryPath, RegistryPath);
    g_Driver.LinkPrefix = ChooseLinkPrefix();

    DriverObject->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    DriverObject->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    DriverObject->MajorFunction[IRP_MJ_READ] = DispatchRead;
    DriverObject->MajorFunction[IRP_MJ_WRITE] = DispatchWrite;
    DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    DriverObject->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    DriverObject->MajorFunction[IRP_MJ_POWER] = DispatchPower;
    DriverObject->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = DispatchSystemControl;
    DriverObject->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    DriverObject->DriverExtension->AddDevice = AddDevice;
    DriverObject->DriverUnload = DriverUnload;
    return STATUS_SUCCESS;
}
