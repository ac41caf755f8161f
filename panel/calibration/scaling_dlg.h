// Stored or percentage scale factors: a percentage per axis on two scroll
// bars, or a named entry of the saved-sizes file.
#pragma once

#include "panel/calibration/saved_sizes.h"
#include "platform/ui/afxwin.h"

// The factor for a scroll position (percentage × 10): nominal × 1000 / position.
int PercentFactor(int nominal, int position);

class CScalingDlg : public CDialog {
public:
    enum { MODE_PERCENTAGE = 1, MODE_LOAD_DATA = 2 };
    CScalingDlg();
    ~CScalingDlg() override = default;

    CEdit m_editPercentY;
    CEdit m_editPercentX;
    CButton m_btnPercentageFrame;
    CButton m_btnLoadDataFrame;
    CButton m_btnFrameY;
    CButton m_btnFrameX;
    CButton m_btnUsePercentage;
    CButton m_btnLoadData;
    CScrollBar m_sbPercentY;
    CScrollBar m_sbPercentX;
    CComboBox m_cbSavedSizes;
    float m_fPercentX = 100.0f;
    float m_fPercentY = 100.0f;
    int m_nMode = MODE_PERCENTAGE;
    int m_nSelected = 0;
    // With no saved entries, Load Data delivers the nominal factors.
    int m_aFactorX[SAVED_SIZE_SLOTS];
    int m_aFactorY[SAVED_SIZE_SLOTS];
    int m_nFactorX;
    int m_nFactorY;

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnUsePercentage();
    void OnLoadData();
    void OnSelchangeSavedSizes();
    void OnHScroll(UINT sbCode, UINT pos, CScrollBar* scrollBar);

    DECLARE_MESSAGE_MAP()

private:
    void EnableMode(BOOL percentage);
    void TakeSelectedEntry();
};
