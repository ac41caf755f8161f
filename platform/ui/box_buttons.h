// The texts of a message box's buttons. They belong to the window system, not
// to the program, so they follow the user-interface language as the
// system's own boxes do, whatever language the program's texts are in.
#pragma once

#include <string>

#include "platform/base/win_types.h"

namespace platform::ui {

// The text of button IDOK, IDCANCEL, IDYES or IDNO (UTF-8, '&' before the
// mnemonic) in that language; English for a language without texts of its
// own, "" for another id.
std::string BoxButtonText(int buttonId, LANGID lang);

}  // namespace platform::ui
