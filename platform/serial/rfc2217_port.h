// Network serial ports for the termios backend. A comN link whose text is
// rfc2217://host:port names a Telnet server with COM-port control (a serial
// device server, ser2net, kestra-sim): the port speaks to it over TCP, hands
// it the DCB, DTR, RTS and purges, and reports the modem lines it notifies.
//
// Nothing the peer does hangs a caller: every wait has a deadline. The
// handle outlives its connection, as a serial port's handle outlives a pulled
// cable. Once the connection is lost (closed, reset; garbage is no loss) the
// port behaves as a line with nothing attached: reads end at their time-out
// with no bytes, writes fail with ERROR_DEVICE_NOT_CONNECTED, the modem lines
// read as off, line settings and DTR/RTS changes are kept. Meanwhile the
// calls on the port (reads, writes, ClearCommError, GetCommModemStatus,
// ...) connect again, one attempt a second at most, each given up after a
// second, none waiting longer than the call itself may; the new connection
// is handed the line settings, DTR, RTS and break as the session last set
// them. Closing the handle ends any attempt.
#pragma once

#include <string>

#include "platform/serial/win_comm.h"

namespace platform::rfc2217 {

struct NetworkAddress {
    std::string strHost;  // name or address, without brackets
    std::string strPort;  // decimal 1..65535
};

// Host and port of "rfc2217://host:port" or "rfc2217://[v6]:port"; false for any other text.
bool ParseNetworkLink(const std::string& text, NetworkAddress* address);

// Connects COMn to the peer; *result gets a handle, or INVALID_HANDLE_VALUE
// after SetLastError (ERROR_FILE_NOT_FOUND: refused or no such host;
// ERROR_TIMEOUT: no answer; ERROR_ACCESS_DENIED: COMn is open already) and
// one line saying why, as posix_serial.h describes.
void OpenNetworkPort(unsigned nPort, const std::string& strLink, const NetworkAddress& address, HANDLE* result);

// The COM-port commands that give the peer the DCB's line: baud rate, data
// size, parity, stop size, flow control both ways, then DTR and RTS unless
// the handshake owns them.
std::string LineRequests(const DCB& dcb);
// The command for an EscapeCommFunction code; "" for SETXON and SETXOFF,
// which have no counterpart (the peer's own flow control does that).
std::string EscapeRequest(DWORD func);

namespace test {
// Milliseconds an open waits for the connection (3000 unless set).
void SetConnectTimeout(unsigned nMs);
}  // namespace test

}  // namespace platform::rfc2217
