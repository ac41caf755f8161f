// Requests: allocation, passing down, completion through the stack, cancellation.
#include <atomic>
#include <cstring>

#include "platform/wdm/internal.h"
#include "platform/wdm/wdm_test.h"

namespace {

constexpr ULONG kIrpTag = platform::wdm::TagOf("Irp ");
constexpr ULONG kBufferTag = platform::wdm::TagOf("IoSb");
KSPIN_LOCK g_cancelLock = 0;
int g_ioManagerThread;  // its address marks the requests the I/O manager releases

PIRP NewIrp(CCHAR stackSize) {
    if (stackSize < 1) platform::wdm::Fault("a request was built with no stack location");
    SIZE_T bytes = sizeof(IRP) + sizeof(IO_STACK_LOCATION) * static_cast<SIZE_T>(stackSize);
    auto* irp = static_cast<PIRP>(platform::wdm::AllocateSystemPool(bytes, kIrpTag));
    if (!irp) return nullptr;
    std::memset(irp, 0, bytes);
    irp->Type = 6;
    irp->Size = static_cast<USHORT>(bytes);
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<CCHAR>(stackSize + 1);
    auto* stacks = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1);
    irp->Tail.Overlay.CurrentStackLocation = stacks + stackSize;
    return irp;
}

// The I/O manager's last step for a request it owns: copy a buffered reply
// back, report the outcome, release the request.
void FinishOwnedIrp(PIRP irp) {
    if ((irp->Flags & IRP_INPUT_OPERATION) && irp->UserBuffer && NT_SUCCESS(irp->IoStatus.Status)) {
        ULONG_PTR count = irp->IoStatus.Information;
        if (count > irp->UserBufferLength) count = irp->UserBufferLength;
        std::memcpy(irp->UserBuffer, irp->AssociatedIrp.SystemBuffer, count);
    }
    if (irp->Flags & IRP_DEALLOCATE_BUFFER) ExFreePool(irp->AssociatedIrp.SystemBuffer);
    if (irp->UserIosb) *irp->UserIosb = irp->IoStatus;
    PKEVENT event = irp->UserEvent;
    ExFreePool(irp);
    if (event) KeSetEvent(event, IO_NO_INCREMENT, FALSE);
}

}  // namespace

namespace platform::wdm {

PIRP AllocateSystemIrp(CCHAR stackSize) {
    PIRP irp = NewIrp(stackSize);
    if (irp) irp->Tail.Overlay.Thread = &g_ioManagerThread;
    return irp;
}

}  // namespace platform::wdm

using namespace platform::wdm;

PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN) {
    if (TakeInjectedFailure()) return nullptr;
    return NewIrp(stackSize);
}

void IoFreeIrp(PIRP irp) {
    if (irp->Tail.Overlay.Thread) Fault("IoFreeIrp of a request the I/O manager owns");
    ExFreePool(irp);
}

PIRP IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input, ULONG inputLength, PVOID output,
                                   ULONG outputLength, BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK ioStatus) {
    if (TakeInjectedFailure()) return nullptr;
    PIRP irp = AllocateSystemIrp(device->StackSize);
    if (!irp) return nullptr;
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = internal ? IRP_MJ_INTERNAL_DEVICE_CONTROL : IRP_MJ_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = code;
    next->Parameters.DeviceIoControl.InputBufferLength = inputLength;
    next->Parameters.DeviceIoControl.OutputBufferLength = outputLength;
    if ((code & 3) == METHOD_BUFFERED && (inputLength || outputLength)) {
        ULONG size = inputLength > outputLength ? inputLength : outputLength;
        void* buffer = AllocateSystemPool(size, kBufferTag);
        if (!buffer) {
            ExFreePool(irp);
            return nullptr;
        }
        if (input && inputLength) std::memcpy(buffer, input, inputLength);
        irp->AssociatedIrp.SystemBuffer = buffer;
        irp->Flags = IRP_BUFFERED_IO | IRP_DEALLOCATE_BUFFER | (output ? IRP_INPUT_OPERATION : 0);
    } else {
        next->Parameters.DeviceIoControl.Type3InputBuffer = input;
    }
    irp->UserBuffer = output;
    irp->UserBufferLength = outputLength;
    irp->UserEvent = event;
    irp->UserIosb = ioStatus;
    return irp;
}

NTSTATUS IoCallDriver(PDEVICE_OBJECT device, PIRP irp) {
    IoSetNextIrpStackLocation(irp);
    if (irp->CurrentLocation <= 0) Fault("a request was passed below its last stack location");
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    stack->DeviceObject = device;
    return device->DriverObject->MajorFunction[stack->MajorFunction](device, irp);
}

NTSTATUS IofCallDriver(PDEVICE_OBJECT device, PIRP irp) { return IoCallDriver(device, irp); }

void IoCopyCurrentIrpStackLocationToNext(PIRP irp) {
    PIO_STACK_LOCATION current = IoGetCurrentIrpStackLocation(irp);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    std::memcpy(next, current, offsetof(IO_STACK_LOCATION, CompletionRoutine));
    next->Control = 0;
    next->CompletionRoutine = nullptr;
    next->Context = nullptr;
}

void IoSetCompletionRoutine(PIRP irp, PIO_COMPLETION_ROUTINE routine, PVOID context, BOOLEAN onSuccess,
                            BOOLEAN onError, BOOLEAN onCancel) {
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->CompletionRoutine = routine;
    next->Context = context;
    next->Control = 0;
    if (onSuccess) next->Control |= SL_INVOKE_ON_SUCCESS;
    if (onError) next->Control |= SL_INVOKE_ON_ERROR;
    if (onCancel) next->Control |= SL_INVOKE_ON_CANCEL;
}

void IoCompleteRequest(PIRP irp, CCHAR) {
    if (irp->CurrentLocation > irp->StackCount) Fault("a request was completed twice or never sent");
    if (irp->IoStatus.Status == STATUS_PENDING) Fault("a request was completed with STATUS_PENDING");
    if (irp->CancelRoutine) Fault("a request was completed with its cancel routine still set");
    while (irp->CurrentLocation <= irp->StackCount) {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
        irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) ? TRUE : FALSE;
        PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
        PVOID context = stack->Context;
        NTSTATUS status = irp->IoStatus.Status;
        bool invoke = routine && ((NT_SUCCESS(status) && (stack->Control & SL_INVOKE_ON_SUCCESS)) ||
                                  (!NT_SUCCESS(status) && (stack->Control & SL_INVOKE_ON_ERROR)) ||
                                  (irp->Cancel && (stack->Control & SL_INVOKE_ON_CANCEL)));
        stack->CompletionRoutine = nullptr;
        stack->Control = 0;
        irp->CurrentLocation++;
        irp->Tail.Overlay.CurrentStackLocation++;
        bool atTop = irp->CurrentLocation > irp->StackCount;
        PDEVICE_OBJECT above = atTop ? nullptr : IoGetCurrentIrpStackLocation(irp)->DeviceObject;
        if (invoke) {
            if (routine(above, irp, context) == STATUS_MORE_PROCESSING_REQUIRED) return;
        } else if (irp->PendingReturned && !atTop) {
            IoMarkIrpPending(irp);
        }
    }
    if (!irp->Tail.Overlay.Thread)
        Fault("a request from IoAllocateIrp was completed to the top instead of being caught by its owner");
    FinishOwnedIrp(irp);
}

void IoAcquireCancelSpinLock(PKIRQL irql) { KeAcquireSpinLock(&g_cancelLock, irql); }
void IoReleaseCancelSpinLock(KIRQL irql) { KeReleaseSpinLock(&g_cancelLock, irql); }

PDRIVER_CANCEL IoSetCancelRoutine(PIRP irp, PDRIVER_CANCEL routine) {
    return std::atomic_ref<PDRIVER_CANCEL>(irp->CancelRoutine).exchange(routine);
}

BOOLEAN IoCancelIrp(PIRP irp) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    irp->Cancel = TRUE;
    PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, nullptr);
    if (!routine) {
        IoReleaseCancelSpinLock(irql);
        return FALSE;
    }
    irp->CancelIrql = irql;
    // The routine releases the cancel spin lock itself.
    routine(IoGetCurrentIrpStackLocation(irp)->DeviceObject, irp);
    return TRUE;
}
