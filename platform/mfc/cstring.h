// The framework's 8-bit string: a growable byte string (UTF-8 here, the ANSI
// code page on Windows) that converts to const char* and never overflows.
// Indexes and counts outside the string are clamped, as the framework does.
#pragma once

#include <string>

#include "platform/base/win_types.h"

class CString {
public:
    CString() = default;
    CString(const char* psz);  // NULL gives the empty string
    CString(const char* pch, int nLength);
    CString(char ch, int nRepeat = 1);
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const char* psz);
    CString& operator=(char ch);
    CString& operator+=(const CString& str);
    CString& operator+=(const char* psz);
    CString& operator+=(char ch);

    int GetLength() const { return static_cast<int>(m_str.size()); }
    BOOL IsEmpty() const { return m_str.empty(); }
    void Empty() { m_str.clear(); }
    // The byte at nIndex; '\0' outside the string.
    char GetAt(int nIndex) const;
    char operator[](int nIndex) const { return GetAt(nIndex); }
    // Ignored outside the string.
    void SetAt(int nIndex, char ch);
    operator const char*() const { return m_str.c_str(); }

    // Position of the first match at or after nStart, or -1.
    int Find(char ch, int nStart = 0) const;
    int Find(const char* pszSub, int nStart = 0) const;
    // Position of the last ch, or -1.
    int ReverseFind(char ch) const;

    CString Left(int nCount) const;
    CString Mid(int nFirst) const;
    CString Mid(int nFirst, int nCount) const;
    CString Right(int nCount) const;

    // Each returns the new length.
    int Delete(int nIndex, int nCount = 1);
    int Insert(int nIndex, char ch);
    int Insert(int nIndex, const char* psz);
    // Each returns the number of replacements or removals.
    int Replace(char chOld, char chNew);
    int Replace(const char* pszOld, const char* pszNew);
    int Remove(char ch);

    // ASCII letters only, whatever the locale.
    void MakeUpper();
    void MakeLower();
    void TrimLeft();  // white space
    void TrimLeft(char chTarget);
    void TrimLeft(const char* pszTargets);
    void TrimRight();
    void TrimRight(char chTarget);
    void TrimRight(const char* pszTargets);

    // <0, 0 or >0 as strcmp; CompareNoCase folds ASCII letters to lower case first.
    int Compare(const char* psz) const;
    int CompareNoCase(const char* psz) const;

    // printf-style; the result is as long as the text needs. Arguments must be
    // plain values: pass a CString as (LPCSTR)str.
    void Format(const char* pszFormat, ...) __attribute__((format(printf, 2, 3)));

    // A buffer of at least nMinBufLength bytes plus a terminating zero, holding
    // the current text; ReleaseBuffer ends the writing and fixes the length.
    char* GetBuffer(int nMinBufLength);
    char* GetBufferSetLength(int nNewLength);
    // nNewLength -1 takes the text up to the first zero byte.
    void ReleaseBuffer(int nNewLength = -1);

    // Loads a string-table entry; TRUE when found. Defined by the
    // user-interface layer, which owns the resources.
    BOOL LoadString(UINT nID);

private:
    std::string m_str;
};

CString operator+(const CString& str1, const CString& str2);
CString operator+(const CString& str, const char* psz);
CString operator+(const char* psz, const CString& str);
CString operator+(const CString& str, char ch);
CString operator+(char ch, const CString& str);

bool operator==(const CString& s1, const CString& s2);
bool operator==(const CString& s1, const char* s2);
bool operator==(const char* s1, const CString& s2);
bool operator!=(const CString& s1, const CString& s2);
bool operator!=(const CString& s1, const char* s2);
bool operator!=(const char* s1, const CString& s2);
bool operator<(const CString& s1, const CString& s2);
bool operator<(const CString& s1, const char* s2);
bool operator<(const char* s1, const CString& s2);
