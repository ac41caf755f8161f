// What a person can do about a device the system would not let them open,
// worked out from who owns it and its mode, for the line that explains a
// refused open.
#pragma once

#include <string>

namespace platform::posix_serial {

struct DeviceAccess {
    std::string strOwner;  // user name, or the number when it has none
    std::string strGroup;  // group name, or the number when it has none
    bool bRootOwner;       // user 0
    bool bRootGroup;       // group 0
    unsigned nMode;        // permission bits, 0777 at most
};

// The owner, group and mode of path; false when it cannot be looked at.
bool LookUpAccess(const std::string& path, DeviceAccess* access);

// The advice after "permission denied on DEVICE: ": join the device's group
// when its group may read and write it, else who alone may open it.
std::string AccessAdvice(const DeviceAccess& access);

}  // namespace platform::posix_serial
