#include "tools/cutter_sim/sim_cutter.h"

#include <algorithm>
#include <deque>

#include "platform/base/win_base.h"

namespace cutter_sim {
namespace sched = platform::sched;
namespace sim = platform::sim_serial;
using sched::Millis;

sched::Millis WireTime(std::size_t nBytes) {
    constexpr Millis BITS_PER_BYTE = 10;  // start bit, 8 data bits, stop bit
    constexpr Millis BAUD = 9600;
    return (static_cast<Millis>(nBytes) * BITS_PER_BYTE * 1000 + BAUD - 1) / BAUD;
}

// Under sched::Lock().
struct CSimCutter::LinkState {
    struct Reply {
        Millis nDue;  // when its last byte has crossed the line
        std::string strBytes;
    };

    int nPort = 0;
    bool bAttached = false;
    bool bStop = false;
    bool bOn = true;
    bool bSilent = false;
    Millis nExtraDelay = 0;
    CCutterParser parser;
    CCutterModel model;
    std::deque<Reply> pending;  // in order of nDue
    unsigned nQueued = 0;       // wakes the reply thread
    Millis nHearingUntil = 0;   // the line towards the cutter is busy until then
    Millis nSendingUntil = 0;   // the line back likewise
    ReplyObserver onReply;
    sim::SimObserver chained;
    HANDLE hThread = nullptr;
};

namespace {

using LinkState = CSimCutter::LinkState;

// The program wrote bytes: they cross the line one after another, and each
// reply starts once its command is in, the extra delay is over and the
// previous reply is out.
void Hear(LinkState& link, const std::string& bytes) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    if (!link.bAttached || !link.bOn) return;
    Millis start = std::max(sched::Now(), link.nHearingUntil);
    link.nHearingUntil = start + WireTime(bytes.size());
    bool queued = false;
    for (const CutterCommand& command : link.parser.Feed(bytes)) {
        std::string reply = link.model.Apply(command);
        if (reply.empty() || link.bSilent || link.pending.size() >= CSimCutter::MAX_PENDING_REPLIES) continue;
        Millis heard = start + WireTime(command.nEnd);
        Millis due = std::max(heard + link.nExtraDelay, link.nSendingUntil) + WireTime(reply.size());
        link.nSendingUntil = due;
        link.pending.push_back({due, std::move(reply)});
        queued = true;
    }
    if (queued) {
        ++link.nQueued;
        sched::NotifyLocked();
    }
}

DWORD ReplyThread(LPVOID parameter) {
    LinkState& link = *static_cast<LinkState*>(parameter);
    std::unique_lock<std::mutex> lk(sched::Lock());
    while (!link.bStop) {
        if (!link.pending.empty() && link.pending.front().nDue <= sched::Now()) {
            std::string reply = std::move(link.pending.front().strBytes);
            link.pending.pop_front();
            int port = link.nPort;
            ReplyObserver observer = link.onReply;
            lk.unlock();
            bool delivered = sim::InjectReceived(port, reply);
            if (observer) observer(port, reply, delivered);
            lk.lock();
            continue;
        }
        Millis deadline = link.pending.empty() ? sched::kForever : link.pending.front().nDue;
        unsigned seen = link.nQueued;
        sched::WaitLocked(lk, [&link, seen] { return link.bStop || link.nQueued != seen; }, deadline);
    }
    return 0;
}

}  // namespace

CSimCutter::CSimCutter() : m_pLink(std::make_shared<LinkState>()) {}

CSimCutter::~CSimCutter() { Detach(); }

bool CSimCutter::Attach(int nPort, sim::SimObserver chained) {
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        if (m_pLink->bAttached || m_pLink->hThread) return false;
        m_pLink->nPort = nPort;
        m_pLink->bStop = false;
        m_pLink->bOn = true;
        m_pLink->parser = CCutterParser();
        m_pLink->pending.clear();
        m_pLink->nHearingUntil = m_pLink->nSendingUntil = 0;
        m_pLink->chained = chained;
    }
    HANDLE thread = CreateThread(nullptr, 0, ReplyThread, m_pLink.get(), 0, nullptr);
    if (!thread) return false;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        m_pLink->hThread = thread;
        m_pLink->bAttached = true;
    }
    sim::SimObserver mine = chained;
    std::shared_ptr<LinkState> link = m_pLink;  // a write already under way may still call in after Detach
    mine.onWrite = [link, chained](int n, const std::string& bytes) {
        if (chained.onWrite) chained.onWrite(n, bytes);
        Hear(*link, bytes);
    };
    sim::SetObserver(nPort, mine);
    sim::SetPresence(nPort, sim::SimPresence::LinesUp);
    return true;
}

void CSimCutter::Detach() {
    HANDLE thread;
    int port;
    sim::SimObserver chained;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        if (!m_pLink->bAttached) return;
        m_pLink->bAttached = false;
        m_pLink->bStop = true;
        m_pLink->pending.clear();
        thread = m_pLink->hThread;
        m_pLink->hThread = nullptr;
        port = m_pLink->nPort;
        chained = m_pLink->chained;
        sched::NotifyLocked();
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    sim::SetObserver(port, chained);
    sim::SetPresence(port, sim::SimPresence::NoLines);  // unplugged
}

void CSimCutter::SetOn(bool bOn) {
    int port;
    {
        std::lock_guard<std::mutex> lk(sched::Lock());
        m_pLink->bOn = bOn;
        if (!bOn) {
            m_pLink->pending.clear();
            m_pLink->parser = CCutterParser();
        }
        if (!m_pLink->bAttached) return;
        port = m_pLink->nPort;
    }
    sim::SetPresence(port, bOn ? sim::SimPresence::LinesUp : sim::SimPresence::NoLines);
}

void CSimCutter::SetSilent(bool bSilent) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    m_pLink->bSilent = bSilent;
}

void CSimCutter::SetExtraDelay(Millis nMs) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    m_pLink->nExtraDelay = nMs;
}

void CSimCutter::SetReplyObserver(ReplyObserver observer) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    m_pLink->onReply = std::move(observer);
}

bool CSimCutter::Configure(const std::string& strKey, const std::string& strValue) {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return m_pLink->model.Configure(strKey, strValue);
}

CCutterModel CSimCutter::Model() const {
    std::lock_guard<std::mutex> lk(sched::Lock());
    return m_pLink->model;
}

}  // namespace cutter_sim
