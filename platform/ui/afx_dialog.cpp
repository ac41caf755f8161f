// CDialog: modal dialogs made from the program's templates.
#include "platform/resources/resources.h"
#include "platform/ui/afxwin.h"
#include "platform/ui/backend.h"
#include "platform/ui/dialogs.h"

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
    if (HWND active = platform::ui::ActiveModal()) return active;
    CWnd* main = AfxGetMainWnd();
    return main && main != &dialog ? main->m_hWnd : nullptr;
}

}  // namespace

INT_PTR CDialog::DoModal() {
    const platform::res::DialogTemplate* t = platform::res::FindDialog(static_cast<int>(m_nIDTemplate));
    if (!t) return -1;
    HWND owner = OwnerFor(*this);
    HWND hwnd = platform::ui::CreateDialogFromTemplate(*t, owner, AfxWndProc);
    Attach(hwnd);
    SendMessage(WM_INITDIALOG);
    bool ownerWasEnabled = owner && ::IsWindowEnabled(owner);
    if (ownerWasEnabled) ::EnableWindow(owner, FALSE);
    int result = -1;
    if (platform::ui::Window* w = platform::ui::FindWindow(hwnd)) {
        ::ShowWindow(hwnd, SW_SHOW);
        platform::ui::PushModal(hwnd);
        platform::ui::CurrentBackend().ModalShown(*w);
        result = platform::ui::RunModalLoop(hwnd);
        platform::ui::PopModal(hwnd);
        if (platform::ui::Window* still = platform::ui::FindWindow(hwnd))
            platform::ui::CurrentBackend().ModalEnded(*still, result);
    }
    if (ownerWasEnabled) ::EnableWindow(owner, TRUE);
    ::DestroyWindow(hwnd);
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

void CDialog::EndDialog(int result) { platform::ui::EndModal(m_hWnd, result); }
