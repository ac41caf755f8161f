// Posted and sent messages, timers and the waits of a thread's message loop.
//
// Every wait point here (GetMessage, a cross-thread SendMessage, the message
// waits) first serves the messages other threads have sent to this thread, so
// that two threads sending to each other never wait on each other.
#include "platform/ui/message_queue.h"

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

#include "platform/base/kernel_object.h"
#include "platform/base/win_base.h"
#include "platform/ui/backend.h"
#include "platform/ui/window_core.h"

namespace platform::ui {
namespace {

struct SentMessage {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT period;
    sched::Millis due;
    TIMERPROC proc;
};

struct ThreadQueue {
    std::deque<MSG> posted;
    std::deque<SentMessage*> inbox;
    std::vector<Timer> timers;  // in the order they were set
    bool quit = false;
    int quitCode = 0;
    bool woken = false;
};

// Under sched::Lock(). Never destroyed: a thread still ending while the
// process exits drops its queue after static destructors have run.
std::map<DWORD, ThreadQueue>& g_queues = *new std::map<DWORD, ThreadQueue>;

ThreadQueue& QueueLocked(DWORD threadId) { return g_queues[threadId]; }

// A thread's queue goes when the thread ends, as on Windows; threads come and
// go (a reader for every open of a port) and would leave theirs behind.
struct QueueOwner {
    DWORD threadId = 0;
    ~QueueOwner() {
        if (!threadId) return;
        std::lock_guard<std::mutex> lk(sched::Lock());
        g_queues.erase(threadId);
    }
};
thread_local QueueOwner t_queueOwner;

ThreadQueue& MyQueueLocked() {
    t_queueOwner.threadId = GetCurrentThreadId();
    return QueueLocked(t_queueOwner.threadId);
}

// Takes the earliest due timer as a WM_TIMER message; sets *next to the
// earliest deadline otherwise.
bool TakeDueTimerLocked(ThreadQueue& q, MSG* msg, sched::Millis* next) {
    sched::Millis now = sched::Now();
    Timer* due = nullptr;
    *next = sched::kForever;
    for (Timer& t : q.timers) {
        if (t.due <= now && (!due || t.due < due->due)) due = &t;
        *next = std::min(*next, t.due);
    }
    if (!due) return false;
    *msg = MSG{due->hwnd, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->proc), static_cast<DWORD>(now)};
    // One WM_TIMER however late the loop is: the next is a period after this one.
    due->due += due->period;
    if (due->due <= now) due->due = now + due->period;
    return true;
}

}  // namespace

bool ServeSentMessages() {
    bool served = false;
    for (;;) {
        SentMessage* sm;
        {
            std::lock_guard<std::mutex> lk(sched::Lock());
            ThreadQueue& q = MyQueueLocked();
            if (q.inbox.empty()) break;
            sm = q.inbox.front();
            q.inbox.pop_front();
        }
        LRESULT result = CallProc(sm->hwnd, sm->msg, sm->wParam, sm->lParam);
        {
            std::lock_guard<std::mutex> lk(sched::Lock());
            sm->result = result;
            sm->done = true;
            sched::NotifyLocked();
        }
        served = true;
    }
    return served;
}

void KillTimersOf(HWND hwnd) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    std::erase_if(MyQueueLocked().timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
}

void WaitForQueue(sched::Millis deadline) {
    std::unique_lock<std::mutex> lk(sched::Lock());
    ThreadQueue& q = MyQueueLocked();
    std::function<bool()> ready = [&q] { return !q.inbox.empty() || !q.posted.empty() || q.woken || q.quit; };
    sched::WaitLocked(lk, ready, deadline);
    q.woken = false;
}

std::size_t ThreadQueueCount() {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return g_queues.size();
}

void WakeQueues() {
    std::lock_guard<std::mutex> lk(sched::Lock());
    for (auto& [id, q] : g_queues) q.woken = true;
    sched::NotifyLocked();
}

}  // namespace platform::ui

using namespace platform;
using namespace platform::ui;

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD target = 0;
    if (!WindowThread(hwnd, &target)) return 0;
    DWORD me = GetCurrentThreadId();
    if (target == me) return CallProc(hwnd, msg, wParam, lParam);

    SentMessage sm{hwnd, msg, wParam, lParam};
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        QueueLocked(target).inbox.push_back(&sm);
        sched::NotifyLocked();
    }
    CurrentBackend().Wake();
    for (;;) {
        {
            std::unique_lock<std::mutex> lk(sched::Lock());
            ThreadQueue& mine = MyQueueLocked();
            std::function<bool()> progress = [&] { return sm.done || !mine.inbox.empty(); };
            sched::WaitLocked(lk, progress, sched::kForever);
            if (sm.done) return sm.result;
        }
        ServeSentMessages();
    }
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD target = 0;
    if (!WindowThread(hwnd, &target)) return FALSE;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        QueueLocked(target).posted.push_back(MSG{hwnd, msg, wParam, lParam, static_cast<DWORD>(sched::Now())});
        sched::NotifyLocked();
    }
    CurrentBackend().Wake();
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    ThreadQueue& q = MyQueueLocked();
    q.quit = true;
    q.quitCode = exitCode;
    sched::NotifyLocked();
}

BOOL GetMessageA(LPMSG msg, HWND, UINT, UINT) {
    for (;;) {
        ServeSentMessages();
        sched::Millis next;
        {
            std::lock_guard<std::mutex> lk(sched::Lock());
            ThreadQueue& q = MyQueueLocked();
            if (!q.posted.empty()) {
                *msg = q.posted.front();
                q.posted.pop_front();
                return TRUE;
            }
            if (q.quit) {
                q.quit = false;
                *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, 0};
                return FALSE;
            }
            if (TakeDueTimerLocked(q, msg, &next)) return TRUE;
            if (!q.inbox.empty()) continue;
        }
        CurrentBackend().Wait(next);
    }
}

BOOL PeekMessageA(LPMSG msg, HWND, UINT, UINT, UINT remove) {
    ServeSentMessages();
    std::lock_guard<std::mutex> lk(sched::Lock());
    ThreadQueue& q = MyQueueLocked();
    if (q.posted.empty()) return FALSE;
    *msg = q.posted.front();
    if (remove & PM_REMOVE) q.posted.pop_front();
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg->message == WM_TIMER && msg->lParam) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        if (msg->hwnd && !IsWindow(msg->hwnd)) return 0;
        proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    return CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    DWORD target = 0;
    if (hwnd && !WindowThread(hwnd, &target)) return 0;
    std::lock_guard<std::mutex> lk(sched::Lock());
    ThreadQueue& q = MyQueueLocked();
    std::erase_if(q.timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    UINT period = std::max<UINT>(elapse, 10);
    q.timers.push_back(Timer{hwnd, id, period, sched::Now() + period, proc});
    sched::NotifyLocked();
    return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    auto& timers = MyQueueLocked().timers;
    auto before = timers.size();
    std::erase_if(timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    return timers.size() != before;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms, DWORD wakeMask) {
    std::vector<std::shared_ptr<KernelObject>> objects;
    for (DWORD i = 0; i < count; ++i) {
        auto o = FindHandle(handles[i]);
        if (!o || !o->Waitable()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(o);
    }
    std::unique_lock<std::mutex> lk(sched::Lock());
    ThreadQueue& q = MyQueueLocked();
    DWORD outcome = WAIT_TIMEOUT;
    std::function<bool()> ready = [&] {
        bool all = count > 0;
        for (DWORD i = 0; i < count; ++i) {
            if (objects[i]->Signalled()) {
                if (!waitAll) {
                    outcome = WAIT_OBJECT_0 + i;
                    return true;
                }
            } else {
                all = false;
            }
        }
        if (waitAll && all) {
            outcome = WAIT_OBJECT_0;
            return true;
        }
        bool message = ((wakeMask & QS_SENDMESSAGE) && !q.inbox.empty()) ||
                       ((wakeMask & QS_POSTMESSAGE) && !q.posted.empty());
        if (message) outcome = WAIT_OBJECT_0 + count;
        return message;
    };
    if (!sched::WaitLocked(lk, ready, sched::DeadlineAfter(ms))) return WAIT_TIMEOUT;
    if (outcome < WAIT_OBJECT_0 + count) {
        if (waitAll)
            for (auto& o : objects) o->Acquired();
        else
            objects[outcome - WAIT_OBJECT_0]->Acquired();
    }
    return outcome;
}
