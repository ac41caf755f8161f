#include "platform/serial/host_port.h"

#include <poll.h>

namespace platform::serial {

using sched::Millis;

namespace {
constexpr Millis WAIT_SLICE_MS = 20;  // a blocked read or write notices aborts this often
}

void AwaitDescriptor(int fd, short events, Millis deadline) {
    if (fd < 0) {
        sched::AwaitOutside(nullptr, deadline, WAIT_SLICE_MS);
        return;
    }
    sched::AwaitOutside(
        [fd, events](int ms) {
            pollfd p{fd, events, 0};
            return poll(&p, 1, ms) > 0;
        },
        deadline, WAIT_SLICE_MS);
}

BOOL CHostPort::SetMask(DWORD mask) {
    if (!Usable()) return FALSE;
    std::lock_guard<std::mutex> lk(m_lock);
    m_dwMask = mask;
    return TRUE;
}

BOOL CHostPort::GetMask(DWORD* mask) {
    if (!Usable()) return FALSE;
    std::lock_guard<std::mutex> lk(m_lock);
    *mask = m_dwMask;
    return TRUE;
}

BOOL CHostPort::SetTimeouts(const COMMTIMEOUTS& timeouts) {
    if (!Usable()) return FALSE;
    std::lock_guard<std::mutex> lk(m_lock);
    m_timeouts = timeouts;
    return TRUE;
}

BOOL CHostPort::GetTimeouts(COMMTIMEOUTS* timeouts) {
    if (!Usable()) return FALSE;
    std::lock_guard<std::mutex> lk(m_lock);
    *timeouts = m_timeouts;
    return TRUE;
}

BOOL CHostPort::Usable() {
    if (!m_bClosed) return TRUE;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

void CHostPort::MarkClosed() {
    m_bClosed = true;
    ++m_nReadAborts;
    ++m_nWriteAborts;
}

COMMTIMEOUTS CHostPort::Timeouts() {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_timeouts;
}

BOOL CHostPort::Read(void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    if (!Usable() || !CheckBuffer(buffer, size)) return FALSE;
    char* out = static_cast<char*>(buffer);
    CReadProgress progress(Timeouts(), size, sched::Now());
    unsigned aborts = m_nReadAborts;
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        if (progress.Room() > 0)
            progress.Took(TakeArrived(out + progress.Got(), progress.Room(), &error), sched::Now());
        if (error != ERROR_SUCCESS || progress.Done()) break;
        Millis end = progress.Deadline();
        if (sched::Now() >= end) break;
        AwaitDescriptor(WaitDescriptor(), POLLIN, end);
        if (m_nReadAborts != aborts) {
            error = AbortError();
            break;
        }
    }
    return FinishNow(ov, error, progress.Got(), done);
}

BOOL CHostPort::Write(const void* buffer, DWORD size, DWORD* done, OVERLAPPED* ov) {
    if (!Usable() || !CheckBuffer(buffer, size)) return FALSE;
    std::string_view bytes(static_cast<const char*>(buffer), size);
    Millis end = WriteDeadline(Timeouts(), size, sched::Now());
    unsigned aborts = m_nWriteAborts;
    COutgoing outgoing;
    DWORD handed = 0;
    DWORD error = ERROR_SUCCESS;
    for (;;) {
        handed += Hand(bytes.substr(handed), &outgoing, &error);
        if (error != ERROR_SUCCESS) break;
        if (handed == size && Gone(outgoing)) return FinishNow(ov, ERROR_SUCCESS, size, done);
        if (m_nWriteAborts != aborts) {
            error = AbortError();
            break;
        }
        if (sched::Now() >= end) break;  // time-out: the count tells how much went
        AwaitDescriptor(WaitDescriptor(), POLLOUT, end);
    }
    return FinishNow(ov, error, Withdraw(bytes.substr(0, handed), outgoing), done);
}

}  // namespace platform::serial
