// kestra-sim's server end of COM-port control, and its command line: what a
// request does to the simulated line and what answer it gets.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/kestra_sim/comport_server.h"
#include "tools/kestra_sim/sim_options.h"

namespace {

using namespace platform::telnet;
using kestra_sim::CComPortServer;

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}
// The log lines, the data, and purges as "<purge from>" and "<purge to>", in order.
std::string Actions(const kestra_sim::ServerOutput& out) {
    using Kind = kestra_sim::ServerAction::Kind;
    std::string text;
    for (const kestra_sim::ServerAction& a : out.aActions)
        text += a.eKind == Kind::Data ? "[" + a.strText + "]"
                : a.eKind == Kind::Log ? a.strText + "|"
                : a.eKind == Kind::PurgeFromDevice ? "<purge from>" : "<purge to>";
    return text;
}
std::string Cmd(int command, std::initializer_list<int> value) { return ComPortCommand(command, B(value)); }

// A server that the client has taken COM-port control of, lines CTS and DSR up.
CComPortServer Agreed() {
    CComPortServer server(CP_MODEM_CTS | CP_MODEM_DSR);
    server.Greeting();
    server.Feed(Negotiation(WILL, OPT_COM_PORT));
    return server;
}

TEST(ComPortServer, RequestsChangeTheLineAndAreAnswered) {
    struct Case {
        const char* szWhat;
        std::string strRequest;
        std::string strAnswer;
        std::string strLog;
        std::string strFrame;
    } cases[] = {
        {"baud rate", Cmd(1, {0, 0, 0x4B, 0}), Cmd(101, {0, 0, 0x4B, 0}), "line 19200 8N1|", "19200 8N1"},
        {"baud rate asked", Cmd(1, {0, 0, 0, 0}), Cmd(101, {0, 0, 0x25, 0x80}), "", "9600 8N1"},
        {"data size", Cmd(2, {7}), Cmd(102, {7}), "line 9600 7N1|", "9600 7N1"},
        {"parity", Cmd(3, {3}), Cmd(103, {3}), "line 9600 8E1|", "9600 8E1"},
        {"stop size", Cmd(4, {3}), Cmd(104, {3}), "line 9600 8N1.5|", "9600 8N1.5"},
        {"DTR", Cmd(5, {8}), Cmd(105, {8}), "DTR on|", "9600 8N1"},
        {"RTS asked", Cmd(5, {10}), Cmd(105, {12}), "", "9600 8N1"},
        {"flow control", Cmd(5, {3}), Cmd(105, {3}), "flow control RTS/CTS|", "9600 8N1"},
        {"purge", Cmd(12, {3}), Cmd(112, {3}), "<purge from><purge to>purge both|", "9600 8N1"},
        {"purge between data, in order", "ab" + Cmd(12, {2}) + "cd", Cmd(112, {2}),
         "[ab]<purge to>purge towards the cutter|[cd]", "9600 8N1"},
        {"signature", Cmd(0, {}), ComPortCommand(100, "kestra-sim"), "", "9600 8N1"},
        {"data size out of range", Cmd(2, {9}), "", "refused COM-port request 2 with 1 value bytes|", "9600 8N1"},
        {"baud rate too short", Cmd(1, {0, 1}), "", "refused COM-port request 1 with 2 value bytes|", "9600 8N1"},
        {"unknown command", Cmd(99, {1}), "", "refused COM-port request 99 with 1 value bytes|", "9600 8N1"},
    };
    for (const Case& c : cases) {
        CComPortServer server = Agreed();
        kestra_sim::ServerOutput out = server.Feed(c.strRequest);
        EXPECT_EQ(out.strToClient, c.strAnswer) << c.szWhat;
        EXPECT_EQ(Actions(out), c.strLog) << c.szWhat;
        EXPECT_EQ(kestra_sim::DescribeFrame(server.Line()), c.strFrame) << c.szWhat;
    }
}

TEST(ComPortServer, ModemLinesAreNotifiedOnAgreementAndOnChangeWithinTheMask) {
    CComPortServer server(CP_MODEM_CTS | CP_MODEM_DSR);
    EXPECT_EQ(server.Greeting(), B({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 44}));
    EXPECT_EQ(server.SetModemLines(0), "");  // nobody took COM-port control yet
    kestra_sim::ServerOutput out = server.Feed(Negotiation(WILL, OPT_COM_PORT) + "data" + B({IAC, IAC}));
    EXPECT_EQ(out.strToClient, Cmd(107, {0}));
    EXPECT_EQ(Actions(out), "COM-port control on|[data\xff]");
    EXPECT_EQ(server.SetModemLines(CP_MODEM_CTS | CP_MODEM_DSR), Cmd(107, {0x33}));  // lines and their changes
    EXPECT_EQ(server.SetModemLines(CP_MODEM_CTS | CP_MODEM_DSR), "");
    EXPECT_EQ(server.Feed(Cmd(11, {0x10})).strToClient, Cmd(111, {0x10}) + Cmd(107, {0x10}));
    EXPECT_EQ(server.SetModemLines(CP_MODEM_CTS), "");  // DSR is outside the mask
    EXPECT_EQ(server.SetModemLines(0), Cmd(107, {0}));  // CTS dropped; its change bit is outside the mask
}

TEST(SimOptions, TheCommandLineIsCheckedAsTheCutterWould) {
    struct Case {
        std::vector<std::string> aArgs;
        bool bOk;
        std::string strError;
    } cases[] = {
        {{"--port", "4001", "--off", "--media", "sheet", "--true-x", "12400", "--model", "K-900"}, true, ""},
        {{"--port", "70000"}, false, "--port wants 0..65535, not 70000"},
        {{"--media", "paper"}, false, "bad value for --media: paper"},
        {{"--factor-x", "0"}, false, "bad value for --factor-x: 0"},
        {{"--delay"}, false, "--delay needs a value"},
        {{"--colour", "red"}, false, "unknown option --colour"},
        {{"--drop-every", "20", "--jitter", "300", "--garble", "7", "--seed", "42"}, true, ""},
        {{"--drop-every", "0"}, false, "--drop-every wants seconds 1..86400, not 0"},
        {{"--jitter", "-5"}, false, "--jitter wants milliseconds 0..600000, not -5"},
        {{"--garble", "every"}, false, "--garble wants a count 1..1000000, not every"},
        {{"--seed"}, false, "--seed needs a value"},
    };
    for (const Case& c : cases) {
        kestra_sim::SimOptions options;
        std::string error;
        EXPECT_EQ(kestra_sim::ParseOptions(c.aArgs, &options, &error), c.bOk) << c.aArgs[0];
        EXPECT_EQ(error, c.strError) << c.aArgs[0];
    }
    kestra_sim::SimOptions options;
    std::string error;
    ASSERT_TRUE(kestra_sim::ParseOptions(cases[0].aArgs, &options, &error));
    EXPECT_EQ(options.nPort, 4001);
    EXPECT_TRUE(options.bOff);
    std::vector<std::pair<std::string, std::string>> settings = {{"media", "3"}, {"truex", "12400"}, {"model", "K-900"}};
    EXPECT_EQ(options.aSettings, settings);
    ASSERT_TRUE(kestra_sim::ParseOptions(cases[6].aArgs, &options, &error));
    EXPECT_EQ(options.faults.nDropEverySec, 20);
    EXPECT_EQ(options.faults.nJitterMs, 300);
    EXPECT_EQ(options.faults.nGarbleEvery, 7);
    EXPECT_EQ(options.faults.nSeed, 42u);
}

}  // namespace
