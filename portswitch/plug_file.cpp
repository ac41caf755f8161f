#include "portswitch/plug_file.h"

#include "platform/mfc/cfile.h"

namespace {
// Far above any real file (a field and a comma per printer), far below memory trouble.
constexpr DWORD MAX_PLUG_FILE = 1 << 20;
}  // namespace

BOOL HoldsZeroByte(const CString& strText) { return strText.Find('\0') >= 0; }

void SplitFields(const CString& strText, CStringList* pFields) {
    int nStart = 0;
    for (int nComma; (nComma = strText.Find(',', nStart)) >= 0; nStart = nComma + 1)
        pFields->AddTail(strText.Mid(nStart, nComma - nStart));
    if (nStart < strText.GetLength()) pFields->AddTail(strText.Mid(nStart));
}

BOOL ReadPlugFile(CString* pText, BOOL* pbFound) {
    *pbFound = FALSE;
    pText->Empty();
    CFile file;
    CFileException error;
    if (!file.Open(PLUG_FILE, CFile::modeRead | CFile::shareDenyWrite, &error))
        return error.m_cause == CFileException::fileNotFound;
    try {
        DWORD nFileLength = file.GetLength();
        if (nFileLength > MAX_PLUG_FILE) return FALSE;
        int nLength = static_cast<int>(nFileLength);
        char* pBuffer = pText->GetBufferSetLength(nLength);
        int nRead = 0;
        for (UINT n; nRead < nLength && (n = file.Read(pBuffer + nRead, nLength - nRead)) > 0;) nRead += n;
        pText->ReleaseBuffer(nRead);
        file.Close();
    } catch (CFileException* e) {
        e->Delete();
        return FALSE;
    }
    *pbFound = TRUE;
    return TRUE;
}

BOOL WritePlugFile(const CStringList& fields) {
    CFile file;
    if (!file.Open(PLUG_FILE, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive)) return FALSE;
    try {
        for (POSITION pos = fields.GetHeadPosition(); pos;) {
            CString strField = fields.GetNext(pos) + ",";
            file.Write(static_cast<const char*>(strField), strField.GetLength());
        }
        file.Close();
    } catch (CFileException* e) {
        e->Delete();
        return FALSE;
    }
    return TRUE;
}
