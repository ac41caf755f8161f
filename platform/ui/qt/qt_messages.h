// Qt's own messages on their way to standard error. While the Qt application
// starts they are held back: if Qt then gives up for want of a display, the
// program prints one line saying what to set and ends with exit code 1,
// instead of Qt's abort and its advice to reinstall; otherwise they follow.
// Notices that say nothing about this program are dropped.
#pragma once

#include <string>

namespace platform::ui {

class QtMessages {
public:
    // Holds messages back from now on; program names the program in the line.
    explicit QtMessages(std::string program);
    ~QtMessages();
    // The application has started: what was held back is printed.
    void Started();
};

// The line printed when no display can be opened, naming what the
// environment asked for.
std::string NoDisplayLine(const std::string& program);

}  // namespace platform::ui
