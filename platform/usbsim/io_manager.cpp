#include "platform/usbsim/io_manager.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "platform/base/kernel_object.h"
#include "platform/base/scheduler.h"
#include "platform/wdm/internal.h"
#include "platform/wdm/wdm_test.h"

namespace platform::iomgr {
namespace {

constexpr ULONG kBufferTag = wdm::TagOf("IoSb");
constexpr ULONG kFileTag = wdm::TagOf("File");

std::mutex g_hookLock;
std::function<void(PDEVICE_OBJECT)> g_lastCloseHook;

class CDeviceFile : public FileObject {
public:
    CDeviceFile(PDEVICE_OBJECT device, PFILE_OBJECT file) : m_pDevice(device), m_pFile(file) {}
    PDEVICE_OBJECT Device() const { return m_pDevice; }
    PFILE_OBJECT File() const { return m_pFile; }
    // Sends the cleanup at once and the close when no request runs on the
    // file any more, as the system does: closing a handle never waits for
    // a transfer another thread has in progress.
    NTSTATUS CloseOnce();
    void OnClose() override { CloseOnce(); }
    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED*) override;
    BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED*) override;
    // A request in progress on the file; false once the file is closed.
    bool Begin();
    void End();

private:
    NTSTATUS SendUnlessDeleted(UCHAR major);
    NTSTATUS FinishClose();

    // Under sched::Lock():
    int m_nInFlight = 0;
    bool m_bClosed = false;
    bool m_bCloseOnLastEnd = false;
    PDEVICE_OBJECT m_pDevice;
    PFILE_OBJECT m_pFile;
};

// Sends a request the I/O manager owns and waits for its outcome.
SIoResult Send(PDEVICE_OBJECT device, PIRP irp) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IO_STATUS_BLOCK status{};
    irp->UserEvent = &done;
    irp->UserIosb = &status;
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCallDriver(device, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    return {status.Status, status.Information};
}

PIRP NewRequest(PDEVICE_OBJECT device, PFILE_OBJECT file, UCHAR major) {
    PIRP irp = wdm::AllocateSystemIrp(device->StackSize);
    if (!irp) return nullptr;
    irp->RequestorMode = UserMode;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = major;
    next->FileObject = file;
    return irp;
}

// Gives the request a system buffer of size bytes holding input; false when pool is short.
bool AttachSystemBuffer(PIRP irp, ULONG size, const void* input, ULONG inputLength, void* output,
                        ULONG outputLength) {
    if (size == 0) return true;
    void* buffer = wdm::AllocateSystemPool(size, kBufferTag);
    if (!buffer) return false;
    std::memset(buffer, 0, size);
    if (input && inputLength) std::memcpy(buffer, input, inputLength);
    irp->AssociatedIrp.SystemBuffer = buffer;
    irp->Flags = IRP_BUFFERED_IO | IRP_DEALLOCATE_BUFFER | (output ? IRP_INPUT_OPERATION : 0);
    irp->UserBuffer = output;
    irp->UserBufferLength = outputLength;
    return true;
}

std::shared_ptr<CDeviceFile> FileOf(HANDLE handle) { return FindHandleAs<CDeviceFile>(handle); }

SIoResult TransferOnFile(CDeviceFile* file, UCHAR major, ULONG code, const void* input, ULONG inputLength,
                         void* output, ULONG outputLength);

SIoResult Transfer(CDeviceFile* file, UCHAR major, ULONG code, const void* input, ULONG inputLength, void* output,
                   ULONG outputLength) {
    if (!file || !file->Begin()) return {STATUS_INVALID_PARAMETER, 0};
    SIoResult result = TransferOnFile(file, major, code, input, inputLength, output, outputLength);
    file->End();
    return result;
}

bool CDeviceFile::Begin() {
    std::lock_guard<std::mutex> lk(sched::Lock());
    if (m_bClosed) return false;
    ++m_nInFlight;
    return true;
}

void CDeviceFile::End() {
    bool close;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        close = --m_nInFlight == 0 && m_bCloseOnLastEnd;
        if (close) m_bCloseOnLastEnd = false;
        sched::NotifyLocked();
    }
    if (close) FinishClose();
}

SIoResult TransferOnFile(CDeviceFile* file, UCHAR major, ULONG code, const void* input, ULONG inputLength,
                         void* output, ULONG outputLength) {
    PDEVICE_OBJECT device = file->Device();
    if (device->DeletePending) return {STATUS_NO_SUCH_DEVICE, 0};
    PIRP irp = NewRequest(device, file->File(), major);
    if (!irp) return {STATUS_INSUFFICIENT_RESOURCES, 0};
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    bool buffered = true;
    if (major == IRP_MJ_READ) {
        next->Parameters.Read.Length = outputLength;
        buffered = AttachSystemBuffer(irp, outputLength, nullptr, 0, output, outputLength);
    } else if (major == IRP_MJ_WRITE) {
        next->Parameters.Write.Length = inputLength;
        buffered = AttachSystemBuffer(irp, inputLength, input, inputLength, nullptr, 0);
    } else {
        next->Parameters.DeviceIoControl.IoControlCode = code;
        next->Parameters.DeviceIoControl.InputBufferLength = inputLength;
        next->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
        if ((code & 3) == METHOD_BUFFERED) {
            ULONG size = inputLength > outputLength ? inputLength : outputLength;
            buffered = AttachSystemBuffer(irp, size, input, inputLength, output, outputLength);
        } else {
            next->Parameters.DeviceIoControl.Type3InputBuffer = const_cast<void*>(input);
            irp->UserBuffer = output;
        }
    }
    if (!buffered) {
        ExFreePool(irp);
        return {STATUS_INSUFFICIENT_RESOURCES, 0};
    }
    return Send(device, irp);
}

NTSTATUS CDeviceFile::CloseOnce() {
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        if (m_bClosed) return STATUS_INVALID_PARAMETER;
        m_bClosed = true;
    }
    NTSTATUS status = SendUnlessDeleted(IRP_MJ_CLEANUP);
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        if (m_nInFlight > 0) {
            m_bCloseOnLastEnd = true;
            return status;
        }
    }
    return FinishClose();
}

NTSTATUS CDeviceFile::SendUnlessDeleted(UCHAR major) {
    if (m_pDevice->DeletePending) return STATUS_SUCCESS;
    // The system never lets a close fail: a request it cannot build is not sent.
    PIRP irp = NewRequest(m_pDevice, m_pFile, major);
    return irp ? Send(m_pDevice, irp).nStatus : STATUS_SUCCESS;
}

NTSTATUS CDeviceFile::FinishClose() {
    NTSTATUS status = SendUnlessDeleted(IRP_MJ_CLOSE);
    ExFreePool(m_pFile);
    PDEVICE_OBJECT device = m_pDevice;
    bool last = device->ReferenceCount == 1 && !device->DeletePending;
    wdm::DereferenceDevice(device);
    if (last) {
        std::function<void(PDEVICE_OBJECT)> hook;
        {
            std::lock_guard<std::mutex> lk(g_hookLock);
            hook = g_lastCloseHook;
        }
        if (hook) hook(device);
    }
    return status;
}

BOOL Finish(const SIoResult& result, DWORD* done) {
    if (done) *done = static_cast<DWORD>(result.nInformation);
    if (NT_SUCCESS(result.nStatus)) return TRUE;
    SetLastError(ErrorFromStatus(result.nStatus));
    return FALSE;
}

BOOL CDeviceFile::Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED*) {
    return Finish(Transfer(this, IRP_MJ_READ, 0, nullptr, 0, buffer, size), done);
}

BOOL CDeviceFile::Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED*) {
    return Finish(Transfer(this, IRP_MJ_WRITE, 0, buffer, size, nullptr, 0), done);
}

}  // namespace

NTSTATUS Open(const std::string& path, HANDLE* handle) {
    *handle = INVALID_HANDLE_VALUE;
    if (path.rfind("\\\\.\\", 0) != 0) return STATUS_OBJECT_NAME_NOT_FOUND;
    PDEVICE_OBJECT named = wdm::FindDeviceByLink("\\DosDevices\\" + path.substr(4));
    if (!named) return STATUS_OBJECT_NAME_NOT_FOUND;
    PDEVICE_OBJECT device = IoGetAttachedDevice(named);
    auto* file = static_cast<PFILE_OBJECT>(wdm::AllocateSystemPool(sizeof(FILE_OBJECT), kFileTag));
    if (!file) return STATUS_INSUFFICIENT_RESOURCES;
    *file = FILE_OBJECT{5, sizeof(FILE_OBJECT), device, nullptr};
    PIRP irp = NewRequest(device, file, IRP_MJ_CREATE);
    if (!irp) {
        ExFreePool(file);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    wdm::ReferenceDevice(device);
    NTSTATUS status = Send(device, irp).nStatus;
    if (!NT_SUCCESS(status)) {
        ExFreePool(file);
        wdm::DereferenceDevice(device);
        return status;
    }
    *handle = AddHandle(std::make_shared<CDeviceFile>(device, file));
    return status;
}

NTSTATUS Close(HANDLE handle) {
    auto file = FileOf(handle);
    if (!file) return STATUS_INVALID_PARAMETER;
    NTSTATUS status = file->CloseOnce();
    CloseHandle(handle);
    return status;
}

SIoResult Read(HANDLE handle, void* buffer, ULONG length) {
    return Transfer(FileOf(handle).get(), IRP_MJ_READ, 0, nullptr, 0, buffer, length);
}

SIoResult Write(HANDLE handle, const void* buffer, ULONG length) {
    return Transfer(FileOf(handle).get(), IRP_MJ_WRITE, 0, buffer, length, nullptr, 0);
}

SIoResult Control(HANDLE handle, ULONG code, const void* input, ULONG inputLength, void* output,
                  ULONG outputLength) {
    return Transfer(FileOf(handle).get(), IRP_MJ_DEVICE_CONTROL, code, input, inputLength, output, outputLength);
}

void SetLastCloseHook(std::function<void(PDEVICE_OBJECT)> hook) {
    std::lock_guard<std::mutex> lk(g_hookLock);
    g_lastCloseHook = std::move(hook);
}

DWORD ErrorFromStatus(NTSTATUS status) {
    switch (status) {
        case STATUS_SUCCESS: return ERROR_SUCCESS;
        case STATUS_INVALID_DEVICE_REQUEST: return ERROR_INVALID_FUNCTION;
        case STATUS_OBJECT_NAME_NOT_FOUND: return ERROR_FILE_NOT_FOUND;
        case STATUS_NO_MEMORY:
        case STATUS_INSUFFICIENT_RESOURCES: return ERROR_NOT_ENOUGH_MEMORY;
        case STATUS_INVALID_PARAMETER: return ERROR_INVALID_PARAMETER;
        case STATUS_NOT_SUPPORTED: return ERROR_NOT_SUPPORTED;
        case STATUS_CANCELLED: return ERROR_OPERATION_ABORTED;
        case STATUS_NO_SUCH_DEVICE:
        case STATUS_DEVICE_NOT_CONNECTED: return ERROR_DEVICE_NOT_CONNECTED;
        case STATUS_NO_MEDIA_IN_DEVICE: return 1112;  // ERROR_NO_MEDIA_IN_DRIVE
        case STATUS_DEVICE_BUSY: return 170;          // ERROR_BUSY
        case STATUS_DEVICE_DATA_ERROR: return 23;     // ERROR_CRC
        default: return ERROR_GEN_FAILURE;
    }
}

int InstallDeviceOpener() {
    return AddDeviceOpener([](const OpenRequest& request, HANDLE* result) {
        std::string name = request.name;
        if (name.rfind("\\\\.\\", 0) != 0 || !wdm::FindDeviceByLink("\\DosDevices\\" + name.substr(4))) return false;
        NTSTATUS status = Open(name, result);
        if (!NT_SUCCESS(status)) SetLastError(ErrorFromStatus(status));
        return true;
    });
}

}  // namespace platform::iomgr

BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID input, DWORD inputSize, LPVOID output, DWORD outputSize,
                     LPDWORD returned, LPOVERLAPPED) {
    using namespace platform::iomgr;
    if (!platform::FindHandle(device)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!FileOf(device)) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    return Finish(Control(device, code, input, inputSize, output, outputSize), returned);
}
