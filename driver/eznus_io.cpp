// Opening and closing, the admission gate, reads, writes and the device-control codes.
#include <cstring>

#include "driver/eznus.h"

namespace {

struct TRANSFER_BLOCK {
    _URB_BULK_OR_INTERRUPT_TRANSFER Urb;
    PVOID Buffer;  // the device's data lands here first
    PIRP Irp;
};

constexpr LONGLONG ONE_SECOND = -10000000;  // relative, 100 ns units
constexpr LONGLONG READ_DATA_TIMEOUT = -200000;
constexpr LONGLONG READ_AUX_TIMEOUT = -1000000;
constexpr LONGLONG GATE_POLL = -1000000;
constexpr ULONG WRITE_ATTEMPTS = 10;
constexpr ULONG SETUP_PACKET_SIZE = 8;
constexpr ULONG DEFAULT_REQUEST_LENGTH = 100;

NTSTATUS EznusFinish(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// Admits a transfer: only one that finds no other admitted waits for the
// ready gate. Returns FALSE when the device left the started state first.
BOOLEAN EznusAdmit(PEZNUS_EXTENSION extension) {
    KIRQL irql;
    KeAcquireSpinLock(&extension->ActiveRequestsLock, &irql);
    if (extension->ActiveRequests == 0) {
        KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
        // Polls the state so that a device stopped meanwhile refuses instead of holding the caller for ever.
        LARGE_INTEGER poll;
        poll.QuadPart = GATE_POLL;
        while (KeWaitForSingleObject(&extension->ReadyEvent, Executive, KernelMode, FALSE, &poll) == STATUS_TIMEOUT) {
            if (extension->State != StateStarted) return FALSE;
        }
        KeAcquireSpinLock(&extension->ActiveRequestsLock, &irql);
    }
    if (extension->State != StateStarted) {
        KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
        return FALSE;
    }
    if (extension->ActiveRequests++ == 0) KeClearEvent(&extension->IdleEvent);
    KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
    return TRUE;
}

void EznusRelease(PEZNUS_EXTENSION extension) {
    KIRQL irql;
    KeAcquireSpinLock(&extension->ActiveRequestsLock, &irql);
    KeReleaseMutex(&extension->RequestMutex, FALSE);
    if (--extension->ActiveRequests == 0) KeSetEvent(&extension->IdleEvent, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
}

USBD_PIPE_HANDLE EznusPipe(PEZNUS_EXTENSION extension, ULONG pipe) {
    return extension->InterfaceInfo ? extension->InterfaceInfo->Pipes[pipe].PipeHandle : nullptr;
}

NTSTATUS EznusWritePipe(PDEVICE_OBJECT device, ULONG pipe, PVOID buffer, ULONG length, BOOLEAN stopsWithDevice) {
    PEZNUS_EXTENSION extension = EznusExtension(device);
    if (extension->State != StateStarted || !EznusPipe(extension, pipe)) return STATUS_NO_MEDIA_IN_DEVICE;
    if (!buffer) return STATUS_INVALID_PARAMETER;
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    for (ULONG attempt = 0; attempt < WRITE_ATTEMPTS; ++attempt) {
        if (stopsWithDevice && extension->State != StateStarted) return status;
        auto* urb = static_cast<PURB>(ExAllocatePoolWithTag(NonPagedPool, sizeof(_URB_BULK_OR_INTERRUPT_TRANSFER), EZNUS_POOL_TAG));
        if (!urb) return STATUS_NO_MEMORY;
        std::memset(urb, 0, sizeof(_URB_BULK_OR_INTERRUPT_TRANSFER));
        urb->UrbHeader.Length = sizeof(_URB_BULK_OR_INTERRUPT_TRANSFER);
        urb->UrbHeader.Function = URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
        urb->UrbBulkOrInterruptTransfer.PipeHandle = EznusPipe(extension, pipe);
        urb->UrbBulkOrInterruptTransfer.TransferFlags = 0;
        urb->UrbBulkOrInterruptTransfer.TransferBufferLength = length;
        urb->UrbBulkOrInterruptTransfer.TransferBuffer = buffer;
        status = EznusSubmitUrb(device, urb);
        ExFreePool(urb);
        if (NT_SUCCESS(status)) return STATUS_SUCCESS;
        LARGE_INTEGER pause;
        pause.QuadPart = ONE_SECOND;
        KeDelayExecutionThread(KernelMode, FALSE, &pause);
    }
    return status;
}

NTSTATUS EznusReadPipe(PDEVICE_OBJECT device, ULONG pipe, PVOID buffer, ULONG wanted, PULONG count) {
    PEZNUS_EXTENSION extension = EznusExtension(device);
    BOOLEAN aux = pipe == EZNUS_PIPE_AUX_IN;
    *count = 0;
    if ((aux && extension->State != StateStarted) || !EznusPipe(extension, pipe)) return STATUS_NO_MEDIA_IN_DEVICE;
    auto* block = static_cast<TRANSFER_BLOCK*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(TRANSFER_BLOCK), EZNUS_POOL_TAG));
    if (!block) return STATUS_NO_MEMORY;
    std::memset(block, 0, sizeof(TRANSFER_BLOCK));
    block->Buffer = ExAllocatePoolWithTag(NonPagedPool, wanted, EZNUS_POOL_TAG);
    block->Irp = block->Buffer ? IoAllocateIrp(extension->LowerDeviceObject->StackSize, FALSE) : nullptr;
    if (!block->Irp) {
        if (block->Buffer) ExFreePool(block->Buffer);
        ExFreePool(block);
        return STATUS_NO_MEMORY;
    }
    block->Urb.Hdr.Length = sizeof(_URB_BULK_OR_INTERRUPT_TRANSFER);
    block->Urb.Hdr.Function = URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
    block->Urb.PipeHandle = EznusPipe(extension, pipe);
    block->Urb.TransferFlags = USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK;
    block->Urb.TransferBufferLength = wanted;
    block->Urb.TransferBuffer = block->Buffer;

    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(block->Irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = &block->Urb;
    IoSetCompletionRoutine(block->Irp, EznusReadComplete, &event, TRUE, TRUE, TRUE);

    NTSTATUS status = IoCallDriver(extension->LowerDeviceObject, block->Irp);
    BOOLEAN timedOut = FALSE;
    if (status == STATUS_PENDING) {
        LARGE_INTEGER timeout;
        timeout.QuadPart = aux ? READ_AUX_TIMEOUT : READ_DATA_TIMEOUT;
        if (KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout) == STATUS_TIMEOUT) {
            IoCancelIrp(block->Irp);
            KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
            timedOut = TRUE;
        }
    }
    // A request the bus completed at once has been through EznusReadComplete
    // too: its data counts like that of a pending one.
    NTSTATUS final = block->Irp->IoStatus.Status;
    ULONG received = block->Urb.TransferBufferLength < wanted ? block->Urb.TransferBufferLength : wanted;
    if (timedOut && !(NT_SUCCESS(final) && received > 0)) {
        status = STATUS_TIMEOUT;
    } else if (!aux) {
        status = final;
        if (status == STATUS_SUCCESS) {
            *count = received;
            if (received) std::memcpy(buffer, block->Buffer, received);
        }
    } else if (final == STATUS_DEVICE_DATA_ERROR) {
        status = final;
    } else {
        if (received) std::memcpy(buffer, block->Buffer, received);
        if (final != STATUS_SUCCESS) DbgPrint("NG %X ,Len=%d \r\n", static_cast<unsigned>(final), static_cast<int>(received));
        *count = received;
        status = received > 0 ? STATUS_SUCCESS : final;
    }
    IoFreeIrp(block->Irp);
    ExFreePool(block->Buffer);
    ExFreePool(block);
    return status;
}

// The URB function for a setup packet's type and recipient bits, or 0 for none.
USHORT EznusControlFunction(UCHAR masked) {
    switch (masked) {
        case 0x00:
        case 0x20: return URB_FUNCTION_CLASS_DEVICE;
        case 0x21: return URB_FUNCTION_CLASS_INTERFACE;
        case 0x22: return URB_FUNCTION_CLASS_ENDPOINT;
        case 0x23: return URB_FUNCTION_CLASS_OTHER;
        case 0x40: return URB_FUNCTION_VENDOR_DEVICE;
        case 0x41: return URB_FUNCTION_VENDOR_INTERFACE;
        case 0x42: return URB_FUNCTION_VENDOR_ENDPOINT;
        case 0x43: return URB_FUNCTION_VENDOR_OTHER;
        default: return 0;
    }
}

// Serves one admitted request by its code; sets its status and count.
void EznusServe(PDEVICE_OBJECT device, PIRP irp, ULONG code, ULONG inputLength, ULONG outputLength,
                BOOLEAN wantedInBuffer) {
    PVOID buffer = irp->AssociatedIrp.SystemBuffer;
    ULONG count = 0;
    NTSTATUS status;
    switch (code) {
        case IOCTL_PAR_QUERY_DEVICE_ID:
            status = EznusControlTransfer(device, irp, 1);
            break;
        case IOCTL_EZNUS_CONTROL_OUT:
            EznusControlTransfer(device, irp, 0);
            return;
        case IOCTL_EZNUS_CONTROL_IN:
            EznusControlTransfer(device, irp, 1);
            return;
        case IOCTL_EZNUS_WRITE:
            status = EznusWriteData(device, buffer, inputLength);
            break;
        case IOCTL_EZNUS_WRITE_AUX:
            status = EznusWriteAux(device, buffer, inputLength);
            break;
        case IOCTL_EZNUS_READ:
        case IOCTL_EZNUS_READ_ALT:
        case IOCTL_EZNUS_READ_AUX: {
            ULONG wanted = outputLength;
            // The wanted count comes from the caller: it must be there and fit the buffer.
            if (wantedInBuffer) {
                if (!buffer || inputLength < sizeof(ULONG)) {
                    status = STATUS_BUFFER_TOO_SMALL;
                    break;
                }
                std::memcpy(&wanted, buffer, sizeof(ULONG));
                if (wanted > outputLength) {
                    status = STATUS_BUFFER_TOO_SMALL;
                    break;
                }
            }
            status = code == IOCTL_EZNUS_READ_AUX ? EznusReadAux(device, buffer, wanted, &count)
                                                   : EznusReadData(device, buffer, wanted, &count);
            break;
        }
        default:
            status = STATUS_NOT_SUPPORTED;
            break;
    }
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = count;
}

NTSTATUS EznusDispatchTransfer(PDEVICE_OBJECT device, PIRP irp, ULONG code, ULONG inputLength, ULONG outputLength,
                               BOOLEAN wantedInBuffer) {
    PEZNUS_EXTENSION extension = EznusExtension(device);
    if (extension->State != StateStarted || !EznusAdmit(extension))
        return EznusFinish(irp, STATUS_NO_MEDIA_IN_DEVICE, 0);
    KeWaitForSingleObject(&extension->RequestMutex, Executive, KernelMode, FALSE, nullptr);
    EznusServe(device, irp, code, inputLength, outputLength, wantedInBuffer);
    NTSTATUS status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    EznusRelease(extension);
    return status;
}

}  // namespace

void EznusLeaveStarted(PEZNUS_EXTENSION Extension, UCHAR State) {
    KIRQL irql;
    KeAcquireSpinLock(&Extension->ActiveRequestsLock, &irql);
    Extension->State = State;
    KeReleaseSpinLock(&Extension->ActiveRequestsLock, irql);
}

NTSTATUS NTAPI EznusDispatchCreateClose(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    if (IoGetCurrentIrpStackLocation(Irp)->MajorFunction == IRP_MJ_CREATE) {
        if (InterlockedCompareExchange(&extension->OpenFlag, 1, 0) == 1) return EznusFinish(Irp, STATUS_UNSUCCESSFUL, 0);
        return EznusFinish(Irp, STATUS_SUCCESS, 0);
    }
    InterlockedExchange(&extension->OpenFlag, 0);
    return EznusFinish(Irp, STATUS_SUCCESS, 0);
}

NTSTATUS NTAPI EznusDispatchCleanup(PDEVICE_OBJECT, PIRP Irp) { return EznusFinish(Irp, STATUS_SUCCESS, 0); }

NTSTATUS NTAPI EznusDispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    return EznusDispatchTransfer(DeviceObject, Irp, stack->Parameters.DeviceIoControl.IoControlCode,
                                 stack->Parameters.DeviceIoControl.InputBufferLength,
                                 stack->Parameters.DeviceIoControl.OutputBufferLength, TRUE);
}

NTSTATUS NTAPI EznusDispatchRead(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    ULONG length = IoGetCurrentIrpStackLocation(Irp)->Parameters.Read.Length;
    return EznusDispatchTransfer(DeviceObject, Irp, IOCTL_EZNUS_READ, 0, length, FALSE);
}

NTSTATUS NTAPI EznusDispatchWrite(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    ULONG length = IoGetCurrentIrpStackLocation(Irp)->Parameters.Write.Length;
    return EznusDispatchTransfer(DeviceObject, Irp, IOCTL_EZNUS_WRITE, length, 0, FALSE);
}

NTSTATUS EznusWriteData(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG Length) {
    return EznusWritePipe(DeviceObject, EZNUS_PIPE_DATA_OUT, Buffer, Length, TRUE);
}

NTSTATUS EznusWriteAux(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG Length) {
    return EznusWritePipe(DeviceObject, EZNUS_PIPE_AUX_OUT, Buffer, Length, FALSE);
}

NTSTATUS EznusReadData(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG WantedCount, PULONG Count) {
    return EznusReadPipe(DeviceObject, EZNUS_PIPE_DATA_IN, Buffer, WantedCount, Count);
}

NTSTATUS EznusReadAux(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG WantedCount, PULONG Count) {
    return EznusReadPipe(DeviceObject, EZNUS_PIPE_AUX_IN, Buffer, WantedCount, Count);
}

NTSTATUS NTAPI EznusReadComplete(PDEVICE_OBJECT, PIRP Irp, PVOID Context) {
    if (Irp->Cancel) Irp->IoStatus.Status = STATUS_CANCELLED;
    KeSetEvent(static_cast<PKEVENT>(Context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS EznusControlTransfer(PDEVICE_OBJECT DeviceObject, PIRP Irp, ULONG Direction) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    ULONG inputLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG outputLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    ULONG bufferLength = inputLength > outputLength ? inputLength : outputLength;
    auto* setup = static_cast<UCHAR*>(Irp->AssociatedIrp.SystemBuffer);
    Irp->IoStatus.Information = 0;
    if (!setup || inputLength < SETUP_PACKET_SIZE) return Irp->IoStatus.Status = STATUS_BUFFER_TOO_SMALL;

    UCHAR masked = setup[0] & 0x63;
    USHORT function = EznusControlFunction(masked);
    // A standard request to another recipient, or the reserved type, has no URB function.
    if (!function) return Irp->IoStatus.Status = STATUS_INVALID_PARAMETER;
    ULONG length = masked == 0x00 ? DEFAULT_REQUEST_LENGTH : static_cast<ULONG>(setup[6] | (setup[7] << 8));
    // The reply must fit the system buffer, and a counted reply the caller's buffer;
    // the data sent must all be in the caller's input.
    BOOLEAN fits = Direction == 1 ? length <= bufferLength &&
                                        (stack->Parameters.DeviceIoControl.IoControlCode != IOCTL_EZNUS_CONTROL_IN ||
                                         length <= outputLength)
                                  : SETUP_PACKET_SIZE + length <= inputLength;
    if (!fits) return Irp->IoStatus.Status = STATUS_BUFFER_TOO_SMALL;

    auto* urb = static_cast<PURB>(
        ExAllocatePoolWithTag(NonPagedPool, sizeof(_URB_CONTROL_VENDOR_OR_CLASS_REQUEST), EZNUS_POOL_TAG));
    if (!urb) return Irp->IoStatus.Status = STATUS_NO_MEMORY;
    if (masked == 0x00) {
        const UCHAR defaultRequest[SETUP_PACKET_SIZE] = {0xC0, 0x00, 0x01, 0x02, 0x00, 0x00, DEFAULT_REQUEST_LENGTH, 0x00};
        std::memcpy(setup, defaultRequest, SETUP_PACKET_SIZE);
    }
    std::memset(urb, 0, sizeof(_URB_CONTROL_VENDOR_OR_CLASS_REQUEST));
    auto& request = urb->UrbControlVendorClassRequest;
    request.Hdr.Length = sizeof(_URB_CONTROL_VENDOR_OR_CLASS_REQUEST);
    request.Hdr.Function = function;
    request.RequestTypeReservedBits = setup[0];
    request.Request = setup[1];
    request.Value = static_cast<USHORT>(setup[2] | (setup[3] << 8));
    request.Index = static_cast<USHORT>(setup[4] | (setup[5] << 8));
    request.TransferBufferLength = length;
    if (Direction == 1) {
        request.TransferFlags = USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK;
        request.TransferBuffer = setup;
    } else {
        request.TransferFlags = USBD_SHORT_TRANSFER_OK;
        request.TransferBuffer = setup + SETUP_PACKET_SIZE;
    }
    NTSTATUS status = EznusSubmitUrb(DeviceObject, urb);
    if (NT_SUCCESS(status))
        Irp->IoStatus.Information = Direction == 1 ? (request.TransferBufferLength < length ? request.TransferBufferLength : length) : 0;
    Irp->IoStatus.Status = status;
    ExFreePool(urb);
    return status;
}
