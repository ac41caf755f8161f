// Conformance tables for the kernel stand-in: waits on the platform clock,
// completion through the stack, pool accounting and the USBD routines.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/wdm/ntstrsafe.h"
#include "platform/wdm/usb.h"
#include "platform/wdm/wdm.h"
#include "platform/wdm/wdm_test.h"

namespace {

class Wdm : public ::testing::Test {
protected:
    void SetUp() override { platform::clock::UseVirtual(); }
    void TearDown() override { platform::clock::UseReal(); }
};

LARGE_INTEGER Relative(LONGLONG units) {
    LARGE_INTEGER value;
    value.QuadPart = -units;
    return value;
}

TEST_F(Wdm, WaitsRunOnThePlatformClock) {
    KEVENT notification, synchronization;
    KeInitializeEvent(&notification, NotificationEvent, FALSE);
    KeInitializeEvent(&synchronization, SynchronizationEvent, TRUE);
    LARGE_INTEGER twentyMs = Relative(200000);
    EXPECT_EQ(KeWaitForSingleObject(&notification, Executive, KernelMode, FALSE, &twentyMs), STATUS_TIMEOUT);
    EXPECT_EQ(platform::sched::Now(), 20u);
    KeSetEvent(&notification, IO_NO_INCREMENT, FALSE);
    EXPECT_EQ(KeWaitForSingleObject(&notification, Executive, KernelMode, FALSE, &twentyMs), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&notification), 1);  // notification events stay set
    EXPECT_EQ(KeWaitForSingleObject(&synchronization, Executive, KernelMode, FALSE, &twentyMs), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&synchronization, Executive, KernelMode, FALSE, &twentyMs), STATUS_TIMEOUT);
    LARGE_INTEGER oneSecond = Relative(10000000);
    KeDelayExecutionThread(KernelMode, FALSE, &oneSecond);
    EXPECT_EQ(platform::sched::Now(), 1040u);
}

struct MutexProbe {
    KMUTEX* pMutex;
    DWORD nAcquiredAt = 0;
};

DWORD TakeMutex(LPVOID parameter) {
    auto* probe = static_cast<MutexProbe*>(parameter);
    KeWaitForSingleObject(probe->pMutex, Executive, KernelMode, FALSE, nullptr);
    probe->nAcquiredAt = GetTickCount();
    KeReleaseMutex(probe->pMutex, FALSE);
    return 0;
}

TEST_F(Wdm, MutexIsRecursiveForItsOwnerAndBlocksOthersUntilFullyReleased) {
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
    KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr);
    MutexProbe probe{&mutex};
    HANDLE thread = CreateThread(nullptr, 0, TakeMutex, &probe, 0, nullptr);
    Sleep(50);
    KeReleaseMutex(&mutex, FALSE);
    Sleep(50);
    EXPECT_EQ(probe.nAcquiredAt, 0u);
    KeReleaseMutex(&mutex, FALSE);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(probe.nAcquiredAt, 100u);
}

struct Seen {
    std::vector<int> aCalls;
};

NTSTATUS Upper(PDEVICE_OBJECT, PIRP irp, PVOID context) {
    static_cast<Seen*>(context)->aCalls.push_back(2);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS Lower(PDEVICE_OBJECT, PIRP irp, PVOID context) {
    static_cast<Seen*>(context)->aCalls.push_back(1);
    return STATUS_SUCCESS;
}

NTSTATUS CompleteWithCurrentStatus(PDEVICE_OBJECT, PIRP irp) {
    NTSTATUS status = irp->IoStatus.Status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS StandInEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = CompleteWithCurrentStatus;
    return STATUS_SUCCESS;
}

TEST_F(Wdm, CompletionRoutinesRunBottomUpWhenTheirFlagsMatch) {
    NTSTATUS loaded;
    PDRIVER_OBJECT driver = platform::wdm::LoadDriver("test", StandInEntry, &loaded);
    PDEVICE_OBJECT device = nullptr;
    ASSERT_EQ(IoCreateDevice(driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, FALSE, &device), STATUS_SUCCESS);
    device->StackSize = 2;
    struct Case {
        NTSTATUS status;
        BOOLEAN cancel;
        BOOLEAN onSuccess, onError, onCancel;
        std::vector<int> calls;
    };
    const Case cases[] = {
        {STATUS_SUCCESS, FALSE, TRUE, FALSE, FALSE, {1, 2}},
        {STATUS_UNSUCCESSFUL, FALSE, TRUE, FALSE, FALSE, {2}},
        {STATUS_UNSUCCESSFUL, FALSE, FALSE, TRUE, FALSE, {1, 2}},
        {STATUS_CANCELLED, TRUE, FALSE, FALSE, TRUE, {1, 2}},
        {STATUS_CANCELLED, TRUE, FALSE, FALSE, FALSE, {2}},
    };
    for (const Case& c : cases) {
        Seen seen;
        PIRP irp = IoAllocateIrp(3, FALSE);
        ASSERT_NE(irp, nullptr);
        IoSetCompletionRoutine(irp, Upper, &seen, TRUE, TRUE, TRUE);
        IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        IoSetNextIrpStackLocation(irp);
        IoGetCurrentIrpStackLocation(irp)->DeviceObject = device;
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, Lower, &seen, c.onSuccess, c.onError, c.onCancel);
        irp->IoStatus.Status = c.status;
        irp->Cancel = c.cancel;
        EXPECT_EQ(IoCallDriver(device, irp), c.status);
        EXPECT_EQ(seen.aCalls, c.calls) << "status " << std::hex << c.status;
        IoFreeIrp(irp);
    }
    IoDeleteDevice(device);
    platform::wdm::UnloadDriver(driver);
}

TEST_F(Wdm, PoolIsCountedPerTagAndTheNthAllocationCanBeMadeToFail) {
    constexpr ULONG tag = 0x74736554;  // "Test"
    auto balance = [&] {
        for (auto& entry : platform::wdm::PoolBalance())
            if (entry.nTag == tag) return entry.nBlocks;
        return 0L;
    };
    platform::wdm::FailAllocation(2);
    PVOID first = ExAllocatePoolWithTag(NonPagedPool, 16, tag);
    PVOID second = ExAllocatePoolWithTag(NonPagedPool, 16, tag);
    PVOID third = ExAllocatePoolWithTag(NonPagedPool, 16, tag);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(balance(), 2);
    ExFreePool(first);
    ExFreePool(third);
    EXPECT_EQ(balance(), 0);
    EXPECT_EQ(platform::wdm::TagText(0x206D6457), "Wdm ");
}

TEST(Usbd, ParsingStaysInsideTheDescriptorAndTheRequestHasRoomForEveryPipe) {
    std::vector<UCHAR> cfg = {9, 2, 0, 0, 1, 1, 0, 0x80, 50,  // header, wTotalLength set below
                              9, 4, 0, 0, 3, 0xFF, 0, 0, 0,    // interface with 3 endpoints
                              7, 5, 0x01, 2, 64, 0, 0, 7, 5, 0x82, 2, 64, 0, 0, 7, 5, 0x03, 2, 64, 0, 0};
    auto* header = reinterpret_cast<PUSB_CONFIGURATION_DESCRIPTOR>(cfg.data());
    header->wTotalLength = static_cast<USHORT>(cfg.size());
    EXPECT_NE(USBD_ParseConfigurationDescriptorEx(header, header, -1, -1, -1, -1, -1), nullptr);
    EXPECT_EQ(USBD_ParseConfigurationDescriptorEx(header, header, -1, -1, 0x07, -1, -1), nullptr);
    header->wTotalLength = 17;  // the interface no longer fits
    EXPECT_EQ(USBD_ParseConfigurationDescriptorEx(header, header, -1, -1, -1, -1, -1), nullptr);
    header->wTotalLength = static_cast<USHORT>(cfg.size());
    cfg[9] = 0;  // a zero length ends the walk instead of looping
    EXPECT_EQ(USBD_ParseConfigurationDescriptorEx(header, header, -1, -1, -1, -1, -1), nullptr);
    cfg[9] = 9;

    USHORT size = 0;
    PURB urb = USBD_CreateConfigurationRequest(header, &size);
    ASSERT_NE(urb, nullptr);
    EXPECT_EQ(size, sizeof(_URB_SELECT_CONFIGURATION) + 2 * sizeof(USBD_PIPE_INFORMATION));
    EXPECT_EQ(urb->UrbSelectConfiguration.Interface.NumberOfPipes, 3u);
    EXPECT_EQ(urb->UrbSelectConfiguration.Interface.Pipes[2].MaximumTransferSize, USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE);
    ExFreePool(urb);
}

// The kernel's bounded formatting: the text always ends in a zero byte, and
// a cut or a refusal says so.
TEST(RtlString, PrintfFitsCutsOrRefuses) {
    struct Case {
        SIZE_T cbDest;
        NTSTATUS status;
        const char* text;
    } cases[] = {
        {24, STATUS_SUCCESS, "\\DosDevices\\EZNUS3"},
        {19, STATUS_SUCCESS, "\\DosDevices\\EZNUS3"},
        {18, STATUS_BUFFER_OVERFLOW, "\\DosDevices\\EZNUS"},
        {1, STATUS_BUFFER_OVERFLOW, ""},
        {0, STATUS_INVALID_PARAMETER, "untouched"},
    };
    for (const Case& c : cases) {
        char buffer[24] = "untouched";
        EXPECT_EQ(RtlStringCbPrintfA(buffer, c.cbDest, "\\DosDevices\\EZNUS%d", 3), c.status) << c.cbDest;
        EXPECT_STREQ(buffer, c.text) << c.cbDest;
    }
}

}  // namespace
