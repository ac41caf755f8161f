#include "platform/serial/posix_line.h"

#include <algorithm>
#include <iterator>

namespace platform::posix_serial {

namespace {
struct BaudEntry {
    DWORD dwBaud;
    speed_t speed;
};
const BaudEntry BAUDS[] = {{110, B110},         {300, B300},         {600, B600},         {1200, B1200},
                           {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},
                           {38400, B38400},     {57600, B57600},     {115200, B115200},   {230400, B230400},
                           {460800, B460800},   {500000, B500000},   {576000, B576000},   {921600, B921600},
                           {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000}};
}  // namespace

bool DcbToTermios(const DCB& dcb, termios* tio) {
    auto baud = std::find_if(std::begin(BAUDS), std::end(BAUDS),
                             [&](const BaudEntry& b) { return b.dwBaud == dcb.BaudRate; });
    if (baud == std::end(BAUDS)) return false;
    cfsetispeed(tio, baud->speed);
    cfsetospeed(tio, baud->speed);
    static const tcflag_t SIZES[] = {CS5, CS6, CS7, CS8};
    tio->c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio->c_cflag |= SIZES[dcb.ByteSize - 5] | CLOCAL | CREAD | HUPCL;
    switch (dcb.Parity) {
    case ODDPARITY: tio->c_cflag |= PARENB | PARODD; break;
    case EVENPARITY: tio->c_cflag |= PARENB; break;
    case MARKPARITY: tio->c_cflag |= PARENB | CMSPAR | PARODD; break;
    case SPACEPARITY: tio->c_cflag |= PARENB | CMSPAR; break;
    }
    if (dcb.StopBits != ONESTOPBIT) tio->c_cflag |= CSTOPB;  // 1.5 with 5 bits, 2 otherwise
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) tio->c_cflag |= CRTSCTS;
    tio->c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    if (dcb.fParity) tio->c_iflag |= INPCK;
    if (dcb.fOutX) tio->c_iflag |= IXON;
    if (dcb.fInX) tio->c_iflag |= IXOFF;
    tio->c_oflag &= ~OPOST;
    tio->c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio->c_cc[VMIN] = 0;
    tio->c_cc[VTIME] = 0;
    tio->c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    tio->c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    return true;
}

DCB TermiosToDcb(const termios& tio, DCB dcb) {
    speed_t speed = cfgetospeed(&tio);
    for (const auto& b : BAUDS)
        if (b.speed == speed) dcb.BaudRate = b.dwBaud;
    switch (tio.c_cflag & CSIZE) {
    case CS5: dcb.ByteSize = 5; break;
    case CS6: dcb.ByteSize = 6; break;
    case CS7: dcb.ByteSize = 7; break;
    default: dcb.ByteSize = 8;
    }
    if (!(tio.c_cflag & PARENB))
        dcb.Parity = NOPARITY;
    else if (tio.c_cflag & CMSPAR)
        dcb.Parity = (tio.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
    else
        dcb.Parity = (tio.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
    dcb.StopBits = !(tio.c_cflag & CSTOPB) ? ONESTOPBIT : dcb.ByteSize == 5 ? ONE5STOPBITS : TWOSTOPBITS;
    bool rtscts = tio.c_cflag & CRTSCTS;
    dcb.fOutxCtsFlow = rtscts;
    if (rtscts)
        dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    else if (dcb.fRtsControl == RTS_CONTROL_HANDSHAKE)
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fParity = (tio.c_iflag & INPCK) != 0;
    dcb.fOutX = (tio.c_iflag & IXON) != 0;
    dcb.fInX = (tio.c_iflag & IXOFF) != 0;
    dcb.XonChar = static_cast<char>(tio.c_cc[VSTART]);
    dcb.XoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    dcb.fBinary = 1;
    dcb.DCBlength = sizeof(DCB);
    return dcb;
}

}  // namespace platform::posix_serial
