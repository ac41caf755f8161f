#include "tools/kestra_sim/faults.h"

#include <cstdio>

namespace kestra_sim {

long long CFaults::NextJitterMs() {
    if (m_options.nJitterMs <= 0) return 0;
    return Below(static_cast<std::uint32_t>(m_options.nJitterMs) + 1);
}

std::string CFaults::NextReply(std::string reply, std::string* note) {
    ++m_nReplies;
    if (m_options.nGarbleEvery <= 0 || reply.empty() ||
        m_nReplies % static_cast<unsigned long>(m_options.nGarbleEvery) != 0)
        return reply;
    std::uint32_t at = Below(static_cast<std::uint32_t>(reply.size()));
    unsigned char was = static_cast<unsigned char>(reply[at]);
    unsigned char now = static_cast<unsigned char>((was + 1 + Below(255)) % 256);  // any value but the old one
    reply[at] = static_cast<char>(now);
    char text[64];
    std::snprintf(text, sizeof text, "garbled reply %lu: byte %u 0x%02X -> 0x%02X", m_nReplies, at, was, now);
    *note = text;
    return reply;
}

}  // namespace kestra_sim
