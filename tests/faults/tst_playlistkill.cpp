// player.m3u is saved by writing a temporary file beside it and renaming that
// over the old one: a player killed (SIGKILL) at any moment of its save leaves
// either the old list or the new one, never a part of either.
//
// Each run starts the player on a large list, puts another list in the file's
// place, asks the player to quit and kills it at a random moment after its
// board handle closed, the step just before the save. The moments come from a
// fixed seed; EXPBORD_KILL_SEED picks others.
#include "faulttesting.h"

#include <QDir>

#include <algorithm>

#include <chrono>
#include <csignal>
#include <iostream>
#include <random>
#include <sys/stat.h>
#include <thread>

using namespace faulttest;

namespace {

constexpr int Runs = 100;
constexpr int Entries = 20000;

QByteArray listText(const char* folder)
{
    QByteArray text;
    for (int i = 0; i < Entries; ++i)
        text += QString("/home/muziek/%1/%2 - Artiest %3 - Nummer %2.mp3\r\n")
                    .arg(folder)
                    .arg(i, 5, 10, QChar('0'))
                    .arg(i % 97)
                    .toUtf8();
    return text;
}

struct Outcome {
    QByteArray content;
    int leftovers = 0;      // temporary files left beside it: killed while writing
    long closeToSaved = -1; // us from the window's handle closing to the saved list (no kill)
};

class KillRun {
public:
    KillRun(SimBoard& board, PlayerProgram& player) : board_(board), player_(player) {}

    // Starts the player on newList, puts oldList in the file's place, sends
    // SIGTERM and, for a delay of 0 or more, SIGKILL that many microseconds
    // after the window's handle closed.
    bool run(const QByteArray& newList, const QByteArray& oldList, long delayUs, Outcome& out)
    {
        const QString file = player_.playlistFile();
        if (!writeAll(file, newList))
            return fail("cannot write the playlist");
        // The key reader is kept out (its open fails), so that the shutdown does
        // not spend its second of read back-off before every save.
        if (board_.ctl({"fail", "open", "always", "--after", "1"}).exitCode != 0)
            return fail("cannot arm the fault");
        const long since = board_.lastSeq();
        if (!player_.start())
            return fail("the player does not start");
        // The reader's open comes after the playlist is loaded.
        if (!waitBlocked([&] { return board_.events("open", 0, since).size() == 2; }, 20000))
            return fail("the player never got to its key reader");
        if (!writeAll(file, oldList))
            return fail("cannot put the old list in place");
        ::kill(player_.pid(), SIGTERM);
        if (!waitBlocked([&] { return !board_.events("close", 0, since).empty(); }, 10000))
            return fail("the window never closed its handle");
        QElapsedTimer t;
        t.start();
        if (delayUs >= 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
            ::kill(player_.pid(), SIGKILL);
        } else {
            // The two lists differ in length: the file has the new one's size
            // once the save is done.
            while (fileSize(file) != newList.size() && t.elapsed() < 10000)
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            if (fileSize(file) != newList.size())
                return fail("the player did not save within 10 s of its close");
            out.closeToSaved = long(t.nsecsElapsed() / 1000);
        }
        if (!player_.process().waitForFinished(20000))
            return fail("the player did not end");
        out.content = readAll(file);
        for (const QString& name :
             QDir(player_.folder()).entryList({"player.m3u.*"}, QDir::Files)) {
            ++out.leftovers;
            QFile::remove(QDir(player_.folder()).filePath(name));
        }
        board_.ctl({"fail", "open", "off"});
        // The daemon lets the killed player's handle go before the next run.
        return waitBlocked([&] { return board_.state()["openHandles"].toInt() == 0; }, 5000) ||
               fail("the killed player's handle stays open");
    }

private:
    static qint64 fileSize(const QString& path)
    {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? qint64(st.st_size) : -1;
    }
    bool fail(const char* what)
    {
        ADD_FAILURE() << what;
        return false;
    }
    SimBoard& board_;
    PlayerProgram& player_;
};

} // namespace

TEST(PlaylistSave, KilledAtRandomMomentsLeavesTheOldOrTheNewList)
{
    SimBoard board;
    PlayerProgram player(board);
    ASSERT_TRUE(player.copied());
    const QByteArray newList = listText("nieuw");
    const QByteArray oldList = listText("oud");
    KillRun kill(board, player);

    // Shutdowns left alone show how long after the close the save is done (the
    // median of three, the disk's sync time varies); the kills are spread over
    // that span and a little past it.
    std::vector<long> saved;
    for (int i = 0; i < 3; ++i) {
        Outcome calibration;
        ASSERT_TRUE(kill.run(newList, oldList, -1, calibration));
        ASSERT_EQ(calibration.content, newList) << "the player does not save its list";
        saved.push_back(calibration.closeToSaved);
    }
    std::sort(saved.begin(), saved.end());
    const long spanUs = std::max<long>(1000, saved[1] * 5 / 4);

    const unsigned seed = qEnvironmentVariableIsSet("EXPBORD_KILL_SEED")
                              ? qEnvironmentVariableIntValue("EXPBORD_KILL_SEED")
                              : 20240611u;
    std::mt19937 random(seed);
    std::uniform_int_distribution<long> delay(0, spanUs);
    int oldCount = 0, newCount = 0, duringWrite = 0;
    for (int i = 0; i < Runs; ++i) {
        Outcome o;
        const long d = delay(random);
        ASSERT_TRUE(kill.run(newList, oldList, d, o)) << "run " << i;
        if (o.content == oldList) {
            ++oldCount;
        } else if (o.content == newList) {
            ++newCount;
        } else {
            ADD_FAILURE() << "run " << i << " (kill " << d << " us after the close) left "
                          << o.content.size() << " bytes, neither list";
        }
        duringWrite += o.leftovers > 0;
    }
    std::cout << "[ kills    ] seed " << seed << ", " << Runs << " kills within " << spanUs
              << " us of the close (saved after " << saved[1] << " us): " << oldCount
              << " old list, " << newCount << " new list, " << duringWrite
              << " during the write of the temporary file\n";
    EXPECT_EQ(oldCount + newCount, Runs);
}
