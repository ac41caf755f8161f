// What a UI backend supplies: drawing (being told what changed), input (it
// calls the gesture functions of window_core.h from the UI thread), and the
// idle wait of the UI thread's message loop.
#pragma once

#include "platform/base/scheduler.h"
#include "platform/ui/window_core.h"

namespace platform::ui {

class Backend {
public:
    virtual ~Backend() = default;

    // Called on the UI thread when its queue is empty: returns when input was
    // delivered, Wake() was called, a message was queued for the thread, or the
    // deadline (platform clock) passed.
    virtual void Wait(sched::Millis deadline) = 0;
    // Thread-safe: ends a Wait of the UI thread early.
    virtual void Wake() = 0;

    // Drawing: the window system reports what a person would see change.
    virtual void WindowCreated(Window& w) {}
    virtual void WindowChanged(Window& w) {}
    virtual void WindowDestroyed(Window& w) {}
    virtual void ModalShown(Window& w) {}
    virtual void ModalEnded(Window& w, int result) {}
    virtual void IconDrawn(Window& w, int x, int y, HICON icon) {}
};

// The backend in use; a headless one without a script when none was set.
Backend& CurrentBackend();
void SetBackend(Backend* backend);

// A wait of the calling thread, until a message is queued for it, Wake() is
// called or the deadline passes: what the headless backend's Wait does.
void WaitForQueue(sched::Millis deadline);
// Wakes a WaitForQueue of any thread.
void WakeQueues();

}  // namespace platform::ui
