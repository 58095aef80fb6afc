// From key to LED flash: how long the player takes from the board completing
// its key read to the all-on LED write that answers the key.
//
//   bench_keylatency [KEYS] [--interval MS]     default 1000 keys, 20 ms apart
//
// Both ends are taken from the virtual board's event log, so they share one
// clock: the read event is logged when the read completes, the leds event
// when the request arrives. Every key is one block "1C F0 1C" (A) or
// "66 F0 66" (Backspace), alternately, so the typed text stays short; each
// make code writes the typed-text message and then FF.
//
// Anchor: the same path without the player. A thread of this program reads on
// one handle and writes FF on a second one, as the player's key thread and
// window do, but with no hand-over to a GUI thread and no work in between. It
// runs on board 1 of the same daemon, its keys half an interval after the
// player's, so that both see the same load.
#include "benchkit.h"
#include "unitexpbordlib.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>
#include <utility>

using namespace benchkit;

namespace {

struct Latencies {
    std::vector<double> toText; // read → typed-text write
    std::vector<double> toLeds; // read → leds FF
    long keys = 0;              // completed non-empty reads
    long unanswered = 0;        // reads with no FF before the next read
};

// The reader handle is the one whose reads return the key blocks; the answer
// to read i comes after it and, since the reader only reads again once the
// block is handled, before read i+1.
Latencies pair(const std::vector<Event>& events)
{
    Latencies l;
    const Event* read = nullptr;
    bool textSeen = false, ledsSeen = false;
    auto close = [&] {
        if (read && !ledsSeen)
            ++l.unanswered;
    };
    for (const Event& e : events) {
        if (e.op == "read" && e.ok && !e.bytes.empty()) {
            close();
            read = &e;
            textSeen = ledsSeen = false;
            ++l.keys;
        } else if (read && e.op == "write" && !textSeen) {
            textSeen = true;
            l.toText.push_back(e.tUs - read->tUs);
        } else if (read && e.op == "leds" && e.pattern == "FF" && !ledsSeen) {
            ledsSeen = true;
            l.toLeds.push_back(e.tUs - read->tUs);
        }
    }
    close();
    return l;
}

QJsonObject state(const Board& board, int number)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(board.ctl(number, {"state"})))
        .object();
}

bool waitForPendingRead(const Board& board, int number)
{
    return waitUntil(
        [&] {
            const QJsonObject s = state(board, number);
            return s["openHandles"].toInt() == 2 && s["pendingReads"].toInt() == 1;
        },
        15000);
}

// Queues one key block on each board per interval, board 1 half an interval
// after board 0, so that both paths meet the same load; returns the last
// seq of each board before the run.
std::pair<long, long> pressKeys(const Board& board, long keys, int intervalMs)
{
    const std::pair<long, long> since{board.lastSeq(0), board.lastSeq(1)};
    const auto start = Clock::now();
    const auto interval = std::chrono::microseconds(intervalMs * 1000);
    for (long i = 0; i < keys; ++i) {
        const std::vector<std::string> key =
            i % 2 == 0 ? std::vector<std::string>{"keys", "1C", "F0", "1C"}
                       : std::vector<std::string>{"keys", "66", "F0", "66"};
        board.ctl(0, key);
        std::this_thread::sleep_until(start + interval * i + interval / 2);
        board.ctl(1, key);
        std::this_thread::sleep_until(start + interval * (i + 1));
    }
    return since;
}

std::vector<Event> answeredRun(const Board& board, int number, long since, long keys)
{
    std::vector<Event> events;
    waitUntil(
        [&] {
            events = board.events(number, since);
            return pair(events).toLeds.size() >= size_t(keys);
        },
        5000);
    return events;
}

// The anchor: read on one handle, answer on another, nothing in between.
class AnchorLoop {
public:
    explicit AnchorLoop(int number)
        : path_("\\\\.\\ezusb-" + std::to_string(number)), reader_(openBoard(path_.c_str())),
          writer_(openBoard(path_.c_str())), thread_([this] {
              uint8_t buffer[64];
              uint32_t n = 0;
              while (!stop_ && readBoardKeys(reader_, buffer, n))
                  setBoardLeds(writer_, 0xFF);
              done_ = true;
          })
    {}
    ~AnchorLoop()
    {
        stop_ = true;
        // An abort reaches only a read already pending: repeat until the loop is out.
        while (!done_) {
            abortBoardRead(writer_);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        thread_.join();
        closeBoard(reader_);
        closeBoard(writer_);
    }

private:
    std::string path_;
    BoardHandle reader_, writer_;
    std::atomic<bool> stop_{false}, done_{false};
    std::thread thread_;
};

void row(const char* what, const std::vector<double>& us)
{
    const Summary s = summarize(us);
    std::printf("| %s | %zu | %s | %s | %s | %s | %s |\n", what, s.count, fixed(s.min, 0).c_str(),
                fixed(s.median, 0).c_str(), fixed(s.p90, 0).c_str(), fixed(s.p99, 0).c_str(),
                fixed(s.max, 0).c_str());
}

int run(long keys, int intervalMs)
{
    // Board 0 for the player, board 1 for the anchor.
    Board board({0, 1});
    TempDir folder("expbord-bench-player");
    const std::string program = copyProgram(PLAYER_PROGRAM, folder.path());
    Process player(program, {"0"}, headlessEnv(board.dir()));

    AnchorLoop anchor(1);
    Latencies playerRun, anchorRun;
    double playerCpu = 0;
    // Each board has two handles open, one of them reading.
    const bool ready = waitForPendingRead(board, 0) && waitForPendingRead(board, 1);
    if (ready) {
        pressKeys(board, 20, intervalMs);
        const ProcessSample before = sampleProcess(player.pid());
        const auto [since0, since1] = pressKeys(board, keys, intervalMs);
        playerRun = pair(answeredRun(board, 0, since0, keys));
        anchorRun = pair(answeredRun(board, 1, since1, keys));
        playerCpu = sampleProcess(player.pid()).runSeconds - before.runSeconds;
    }
    player.terminate();
    if (!ready) {
        std::fprintf(stderr, "de speler of het anker kwam niet tot lezen\n");
        return 1;
    }

    std::printf("Toetsaanslag tot LED-flits: %ld toetsen, om de %d ms een blok \"1C F0 1C\" "
                "of \"66 F0 66\".\n",
                keys, intervalMs);
    std::printf("Begin: de read van de toetsthread voltooid in het bord (t_us van het "
                "read-event);\neinde: de leds-FF-schrijfopdracht die erop volgt. "
                "Anker: een kale lees-en-schrijflus in de bench zelf\n(lezen op de ene "
                "handle, FF schrijven op een tweede) op bord 1, om en om met de speler op "
                "bord 0.\n\n");
    std::printf("| meting | n | min (µs) | mediaan (µs) | p90 (µs) | p99 (µs) | max (µs) |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    row("speler: read → tekstbericht (write)", playerRun.toText);
    row("speler: read → leds FF", playerRun.toLeds);
    row("anker: read → leds FF", anchorRun.toLeds);
    std::printf("\n");
    const Summary ps = summarize(playerRun.toLeds), as = summarize(anchorRun.toLeds);
    if (as.median > 0)
        std::printf("verhouding speler / anker: mediaan %.1f, p99 %.1f\n", ps.median / as.median,
                    ps.p99 / as.p99);
    std::printf("speler zonder antwoord: %ld van %ld toetsen; anker: %ld van %ld\n",
                playerRun.unanswered + (keys - playerRun.keys), keys,
                anchorRun.unanswered + (keys - anchorRun.keys), keys);
    std::printf("CPU van de speler tijdens de meting: %.3f CPU-s = %.0f µs per toets\n", playerCpu,
                playerCpu / double(keys) * 1e6);
    return playerRun.toLeds.size() == size_t(keys) && anchorRun.toLeds.size() == size_t(keys) ? 0
                                                                                              : 1;
}

} // namespace

int main(int argc, char** argv)
{
    long keys = 1000;
    int intervalMs = 20;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--interval") == 0 && i + 1 < argc)
            intervalMs = std::atoi(argv[++i]);
        else
            keys = std::atol(argv[i]);
    }
    if (keys <= 0 || intervalMs <= 0) {
        std::fprintf(stderr, "gebruik: %s [TOETSEN] [--interval MS]\n", argv[0]);
        return 2;
    }
    try {
        return run(keys, intervalMs);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
