// The main panel: the port list, the buttons that start the conversations
// with the cutter, the value labels and the 2-second timer.
//
// Its members live beside their concern:
//   panel/app/panel_dlg.cpp              start-up, port list, painting, button states, shutdown
//   panel/app/polling.cpp                Poll Size, Loop Detect, DisDetect, port choice,
//                                        reconnect, timer, hidden flash-save button
//   panel/app/reply_notify.cpp           the reader's notification and the applying of a reply
//   panel/app/about.cpp                  the About button and box
//   panel/calibration/calibration.cpp    the Scaling button and its three branches
#pragma once

#include "panel/link/port.h"
#include "platform/ui/afxwin.h"

class CPanelDlg : public CDialog {
public:
    CPanelDlg();

    CButton m_btnAbout;
    CButton m_btnScaling;
    CButton m_btnLoopDetect;
    CButton m_btnDisDetect;
    CComboBox m_cbPort;
    CButton m_btnPollSize;
    CString m_strForce;
    CString m_strOffset;
    CString m_strMediaWeight;
    CString m_strQuality;
    CString m_strSmooth;
    CString m_strAutoUnroll;
    CString m_strMediaType;
    CString m_strSizeX;
    CString m_strSizeY;
    CString m_strFactorX, m_strFactorY;
    CString m_strModel, m_strVersion;
    PortInfo* m_pPort = nullptr;
    BOOL m_bLoopDetect = 0;
    HICON m_hIcon;
    BOOL m_bPortChanged = 0;
    LONG m_nTestX = 0, m_nTestY = 0;

    // panel_dlg.cpp
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    void OnOK() override;
    void OnCancel() override;
    void OnPaint();
    void OnDestroy();
    // Enables or disables a button through its style, then repaints it.
    void SetButtonEnabled(CButton& button, BOOL enable);

    // polling.cpp
    void OnPollSize();
    void OnDisDetect();
    void OnLoopDetect();
    void OnSelchangePort();
    void OnHiddenButton();
    void OnHiddenDoubleClicked() {}
    // Closes the port if it is open or another was chosen, then opens it;
    // the result of OpenPort.
    BOOL ReconnectPort();

    // reply_notify.cpp
    void OnReplyNotify();
    // Takes one reply from the receive buffer, parses it and applies what it says.
    void InterpretReply();

    // about.cpp
    void OnAbout();
    void ShowAboutBox();

    // calibration.cpp
    void OnScaling();

    DECLARE_MESSAGE_MAP()

private:
    void FillPortList();
    enum class ButtonPattern { SizePoll, Looping, Stopped, SizeReceived };
    void ApplyPattern(ButtonPattern pattern);
    // The three branches of the Scaling button.
    void ChangeMediaType();
    void LoadScaling();
    void Calibrate(int testX, int testY);
};

extern CPanelDlg* g_pPanelDlg;
extern int g_nHiddenClicks;

void CALLBACK PanelTimerProc(HWND hwnd, UINT msg, UINT_PTR id, DWORD time);
