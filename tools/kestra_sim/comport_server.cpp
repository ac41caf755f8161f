#include "tools/kestra_sim/comport_server.h"

#include <utility>

namespace kestra_sim {

using namespace platform::telnet;

namespace {

const char* const SIGNATURE = "kestra-sim";

const char* OnOff(bool b) { return b ? "on" : "off"; }

void Log(ServerOutput& out, std::string line) { out.aActions.push_back({ServerAction::Kind::Log, std::move(line)}); }

}  // namespace

std::string DescribeFrame(const LineSettings& line) {
    static const char PARITY[] = "?NOEMS";
    static const char* const STOP[] = {"?", "1", "2", "1.5"};
    return std::to_string(line.nBaud) + " " + std::to_string(line.nDataSize) + PARITY[line.nParity <= 5 ? line.nParity : 0] +
           STOP[line.nStopSize <= 3 ? line.nStopSize : 0];
}

CComPortServer::CComPortServer(unsigned char nModemLines)
    : m_options({OPT_BINARY, OPT_SGA, OPT_COM_PORT}), m_nLines(nModemLines & CP_MODEM_LINES) {}

std::string CComPortServer::Greeting() {
    return m_options.RequestLocal(OPT_BINARY) + m_options.RequestRemote(OPT_BINARY) +
           m_options.RequestLocal(OPT_SGA) + m_options.RequestRemote(OPT_COM_PORT);
}

ServerOutput CComPortServer::Feed(std::string_view bytes) {
    ServerOutput out;
    for (const CTelnetEvent& event : m_parser.Feed(bytes)) {
        switch (event.eKind) {
        case CTelnetEvent::Kind::Data: out.aActions.push_back({ServerAction::Kind::Data, event.strBytes}); break;
        case CTelnetEvent::Kind::Negotiation: {
            bool before = m_options.RemoteOn(OPT_COM_PORT);
            out.strToClient += m_options.Receive(event.nVerb, event.nOption);
            if (!before && m_options.RemoteOn(OPT_COM_PORT)) {
                Log(out, "COM-port control on");
                out.strToClient += Notification(true);  // the client learns the lines at once
            }
            break;
        }
        case CTelnetEvent::Kind::Subnegotiation:
            if (event.nOption == OPT_COM_PORT && !event.strBytes.empty()) Subnegotiation(event.strBytes, out);
            break;
        }
    }
    return out;
}

std::string CComPortServer::SetModemLines(unsigned char nLines) {
    m_nLines = nLines & CP_MODEM_LINES;
    return Notification(false);
}

std::string CComPortServer::Notification(bool bForce) {
    if (!m_options.RemoteOn(OPT_COM_PORT)) return "";
    unsigned char changes = static_cast<unsigned char>((m_nLines ^ m_nNotified) >> 4);
    unsigned char value = static_cast<unsigned char>((m_nLines | changes) & m_nModemMask);
    if (!bForce && !((m_nLines ^ m_nNotified) & m_nModemMask)) return "";
    m_nNotified = m_nLines;
    return ComPortCommand(CPC_SERVER + CPC_NOTIFY_MODEMSTATE, value);
}

void CComPortServer::Subnegotiation(std::string_view body, ServerOutput& out) {
    unsigned char command = static_cast<unsigned char>(body[0]);
    std::string_view value = body.substr(1);
    auto byte = [&value] { return value.size() == 1 ? static_cast<unsigned char>(value[0]) : 0xFF; };
    auto answer = [&out, command](std::string_view v) { out.strToClient += ComPortCommand(CPC_SERVER + command, v); };
    auto answerByte = [&answer](unsigned char v) { answer(std::string(1, static_cast<char>(v))); };
    switch (command) {
    case CPC_SIGNATURE:
        if (value.empty())
            answer(SIGNATURE);
        else
            Log(out, "client signature: " + std::string(value));
        return;
    case CPC_SET_BAUDRATE:
        if (value.size() != 4) break;
        if (std::uint32_t baud = ReadBigEndian32(value)) {
            m_line.nBaud = baud;
            Log(out, "line " + DescribeFrame(m_line));
        }
        answer(BigEndian32(m_line.nBaud));
        return;
    case CPC_SET_DATASIZE:
        if (byte() == 0xFF || (byte() != 0 && (byte() < 5 || byte() > 8))) break;
        if (byte()) {
            m_line.nDataSize = byte();
            Log(out, "line " + DescribeFrame(m_line));
        }
        answerByte(m_line.nDataSize);
        return;
    case CPC_SET_PARITY:
        if (byte() > CP_PARITY_SPACE) break;
        if (byte()) {
            m_line.nParity = byte();
            Log(out, "line " + DescribeFrame(m_line));
        }
        answerByte(m_line.nParity);
        return;
    case CPC_SET_STOPSIZE:
        if (byte() > CP_STOP_15) break;
        if (byte()) {
            m_line.nStopSize = byte();
            Log(out, "line " + DescribeFrame(m_line));
        }
        answerByte(m_line.nStopSize);
        return;
    case CPC_SET_CONTROL:
        if (byte() > 19) break;
        Control(byte(), out);
        return;
    case CPC_FLOWCONTROL_SUSPEND:
    case CPC_FLOWCONTROL_RESUME:
        m_bSuspended = command == CPC_FLOWCONTROL_SUSPEND;
        Log(out, m_bSuspended ? "data to the client held" : "data to the client resumed");
        return;
    case CPC_SET_LINESTATE_MASK:
        if (value.size() != 1) break;
        m_nLineMask = byte();
        answerByte(m_nLineMask);
        return;
    case CPC_SET_MODEMSTATE_MASK:
        if (value.size() != 1) break;
        m_nModemMask = byte();
        answerByte(m_nModemMask);
        out.strToClient += Notification(true);
        return;
    case CPC_PURGE_DATA:
        if (byte() < CP_PURGE_RECEIVE || byte() > CP_PURGE_BOTH) break;
        if (byte() != CP_PURGE_TRANSMIT) out.aActions.push_back({ServerAction::Kind::PurgeFromDevice, {}});
        if (byte() != CP_PURGE_RECEIVE) out.aActions.push_back({ServerAction::Kind::PurgeToDevice, {}});
        Log(out, byte() == CP_PURGE_BOTH      ? "purge both"
                           : byte() == CP_PURGE_RECEIVE ? "purge towards the client"
                                                        : "purge towards the cutter");
        answerByte(byte());
        return;
    default: break;
    }
    Log(out, "refused COM-port request " + std::to_string(command) + " with " +
                       std::to_string(value.size()) + " value bytes");
}

void CComPortServer::Control(unsigned char value, ServerOutput& out) {
    unsigned char answer = value;
    switch (value) {
    case 0: answer = m_line.nFlow; break;
    case CP_FLOW_NONE:
    case CP_FLOW_XONXOFF:
    case CP_FLOW_HARDWARE:
        m_line.nFlow = value;
        Log(out, value == CP_FLOW_NONE ? "flow control none" : value == CP_FLOW_XONXOFF ? "flow control XON/XOFF" : "flow control RTS/CTS");
        break;
    case 4: answer = m_line.bBreak ? CP_BREAK_ON : CP_BREAK_OFF; break;
    case CP_BREAK_ON:
    case CP_BREAK_OFF:
        m_line.bBreak = value == CP_BREAK_ON;
        Log(out, std::string("break ") + OnOff(m_line.bBreak));
        break;
    case 7: answer = m_line.bDtr ? CP_DTR_ON : CP_DTR_OFF; break;
    case CP_DTR_ON:
    case CP_DTR_OFF:
        m_line.bDtr = value == CP_DTR_ON;
        Log(out, std::string("DTR ") + OnOff(m_line.bDtr));
        break;
    case 10: answer = m_line.bRts ? CP_RTS_ON : CP_RTS_OFF; break;
    case CP_RTS_ON:
    case CP_RTS_OFF:
        m_line.bRts = value == CP_RTS_ON;
        Log(out, std::string("RTS ") + OnOff(m_line.bRts));
        break;
    case 13: answer = m_line.nInFlow; break;
    case CP_INFLOW_NONE:
    case CP_INFLOW_XONXOFF:
    case CP_INFLOW_HARDWARE:
        m_line.nInFlow = value;
        Log(out, value == CP_INFLOW_NONE ? "inbound flow control none" : value == CP_INFLOW_XONXOFF ? "inbound flow control XON/XOFF" : "inbound flow control RTS/CTS");
        break;
    default: Log(out, "flow control code " + std::to_string(value) + " taken as is"); break;  // DCD, DTR, DSR flow
    }
    out.strToClient += ComPortCommand(CPC_SERVER + CPC_SET_CONTROL, answer);
}

}  // namespace kestra_sim
