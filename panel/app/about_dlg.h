// The About box: the program's own lines and the cutter's model and firmware.
#pragma once

#include "panel/resources/resource.h"
#include "platform/ui/afxwin.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
    void DoDataExchange(CDataExchange* pDX) override;

    CString m_strVersion;
    CString m_strModel;

    DECLARE_MESSAGE_MAP()
};
