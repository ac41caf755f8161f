#include "tools/panel_scenario/scenario_run.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "platform/base/prefix.h"
#include "platform/files/files.h"
#include "platform/serial/sim_serial.h"
#include "platform/text/quoted_words.h"
#include "platform/ui/afxwin.h"
#include "platform/ui/qt/qt_backend.h"
#include "tools/kestra_sim/cut_picture.h"

namespace scenario {
namespace ui = platform::ui;
namespace sim = platform::sim_serial;
using platform::text::Quote;

namespace {

constexpr int kObservedPorts = 16;

std::string ResultName(int result) {
    switch (result) {
    case IDOK: return "OK";
    case IDCANCEL: return "CANCEL";
    case IDYES: return "YES";
    case IDNO: return "NO";
    default: return std::to_string(result);
    }
}

std::string IconName(UINT type) {
    switch (type & MB_ICONMASK) {
    case 0: return "none";
    case MB_ICONWARNING: return "warning";
    case MB_ICONQUESTION: return "question";
    case MB_ICONSTOP: return "stop";
    default: return "information";
    }
}

std::string ButtonsName(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return "OKCANCEL";
    case MB_YESNO: return "YESNO";
    default: return "OK";
    }
}


// A picture's name says what it shows: the dialog, or the message box by the
// first words of its text.
std::string PictureName(const ui::Window& w) {
    static const std::pair<int, const char*> dialogs[] = {
        {102, "panel"},    {134, "about"},   {137, "adjust-method"}, {139, "measured-size"},
        {140, "save-name"}, {141, "scaling"}, {142, "flash-save"},   {143, "media-type"}};
    if (w.kind != ui::WindowKind::MessageBox) {
        for (auto& [id, name] : dialogs)
            if (w.templateId == id) return name;
        return "dialog-" + std::to_string(w.templateId);
    }
    std::string name = "box";
    int words = 0;
    bool inWord = false;
    for (char ch : w.text) {
        bool letter = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
        if (letter && !inWord) {
            if (++words > 4) break;
            name += '-';
        }
        if (letter) name += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
        inWord = letter;
    }
    return name;
}

std::string MakeFreshPrefix() {
    std::string pattern = (std::filesystem::temp_directory_path() / "panel-scenario-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) {
        std::perror("panel-scenario: cannot make a prefix folder");
        std::exit(2);
    }
    return buffer.data();
}

}  // namespace

ScenarioRun::ScenarioRun(std::vector<ScriptLine> lines, std::string picturesDir)
    : m_lines(std::move(lines)), m_strPicturesDir(std::move(picturesDir)) {}

ScenarioRun::~ScenarioRun() = default;

void ScenarioRun::Emit(const std::string& line) {
    m_transcript.push_back(line);
    std::cout << line << '\n';
}

void ScenarioRun::ScriptError(const ScriptLine& line, const std::string& why) {
    std::cout.flush();
    std::cerr << "panel-scenario: line " << line.number << ": " << why << ": " << line.text << '\n';
    Finish(2);
}

void ScenarioRun::Finish(int code) {
    std::cout.flush();
    if (!m_strPrefix.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_strPrefix, ec);
    }
    // Dashel may still be running on its threads: end the process here.
    std::_Exit(code);
}

int ScenarioRun::Number(const ScriptLine& line, size_t word) {
    if (line.words.size() <= word) ScriptError(line, "a number is missing");
    char* end = nullptr;
    long v = std::strtol(line.words[word].c_str(), &end, 10);
    if (end == line.words[word].c_str() || *end != '\0') ScriptError(line, "not a number: " + line.words[word]);
    return static_cast<int>(v);
}

void ScenarioRun::Start() {
    platform::clock::UseVirtual();
    m_strPrefix = MakeFreshPrefix();
    platform::SetPrefixRoot(m_strPrefix);
    platform::files::InstallDriveFiles();
    for (auto& [path, content] : m_files) {
        std::filesystem::path host = platform::files::HostPath(path);
        std::error_code ec;
        std::filesystem::create_directories(host.parent_path(), ec);
        std::ofstream(host, std::ios::binary) << content;
    }
    sim::Install();
    for (int n = 1; n <= kObservedPorts; ++n) sim::SetObserver(n, PortObserver(n));
    for (size_t i = 0; i < m_nNext; ++i) {
        const ScriptLine& line = m_lines[i];
        if (line.words[0] == "ports") sim::SetEnumeratedPorts({line.words.begin() + 1, line.words.end()});
        if (line.words[0] == "port") PortLine(line);
        if (line.words[0] == "cutter") CutterLine(line);
    }
    platform::files::SetClosedWrittenFileObserver([this](const std::string& path, const std::string& content) {
        Emit("file " + Quote(path) + " " + Quote(content));
    });
    if (!m_strPicturesDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(m_strPicturesDir, ec);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "panel-scenario";
        static char* argv[] = {name, nullptr};
        m_pPictures = std::make_unique<ui::QtBackend>(argc, argv);
    }
    ui::SetBackend(this);
    m_bStarted = true;
}

sim::SimObserver ScenarioRun::PortObserver(int n) {
    sim::SimObserver observer;
    observer.onWrite = [this, n](int, const std::string& bytes) { Emit("tx " + std::to_string(n) + " " + Quote(bytes)); };
    observer.onOpen = [this, n](int) { Emit("open " + std::to_string(n)); };
    observer.onClose = [this, n](int) { Emit("close " + std::to_string(n)); };
    return observer;
}

int ScenarioRun::Run() {
    while (m_nNext < m_lines.size() && m_lines[m_nNext].words[0] != "start") {
        Configure(m_lines[m_nNext]);
        ++m_nNext;
    }
    if (m_nNext == m_lines.size()) {
        std::cerr << "panel-scenario: the script has no start line\n";
        return 2;
    }
    Start();
    ++m_nNext;
    int code = AfxWinMain("Dashel");
    Emit("exit " + std::to_string(code));
    while (m_nNext < m_lines.size()) {
        const ScriptLine& line = m_lines[m_nNext++];
        const std::string& cmd = line.words[0];
        if (cmd == "expect" || cmd == "expect-not")
            Expect(line, cmd == "expect");
        else
            ScriptError(line, "Dashel has ended; only expectations may follow");
    }
    Finish(0);
}

void ScenarioRun::Wake() { ui::WakeQueues(); }

void ScenarioRun::Wait(platform::sched::Millis deadline) {
    // A person acts when the program is quiet: every thread that can run now has run.
    if (platform::sched::YieldToReady()) return;
    HWND active = ui::ActiveModal();
    DWORD owner = 0;
    bool ours = active && ui::WindowThread(active, &owner) && owner == GetCurrentThreadId();
    if (!ours || platform::sched::Now() < m_nResumeAt) {
        ui::WaitForQueue(ours ? std::min(deadline, m_nResumeAt) : deadline);
        return;
    }
    while (m_nNext < m_lines.size()) {
        switch (Perform(m_lines[m_nNext++])) {
        case Step::Continue: continue;
        case Step::Acted: return;
        case Step::Waiting: ui::WaitForQueue(std::min(deadline, m_nResumeAt)); return;
        }
    }
    Finish(0);
}

void ScenarioRun::PortLine(const ScriptLine& line) {
    int n = Number(line, 1);
    const std::string state = line.words.size() > 2 ? line.words[2] : "";
    auto cutter = m_cutters.find(n);
    if (state != "on" && state != "off" && state != "missing") ScriptError(line, "port takes on, off or missing");
    if (cutter != m_cutters.end()) cutter->second->SetOn(state == "on");  // a cutter switched off hears nothing
    if (state == "on") {
        sim::SetPresence(n, sim::SimPresence::LinesUp);
    } else if (state == "off") {
        sim::SetPresence(n, sim::SimPresence::NoLines);
    } else {
        sim::SetPresence(n, sim::SimPresence::Missing);
    }
}

void ScenarioRun::CutterLine(const ScriptLine& line) {
    int n = Number(line, 1);
    if (n < 1 || n > kObservedPorts) ScriptError(line, "a cutter can be on COM1 to COM" + std::to_string(kObservedPorts));
    const std::string what = line.words.size() > 2 ? line.words[2] : "";
    auto found = m_cutters.find(n);
    if (what.empty()) {
        if (line.words.size() != 2) ScriptError(line, "cutter N takes nothing more");
        if (found != m_cutters.end()) ScriptError(line, "there is a cutter on this port already");
        auto cutter = std::make_unique<cutter_sim::CSimCutter>();
        cutter->SetReplyObserver([this](int port, const std::string& reply, bool delivered) {
            Emit("rx " + std::to_string(port) + " " + Quote(reply) + (delivered ? "" : " lost"));
        });
        if (!cutter->Attach(n, PortObserver(n))) ScriptError(line, "the cutter cannot start");
        m_cutters[n] = std::move(cutter);
        return;
    }
    if (found == m_cutters.end()) ScriptError(line, "no cutter on this port");
    cutter_sim::CSimCutter& cutter = *found->second;
    if (what == "set") {
        if (line.words.size() != 5) ScriptError(line, "cutter N set takes a key and a value");
        const std::string& key = line.words[3];
        const std::string& value = line.words[4];
        if (key == "delay") {
            int ms = Number(line, 4);
            if (ms < 0) ScriptError(line, "the delay cannot be negative");
            cutter.SetExtraDelay(static_cast<platform::sched::Millis>(ms));
        } else if (!cutter.Configure(key, value)) {
            ScriptError(line, "the cutter refuses this key or value");
        }
    } else if (what == "silent") {
        const std::string state = line.words.size() == 4 ? line.words[3] : "";
        if (state != "on" && state != "off") ScriptError(line, "cutter N silent takes on or off");
        cutter.SetSilent(state == "on");
    } else if (what == "cuts" || what == "flash") {
        if (line.words.size() != 3) ScriptError(line, "cutter N " + what + " takes nothing more");
        cutter_sim::CCutterModel model = cutter.Model();
        if (what == "cuts") {
            PrintCuts(n, model);
        } else {
            std::string text = "flash " + std::to_string(n) + " " + std::to_string(model.FlashSaves());
            const cutter_sim::CutterSettings& s = model.Saved();
            if (model.FlashSaves())
                text += " weight=" + std::to_string(s.nWeight) + " force=" + std::to_string(s.nForce) +
                        " offset=" + std::to_string(s.nOffset) + " quality=" + std::to_string(s.nQuality) +
                        " smooth=" + std::to_string(s.nSmooth) + " unroll=" + std::to_string(s.nUnroll) +
                        " media=" + std::to_string(s.nMedia) + " factorx=" + std::to_string(s.nFactorX) +
                        " factory=" + std::to_string(s.nFactorY);
            Emit(text);
        }
    } else if (what == "svg") {
        if (line.words.size() != 4) ScriptError(line, "cutter N svg takes a file name");
        const std::string& path = line.words[3];
        Emit(kestra_sim::WriteCutPicture(cutter.Model(), path) ? "svg " + std::to_string(n) + " " + Quote(path)
                                                                : "svg not written " + Quote(path));
    } else {
        ScriptError(line, "cutter N takes set, silent, cuts, flash or svg");
    }
}

void ScenarioRun::PrintCuts(int nPort, const cutter_sim::CCutterModel& model) {
    std::string head = "cuts " + std::to_string(nPort) + " " + std::to_string(model.Cuts().size());
    if (model.DroppedPoints()) head += " dropped " + std::to_string(model.DroppedPoints());
    Emit(head);
    int k = 0;
    for (const cutter_sim::CutPath& path : model.Cuts())
        Emit("cut " + std::to_string(++k) + " " + cutter_sim::FormatPath(path));
}

HWND ScenarioRun::Control(const ScriptLine& line, size_t word) {
    int id = Number(line, word);
    HWND control = GetDlgItem(ui::ActiveModal(), id);
    if (!control) ScriptError(line, "the active window has no control " + std::to_string(id));
    return control;
}

void ScenarioRun::Expect(const ScriptLine& line, bool present) {
    std::string wanted = platform::text::TextAfterFirstWord(line.text);
    for (size_t i = m_nMatched; i < m_transcript.size(); ++i) {
        if (m_transcript[i] != wanted) continue;
        if (present) {
            m_nMatched = i + 1;
            return;
        }
        std::cout << "FAILED line " << line.number << ": " << line.text << " (transcript line " << i + 1 << ")\n";
        Finish(1);
    }
    if (!present) return;
    std::cout << "FAILED line " << line.number << ": " << line.text << "\n";
    Finish(1);
}

void ScenarioRun::Dump() {
    ui::Window* w = ui::FindWindow(ui::ActiveModal());
    if (!w) return;
    if (w->kind == ui::WindowKind::MessageBox) {
        Emit("box " + Quote(w->caption) + " " + Quote(w->text));
        return;
    }
    for (HWND child : w->children) {
        ui::Window* c = ui::FindWindow(child);
        std::string line = std::to_string(c->id) + " " + Quote(c->text);
        line += (c->style & WS_DISABLED) ? " disabled" : " enabled";
        if (c->kind == ui::WindowKind::Button && c->check == BST_CHECKED) line += " checked";
        if (!(c->style & WS_VISIBLE)) line += " hidden";
        if (c->kind == ui::WindowKind::ComboBox || c->kind == ui::WindowKind::ListBox) {
            line += " items";
            for (const std::string& item : c->items) line += " " + Quote(item);
        }
        if (c->kind == ui::WindowKind::ScrollBar) line += " pos " + std::to_string(c->scrollPos);
        Emit(line);
    }
}

void ScenarioRun::WindowCreated(ui::Window& w) {
    if (m_pPictures) m_pPictures->WindowCreated(w);
}

void ScenarioRun::WindowChanged(ui::Window& w) {
    if (m_pPictures) m_pPictures->WindowChanged(w);
}

void ScenarioRun::WindowDestroyed(ui::Window& w) {
    if (m_pPictures) m_pPictures->WindowDestroyed(w);
}

void ScenarioRun::ModalShown(ui::Window& w) {
    if (w.kind == ui::WindowKind::MessageBox) {
        Emit("box " + Quote(w.caption) + " " + Quote(w.text) + " " + IconName(w.boxType) + " " +
             ButtonsName(w.boxType));
        if (!w.detail.empty()) Emit("detail " + Quote(w.detail));
    } else
        Emit("dialog " + std::to_string(w.templateId) + " " + Quote(w.text));
    if (!m_pPictures) return;
    m_pPictures->ModalShown(w);
    SavePicture(w.handle, PictureName(w));
}

void ScenarioRun::SavePicture(HWND hwnd, const std::string& name) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d", ++m_nPictures);
    std::string path = m_strPicturesDir + "/" + number + "-" + name + ".png";
    Emit(m_pPictures->SavePicture(hwnd, path) ? "picture " + Quote(path) : "picture not saved " + Quote(path));
}

void ScenarioRun::ModalEnded(ui::Window& w, int result) {
    if (m_pPictures) m_pPictures->ModalEnded(w, result);
    if (w.kind == ui::WindowKind::MessageBox)
        Emit("end box " + ResultName(result));
    else
        Emit("end " + std::to_string(w.templateId) + " " + ResultName(result));
}

}  // namespace scenario
