// Transcript lines for what a program did to a simulated port.
#include <cstdio>

#include "platform/serial/sim_serial.h"

namespace {

using namespace platform::sim_serial;

std::string DescribeDcb(const DCB& d) {
    static const char PARITY[] = "NOEMS";
    static const char* const STOP[] = {"1", "1.5", "2"};
    static const char* const CONTROL[] = {"disable", "enable", "handshake", "toggle"};
    char text[200];
    std::snprintf(text, sizeof text,
                  "%u %u%c%s binary=%u parity=%u cts=%u dsr=%u dtr=%s rts=%s outx=%u inx=%u xon=%02X xoff=%02X "
                  "xonlim=%u xofflim=%u",
                  d.BaudRate, d.ByteSize, d.Parity <= SPACEPARITY ? PARITY[d.Parity] : '?',
                  d.StopBits <= TWOSTOPBITS ? STOP[d.StopBits] : "?", d.fBinary, d.fParity, d.fOutxCtsFlow,
                  d.fOutxDsrFlow, CONTROL[d.fDtrControl], CONTROL[d.fRtsControl], d.fOutX, d.fInX,
                  static_cast<unsigned char>(d.XonChar), static_cast<unsigned char>(d.XoffChar), d.XonLim,
                  d.XoffLim);
    return text;
}

std::string DescribeEscape(DWORD func) {
    switch (func) {
    case SETXOFF: return "SETXOFF";
    case SETXON: return "SETXON";
    case SETRTS: return "SETRTS";
    case CLRRTS: return "CLRRTS";
    case SETDTR: return "SETDTR";
    case CLRDTR: return "CLRDTR";
    case SETBREAK: return "SETBREAK";
    case CLRBREAK: return "CLRBREAK";
    }
    return std::to_string(func);
}

std::string DescribePurge(DWORD flags) {
    static const char* const NAMES[] = {"TXABORT", "RXABORT", "TXCLEAR", "RXCLEAR"};
    std::string text;
    for (int i = 0; i < 4; ++i)
        if (flags & (1u << i)) text += (text.empty() ? "" : "|") + std::string(NAMES[i]);
    return text.empty() ? "0" : text;
}

}  // namespace

namespace platform::sim_serial {

std::string DescribeEvent(const SimEvent& e) {
    std::string text = std::to_string(e.nTime) + " ";
    char hex[4];
    switch (e.eCall) {
    case SimCall::Open: return text + "Open";
    case SimCall::Close: return text + "Close";
    case SimCall::Write:
        text += "Write";
        for (unsigned char c : e.strBytes) {
            std::snprintf(hex, sizeof hex, " %02X", c);
            text += hex;
        }
        return text;
    case SimCall::SetCommState: return text + "SetCommState " + DescribeDcb(e.dcb);
    case SimCall::SetCommTimeouts: {
        const COMMTIMEOUTS& t = e.timeouts;
        char line[120];
        std::snprintf(line, sizeof line, "SetCommTimeouts %u %u %u %u %u", t.ReadIntervalTimeout,
                      t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                      t.WriteTotalTimeoutConstant);
        return text + line;
    }
    case SimCall::SetCommMask: return text + "SetCommMask " + std::to_string(e.dwArg);
    case SimCall::SetupComm: return text + "SetupComm " + std::to_string(e.dwArg) + " " + std::to_string(e.dwArg2);
    case SimCall::EscapeCommFunction: return text + "EscapeCommFunction " + DescribeEscape(e.dwArg);
    case SimCall::PurgeComm: return text + "PurgeComm " + DescribePurge(e.dwArg);
    case SimCall::Lines:
        return text + "Lines DTR " + (e.dwArg ? "on" : "off") + " RTS " + (e.dwArg2 ? "on" : "off");
    }
    return text;
}

}  // namespace platform::sim_serial
