// What the library needs once loaded: the drive files and the prefix's local
// spooler behind the platform calls it makes. Neither step can fail; a prefix
// that cannot be used shows later as a failed call (result 0).
#include <memory>

#include "platform/files/files.h"
#include "platform/spool/local_spooler.h"

namespace {

struct CModuleInit {
    CModuleInit() {
        platform::files::InstallDriveFiles();
        // The prefix is looked up at each call, not here: other globals of the
        // library may not be initialised yet while it loads.
        platform::spool::UseSpooler(std::make_shared<platform::spool::CLocalSpooler>());
    }
};

const CModuleInit g_moduleInit;

}  // namespace
