#include "panel/calibration/save_name_dlg.h"

#include <algorithm>
#include <cstring>

#include "panel/resources/resource.h"
#include "platform/mfc/cfile.h"

namespace {
constexpr int NAME_TEXT_MAX = 79;

void WriteText(CFile& file, const CString& text) { file.Write(static_cast<const char*>(text), text.GetLength()); }
}  // namespace

BEGIN_MESSAGE_MAP(CSaveNameDlg, CDialog)
ON_BN_CLICKED(IDC_DELETE, OnDelete)
ON_BN_CLICKED(IDC_ADD, OnAdd)
ON_EN_SETFOCUS(IDC_EDIT_X, OnSetfocusName)
ON_LBN_SETFOCUS(IDC_NAME_LIST, OnSetfocusList)
ON_EN_UPDATE(IDC_EDIT_X, OnUpdateName)
END_MESSAGE_MAP()

CSaveNameDlg::CSaveNameDlg() : CDialog(IDD_SAVE_NAME) {}

void CSaveNameDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_ADD, m_btnAdd);
    DDX_Control(pDX, IDC_DELETE, m_btnDelete);
    DDX_Control(pDX, IDC_EDIT_X, m_editName);
    DDX_Control(pDX, IDC_NAME_LIST, m_lbNames);
}

BOOL CSaveNameDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_lbNames.ResetContent();
    m_nCount = ReadSavedSizes([this](const char* name) { m_lbNames.AddString(name); }, m_aFactorX, m_aFactorY);
    m_btnAdd.EnableWindow(FALSE);
    m_btnDelete.EnableWindow(FALSE);
    return TRUE;
}

void CSaveNameDlg::OnAdd() {
    if (m_nCount >= SAVED_SIZE_LIMIT) {
        AfxMessageBox(IDS_LIST_FULL);
        return;
    }
    char name[NAME_TEXT_MAX + 1] = {};
    ::GetWindowTextA(m_editName.m_hWnd, name, sizeof name);
    // A line break in a name would start a line of its own in the file.
    name[std::strcspn(name, "\r\n")] = '\0';
    m_lbNames.InsertString(0, name);
    for (int i = m_nCount - 1; i >= 0; --i) {
        m_aFactorX[i + 1] = m_aFactorX[i];
        m_aFactorY[i + 1] = m_aFactorY[i];
    }
    m_aFactorX[0] = m_nFactorX;
    m_aFactorY[0] = m_nFactorY;
    m_editName.SetSel(0, -1);
    m_editName.SetWindowText("");
    m_btnAdd.EnableWindow(FALSE);
    m_editName.EnableWindow(FALSE);
    ++m_nCount;
}

void CSaveNameDlg::OnDelete() {
    int selected = m_lbNames.GetCurSel();
    if (selected < 0 || selected >= m_nCount) return;
    m_lbNames.DeleteString(static_cast<UINT>(selected));
    for (int i = selected; i < m_nCount - 1; ++i) {
        m_aFactorX[i] = m_aFactorX[i + 1];
        m_aFactorY[i] = m_aFactorY[i + 1];
    }
    // Only the top entry can be the one added in this showing.
    if (selected == 0) m_editName.EnableWindow(TRUE);
    m_nCount = std::max(0, m_nCount - 1);
}

void CSaveNameDlg::OnSetfocusName() {
    m_lbNames.SetCurSel(-1);
    m_btnDelete.EnableWindow(FALSE);
}

void CSaveNameDlg::OnSetfocusList() { m_btnDelete.EnableWindow(TRUE); }

void CSaveNameDlg::OnUpdateName() { m_btnAdd.EnableWindow(m_editName.GetWindowTextLength() > 0); }

void CSaveNameDlg::WriteFile(const CString& path) {
    CFile file(path, CFile::modeCreate | CFile::modeWrite);
    CString line;
    WriteText(file, "[KESTRA]\n");
    line.Format("Total=%d\n", m_nCount);
    WriteText(file, line);
    for (int k = 1; k <= m_nCount; ++k) {
        line.Format("A%d=%d\nB%d=%d\n", k, m_aFactorX[k - 1], k, m_aFactorY[k - 1]);
        WriteText(file, line);
        line.Format("C%d=", k);
        WriteText(file, line);
        CString name;
        m_lbNames.GetText(k - 1, name);
        WriteText(file, name);
        WriteText(file, "\n");
    }
    file.Close();
}

void CSaveNameDlg::OnOK() {
    // A file that cannot be written is reported as the framework reports it; the
    // dialog stays open with its list, so the user can try again or cancel.
    try {
        WriteFile(SavedSizesPath());
    } catch (CFileException* error) {
        error->ReportError(MB_ICONSTOP);
        error->Delete();
        return;
    }
    CDialog::OnOK();
}
