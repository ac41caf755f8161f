#include "tools/soak/soak_panel.h"

#include <algorithm>
#include <cstdio>

#include "panel/app/panel_dlg.h"
#include "panel/resources/resource.h"
#include "platform/ui/window_core.h"

namespace ui = platform::ui;
namespace sched = platform::sched;

namespace {

constexpr sched::Millis STEP_MS = 100;  // the soak looks at the panel this often
constexpr size_t GARBLED_SAMPLES = 3;
constexpr size_t NOTED_DROPS = 256;  // room made at the start (10 KB); a longer run's notes grow the heap
// A reply read just before a drop is shown within milliseconds; later ones came after it.
constexpr auto DROP_GRACE = std::chrono::milliseconds(500);
// The labels a reply OR1 writes, in the order of expected texts.
constexpr int OR1_LABELS[] = {IDC_FORCE,  IDC_OFFSET,      IDC_MEDIA_WEIGHT, IDC_QUALITY,
                              IDC_SMOOTH, IDC_AUTO_UNROLL, IDC_MEDIA_TYPE};

HWND Panel() { return g_pPanelDlg ? g_pPanelDlg->m_hWnd : nullptr; }

// Line breaks and other control bytes spelled out, so that a text stays on one line.
std::string OneLine(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c < 32 || c >= 127) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

}  // namespace

CSoakBackend::CSoakBackend(CSimProcess& sim, SoakTimes times, const std::string* aExpected)
    : m_sim(sim), m_times(times), m_aExpected(aExpected), m_nLastStep(SoakClock::now().time_since_epoch().count()),
      m_nDialogThread(GetCurrentThreadId()) {
    // Room made now, so that the heap at the end counts the panel's growth, not the soak's own notes.
    m_report.aDrops.reserve(NOTED_DROPS);
    m_report.aGarbledSamples.reserve(GARBLED_SAMPLES);
}

void CSoakBackend::Wait(sched::Millis deadline) {
    sched::YieldToReady();
    if (GetCurrentThreadId() == m_nDialogThread) {
        m_nLastStep.store(SoakClock::now().time_since_epoch().count());
        if (m_nDepth == 0 && ui::ActiveModal()) {
            ++m_nDepth;
            Step();
            --m_nDepth;
        } else {
            AnswerBoxes();  // a press is under way, and its handler shows a box
        }
        if (m_ePhase != Phase::Done) deadline = std::min(deadline, sched::Now() + STEP_MS);
    }
    ui::WaitForQueue(deadline);
}

void CSoakBackend::WindowChanged(ui::Window& w) {
    // The size labels are written last by every refresh, so the others are written by now.
    if (w.id != IDC_SIZE_Y || w.parent != Panel() || m_ePhase == Phase::Start) return;
    bool correct = true;
    std::string shown;
    for (size_t i = 0; i < std::size(OR1_LABELS); ++i) {
        ui::Window* label = ui::FindWindow(GetDlgItem(Panel(), OR1_LABELS[i]));
        correct = correct && label && label->text == m_aExpected[i];
        shown += (i ? " | " : "") + OneLine(label ? label->text : "");
    }
    std::lock_guard<std::mutex> lk(m_lock);
    ++m_report.nRefreshes;
    if (correct) {
        ++m_report.nCorrect;
        m_report.nPutRight += m_bLastGarbled;
        m_lastCorrect = SoakClock::now();
    } else {
        ++m_report.nGarbledShown;
        if (m_report.aGarbledSamples.size() < GARBLED_SAMPLES) m_report.aGarbledSamples.push_back(shown);
    }
    m_bLastGarbled = !correct;
}

SoakReport CSoakBackend::Report() const {
    std::lock_guard<std::mutex> lk(m_lock);
    return m_report;
}

double CSoakBackend::Since(SoakClock::time_point t) const {
    return std::chrono::duration<double>(t - m_started).count();
}

void CSoakBackend::AnswerBoxes() {
    HWND box = ui::ActiveModal();
    ui::Window* w = ui::FindWindow(box);
    if (!w || w->kind != ui::WindowKind::MessageBox || w->threadId != m_nDialogThread) return;
    {
        std::lock_guard<std::mutex> lk(m_lock);
        ++m_report.aBoxes[OneLine(w->text)];
    }
    if (!ui::AnswerBox(box, IDOK)) ui::AnswerBox(box, IDCANCEL);
}

void CSoakBackend::Press(int id, const char* doing) {
    {
        std::lock_guard<std::mutex> lk(m_lock);
        m_report.strDoing = doing;
    }
    ui::ClickControl(GetDlgItem(Panel(), id), false);
    std::lock_guard<std::mutex> lk(m_lock);
    m_report.strDoing = "watching the labels";
}

// A drop while the labels are still stale from the last one ends that one unrecovered.
void CSoakBackend::TakeDrops() {
    for (const CSimProcess::Drop& drop : m_sim.TakeDrops()) {
        if (m_ePhase != Phase::Looping && m_ePhase != Phase::Stale && m_ePhase != Phase::Reconnecting) continue;
        if (m_ePhase != Phase::Looping) Finish(false);
        std::lock_guard<std::mutex> lk(m_lock);
        m_report.aDrops.push_back({});
        m_report.aDrops.back().dDropAtS = Since(drop.at);
        m_dropAt = drop.at;
        m_ePhase = Phase::Stale;
    }
}

void CSoakBackend::Finish(bool bRecovered) {
    std::lock_guard<std::mutex> lk(m_lock);
    DropEpisode& d = m_report.aDrops.back();
    if (bRecovered) {
        d.bSelfRecovered = d.nUserReconnects == 0;
        d.dRecoveredAfterS = std::chrono::duration<double>(m_lastCorrect - m_dropAt).count();
        if (d.nUserReconnects) d.dAfterReconnectS = std::chrono::duration<double>(m_lastCorrect - m_pressedAt).count();
        d.nHeapBytes = MeasureResources().nHeapBytes;
    }
    m_ePhase = Phase::Looping;
}

void CSoakBackend::Step() {
    AnswerBoxes();
    TakeDrops();
    SoakClock::time_point now = SoakClock::now();
    auto reconnect = [&] {
        {
            std::lock_guard<std::mutex> lk(m_lock);
            if (!m_report.aDrops.empty() && m_ePhase != Phase::FirstLabels) ++m_report.aDrops.back().nUserReconnects;
        }
        m_pressedAt = now;
        Press(IDC_DIS_DETECT, "pressing DisDetect (its handler has not returned)");
        Press(IDC_LOOP_DETECT, "pressing Loop Detect (its handler has not returned)");
    };
    bool overtime = now - m_started > m_times.run + m_times.stale + 3 * m_times.recovery;
    switch (m_ePhase) {
    case Phase::Start:
        m_pressedAt = now;
        Press(IDC_LOOP_DETECT, "pressing Loop Detect for the first time (its handler has not returned)");
        m_ePhase = Phase::FirstLabels;
        break;
    case Phase::FirstLabels:
        if (m_lastCorrect > m_pressedAt) {
            std::lock_guard<std::mutex> lk(m_lock);
            m_report.start = MeasureResources();
            m_report.bStartKnown = true;
            m_started = now;  // the run counts from the first labels
            m_ePhase = Phase::Looping;
        } else if (now - m_pressedAt > m_times.recovery) {
            reconnect();
        }
        break;
    case Phase::Stale:
        if (m_lastCorrect > m_dropAt + DROP_GRACE) {
            Finish(true);
        }
        else if (now - m_dropAt > m_times.stale) {
            reconnect();
            m_ePhase = Phase::Reconnecting;
        }
        break;
    case Phase::Reconnecting:
        if (m_lastCorrect > m_pressedAt)
            Finish(true);
        else if (now - m_pressedAt > m_times.recovery)
            reconnect();
        break;
    case Phase::Looping:
    case Phase::Done: break;
    }
    // The end is measured in the state the start was, looping with correct
    // labels, unless a drop is still unrecovered when the time is up.
    bool timeUp = m_ePhase == Phase::Looping && now - m_started >= m_times.run;
    if (timeUp || (overtime && m_ePhase != Phase::Done)) {
        {
            std::lock_guard<std::mutex> lk(m_lock);
            m_report.end = MeasureResources();
            m_report.bEndKnown = true;
        }
        m_ePhase = Phase::Done;
        Press(IDC_DIS_DETECT, "pressing DisDetect at the end (its handler has not returned)");
        Press(IDOK, "pressing OK to close the panel (its handler has not returned)");
    }
}
