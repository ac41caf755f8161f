#include "platform/base/win_base.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/base/kernel_object.h"
#include "platform/base/scheduler.h"

namespace {

thread_local DWORD t_lastError = 0;
thread_local DWORD t_threadId = 0;
std::atomic<DWORD> g_nextThreadId{0x100};

std::mutex g_handleLock;
std::map<UINT_PTR, std::shared_ptr<platform::KernelObject>> g_handles;
UINT_PTR g_nextHandle = 0x40;

std::atomic<int> g_allocsBeforeFailure{-1};
std::atomic<long> g_localBlocksInUse{0};
std::atomic<platform::test::CallFaultHook> g_callFaultHook{nullptr};

// True, with the error set, when a test's call fault hook fails the call.
bool Faulted(const char* call) {
    DWORD error = platform::test::CallFault(call, "");
    if (error) SetLastError(error);
    return error != ERROR_SUCCESS;
}

constexpr ULONG_PTR kPending = 0x103;

class EventObject : public platform::KernelObject {
public:
    EventObject(bool manual, bool initial) : m_manual(manual), m_set(initial) {}
    bool Waitable() const override { return true; }
    bool Signalled() const override { return m_set; }
    void Acquired() override {
        if (!m_manual) m_set = false;
    }
    void Set(bool on) { m_set = on; }

private:
    bool m_manual;
    bool m_set;
};

class ThreadObject : public platform::KernelObject {
public:
    bool Waitable() const override { return true; }
    bool Signalled() const override { return exited; }
    bool exited = false;
    DWORD exitCode = STILL_ACTIVE;
    DWORD suspendCount = 0;
};

struct CriticalSectionImpl {
    DWORD owner = 0;
    int depth = 0;
};

}  // namespace

DWORD GetLastError() { return t_lastError; }
void SetLastError(DWORD error) { t_lastError = error; }

namespace platform {

HANDLE AddHandle(std::shared_ptr<KernelObject> object) {
    std::lock_guard<std::mutex> lk(g_handleLock);
    UINT_PTR value = g_nextHandle;
    g_nextHandle += 4;
    g_handles.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
    std::lock_guard<std::mutex> lk(g_handleLock);
    auto it = g_handles.find(reinterpret_cast<UINT_PTR>(handle));
    return it == g_handles.end() ? nullptr : it->second;
}

void StartOverlapped(OVERLAPPED* ov) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    ov->Internal = kPending;
    ov->InternalHigh = 0;
    if (auto e = FindHandleAs<EventObject>(ov->hEvent)) e->Set(false);
}

void CompleteOverlapped(OVERLAPPED* ov, DWORD error, DWORD count) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    ov->Internal = error;
    ov->InternalHigh = count;
    if (auto e = FindHandleAs<EventObject>(ov->hEvent)) e->Set(true);
    sched::NotifyLocked();
}

}  // namespace platform

using namespace platform;

DWORD GetTickCount() { return static_cast<DWORD>(sched::Now()); }

void Sleep(DWORD ms) {
    std::unique_lock<std::mutex> lk(sched::Lock());
    static const std::function<bool()> never = [] { return false; };
    sched::WaitLocked(lk, never, sched::DeadlineAfter(ms));
}

DWORD GetCurrentThreadId() {
    if (t_threadId == 0) t_threadId = g_nextThreadId.fetch_add(4);
    return t_threadId;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD threadId) {
    if (Faulted("CreateThread")) return nullptr;
    auto object = std::make_shared<ThreadObject>();
    object->suspendCount = (flags & CREATE_SUSPENDED) ? 1 : 0;
    DWORD id = g_nextThreadId.fetch_add(4);
    std::unique_lock<std::mutex> lk(sched::Lock());
    sched::Slot* slot = sched::RegisterNewThreadLocked();
    try {
        std::thread([object, start, parameter, slot, id] {
            t_threadId = id;
            std::unique_lock<std::mutex> turn(sched::Lock());
            sched::EnterThreadLocked(slot);
            sched::WaitLocked(turn, [&object] { return object->suspendCount == 0; }, sched::kForever);
            turn.unlock();
            DWORD code = start(parameter);
            std::lock_guard<std::mutex> done(sched::Lock());
            object->exitCode = code;
            object->exited = true;
            sched::NotifyLocked();
            sched::LeaveThreadLocked();
        }).detach();
    } catch (const std::system_error&) {
        sched::ForgetNewThreadLocked(slot);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    lk.unlock();
    if (threadId) *threadId = id;
    return AddHandle(object);
}

DWORD ResumeThread(HANDLE thread) {
    auto t = FindHandleAs<ThreadObject>(thread);
    if (!t) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0xFFFFFFFF;
    }
    std::lock_guard<std::mutex> lk(sched::Lock());
    DWORD previous = t->suspendCount;
    if (previous > 0 && --t->suspendCount == 0) sched::NotifyLocked();
    return previous;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
    auto t = FindHandleAs<ThreadObject>(thread);
    if (!t) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(sched::Lock());
    *exitCode = t->exitCode;
    return TRUE;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR) {
    if (Faulted("CreateEventA")) return nullptr;
    return AddHandle(std::make_shared<EventObject>(manualReset != FALSE, initialState != FALSE));
}

static BOOL SetEventState(HANDLE event, bool on) {
    auto e = FindHandleAs<EventObject>(event);
    if (!e) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lk(sched::Lock());
    e->Set(on);
    if (on) sched::NotifyLocked();
    return TRUE;
}

BOOL SetEvent(HANDLE event) { return SetEventState(event, true); }
BOOL ResetEvent(HANDLE event) { return SetEventState(event, false); }

DWORD WaitForSingleObject(HANDLE handle, DWORD ms) {
    auto object = FindHandle(handle);
    if (!object || !object->Waitable()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    std::unique_lock<std::mutex> lk(sched::Lock());
    KernelObject* o = object.get();
    std::function<bool()> signalled = [o] { return o->Signalled(); };
    if (!sched::WaitLocked(lk, signalled, sched::DeadlineAfter(ms))) return WAIT_TIMEOUT;
    o->Acquired();
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle) {
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard<std::mutex> lk(g_handleLock);
        auto it = g_handles.find(reinterpret_cast<UINT_PTR>(handle));
        if (it == g_handles.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        object = std::move(it->second);
        g_handles.erase(it);
    }
    object->OnClose();
    if (DWORD error = object->CloseError()) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

void InitializeCriticalSection(LPCRITICAL_SECTION cs) { cs->impl = new CriticalSectionImpl; }

void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
    delete static_cast<CriticalSectionImpl*>(cs->impl);
    cs->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION cs) {
    auto* impl = static_cast<CriticalSectionImpl*>(cs->impl);
    DWORD me = GetCurrentThreadId();
    std::unique_lock<std::mutex> lk(sched::Lock());
    std::function<bool()> free = [impl, me] { return impl->owner == 0 || impl->owner == me; };
    sched::WaitLocked(lk, free, sched::kForever);
    impl->owner = me;
    ++impl->depth;
}

void LeaveCriticalSection(LPCRITICAL_SECTION cs) {
    auto* impl = static_cast<CriticalSectionImpl*>(cs->impl);
    std::lock_guard<std::mutex> lk(sched::Lock());
    if (impl->owner != GetCurrentThreadId() || impl->depth == 0) return;
    if (--impl->depth == 0) {
        impl->owner = 0;
        sched::NotifyLocked();
    }
}

HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) {
    int left = g_allocsBeforeFailure.load();
    if (left >= 0) {
        g_allocsBeforeFailure.store(left - 1);
        if (left == 0) {
            g_allocsBeforeFailure.store(-1);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
    }
    if (Faulted("LocalAlloc")) return nullptr;
    void* block = (flags & LMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
    if (!block) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    else ++g_localBlocksInUse;
    return block;
}

HLOCAL LocalFree(HLOCAL block) {
    if (block) --g_localBlocksInUse;
    std::free(block);
    return nullptr;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    auto f = FindHandleAs<FileObject>(file);
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD dummy = 0;
    return f->Read(buffer, size, done ? done : &dummy, ov);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED ov) {
    auto f = FindHandleAs<FileObject>(file);
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD dummy = 0;
    return f->Write(buffer, size, done ? done : &dummy, ov);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED ov, LPDWORD done, BOOL wait) {
    if (!FindHandleAs<FileObject>(file) || !ov) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::unique_lock<std::mutex> lk(sched::Lock());
    if (ov->Internal == kPending) {
        if (!wait) {
            SetLastError(ERROR_IO_INCOMPLETE);
            return FALSE;
        }
        std::function<bool()> finished = [ov] { return ov->Internal != kPending; };
        sched::WaitLocked(lk, finished, sched::kForever);
    }
    if (done) *done = static_cast<DWORD>(ov->InternalHigh);
    if (ov->Internal != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(ov->Internal));
        return FALSE;
    }
    return TRUE;
}

namespace platform::test {
void FailLocalAllocAfter(int count) { g_allocsBeforeFailure.store(count); }

size_t OpenHandleCount() {
    std::lock_guard<std::mutex> lk(g_handleLock);
    return g_handles.size();
}

long LocalBlocksInUse() { return g_localBlocksInUse.load(); }
void SetCallFaultHook(CallFaultHook hook) { g_callFaultHook.store(hook); }
DWORD CallFault(const char* pszCall, const char* pszTarget) {
    CallFaultHook hook = g_callFaultHook.load();
    return hook ? hook(pszCall, pszTarget) : ERROR_SUCCESS;
}
}  // namespace platform::test
