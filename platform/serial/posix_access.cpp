#include "platform/serial/posix_access.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdio>

namespace platform::posix_serial {

bool LookUpAccess(const std::string& path, DeviceAccess* access) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    const passwd* user = getpwuid(st.st_uid);
    const group* grp = getgrgid(st.st_gid);
    access->strOwner = user ? user->pw_name : std::to_string(st.st_uid);
    access->strGroup = grp ? grp->gr_name : std::to_string(st.st_gid);
    access->bRootOwner = st.st_uid == 0;
    access->bRootGroup = st.st_gid == 0;
    access->nMode = st.st_mode & 0777;
    return true;
}

std::string AccessAdvice(const DeviceAccess& a) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%03o", a.nMode);
    if ((a.nMode & 006) == 006)
        return std::string("its mode (") + mode + ") lets everyone read and write it, so something else refuses it: "
               "a security module or an access control list";
    // Joining the root group would hand out far more than one device.
    if ((a.nMode & 060) == 060 && !a.bRootGroup)
        return "add your user to the " + a.strGroup + " group (sudo usermod -aG " + a.strGroup +
               " $USER), then log out and in again";
    std::string who = a.bRootOwner ? "root" : "its owner " + a.strOwner;
    return "only " + who + " may open it (owner " + a.strOwner + ", group " + a.strGroup + ", mode " + mode +
           "); joining a group will not help: give the device a group that may read and write it "
           "(for example a udev rule with GROUP=\"dialout\", MODE=\"0660\")";
}

}  // namespace platform::posix_serial
