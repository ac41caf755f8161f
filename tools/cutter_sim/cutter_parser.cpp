#include "tools/cutter_sim/cutter_parser.h"

#include <cstdint>

namespace cutter_sim {
namespace {

constexpr char ESC = 27;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// [+-]digits[.digits], at least one digit; false when the text is no number.
bool ReadNumber(const std::string& text, double* value) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    double v = 0;
    int digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) v = v * 10 + (text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        double scale = 0.1;
        for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits, scale /= 10) v += (text[i] - '0') * scale;
    }
    if (i != text.size() || digits == 0) return false;
    *value = negative ? -v : v;
    return true;
}

// NAME [';' n]...: a letter and one to three digits, then 32-bit decimal arguments.
bool ReadDeviceBody(const std::string& body, CutterCommand* command) {
    size_t i = 0;
    if (body.empty() || body[0] < 'A' || body[0] > 'Z') return false;
    for (i = 1; i < body.size() && IsDigit(body[i]); ++i) {}
    if (i == 1 || i > 4) return false;
    command->strName = body.substr(0, i);
    while (i < body.size()) {
        if (body[i++] != ';') return false;
        bool negative = false;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) negative = body[i++] == '-';
        std::int64_t v = 0;
        size_t start = i;
        for (; i < body.size() && IsDigit(body[i]); ++i) {
            v = v * 10 + (body[i] - '0');
            if (v > INT32_MAX + std::int64_t{1}) return false;
        }
        if (i == start) return false;
        if (negative) v = -v;
        if (v > INT32_MAX || v < INT32_MIN) return false;
        command->aParams.push_back(static_cast<double>(v));
    }
    return true;
}

}  // namespace

std::vector<CutterCommand> CCutterParser::Feed(std::string_view bytes) {
    std::vector<CutterCommand> out;
    for (size_t i = 0; i < bytes.size(); ++i) Step(bytes[i], i, out);
    return out;
}

std::size_t CCutterParser::Held() const {
    return m_strBody.size() + m_strName.size() + m_strNumber.size() + m_aParams.size();
}

void CCutterParser::Step(char c, std::size_t nAt, std::vector<CutterCommand>& out) {
    if (c == ESC) {  // a device command may come anywhere and ends whatever was pending
        if (m_eState == State::Params) EmitInstruction(nAt, out);
        m_strBody.clear();
        m_strName.clear();
        m_eState = State::Escape;
        return;
    }
    switch (m_eState) {
    case State::Escape:
        if (c == '.') {
            m_bOverlong = false;
            m_eState = State::Device;
            return;
        }
        m_eState = State::Idle;
        [[fallthrough]];
    case State::Idle:
    case State::Skip:
        if (IsLetter(c)) StartMnemonic(c);
        else if (c == ';') m_eState = State::Idle;
        return;
    case State::Device:
        if (c == ':') {
            EndDevice(nAt + 1, out);
        } else if (m_strBody.size() < MAX_DEVICE_BODY) {
            m_strBody.push_back(c);
        } else {
            m_bOverlong = true;
        }
        return;
    case State::Mnemonic:
        if (IsLetter(c)) {
            m_strName.push_back(Upper(c));
            m_strNumber.clear();
            m_aParams.clear();
            m_eLast = Last::Mnemonic;
            m_bFlushed = false;
            m_eState = State::Params;
        } else {
            m_strName.clear();
            m_eState = c == ';' ? State::Idle : State::Skip;
        }
        return;
    case State::Params:
        break;
    }
    if (IsDigit(c) || c == '.' || ((c == '+' || c == '-') && m_strNumber.empty())) {
        if (m_strNumber.size() < MAX_NUMBER) {
            m_strNumber.push_back(c);
            return;
        }
    } else if (IsBlank(c)) {
        if (EndNumber(nAt + 1, out)) return;
    } else if (c == ',') {
        if (EndNumber(nAt + 1, out) && m_eLast == Last::Number) {
            m_eLast = Last::Comma;
            return;
        }
    } else if (c == ';' || IsLetter(c)) {
        EmitInstruction(c == ';' ? nAt + 1 : nAt, out);
        if (IsLetter(c)) StartMnemonic(c);
        return;
    }
    // Anything else spoils the instruction: the rest of it is dropped.
    m_strName.clear();
    m_strNumber.clear();
    m_aParams.clear();
    m_eState = State::Skip;
}

void CCutterParser::EndDevice(std::size_t nEnd, std::vector<CutterCommand>& out) {
    CutterCommand command{CommandKind::Device, {}, {}, nEnd};
    if (!m_bOverlong && ReadDeviceBody(m_strBody, &command)) out.push_back(std::move(command));
    m_strBody.clear();
    m_eState = State::Idle;
}

void CCutterParser::StartMnemonic(char c) {
    m_strName.assign(1, Upper(c));
    m_eState = State::Mnemonic;
}

bool CCutterParser::EndNumber(std::size_t nEnd, std::vector<CutterCommand>& out) {
    if (m_strNumber.empty()) return true;
    double value;
    bool ok = ReadNumber(m_strNumber, &value);
    m_strNumber.clear();
    if (!ok) return false;
    m_aParams.push_back(value);
    m_eLast = Last::Number;
    if (m_aParams.size() == MAX_PARAMS) {
        out.push_back({CommandKind::Hpgl, m_strName, std::move(m_aParams), nEnd});
        m_aParams.clear();
        m_bFlushed = true;
    }
    return true;
}

void CCutterParser::EmitInstruction(std::size_t nEnd, std::vector<CutterCommand>& out) {
    bool complete = m_eState == State::Params && EndNumber(nEnd, out) && m_eLast != Last::Comma;
    if (complete && !(m_bFlushed && m_aParams.empty()))
        out.push_back({CommandKind::Hpgl, m_strName, std::move(m_aParams), nEnd});
    m_strName.clear();
    m_strNumber.clear();
    m_aParams.clear();
    m_eState = State::Idle;
}

}  // namespace cutter_sim
