// Kernel core of the host model: bug checks, IRQL, spin locks, dispatcher objects, pool,
// strings, registry and the worker thread.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#if defined(__linux__)
#include <pthread.h>
#endif

#include "driver/host/KernelState.h"

namespace lumatrace::host {

namespace {
Kernel* g_kernel = nullptr;
std::atomic<ULONG_PTR> g_nextThreadId{1};
thread_local ThreadState t_thread;

// Spin-lock words hold the owner's id so that recursion and foreign releases are caught.
void acquireRaw(PKSPIN_LOCK lock, ULONG_PTR id) {
    std::atomic_ref<ULONG_PTR> word(*lock);
    for (;;) {
        ULONG_PTR expected = 0;
        if (word.compare_exchange_weak(expected, id, std::memory_order_acquire))
            return;
        if (expected == id)
            BugCheck("spin lock %p acquired again by its owner (deadlock)", lock);
        std::this_thread::yield();
    }
}

void releaseRaw(PKSPIN_LOCK lock, ULONG_PTR id) {
    std::atomic_ref<ULONG_PTR> word(*lock);
    ULONG_PTR owner = word.load(std::memory_order_relaxed);
    if (owner != id)
        BugCheck("spin lock %p released by a thread that does not hold it", lock);
    word.store(0, std::memory_order_release);
}
}  // namespace

void BugCheck(const char* format, ...) {
    std::fprintf(stderr, "*** host kernel bug check: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    std::abort();
}

ThreadState& currentThread() {
    if (t_thread.id == 0)
        t_thread.id = g_nextThreadId.fetch_add(1) * 2 + 1;
    return t_thread;
}

void checkThreadIsClean(const char* where) {
    ThreadState& t = currentThread();
    if (t.irql != PASSIVE_LEVEL || t.spinLocksHeld != 0 || t.cancelLockHeld)
        BugCheck("%s left IRQL %d with %d spin lock(s)%s held", where, t.irql, t.spinLocksHeld,
                 t.cancelLockHeld ? " and the cancel spin lock" : "");
}

Kernel& kernel() {
    if (!g_kernel)
        BugCheck("kernel service called with no HostKernel in existence");
    return *g_kernel;
}

std::wstring toWString(const UNICODE_STRING* s) {
    if (!s || !s->Buffer)
        return {};
    return std::wstring(s->Buffer, s->Length / sizeof(WCHAR));
}

std::wstring lowerCase(std::wstring s) {
    for (auto& c : s)
        c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::string narrow(const std::wstring& s) {
    std::string out;
    for (wchar_t c : s)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

Kernel::Kernel() {
    if (g_kernel)
        BugCheck("a second HostKernel was created while one exists");
    g_kernel = this;
    irpLookaside.reserve(kLookasideDepth);
    mdlLookaside.reserve(kLookasideDepth);
    worker.start();
    pnpWorker.start();
}

Kernel::~Kernel() {
    pnpWorker.stop();
    worker.stop();
    for (HostIrp* memory : irpLookaside)
        ::operator delete(static_cast<void*>(memory));
    for (PMDL mdl : mdlLookaside)
        delete mdl;
    for (auto& list : poolLookaside)
        for (void* block : list)
            std::free(block);
    g_kernel = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Worker

void Worker::start() {
    std::lock_guard lock(m_);
    running_ = true;
    thread_ = std::thread([this] { run(); });
}

void Worker::stop() {
    {
        std::lock_guard lock(m_);
        if (!running_)
            return;
        stopping_ = true;
    }
    cv_.notify_all();
    thread_.join();
    running_ = false;
}

void Worker::post(std::function<void()> work) {
    {
        std::lock_guard lock(m_);
        queue_.push_back(std::move(work));
    }
    cv_.notify_all();
}

void Worker::drain() {
    std::unique_lock lock(m_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void Worker::run() {
#if defined(__linux__)
    // Named so that a look at the process's threads tells the kernel model from the program.
    pthread_setname_np(pthread_self(), "vi-kernel-work");
#endif
    std::unique_lock lock(m_);
    for (;;) {
        cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty())
            break;
        auto work = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        work();
        checkThreadIsClean("a work item");
        lock.lock();
        busy_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
    idle_.notify_all();
}

// ---------------------------------------------------------------------------------------------
// Pool API

size_t Pool::outstanding() const {
    std::lock_guard lock(kernel_.poolLock);
    return kernel_.pool.size();
}

size_t Pool::outstanding(ULONG tag) const {
    std::lock_guard lock(kernel_.poolLock);
    size_t n = 0;
    for (auto& [p, block] : kernel_.pool)
        n += block.tag == tag;
    return n;
}

size_t Pool::allocationsMade(ULONG tag) const {
    std::lock_guard lock(kernel_.poolLock);
    auto it = kernel_.poolAllocationsMade.find(tag);
    return it == kernel_.poolAllocationsMade.end() ? 0 : it->second;
}

void Pool::failAllocations(ULONG tag, unsigned skip, unsigned count) {
    std::lock_guard lock(kernel_.poolLock);
    kernel_.poolFailures[tag] = FailurePlan{skip, count};
}

void Pool::clearFailures() {
    std::lock_guard lock(kernel_.poolLock);
    kernel_.poolFailures.clear();
}

// ---------------------------------------------------------------------------------------------
// Registry API

void Registry::createKey(const std::wstring& path) {
    std::lock_guard lock(kernel_.registryLock);
    kernel_.registryKeys.insert(lowerCase(path));
}

void Registry::deleteKey(const std::wstring& path) {
    std::lock_guard lock(kernel_.registryLock);
    kernel_.registryKeys.erase(lowerCase(path));
}

size_t Registry::openHandles() const {
    std::lock_guard lock(kernel_.registryLock);
    return kernel_.registryHandles.size();
}

std::string statusName(NTSTATUS status) {
    static const std::map<NTSTATUS, const char*> names = {
        {STATUS_SUCCESS, "STATUS_SUCCESS"},
        {STATUS_PENDING, "STATUS_PENDING"},
        {STATUS_TIMEOUT, "STATUS_TIMEOUT"},
        {STATUS_DEVICE_BUSY, "STATUS_DEVICE_BUSY"},
        {STATUS_UNSUCCESSFUL, "STATUS_UNSUCCESSFUL"},
        {STATUS_INVALID_HANDLE, "STATUS_INVALID_HANDLE"},
        {STATUS_INVALID_PARAMETER, "STATUS_INVALID_PARAMETER"},
        {STATUS_NO_SUCH_DEVICE, "STATUS_NO_SUCH_DEVICE"},
        {STATUS_INVALID_DEVICE_REQUEST, "STATUS_INVALID_DEVICE_REQUEST"},
        {STATUS_MORE_PROCESSING_REQUIRED, "STATUS_MORE_PROCESSING_REQUIRED"},
        {STATUS_ACCESS_DENIED, "STATUS_ACCESS_DENIED"},
        {STATUS_OBJECT_NAME_NOT_FOUND, "STATUS_OBJECT_NAME_NOT_FOUND"},
        {STATUS_OBJECT_NAME_COLLISION, "STATUS_OBJECT_NAME_COLLISION"},
        {STATUS_DELETE_PENDING, "STATUS_DELETE_PENDING"},
        {STATUS_INSUFFICIENT_RESOURCES, "STATUS_INSUFFICIENT_RESOURCES"},
        {STATUS_DEVICE_NOT_CONNECTED, "STATUS_DEVICE_NOT_CONNECTED"},
        {STATUS_NOT_SUPPORTED, "STATUS_NOT_SUPPORTED"},
        {STATUS_CANCELLED, "STATUS_CANCELLED"},
        {STATUS_INVALID_DEVICE_STATE, "STATUS_INVALID_DEVICE_STATE"},
    };
    auto it = names.find(status);
    if (it != names.end())
        return it->second;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(status));
    return buffer;
}

}  // namespace lumatrace::host

using namespace lumatrace::host;

extern "C" {

// ---------------------------------------------------------------------------------------------
// Bug checks and IRQL

VOID KeBugCheckEx(ULONG BugCheckCode, ULONG_PTR P1, ULONG_PTR P2, ULONG_PTR P3, ULONG_PTR P4) {
    if (BugCheckCode == 0x0000FFFF)
        BugCheck("assertion failed: %s (%s:%lu)", reinterpret_cast<const char*>(P1),
                 reinterpret_cast<const char*>(P2), static_cast<unsigned long>(P3));
    BugCheck("KeBugCheckEx(0x%X, %lx, %lx, %lx, %lx)", BugCheckCode, static_cast<unsigned long>(P1),
             static_cast<unsigned long>(P2), static_cast<unsigned long>(P3),
             static_cast<unsigned long>(P4));
}

KIRQL KeGetCurrentIrql(VOID) {
    return currentThread().irql;
}

VOID KeRaiseIrql(KIRQL NewIrql, PKIRQL OldIrql) {
    ThreadState& t = currentThread();
    if (NewIrql < t.irql)
        BugCheck("KeRaiseIrql to %d below the current IRQL %d", NewIrql, t.irql);
    *OldIrql = t.irql;
    t.irql = NewIrql;
}

VOID KeLowerIrql(KIRQL NewIrql) {
    ThreadState& t = currentThread();
    if (NewIrql > t.irql)
        BugCheck("KeLowerIrql to %d above the current IRQL %d", NewIrql, t.irql);
    if (NewIrql < DISPATCH_LEVEL && (t.spinLocksHeld > 0 || t.cancelLockHeld))
        BugCheck("IRQL lowered below DISPATCH_LEVEL while a spin lock is held");
    t.irql = NewIrql;
}

// ---------------------------------------------------------------------------------------------
// Spin locks

VOID KeInitializeSpinLock(PKSPIN_LOCK SpinLock) {
    *SpinLock = 0;
}

VOID KeAcquireSpinLock(PKSPIN_LOCK SpinLock, PKIRQL OldIrql) {
    ThreadState& t = currentThread();
    if (t.irql > DISPATCH_LEVEL)
        BugCheck("KeAcquireSpinLock above DISPATCH_LEVEL");
    *OldIrql = t.irql;
    t.irql = DISPATCH_LEVEL;
    acquireRaw(SpinLock, t.id);
    t.spinLocksHeld++;
}

VOID KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
    ThreadState& t = currentThread();
    releaseRaw(SpinLock, t.id);
    t.spinLocksHeld--;
    KeLowerIrql(NewIrql);
}

VOID KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK SpinLock) {
    ThreadState& t = currentThread();
    if (t.irql != DISPATCH_LEVEL)
        BugCheck("KeAcquireSpinLockAtDpcLevel called at IRQL %d, not DISPATCH_LEVEL", t.irql);
    acquireRaw(SpinLock, t.id);
    t.spinLocksHeld++;
}

VOID KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK SpinLock) {
    ThreadState& t = currentThread();
    if (t.irql != DISPATCH_LEVEL)
        BugCheck("KeReleaseSpinLockFromDpcLevel called at IRQL %d, not DISPATCH_LEVEL", t.irql);
    releaseRaw(SpinLock, t.id);
    t.spinLocksHeld--;
}

VOID IoAcquireCancelSpinLock(PKIRQL Irql) {
    ThreadState& t = currentThread();
    if (t.irql > DISPATCH_LEVEL)
        BugCheck("IoAcquireCancelSpinLock above DISPATCH_LEVEL");
    if (t.spinLocksHeld > 0)
        BugCheck(
            "cancel spin lock acquired while holding another spin lock "
            "(the cancel spin lock must be taken first)");
    *Irql = t.irql;
    t.irql = DISPATCH_LEVEL;
    acquireRaw(&kernel().cancelSpinLock, t.id);
    t.cancelLockHeld = true;
}

VOID IoReleaseCancelSpinLock(KIRQL Irql) {
    ThreadState& t = currentThread();
    if (!t.cancelLockHeld)
        BugCheck("IoReleaseCancelSpinLock without holding the cancel spin lock");
    releaseRaw(&kernel().cancelSpinLock, t.id);
    t.cancelLockHeld = false;
    KeLowerIrql(Irql);
}

// ---------------------------------------------------------------------------------------------
// Dispatcher objects

namespace {
constexpr UCHAR kNotificationEvent = 0;
constexpr UCHAR kSynchronizationEvent = 1;
constexpr UCHAR kMutant = 2;

void checkInitialised(const DISPATCHER_HEADER* header, const char* caller) {
    if (header->Initialized != 1)
        BugCheck("%s on an object that was never initialised", caller);
}
}  // namespace

VOID KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
    std::lock_guard lock(kernel().dispatcherLock);
    Event->Header.Type = Type == NotificationEvent ? kNotificationEvent : kSynchronizationEvent;
    Event->Header.Initialized = 1;
    Event->Header.SignalState = State ? 1 : 0;
}

LONG KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait) {
    (void)Increment;
    if (Wait)
        BugCheck("KeSetEvent with Wait = TRUE is not modelled");
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        BugCheck("KeSetEvent above DISPATCH_LEVEL");
    Kernel& k = kernel();
    std::lock_guard lock(k.dispatcherLock);
    checkInitialised(&Event->Header, "KeSetEvent");
    LONG previous = Event->Header.SignalState;
    Event->Header.SignalState = 1;
    k.dispatcherChanged.notify_all();
    return previous;
}

VOID KeClearEvent(PRKEVENT Event) {
    std::lock_guard lock(kernel().dispatcherLock);
    checkInitialised(&Event->Header, "KeClearEvent");
    Event->Header.SignalState = 0;
}

LONG KeResetEvent(PRKEVENT Event) {
    std::lock_guard lock(kernel().dispatcherLock);
    checkInitialised(&Event->Header, "KeResetEvent");
    LONG previous = Event->Header.SignalState;
    Event->Header.SignalState = 0;
    return previous;
}

LONG KeReadStateEvent(PRKEVENT Event) {
    std::lock_guard lock(kernel().dispatcherLock);
    checkInitialised(&Event->Header, "KeReadStateEvent");
    return Event->Header.SignalState;
}

VOID KeInitializeMutex(PRKMUTEX Mutex, ULONG Level) {
    std::lock_guard lock(kernel().dispatcherLock);
    Mutex->Header.Type = kMutant;
    Mutex->Header.Initialized = 1;
    Mutex->Header.SignalState = 1;
    Mutex->OwnerThread = 0;
    Mutex->RecursionCount = 0;
    Mutex->Level = Level;
}

LONG KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN Wait) {
    if (Wait)
        BugCheck("KeReleaseMutex with Wait = TRUE is not modelled");
    if (KeGetCurrentIrql() > APC_LEVEL)
        BugCheck("KeReleaseMutex above APC_LEVEL");
    Kernel& k = kernel();
    std::lock_guard lock(k.dispatcherLock);
    checkInitialised(&Mutex->Header, "KeReleaseMutex");
    if (Mutex->OwnerThread != currentThread().id)
        BugCheck("KeReleaseMutex by a thread that does not own the mutex");
    LONG previous = Mutex->Header.SignalState;
    if (--Mutex->RecursionCount == 0) {
        Mutex->OwnerThread = 0;
        Mutex->Header.SignalState = 1;
        k.dispatcherChanged.notify_all();
    }
    return previous;
}

NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason, KPROCESSOR_MODE WaitMode,
                               BOOLEAN Alertable, PLARGE_INTEGER Timeout) {
    (void)WaitReason;
    (void)WaitMode;
    (void)Alertable;
    ThreadState& t = currentThread();
    const bool poll = Timeout && Timeout->QuadPart == 0;
    if (t.irql > DISPATCH_LEVEL || (t.irql == DISPATCH_LEVEL && !poll))
        BugCheck("KeWaitForSingleObject at IRQL %d (waits need IRQL below DISPATCH_LEVEL)", t.irql);
    if (Timeout && Timeout->QuadPart > 0)
        BugCheck("absolute wait time-outs are not modelled");

    Kernel& k = kernel();
    auto* header = static_cast<DISPATCHER_HEADER*>(Object);
    std::unique_lock lock(k.dispatcherLock);
    checkInitialised(header, "KeWaitForSingleObject");
    auto satisfied = [&] {
        if (header->Type == kMutant) {
            auto* mutex = static_cast<PKMUTEX>(Object);
            return mutex->Header.SignalState != 0 || mutex->OwnerThread == t.id;
        }
        return header->SignalState != 0;
    };
    auto deadline = std::chrono::steady_clock::now();
    bool watchdog = !Timeout;
    if (Timeout)
        deadline += std::chrono::nanoseconds(-Timeout->QuadPart * 100);
    else
        deadline += std::chrono::seconds(k.waitWatchdogSeconds);
    while (!satisfied()) {
        if (k.dispatcherChanged.wait_until(lock, deadline) == std::cv_status::timeout &&
            !satisfied()) {
            if (watchdog)
                BugCheck("a wait without time-out has not ended after %d s (deadlock?)",
                         k.waitWatchdogSeconds);
            return STATUS_TIMEOUT;
        }
    }
    if (header->Type == kMutant) {
        auto* mutex = static_cast<PKMUTEX>(Object);
        mutex->OwnerThread = t.id;
        mutex->RecursionCount++;
        mutex->Header.SignalState = 0;
    } else if (header->Type == kSynchronizationEvent) {
        header->SignalState = 0;
    }
    return STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Pool

PVOID ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
    if (PoolType == PagedPool && KeGetCurrentIrql() >= DISPATCH_LEVEL)
        BugCheck("paged pool allocated at DISPATCH_LEVEL");
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        BugCheck("pool allocated above DISPATCH_LEVEL");
    if (Tag == 0)
        BugCheck("pool allocated with tag 0");
    Kernel& k = kernel();
    std::lock_guard lock(k.poolLock);
    auto plan = k.poolFailures.empty() ? k.poolFailures.end() : k.poolFailures.find(Tag);
    if (plan != k.poolFailures.end() && plan->second.count > 0) {
        if (plan->second.skip > 0) {
            plan->second.skip--;
        } else {
            plan->second.count--;
            return nullptr;
        }
    }
    void* p = nullptr;
    const size_t size = NumberOfBytes ? NumberOfBytes : 1;
    if (kLookasideLists && size <= Kernel::kPoolLookasideMax) {
        auto& list = k.poolLookaside[(size - 1) / 16];
        if (!list.empty()) {
            p = list.back();
            list.pop_back();
        } else {
            p = std::malloc((size + 15) & ~size_t(15));
        }
    } else {
        p = std::malloc(size);
    }
    if (!p)
        BugCheck("host out of memory");
    // Fresh pool is not zeroed; a recognisable pattern makes reads of uninitialised fields show.
    std::memset(p, 0xA5, NumberOfBytes);
    k.poolNodes.insert(k.pool, p, PoolBlock{NumberOfBytes, Tag});
    k.poolAllocationsMade[Tag]++;
    return p;
}

static void freePool(PVOID P, const ULONG* tag) {
    if (KeGetCurrentIrql() > DISPATCH_LEVEL)
        BugCheck("pool freed above DISPATCH_LEVEL");
    Kernel& k = kernel();
    std::lock_guard lock(k.poolLock);
    auto it = k.pool.find(P);
    if (it == k.pool.end())
        BugCheck("BAD_POOL_CALLER: freeing %p, which is not a pool block", P);
    if (tag && *tag != it->second.tag)
        BugCheck("BAD_POOL_CALLER: block %p freed with tag 0x%08X, allocated with 0x%08X", P, *tag,
                 it->second.tag);
    const size_t size = it->second.size ? it->second.size : 1;
    std::memset(P, 0xDD, it->second.size);
    k.poolNodes.erase(k.pool, it);
    if (kLookasideLists && size <= Kernel::kPoolLookasideMax) {
        auto& list = k.poolLookaside[(size - 1) / 16];
        if (list.size() < kLookasideDepth) {
            list.push_back(P);
            return;
        }
    }
    std::free(P);
}

VOID ExFreePoolWithTag(PVOID P, ULONG Tag) {
    freePool(P, &Tag);
}

VOID ExFreePool(PVOID P) {
    freePool(P, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Strings

VOID RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
    if (!SourceString) {
        DestinationString->Length = DestinationString->MaximumLength = 0;
        DestinationString->Buffer = nullptr;
        return;
    }
    size_t length = std::wcslen(SourceString) * sizeof(WCHAR);
    if (length > 0xFFFC)
        BugCheck("RtlInitUnicodeString: string too long");
    DestinationString->Length = static_cast<USHORT>(length);
    DestinationString->MaximumLength = static_cast<USHORT>(length + sizeof(WCHAR));
    DestinationString->Buffer = const_cast<PWSTR>(SourceString);
}

static NTSTATUS appendChars(PUNICODE_STRING Destination, const WCHAR* chars, size_t bytes) {
    if (Destination->Length + bytes > Destination->MaximumLength)
        return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(reinterpret_cast<char*>(Destination->Buffer) + Destination->Length, chars, bytes);
    Destination->Length = static_cast<USHORT>(Destination->Length + bytes);
    if (Destination->Length + sizeof(WCHAR) <= Destination->MaximumLength)
        Destination->Buffer[Destination->Length / sizeof(WCHAR)] = L'\0';
    return STATUS_SUCCESS;
}

VOID RtlCopyUnicodeString(PUNICODE_STRING DestinationString, PCUNICODE_STRING SourceString) {
    DestinationString->Length = 0;
    if (!SourceString)
        return;
    size_t bytes = SourceString->Length;
    if (bytes > DestinationString->MaximumLength)
        bytes = DestinationString->MaximumLength;
    appendChars(DestinationString, SourceString->Buffer, bytes);
}

NTSTATUS RtlAppendUnicodeToString(PUNICODE_STRING Destination, PCWSTR Source) {
    if (!Source)
        return STATUS_SUCCESS;
    return appendChars(Destination, Source, std::wcslen(Source) * sizeof(WCHAR));
}

NTSTATUS RtlAppendUnicodeStringToString(PUNICODE_STRING Destination, PCUNICODE_STRING Source) {
    return appendChars(Destination, Source->Buffer, Source->Length);
}

NTSTATUS RtlIntegerToUnicodeString(ULONG Value, ULONG Base, PUNICODE_STRING String) {
    if (Base == 0)
        Base = 10;
    if (Base != 2 && Base != 8 && Base != 10 && Base != 16)
        return STATUS_INVALID_PARAMETER;
    WCHAR digits[33];
    int n = 0;
    do {
        ULONG d = Value % Base;
        digits[n++] = static_cast<WCHAR>(d < 10 ? L'0' + d : L'A' + d - 10);
        Value /= Base;
    } while (Value);
    // Room for the terminating null is required, as the kernel's routine requires it.
    if ((n + 1) * sizeof(WCHAR) > String->MaximumLength)
        return static_cast<NTSTATUS>(0x80000005L);
    for (int i = 0; i < n; ++i)
        String->Buffer[i] = digits[n - 1 - i];
    String->Buffer[n] = L'\0';
    String->Length = static_cast<USHORT>(n * sizeof(WCHAR));
    return STATUS_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Registry

NTSTATUS ZwOpenKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                   POBJECT_ATTRIBUTES ObjectAttributes) {
    (void)DesiredAccess;
    if (KeGetCurrentIrql() != PASSIVE_LEVEL)
        BugCheck("ZwOpenKey above PASSIVE_LEVEL");
    if (!ObjectAttributes || ObjectAttributes->Length != sizeof(OBJECT_ATTRIBUTES))
        BugCheck("ZwOpenKey with uninitialised object attributes");
    if (ObjectAttributes->RootDirectory)
        BugCheck("relative registry opens are not modelled");
    Kernel& k = kernel();
    std::lock_guard lock(k.registryLock);
    if (!k.registryKeys.count(lowerCase(toWString(ObjectAttributes->ObjectName))))
        return STATUS_OBJECT_NAME_NOT_FOUND;
    void* handle = new char;
    k.registryHandles.insert(handle);
    *KeyHandle = handle;
    return STATUS_SUCCESS;
}

NTSTATUS ZwClose(HANDLE Handle) {
    Kernel& k = kernel();
    std::lock_guard lock(k.registryLock);
    if (!k.registryHandles.erase(Handle))
        return STATUS_INVALID_HANDLE;
    delete static_cast<char*>(Handle);
    return STATUS_SUCCESS;
}

}  // extern "C"
