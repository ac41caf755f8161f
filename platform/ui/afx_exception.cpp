// Reporting the framework's exceptions: a message box with the prompt for the
// failure, naming the file for a file exception.
#include "platform/mfc/cfile.h"
#include "platform/ui/afxwin.h"

int CException::ReportError(UINT nType, UINT nMessageID) {
    CString text;
    auto* fileError = dynamic_cast<CFileException*>(this);
    if (fileError && fileError->m_cause > CFileException::none && fileError->m_cause <= CFileException::endOfFile &&
        text.LoadString(AFX_IDP_FILE_NONE + static_cast<UINT>(fileError->m_cause))) {
        text.Replace("%1", fileError->m_strFileName.IsEmpty() ? CString("an unnamed file") : fileError->m_strFileName);
    } else if (nMessageID == 0 || !text.LoadString(nMessageID)) {
        text = "No error message is available.";
    }
    return AfxMessageBox(text, nType);
}
