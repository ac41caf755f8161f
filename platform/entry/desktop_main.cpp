// The program's start on a desktop: the Qt window backend first (without a
// display it ends the program with one line saying so), then real serial
// devices and drive files in the prefix; then the application object runs.
#include "platform/files/files.h"
#include "platform/serial/posix_serial.h"
#include "platform/ui/afxwin.h"
#include "platform/ui/qt/qt_backend.h"

int main(int argc, char** argv) {
    platform::ui::QtBackend backend(argc, argv);
    platform::files::InstallDriveFiles();
    platform::posix_serial::Install();
    platform::ui::SetBackend(&backend);
    int result = AfxWinMain("Dashel");
    platform::ui::SetBackend(nullptr);
    return result;
}
