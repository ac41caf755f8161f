#include "panel/calibration/measure_dlg.h"

#include "panel/resources/resource.h"

namespace {
constexpr float MEASURED_MIN = 1.0f;
constexpr float MEASURED_MAX = 1000.0f;
}  // namespace

BEGIN_MESSAGE_MAP(CMeasureDlg, CDialog)
END_MESSAGE_MAP()

CMeasureDlg::CMeasureDlg() : CDialog(IDD_MEASURE) {}

void CMeasureDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_EDIT_X, m_fMeasuredX);
    DDV_MinMaxFloat(pDX, m_fMeasuredX, MEASURED_MIN, MEASURED_MAX);
    DDX_Text(pDX, IDC_MEASURE_Y, m_fMeasuredY);
    DDV_MinMaxFloat(pDX, m_fMeasuredY, MEASURED_MIN, MEASURED_MAX);
}
