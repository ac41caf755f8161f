// Telnet with the COM-port control option, as bytes only: a parser that turns
// what a peer sends into events, the option bookkeeping that answers
// negotiations without loops, and the encoders. No socket here, so the
// network serial port and the simulated cutter's server share it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::telnet {

constexpr unsigned char IAC = 255;
constexpr unsigned char DONT = 254;
constexpr unsigned char DO = 253;
constexpr unsigned char WONT = 252;
constexpr unsigned char WILL = 251;
constexpr unsigned char SB = 250;
constexpr unsigned char SE = 240;

constexpr unsigned char OPT_BINARY = 0;
constexpr unsigned char OPT_ECHO = 1;
constexpr unsigned char OPT_SGA = 3;
constexpr unsigned char OPT_COM_PORT = 44;

// COM-port commands from client to server; the server's answers carry the
// same code plus CPC_SERVER.
constexpr unsigned char CPC_SIGNATURE = 0;
constexpr unsigned char CPC_SET_BAUDRATE = 1;
constexpr unsigned char CPC_SET_DATASIZE = 2;
constexpr unsigned char CPC_SET_PARITY = 3;
constexpr unsigned char CPC_SET_STOPSIZE = 4;
constexpr unsigned char CPC_SET_CONTROL = 5;
constexpr unsigned char CPC_NOTIFY_LINESTATE = 6;
constexpr unsigned char CPC_NOTIFY_MODEMSTATE = 7;
constexpr unsigned char CPC_FLOWCONTROL_SUSPEND = 8;
constexpr unsigned char CPC_FLOWCONTROL_RESUME = 9;
constexpr unsigned char CPC_SET_LINESTATE_MASK = 10;
constexpr unsigned char CPC_SET_MODEMSTATE_MASK = 11;
constexpr unsigned char CPC_PURGE_DATA = 12;
constexpr unsigned char CPC_SERVER = 100;

// SET-PARITY values (0 asks for the current one; so for the other SET-s).
constexpr unsigned char CP_PARITY_NONE = 1;
constexpr unsigned char CP_PARITY_ODD = 2;
constexpr unsigned char CP_PARITY_EVEN = 3;
constexpr unsigned char CP_PARITY_MARK = 4;
constexpr unsigned char CP_PARITY_SPACE = 5;
// SET-STOPSIZE values.
constexpr unsigned char CP_STOP_1 = 1;
constexpr unsigned char CP_STOP_2 = 2;
constexpr unsigned char CP_STOP_15 = 3;
// SET-CONTROL values.
constexpr unsigned char CP_FLOW_NONE = 1;
constexpr unsigned char CP_FLOW_XONXOFF = 2;
constexpr unsigned char CP_FLOW_HARDWARE = 3;
constexpr unsigned char CP_BREAK_ON = 5;
constexpr unsigned char CP_BREAK_OFF = 6;
constexpr unsigned char CP_DTR_ON = 8;
constexpr unsigned char CP_DTR_OFF = 9;
constexpr unsigned char CP_RTS_ON = 11;
constexpr unsigned char CP_RTS_OFF = 12;
constexpr unsigned char CP_INFLOW_NONE = 14;
constexpr unsigned char CP_INFLOW_XONXOFF = 15;
constexpr unsigned char CP_INFLOW_HARDWARE = 16;
// PURGE-DATA values: the server's buffer towards the client, towards the device, both.
constexpr unsigned char CP_PURGE_RECEIVE = 1;
constexpr unsigned char CP_PURGE_TRANSMIT = 2;
constexpr unsigned char CP_PURGE_BOTH = 3;
// NOTIFY-MODEMSTATE bits (the upper four are the lines, the lower four their changes).
constexpr unsigned char CP_MODEM_CTS = 0x10;
constexpr unsigned char CP_MODEM_DSR = 0x20;
constexpr unsigned char CP_MODEM_RI = 0x40;
constexpr unsigned char CP_MODEM_DCD = 0x80;
constexpr unsigned char CP_MODEM_LINES = 0xF0;

struct CTelnetEvent {
    enum class Kind { Data, Negotiation, Subnegotiation };
    Kind eKind;
    unsigned char nVerb = 0;    // WILL, WONT, DO or DONT
    unsigned char nOption = 0;  // negotiated or subnegotiated option
    std::string strBytes;       // data, or the subnegotiation after its option (IAC IAC undone)

    bool operator==(const CTelnetEvent&) const = default;
};

// Any byte stream in chunks of any size. IAC IAC is a data byte 255; other
// commands (NOP, GA, ...) are dropped; a subnegotiation longer than
// MAX_SUBNEGOTIATION, or broken by an IAC that is neither IAC nor SE, is
// dropped whole.
class CTelnetParser {
public:
    static constexpr std::size_t MAX_SUBNEGOTIATION = 64;

    std::vector<CTelnetEvent> Feed(std::string_view bytes);

private:
    enum class State { Data, Command, Verb, SubOption, Sub, SubCommand };

    void Command(unsigned char c, std::vector<CTelnetEvent>& out);

    State m_eState = State::Data;
    unsigned char m_nVerb = 0;
    unsigned char m_nOption = 0;
    std::string m_strSub;
    bool m_bOverlong = false;
};

// Which options are on at either end. Answers each negotiation the peer
// sends so that the two ends agree and nothing is sent twice (a WILL for an
// option already on gets no answer).
class CTelnetOptions {
public:
    // Options this end agrees to enable at either end when asked.
    explicit CTelnetOptions(std::vector<unsigned char> aAccepted);

    // WILL (enable here) or DO (enable there); "" when already on or asked for.
    std::string RequestLocal(unsigned char option);
    std::string RequestRemote(unsigned char option);
    // The answer to a WILL, WONT, DO or DONT from the peer ("" for none).
    std::string Receive(unsigned char verb, unsigned char option);

    bool LocalOn(unsigned char option) const { return m_aLocal[option] == Side::Yes; }
    bool RemoteOn(unsigned char option) const { return m_aRemote[option] == Side::Yes; }
    // The peer refused (or turned off) what was asked for or on.
    bool Refused(unsigned char option) const { return m_aRefused[option]; }

private:
    enum class Side : unsigned char { No, Yes, Asked };

    std::vector<unsigned char> m_aAccepted;
    Side m_aLocal[256] = {};
    Side m_aRemote[256] = {};
    bool m_aRefused[256] = {};
};

// IAC VERB OPTION.
std::string Negotiation(unsigned char verb, unsigned char option);
// Data with every 255 doubled.
std::string EscapeData(std::string_view bytes);
// IAC SB COM-PORT command value IAC SE, 255 in the value doubled.
std::string ComPortCommand(unsigned char command, std::string_view value);
std::string ComPortCommand(unsigned char command, unsigned char value);
// Four bytes, most significant first, and back (0 for fewer than four).
std::string BigEndian32(std::uint32_t value);
std::uint32_t ReadBigEndian32(std::string_view bytes);

}  // namespace platform::telnet
