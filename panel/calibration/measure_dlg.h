// The measured length and width of the rectangle the cutter has just cut.
#pragma once

#include "platform/ui/afxwin.h"

class CMeasureDlg : public CDialog {
public:
    CMeasureDlg();
    ~CMeasureDlg() override = default;

    float m_fMeasuredX = 300.0f;
    float m_fMeasuredY = 250.0f;

    void DoDataExchange(CDataExchange* pDX) override;

    DECLARE_MESSAGE_MAP()
};
