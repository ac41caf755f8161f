// Dialog data exchange: moving values between members and controls, and the
// framework's checks with its own prompts.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <string>

#include "platform/ui/afxwin.h"

namespace {

struct DataExchangeFailure {};

bool IsBlank(const char* p) {
    for (; *p; ++p)
        if (*p != ' ' && *p != '\t') return false;
    return true;
}

// An integer with optional blanks around it; false for anything else,
// including a value beyond 32 bits.
bool ParseInt(const char* text, int* value) {
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || !IsBlank(end) || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    *value = static_cast<int>(v);
    return true;
}

bool ParseFloat(const char* text, float* value) {
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (end == text || !IsBlank(end) || !std::isfinite(v) || std::fabs(v) > FLT_MAX) return false;
    *value = static_cast<float>(v);
    return true;
}

CString FormatFloat(float value) {
    CString s;
    s.Format("%.*g", FLT_DIG, static_cast<double>(value));
    return s;
}

[[noreturn]] void FailWith(CDataExchange* pDX, UINT promptId, const CString& low = "", const CString& high = "") {
    CString prompt;
    prompt.LoadString(promptId);
    prompt.Replace("%1", low);
    prompt.Replace("%2", high);
    AfxMessageBox(prompt, MB_ICONEXCLAMATION);
    pDX->Fail();
}

CString ControlText(HWND hwnd) {
    CString text;
    int n = GetWindowTextLengthA(hwnd);
    GetWindowTextA(hwnd, text.GetBuffer(n), n + 1);
    text.ReleaseBuffer();
    return text;
}

}  // namespace

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    CDataExchange dx(this, saveAndValidate);
    try {
        DoDataExchange(&dx);
    } catch (const DataExchangeFailure&) {
        return FALSE;
    }
    return TRUE;
}

HWND CDataExchange::PrepareCtrl(int id) {
    m_hWndLastControl = GetDlgItem(m_pDlgWnd->m_hWnd, id);
    m_bEditLastControl = FALSE;
    return m_hWndLastControl;
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    HWND hwnd = PrepareCtrl(id);
    m_bEditLastControl = TRUE;
    return hwnd;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_hWndLastControl) {
        SetFocus(m_hWndLastControl);
        if (m_bEditLastControl) SendMessageA(m_hWndLastControl, EM_SETSEL, 0, -1);
    }
    throw DataExchangeFailure{};
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd) return;
    if (HWND hwnd = pDX->PrepareCtrl(id)) control.Attach(hwnd);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
    HWND hwnd = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate)
        value = ControlText(hwnd);
    else
        SetWindowTextA(hwnd, value);
}

void DDX_Text(CDataExchange* pDX, int id, int& value) {
    HWND hwnd = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        if (!ParseInt(ControlText(hwnd), &value)) FailWith(pDX, AFX_IDP_PARSE_INT);
    } else {
        CString text;
        text.Format("%d", value);
        SetWindowTextA(hwnd, text);
    }
}

void DDX_Text(CDataExchange* pDX, int id, float& value) {
    HWND hwnd = pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        if (!ParseFloat(ControlText(hwnd), &value)) FailWith(pDX, AFX_IDP_PARSE_REAL);
    } else {
        SetWindowTextA(hwnd, FormatFloat(value));
    }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
    if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
    CString low, high;
    low.Format("%d", minVal);
    high.Format("%d", maxVal);
    FailWith(pDX, AFX_IDP_PARSE_INT_RANGE, low, high);
}

void DDV_MinMaxFloat(CDataExchange* pDX, float value, float minVal, float maxVal) {
    if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
    FailWith(pDX, AFX_IDP_PARSE_REAL_RANGE, FormatFloat(minVal), FormatFloat(maxVal));
}
