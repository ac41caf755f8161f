#include "panel/link/protocol.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

int g_nRequestType = REQ_NONE;
LONG g_nFactorX = NOMINAL_FACTOR_X;
LONG g_nFactorY = NOMINAL_FACTOR_Y;
LONG g_nTestOrigin = 100;
int g_nMediaType = 0;
BOOL g_bSizeReceived = 0;
std::atomic<BOOL> g_bFactorsRead{0};

namespace {

constexpr char ESC = 27;
constexpr char DOT = '.';

bool Fits32(long long v) { return v >= INT32_MIN && v <= INT32_MAX; }

}  // namespace

bool FormatRequest(int type, const PortInfo& port, char* buffer) {
    int n = -1;
    int fx = static_cast<int>(g_nFactorX), fy = static_cast<int>(g_nFactorY);
    switch (type) {
    case REQ_PANEL: n = std::snprintf(buffer, COMMAND_BUFFER_SIZE, "%c%cR1:", ESC, DOT); break;
    case REQ_SIZE: n = std::snprintf(buffer, COMMAND_BUFFER_SIZE, "%c%cR2:", ESC, DOT); break;
    case REQ_TEST_CUT: {
        long long w = static_cast<long long>(port.nTestWidthMm) * PLOTTER_UNITS_PER_MM;
        long long h = static_cast<long long>(port.nTestHeightMm) * PLOTTER_UNITS_PER_MM;
        if (!Fits32(w) || !Fits32(h)) return false;
        int o = static_cast<int>(g_nTestOrigin), iw = static_cast<int>(w), ih = static_cast<int>(h);
        n = std::snprintf(buffer, COMMAND_BUFFER_SIZE,
                          "%c%cC6;%d;%d:%c%cC6;%d;%d:PAPU%d,%d;PR;PD%d,0,0,%d,-%d,0,0,-%dPASPPU0,0;", ESC, DOT, 1, fx,
                          ESC, DOT, 2, fy, o, o, iw, ih, iw, ih);
        break;
    }
    case REQ_SET_FACTORS:
        n = std::snprintf(buffer, COMMAND_BUFFER_SIZE, "%c%cC6;%d;%d:%c%cC6;%d;%d:", ESC, DOT, 1, fx, ESC, DOT, 2, fy);
        break;
    case REQ_READ_FACTORS: n = std::snprintf(buffer, COMMAND_BUFFER_SIZE, "%c%cR3:%c%cR1:", ESC, DOT, ESC, DOT); break;
    case REQ_SET_MEDIA: n = std::snprintf(buffer, COMMAND_BUFFER_SIZE, "%c%cC1;7;%d:", ESC, DOT, g_nMediaType); break;
    case REQ_SAVE_FLASH: n = std::snprintf(buffer, COMMAND_BUFFER_SIZE, "%c%cC0;0:", ESC, DOT); break;
    case REQ_FIRMWARE: n = std::snprintf(buffer, COMMAND_BUFFER_SIZE, "%c%cR4:", ESC, DOT); break;
    default: return false;
    }
    // A text cut short by the buffer would be a different command: send none.
    if (n < 0 || n >= COMMAND_BUFFER_SIZE) {
        buffer[0] = '\0';
        return false;
    }
    return true;
}

BOOL SendRequest(PortInfo* port) {
    char text[COMMAND_BUFFER_SIZE];
    if (!FormatRequest(g_nRequestType, *port, text)) return 0;
    if (!PortIsOpen(port)) return 0;
    return WritePort(port, text);
}

CString CutField(CString& text, int n) {
    if (n < 0) return CString();
    CString field = text.Left(n);
    text.Delete(0, n);
    return field;
}

double ReadDecimal(const char* text) {
    // Only the plain decimal form: no hexadecimal, infinity or NaN spellings.
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    bool digits = false;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p, digits = true;
    if (*p == '.') {
        ++p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p, digits = true;
    }
    if (!digits) return 0;
    if (*p == 'e' || *p == 'E') {
        const char* e = p + 1;
        if (*e == '+' || *e == '-') ++e;
        if (std::isdigit(static_cast<unsigned char>(*e))) {
            while (std::isdigit(static_cast<unsigned char>(*e))) ++e;
            p = e;
        }
    }
    double v = std::strtod(std::string(start, p).c_str(), nullptr);
    return std::isfinite(v) ? v : 0;
}

LONG ReadInteger(const char* text) {
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    long long v = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) {
        v = v * 10 + (*p++ - '0');
        if (v > 2147483648LL) v = 2147483648LL;
    }
    if (negative) v = -v;
    if (v > INT32_MAX) v = INT32_MAX;
    return static_cast<LONG>(v);
}

CString FormatReading(double value) {
    if (value == 0 || !std::isfinite(value)) return "0.";
    // Round to five significant digits first, so that 99999.7 counts as 100000.
    char rounded[32];
    std::snprintf(rounded, sizeof rounded, "%.4e", std::fabs(value));
    std::string mantissa(rounded, std::string(rounded).find('e'));
    int exponent = std::atoi(std::string(rounded).substr(mantissa.size() + 1).c_str());
    CString text;
    if (exponent >= -1 && exponent <= 4) {
        int integerDigits = exponent >= 0 ? exponent + 1 : 0;
        text.Format("%.*f", 5 - integerDigits, std::fabs(value));
        if (text.Find('.') >= 0) text.TrimRight('0');
    } else {
        CString digits = mantissa.c_str();
        digits.TrimRight('0');
        text.Format("%se%c%03d", static_cast<const char*>(digits), exponent < 0 ? '-' : '+', std::abs(exponent));
    }
    if (value < 0) text.Insert(0, '-');
    return text;
}
