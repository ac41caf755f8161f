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

}  // namespace platform::text
