#include <algorithm>
#include <string>

#include "platform/serial/comm_port.h"
#include "platform/serial/rfc2217_port.h"
#include "platform/serial/telnet_codec.h"

using namespace platform::serial;
using namespace platform::telnet;

namespace {

bool Digits(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

namespace platform::rfc2217 {

bool ParseNetworkLink(const std::string& text, NetworkAddress* address) {
    static const std::string SCHEME = "rfc2217://";
    if (text.compare(0, SCHEME.size(), SCHEME) != 0) return false;
    std::string rest = text.substr(SCHEME.size());
    if (!rest.empty() && rest.back() == '/') rest.pop_back();
    std::string host, port;
    if (!rest.empty() && rest.front() == '[') {
        std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        host = rest.substr(1, close - 1);
        port = rest.substr(close + 2);
    } else {
        std::size_t colon = rest.find(':');
        if (colon == std::string::npos || rest.find(':', colon + 1) != std::string::npos) return false;
        host = rest.substr(0, colon);
        port = rest.substr(colon + 1);
    }
    if (host.empty() || host.find_first_of("/ \t[]") != std::string::npos || !Digits(port)) return false;
    unsigned long number = std::stoul(port);
    if (number < 1 || number > 65535) return false;
    *address = {host, std::to_string(number)};
    return true;
}

std::string LineRequests(const DCB& dcb) {
    static const unsigned char PARITY[] = {CP_PARITY_NONE, CP_PARITY_ODD, CP_PARITY_EVEN, CP_PARITY_MARK,
                                           CP_PARITY_SPACE};
    static const unsigned char STOP[] = {CP_STOP_1, CP_STOP_15, CP_STOP_2};
    std::string out = ComPortCommand(CPC_SET_BAUDRATE, BigEndian32(dcb.BaudRate));
    out += ComPortCommand(CPC_SET_DATASIZE, dcb.ByteSize);
    out += ComPortCommand(CPC_SET_PARITY, PARITY[std::min<unsigned>(dcb.Parity, 4)]);
    out += ComPortCommand(CPC_SET_STOPSIZE, STOP[std::min<unsigned>(dcb.StopBits, 2)]);
    unsigned char outFlow = dcb.fOutxCtsFlow ? CP_FLOW_HARDWARE : dcb.fOutX ? CP_FLOW_XONXOFF : CP_FLOW_NONE;
    unsigned char inFlow = dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ? CP_INFLOW_HARDWARE
                           : dcb.fInX                               ? CP_INFLOW_XONXOFF
                                                                    : CP_INFLOW_NONE;
    out += ComPortCommand(CPC_SET_CONTROL, outFlow);
    out += ComPortCommand(CPC_SET_CONTROL, inFlow);
    if (dcb.fDtrControl != DTR_CONTROL_HANDSHAKE)
        out += ComPortCommand(CPC_SET_CONTROL, DtrRaisedBy(dcb) ? CP_DTR_ON : CP_DTR_OFF);
    if (dcb.fRtsControl != RTS_CONTROL_HANDSHAKE)
        out += ComPortCommand(CPC_SET_CONTROL, RtsRaisedBy(dcb) ? CP_RTS_ON : CP_RTS_OFF);
    return out;
}

std::string EscapeRequest(DWORD func) {
    switch (func) {
    case SETDTR: return ComPortCommand(CPC_SET_CONTROL, CP_DTR_ON);
    case CLRDTR: return ComPortCommand(CPC_SET_CONTROL, CP_DTR_OFF);
    case SETRTS: return ComPortCommand(CPC_SET_CONTROL, CP_RTS_ON);
    case CLRRTS: return ComPortCommand(CPC_SET_CONTROL, CP_RTS_OFF);
    case SETBREAK: return ComPortCommand(CPC_SET_CONTROL, CP_BREAK_ON);
    case CLRBREAK: return ComPortCommand(CPC_SET_CONTROL, CP_BREAK_OFF);
    default: return "";
    }
}

}  // namespace platform::rfc2217
