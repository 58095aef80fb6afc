#include "simboard.h"

#include "ctlclient.h"
#include "ctlprotocol.h"
#include "unixsocket.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonParseError>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace testsupport {

namespace {

using Clock = std::chrono::steady_clock;

std::string describeExit(int status)
{
    if (WIFEXITED(status))
        return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

} // namespace

SimBoard::SimBoard(std::vector<int> boards)
{
    char folder[] = "/tmp/expbord-sim-XXXXXX";
    if (!::mkdtemp(folder))
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    dir_ = folder;

    std::string boardList;
    for (int b : boards) {
        if (!boardList.empty())
            boardList += ',';
        boardList += std::to_string(b);
    }
    std::vector<std::string> args = {EXPBORD_SIM_PATH, "--headless", "--dir", dir_};
    if (!boards.empty()) {
        args.push_back("--boards");
        args.push_back(boardList);
    } else {
        boards = {0};
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    int rc = posix_spawn(&pid_, EXPBORD_SIM_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        std::filesystem::remove_all(dir_);
        throw std::runtime_error(std::string("cannot start " EXPBORD_SIM_PATH ": ") +
                                 std::strerror(rc));
    }

    auto deadline = Clock::now() + std::chrono::seconds(10);
    for (int b : boards) {
        std::string path = dir_ + "/" + boardsim::controlSocketName(b);
        while (!boardsim::socketServed(path)) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                std::filesystem::remove_all(dir_);
                throw std::runtime_error("expbord-sim ended at start-up: " + describeExit(status));
            }
            if (Clock::now() > deadline) {
                stop(SIGKILL);
                std::filesystem::remove_all(dir_);
                throw std::runtime_error("expbord-sim did not open " + path);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    if (const char* old = std::getenv("EXPBORD_DEVICE_DIR"))
        savedDeviceDir_ = old;
    ::setenv("EXPBORD_DEVICE_DIR", dir_.c_str(), 1);
}

SimBoard::~SimBoard()
{
    stop(SIGTERM);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    if (savedDeviceDir_)
        ::setenv("EXPBORD_DEVICE_DIR", savedDeviceDir_->c_str(), 1);
    else
        ::unsetenv("EXPBORD_DEVICE_DIR");
}

void SimBoard::stop(int signal)
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, signal);
    auto deadline = Clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            ADD_FAILURE() << "expbord-sim did not stop on signal " << signal;
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    // A daemon asked to stop ends cleanly; anything else is a fault in it.
    if (signal == SIGTERM && !(WIFEXITED(status) && WEXITSTATUS(status) == 0))
        ADD_FAILURE() << "expbord-sim ended with " << describeExit(status);
    pid_ = -1;
}

void SimBoard::kill()
{
    stop(SIGKILL);
}

const std::string& SimBoard::dir() const
{
    return dir_;
}

std::string SimBoard::devicePath(int board) const
{
    return "\\\\.\\ezusb-" + std::to_string(board);
}

CtlResult SimBoard::ctl(const std::vector<std::string>& args, int board)
{
    boardsim::CtlReply reply = boardsim::sendCtlCommand(dir_, board, args);
    return {reply.exitCode, reply.output};
}

QJsonObject SimBoard::state(int board)
{
    CtlResult r = ctl({"state"}, board);
    if (r.exitCode != 0) {
        ADD_FAILURE() << "expbord-sim state: " << r.output;
        return {};
    }
    QJsonParseError error{};
    QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.output), &error);
    if (!doc.isObject())
        ADD_FAILURE() << "expbord-sim state is no JSON object: " << r.output;
    return doc.object();
}

std::vector<QJsonObject> SimBoard::events(int board, long since)
{
    std::vector<QJsonObject> out;
    CtlResult r = ctl({"events", "--since", std::to_string(since)}, board);
    if (r.exitCode != 0) {
        ADD_FAILURE() << "expbord-sim events: " << r.output;
        return out;
    }
    size_t pos = 0;
    while (pos < r.output.size()) {
        size_t end = r.output.find('\n', pos);
        if (end == std::string::npos)
            end = r.output.size();
        QByteArray line = QByteArray::fromStdString(r.output.substr(pos, end - pos));
        pos = end + 1;
        if (line.isEmpty())
            continue;
        QJsonDocument doc = QJsonDocument::fromJson(line);
        if (!doc.isObject()) {
            ADD_FAILURE() << "event line is no JSON object: " << line.toStdString();
            continue;
        }
        out.push_back(doc.object());
    }
    return out;
}

std::vector<QJsonObject> SimBoard::events(const std::string& op, int board, long since)
{
    std::vector<QJsonObject> all = events(board, since);
    std::vector<QJsonObject> out;
    QString name = QString::fromStdString(op);
    for (QJsonObject& e : all)
        if (e["op"].toString() == name)
            out.push_back(std::move(e));
    return out;
}

long SimBoard::lastSeq(int board)
{
    return long(state(board)["lastSeq"].toInteger());
}

std::optional<QJsonObject> SimBoard::waitForEvent(std::function<bool(const QJsonObject&)> pred,
                                                  int timeoutMs, int board, long since)
{
    auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    long cursor = since;
    for (;;) {
        for (const QJsonObject& e : events(board, cursor)) {
            cursor = std::max(cursor, long(e["seq"].toInteger()));
            if (pred(e))
                return e;
        }
        if (Clock::now() >= deadline)
            return std::nullopt;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

} // namespace testsupport
