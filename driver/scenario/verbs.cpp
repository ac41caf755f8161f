// The script's commands: each verb with the number of words it takes, its
// handler and the usage printed when a line does not fit it.
#include <cstdio>
#include <map>
#include <memory>

#include "driver/scenario/scenario_runner.h"
#include "driver/scenario/script_text.h"
#include "platform/base/scheduler.h"
#include "platform/base/win_base.h"
#include "platform/usbsim/io_manager.h"
#include "platform/wdm/wdm_test.h"

using namespace platform;
using namespace scenario;

namespace {

constexpr DWORD kJoinLimitMs = 600000;
constexpr int kSettleTurns = 10000;
constexpr size_t kAnyCount = platform::text::kAnyWordCount;

DWORD TaskThread(LPVOID parameter) {
    auto* task = static_cast<CScenarioRunner::STask*>(parameter);
    task->pRunner->RunUserCommand(task->aWords, &task->aLines);
    return 0;
}

}  // namespace

// User-mode commands, which also run as tasks; a handler that refuses its
// words says why in the output and returns false.
const CScenarioRunner::SVerb CScenarioRunner::kUserVerbs[] = {
    {"open", 3, 3, &CScenarioRunner::UserOpen, "open H PATH"},
    {"close", 2, 2, &CScenarioRunner::UserClose, "close H"},
    {"read", 3, 3, &CScenarioRunner::UserRead, "read H LEN"},
    {"write", 3, 3, &CScenarioRunner::UserWrite, "write H BYTES"},
    {"ioctl", 3, kAnyCount, &CScenarioRunner::UserIoctl, "ioctl H CODE [in=BYTES] [in=u32:N] [out=N]"},
};

// The script's own commands; a handler returns false for a line it cannot run.
const CScenarioRunner::SVerb CScenarioRunner::kVerbs[] = {
    {"cutter", 2, kAnyCount, &CScenarioRunner::DoCutter,
     "cutter NAME [endpoints=01,82,...] [total-length=N] [interfaces=N] [start-status=S]"},
    {"plug", 2, kAnyCount, &CScenarioRunner::DoPlug, "plug NAME [cutter options] [attach=fail]"},
    {"unplug", 2, 2, &CScenarioRunner::DoUnplug, "unplug NAME"},
    {"pnp", 3, 3, &CScenarioRunner::DoPnp, "pnp NAME MINOR"},
    {"system-control", 2, 2, &CScenarioRunner::DoSystemControl, "system-control NAME"},
    {"power", 3, kAnyCount, &CScenarioRunner::DoPower, "power NAME KIND [STATE]"},
    {"outcome", 3, kAnyCount, &CScenarioRunner::DoOutcome,
     "outcome NAME TARGET [status=S] [usbd=U] [delay=MS] [hang] [stall] [count=N] [always] | clear"},
    {"data", 4, 4, &CScenarioRunner::DoData, "data NAME PIPE BYTES"},
    {"reply", 3, 3, &CScenarioRunner::DoReply, "reply NAME BYTES"},
    {"async", 3, kAnyCount, &CScenarioRunner::DoAsync, "async TASK COMMAND..."},
    {"join", 2, 2, &CScenarioRunner::DoJoin, "join TASK"},
    {"advance", 2, 2, &CScenarioRunner::DoAdvance, "advance MS"},
    {"settle", 1, 1, &CScenarioRunner::DoSettle, "settle"},
    {"fail-alloc", 2, 2, &CScenarioRunner::DoFailAlloc, "fail-alloc N"},
    {"pool", 1, 1, &CScenarioRunner::DoPool, "pool"},
    {"links", 1, 1, &CScenarioRunner::DoLinks, "links"},
};

void CScenarioRunner::RunUserCommand(const Words& words, Lines* lines) {
    const SVerb* verb = text::FindVerb(kUserVerbs, words[0]);
    if (!verb) {
        lines->push_back("unknown command: " + words[0]);
        return;
    }
    if (!verb->Fits(words)) {
        lines->push_back(verb->Usage());
        return;
    }
    auto started = sched::Now();
    if (!(this->*verb->pHandler)(words, lines)) return;
    lines->push_back("elapsed " + std::to_string(sched::Now() - started) + " ms");
}

bool CScenarioRunner::Execute(const Words& words, Lines* lines) {
    if (text::FindVerb(kUserVerbs, words[0])) {
        RunUserCommand(words, lines);
    } else if (const SVerb* verb = text::FindVerb(kVerbs, words[0])) {
        if (!verb->Fits(words) || !(this->*verb->pHandler)(words, lines)) {
            lines->push_back(verb->Usage());
            return false;
        }
    } else {
        lines->push_back("unknown command: " + words[0]);
        return false;
    }
    lines->push_back("time " + std::to_string(sched::Now()) + " ms");
    return true;
}

HANDLE CScenarioRunner::HandleOf(const std::string& name) const {
    auto it = m_aHandles.find(name);
    return it == m_aHandles.end() ? INVALID_HANDLE_VALUE : it->second;
}

void CScenarioRunner::Report(const iomgr::SIoResult& result, const std::vector<BYTE>* data, Lines* lines) {
    std::string line = "status " + StatusText(result.nStatus) + " info " + std::to_string(result.nInformation);
    if (data && result.nInformation) line += " data " + DataText(*data, std::min<size_t>(result.nInformation, data->size()));
    lines->push_back(line);
}

bool CScenarioRunner::UserOpen(const Words& words, Lines* lines) {
    if (m_aHandles.count(words[1])) {
        lines->push_back("bad handle: " + words[1] + " is open");  // reusing it would lose the open one
        return false;
    }
    HANDLE handle;
    NTSTATUS status = iomgr::Open(words[2], &handle);
    if (NT_SUCCESS(status)) m_aHandles[words[1]] = handle;
    lines->push_back("status " + StatusText(status));
    return true;
}

bool CScenarioRunner::UserClose(const Words& words, Lines* lines) {
    HANDLE handle = HandleOf(words[1]);
    m_aHandles.erase(words[1]);
    lines->push_back("status " + StatusText(iomgr::Close(handle)));
    return true;
}

bool CScenarioRunner::UserRead(const Words& words, Lines* lines) {
    ULONG length = 0;
    if (!ParseNumber(words[2], &length) || length > kMaxBufferLength) {
        lines->push_back("bad length: " + words[2]);
        return false;
    }
    std::vector<BYTE> data(length);
    Report(iomgr::Read(HandleOf(words[1]), data.data(), length), &data, lines);
    return true;
}

bool CScenarioRunner::UserWrite(const Words& words, Lines* lines) {
    std::vector<BYTE> data;
    if (words[2] != "-" && !ParseBytes(words[2], &data)) {
        lines->push_back("bad data: " + words[2]);
        return false;
    }
    Report(iomgr::Write(HandleOf(words[1]), data.data(), static_cast<ULONG>(data.size())), nullptr, lines);
    return true;
}

bool CScenarioRunner::UserIoctl(const Words& words, Lines* lines) {
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
        return false;
    }
    std::vector<BYTE> output(outLength);
    Report(iomgr::Control(HandleOf(words[1]), code, input.empty() ? nullptr : input.data(),
                          static_cast<ULONG>(input.size()), outLength ? output.data() : nullptr, outLength),
           &output, lines);
    return true;
}

bool CScenarioRunner::DoCutter(const Words& words, Lines*) {
    if (m_pSystem->Model(words[1])) return false;
    return Configure(&m_aPrepared[words[1]], Options(words, 2));
}

bool CScenarioRunner::DoPlug(const Words& words, Lines* lines) {
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
    return true;
}

bool CScenarioRunner::DoUnplug(const Words& words, Lines*) { return m_pSystem->Unplug(words[1]); }

bool CScenarioRunner::DoPnp(const Words& words, Lines* lines) {
    UCHAR minor;
    NTSTATUS status = STATUS_SUCCESS;
    if (!PnpMinor(words[2], &minor)) return false;
    if (!m_pSystem->SendPnp(words[1], minor, &status)) lines->push_back("no driver on " + words[1]);
    else lines->push_back("status " + StatusText(status));
    return true;
}

bool CScenarioRunner::DoSystemControl(const Words& words, Lines* lines) {
    NTSTATUS status = STATUS_SUCCESS;
    if (!m_pSystem->SendSystemControl(words[1], &status)) lines->push_back("no driver on " + words[1]);
    else lines->push_back("status " + StatusText(status));
    return true;
}

bool CScenarioRunner::DoPower(const Words& words, Lines* lines) {
    static const std::map<std::string, std::pair<UCHAR, POWER_STATE_TYPE>> kinds = {
        {"set-system", {IRP_MN_SET_POWER, SystemPowerState}},
        {"query-system", {IRP_MN_QUERY_POWER, SystemPowerState}},
        {"set-device", {IRP_MN_SET_POWER, DevicePowerState}},
        {"query-device", {IRP_MN_QUERY_POWER, DevicePowerState}},
        {"wait-wake", {IRP_MN_WAIT_WAKE, SystemPowerState}},
        {"sequence", {IRP_MN_POWER_SEQUENCE, SystemPowerState}}};
    auto kind = kinds.find(words[2]);
    ULONG state = 0;
    NTSTATUS status = STATUS_SUCCESS;
    if (kind == kinds.end() || (words.size() > 3 && !ParseNumber(words[3], &state))) return false;
    long before = wdm::StartNextPowerCalls();
    if (!m_pSystem->SendPower(words[1], kind->second.first, kind->second.second, state, &status)) {
        lines->push_back("no driver on " + words[1]);
        return true;
    }
    lines->push_back("status " + StatusText(status) + " start-next " +
                     std::to_string(wdm::StartNextPowerCalls() - before));
    return true;
}

bool CScenarioRunner::DoOutcome(const Words& words, Lines*) {
    usbsim::CCutterDevice* model = ModelFor(words[1]);
    usbsim::UsbTarget target;
    if (!model || !usbsim::ParseTarget(words[2], &target)) return false;
    auto options = Options(words, 3);
    if (options.count("clear")) {
        model->ClearOutcomes(target);
        return true;
    }
    usbsim::SUsbOutcome outcome;
    ULONG value;
    long count = 1;
    if (options.count("stall")) outcome = {STATUS_UNSUCCESSFUL, USBD_STATUS_STALL_PID, 0, false};
    if (options.count("status") && ParseNumber(options["status"], &value)) outcome.nStatus = static_cast<NTSTATUS>(value);
    if (options.count("usbd") && ParseNumber(options["usbd"], &value)) outcome.nUsbd = static_cast<USBD_STATUS>(value);
    if (options.count("delay") && ParseNumber(options["delay"], &value)) outcome.nDelayMs = value;
    if (options.count("hang")) outcome.bHang = true;
    if (options.count("always")) count = -1;
    if (options.count("count") && ParseNumber(options["count"], &value)) count = static_cast<long>(value);
    model->AddOutcome(target, outcome, count);
    return true;
}

bool CScenarioRunner::DoData(const Words& words, Lines*) {
    ULONG pipe;
    std::vector<BYTE> bytes;
    if (!ParseNumber(words[2], &pipe) || !ParseBytes(words[3], &bytes) || pipe > 3) return false;
    if (m_pSystem->Model(words[1])) {
        m_pSystem->QueueInData(words[1], static_cast<int>(pipe), bytes);
        return true;
    }
    usbsim::CCutterDevice* model = ModelFor(words[1]);
    if (!model) return false;
    auto& queued = model->InData(static_cast<int>(pipe));
    queued.insert(queued.end(), bytes.begin(), bytes.end());
    return true;
}

bool CScenarioRunner::DoReply(const Words& words, Lines*) {
    usbsim::CCutterDevice* model = ModelFor(words[1]);
    return model && ParseBytes(words[2], &model->ControlReply());
}

bool CScenarioRunner::DoAsync(const Words& words, Lines*) {
    if (m_aTasks.count(words[1])) return false;  // still running: join it first
    auto task = std::make_unique<STask>();
    task->pRunner = this;
    task->aWords.assign(words.begin() + 2, words.end());
    task->hThread = CreateThread(nullptr, 0, TaskThread, task.get(), 0, nullptr);
    m_aTasks[words[1]] = std::move(task);
    return true;
}

bool CScenarioRunner::DoJoin(const Words& words, Lines* lines) {
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
    return true;
}

bool CScenarioRunner::DoAdvance(const Words& words, Lines*) {
    ULONG ms;
    if (!ParseNumber(words[1], &ms)) return false;
    Sleep(ms);
    return true;
}

bool CScenarioRunner::DoSettle(const Words&, Lines* lines) {
    // Each turn runs every task that is ready; a task that never waits would keep the loop going.
    int turns = 0;
    while (sched::YieldToReady()) {
        if (++turns == kSettleTurns) {
            lines->push_back("tasks still running after " + std::to_string(kSettleTurns) + " turns");
            break;
        }
    }
    return true;
}

bool CScenarioRunner::DoFailAlloc(const Words& words, Lines*) {
    ULONG nth;
    if (!ParseNumber(words[1], &nth)) return false;
    if (m_bCheckExpectations) wdm::FailAllocation(static_cast<long>(nth));
    return true;
}

bool CScenarioRunner::DoPool(const Words&, Lines* lines) {
    for (auto& tag : wdm::PoolBalance())
        lines->push_back("pool '" + wdm::TagText(tag.nTag) + "' blocks " + std::to_string(tag.nBlocks) + " bytes " +
                         std::to_string(tag.nBytes));
    return true;
}

bool CScenarioRunner::DoLinks(const Words&, Lines* lines) {
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
    return true;
}
