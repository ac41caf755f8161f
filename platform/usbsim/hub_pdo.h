// The hub driver's side of one connected cutter; for usb_system.cpp only.
#pragma once

#include <list>
#include <map>

#include "platform/usbsim/usb_system.h"

namespace platform::usbsim {

struct SPendingUrb {
    ULONGLONG nId;  // timers name requests by it: an address may be reused once a request is gone
    PIRP pIrp;
    int nPipe;             // IN pipe whose data completes it, or -1
    bool bWaitsForData;
    SUsbOutcome outcome;   // how it completes when its time comes
    std::string strLine;   // what the bus log says about it
};

struct SCutter {
    std::string strName;
    CCutterDevice model;
    CUsbSystem* pSystem = nullptr;
    PDEVICE_OBJECT pPdo = nullptr;
    bool bPresent = true;
    bool bRemoveWhenClosed = false;
    bool bRemoved = false;
    std::map<USBD_PIPE_HANDLE, int> aPipes;  // handles of the latest selection
    std::list<SPendingUrb> aPending;
};

struct SPdoExtension {
    SCutter* pCutter;
};

NTSTATUS HubDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath);

// The data stage of a vendor or class request that ends with status: the
// cutter's reply copied in, or the data taken; returns the byte count, which
// the URB then reports.
ULONG ControlDataStage(SCutter* cutter, PURB urb, NTSTATUS status);

}  // namespace platform::usbsim
