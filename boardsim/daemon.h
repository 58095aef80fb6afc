// The program entry of expbord-sim, kept in the library so a window can reuse it.
#pragma once

#include <string>
#include <vector>

namespace boardsim {

// `expbord-sim [--dir DIR] [--boards 0,1,...] [--headless]`: args without the
// program name. Runs the Qt event loop (an application object must exist)
// until SIGTERM or SIGINT; returns the exit code.
int daemonMain(const std::vector<std::string>& args);

// `--help`: the options and every control command, in Dutch.
std::string daemonHelpText();

} // namespace boardsim
