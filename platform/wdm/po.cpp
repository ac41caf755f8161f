#include <atomic>
#include <cstdio>
#include <mutex>

#include "platform/wdm/internal.h"
#include "platform/wdm/wdm_test.h"

namespace {

constexpr ULONG kPowerTag = platform::wdm::TagOf("Powr");

std::mutex g_logLock;
std::vector<std::string> g_log;
std::atomic<long> g_startNextCalls{0};

void Log(std::string line) {
    std::lock_guard<std::mutex> lk(g_logLock);
    g_log.push_back(std::move(line));
}

std::string StateText(POWER_STATE_TYPE type, POWER_STATE state) {
    if (type == DevicePowerState) return "D" + std::to_string(static_cast<int>(state.DeviceState) - 1);
    return "S" + std::to_string(static_cast<int>(state.SystemState));
}

struct PowerRequest {
    PDEVICE_OBJECT pDevice;
    UCHAR nMinor;
    POWER_STATE state;
    PREQUEST_POWER_COMPLETE pComplete;
    PVOID pContext;
};

NTSTATUS PowerRequestDone(PDEVICE_OBJECT, PIRP irp, PVOID context) {
    auto* request = static_cast<PowerRequest*>(context);
    Log("device power request " + StateText(DevicePowerState, request->state) + " completed with " +
        [&] {
            char text[16];
            std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(irp->IoStatus.Status));
            return std::string(text);
        }());
    if (request->pComplete)
        request->pComplete(request->pDevice, request->nMinor, request->state, request->pContext, &irp->IoStatus);
    ExFreePool(request);
    IoFreeIrp(irp);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace

namespace platform::wdm {

std::vector<std::string> TakePowerLog() {
    std::lock_guard<std::mutex> lk(g_logLock);
    std::vector<std::string> out;
    out.swap(g_log);
    return out;
}

long StartNextPowerCalls() { return g_startNextCalls.load(); }

}  // namespace platform::wdm

using namespace platform::wdm;

NTSTATUS PoCallDriver(PDEVICE_OBJECT device, PIRP irp) { return IoCallDriver(device, irp); }

void PoStartNextPowerIrp(PIRP) { g_startNextCalls++; }

POWER_STATE PoSetPowerState(PDEVICE_OBJECT, POWER_STATE_TYPE type, POWER_STATE state) {
    Log(std::string("PoSetPowerState ") + (type == DevicePowerState ? "DevicePowerState " : "SystemPowerState ") +
        StateText(type, state));
    return state;
}

NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT device, UCHAR minorFunction, POWER_STATE state,
                           PREQUEST_POWER_COMPLETE complete, PVOID context, PIRP* irpOut) {
    PDEVICE_OBJECT top = IoGetAttachedDevice(device);
    PIRP irp = IoAllocateIrp(static_cast<CCHAR>(top->StackSize + 1), FALSE);
    if (!irp) {
        Log("PoRequestPowerIrp " + StateText(DevicePowerState, state) + " failed");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    auto* request = static_cast<PowerRequest*>(AllocateSystemPool(sizeof(PowerRequest), kPowerTag));
    if (!request) {
        IoFreeIrp(irp);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    *request = PowerRequest{device, minorFunction, state, complete, context};
    Log("PoRequestPowerIrp " + StateText(DevicePowerState, state));
    IoSetNextIrpStackLocation(irp);  // the power manager's own location
    IoGetCurrentIrpStackLocation(irp)->DeviceObject = device;
    IoSetCompletionRoutine(irp, PowerRequestDone, request, TRUE, TRUE, TRUE);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_POWER;
    next->MinorFunction = minorFunction;
    next->Parameters.Power.Type = DevicePowerState;
    next->Parameters.Power.State = state;
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    if (irpOut) *irpOut = irp;
    PoCallDriver(top, irp);
    return STATUS_PENDING;
}
