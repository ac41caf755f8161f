// The cutter's command set: request types, the protocol values that the
// reply interpreter sets and the panel actions read, the command texts and
// the reading and showing of the numbers in replies.
#pragma once

#include <atomic>

#include "panel/link/port.h"
#include "platform/mfc/cstring.h"

enum RequestType {
    REQ_NONE = 0,
    REQ_PANEL = 1,
    REQ_SIZE = 2,
    REQ_TEST_CUT = 3,
    REQ_SET_FACTORS = 4,
    REQ_READ_FACTORS = 5,
    REQ_SET_MEDIA = 6,
    REQ_SAVE_FLASH = 7,
    REQ_FIRMWARE = 8,
};

constexpr LONG NOMINAL_FACTOR_X = 12390;
constexpr LONG NOMINAL_FACTOR_Y = 13112;
constexpr int PLOTTER_UNITS_PER_MM = 40;
constexpr int COMMAND_BUFFER_SIZE = 100;

extern int g_nRequestType;
extern LONG g_nFactorX;
extern LONG g_nFactorY;
extern LONG g_nTestOrigin;
extern int g_nMediaType;
extern BOOL g_bSizeReceived;
// Read by the calibration's factor wait while the reader may set it.
extern std::atomic<BOOL> g_bFactorsRead;

// The command text of a request type in buffer (COMMAND_BUFFER_SIZE bytes);
// false, with nothing formatted, for a type outside 1 to 8 or values whose
// text would not fit.
bool FormatRequest(int type, const PortInfo& port, char* buffer);
// Writes the command text of g_nRequestType; 0 when nothing was written
// (no such type, values too long, or the port is not open).
BOOL SendRequest(PortInfo* port);

// The first n characters of text, deleted from it; empty for a negative n.
CString CutField(CString& text, int n);

// A decimal floating-point text at the start of text (white space, sign,
// digits, point, exponent); 0 when there is none or it does not fit a double.
double ReadDecimal(const char* text);
// A decimal integer at the start of text (white space, sign, digits); 0 when
// there is none; beyond 32 bits it stops at the nearest limit.
LONG ReadInteger(const char* text);
// A reading with at most 5 significant digits: fixed notation from 0.1 up to
// below 100000 with trailing zeros removed but the point kept (none for five
// integer digits), exponent notation such as 2.5e-002 otherwise.
CString FormatReading(double value);
