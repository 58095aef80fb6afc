// Unix socket addresses by path, for the daemon, its control client and the
// programs that wait for a daemon to come up.
#pragma once

#include <string>

#include <sys/un.h>

namespace boardsim {

// False when path does not fit a socket address.
bool socketAddress(const std::string& path, sockaddr_un& addr);

// Whether a process accepts connections on the socket at path.
bool socketServed(const std::string& path);

} // namespace boardsim
