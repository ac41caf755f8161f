#include "panel/link/port.h"

#include <cstdio>
#include <cstring>

#include "panel/resources/resource.h"
#include "platform/base/devices.h"
#include "platform/serial/win_comm.h"
#include "platform/ui/afxwin.h"
#include "platform/ui/win_user.h"

CString g_strRx;
CRITICAL_SECTION g_rxLock;
std::atomic<BOOL> g_bDataArrived{0};
std::atomic<BOOL> g_bStopReader{0};
std::atomic<BOOL> g_bReaderRunning{0};
std::atomic<HWND> g_hReplyWnd{nullptr};

namespace {

constexpr int DEVICE_CHECKS = 4;
constexpr DWORD DEVICE_CHECK_PAUSE = 100;
constexpr DWORD DIALOG_WAIT_STEP = 100;
constexpr DWORD SLEEP_AFTER_DATA = 5;
constexpr DWORD SLEEP_AFTER_NOTHING = 10;
constexpr DWORD PURGE_ALL = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;

DWORD ReaderId(PortInfo* port) { return std::atomic_ref<DWORD>(port->nReaderId).load(); }

// One step of a wait of the dialog thread for the reader: it serves the
// reader's notification meanwhile, so the two threads never wait on each other.
void WaitStepServingReader() {
    DWORD start = GetTickCount();
    for (;;) {
        DWORD spent = GetTickCount() - start;
        if (spent >= DIALOG_WAIT_STEP) return;
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, DIALOG_WAIT_STEP - spent, QS_SENDMESSAGE) != WAIT_OBJECT_0)
            return;
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
}

void AppendReceived(const char* text) {
    EnterCriticalSection(&g_rxLock);
    g_strRx += text;
    if (g_strRx.GetLength() > RX_BUFFER_LIMIT) g_strRx.Delete(0, g_strRx.GetLength() - RX_BUFFER_LIMIT);
    LeaveCriticalSection(&g_rxLock);
}

bool ReplyComplete() {
    EnterCriticalSection(&g_rxLock);
    bool complete = g_strRx.Find(';') >= 0;
    LeaveCriticalSection(&g_rxLock);
    return complete;
}

void NotifyReplyWindow() {
    HWND window = g_hReplyWnd.load();
    if (window) SendMessageA(window, WM_COMMAND, IDC_REPLY_NOTIFY, 0);
}

}  // namespace

BOOL OpenPort(PortInfo* port) {
    char name[16];
    std::snprintf(name, sizeof name, "COM%d", port->nPortNumber);
    port->hPort = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (port->hPort == INVALID_HANDLE_VALUE) {
        AfxMessageBox("error");
        return 0;
    }

    for (int attempt = 1;; ++attempt) {
        DWORD lines = 0;
        if (GetCommModemStatus(port->hPort, &lines) && (lines & ANY_MODEM_LINE)) break;
        if (attempt == DEVICE_CHECKS) {
            AfxMessageBox(IDS_NOT_CONNECTED, MB_ICONWARNING);
            ClosePort(port);
            return 0;
        }
        Sleep(DEVICE_CHECK_PAUSE);
    }

    SetCommMask(port->hPort, EV_RXCHAR);
    SetupComm(port->hPort, PORT_QUEUE_SIZE, PORT_QUEUE_SIZE);
    PurgeComm(port->hPort, PURGE_ALL);

    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = 0xFFFF;  // not MAXDWORD, which would make reads return at once
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 1000;
    timeouts.WriteTotalTimeoutMultiplier = 19200 / port->nBaudRate;  // 2 ms per byte at 9600 baud
    timeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(port->hPort, &timeouts);

    BOOL configured = ConfigureLine(port);
    if (!configured) {
        SetPortOpen(port, 0);
        CloseHandle(port->hPort);
        return 0;
    }

    SetPortOpen(port, 1);
    // The reader clears its id and handle as it ends, which ClosePort waits
    // for; it may end at once, so it runs only after they are in the record.
    DWORD id = 0;
    HANDLE reader = CreateThread(nullptr, 0, ReaderThreadProc, port, CREATE_SUSPENDED, &id);
    if (!reader) {
        SetPortOpen(port, 0);
        CloseHandle(port->hPort);
        return 0;
    }
    std::atomic_ref<DWORD>(port->nReaderId).store(id);
    std::atomic_ref<HANDLE>(port->hReader).store(reader);
    ResumeThread(reader);
    EscapeCommFunction(port->hPort, SETDTR);
    return configured;
}

BOOL ConfigureLine(PortInfo* port) {
    DCB dcb{};
    dcb.DCBlength = sizeof(DCB);
    // Without the port's own block the members left alone would be written as zeros.
    if (!GetCommState(port->hPort, &dcb)) return FALSE;
    dcb.BaudRate = port->nBaudRate;
    dcb.ByteSize = port->nByteSize;
    dcb.Parity = port->nParity;
    dcb.StopBits = port->nStopBits;
    bool dsrFlow = port->nHandshake & 1;
    dcb.fOutxDsrFlow = dsrFlow;
    dcb.fDtrControl = dsrFlow ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    bool ctsFlow = port->nHandshake & 2;
    dcb.fOutxCtsFlow = ctsFlow;
    dcb.fRtsControl = ctsFlow ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    bool xonXoff = port->nHandshake & 4;
    dcb.fOutX = xonXoff;
    dcb.fInX = xonXoff;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    dcb.fBinary = TRUE;
    dcb.fParity = TRUE;  // on although the parity is none: the line has always been set so
    return SetCommState(port->hPort, &dcb);
}

BOOL ClosePort(PortInfo* port) {
    SetPortOpen(port, 0);
    SetCommMask(port->hPort, 0);
    while (ReaderId(port) != 0) WaitStepServingReader();
    EscapeCommFunction(port->hPort, CLRDTR);
    PurgeComm(port->hPort, PURGE_ALL);
    CloseHandle(port->hPort);
    return 1;
}

void StopReader() {
    if (!g_bReaderRunning.load()) return;
    g_bStopReader.store(1);
    while (g_bStopReader.load() != 0) WaitStepServingReader();
}

DWORD WINAPI ReaderThreadProc(LPVOID param) {
    auto* port = static_cast<PortInfo*>(param);
    g_bReaderRunning.store(1);
    HANDLE ownEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!ownEvent) {
        AfxMessageBox(IDS_EVENT_FAILED, MB_ICONWARNING);
    } else if (SetCommMask(port->hPort, EV_RXCHAR) && PortIsOpen(port)) {
        // A close is noticed only on a pass that read nothing, so a port that
        // keeps receiving is drained before the reader ends.
        for (;;) {
            char buffer[READ_CHUNK + 1];
            DWORD got = ReadAvailable(port, buffer, READ_CHUNK);
            if (got) {
                buffer[got] = '\0';  // the text ends at the first NUL of the data, if any
                AppendReceived(buffer);
                g_bDataArrived.store(1);
                if (ReplyComplete()) NotifyReplyWindow();
                Sleep(SLEEP_AFTER_DATA);
                if (!g_bStopReader.load()) continue;
            }
            if (g_bStopReader.load()) break;
            Sleep(SLEEP_AFTER_NOTHING);
            if (!PortIsOpen(port)) break;
        }
    }
    if (ownEvent) CloseHandle(ownEvent);
    HANDLE self = std::atomic_ref<HANDLE>(port->hReader).exchange(nullptr);
    std::atomic_ref<DWORD>(port->nReaderId).store(0);
    if (self) CloseHandle(self);
    g_bStopReader.store(0);
    g_bReaderRunning.store(0);
    return 0;
}

DWORD ReadAvailable(PortInfo* port, char* buffer, DWORD maximum) {
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(port->hPort, &errors, &status);
    DWORD wanted = status.cbInQue < maximum ? status.cbInQue : maximum;
    if (wanted == 0) return 0;

    DWORD got = 0;
    if (ReadFile(port->hPort, buffer, wanted, &got, &port->readOverlap)) return got;
    if (GetLastError() != ERROR_IO_PENDING) {
        ClearCommError(port->hPort, &errors, &status);
        return 0;
    }
    for (;;) {
        if (GetOverlappedResult(port->hPort, &port->readOverlap, &got, TRUE)) return got;
        if (GetLastError() != ERROR_IO_INCOMPLETE) {
            ClearCommError(port->hPort, &errors, &status);
            return got;
        }
    }
}

BOOL WritePort(PortInfo* port, const char* text) {
    DWORD written = 0;
    DWORD length = static_cast<DWORD>(std::strlen(text));
    if (WriteFile(port->hPort, text, length, &written, &port->writeOverlap)) return 1;
    DWORD errors = 0;
    COMSTAT status{};
    if (GetLastError() != ERROR_IO_PENDING) {
        ClearCommError(port->hPort, &errors, &status);
        return 0;
    }
    for (;;) {
        if (GetOverlappedResult(port->hPort, &port->writeOverlap, &written, TRUE)) return 1;
        if (GetLastError() != ERROR_IO_INCOMPLETE) {
            ClearCommError(port->hPort, &errors, &status);
            return 1;
        }
    }
}

CString TakeReply() {
    EnterCriticalSection(&g_rxLock);
    CString reply;
    int end = g_strRx.Find(';');
    if (end >= 0) {
        reply = g_strRx.Left(end + 1);
        g_strRx.Delete(0, end + 1);
    }
    LeaveCriticalSection(&g_rxLock);
    return reply;
}
