#include "platform/usbsim/usb_system.h"

#include <cstdio>
#include <cstring>

#include "platform/base/win_base.h"
#include "platform/usbsim/hub_pdo.h"
#include "platform/usbsim/io_manager.h"
#include "platform/wdm/po.h"
#include "platform/wdm/usb.h"
#include "platform/wdm/wdm_test.h"

namespace platform::usbsim {
namespace {

struct STimer {
    CUsbSystem* pSystem;
    SCutter* pCutter;
    ULONGLONG nPendingId;
    ULONG nMs;
};

DWORD TimerThread(LPVOID parameter) {
    auto* timer = static_cast<STimer*>(parameter);
    Sleep(timer->nMs);
    timer->pSystem->CompletePending(timer->pCutter, timer->nPendingId);
    delete timer;
    return 0;
}

std::string Status(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

}  // namespace

CUsbSystem::CUsbSystem() {
    NTSTATUS status;
    m_pHub = wdm::LoadDriver("usbhub", HubDriverEntry, &status);
    iomgr::SetLastCloseHook([this](PDEVICE_OBJECT device) { OnLastClose(device); });
}

CUsbSystem::~CUsbSystem() { Shutdown(); }

NTSTATUS CUsbSystem::LoadFunctionDriver(PDRIVER_INITIALIZE entry) {
    NTSTATUS status;
    m_pDriver = wdm::LoadDriver("zbkusd", entry, &status);
    return status;
}

void CUsbSystem::Log(const SCutter& cutter, const std::string& line) {
    if (!BusLogOn()) return;
    std::lock_guard<std::mutex> lk(m_lock);
    m_aLog.push_back(cutter.strName + ": " + line);
}

std::vector<std::string> CUsbSystem::TakeBusLog() {
    std::lock_guard<std::mutex> lk(m_lock);
    std::vector<std::string> out;
    out.swap(m_aLog);
    return out;
}

SCutter* CUsbSystem::Find(const std::string& name) {
    for (auto& cutter : m_aCutters)
        if (cutter->strName == name) return cutter.get();
    return nullptr;
}

CCutterDevice* CUsbSystem::Model(const std::string& name) {
    SCutter* cutter = Find(name);
    return cutter ? &cutter->model : nullptr;
}

PDEVICE_OBJECT CUsbSystem::FunctionDevice(SCutter* cutter) {
    if (!cutter || !cutter->pPdo) return nullptr;
    PDEVICE_OBJECT top = IoGetAttachedDevice(cutter->pPdo);
    return top == cutter->pPdo ? nullptr : top;
}

void CUsbSystem::StartTimer(SCutter* cutter, ULONGLONG pendingId, ULONG ms) {
    HANDLE thread = CreateThread(nullptr, 0, TimerThread, new STimer{this, cutter, pendingId, ms}, 0, nullptr);
    std::lock_guard<std::mutex> lk(m_lock);
    m_aTimers.push_back(thread);
}

void CUsbSystem::CompletePending(SCutter* cutter, ULONGLONG pendingId) {
    SPendingUrb entry{};
    {
        std::lock_guard<std::mutex> lk(m_lock);
        auto it = cutter->aPending.begin();
        while (it != cutter->aPending.end() && it->nId != pendingId) ++it;
        // A request whose cancel routine has been claimed is finished by that routine.
        if (it == cutter->aPending.end() || !IoSetCancelRoutine(it->pIrp, nullptr)) return;
        entry = *it;
        cutter->aPending.erase(it);
    }
    PIRP irp = entry.pIrp;
    auto* urb = static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
    NTSTATUS status = entry.outcome.nStatus;
    USBD_STATUS usbd = entry.outcome.nUsbd;
    if (!cutter->bPresent) {
        status = STATUS_DEVICE_NOT_CONNECTED;
        usbd = USBD_STATUS_DEV_NOT_RESPONDING;
    }
    ULONG count = 0;
    if (urb->UrbHeader.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER) {
        auto& transfer = urb->UrbBulkOrInterruptTransfer;
        if (entry.nPipe >= 0 && cutter->bPresent) {
            auto& queue = cutter->model.InData(entry.nPipe);
            auto* out = static_cast<BYTE*>(transfer.TransferBuffer);
            while (count < transfer.TransferBufferLength && !queue.empty()) {
                out[count++] = queue.front();
                queue.pop_front();
            }
        } else if (NT_SUCCESS(status)) {
            count = transfer.TransferBufferLength;
        }
        transfer.TransferBufferLength = count;
    } else {
        count = ControlDataStage(cutter, urb, status);  // the only other kind that pends
    }
    urb->UrbHeader.Status = usbd;
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    char outcome[48];
    std::snprintf(outcome, sizeof outcome, " -> 0x%08X usbd 0x%08X", static_cast<unsigned>(status),
                  static_cast<unsigned>(usbd));
    Log(*cutter, entry.strLine + " (pending)" + outcome + " bytes " + std::to_string(count));
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

bool CUsbSystem::QueueInData(const std::string& name, int pipe, const std::vector<BYTE>& data) {
    SCutter* cutter = Find(name);
    if (!cutter || pipe < 0 || pipe > 3) return false;
    ULONGLONG waiting = 0;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        auto& queue = cutter->model.InData(pipe);
        queue.insert(queue.end(), data.begin(), data.end());
        for (auto& entry : cutter->aPending)
            if (entry.bWaitsForData && entry.nPipe == pipe && !entry.outcome.bHang) {
                waiting = entry.nId;
                break;
            }
    }
    if (waiting) CompletePending(cutter, waiting);
    return true;
}

NTSTATUS CUsbSystem::SendToStack(SCutter* cutter, PIRP irp) {
    PDEVICE_OBJECT top = IoGetAttachedDevice(cutter->pPdo);
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IO_STATUS_BLOCK status{};
    irp->UserEvent = &done;
    irp->UserIosb = &status;
    NTSTATUS returned = IoCallDriver(top, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    if (returned != STATUS_PENDING && returned != status.Status)
        Log(*cutter, "dispatch returned " + Status(returned) + " but completed with " + Status(status.Status));
    return status.Status;
}

bool CUsbSystem::SendPnp(const std::string& name, UCHAR minor, NTSTATUS* status) {
    SCutter* cutter = Find(name);
    PDEVICE_OBJECT top = FunctionDevice(cutter);
    if (!top) return false;
    PIRP irp = wdm::AllocateSystemIrp(top->StackSize);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_PNP;
    next->MinorFunction = minor;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    irp->IoStatus.Information = 0x5A5A;  // drivers must not pass on stale information
    *status = SendToStack(cutter, irp);
    if (minor == IRP_MN_REMOVE_DEVICE) {
        cutter->bRemoved = true;
        // A cutter already unplugged is gone with its stack now, not at the last close.
        if (cutter->bRemoveWhenClosed) {
            cutter->bRemoveWhenClosed = false;
            RemoveStack(cutter);
        }
    }
    return true;
}

bool CUsbSystem::SendSystemControl(const std::string& name, NTSTATUS* status) {
    SCutter* cutter = Find(name);
    PDEVICE_OBJECT top = FunctionDevice(cutter);
    if (!top) return false;
    PIRP irp = wdm::AllocateSystemIrp(top->StackSize);
    IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_SYSTEM_CONTROL;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    *status = SendToStack(cutter, irp);
    return true;
}

bool CUsbSystem::SendPower(const std::string& name, UCHAR minor, POWER_STATE_TYPE type, ULONG state,
                           NTSTATUS* status) {
    SCutter* cutter = Find(name);
    PDEVICE_OBJECT top = FunctionDevice(cutter);
    if (!top) return false;
    PIRP irp = wdm::AllocateSystemIrp(top->StackSize);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_POWER;
    next->MinorFunction = minor;
    next->Parameters.Power.Type = type;
    next->Parameters.Power.State.SystemState = static_cast<SYSTEM_POWER_STATE>(state);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    *status = SendToStack(cutter, irp);
    return true;
}

bool CUsbSystem::Plug(const std::string& name, const CCutterDevice& model, bool attachFails, SPlugResult* result) {
    if (Find(name) || !m_pDriver) return false;
    auto cutter = std::make_unique<SCutter>();
    cutter->strName = name;
    cutter->model = model;
    cutter->pSystem = this;
    PDEVICE_OBJECT pdo = nullptr;
    {
        wdm::CSystemAllocationScope systemOnly;
        IoCreateDevice(m_pHub, sizeof(SPdoExtension), nullptr, FILE_DEVICE_USB, 0, FALSE, &pdo);
    }
    static_cast<SPdoExtension*>(pdo->DeviceExtension)->pCutter = cutter.get();
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    pdo->StackSize = 1;
    cutter->pPdo = pdo;
    SCutter* plugged = cutter.get();
    m_aCutters.push_back(std::move(cutter));
    // The stand-in refuses to attach above a device whose deletion has begun.
    if (attachFails) pdo->DeletePending = TRUE;
    result->nAddStatus = m_pDriver->DriverExtension->AddDevice(m_pDriver, pdo);
    pdo->DeletePending = FALSE;
    result->nStartStatus = STATUS_SUCCESS;
    if (NT_SUCCESS(result->nAddStatus)) {
        if (FunctionDevice(plugged) && (FunctionDevice(plugged)->Flags & DO_DEVICE_INITIALIZING))
            Log(*plugged, "AddDevice left DO_DEVICE_INITIALIZING set");
        SendPnp(name, IRP_MN_START_DEVICE, &result->nStartStatus);
    }
    return true;
}

void CUsbSystem::RemoveStack(SCutter* cutter) {
    NTSTATUS status;
    if (FunctionDevice(cutter) && !cutter->bRemoved) {
        SendPnp(cutter->strName, IRP_MN_REMOVE_DEVICE, &status);
        Log(*cutter, "removal completed with " + Status(status));
    }
    if (cutter->bPresent || !cutter->pPdo) return;
    if (FunctionDevice(cutter)) {
        Log(*cutter, "the function device stayed attached after removal");
        return;
    }
    IoDeleteDevice(cutter->pPdo);
    cutter->pPdo = nullptr;
}

bool CUsbSystem::Unplug(const std::string& name) {
    SCutter* cutter = Find(name);
    if (!cutter || !cutter->bPresent) return false;
    cutter->bPresent = false;
    std::vector<ULONGLONG> pending;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        for (auto& entry : cutter->aPending) pending.push_back(entry.nId);
    }
    for (ULONGLONG id : pending) CompletePending(cutter, id);
    PDEVICE_OBJECT top = FunctionDevice(cutter);
    NTSTATUS status;
    if (top && !cutter->bRemoved) {
        SendPnp(name, IRP_MN_SURPRISE_REMOVAL, &status);
        Log(*cutter, "surprise removal completed with " + Status(status));
        top = FunctionDevice(cutter);
        if (top && top->ReferenceCount > 0) {
            cutter->bRemoveWhenClosed = true;
            return true;
        }
    }
    RemoveStack(cutter);
    return true;
}

void CUsbSystem::OnLastClose(PDEVICE_OBJECT device) {
    for (auto& cutter : m_aCutters) {
        if (cutter->bRemoveWhenClosed && FunctionDevice(cutter.get()) == device) {
            cutter->bRemoveWhenClosed = false;
            RemoveStack(cutter.get());
            return;
        }
    }
}

void CUsbSystem::UnplugAll() {
    for (auto& cutter : m_aCutters)
        if (cutter->bPresent) Unplug(cutter->strName);
}

void CUsbSystem::Shutdown() {
    UnplugAll();
    std::vector<HANDLE> timers;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        timers.swap(m_aTimers);
    }
    for (HANDLE timer : timers) {
        WaitForSingleObject(timer, INFINITE);
        CloseHandle(timer);
    }
    iomgr::SetLastCloseHook(nullptr);
    if (m_pDriver && !m_pDriver->DeviceObject) {
        wdm::UnloadDriver(m_pDriver);
        m_pDriver = nullptr;
    }
    if (m_pHub && !m_pHub->DeviceObject) {
        wdm::UnloadDriver(m_pHub);
        m_pHub = nullptr;
    }
}

}  // namespace platform::usbsim
