// The control commands of the virtual board: arguments in, effect on the board
// and the text to print out. No I/O, so scripts, tests and fuzzers drive the
// same code as `expbord-sim ctl`.
#pragma once

#include "boardmodel.h"

#include <string>
#include <vector>

namespace boardsim {

enum CtlExit { CtlOk = 0, CtlFailed = 1, CtlUsage = 2 };

struct CtlReply {
    int exitCode = CtlOk;
    // On success what goes to standard output; otherwise the Dutch message.
    std::string output;
};

// args[0] is the command (keys, type, controls, fail, unplug, plug, state, events).
CtlReply runCtlCommand(BoardModel& board, const std::vector<std::string>& args);

// The `state` object on one line.
std::string stateJson(const BoardModel& board);

// Hex bytes as `keys` and `controls` take them: each argument one byte ("7",
// "0A") or an even run of digits ("F01C"). Nothing when an argument is not hex.
std::optional<std::vector<uint8_t>> parseHexBytes(const std::vector<std::string>& args,
                                                  size_t first);

// The command list for --help.
const char* ctlHelpText();

} // namespace boardsim
