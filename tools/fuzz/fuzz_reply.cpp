// Bytes from the serial line as replies: taken one by one and interpreted
// into the panel's texts, the way the reply notification does.
#include <cstddef>
#include <cstdint>
#include <string>

#include "panel/app/panel_app.h"
#include "panel/app/panel_dlg.h"
#include "platform/ui/backend.h"
#include "platform/ui/window_core.h"

namespace {

// Closes every box at once: an OR4 opens the About box.
class CloseAtOnce : public platform::ui::Backend {
public:
    void Wait(platform::sched::Millis) override {}
    void Wake() override {}
    void ModalShown(platform::ui::Window& w) override { platform::ui::EndModal(w.handle, IDOK); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static CloseAtOnce backend;
    static CPanelDlg* panel = [] {
        theApp.m_pszAppName = "Dashel";
        platform::ui::SetBackend(&backend);
        InitializeCriticalSection(&g_rxLock);
        return new CPanelDlg;
    }();
    // The reader appends what it reads up to a NUL byte, at most 80 bytes a read.
    for (std::size_t at = 0; at < size; at += 80) {
        std::string chunk(reinterpret_cast<const char*>(data) + at, std::min<std::size_t>(80, size - at));
        g_strRx += chunk.c_str();
        while (g_strRx.Find(';') >= 0) panel->InterpretReply();
    }
    g_strRx.Empty();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    return 0;
}
