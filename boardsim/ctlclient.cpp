#include "ctlclient.h"
#include "ctlprotocol.h"
#include "devicelayer.h"
#include "unixsocket.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace boardsim {

namespace {

struct Fd {
    int fd = -1;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

bool waitFor(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR)
            continue;
        return r > 0;
    }
}

std::string boardText(int board)
{
    return "het virtuele bord " + std::to_string(board);
}

} // namespace

CtlReply sendCtlCommand(const std::string& dir, int board, const std::vector<std::string>& args,
                        int timeoutMs)
{
    const std::string path = dir + "/" + controlSocketName(board);
    sockaddr_un addr;
    if (!socketAddress(path, addr))
        return {CtlFailed, "het pad " + path + " is te lang voor een socket"};
    Fd s{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (s.fd < 0)
        return {CtlFailed, std::string("kan geen socket maken: ") + std::strerror(errno)};
    if (::connect(s.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        int error = errno;
        if (error == ENOENT || error == ECONNREFUSED)
            return {CtlFailed,
                    "er draait geen expbord-sim voor bord " + std::to_string(board) + " in " + dir};
        return {CtlFailed, "kan " + path + " niet openen: " + std::strerror(error)};
    }

    std::vector<uint8_t> request = encodeCtlRequest(args);
    size_t sent = 0;
    while (sent < request.size()) {
        if (!waitFor(s.fd, POLLOUT, timeoutMs))
            return {CtlFailed, boardText(board) + " neemt de opdracht niet aan"};
        ssize_t n = ::send(s.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {CtlFailed, "de verbinding met " + boardText(board) + " is verbroken"};
        sent += size_t(n);
    }

    std::vector<uint8_t> in;
    std::vector<uint8_t> chunk(1 << 16);
    for (;;) {
        CtlReply reply;
        wire::ParseResult pr = parseCtlReply(in, reply.exitCode, reply.output);
        if (pr.status == wire::ParseStatus::Ok)
            return reply;
        if (pr.status == wire::ParseStatus::Malformed)
            return {CtlFailed, boardText(board) + " gaf een onleesbaar antwoord"};
        if (!waitFor(s.fd, POLLIN, timeoutMs))
            return {CtlFailed, boardText(board) + " antwoordt niet"};
        ssize_t n = ::recv(s.fd, chunk.data(), chunk.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {CtlFailed, "de verbinding met " + boardText(board) + " is verbroken"};
        in.insert(in.end(), chunk.begin(), chunk.begin() + n);
    }
}

int ctlMain(const std::vector<std::string>& args)
{
    std::string dir;
    int board = 0;
    size_t i = 0;
    auto usageError = [](const std::string& message) {
        std::fprintf(stderr, "expbord-sim ctl: %s\n", message.c_str());
        return int(CtlUsage);
    };
    for (; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(ctlHelpText(), stdout);
            return CtlOk;
        }
        if (a == "--dir") {
            if (i + 1 >= args.size())
                return usageError("--dir verwacht een map");
            dir = args[++i];
        } else if (a == "--board") {
            if (i + 1 >= args.size())
                return usageError("--board verwacht een bordnummer");
            const std::string& n = args[++i];
            auto [end, ec] = std::from_chars(n.data(), n.data() + n.size(), board);
            if (ec != std::errc{} || end != n.data() + n.size() || board < 0)
                return usageError("ongeldig bordnummer '" + n + "'");
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return usageError("onbekende optie '" + a + "' (zie expbord-sim --help)");
        } else {
            break;
        }
    }
    if (i >= args.size())
        return usageError("geef een opdracht (zie expbord-sim --help)");
    if (dir.empty())
        dir = device::deviceFolder();
    CtlReply reply =
        sendCtlCommand(dir, board, std::vector<std::string>(args.begin() + long(i), args.end()));
    if (reply.exitCode == CtlOk) {
        std::fwrite(reply.output.data(), 1, reply.output.size(), stdout);
    } else {
        std::fprintf(stderr, "expbord-sim ctl: %s\n", reply.output.c_str());
    }
    std::fflush(stdout);
    return reply.exitCode;
}

} // namespace boardsim
