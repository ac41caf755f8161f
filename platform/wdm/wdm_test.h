// The stand-in kernel's own side: what the simulated system around a driver
// (bus, Plug and Play manager, I/O manager) and the checks of tests use.
// Drivers never include this.
#pragma once

#include <string>
#include <vector>

#include "platform/wdm/po.h"

namespace platform::wdm {

struct PoolTagBalance {
    ULONG nTag;
    long nBlocks;  // outstanding blocks
    SIZE_T nBytes;
};
// Every tag ever used, in tag order, with what is still outstanding.
std::vector<PoolTagBalance> PoolBalance();
std::string TagText(ULONG tag);

// Allocations a driver asks for (pool, requests, devices, power requests) are
// counted; the nth one from now fails (1 is the next). 0 switches it off.
void FailAllocation(long nth);
long AllocationsCounted();

// While one exists, the calling thread's allocations are the system's own:
// neither counted nor failed on purpose.
class CSystemAllocationScope {
public:
    CSystemAllocationScope();
    ~CSystemAllocationScope();

private:
    bool m_bOuter;
};

// Allocations of the system itself: never failed on purpose.
PVOID AllocateSystemPool(SIZE_T bytes, ULONG tag);
PIRP AllocateSystemIrp(CCHAR stackSize);

// Lines the drivers printed with DbgPrint since the last call.
std::vector<std::string> TakeDebugLines();

// The device that a \DosDevices name's link leads to, or NULL.
PDEVICE_OBJECT FindDeviceByLink(const std::string& dosName);
bool LinkExists(const std::string& name);
// The device name a link points to, empty when there is no such link.
std::string LinkTarget(const std::string& name);
// The driver-independent default for every major function.
NTSTATUS InvalidDeviceRequest(PDEVICE_OBJECT device, PIRP irp);
// A driver object with its dispatch table at the defaults, filled by entry.
PDRIVER_OBJECT LoadDriver(const char* name, PDRIVER_INITIALIZE entry, NTSTATUS* status);
void UnloadDriver(PDRIVER_OBJECT driver);
// Takes a file's reference to a device; the last one frees a deleted device.
void ReferenceDevice(PDEVICE_OBJECT device);
void DereferenceDevice(PDEVICE_OBJECT device);

std::string Narrow(const UNICODE_STRING& text);

// What the power face was told, in order, since the last call.
std::vector<std::string> TakePowerLog();
long StartNextPowerCalls();

}  // namespace platform::wdm
