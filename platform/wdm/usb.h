// USB descriptors, the URB layouts a client driver sends with
// IOCTL_INTERNAL_USB_SUBMIT_URB, and the USBD library routines.
#pragma once

#ifdef _WIN32
#include "platform/wdm/wdm.h"
#include <usb.h>
#include <usbioctl.h>
// The library header lacks C linkage of its own.
extern "C" {
#include <ddk/usbdlib.h>
}
#else

#include "platform/wdm/io.h"

using USBD_STATUS = LONG;
using USBD_PIPE_HANDLE = PVOID;
using USBD_CONFIGURATION_HANDLE = PVOID;
using USBD_INTERFACE_HANDLE = PVOID;

constexpr bool USBD_SUCCESS(USBD_STATUS status) { return status >= 0; }
constexpr bool USBD_ERROR(USBD_STATUS status) { return status < 0; }

constexpr USBD_STATUS USBD_STATUS_SUCCESS = 0x00000000;
constexpr USBD_STATUS USBD_STATUS_PENDING = 0x40000000;
constexpr USBD_STATUS USBD_STATUS_CRC = static_cast<USBD_STATUS>(0xC0000001);
constexpr USBD_STATUS USBD_STATUS_STALL_PID = static_cast<USBD_STATUS>(0xC0000004);
constexpr USBD_STATUS USBD_STATUS_DEV_NOT_RESPONDING = static_cast<USBD_STATUS>(0xC0000005);
constexpr USBD_STATUS USBD_STATUS_ENDPOINT_HALTED = static_cast<USBD_STATUS>(0xC0000030);
constexpr USBD_STATUS USBD_STATUS_INVALID_URB_FUNCTION = static_cast<USBD_STATUS>(0x80000200);
constexpr USBD_STATUS USBD_STATUS_INVALID_PARAMETER = static_cast<USBD_STATUS>(0x80000300);
constexpr USBD_STATUS USBD_STATUS_INVALID_PIPE_HANDLE = static_cast<USBD_STATUS>(0x80000600);
constexpr USBD_STATUS USBD_STATUS_BUFFER_TOO_SMALL = static_cast<USBD_STATUS>(0xC0003000);
constexpr USBD_STATUS USBD_STATUS_CANCELED = static_cast<USBD_STATUS>(0xC0010000);

constexpr ULONG IOCTL_INTERNAL_USB_SUBMIT_URB = CTL_CODE(FILE_DEVICE_USB, 0, METHOD_NEITHER, FILE_ANY_ACCESS);

constexpr UCHAR USB_DEVICE_DESCRIPTOR_TYPE = 1;
constexpr UCHAR USB_CONFIGURATION_DESCRIPTOR_TYPE = 2;
constexpr UCHAR USB_STRING_DESCRIPTOR_TYPE = 3;
constexpr UCHAR USB_INTERFACE_DESCRIPTOR_TYPE = 4;
constexpr UCHAR USB_ENDPOINT_DESCRIPTOR_TYPE = 5;

#pragma pack(push, 1)
struct USB_DEVICE_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT bcdUSB;
    UCHAR bDeviceClass;
    UCHAR bDeviceSubClass;
    UCHAR bDeviceProtocol;
    UCHAR bMaxPacketSize0;
    USHORT idVendor;
    USHORT idProduct;
    USHORT bcdDevice;
    UCHAR iManufacturer;
    UCHAR iProduct;
    UCHAR iSerialNumber;
    UCHAR bNumConfigurations;
};
struct USB_CONFIGURATION_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    USHORT wTotalLength;
    UCHAR bNumInterfaces;
    UCHAR bConfigurationValue;
    UCHAR iConfiguration;
    UCHAR bmAttributes;
    UCHAR MaxPower;
};
struct USB_INTERFACE_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    UCHAR bInterfaceNumber;
    UCHAR bAlternateSetting;
    UCHAR bNumEndpoints;
    UCHAR bInterfaceClass;
    UCHAR bInterfaceSubClass;
    UCHAR bInterfaceProtocol;
    UCHAR iInterface;
};
struct USB_ENDPOINT_DESCRIPTOR {
    UCHAR bLength;
    UCHAR bDescriptorType;
    UCHAR bEndpointAddress;
    UCHAR bmAttributes;
    USHORT wMaxPacketSize;
    UCHAR bInterval;
};
#pragma pack(pop)
using PUSB_DEVICE_DESCRIPTOR = USB_DEVICE_DESCRIPTOR*;
using PUSB_CONFIGURATION_DESCRIPTOR = USB_CONFIGURATION_DESCRIPTOR*;
using PUSB_INTERFACE_DESCRIPTOR = USB_INTERFACE_DESCRIPTOR*;

enum USBD_PIPE_TYPE : int { UsbdPipeTypeControl, UsbdPipeTypeIsochronous, UsbdPipeTypeBulk, UsbdPipeTypeInterrupt };

struct USBD_PIPE_INFORMATION {
    USHORT MaximumPacketSize;
    UCHAR EndpointAddress;
    UCHAR Interval;
    USBD_PIPE_TYPE PipeType;
    USBD_PIPE_HANDLE PipeHandle;
    ULONG MaximumTransferSize;
    ULONG PipeFlags;
};
using PUSBD_PIPE_INFORMATION = USBD_PIPE_INFORMATION*;

struct USBD_INTERFACE_INFORMATION {
    USHORT Length;  // bytes, including every entry of Pipes
    UCHAR InterfaceNumber;
    UCHAR AlternateSetting;
    UCHAR Class;
    UCHAR SubClass;
    UCHAR Protocol;
    UCHAR Reserved;
    USBD_INTERFACE_HANDLE InterfaceHandle;
    ULONG NumberOfPipes;
    USBD_PIPE_INFORMATION Pipes[1];
};
using PUSBD_INTERFACE_INFORMATION = USBD_INTERFACE_INFORMATION*;

constexpr ULONG USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE = 4096;
constexpr ULONG USBD_TRANSFER_DIRECTION_IN = 0x00000001;
constexpr ULONG USBD_SHORT_TRANSFER_OK = 0x00000002;

constexpr USHORT URB_FUNCTION_SELECT_CONFIGURATION = 0x0000;
constexpr USHORT URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER = 0x0009;
constexpr USHORT URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE = 0x000B;
constexpr USHORT URB_FUNCTION_VENDOR_DEVICE = 0x0017;
constexpr USHORT URB_FUNCTION_VENDOR_INTERFACE = 0x0018;
constexpr USHORT URB_FUNCTION_VENDOR_ENDPOINT = 0x0019;
constexpr USHORT URB_FUNCTION_CLASS_DEVICE = 0x001A;
constexpr USHORT URB_FUNCTION_CLASS_INTERFACE = 0x001B;
constexpr USHORT URB_FUNCTION_CLASS_ENDPOINT = 0x001C;
constexpr USHORT URB_FUNCTION_CLASS_OTHER = 0x001F;
constexpr USHORT URB_FUNCTION_VENDOR_OTHER = 0x0020;

union URB;
using PURB = URB*;

struct _URB_HEADER {
    USHORT Length;
    USHORT Function;
    USBD_STATUS Status;
    PVOID UsbdDeviceHandle;
    ULONG UsbdFlags;
};

struct _URB_HCD_AREA {
    PVOID Reserved8[8];
};

struct _URB_SELECT_CONFIGURATION {
    _URB_HEADER Hdr;
    PUSB_CONFIGURATION_DESCRIPTOR ConfigurationDescriptor;
    USBD_CONFIGURATION_HANDLE ConfigurationHandle;
    USBD_INTERFACE_INFORMATION Interface;  // followed by the rest of its pipes
};

struct _URB_BULK_OR_INTERRUPT_TRANSFER {
    _URB_HEADER Hdr;
    USBD_PIPE_HANDLE PipeHandle;
    ULONG TransferFlags;
    ULONG TransferBufferLength;  // in: the buffer's size; out: the bytes transferred
    PVOID TransferBuffer;
    PMDL TransferBufferMDL;
    URB* UrbLink;
    _URB_HCD_AREA hca;
};

struct _URB_CONTROL_DESCRIPTOR_REQUEST {
    _URB_HEADER Hdr;
    PVOID Reserved;
    ULONG Reserved0;
    ULONG TransferBufferLength;
    PVOID TransferBuffer;
    PMDL TransferBufferMDL;
    URB* UrbLink;
    _URB_HCD_AREA hca;
    USHORT Reserved1;
    UCHAR Index;
    UCHAR DescriptorType;
    USHORT LanguageId;
    USHORT Reserved2;
};

struct _URB_CONTROL_VENDOR_OR_CLASS_REQUEST {
    _URB_HEADER Hdr;
    PVOID Reserved;
    ULONG TransferFlags;
    ULONG TransferBufferLength;
    PVOID TransferBuffer;
    PMDL TransferBufferMDL;
    URB* UrbLink;
    _URB_HCD_AREA hca;
    UCHAR RequestTypeReservedBits;
    UCHAR Request;
    USHORT Value;
    USHORT Index;
    USHORT Reserved1;
};

union URB {
    _URB_HEADER UrbHeader;
    _URB_SELECT_CONFIGURATION UrbSelectConfiguration;
    _URB_BULK_OR_INTERRUPT_TRANSFER UrbBulkOrInterruptTransfer;
    _URB_CONTROL_DESCRIPTOR_REQUEST UrbControlDescriptorRequest;
    _URB_CONTROL_VENDOR_OR_CLASS_REQUEST UrbControlVendorClassRequest;
};

// Returns a select-configuration URB from pool laid out for the first
// interface in alternate setting 0 with default pipe settings, its size in
// *size; NULL when pool is short or the configuration has no interface.
// The caller frees it with ExFreePool.
PURB USBD_CreateConfigurationRequest(PUSB_CONFIGURATION_DESCRIPTOR configuration, PUSHORT size);
// Returns the first interface descriptor at or after start (within the
// configuration's wTotalLength) that matches every field not given as -1, or NULL.
PUSB_INTERFACE_DESCRIPTOR USBD_ParseConfigurationDescriptorEx(PUSB_CONFIGURATION_DESCRIPTOR configuration,
                                                              PVOID start, LONG interfaceNumber,
                                                              LONG alternateSetting, LONG interfaceClass,
                                                              LONG interfaceSubClass, LONG interfaceProtocol);

#endif  // _WIN32
