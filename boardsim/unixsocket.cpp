#include "unixsocket.h"

#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace boardsim {

bool socketAddress(const std::string& path, sockaddr_un& addr)
{
    addr = {};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return true;
}

bool socketServed(const std::string& path)
{
    sockaddr_un addr;
    if (!socketAddress(path, addr))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool served = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return served;
}

} // namespace boardsim
