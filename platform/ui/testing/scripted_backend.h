// A headless backend for unit tests: runs one queued gesture each time the UI
// thread goes idle (an empty action is a 100 ms pause that lets the program
// run), and records the modal windows a person would have seen (a message
// box with its MB_ flags).
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/base/scheduler.h"
#include "platform/ui/backend.h"

namespace platform::ui::testing {

class ScriptedBackend : public Backend {
public:
    std::deque<std::function<void()>> actions;
    std::vector<std::string> seen;

    void Pause(int times = 1) {
        for (int i = 0; i < times; ++i) actions.push_back(nullptr);
    }

    void Wait(sched::Millis deadline) override {
        if (sched::YieldToReady()) return;
        if (!actions.empty() && sched::Now() >= m_nextAction) {
            auto act = std::move(actions.front());
            actions.pop_front();
            if (act)
                act();
            else
                m_nextAction = sched::Now() + 100;
            return;
        }
        WaitForQueue(actions.empty() ? deadline : std::min(deadline, m_nextAction));
    }
    void Wake() override { WakeQueues(); }
    void ModalShown(Window& w) override {
        if (w.kind == WindowKind::MessageBox)
            seen.push_back("box " + std::to_string(w.boxType) + " " + w.text);
        else
            seen.push_back("dialog " + std::to_string(w.templateId));
    }
    void IconDrawn(Window& w, int x, int y, HICON icon) override {
        seen.push_back("icon " + std::to_string(x) + " " + std::to_string(y));
    }
    void ModalEnded(Window& w, int result) override { seen.push_back("end " + std::to_string(result)); }

private:
    sched::Millis m_nextAction = 0;
};

}  // namespace platform::ui::testing
