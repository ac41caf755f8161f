// The server end of Telnet with COM-port control, as bytes only: what a
// client's stream asks of the serial line, the answers it gets, and the
// modem-state notifications it asked for. The socket lives elsewhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial/telnet_codec.h"

namespace kestra_sim {

struct LineSettings {
    std::uint32_t nBaud = 9600;
    unsigned char nDataSize = 8;
    unsigned char nParity = platform::telnet::CP_PARITY_NONE;
    unsigned char nStopSize = platform::telnet::CP_STOP_1;
    unsigned char nFlow = platform::telnet::CP_FLOW_NONE;       // outbound, CP_FLOW_*
    unsigned char nInFlow = platform::telnet::CP_INFLOW_NONE;   // inbound, CP_INFLOW_*
    bool bDtr = false;
    bool bRts = false;
    bool bBreak = false;
};

// "9600 8N1", "19200 7E1.5".
std::string DescribeFrame(const LineSettings& line);

// What a client's bytes ask for, in the order they came: data for the
// device, a line for the log, or a purge.
struct ServerAction {
    enum class Kind {
        Data,             // strText: data bytes for the serial device
        Log,              // strText: one line about a request
        PurgeFromDevice,  // drop what the device sent and the client has not got yet
        PurgeToDevice,    // drop what the device holds of an unfinished command
    };
    Kind eKind;
    std::string strText;
};

struct ServerOutput {
    std::vector<ServerAction> aActions;
    std::string strToClient;  // answers, to go out before any further data
};

class CComPortServer {
public:
    explicit CComPortServer(unsigned char nModemLines);

    // The options the server offers as soon as a client connects.
    std::string Greeting();
    ServerOutput Feed(std::string_view bytes);
    // A notification when the client takes COM-port control and the lines
    // (CP_MODEM_* bits) changed within its mask; "" otherwise.
    std::string SetModemLines(unsigned char nLines);
    // The device's bytes as they go on the wire.
    static std::string Data(std::string_view bytes) { return platform::telnet::EscapeData(bytes); }

    const LineSettings& Line() const { return m_line; }
    // The client asked the server to hold back the device's data.
    bool Suspended() const { return m_bSuspended; }

private:
    void Subnegotiation(std::string_view body, ServerOutput& out);
    void Control(unsigned char value, ServerOutput& out);
    std::string Notification(bool bForce);

    platform::telnet::CTelnetParser m_parser;
    platform::telnet::CTelnetOptions m_options;
    LineSettings m_line;
    unsigned char m_nLines;
    unsigned char m_nNotified = 0;  // the lines as last notified
    unsigned char m_nModemMask = 0xFF;
    unsigned char m_nLineMask = 0;
    bool m_bSuspended = false;
};

}  // namespace kestra_sim
