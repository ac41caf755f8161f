// Which device stands behind COMn for the termios backend: the prefix's
// dosdevices links, and the list EnumPortsA shows.
#pragma once

#include <string>
#include <vector>

namespace platform::posix_serial {

// <prefix>/dosdevices/comN.
std::string PortLink(unsigned nPort);
// "COMn:" for every comN link that leads to an existing device, by n.
std::vector<std::string> ListMappedPorts();

}  // namespace platform::posix_serial
