// The first dialog of the Scaling button: which method, and for a calibration
// the size of the test rectangle.
#pragma once

#include "platform/ui/afxwin.h"

class CAdjustMethodDlg : public CDialog {
public:
    enum { METHOD_CALIBRATION = 0, METHOD_LOAD_DATA = 1, METHOD_MEDIA_TYPE = 2 };
    CAdjustMethodDlg();
    ~CAdjustMethodDlg() override = default;

    CButton m_btnChangeMedia;
    CStatic m_stFrameY;
    CStatic m_stFrameX;
    CButton m_btnTestSizeFrame;
    CStatic m_stMmY;
    CStatic m_stMmX;
    CEdit m_editTestY;
    CEdit m_editTestX;
    CButton m_btnLoadData;
    CButton m_btnCalibration;
    int m_nTestX = 300;
    int m_nTestY = 250;
    int m_nMethod = METHOD_CALIBRATION;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCalibration();
    void OnLoadData();
    void OnChangeMedia();

    DECLARE_MESSAGE_MAP()

private:
    void ChooseMethod(int method, CButton& checked);
};
