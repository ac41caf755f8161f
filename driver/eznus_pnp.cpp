// Plug and Play and power: which requests the driver serves, which it only
// passes down, and how they move the state, the ready gate and the pipes.
#include "driver/eznus.h"

namespace {

NTSTATUS EznusCompletePnp(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// Stop, surprise removal and an accepted query-remove: no transfer is
// admitted from here on, and the pipes go once the admitted ones are done.
void EznusStopForPnp(PDEVICE_OBJECT device) {
    EznusLeaveStarted(EznusExtension(device), StateStopped);
    EznusStopDevice(device);
}

NTSTATUS EznusPassPowerDown(PEZNUS_EXTENSION extension, PIRP irp) {
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(extension->LowerDeviceObject, irp);
}

NTSTATUS EznusCompletePower(PIRP irp, NTSTATUS status) {
    irp->IoStatus.Information = 0;
    irp->IoStatus.Status = status;
    PoStartNextPowerIrp(irp);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS EznusChangeDevicePower(PDEVICE_OBJECT device, PIRP irp, DEVICE_POWER_STATE state) {
    irp->IoStatus.Status = STATUS_PENDING;
    IoMarkIrpPending(irp);
    POWER_STATE power;
    power.DeviceState = state;
    NTSTATUS status = PoRequestPowerIrp(device, IRP_MN_SET_POWER, power, EznusSystemPowerComplete, irp, nullptr);
    if (NT_SUCCESS(status)) return status;
    // Nobody else would ever complete the system request; it is marked pending, so that is what is returned.
    EznusCompletePower(irp, status);
    return STATUS_PENDING;
}

BOOLEAN EznusDeepSleep(SYSTEM_POWER_STATE state) {
    return state == PowerSystemSleeping3 || state == PowerSystemHibernate || state == PowerSystemShutdown;
}

}  // namespace

NTSTATUS EznusForwardAndWait(PDEVICE_OBJECT LowerDeviceObject, PIRP Irp) {
    IoCopyCurrentIrpStackLocationToNext(Irp);
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IoSetCompletionRoutine(Irp, EznusForwardComplete, &event, TRUE, TRUE, TRUE);
    NTSTATUS status = IoGetCurrentIrpStackLocation(Irp)->MajorFunction == IRP_MJ_POWER
                          ? PoCallDriver(LowerDeviceObject, Irp)
                          : IofCallDriver(LowerDeviceObject, Irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr);
        status = Irp->IoStatus.Status;
    }
    return status;
}

NTSTATUS NTAPI EznusForwardComplete(PDEVICE_OBJECT, PIRP Irp, PVOID Context) {
    if (Irp->Cancel) Irp->IoStatus.Status = STATUS_CANCELLED;
    KeSetEvent(static_cast<PKEVENT>(Context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS NTAPI EznusDispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    PDEVICE_OBJECT lower = extension->LowerDeviceObject;
    Irp->IoStatus.Information = 0;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    if (stack->MajorFunction == IRP_MJ_SYSTEM_CONTROL) {
        IoCopyCurrentIrpStackLocationToNext(Irp);
        return IoCallDriver(lower, Irp);
    }
    NTSTATUS status;
    KIRQL irql;
    switch (stack->MinorFunction) {
        case IRP_MN_START_DEVICE:
            status = EznusForwardAndWait(lower, Irp);
            if (status == STATUS_SUCCESS) {
                status = EznusStartDevice(DeviceObject);
                if (NT_SUCCESS(status)) extension->State = StateStarted;
            }
            return EznusCompletePnp(Irp, status);
        case IRP_MN_QUERY_REMOVE_DEVICE:
            if (extension->OpenFlag) return EznusCompletePnp(Irp, STATUS_UNSUCCESSFUL);
            EznusStopForPnp(DeviceObject);
            return EznusCompletePnp(Irp, EznusForwardAndWait(lower, Irp));
        case IRP_MN_REMOVE_DEVICE:
            EznusLeaveStarted(extension, StateRemoved);
            // A removal that no stop preceded must not leave the pipes behind.
            EznusStopDevice(DeviceObject);
            EznusDeleteDevice(DeviceObject);
            return EznusCompletePnp(Irp, EznusForwardAndWait(lower, Irp));
        case IRP_MN_CANCEL_REMOVE_DEVICE:
            return EznusCompletePnp(Irp, EznusForwardAndWait(lower, Irp));
        case IRP_MN_STOP_DEVICE:
        case IRP_MN_SURPRISE_REMOVAL:
            EznusStopForPnp(DeviceObject);
            return EznusCompletePnp(Irp, EznusForwardAndWait(lower, Irp));
        case IRP_MN_QUERY_STOP_DEVICE:
            KeAcquireSpinLock(&extension->ActiveRequestsLock, &irql);
            if (extension->ActiveRequests > 0) {
                KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
                return EznusCompletePnp(Irp, STATUS_DEVICE_BUSY);
            }
            KeClearEvent(&extension->ReadyEvent);
            KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
            return EznusCompletePnp(Irp, EznusForwardAndWait(lower, Irp));
        case IRP_MN_CANCEL_STOP_DEVICE:
            status = EznusForwardAndWait(lower, Irp);
            if (status == STATUS_SUCCESS) KeSetEvent(&extension->ReadyEvent, IO_NO_INCREMENT, FALSE);
            return EznusCompletePnp(Irp, status);
        default:
            IoSkipCurrentIrpStackLocation(Irp);
            return IoCallDriver(lower, Irp);
    }
}

NTSTATUS NTAPI EznusDispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp) {
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(Irp);
    POWER_STATE state = stack->Parameters.Power.State;
    BOOLEAN system = stack->Parameters.Power.Type == SystemPowerState;
    KIRQL irql;
    if (stack->MinorFunction == IRP_MN_SET_POWER && !system) {
        if (state.DeviceState == PowerDeviceD0) {
            IoCopyCurrentIrpStackLocationToNext(Irp);
            IoSetCompletionRoutine(Irp, EznusPowerUpComplete, nullptr, TRUE, TRUE, TRUE);
            return PoCallDriver(extension->LowerDeviceObject, Irp);
        }
        if (state.DeviceState == PowerDeviceD3) PoSetPowerState(DeviceObject, DevicePowerState, state);
        return EznusPassPowerDown(extension, Irp);
    }
    if (stack->MinorFunction == IRP_MN_SET_POWER) {
        SYSTEM_POWER_STATE target = state.SystemState;
        if (target == PowerSystemWorking || target == PowerSystemSleeping1 || target == PowerSystemSleeping2 ||
            target == PowerSystemMaximum)
            return EznusChangeDevicePower(DeviceObject, Irp, PowerDeviceD0);
        if (EznusDeepSleep(target)) {
            POWER_STATE deep;
            deep.SystemState = PowerSystemSleeping3;
            PoSetPowerState(DeviceObject, SystemPowerState, deep);
            return EznusChangeDevicePower(DeviceObject, Irp, PowerDeviceD3);
        }
        return EznusCompletePower(Irp, STATUS_SUCCESS);
    }
    if (stack->MinorFunction == IRP_MN_QUERY_POWER && system) {
        if (!EznusDeepSleep(state.SystemState)) return EznusCompletePower(Irp, STATUS_SUCCESS);
        KeAcquireSpinLock(&extension->ActiveRequestsLock, &irql);
        if (extension->ActiveRequests != 0) {
            KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
            return EznusCompletePower(Irp, STATUS_DEVICE_BUSY);
        }
        KeClearEvent(&extension->ReadyEvent);
        KeReleaseSpinLock(&extension->ActiveRequestsLock, irql);
        return EznusCompletePower(Irp, STATUS_SUCCESS);
    }
    return EznusPassPowerDown(extension, Irp);
}

NTSTATUS NTAPI EznusPowerUpComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID) {
    if (Irp->PendingReturned) IoMarkIrpPending(Irp);
    PoSetPowerState(DeviceObject, DevicePowerState, IoGetCurrentIrpStackLocation(Irp)->Parameters.Power.State);
    PoStartNextPowerIrp(Irp);
    KeSetEvent(&EznusExtension(DeviceObject)->ReadyEvent, IO_NO_INCREMENT, FALSE);
    return STATUS_SUCCESS;
}

void NTAPI EznusSystemPowerComplete(PDEVICE_OBJECT DeviceObject, UCHAR, POWER_STATE PowerState, PVOID Context,
                                    PIO_STATUS_BLOCK IoStatus) {
    auto* systemIrp = static_cast<PIRP>(Context);
    systemIrp->IoStatus.Information = 0;
    systemIrp->IoStatus.Status = IoStatus->Status;
    if (PowerState.DeviceState == PowerDeviceD0) {
        POWER_STATE working;
        working.SystemState = PowerSystemWorking;
        PoSetPowerState(DeviceObject, SystemPowerState, working);
    }
    PoStartNextPowerIrp(systemIrp);
    IoCompleteRequest(systemIrp, IO_NO_INCREMENT);
}
