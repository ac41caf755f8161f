#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>

#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/wdm/ke.h"

using namespace platform;

namespace {

constexpr UCHAR kNotification = 0;
constexpr UCHAR kSynchronization = 1;
constexpr UCHAR kMutex = 2;

thread_local KIRQL t_irql = PASSIVE_LEVEL;

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

}  // namespace

KIRQL KeGetCurrentIrql() { return t_irql; }

void KeInitializeEvent(PKEVENT event, EVENT_TYPE type, BOOLEAN state) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    event->Header.Type = type == NotificationEvent ? kNotification : kSynchronization;
    event->Header.SignalState = state ? 1 : 0;
}

LONG KeSetEvent(PKEVENT event, LONG, BOOLEAN) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    LONG previous = event->Header.SignalState;
    event->Header.SignalState = 1;
    sched::NotifyLocked();
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
    mutex->OwnerThread = 0;
}

LONG KeReleaseMutex(PKMUTEX mutex, BOOLEAN) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    if (mutex->OwnerThread != GetCurrentThreadId()) Fault("a mutex was released by a thread that does not own it");
    LONG previous = mutex->Header.SignalState;
    if (++mutex->Header.SignalState == 1) {
        mutex->OwnerThread = 0;
        sched::NotifyLocked();
    }
    return previous;
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER timeout) {
    auto* header = static_cast<DISPATCHER_HEADER*>(object);
    bool zeroWait = timeout && timeout->QuadPart == 0;
    if (t_irql > APC_LEVEL && !zeroWait) Fault("a thread waited at raised IRQL (holding a spin lock)");
    DWORD me = GetCurrentThreadId();
    std::unique_lock<std::mutex> lk(sched::Lock());
    std::function<bool()> ready = [header, me] {
        if (header->Type == kMutex)
            return header->SignalState > 0 || static_cast<KMUTEX*>(static_cast<void*>(header))->OwnerThread == me;
        return header->SignalState != 0;
    };
    if (!sched::WaitLocked(lk, ready, DeadlineOf(timeout))) return STATUS_TIMEOUT;
    if (header->Type == kMutex) {
        static_cast<KMUTEX*>(static_cast<void*>(header))->OwnerThread = me;
        header->SignalState--;
    } else if (header->Type == kSynchronization) {
        header->SignalState = 0;
    }
    return STATUS_SUCCESS;
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
