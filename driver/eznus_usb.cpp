// USB configuration: descriptors at start, selection of the first interface,
// the kept pipe information, and the one synchronous way URBs go down.
#include <cstring>

#include "driver/eznus.h"

namespace {

void EznusBuildDescriptorRequest(PURB urb, UCHAR type, UCHAR index, PVOID buffer, ULONG length) {
    std::memset(urb, 0, sizeof(_URB_CONTROL_DESCRIPTOR_REQUEST));
    urb->UrbHeader.Length = sizeof(_URB_CONTROL_DESCRIPTOR_REQUEST);
    urb->UrbHeader.Function = URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE;
    urb->UrbControlDescriptorRequest.DescriptorType = type;
    urb->UrbControlDescriptorRequest.Index = index;
    urb->UrbControlDescriptorRequest.LanguageId = 0;
    urb->UrbControlDescriptorRequest.TransferBuffer = buffer;
    urb->UrbControlDescriptorRequest.TransferBufferLength = length;
}

// The transfers use pipes 0 to 3 by index: the interface must have them, in
// the directions the transfers expect, and the copy must hold them all.
bool EznusPipesUsable(PUSBD_INTERFACE_INFORMATION info) {
    SIZE_T needed = offsetof(USBD_INTERFACE_INFORMATION, Pipes) + EZNUS_PIPE_COUNT * sizeof(USBD_PIPE_INFORMATION);
    if (info->NumberOfPipes < EZNUS_PIPE_COUNT || info->Length < needed) return false;
    for (ULONG pipe = 0; pipe < EZNUS_PIPE_COUNT; ++pipe) {
        bool in = (info->Pipes[pipe].EndpointAddress & 0x80) != 0;
        if (in != (pipe == EZNUS_PIPE_AUX_IN || pipe == EZNUS_PIPE_DATA_IN)) return false;
    }
    return true;
}

}  // namespace

NTSTATUS EznusSubmitUrb(PDEVICE_OBJECT DeviceObject, PURB Urb) {
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    IO_STATUS_BLOCK ioStatus{};
    PIRP irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_USB_SUBMIT_URB, extension->LowerDeviceObject, nullptr, 0,
                                             nullptr, 0, TRUE, &event, &ioStatus);
    if (!irp) return STATUS_NO_MEMORY;
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = Urb;
    NTSTATUS status = IoCallDriver(extension->LowerDeviceObject, irp);
    if (status == STATUS_PENDING) {
        KeWaitForSingleObject(&event, Suspended, KernelMode, FALSE, nullptr);
        status = ioStatus.Status;
    }
    if (NT_SUCCESS(status) && USBD_ERROR(Urb->UrbHeader.Status)) return STATUS_UNSUCCESSFUL;
    return status;
}

NTSTATUS EznusStartDevice(PDEVICE_OBJECT DeviceObject) {
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    // A start without a stop in between replaces what the last one kept.
    if (extension->DeviceDescriptor || extension->InterfaceInfo) EznusStopDevice(DeviceObject);
    auto* urb = static_cast<PURB>(ExAllocatePoolWithTag(NonPagedPool, sizeof(_URB_CONTROL_DESCRIPTOR_REQUEST), EZNUS_POOL_TAG));
    auto* deviceDescriptor =
        static_cast<PUSB_DEVICE_DESCRIPTOR>(ExAllocatePoolWithTag(NonPagedPool, sizeof(USB_DEVICE_DESCRIPTOR), EZNUS_POOL_TAG));
    PVOID stringBuffer = ExAllocatePoolWithTag(NonPagedPool, 1024, EZNUS_POOL_TAG);
    NTSTATUS status = STATUS_NO_MEMORY;
    if (urb && deviceDescriptor && stringBuffer) {
        // The product string is asked for but not needed: a device that fails it still starts.
        EznusBuildDescriptorRequest(urb, USB_STRING_DESCRIPTOR_TYPE, 2, stringBuffer, 1024);
        EznusSubmitUrb(DeviceObject, urb);
        EznusBuildDescriptorRequest(urb, USB_DEVICE_DESCRIPTOR_TYPE, 0, deviceDescriptor, sizeof(USB_DEVICE_DESCRIPTOR));
        status = EznusSubmitUrb(DeviceObject, urb);
        if (NT_SUCCESS(status)) {
            extension->DeviceDescriptor = deviceDescriptor;
            status = EznusConfigureDevice(DeviceObject);
        }
        if (NT_SUCCESS(status)) KeSetEvent(&extension->ReadyEvent, IO_NO_INCREMENT, FALSE);
    }
    if (urb) ExFreePool(urb);
    if (stringBuffer) ExFreePool(stringBuffer);
    if (!NT_SUCCESS(status) && deviceDescriptor) {
        ExFreePool(deviceDescriptor);
        extension->DeviceDescriptor = nullptr;
    }
    return status;
}

NTSTATUS EznusConfigureDevice(PDEVICE_OBJECT DeviceObject) {
    auto* urb = static_cast<PURB>(ExAllocatePoolWithTag(NonPagedPool, sizeof(_URB_CONTROL_DESCRIPTOR_REQUEST), EZNUS_POOL_TAG));
    auto* descriptor = static_cast<PUSB_CONFIGURATION_DESCRIPTOR>(
        ExAllocatePoolWithTag(NonPagedPool, sizeof(USB_CONFIGURATION_DESCRIPTOR), EZNUS_POOL_TAG));
    NTSTATUS status = STATUS_NO_MEMORY;
    if (urb && descriptor) {
        EznusBuildDescriptorRequest(urb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, descriptor, sizeof(USB_CONFIGURATION_DESCRIPTOR));
        status = EznusSubmitUrb(DeviceObject, urb);
    }
    if (NT_SUCCESS(status)) {
        USHORT totalLength = descriptor->wTotalLength;
        ExFreePool(descriptor);
        descriptor = nullptr;
        // A header that claims less than itself cannot be parsed safely.
        if (totalLength < sizeof(USB_CONFIGURATION_DESCRIPTOR)) {
            status = STATUS_DEVICE_CONFIGURATION_ERROR;
        } else {
            descriptor = static_cast<PUSB_CONFIGURATION_DESCRIPTOR>(
                ExAllocatePoolWithTag(NonPagedPool, totalLength, EZNUS_POOL_TAG));
            status = descriptor ? STATUS_SUCCESS : STATUS_NO_MEMORY;
        }
        if (descriptor) {
            std::memset(descriptor, 0, totalLength);
            EznusBuildDescriptorRequest(urb, USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, descriptor, totalLength);
            status = EznusSubmitUrb(DeviceObject, urb);
            if (NT_SUCCESS(status) && urb->UrbControlDescriptorRequest.TransferBufferLength == 0) {
                status = STATUS_UNSUCCESSFUL;
            } else if (NT_SUCCESS(status)) {
                // The parsers trust wTotalLength: keep it within what was allocated.
                if (urb->UrbControlDescriptorRequest.TransferBufferLength < sizeof(USB_CONFIGURATION_DESCRIPTOR) ||
                    descriptor->wTotalLength > totalLength)
                    descriptor->wTotalLength = totalLength;
                status = EznusSelectConfiguration(DeviceObject, descriptor);
            }
        }
    }
    if (urb) ExFreePool(urb);
    if (descriptor) ExFreePool(descriptor);
    return status;
}

NTSTATUS EznusSelectConfiguration(PDEVICE_OBJECT DeviceObject, PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor) {
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    USHORT size = 0;
    PURB urb = USBD_CreateConfigurationRequest(ConfigurationDescriptor, &size);
    PUSB_INTERFACE_DESCRIPTOR interface = USBD_ParseConfigurationDescriptorEx(
        ConfigurationDescriptor, ConfigurationDescriptor, -1, -1, -1, -1, -1);
    if (!interface) {
        if (urb) ExFreePool(urb);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    if (!urb) return STATUS_NO_MEMORY;
    urb->UrbHeader.Function = URB_FUNCTION_SELECT_CONFIGURATION;
    urb->UrbHeader.Length = size;
    urb->UrbSelectConfiguration.ConfigurationDescriptor = ConfigurationDescriptor;
    NTSTATUS status = EznusSubmitUrb(DeviceObject, urb);
    if (NT_SUCCESS(status)) {
        PUSBD_INTERFACE_INFORMATION returned = &urb->UrbSelectConfiguration.Interface;
        // The copy never takes more than the URB holds.
        USHORT available = static_cast<USHORT>(size - offsetof(_URB_SELECT_CONFIGURATION, Interface));
        USHORT length = returned->Length < available ? returned->Length : available;
        auto* copy = static_cast<PUSBD_INTERFACE_INFORMATION>(ExAllocatePoolWithTag(NonPagedPool, length, EZNUS_POOL_TAG));
        if (!copy) {
            status = STATUS_NO_MEMORY;
        } else {
            std::memcpy(copy, returned, length);
            copy->Length = length;
            if (EznusPipesUsable(copy)) {
                extension->InterfaceInfo = copy;
            } else {
                ExFreePool(copy);
                status = STATUS_DEVICE_CONFIGURATION_ERROR;
            }
        }
    }
    ExFreePool(urb);
    return status;
}

NTSTATUS EznusStopDevice(PDEVICE_OBJECT DeviceObject) {
    PEZNUS_EXTENSION extension = EznusExtension(DeviceObject);
    KeClearEvent(&extension->ReadyEvent);
    // Transfers admitted before the stop still use the pipe information.
    KeWaitForSingleObject(&extension->IdleEvent, Executive, KernelMode, FALSE, nullptr);
    if (extension->DeviceDescriptor) {
        ExFreePool(extension->DeviceDescriptor);
        extension->DeviceDescriptor = nullptr;
    }
    if (extension->InterfaceInfo) {
        ExFreePool(extension->InterfaceInfo);
        extension->InterfaceInfo = nullptr;
    }
    return STATUS_SUCCESS;
}
