// The simulated cutter on a simulated port, driven as the program drives it:
// CreateFileA, WriteFile and ReadFile on the virtual clock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/base/devices.h"
#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/serial/sim_serial.h"
#include "tools/cutter_sim/sim_cutter.h"

namespace {

namespace sim = platform::sim_serial;
using cutter_sim::CSimCutter;
using cutter_sim::WireTime;

struct Arrival {
    DWORD nTime;
    std::string strReply;
    bool bDelivered;
};

class SimCutter : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clock::UseVirtual();
        sim::Install();
        sim::SetPresence(2, sim::SimPresence::NoLines);
        m_pCutter = std::make_unique<CSimCutter>();
        sim::SimObserver mine;
        mine.onWrite = [this](int, const std::string& bytes) { m_strChained += bytes; };
        ASSERT_TRUE(m_pCutter->Attach(2, mine));
        EXPECT_FALSE(m_pCutter->Attach(2));
        m_pCutter->SetReplyObserver([this](int port, const std::string& reply, bool delivered) {
            EXPECT_EQ(port, 2);
            m_aArrivals.push_back({GetTickCount(), reply, delivered});
        });
        m_hPort = CreateFileA("COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(m_hPort, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS timeouts{0, 0, 1000, 0, 0};  // a read ends when its bytes are in, or after a second
        ASSERT_TRUE(SetCommTimeouts(m_hPort, &timeouts));
    }
    void TearDown() override {
        if (m_hPort != INVALID_HANDLE_VALUE) CloseHandle(m_hPort);
        m_pCutter.reset();
        sim::Uninstall();
        platform::clock::UseReal();
    }
    void Write(const std::string& bytes) {
        DWORD done = 0;
        ASSERT_TRUE(WriteFile(m_hPort, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr));
        ASSERT_EQ(done, bytes.size());
    }
    // What arrives within the read's second, asking for exactly nBytes.
    std::string Read(size_t nBytes) {
        std::string buffer(nBytes, '\0');
        DWORD done = 0;
        EXPECT_TRUE(ReadFile(m_hPort, buffer.data(), static_cast<DWORD>(nBytes), &done, nullptr));
        buffer.resize(done);
        return buffer;
    }

    std::unique_ptr<CSimCutter> m_pCutter;
    HANDLE m_hPort = INVALID_HANDLE_VALUE;
    std::string m_strChained;
    std::vector<Arrival> m_aArrivals;
};

TEST_F(SimCutter, AnswersEachReadOnceTheLineCouldHaveCarriedIt) {
    DWORD lines = 0;
    ASSERT_TRUE(GetCommModemStatus(m_hPort, &lines));
    EXPECT_EQ(lines & (MS_CTS_ON | MS_DSR_ON), MS_CTS_ON | MS_DSR_ON);
    struct Case {
        const char* szCommand;
        std::string strReply;
        DWORD nExtra;
    } const cases[] = {
        {"\x1B.R1:", "OR1,1,80,250,2,1,0,1;", 0},
        {"\x1B.R2:", "OR2,40000,24384;", 0},
        {"\x1B.R3:", "OR3,12390,13112,0;", 0},
        {"\x1B.R4:", "OR4,0,K-720,V2.10 2002-03-18,0,0;", 250},
    };
    for (const Case& c : cases) {
        m_pCutter->SetExtraDelay(c.nExtra);
        DWORD sent = GetTickCount();
        Write(c.szCommand);
        EXPECT_EQ(Read(c.strReply.size()), c.strReply);
        EXPECT_EQ(GetTickCount() - sent, WireTime(5) + c.nExtra + WireTime(c.strReply.size())) << c.strReply;
    }
    EXPECT_EQ(m_strChained, "\x1B.R1:\x1B.R2:\x1B.R3:\x1B.R4:");
    ASSERT_EQ(m_aArrivals.size(), 4u);
    EXPECT_TRUE(m_aArrivals[3].bDelivered);
}

TEST_F(SimCutter, CutsTheTestRectangleAndReportsTheFactorsItWasSent) {
    ASSERT_TRUE(m_pCutter->Configure("truex", "12451"));
    const std::string rectangle =
        "\x1B.C6;1;12451:\x1B.C6;2;13112:PAPU100,100;PR;PD4000,0,0,2000,-4000,0,0,-2000PASPPU0,0;";
    Write(rectangle);
    Write("\x1B.R3:\x1B.R1:");
    DWORD sent = GetTickCount();
    EXPECT_EQ(Read(18 + 21), "OR3,12451,13112,0;OR1,1,80,250,2,1,0,1;");
    ASSERT_EQ(m_aArrivals.size(), 2u);
    // R3 is heard once the rectangle before it has crossed the line; the
    // reply to R1 waits for the one to R3 to be out.
    EXPECT_EQ(m_aArrivals[0].nTime - sent, WireTime(rectangle.size()) + WireTime(5) + WireTime(18));
    EXPECT_EQ(m_aArrivals[1].nTime - m_aArrivals[0].nTime, WireTime(21));
    std::vector<cutter_sim::CutPath> cuts = m_pCutter->Model().Cuts();
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_EQ(cutter_sim::FormatPath(cuts[0]), "(2.50,2.50) (102.50,2.50) (102.50,52.50) (2.50,52.50) (2.50,2.50)");
}

TEST_F(SimCutter, SilentOffAndClosedPortsSendNothing) {
    m_pCutter->SetSilent(true);
    Write("\x1B.C6;1;12000:\x1B.R3:");
    EXPECT_EQ(Read(1), "");
    EXPECT_EQ(m_pCutter->Model().State().settings.nFactorX, 12000);  // heard and carried out all the same
    m_pCutter->SetSilent(false);

    m_pCutter->SetOn(false);
    DWORD lines = 0xFF;
    ASSERT_TRUE(GetCommModemStatus(m_hPort, &lines));
    EXPECT_EQ(lines, 0u);
    Write("\x1B.C6;1;11000:\x1B.R3:");
    EXPECT_EQ(Read(1), "");
    EXPECT_EQ(m_pCutter->Model().State().settings.nFactorX, 12000);
    m_pCutter->SetOn(true);

    Write("\x1B.R2:");
    CloseHandle(m_hPort);
    m_hPort = INVALID_HANDLE_VALUE;
    Sleep(1000);
    ASSERT_EQ(m_aArrivals.size(), 1u);
    EXPECT_EQ(m_aArrivals[0].strReply, "OR2,40000,24384;");
    EXPECT_FALSE(m_aArrivals[0].bDelivered);
}

}  // namespace
