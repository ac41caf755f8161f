#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/mfc/cfile.h"
#include "platform/resources/resource_tables.h"
#include "platform/ui/afxwin.h"
#include "platform/ui/backend.h"
#include "platform/ui/message_queue.h"
#include "platform/ui/testing/scripted_backend.h"

namespace platform::res {
namespace {
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
const ControlTemplate kControls[] = {
    {"Button", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 1, "OK", 10, 10, 50, 14},
    {"Edit", kChild | WS_TABSTOP, 0, 1028, "", 10, 30, 40, 12},
    {"Button", kChild | BS_AUTORADIOBUTTON | WS_GROUP, 0, 1045, "A", 10, 50, 40, 10},
    {"Button", kChild | BS_AUTORADIOBUTTON | WS_GROUP, 0, 1035, "B", 10, 60, 40, 10},
    {"Button", kChild | BS_AUTORADIOBUTTON | WS_GROUP, 0, 1054, "C", 10, 70, 40, 10},
    {"Button", kChild | BS_AUTORADIOBUTTON, 0, 1055, "D", 10, 80, 40, 10},
    {"Button", kChild | BS_PUSHBUTTON | WS_DISABLED, 0, 1001, "Off", 10, 90, 40, 10},
};
const DialogTemplate kDialogs[] = {
    {500, 1028, WS_POPUP | WS_CAPTION, 0, 0, 0, 100, 100, "Test", "System", 10, 0, false, 1, false, kControls, 7},
};
const StringEntry kStrings[] = {
    {5, 1028, "\"Failed to create event for thread!\""},
    {61712, 1033, "Please enter an integer."},
    {61714, 1033, "Please enter an integer between %1 and %2."},
};
}  // namespace
const ResourceTables g_resourceTables = {kDialogs, 1, kStrings, 3, nullptr, 0, nullptr, 0};
}  // namespace platform::res

namespace {

using platform::ui::Backend;
using platform::ui::Window;

using ScriptedBackend = platform::ui::testing::ScriptedBackend;

HWND ActiveWindow() { return platform::ui::ActiveModal(); }

class CTestDlg : public CDialog {
public:
    CTestDlg() : CDialog(500) {}
    int m_nValue = 7;
    int m_nNotifications = 0;
    bool m_bBoxInsideNotification = false;

    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, 1028, m_nValue);
        DDV_MinMaxInt(pDX, m_nValue, 1, 10);
    }
    void OnNotify() {
        ++m_nNotifications;
        if (m_bBoxInsideNotification) AfxMessageBox(5, MB_ICONWARNING);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
ON_BN_CLICKED(1061, OnNotify)
END_MESSAGE_MAP()

CWinApp g_app("Dashel");

class UiTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::clock::UseVirtual();
        platform::ui::SetBackend(&m_backend);
    }
    void TearDown() override {
        platform::ui::SetBackend(nullptr);
        platform::clock::UseReal();
    }
    ScriptedBackend m_backend;
};

struct Sender {
    HWND target;
    int count;
};

DWORD SendNotifications(LPVOID p) {
    auto* s = static_cast<Sender*>(p);
    for (int i = 0; i < s->count; ++i) {
        Sleep(10);
        SendMessageA(s->target, WM_COMMAND, 1061, 0);
    }
    return 0;
}

TEST_F(UiTest, ASentNotificationIsServedInsideNestedModalLoops) {
    CTestDlg dlg;
    dlg.m_bBoxInsideNotification = true;
    Sender sender{nullptr, 2};
    HANDLE thread = nullptr;
    m_backend.actions.push_back([&] {
        sender.target = dlg.m_hWnd;
        thread = CreateThread(nullptr, 0, SendNotifications, &sender, 0, nullptr);
    });
    // The sender is blocked while the box of its first notification is open.
    m_backend.actions.push_back(nullptr);
    m_backend.actions.push_back([] { platform::ui::AnswerBox(ActiveWindow(), IDOK); });
    m_backend.actions.push_back(nullptr);
    m_backend.actions.push_back([] { platform::ui::AnswerBox(ActiveWindow(), IDOK); });
    m_backend.actions.push_back(nullptr);
    m_backend.actions.push_back([] { platform::ui::PressKey(ActiveWindow(), true); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.m_nNotifications, 2);
    std::vector<std::string> expected = {"dialog 500", "box 48 \"Failed to create event for thread!\"", "end 1",
                                         "box 48 \"Failed to create event for thread!\"", "end 1", "end 2"};
    EXPECT_EQ(m_backend.seen, expected);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

// A reader thread starts with every open of a port; each would otherwise
// leave its message queue behind.
TEST(MessageQueue, AThreadsQueueGoesWhenTheThreadEnds) {
    size_t before = platform::ui::ThreadQueueCount();
    for (int i = 0; i < 3; ++i) {
        size_t during = 0;
        std::thread([&during] {
            MSG msg;
            PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
            during = platform::ui::ThreadQueueCount();
        }).join();
        EXPECT_EQ(during, before + 1);
        EXPECT_EQ(platform::ui::ThreadQueueCount(), before);
    }
}

TEST_F(UiTest, RadioButtonsClearOnlyTheirOwnGroup) {
    CTestDlg dlg;
    std::vector<int> checks;
    auto click = [&](int id) { m_backend.actions.push_back([&, id] { platform::ui::ClickControl(GetDlgItem(dlg.m_hWnd, id), false); }); };
    click(1045);
    click(1035);  // its own group: 1045 stays checked
    click(1054);
    click(1055);  // same group as 1054: clears it
    m_backend.actions.push_back([&] {
        for (int id : {1045, 1035, 1054, 1055}) checks.push_back(dlg.IsDlgButtonChecked(id));
        EXPECT_FALSE(platform::ui::ClickControl(GetDlgItem(dlg.m_hWnd, 1001), false));
        platform::ui::PressKey(dlg.m_hWnd, true);
    });
    dlg.DoModal();
    EXPECT_EQ(checks, (std::vector<int>{1, 1, 0, 1}));
}

TEST_F(UiTest, DataExchangeRefusesBadValuesWithTheFrameworkPromptAndKeepsTheDialogOpen) {
    CTestDlg dlg;
    auto type = [&](const char* text) {
        m_backend.actions.push_back([&, text] { platform::ui::TypeText(GetDlgItem(dlg.m_hWnd, 1028), text); });
        m_backend.actions.push_back([&] { platform::ui::PressKey(dlg.m_hWnd, false); });
    };
    auto answer = [&] { m_backend.actions.push_back([] { platform::ui::AnswerBox(ActiveWindow(), IDOK); }); };
    type("12x");
    answer();
    type("99999999999");
    answer();
    type("11");
    answer();
    type(" 4 ");
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_EQ(dlg.m_nValue, 4);
    std::vector<std::string> expected = {"dialog 500",
                                         "box 48 Please enter an integer.", "end 1",
                                         "box 48 Please enter an integer.", "end 1",
                                         "box 48 Please enter an integer between 1 and 10.", "end 1",
                                         "end 1"};
    EXPECT_EQ(m_backend.seen, expected);
}

// The dialog manager's side of the contract the framework stands on: the
// init parameter reaches WM_INITDIALOG, what the procedure leaves gets the
// default handling (the close box becomes Cancel), EndDialog's result
// comes back, and a template that does not exist gives -1.
std::vector<std::string> g_dlgSeen;
INT_PTR CALLBACK RecordingDlgProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        g_dlgSeen.push_back("init " + std::to_string(lParam));
        return TRUE;
    }
    if (msg == WM_COMMAND) {
        g_dlgSeen.push_back("command " + std::to_string(LOWORD(wParam)));
        EndDialog(hwnd, 42);
        return TRUE;
    }
    return FALSE;
}

TEST_F(UiTest, TheDialogManagerRunsAPlainDialogProcedure) {
    g_dlgSeen.clear();
    HWND dialog = nullptr;
    m_backend.actions.push_back([&] {
        dialog = ActiveWindow();
        SendMessageA(dialog, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Renamed"));
        char caption[16] = "";
        GetWindowTextA(dialog, caption, sizeof caption);
        g_dlgSeen.push_back(caption);
        platform::ui::CloseWindowByUser(dialog);
    });
    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(500), nullptr, RecordingDlgProc, 77), 42);
    EXPECT_EQ(g_dlgSeen, (std::vector<std::string>{"init 77", "Renamed", "command 2"}));
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_FALSE(EndDialog(dialog, 1));

    EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(999), nullptr, RecordingDlgProc, 0), -1);
    CDialog missing(999);
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_EQ(missing.m_hWnd, nullptr);
}

class CThrowingDlg : public CDialog {
public:
    CThrowingDlg() : CDialog(500) {}
    void OnFail() { throw new CFileException(CFileException::diskFull, -1, "C:\\WINDOWS\\Kestra.$$$"); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CThrowingDlg, CDialog)
ON_BN_CLICKED(1061, OnFail)
END_MESSAGE_MAP()

TEST_F(UiTest, AFrameworkExceptionAHandlerLeavesIsReportedAndTheDialogRunsOn) {
    CThrowingDlg dlg;
    m_backend.actions.push_back([&] { SendMessageA(dlg.m_hWnd, WM_COMMAND, 1061, 0); });
    m_backend.actions.push_back([] { platform::ui::AnswerBox(ActiveWindow(), IDOK); });
    m_backend.actions.push_back([&] { platform::ui::PressKey(dlg.m_hWnd, true); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    std::vector<std::string> expected = {"dialog 500", "box 16 No error message is available.", "end 1", "end 2"};
    EXPECT_EQ(m_backend.seen, expected);
}

std::vector<DWORD> g_ticks;
void RecordTick(HWND, UINT, UINT_PTR, DWORD now) { g_ticks.push_back(now); }

TEST_F(UiTest, ATimerProcedureRunsEveryPeriodFromTheMessageLoop) {
    CTestDlg dlg;
    g_ticks.clear();
    m_backend.actions.push_back([&] { dlg.SetTimer(0, 2000, RecordTick); });
    m_backend.Pause(65);
    m_backend.actions.push_back([&] { platform::ui::PressKey(dlg.m_hWnd, true); });
    dlg.DoModal();
    EXPECT_EQ(g_ticks, (std::vector<DWORD>{2000, 4000, 6000}));
}

}  // namespace
