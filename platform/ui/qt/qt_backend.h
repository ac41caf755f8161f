// The desktop backend of the UI layer on Qt Widgets: every window of the
// window system gets a widget at its dialog-unit geometry, and a person's
// input comes back as the same gestures every backend uses. Only the real
// clock: the UI thread waits in Qt's event loop.
#pragma once

#include <memory>
#include <string>

#include "platform/ui/backend.h"

class QWidget;

namespace platform::ui {

class QtBackend : public Backend {
public:
    // Creates the Qt application; call on the thread that runs the UI. When
    // no display can be opened it prints one line saying what to set and
    // ends the process with exit code 1.
    QtBackend(int& argc, char** argv);
    ~QtBackend() override;

    void Wait(sched::Millis deadline) override;
    void Wake() override;
    void WindowCreated(Window& w) override;
    void WindowChanged(Window& w) override;
    void WindowDestroyed(Window& w) override;
    void ModalShown(Window& w) override;
    void ModalEnded(Window& w, int result) override;

    // The widget that shows a window; nullptr when it has none (screenshots use it).
    QWidget* WidgetOf(HWND hwnd) const;
    // Renders the window as it looks now into a PNG file; false when it has no
    // widget or the file cannot be written.
    bool SavePicture(HWND hwnd, const std::string& path);
    // Pixels from dialog units with the base units of the font in use.
    int PixelsX(int units) const;
    int PixelsY(int units) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

}  // namespace platform::ui
