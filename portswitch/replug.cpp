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
    // The saved ports now live in memory only. A file that stays would have
    // them applied again by a later RePlug: the printers are restored all the
    // same, but the call reports failure.
    BOOL bDeleted = DeleteFileA(PLUG_FILE);

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
    return bDeleted ? 1 : 0;
}

}  // namespace

extern "C" BYTE RePlug() {
    try {
        return RePlugPrinters();
    } catch (...) {  // nothing may escape into a caller that knows no C++
        return 0;
    }
}
