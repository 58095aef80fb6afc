// The program entry of expbord-sim, kept in the library so a window can reuse it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QObject;

namespace boardsim {

class BoardServer;

// Makes the window once the boards are served; it lives until the event loop
// ends. It takes over the quit signals, so that closing it ends the daemon.
using WindowFactory =
    std::function<std::unique_ptr<QObject>(BoardServer& server, const std::vector<int>& boards)>;

// `expbord-sim [--dir DIR] [--boards 0,1,...] [--headless]`: args without the
// program name. Runs the Qt event loop (an application object must exist,
// a QApplication when there is a window) until SIGTERM or SIGINT, or until
// the window is closed; returns the exit code. Without makeWindow, or with
// --headless, it makes no window.
int daemonMain(const std::vector<std::string>& args, const WindowFactory& makeWindow = {});

// Whether args leave room for a window (no --headless, no --help).
bool windowRequested(const std::vector<std::string>& args);
// Whether Qt can show a window here: a display for xcb or Wayland, or a
// platform that needs none, such as offscreen.
bool displayAvailable();

// `--help`: the options and every control command, in Dutch.
std::string daemonHelpText();

} // namespace boardsim
