// CPU use of the player while it waits: window shown, board open, key read
// pending, no track playing. Next to it, in the same run: an empty Qt Widgets
// window (the anchor), the jog program (which polls every 50 ms, so it is
// never idle) and the virtual board serving the player.
//
//   bench_idlecpu [SECONDS]      default 30, after 3 s to settle
//
// CPU time as the run time of all threads from /proc/PID/task/*/schedstat (to
// the nanosecond; /proc/PID/stat counts in ticks of 10 ms, too coarse for an
// idle program), wake-ups as their context switches from .../status.
#include "benchkit.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <thread>

using namespace benchkit;

namespace {

struct Measured {
    const char* name;
    pid_t pid;
    ProcessSample before{}, after{};
};

int run(int seconds)
{
    // The player and jog each on a daemon of their own, so the player's board
    // shows what serving an idle program costs.
    Board playerBoard({0});
    Board jogBoard({0});
    TempDir folder("expbord-bench-player");
    const std::string program = copyProgram(PLAYER_PROGRAM, folder.path());

    Process player(program, {"0"}, headlessEnv(playerBoard.dir()));
    Process jog(JOG_PROGRAM, {"0"}, headlessEnv(jogBoard.dir()));
    Process empty(EMPTY_WINDOW_PROGRAM, {"--stay"}, headlessEnv(folder.path()), true);
    const bool ready = waitUntil(
        [&] {
            const QJsonObject s =
                QJsonDocument::fromJson(QByteArray::fromStdString(playerBoard.ctl(0, {"state"})))
                    .object();
            return s["openHandles"].toInt() == 2 && s["pendingReads"].toInt() == 1;
        },
        15000, 20);
    if (!ready || empty.waitForByte(15000) < 0) {
        std::fprintf(stderr, "de programma's kwamen niet op gang\n");
        return 1;
    }
    std::this_thread::sleep_for(std::chrono::seconds(3));

    std::vector<Measured> all = {{"speler (wacht op toetsen)", player.pid()},
                                 {"leeg Qt-venster (anker)", empty.pid()},
                                 {"jog (pollt om de 50 ms)", jog.pid()},
                                 {"expbord-sim van de speler", playerBoard.pid()}};
    for (Measured& m : all)
        m.before = sampleProcess(m.pid);
    const std::map<pid_t, ThreadSample> threadsBefore = sampleThreads(player.pid());
    const double t0 = nowUs();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double wall = (nowUs() - t0) / 1e6;
    for (Measured& m : all)
        m.after = sampleProcess(m.pid);
    const std::map<pid_t, ThreadSample> threadsAfter = sampleThreads(player.pid());
    const bool alive = player.running() && jog.running() && empty.running();
    player.terminate();
    jog.terminate();
    empty.terminate();
    if (!alive) {
        std::fprintf(stderr, "een programma eindigde tijdens de meting\n");
        return 1;
    }

    std::printf("CPU-gebruik in rust over %.1f s (na 3 s inlopen): looptijd van alle threads "
                "uit /proc/PID/task/*/schedstat,\nwisselingen = vrijwillige en gedwongen "
                "contextwisselingen van alle threads.\n\n",
                wall);
    std::printf("| programma | CPU-s | CPU-ms per minuut | %% van één kern | wisselingen/s | "
                "RSS (MB) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Measured& m : all) {
        const double cpu = m.after.runSeconds - m.before.runSeconds;
        std::printf(
            "| %s | %s | %s | %s | %s | %s |\n", m.name, fixed(cpu, 3).c_str(),
            fixed(cpu / wall * 60e3, 1).c_str(), fixed(cpu / wall * 100, 3).c_str(),
            fixed(double(m.after.contextSwitches - m.before.contextSwitches) / wall, 1).c_str(),
            fixed(double(m.after.rssKb) / 1024, 1).c_str());
    }
    std::printf("\nDe threads van de speler:\n\n");
    std::printf("| thread | CPU-ms per minuut | wisselingen/s |\n");
    std::printf("|---|---|---|\n");
    for (const auto& [tid, after] : threadsAfter) {
        const auto before = threadsBefore.find(tid);
        const ThreadSample b = before != threadsBefore.end() ? before->second : ThreadSample{};
        std::printf("| %s (%d) | %s | %s |\n", after.name.c_str(), int(tid),
                    fixed((after.runSeconds - b.runSeconds) / wall * 60e3, 1).c_str(),
                    fixed(double(after.contextSwitches - b.contextSwitches) / wall, 1).c_str());
    }
    const double p = all[0].after.runSeconds - all[0].before.runSeconds;
    const double e = all[1].after.runSeconds - all[1].before.runSeconds;
    if (e > 0)
        std::printf("\nverhouding speler / leeg venster: %.2f\n", p / e);
    else
        std::printf("\nverhouding speler / leeg venster: onbepaald, het lege venster liep in de "
                    "hele meting niet (0 ns); speler %.1f CPU-ms per minuut\n",
                    p / wall * 60e3);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
    if (seconds <= 0) {
        std::fprintf(stderr, "gebruik: %s [SECONDEN]\n", argv[0]);
        return 2;
    }
    try {
        return run(seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
