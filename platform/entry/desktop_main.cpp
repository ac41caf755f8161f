// The program's start on a desktop: real serial devices, drive files in the
// prefix, the Qt window backend; then the application object runs.
#include "platform/files/files.h"
#include "platform/serial/posix_serial.h"
#include "platform/ui/afxwin.h"
#include "platform/ui/qt/qt_backend.h"

int main(int argc, char** argv) {
    platform::files::InstallDriveFiles();
    platform::posix_serial::Install();
    platform::ui::QtBackend backend(argc, argv);
    platform::ui::SetBackend(&backend);
    int result = AfxWinMain("Dashel");
    platform::ui::SetBackend(nullptr);
    return result;
}
