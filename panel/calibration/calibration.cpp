// The Scaling button: calibration, stored or percentage factors, media type.
#include "panel/app/panel_dlg.h"

void CPanelDlg::OnScaling() {}
