#include "panel/calibration/media_type_dlg.h"

#include "panel/resources/resource.h"

namespace {
constexpr int MEDIA_ROLL = 1;
constexpr int MEDIA_EDGE = 2;
}  // namespace

BEGIN_MESSAGE_MAP(CMediaTypeDlg, CDialog)
ON_BN_CLICKED(IDC_ROLL, OnRoll)
ON_BN_CLICKED(IDC_EDGE, OnEdge)
END_MESSAGE_MAP()

CMediaTypeDlg::CMediaTypeDlg() : CDialog(IDD_MEDIA_TYPE) {}

void CMediaTypeDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ROLL, m_btnRoll);
    DDX_Control(pDX, IDC_EDGE, m_btnEdge);
}

BOOL CMediaTypeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    bool roll = m_nMediaType == MEDIA_ROLL;
    m_btnEdge.SetCheck(roll ? BST_UNCHECKED : BST_CHECKED);
    m_btnRoll.SetCheck(roll ? BST_CHECKED : BST_UNCHECKED);
    return TRUE;
}

// Each radio button starts a group of its own: the other one is cleared here.
void CMediaTypeDlg::OnRoll() {
    m_nMediaType = MEDIA_ROLL;
    m_btnEdge.SetCheck(BST_UNCHECKED);
}

void CMediaTypeDlg::OnEdge() {
    m_nMediaType = MEDIA_EDGE;
    m_btnRoll.SetCheck(BST_UNCHECKED);
}
