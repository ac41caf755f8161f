// The panel applying replies: what each kind changes in the labels' texts and
// the shared values, what it leaves alone, and the About box of a firmware reply.
#include <string>
#include <vector>

#include "panel/link/protocol.h"
#include "panel/tests/panel_fixture.h"

namespace {

std::vector<std::string> Texts(const CPanelDlg& p) {
    return {std::string(p.m_strForce),      std::string(p.m_strOffset), std::string(p.m_strMediaWeight),
            std::string(p.m_strQuality),    std::string(p.m_strSmooth), std::string(p.m_strAutoUnroll),
            std::string(p.m_strMediaType),  std::string(p.m_strSizeX),  std::string(p.m_strSizeY),
            std::string(p.m_strFactorX),    std::string(p.m_strFactorY)};
}

TEST_F(PanelTest, EachReplyChangesOnlyWhatItSays) {
    // One after another on the same panel: each step's texts and values.
    struct Step {
        const char* reply;
        std::vector<std::string> texts;  // force, offset, weight, quality, smooth, unroll, media, size x, y, factor x, y
        int mediaType;
        LONG factorX, factorY;
        BOOL sizeReceived, factorsRead;
    };
    const Step steps[] = {
        {"OR1,1,80,250,0,1,0,2;", {"80", "0.25mm", "Light", "Fine", "Enable", "Disable", "Edge", "", "", "", ""}, 2,
         12390, 13112, 0, 0},
        {"OR1,2,9,500,1,0,1,4;", {"9", "0.5mm", "Heavy", "Draft", "Disable", "Enable", "Edge", "", "", "", ""}, 2,
         12390, 13112, 0, 0},
        {"OR2,24384,40000;",
         {"9", "0.5mm", "Heavy", "Draft", "Disable", "Enable", "Edge", "609.6  mm", "1000.  mm", "", ""}, 2, 12390,
         13112, 1, 0},
        {"OR3,12000,13000,0;",
         {"9", "0.5mm", "Heavy", "Draft", "Disable", "Enable", "Edge", "609.6  mm", "1000.  mm", "12000", "13000"}, 2,
         12000, 13000, 1, 1},
        {"OR9,1,1,1;",
         {"9", "0.5mm", "Heavy", "Draft", "Disable", "Enable", "Edge", "609.6  mm", "1000.  mm", "12000", "13000"}, 2,
         12000, 13000, 1, 1},
    };
    CPanelDlg panel;
    g_pPanelDlg = &panel;
    Then([&] {
        for (const Step& step : steps) {
            g_strRx = step.reply;
            panel.InterpretReply();
            EXPECT_EQ(Texts(panel), step.texts) << step.reply;
            EXPECT_EQ(g_nMediaType, step.mediaType) << step.reply;
            EXPECT_EQ(g_nFactorX, step.factorX) << step.reply;
            EXPECT_EQ(g_nFactorY, step.factorY) << step.reply;
            EXPECT_EQ(g_bSizeReceived, step.sizeReceived) << step.reply;
            EXPECT_EQ(g_bFactorsRead.load(), step.factorsRead) << step.reply;
            EXPECT_EQ(std::string(g_strRx), "") << step.reply;
        }
    });
    Escape();
    panel.DoModal();
}

TEST_F(PanelTest, AFirmwareReplyShowsModelAndVersionInTheAboutBox) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"OR4,a,M1,V1.0 2002,b,c;", {"M1", "V1.0"}},
        {"OR4,a,M1,V1.0,b,c;", {"M1", ""}},
    };
    for (auto& [reply, shown] : cases) {
        CPanelDlg panel;
        g_pPanelDlg = &panel;
        std::vector<std::string> labels;
        Then([&, reply = reply] {
            g_strRx = reply;
            panel.InterpretReply();
        });
        Then([&] {
            HWND about = platform::ui::ActiveModal();
            for (int id : {IDC_MODEL, IDC_VERSION}) {
                char text[64] = {};
                GetWindowTextA(GetDlgItem(about, id), text, sizeof text);
                labels.emplace_back(text);
            }
            platform::ui::PressKey(about, false);
        });
        Escape();
        panel.DoModal();
        EXPECT_EQ(labels, shown) << reply;
        EXPECT_EQ(std::string(panel.m_strModel), shown[0]);
    }
}

}  // namespace
