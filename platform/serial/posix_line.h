// The device control block in termios terms, for the termios backend.
#pragma once

#include <termios.h>

#include "platform/serial/win_comm.h"

namespace platform::posix_serial {

// Raw bytes (no echo, editing or mapping) with the DCB's speed, frame and flow
// control; false for a baud rate termios has no constant for.
bool DcbToTermios(const DCB& dcb, termios* tio);
// What the device holds, laid over dcb for the fields termios has no place for
// (XON/XOFF limits, DTR and DSR handshake, abort on error, ...).
DCB TermiosToDcb(const termios& tio, DCB dcb);

}  // namespace platform::posix_serial
