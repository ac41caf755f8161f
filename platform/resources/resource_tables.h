// The tables a program's generated resource source defines, and the variant
// choice over them that the lookup face applies.
#pragma once

#include "platform/resources/resources.h"

namespace platform::res {

struct StringEntry {
    UINT id;
    LANGID lang;
    const char* text;  // UTF-8
};

struct ResourceTables {
    const DialogTemplate* dialogs;
    int dialogCount;
    const StringEntry* strings;
    int stringCount;
    const IconGroup* icons;
    int iconCount;
    const VersionInfo* versions;
    int versionCount;
};

// Defined by the program's generated resource source.
extern const ResourceTables g_resourceTables;

// The variant of resource id for lang in the order the face documents; nullptr if none exists.
const DialogTemplate* ChooseDialog(const ResourceTables& tables, int id, LANGID lang);
const StringEntry* ChooseString(const ResourceTables& tables, UINT id, LANGID lang);
const IconGroup* ChooseIcon(const ResourceTables& tables, int id, LANGID lang);
const VersionInfo* ChooseVersion(const ResourceTables& tables, LANGID lang);

}  // namespace platform::res
