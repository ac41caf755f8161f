// Driver entry, device creation and numbering, device deletion.
#include "driver/eznus.h"
#include "platform/wdm/ntstrsafe.h"

namespace {

// One flag per device number: 1 while a device object with that number exists.
UCHAR DeviceNumberInUse[EZNUS_MAX_DEVICES];

void CopyText(WCHAR* target, const char* text) {
    while ((*target++ = static_cast<WCHAR>(static_cast<UCHAR>(*text++)))) {
    }
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING) {
    DriverObject->MajorFunction[IRP_MJ_CREATE] = EznusDispatchCreateClose;
    DriverObject->MajorFunction[IRP_MJ_CLOSE] = EznusDispatchCreateClose;
    DriverObject->MajorFunction[IRP_MJ_CLEANUP] = EznusDispatchCleanup;
    DriverObject->MajorFunction[IRP_MJ_READ] = EznusDispatchRead;
    DriverObject->MajorFunction[IRP_MJ_WRITE] = EznusDispatchWrite;
    DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = EznusDispatchDeviceControl;
    DriverObject->MajorFunction[IRP_MJ_POWER] = EznusDispatchPower;
    DriverObject->MajorFunction[IRP_MJ_PNP] = EznusDispatchPnp;
    DriverObject->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = EznusDispatchPnp;
    DriverObject->DriverExtension->AddDevice = EznusAddDevice;
    DriverObject->DriverUnload = EznusUnload;
    return STATUS_SUCCESS;
}

// Every device object is gone before the driver unloads.
void NTAPI EznusUnload(PDRIVER_OBJECT) {}

NTSTATUS NTAPI EznusAddDevice(PDRIVER_OBJECT DriverObject, PDEVICE_OBJECT PhysicalDeviceObject) {
    ULONG number = 0;
    while (number < EZNUS_MAX_DEVICES && DeviceNumberInUse[number]) ++number;
    if (number == EZNUS_MAX_DEVICES) return STATUS_INSUFFICIENT_RESOURCES;
    DeviceNumberInUse[number] = 1;

    WCHAR deviceNameBuffer[16];
    CopyText(deviceNameBuffer, "\\Device\\EZNUS0");
    deviceNameBuffer[13] = static_cast<WCHAR>(u'0' + number);
    UNICODE_STRING deviceName;
    RtlInitUnicodeString(&deviceName, deviceNameBuffer);

    PDEVICE_OBJECT deviceObject = nullptr;
    NTSTATUS status = IoCreateDevice(DriverObject, sizeof(EZNUS_EXTENSION), &deviceName, FILE_DEVICE_UNKNOWN, 0,
                                     FALSE, &deviceObject);
    if (!NT_SUCCESS(status)) {
        DeviceNumberInUse[number] = 0;
        return status;
    }

    PEZNUS_EXTENSION extension = EznusExtension(deviceObject);
    extension->DeviceNumber = number;
    KeInitializeSpinLock(&extension->ActiveRequestsLock);
    KeInitializeEvent(&extension->ReadyEvent, NotificationEvent, FALSE);
    KeInitializeEvent(&extension->IdleEvent, NotificationEvent, TRUE);
    KeInitializeMutex(&extension->RequestMutex, 0);

    extension->LowerDeviceObject = IoAttachDeviceToDeviceStack(deviceObject, PhysicalDeviceObject);
    if (!extension->LowerDeviceObject) {
        EznusDeleteDevice(deviceObject);
        return STATUS_UNSUCCESSFUL;
    }

    char link[24];
    RtlStringCbPrintfA(link, sizeof link, "\\DosDevices\\EZNUS%d", static_cast<int>(number));
    CopyText(extension->LinkNameBuffer, link);
    RtlInitUnicodeString(&extension->LinkName, extension->LinkNameBuffer);
    // A device whose link could not be made is still added.
    IoCreateSymbolicLink(&extension->LinkName, &deviceName);

    deviceObject->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;
    deviceObject->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}

void EznusDeleteDevice(PDEVICE_OBJECT DeviceObject) {
    if (!DeviceObject) return;
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    if (extension->LinkName.Buffer) IoDeleteSymbolicLink(&extension->LinkName);
    DeviceNumberInUse[extension->DeviceNumber] = 0;
    if (extension->LowerDeviceObject) {
        IoDetachDevice(extension->LowerDeviceObject);
        extension->LowerDeviceObject = nullptr;
    }
    IoDeleteDevice(DeviceObject);
}
