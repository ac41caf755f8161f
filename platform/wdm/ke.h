// Kernel synchronisation: IRQL, events, mutexes, spin locks, waits and delays
// on the platform clock, interlocked operations. Time-outs and intervals are in
// 100 ns units: negative relative, positive absolute since the clock started.
#pragma once

#include "platform/wdm/nt_types.h"

constexpr KIRQL PASSIVE_LEVEL = 0;
constexpr KIRQL APC_LEVEL = 1;
constexpr KIRQL DISPATCH_LEVEL = 2;

// The calling thread's IRQL: PASSIVE_LEVEL unless it holds a spin lock.
KIRQL KeGetCurrentIrql();

enum EVENT_TYPE { NotificationEvent, SynchronizationEvent };
enum KWAIT_REASON { Executive = 0, Suspended = 5, UserRequest = 6 };

// A thread as the kernel knows it; only its identity is used.
struct KTHREAD;
using PKTHREAD = KTHREAD*;
PKTHREAD KeGetCurrentThread();

// One waiting thread's entry in an object's wait list.
struct KWAIT_BLOCK;

// Every object KeWaitForSingleObject takes begins with this header.
struct DISPATCHER_HEADER {
    UCHAR Type;  // the stand-in's object kind
    LONG SignalState;
    KWAIT_BLOCK* WaitListHead;  // the threads waiting for it, oldest first
};

struct KEVENT {
    DISPATCHER_HEADER Header;
};
using PKEVENT = KEVENT*;

struct KMUTEX {
    DISPATCHER_HEADER Header;
    PKTHREAD OwnerThread;  // NULL while free
};
using PKMUTEX = KMUTEX*;

void KeInitializeEvent(PKEVENT event, EVENT_TYPE type, BOOLEAN state);
// Returns the previous state (non-zero when it was signalled). Setting a
// notification event satisfies every waiter; a synchronization event with
// waiters satisfies the oldest and stays clear.
LONG KeSetEvent(PKEVENT event, LONG increment, BOOLEAN wait);
void KeClearEvent(PKEVENT event);
LONG KeResetEvent(PKEVENT event);
LONG KeReadStateEvent(PKEVENT event);

// A mutex starts free; waits acquire it, recursively for its owner.
void KeInitializeMutex(PKMUTEX mutex, ULONG level);
// Returns the previous state: 0 when this release freed the mutex, which then
// passes straight to its oldest waiter. Releasing a mutex the caller does not
// own aborts, where the platform raises STATUS_MUTEX_NOT_OWNED.
LONG KeReleaseMutex(PKMUTEX mutex, BOOLEAN wait);

// STATUS_SUCCESS when the object was signalled (acquired), STATUS_TIMEOUT when
// the time-out passed first; a NULL time-out waits for ever, a zero one only
// tests. Waiters are satisfied oldest first.
NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               PLARGE_INTEGER timeout);
// Returns STATUS_SUCCESS after the interval has passed on the platform clock.
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, PLARGE_INTEGER interval);

using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;
void KeInitializeSpinLock(PKSPIN_LOCK lock);
// Raises to DISPATCH_LEVEL and keeps the old IRQL in *oldIrql.
void KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL oldIrql);
void KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL newIrql);

// Each returns the resulting value (Increment, Decrement) or the previous one.
LONG InterlockedIncrement(LONG volatile* target);
LONG InterlockedDecrement(LONG volatile* target);
LONG InterlockedExchange(LONG volatile* target, LONG value);
LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand);
