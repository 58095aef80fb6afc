// The player's shutdown in the board states not met elsewhere: a key hand-off
// already waiting for the GUI thread, and a modal message open when the
// program is told to quit. The window must be gone within 1.5 s.
#include "faulttesting.h"
#include "ui_unitplayer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <csignal>

using namespace faulttest;

TEST(Shutdown, KeyHandOffInFlightIsServedBeforeTheKeyBufferGoes)
{
    PlayerRun r;
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    // The read completes while the GUI thread is busy here, so the reader
    // waits in its hand-off when the shutdown begins.
    ASSERT_EQ(r.board.ctl({"keys", "1C"}).exitCode, 0);
    ASSERT_TRUE(waitBlocked([&] { return !r.board.events("read", 0, since).empty(); }));
    QThread::msleep(50);
    ASSERT_EQ(r.window->typedText(), "") << "the hand-off was not in flight";

    EXPECT_LT(r.close(), 1500);
    // The hand-off ran within the shutdown, on a live key buffer and board handle.
    EXPECT_EQ(r.requests("write", "text", since), std::vector<std::string>{"2A"});
    EXPECT_EQ(r.openHandles(), 0);
    EXPECT_EQ(r.board.state()["pendingReads"].toInt(), 0);
    EXPECT_TRUE(r.answers.messages.isEmpty());
}

// The window's handle stops working (a connection the board dropped) while
// the reader's read is pending: the shutdown ends that read another way.
TEST(Shutdown, DeadWindowHandleWhileAReadIsPending)
{
    PlayerRun r;
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    ASSERT_TRUE(closeBoard(r.window->device));
    ASSERT_FALSE(setBoardLeds(r.window->device, 0xFF)) << "the window's handle still works";
    EXPECT_LT(r.close(), 1500);
    EXPECT_EQ(r.openHandles(), 0);
    EXPECT_EQ(r.board.state()["pendingReads"].toInt(), 0);
}

struct ModalCase {
    const char* name;
    std::vector<std::string> fault;
};

void PrintTo(const ModalCase& c, std::ostream* os)
{
    *os << c.name;
}

class ModalMessageOpen : public ::testing::TestWithParam<ModalCase> {};

// The program's open fails and its message box is up; SIGTERM closes the box
// and the window, and the shutdown runs its steps.
TEST_P(ModalMessageOpen, SigtermEndsTheProgramQuickly)
{
    const ModalCase& c = GetParam();
    SimBoard board;
    PlayerProgram player(board);
    ASSERT_TRUE(player.copied());
    ASSERT_TRUE(writeAll(player.playlistFile(), "/m/een.mp3\r\n"));
    ASSERT_EQ(board.ctl(c.fault).exitCode, 0);
    ASSERT_TRUE(player.start());
    ASSERT_TRUE(board.waitForEvent(
        [](const QJsonObject& e) { return e["op"] == "open" && !e["ok"].toBool(); }, 10000))
        << "the program never opened the board";
    // The box is shown right after the failed open; the key reader comes after it.
    QThread::msleep(300);
    ASSERT_EQ(player.process().state(), QProcess::Running);
    EXPECT_EQ(board.state()["openHandles"].toInt(), 0) << "the box did not hold up the start";

    ASSERT_NO_FATAL_FAILURE(endsQuicklyOnSigterm(player));
    const QJsonObject state = board.state();
    EXPECT_EQ(state["openHandles"].toInt(), 0);
    EXPECT_EQ(state["pendingReads"].toInt(), 0);
    EXPECT_EQ(readAll(player.playlistFile()), QByteArray("/m/een.mp3\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    States, ModalMessageOpen,
    ::testing::Values(
        // No board at all as far as the program can tell: the reader ends at once.
        ModalCase{"BoardAbsent", {"fail", "open", "always"}},
        // Only the window's open fails; the reader's own open works.
        ModalCase{"WindowWithoutHandle", {"fail", "open"}}),
    [](const auto& info) { return std::string(info.param.name); });

// The save at shutdown fails and its box waits for the user; a second signal
// closes it and the program ends.
TEST(Shutdown, SignalClosesTheBoxOfAFailedSave)
{
    SimBoard board;
    PlayerProgram player(board);
    ASSERT_TRUE(player.copied());
    ASSERT_TRUE(writeAll(player.playlistFile(), "/m/een.mp3\r\n"));
    ASSERT_TRUE(player.start());
    ASSERT_TRUE(waitUntil([&] { return board.state()["pendingReads"].toInt() == 1; }, 10000));
    // A folder that is not empty cannot be replaced by the saved file.
    ASSERT_TRUE(QFile::remove(player.playlistFile()));
    ASSERT_TRUE(QDir().mkpath(player.playlistFile() + "/bezet"));

    const long since = board.lastSeq();
    ::kill(player.pid(), SIGTERM);
    // The reader's handle closes, then the window's, just before the save.
    ASSERT_TRUE(waitUntil([&] { return board.events("close", 0, since).size() == 2; }, 5000));
    QThread::msleep(300);
    ASSERT_EQ(player.process().state(), QProcess::Running) << "no box held the program";

    ASSERT_NO_FATAL_FAILURE(endsQuicklyOnSigterm(player));
    EXPECT_TRUE(QFileInfo(player.playlistFile() + "/bezet").isDir());
    EXPECT_EQ(QDir(player.folder()).entryList(QDir::Files), QStringList{"player"});
    EXPECT_EQ(board.state()["openHandles"].toInt(), 0);
}
