// Dashel's globals back at their start values before each test, so that a test
// that stopped half-way (a failed ASSERT) leaves nothing for the next one.
#pragma once

#include <gtest/gtest.h>

#include "panel/app/panel_dlg.h"
#include "panel/link/protocol.h"

inline void ResetDashelGlobals() {
    g_pPanelDlg = nullptr;
    g_nHiddenClicks = 0;
    g_strRx.Empty();
    g_bDataArrived.store(0);
    g_bStopReader.store(0);
    g_bReaderRunning.store(0);
    g_hReplyWnd.store(nullptr);
    g_nRequestType = REQ_NONE;
    g_nFactorX = NOMINAL_FACTOR_X;
    g_nFactorY = NOMINAL_FACTOR_Y;
    g_nTestOrigin = 100;
    g_nMediaType = 0;
    g_bSizeReceived = 0;
    g_bFactorsRead.store(0);
}

class DashelGlobalsTest : public ::testing::Test {
protected:
    void SetUp() override { ResetDashelGlobals(); }
};
