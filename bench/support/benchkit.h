// What the benchmarks share: a headless virtual board, child programs started
// with a known start time, CPU figures from /proc and order statistics.
#pragma once

#include <chrono>
#include <ctime>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace benchkit {

using Clock = std::chrono::steady_clock;

// This process' monotonic clock in microseconds.
double nowUs();

// Order statistics of a sample; percentiles by nearest rank.
struct Summary {
    size_t count = 0;
    double min = 0, median = 0, p90 = 0, p99 = 0, max = 0, mean = 0;
};
Summary summarize(std::vector<double> values);

// A fresh folder under /tmp, removed with everything in it.
class TempDir {
public:
    explicit TempDir(const std::string& prefix = "expbord-bench");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Copies an executable into folder (so that files it keeps beside itself are
// its own there) and returns the copy's path.
std::string copyProgram(const std::string& program, const std::string& folder);

struct Event {
    long seq = 0;
    double tUs = 0; // the daemon's clock
    int handle = 0;
    std::string op;
    bool ok = false;
    std::string bytes;   // read, write, bulkwrite
    std::string text;    // write
    std::string pattern; // leds
};

// A headless expbord-sim daemon serving the given boards in a folder of its
// own; EXPBORD_DEVICE_DIR of this process points there while it lives.
class Board {
public:
    explicit Board(const std::vector<int>& boards = {0});
    ~Board();
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    const std::string& dir() const { return dir_.path(); }
    pid_t pid() const { return pid_; }
    // Runs one control command; throws with the daemon's message when it fails.
    std::string ctl(int board, const std::vector<std::string>& args) const;
    std::vector<Event> events(int board, long since = 0) const;
    long lastSeq(int board) const;
    // The value to add to an event's t_us to get nowUs() of this process:
    // taken from the open request with the shortest round trip of a few.
    double clockOffsetUs(int board) const;

private:
    TempDir dir_;
    pid_t pid_ = -1;
};

// A child program with stdin from /dev/null and, when asked, stdout on a
// pipe; startedUs is taken just before the spawn.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& args,
            const std::map<std::string, std::string>& env, bool pipeStdout = false);
    ~Process(); // kills a child still running
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    pid_t pid() const { return pid_; }
    double startedUs() const { return startedUs_; }
    // Waits for one byte on the stdout pipe; its arrival time, or -1 on
    // timeout or end of file.
    double waitForByte(int timeoutMs);
    bool running();
    // Waits for the end; the wait status, or -1 when it did not end in time.
    int wait(int timeoutMs);
    // SIGTERM, then wait; kills after timeoutMs.
    int terminate(int timeoutMs = 5000);

private:
    pid_t pid_ = -1;
    int status_ = -1;
    int stdoutFd_ = -1;
    double startedUs_ = 0;
};

// The environment a program of ours needs to run headless on board's folder.
std::map<std::string, std::string> headlessEnv(const std::string& deviceDir);

// From /proc: run time to the nanosecond (schedstat; /proc/PID/stat counts in
// 10 ms ticks, too coarse for an idle program) and context switches, both
// summed over the live threads, and the resident size.
struct ProcessSample {
    double runSeconds = 0;
    long contextSwitches = 0; // voluntary + involuntary
    long rssKb = 0;
};
ProcessSample sampleProcess(pid_t pid);

struct ThreadSample {
    std::string name; // comm
    double runSeconds = 0;
    long contextSwitches = 0;
};
// The live threads of pid by thread id.
std::map<pid_t, ThreadSample> sampleThreads(pid_t pid);

// Waits until pred() holds, polling every pollMs; false on timeout.
template <typename Pred> bool waitUntil(Pred pred, int timeoutMs, int pollMs = 2)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (Clock::now() > deadline)
            return false;
        struct timespec ts {
            pollMs / 1000, long(pollMs % 1000) * 1'000'000
        };
        nanosleep(&ts, nullptr);
    }
    return true;
}

// "12.3" with the given decimals, for the tables.
std::string fixed(double value, int decimals);

} // namespace benchkit
