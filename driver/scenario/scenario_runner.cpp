#include "driver/scenario/scenario_runner.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "driver/eznus.h"
#include "driver/scenario/script_text.h"
#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/text/quoted_words.h"
#include "platform/usbsim/io_manager.h"
#include "platform/wdm/wdm_test.h"

using namespace platform;
using namespace scenario;

namespace {

struct SBoundedLine {
    CScenarioRunner* pRunner;
    std::vector<std::string> aWords;
    std::vector<std::string> aLines;
    bool bResult = false;
};

}  // namespace

CScenarioRunner::CScenarioRunner(std::ostream& out, long failAt) : m_out(out), m_bCheckExpectations(failAt == 0) {
    clock::UseVirtual();
    m_pSystem = new usbsim::CUsbSystem;
    m_pSystem->LoadFunctionDriver(DriverEntry);
    if (failAt) wdm::FailAllocation(failAt);
}

CScenarioRunner::~CScenarioRunner() {
    delete m_pSystem;
    clock::UseReal();
}

void CScenarioRunner::CollectSystemOutput(std::vector<std::string>* lines) {
    for (auto& line : m_pSystem->TakeBusLog()) lines->push_back("bus " + line);
    for (auto& line : wdm::TakePowerLog()) lines->push_back("po " + line);
    for (auto& text : wdm::TakeDebugLines()) {
        std::string escaped;
        for (char c : text) {
            if (c == '\r') escaped += "\\r";
            else if (c == '\n') escaped += "\\n";
            else escaped += c;
        }
        lines->push_back("dbg " + escaped);
    }
}

DWORD CScenarioRunner::LineThread(LPVOID parameter) {
    auto* line = static_cast<SBoundedLine*>(parameter);
    line->bResult = line->pRunner->Execute(line->aWords, &line->aLines);
    return 0;
}

CScenarioRunner::LineEnd CScenarioRunner::ExecuteBounded(const std::vector<std::string>& words,
                                                         std::vector<std::string>* lines) {
    // Letting the clock run always ends, however long it is asked to run.
    if (!m_nLineLimitMs || words[0] == "advance") return Execute(words, lines) ? LineEnd::Done : LineEnd::Bad;
    // The line keeps its own output until it ends: one left running after
    // the rescue keeps its record, which is then never freed.
    auto* line = new SBoundedLine{this, words, {}, false};
    HANDLE thread = CreateThread(nullptr, 0, LineThread, line, 0, nullptr);
    bool rescued = false;
    if (WaitForSingleObject(thread, m_nLineLimitMs) != WAIT_OBJECT_0) {
        lines->push_back("still running after " + std::to_string(m_nLineLimitMs) + " ms: unplugging every cutter");
        m_pSystem->UnplugAll();
        rescued = true;
        if (WaitForSingleObject(thread, m_nLineLimitMs) != WAIT_OBJECT_0) {
            lines->push_back("the line did not end after the cutters were unplugged");
            return LineEnd::Stuck;
        }
    }
    CloseHandle(thread);
    lines->insert(lines->end(), line->aLines.begin(), line->aLines.end());
    bool done = line->bResult;
    delete line;
    return rescued ? LineEnd::Rescued : done ? LineEnd::Done : LineEnd::Bad;
}

usbsim::CCutterDevice* CScenarioRunner::ModelFor(const std::string& name) {
    if (usbsim::CCutterDevice* model = m_pSystem->Model(name)) return model;
    auto it = m_aPrepared.find(name);
    return it == m_aPrepared.end() ? nullptr : &it->second;
}

bool CScenarioRunner::Configure(usbsim::CCutterDevice* model, const std::map<std::string, std::string>& options) {
    for (auto& [key, text] : options) {
        ULONG value = 0;
        if (key == "endpoints") {
            std::vector<BYTE> endpoints;
            std::string list = text + ",";
            for (size_t at = 0, comma; (comma = list.find(',', at)) != std::string::npos; at = comma + 1) {
                if (comma == at) continue;
                if (!ParseNumber("0x" + list.substr(at, comma - at), &value)) return false;
                endpoints.push_back(static_cast<BYTE>(value));
            }
            model->SetEndpoints(endpoints);
        } else if (!ParseNumber(text, &value)) {
            return false;
        } else if (key == "total-length") {
            model->SetTotalLength(static_cast<USHORT>(value));
        } else if (key == "interfaces") {
            model->SetInterfaceCount(static_cast<UCHAR>(value));
        } else if (key == "start-status") {
            model->AddOutcome(usbsim::UsbTarget::Start, {static_cast<NTSTATUS>(value), 0, 0, false}, 1);
        } else {
            return false;
        }
    }
    return true;
}

bool CScenarioRunner::Expect(const std::string& text, bool wanted) {
    bool found = false;
    for (auto& line : m_aLast)
        if (line.find(text) != std::string::npos) found = true;
    return found == wanted;
}

void CScenarioRunner::Teardown() {
    // Unplugging first fails what the tasks still wait for; removal follows the closes.
    m_pSystem->UnplugAll();
    for (auto& [name, task] : m_aTasks) {
        WaitForSingleObject(task->hThread, INFINITE);
        CloseHandle(task->hThread);
    }
    m_aTasks.clear();
    for (auto& [name, handle] : m_aHandles) iomgr::Close(handle);
    m_aHandles.clear();
    m_pSystem->Shutdown();
    std::vector<std::string> lines;
    CollectSystemOutput(&lines);
    for (auto& line : lines) m_out << "  " << line << "\n";
}

int CScenarioRunner::CheckPool() {
    int result = 0;
    for (auto& tag : wdm::PoolBalance()) {
        if (tag.nBlocks != 0) {
            m_out << "LEAK pool '" << wdm::TagText(tag.nTag) << "' blocks " << tag.nBlocks << " bytes " << tag.nBytes << "\n";
            result = 2;
        }
    }
    return result;
}

int CScenarioRunner::Run(const std::vector<std::string>& script) {
    int lineNumber = 0;
    for (const std::string& line : script) {
        ++lineNumber;
        std::vector<std::string> words = platform::text::SplitKeepingQuotes(line);
        if (words.empty() || words[0][0] == '#') continue;
        if (words[0] == "expect" || words[0] == "expect-not") {
            if (m_bCheckExpectations && !Expect(platform::text::TextAfterFirstWord(line), words[0] == "expect")) {
                m_out << "FAILED line " << lineNumber << ": " << line << "\n";
                ++m_nFailures;
            }
            continue;
        }
        m_out << "> " << line << "\n";
        m_aLast.clear();
        LineEnd end = ExecuteBounded(words, &m_aLast);
        CollectSystemOutput(&m_aLast);
        for (auto& text : m_aLast) m_out << "  " << text << "\n";
        if (end == LineEnd::Stuck) {
            m_out << "STUCK line " << lineNumber << ": " << line << "\n";
            return 3;  // teardown would wait for the stuck line for ever
        }
        if (end == LineEnd::Rescued) break;  // the cutters are gone: the rest of the script means nothing now
        if (end == LineEnd::Bad) {
            m_out << "BAD line " << lineNumber << ": " << line << "\n";
            ++m_nFailures;
        }
    }
    m_out << "> (end of script)\n";
    Teardown();
    int pool = CheckPool();
    if (pool) return pool;
    return m_nFailures && m_bCheckExpectations ? 1 : 0;
}
