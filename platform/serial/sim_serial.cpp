#include "platform/serial/sim_serial.h"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>

#include "platform/base/devices.h"
#include "platform/base/diagnosis.h"
#include "platform/serial/comm_port.h"

namespace {

using namespace platform;
using namespace platform::serial;
using namespace platform::sim_serial;
using sched::Millis;

const char* const CALL_NAMES[] = {"CreateFileA",     "ReadFile",        "WriteFile",    "GetCommModemStatus",
                                  "SetCommMask",     "GetCommMask",     "SetupComm",    "PurgeComm",
                                  "SetCommTimeouts", "GetCommTimeouts", "GetCommState", "SetCommState",
                                  "EscapeCommFunction", "ClearCommError"};

struct SimFailure {
    std::string strCall;
    int nAtCall;
    DWORD dwError;
    bool bPending;
};

struct SimArrival {
    Millis nDue;
    std::string strBytes;
};

struct SimPortState {
    SimPresence ePresence = SimPresence::Missing;
    DWORD dwLines = 0;
    bool bOpen = false;
    unsigned nOpens = 0;  // tells a handle of an earlier open from the current one
    DCB dcb = DefaultDcb();
    COMMTIMEOUTS timeouts{};
    DWORD dwMask = 0;
    DWORD nInQueue = 4096;
    DWORD nOutQueue = 4096;
    bool bDtr = false;
    bool bRts = false;
    std::string strQueue;
    std::deque<SimArrival> arrivals;  // ordered by nDue
    DWORD dwErrors = 0;
    unsigned nReadAborts = 0;
    unsigned nWriteAborts = 0;
    std::vector<SimEvent> events;
    std::map<std::string, int> calls;
    std::vector<SimFailure> failures;
    SimObserver observer;
};

// Under sched::Lock().
struct SimWorld {
    std::map<int, SimPortState> ports;
    std::vector<std::string> names;
    bool bReportPending = false;
    unsigned nGeneration = 0;  // Install and Uninstall orphan older handles
    int nOpener = 0;
};
SimWorld g_world;

SimPortState& PortLocked(int nPort) { return g_world.ports[nPort]; }

void Record(SimPortState& s, SimCall call, DWORD a = 0, DWORD b = 0) {
    SimEvent e{call, sched::Now(), {}, {}, {}, a, b};
    if (call == SimCall::SetCommState) e.dcb = s.dcb;
    if (call == SimCall::SetCommTimeouts) e.timeouts = s.timeouts;
    s.events.push_back(e);
}

bool FlowTowardsDevice(const DCB& dcb) {
    return dcb.fRtsControl == RTS_CONTROL_HANDSHAKE || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fInX;
}

// Moves bytes that have arrived by now into the input queue.
void ReleaseDue(SimPortState& s, Millis now) {
    while (!s.arrivals.empty() && s.arrivals.front().nDue <= now) {
        SimArrival& a = s.arrivals.front();
        if (!s.bOpen) {
            s.arrivals.pop_front();
            continue;
        }
        size_t room = s.nInQueue > s.strQueue.size() ? s.nInQueue - s.strQueue.size() : 0;
        size_t take = std::min(room, a.strBytes.size());
        s.strQueue.append(a.strBytes, 0, take);
        a.strBytes.erase(0, take);
        if (a.strBytes.empty()) {
            s.arrivals.pop_front();
        } else if (FlowTowardsDevice(s.dcb)) {
            return;  // the device is held off until the program reads
        } else {
            s.dwErrors |= CE_RXOVER;
            s.arrivals.pop_front();
        }
    }
}

Millis NextArrival(const SimPortState& s, Millis now) {
    for (const auto& a : s.arrivals)
        if (a.nDue > now) return a.nDue;
    return sched::kForever;
}

bool WriteHeld(const SimPortState& s) {
    return (s.dcb.fOutxCtsFlow && !(s.dwLines & MS_CTS_ON)) || (s.dcb.fOutxDsrFlow && !(s.dwLines & MS_DSR_ON));
}

// Drives DTR and RTS; a change is recorded.
void SetLines(SimPortState& s, bool bDtr, bool bRts) {
    if (s.bDtr == bDtr && s.bRts == bRts) return;
    s.bDtr = bDtr;
    s.bRts = bRts;
    Record(s, SimCall::Lines, bDtr, bRts);
}

void RaiseLinesFromDcb(SimPortState& s) { SetLines(s, DtrRaisedBy(s.dcb), RtsRaisedBy(s.dcb)); }

// Counts the call; returns the failure armed for it, if any.
std::optional<SimFailure> CountCall(SimPortState& s, const char* call) {
    int n = ++s.calls[call];
    for (auto it = s.failures.begin(); it != s.failures.end(); ++it) {
        if (it->strCall == call && it->nAtCall == n) {
            SimFailure f = *it;
            s.failures.erase(it);
            return f;
        }
    }
    return std::nullopt;
}

BOOL Finish(OVERLAPPED* ov, DWORD error, DWORD count, DWORD* done, bool bPending) {
    if (ov && bPending) {
        StartOverlapped(ov);
        CompleteOverlapped(ov, error, count);
        *done = 0;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    return FinishNow(ov, error, count, done);
}

class CSimPort : public CCommPort {
public:
    CSimPort(int nPort, unsigned nGeneration, unsigned nOpen)
        : CCommPort(static_cast<unsigned>(nPort)), m_nPort(nPort), m_nGeneration(nGeneration), m_nOpen(nOpen) {}

    BOOL GetModemStatus(DWORD* status) override {
        return Simple("GetCommModemStatus", [&](SimPortState& s) { *status = s.dwLines; });
    }
    BOOL SetMask(DWORD mask) override {
        return Simple("SetCommMask", [&](SimPortState& s) {
            s.dwMask = mask;
            Record(s, SimCall::SetCommMask, mask);
        });
    }
    BOOL GetMask(DWORD* mask) override {
        return Simple("GetCommMask", [&](SimPortState& s) { *mask = s.dwMask; });
    }
    BOOL Setup(DWORD inQueue, DWORD outQueue) override {
        return Simple("SetupComm", [&](SimPortState& s) {
            s.nInQueue = inQueue;
            s.nOutQueue = outQueue;
            Record(s, SimCall::SetupComm, inQueue, outQueue);
        });
    }
    BOOL Purge(DWORD flags) override {
        return Simple("PurgeComm", [&](SimPortState& s) {
            if (flags & PURGE_RXCLEAR) s.strQueue.clear();
            if (flags & PURGE_RXABORT) ++s.nReadAborts;
            if (flags & PURGE_TXABORT) ++s.nWriteAborts;
            Record(s, SimCall::PurgeComm, flags);
            sched::NotifyLocked();
        });
    }
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override {
        return Simple("SetCommTimeouts", [&](SimPortState& s) {
            s.timeouts = timeouts;
            Record(s, SimCall::SetCommTimeouts);
        });
    }
    BOOL GetTimeouts(COMMTIMEOUTS* timeouts) override {
        return Simple("GetCommTimeouts", [&](SimPortState& s) { *timeouts = s.timeouts; });
    }
    BOOL GetState(DCB* dcb) override {
        return Simple("GetCommState", [&](SimPortState& s) { *dcb = s.dcb; });
    }
    BOOL SetState(const DCB& dcb) override {
        return Simple("SetCommState", [&](SimPortState& s) {
            s.dcb = dcb;
            s.dcb.DCBlength = sizeof(DCB);
            Record(s, SimCall::SetCommState);
            RaiseLinesFromDcb(s);
            sched::NotifyLocked();
        });
    }
    BOOL Escape(DWORD func) override {
        BOOL ok = TRUE;
        BOOL entered = Simple("EscapeCommFunction", [&](SimPortState& s) {
            ok = CheckEscape(s.dcb, func);
            if (!ok) return;
            Record(s, SimCall::EscapeCommFunction, func);
            if (func == SETDTR || func == CLRDTR) SetLines(s, func == SETDTR, s.bRts);
            if (func == SETRTS || func == CLRRTS) SetLines(s, s.bDtr, func == SETRTS);
        });
        return entered && ok;
    }
    BOOL ClearError(DWORD* errors, COMSTAT* stat) override {
        return Simple("ClearCommError", [&](SimPortState& s) {
            ReleaseDue(s, sched::Now());
            *errors = s.dwErrors;
            s.dwErrors = 0;
            *stat = COMSTAT{};
            stat->fCtsHold = s.dcb.fOutxCtsFlow && !(s.dwLines & MS_CTS_ON);
            stat->fDsrHold = s.dcb.fOutxDsrFlow && !(s.dwLines & MS_DSR_ON);
            stat->cbInQue = static_cast<DWORD>(s.strQueue.size());
            sched::NotifyLocked();  // read room may have freed held arrivals
        });
    }

    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;
    BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;
    void OnClose() override;

private:
    // The port's state while this handle is current, else nullptr. Lock held.
    SimPortState* Current() {
        if (m_nGeneration != g_world.nGeneration) return nullptr;
        auto it = g_world.ports.find(m_nPort);
        bool current = it != g_world.ports.end() && it->second.bOpen && it->second.nOpens == m_nOpen;
        return current ? &it->second : nullptr;
    }

    // Enters a call under the lock: the state, or nullptr after SetLastError.
    SimPortState* Enter(const char* call, std::optional<SimFailure>* failure) {
        SimPortState* s = Current();
        if (!s) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        *failure = CountCall(*s, call);
        return s;
    }

    // The common start of a read or a write, under the lock: true with the
    // port's state, or false with the outcome of a refused or failing call.
    bool BeginTransfer(std::unique_lock<std::mutex>& lk, const char* call, const void* buffer, DWORD size,
                       DWORD* done, OVERLAPPED* ov, SimPortState** state, BOOL* outcome) {
        std::optional<SimFailure> failure;
        *outcome = FALSE;
        if (!CheckBuffer(buffer, size)) return false;
        SimPortState* s = Enter(call, &failure);
        if (!s) return false;
        if (failure) {
            lk.unlock();
            *outcome = Finish(ov, failure->dwError, 0, done, failure->bPending);
            return false;
        }
        if (s->dcb.fAbortOnError && s->dwErrors) {
            lk.unlock();
            *outcome = Finish(ov, ERROR_OPERATION_ABORTED, 0, done, false);
            return false;
        }
        *state = s;
        return true;
    }

    template <class F>
    BOOL Simple(const char* call, F body) {
        std::lock_guard<std::mutex> lk(sched::Lock());
        std::optional<SimFailure> failure;
        SimPortState* s = Enter(call, &failure);
        if (!s) return FALSE;
        if (failure) {
            SetLastError(failure->dwError);
            return FALSE;
        }
        body(*s);
        return TRUE;
    }

    int m_nPort;
    unsigned m_nGeneration;
    unsigned m_nOpen;
};

BOOL CSimPort::Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    std::unique_lock<std::mutex> lk(sched::Lock());
    SimPortState* s = nullptr;
    if (BOOL refused; !BeginTransfer(lk, "ReadFile", buffer, size, done, ov, &s, &refused)) return refused;
    bool bPending = g_world.bReportPending;
    char* out = static_cast<char*>(buffer);
    CReadProgress progress(s->timeouts, size, sched::Now());
    unsigned aborts = s->nReadAborts;
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        Millis now = sched::Now();
        ReleaseDue(*s, now);
        DWORD take = std::min<DWORD>(progress.Room(), static_cast<DWORD>(s->strQueue.size()));
        if (take) {
            std::copy_n(s->strQueue.begin(), take, out + progress.Got());
            s->strQueue.erase(0, take);
            progress.Took(take, now);
        }
        if (progress.Done()) break;
        Millis end = progress.Deadline();
        if (now >= end) break;
        std::function<bool()> woken = [this, aborts] {
            SimPortState* p = Current();
            return !p || p->nReadAborts != aborts || !p->strQueue.empty();
        };
        sched::WaitLocked(lk, woken, std::min(end, NextArrival(*s, now)));
        s = Current();
        if (!s) {
            error = ERROR_INVALID_HANDLE;
            break;
        }
        if (s->nReadAborts != aborts) {
            error = ERROR_OPERATION_ABORTED;
            break;
        }
    }
    sched::NotifyLocked();  // room in the queue may release held arrivals
    lk.unlock();
    return Finish(ov, error, progress.Got(), done, bPending);
}

BOOL CSimPort::Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    std::unique_lock<std::mutex> lk(sched::Lock());
    SimPortState* s = nullptr;
    if (BOOL refused; !BeginTransfer(lk, "WriteFile", buffer, size, done, ov, &s, &refused)) return refused;
    bool bPending = g_world.bReportPending;
    Millis end = WriteDeadline(s->timeouts, size, sched::Now());
    unsigned aborts = s->nWriteAborts;
    DWORD error = ERROR_SUCCESS;
    while (WriteHeld(*s) && sched::Now() < end) {
        std::function<bool()> woken = [this, aborts] {
            SimPortState* p = Current();
            return !p || p->nWriteAborts != aborts || !WriteHeld(*p);
        };
        sched::WaitLocked(lk, woken, end);
        s = Current();
        if (!s) {
            lk.unlock();
            return Finish(ov, ERROR_INVALID_HANDLE, 0, done, false);
        }
        if (s->nWriteAborts != aborts) {
            error = ERROR_OPERATION_ABORTED;
            break;
        }
    }
    DWORD sent = 0;
    std::function<void(int, const std::string&)> onWrite;
    std::string bytes;
    if (error == ERROR_SUCCESS && !WriteHeld(*s)) {  // still held: the time-out passed, nothing sent
        bytes.assign(static_cast<const char*>(buffer), size);
        Record(*s, SimCall::Write);
        s->events.back().strBytes = bytes;
        sent = size;
        onWrite = s->observer.onWrite;
    }
    lk.unlock();
    if (onWrite) onWrite(m_nPort, bytes);
    return Finish(ov, error, sent, done, bPending);
}

void CSimPort::OnClose() {
    std::function<void(int)> onClose;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        SimPortState* s = Current();
        if (!s) return;
        ReleaseDue(*s, sched::Now());
        s->bOpen = false;
        s->strQueue.clear();
        ++s->nReadAborts;
        ++s->nWriteAborts;
        Record(*s, SimCall::Close);
        SetLines(*s, false, false);
        onClose = s->observer.onClose;
        sched::NotifyLocked();
    }
    if (onClose) onClose(m_nPort);
}

// The opener's answer for a port that does not open, with the diagnosis a
// message box shows.
bool RefuseOpen(DWORD error, std::string text) {
    diagnosis::Set(std::move(text));
    SetLastError(error);
    return true;
}

bool OpenSimPort(const OpenRequest& request, HANDLE* result) {
    unsigned n = ParsePortName(request.name);
    if (n == 0) return false;
    int nPort = static_cast<int>(n);
    *result = INVALID_HANDLE_VALUE;
    diagnosis::Clear();
    std::function<void(int)> onOpen;
    unsigned generation;
    unsigned open;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        SimPortState& s = PortLocked(nPort);
        if (auto failure = CountCall(s, "CreateFileA"))
            return RefuseOpen(failure->dwError, "COM" + std::to_string(n) + ": the open failed with error " +
                                                    std::to_string(failure->dwError));
        if (s.ePresence == SimPresence::Missing)
            return RefuseOpen(ERROR_FILE_NOT_FOUND, "COM" + std::to_string(n) + ": no such port");
        if (s.bOpen)  // serial ports are never shared
            return RefuseOpen(ERROR_ACCESS_DENIED, "COM" + std::to_string(n) + ": in use by another program");
        Millis now = sched::Now();
        ReleaseDue(s, now);  // whatever came while closed is lost
        s.bOpen = true;
        open = ++s.nOpens;
        s.dwMask = 0;
        s.dwErrors = 0;
        Record(s, SimCall::Open);
        RaiseLinesFromDcb(s);
        onOpen = s.observer.onOpen;
        generation = g_world.nGeneration;
    }
    *result = AddHandle(std::make_shared<CSimPort>(nPort, generation, open));
    if (onOpen) onOpen(nPort);
    return true;
}

}  // namespace

namespace platform::sim_serial {

void Install() {
    Uninstall();
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        g_world.names = {"COM1:"};
        g_world.bReportPending = false;
        SimPortState& first = PortLocked(1);
        first.ePresence = SimPresence::LinesUp;
        first.dwLines = LINES_UP;
    }
    int opener = AddDeviceOpener(OpenSimPort);
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        g_world.nOpener = opener;
    }
    SetPortLister([] {
        std::lock_guard<std::mutex> lk(sched::Lock());
        return g_world.names;
    });
}

void Uninstall() {
    int opener;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        opener = g_world.nOpener;
        g_world.nOpener = 0;
        g_world.ports.clear();
        g_world.names.clear();
        ++g_world.nGeneration;
        sched::NotifyLocked();  // blocked reads and writes end with ERROR_INVALID_HANDLE
    }
    if (opener) {
        RemoveDeviceOpener(opener);
        SetPortLister(nullptr);
    }
}

void SetEnumeratedPorts(const std::vector<std::string>& names) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    g_world.names = names;
}

void SetPresence(int nPort, SimPresence presence) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    SimPortState& s = PortLocked(nPort);
    s.ePresence = presence;
    s.dwLines = presence == SimPresence::LinesUp ? LINES_UP : 0;
    sched::NotifyLocked();
}

void SetModemLines(int nPort, DWORD dwLines) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    PortLocked(nPort).dwLines = dwLines & (MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
    sched::NotifyLocked();
}

bool InjectReceived(int nPort, const std::string& strBytes, DWORD dwDelayMs) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    SimPortState& s = PortLocked(nPort);
    if (!s.bOpen) return false;
    SimArrival arrival{sched::Now() + dwDelayMs, strBytes};
    auto at = std::upper_bound(s.arrivals.begin(), s.arrivals.end(), arrival.nDue,
                               [](Millis due, const SimArrival& a) { return due < a.nDue; });
    s.arrivals.insert(at, std::move(arrival));
    ReleaseDue(s, sched::Now());
    sched::NotifyLocked();
    return true;
}

void RaiseLineErrors(int nPort, DWORD dwErrors) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    PortLocked(nPort).dwErrors |= dwErrors;
}

bool FailCall(int nPort, const std::string& strCall, int nNth, DWORD dwError, bool bPending) {
    if (nNth < 1 || std::find(std::begin(CALL_NAMES), std::end(CALL_NAMES), strCall) == std::end(CALL_NAMES))
        return false;
    std::lock_guard<std::mutex> lk(sched::Lock());
    SimPortState& s = PortLocked(nPort);
    s.failures.push_back({strCall, s.calls[strCall] + nNth, dwError, bPending});
    return true;
}

void SetReportPending(bool bPending) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    g_world.bReportPending = bPending;
}

void SetObserver(int nPort, SimObserver observer) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    PortLocked(nPort).observer = std::move(observer);
}

std::vector<SimEvent> Events(int nPort) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return PortLocked(nPort).events;
}

std::string Written(int nPort) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    std::string all;
    for (const auto& e : PortLocked(nPort).events)
        if (e.eCall == SimCall::Write) all += e.strBytes;
    return all;
}

void ClearEvents(int nPort) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    PortLocked(nPort).events.clear();
}

int CallCount(int nPort, const std::string& strCall) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    auto& calls = PortLocked(nPort).calls;
    auto it = calls.find(strCall);
    return it == calls.end() ? 0 : it->second;
}

bool IsOpen(int nPort) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return PortLocked(nPort).bOpen;
}

bool DtrOn(int nPort) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return PortLocked(nPort).bDtr;
}

bool RtsOn(int nPort) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return PortLocked(nPort).bRts;
}

DWORD Queued(int nPort) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    SimPortState& s = PortLocked(nPort);
    ReleaseDue(s, sched::Now());
    return static_cast<DWORD>(s.strQueue.size());
}

}  // namespace platform::sim_serial
