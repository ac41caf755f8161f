// The simulated cutter's ear: turns any byte stream, fed in chunks of any
// size, into the commands it holds. Two kinds are understood: device commands
// ESC '.' NAME [';' n]... ':' (NAME a letter and digits, n 32-bit decimal) and
// HP-GL instructions (a two-letter mnemonic, numbers separated by ',' or
// blanks, ended by ';' or by the next mnemonic). What does not fit is skipped;
// what is held for an unfinished command stays within fixed bounds.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cutter_sim {

enum class CommandKind { Device, Hpgl };

struct CutterCommand {
    CommandKind eKind;
    std::string strName;         // "R1", "C6" or an upper-case mnemonic "PD"
    std::vector<double> aParams;  // a device command's are whole 32-bit numbers
    std::size_t nEnd;            // offset just past the command's last byte in the chunk that completed it
};

class CCutterParser {
public:
    // Longest device command body (between '.' and ':') that is kept.
    static constexpr std::size_t MAX_DEVICE_BODY = 48;
    // Longest number text in an HP-GL instruction.
    static constexpr std::size_t MAX_NUMBER = 24;
    // A long coordinate list is handed on in pieces of this many numbers (even,
    // so pairs stay whole); for PA, PR, PU and PD that means the same.
    static constexpr std::size_t MAX_PARAMS = 64;

    // Every command the bytes complete, in order.
    std::vector<CutterCommand> Feed(std::string_view bytes);
    // Bytes and numbers held for an unfinished command.
    std::size_t Held() const;

private:
    enum class State { Idle, Escape, Device, Mnemonic, Params, Skip };
    enum class Last { Mnemonic, Number, Comma };  // what an instruction's parameters ended with so far

    void Step(char c, std::size_t nAt, std::vector<CutterCommand>& out);
    void EndDevice(std::size_t nEnd, std::vector<CutterCommand>& out);
    void StartMnemonic(char c);
    // Ends the number being read, handing on a full piece; false when the
    // number is malformed (the instruction is then dropped).
    bool EndNumber(std::size_t nEnd, std::vector<CutterCommand>& out);
    void EmitInstruction(std::size_t nEnd, std::vector<CutterCommand>& out);

    State m_eState = State::Idle;
    std::string m_strBody;  // device command body
    bool m_bOverlong = false;
    std::string m_strName;  // mnemonic so far
    std::string m_strNumber;
    Last m_eLast = Last::Mnemonic;
    bool m_bFlushed = false;  // a piece of this instruction was handed on already
    std::vector<double> m_aParams;
};

}  // namespace cutter_sim
