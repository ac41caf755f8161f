// portswitch-wine SCRIPT...: runs the port switcher's scenario scripts
// against UnPlugZbkUsb.dll, loaded by name as an outside program loads it,
// and the spooler and files of the Windows it runs on (Wine's, in the
// tests). The script format and transcript are portswitch-scenario's; each
// script starts with no printers and no temporary file. A fault line fails
// the DLL's own call at its import table, before the system sees it; the
// DLL must leave no printer handle, file or LocalAlloc block open. Prints
// each script's outcome; exit status 0 when every transcript matched, 1 when
// one did not or something was left open, 2 when a script or the set-up
// could not be run.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "platform/files/win_files.h"
#include "platform/text/quoted_words.h"
#include "platform/text/transcript.h"
#include "platform/text/verb_table.h"
#include "portswitch/wine/file_calls.h"
#include "portswitch/wine/spooler_calls.h"
#include "portswitch/wine/wine_spooler.h"

namespace {

using platform::text::Quote;
using Words = std::vector<std::string>;

const char PLUG_FILE[] = "C:\\~PlugPort.Tmp";

using Export = BYTE (*)();

struct Library {
    Export pUnPlug = nullptr;
    Export pRePlug = nullptr;
};

class CScript {
public:
    CScript(CWineSpooler& spooler, const Library& library) : m_spooler(spooler), m_library(library) {}

    // False with *pError for a line that cannot be run.
    bool Run(const Words& words, std::string* pError);

    const std::vector<std::string>& Transcript() const { return m_aTranscript; }
    const std::vector<std::string>& Problems() const { return m_aProblems; }

private:
    using SVerb = platform::text::SVerb<bool (CScript::*)(const Words&, std::string*)>;
    static const SVerb kVerbs[];

    bool DoPrinter(const Words& words, std::string* pError) { return m_spooler.PutPrinter(words[1], words[2], pError); }
    bool DoFile(const Words& words, std::string* pError) { return PutFile(words[1], words[2], pError); }
    bool DoCall(const Words& words, std::string* pError) { return Call(words[0], pError); }
    bool DoShow(const Words&, std::string* pError) { return Show(pError); }
    bool DoCalls(const Words&, std::string*) {
        ShowCalls();
        return true;
    }

    bool Fail(const Words& words, std::string* pError) {
        if (words.size() == 3 && words[1] == "open") FailNextOpen(m_spooler.SpoolerName(words[2]));
        else if (words.size() == 3 && words[1] == "set") FailNextSet(m_spooler.SpoolerName(words[2]));
        else if (words.size() == 2 && words[1] == "enum") FailNextEnumeration();
        else if (words.size() == 2 && words[1] == "alloc") FailNextLocalAlloc();
        else if (words.size() == 3 && words[1] == "delete") FailFileDelete(words[2]);
        else if (words.size() == 4 && (words[1] == "fileopen" || words[1] == "read" || words[1] == "write")) {
            int nth = std::atoi(words[3].c_str());
            if (nth < 1) {
                *pError = "the count must be 1 or more";
                return false;
            }
            if (words[1] == "fileopen") FailFileOpen(words[2], nth);
            else if (words[1] == "read") FailFileRead(words[2], nth);
            else FailFileWrite(words[2], nth);
        } else {
            return false;
        }
        return true;
    }

    static bool PutFile(const std::string& path, const std::string& bytes, std::string* pError) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        bool bOk = h != INVALID_HANDLE_VALUE &&
                   WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
        DWORD error = GetLastError();
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        if (!bOk) *pError = "cannot write " + path + " (error " + std::to_string(error) + ")";
        return bOk;
    }

    bool Call(const std::string& command, std::string*) {
        ClearSpoolerCalls();
        int nResult = (command == "unplug" ? m_library.pUnPlug() : m_library.pRePlug()) & 0xFF;
        m_aCalls = SpoolerCalls();
        for (const auto& call : m_aCalls)
            if (call.strFunction == "SetPrinterA")
                Print("setprinter " + Quote(m_spooler.ScriptName(call.strPrinter)) + " " + Quote(call.strPort));
        Print(command + " " + std::to_string(nResult));
        if (int n = OpenPrinterHandles())
            m_aProblems.push_back(command + " left " + std::to_string(n) + " printer handle(s) open");
        if (int n = OpenFiles()) m_aProblems.push_back(command + " left " + std::to_string(n) + " file(s) open");
        if (int n = LocalBlocks())
            m_aProblems.push_back(command + " left " + std::to_string(n) + " LocalAlloc block(s)");
        return true;
    }

    bool Show(std::string* pError) {
        std::vector<ScenarioPrinter> printers;
        if (!m_spooler.List(&printers, pError)) return false;
        for (const auto& printer : printers) Print("printer " + Quote(printer.strName) + " " + Quote(printer.strPort));
        HANDLE h = CreateFileA(PLUG_FILE, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            if (GetLastError() != ERROR_FILE_NOT_FOUND) {
                *pError = "cannot read the temporary file (error " + std::to_string(GetLastError()) + ")";
                return false;
            }
            Print("tmpfile absent");
            return true;
        }
        std::string content;
        char buffer[4096];
        DWORD done = 0;
        while (ReadFile(h, buffer, sizeof buffer, &done, nullptr) && done > 0) content.append(buffer, done);
        CloseHandle(h);
        Print("tmpfile " + Quote(content));
        return true;
    }

    void ShowCalls() {
        for (const auto& call : m_aCalls) {
            std::string line = "call " + call.strFunction;
            if (!call.strPrinter.empty()) (line += " ") += Quote(m_spooler.ScriptName(call.strPrinter));
            if (call.strFunction == "OpenPrinterA") {
                char access[16];
                std::snprintf(access, sizeof access, " 0x%08X", static_cast<unsigned>(call.access));
                line += access;
            }
            if (call.strFunction == "SetPrinterA") (line += " ") += Quote(call.strPort);
            Print(line + (call.bOk ? " ok" : " failed"));
        }
    }

    void Print(const std::string& line) { m_aTranscript.push_back(line); }

    CWineSpooler& m_spooler;
    const Library& m_library;
    std::vector<SpoolerCall> m_aCalls;
    std::vector<std::string> m_aTranscript;
    std::vector<std::string> m_aProblems;
};

const CScript::SVerb CScript::kVerbs[] = {
    {"printer", 3, 3, &CScript::DoPrinter, "printer NAME PORT"},
    {"fail", 2, 4, &CScript::Fail, "fail open|set|delete NAME, fail enum|alloc, or fail fileopen|read|write PATH N"},
    {"file", 3, 3, &CScript::DoFile, "file PATH BYTES"},
    {"unplug", 1, 1, &CScript::DoCall, "unplug"},
    {"replug", 1, 1, &CScript::DoCall, "replug"},
    {"show", 1, 1, &CScript::DoShow, "show"},
    {"calls", 1, 1, &CScript::DoCalls, "calls"},
};

bool CScript::Run(const Words& words, std::string* pError) { return platform::text::RunVerb(this, kVerbs, words, pError); }

// 0 when the script's transcript matched its expectations, 1 when not, 2
// when it could not be run; says which on stdout.
int RunScript(const char* pszScript, CWineSpooler& spooler, const Library& library) {
    ClearSpoolerFaults();
    ClearFileFaults();
    std::string error;
    if (!spooler.Clear(&error) || (!DeleteFileA(PLUG_FILE) && GetLastError() != ERROR_FILE_NOT_FOUND)) {
        if (error.empty()) error = "cannot delete the temporary file (error " + std::to_string(GetLastError()) + ")";
        std::cout << pszScript << ": cannot start: " << error << "\n";
        return 2;
    }
    std::ifstream in(pszScript, std::ios::binary);
    if (!in) {
        std::cout << pszScript << ": cannot be read\n";
        return 2;
    }
    CScript script(spooler, library);
    std::vector<std::string> expected;
    std::string line;
    for (int nLine = 1; std::getline(in, line); ++nLine) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("expect ", 0) == 0 || line == "expect") {
            expected.push_back(line.size() > 7 ? line.substr(7) : "");
            continue;
        }
        std::vector<std::string> words;
        if (platform::text::SplitLine(line, &words, &error) && (words.empty() || words[0][0] == '#')) continue;
        if (error.empty() && script.Run(words, &error)) continue;
        std::cout << pszScript << ":" << nLine << ": " << error << ": " << line << "\n";
        return 2;
    }
    std::string mismatch = platform::text::TranscriptMismatch(script.Transcript(), expected);
    if (!mismatch.empty()) {
        std::cout << pszScript << ": " << mismatch << "\n";
        return 1;
    }
    for (const auto& problem : script.Problems()) std::cout << pszScript << ": " << problem << "\n";
    if (!script.Problems().empty()) return 1;
    std::cout << "ok " << pszScript << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: portswitch-wine SCRIPT...\n";
        return 2;
    }
    HMODULE hLibrary = LoadLibraryA("UnPlugZbkUsb.dll");
    if (!hLibrary) {
        DWORD error = GetLastError();
        std::cerr << "portswitch-wine: cannot load UnPlugZbkUsb.dll (error " << error << ")\n";
        return 2;
    }
    Library library;
    library.pUnPlug = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "UnPlug")));
    library.pRePlug = reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(hLibrary, "RePlug")));
    std::string error;
    if (!library.pUnPlug || !library.pRePlug) error = "UnPlugZbkUsb.dll lacks UnPlug or RePlug";
    CWineSpooler spooler;
    if (error.empty() && RecordSpoolerCalls(hLibrary, &error) && RouteFileCalls(hLibrary, &error) &&
        spooler.Prepare(&error))
        error.clear();
    if (!error.empty()) {
        std::cerr << "portswitch-wine: " << error << "\n";
        return 2;
    }
    int nResult = 0;
    for (int i = 1; i < argc; ++i) nResult = std::max(nResult, RunScript(argv[i], spooler, library));
    std::string strLeft;
    if (!spooler.Clear(&strLeft)) std::cerr << "portswitch-wine: " << strLeft << "\n";
    DeleteFileA(PLUG_FILE);
    return nResult;
}
