// The host kernel model: a user-mode stand-in for the parts of Windows that a USB function driver
// meets (I/O manager, plug and play, power manager, pool, registry, a USB bus), driven from tests
// and from the program's device access path.
//
// One HostKernel exists at a time; the kernel entry points of Wdm.h act on it. Construct it,
// load a driver, plug devices into its bus, open them through the I/O manager's front door, and
// call shutdown() at the end: it removes what is left, unloads the driver and returns a report of
// everything that leaked (pool blocks, IRPs, MDLs, device objects, links, handles), empty when
// clean. Misuse of a kernel interface (a second completion of an IRP, a wait at DISPATCH_LEVEL,
// freeing unknown pool, ...) is fatal, as a bug check would be.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/host/UsbBus.h"
#include "driver/host/UsbFunction.h"
#include "driver/host/Wdm.h"

namespace lumatrace::host {

class Kernel;
class VirtualUsbDevice;
struct UserFile;
struct UserIo;

// Non-paged and paged pool: counts live blocks by tag and fails allocations on request.
class Pool {
  public:
    static constexpr ULONG kUsbdTag = 0x44425355;  // 'USBD': blocks the USBD routines allocate

    explicit Pool(Kernel& kernel) : kernel_(kernel) {}
    size_t outstanding() const;
    size_t outstanding(ULONG tag) const;
    size_t allocationsMade(ULONG tag) const;
    // After `skip` more successful allocations with `tag`, the next `count` ones fail.
    void failAllocations(ULONG tag, unsigned skip = 0, unsigned count = 1);
    void clearFailures();

  private:
    Kernel& kernel_;
};

// The registry, as far as existence of keys goes.
class Registry {
  public:
    explicit Registry(Kernel& kernel) : kernel_(kernel) {}
    void createKey(const std::wstring& path);
    void deleteKey(const std::wstring& path);
    size_t openHandles() const;

  private:
    Kernel& kernel_;
};

// One device the bus reports, and its device stack.
class DeviceNode {
  public:
    PDEVICE_OBJECT pdo() const { return pdo_; }
    NTSTATUS addStatus() const { return addStatus_; }
    NTSTATUS startStatus() const { return startStatus_; }
    bool started() const { return started_; }
    bool surpriseRemoved() const { return surpriseRemoved_; }
    bool removed() const { return removed_; }
    VirtualUsbDevice& usb() const { return *usb_; }
    UsbTrafficCounts traffic() const;

  private:
    friend class Kernel;
    friend class PnpManager;
    friend class UsbBus;
    friend class PowerManager;
    friend class HostKernel;
    PDEVICE_OBJECT pdo_ = nullptr;
    VirtualUsbDevice* usb_ = nullptr;
    NTSTATUS addStatus_ = STATUS_NOT_SUPPORTED;
    NTSTATUS startStatus_ = STATUS_NOT_SUPPORTED;
    bool attached_ = false;  // a function driver is attached
    bool started_ = false;
    bool surpriseRemoved_ = false;
    bool removed_ = false;
    bool removalOwed_ = false;  // remove-device to send once no file is open on the stack
};

// Plug and play manager: one request at a time per call, or the sequences Windows uses.
class PnpManager {
  public:
    explicit PnpManager(Kernel& kernel) : kernel_(kernel) {}
    NTSTATUS startDevice(DeviceNode& node);
    NTSTATUS queryRemoveDevice(DeviceNode& node);
    NTSTATUS cancelRemoveDevice(DeviceNode& node);
    NTSTATUS removeDevice(DeviceNode& node);
    NTSTATUS queryStopDevice(DeviceNode& node);
    NTSTATUS cancelStopDevice(DeviceNode& node);
    NTSTATUS stopDevice(DeviceNode& node);
    NTSTATUS surpriseRemoval(DeviceNode& node);
    // Any other minor function, sent as the PnP manager would (status preset to not-supported).
    NTSTATUS sendRequest(DeviceNode& node, UCHAR minorFunction);
    // Disable in the device manager: query-remove; cancel-remove when refused; else remove.
    NTSTATUS disable(DeviceNode& node);
    // Resource rebalance: query-stop; cancel-stop when refused; else stop and start again.
    NTSTATUS rebalance(DeviceNode& node);

  private:
    friend class Kernel;
    Kernel& kernel_;
};

// Power manager: system transitions and the device power requests drivers ask for.
class PowerManager {
  public:
    explicit PowerManager(Kernel& kernel) : kernel_(kernel) {}
    // Moves the system to `state`: to sleep, every stack is queried first (a refusal cancels the
    // transition with a set-power to the current state and is returned); waking sets directly.
    NTSTATUS setSystemState(SYSTEM_POWER_STATE state);
    SYSTEM_POWER_STATE systemState() const;
    // The state the device object's driver last reported with PoSetPowerState.
    DEVICE_POWER_STATE reportedDeviceState(PDEVICE_OBJECT device) const;
    // The next PoRequestPowerIrp call fails with `status`.
    void refuseNextRequest(NTSTATUS status);
    // One system power request to one stack (no query/cancel sequence).
    NTSTATUS sendSystemRequest(DeviceNode& node, UCHAR minorFunction, SYSTEM_POWER_STATE state);

    // The real power manager may send the next request as soon as one has completed, while the
    // drivers that completed it (in another thread) have not yet returned from doing so. This
    // holds that thread open: the thread that completes the next system power request sent from
    // a thread other than itself is held right after the requester has been told, until
    // releaseCompletingThread() (or settle()). A request completed in the thread that sent it
    // is not held, and the hold stays armed for the next one.
    void holdNextCompletingThread();
    // Whether a completing thread is being held now.
    bool completingThreadHeld() const;
    void releaseCompletingThread();

  private:
    Kernel& kernel_;
};

// The virtual USB bus and its bus driver.
class UsbBus {
  public:
    explicit UsbBus(Kernel& kernel) : kernel_(kernel) {}
    // A device is plugged in: the bus creates its physical device object and the PnP manager
    // adds the function driver and starts the device. The function must outlive the node.
    DeviceNode& plug(const UsbDeviceSpec& spec, UsbFunction& function);
    // The device is pulled out: transfers in flight and later ones fail with the bus's status,
    // the PnP manager sends surprise-removal, and remove-device once no file is open on it.
    void unplug(DeviceNode& node);
    // Only the electrical part of unplug: the bus fails transfers; the PnP manager is not told.
    void disconnect(DeviceNode& node);
    // The device pulled itself out (its function reported it gone): as unplug, but the PnP
    // manager's part runs on the PnP manager's own thread, as after the hub reports a dead port.
    // HostKernel::settle() waits for it.
    void reportRemoval(DeviceNode& node);

    static constexpr NTSTATUS kDeviceGoneStatus = STATUS_DEVICE_NOT_CONNECTED;
    static constexpr NTSTATUS kStallStatus = STATUS_UNSUCCESSFUL;
    static constexpr NTSTATUS kCancelledStatus = STATUS_CANCELLED;

  private:
    Kernel& kernel_;
};

// The user-mode front door of the I/O manager. Statuses are NTSTATUS values; `bytes` receives
// the request's information field.
class IoManager {
  public:
    explicit IoManager(Kernel& kernel) : kernel_(kernel) {}
    // "\\.\Name" (through the symbolic links) or "\Device\Name".
    NTSTATUS createFile(const std::wstring& path, UserFile** file);
    NTSTATUS closeHandle(UserFile* file);
    NTSTATUS readFile(UserFile* file, void* buffer, ULONG length, ULONG* bytes);
    NTSTATUS writeFile(UserFile* file, const void* buffer, ULONG length, ULONG* bytes);
    NTSTATUS deviceIoControl(UserFile* file, ULONG code, const void* in, ULONG inLength, void* out,
                             ULONG outLength, ULONG* bytes);
    NTSTATUS flushFileBuffers(UserFile* file);

    // Overlapped requests: start, then wait (which also releases the request).
    UserIo* readFileAsync(UserFile* file, void* buffer, ULONG length);
    UserIo* writeFileAsync(UserFile* file, const void* buffer, ULONG length);
    bool ioDone(UserIo* io) const;
    NTSTATUS waitIo(UserIo* io, ULONG* bytes);
    // Cancels every request of this handle that is still in progress.
    void cancelIo(UserFile* file);

    // The function driver's next IoCreateDevice / IoCreateSymbolicLink call fails with
    // `status`.
    void failNextDeviceCreation(NTSTATUS status);
    void failNextSymbolicLink(NTSTATUS status);

    bool deviceObjectExists(const std::wstring& ntName) const;
    std::vector<std::wstring> symbolicLinkNames() const;  // as the drivers created them

  private:
    Kernel& kernel_;
};

class HostKernel {
  public:
    HostKernel();
    ~HostKernel();
    HostKernel(const HostKernel&) = delete;
    HostKernel& operator=(const HostKernel&) = delete;

    // Loads a driver under a service name: DriverEntry runs with
    // \Registry\Machine\System\CurrentControlSet\Services\<service> as its registry path.
    NTSTATUS loadDriver(PDRIVER_INITIALIZE entry, const std::wstring& service);
    // Removes remaining devices and calls the driver's unload routine.
    void unloadDriver();
    // Lets a held completing thread go (PowerManager::holdNextCompletingThread) and waits until
    // the kernel's worker threads and the bus have nothing left to do.
    void settle();
    // Tears everything down; returns what leaked, one line each, empty when clean.
    std::string shutdown();

    Pool& pool();
    Registry& registry();
    PnpManager& pnp();
    PowerManager& power();
    UsbBus& bus();
    IoManager& io();

  private:
    std::unique_ptr<Kernel> kernel_;
};

// Driver-independent names of kernel objects, for messages.
std::string statusName(NTSTATUS status);

}  // namespace lumatrace::host
