// The expbord-sim program as a process: robustness against bad clients, the
// folder and socket rights, start-up refusals, clean stop, and its command line.
#include "simboard.h"

#include "unitexpbordlib.h"
#include "unixsocket.h"
#include "wireprotocol.h"

#include "printrows.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

using testsupport::SimBoard;

namespace {

using testsupport::PrintTo;

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

int connectTo(const std::string& path)
{
    sockaddr_un addr;
    if (!boardsim::socketAddress(path, addr))
        return -1;
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, const Bytes& bytes)
{
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

// Whether the peer closed the connection within timeoutMs (no reply first).
bool closedByPeer(int fd, int timeoutMs = 3000)
{
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return false;
    uint8_t b;
    return ::recv(fd, &b, 1, 0) <= 0;
}

std::optional<wire::Reply> receiveReply(int fd, int timeoutMs = 3000)
{
    Bytes in;
    for (;;) {
        wire::Reply reply;
        wire::ParseResult pr = wire::parseReply(in, reply);
        if (pr.status == wire::ParseStatus::Ok)
            return reply;
        if (pr.status == wire::ParseStatus::Malformed)
            return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return std::nullopt;
        uint8_t chunk[256];
        ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return std::nullopt;
        in.insert(in.end(), chunk, chunk + n);
    }
}

Bytes frame(std::initializer_list<uint8_t> body)
{
    Bytes out;
    wire::putU32(out, uint32_t(body.size()));
    out.insert(out.end(), body);
    return out;
}

Bytes openRequest()
{
    wire::Request r;
    r.op = wire::Op::Open;
    return wire::encodeRequest(r);
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs expbord-sim to its end (at most timeoutMs) and collects its output.
RunResult runSim(const std::vector<std::string>& args, int timeoutMs = 10000)
{
    std::vector<std::string> all = {EXPBORD_SIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, EXPBORD_SIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    RunResult result;
    if (rc != 0)
        return result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int open = 2;
    while (open > 0 && std::chrono::steady_clock::now() < deadline) {
        if (::poll(fds, 2, 50) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP)))
                continue;
            char buf[4096];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, size_t(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& p : fds)
        if (p.fd >= 0)
            ::close(p.fd);
    if (open > 0)
        ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exitCode = open == 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// A daemon of the test's own, for stop and start-up checks.
struct Daemon {
    pid_t pid = -1;
    explicit Daemon(const std::string& dir)
    {
        std::vector<std::string> args = {EXPBORD_SIM_PATH, "--headless", "--dir", dir};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn(&pid, EXPBORD_SIM_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int fd;
        while ((fd = connectTo(dir + "/ezusb-0.ctl")) < 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (fd >= 0)
            ::close(fd);
    }
    // The exit code after sig, or -1 when it did not end within 5 s.
    int stop(int sig)
    {
        ::kill(pid, sig);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        int status = 0;
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                pid = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    ~Daemon()
    {
        if (pid > 0)
            stop(SIGKILL);
    }
};

struct TempDir {
    std::string path;
    TempDir()
    {
        char t[] = "/tmp/expbord-test-XXXXXX";
        path = ::mkdtemp(t);
    }
    ~TempDir() { fs::remove_all(path); }
};

// A socket file whose process is gone.
void makeStaleSocket(const std::string& path)
{
    sockaddr_un addr;
    ASSERT_TRUE(boardsim::socketAddress(path, addr));
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
}

// ---------------------------------------------------------------- bad clients

struct GarbageCase {
    const char* name;
    Bytes bytes;
};

class Garbage : public testing::TestWithParam<GarbageCase> {};

TEST_P(Garbage, DropsOnlyThatConnection)
{
    SimBoard sim;
    BoardHandle h = openBoard(sim.devicePath().c_str());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    int fd = connectTo(sim.dir() + "/ezusb-0");
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(sendAll(fd, openRequest()));
    ASSERT_TRUE(receiveReply(fd).has_value());
    ASSERT_TRUE(sendAll(fd, GetParam().bytes));
    EXPECT_TRUE(closedByPeer(fd));
    ::close(fd);

    EXPECT_TRUE(setBoardLeds(h, 0x5A));
    EXPECT_EQ(sim.state()["leds"].toString(), "5A");
    EXPECT_EQ(sim.state()["openHandles"].toInt(), 1);
    // The broken connection was logged closed.
    EXPECT_EQ(sim.events("close").size(), 1u);
    closeBoard(h);
}

Bytes oversized(uint32_t length)
{
    Bytes b;
    wire::putU32(b, length);
    b.push_back(uint8_t(wire::Op::Write));
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Garbage,
    testing::Values(GarbageCase{"unknownOp", frame({0x09, 1, 2, 3})},
                    GarbageCase{"emptyBody", frame({})},
                    GarbageCase{"truncatedIoctl", frame({0x03, 0x6D, 0x20})},
                    GarbageCase{"trailingByte", frame({0x01, 0x00})},
                    GarbageCase{"writeLengthLies", frame({0x05, 0xFF, 0, 0, 0, 'x'})},
                    GarbageCase{"lengthOverLimit", oversized(wire::maxBodyLength + 1)},
                    GarbageCase{"lengthAllOnes", oversized(0xFFFFFFFF)},
                    GarbageCase{"text", Bytes{'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P'}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimDaemon, RequestWithoutOpenFailsButKeepsConnection)
{
    SimBoard sim;
    int fd = connectTo(sim.dir() + "/ezusb-0");
    ASSERT_GE(fd, 0);
    wire::Request leds;
    leds.op = wire::Op::Ioctl;
    leds.code = 0x002220C8;
    leds.input = {0xFF};
    ASSERT_TRUE(sendAll(fd, wire::encodeRequest(leds)));
    auto reply = receiveReply(fd);
    ASSERT_TRUE(reply.has_value());
    EXPECT_FALSE(reply->ok);
    ASSERT_TRUE(sendAll(fd, openRequest()));
    reply = receiveReply(fd);
    ASSERT_TRUE(reply.has_value());
    EXPECT_TRUE(reply->ok);
    EXPECT_EQ(sim.state()["leds"].toString(), "00");
    ::close(fd);
}

// A child process that opens the board, then does `then` and waits to be killed.
pid_t childOnBoard(const std::function<void()>& then, int readyFd)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        then();
        char c = 1;
        [[maybe_unused]] ssize_t n = ::write(readyFd, &c, 1);
        for (;;)
            ::pause();
    }
    return pid;
}

TEST(SimDaemon, ClientKilledMidRequestOrWithReadPending)
{
    SimBoard sim;
    BoardHandle h = openBoard(sim.devicePath().c_str());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    std::string socketPath = sim.dir() + "/ezusb-0";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);

    // Half a write request, then the process dies.
    pid_t writer = childOnBoard(
        [&] {
            int fd = connectTo(socketPath);
            sendAll(fd, openRequest());
            receiveReply(fd);
            wire::Request w;
            w.op = wire::Op::Write;
            w.input = Bytes(100, 'x');
            Bytes bytes = wire::encodeRequest(w);
            bytes.resize(bytes.size() / 2);
            sendAll(fd, bytes);
        },
        ready[1]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);
    auto closed = sim.waitForEvent(
        [](const QJsonObject& e) { return e["op"] == "close" && e["dropped"].toBool(); });
    ASSERT_TRUE(closed.has_value());
    EXPECT_TRUE(sim.events("write").empty()) << "half a request does nothing";

    // A read that never ends, then the process dies.
    std::string device = sim.devicePath();
    pid_t reader = childOnBoard(
        [&] {
            BoardHandle own = openBoard(device.c_str());
            char r = 1;
            [[maybe_unused]] ssize_t n = ::write(ready[1], &r, 1);
            uint8_t buffer[64];
            uint32_t count = 0;
            readBoardKeys(own, buffer, count);
        },
        -1);
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (sim.state()["pendingReads"].toInt() != 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_EQ(sim.state()["pendingReads"].toInt(), 1);
    long before = sim.lastSeq();
    ::kill(reader, SIGKILL);
    ::waitpid(reader, nullptr, 0);
    ASSERT_TRUE(sim.waitForEvent(
        [](const QJsonObject& e) { return e["op"] == "close" && e["dropped"].toBool(); }, 3000, 0,
        before));
    QJsonObject s = sim.state();
    EXPECT_EQ(s["pendingReads"].toInt(), 0);
    EXPECT_EQ(s["openHandles"].toInt(), 1);

    // The survivor gets the next block: the dead reader took none.
    ASSERT_EQ(sim.ctl({"keys", "1C"}).exitCode, 0);
    uint8_t buffer[64];
    uint32_t count = 0;
    ASSERT_TRUE(readBoardKeys(h, buffer, count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(buffer[0], 0x1C);
    closeBoard(h);
    ::close(ready[0]);
    ::close(ready[1]);
}

// ---------------------------------------------------------------- rights

TEST(SimDaemon, FolderAndSocketsArePrivate)
{
    SimBoard sim({0, 2});
    struct stat st {};
    ASSERT_EQ(::stat(sim.dir().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    for (const char* name : {"ezusb-0", "ezusb-0.ctl", "ezusb-2", "ezusb-2.ctl"}) {
        ASSERT_EQ(::lstat((sim.dir() + "/" + name).c_str(), &st), 0) << name;
        EXPECT_TRUE(S_ISSOCK(st.st_mode)) << name;
        EXPECT_EQ(st.st_mode & 07777, 0600u) << name;
    }
}

TEST(SimDaemon, FolderOfDirOptionIsCreatedPrivate)
{
    TempDir tmp;
    std::string dir = tmp.path + "/a/b";
    Daemon d(dir);
    struct stat st {};
    ASSERT_EQ(::stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(d.stop(SIGTERM), 0);
}

TEST(SimDaemon, PeerOfAnotherUserIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to connect as another user";
    SimBoard sim;
    std::string path = sim.dir() + "/ezusb-0";
    // Open the file-system rights, so only the peer check stands in the way.
    ASSERT_EQ(::chmod(sim.dir().c_str(), 0711), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        int fd = connectTo(path);
        if (fd < 0)
            ::_exit(1);
        sendAll(fd, openRequest());
        ::_exit(receiveReply(fd).has_value() ? 2 : 0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: could not connect, 2: was served";
    EXPECT_TRUE(sim.events("open").empty());
}

// ---------------------------------------------------------------- start and stop

TEST(SimDaemon, SecondDaemonOnServedSocketRefuses)
{
    SimBoard sim;
    RunResult r = runSim({"--headless", "--dir", sim.dir(), "--boards", "3,0"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("bord 0 wordt al bediend"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(sim.dir() + "/ezusb-3")) << "a refusal leaves nothing behind";
    EXPECT_EQ(sim.ctl({"state"}).exitCode, 0) << "the first daemon serves on";
}

TEST(SimDaemon, PathThatIsNoSocketRefuses)
{
    TempDir tmp;
    std::string file = tmp.path + "/ezusb-0";
    {
        std::ofstream(file) << "keep";
    }
    RunResult r = runSim({"--dir", tmp.path});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("geen socket"), std::string::npos) << r.err;
    EXPECT_EQ(fs::file_size(file), 4u);
}

class Stop : public testing::TestWithParam<int> {};

TEST_P(Stop, ReplacesStaleSocketAndRemovesItsOwn)
{
    TempDir tmp;
    makeStaleSocket(tmp.path + "/ezusb-0");
    makeStaleSocket(tmp.path + "/ezusb-0.ctl");
    Daemon d(tmp.path);
    BoardHandle h;
    {
        setenv("EXPBORD_DEVICE_DIR", tmp.path.c_str(), 1);
        h = openBoard("\\\\.\\ezusb-0");
        unsetenv("EXPBORD_DEVICE_DIR");
    }
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(setBoardLeds(h, 1));
    EXPECT_EQ(d.stop(GetParam()), 0);
    EXPECT_FALSE(fs::exists(tmp.path + "/ezusb-0"));
    EXPECT_FALSE(fs::exists(tmp.path + "/ezusb-0.ctl"));
    EXPECT_FALSE(setBoardLeds(h, 2));
    closeBoard(h);
}

INSTANTIATE_TEST_SUITE_P(Signals, Stop, testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// ---------------------------------------------------------------- command line

struct CommandLineCase {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    const char* out;
    const char* err;
};

class CommandLine : public testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, ExitCodeAndText)
{
    const CommandLineCase& c = GetParam();
    SimBoard sim;
    std::vector<std::string> args;
    for (const std::string& a : c.args)
        args.push_back(a == "DIR" ? sim.dir() : a);
    RunResult r = runSim(args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLine,
    testing::Values(
        CommandLineCase{"help", {"--help"}, 0, "expbord-sim ctl [--dir MAP]", ""},
        CommandLineCase{"helpListsCommands", {"--help"}, 0, "events [--since N]", ""},
        CommandLineCase{"badBoards", {"--boards", "0,x"}, 2, "", "ongeldige bordnummers"},
        CommandLineCase{"unknownOption", {"--window"}, 2, "", "onbekende optie '--window'"},
        CommandLineCase{"ctlState", {"ctl", "--dir", "DIR", "state"}, 0, "\"cpucs\":0", ""},
        CommandLineCase{
            "ctlKeys", {"ctl", "--dir", "DIR", "--board", "0", "keys", "1C"}, 0, "", ""},
        CommandLineCase{"ctlNoCommand", {"ctl", "--dir", "DIR"}, 2, "", "geef een opdracht"},
        CommandLineCase{
            "ctlUnknown", {"ctl", "--dir", "DIR", "bogus"}, 2, "", "onbekende opdracht 'bogus'"},
        CommandLineCase{
            "ctlBadBoard", {"ctl", "--board", "x", "state"}, 2, "", "ongeldig bordnummer"},
        CommandLineCase{"ctlNoDaemon",
                        {"ctl", "--dir", "DIR", "--board", "4", "state"},
                        1,
                        "",
                        "er draait geen expbord-sim voor bord 4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimDaemon, PrintsWhereItsSocketsAre)
{
    TempDir tmp;
    pid_t pid = -1;
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    std::string dir = tmp.path;
    std::vector<std::string> args = {EXPBORD_SIM_PATH, "--dir", dir, "--boards", "1"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    ASSERT_EQ(posix_spawn(&pid, EXPBORD_SIM_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    std::string text;
    char buf[512];
    while (text.find("stoppen") == std::string::npos) {
        pollfd p{out[0], POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            break;
        ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, size_t(n));
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(out[0]);
    EXPECT_NE(text.find(dir + "/ezusb-1 "), std::string::npos) << text;
    EXPECT_NE(text.find(dir + "/ezusb-1.ctl"), std::string::npos) << text;
    EXPECT_NE(text.find("\\\\.\\ezusb-1"), std::string::npos) << text;
}

// ---------------------------------------------------------------- boards and keys

TEST(SimDaemon, BoardsAreSeparate)
{
    SimBoard sim({0, 1});
    BoardHandle h0 = openBoard(sim.devicePath(0).c_str());
    BoardHandle h1 = openBoard(sim.devicePath(1).c_str());
    ASSERT_NE(h0, INVALID_HANDLE_VALUE);
    ASSERT_NE(h1, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(setBoardLeds(h1, 0x81));
    ASSERT_EQ(sim.ctl({"keys", "29"}, 0).exitCode, 0);
    EXPECT_EQ(sim.state(0)["leds"].toString(), "00");
    EXPECT_EQ(sim.state(1)["leds"].toString(), "81");
    EXPECT_EQ(sim.state(1)["keyBlocks"].toInt(), 0);
    EXPECT_EQ(sim.ctl({"unplug"}, 1).exitCode, 0);
    EXPECT_TRUE(setBoardLeds(h0, 0x01));
    EXPECT_FALSE(setBoardLeds(h1, 0x02));
    EXPECT_EQ(openBoard("\\\\.\\ezusb-5"), INVALID_HANDLE_VALUE);
    closeBoard(h0);
    closeBoard(h1);
}

TEST(SimDaemon, TypedTextArrivesAsScanCodeBlocks)
{
    SimBoard sim;
    BoardHandle h = openBoard(sim.devicePath().c_str());
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    ASSERT_EQ(sim.ctl({"type", "A1"}).exitCode, 0);
    std::vector<Bytes> blocks;
    for (int i = 0; i < 6; ++i) {
        uint8_t buffer[64];
        uint32_t count = 0;
        ASSERT_TRUE(readBoardKeys(h, buffer, count));
        blocks.emplace_back(buffer, buffer + count);
    }
    std::vector<Bytes> expected = {{0x12},       {0x1C}, {0xF0, 0x1C},
                                   {0xF0, 0x12}, {0x16}, {0xF0, 0x16}};
    EXPECT_EQ(blocks, expected);
    closeBoard(h);
}

} // namespace
