// Handles and the objects behind them; for backends of the platform only.
#pragma once

#include <memory>

#include "platform/base/win_types.h"

struct OVERLAPPED;

namespace platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Both called with sched::Lock() held, for WaitForSingleObject.
    virtual bool Waitable() const { return false; }
    virtual bool Signalled() const { return false; }
    virtual void Acquired() {}  // a wait succeeded: auto-reset objects reset here
    // Called once, when the last handle to the object is closed.
    virtual void OnClose() {}
    // After OnClose: the error that CloseHandle reports, ERROR_SUCCESS for a clean close.
    virtual DWORD CloseError() const { return ERROR_SUCCESS; }
};

// An object that ReadFile, WriteFile and GetOverlappedResult can address.
// Read and Write follow the Win32 contract: TRUE with *done set when finished;
// FALSE with SetLastError(ERROR_IO_PENDING) when the overlapped block will be
// completed later (CompleteOverlapped); FALSE with another error on failure.
class FileObject : public KernelObject {
public:
    virtual BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    virtual BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
};

HANDLE AddHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> FindHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> FindHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(FindHandle(handle));
}

// Records the outcome of an overlapped operation and signals its event:
// error ERROR_SUCCESS with a byte count, or a Win32 error.
void CompleteOverlapped(OVERLAPPED* ov, DWORD error, DWORD count);
// Marks the block as pending and resets its event, as the system does when an
// operation starts.
void StartOverlapped(OVERLAPPED* ov);

}  // namespace platform
