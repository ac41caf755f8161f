#include "driver/scenario/scenario_runner.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "driver/eznus.h"
#include "driver/scenario/script_text.h"
#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/usbsim/io_manager.h"
#include "platform/wdm/wdm_test.h"

using namespace platform;
using namespace scenario;

struct CScenarioRunner::STask {
    CScenarioRunner* pRunner;
    std::vector<std::string> aWords;
    std::vector<std::string> aLines;
    HANDLE hThread = nullptr;
};

namespace {

constexpr DWORD kJoinLimitMs = 600000;
constexpr int kSettleTurns = 10000;

DWORD TaskThread(LPVOID parameter) {
    auto* task = static_cast<CScenarioRunner::STask*>(parameter);
    task->pRunner->RunUserCommand(task->aWords, &task->aLines);
    return 0;
}

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

void CScenarioRunner::RunUserCommand(const std::vector<std::string>& words, std::vector<std::string>* lines) {
    const std::string& verb = words[0];
    auto started = sched::Now();
    auto handleOf = [&](const std::string& name) {
        auto it = m_aHandles.find(name);
        return it == m_aHandles.end() ? INVALID_HANDLE_VALUE : it->second;
    };
    auto report = [&](const iomgr::SIoResult& result, const std::vector<BYTE>* data) {
        std::string line = "status " + StatusText(result.nStatus) + " info " + std::to_string(result.nInformation);
        if (data && result.nInformation) line += " data " + DataText(*data, std::min<size_t>(result.nInformation, data->size()));
        lines->push_back(line);
    };
    if (verb == "open" && words.size() == 3) {
        if (m_aHandles.count(words[1])) {
            lines->push_back("bad handle: " + words[1] + " is open");  // reusing it would lose the open one
            return;
        }
        HANDLE handle;
        NTSTATUS status = iomgr::Open(words[2], &handle);
        if (NT_SUCCESS(status)) m_aHandles[words[1]] = handle;
        lines->push_back("status " + StatusText(status));
    } else if (verb == "close" && words.size() == 2) {
        HANDLE handle = handleOf(words[1]);
        m_aHandles.erase(words[1]);
        lines->push_back("status " + StatusText(iomgr::Close(handle)));
    } else if (verb == "read" && words.size() == 3) {
        ULONG length = 0;
        if (!ParseNumber(words[2], &length) || length > kMaxBufferLength) {
            lines->push_back("bad length: " + words[2]);
            return;
        }
        std::vector<BYTE> data(length);
        report(iomgr::Read(handleOf(words[1]), data.data(), length), &data);
    } else if (verb == "write" && words.size() == 3) {
        std::vector<BYTE> data;
        if (words[2] != "-" && !ParseBytes(words[2], &data)) {
            lines->push_back("bad data: " + words[2]);
            return;
        }
        report(iomgr::Write(handleOf(words[1]), data.data(), static_cast<ULONG>(data.size())), nullptr);
    } else if (verb == "ioctl" && words.size() >= 3) {
        ULONG code = 0, outLength = 0;
        std::vector<BYTE> input;
        auto options = Options(words, 3);
        bool ok = ParseNumber(words[2], &code);
        if (options.count("in")) {
            const std::string& in = options["in"];
            if (in.rfind("u32:", 0) == 0) {
                ULONG value = 0;
                ok = ok && ParseNumber(in.substr(4), &value);
                for (int i = 0; i < 4; ++i) input.push_back(static_cast<BYTE>(value >> (8 * i)));
            } else {
                ok = ok && ParseBytes(in, &input);
            }
        }
        if (options.count("out")) ok = ok && ParseNumber(options["out"], &outLength) && outLength <= kMaxBufferLength;
        if (!ok) {
            lines->push_back("bad ioctl line");
            return;
        }
        std::vector<BYTE> output(outLength);
        report(iomgr::Control(handleOf(words[1]), code, input.empty() ? nullptr : input.data(),
                              static_cast<ULONG>(input.size()), outLength ? output.data() : nullptr, outLength),
               &output);
    } else {
        lines->push_back("unknown command: " + verb);
        return;
    }
    lines->push_back("elapsed " + std::to_string(sched::Now() - started) + " ms");
}

bool CScenarioRunner::Execute(const std::vector<std::string>& words, std::vector<std::string>* lines) {
    const std::string& verb = words[0];
    NTSTATUS status = STATUS_SUCCESS;
    if (verb == "cutter" && words.size() >= 2) {
        if (m_pSystem->Model(words[1])) return false;
        if (!Configure(&m_aPrepared[words[1]], Options(words, 2))) return false;
    } else if (verb == "plug" && words.size() >= 2) {
        usbsim::CCutterDevice model;
        auto prepared = m_aPrepared.find(words[1]);
        if (prepared != m_aPrepared.end()) model = prepared->second;
        auto options = Options(words, 2);
        bool attachFails = options.count("attach") && options["attach"] == "fail";
        options.erase("attach");
        if (!Configure(&model, options)) return false;
        usbsim::SPlugResult result{};
        if (!m_pSystem->Plug(words[1], model, attachFails, &result)) return false;
        if (prepared != m_aPrepared.end()) m_aPrepared.erase(prepared);
        lines->push_back("AddDevice " + StatusText(result.nAddStatus));
        if (NT_SUCCESS(result.nAddStatus)) lines->push_back("start " + StatusText(result.nStartStatus));
    } else if (verb == "unplug" && words.size() == 2) {
        if (!m_pSystem->Unplug(words[1])) return false;
    } else if (verb == "pnp" && words.size() == 3) {
        UCHAR minor;
        if (!PnpMinor(words[2], &minor)) return false;
        if (!m_pSystem->SendPnp(words[1], minor, &status)) {
            lines->push_back("no driver on " + words[1]);
            return true;
        }
        lines->push_back("status " + StatusText(status));
    } else if (verb == "system-control" && words.size() == 2) {
        if (!m_pSystem->SendSystemControl(words[1], &status)) {
            lines->push_back("no driver on " + words[1]);
            return true;
        }
        lines->push_back("status " + StatusText(status));
    } else if (verb == "power" && words.size() >= 3) {
        static const std::map<std::string, std::pair<UCHAR, POWER_STATE_TYPE>> kinds = {
            {"set-system", {IRP_MN_SET_POWER, SystemPowerState}},
            {"query-system", {IRP_MN_QUERY_POWER, SystemPowerState}},
            {"set-device", {IRP_MN_SET_POWER, DevicePowerState}},
            {"query-device", {IRP_MN_QUERY_POWER, DevicePowerState}},
            {"wait-wake", {IRP_MN_WAIT_WAKE, SystemPowerState}},
            {"sequence", {IRP_MN_POWER_SEQUENCE, SystemPowerState}}};
        auto kind = kinds.find(words[2]);
        ULONG state = 0;
        if (kind == kinds.end() || (words.size() > 3 && !ParseNumber(words[3], &state))) return false;
        long before = wdm::StartNextPowerCalls();
        if (!m_pSystem->SendPower(words[1], kind->second.first, kind->second.second, state, &status)) {
            lines->push_back("no driver on " + words[1]);
            return true;
        }
        lines->push_back("status " + StatusText(status) + " start-next " +
                         std::to_string(wdm::StartNextPowerCalls() - before));
    } else if (verb == "outcome" && words.size() >= 3) {
        usbsim::CCutterDevice* model = ModelFor(words[1]);
        usbsim::UsbTarget target;
        if (!model || !usbsim::ParseTarget(words[2], &target)) return false;
        auto options = Options(words, 3);
        usbsim::SUsbOutcome outcome;
        ULONG value;
        long count = 1;
        if (options.count("clear")) {
            model->ClearOutcomes(target);
            return true;
        }
        if (options.count("stall")) outcome = {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0, false};
        if (options.count("status") && ParseNumber(options["status"], &value)) outcome.nStatus = static_cast<NTSTATUS>(value);
        if (options.count("usbd") && ParseNumber(options["usbd"], &value)) outcome.nUsbd = static_cast<USBD_STATUS>(value);
        if (options.count("delay") && ParseNumber(options["delay"], &value)) outcome.nDelayMs = value;
        if (options.count("hang")) outcome.bHang = true;
        if (options.count("always")) count = -1;
        if (options.count("count") && ParseNumber(options["count"], &value)) count = static_cast<long>(value);
        model->AddOutcome(target, outcome, count);
    } else if (verb == "data" && words.size() == 4) {
        ULONG pipe;
        std::vector<BYTE> bytes;
        if (!ParseNumber(words[2], &pipe) || !ParseBytes(words[3], &bytes)) return false;
        if (pipe > 3) return false;
        if (m_pSystem->Model(words[1])) {
            m_pSystem->QueueInData(words[1], static_cast<int>(pipe), bytes);
        } else {
            usbsim::CCutterDevice* model = ModelFor(words[1]);
            if (!model) return false;
            model->InData(static_cast<int>(pipe)).insert(model->InData(static_cast<int>(pipe)).end(), bytes.begin(), bytes.end());
        }
    } else if (verb == "reply" && words.size() == 3) {
        usbsim::CCutterDevice* model = ModelFor(words[1]);
        if (!model || !ParseBytes(words[2], &model->ControlReply())) return false;
    } else if (verb == "async" && words.size() >= 3) {
        if (m_aTasks.count(words[1])) return false;  // still running: join it first
        auto task = std::make_unique<STask>();
        task->pRunner = this;
        task->aWords.assign(words.begin() + 2, words.end());
        task->hThread = CreateThread(nullptr, 0, TaskThread, task.get(), 0, nullptr);
        m_aTasks[words[1]] = std::move(task);
    } else if (verb == "join" && words.size() == 2) {
        auto it = m_aTasks.find(words[1]);
        if (it == m_aTasks.end()) return false;
        // A task the driver holds for ever is left to the teardown, which unplugs first.
        if (WaitForSingleObject(it->second->hThread, kJoinLimitMs) != WAIT_OBJECT_0) {
            lines->push_back("task " + words[1] + " still running");
            return true;
        }
        CloseHandle(it->second->hThread);
        lines->insert(lines->end(), it->second->aLines.begin(), it->second->aLines.end());
        m_aTasks.erase(it);
    } else if (verb == "advance" && words.size() == 2) {
        ULONG ms;
        if (!ParseNumber(words[1], &ms)) return false;
        Sleep(ms);
    } else if (verb == "settle" && words.size() == 1) {
        // Each turn runs every task that is ready; a task that never waits would keep the loop going.
        int turns = 0;
        while (sched::YieldToReady()) {
            if (++turns == kSettleTurns) {
                lines->push_back("tasks still running after " + std::to_string(kSettleTurns) + " turns");
                break;
            }
        }
    } else if (verb == "fail-alloc" && words.size() == 2) {
        ULONG nth;
        if (!ParseNumber(words[1], &nth)) return false;
        if (m_bCheckExpectations) wdm::FailAllocation(static_cast<long>(nth));
    } else if (verb == "pool" && words.size() == 1) {
        for (auto& tag : wdm::PoolBalance())
            lines->push_back("pool '" + wdm::TagText(tag.nTag) + "' blocks " + std::to_string(tag.nBlocks) + " bytes " +
                             std::to_string(tag.nBytes));
    } else if (verb == "links" && words.size() == 1) {
        for (int n = 0; n < 10; ++n) {
            std::string name = "\\DosDevices\\EZNUS" + std::to_string(n);
            if (!wdm::LinkExists(name)) continue;
            std::string line = "link " + name + " -> " + wdm::LinkTarget(name);
            if (PDEVICE_OBJECT device = wdm::FindDeviceByLink(name)) {
                char text[48];
                std::snprintf(text, sizeof text, " type 0x%02X flags 0x%08X", static_cast<unsigned>(device->DeviceType),
                              static_cast<unsigned>(device->Flags));
                line += text;
            }
            lines->push_back(line);
        }
    } else if (verb == "open" || verb == "close" || verb == "read" || verb == "write" || verb == "ioctl") {
        RunUserCommand(words, lines);
    } else {
        return false;
    }
    lines->push_back("time " + std::to_string(sched::Now()) + " ms");
    return true;
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
        std::vector<std::string> words = Split(line);
        if (words.empty() || words[0][0] == '#') continue;
        if (words[0] == "expect" || words[0] == "expect-not") {
            std::string text = line.substr(line.find(words[0]) + words[0].size());
            text.erase(0, text.find_first_not_of(" \t"));
            if (m_bCheckExpectations && !Expect(text, words[0] == "expect")) {
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
