// Kernel32-style face: threads, events, critical sections, sleeping, the tick
// count, local memory and the generic file-handle calls.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include "platform/base/win_types.h"

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

struct OVERLAPPED {
    ULONG_PTR Internal;      // pending marker, then the Win32 error of the outcome
    ULONG_PTR InternalHigh;  // bytes transferred
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
using LPOVERLAPPED = OVERLAPPED*;

constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

// Milliseconds since the platform clock started (wraps after 49.7 days, as the tick count does).
DWORD GetTickCount();
// Blocks the calling thread for ms milliseconds of the platform clock.
void Sleep(DWORD ms);

using LPTHREAD_START_ROUTINE = DWORD(WINAPI*)(LPVOID);
constexpr DWORD CREATE_SUSPENDED = 0x00000004;
// Returns a handle to the new thread (its id in *threadId), or NULL on failure.
// With CREATE_SUSPENDED in flags the thread runs only once ResumeThread lets it.
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                    LPVOID parameter, DWORD flags, LPDWORD threadId);
// Returns the thread's suspend count before the call (it runs once the count
// reaches 0), or (DWORD)-1 (ERROR_INVALID_HANDLE) for a bad handle.
DWORD ResumeThread(HANDLE thread);
DWORD GetCurrentThreadId();
// Returns TRUE with the exit code, STILL_ACTIVE while the thread runs; FALSE for a bad handle.
constexpr DWORD STILL_ACTIVE = 259;
BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);

// Returns an event handle, or NULL on failure.
HANDLE CreateEventA(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);    // FALSE for a handle that is no event
BOOL ResetEvent(HANDLE event);  // FALSE for a handle that is no event

// WAIT_OBJECT_0 when the object is signalled, WAIT_TIMEOUT, or WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE object, DWORD ms);
// TRUE when the handle was open and closed cleanly; FALSE (ERROR_INVALID_HANDLE)
// when it was not open, or with the object's error when closing it failed (the
// handle is gone all the same).
BOOL CloseHandle(HANDLE object);

struct CRITICAL_SECTION {
    void* impl;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;
void InitializeCriticalSection(LPCRITICAL_SECTION cs);
void DeleteCriticalSection(LPCRITICAL_SECTION cs);
void EnterCriticalSection(LPCRITICAL_SECTION cs);  // recursive for its owner
void LeaveCriticalSection(LPCRITICAL_SECTION cs);

constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
// Returns the block, or NULL (ERROR_NOT_ENOUGH_MEMORY) on failure.
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
// Returns NULL on success.
HLOCAL LocalFree(HLOCAL block);

// TRUE with *done when finished; FALSE with ERROR_IO_PENDING when the
// overlapped block completes later; FALSE with another error on failure.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED ov);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED ov);
// TRUE with the byte count of a finished operation; FALSE with
// ERROR_IO_INCOMPLETE while it is pending and wait is FALSE, or with the
// operation's own error.
BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED ov, LPDWORD done, BOOL wait);

namespace platform::test {
// The next count calls of LocalAlloc succeed, the one after fails (once); -1 turns it off.
void FailLocalAllocAfter(int count);
// Handles of every kind now open, for leak checks.
size_t OpenHandleCount();
// LocalAlloc blocks not yet given to LocalFree.
long LocalBlocksInUse();

// A test's say over the calls that can fail (LocalAlloc, CreateEventA and
// CreateThread here; backends and test doubles ask for theirs): asked before each with the call's name and
// what it acts on, it returns the error to fail it with, or ERROR_SUCCESS.
using CallFaultHook = DWORD (*)(const char* pszCall, const char* pszTarget);
void SetCallFaultHook(CallFaultHook hook);  // NULL turns it off
// The hook's answer for one call; ERROR_SUCCESS without a hook.
DWORD CallFault(const char* pszCall, const char* pszTarget);
}  // namespace platform::test

#endif  // _WIN32
