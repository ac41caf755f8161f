// The hub's physical device object of a cutter: URBs, and the Plug and Play
// and power requests a bus driver answers for its child.
#include "platform/usbsim/hub_pdo.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/wdm/po.h"
#include "platform/wdm/usb.h"

namespace platform::usbsim {
namespace {

std::atomic<UINT_PTR> g_nextHandle{0x5000};
std::atomic<ULONGLONG> g_nextPendingId{1};

std::string Hex(const void* data, ULONG length) {
    std::string out;
    char byte[4];
    auto* p = static_cast<const BYTE*>(data);
    for (ULONG i = 0; i < length && i < 32; ++i) {
        std::snprintf(byte, sizeof byte, "%02x", p[i]);
        out += byte;
    }
    if (length > 32) out += "...";
    return out;
}

std::string Outcome(NTSTATUS status, USBD_STATUS usbd) {
    char text[48];
    std::snprintf(text, sizeof text, " -> 0x%08X usbd 0x%08X", static_cast<unsigned>(status), static_cast<unsigned>(usbd));
    return text;
}

SCutter* CutterOf(PDEVICE_OBJECT pdo) { return static_cast<SPdoExtension*>(pdo->DeviceExtension)->pCutter; }

void Complete(SCutter* cutter, PIRP irp, PURB urb, NTSTATUS status, USBD_STATUS usbd, const std::string& line,
              ULONG count) {
    if (urb) urb->UrbHeader.Status = usbd;
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    if (cutter->pSystem->BusLogOn())
        cutter->pSystem->Log(*cutter, line + Outcome(status, usbd) + " bytes " + std::to_string(count));
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

void FinishCancelled(SCutter* cutter, PIRP irp) {
    std::string line;
    {
        std::lock_guard<std::mutex> lk(cutter->pSystem->Lock());
        for (auto it = cutter->aPending.begin(); it != cutter->aPending.end(); ++it) {
            if (it->pIrp == irp) {
                line = it->strLine;
                cutter->aPending.erase(it);
                break;
            }
        }
    }
    auto* urb = static_cast<PURB>(IoGetCurrentIrpStackLocation(irp)->Parameters.Others.Argument1);
    if (urb->UrbHeader.Function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER)
        urb->UrbBulkOrInterruptTransfer.TransferBufferLength = 0;
    Complete(cutter, irp, urb, STATUS_CANCELLED, USBD_STATUS_CANCELED, line + " cancelled", 0);
}

void CancelPending(PDEVICE_OBJECT pdo, PIRP irp) {
    IoReleaseCancelSpinLock(irp->CancelIrql);
    FinishCancelled(CutterOf(pdo), irp);
}

// Leaves the request pending until its time, its data or its cancellation.
NTSTATUS Pend(SCutter* cutter, PIRP irp, int pipe, const SUsbOutcome& outcome, const std::string& line) {
    IoMarkIrpPending(irp);
    bool waits = outcome.bHang || (pipe >= 0 && outcome.nDelayMs == 0);
    ULONGLONG id = g_nextPendingId.fetch_add(1);
    {
        std::lock_guard<std::mutex> lk(cutter->pSystem->Lock());
        cutter->aPending.push_back({id, irp, pipe, waits, outcome, line});
    }
    IoSetCancelRoutine(irp, CancelPending);
    // Cancelled before the routine was in place: finish it as the routine would.
    if (irp->Cancel && IoSetCancelRoutine(irp, nullptr)) {
        FinishCancelled(cutter, irp);
        return STATUS_PENDING;
    }
    if (!waits) cutter->pSystem->StartTimer(cutter, id, outcome.nDelayMs);
    return STATUS_PENDING;
}

UsbTarget PipeTarget(int pipe) { return static_cast<UsbTarget>(static_cast<int>(UsbTarget::Pipe0) + pipe); }

// Copies queued IN data into the transfer; returns the byte count.
ULONG FillIn(SCutter* cutter, int pipe, _URB_BULK_OR_INTERRUPT_TRANSFER& transfer) {
    auto& queue = cutter->model.InData(pipe);
    ULONG count = 0;
    auto* out = static_cast<BYTE*>(transfer.TransferBuffer);
    while (count < transfer.TransferBufferLength && !queue.empty()) {
        out[count++] = queue.front();
        queue.pop_front();
    }
    transfer.TransferBufferLength = count;
    return count;
}

NTSTATUS Descriptor(SCutter* cutter, PIRP irp, PURB urb) {
    auto& request = urb->UrbControlDescriptorRequest;
    char text[96];
    std::snprintf(text, sizeof text, "urb get-descriptor type %u index %u language %u length %u", request.DescriptorType,
                  request.Index, request.LanguageId, static_cast<unsigned>(request.TransferBufferLength));
    std::vector<BYTE> data;
    UsbTarget target = UsbTarget::DeviceDescriptor;
    if (request.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE) {
        data = cutter->model.DeviceDescriptor();
    } else if (request.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE) {
        target = UsbTarget::ConfigDescriptor;
        data = cutter->model.ConfigurationDescriptor();
    } else {
        target = UsbTarget::StringDescriptor;
        data = cutter->model.StringDescriptor(request.Index);
    }
    SUsbOutcome outcome = cutter->model.TakeOutcome(target);
    if (data.empty() && NT_SUCCESS(outcome.nStatus)) outcome = {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID};
    ULONG count = 0;
    if (NT_SUCCESS(outcome.nStatus) && USBD_SUCCESS(outcome.nUsbd)) {
        count = request.TransferBufferLength < data.size() ? request.TransferBufferLength : static_cast<ULONG>(data.size());
        if (count) std::memcpy(request.TransferBuffer, data.data(), count);
    }
    request.TransferBufferLength = count;
    Complete(cutter, irp, urb, outcome.nStatus, outcome.nUsbd, text, count);
    return outcome.nStatus;
}

NTSTATUS Select(SCutter* cutter, PIRP irp, PURB urb) {
    auto& select = urb->UrbSelectConfiguration;
    USBD_INTERFACE_INFORMATION& info = select.Interface;
    std::string line = "urb select-configuration length " + std::to_string(urb->UrbHeader.Length) + " pipes " +
                       std::to_string(info.NumberOfPipes);
    SUsbOutcome outcome = cutter->model.TakeOutcome(UsbTarget::Select);
    auto* cfg = select.ConfigurationDescriptor;
    PUSB_INTERFACE_DESCRIPTOR interface =
        cfg ? USBD_ParseConfigurationDescriptorEx(cfg, cfg, info.InterfaceNumber, info.AlternateSetting, -1, -1, -1)
            : nullptr;
    ULONG roomFor = (urb->UrbHeader.Length - offsetof(_URB_SELECT_CONFIGURATION, Interface.Pipes)) /
                    sizeof(USBD_PIPE_INFORMATION);
    USBD_STATUS refusal = USBD_STATUS_SUCCESS;
    if (!interface) refusal = USBD_STATUS_INVALID_PARAMETER;
    else if (info.NumberOfPipes < interface->bNumEndpoints || roomFor < info.NumberOfPipes)
        refusal = USBD_STATUS_BUFFER_TOO_SMALL;
    if (refusal != USBD_STATUS_SUCCESS) {
        Complete(cutter, irp, urb, STATUS_INVALID_PARAMETER, refusal, line, 0);
        return STATUS_INVALID_PARAMETER;
    }
    if (NT_SUCCESS(outcome.nStatus)) {
        std::lock_guard<std::mutex> lk(cutter->pSystem->Lock());
        cutter->aPipes.clear();
        auto* p = reinterpret_cast<BYTE*>(interface) + interface->bLength;
        BYTE* end = reinterpret_cast<BYTE*>(cfg) + cfg->wTotalLength;
        ULONG pipe = 0;
        while (pipe < interface->bNumEndpoints && p + 2 <= end && p[0] >= 2 && p + p[0] <= end) {
            if (p[1] == USB_ENDPOINT_DESCRIPTOR_TYPE && p[0] >= 7) {
                USBD_PIPE_INFORMATION& out = info.Pipes[pipe];
                out.EndpointAddress = p[2];
                out.PipeType = (p[3] & 3) == 3 ? UsbdPipeTypeInterrupt : UsbdPipeTypeBulk;
                out.MaximumPacketSize = static_cast<USHORT>(p[4] | (p[5] << 8));
                out.Interval = p[6];
                out.PipeHandle = reinterpret_cast<USBD_PIPE_HANDLE>(g_nextHandle.fetch_add(0x10));
                cutter->aPipes[out.PipeHandle] = static_cast<int>(pipe);
                ++pipe;
            }
            p += p[0];
        }
        info.NumberOfPipes = pipe;
        info.Class = interface->bInterfaceClass;
        info.SubClass = interface->bInterfaceSubClass;
        info.Protocol = interface->bInterfaceProtocol;
        info.InterfaceHandle = reinterpret_cast<USBD_INTERFACE_HANDLE>(g_nextHandle.fetch_add(0x10));
        select.ConfigurationHandle = reinterpret_cast<USBD_CONFIGURATION_HANDLE>(g_nextHandle.fetch_add(0x10));
    }
    Complete(cutter, irp, urb, outcome.nStatus, outcome.nUsbd, line, 0);
    return outcome.nStatus;
}

NTSTATUS Bulk(SCutter* cutter, PIRP irp, PURB urb) {
    auto& transfer = urb->UrbBulkOrInterruptTransfer;
    int pipe = -1;
    {
        std::lock_guard<std::mutex> lk(cutter->pSystem->Lock());
        auto it = cutter->aPipes.find(transfer.PipeHandle);
        if (it != cutter->aPipes.end()) pipe = it->second;
    }
    if (pipe < 0 || pipe >= static_cast<int>(cutter->model.Endpoints().size())) {
        Complete(cutter, irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PIPE_HANDLE, "urb bulk on an unknown pipe", 0);
        return STATUS_INVALID_PARAMETER;
    }
    bool in = (cutter->model.Endpoints()[pipe] & 0x80) != 0;
    bool logged = cutter->pSystem->BusLogOn();
    std::string line;
    if (logged)
        line = "urb bulk pipe " + std::to_string(pipe) + (in ? " in" : " out") + " flags " +
               std::to_string(transfer.TransferFlags) + " length " + std::to_string(transfer.TransferBufferLength);
    if (in != ((transfer.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0)) {
        Complete(cutter, irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_PARAMETER, line + " wrong direction", 0);
        return STATUS_INVALID_PARAMETER;
    }
    if (!in && logged) line += " data " + Hex(transfer.TransferBuffer, transfer.TransferBufferLength);
    SUsbOutcome outcome = cutter->model.TakeOutcome(PipeTarget(pipe));
    bool hasData = in && !cutter->model.InData(pipe).empty();
    if (outcome.bHang || outcome.nDelayMs || (in && !hasData && NT_SUCCESS(outcome.nStatus) && USBD_SUCCESS(outcome.nUsbd)))
        return Pend(cutter, irp, in ? pipe : -1, outcome, line);
    ULONG count = in ? FillIn(cutter, pipe, transfer) : (NT_SUCCESS(outcome.nStatus) ? transfer.TransferBufferLength : 0);
    if (!in) transfer.TransferBufferLength = count;
    Complete(cutter, irp, urb, outcome.nStatus, outcome.nUsbd, line, count);
    return outcome.nStatus;
}

NTSTATUS VendorOrClass(SCutter* cutter, PIRP irp, PURB urb) {
    auto& request = urb->UrbControlVendorClassRequest;
    char text[160];
    bool in = (request.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0;
    std::snprintf(text, sizeof text,
                  "urb control function 0x%02X %s flags %u type 0x%02X request 0x%02X value 0x%04X index 0x%04X length %u",
                  urb->UrbHeader.Function, in ? "in" : "out", static_cast<unsigned>(request.TransferFlags),
                  request.RequestTypeReservedBits, request.Request, request.Value, request.Index,
                  static_cast<unsigned>(request.TransferBufferLength));
    std::string line = text;
    if (!in) line += " data " + Hex(request.TransferBuffer, request.TransferBufferLength);
    SUsbOutcome outcome = cutter->model.TakeOutcome(UsbTarget::Control);
    if (outcome.bHang || outcome.nDelayMs) return Pend(cutter, irp, -1, outcome, line);
    ULONG count = ControlDataStage(cutter, urb, outcome.nStatus);
    Complete(cutter, irp, urb, outcome.nStatus, outcome.nUsbd, line, count);
    return outcome.nStatus;
}

}  // namespace

ULONG ControlDataStage(SCutter* cutter, PURB urb, NTSTATUS status) {
    auto& request = urb->UrbControlVendorClassRequest;
    ULONG count = 0;
    if (NT_SUCCESS(status) && (request.TransferFlags & USBD_TRANSFER_DIRECTION_IN)) {
        auto& reply = cutter->model.ControlReply();
        count = request.TransferBufferLength < reply.size() ? request.TransferBufferLength : static_cast<ULONG>(reply.size());
        if (count) std::memcpy(request.TransferBuffer, reply.data(), count);
    } else if (NT_SUCCESS(status)) {
        count = request.TransferBufferLength;
    }
    request.TransferBufferLength = count;
    return count;
}

namespace {

NTSTATUS HubInternalControl(PDEVICE_OBJECT pdo, PIRP irp) {
    SCutter* cutter = CutterOf(pdo);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    auto* urb = static_cast<PURB>(stack->Parameters.Others.Argument1);
    if (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_INTERNAL_USB_SUBMIT_URB || !urb) {
        Complete(cutter, irp, nullptr, STATUS_INVALID_PARAMETER, 0, "internal control without a URB", 0);
        return STATUS_INVALID_PARAMETER;
    }
    if (!cutter->bPresent) {
        Complete(cutter, irp, urb, STATUS_DEVICE_NOT_CONNECTED, USBD_STATUS_DEV_NOT_RESPONDING,
                 "urb function " + std::to_string(urb->UrbHeader.Function) + " after unplug", 0);
        return STATUS_DEVICE_NOT_CONNECTED;
    }
    switch (urb->UrbHeader.Function) {
        case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE: return Descriptor(cutter, irp, urb);
        case URB_FUNCTION_SELECT_CONFIGURATION: return Select(cutter, irp, urb);
        case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER: return Bulk(cutter, irp, urb);
        case URB_FUNCTION_VENDOR_DEVICE:
        case URB_FUNCTION_VENDOR_INTERFACE:
        case URB_FUNCTION_VENDOR_ENDPOINT:
        case URB_FUNCTION_VENDOR_OTHER:
        case URB_FUNCTION_CLASS_DEVICE:
        case URB_FUNCTION_CLASS_INTERFACE:
        case URB_FUNCTION_CLASS_ENDPOINT:
        case URB_FUNCTION_CLASS_OTHER: return VendorOrClass(cutter, irp, urb);
        default:
            Complete(cutter, irp, urb, STATUS_INVALID_PARAMETER, USBD_STATUS_INVALID_URB_FUNCTION,
                     "urb function " + std::to_string(urb->UrbHeader.Function), 0);
            return STATUS_INVALID_PARAMETER;
    }
}

NTSTATUS HubPnp(PDEVICE_OBJECT pdo, PIRP irp) {
    SCutter* cutter = CutterOf(pdo);
    UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    char text[32];
    std::snprintf(text, sizeof text, "pdo pnp 0x%02X", minor);
    NTSTATUS status = irp->IoStatus.Status;
    if (minor == IRP_MN_START_DEVICE) {
        status = cutter->model.TakeOutcome(UsbTarget::Start).nStatus;
    } else if (minor <= IRP_MN_CANCEL_STOP_DEVICE || minor == IRP_MN_SURPRISE_REMOVAL ||
               minor == IRP_MN_QUERY_CAPABILITIES) {
        status = STATUS_SUCCESS;
    }
    irp->IoStatus.Status = status;
    char outcome[24];
    std::snprintf(outcome, sizeof outcome, " -> 0x%08X", static_cast<unsigned>(status));
    cutter->pSystem->Log(*cutter, std::string(text) + " information " + std::to_string(irp->IoStatus.Information) + outcome);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS HubPower(PDEVICE_OBJECT pdo, PIRP irp) {
    SCutter* cutter = CutterOf(pdo);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    char text[64];
    std::snprintf(text, sizeof text, "pdo power 0x%02X %s %d", stack->MinorFunction,
                  stack->Parameters.Power.Type == DevicePowerState ? "device" : "system",
                  static_cast<int>(stack->Parameters.Power.State.SystemState));
    cutter->pSystem->Log(*cutter, text);
    PoStartNextPowerIrp(irp);
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

NTSTATUS HubSystemControl(PDEVICE_OBJECT pdo, PIRP irp) {
    CutterOf(pdo)->pSystem->Log(*CutterOf(pdo), "pdo system-control");
    NTSTATUS status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

}  // namespace

NTSTATUS HubDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = HubInternalControl;
    driver->MajorFunction[IRP_MJ_PNP] = HubPnp;
    driver->MajorFunction[IRP_MJ_POWER] = HubPower;
    driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = HubSystemControl;
    return STATUS_SUCCESS;
}

}  // namespace platform::usbsim
