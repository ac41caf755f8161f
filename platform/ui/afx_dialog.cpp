// CDialog: modal dialogs made from the program's templates by the dialog
// manager, their messages served through the message maps.
#include "platform/ui/afxwin.h"

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, OnOK)
ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd) : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

namespace {

// A dialog without a named parent belongs to the active window: the innermost
// modal one, else the main window.
HWND OwnerFor(const CDialog& dialog) {
    if (dialog.m_pParentWnd && dialog.m_pParentWnd->m_hWnd) return dialog.m_pParentWnd->m_hWnd;
    if (HWND active = ::GetActiveWindow()) return active;
    CWnd* main = AfxGetMainWnd();
    return main && main != &dialog ? main->m_hWnd : nullptr;
}

}  // namespace

INT_PTR CDialog::DoModal() {
    INT_PTR result = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate), OwnerFor(*this),
                                       AfxDlgProc, reinterpret_cast<LPARAM>(this));
    Detach();
    return result;
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) return OnInitDialog();
    return CWnd::WindowProc(msg, wParam, lParam);
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }
