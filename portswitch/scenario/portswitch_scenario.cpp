// portswitch-scenario SCRIPT: runs UnPlug and RePlug against the test spooler
// in a fresh prefix and prints a transcript; with `expect` lines in the script
// the transcript must be exactly those lines. The format is in README.md.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "platform/base/devices.h"
#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/files/win_files.h"
#include "platform/spool/quoted_text.h"
#include "platform/spool/test_spooler.h"
#include "platform/spool/winspool.h"
#include "portswitch/unplug_zbk_usb.h"

namespace {

using platform::spool::Quote;

class CScenario {
public:
    CScenario() : m_spooler(std::make_shared<platform::spool::CTestSpooler>()) {
        platform::spool::UseSpooler(m_spooler);
        platform::files::InstallDriveFiles();
    }

    // False with *pError for a line it cannot run.
    bool Run(const std::vector<std::string>& words, std::string* pError) {
        const std::string& command = words[0];
        if (command == "printer" && words.size() == 3) {
            if (!m_spooler->MovePrinter(words[1], words[2])) m_spooler->AddPrinter(words[1], words[2]);
        } else if (command == "fail" && words.size() == 3 && words[1] == "open") {
            m_spooler->FailOpen(words[2]);
        } else if (command == "fail" && words.size() == 3 && words[1] == "set") {
            m_spooler->FailSet(words[2]);
        } else if (command == "fail" && words.size() == 2 && words[1] == "enum") {
            m_spooler->FailEnumerate();
        } else if (command == "fail" && words.size() == 2 && words[1] == "alloc") {
            platform::test::FailLocalAllocAfter(0);
        } else if (command == "fail" && words.size() == 4 &&
                   (words[1] == "fileopen" || words[1] == "read" || words[1] == "write")) {
            int nth = std::atoi(words[3].c_str());
            if (nth < 1) return Refuse("the count must be 1 or more", pError);
            if (words[1] == "fileopen") platform::files::test::FailOpen(words[2], nth, ERROR_ACCESS_DENIED);
            else if (words[1] == "read") platform::files::test::FailRead(words[2], nth, ERROR_READ_FAULT);
            else platform::files::test::FailWrite(words[2], nth, ERROR_DISK_FULL);
        } else if (command == "file" && words.size() == 3) {
            return PutFile(words[1], words[2], pError);
        } else if ((command == "unplug" || command == "replug") && words.size() == 1) {
            Call(command);
        } else if (command == "show" && words.size() == 1) {
            Show();
        } else if (command == "calls" && words.size() == 1) {
            ShowCalls();
        } else {
            return Refuse("unknown command or wrong arguments", pError);
        }
        return true;
    }

    const std::vector<std::string>& Transcript() const { return m_aTranscript; }

private:
    static bool Refuse(const std::string& reason, std::string* pError) {
        *pError = reason;
        return false;
    }

    void Print(const std::string& line) {
        std::cout << line << "\n";
        m_aTranscript.push_back(line);
    }

    bool PutFile(const std::string& path, const std::string& bytes, std::string* pError) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        bool bOk = h != INVALID_HANDLE_VALUE && WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return bOk || Refuse("cannot write " + path + " (error " + std::to_string(GetLastError()) + ")", pError);
    }

    void Call(const std::string& command) {
        m_spooler->ClearCalls();
        std::size_t nChangesBefore = m_spooler->FieldChanges().size();
        BYTE nResult = command == "unplug" ? UnPlug() : RePlug();
        for (const auto& call : m_spooler->Calls())
            if (call.strFunction == "SetPrinterA") Print("setprinter " + Quote(call.strPrinter) + " " + Quote(call.strPort));
        const auto& changes = m_spooler->FieldChanges();
        for (std::size_t i = nChangesBefore; i < changes.size(); ++i) Print("fieldchanged " + Quote(changes[i]));
        Print(command + " " + std::to_string(nResult & 0xFF));
    }

    void Show() {
        for (const auto& printer : m_spooler->Printers())
            Print("printer " + Quote(printer.strPrinterName) + " " + Quote(printer.strPortName));
        std::ifstream in(platform::files::HostPath("C:\\~PlugPort.Tmp"), std::ios::binary);
        if (!in) {
            Print("tmpfile absent");
            return;
        }
        Print("tmpfile " + Quote(std::string((std::istreambuf_iterator<char>(in)), {})));
    }

    void ShowCalls() {
        for (const auto& call : m_spooler->Calls()) {
            std::string line = "call " + call.strFunction;
            if (!call.strPrinter.empty()) line += " " + Quote(call.strPrinter);
            if (call.strFunction == "OpenPrinterA") {
                char access[16];
                std::snprintf(access, sizeof access, " 0x%08X", static_cast<unsigned>(call.access));
                line += access;
            }
            if (call.strFunction == "SetPrinterA") line += " " + Quote(call.strPort);
            Print(line + (call.bOk ? " ok" : " failed"));
        }
    }

    std::shared_ptr<platform::spool::CTestSpooler> m_spooler;
    std::vector<std::string> m_aTranscript;
};

int RunScript(const char* pszScript) {
    std::ifstream in(pszScript);
    if (!in) {
        std::cerr << pszScript << ": cannot be read\n";
        return 2;
    }
    CScenario scenario;
    std::vector<std::string> expected;
    bool bExpects = false;
    std::string line;
    for (int nLine = 1; std::getline(in, line); ++nLine) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("expect ", 0) == 0 || line == "expect") {
            expected.push_back(line.size() > 7 ? line.substr(7) : "");
            bExpects = true;
            continue;
        }
        std::vector<std::string> words;
        std::string error;
        if (platform::spool::SplitLine(line, &words, &error) && (words.empty() || words[0][0] == '#')) continue;
        if (error.empty() && scenario.Run(words, &error)) continue;
        std::cerr << pszScript << ":" << nLine << ": " << error << ": " << line << "\n";
        return 2;
    }
    if (!bExpects) return 0;
    const auto& got = scenario.Transcript();
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        std::string strGot = i < got.size() ? got[i] : "(end of transcript)";
        std::string strExpected = i < expected.size() ? expected[i] : "(no more expectations)";
        if (strGot != strExpected) {
            std::cerr << pszScript << ": transcript line " << i + 1 << "\n  expected: " << strExpected
                      << "\n  got:      " << strGot << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: portswitch-scenario SCRIPT\n";
        return 2;
    }
    namespace fs = std::filesystem;
    fs::path prefix = fs::temp_directory_path() / ("kestra-portswitch-" + std::to_string(std::random_device()()));
    platform::SetPrefixRoot(prefix.string());
    int nResult = RunScript(argv[1]);
    std::error_code ec;
    fs::remove_all(prefix, ec);
    return nResult;
}
