// What playback costs and how quickly a track change is heard.
//
//   bench_playback [MP3] [--trials N]
//
// 1. CPU seconds per minute of playback of MP3 (default: the generated minute
//    of 440 Hz, 128 kbit/s stereo) through the audio library on SDL's dummy
//    output, which consumes in real time, next to `mpg123 -t` decoding the same
//    file in the same run, and the cost of the idle output alone.
// 2. Latency of AudioPlayer::selectTrack: the time the call takes on the GUI
//    thread, and the time until the output callback has taken the first frame
//    of the new track.
#include "audiolib.h"
#include "unitaudioplayer.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(const timeval& tv)
{
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

double processCpuSeconds()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return seconds(ru.ru_utime) + seconds(ru.ru_stime);
}

double since(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

struct Cost {
    double cpu = -1;
    double wall = -1;
    double audio = -1;                      // seconds of audio played or decoded
    std::map<std::string, double> byThread; // CPU-s per thread name
};

// CPU seconds of every thread of this process now, by thread id: the run time
// in nanoseconds that /proc/self/task/*/schedstat starts with.
struct ThreadCpu {
    std::string name;
    double cpu = 0;
};

std::map<std::string, ThreadCpu> threadCpu()
{
    std::map<std::string, ThreadCpu> result;
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task", ec)) {
        std::ifstream schedstat(task.path() / "schedstat");
        std::ifstream comm(task.path() / "comm");
        double ns = 0;
        std::string name;
        if (schedstat >> ns && std::getline(comm, name))
            result[task.path().filename().string()] = {name, ns / 1e9};
    }
    return result;
}

// Keeps the largest value seen per thread, so threads that have ended count.
void mergeThreadCpu(std::map<std::string, ThreadCpu>& seen)
{
    for (auto& [tid, t] : threadCpu()) {
        auto& s = seen[tid];
        s.name = t.name;
        s.cpu = std::max(s.cpu, t.cpu);
    }
}

// Plays the whole file once on the current output.
Cost libraryCost(const std::string& path)
{
    Cost c;
    std::atomic<bool> ended{false};
    std::map<std::string, ThreadCpu> before;
    mergeThreadCpu(before);
    std::map<std::string, ThreadCpu> seen;
    const double cpu0 = processCpuSeconds();
    const auto t0 = Clock::now();
    const audio::StreamHandle s = audio::audioOpenFile(false, path.c_str(), 0, 0, 0);
    if (s == 0)
        return c;
    audio::audioOnEnd(
        s, audio::SYNC_END_ONCE, 0,
        [](uint32_t, uint32_t, uint32_t, void* user) {
            static_cast<std::atomic<bool>*>(user)->store(true);
        },
        &ended);
    audio::audioPlay(s, false);
    while (!ended) {
        // The decoder thread ends a second before the playback: sample often
        // enough to see its last value. Sampling costs this (main) thread CPU,
        // which is shown apart and not counted for the library.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        mergeThreadCpu(seen);
    }
    c.cpu = processCpuSeconds() - cpu0;
    const std::string self = std::to_string(gettid());
    for (const auto& [tid, t] : seen) {
        const auto b = before.find(tid);
        const double used = t.cpu - (b != before.end() ? b->second.cpu : 0.0);
        c.byThread[tid == self ? "main (sampling)" : t.name] += used;
        if (tid == self)
            c.cpu -= used;
    }
    c.wall = since(t0);
    c.audio = audio::audioBytesToSeconds(s, audio::audioPositionBytes(s));
    audio::audioFree(s);
    return c;
}

Cost idleCost(double wall)
{
    Cost c;
    const double cpu0 = processCpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(wall));
    c.cpu = processCpuSeconds() - cpu0;
    c.wall = since(t0);
    c.audio = c.wall;
    return c;
}

// `mpg123 -q -t FILE`: decodes everything, outputs nothing.
Cost mpg123Cost(const std::string& path, double audioSeconds)
{
    Cost c;
    const auto t0 = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execl(MPG123_EXECUTABLE, "mpg123", "-q", "-t", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    if (pid < 0 || wait4(pid, &status, 0, &ru) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return c;
    c.cpu = seconds(ru.ru_utime) + seconds(ru.ru_stime);
    c.wall = since(t0);
    c.audio = audioSeconds;
    return c;
}

void printCost(const char* what, const Cost& c)
{
    if (c.cpu < 0) {
        std::printf("  %-44s failed\n", what);
        return;
    }
    std::printf("  %-44s %6.3f CPU-s for %6.2f s audio in %6.2f s wall = %7.4f CPU-s/min\n", what,
                c.cpu, c.audio, c.wall, c.cpu / c.audio * 60.0);
    for (const auto& [name, cpu] : c.byThread)
        std::printf("      thread %-16s %6.3f CPU-s\n", name.c_str(), cpu);
}

// The player's playlist: the same file twice, so every change opens a file.
std::string g_path;
int32_t trackCount()
{
    return 2;
}
std::string trackPath(int32_t)
{
    return g_path;
}
void showName(const std::string&) {}
void showPlaying(bool) {}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1) + 0.5)];
}

} // namespace

int main(int argc, char** argv)
{
    std::string path = MINUTE_FIXTURE;
    int trials = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trials") == 0 && i + 1 < argc)
            trials = std::max(1, std::atoi(argv[++i]));
        else
            path = argv[i];
    }
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    QCoreApplication app(argc, argv);
    std::printf("file: %s\noutput: SDL dummy driver (real time), 44100 Hz float stereo\n\n",
                path.c_str());

    std::printf("1. CPU per minute of playback\n");
    if (!audio::audioInit(1, 44100, 0, nullptr, nullptr)) {
        std::printf("  no audio output\n");
        return 1;
    }
    const Cost idle = idleCost(5.0);
    const Cost lib = libraryCost(path);
    audio::audioRelease();
    // mpg123 takes a fraction of a second: the median of five runs.
    std::vector<Cost> refs;
    for (int i = 0; i < 5; ++i)
        refs.push_back(mpg123Cost(path, lib.audio));
    std::sort(refs.begin(), refs.end(), [](const Cost& a, const Cost& b) { return a.cpu < b.cpu; });
    const Cost ref = refs[2];
    printCost("idle output (no stream)", idle);
    printCost("library threads: decode + convert + output", lib);
    printCost("mpg123 -t (decode only, median of 5)", ref);
    if (lib.cpu >= 0 && ref.cpu > 0)
        std::printf("  ratio library / mpg123 -t: %.2f\n", lib.cpu / ref.cpu);
    if (lib.wall > 0)
        std::printf("  playback speed: %.4f x real time\n", lib.audio / lib.wall);

    std::printf("\n2. selectTrack to the first frame in the output callback (%d changes)\n",
                trials);
    g_path = path;
    std::vector<double> call;
    std::vector<double> firstFrame;
    {
        AudioPlayer player(&trackCount, &trackPath, &showName, &showPlaying);
        player.selectTrack(0);
        for (int t = 0; t < trials; ++t) {
            // Let the current track play a little, at a random phase of the
            // output's 23 ms period.
            std::this_thread::sleep_for(std::chrono::microseconds(100000 + (t * 7919) % 23000));
            const auto t0 = Clock::now();
            player.selectTrack((t + 1) % 2);
            call.push_back(since(t0) * 1e3);
            const uint32_t s = player.stream;
            while (audio::audioPositionBytes(s) == 0)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            firstFrame.push_back(since(t0) * 1e3);
        }
    }
    std::printf("  selectTrack call (GUI thread blocked): median %6.2f ms, p90 %6.2f, max %6.2f\n",
                percentile(call, 0.5), percentile(call, 0.9), percentile(call, 1.0));
    std::printf("  until first frame played:              median %6.2f ms, p90 %6.2f, max %6.2f\n",
                percentile(firstFrame, 0.5), percentile(firstFrame, 0.9),
                percentile(firstFrame, 1.0));
    return 0;
}
