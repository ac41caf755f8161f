#include "platform/mfc/cfile.h"

#include "platform/base/devices.h"
#include "platform/files/win_files.h"

namespace {

DWORD ShareFrom(UINT nOpenFlags) {
    switch (nOpenFlags & 0x70) {
    case CFile::shareDenyWrite: return FILE_SHARE_READ;
    case CFile::shareDenyRead: return FILE_SHARE_WRITE;
    case CFile::shareDenyNone: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return 0;  // shareExclusive and shareCompat
    }
}

DWORD AccessFrom(UINT nOpenFlags) {
    switch (nOpenFlags & 0x3) {
    case CFile::modeWrite: return GENERIC_WRITE;
    case CFile::modeReadWrite: return GENERIC_READ | GENERIC_WRITE;
    default: return GENERIC_READ;
    }
}

}  // namespace

CFileException::CFileException(int cause, LONG lOsError, const char* pszFileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(pszFileName) {}

int CFileException::OsErrorToException(LONG lOsError) {
    switch (static_cast<DWORD>(lOsError)) {
    case ERROR_SUCCESS: return none;
    case ERROR_FILE_NOT_FOUND: return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE: return badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return accessDenied;
    case ERROR_INVALID_HANDLE: return invalidFile;
    case ERROR_SHARING_VIOLATION: return sharingViolation;
    case ERROR_LOCK_VIOLATION: return lockViolation;
    case ERROR_DISK_FULL: return diskFull;
    case ERROR_HANDLE_EOF: return endOfFile;
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE: return hardIO;
    default: return generic;
    }
}

CFile::CFile(const char* pszFileName, UINT nOpenFlags) {
    CFileException error;
    if (!Open(pszFileName, nOpenFlags, &error)) throw new CFileException(error);
}

CFile::~CFile() { Abort(); }

BOOL CFile::Open(const char* pszFileName, UINT nOpenFlags, CFileException* pError) {
    Abort();
    m_strFileName = pszFileName;
    DWORD creation = (nOpenFlags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    HANDLE hFile = pszFileName ? CreateFileA(pszFileName, AccessFrom(nOpenFlags), ShareFrom(nOpenFlags), nullptr,
                                             creation, FILE_ATTRIBUTE_NORMAL, nullptr)
                               : INVALID_HANDLE_VALUE;
    if (hFile == INVALID_HANDLE_VALUE) {
        LONG lOsError = static_cast<LONG>(pszFileName ? GetLastError() : ERROR_INVALID_PARAMETER);
        if (pError) *pError = CFileException(CFileException::OsErrorToException(lOsError), lOsError, pszFileName);
        return FALSE;
    }
    m_hFile = hFile;
    return TRUE;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
    if (nCount == 0) return 0;
    DWORD done = 0;
    if (!ReadFile(m_hFile, lpBuf, nCount, &done, nullptr)) ThrowLastError();
    return done;
}

void CFile::Write(const void* lpBuf, UINT nCount) {
    if (nCount == 0) return;
    DWORD done = 0;
    if (!WriteFile(m_hFile, lpBuf, nCount, &done, nullptr)) ThrowLastError();
    if (done != nCount) throw new CFileException(CFileException::diskFull, -1, m_strFileName);
}

void CFile::Close() {
    HANDLE hFile = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (hFile != INVALID_HANDLE_VALUE && !CloseHandle(hFile)) ThrowLastError();
}

void CFile::Abort() {
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

DWORD CFile::GetLength() const {
    DWORD size = GetFileSize(m_hFile, nullptr);
    if (size == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) ThrowLastError();
    return size;
}

void CFile::ThrowLastError() const {
    LONG lOsError = static_cast<LONG>(GetLastError());
    throw new CFileException(CFileException::OsErrorToException(lOsError), lOsError, m_strFileName);
}
