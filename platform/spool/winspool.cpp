// The portable core of the spooler face: argument checks, packing records into
// the caller's buffer, and printer handles.
#include "platform/spool/winspool.h"

#include <cstddef>
#include <cstring>
#include <mutex>
#include <utility>

#include "platform/base/kernel_object.h"
#include "platform/base/win_base.h"
#include "platform/spool/spooler.h"

namespace platform::spool {

namespace {

std::mutex g_spoolerLock;
std::shared_ptr<CSpooler> g_spooler;

// The smallest device mode that still holds its own size fields.
constexpr std::size_t MIN_DEVMODE_SIZE = offsetof(DEVMODEA, dmFields) + sizeof(DWORD);

std::shared_ptr<CSpooler> CurrentSpooler() {
    std::lock_guard<std::mutex> lk(g_spoolerLock);
    if (!g_spooler) SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return g_spooler;
}

class CPrinterHandle : public KernelObject {
public:
    CPrinterHandle(std::shared_ptr<CSpooler> spooler, std::string strPrinterName, DWORD access)
        : m_spooler(std::move(spooler)), m_strPrinterName(std::move(strPrinterName)), m_access(access) {}
    void OnClose() override { m_spooler->Close(m_strPrinterName); }

    std::shared_ptr<CSpooler> m_spooler;
    std::string m_strPrinterName;
    DWORD m_access;
};

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

// Lays records out as [records][device mode, strings of record 0][... of record 1]...
// With pBuffer NULL it only measures.
class CPacker {
public:
    CPacker(BYTE* pBuffer, std::size_t nRecords) : m_pBuffer(pBuffer), m_nUsed(nRecords * sizeof(PRINTER_INFO_2A)) {}

    std::size_t Used() const { return m_nUsed; }

    void Pack(const PrinterRecord& record, PRINTER_INFO_2A* pInfo) {
        PRINTER_INFO_2A info{};
        if (!record.aDevMode.empty()) {
            m_nUsed = (m_nUsed + alignof(DEVMODEA) - 1) / alignof(DEVMODEA) * alignof(DEVMODEA);
            info.pDevMode = reinterpret_cast<LPDEVMODEA>(Put(record.aDevMode.data(), record.aDevMode.size()));
        }
        info.pPrinterName = PutString(record.strPrinterName);
        info.pShareName = PutString(record.strShareName);
        info.pPortName = PutString(record.strPortName);
        info.pDriverName = PutString(record.strDriverName);
        info.pComment = PutString(record.strComment);
        info.pLocation = PutString(record.strLocation);
        info.pSepFile = PutString(record.strSepFile);
        info.pPrintProcessor = PutString(record.strPrintProcessor);
        info.pDatatype = PutString(record.strDatatype);
        info.pParameters = PutString(record.strParameters);
        info.Attributes = record.nAttributes;
        info.Priority = record.nPriority;
        info.DefaultPriority = record.nDefaultPriority;
        info.StartTime = record.nStartTime;
        info.UntilTime = record.nUntilTime;
        info.Status = record.nStatus;
        info.cJobs = record.nJobs;
        info.AveragePPM = record.nAveragePPM;
        if (m_pBuffer) std::memcpy(pInfo, &info, sizeof info);
    }

private:
    BYTE* Put(const void* pData, std::size_t nSize) {
        BYTE* p = m_pBuffer ? m_pBuffer + m_nUsed : nullptr;
        if (p) std::memcpy(p, pData, nSize);
        m_nUsed += nSize;
        return p;
    }
    LPSTR PutString(const std::string& str) { return reinterpret_cast<LPSTR>(Put(str.c_str(), str.size() + 1)); }

    BYTE* m_pBuffer;
    std::size_t m_nUsed;
};

std::string Text(LPCSTR psz) { return psz ? psz : ""; }

// ERROR_SUCCESS with the record, or the reason it cannot be taken.
DWORD RecordFrom(const PRINTER_INFO_2A& info, PrinterRecord* pRecord) {
    if (!info.pPrinterName || !*info.pPrinterName || !info.pPortName || !*info.pPortName)
        return ERROR_INVALID_PARAMETER;
    if (info.pSecurityDescriptor) return ERROR_NOT_SUPPORTED;
    if (info.pDevMode) {
        std::size_t nSize = std::size_t(info.pDevMode->dmSize) + info.pDevMode->dmDriverExtra;
        if (info.pDevMode->dmSize < MIN_DEVMODE_SIZE) return ERROR_INVALID_PARAMETER;
        const BYTE* p = reinterpret_cast<const BYTE*>(info.pDevMode);
        pRecord->aDevMode.assign(p, p + nSize);
    }
    pRecord->strPrinterName = info.pPrinterName;
    pRecord->strShareName = Text(info.pShareName);
    pRecord->strPortName = info.pPortName;
    pRecord->strDriverName = Text(info.pDriverName);
    pRecord->strComment = Text(info.pComment);
    pRecord->strLocation = Text(info.pLocation);
    pRecord->strSepFile = Text(info.pSepFile);
    pRecord->strPrintProcessor = Text(info.pPrintProcessor);
    pRecord->strDatatype = Text(info.pDatatype);
    pRecord->strParameters = Text(info.pParameters);
    pRecord->nAttributes = info.Attributes;
    pRecord->nPriority = info.Priority;
    pRecord->nDefaultPriority = info.DefaultPriority;
    pRecord->nStartTime = info.StartTime;
    pRecord->nUntilTime = info.UntilTime;
    pRecord->nStatus = info.Status;
    pRecord->nJobs = info.cJobs;
    pRecord->nAveragePPM = info.AveragePPM;
    return ERROR_SUCCESS;
}

char AsciiLower(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

}  // namespace

bool SamePrinterName(const std::string& strName1, const std::string& strName2) {
    if (strName1.size() != strName2.size()) return false;
    for (std::size_t i = 0; i < strName1.size(); ++i)
        if (AsciiLower(strName1[i]) != AsciiLower(strName2[i])) return false;
    return true;
}

void UseSpooler(std::shared_ptr<CSpooler> spooler) {
    std::lock_guard<std::mutex> lk(g_spoolerLock);
    g_spooler = std::move(spooler);
}

}  // namespace platform::spool

using platform::spool::Fail;

BOOL EnumPrintersA(DWORD Flags, LPSTR Name, DWORD Level, LPBYTE pPrinterEnum, DWORD cbBuf, LPDWORD pcbNeeded,
                   LPDWORD pcReturned) {
    if (!pcbNeeded || !pcReturned || (!pPrinterEnum && cbBuf > 0)) return Fail(ERROR_INVALID_PARAMETER);
    *pcbNeeded = 0;
    *pcReturned = 0;
    if (Level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (Name && *Name) return Fail(ERROR_INVALID_NAME);
    if (!(Flags & PRINTER_ENUM_LOCAL)) return TRUE;  // only local printers exist here
    auto spooler = platform::spool::CurrentSpooler();
    if (!spooler) return FALSE;
    std::vector<platform::spool::PrinterRecord> printers;
    if (!spooler->Enumerate(&printers)) return FALSE;

    platform::spool::CPacker measure(nullptr, printers.size());
    for (const auto& printer : printers) measure.Pack(printer, nullptr);
    if (measure.Used() > 0xFFFFFFFFu) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    *pcbNeeded = static_cast<DWORD>(measure.Used());
    if (cbBuf < measure.Used()) return Fail(ERROR_INSUFFICIENT_BUFFER);

    platform::spool::CPacker packer(pPrinterEnum, printers.size());
    auto* pInfo = reinterpret_cast<PRINTER_INFO_2A*>(pPrinterEnum);
    for (std::size_t i = 0; i < printers.size(); ++i) packer.Pack(printers[i], pInfo + i);
    *pcReturned = static_cast<DWORD>(printers.size());
    return TRUE;
}

BOOL OpenPrinterA(LPSTR pPrinterName, HANDLE* phPrinter, LPPRINTER_DEFAULTSA pDefault) {
    if (!phPrinter) return Fail(ERROR_INVALID_PARAMETER);
    *phPrinter = nullptr;
    if (!pPrinterName || !*pPrinterName) return Fail(ERROR_INVALID_PRINTER_NAME);
    auto spooler = platform::spool::CurrentSpooler();
    if (!spooler) return FALSE;
    DWORD access = pDefault ? pDefault->DesiredAccess : PRINTER_ACCESS_USE;
    if (!spooler->Open(pPrinterName, access)) return FALSE;
    *phPrinter = platform::AddHandle(std::make_shared<platform::spool::CPrinterHandle>(spooler, pPrinterName, access));
    return TRUE;
}

BOOL SetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD Command) {
    auto handle = platform::FindHandleAs<platform::spool::CPrinterHandle>(hPrinter);
    if (!handle) return Fail(ERROR_INVALID_HANDLE);
    if (Command != 0) return Fail(ERROR_NOT_SUPPORTED);
    if (Level != 2) return Fail(ERROR_INVALID_LEVEL);
    if (!pPrinter) return Fail(ERROR_INVALID_PARAMETER);
    if (!(handle->m_access & PRINTER_ACCESS_ADMINISTER)) return Fail(ERROR_ACCESS_DENIED);
    platform::spool::PrinterRecord record;
    if (DWORD error = platform::spool::RecordFrom(*reinterpret_cast<PRINTER_INFO_2A*>(pPrinter), &record))
        return Fail(error);
    return handle->m_spooler->Set(handle->m_strPrinterName, record);
}

BOOL ClosePrinter(HANDLE hPrinter) {
    if (!platform::FindHandleAs<platform::spool::CPrinterHandle>(hPrinter)) return Fail(ERROR_INVALID_HANDLE);
    return CloseHandle(hPrinter);
}
