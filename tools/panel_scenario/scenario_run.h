// One run of a panel scenario: Dashel's real code on the headless UI backend,
// with the virtual clock, a fresh prefix and simulated serial ports. The
// script's user acts whenever the program is idle; everything a person or a
// cutter would notice is printed as a transcript.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial/sim_serial.h"
#include "platform/text/verb_table.h"
#include "platform/ui/backend.h"
#include "tools/cutter_sim/sim_cutter.h"
#include "tools/panel_scenario/script.h"

namespace platform::ui {
class QtBackend;
}

namespace scenario {

class ScenarioRun : public platform::ui::Backend {
public:
    // With a pictures folder, every dialog and message box is also drawn by
    // the desktop backend (offscreen) and saved there as it opens.
    ScenarioRun(std::vector<ScriptLine> lines, std::string picturesDir);
    ~ScenarioRun() override;
    // 0 when every expectation held, 1 when one failed, 2 for a script error.
    int Run();

    void Wait(platform::sched::Millis deadline) override;
    void Wake() override;
    void ModalShown(platform::ui::Window& w) override;
    void ModalEnded(platform::ui::Window& w, int result) override;
    void WindowCreated(platform::ui::Window& w) override;
    void WindowChanged(platform::ui::Window& w) override;
    void WindowDestroyed(platform::ui::Window& w) override;

private:
    enum class Step { Continue, Acted, Waiting };

    // A line before start: refused unless it sets Dashel's world up.
    void Configure(const ScriptLine& line);
    using SSetup = platform::text::SVerb<void (ScenarioRun::*)(const ScriptLine&)>;
    static const SSetup kSetup[];
    void SetupLang(const ScriptLine& line);
    void SetupAtStart(const ScriptLine& line);
    void SetupFile(const ScriptLine& line);
    void SetupCutter(const ScriptLine& line);
    void Start();
    Step Perform(const ScriptLine& line);
    // The handlers of the verbs and gestures (verbs.cpp).
    using SVerb = platform::text::SVerb<Step (ScenarioRun::*)(const ScriptLine&)>;
    using SGesture = platform::text::SVerb<bool (ScenarioRun::*)(const ScriptLine&, HWND active)>;
    static const SVerb kVerbs[];
    static const SGesture kGestures[];
    Step DoExpect(const ScriptLine& line);
    Step DoDump(const ScriptLine& line);
    Step DoWait(const ScriptLine& line);
    Step DoPort(const ScriptLine& line);
    Step DoPicture(const ScriptLine& line);
    Step DoCutter(const ScriptLine& line);
    Step DoSend(const ScriptLine& line);
    bool DoClick(const ScriptLine& line, HWND active);
    bool DoTypeOrSelect(const ScriptLine& line, HWND active);
    bool DoScroll(const ScriptLine& line, HWND active);
    bool DoFocus(const ScriptLine& line, HWND active);
    bool DoKey(const ScriptLine& line, HWND active);
    bool DoClose(const ScriptLine& line, HWND active);
    bool DoAnswer(const ScriptLine& line, HWND active);
    void Expect(const ScriptLine& line, bool present);
    void Dump();
    platform::sim_serial::SimObserver PortObserver(int nPort);
    void PortLine(const ScriptLine& line);
    void CutterLine(const ScriptLine& line);
    void PrintCuts(int nPort, const cutter_sim::CCutterModel& model);
    // With pictures on: the window as it looks now, as DIR/NN-NAME.png.
    void SavePicture(HWND hwnd, const std::string& name);
    void Emit(const std::string& line);
    [[noreturn]] void ScriptError(const ScriptLine& line, const std::string& why);
    [[noreturn]] void Finish(int code);
    HWND Control(const ScriptLine& line, size_t word);
    int Number(const ScriptLine& line, size_t word);

    std::vector<ScriptLine> m_lines;
    size_t m_nNext = 0;
    std::vector<std::string> m_transcript;
    size_t m_nMatched = 0;  // transcript lines up to the last matched expectation
    platform::sched::Millis m_nResumeAt = 0;
    std::string m_strPrefix;
    std::vector<std::pair<std::string, std::string>> m_files;
    bool m_bStarted = false;
    std::map<int, std::unique_ptr<cutter_sim::CSimCutter>> m_cutters;
    std::string m_strPicturesDir;
    std::unique_ptr<platform::ui::QtBackend> m_pPictures;
    int m_nPictures = 0;
};

}  // namespace scenario
