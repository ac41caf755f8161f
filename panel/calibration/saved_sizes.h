// The saved-sizes file: named pairs of scale factors in one initialisation
// file section, read by the scaling and save-name dialogs, written by the latter.
#pragma once

#include <functional>

#include "platform/mfc/cstring.h"

constexpr int SAVED_SIZE_SLOTS = 21;
// Add refuses to make the list longer than this.
constexpr int SAVED_SIZE_LIMIT = 20;
constexpr int SAVED_NAME_BUFFER = 40;
constexpr int SAVED_KEY_BUFFER = 80;
constexpr const char* SAVED_SIZES_FILE = "Kestra.$$$";
constexpr const char* SAVED_SIZES_SECTION = "KESTRA";

// Reads the entries in file order: each name goes to addName (at most 39
// characters, empty when missing), its factors to the slots (nominal when
// missing). Returns the count, 0 to SAVED_SIZE_SLOTS: a hand-edited Total
// beyond the slots reads only what fits.
int ReadSavedSizes(const std::function<void(const char* name)>& addName, int* aFactorX, int* aFactorY);

// The file's path for writing: the Windows directory taken from the system
// directory, C:\WINDOWS\SYSTEM32 giving C:\WINDOWS\Kestra.$$$.
CString SavedSizesPath();
