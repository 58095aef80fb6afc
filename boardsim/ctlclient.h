// The client side of `expbord-sim ctl`: one command to a running daemon.
#pragma once

#include "ctlcommands.h"

#include <string>
#include <vector>

namespace boardsim {

// Sends args to the control socket of board in dir and waits for the reply
// (at most timeoutMs without progress). A daemon that cannot be reached or
// stops answering gives CtlFailed with a Dutch message.
CtlReply sendCtlCommand(const std::string& dir, int board, const std::vector<std::string>& args,
                        int timeoutMs = 10000);

// `expbord-sim ctl [--dir DIR] [--board N] COMMAND [ARGS...]`; args follow "ctl".
// Prints the output or the message and returns the exit code.
int ctlMain(const std::vector<std::string>& args);

} // namespace boardsim
