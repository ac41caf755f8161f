// What a port on a host device (a tty, a network serial port) keeps itself:
// the event mask, the time-outs, the abort counters and whether it is closed;
// and the one read and write loop of such ports, over a few primitives each
// backend supplies. The loop's waits go through the scheduler's outside wait.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "platform/serial/comm_port.h"

namespace platform::serial {

// Where a write's bytes stand in a backend's own queue (a backend without one ignores it).
struct COutgoing {
    bool bBegun = false;
    std::uint64_t nConnection = 0;  // of a backend that reconnects: the connection they went to
    std::uint64_t nStart = 0;  // queue position of its first byte
    std::uint64_t nEnd = 0;    // queue position after its last byte handed so far
};

// One step of waiting, until deadline at the latest, for a descriptor to be
// ready for events (POLLIN, POLLOUT); fd -1: nothing can come, only time passes.
void AwaitDescriptor(int fd, short events, sched::Millis deadline);

class CHostPort : public CCommPort {
public:
    using CCommPort::CCommPort;

    BOOL SetMask(DWORD mask) override;
    BOOL GetMask(DWORD* mask) override;
    // The device sizes its own queues; there is nothing to change.
    BOOL Setup(DWORD, DWORD) override { return Usable(); }
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override;
    BOOL GetTimeouts(COMMTIMEOUTS* timeouts) override;

    BOOL Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;
    BOOL Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) override;

protected:
    // Moves up to room bytes that have arrived to out and returns how many
    // (0 when none has); a failure that ends the read goes to *error.
    virtual DWORD TakeArrived(char* out, DWORD room, DWORD* error) = 0;
    // Hands the device as much of bytes as it takes now and returns how many,
    // and pushes on whatever of earlier bytes still waits (bytes may be
    // empty for that alone); a failure that ends the write goes to *error.
    virtual DWORD Hand(std::string_view bytes, COutgoing* outgoing, DWORD* error) = 0;
    // Whether everything handed has left the backend's own queue.
    virtual bool Gone(const COutgoing&) { return true; }
    // The write ends early (time-out, abort, failure): how many of the handed
    // bytes count as written; a backend takes back from its queue what has not left.
    virtual DWORD Withdraw(std::string_view handed, const COutgoing&) { return static_cast<DWORD>(handed.size()); }
    // The descriptor a blocked read or write waits on; -1 when nothing more can come.
    virtual int WaitDescriptor() = 0;

    // TRUE while open; FALSE with ERROR_INVALID_HANDLE once closed.
    BOOL Usable();
    // The last handle went: every wait in a read or write ends.
    void MarkClosed();
    COMMTIMEOUTS Timeouts();

    std::atomic<bool> m_bClosed{false};
    std::atomic<unsigned> m_nReadAborts{0};
    std::atomic<unsigned> m_nWriteAborts{0};
    std::mutex m_lock;  // guards the members below and the derived port's state; never held across a wait
    COMMTIMEOUTS m_timeouts{};
    DWORD m_dwMask = 0;

private:
    DWORD AbortError() const { return m_bClosed ? ERROR_INVALID_HANDLE : ERROR_OPERATION_ABORTED; }
};

}  // namespace platform::serial
