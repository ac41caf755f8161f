// The media type the cutter should use: ROLL or EDGE.
#pragma once

#include "platform/ui/afxwin.h"

class CMediaTypeDlg : public CDialog {
public:
    CMediaTypeDlg();
    ~CMediaTypeDlg() override = default;

    CButton m_btnRoll;
    CButton m_btnEdge;
    int m_nMediaType = 0;  // set by the caller before DoModal

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnRoll();
    void OnEdge();

    DECLARE_MESSAGE_MAP()
};
