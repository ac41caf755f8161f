// The cutter as the USB bus sees it: its descriptors, the data it has ready
// on its IN endpoints, what it received, and the outcomes it is told to give.
// Pure state: the hub's device object (hub_pdo.h) drives it.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/wdm/usb.h"

namespace platform::usbsim {

// Where an outcome applies: the descriptor kinds, the configuration
// selection, control transfers on the default pipe, or one of the pipes.
enum class UsbTarget { DeviceDescriptor, ConfigDescriptor, StringDescriptor, Select, Control, Pipe0, Pipe1, Pipe2, Pipe3, Start };

// Returns false for an unknown name; names as in scripts: device, config,
// string, select, control, pipe0 to pipe3, start.
bool ParseTarget(const std::string& name, UsbTarget* target);

struct SUsbOutcome {
    NTSTATUS nStatus = STATUS_SUCCESS;
    USBD_STATUS nUsbd = USBD_STATUS_SUCCESS;
    ULONG nDelayMs = 0;   // complete this long after the request arrived (pending)
    bool bHang = false;   // stay pending until data arrives or the request is cancelled
};

class CCutterDevice {
public:
    CCutterDevice();

    std::vector<BYTE> DeviceDescriptor() const;
    // The whole configuration: header, first interface, its endpoints.
    std::vector<BYTE> ConfigurationDescriptor() const;
    // NULL-length vector for an index the device has no string for.
    std::vector<BYTE> StringDescriptor(UCHAR index) const;

    // Endpoint addresses of the interface, in order (bit 7 set for IN).
    void SetEndpoints(std::vector<BYTE> addresses) { m_aEndpoints = std::move(addresses); }
    const std::vector<BYTE>& Endpoints() const { return m_aEndpoints; }
    // Reports this wTotalLength in the header and never sends more bytes than it.
    void SetTotalLength(USHORT length) { m_nTotalLength = length; }
    void SetInterfaceCount(UCHAR count) { m_nInterfaces = count; }

    // Outcomes for the next count requests of a target (-1: every one from now).
    void AddOutcome(UsbTarget target, const SUsbOutcome& outcome, long count);
    void ClearOutcomes(UsbTarget target) { m_aOutcomes.erase(target); }
    // The outcome for the next request of a target: the first one queued, else success.
    SUsbOutcome TakeOutcome(UsbTarget target);

    std::deque<BYTE>& InData(int pipe) { return m_aInData[pipe]; }
    std::vector<BYTE>& ControlReply() { return m_aControlReply; }

private:
    struct SQueued {
        SUsbOutcome outcome;
        long nCount;
    };
    std::vector<BYTE> m_aEndpoints;
    USHORT m_nTotalLength = 0;  // 0: the true length
    UCHAR m_nInterfaces = 1;
    std::map<UsbTarget, std::deque<SQueued>> m_aOutcomes;
    std::map<int, std::deque<BYTE>> m_aInData;
    std::vector<BYTE> m_aControlReply;
};

}  // namespace platform::usbsim
