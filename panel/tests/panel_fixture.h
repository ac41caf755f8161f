// A Dashel test bench: virtual clock, simulated ports, English resources and
// a scripted user; and a panel whose reply notification only records what it
// takes, so the serial link can be watched on its own.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "panel/app/panel_app.h"
#include "panel/app/panel_dlg.h"
#include "panel/resources/resource.h"
#include "panel/tests/dashel_globals.h"
#include "platform/resources/resources.h"
#include "platform/serial/sim_serial.h"
#include "platform/ui/testing/scripted_backend.h"
#include "platform/ui/window_core.h"

class PanelTest : public DashelGlobalsTest {
protected:
    void SetUp() override {
        DashelGlobalsTest::SetUp();
        platform::clock::UseVirtual();
        platform::sim_serial::Install();
        platform::res::SetUserUILanguage(1033);
        platform::ui::SetBackend(&m_user);
        theApp.m_pszAppName = "Dashel";
    }
    void TearDown() override {
        platform::ui::SetBackend(nullptr);
        platform::sim_serial::Uninstall();
        platform::res::SetUserUILanguage(0);
        platform::clock::UseReal();
    }

    // The user's next gesture or check, run when the program is idle.
    void Then(std::function<void()> act) { m_user.actions.push_back(std::move(act)); }
    void Pause(int times = 1) { m_user.Pause(times); }
    void Answer(int id) {
        Then([id] { EXPECT_TRUE(platform::ui::AnswerBox(platform::ui::ActiveModal(), id)); });
    }
    void Escape() {
        Then([] { platform::ui::PressKey(platform::ui::ActiveModal(), true); });
    }

    platform::ui::testing::ScriptedBackend m_user;
};

// The connection record as the panel sets it up, for tests that drive the
// serial link directly.
class PortRecordTest : public PanelTest {
protected:
    void SetUp() override {
        PanelTest::SetUp();
        InitializeCriticalSection(&g_rxLock);
        m_port.nPortNumber = 1;
        m_port.nBaudRate = 9600;
        m_port.nByteSize = 8;
        m_port.nHandshake = 2;
        m_port.readOverlap.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        m_port.writeOverlap.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        CloseHandle(m_port.readOverlap.hEvent);
        CloseHandle(m_port.writeOverlap.hEvent);
        DeleteCriticalSection(&g_rxLock);
        PanelTest::TearDown();
    }
    PortInfo m_port{};
};

class CRecordingPanel : public CPanelDlg {
public:
    std::vector<std::string> m_aReplies;
    bool m_bBoxOnReply = false;

    void OnRecordReply() {
        m_aReplies.push_back(static_cast<const char*>(TakeReply()));
        if (m_bBoxOnReply) AfxMessageBox(IDS_CONNECTING_ERROR, MB_ICONWARNING);
    }
    DECLARE_MESSAGE_MAP()
};
