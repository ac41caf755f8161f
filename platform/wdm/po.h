// Power manager calls of a function driver.
#pragma once

#include "platform/wdm/io.h"

using PREQUEST_POWER_COMPLETE = void (*)(PDEVICE_OBJECT device, UCHAR minorFunction, POWER_STATE state,
                                         PVOID context, PIO_STATUS_BLOCK ioStatus);

// Sends a power request down like IoCallDriver and returns its status.
NTSTATUS PoCallDriver(PDEVICE_OBJECT device, PIRP irp);
// The driver is ready for the next power request of this kind.
void PoStartNextPowerIrp(PIRP irp);
// Records the device's new power state; returns the previous one.
POWER_STATE PoSetPowerState(PDEVICE_OBJECT device, POWER_STATE_TYPE type, POWER_STATE state);
// Sends a new power request to the top of device's stack and calls complete
// when it is done: STATUS_PENDING, or STATUS_INSUFFICIENT_RESOURCES when it
// could not be built (complete is then never called).
NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT device, UCHAR minorFunction, POWER_STATE state,
                           PREQUEST_POWER_COMPLETE complete, PVOID context, PIRP* irp);
