// What a port on a host device (a tty, a network serial port) keeps itself:
// the event mask, the time-outs, the abort counters and whether it is closed.
#pragma once

#include <atomic>
#include <mutex>

#include "platform/serial/comm_port.h"

namespace platform::serial {

class CHostPort : public CCommPort {
public:
    BOOL SetMask(DWORD mask) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        m_dwMask = mask;
        return TRUE;
    }
    BOOL GetMask(DWORD* mask) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        *mask = m_dwMask;
        return TRUE;
    }
    // The device sizes its own queues; there is nothing to change.
    BOOL Setup(DWORD, DWORD) override { return Usable(); }
    BOOL SetTimeouts(const COMMTIMEOUTS& timeouts) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        m_timeouts = timeouts;
        return TRUE;
    }
    BOOL GetTimeouts(COMMTIMEOUTS* timeouts) override {
        if (!Usable()) return FALSE;
        std::lock_guard<std::mutex> lk(m_lock);
        *timeouts = m_timeouts;
        return TRUE;
    }

protected:
    // TRUE while open; FALSE with ERROR_INVALID_HANDLE once closed.
    BOOL Usable() {
        if (!m_bClosed) return TRUE;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // The last handle went: every wait in a read or write ends.
    void MarkClosed() {
        m_bClosed = true;
        ++m_nReadAborts;
        ++m_nWriteAborts;
    }
    COMMTIMEOUTS Timeouts() {
        std::lock_guard<std::mutex> lk(m_lock);
        return m_timeouts;
    }

    std::atomic<bool> m_bClosed{false};
    std::atomic<unsigned> m_nReadAborts{0};
    std::atomic<unsigned> m_nWriteAborts{0};
    std::mutex m_lock;  // guards the members below and the derived port's state; never held across a wait
    COMMTIMEOUTS m_timeouts{};
    DWORD m_dwMask = 0;
};

}  // namespace platform::serial
