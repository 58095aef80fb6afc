// Start-up time of the player to its window shown, next to an empty Qt Widgets
// window started the same way on the same machine.
//
//   bench_startup [RUNS]        default 20, after one unmeasured run of each
//
// Measured from outside, the programs unchanged: the clock starts just before
// the spawn. Two points are taken. Shown: the first pass of the event loop
// after show(); in the player the queued start of the key thread, whose first
// read completes at once on a key block queued beforehand and is logged by the
// virtual board; in the empty window a queued call that writes "1" to a pipe.
// Painted: in the player the handling of that key (its leds FF write), whose
// hand-over reaches the event loop only after the pass that exposes and paints
// the window; in the empty window its first paintEvent, which writes "2". The
// board's clock is tied to this program's by the open request with the
// shortest round trip.
#include "benchkit.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <optional>
#include <sys/wait.h>

using namespace benchkit;

namespace {

struct PlayerRun {
    double windowOpen = -1; // the window's board handle opened (construction under way)
    double threadOpen = -1; // the key thread's handle opened (end of FormCreate)
    double firstRead = -1;  // the event loop runs the thread: the window has been shown
    double firstFlash = -1; // the queued key handled: leds FF
    double shutdown = -1;   // SIGTERM to the process' end (playlist save included)
};

std::optional<PlayerRun> runPlayer(const Board& board, double offsetUs, const std::string& program)
{
    const long since = board.lastSeq(0);
    board.ctl(0, {"keys", "1C", "F0", "1C"});
    Process p(program, {"0"}, headlessEnv(board.dir()));
    PlayerRun r;
    auto ms = [&](const Event& e) { return (e.tUs + offsetUs - p.startedUs()) / 1000.0; };
    const bool seen = waitUntil(
        [&] {
            int opens = 0;
            for (const Event& e : board.events(0, since)) {
                if (e.op == "open" && e.ok && ++opens == 1)
                    r.windowOpen = ms(e);
                else if (e.op == "open" && e.ok && opens == 2)
                    r.threadOpen = ms(e);
                else if (e.op == "read" && e.ok && r.firstRead < 0)
                    r.firstRead = ms(e);
                else if (e.op == "leds" && e.pattern == "FF" && r.firstFlash < 0)
                    r.firstFlash = ms(e);
            }
            return r.firstFlash >= 0 || !p.running();
        },
        // The times come from the log; rare polls keep the CPU for the start-up.
        20000, 25);
    if (!seen || r.firstRead < 0 || r.firstFlash < 0) {
        std::fprintf(stderr, "speler: geen eerste read of flits gezien\n");
        return std::nullopt;
    }
    const double term = nowUs();
    const int status = p.terminate(10000);
    r.shutdown = (nowUs() - term) / 1000.0;
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "speler eindigde niet gewoon (status %d)\n", status);
        return std::nullopt;
    }
    return r;
}

struct EmptyRun {
    double shown = -1;   // the event loop's first pass, the window shown
    double painted = -1; // its first paint
    double exit = -1;    // from the paint to the end
};

std::optional<EmptyRun> runEmpty(const std::string& deviceDir)
{
    Process p(EMPTY_WINDOW_PROGRAM, {}, headlessEnv(deviceDir), true);
    EmptyRun r;
    const double shown = p.waitForByte(20000);
    const double painted = p.waitForByte(20000);
    if (shown < 0 || painted < 0) {
        std::fprintf(stderr, "leeg venster: geen twee bytes ontvangen\n");
        return std::nullopt;
    }
    r.shown = (shown - p.startedUs()) / 1000.0;
    r.painted = (painted - p.startedUs()) / 1000.0;
    const int status = p.wait(10000);
    r.exit = (nowUs() - painted) / 1000.0;
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return r;
}

void row(const char* what, const std::vector<double>& ms)
{
    const Summary s = summarize(ms);
    std::printf("| %s | %zu | %s | %s | %s | %s |\n", what, s.count, fixed(s.min, 1).c_str(),
                fixed(s.median, 1).c_str(), fixed(s.p90, 1).c_str(), fixed(s.max, 1).c_str());
}

int run(int runs)
{
    Board board({0});
    TempDir folder("expbord-bench-player");
    const std::string program = copyProgram(PLAYER_PROGRAM, folder.path());
    const double offset = board.clockOffsetUs(0);

    std::vector<double> windowOpen, threadOpen, firstRead, firstFlash, shutdown, empty, emptyPaint,
        emptyExit;
    // The first run of each fills the caches; it is not counted.
    for (int i = -1; i < runs; ++i) {
        const std::optional<PlayerRun> p = runPlayer(board, offset, program);
        const std::optional<EmptyRun> e = runEmpty(board.dir());
        if (!p || !e)
            return 1;
        if (i < 0)
            continue;
        windowOpen.push_back(p->windowOpen);
        threadOpen.push_back(p->threadOpen);
        firstRead.push_back(p->firstRead);
        firstFlash.push_back(p->firstFlash);
        shutdown.push_back(p->shutdown);
        empty.push_back(e->shown);
        emptyPaint.push_back(e->painted);
        emptyExit.push_back(e->exit);
    }

    std::printf("Opstarttijd tot getoond venster, %d keer om en om gestart (offscreen), na een "
                "ongetelde eerste keer.\n",
                runs);
    std::printf("Gemeten van vlak voor de spawn. Getoond = eerste doorgang van de event loop na "
                "show():\nspeler: de eerste read van de toetsthread (logboek van het virtuele "
                "bord); leeg venster: een vooraf\ngeplaatste aanroep die een byte op een pipe "
                "schrijft. Getekend: speler: de vooraf klaargezette toets\nverwerkt (leds FF), "
                "wat pas na de doorgang met het eerste tekenen komt; leeg venster: het eerste "
                "paintEvent.\n\n");
    std::printf("| meting | n | min (ms) | mediaan (ms) | p90 (ms) | max (ms) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    row("leeg Qt-venster: start → event loop, venster getoond", empty);
    row("leeg Qt-venster: start → eerste paintEvent", emptyPaint);
    row("speler: start → open van de bordhandle van het venster", windowOpen);
    row("speler: start → open van de handle van de toetsthread", threadOpen);
    row("speler: start → event loop, venster getoond (eerste read)", firstRead);
    row("speler: start → eerste toets verwerkt (leds FF)", firstFlash);
    row("speler: SIGTERM → einde (afsluiten, player.m3u opslaan)", shutdown);
    row("leeg Qt-venster: eerste paintEvent → einde (quit)", emptyExit);
    std::printf("\nverhouding speler / leeg venster (mediaan): tot getoond venster %.2f, "
                "tot getekend venster (leds FF / paintEvent) %.2f\n",
                summarize(firstRead).median / summarize(empty).median,
                summarize(firstFlash).median / summarize(emptyPaint).median);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    if (runs <= 0) {
        std::fprintf(stderr, "gebruik: %s [KEREN]\n", argv[0]);
        return 2;
    }
    try {
        return run(runs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
