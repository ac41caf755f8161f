// The one place where threads of the platform block, and the clock they block on.
//
// Every synchronisation object of the platform (events, threads, critical
// sections, message queues, overlapped completions) keeps its state under
// sched::Lock() and waits with sched::WaitLocked. With the real clock that is a
// condition variable per waiting thread with a steady-clock deadline, woken
// only by a change that satisfies its wait. With the virtual clock only
// one registered thread runs at a time: a waiting thread hands the baton to the
// oldest thread whose wait became satisfied, and when none is, time jumps
// straight to the nearest deadline. Threaded code thus runs the same way on
// every run, and no test waits real time.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

namespace platform::sched {

using Millis = std::uint64_t;
constexpr Millis kForever = UINT64_MAX;

std::mutex& Lock();

// Milliseconds since the clock started; callable with or without Lock() held.
Millis Now();

// With Lock() held through lk: returns true as soon as satisfied() holds, false
// when the deadline (absolute, in Now() milliseconds) passes first.
// satisfied() is evaluated under Lock(), possibly by another thread.
bool WaitLocked(std::unique_lock<std::mutex>& lk, const std::function<bool()>& satisfied, Millis deadline);

// With Lock() held: state changed; waiters whose condition now holds become ready.
void NotifyLocked();

// Convenience: a deadline that many milliseconds from now (INFINITE-style 0xFFFFFFFF is for ever).
Millis DeadlineAfter(std::uint32_t ms);

bool IsVirtual();

// One step of a wait for something outside the platform (a device, a
// socket), at most until deadline. probe(ms) asks the system whether it is
// ready, blocking for at most ms. With the real clock: one probe of at most
// slice ms, so that the caller looks at its own flags between steps. With
// the virtual clock: a probe that does not block and, when it finds nothing,
// one tick of that clock in which the other threads run; the outside world
// is looked at between ticks. Without a probe (nothing can come but time),
// the step only lets that time pass. Without Lock() held.
void AwaitOutside(const std::function<bool(int ms)>& probe, Millis deadline, Millis slice);

// Under the virtual clock: lets every other thread that is ready at this
// moment run first; returns whether any did. Without Lock() held.
bool YieldToReady();

// A thread record under the virtual scheduler; opaque outside scheduler.cpp.
struct Slot;

// Called by CreateThread, with Lock() held, before the new OS thread starts:
// registers the thread as ready (it runs once the creator waits).
Slot* RegisterNewThreadLocked();
// The OS thread could not be started: takes the registration back.
void ForgetNewThreadLocked(Slot* slot);
// First thing the new OS thread does, with Lock() held: wait for its turn.
void EnterThreadLocked(Slot* slot);
// Last thing a platform thread does, with Lock() held: leave the scheduler.
void LeaveThreadLocked();

}  // namespace platform::sched

namespace platform::clock {

// Switches to the virtual clock (time 0) with the calling thread registered as
// the running one. No other platform thread may exist. Used by tests and tools.
void UseVirtual();
// Back to the real clock; every other platform thread must have ended.
void UseReal();

}  // namespace platform::clock
