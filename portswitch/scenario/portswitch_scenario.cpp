// portswitch-scenario [--count-calls | --fail-call N [--give-up]] SCRIPT: runs
// UnPlug and RePlug against the test spooler in a fresh prefix and prints a
// transcript; with `expect` lines in the script the transcript must be exactly
// those lines. --fail-call runs the script once as it is and once with the Nth
// call to the outside failing, and checks that nothing is lost. The format is
// in README.md.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/base/devices.h"
#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/files/win_files.h"
#include "platform/text/quoted_words.h"
#include "platform/text/transcript.h"
#include "platform/text/verb_table.h"
#include "platform/spool/test_spooler.h"
#include "platform/spool/winspool.h"
#include "portswitch/scenario/call_sweep.h"
#include "portswitch/unplug_zbk_usb.h"

namespace {

using platform::text::Quote;
using Words = std::vector<std::string>;

struct SweepOptions {
    CCallSweep* pSweep = nullptr;      // counts (and may fail) the library's calls
    bool bQuiet = false;               // no transcript on stdout
    bool bGiveUp = false;              // after a failed UnPlug, RePlug instead of trying again
    std::vector<int> aHealthyResults;  // each script call's result when nothing fails
};

class CScenario {
public:
    explicit CScenario(const SweepOptions& options)
        : m_spooler(std::make_shared<platform::spool::CTestSpooler>()), m_options(options) {
        platform::spool::UseSpooler(m_spooler);
        platform::files::InstallDriveFiles();
    }

    // False with *pError for a line it cannot run.
    bool Run(const Words& words, std::string* pError);

    const std::vector<std::string>& Transcript() const { return m_aTranscript; }
    // What went wrong whatever the expectations: a handle or block left over,
    // a field other than the port changed, a failure reported as success.
    const std::vector<std::string>& Problems() const { return m_aProblems; }
    // The result of each unplug and replug line of the script.
    const std::vector<int>& Results() const { return m_aResults; }
    // The printers and the temporary file as `show` prints them.
    std::vector<std::string> State() const {
        std::vector<std::string> state;
        for (const auto& printer : m_spooler->Printers())
            state.push_back("printer " + Quote(printer.strPrinterName) + " " + Quote(printer.strPortName));
        std::ifstream in(platform::files::HostPath("C:\\~PlugPort.Tmp"), std::ios::binary);
        state.push_back(in ? "tmpfile " + Quote(std::string((std::istreambuf_iterator<char>(in)), {})) : "tmpfile absent");
        return state;
    }

private:
    using SVerb = platform::text::SVerb<bool (CScenario::*)(const Words&, std::string*)>;
    static const SVerb kVerbs[];

    bool DoPrinter(const Words& words, std::string*) {
        if (!m_spooler->MovePrinter(words[1], words[2])) m_spooler->AddPrinter(words[1], words[2]);
        return true;
    }

    bool DoFail(const Words& words, std::string* pError) {
        const std::string what = words.size() > 1 ? words[1] : "";
        if (words.size() == 3 && what == "open") m_spooler->FailOpen(words[2]);
        else if (words.size() == 3 && what == "set") m_spooler->FailSet(words[2]);
        else if (words.size() == 2 && what == "enum") m_spooler->FailEnumerate();
        else if (words.size() == 2 && what == "alloc") platform::test::FailLocalAllocAfter(0);
        else if (words.size() == 3 && what == "delete") platform::files::test::FailDelete(words[2], ERROR_ACCESS_DENIED);
        else if (words.size() == 4 && (what == "fileopen" || what == "read" || what == "write")) return FailFile(words, pError);
        else return false;
        return true;
    }

    bool FailFile(const Words& words, std::string* pError) {
        int nth = std::atoi(words[3].c_str());
        if (nth < 1) return Refuse("the count must be 1 or more", pError);
        if (words[1] == "fileopen") platform::files::test::FailOpen(words[2], nth, ERROR_ACCESS_DENIED);
        else if (words[1] == "read") platform::files::test::FailRead(words[2], nth, ERROR_READ_FAULT);
        else platform::files::test::FailWrite(words[2], nth, ERROR_DISK_FULL);
        return true;
    }

    bool DoFile(const Words& words, std::string* pError) { return PutFile(words[1], words[2], pError); }

    bool DoCall(const Words& words, std::string*) {
        ScriptCall(words[0]);
        return true;
    }

    bool DoShow(const Words&, std::string*) {
        Show();
        return true;
    }

    bool DoCalls(const Words&, std::string*) {
        ShowCalls();
        return true;
    }

    static bool Refuse(const std::string& reason, std::string* pError) {
        *pError = reason;
        return false;
    }

    void Print(const std::string& line) {
        if (!m_options.bQuiet) std::cout << line << "\n";
        m_aTranscript.push_back(line);
    }

    bool PutFile(const std::string& path, const std::string& bytes, std::string* pError) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD done = 0;
        bool bOk = h != INVALID_HANDLE_VALUE && WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return bOk || Refuse("cannot write " + path + " (error " + std::to_string(GetLastError()) + ")", pError);
    }

    // An unplug or replug line. When the sweep's fault strikes in it, the call
    // must report 0, and the user's next step follows at once: the same call
    // again (it must then give the result it gives when nothing fails), or,
    // with --give-up after a failed UnPlug, RePlug.
    void ScriptCall(const std::string& command) {
        std::size_t nIndex = m_aResults.size();
        bool bStruckBefore = m_options.pSweep && m_options.pSweep->Struck();
        int nResult = Call(command);
        m_aResults.push_back(nResult);
        if (bStruckBefore || !m_options.pSweep || !m_options.pSweep->Struck()) return;
        std::string strFailed = m_options.pSweep->FailedPoint();
        if (nResult != 0) Problem(command + " reported 1 although " + strFailed + " failed");
        if (m_options.bGiveUp && command == "unplug") {
            Call("replug");
            return;
        }
        int nAgain = Call(command);
        if (nIndex < m_options.aHealthyResults.size() && nAgain != m_options.aHealthyResults[nIndex])
            Problem(command + " again after " + strFailed + " failed gave " + std::to_string(nAgain) + ", not " +
                    std::to_string(m_options.aHealthyResults[nIndex]));
    }

    int Call(const std::string& command) {
        m_spooler->ClearCalls();
        std::size_t nChangesBefore = m_spooler->FieldChanges().size();
        long nBlocksBefore = platform::test::LocalBlocksInUse();
        bool bStruckBefore = m_options.pSweep && m_options.pSweep->Struck();
        if (m_options.pSweep) m_options.pSweep->Arm(true);
        BYTE nResult = command == "unplug" ? UnPlug() : RePlug();
        if (m_options.pSweep) m_options.pSweep->Arm(false);
        if (!bStruckBefore && m_options.pSweep && m_options.pSweep->Struck())
            Print("failed " + m_options.pSweep->FailedPoint());
        for (const auto& call : m_spooler->Calls())
            if (call.strFunction == "SetPrinterA") Print("setprinter " + Quote(call.strPrinter) + " " + Quote(call.strPort));
        const auto& changes = m_spooler->FieldChanges();
        for (std::size_t i = nChangesBefore; i < changes.size(); ++i) {
            Print("fieldchanged " + Quote(changes[i]));
            Problem(command + " changed " + changes[i]);
        }
        Print(command + " " + std::to_string(nResult & 0xFF));
        if (int n = m_spooler->OpenHandles()) Problem(command + " left " + std::to_string(n) + " printer handle(s) open");
        if (long n = platform::test::LocalBlocksInUse() - nBlocksBefore)
            Problem(command + " left " + std::to_string(n) + " LocalAlloc block(s)");
        if (std::size_t n = platform::files::test::OpenFileCount())
            Problem(command + " left " + std::to_string(n) + " file(s) open");
        return nResult & 0xFF;
    }

    void Problem(const std::string& problem) { m_aProblems.push_back(problem); }

    void Show() {
        for (const auto& line : State()) Print(line);
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
    const SweepOptions& m_options;
    std::vector<std::string> m_aTranscript;
    std::vector<std::string> m_aProblems;
    std::vector<int> m_aResults;
};

const CScenario::SVerb CScenario::kVerbs[] = {
    {"printer", 3, 3, &CScenario::DoPrinter, "printer NAME PORT"},
    {"fail", 2, 4, &CScenario::DoFail,
     "fail open|set|delete NAME, fail enum|alloc, or fail fileopen|read|write PATH N"},
    {"file", 3, 3, &CScenario::DoFile, "file PATH BYTES"},
    {"unplug", 1, 1, &CScenario::DoCall, "unplug"},
    {"replug", 1, 1, &CScenario::DoCall, "replug"},
    {"show", 1, 1, &CScenario::DoShow, "show"},
    {"calls", 1, 1, &CScenario::DoCalls, "calls"},
};

bool CScenario::Run(const Words& words, std::string* pError) { return platform::text::RunVerb(this, kVerbs, words, pError); }

// Runs the script's lines: 0; 1 when bCheck and the transcript differs from
// the expectations; 2 for a script that cannot be run.
int RunScript(const char* pszScript, CScenario* pScenario, bool bCheck) {
    std::ifstream in(pszScript);
    if (!in) {
        std::cerr << pszScript << ": cannot be read\n";
        return 2;
    }
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
        if (platform::text::SplitLine(line, &words, &error) && (words.empty() || words[0][0] == '#')) continue;
        if (error.empty() && pScenario->Run(words, &error)) continue;
        std::cerr << pszScript << ":" << nLine << ": " << error << ": " << line << "\n";
        return 2;
    }
    if (!bCheck || !bExpects) return 0;
    std::string mismatch = platform::text::TranscriptMismatch(pScenario->Transcript(), expected);
    if (mismatch.empty()) return 0;
    std::cerr << pszScript << ": " << mismatch << "\n";
    return 1;
}

// 1 after printing the problems, 0 when there are none.
int Report(const char* pszScript, const std::vector<std::string>& problems) {
    for (const auto& problem : problems) std::cerr << pszScript << ": " << problem << "\n";
    return problems.empty() ? 0 : 1;
}

// The script as it is; with bCount it also lists the calls that can fail.
int RunAsWritten(const char* pszScript, bool bCount) {
    std::optional<CCallSweep> sweep;
    SweepOptions options;
    if (bCount) options.pSweep = &sweep.emplace(0);
    CScenario scenario(options);
    int nResult = RunScript(pszScript, &scenario, true);
    if (nResult == 2) return 2;
    if (bCount) {
        const auto& points = sweep->Points();
        for (std::size_t i = 0; i < points.size(); ++i) std::cout << "point " << i + 1 << " " << points[i] << "\n";
        std::cout << "calls " << points.size() << "\n";
    }
    return std::max(nResult, Report(pszScript, scenario.Problems()));
}

// The script once as it is, then again with call nFailAt failing: the second
// run must leave the printers and the file as the first did.
int RunWithFault(const char* pszScript, int nFailAt, bool bGiveUp, const std::string& strPrefix) {
    platform::SetPrefixRoot(strPrefix + "/healthy");
    SweepOptions healthyOptions;
    healthyOptions.bQuiet = true;
    CScenario healthy(healthyOptions);
    if (int nResult = RunScript(pszScript, &healthy, false)) return nResult;
    if (Report(pszScript, healthy.Problems())) return 1;
    std::vector<std::string> expected = healthy.State();

    platform::SetPrefixRoot(strPrefix + "/faulted");
    CCallSweep sweep(nFailAt);
    SweepOptions options;
    options.pSweep = &sweep;
    options.bGiveUp = bGiveUp;
    options.aHealthyResults = healthy.Results();
    CScenario faulted(options);
    if (int nResult = RunScript(pszScript, &faulted, false)) return nResult;
    if (!sweep.Struck()) {
        std::cerr << pszScript << ": makes only " << sweep.Points().size() << " calls that can fail\n";
        return 2;
    }
    std::vector<std::string> problems = faulted.Problems();
    std::vector<std::string> got = faulted.State();
    for (std::size_t i = 0; i < std::max(got.size(), expected.size()); ++i) {
        std::string strGot = i < got.size() ? got[i] : "(nothing)";
        std::string strExpected = i < expected.size() ? expected[i] : "(nothing)";
        if (strGot != strExpected)
            problems.push_back("after " + sweep.FailedPoint() + " failed: " + strGot + ", not " + strExpected);
    }
    return Report(pszScript, problems);
}

}  // namespace

int main(int argc, char** argv) {
    bool bCount = false;
    bool bGiveUp = false;
    int nFailAt = 0;
    const char* pszScript = nullptr;
    bool bUsage = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--count-calls") bCount = true;
        else if (arg == "--give-up") bGiveUp = true;
        else if (arg == "--fail-call" && i + 1 < argc) nFailAt = std::atoi(argv[++i]);
        else if (!pszScript && arg.rfind("--", 0) != 0) pszScript = argv[i];
        else bUsage = true;
    }
    if (bUsage || !pszScript || (bCount && nFailAt) || (bGiveUp && nFailAt < 1) || (nFailAt < 0)) {
        std::cerr << "usage: portswitch-scenario [--count-calls | --fail-call N [--give-up]] SCRIPT\n";
        return 2;
    }
    namespace fs = std::filesystem;
    fs::path prefix = fs::temp_directory_path() / ("kestra-portswitch-" + std::to_string(std::random_device()()));
    platform::SetPrefixRoot(prefix.string());
    int nResult = nFailAt ? RunWithFault(pszScript, nFailAt, bGiveUp, prefix.string()) : RunAsWritten(pszScript, bCount);
    std::error_code ec;
    fs::remove_all(prefix, ec);
    return nResult;
}
