// The list of saved sizes at the end of a calibration: add the new pair under
// a name, delete pairs, and write the list back with OK.
#pragma once

#include "panel/calibration/saved_sizes.h"
#include "platform/ui/afxwin.h"

class CSaveNameDlg : public CDialog {
public:
    CSaveNameDlg();
    ~CSaveNameDlg() override = default;

    int m_nFactorX = 0;
    int m_nFactorY = 0;
    CButton m_btnAdd;
    CButton m_btnDelete;
    CEdit m_editName;
    CListBox m_lbNames;
    int m_nCount = 0;
    // Item i of the list box and slot i of both arrays are the same entry.
    int m_aFactorX[SAVED_SIZE_SLOTS] = {};
    int m_aFactorY[SAVED_SIZE_SLOTS] = {};

    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnAdd();
    void OnDelete();
    void OnSetfocusName();
    void OnSetfocusList();
    void OnUpdateName();

    DECLARE_MESSAGE_MAP()

private:
    // Writes the whole list; the framework's file exception on failure.
    void WriteFile(const CString& path);
};
