#include "platform/mfc/cfile.h"
#include "portswitch/plug_file.h"
#include "portswitch/printer_list.h"
#include "portswitch/unplug_zbk_usb.h"

namespace {

constexpr const char* PARALLEL_PORT = "LPT1:";

// Byte-wise and case-sensitive: "zbkusb1" or "ZBKUS" do not match.
bool IsZbkUsbPort(const CString& strPort) { return strPort.Left(6) == "ZBKUSB"; }

// The field a second UnPlug keeps for printer nIndex: a printer still parked
// on the parallel port keeps the port saved for it, which would otherwise be lost.
CString EarlierField(const CStringList& earlier, DWORD nIndex, const CString& strPort) {
    if (strPort != PARALLEL_PORT) return CString();
    POSITION pos = earlier.GetHeadPosition();
    for (DWORD i = 0; pos && i < nIndex; ++i) earlier.GetNext(pos);
    return pos ? earlier.GetNext(pos) : CString();
}

// After a failure at printer nFailed the file holds only the fields before
// it: a later printer still parked on a port saved by an earlier UnPlug (or
// printer nFailed itself, when its kept field could not be written) goes back
// onto that port, which nothing would remember any more.
void PutBackKept(CPrinterList& printers, const CStringList& earlier, DWORD nFailed) {
    for (DWORD i = nFailed; i < printers.GetCount(); ++i) {
        PRINTER_INFO_2A& printer = printers.GetAt(i);
        CString strKept = EarlierField(earlier, i, printer.pPortName);
        if (!strKept.IsEmpty()) SetPrinterPort(printer, strKept);
    }
}

BYTE UnPlugPrinters() {
    CPrinterList printers;
    if (!printers.Enumerate()) return 0;
    CString strEarlier;
    BOOL bFound = FALSE;
    if (!ReadPlugFile(&strEarlier, &bFound)) return 0;  // an unreadable file is not overwritten blindly
    CStringList earlier;
    if (!HoldsZeroByte(strEarlier)) SplitFields(strEarlier, &earlier);

    CFile file;
    if (!file.Open(PLUG_FILE, CFile::modeCreate | CFile::modeWrite | CFile::shareExclusive)) return 0;
    BYTE nResult = 1;
    for (DWORD i = 0; i < printers.GetCount(); ++i) {
        PRINTER_INFO_2A& printer = printers.GetAt(i);
        CString strPort = printer.pPortName;
        CString strField;
        bool bMoved = false;
        if (!IsZbkUsbPort(strPort)) {
            strField = EarlierField(earlier, i, strPort);
        } else if (strPort.Find(',') >= 0) {
            // A pooled printer's ports cannot be saved in a comma-separated
            // field: it stays where it is, its field stays empty so that the
            // printers after it keep their positions, and the call reports failure.
            nResult = 0;
        } else {
            if (!SetPrinterPort(printer, PARALLEL_PORT)) {
                PutBackKept(printers, earlier, i);
                return 0;  // file closes: it holds the fields before this printer
            }
            strField = strPort;
            bMoved = true;
        }
        strField += ",";
        try {
            file.Write(static_cast<const char*>(strField), strField.GetLength());
        } catch (CFileException* e) {
            e->Delete();
            // Unsaved, the old port would be lost: put the printer back.
            if (bMoved) SetPrinterPort(printer, strPort);
            PutBackKept(printers, earlier, i);
            return 0;
        }
    }
    try {
        file.Close();
    } catch (CFileException* e) {
        e->Delete();
        return 0;
    }
    return nResult;
}

}  // namespace

extern "C" BYTE UnPlug() {
    try {
        return UnPlugPrinters();
    } catch (...) {  // nothing may escape into a caller that knows no C++
        return 0;
    }
}
