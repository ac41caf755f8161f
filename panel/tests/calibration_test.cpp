// The Scaling button's workflow against a simulated port that answers as the
// test says: the correction arithmetic, the moving origin and every end point.
#include <functional>

#include "panel/calibration/correction.h"
#include "panel/tests/calibration_fixture.h"

namespace sim = platform::sim_serial;

namespace {

const std::string READ_FACTORS = "\x1B.R3:\x1B.R1:";
const std::string FACTORS_ROLL = "OR3,12390,13112,0;OR1,1,80,250,0,1,0,1;";

std::string TestCut(int x, int y, int origin) {
    return "\x1B.C6;1;" + std::to_string(x) + ":\x1B.C6;2;" + std::to_string(y) + ":PAPU" + std::to_string(origin) +
           "," + std::to_string(origin) + ";PR;PD12000,0,0,10000,-12000,0,0,-10000PASPPU0,0;";
}

TEST(Correction, FactorTimesMeasuredOverTestSizeExactlyOrRefused) {
    struct Case {
        LONG factor, size;
        float measured;
        BOOL ok;
        LONG corrected;
    } cases[] = {
        {12390, 300, 301.5f, TRUE, 12451},
        {13112, 250, 249.0f, TRUE, 13059},
        {30000, 300, 299.9f, TRUE, 29989},   // p is 29989: the float 299.9 lies below it
        {30000, 300, 1000.0f, TRUE, 100000}, // p × F is beyond 32 bits, the result is not
        {12390, 0, 300.0f, FALSE, 0},
        {12390, -5, 300.0f, FALSE, 0},
        {2147483647, 1, 1000.0f, FALSE, 0},
        {1, 6000, 1.0f, FALSE, 0},           // would be 0
        {-12390, 300, 300.0f, FALSE, 0},
    };
    for (const Case& c : cases) {
        LONG corrected = 0;
        EXPECT_EQ(CorrectFactor(c.factor, c.size, c.measured, &corrected), c.ok) << c.factor << " " << c.measured;
        EXPECT_EQ(corrected, c.corrected) << c.factor << " " << c.measured;
    }
}

class WorkflowTest : public CalibrationTest {
protected:
    // Clicks Scaling on the panel; the workflow runs the gestures queued after
    // this, then Escape closes the panel.
    void Scaling() {
        Then([this] {
            sim::ClearEvents(1);
            Seen();
            EXPECT_TRUE(platform::ui::ClickControl(GetDlgItem(m_panel->m_hWnd, IDC_SCALING), false));
        });
    }
    // Each reply on its own, as the cutter answers one command after the other.
    void Reply(const std::string& text) {
        for (size_t start = 0, end; (end = text.find(';', start)) != std::string::npos; start = end + 1) {
            Then([reply = text.substr(start, end + 1 - start)] { sim::InjectReceived(1, reply); });
            Pause();
        }
    }
    void Measured(const char* x, const char* y) {
        Type(IDC_EDIT_X, x);
        Type(IDC_MEASURE_Y, y);
        Click(IDOK);
    }
    void Run(CPanelDlg& panel) {
        m_panel = &panel;
        g_pPanelDlg = &panel;
        Escape();
        panel.DoModal();
    }
    static std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        for (const sim::SimEvent& e : sim::Events(1))
            if (e.eCall == sim::SimCall::Write) sent.push_back(e.strBytes);
        return sent;
    }

    CPanelDlg* m_panel = nullptr;
};

TEST_F(WorkflowTest, EachCorrectionCutsFurtherOnUntilTheSizeIsRightAndThenOffersToSave) {
    CPanelDlg panel;
    Scaling();
    Reply(FACTORS_ROLL);
    Click(IDOK);
    Then([] {
        EXPECT_EQ(Text(IDC_EDIT_X), "300");
        EXPECT_EQ(Text(IDC_MEASURE_Y), "250");
    });
    Measured("301.5", "249");
    Answer(IDNO);
    Measured("300.5", "250");
    Answer(IDYES);
    Type(IDC_EDIT_X, "vinyl");
    Click(IDC_ADD);
    Click(IDOK);
    Run(panel);
    EXPECT_EQ(Sent(), (std::vector<std::string>{READ_FACTORS, TestCut(12390, 13112, 100), TestCut(12451, 13059, 300),
                                                TestCut(12471, 13059, 500)}));
    const std::string again =
        "box 36 \"Please measure the width and length again.\nIf the  the length and width  is exactly,please click "
        "Yes. \nOtherwise , click No.\"";
    EXPECT_EQ(Seen(), (std::vector<std::string>{"dialog 137", "end 1", "dialog 139", "end 1", again, "end 7",
                                                "dialog 139", "end 1", again, "end 6", "dialog 140", "end 1", "end 2"}));
    EXPECT_EQ(SavedSizes(), "[KESTRA]\nTotal=1\nA1=12471\nB1=13059\nC1=vinyl\n");
    EXPECT_EQ(g_nTestOrigin, 500);
    EXPECT_EQ(panel.m_nTestX, 300);
}

TEST_F(WorkflowTest, EveryEndPointSendsOnlyWhatItsStepsSend) {
    const std::string modifyOk = "box 0 \"Modify OK\"";
    struct Case {
        const char* name;
        std::string reply;
        std::function<void()> gestures;
        std::vector<std::string> sent;
        std::vector<std::string> seen;
    } cases[] = {
        {"method cancelled", FACTORS_ROLL, [this] { Escape(); }, {READ_FACTORS}, {"dialog 137", "end 2"}},
        {"measurement cancelled", FACTORS_ROLL,
         [this] {
             Click(IDOK);
             Escape();
         },
         {READ_FACTORS, TestCut(12390, 13112, 100)},
         {"dialog 137", "end 1", "dialog 139", "end 2"}},
        {"exact at once", FACTORS_ROLL,
         [this] {
             Click(IDOK);
             Measured("300.0", "250");
             Answer(IDOK);
         },
         {READ_FACTORS, TestCut(12390, 13112, 100)},
         {"dialog 137", "end 1", "dialog 139", "end 1", modifyOk, "end 1"}},
        {"exact after No", FACTORS_ROLL,
         [this] {
             Click(IDOK);
             Measured("301.5", "249");
             Answer(IDNO);
             Click(IDOK);
             Answer(IDOK);
         },
         {READ_FACTORS, TestCut(12390, 13112, 100), TestCut(12451, 13059, 300)},
         {"dialog 137", "end 1", "dialog 139", "end 1", "box 36", "end 7", "dialog 139", "end 1", modifyOk, "end 1"}},
        {"single sheet", "OR3,12390,13112,0;OR1,1,80,250,0,1,0,3;",
         [this] {
             Click(IDC_CHANGE_MEDIA);
             Click(IDOK);
             Answer(IDOK);
         },
         {READ_FACTORS},
         {"dialog 137", "end 1",
          "box 0 \"The Machine was set as Single type.\nCan't use Dashel to change media type.\"\n", "end 1"}},
        {"media unchanged", FACTORS_ROLL,
         [this] {
             Click(IDC_CHANGE_MEDIA);
             Click(IDOK);
             Click(IDOK);
         },
         {READ_FACTORS},
         {"dialog 137", "end 1", "dialog 143", "end 1"}},
        {"media changed", FACTORS_ROLL,
         [this] {
             Click(IDC_CHANGE_MEDIA);
             Click(IDOK);
             Click(IDC_EDGE);
             Click(IDOK);
         },
         {READ_FACTORS, "\x1B.C1;7;2:", "\x1B.R1:"},
         {"dialog 137", "end 1", "dialog 143", "end 1"}},
        {"scaling cancelled", FACTORS_ROLL,
         [this] {
             Click(IDC_LOAD_DATA);
             Click(IDOK);
             Escape();
         },
         {READ_FACTORS},
         {"dialog 137", "end 1", "dialog 141", "end 2"}},
        {"percentage", FACTORS_ROLL,
         [this] {
             Click(IDC_LOAD_DATA);
             Click(IDOK);
             Scroll(IDC_SCROLL_X, SB_THUMBPOSITION, 1100);
             Click(IDOK);
         },
         {READ_FACTORS, "\x1B.C6;1;11263:\x1B.C6;2;13112:"},
         {"dialog 137", "end 1", "dialog 141", "end 1"}},
        {"offline, then cancel", FACTORS_ROLL,
         [this] {
             Click(IDOK);
             Then([] { sim::SetModemLines(1, 0); });
             Measured("301.5", "249");
             Answer(IDCANCEL);
         },
         {READ_FACTORS, TestCut(12390, 13112, 100)},
         {"dialog 137", "end 1", "dialog 139", "end 1", "box 33 \"Please check the machine at ONLINE status\"",
          "end 2"}},
        {"offline, then back", FACTORS_ROLL,
         [this] {
             Click(IDOK);
             Then([] { sim::SetModemLines(1, 0); });
             Measured("301.5", "249");
             Answer(IDOK);
             Then([] { sim::SetModemLines(1, sim::LINES_UP); });
             Answer(IDOK);
             Answer(IDNO);
             Escape();
         },
         {READ_FACTORS, TestCut(12390, 13112, 100), TestCut(12451, 13059, 300)},
         {"dialog 137", "end 1", "dialog 139", "end 1", "box 33 \"Please check the machine at ONLINE status\"", "end 1",
          "box 33 \"Please check the machine at ONLINE status\"", "end 1", "box 36", "end 7", "dialog 139", "end 2"}},
        {"correction out of range", "OR3,2147483647,13112,0;",
         [this] {
             Type(IDC_EDIT_X, "1");
             Click(IDOK);
             Measured("1000", "250");
             Answer(IDOK);
             Escape();
         },
         {READ_FACTORS,
          "\x1B.C6;1;2147483647:\x1B.C6;2;13112:PAPU100,100;PR;PD40,0,0,10000,-40,0,0,-10000PASPPU0,0;"},
         {"dialog 137", "end 1", "dialog 139", "end 1",
          "box 48 \"The measured size gives a scale factor out of range.\nPlease measure the width and length again.\"",
          "end 1", "dialog 139", "end 2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::Install();
        CPanelDlg panel;
        Scaling();
        Reply(c.reply);
        c.gestures();
        Run(panel);
        EXPECT_EQ(Sent(), c.sent) << c.name;
        std::vector<std::string> seen = Seen();
        // A question box of message 4 is named by its icon alone here.
        for (std::string& line : seen)
            if (line.rfind("box 36 \"Please measure", 0) == 0) line = "box 36";
        seen.pop_back();  // the panel's own end
        EXPECT_EQ(seen, c.seen) << c.name;
        if (std::string(c.name) == "method cancelled") {
            EXPECT_EQ(g_nTestOrigin, 100);
        }
        if (std::string(c.name) == "offline, then cancel") {
            EXPECT_EQ(g_nFactorX, 12451);  // corrected, not sent
            EXPECT_EQ(g_nTestOrigin, 300);
        }
        if (std::string(c.name) == "correction out of range") {
            EXPECT_EQ(g_nTestOrigin, 100);
        }
    }
}

TEST_F(WorkflowTest, AFactorReplyAfterTheMethodDialogClosedIsSeenOnlyAfter51Pauses) {
    CPanelDlg panel;
    platform::sched::Millis closed = 0, warned = 0;
    Scaling();
    Then([&] {
        sim::InjectReceived(1, "OR3,12000,13000,0;", 1000);
        closed = platform::sched::Now();
        platform::ui::ClickControl(Item(IDOK), false);
    });
    Then([&] {
        warned = platform::sched::Now();
        EXPECT_EQ(g_nFactorX, 12000);  // applied once the box serves the reader
        platform::ui::AnswerBox(platform::ui::ActiveModal(), IDOK);
    });
    Run(panel);
    EXPECT_EQ(Sent(), std::vector<std::string>{READ_FACTORS});
    EXPECT_EQ(Seen(), (std::vector<std::string>{"dialog 137", "end 1", "box 48 \"Connecting error!!\"", "end 1", "end 2"}));
    EXPECT_GE(warned - closed, 51 * 500);
    EXPECT_LT(warned - closed, 52 * 500);
}

}  // namespace
