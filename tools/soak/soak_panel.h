// The soak's hands and eyes on Dashel: a window backend with no display that
// presses Loop Detect, watches every refresh of the panel's labels, and when
// a dropped connection leaves the labels stale does what a user would:
// DisDetect, then Loop Detect. It answers message boxes as they come and
// records everything in a SoakReport that another thread may read.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "platform/base/win_base.h"
#include "platform/ui/backend.h"
#include "tools/soak/sim_process.h"
#include "tools/soak/soak_report.h"

struct SoakTimes {
    std::chrono::seconds run;            // Loop Detect this long, then stop
    std::chrono::milliseconds stale;     // no correct labels this long after a drop: the user reconnects
    std::chrono::milliseconds recovery;  // no correct labels this long after a reconnect: the user tries again
};

class CSoakBackend : public platform::ui::Backend {
public:
    CSoakBackend(CSimProcess& sim, SoakTimes times, const std::string* aExpected);

    void Wait(platform::sched::Millis deadline) override;
    void Wake() override { platform::ui::WakeQueues(); }
    void WindowChanged(platform::ui::Window& w) override;

    // For the watchdog: when the dialog thread last came back to its loop, and a copy of the report.
    SoakClock::time_point LastStep() const { return SoakClock::time_point(SoakClock::duration(m_nLastStep.load())); }
    SoakReport Report() const;

private:
    enum class Phase { Start, FirstLabels, Looping, Stale, Reconnecting, Done };

    void Step();
    void AnswerBoxes();
    void TakeDrops();
    void Press(int id, const char* doing);
    void Finish(bool bRecovered);
    double Since(SoakClock::time_point t) const;

    CSimProcess& m_sim;
    SoakTimes m_times;
    const std::string* m_aExpected;  // the label texts of the cutter's settings, IDC_FORCE onwards
    std::atomic<SoakClock::rep> m_nLastStep;
    DWORD m_nDialogThread;  // the soak acts on the thread that runs the panel, never on the reader's
    SoakClock::time_point m_started = SoakClock::now();  // from the first correct labels on
    int m_nDepth = 0;  // a press runs the handler, whose message box waits here again
    Phase m_ePhase = Phase::Start;
    SoakClock::time_point m_lastCorrect{};  // the latest refresh showing the cutter's settings
    SoakClock::time_point m_dropAt{}, m_pressedAt{};
    bool m_bLastGarbled = false;
    mutable std::mutex m_lock;  // guards m_report
    SoakReport m_report;
};
