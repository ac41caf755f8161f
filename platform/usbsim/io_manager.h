// The user-mode side of driver devices: opening \\.\NAME through its
// \DosDevices link, and reads, writes and device controls sent as IRPs with
// buffered-I/O semantics (the driver sees one system buffer; the information
// count's worth of bytes is copied back, never more than the caller's buffer).
#pragma once

#include <functional>
#include <string>

#include "platform/base/devices.h"
#include "platform/wdm/io.h"

namespace platform::iomgr {

struct SIoResult {
    NTSTATUS nStatus;
    ULONG_PTR nInformation;
};

// STATUS_SUCCESS with *handle, the driver's create status, or
// STATUS_OBJECT_NAME_NOT_FOUND when no link has that name.
NTSTATUS Open(const std::string& path, HANDLE* handle);
// Sends cleanup and close; returns the close's status (STATUS_INVALID_PARAMETER for a bad handle).
NTSTATUS Close(HANDLE handle);
SIoResult Read(HANDLE handle, void* buffer, ULONG length);
SIoResult Write(HANDLE handle, const void* buffer, ULONG length);
SIoResult Control(HANDLE handle, ULONG code, const void* input, ULONG inputLength, void* output,
                  ULONG outputLength);

// Called after the last open file of a device has been closed.
void SetLastCloseHook(std::function<void(PDEVICE_OBJECT)> hook);

// The Win32 error a failure status shows as through ReadFile and its siblings.
DWORD ErrorFromStatus(NTSTATUS status);
// Makes CreateFileA open "\\.\NAME" through these calls; returns the opener's token.
int InstallDeviceOpener();

}  // namespace platform::iomgr

// TRUE with *returned set when the driver succeeded; FALSE with the driver's
// status as a Win32 error; ERROR_INVALID_FUNCTION for a handle that is no device.
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                     LPDWORD returned, LPOVERLAPPED overlapped);
