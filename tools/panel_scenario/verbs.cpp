// The lines a script may have once Dashel runs: each verb with the number of
// words it takes, its handler and the usage a refused line is answered with.
#include <algorithm>
#include <cstdlib>

#include "platform/resources/resources.h"
#include "platform/serial/sim_serial.h"
#include "platform/ui/afxwin.h"
#include "tools/panel_scenario/scenario_run.h"

namespace scenario {
namespace ui = platform::ui;
namespace sim = platform::sim_serial;
using platform::text::kAnyWordCount;

namespace {

UINT ScrollCode(const std::string& word, bool* ok) {
    static const std::pair<const char*, UINT> names[] = {
        {"LINELEFT", SB_LINELEFT},   {"LINERIGHT", SB_LINERIGHT},         {"PAGELEFT", SB_PAGELEFT},
        {"PAGERIGHT", SB_PAGERIGHT}, {"THUMBPOSITION", SB_THUMBPOSITION}, {"THUMBTRACK", SB_THUMBTRACK},
        {"LEFT", SB_LEFT},           {"RIGHT", SB_RIGHT},                 {"ENDSCROLL", SB_ENDSCROLL}};
    for (auto& [name, code] : names)
        if (word == name) return code;
    char* end = nullptr;
    long v = std::strtol(word.c_str(), &end, 10);
    *ok = end != word.c_str() && *end == '\0' && v >= 0 && v <= 8;
    return static_cast<UINT>(v);
}

}  // namespace

// The lines that may come before start; ports, port and cutter lines are
// applied at start, once the simulated ports are installed, in script order.
const ScenarioRun::SSetup ScenarioRun::kSetup[] = {
    {"lang", 2, kAnyWordCount, &ScenarioRun::SetupLang, "lang N"},
    {"ports", 1, kAnyWordCount, &ScenarioRun::SetupAtStart, "ports NAME..."},
    {"file", 3, 3, &ScenarioRun::SetupFile, "file PATH CONTENT"},
    {"port", 1, kAnyWordCount, &ScenarioRun::SetupAtStart, "port N on|off|missing"},
    {"cutter", 1, kAnyWordCount, &ScenarioRun::SetupCutter, "cutter N WHAT ..."},
};

const ScenarioRun::SVerb ScenarioRun::kVerbs[] = {
    {"expect", 1, kAnyWordCount, &ScenarioRun::DoExpect, "expect TRANSCRIPT-LINE"},
    {"expect-not", 1, kAnyWordCount, &ScenarioRun::DoExpect, "expect-not TRANSCRIPT-LINE"},
    {"dump", 1, kAnyWordCount, &ScenarioRun::DoDump, "dump"},
    {"wait", 2, kAnyWordCount, &ScenarioRun::DoWait, "wait MS"},
    {"port", 2, kAnyWordCount, &ScenarioRun::DoPort, "port N on|off|missing"},
    {"picture", 2, 2, &ScenarioRun::DoPicture, "picture NAME"},
    {"cutter", 2, kAnyWordCount, &ScenarioRun::DoCutter, "cutter N WHAT ..."},
    {"send", 3, 3, &ScenarioRun::DoSend, "send PORT STRING"},
};

// A person's gestures on the active window; each is echoed, and one the
// window does not take is shown as refused.
const ScenarioRun::SGesture ScenarioRun::kGestures[] = {
    {"click", 2, kAnyWordCount, &ScenarioRun::DoClick, "click ID"},
    {"dblclick", 2, kAnyWordCount, &ScenarioRun::DoClick, "dblclick ID"},
    {"type", 3, 3, &ScenarioRun::DoTypeOrSelect, "type ID STRING"},
    {"select", 3, 3, &ScenarioRun::DoTypeOrSelect, "select ID STRING"},
    {"scroll", 3, kAnyWordCount, &ScenarioRun::DoScroll, "scroll ID CODE [POSITION]"},
    {"focus", 2, kAnyWordCount, &ScenarioRun::DoFocus, "focus ID"},
    {"key", 2, kAnyWordCount, &ScenarioRun::DoKey, "key escape|enter"},
    {"close", 1, kAnyWordCount, &ScenarioRun::DoClose, "close"},
    {"answer", 1, kAnyWordCount, &ScenarioRun::DoAnswer, "answer OK|CANCEL|YES|NO"},
};

void ScenarioRun::Configure(const ScriptLine& line) {
    const SSetup* verb = platform::text::FindVerb(kSetup, line.words[0]);
    if (!verb) ScriptError(line, "only lang, ports, port, cutter and file may come before start");
    if (!verb->Fits(line.words)) ScriptError(line, verb->Usage());
    (this->*verb->pHandler)(line);
}

void ScenarioRun::SetupLang(const ScriptLine& line) {
    platform::res::SetUserUILanguage(static_cast<LANGID>(Number(line, 1)));
}

void ScenarioRun::SetupAtStart(const ScriptLine&) {}

void ScenarioRun::SetupFile(const ScriptLine& line) { m_files.emplace_back(line.words[1], line.words[2]); }

void ScenarioRun::SetupCutter(const ScriptLine& line) {
    if (line.words.size() > 2 && (line.words[2] == "cuts" || line.words[2] == "flash" || line.words[2] == "svg"))
        ScriptError(line, "this line needs Dashel started");
}

ScenarioRun::Step ScenarioRun::Perform(const ScriptLine& line) {
    if (const SVerb* verb = platform::text::FindVerb(kVerbs, line.words[0])) {
        if (!verb->Fits(line.words)) ScriptError(line, verb->Usage());
        return (this->*verb->pHandler)(line);
    }
    const SGesture* gesture = platform::text::FindVerb(kGestures, line.words[0]);
    if (!gesture) ScriptError(line, "unknown command");
    if (!m_bStarted) ScriptError(line, "this line needs Dashel started");
    if (!gesture->Fits(line.words)) ScriptError(line, gesture->Usage());
    HWND active = ui::ActiveModal();
    Emit("> " + line.text);
    if (!(this->*gesture->pHandler)(line, active))
        Emit("refused " + (line.words.size() > 1 ? line.words[1] : line.words[0]));
    return Step::Acted;
}

ScenarioRun::Step ScenarioRun::DoExpect(const ScriptLine& line) {
    Expect(line, line.words[0] == "expect");
    return Step::Continue;
}

ScenarioRun::Step ScenarioRun::DoDump(const ScriptLine&) {
    Dump();
    return Step::Continue;
}

ScenarioRun::Step ScenarioRun::DoWait(const ScriptLine& line) {
    m_nResumeAt = platform::sched::Now() + static_cast<platform::sched::Millis>(Number(line, 1));
    return Step::Waiting;
}

ScenarioRun::Step ScenarioRun::DoPort(const ScriptLine& line) {
    PortLine(line);
    return Step::Continue;
}

ScenarioRun::Step ScenarioRun::DoPicture(const ScriptLine& line) {
    const std::string& name = line.words[1];
    bool plain = !name.empty() && std::all_of(name.begin(), name.end(), [](char ch) {
        return (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || ch == '-';
    });
    if (!plain) ScriptError(line, "a picture's name is lower-case letters, digits and '-'");
    if (m_pPictures) SavePicture(ui::ActiveModal(), name);
    return Step::Continue;
}

ScenarioRun::Step ScenarioRun::DoCutter(const ScriptLine& line) {
    CutterLine(line);
    return Step::Continue;
}

ScenarioRun::Step ScenarioRun::DoSend(const ScriptLine& line) {
    if (!m_bStarted) ScriptError(line, "this line needs Dashel started");
    Emit("> " + line.text);
    sim::InjectReceived(Number(line, 1), line.words[2]);
    return Step::Acted;
}

bool ScenarioRun::DoClick(const ScriptLine& line, HWND) {
    return ui::ClickControl(Control(line, 1), line.words[0] == "dblclick");
}

bool ScenarioRun::DoTypeOrSelect(const ScriptLine& line, HWND) {
    HWND control = Control(line, 1);
    return line.words[0] == "type" ? ui::TypeText(control, line.words[2]) : ui::SelectItem(control, line.words[2]);
}

bool ScenarioRun::DoScroll(const ScriptLine& line, HWND) {
    bool ok = true;
    UINT code = ScrollCode(line.words[2], &ok);
    if (!ok) ScriptError(line, "unknown scroll code");
    return ui::ScrollControl(Control(line, 1), code, line.words.size() > 3 ? Number(line, 3) : 0);
}

bool ScenarioRun::DoFocus(const ScriptLine& line, HWND) { return ui::FocusControl(Control(line, 1)); }

bool ScenarioRun::DoKey(const ScriptLine& line, HWND active) {
    const std::string& key = line.words[1];
    if (key != "escape" && key != "enter") ScriptError(line, "key takes escape or enter");
    return ui::PressKey(active, key == "escape");
}

bool ScenarioRun::DoClose(const ScriptLine&, HWND active) { return ui::CloseWindowByUser(active); }

bool ScenarioRun::DoAnswer(const ScriptLine& line, HWND active) {
    static const std::pair<const char*, int> answers[] = {{"OK", IDOK}, {"CANCEL", IDCANCEL}, {"YES", IDYES}, {"NO", IDNO}};
    int id = 0;
    for (auto& [name, value] : answers)
        if (line.words.size() > 1 && line.words[1] == name) id = value;
    ui::Window* w = ui::FindWindow(active);
    if (!w || w->kind != ui::WindowKind::MessageBox) ScriptError(line, "no message box is open");
    if (!id || !ui::AnswerBox(active, id)) ScriptError(line, "the message box has no such button");
    return true;
}

}  // namespace scenario
