// The system around a USB function driver: the hub driver whose physical
// device objects complete URBs from a programmable cutter, and the Plug and
// Play and power managers that send the requests the system would send.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/usbsim/cutter_model.h"
#include "platform/wdm/io.h"

namespace platform::usbsim {

struct SCutter;

struct SPlugResult {
    NTSTATUS nAddStatus;    // AddDevice's result
    NTSTATUS nStartStatus;  // the start request's, when AddDevice succeeded
};

class CUsbSystem {
public:
    CUsbSystem();
    ~CUsbSystem();
    CUsbSystem(const CUsbSystem&) = delete;
    CUsbSystem& operator=(const CUsbSystem&) = delete;

    // Returns DriverEntry's status; the driver serves every cutter plugged afterwards.
    NTSTATUS LoadFunctionDriver(PDRIVER_INITIALIZE entry);
    PDRIVER_OBJECT FunctionDriver() const { return m_pDriver; }

    // Connects a cutter named name (false when the name is taken): the hub
    // reports its device object, the driver's AddDevice runs and, when it
    // succeeds, the start request follows. attachFails makes the stack refuse attachment.
    bool Plug(const std::string& name, const CCutterDevice& model, bool attachFails, SPlugResult* result);
    // Pulls the cable: pending transfers fail, surprise removal follows, and the
    // removal as soon as no handle to the device is open. False for an unknown name.
    bool Unplug(const std::string& name);

    // A Plug and Play request to the top of the cutter's stack; false when the
    // cutter is unknown or no driver sits on it.
    bool SendPnp(const std::string& name, UCHAR minor, NTSTATUS* status);
    bool SendSystemControl(const std::string& name, NTSTATUS* status);
    bool SendPower(const std::string& name, UCHAR minor, POWER_STATE_TYPE type, ULONG state, NTSTATUS* status);

    CCutterDevice* Model(const std::string& name);
    // Queues bytes on an IN pipe and completes a transfer that waits for them.
    bool QueueInData(const std::string& name, int pipe, const std::vector<BYTE>& data);

    // URBs and requests the cutters' device objects saw, each line prefixed
    // with the cutter's name, since the last call.
    std::vector<std::string> TakeBusLog();
    // On from the start; a caller that never reads the log turns it off,
    // so that its cost does not count as the driver's.
    void SetBusLog(bool on) { m_bBusLog.store(on); }
    bool BusLogOn() const { return m_bBusLog.load(); }

    void UnplugAll();
    // Unplugs every cutter, waits for the bus's timers and unloads the drivers.
    void Shutdown();

    // For the hub's dispatch routines.
    void Log(const SCutter& cutter, const std::string& line);
    void StartTimer(SCutter* cutter, ULONGLONG pendingId, ULONG ms);
    // Completes a pending request unless it is gone or its cancellation got there first.
    void CompletePending(SCutter* cutter, ULONGLONG pendingId);
    std::mutex& Lock() { return m_lock; }

private:
    SCutter* Find(const std::string& name);
    PDEVICE_OBJECT FunctionDevice(SCutter* cutter);
    NTSTATUS SendToStack(SCutter* cutter, PIRP irp);
    void RemoveStack(SCutter* cutter);
    void OnLastClose(PDEVICE_OBJECT device);

    std::mutex m_lock;
    std::atomic<bool> m_bBusLog{true};
    PDRIVER_OBJECT m_pHub = nullptr;
    PDRIVER_OBJECT m_pDriver = nullptr;
    std::vector<std::unique_ptr<SCutter>> m_aCutters;
    std::vector<std::string> m_aLog;
    std::vector<HANDLE> m_aTimers;
};

}  // namespace platform::usbsim
