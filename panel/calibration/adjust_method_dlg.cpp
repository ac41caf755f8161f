#include "panel/calibration/adjust_method_dlg.h"

#include <initializer_list>

#include "panel/resources/resource.h"

namespace {
constexpr int TEST_X_MAX = 6000;
constexpr int TEST_Y_MAX = 600;
}  // namespace

BEGIN_MESSAGE_MAP(CAdjustMethodDlg, CDialog)
ON_BN_CLICKED(IDC_CALIBRATION, OnCalibration)
ON_BN_CLICKED(IDC_LOAD_DATA, OnLoadData)
ON_BN_CLICKED(IDC_CHANGE_MEDIA, OnChangeMedia)
END_MESSAGE_MAP()

CAdjustMethodDlg::CAdjustMethodDlg() : CDialog(IDD_ADJUST_METHOD) {}

void CAdjustMethodDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_CHANGE_MEDIA, m_btnChangeMedia);
    DDX_Control(pDX, IDC_FRAME_Y, m_stFrameY);
    DDX_Control(pDX, IDC_FRAME_X, m_stFrameX);
    DDX_Control(pDX, IDC_TEST_SIZE_FRAME, m_btnTestSizeFrame);
    DDX_Control(pDX, IDC_MM_Y, m_stMmY);
    DDX_Control(pDX, IDC_MM_X, m_stMmX);
    DDX_Control(pDX, IDC_EDIT_Y, m_editTestY);
    DDX_Control(pDX, IDC_EDIT_X, m_editTestX);
    DDX_Control(pDX, IDC_LOAD_DATA, m_btnLoadData);
    DDX_Control(pDX, IDC_CALIBRATION, m_btnCalibration);
    // A calibration divides by the test size, so there it must be at least 1 mm;
    // the other methods do not use it. One check per field, so that every
    // refused value of a method names the same range.
    int minimum = m_nMethod == METHOD_CALIBRATION ? 1 : 0;
    DDX_Text(pDX, IDC_EDIT_X, m_nTestX);
    DDV_MinMaxInt(pDX, m_nTestX, minimum, TEST_X_MAX);
    DDX_Text(pDX, IDC_EDIT_Y, m_nTestY);
    DDV_MinMaxInt(pDX, m_nTestY, minimum, TEST_Y_MAX);
}

BOOL CAdjustMethodDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_btnCalibration.SetCheck(BST_CHECKED);
    SetDlgItemText(IDC_EDIT_X, "300");
    SetDlgItemText(IDC_EDIT_Y, "250");
    return TRUE;
}

// The three radio buttons each start a group of their own, so the framework
// does not clear the others: every handler sets all three checks.
void CAdjustMethodDlg::ChooseMethod(int method, CButton& checked) {
    m_nMethod = method;
    for (CButton* radio : {&m_btnCalibration, &m_btnLoadData, &m_btnChangeMedia})
        radio->SetCheck(radio == &checked ? BST_CHECKED : BST_UNCHECKED);
    BOOL sizeUsed = method == METHOD_CALIBRATION;
    for (CWnd* control : std::initializer_list<CWnd*>{&m_btnTestSizeFrame, &m_stMmY, &m_stMmX, &m_stFrameX,
                                                      &m_stFrameY, &m_editTestY, &m_editTestX})
        control->EnableWindow(sizeUsed);
}

void CAdjustMethodDlg::OnCalibration() { ChooseMethod(METHOD_CALIBRATION, m_btnCalibration); }
void CAdjustMethodDlg::OnLoadData() { ChooseMethod(METHOD_LOAD_DATA, m_btnLoadData); }
void CAdjustMethodDlg::OnChangeMedia() { ChooseMethod(METHOD_MEDIA_TYPE, m_btnChangeMedia); }
