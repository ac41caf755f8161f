#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>

#include "platform/base/scheduler.h"
#include "platform/wdm/ke.h"

using namespace platform;

// Identity only: each thread's instance has an address of its own.
struct KTHREAD {
    char unused;
};

struct KWAIT_BLOCK {
    KWAIT_BLOCK* Next;
    PKTHREAD Thread;
    bool Satisfied;  // set, under the clock's lock, by whoever hands the object over
};

namespace {

constexpr UCHAR kNotification = 0;
constexpr UCHAR kSynchronization = 1;
constexpr UCHAR kMutex = 2;

thread_local KIRQL t_irql = PASSIVE_LEVEL;
thread_local KTHREAD t_thread;

[[noreturn]] void Fault(const char* what) {
    std::fprintf(stderr, "kernel stand-in: %s\n", what);
    std::abort();
}

// 100 ns units, negative relative or positive absolute, to a clock deadline.
sched::Millis DeadlineOf(const LARGE_INTEGER* timeout) {
    if (!timeout) return sched::kForever;
    LONGLONG units = timeout->QuadPart;
    if (units < 0) {
        LONGLONG ms = (-units + 9999) / 10000;
        return sched::Now() + static_cast<sched::Millis>(ms);
    }
    return static_cast<sched::Millis>((units + 9999) / 10000);
}

KMUTEX* AsMutex(DISPATCHER_HEADER* header) { return static_cast<KMUTEX*>(static_cast<void*>(header)); }

// With the clock's lock held, as every function below.
bool SignalledFor(DISPATCHER_HEADER* header, PKTHREAD thread) {
    if (header->Type == kMutex) return header->SignalState > 0 || AsMutex(header)->OwnerThread == thread;
    return header->SignalState != 0;
}

void Acquire(DISPATCHER_HEADER* header, PKTHREAD thread) {
    if (header->Type == kMutex) {
        AsMutex(header)->OwnerThread = thread;
        header->SignalState--;
    } else if (header->Type == kSynchronization) {
        header->SignalState = 0;
    }
}

// The object became signalled: hands it to its waiters, oldest first, for as
// long as it stays signalled (all of them for a notification event, one for
// a synchronization event or a mutex).
void SatisfyWaiters(DISPATCHER_HEADER* header) {
    bool any = false;
    while (header->WaitListHead && SignalledFor(header, header->WaitListHead->Thread)) {
        KWAIT_BLOCK* block = header->WaitListHead;
        header->WaitListHead = block->Next;
        Acquire(header, block->Thread);
        block->Satisfied = true;
        any = true;
    }
    if (any) sched::NotifyLocked();
}

void Enqueue(DISPATCHER_HEADER* header, KWAIT_BLOCK* block) {
    KWAIT_BLOCK** link = &header->WaitListHead;
    while (*link) link = &(*link)->Next;
    *link = block;
}

void Unlink(DISPATCHER_HEADER* header, KWAIT_BLOCK* block) {
    for (KWAIT_BLOCK** link = &header->WaitListHead; *link; link = &(*link)->Next) {
        if (*link == block) {
            *link = block->Next;
            return;
        }
    }
}

}  // namespace

KIRQL KeGetCurrentIrql() { return t_irql; }

PKTHREAD KeGetCurrentThread() { return &t_thread; }

void KeInitializeEvent(PKEVENT event, EVENT_TYPE type, BOOLEAN state) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    event->Header.Type = type == NotificationEvent ? kNotification : kSynchronization;
    event->Header.SignalState = state ? 1 : 0;
    event->Header.WaitListHead = nullptr;
}

LONG KeSetEvent(PKEVENT event, LONG, BOOLEAN) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    LONG previous = event->Header.SignalState;
    event->Header.SignalState = 1;
    SatisfyWaiters(&event->Header);
    return previous;
}

void KeClearEvent(PKEVENT event) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    event->Header.SignalState = 0;
}

LONG KeResetEvent(PKEVENT event) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    LONG previous = event->Header.SignalState;
    event->Header.SignalState = 0;
    return previous;
}

LONG KeReadStateEvent(PKEVENT event) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return event->Header.SignalState;
}

void KeInitializeMutex(PKMUTEX mutex, ULONG) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    mutex->Header.Type = kMutex;
    mutex->Header.SignalState = 1;  // free; below 1 counts the owner's acquisitions
    mutex->Header.WaitListHead = nullptr;
    mutex->OwnerThread = nullptr;
}

LONG KeReleaseMutex(PKMUTEX mutex, BOOLEAN) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    if (mutex->OwnerThread != KeGetCurrentThread())
        Fault("a mutex was released by a thread that does not own it");
    LONG previous = mutex->Header.SignalState;
    if (++mutex->Header.SignalState == 1) {
        mutex->OwnerThread = nullptr;
        SatisfyWaiters(&mutex->Header);
    }
    return previous;
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER timeout) {
    auto* header = static_cast<DISPATCHER_HEADER*>(object);
    bool zeroWait = timeout && timeout->QuadPart == 0;
    if (t_irql > APC_LEVEL && !zeroWait) Fault("a thread waited at raised IRQL (holding a spin lock)");
    PKTHREAD me = KeGetCurrentThread();
    std::unique_lock<std::mutex> lk(sched::Lock());
    // Signalling hands an object to its waiters, so taking a signalled one jumps no queue.
    if (SignalledFor(header, me)) {
        Acquire(header, me);
        return STATUS_SUCCESS;
    }
    if (zeroWait) return STATUS_TIMEOUT;
    KWAIT_BLOCK block{nullptr, me, false};
    Enqueue(header, &block);
    const std::function<bool()> satisfied = [&block] { return block.Satisfied; };
    if (sched::WaitLocked(lk, satisfied, DeadlineOf(timeout))) return STATUS_SUCCESS;
    Unlink(header, &block);
    return STATUS_TIMEOUT;
}

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER interval) {
    if (t_irql > APC_LEVEL) Fault("a thread slept at raised IRQL (holding a spin lock)");
    std::unique_lock<std::mutex> lk(sched::Lock());
    static const std::function<bool()> never = [] { return false; };
    sched::WaitLocked(lk, never, DeadlineOf(interval));
    return STATUS_SUCCESS;
}

void KeInitializeSpinLock(PKSPIN_LOCK lock) { *lock = 0; }

void KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL oldIrql) {
    std::atomic_ref<KSPIN_LOCK> word(*lock);
    KSPIN_LOCK expected = 0;
    while (!word.compare_exchange_weak(expected, 1, std::memory_order_acquire)) expected = 0;
    *oldIrql = t_irql;
    t_irql = DISPATCH_LEVEL;
}

void KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL newIrql) {
    std::atomic_ref<KSPIN_LOCK> word(*lock);
    if (word.load() == 0) Fault("a spin lock was released that nobody held");
    word.store(0, std::memory_order_release);
    t_irql = newIrql;
}

LONG InterlockedIncrement(LONG volatile* target) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).fetch_add(1) + 1;
}

LONG InterlockedDecrement(LONG volatile* target) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).fetch_sub(1) - 1;
}

LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).exchange(value);
}

LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
    std::atomic_ref<LONG>(*const_cast<LONG*>(destination)).compare_exchange_strong(comparand, exchange);
    return comparand;
}
