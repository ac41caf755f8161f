// The main panel: start-up, its port list, painting when minimised and the
// three ways it closes.
#include <string>
#include <vector>

#include "panel/link/protocol.h"
#include "panel/tests/panel_fixture.h"

namespace sim = platform::sim_serial;

namespace {

std::vector<std::string> PortList(CPanelDlg& panel) {
    std::vector<std::string> items;
    for (int i = 0; i < panel.m_cbPort.GetCount(); ++i) {
        CString text;
        panel.m_cbPort.GetLBText(i, text);
        items.emplace_back(text);
    }
    return items;
}

TEST_F(PanelTest, StartUpGivesTheRecordItsDefaultsAndDisablesOnlyDisDetect) {
    g_nFactorX = 1;
    g_nTestOrigin = 7;
    CPanelDlg panel;
    g_pPanelDlg = &panel;
    Then([&] {
        PortInfo* p = panel.m_pPort;
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->nPortNumber, 1);
        EXPECT_EQ(p->nBaudRate, 9600u);
        EXPECT_EQ(p->nByteSize, 8);
        EXPECT_EQ(p->nHandshake, 2);
        EXPECT_EQ(p->nParity, 0);
        EXPECT_EQ(p->nStopBits, 0);
        EXPECT_FALSE(PortIsOpen(p));
        EXPECT_NE(p->readOverlap.hEvent, nullptr);
        EXPECT_NE(p->writeOverlap.hEvent, nullptr);
        EXPECT_EQ(g_nFactorX, NOMINAL_FACTOR_X);
        EXPECT_EQ(g_nFactorY, NOMINAL_FACTOR_Y);
        EXPECT_EQ(g_nTestOrigin, 100);
        EXPECT_EQ(g_nRequestType, REQ_NONE);
        for (int id : {IDC_POLL_SIZE, IDC_LOOP_DETECT, IDC_SCALING, IDC_ABOUT, IDC_PORT, IDOK})
            EXPECT_TRUE(panel.GetDlgItem(id)->IsWindowEnabled()) << id;
        EXPECT_FALSE(panel.m_btnDisDetect.IsWindowEnabled());
        EXPECT_NE(platform::ui::FindWindow(panel.m_hWnd)->iconBig, nullptr);
        EXPECT_NE(platform::ui::FindWindow(panel.m_hWnd)->iconSmall, nullptr);
    });
    Escape();
    EXPECT_EQ(panel.DoModal(), IDCANCEL);
}

TEST_F(PanelTest, ThePortListKeepsNamesWithComAndTheRecordStaysOnPort1) {
    struct Case {
        std::vector<std::string> enumerated;
        std::vector<std::string> listed;
    };
    const Case cases[] = {
        {{"COM1:"}, {"COM1"}},
        {{"COM3:", "COM4:"}, {"COM3", "COM4"}},
        {{"LPT1:", "COM2", "ECOM5:", "FILE:", "COM10:", "COM1:"}, {"COM1", "COM10", "COM2", "ECOM5"}},
        {{"LPT1:", "FILE:"}, {}},
    };
    for (const Case& c : cases) {
        sim::SetEnumeratedPorts(c.enumerated);
        CPanelDlg panel;
        g_pPanelDlg = &panel;
        Then([&] {
            EXPECT_EQ(PortList(panel), c.listed);
            EXPECT_EQ(panel.m_cbPort.GetCurSel(), c.listed.empty() ? CB_ERR : 0);
            EXPECT_EQ(panel.m_pPort->nPortNumber, 1);
        });
        Escape();
        panel.DoModal();
    }
}

TEST_F(PanelTest, EveryWayOfClosingStopsTheReaderAndClosesThePortFirst) {
    struct Case {
        const char* how;
        int result;
    };
    const Case cases[] = {{"ok", IDOK}, {"escape", IDCANCEL}, {"close box", IDCANCEL}};
    for (const Case& c : cases) {
        sim::Install();
        CPanelDlg panel;
        g_pPanelDlg = &panel;
        Then([&] { ASSERT_NE(OpenPort(panel.m_pPort), 0); });
        Pause();
        Then([&] {
            EXPECT_TRUE(g_bReaderRunning.load());
            std::string how = c.how;
            if (how == "ok") platform::ui::ClickControl(GetDlgItem(panel.m_hWnd, IDOK), false);
            if (how == "escape") platform::ui::PressKey(panel.m_hWnd, true);
            if (how == "close box") platform::ui::CloseWindowByUser(panel.m_hWnd);
        });
        EXPECT_EQ(panel.DoModal(), c.result) << c.how;
        EXPECT_FALSE(g_bReaderRunning.load()) << c.how;
        EXPECT_FALSE(sim::IsOpen(1)) << c.how;
        EXPECT_FALSE(sim::DtrOn(1)) << c.how;
        EXPECT_EQ(panel.m_pPort, nullptr) << c.how;
    }
}

TEST_F(PanelTest, WithoutItsRecordThePanelStillShowsAndCloses) {
    CPanelDlg panel;
    g_pPanelDlg = &panel;
    platform::test::FailLocalAllocAfter(0);
    Then([&] {
        EXPECT_EQ(panel.m_pPort, nullptr);
        EXPECT_EQ(panel.m_cbPort.GetCount(), 0);
    });
    Then([&] { platform::ui::ClickControl(GetDlgItem(panel.m_hWnd, IDOK), false); });
    EXPECT_EQ(panel.DoModal(), IDOK);
}

TEST_F(PanelTest, AMinimisedPanelPaintsItsIconInTheMiddle) {
    CPanelDlg panel;
    g_pPanelDlg = &panel;
    Then([&] {
        panel.ShowWindow(SW_MINIMIZE);
        panel.SendMessage(WM_PAINT);
        panel.ShowWindow(SW_RESTORE);
        panel.SendMessage(WM_PAINT);
    });
    Escape();
    panel.DoModal();
    // 191 x 148 dialog units are 382 x 296 pixels; the icon is 32 x 32.
    EXPECT_EQ(m_user.seen, (std::vector<std::string>{"dialog 102", "icon 175 132", "end 2"}));
}

}  // namespace
