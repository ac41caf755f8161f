#include "platform/ui/qt/qt_messages.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace platform::ui {
namespace {

std::mutex g_lock;
bool g_starting = false;
std::string g_program;
std::vector<std::string> g_held;
QtMessageHandler g_previous = nullptr;

// Qt warns that it falls back to a runtime folder of its own, which nothing
// of ours uses, and a platform without windows (offscreen) notes each window
// operation it cannot carry out.
bool IsNoise(const QString& message) {
    return message.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set") || message.startsWith("This plugin does not support ");
}

void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    std::unique_lock<std::mutex> lock(g_lock);
    if (g_starting && type == QtFatalMsg) {
        // Qt cannot start its window system: say what to do, and end here
        // rather than abort with a core dump.
        std::string line = NoDisplayLine(g_program) + "\n";
        std::fputs(line.c_str(), stderr);
        std::_Exit(1);
    }
    if (IsNoise(message)) return;
    if (g_starting) {
        g_held.push_back(qFormatLogMessage(type, context, message).toStdString());
        return;
    }
    lock.unlock();
    g_previous(type, context, message);
}

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

}  // namespace

QtMessages::QtMessages(std::string program) {
    std::lock_guard<std::mutex> lock(g_lock);
    size_t slash = program.find_last_of('/');
    g_program = slash == std::string::npos ? program : program.substr(slash + 1);
    g_starting = true;
    g_previous = qInstallMessageHandler(Handle);
}

QtMessages::~QtMessages() { qInstallMessageHandler(g_previous); }

void QtMessages::Started() {
    std::lock_guard<std::mutex> lock(g_lock);
    g_starting = false;
    for (const std::string& line : g_held) std::fprintf(stderr, "%s\n", line.c_str());
    g_held.clear();
}

std::string NoDisplayLine(const std::string& program) {
    const char* const asked[] = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};
    std::string names;
    for (const char* name : asked) {
        std::string value = Env(name);
        if (value.empty()) continue;
        names += (names.empty() ? "" : ", ") + std::string(name) + "=" + value;
    }
    if (names.empty())
        return program + ": no display found: set DISPLAY or WAYLAND_DISPLAY, or run headless with QT_QPA_PLATFORM=offscreen";
    return program + ": cannot open the display (" + names +
           "): set DISPLAY or WAYLAND_DISPLAY to a running display, or run headless with QT_QPA_PLATFORM=offscreen";
}

}  // namespace platform::ui
