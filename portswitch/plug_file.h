// The file that carries the saved ports from UnPlug to RePlug: for each
// printer in enumeration order its saved port (or nothing) and a ','; no
// header, no line end, no terminating zero.
#pragma once

#include "platform/mfc/cstring.h"
#include "platform/mfc/cstringlist.h"

inline constexpr const char* PLUG_FILE = "C:\\~PlugPort.Tmp";

// The pieces between separators, empty ones included; the piece after the
// last separator only when it is not empty.
void SplitFields(const CString& strText, CStringList* pFields);

// A zero byte is part of no port name: a file holding one was not written by
// UnPlug and is not acted on.
BOOL HoldsZeroByte(const CString& strText);

// Reads the whole file, shared for reading only. TRUE with the text and
// *pbFound set (FALSE when there is no file, which is no failure); FALSE when
// the file exists but cannot be opened or read, or is too long to be one of ours.
BOOL ReadPlugFile(CString* pText, BOOL* pbFound);

// Writes the fields, each followed by ',', into a new file opened exclusively.
// TRUE when every byte was written.
BOOL WritePlugFile(const CStringList& fields);
