// Poll Size, Loop Detect, DisDetect, the port choice, the timer, the reply
// notification and the hidden flash-save button.
// The conversations themselves arrive with the cutter's command set.
#include "panel/app/panel_dlg.h"

int g_nHiddenClicks = 0;

void CPanelDlg::OnPollSize() {}
void CPanelDlg::OnLoopDetect() {}
void CPanelDlg::OnDisDetect() {}
void CPanelDlg::OnSelchangePort() {}
void CPanelDlg::OnReplyNotify() {}
void CPanelDlg::OnHiddenButton() {}

void PanelTimerProc(HWND, UINT, UINT_PTR, DWORD) {}
