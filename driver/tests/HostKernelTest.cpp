// The host kernel model's own semantics, with a small driver of the test's own: completion
// routines, pending rules, lock rules and leak reports behave as the documented kernel does.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "driver/host/HostKernel.h"
#include "driver/host/LoopbackFunction.h"

namespace lumatrace::host {
namespace {

// A two-level stack of the test's own: the upper device passes reads to the lower one, which
// completes them with a chosen status.
struct Toy {
    PDRIVER_OBJECT driver = nullptr;
    PDEVICE_OBJECT upper = nullptr;
    PDEVICE_OBJECT lower = nullptr;
    NTSTATUS lowerStatus = STATUS_SUCCESS;
    bool cancel = false;
    bool invokeOnSuccess = false, invokeOnError = false, invokeOnCancel = false;
    NTSTATUS upperRoutineResult = STATUS_SUCCESS;
    std::vector<const char*> calls;
};
Toy* g_toy = nullptr;

NTSTATUS NTAPI UpperRoutine(PDEVICE_OBJECT device, PIRP, PVOID) {
    g_toy->calls.push_back(device == g_toy->upper ? "upper" : "upper(wrong device)");
    return g_toy->upperRoutineResult;
}

NTSTATUS NTAPI TopRoutine(PDEVICE_OBJECT device, PIRP, PVOID) {
    g_toy->calls.push_back(device == nullptr ? "top" : "top(wrong device)");
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS NTAPI ToyRead(PDEVICE_OBJECT device, PIRP irp) {
    if (device == g_toy->upper) {
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, UpperRoutine, nullptr, g_toy->invokeOnSuccess,
                               g_toy->invokeOnError, g_toy->invokeOnCancel);
        if (g_toy->cancel)
            irp->Cancel = TRUE;
        return IoCallDriver(g_toy->lower, irp);
    }
    irp->IoStatus.Status = g_toy->lowerStatus;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return g_toy->lowerStatus;
}

NTSTATUS NTAPI ToyEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    g_toy->driver = driver;
    driver->MajorFunction[IRP_MJ_READ] = ToyRead;
    return STATUS_SUCCESS;
}

class HostKernelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_toy = &toy;
        ASSERT_EQ(kernel.loadDriver(ToyEntry, L"Toy"), STATUS_SUCCESS);
        ASSERT_EQ(IoCreateDevice(toy.driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &toy.lower),
                  STATUS_SUCCESS);
        ASSERT_EQ(IoCreateDevice(toy.driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &toy.upper),
                  STATUS_SUCCESS);
    }
    void TearDown() override {
        IoDeleteDevice(toy.upper);
        IoDeleteDevice(toy.lower);
        EXPECT_EQ(kernel.shutdown(), "");
        g_toy = nullptr;
    }
    // Sends one read down the toy stack from a harness location whose routine keeps the IRP.
    PIRP sendRead() {
        PIRP irp = IoAllocateIrp(3, FALSE);
        IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_READ;
        IoSetCompletionRoutine(irp, TopRoutine, nullptr, TRUE, TRUE, TRUE);
        IoSetNextIrpStackLocation(irp);
        IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_READ;
        IoCallDriver(toy.upper, irp);
        return irp;
    }
    static void IoSetNextIrpStackLocation(PIRP irp) {
        irp->CurrentLocation--;
        irp->Tail.Overlay.CurrentStackLocation--;
    }
    Toy toy;
    HostKernel kernel;
};

TEST_F(HostKernelTest, CompletionRoutinesRunAsTheirInvokeFlagsSay) {
    struct Case {
        const char* name;
        NTSTATUS status;
        bool cancel, onSuccess, onError, onCancel;
        bool upperRuns;
    };
    for (const Case& c :
         {Case{"success, on success", STATUS_SUCCESS, false, true, false, false, true},
          Case{"success, on error only", STATUS_SUCCESS, false, false, true, false, false},
          Case{"error, on error", STATUS_UNSUCCESSFUL, false, false, true, false, true},
          Case{"error, on success only", STATUS_UNSUCCESSFUL, false, true, false, false, false},
          Case{"cancelled, on cancel only", STATUS_CANCELLED, true, false, false, true, true},
          Case{"success, no flags", STATUS_SUCCESS, false, false, false, false, false}}) {
        SCOPED_TRACE(c.name);
        toy.calls.clear();
        toy.lowerStatus = c.status;
        toy.cancel = c.cancel;
        toy.invokeOnSuccess = c.onSuccess;
        toy.invokeOnError = c.onError;
        toy.invokeOnCancel = c.onCancel;
        toy.upperRoutineResult = STATUS_SUCCESS;
        PIRP irp = sendRead();
        std::vector<const char*> expected;
        if (c.upperRuns)
            expected.push_back("upper");
        expected.push_back("top");
        EXPECT_EQ(toy.calls, expected);
        IoFreeIrp(irp);
    }
}

TEST_F(HostKernelTest, MoreProcessingRequiredStopsCompletionUntilCompletedAgain) {
    toy.invokeOnSuccess = toy.invokeOnError = toy.invokeOnCancel = true;
    toy.upperRoutineResult = STATUS_MORE_PROCESSING_REQUIRED;
    PIRP irp = sendRead();
    EXPECT_EQ(toy.calls, std::vector<const char*>{"upper"});
    EXPECT_EQ(irp->CurrentLocation, 2);  // back at the upper driver's location
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    EXPECT_EQ(toy.calls, (std::vector<const char*>{"upper", "top"}));
    IoFreeIrp(irp);
}

TEST(HostKernelLeakTest, LeaksAreReported) {
    HostKernel kernel;
    PVOID block = ExAllocatePoolWithTag(NonPagedPool, 10, 0x6B61654C);  // 'Leak'
    ASSERT_NE(block, nullptr);
    PIRP irp = IoAllocateIrp(1, FALSE);
    ASSERT_NE(irp, nullptr);
    std::string report = kernel.shutdown();
    EXPECT_NE(report.find("10 bytes, tag 'Leak'"), std::string::npos) << report;
    EXPECT_NE(report.find("IRP"), std::string::npos) << report;
}

TEST_F(HostKernelTest, FailedAllocationsFollowThePlan) {
    const ULONG tag = 0x74736554;  // 'Test'
    kernel.pool().failAllocations(tag, 1, 2);
    PVOID first = ExAllocatePoolWithTag(NonPagedPool, 4, tag);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, 4, tag), nullptr);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, 4, tag), nullptr);
    PVOID fourth = ExAllocatePoolWithTag(NonPagedPool, 4, tag);
    EXPECT_NE(fourth, nullptr);
    EXPECT_EQ(kernel.pool().outstanding(tag), 2u);
    ExFreePoolWithTag(first, tag);
    ExFreePool(fourth);
}

using HostKernelDeathTest = HostKernelTest;

TEST_F(HostKernelDeathTest, KernelRuleBreachesAreFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            PIRP irp = sendRead();
            IoFreeIrp(irp);
            IoCompleteRequest(irp, IO_NO_INCREMENT);
        },
        "not a live IRP");
    EXPECT_DEATH(
        {
            toy.invokeOnSuccess = true;
            toy.upperRoutineResult = STATUS_MORE_PROCESSING_REQUIRED;
            PIRP irp = sendRead();
            IoCompleteRequest(irp, IO_NO_INCREMENT);
            IoCompleteRequest(irp, IO_NO_INCREMENT);
        },
        "MULTIPLE_IRP_COMPLETE_REQUESTS");
    EXPECT_DEATH(
        {
            KEVENT event;
            KeInitializeEvent(&event, NotificationEvent, FALSE);
            KIRQL old;
            KeRaiseIrql(DISPATCH_LEVEL, &old);
            KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        },
        "IRQL 2");
    EXPECT_DEATH(
        {
            KSPIN_LOCK lock;
            KeInitializeSpinLock(&lock);
            KIRQL a;
            KIRQL b;
            KeAcquireSpinLock(&lock, &a);
            IoAcquireCancelSpinLock(&b);
        },
        "cancel spin lock acquired while holding another spin lock");
    EXPECT_DEATH(
        {
            PVOID p = ExAllocatePoolWithTag(NonPagedPool, 4, 0x74736554);
            ExFreePoolWithTag(p, 0x74736555);
        },
        "BAD_POOL_CALLER");
}

// A function driver that claims pending without marking the IRP: the I/O manager would never
// learn of the completion.
NTSTATUS NTAPI PendingWithoutMark(PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_PENDING;
}

NTSTATUS NTAPI PassThrough(PDEVICE_OBJECT device, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(
        static_cast<PDEVICE_OBJECT>(device->DeviceExtension
                                        ? *static_cast<PDEVICE_OBJECT*>(device->DeviceExtension)
                                        : nullptr),
        irp);
}

NTSTATUS NTAPI NamedAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, L"\\Device\\Sloppy0");
    RtlInitUnicodeString(&link, L"\\??\\Sloppy0");
    PDEVICE_OBJECT device;
    IoCreateDevice(driver, sizeof(PDEVICE_OBJECT), &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    IoCreateSymbolicLink(&link, &name);
    *static_cast<PDEVICE_OBJECT*>(device->DeviceExtension) =
        IoAttachDeviceToDeviceStack(device, pdo);
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI SloppyEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    for (auto& f : driver->MajorFunction)
        f = PassThrough;
    driver->MajorFunction[IRP_MJ_CREATE] = PendingWithoutMark;
    driver->DriverExtension->AddDevice = NamedAddDevice;
    return STATUS_SUCCESS;
}

TEST(HostKernelPendingDeathTest, PendingWithoutIoMarkIrpPendingIsFatal) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            LoopbackFunction function;
            HostKernel kernel;
            kernel.loadDriver(SloppyEntry, L"Sloppy");
            kernel.bus().plug(UsbDeviceSpec::instrument(), function);
            UserFile* file;
            kernel.io().createFile(L"\\\\.\\Sloppy0", &file);
        },
        "completed without the pending flag reaching the top");
}

// A shareable function driver of the test's own whose opens wait, while asked to, until the test
// answers them; removal detaches and deletes its device as a function driver must.
struct Waiter {
    PDEVICE_OBJECT device = nullptr;
    PDEVICE_OBJECT lower = nullptr;
    bool holdOpens = false;
    std::atomic<PIRP> heldOpen{nullptr};
};
Waiter* g_waiter = nullptr;

NTSTATUS NTAPI WaiterCreate(PDEVICE_OBJECT, PIRP irp) {
    if (!g_waiter->holdOpens) {
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return STATUS_SUCCESS;
    }
    IoMarkIrpPending(irp);
    g_waiter->heldOpen = irp;
    return STATUS_PENDING;
}

NTSTATUS NTAPI WaiterSucceed(PDEVICE_OBJECT, PIRP irp) {
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI WaiterPnp(PDEVICE_OBJECT device, PIRP irp) {
    const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    if (minor == IRP_MN_START_DEVICE || minor == IRP_MN_SURPRISE_REMOVAL ||
        minor == IRP_MN_REMOVE_DEVICE)
        irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    NTSTATUS status = IoCallDriver(g_waiter->lower, irp);
    if (minor == IRP_MN_REMOVE_DEVICE) {
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, L"\\??\\Waiter0");
        IoDeleteSymbolicLink(&link);
        IoDetachDevice(g_waiter->lower);
        IoDeleteDevice(device);
    }
    return status;
}

NTSTATUS NTAPI WaiterAddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, L"\\Device\\Waiter0");
    RtlInitUnicodeString(&link, L"\\??\\Waiter0");
    IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &g_waiter->device);
    IoCreateSymbolicLink(&link, &name);
    g_waiter->lower = IoAttachDeviceToDeviceStack(g_waiter->device, pdo);
    g_waiter->device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI WaiterEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    driver->MajorFunction[IRP_MJ_CREATE] = WaiterCreate;
    driver->MajorFunction[IRP_MJ_CLEANUP] = WaiterSucceed;
    driver->MajorFunction[IRP_MJ_CLOSE] = WaiterSucceed;
    driver->MajorFunction[IRP_MJ_PNP] = WaiterPnp;
    driver->DriverExtension->AddDevice = WaiterAddDevice;
    return STATUS_SUCCESS;
}

// After a surprise removal, remove-device waits for the last reference to the device object to
// go. When that is an open the driver fails after the last handle was closed, the removal still
// follows it.
TEST(HostKernelPnpTest, RemovalOwedAfterUnplugFollowsAnOpenThatFailsAfterTheLastClose) {
    Waiter waiter;
    g_waiter = &waiter;
    LoopbackFunction function;
    HostKernel kernel;
    ASSERT_EQ(kernel.loadDriver(WaiterEntry, L"Waiter"), STATUS_SUCCESS);
    DeviceNode& node = kernel.bus().plug(UsbDeviceSpec::instrument(), function);
    ASSERT_TRUE(node.started());
    UserFile* first = nullptr;
    ASSERT_EQ(kernel.io().createFile(L"\\\\.\\Waiter0", &first), STATUS_SUCCESS);
    kernel.bus().unplug(node);
    ASSERT_TRUE(node.surpriseRemoved());

    waiter.holdOpens = true;
    NTSTATUS secondStatus = STATUS_SUCCESS;
    std::thread opener([&] {
        UserFile* second = nullptr;
        secondStatus = kernel.io().createFile(L"\\\\.\\Waiter0", &second);
    });
    while (!waiter.heldOpen.load())
        std::this_thread::yield();
    EXPECT_EQ(kernel.io().closeHandle(first), STATUS_SUCCESS);
    kernel.settle();
    EXPECT_FALSE(node.removed());  // the open still references the device

    PIRP open = waiter.heldOpen.exchange(nullptr);
    open->IoStatus.Status = STATUS_DELETE_PENDING;
    IoCompleteRequest(open, IO_NO_INCREMENT);
    opener.join();
    EXPECT_EQ(secondStatus, STATUS_DELETE_PENDING);
    kernel.settle();
    EXPECT_TRUE(node.removed());
    EXPECT_EQ(node.pdo(), nullptr);
    EXPECT_EQ(kernel.shutdown(), "");
    g_waiter = nullptr;
}

}  // namespace
}  // namespace lumatrace::host
