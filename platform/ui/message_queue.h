// Per-thread message queues and timers, for the UI layer's own files.
#pragma once

#include <cstddef>

#include "platform/ui/win_user.h"

namespace platform::ui {

// Drops every timer of a window that is going away.
void KillTimersOf(HWND hwnd);

// How many threads have a queue now; a thread's goes when the thread ends.
std::size_t ThreadQueueCount();

}  // namespace platform::ui
