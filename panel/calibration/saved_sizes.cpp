#include "panel/calibration/saved_sizes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "panel/link/protocol.h"
#include "platform/files/win_files.h"
#include "platform/files/win_profile.h"

int ReadSavedSizes(const std::function<void(const char* name)>& addName, int* aFactorX, int* aFactorY) {
    int total = static_cast<int>(GetPrivateProfileIntA(SAVED_SIZES_SECTION, "Total", 0, SAVED_SIZES_FILE));
    int count = std::clamp(total, 0, SAVED_SIZE_SLOTS);
    char name[SAVED_NAME_BUFFER];
    char key[SAVED_KEY_BUFFER];
    for (int k = 1; k <= count; ++k) {
        std::snprintf(key, sizeof key, "C%d", k);
        GetPrivateProfileStringA(SAVED_SIZES_SECTION, key, "", name, sizeof name, SAVED_SIZES_FILE);
        addName(name);
        std::snprintf(key, sizeof key, "A%d", k);
        aFactorX[k - 1] = static_cast<int>(GetPrivateProfileIntA(SAVED_SIZES_SECTION, key, NOMINAL_FACTOR_X, SAVED_SIZES_FILE));
        std::snprintf(key, sizeof key, "B%d", k);
        aFactorY[k - 1] = static_cast<int>(GetPrivateProfileIntA(SAVED_SIZES_SECTION, key, NOMINAL_FACTOR_Y, SAVED_SIZES_FILE));
    }
    return count;
}

CString SavedSizesPath() {
    char folder[80] = {};
    if (GetSystemDirectoryA(folder, sizeof folder) >= sizeof folder) folder[0] = '\0';
    // The parent folder: cut at the last backslash after the drive letter and colon.
    char* last = std::strrchr(folder, '\\');
    if (last && last - folder >= 2) *last = '\0';
    CString path;
    path.Format("%s\\%s", folder, SAVED_SIZES_FILE);
    return path;
}
