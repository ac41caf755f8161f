// The framework's unbuffered file and its exceptions. Failures of the
// constructor form, Read, Write, Close and GetLength throw a CFileException*
// that the catcher deletes with Delete(); Open reports by its result instead.
#pragma once

#include "platform/base/win_types.h"
#include "platform/mfc/cstring.h"

class CException {
public:
    virtual ~CException() = default;
    void Delete() { delete this; }
    // Shows the failure in a message box (nType 0 is MB_OK) and returns the
    // box's result. Defined by the user-interface layer, which owns message boxes.
    int ReportError(UINT nType = 0, UINT nMessageID = 0);
};

class CFileException : public CException {
public:
    enum {
        none,
        generic,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    explicit CFileException(int cause = none, LONG lOsError = -1, const char* pszFileName = nullptr);
    // The m_cause value for a Win32 error code.
    static int OsErrorToException(LONG lOsError);

    int m_cause;
    LONG m_lOsError;
    CString m_strFileName;
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeCreate = 0x1000,  // create, or truncate an existing file
    };

    CFile() = default;
    // Opens the file or throws a CFileException*.
    CFile(const char* pszFileName, UINT nOpenFlags);
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    // Closes an open file, ignoring errors.
    ~CFile();

    // TRUE when open; FALSE with *pError (when given) filled with the cause,
    // the Win32 error and the file name.
    BOOL Open(const char* pszFileName, UINT nOpenFlags, CFileException* pError = nullptr);
    // The bytes read, fewer than nCount only at the end of the file.
    UINT Read(void* lpBuf, UINT nCount);
    // Writes all nCount bytes.
    void Write(const void* lpBuf, UINT nCount);
    void Close();
    // Closes without reporting errors; does nothing when not open.
    void Abort();
    DWORD GetLength() const;

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    CString m_strFileName;

private:
    [[noreturn]] void ThrowLastError() const;
};
