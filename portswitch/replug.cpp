#include "platform/files/win_files.h"
#include "portswitch/plug_file.h"
#include "portswitch/printer_list.h"
#include "portswitch/unplug_zbk_usb.h"

namespace {

// After a failed change the file is already gone: write back the fields from
// nFailed on, in their positions, with empty fields for the printers already
// restored, so that a later RePlug can finish the work.
void KeepUnrestored(const CStringList& fields, DWORD nFailed) {
    CStringList rest;
    DWORD i = 0;
    for (POSITION pos = fields.GetHeadPosition(); pos; ++i) {
        const CString& strField = fields.GetNext(pos);
        rest.AddTail(i < nFailed ? "" : static_cast<const char*>(strField));
    }
    WritePlugFile(rest);
}

BYTE RePlugPrinters() {
    CPrinterList printers;
    if (!printers.Enumerate()) return 0;
    CString strText;
    BOOL bFound = FALSE;
    if (!ReadPlugFile(&strText, &bFound) || !bFound || HoldsZeroByte(strText)) return 0;
    DeleteFileA(PLUG_FILE);  // not checked: the saved ports now live in memory only

    CStringList fields;
    SplitFields(strText, &fields);
    DWORD i = 0;
    for (POSITION pos = fields.GetHeadPosition(); pos && i < printers.GetCount(); ++i) {
        const CString& strField = fields.GetNext(pos);
        if (strField.IsEmpty()) continue;
        if (!SetPrinterPort(printers.GetAt(i), strField)) {
            KeepUnrestored(fields, i);
            return 0;
        }
    }
    return 1;
}

}  // namespace

extern "C" BYTE RePlug() {
    try {
        return RePlugPrinters();
    } catch (...) {  // nothing may escape into a caller that knows no C++
        return 0;
    }
}
