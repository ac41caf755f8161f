// I/O manager: driver and device objects, IRPs with their stack locations,
// completion and cancellation, device stacks and symbolic links.
#pragma once

#include "platform/wdm/ex.h"
#include "platform/wdm/ke.h"

struct DEVICE_OBJECT;
struct DRIVER_OBJECT;
struct IRP;
using PDEVICE_OBJECT = DEVICE_OBJECT*;
using PDRIVER_OBJECT = DRIVER_OBJECT*;
using PIRP = IRP*;
struct MDL;
using PMDL = MDL*;
struct FILE_OBJECT;
using PFILE_OBJECT = FILE_OBJECT*;

constexpr UCHAR IRP_MJ_CREATE = 0x00;
constexpr UCHAR IRP_MJ_CLOSE = 0x02;
constexpr UCHAR IRP_MJ_READ = 0x03;
constexpr UCHAR IRP_MJ_WRITE = 0x04;
constexpr UCHAR IRP_MJ_DEVICE_CONTROL = 0x0E;
constexpr UCHAR IRP_MJ_INTERNAL_DEVICE_CONTROL = 0x0F;
constexpr UCHAR IRP_MJ_CLEANUP = 0x12;
constexpr UCHAR IRP_MJ_POWER = 0x16;
constexpr UCHAR IRP_MJ_SYSTEM_CONTROL = 0x17;
constexpr UCHAR IRP_MJ_PNP = 0x1B;
constexpr UCHAR IRP_MJ_MAXIMUM_FUNCTION = 0x1B;

constexpr UCHAR IRP_MN_START_DEVICE = 0x00;
constexpr UCHAR IRP_MN_QUERY_REMOVE_DEVICE = 0x01;
constexpr UCHAR IRP_MN_REMOVE_DEVICE = 0x02;
constexpr UCHAR IRP_MN_CANCEL_REMOVE_DEVICE = 0x03;
constexpr UCHAR IRP_MN_STOP_DEVICE = 0x04;
constexpr UCHAR IRP_MN_QUERY_STOP_DEVICE = 0x05;
constexpr UCHAR IRP_MN_CANCEL_STOP_DEVICE = 0x06;
constexpr UCHAR IRP_MN_QUERY_CAPABILITIES = 0x09;
constexpr UCHAR IRP_MN_SURPRISE_REMOVAL = 0x17;

constexpr UCHAR IRP_MN_WAIT_WAKE = 0x00;
constexpr UCHAR IRP_MN_POWER_SEQUENCE = 0x01;
constexpr UCHAR IRP_MN_SET_POWER = 0x02;
constexpr UCHAR IRP_MN_QUERY_POWER = 0x03;

constexpr ULONG FILE_DEVICE_UNKNOWN = 0x22;
constexpr ULONG FILE_DEVICE_PRINTER = 0x18;
constexpr ULONG FILE_DEVICE_USB = 0x22;
constexpr ULONG METHOD_BUFFERED = 0;
constexpr ULONG METHOD_NEITHER = 3;
constexpr ULONG FILE_ANY_ACCESS = 0;
constexpr ULONG CTL_CODE(ULONG type, ULONG function, ULONG method, ULONG access) {
    return (type << 16) | (access << 14) | (function << 2) | method;
}

constexpr ULONG DO_BUFFERED_IO = 0x00000004;
constexpr ULONG DO_DEVICE_INITIALIZING = 0x00000080;
constexpr ULONG DO_POWER_PAGABLE = 0x00002000;

constexpr CCHAR IO_NO_INCREMENT = 0;

// Control bits of a stack location.
constexpr UCHAR SL_PENDING_RETURNED = 0x01;
constexpr UCHAR SL_INVOKE_ON_CANCEL = 0x20;
constexpr UCHAR SL_INVOKE_ON_SUCCESS = 0x40;
constexpr UCHAR SL_INVOKE_ON_ERROR = 0x80;

enum SYSTEM_POWER_STATE : int {
    PowerSystemUnspecified = 0,
    PowerSystemWorking = 1,
    PowerSystemSleeping1 = 2,
    PowerSystemSleeping2 = 3,
    PowerSystemSleeping3 = 4,
    PowerSystemHibernate = 5,
    PowerSystemShutdown = 6,
    PowerSystemMaximum = 7
};
enum DEVICE_POWER_STATE : int {
    PowerDeviceUnspecified = 0,
    PowerDeviceD0 = 1,
    PowerDeviceD1 = 2,
    PowerDeviceD2 = 3,
    PowerDeviceD3 = 4,
    PowerDeviceMaximum = 5
};
union POWER_STATE {
    SYSTEM_POWER_STATE SystemState;
    DEVICE_POWER_STATE DeviceState;
};
enum POWER_STATE_TYPE : int { SystemPowerState = 0, DevicePowerState = 1 };

using PIO_COMPLETION_ROUTINE = NTSTATUS (*)(PDEVICE_OBJECT device, PIRP irp, PVOID context);
using PDRIVER_CANCEL = void (*)(PDEVICE_OBJECT device, PIRP irp);
using PDRIVER_DISPATCH = NTSTATUS (*)(PDEVICE_OBJECT device, PIRP irp);
using PDRIVER_ADD_DEVICE = NTSTATUS (*)(PDRIVER_OBJECT driver, PDEVICE_OBJECT physicalDevice);
using PDRIVER_UNLOAD = void (*)(PDRIVER_OBJECT driver);
using PDRIVER_INITIALIZE = NTSTATUS (*)(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

struct IO_STACK_LOCATION {
    UCHAR MajorFunction;
    UCHAR MinorFunction;
    UCHAR Flags;
    UCHAR Control;
    union {
        struct {
            ULONG Length;
            ULONG Key;
            LONGLONG ByteOffset;
        } Read;
        struct {
            ULONG Length;
            ULONG Key;
            LONGLONG ByteOffset;
        } Write;
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
            PVOID Type3InputBuffer;
        } DeviceIoControl;
        struct {
            ULONG SystemContext;
            POWER_STATE_TYPE Type;
            POWER_STATE State;
            ULONG ShutdownType;
        } Power;
        struct {
            PVOID Argument1;
            PVOID Argument2;
            PVOID Argument3;
            PVOID Argument4;
        } Others;
    } Parameters;
    PDEVICE_OBJECT DeviceObject;
    PFILE_OBJECT FileObject;
    PIO_COMPLETION_ROUTINE CompletionRoutine;
    PVOID Context;
};
using PIO_STACK_LOCATION = IO_STACK_LOCATION*;

constexpr ULONG IRP_BUFFERED_IO = 0x00000010;
constexpr ULONG IRP_DEALLOCATE_BUFFER = 0x00000020;
constexpr ULONG IRP_INPUT_OPERATION = 0x00000040;

struct IRP {
    CSHORT Type;
    USHORT Size;
    PMDL MdlAddress;
    ULONG Flags;
    union {
        IRP* MasterIrp;
        PVOID SystemBuffer;
    } AssociatedIrp;
    IO_STATUS_BLOCK IoStatus;
    KPROCESSOR_MODE RequestorMode;
    BOOLEAN PendingReturned;
    CCHAR StackCount;
    CCHAR CurrentLocation;
    BOOLEAN Cancel;
    KIRQL CancelIrql;
    PDRIVER_CANCEL CancelRoutine;
    PVOID UserBuffer;      // caller's output buffer of a buffered request
    ULONG UserBufferLength;
    PIO_STATUS_BLOCK UserIosb;
    PKEVENT UserEvent;
    struct {
        struct {
            PVOID Thread;  // set for requests the I/O manager owns and releases at completion
            PIO_STACK_LOCATION CurrentStackLocation;
        } Overlay;
    } Tail;
};

struct FILE_OBJECT {
    CSHORT Type;
    CSHORT Size;
    PDEVICE_OBJECT DeviceObject;
    PVOID FsContext;
};

struct DRIVER_EXTENSION {
    PDRIVER_OBJECT DriverObject;
    PDRIVER_ADD_DEVICE AddDevice;
};

struct DRIVER_OBJECT {
    CSHORT Type;
    CSHORT Size;
    PDEVICE_OBJECT DeviceObject;  // first of the driver's devices, linked by NextDevice
    DRIVER_EXTENSION* DriverExtension;
    UNICODE_STRING DriverName;
    PDRIVER_UNLOAD DriverUnload;
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
};

struct DEVICE_OBJECT {
    CSHORT Type;
    USHORT Size;
    LONG ReferenceCount;  // open files; a deleted device is freed when it drops to 0
    PDRIVER_OBJECT DriverObject;
    PDEVICE_OBJECT NextDevice;
    PDEVICE_OBJECT AttachedDevice;  // the device above in the stack
    PIRP CurrentIrp;
    ULONG Flags;
    ULONG Characteristics;
    PVOID DeviceExtension;
    ULONG DeviceType;
    CCHAR StackSize;
    // Stand-in bookkeeping: the device below, and whether deletion has begun.
    PDEVICE_OBJECT AttachedTo;
    BOOLEAN DeletePending;
};

// Creates a device with a zero-filled extension of extensionSize bytes:
// STATUS_SUCCESS, STATUS_OBJECT_NAME_COLLISION or STATUS_INSUFFICIENT_RESOURCES.
NTSTATUS IoCreateDevice(PDRIVER_OBJECT driver, ULONG extensionSize, PUNICODE_STRING name, ULONG type,
                        ULONG characteristics, BOOLEAN exclusive, PDEVICE_OBJECT* device);
// Unnames the device and releases it once no open file refers to it.
void IoDeleteDevice(PDEVICE_OBJECT device);
// Returns the device that source now sits on (the former top of target's
// stack), or NULL when the stack is being torn down.
PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT source, PDEVICE_OBJECT target);
// Removes whatever is attached on top of target.
void IoDetachDevice(PDEVICE_OBJECT target);
// Returns the top of the stack that device belongs to.
PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT device);

// STATUS_SUCCESS, STATUS_OBJECT_NAME_COLLISION or STATUS_INSUFFICIENT_RESOURCES.
NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING link, PUNICODE_STRING target);
// STATUS_SUCCESS, or STATUS_OBJECT_NAME_NOT_FOUND when no such link exists.
NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING link);

// Returns a request with stackSize empty locations, or NULL when pool is short.
PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN chargeQuota);
void IoFreeIrp(PIRP irp);
// Returns a device-control request the I/O manager releases at completion, or
// NULL when pool is short. The outcome lands in *ioStatus and event is set.
PIRP IoBuildDeviceIoControlRequest(ULONG code, PDEVICE_OBJECT device, PVOID input, ULONG inputLength, PVOID output,
                                   ULONG outputLength, BOOLEAN internal, PKEVENT event, PIO_STATUS_BLOCK ioStatus);
// Moves to the next location, gives it to device's driver and returns its status.
NTSTATUS IoCallDriver(PDEVICE_OBJECT device, PIRP irp);
NTSTATUS IofCallDriver(PDEVICE_OBJECT device, PIRP irp);
// Hands the request back up through the completion routines of every location.
void IoCompleteRequest(PIRP irp, CCHAR priorityBoost);
// Returns TRUE when a cancel routine was called.
BOOLEAN IoCancelIrp(PIRP irp);
void IoAcquireCancelSpinLock(PKIRQL irql);
void IoReleaseCancelSpinLock(KIRQL irql);
// Returns the previous cancel routine.
PDRIVER_CANCEL IoSetCancelRoutine(PIRP irp, PDRIVER_CANCEL routine);

inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP irp) { return irp->Tail.Overlay.CurrentStackLocation; }
inline PIO_STACK_LOCATION IoGetNextIrpStackLocation(PIRP irp) { return irp->Tail.Overlay.CurrentStackLocation - 1; }
inline void IoSkipCurrentIrpStackLocation(PIRP irp) {
    irp->CurrentLocation++;
    irp->Tail.Overlay.CurrentStackLocation++;
}
inline void IoSetNextIrpStackLocation(PIRP irp) {
    irp->CurrentLocation--;
    irp->Tail.Overlay.CurrentStackLocation--;
}
void IoCopyCurrentIrpStackLocationToNext(PIRP irp);
void IoSetCompletionRoutine(PIRP irp, PIO_COMPLETION_ROUTINE routine, PVOID context, BOOLEAN onSuccess,
                            BOOLEAN onError, BOOLEAN onCancel);
inline void IoMarkIrpPending(PIRP irp) { IoGetCurrentIrpStackLocation(irp)->Control |= SL_PENDING_RETURNED; }
