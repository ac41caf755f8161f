// The About button: the firmware query and the About box.
#include "panel/app/panel_dlg.h"

void CPanelDlg::OnAbout() {}
