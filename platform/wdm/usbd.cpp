#include <cstring>

#include "platform/wdm/internal.h"
#include "platform/wdm/usb.h"

namespace {
constexpr ULONG kUsbdTag = platform::wdm::TagOf("USBD");
}

PUSB_INTERFACE_DESCRIPTOR USBD_ParseConfigurationDescriptorEx(PUSB_CONFIGURATION_DESCRIPTOR configuration,
                                                              PVOID start, LONG interfaceNumber,
                                                              LONG alternateSetting, LONG interfaceClass,
                                                              LONG interfaceSubClass, LONG interfaceProtocol) {
    auto* base = reinterpret_cast<UCHAR*>(configuration);
    UCHAR* end = base + configuration->wTotalLength;
    auto* p = static_cast<UCHAR*>(start);
    auto matches = [](LONG wanted, UCHAR value) { return wanted == -1 || wanted == value; };
    while (p >= base && p + 2 <= end) {
        UCHAR length = p[0];
        if (length < 2 || p + length > end) break;
        if (p[1] == USB_INTERFACE_DESCRIPTOR_TYPE && length >= sizeof(USB_INTERFACE_DESCRIPTOR)) {
            auto* found = reinterpret_cast<PUSB_INTERFACE_DESCRIPTOR>(p);
            if (matches(interfaceNumber, found->bInterfaceNumber) &&
                matches(alternateSetting, found->bAlternateSetting) && matches(interfaceClass, found->bInterfaceClass) &&
                matches(interfaceSubClass, found->bInterfaceSubClass) &&
                matches(interfaceProtocol, found->bInterfaceProtocol))
                return found;
        }
        p += length;
    }
    return nullptr;
}

PURB USBD_CreateConfigurationRequest(PUSB_CONFIGURATION_DESCRIPTOR configuration, PUSHORT size) {
    PUSB_INTERFACE_DESCRIPTOR interface =
        USBD_ParseConfigurationDescriptorEx(configuration, configuration, -1, 0, -1, -1, -1);
    if (!interface) return nullptr;
    ULONG pipes = interface->bNumEndpoints;
    ULONG extra = pipes > 1 ? pipes - 1 : 0;
    ULONG bytes = sizeof(_URB_SELECT_CONFIGURATION) + extra * sizeof(USBD_PIPE_INFORMATION);
    auto* urb = static_cast<PURB>(ExAllocatePoolWithTag(NonPagedPool, bytes, kUsbdTag));
    if (!urb) return nullptr;
    std::memset(urb, 0, bytes);
    urb->UrbHeader.Length = static_cast<USHORT>(bytes);
    urb->UrbHeader.Function = URB_FUNCTION_SELECT_CONFIGURATION;
    urb->UrbSelectConfiguration.ConfigurationDescriptor = configuration;
    USBD_INTERFACE_INFORMATION& info = urb->UrbSelectConfiguration.Interface;
    info.Length = static_cast<USHORT>(sizeof(USBD_INTERFACE_INFORMATION) + extra * sizeof(USBD_PIPE_INFORMATION));
    info.InterfaceNumber = interface->bInterfaceNumber;
    info.AlternateSetting = interface->bAlternateSetting;
    info.NumberOfPipes = pipes;
    for (ULONG i = 0; i < pipes; ++i) {
        info.Pipes[i].MaximumTransferSize = USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE;
        info.Pipes[i].PipeFlags = 0;
    }
    if (size) *size = static_cast<USHORT>(bytes);
    return urb;
}
