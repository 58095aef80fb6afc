#include "benchkit.h"

#include "ctlclient.h"
#include "ctlprotocol.h"
#include "unitexpbordlib.h"
#include "unixsocket.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace benchkit {

namespace fs = std::filesystem;

double nowUs()
{
    return std::chrono::duration<double, std::micro>(Clock::now().time_since_epoch()).count();
}

Summary summarize(std::vector<double> values)
{
    Summary s;
    if (values.empty())
        return s;
    std::sort(values.begin(), values.end());
    auto rank = [&](double q) {
        size_t r = size_t(std::ceil(q * double(values.size())));
        return values[std::clamp<size_t>(r, 1, values.size()) - 1];
    };
    s.count = values.size();
    s.min = values.front();
    s.max = values.back();
    s.median = values.size() % 2 ? values[values.size() / 2]
                                 : (values[values.size() / 2 - 1] + values[values.size() / 2]) / 2;
    s.p90 = rank(0.90);
    s.p99 = rank(0.99);
    s.mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    return s;
}

std::string fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// ------------------------------------------------------------------ TempDir

TempDir::TempDir(const std::string& prefix)
{
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string copyProgram(const std::string& program, const std::string& folder)
{
    const fs::path target = fs::path(folder) / fs::path(program).filename();
    fs::copy_file(program, target, fs::copy_options::overwrite_existing);
    return target.string();
}

// ------------------------------------------------------------------ Process

namespace {

std::vector<std::string> environment(const std::map<std::string, std::string>& overrides)
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!overrides.contains(entry.substr(0, entry.find('='))))
            env.push_back(entry);
    }
    for (const auto& [name, value] : overrides)
        env.push_back(name + "=" + value);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

} // namespace

Process::Process(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, bool pipeStdout)
{
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = environment(env);
    std::vector<char*> argPointers = pointers(argv);
    std::vector<char*> envPointers = pointers(envp);

    int fds[2] = {-1, -1};
    if (pipeStdout && ::pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (pipeStdout)
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    startedUs_ = nowUs();
    const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argPointers.data(),
                               envPointers.data());
    posix_spawn_file_actions_destroy(&actions);
    if (pipeStdout) {
        ::close(fds[1]);
        stdoutFd_ = fds[0];
    }
    if (rc != 0) {
        pid_ = -1;
        throw std::runtime_error("kan " + program + " niet starten: " + std::strerror(rc));
    }
}

Process::~Process()
{
    if (running()) {
        ::kill(pid_, SIGKILL);
        wait(5000);
    }
    if (stdoutFd_ >= 0)
        ::close(stdoutFd_);
}

double Process::waitForByte(int timeoutMs)
{
    pollfd p{stdoutFd_, POLLIN, 0};
    if (stdoutFd_ < 0 || ::poll(&p, 1, timeoutMs) != 1)
        return -1;
    const double at = nowUs();
    char c;
    return ::read(stdoutFd_, &c, 1) == 1 ? at : -1;
}

bool Process::running()
{
    if (pid_ <= 0 || status_ != -1)
        return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        status_ = status;
        return false;
    }
    return true;
}

int Process::wait(int timeoutMs)
{
    // A pidfd becomes readable the moment the child ends, so the end is timed
    // exactly; polling waitpid is the fallback on kernels without one.
    const int fd = int(::syscall(SYS_pidfd_open, pid_, 0));
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (running()) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() < 0 || ::poll(&p, 1, int(left.count()) + 1) == 0)
                break;
        }
        ::close(fd);
    } else {
        waitUntil([this] { return !running(); }, timeoutMs);
    }
    return status_;
}

int Process::terminate(int timeoutMs)
{
    if (running())
        ::kill(pid_, SIGTERM);
    if (wait(timeoutMs) == -1 && running()) {
        ::kill(pid_, SIGKILL);
        wait(5000);
        return -1;
    }
    return status_;
}

std::map<std::string, std::string> headlessEnv(const std::string& deviceDir)
{
    return {{"QT_QPA_PLATFORM", "offscreen"},
            {"SDL_AUDIODRIVER", "dummy"},
            {"EXPBORD_DEVICE_DIR", deviceDir},
            // Private and 0700: keeps Qt from warning about a missing runtime folder.
            {"XDG_RUNTIME_DIR", deviceDir}};
}

ProcessSample sampleProcess(pid_t pid)
{
    ProcessSample s;
    for (const auto& [tid, t] : sampleThreads(pid)) {
        s.runSeconds += t.runSeconds;
        s.contextSwitches += t.contextSwitches;
    }
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("VmRSS:"))
            s.rssKb = std::atol(line.c_str() + 6);
    return s;
}

std::map<pid_t, ThreadSample> sampleThreads(pid_t pid)
{
    std::map<pid_t, ThreadSample> out;
    std::error_code ec;
    for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec)) {
        ThreadSample t;
        std::ifstream comm(task.path() / "comm");
        std::getline(comm, t.name);
        std::ifstream schedstat(task.path() / "schedstat");
        double ns = 0;
        if (schedstat >> ns)
            t.runSeconds = ns / 1e9;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.starts_with("voluntary_ctxt_switches:") ||
                line.starts_with("nonvoluntary_ctxt_switches:"))
                t.contextSwitches += std::atol(line.c_str() + line.find(':') + 1);
        }
        out[pid_t(std::atol(task.path().filename().c_str()))] = t;
    }
    return out;
}

// ------------------------------------------------------------------ Board

Board::Board(const std::vector<int>& boards) : dir_("expbord-bench-sim")
{
    std::string list;
    for (int b : boards) {
        if (!list.empty())
            list += ',';
        list += std::to_string(b);
    }
    std::vector<std::string> args = {"--headless", "--dir", dir_.path(), "--boards", list};
    std::vector<std::string> argv = {EXPBORD_SIM_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argPointers = pointers(argv);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int rc =
        posix_spawn(&pid_, EXPBORD_SIM_PATH, &actions, nullptr, argPointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("kan " EXPBORD_SIM_PATH " niet starten: " +
                                 std::string(std::strerror(rc)));
    for (int b : boards) {
        const std::string path = dir_.file(boardsim::controlSocketName(b));
        if (!waitUntil([&] { return boardsim::socketServed(path); }, 10000)) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            throw std::runtime_error("expbord-sim opende " + path + " niet");
        }
    }
    ::setenv("EXPBORD_DEVICE_DIR", dir_.path().c_str(), 1);
}

Board::~Board()
{
    ::kill(pid_, SIGTERM);
    int status = 0;
    if (!waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 5000)) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
    }
}

std::string Board::ctl(int board, const std::vector<std::string>& args) const
{
    const boardsim::CtlReply reply = boardsim::sendCtlCommand(dir_.path(), board, args);
    if (reply.exitCode != 0)
        throw std::runtime_error("expbord-sim ctl " + args.front() + ": " + reply.output);
    return reply.output;
}

std::vector<Event> Board::events(int board, long since) const
{
    std::vector<Event> out;
    const std::string text = ctl(board, {"events", "--since", std::to_string(since)});
    for (size_t pos = 0, end; pos < text.size(); pos = end + 1) {
        end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray::fromStdString(text.substr(pos, end - pos)))
                .object();
        if (o.isEmpty())
            continue;
        Event e;
        e.seq = long(o["seq"].toDouble());
        e.tUs = o["t_us"].toDouble();
        e.handle = o["handle"].toInt();
        e.op = o["op"].toString().toStdString();
        e.ok = o["ok"].toBool();
        e.bytes = o["bytes"].toString().toStdString();
        e.text = o["text"].toString().toStdString();
        e.pattern = o["pattern"].toString().toStdString();
        out.push_back(std::move(e));
    }
    return out;
}

long Board::lastSeq(int board) const
{
    const std::vector<Event> all = events(board);
    return all.empty() ? 0 : all.back().seq;
}

double Board::clockOffsetUs(int board) const
{
    const std::string path = "\\\\.\\ezusb-" + std::to_string(board);
    double best = -1, offset = 0;
    for (int i = 0; i < 7; ++i) {
        const long since = lastSeq(board);
        const double t0 = nowUs();
        const BoardHandle h = openBoard(path.c_str());
        const double t1 = nowUs();
        closeBoard(h);
        if (h == INVALID_HANDLE_VALUE)
            throw std::runtime_error("kan " + path + " niet openen");
        for (const Event& e : events(board, since)) {
            if (e.op == "open" && (best < 0 || t1 - t0 < best)) {
                best = t1 - t0;
                offset = (t0 + t1) / 2 - e.tUs;
            }
            if (e.op == "open")
                break;
        }
    }
    if (best < 0)
        throw std::runtime_error("geen open in het logboek van het bord");
    return offset;
}

} // namespace benchkit
