// A script runner's commands as a table: each verb with the number of words
// a line of it has (the verb included), its handler and the usage that a
// refused line is answered with.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform::text {

constexpr std::size_t kAnyWordCount = ~std::size_t{0};

template <typename Handler>
struct SVerb {
    const char* pszName;
    std::size_t nMinWords, nMaxWords;
    Handler pHandler;
    const char* pszUsage;

    bool Fits(const std::vector<std::string>& words) const {
        return words.size() >= nMinWords && words.size() <= nMaxWords;
    }
    std::string Usage() const { return std::string("usage: ") + pszUsage; }
};

// The verb named so, or nullptr.
template <typename Handler, std::size_t N>
const SVerb<Handler>* FindVerb(const SVerb<Handler> (&verbs)[N], const std::string& name) {
    for (const auto& verb : verbs)
        if (name == verb.pszName) return &verb;
    return nullptr;
}

// Runs a line's words through a table of handlers that take the words and a
// reason: false with *pError the handler's reason, the usage, or that the
// verb is unknown.
template <typename Owner, std::size_t N>
bool RunVerb(Owner* owner, const SVerb<bool (Owner::*)(const std::vector<std::string>&, std::string*)> (&verbs)[N],
             const std::vector<std::string>& words, std::string* pError) {
    const auto* verb = FindVerb(verbs, words[0]);
    if (!verb) {
        *pError = "unknown command " + words[0];
        return false;
    }
    pError->clear();
    if (verb->Fits(words) && (owner->*verb->pHandler)(words, pError)) return true;
    if (pError->empty()) *pError = verb->Usage();
    return false;
}

}  // namespace platform::text
