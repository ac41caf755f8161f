// Telnet and COM-port control as bytes: what the parser makes of a peer's
// stream, how negotiations are answered, and the commands a DCB becomes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/serial/comm_port.h"
#include "platform/serial/rfc2217_port.h"
#include "platform/serial/telnet_codec.h"

namespace {

using namespace platform::telnet;
using Kind = CTelnetEvent::Kind;

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}
CTelnetEvent Data(const std::string& s) { return {Kind::Data, 0, 0, s}; }
CTelnetEvent Neg(int verb, int option) { return {Kind::Negotiation, static_cast<unsigned char>(verb), static_cast<unsigned char>(option), {}}; }
CTelnetEvent Sub(int option, const std::string& s) { return {Kind::Subnegotiation, 0, static_cast<unsigned char>(option), s}; }

std::string Describe(const std::vector<CTelnetEvent>& events) {
    std::string out;
    for (const CTelnetEvent& e : events) {
        out += e.eKind == Kind::Data ? "data(" : e.eKind == Kind::Negotiation ? "neg(" : "sub(";
        out += std::to_string(e.nVerb) + "," + std::to_string(e.nOption) + ",";
        for (unsigned char c : e.strBytes) out += std::to_string(c) + " ";
        out += ") ";
    }
    return out;
}

TEST(TelnetParser, TurnsEveryStreamIntoEventsWhetherWholeOrByteByByte) {
    const std::string big(CTelnetParser::MAX_SUBNEGOTIATION + 1, 'x');
    struct Case {
        const char* szWhat;
        std::string strIn;
        std::vector<CTelnetEvent> aOut;
    } cases[] = {
        {"plain data", "OR1:", {Data("OR1:")}},
        {"IAC IAC is one 255", B({'a', IAC, IAC, 'b'}), {Data(B({'a', 255, 'b'}))}},
        {"negotiations between data", "x" + B({IAC, WILL, 44, IAC, DO, 0}) + "y",
         {Data("x"), Neg(WILL, 44), Neg(DO, 0), Data("y")}},
        {"modem state notification", B({IAC, SB, 44, 107, 0x30, IAC, SE}), {Sub(44, B({107, 0x30}))}},
        {"IAC IAC inside a subnegotiation", B({IAC, SB, 44, 101, 0, 0, IAC, IAC, 0, IAC, SE}),
         {Sub(44, B({101, 0, 0, 255, 0}))}},
        {"NOP, GA and a stray SE vanish", B({'a', IAC, 241, IAC, 249, IAC, SE, 'b'}), {Data("ab")}},
        {"a subnegotiation broken by a negotiation", B({IAC, SB, 44, 107, IAC, WILL, 1, 'z'}),
         {Neg(WILL, 1), Data("z")}},
        {"an overlong subnegotiation is dropped whole", B({IAC, SB, 44}) + big + B({IAC, SE}) + "k", {Data("k")}},
        {"garbage bytes are data", B({0, 1, 2, 254, 240}), {Data(B({0, 1, 2, 254, 240}))}},
        {"a truncated command waits", B({'a', IAC, WILL}), {Data("a")}},
        {"a truncated subnegotiation waits", B({IAC, SB, 44, 107, 0x30, IAC}), {}},
    };
    for (const Case& c : cases) {
        CTelnetParser whole;
        EXPECT_EQ(Describe(whole.Feed(c.strIn)), Describe(c.aOut)) << c.szWhat;
        // Byte by byte the same events come, data split into single bytes.
        CTelnetParser split;
        std::vector<CTelnetEvent> events;
        for (char ch : c.strIn)
            for (CTelnetEvent& e : split.Feed(std::string(1, ch))) {
                if (e.eKind == Kind::Data && !events.empty() && events.back().eKind == Kind::Data)
                    events.back().strBytes += e.strBytes;
                else
                    events.push_back(e);
            }
        EXPECT_EQ(Describe(events), Describe(c.aOut)) << c.szWhat << " (byte by byte)";
    }
}

TEST(TelnetParser, ATruncatedSequenceCompletesWithTheNextChunk) {
    CTelnetParser parser;
    EXPECT_TRUE(parser.Feed(B({IAC, SB, 44, 107})).empty());
    EXPECT_EQ(Describe(parser.Feed(B({0x20, IAC, SE, IAC}))), Describe({Sub(44, B({107, 0x20}))}));
    EXPECT_EQ(Describe(parser.Feed(B({IAC, 'q'}))), Describe({Data(B({255, 'q'}))}));
}

TEST(TelnetOptions, AnswersOnceAndNeverLoops) {
    CTelnetOptions options({OPT_BINARY, OPT_COM_PORT});
    EXPECT_EQ(options.RequestLocal(OPT_COM_PORT), Negotiation(WILL, OPT_COM_PORT));
    EXPECT_EQ(options.RequestLocal(OPT_COM_PORT), "");           // asked already
    EXPECT_EQ(options.Receive(DO, OPT_COM_PORT), "");            // the answer to our request
    EXPECT_TRUE(options.LocalOn(OPT_COM_PORT));
    EXPECT_EQ(options.Receive(DO, OPT_COM_PORT), "");            // repeated: already on
    EXPECT_EQ(options.Receive(WILL, OPT_BINARY), Negotiation(DO, OPT_BINARY));
    EXPECT_TRUE(options.RemoteOn(OPT_BINARY));
    EXPECT_EQ(options.Receive(WILL, OPT_ECHO), Negotiation(DONT, OPT_ECHO));  // not accepted
    EXPECT_EQ(options.Receive(DO, OPT_SGA), Negotiation(WONT, OPT_SGA));
    EXPECT_EQ(options.Receive(WONT, OPT_ECHO), "");              // was off
    EXPECT_EQ(options.Receive(WONT, OPT_BINARY), Negotiation(DONT, OPT_BINARY));
    EXPECT_FALSE(options.RemoteOn(OPT_BINARY));

    CTelnetOptions refused({OPT_COM_PORT});
    refused.RequestLocal(OPT_COM_PORT);
    EXPECT_EQ(refused.Receive(DONT, OPT_COM_PORT), "");
    EXPECT_TRUE(refused.Refused(OPT_COM_PORT));
    EXPECT_FALSE(refused.LocalOn(OPT_COM_PORT));
}

TEST(ComPortRequests, ADcbBecomesTheLineCommands) {
    auto cmd = [](int command, std::initializer_list<int> value) {
        return B({IAC, SB, 44, command}) + EscapeData(B(value)) + B({IAC, SE});
    };
    DCB plain = platform::serial::DefaultDcb();
    DCB odd = plain;
    odd.BaudRate = 0x1FF00;  // a 255 in the value is doubled on the wire
    odd.ByteSize = 7;
    odd.Parity = EVENPARITY;
    odd.StopBits = ONE5STOPBITS;
    odd.fOutxCtsFlow = 1;
    odd.fRtsControl = RTS_CONTROL_HANDSHAKE;
    odd.fDtrControl = DTR_CONTROL_DISABLE;
    DCB xon = plain;
    xon.fOutX = xon.fInX = 1;
    xon.StopBits = TWOSTOPBITS;
    xon.Parity = SPACEPARITY;
    xon.fDtrControl = DTR_CONTROL_HANDSHAKE;
    struct Case {
        const char* szWhat;
        DCB dcb;
        std::string strWire;
    } cases[] = {
        {"9600 8N1, DTR and RTS up", plain,
         cmd(1, {0, 0, 0x25, 0x80}) + cmd(2, {8}) + cmd(3, {1}) + cmd(4, {1}) + cmd(5, {1}) + cmd(5, {14}) +
             cmd(5, {8}) + cmd(5, {11})},
        {"7E1.5, hardware flow, DTR down", odd,
         cmd(1, {0, 1, 0xFF, 0}) + cmd(2, {7}) + cmd(3, {3}) + cmd(4, {3}) + cmd(5, {3}) + cmd(5, {16}) +
             cmd(5, {9})},
        {"XON/XOFF both ways, DTR handshake", xon,
         cmd(1, {0, 0, 0x25, 0x80}) + cmd(2, {8}) + cmd(3, {5}) + cmd(4, {2}) + cmd(5, {2}) + cmd(5, {15}) +
             cmd(5, {11})},
    };
    for (const Case& c : cases) EXPECT_EQ(platform::rfc2217::LineRequests(c.dcb), c.strWire) << c.szWhat;
    EXPECT_EQ(platform::rfc2217::EscapeRequest(CLRDTR), cmd(5, {9}));
    EXPECT_EQ(platform::rfc2217::EscapeRequest(SETBREAK), cmd(5, {5}));
    EXPECT_EQ(platform::rfc2217::EscapeRequest(SETXOFF), "");
}

TEST(NetworkLinks, OnlyAnRfc2217AddressNamesANetworkPort) {
    struct Case {
        const char* szLink;
        bool bOk;
        const char* szHost;
        const char* szPort;
    } cases[] = {
        {"rfc2217://127.0.0.1:4001", true, "127.0.0.1", "4001"},
        {"rfc2217://cutter-box:2217/", true, "cutter-box", "2217"},
        {"rfc2217://[::1]:7000", true, "::1", "7000"},
        {"rfc2217://host", false, "", ""},
        {"rfc2217://host:0", false, "", ""},
        {"rfc2217://host:65536", false, "", ""},
        {"rfc2217://host:12ab", false, "", ""},
        {"rfc2217://:4001", false, "", ""},
        {"rfc2217://::1:4001", false, "", ""},
        {"rfc2217://a b:1", false, "", ""},
        {"telnet://host:23", false, "", ""},
        {"/dev/ttyUSB0", false, "", ""},
    };
    for (const Case& c : cases) {
        platform::rfc2217::NetworkAddress address;
        EXPECT_EQ(platform::rfc2217::ParseNetworkLink(c.szLink, &address), c.bOk) << c.szLink;
        if (c.bOk) {
            EXPECT_EQ(address.strHost, c.szHost) << c.szLink;
            EXPECT_EQ(address.strPort, c.szPort) << c.szLink;
        }
    }
}

}  // namespace
