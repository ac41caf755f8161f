// Variant choice over the generated tables.
#include <cstring>

#include "platform/resources/resource_tables.h"
#include "platform/ui/win_user.h"

namespace platform::res {
namespace {

// Rank of a stored variant for the wanted language: lower is better, -1 never.
int Rank(LANGID stored, LANGID wanted) {
    if (stored == wanted) return 0;
    if (PRIMARYLANGID(stored) == PRIMARYLANGID(wanted)) {
        // Singapore writes Simplified Chinese, so it prefers that variant to the Traditional one.
        bool singapore = wanted == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SINGAPORE);
        if (singapore && stored == LANGID_ZH_CN) return 1;
        return 2;
    }
    if (stored == LANGID_EN_US) return 3;
    if (stored == LANGID_ZH_TW) return 4;
    return -1;
}

// The entry of the wanted id with the best rank; among equal ranks the lowest language id.
template <typename Entry, typename Match>
const Entry* Choose(const Entry* entries, int count, LANGID wanted, Match matches) {
    const Entry* best = nullptr;
    int bestRank = -1;
    for (int i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        if (!matches(e)) continue;
        int rank = Rank(e.lang, wanted);
        if (rank < 0) continue;
        if (!best || rank < bestRank || (rank == bestRank && e.lang < best->lang)) {
            best = &e;
            bestRank = rank;
        }
    }
    return best;
}

}  // namespace

const DialogTemplate* ChooseDialog(const ResourceTables& t, int id, LANGID lang) {
    return Choose(t.dialogs, t.dialogCount, lang, [id](const DialogTemplate& d) { return d.id == id; });
}

const StringEntry* ChooseString(const ResourceTables& t, UINT id, LANGID lang) {
    return Choose(t.strings, t.stringCount, lang, [id](const StringEntry& s) { return s.id == id; });
}

const IconGroup* ChooseIcon(const ResourceTables& t, int id, LANGID lang) {
    return Choose(t.icons, t.iconCount, lang, [id](const IconGroup& g) { return g.id == id; });
}

const VersionInfo* ChooseVersion(const ResourceTables& t, LANGID lang) {
    return Choose(t.versions, t.versionCount, lang, [](const VersionInfo&) { return true; });
}

const DialogTemplate* FindDialog(int id) { return ChooseDialog(g_resourceTables, id, UserUILanguage()); }

const char* FindString(UINT id) {
    const StringEntry* s = ChooseString(g_resourceTables, id, UserUILanguage());
    return s ? s->text : nullptr;
}

const IconGroup* FindIcon(int id) { return ChooseIcon(g_resourceTables, id, UserUILanguage()); }

const VersionInfo* FindVersion() { return ChooseVersion(g_resourceTables, UserUILanguage()); }

}  // namespace platform::res

int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int max) {
    if (!buffer || max <= 0) return 0;
    const char* text = platform::res::FindString(id);
    if (!text) {
        buffer[0] = '\0';
        return 0;
    }
    size_t n = std::strlen(text);
    if (n > static_cast<size_t>(max - 1)) {
        n = static_cast<size_t>(max - 1);
        // Never end on half a UTF-8 character: step back over continuation bytes.
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
