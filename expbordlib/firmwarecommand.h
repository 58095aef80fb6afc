// The windows' hidden firmware command: load a .bix image into the board and
// attach to the restarted board again.
#pragma once

#include "unitexpbordlib.h"

#include <string>

class QProgressBar;
namespace gui {
class OpenDialog;
}

// The members of a window that the command works on.
struct FirmwareCommandTarget {
    BoardHandle& device;
    const std::string& devicePath;
    gui::OpenDialog& openDialogFirmware;
    QProgressBar& progressBar;
};

// Runs on the GUI thread. After a good download the window's handle is closed
// for about five seconds while window messages are processed (timers and key
// hand-offs go on, their board calls fail), then the device path is opened again.
void buttonFirmwareClick(FirmwareCommandTarget window);
