#include "platform/serial/telnet_codec.h"

#include <algorithm>
#include <utility>

namespace platform::telnet {

std::vector<CTelnetEvent> CTelnetParser::Feed(std::string_view bytes) {
    std::vector<CTelnetEvent> out;
    auto data = [&out](unsigned char c) {
        if (out.empty() || out.back().eKind != CTelnetEvent::Kind::Data)
            out.push_back({CTelnetEvent::Kind::Data, 0, 0, {}});
        out.back().strBytes.push_back(static_cast<char>(c));
    };
    for (char ch : bytes) {
        unsigned char c = static_cast<unsigned char>(ch);
        switch (m_eState) {
        case State::Data:
            if (c == IAC)
                m_eState = State::Command;
            else
                data(c);
            break;
        case State::Command:
            if (c == IAC) {
                data(c);
                m_eState = State::Data;
            } else {
                Command(c, out);
            }
            break;
        case State::Verb:
            out.push_back({CTelnetEvent::Kind::Negotiation, m_nVerb, c, {}});
            m_eState = State::Data;
            break;
        case State::SubOption:
            m_nOption = c;
            m_strSub.clear();
            m_bOverlong = false;
            m_eState = State::Sub;
            break;
        case State::Sub:
            if (c == IAC) {
                m_eState = State::SubCommand;
            } else if (m_strSub.size() < MAX_SUBNEGOTIATION) {
                m_strSub.push_back(static_cast<char>(c));
            } else {
                m_bOverlong = true;
            }
            break;
        case State::SubCommand:
            if (c == IAC) {
                if (m_strSub.size() < MAX_SUBNEGOTIATION)
                    m_strSub.push_back(static_cast<char>(c));
                else
                    m_bOverlong = true;
                m_eState = State::Sub;
            } else if (c == SE) {
                if (!m_bOverlong) out.push_back({CTelnetEvent::Kind::Subnegotiation, 0, m_nOption, m_strSub});
                m_strSub.clear();
                m_eState = State::Data;
            } else {
                // A broken subnegotiation: drop it and read the byte as the command it is.
                m_strSub.clear();
                Command(c, out);
            }
            break;
        }
    }
    return out;
}

void CTelnetParser::Command(unsigned char c, std::vector<CTelnetEvent>& out) {
    if (c >= WILL) {
        m_nVerb = c;
        m_eState = State::Verb;
    } else if (c == SB) {
        m_eState = State::SubOption;
    } else {
        m_eState = State::Data;  // NOP, GA, a stray SE and the like carry nothing for a serial line
    }
}

CTelnetOptions::CTelnetOptions(std::vector<unsigned char> aAccepted) : m_aAccepted(std::move(aAccepted)) {}

std::string CTelnetOptions::RequestLocal(unsigned char option) {
    if (m_aLocal[option] != Side::No) return "";
    m_aLocal[option] = Side::Asked;
    return Negotiation(WILL, option);
}

std::string CTelnetOptions::RequestRemote(unsigned char option) {
    if (m_aRemote[option] != Side::No) return "";
    m_aRemote[option] = Side::Asked;
    return Negotiation(DO, option);
}

std::string CTelnetOptions::Receive(unsigned char verb, unsigned char option) {
    bool enable = verb == WILL || verb == DO;
    bool remote = verb == WILL || verb == WONT;
    Side& side = remote ? m_aRemote[option] : m_aLocal[option];
    unsigned char yes = remote ? DO : WILL;
    unsigned char no = remote ? DONT : WONT;
    if (enable) {
        if (side == Side::Yes) return "";
        if (side == Side::Asked) {
            side = Side::Yes;
            return "";
        }
        if (std::find(m_aAccepted.begin(), m_aAccepted.end(), option) == m_aAccepted.end()) return Negotiation(no, option);
        side = Side::Yes;
        return Negotiation(yes, option);
    }
    Side was = std::exchange(side, Side::No);
    if (was != Side::No) m_aRefused[option] = true;
    return was == Side::Yes ? Negotiation(no, option) : "";
}

std::string Negotiation(unsigned char verb, unsigned char option) {
    return {static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
}

std::string EscapeData(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t at = 0; at < bytes.size();) {
        std::size_t iac = std::min(bytes.find(static_cast<char>(IAC), at), bytes.size());
        out.append(bytes.substr(at, iac - at));
        if (iac < bytes.size()) out.append(2, static_cast<char>(IAC));
        at = iac + 1;
    }
    return out;
}

std::string ComPortCommand(unsigned char command, std::string_view value) {
    std::string out = {static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(OPT_COM_PORT),
                       static_cast<char>(command)};
    out += EscapeData(value);
    out.push_back(static_cast<char>(IAC));
    out.push_back(static_cast<char>(SE));
    return out;
}

std::string ComPortCommand(unsigned char command, unsigned char value) {
    char c = static_cast<char>(value);
    return ComPortCommand(command, std::string_view(&c, 1));
}

std::string BigEndian32(std::uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

std::uint32_t ReadBigEndian32(std::string_view bytes) {
    if (bytes.size() < 4) return 0;
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

}  // namespace platform::telnet
