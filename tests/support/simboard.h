// A virtual board for tests: a real expbord-sim daemon in a private folder,
// reached by openBoard() in this process and driven through its control socket.
#pragma once

#include <QJsonObject>

#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

struct CtlResult {
    int exitCode;
    std::string output;
};

class SimBoard {
public:
    // Starts build's expbord-sim --headless in a fresh temporary folder for the given
    // boards, waits until its sockets accept, and setenv("EXPBORD_DEVICE_DIR") so that
    // openBoard() in this process reaches it.
    explicit SimBoard(std::vector<int> boards = {0});
    ~SimBoard(); // stops the daemon (SIGTERM, waits), removes the folder
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    const std::string& dir() const;
    std::string devicePath(int board = 0) const; // "\\\\.\\ezusb-N"
    CtlResult ctl(const std::vector<std::string>& args, int board = 0);
    QJsonObject state(int board = 0);
    std::vector<QJsonObject> events(int board = 0, long since = 0);
    std::vector<QJsonObject> events(const std::string& op, int board = 0, long since = 0);
    long lastSeq(int board = 0);
    // Polls events after `since` until pred holds for one (returns it) or timeoutMs
    // passes; while polling it calls QCoreApplication::processEvents() if an
    // application object exists, so GUI timers in the test keep running.
    std::optional<QJsonObject> waitForEvent(std::function<bool(const QJsonObject&)> pred,
                                            int timeoutMs = 3000, int board = 0, long since = 0);
    void kill(); // SIGKILL the daemon (for "daemon gone" tests)

private:
    void stop(int signal);

    std::string dir_;
    pid_t pid_ = -1;
    std::optional<std::string> savedDeviceDir_;
};

} // namespace testsupport
