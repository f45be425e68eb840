// Internal state of the host kernel model, shared by its implementation files.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "driver/host/HostKernel.h"
#include "driver/host/Usb.h"

namespace lumatrace::host {

// A kernel-interface misuse: prints what happened and stops the process, as a bug check stops
// the machine.
[[noreturn]] void BugCheck(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The lock of the model's own short bookkeeping sections (pool, IRP and MDL tables, handles,
// bus queues): far cheaper than a mutex when, as almost always, nobody else holds it. A waiter
// yields the processor instead of sleeping; nothing blocks while holding one.
class SpinLock {
  public:
    void lock() noexcept {
        while (held_.exchange(true, std::memory_order_acquire))
            while (held_.load(std::memory_order_relaxed))
                std::this_thread::yield();
    }
    bool try_lock() noexcept {
        return !held_.load(std::memory_order_relaxed) &&
               !held_.exchange(true, std::memory_order_acquire);
    }
    void unlock() noexcept { held_.store(false, std::memory_order_release); }

  private:
    std::atomic<bool> held_{false};
};

// What the model tracks per thread: the IRQL and the spin locks held.
struct ThreadState {
    KIRQL irql = PASSIVE_LEVEL;
    int spinLocksHeld = 0;  // excluding the cancel spin lock
    bool cancelLockHeld = false;
    ULONG_PTR id = 0;
};
ThreadState& currentThread();

// Runs a model thread body at PASSIVE_LEVEL and checks it leaves no lock behind.
void checkThreadIsClean(const char* where);

std::wstring toWString(const UNICODE_STRING* s);
std::wstring lowerCase(std::wstring s);
std::string narrow(const std::wstring& s);

enum class IrpOrigin {
    DriverAllocated,  // IoAllocateIrp: the allocating driver frees it
    User,             // the front door, for a user handle
    Manager,          // the PnP or power manager, waiting for the result
    PowerRequest,     // PoRequestPowerIrp: ends in the requester's callback
};

constexpr int kMaxStackSize = 8;

// Freed IRPs, MDLs and small pool blocks are kept for the next allocation, as the kernel's
// lookaside lists keep them. Under AddressSanitizer everything is really freed instead, so that
// a use after free is still caught (as the driver verifier turns the lists off).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kLookasideLists = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kLookasideLists = false;
#else
inline constexpr bool kLookasideLists = true;
#endif
#else
inline constexpr bool kLookasideLists = true;
#endif
inline constexpr size_t kLookasideDepth = 64;

// The bookkeeping containers keep the nodes of erased entries for later insertions, so that
// counting a block or an IRP in and out does not go to the heap each time.
template <class Container>
class RecycledNodes {
  public:
    RecycledNodes() { spare_.reserve(kLookasideDepth); }
    template <class Key, class... Mapped>
    void insert(Container& c, const Key& key, const Mapped&... mapped) {
        if (spare_.empty()) {
            c.emplace(key, mapped...);
            return;
        }
        auto node = std::move(spare_.back());
        spare_.pop_back();
        if constexpr (sizeof...(Mapped) == 0) {
            node.value() = key;
        } else {
            node.key() = key;
            ((node.mapped() = mapped), ...);
        }
        c.insert(std::move(node));
    }
    void erase(Container& c, typename Container::iterator it) {
        if (spare_.size() < kLookasideDepth)
            spare_.push_back(c.extract(it));
        else
            c.erase(it);
    }

  private:
    std::vector<typename Container::node_type> spare_;
};

struct UserFile;

struct HostIrp {
    IRP irp{};
    // Only the locations of the IRP's stack size are cleared when it is allocated: an IRP is
    // as large as its stack, and clearing unused locations on every request costs memory traffic.
    IO_STACK_LOCATION stack[kMaxStackSize];
    IrpOrigin origin = IrpOrigin::DriverAllocated;
    std::atomic<int> refs{1};
    std::atomic<bool> finished{false};  // completion has run past the top location

    // Top-level bookkeeping (not for driver-allocated IRPs), guarded by `m`.
    std::mutex m;
    std::condition_variable cv;
    bool dispatchReturned = false;
    NTSTATUS dispatchStatus = 0;
    bool completed = false;
    bool pendingReturned = false;
    IO_STATUS_BLOCK finalStatus{};

    // User requests.
    UserFile* file = nullptr;
    UCHAR major = 0;
    void* userBuffer = nullptr;
    ULONG userLength = 0;          // read/write length or output length
    void* systemBuffer = nullptr;  // buffered I/O, owned
    bool copyOutBuffered = false;

    // Power requests.
    std::thread::id requester;  // the thread the power manager sent a system request from
    std::vector<PDEVICE_OBJECT> entered;
    std::vector<PDEVICE_OBJECT> startedNext;
    PREQUEST_POWER_COMPLETE powerCallback = nullptr;
    PVOID powerContext = nullptr;
    PDEVICE_OBJECT powerTarget = nullptr;
    UCHAR powerMinor = 0;
    POWER_STATE powerState{};
};

struct UserFile {
    FILE_OBJECT fileObject{};
    PDEVICE_OBJECT device = nullptr;
    SpinLock m;
    int refs = 1;  // the handle plus each request in flight
    bool closed = false;
    std::unordered_set<HostIrp*> inFlight;
    RecycledNodes<std::unordered_set<HostIrp*>> inFlightNodes;
};

struct UserIo {
    HostIrp* irp = nullptr;                     // holds a reference until waited for
    NTSTATUS immediateStatus = STATUS_SUCCESS;  // when no IRP was issued
};

struct DeviceInfo {
    std::wstring name;
    bool deleted = false;
    int openFiles = 0;  // file objects referencing the device, counted from create to close
    DeviceNode* node = nullptr;
    PDEVICE_OBJECT lower = nullptr;
    DEVICE_POWER_STATE reportedPower = PowerDeviceUnspecified;
    VirtualUsbDevice* usb = nullptr;  // for the bus's own device objects
};

struct PoolBlock {
    size_t size;
    ULONG tag;
};

struct FailurePlan {
    unsigned skip = 0;
    unsigned count = 0;
};

// The kernel's single worker thread (system work items, deferred closes, power requests).
class Worker {
  public:
    void start();
    void stop();
    void post(std::function<void()> work);
    void drain();

  private:
    void run();
    std::mutex m_;
    std::condition_variable cv_;
    std::condition_variable idle_;
    std::deque<std::function<void()>> queue_;
    bool running_ = false;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

class Kernel {
  public:
    Kernel();
    ~Kernel();

    // Dispatcher lock for events and mutexes.
    std::mutex dispatcherLock;
    std::condition_variable dispatcherChanged;
    KSPIN_LOCK cancelSpinLock = 0;
    int waitWatchdogSeconds = 60;

    // Pool.
    mutable SpinLock poolLock;
    std::unordered_map<void*, PoolBlock> pool;
    RecycledNodes<std::unordered_map<void*, PoolBlock>> poolNodes;
    // Freed small blocks by size class (16-byte steps), for reuse.
    static constexpr size_t kPoolLookasideMax = 1024;
    std::vector<void*> poolLookaside[kPoolLookasideMax / 16];
    std::map<ULONG, size_t> poolAllocationsMade;
    std::map<ULONG, FailurePlan> poolFailures;

    // Registry.
    mutable std::mutex registryLock;
    std::set<std::wstring> registryKeys;  // lower case
    std::set<void*> registryHandles;

    // Object namespace and device objects.
    mutable std::recursive_mutex objectLock;
    std::map<std::wstring, PDEVICE_OBJECT> deviceNames;  // lower case
    struct Link {
        std::wstring literal;
        std::wstring target;  // lower case device name
    };
    std::map<std::wstring, Link> links;  // lower-case name below \??\ or \DosDevices\ .
    std::set<PDEVICE_OBJECT> deviceObjects;
    // Drops the reference a file object holds on its device object (DeviceInfo::openFiles), as
    // the I/O manager does once the file object is gone: after its close request, or after a
    // create that failed. A device object its driver deleted goes with its last reference, so the
    // caller must not touch `device` afterwards.
    void dropDeviceReference(PDEVICE_OBJECT device);
    NTSTATUS failNextDeviceCreation = STATUS_SUCCESS;
    NTSTATUS failNextSymbolicLink = STATUS_SUCCESS;

    // IRPs and MDLs.
    mutable SpinLock irpLock;
    std::unordered_map<PIRP, HostIrp*> irps;
    std::unordered_set<PMDL> mdls;
    RecycledNodes<std::unordered_map<PIRP, HostIrp*>> irpNodes;
    RecycledNodes<std::unordered_set<PMDL>> mdlNodes;
    std::vector<HostIrp*> irpLookaside;
    std::vector<PMDL> mdlLookaside;
    HostIrp* findIrp(PIRP irp, const char* caller);
    HostIrp* allocateIrp(CCHAR stackSize, IrpOrigin origin);
    void releaseIrp(HostIrp* hirp);
    // Sends an IRP the model itself built to the top of a stack and records what dispatch
    // returned (checked against how the IRP completed).
    void dispatchTop(PDEVICE_OBJECT device, HostIrp* hirp);
    // Waits for a Manager IRP to complete; returns its status and releases it.
    IO_STATUS_BLOCK waitManagerIrp(HostIrp* hirp);
    void finishIrp(HostIrp* hirp);
    static void checkPendingRules(HostIrp* hirp);

    // Files.
    std::mutex filesLock;
    std::set<UserFile*> files;
    void dropFileReference(UserFile* file, bool fromCompletion);
    void closeFile(UserFile* file);

    // Drivers.
    PDRIVER_OBJECT functionDriver = nullptr;
    PDRIVER_OBJECT busDriver = nullptr;
    UNICODE_STRING functionRegistryPath{};
    std::wstring functionRegistryPathText;
    PDRIVER_OBJECT createDriverObject(const std::wstring& name);
    void destroyDriverObject(PDRIVER_OBJECT driver);

    // PnP.
    std::vector<std::unique_ptr<DeviceNode>> nodes;
    DeviceNode& enumerate(VirtualUsbDevice* usb);
    NTSTATUS sendPnp(DeviceNode& node, UCHAR minor);
    // Sends the remove-device a surprise removal left owed, once no file is open on the stack.
    void removeIfOwed(DeviceNode& node);
    // Surprise removal, then remove-device now or after the last close; once per device.
    void removeUnplugged(DeviceNode& node);
    // The PnP manager sends one request to a stack at a time and does not interleave its
    // sequences (query and stop or remove, a removal and the one owed after it): the caller of
    // the PnP API, the bus's removals and the removal owed to the last close all take this.
    std::recursive_mutex pnpLock;
    bool stackHasOpenFiles(DeviceNode& node);
    void deletePdo(DeviceNode& node);

    // Power.
    SYSTEM_POWER_STATE systemPowerState = PowerSystemWorking;
    NTSTATUS refuseNextPowerRequest = STATUS_SUCCESS;
    NTSTATUS sendPower(DeviceNode& node, UCHAR minor, POWER_STATE_TYPE type, POWER_STATE state);
    // PowerManager::holdNextCompletingThread: armed, then holding one thread until released.
    enum class CompletionHold { Off, Armed, Holding };
    std::mutex completionHoldLock;
    std::condition_variable completionHoldChanged;
    CompletionHold completionHold = CompletionHold::Off;
    // Whether the thread completing a system power request sent from another thread is to be
    // held; called just before the requester is told, so that it sees the hold in place.
    bool takeCompletionHold(const HostIrp* hirp);
    // Holds the calling thread until the hold is released.
    void waitInCompletionHold();
    void releaseCompletionHold();

    // USB bus.
    std::vector<std::unique_ptr<VirtualUsbDevice>> usbDevices;
    unsigned pdoCounter = 0;

    Worker worker;
    Worker pnpWorker;  // the PnP manager's thread, for removals the bus reports

    Pool poolApi{*this};
    Registry registryApi{*this};
    PnpManager pnpApi{*this};
    PowerManager powerApi{*this};
    UsbBus busApi{*this};
    IoManager ioApi{*this};

    bool shutDown = false;
};

// The kernel the entry points act on.
Kernel& kernel();
DeviceInfo& deviceInfo(PDEVICE_OBJECT device);

// The bus's per-device state.
class VirtualUsbDevice final : public UsbFunctionHost {
  public:
    VirtualUsbDevice(const UsbDeviceSpec& spec, UsbFunction& function);
    ~VirtualUsbDevice();

    NTSTATUS dispatchPnp(PDEVICE_OBJECT device, PIRP irp);
    NTSTATUS dispatchPower(PDEVICE_OBJECT device, PIRP irp);
    NTSTATUS dispatchInternalControl(PDEVICE_OBJECT device, PIRP irp);
    void cancelQueued(PIRP irp);
    void disconnect();
    bool connected() const;
    void stopThread();
    void waitIdle();
    UsbTrafficCounts traffic() const;
    void functionReady() override;
    void functionGone() override;

    PDEVICE_OBJECT pdo = nullptr;
    DeviceNode* node = nullptr;

  private:
    struct Pipe {
        UsbEndpointSpec endpoint;
        USBD_PIPE_HANDLE handle = nullptr;
        ULONG maximumTransferSize = 0;
        bool halted = false;
        std::deque<PIRP> queue;
    };
    struct Finished {
        PIRP irp;
        NTSTATUS status;
        USBD_STATUS usbStatus;
    };

    NTSTATUS completeUrb(PIRP irp, PURB urb, NTSTATUS status, USBD_STATUS usbStatus);
    NTSTATUS getDescriptor(PIRP irp, PURB urb);
    NTSTATUS selectConfiguration(PIRP irp, PURB urb);
    NTSTATUS bulkTransfer(PIRP irp, PURB urb);
    NTSTATUS abortPipe(PIRP irp, PURB urb);
    NTSTATUS resetPipe(PIRP irp, PURB urb);
    Pipe* findPipeLocked(USBD_PIPE_HANDLE handle);
    void service();
    void completeAll(std::vector<Finished>& finished);
    void deconfigureLocked(std::vector<Finished>& finished, NTSTATUS status, USBD_STATUS usb);
    void threadMain();

    UsbDeviceSpec spec_;
    UsbFunction& function_;

    mutable SpinLock m_;  // configuration, pipes, queues, counters
    std::condition_variable_any wake_;
    bool wakeRequested_ = false;
    bool stopping_ = false;
    bool busy_ = false;
    std::condition_variable_any idle_;
    bool connected_ = true;
    uint8_t configurationValue_ = 0;
    unsigned generation_ = 0;
    std::vector<Pipe> pipes_;
    UsbTrafficCounts counts_;
    std::mutex functionLock_;  // one call into the function at a time
    std::thread thread_;
};

}  // namespace lumatrace::host
