#include "boardserver.h"
#include "ctlcommands.h"
#include "ctlprotocol.h"
#include "deviceconnection.h"
#include "unixsocket.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace boardsim {

namespace {

constexpr size_t maxPendingOutput = 1u << 20;

// Creates dir and its missing parents; the device folder itself is private.
bool makePrivateFolder(const std::string& dir, std::string& error)
{
    for (size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            error = "kan de map " + part + " niet maken: " + std::strerror(errno);
            return false;
        }
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = dir + " is geen map";
        return false;
    }
    if (st.st_uid != ::getuid()) {
        error = "de map " + dir + " is van een andere gebruiker";
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && ::chmod(dir.c_str(), 0700) != 0) {
        error = "kan de rechten van " + dir + " niet op 0700 zetten: " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace

struct BoardServer::Listener {
    int fd = -1;
    int board = 0;
    bool control = false;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Listener()
    {
        notifier.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

struct BoardServer::Client {
    int fd = -1;
    int id = 0;
    int board = 0;
    bool control = false;
    bool dead = false;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    std::vector<uint8_t> out;
    size_t outOffset = 0;
    std::vector<uint8_t> in; // control connections
    std::unique_ptr<DeviceConnection> device;
    ~Client()
    {
        // The protocol side first: hanging up may still log to the board.
        device.reset();
        readable.reset();
        writable.reset();
        if (fd >= 0)
            ::close(fd);
    }
};

BoardServer::BoardServer(std::string dir) : dir_(std::move(dir)) {}

BoardServer::~BoardServer()
{
    clients_.clear();
    listeners_.clear();
    for (const std::string& path : ownSockets_)
        ::unlink(path.c_str());
}

std::string BoardServer::devicePath(int number) const
{
    return dir_ + "/" + deviceSocketName(number);
}

std::string BoardServer::controlPath(int number) const
{
    return dir_ + "/" + controlSocketName(number);
}

BoardModel* BoardServer::board(int number)
{
    auto it = boards_.find(number);
    return it == boards_.end() ? nullptr : it->second.get();
}

bool BoardServer::start(const std::vector<int>& boards, std::string& error)
{
    if (!makePrivateFolder(dir_, error))
        return false;
    auto started = std::chrono::steady_clock::now();
    BoardModel::Clock clock = [started] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now() - started)
            .count();
    };
    // Check every socket before making one, so a refusal leaves nothing behind.
    for (int n : boards) {
        for (const std::string& path : {devicePath(n), controlPath(n)}) {
            sockaddr_un addr;
            if (!socketAddress(path, addr)) {
                error = "het pad " + path + " is te lang voor een socket";
                return false;
            }
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0)
                continue;
            if (!S_ISSOCK(st.st_mode)) {
                error = path + " bestaat al en is geen socket";
                return false;
            }
            if (socketServed(path)) {
                error = "bord " + std::to_string(n) + " wordt al bediend door een ander proces (" +
                        path + "); stop dat eerst of kies een andere map met --dir";
                return false;
            }
        }
    }
    for (int n : boards) {
        boards_[n] = std::make_unique<BoardModel>(clock);
        if (!listenOn(devicePath(n), n, false, error) || !listenOn(controlPath(n), n, true, error))
            return false;
    }
    return true;
}

bool BoardServer::listenOn(const std::string& path, int board, bool control, std::string& error)
{
    sockaddr_un addr;
    socketAddress(path, addr);
    // What is left here is a socket nobody serves any more.
    ::unlink(path.c_str());
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::string("kan geen socket maken: ") + std::strerror(errno);
        return false;
    }
    auto listener = std::make_unique<Listener>();
    listener->fd = fd;
    listener->board = board;
    listener->control = control;
    // The socket never exists with wider rights than 0600.
    mode_t oldMask = ::umask(0177);
    int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    int bindError = errno;
    ::umask(oldMask);
    if (bound != 0) {
        error = "kan " + path + " niet maken: " + std::strerror(bindError);
        return false;
    }
    ownSockets_.push_back(path);
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 64) != 0) {
        error = "kan niet luisteren op " + path + ": " + std::strerror(errno);
        return false;
    }
    Listener* l = listener.get();
    listener->notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(listener->notifier.get(), &QSocketNotifier::activated, &context_,
                     [this, l] { accept(*l); });
    listeners_.push_back(std::move(listener));
    return true;
}

void BoardServer::accept(Listener& listener)
{
    for (;;) {
        int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return; // EAGAIN, or out of descriptors: try again on the next wake-up
        }
        ucred cred{};
        socklen_t length = sizeof cred;
        if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0 ||
            cred.uid != ::getuid()) {
            std::fprintf(stderr, "expbord-sim: verbinding van gebruiker %u geweigerd\n",
                         unsigned(cred.uid));
            ::close(fd);
            continue;
        }
        auto client = std::make_unique<Client>();
        Client* c = client.get();
        c->fd = fd;
        c->id = nextConnection_++;
        c->board = listener.board;
        c->control = listener.control;
        if (!c->control) {
            c->device = std::make_unique<DeviceConnection>(
                *boards_.at(c->board), c->id,
                [this, c](std::vector<uint8_t> frame) { queue(*c, std::move(frame)); });
            c->device->setOnBroken([this, c] { drop(*c, "onleesbaar verzoek"); });
        }
        c->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        c->writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
        c->writable->setEnabled(false);
        QObject::connect(c->readable.get(), &QSocketNotifier::activated, &context_,
                         [this, c] { readFrom(*c); });
        QObject::connect(c->writable.get(), &QSocketNotifier::activated, &context_,
                         [this, c] { flush(*c); });
        clients_[c->id] = std::move(client);
    }
}

void BoardServer::readFrom(Client& c)
{
    uint8_t chunk[64 * 1024];
    // Bounded per wake-up so one busy client cannot starve the others.
    for (int round = 0; round < 16 && !c.dead; ++round) {
        // A client that sends without reading its replies waits until it does.
        if (c.out.size() - c.outOffset > maxPendingOutput) {
            c.readable->setEnabled(false);
            return;
        }
        ssize_t n = ::recv(c.fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            drop(c, nullptr);
            return;
        }
        std::span<const uint8_t> bytes(chunk, size_t(n));
        if (c.device) {
            if (!c.device->receive(bytes)) {
                drop(c, "onleesbaar verzoek");
                return;
            }
            continue;
        }
        c.in.insert(c.in.end(), bytes.begin(), bytes.end());
        for (;;) {
            std::vector<std::string> args;
            wire::ParseResult pr = parseCtlRequest(c.in, args);
            if (pr.status == wire::ParseStatus::NeedMore)
                break;
            if (pr.status == wire::ParseStatus::Malformed) {
                drop(c, "onleesbare opdracht");
                return;
            }
            c.in.erase(c.in.begin(), c.in.begin() + long(pr.consumed));
            CtlReply reply = runCtlCommand(*boards_.at(c.board), args);
            queue(c, encodeCtlReply(reply.exitCode, reply.output));
            if (c.dead)
                return;
        }
    }
}

void BoardServer::queue(Client& c, std::vector<uint8_t> bytes)
{
    if (c.dead)
        return;
    if (c.outOffset == c.out.size()) {
        c.out = std::move(bytes);
        c.outOffset = 0;
    } else {
        c.out.insert(c.out.end(), bytes.begin(), bytes.end());
    }
    flush(c);
}

void BoardServer::flush(Client& c)
{
    while (!c.dead && c.outOffset < c.out.size()) {
        ssize_t n = ::send(c.fd, c.out.data() + c.outOffset, c.out.size() - c.outOffset,
                           MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            c.writable->setEnabled(true);
            return;
        }
        if (n <= 0) {
            drop(c, nullptr);
            return;
        }
        c.outOffset += size_t(n);
    }
    if (c.dead)
        return;
    c.writable->setEnabled(false);
    c.readable->setEnabled(true);
    c.out.clear();
    c.outOffset = 0;
}

void BoardServer::drop(Client& c, const char* why)
{
    if (c.dead)
        return;
    c.dead = true;
    c.readable->setEnabled(false);
    c.writable->setEnabled(false);
    if (why)
        std::fprintf(stderr, "expbord-sim: verbinding %d gesloten: %s\n", c.id, why);
    if (c.device)
        c.device->hangUp();
    // The client may be deep in a call chain of its own; it goes from the event loop.
    if (!reapScheduled_) {
        reapScheduled_ = true;
        QTimer::singleShot(0, &context_, [this] { reap(); });
    }
}

void BoardServer::reap()
{
    reapScheduled_ = false;
    std::erase_if(clients_, [](const auto& entry) { return entry.second->dead; });
}

} // namespace boardsim
