// Real serial devices through termios. Port n is the device that the symbolic
// link <prefix>/dosdevices/comN names (resolved before opening). When that
// folder holds no comN entry at all, com1, com2, ... are made for the serial
// devices found, in this order: /dev/ttyS* by number (only those with a UART
// behind them), then /dev/ttyUSB* by number, then /dev/ttyACM* by number.
//
// A link whose text is rfc2217://host:port names a network serial port
// instead (rfc2217_port.h); EnumPortsA lists it too.
//
// A device without modem lines (a pseudo-terminal) reads as all lines off:
// GetCommModemStatus gives TRUE with no bit set, as a Windows port whose
// cable is unplugged does, and DTR/RTS changes on it succeed without effect.
// When an open fails, one line says why and what to do, on standard error
// and as the details of the next message box (platform/base/diagnosis.h).
#pragma once

#include <string>

namespace platform::posix_serial {

// CreateFileA opens "COMn" and "\\.\COMn" on these devices; EnumPortsA lists
// the ports whose link leads to an existing device, as "COMn:".
void Install();
void Uninstall();

// Makes the comN links described above when there is none; returns how many
// were made.
int MapDevices();

namespace test {
// Look for devices in dev (instead of /dev) and for UART types in sysTty
// (instead of /sys/class/tty).
void SetDeviceRoots(const std::string& dev, const std::string& sysTty);
// The next open of a device fails with this errno, as if the system said so.
void FailNextOpen(int errnoValue);
}  // namespace test

}  // namespace platform::posix_serial
