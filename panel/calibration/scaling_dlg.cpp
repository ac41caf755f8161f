#include "panel/calibration/scaling_dlg.h"

#include <algorithm>
#include <initializer_list>

#include "panel/link/protocol.h"
#include "panel/resources/resource.h"

namespace {
constexpr int POSITION_MIN = 500;
constexpr int POSITION_MAX = 1500;
constexpr float PERCENT_MIN = 50.0f;
constexpr float PERCENT_MAX = 150.0f;
constexpr int LINE_STEP = 1;
constexpr int PAGE_STEP = 10;

// The single-precision percentage widened, times 10, truncated: 50.3 % (position
// 503 stored as 50.2999992) gives 502.
int PositionOf(float percent) { return static_cast<int>(static_cast<double>(percent) * 10.0); }
}  // namespace

int PercentFactor(int nominal, int position) { return position > 0 ? nominal * 1000 / position : nominal; }

BEGIN_MESSAGE_MAP(CScalingDlg, CDialog)
ON_BN_CLICKED(IDC_USE_PERCENTAGE, OnUsePercentage)
ON_BN_CLICKED(IDC_LOAD_DATA, OnLoadData)
ON_CBN_SELCHANGE(IDC_SAVED_SIZES, OnSelchangeSavedSizes)
ON_WM_HSCROLL()
END_MESSAGE_MAP()

CScalingDlg::CScalingDlg() : CDialog(IDD_SCALING), m_nFactorX(NOMINAL_FACTOR_X), m_nFactorY(NOMINAL_FACTOR_Y) {
    std::fill(std::begin(m_aFactorX), std::end(m_aFactorX), NOMINAL_FACTOR_X);
    std::fill(std::begin(m_aFactorY), std::end(m_aFactorY), NOMINAL_FACTOR_Y);
}

void CScalingDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_EDIT_Y, m_editPercentY);
    DDX_Control(pDX, IDC_EDIT_X, m_editPercentX);
    DDX_Control(pDX, IDC_PERCENTAGE_FRAME, m_btnPercentageFrame);
    DDX_Control(pDX, IDC_LOAD_DATA_FRAME, m_btnLoadDataFrame);
    DDX_Control(pDX, IDC_FRAME_Y, m_btnFrameY);
    DDX_Control(pDX, IDC_FRAME_X, m_btnFrameX);
    DDX_Control(pDX, IDC_USE_PERCENTAGE, m_btnUsePercentage);
    DDX_Control(pDX, IDC_LOAD_DATA, m_btnLoadData);
    DDX_Control(pDX, IDC_SCROLL_Y, m_sbPercentY);
    DDX_Control(pDX, IDC_SCROLL_X, m_sbPercentX);
    DDX_Control(pDX, IDC_SAVED_SIZES, m_cbSavedSizes);
    DDX_Text(pDX, IDC_EDIT_X, m_fPercentX);
    DDV_MinMaxFloat(pDX, m_fPercentX, PERCENT_MIN, PERCENT_MAX);
    DDX_Text(pDX, IDC_EDIT_Y, m_fPercentY);
    DDV_MinMaxFloat(pDX, m_fPercentY, PERCENT_MIN, PERCENT_MAX);
}

BOOL CScalingDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_btnUsePercentage.SetCheck(BST_CHECKED);
    m_btnLoadDataFrame.EnableWindow(FALSE);
    m_cbSavedSizes.EnableWindow(FALSE);
    m_cbSavedSizes.ResetContent();
    ReadSavedSizes([this](const char* name) { m_cbSavedSizes.AddString(name); }, m_aFactorX, m_aFactorY);
    m_cbSavedSizes.SetCurSel(0);
    for (CScrollBar* bar : {&m_sbPercentX, &m_sbPercentY}) bar->SetScrollRange(POSITION_MIN, POSITION_MAX);
    m_sbPercentX.SetScrollPos(PositionOf(m_fPercentX));
    m_sbPercentY.SetScrollPos(PositionOf(m_fPercentY));
    m_nFactorX = NOMINAL_FACTOR_X;
    m_nFactorY = NOMINAL_FACTOR_Y;
    return TRUE;
}

void CScalingDlg::EnableMode(BOOL percentage) {
    m_btnLoadDataFrame.EnableWindow(!percentage);
    m_cbSavedSizes.EnableWindow(!percentage);
    for (CWnd* control : std::initializer_list<CWnd*>{&m_btnPercentageFrame, &m_btnFrameY, &m_btnFrameX, &m_sbPercentX,
                                                      &m_sbPercentY, &m_editPercentX, &m_editPercentY})
        control->EnableWindow(percentage);
}

void CScalingDlg::OnUsePercentage() {
    m_nMode = MODE_PERCENTAGE;
    m_btnUsePercentage.SetCheck(BST_CHECKED);
    m_btnLoadData.SetCheck(BST_UNCHECKED);
    EnableMode(TRUE);
    m_nFactorX = PercentFactor(NOMINAL_FACTOR_X, PositionOf(m_fPercentX));
    m_nFactorY = PercentFactor(NOMINAL_FACTOR_Y, PositionOf(m_fPercentY));
}

void CScalingDlg::OnLoadData() {
    m_nMode = MODE_LOAD_DATA;
    m_btnUsePercentage.SetCheck(BST_UNCHECKED);
    m_btnLoadData.SetCheck(BST_CHECKED);
    EnableMode(FALSE);
    TakeSelectedEntry();
}

void CScalingDlg::OnSelchangeSavedSizes() {
    int index = m_cbSavedSizes.GetCurSel();
    if (index >= 0 && index < SAVED_SIZE_SLOTS) m_nSelected = index;
    TakeSelectedEntry();
}

void CScalingDlg::TakeSelectedEntry() {
    m_nFactorX = m_aFactorX[m_nSelected];
    m_nFactorY = m_aFactorY[m_nSelected];
}

void CScalingDlg::OnHScroll(UINT sbCode, UINT pos, CScrollBar* scrollBar) {
    CDialog::OnHScroll(sbCode, pos, scrollBar);
    if (!scrollBar) return;
    int position = scrollBar->GetScrollPos();
    switch (sbCode) {
    case SB_LINELEFT:
    case SB_LEFT: position -= LINE_STEP; break;
    case SB_LINERIGHT:
    case SB_RIGHT: position += LINE_STEP; break;
    case SB_PAGELEFT: position -= PAGE_STEP; break;
    case SB_PAGERIGHT: position += PAGE_STEP; break;
    case SB_THUMBPOSITION: position = static_cast<int>(pos); break;
    default: return;  // the thumb changes nothing until it is released
    }
    position = std::clamp(position, POSITION_MIN, POSITION_MAX);
    scrollBar->SetScrollPos(position, TRUE);
    if (scrollBar->m_hWnd == m_sbPercentX.m_hWnd) {
        m_fPercentX = static_cast<float>(position) * 0.1f;
        m_nFactorX = PercentFactor(NOMINAL_FACTOR_X, position);
    } else {
        m_fPercentY = static_cast<float>(position) * 0.1f;
        m_nFactorY = PercentFactor(NOMINAL_FACTOR_Y, position);
    }
    UpdateData(FALSE);
}
