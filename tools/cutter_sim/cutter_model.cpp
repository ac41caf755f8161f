#include "tools/cutter_sim/cutter_model.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

namespace cutter_sim {
namespace {

constexpr std::size_t MAX_TEXT = 32;

bool ReadInt32(const std::string& text, int* value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return false;
    std::int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        v = v * 10 + (text[i] - '0');
        if (v > INT32_MAX + std::int64_t{1}) return false;
    }
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    *value = static_cast<int>(v);
    return true;
}

// A text that keeps the reply's fields apart.
bool FitsField(const std::string& text, bool bBlankAllowed) {
    if (text.size() > MAX_TEXT) return false;
    for (char c : text)
        if (c == ',' || c == ';' || (c == ' ' && !bBlankAllowed) || static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

std::string Mm(double d) {
    if (std::fabs(d) < 0.005) d = 0;  // no "-0.00"
    char text[48];
    std::snprintf(text, sizeof text, "%.2f", d);
    return text;
}

}  // namespace

std::string FormatPath(const CutPath& path) {
    std::string text;
    for (const CutPoint& p : path) {
        if (!text.empty()) text += ' ';
        text += "(" + Mm(p.dX) + "," + Mm(p.dY) + ")";
    }
    return text;
}

std::string CCutterModel::Apply(const CutterCommand& command) {
    if (command.eKind == CommandKind::Device) return ApplyDevice(command);
    ApplyHpgl(command);
    return {};
}

std::string CCutterModel::ApplyDevice(const CutterCommand& command) {
    const std::string& name = command.strName;
    const std::vector<double>& args = command.aParams;
    const CutterSettings& s = m_state.settings;
    char reply[160];
    if (args.empty() && name == "R1") {
        std::snprintf(reply, sizeof reply, "OR1,%d,%d,%d,%d,%d,%d,%d;", s.nWeight, s.nForce, s.nOffset, s.nQuality,
                      s.nSmooth, s.nUnroll, s.nMedia);
    } else if (args.empty() && name == "R2") {
        std::snprintf(reply, sizeof reply, "OR2,%d,%d;", m_state.nSizeX, m_state.nSizeY);
    } else if (args.empty() && name == "R3") {
        std::snprintf(reply, sizeof reply, "OR3,%d,%d,0;", s.nFactorX, s.nFactorY);
    } else if (args.empty() && name == "R4") {
        std::snprintf(reply, sizeof reply, "OR4,0,%s,%s %s,0,0;", m_state.strModel.c_str(),
                      m_state.strVersion.c_str(), m_state.strBuildDate.c_str());
    } else {
        // A factor of 0 or below cannot be drawn with: the cutter keeps the one it has.
        if (name == "C6" && args.size() == 2 && args[1] > 0) {
            if (args[0] == 1) m_state.settings.nFactorX = static_cast<int>(args[1]);
            if (args[0] == 2) m_state.settings.nFactorY = static_cast<int>(args[1]);
        } else if (name == "C1" && args.size() == 2 && args[0] == 7 && args[1] >= 1 && args[1] <= 3) {
            m_state.settings.nMedia = static_cast<int>(args[1]);
        } else if (name == "C0" && args.size() == 1 && args[0] == 0) {
            m_saved = m_state.settings;
            ++m_nFlashSaves;
        }
        return {};
    }
    return reply;
}

void CCutterModel::ApplyHpgl(const CutterCommand& command) {
    const std::string& name = command.strName;
    if (name == "IN") {
        PenUp();
        m_bRelative = false;
        m_dX = m_dY = 0;
        return;
    }
    if (name == "SP") {
        PenUp();
        return;
    }
    if (name == "PA") m_bRelative = false;
    else if (name == "PR") m_bRelative = true;
    else if (name == "PU") PenUp();
    else if (name == "PD") m_bPenDown = true;
    else return;
    // An unpaired last number moves nowhere.
    for (size_t i = 0; i + 1 < command.aParams.size(); i += 2) MoveTo(command.aParams[i], command.aParams[i + 1]);
}

void CCutterModel::MoveTo(double dUnitsX, double dUnitsY) {
    // A larger factor draws smaller: the cutter's own true factor over the commanded one.
    double dX = dUnitsX * m_state.nTrueX / m_state.settings.nFactorX / UNITS_PER_MM;
    double dY = dUnitsY * m_state.nTrueY / m_state.settings.nFactorY / UNITS_PER_MM;
    CutPoint from{m_dX, m_dY};
    m_dX = m_bRelative ? m_dX + dX : dX;
    m_dY = m_bRelative ? m_dY + dY : dY;
    if (!m_bPenDown) return;
    size_t needed = m_bPathOpen ? 1 : 2;
    if (m_nCutPoints + needed > MAX_CUT_POINTS) {
        m_nDroppedPoints += needed;
        return;
    }
    if (!m_bPathOpen) m_aCuts.push_back({from});
    m_aCuts.back().push_back({m_dX, m_dY});
    m_nCutPoints += needed;
    m_bPathOpen = true;
}

void CCutterModel::PenUp() {
    m_bPenDown = false;
    m_bPathOpen = false;
}

bool CCutterModel::Configure(const std::string& strKey, const std::string& strValue) {
    CutterSettings& s = m_state.settings;
    struct Number {
        const char* szKey;
        int* pValue;
        bool bPositive;
    } const numbers[] = {
        {"weight", &s.nWeight, false},  {"force", &s.nForce, false},       {"offset", &s.nOffset, false},
        {"quality", &s.nQuality, false}, {"smooth", &s.nSmooth, false},    {"unroll", &s.nUnroll, false},
        {"media", &s.nMedia, false},     {"sizex", &m_state.nSizeX, false}, {"sizey", &m_state.nSizeY, false},
        {"factorx", &s.nFactorX, true},  {"factory", &s.nFactorY, true},   {"truex", &m_state.nTrueX, true},
        {"truey", &m_state.nTrueY, true},
    };
    for (const Number& n : numbers) {
        if (strKey != n.szKey) continue;
        int value;
        if (!ReadInt32(strValue, &value) || (n.bPositive && value <= 0)) return false;
        *n.pValue = value;
        return true;
    }
    std::string* text = strKey == "model"     ? &m_state.strModel
                        : strKey == "version" ? &m_state.strVersion
                        : strKey == "date"    ? &m_state.strBuildDate
                                              : nullptr;
    if (!text || !FitsField(strValue, strKey != "version")) return false;
    *text = strValue;
    return true;
}

}  // namespace cutter_sim
