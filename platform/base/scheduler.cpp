#include "platform/base/scheduler.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

namespace platform::sched {

struct Slot {
    enum class State { Running, Waiting, Ready };
    std::condition_variable cv;
    State state = State::Ready;
    const std::function<bool()>* satisfied = nullptr;
    Millis deadline = kForever;
};

namespace {

std::mutex g_lock;

// A thread waiting on the real clock; a change wakes only the waiters it satisfies.
struct RealWaiter {
    std::condition_variable cv;
    const std::function<bool()>* satisfied;
};
std::vector<RealWaiter*> g_realWaiters;
const auto g_realEpoch = std::chrono::steady_clock::now();

std::atomic<bool> g_virtual{false};
std::atomic<Millis> g_virtualNow{0};
// Every registered thread in registration order, which is also the order in
// which waiters that become ready together get the baton.
std::vector<Slot*> g_slots;
std::deque<Slot*> g_ready;    // satisfied waiters and new threads, oldest first
Slot* g_running = nullptr;    // the thread holding the baton
thread_local Slot* t_slot = nullptr;

void MakeReady(Slot* s) {
    s->state = Slot::State::Ready;
    g_ready.push_back(s);
}

[[noreturn]] void Deadlock() {
    std::fprintf(stderr, "virtual clock: deadlock at %llu ms: every thread waits with no deadline\n",
                 static_cast<unsigned long long>(g_virtualNow.load()));
    std::abort();
}

// The running thread gives up the baton: to the oldest ready thread, else to
// the waiters of the nearest deadline once time has moved there.
void PassBaton() {
    g_running = nullptr;
    if (g_ready.empty()) {
        Millis next = kForever;
        for (Slot* s : g_slots)
            if (s->state == Slot::State::Waiting) next = std::min(next, s->deadline);
        if (next == kForever) {
            bool anyWaiting = std::any_of(g_slots.begin(), g_slots.end(),
                                          [](Slot* s) { return s->state == Slot::State::Waiting; });
            if (anyWaiting) Deadlock();
            return;  // no thread left
        }
        if (next > g_virtualNow.load()) g_virtualNow.store(next);
        for (Slot* s : g_slots)
            if (s->state == Slot::State::Waiting && s->deadline <= g_virtualNow.load())
                MakeReady(s);
    }
    g_running = g_ready.front();
    g_ready.pop_front();
    g_running->state = Slot::State::Running;
    g_running->cv.notify_one();
}

void AwaitBaton(std::unique_lock<std::mutex>& lk, Slot* me) {
    me->cv.wait(lk, [me] { return g_running == me; });
}

Slot* CurrentSlotOrDie() {
    if (!t_slot) {
        std::fprintf(stderr, "virtual clock: a thread the platform did not start tried to wait\n");
        std::abort();
    }
    return t_slot;
}

}  // namespace

std::mutex& Lock() { return g_lock; }

bool IsVirtual() { return g_virtual.load(); }

Millis Now() {
    if (g_virtual.load()) return g_virtualNow.load();
    auto d = std::chrono::steady_clock::now() - g_realEpoch;
    return static_cast<Millis>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
}

Millis DeadlineAfter(std::uint32_t ms) {
    if (ms == 0xFFFFFFFFu) return kForever;
    return Now() + ms;
}

bool WaitLocked(std::unique_lock<std::mutex>& lk, const std::function<bool()>& satisfied, Millis deadline) {
    if (satisfied()) return true;
    if (!g_virtual.load()) {
        RealWaiter me{{}, &satisfied};
        g_realWaiters.push_back(&me);
        bool result = true;
        while (!satisfied()) {
            if (deadline == kForever) {
                me.cv.wait(lk);
            } else {
                auto when = g_realEpoch + std::chrono::milliseconds(deadline);
                if (me.cv.wait_until(lk, when) == std::cv_status::timeout) {
                    result = satisfied();
                    break;
                }
            }
        }
        g_realWaiters.erase(std::find(g_realWaiters.begin(), g_realWaiters.end(), &me));
        return result;
    }
    Slot* me = CurrentSlotOrDie();
    // Asked again each time the baton comes back: a thread made ready before
    // this one may have taken what woke it (a mutex, an auto-reset event).
    while (!satisfied()) {
        if (deadline <= g_virtualNow.load()) return false;
        me->state = Slot::State::Waiting;
        me->satisfied = &satisfied;
        me->deadline = deadline;
        PassBaton();
        AwaitBaton(lk, me);
        me->satisfied = nullptr;
    }
    return true;
}

void AwaitOutside(const std::function<bool(int ms)>& probe, Millis deadline, Millis slice) {
    constexpr Millis VIRTUAL_TICK_MS = 10;
    Millis now = Now();
    if (now >= deadline) return;
    bool virtualClock = g_virtual.load();
    if (probe && !virtualClock) {
        probe(static_cast<int>(std::min(deadline - now, slice)));
        return;
    }
    if (probe && probe(0)) return;
    static const std::function<bool()> never = [] { return false; };
    std::unique_lock<std::mutex> lk(g_lock);
    WaitLocked(lk, never, std::min(deadline, now + (virtualClock ? VIRTUAL_TICK_MS : slice)));
}

bool YieldToReady() {
    std::unique_lock<std::mutex> lk(g_lock);
    if (!g_virtual.load() || g_ready.empty()) return false;
    Slot* me = CurrentSlotOrDie();
    MakeReady(me);
    PassBaton();
    AwaitBaton(lk, me);
    return true;
}

void NotifyLocked() {
    if (!g_virtual.load()) {
        for (RealWaiter* w : g_realWaiters)
            if ((*w->satisfied)()) w->cv.notify_one();
        return;
    }
    for (Slot* s : g_slots)
        if (s->state == Slot::State::Waiting && (*s->satisfied)()) MakeReady(s);
}

Slot* RegisterNewThreadLocked() {
    if (!g_virtual.load()) return nullptr;
    auto* s = new Slot;
    g_slots.push_back(s);
    g_ready.push_back(s);
    return s;
}

void ForgetNewThreadLocked(Slot* slot) {
    if (!slot) return;
    g_slots.erase(std::find(g_slots.begin(), g_slots.end(), slot));
    g_ready.erase(std::find(g_ready.begin(), g_ready.end(), slot));
    delete slot;
}

void EnterThreadLocked(Slot* slot) {
    if (!slot) return;
    t_slot = slot;
    std::unique_lock<std::mutex> lk(g_lock, std::adopt_lock);
    AwaitBaton(lk, slot);
    lk.release();
}

void LeaveThreadLocked() {
    Slot* me = t_slot;
    if (!me) return;
    t_slot = nullptr;
    g_slots.erase(std::find(g_slots.begin(), g_slots.end(), me));
    delete me;
    PassBaton();
}

}  // namespace platform::sched

namespace platform::clock {

using namespace platform::sched;

void UseVirtual() {
    std::lock_guard<std::mutex> lk(Lock());
    if (g_virtual.load()) return;
    g_virtualNow.store(0);
    auto* s = new Slot;
    s->state = Slot::State::Running;
    g_slots.push_back(s);
    g_running = s;
    t_slot = s;
    g_virtual.store(true);
}

void UseReal() {
    std::lock_guard<std::mutex> lk(Lock());
    if (!g_virtual.load()) return;
    if (g_slots.size() != 1 || g_slots.front() != t_slot) {
        std::fprintf(stderr, "virtual clock: switched off while other threads still run\n");
        std::abort();
    }
    delete t_slot;
    t_slot = nullptr;
    g_slots.clear();
    g_ready.clear();
    g_running = nullptr;
    g_virtual.store(false);
}

}  // namespace platform::clock
