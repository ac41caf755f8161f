// Per-thread message queues and timers, for the UI layer's own files.
#pragma once

#include "platform/ui/win_user.h"

namespace platform::ui {

// Drops every timer of a window that is going away.
void KillTimersOf(HWND hwnd);

}  // namespace platform::ui
