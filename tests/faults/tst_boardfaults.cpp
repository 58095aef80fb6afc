// Board requests that fail, armed with `expbord-sim ctl fail`, for each request
// the player and the jog window make outside the firmware command: what the
// user gets and that the program works on. The firmware command's requests
// (anchor) and the jog poll's (bulkread, bulkwrite) have their own tests.
#include "faulttesting.h"
#include "timer.h"
#include "ui_unitplayer.h"
#include "unitaudioplayer.h"
#include "unitjog.h"

#include <QJsonArray>

using namespace faulttest;
using S = std::vector<std::string>;

namespace {

const QString openFailed = "Het openen van de VEK driver is mislukt!";

} // namespace

TEST(BoardFault, WindowOpenFailsButTheKeyReaderStillDeliversKeys)
{
    PlayerRun r;
    ASSERT_NO_FATAL_FAILURE(r.arm({"fail", "open"}));
    r.open();
    EXPECT_EQ(r.answers.messages, QStringList{openFailed});
    EXPECT_EQ(r.window->device, INVALID_HANDLE_VALUE);
    // The reader opened a handle of its own after the message.
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    ASSERT_EQ(r.board.ctl({"keys", "1C", "F0", "1C"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return r.window->typedText() == "A"; }));
    // Display and LED writes go nowhere without the window's handle.
    EXPECT_TRUE(r.board.events("write", 0, since).empty());
    EXPECT_TRUE(r.board.events("leds", 0, since).empty());
    EXPECT_LT(r.close(), 1500);
    EXPECT_EQ(r.openHandles(), 0);
    EXPECT_EQ(r.answers.messages.size(), 1);
}

TEST(BoardFault, KeyReaderOpenFailsSilentlyAndTheWindowWorksOn)
{
    PlayerRun r;
    ASSERT_NO_FATAL_FAILURE(r.arm({"fail", "open", "--after", "1"}));
    r.open();
    EXPECT_TRUE(r.answers.messages.isEmpty());
    ASSERT_NE(r.window->device, INVALID_HANDLE_VALUE);
    const long since = r.board.lastSeq();
    ASSERT_EQ(r.board.ctl({"keys", "1C"}).exitCode, 0);
    QTest::qWait(300);
    EXPECT_TRUE(r.board.events("read", 0, since).empty()) << "the reader reads without a handle";
    EXPECT_EQ(r.window->typedText(), "");
    EXPECT_EQ(r.openHandles(), 1);
    // The window's own board writes still arrive.
    r.window->setTypedText("X");
    EXPECT_EQ(r.requests("write", "text", since), S{"2X"});
    EXPECT_LT(r.close(), 1500);
    EXPECT_EQ(r.openHandles(), 0);
}

TEST(BoardFault, FailedReadBacksOffAndReadsAgainOnTheSameHandle)
{
    PlayerRun r;
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    // The pending read gets the key; the next read request fails.
    ASSERT_NO_FATAL_FAILURE(r.arm({"fail", "read"}));
    ASSERT_EQ(r.board.ctl({"keys", "1C"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return r.board.events("read", 0, since).size() == 2; }));
    QElapsedTimer backOff;
    backOff.start();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    // About a second of back-off, not a spin.
    EXPECT_GE(backOff.elapsed(), 800);
    ASSERT_EQ(r.board.ctl({"keys", "32"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return r.window->typedText() == "AB"; }));

    EXPECT_EQ(r.oks("read", since), (std::vector<bool>{true, false, true}));
    EXPECT_EQ(r.requests("read", "bytes", since)[2], "32");
    const auto reads = r.board.events("read", 0, since);
    ASSERT_EQ(reads.size(), 3u);
    EXPECT_EQ(reads[0]["handle"], reads[1]["handle"]);
    EXPECT_EQ(reads[1]["handle"], reads[2]["handle"]);
    EXPECT_TRUE(r.board.events("open", 0, since).empty()) << "the reader reopened its handle";
    EXPECT_TRUE(r.answers.messages.isEmpty());
}

TEST(BoardFault, FailedDisplayWriteIsIgnored)
{
    PlayerRun r;
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    ASSERT_NO_FATAL_FAILURE(r.arm({"fail", "text"}));
    ASSERT_EQ(r.board.ctl({"keys", "1C"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return r.window->typedText() == "A"; }));
    ASSERT_EQ(r.board.ctl({"keys", "32"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return r.window->typedText() == "AB"; }));
    EXPECT_EQ(r.requests("write", "text", since), (S{"2A failed", "2AB"}));
    EXPECT_EQ(r.board.state()["display"].toArray()[2], "AB");
    EXPECT_TRUE(r.answers.messages.isEmpty());
}

TEST(BoardFault, FailedLedWriteIsIgnoredAndTheFlashStillEnds)
{
    PlayerRun r;
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    ASSERT_NO_FATAL_FAILURE(r.arm({"fail", "leds"}));
    ASSERT_EQ(r.board.ctl({"keys", "1C"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return r.window->typedText() == "A"; }));
    ASSERT_TRUE(waitUntil([&] { return !r.window->timerActivity->enabled(); }));
    EXPECT_EQ(r.requests("leds", "pattern", since), (S{"FF failed", "00"}));
    EXPECT_EQ(r.board.state()["leds"], "00");
    EXPECT_TRUE(r.answers.messages.isEmpty());
}

TEST(BoardFault, FailedAbortAtShutdownIsSentAgain)
{
    PlayerRun r;
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    ASSERT_NO_FATAL_FAILURE(r.arm({"fail", "abort"}));
    EXPECT_LT(r.close(), 1500);
    EXPECT_EQ(r.oks("abort", since), (std::vector<bool>{false, true}));
    // The second abort ended the reader's read.
    EXPECT_EQ(r.oks("read", since), std::vector<bool>{false});
    EXPECT_EQ(r.openHandles(), 0);
    EXPECT_TRUE(r.answers.messages.isEmpty());
}

TEST(BoardFault, FailedCloseAtShutdownChangesNothing)
{
    PlayerRun r;
    ASSERT_TRUE(writeAll(r.folder.playlistFile(), "/m/een.mp3\r\n"));
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    ASSERT_NO_FATAL_FAILURE(r.arm({"fail", "close", "always"}));
    EXPECT_LT(r.close(), 1500);
    EXPECT_EQ(r.oks("close", since), (std::vector<bool>{false, false}));
    // The driver lets a handle go whatever its close reports.
    EXPECT_EQ(r.openHandles(), 0);
    EXPECT_TRUE(r.answers.messages.isEmpty());
    EXPECT_EQ(readAll(r.folder.playlistFile()), QByteArray("/m/een.mp3\r\n"));
}

TEST(BoardFault, JogFailedCloseChangesNothing)
{
    SimBoard board;
    Answers answers;
    auto window = std::make_unique<TformJog>(QStringList{"0"});
    ASSERT_TRUE(board.waitForEvent(
        [](const QJsonObject& e) { return e["op"] == "bulkread" && e["ok"].toBool(); }));
    const long since = board.lastSeq();
    ASSERT_EQ(board.ctl({"fail", "close"}).exitCode, 0);
    window.reset();
    const auto closes = board.events("close", 0, since);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_FALSE(closes[0]["ok"].toBool());
    EXPECT_EQ(board.state()["openHandles"].toInt(), 0);
    EXPECT_TRUE(answers.messages.isEmpty());
}
