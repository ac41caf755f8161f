// Dialog windows made from resource templates, for the UI layer's framework.
#pragma once

#include "platform/resources/resources.h"
#include "platform/ui/window_core.h"

namespace platform::ui {

// Creates the dialog (hidden) and its controls in template order; returns its handle.
HWND CreateDialogFromTemplate(const res::DialogTemplate& t, HWND owner, WNDPROC proc);

}  // namespace platform::ui

// The default handling of dialog messages: the close box as Cancel, icons, the caption.
LRESULT DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
