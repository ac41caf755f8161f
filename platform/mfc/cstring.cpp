#include "platform/mfc/cstring.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

const char* OrEmpty(const char* psz) { return psz ? psz : ""; }

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }
char AsciiUpper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }
bool IsSpace(char ch) { return ch == ' ' || (ch >= '\t' && ch <= '\r'); }

// Clamps a caller's index into [0, nLength].
std::size_t Clamp(int nIndex, std::size_t nLength) {
    if (nIndex < 0) return 0;
    return std::min(static_cast<std::size_t>(nIndex), nLength);
}

}  // namespace

CString::CString(const char* psz) : m_str(OrEmpty(psz)) {}

CString::CString(const char* pch, int nLength) {
    if (pch && nLength > 0) m_str.assign(pch, static_cast<std::size_t>(nLength));
}

CString::CString(char ch, int nRepeat) {
    if (nRepeat > 0) m_str.assign(static_cast<std::size_t>(nRepeat), ch);
}

CString& CString::operator=(const char* psz) {
    m_str = OrEmpty(psz);
    return *this;
}

CString& CString::operator=(char ch) {
    m_str.assign(1, ch);
    return *this;
}

CString& CString::operator+=(const CString& str) {
    m_str += str.m_str;
    return *this;
}

CString& CString::operator+=(const char* psz) {
    m_str += OrEmpty(psz);
    return *this;
}

CString& CString::operator+=(char ch) {
    m_str += ch;
    return *this;
}

char CString::GetAt(int nIndex) const {
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_str.size()) return '\0';
    return m_str[static_cast<std::size_t>(nIndex)];
}

void CString::SetAt(int nIndex, char ch) {
    if (nIndex < 0 || static_cast<std::size_t>(nIndex) >= m_str.size()) return;
    m_str[static_cast<std::size_t>(nIndex)] = ch;
}

int CString::Find(char ch, int nStart) const {
    if (nStart > GetLength()) return -1;
    std::size_t pos = m_str.find(ch, Clamp(nStart, m_str.size()));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::Find(const char* pszSub, int nStart) const {
    if (nStart > GetLength()) return -1;
    std::size_t pos = m_str.find(OrEmpty(pszSub), Clamp(nStart, m_str.size()));
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

int CString::ReverseFind(char ch) const {
    std::size_t pos = m_str.rfind(ch);
    return pos == std::string::npos ? -1 : static_cast<int>(pos);
}

CString CString::Left(int nCount) const {
    CString result;
    result.m_str = m_str.substr(0, Clamp(nCount, m_str.size()));
    return result;
}

CString CString::Mid(int nFirst) const { return Mid(nFirst, GetLength()); }

CString CString::Mid(int nFirst, int nCount) const {
    std::size_t first = Clamp(nFirst, m_str.size());
    CString result;
    result.m_str = m_str.substr(first, Clamp(nCount, m_str.size() - first));
    return result;
}

CString CString::Right(int nCount) const {
    std::size_t count = Clamp(nCount, m_str.size());
    CString result;
    result.m_str = m_str.substr(m_str.size() - count);
    return result;
}

int CString::Delete(int nIndex, int nCount) {
    std::size_t index = Clamp(nIndex, m_str.size());
    m_str.erase(index, Clamp(nCount, m_str.size() - index));
    return GetLength();
}

int CString::Insert(int nIndex, char ch) {
    m_str.insert(Clamp(nIndex, m_str.size()), 1, ch);
    return GetLength();
}

int CString::Insert(int nIndex, const char* psz) {
    m_str.insert(Clamp(nIndex, m_str.size()), OrEmpty(psz));
    return GetLength();
}

int CString::Replace(char chOld, char chNew) {
    int nCount = 0;
    for (char& ch : m_str) {
        if (ch == chOld) {
            ch = chNew;
            ++nCount;
        }
    }
    return nCount;
}

int CString::Replace(const char* pszOld, const char* pszNew) {
    std::string strOld = OrEmpty(pszOld);
    if (strOld.empty()) return 0;
    std::string strNew = OrEmpty(pszNew);
    std::string result;
    int nCount = 0;
    std::size_t from = 0;
    for (std::size_t pos; (pos = m_str.find(strOld, from)) != std::string::npos; from = pos + strOld.size()) {
        result.append(m_str, from, pos - from);
        result += strNew;
        ++nCount;
    }
    result.append(m_str, from, std::string::npos);
    m_str = std::move(result);
    return nCount;
}

int CString::Remove(char ch) {
    std::size_t before = m_str.size();
    std::erase(m_str, ch);
    return static_cast<int>(before - m_str.size());
}

void CString::MakeUpper() {
    for (char& ch : m_str) ch = AsciiUpper(ch);
}

void CString::MakeLower() {
    for (char& ch : m_str) ch = AsciiLower(ch);
}

void CString::TrimLeft() {
    auto it = std::find_if_not(m_str.begin(), m_str.end(), IsSpace);
    m_str.erase(m_str.begin(), it);
}

void CString::TrimLeft(char chTarget) { m_str.erase(0, m_str.find_first_not_of(chTarget)); }

void CString::TrimLeft(const char* pszTargets) { m_str.erase(0, m_str.find_first_not_of(OrEmpty(pszTargets))); }

void CString::TrimRight() {
    auto it = std::find_if_not(m_str.rbegin(), m_str.rend(), IsSpace);
    m_str.erase(it.base(), m_str.end());
}

void CString::TrimRight(char chTarget) {
    std::size_t last = m_str.find_last_not_of(chTarget);
    m_str.erase(last == std::string::npos ? 0 : last + 1);
}

void CString::TrimRight(const char* pszTargets) {
    std::size_t last = m_str.find_last_not_of(OrEmpty(pszTargets));
    m_str.erase(last == std::string::npos ? 0 : last + 1);
}

int CString::Compare(const char* psz) const { return std::strcmp(m_str.c_str(), OrEmpty(psz)); }

int CString::CompareNoCase(const char* psz) const {
    const char* p1 = m_str.c_str();
    const char* p2 = OrEmpty(psz);
    for (;; ++p1, ++p2) {
        unsigned char c1 = static_cast<unsigned char>(AsciiLower(*p1));
        unsigned char c2 = static_cast<unsigned char>(AsciiLower(*p2));
        if (c1 != c2 || c1 == 0) return c1 - c2;
    }
}

void CString::Format(const char* pszFormat, ...) {
    va_list args;
    va_start(args, pszFormat);
    va_list measure;
    va_copy(measure, args);
    int nNeeded = std::vsnprintf(nullptr, 0, OrEmpty(pszFormat), measure);
    va_end(measure);
    if (nNeeded < 0) {
        m_str.clear();
    } else {
        std::string result(static_cast<std::size_t>(nNeeded), '\0');
        std::vsnprintf(result.data(), result.size() + 1, OrEmpty(pszFormat), args);
        m_str = std::move(result);
    }
    va_end(args);
}

char* CString::GetBuffer(int nMinBufLength) {
    if (nMinBufLength > GetLength()) m_str.resize(static_cast<std::size_t>(nMinBufLength));
    return m_str.data();
}

char* CString::GetBufferSetLength(int nNewLength) {
    m_str.resize(nNewLength > 0 ? static_cast<std::size_t>(nNewLength) : 0);
    return m_str.data();
}

void CString::ReleaseBuffer(int nNewLength) {
    std::size_t length = nNewLength < 0 ? std::strlen(m_str.c_str()) : Clamp(nNewLength, m_str.size());
    m_str.resize(length);
}

CString operator+(const CString& str1, const CString& str2) {
    CString result(str1);
    result += str2;
    return result;
}

CString operator+(const CString& str, const char* psz) {
    CString result(str);
    result += psz;
    return result;
}

CString operator+(const char* psz, const CString& str) {
    CString result(psz);
    result += str;
    return result;
}

CString operator+(const CString& str, char ch) {
    CString result(str);
    result += ch;
    return result;
}

CString operator+(char ch, const CString& str) {
    CString result(ch);
    result += str;
    return result;
}

bool operator==(const CString& s1, const CString& s2) { return s1.GetLength() == s2.GetLength() && s1.Compare(s2) == 0; }
bool operator==(const CString& s1, const char* s2) { return s1.Compare(s2) == 0; }
bool operator==(const char* s1, const CString& s2) { return s2.Compare(s1) == 0; }
bool operator!=(const CString& s1, const CString& s2) { return !(s1 == s2); }
bool operator!=(const CString& s1, const char* s2) { return !(s1 == s2); }
bool operator!=(const char* s1, const CString& s2) { return !(s1 == s2); }
bool operator<(const CString& s1, const CString& s2) { return s1.Compare(s2) < 0; }
bool operator<(const CString& s1, const char* s2) { return s1.Compare(s2) < 0; }
bool operator<(const char* s1, const CString& s2) { return s2.Compare(s1) > 0; }
