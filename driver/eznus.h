// zbkusd: the cutter's USB function driver. The per-device record and the
// routines its files share (entry and devices, USB configuration, transfers,
// Plug and Play and power).
#pragma once

#include "platform/wdm/usb.h"
#include "platform/wdm/wdm.h"

constexpr ULONG EZNUS_POOL_TAG = 0x206D6457;  // "Wdm "
constexpr ULONG EZNUS_MAX_DEVICES = 4;

constexpr UCHAR StateNotStarted = 0;
constexpr UCHAR StateStarted = 2;
constexpr UCHAR StateStopped = 10;
constexpr UCHAR StateRemoved = 11;

constexpr ULONG IOCTL_PAR_QUERY_DEVICE_ID = 0x0016000C;
constexpr ULONG IOCTL_EZNUS_WRITE = CTL_CODE(FILE_DEVICE_PRINTER, 3000, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_EZNUS_READ = CTL_CODE(FILE_DEVICE_PRINTER, 3001, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_EZNUS_CONTROL_OUT = CTL_CODE(FILE_DEVICE_PRINTER, 3002, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_EZNUS_CONTROL_IN = CTL_CODE(FILE_DEVICE_PRINTER, 3003, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_EZNUS_WRITE_AUX = CTL_CODE(FILE_DEVICE_PRINTER, 3004, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_EZNUS_READ_AUX = CTL_CODE(FILE_DEVICE_PRINTER, 3005, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr ULONG IOCTL_EZNUS_READ_ALT = CTL_CODE(FILE_DEVICE_PRINTER, 3100, METHOD_BUFFERED, FILE_ANY_ACCESS);

// Pipe indices in the selected interface.
constexpr ULONG EZNUS_PIPE_AUX_OUT = 0;
constexpr ULONG EZNUS_PIPE_AUX_IN = 1;
constexpr ULONG EZNUS_PIPE_DATA_OUT = 2;
constexpr ULONG EZNUS_PIPE_DATA_IN = 3;
constexpr ULONG EZNUS_PIPE_COUNT = 4;

struct EZNUS_EXTENSION {
    PDEVICE_OBJECT LowerDeviceObject;
    UNICODE_STRING LinkName;
    WCHAR LinkNameBuffer[24];
    LONG ActiveRequests;
    KSPIN_LOCK ActiveRequestsLock;
    KEVENT ReadyEvent;
    LONG OpenFlag;
    PUSB_DEVICE_DESCRIPTOR DeviceDescriptor;
    PUSBD_INTERFACE_INFORMATION InterfaceInfo;
    ULONG DeviceNumber;
    KMUTEX RequestMutex;
    UCHAR State;
    // Signalled while no transfer is admitted, so that stop and removal can
    // wait for the transfers that still use the pipe information.
    KEVENT IdleEvent;
};
using PEZNUS_EXTENSION = EZNUS_EXTENSION*;

inline PEZNUS_EXTENSION EznusExtension(PDEVICE_OBJECT device) {
    return static_cast<PEZNUS_EXTENSION>(device->DeviceExtension);
}

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath);
NTSTATUS NTAPI EznusAddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject);
void EznusDeleteDevice(PDEVICE_OBJECT DeviceObject);
void NTAPI EznusUnload(PDRIVER_OBJECT DriverObject);

NTSTATUS EznusSubmitUrb(PDEVICE_OBJECT DeviceObject, PURB Urb);
NTSTATUS EznusStartDevice(PDEVICE_OBJECT DeviceObject);
NTSTATUS EznusConfigureDevice(PDEVICE_OBJECT DeviceObject);
NTSTATUS EznusSelectConfiguration(PDEVICE_OBJECT DeviceObject, PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor);
NTSTATUS EznusStopDevice(PDEVICE_OBJECT DeviceObject);

NTSTATUS NTAPI EznusDispatchCreateClose(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI EznusDispatchCleanup(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI EznusDispatchRead(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI EznusDispatchWrite(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI EznusDispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS EznusWriteData(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG Length);
NTSTATUS EznusWriteAux(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG Length);
NTSTATUS EznusReadData(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG WantedCount, PULONG Count);
NTSTATUS EznusReadAux(PDEVICE_OBJECT DeviceObject, PVOID Buffer, ULONG WantedCount, PULONG Count);
NTSTATUS EznusControlTransfer(PDEVICE_OBJECT DeviceObject, PIRP Irp, ULONG Direction);
NTSTATUS NTAPI EznusReadComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);

NTSTATUS NTAPI EznusDispatchPnp(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS NTAPI EznusDispatchPower(PDEVICE_OBJECT DeviceObject, PIRP Irp);
NTSTATUS EznusForwardAndWait(PDEVICE_OBJECT LowerDeviceObject, PIRP Irp);
NTSTATUS NTAPI EznusForwardComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
NTSTATUS NTAPI EznusPowerUpComplete(PDEVICE_OBJECT DeviceObject, PIRP Irp, PVOID Context);
void NTAPI EznusSystemPowerComplete(PDEVICE_OBJECT DeviceObject, UCHAR MinorFunction, POWER_STATE PowerState,
                                    PVOID Context, PIO_STATUS_BLOCK IoStatus);
// Moves the device to a state that admits no transfer, and records it so
// that no transfer is admitted after this returns.
void EznusLeaveStarted(PEZNUS_EXTENSION Extension, UCHAR State);
