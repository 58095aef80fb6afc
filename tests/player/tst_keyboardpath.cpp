// The keyboard path end to end on a virtual board: decoding and key actions,
// the board's display and LEDs, and the key reader thread.
#include "boardtext.h"
#include "playeronboard.h"
#include "statusbar.h"
#include "timer.h"
#include "ui_unitplayer.h"
#include "unitaudioplayer.h"
#include "unitthreadkeys.h"

#include "printrows.h"
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

using playertest::Answers;
using playertest::closeTimed;
using playertest::ProgramFolder;
using playertest::waitUntil;
using testsupport::SimBoard;

using testsupport::PrintTo;

namespace {

std::vector<uint8_t> hex(const std::string& text)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i + 1 < text.size() + 1; i += 3)
        out.push_back(uint8_t(std::stoul(text.substr(i, 2), nullptr, 16)));
    return out;
}

// A window on a virtual board, with a playlist of entries that do not open.
struct PlayerOnBoard : playertest::BoardWindow {
    explicit PlayerOnBoard(int tracks = 3)
    {
        QFile f(folder.playlistFile());
        if (f.open(QIODevice::WriteOnly))
            for (int i = 0; i < tracks; ++i)
                f.write(QString("/nowhere/track%1.mp3\r\n").arg(i).toUtf8());
        f.close();
        open();
    }

    long flashes(long since)
    {
        long n = 0;
        for (const std::string& p : field("leds", "pattern", since))
            n += p == "FF";
        return n;
    }
    void feed(const std::string& block)
    {
        std::vector<uint8_t> bytes = block.empty() ? std::vector<uint8_t>{} : hex(block);
        window->appendKeyData(bytes.data(), uint32_t(bytes.size()));
    }
    QString keyEvent() const { return window->ui->statusBarStatus->panelText(2); }
};

} // namespace

struct KeyCase {
    const char* name;
    std::vector<std::string> blocks; // hex, one string per block
    const char* lastEvent;
    QString typed;
    std::vector<std::string> typedMessages; // "2..." messages sent, in order
    int currentTrack;
    long flashes;
    uint32_t waiting;
};

class KeyDecoding : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyDecoding, ShowsActsAndFlashes)
{
    PlayerOnBoard p;
    const KeyCase& c = GetParam();
    p.window->audioPlayer->currentTrack = 1;
    const long since = p.board.lastSeq();
    for (const std::string& block : c.blocks)
        p.feed(block);
    EXPECT_EQ(p.keyEvent(), c.lastEvent);
    EXPECT_EQ(p.window->typedText(), c.typed);
    std::vector<std::string> typedMessages;
    for (const std::string& t : p.field("write", "text", since))
        if (!t.empty() && t[0] == '2')
            typedMessages.push_back(t);
    EXPECT_EQ(typedMessages, c.typedMessages);
    EXPECT_EQ(p.window->audioPlayer->currentTrack, c.currentTrack);
    EXPECT_EQ(p.flashes(since), c.flashes);
    EXPECT_EQ(p.window->keyDataLength, c.waiting);
    EXPECT_LE(p.window->keyDataCapacity, 71);
}

using S = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(
    Cases, KeyDecoding,
    ::testing::Values(
        KeyCase{"LetterMakeBreak", {"1C F0 1C"}, "BREAK 1C", "A", S{"2A"}, 1, 1, 0},
        KeyCase{"LoneE0CompletedByNextBlock",
                {"1C E0", "7D 32"},
                "MAKE 32",
                "AB",
                S{"2A", "2AB"},
                0,
                3,
                0},
        KeyCase{"ExtendedBreakPrefixWaits", {"E0 F0"}, "", "", S{}, 1, 0, 2},
        KeyCase{
            "BreakPrefixCompletedByNextBlock", {"1C F0", "1C"}, "BREAK 1C", "A", S{"2A"}, 1, 1, 0},
        KeyCase{"PauseInTwoParts", {"E1 14 77 E1", "F0 14 F0 77"}, "PAUSE", "", S{}, 1, 1, 0},
        KeyCase{"PauseWaitsAndEmptyBlockShowsItAgain", {"E1 14", ""}, "PAUSE", "", S{}, 1, 0, 2},
        KeyCase{"BackspaceOnEmptyText", {"66 F0 66"}, "BREAK 66", "", S{"2"}, 1, 1, 0},
        KeyCase{"BackspaceRemovesLastCharacter",
                {"1C 32 66"},
                "MAKE 66",
                "A",
                S{"2A", "2AB", "2A"},
                1,
                3,
                0},
        KeyCase{"DeleteEmptiesText", {"1C E0 71"}, "EXTMAKE 71", "", S{"2A", "2"}, 1, 2, 0},
        KeyCase{"LeftShiftResendsText", {"1C 12"}, "MAKE 12", "A", S{"2A", "2A"}, 1, 2, 0},
        KeyCase{"KeypadPlusAppendsK", {"79"}, "MAKE 79", "k", S{"2k"}, 1, 1, 0},
        KeyCase{"F3SelectsThirdEntry", {"04"}, "MAKE 04", "", S{}, 2, 1, 0},
        KeyCase{"F5PastTheListOnlyStops", {"03"}, "MAKE 03", "", S{}, 1, 1, 0},
        KeyCase{"EndSelectsLastEntry", {"E0 69"}, "EXTMAKE 69", "", S{}, 2, 1, 0},
        KeyCase{"HomeSelectsFirstEntry", {"E0 6C"}, "EXTMAKE 6C", "", S{}, 0, 1, 0},
        KeyCase{"PageDownNext", {"E0 7A"}, "EXTMAKE 7A", "", S{}, 2, 1, 0},
        KeyCase{"PageUpPrevious", {"E0 7D"}, "EXTMAKE 7D", "", S{}, 0, 1, 0},
        KeyCase{"ArrowOnlyFlashes", {"E0 75 E0 F0 75"}, "EXTBREAK 75", "", S{}, 1, 1, 0},
        KeyCase{"PrintScreenTwoExtendedMakes", {"E0 12 E0 7C"}, "EXTMAKE 7C", "", S{}, 1, 2, 0},
        KeyCase{"HeldKeyRepeats", {"1C 1C 1C"}, "MAKE 1C", "AAA", S{"2A", "2AA", "2AAA"}, 1, 3, 0},
        KeyCase{"TabAndEnterAppendControlCharacters",
                {"0D 5A"},
                "MAKE 5A",
                "\t\r",
                S{"2\t", "2\t\r"},
                1,
                2,
                0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeyDecoding, EndWithEmptyPlaylistOnlyStops)
{
    PlayerOnBoard p(0);
    p.feed("E0 69");
    EXPECT_EQ(p.keyEvent(), "EXTMAKE 69");
    EXPECT_EQ(p.window->audioPlayer->currentTrack, 0);
    EXPECT_EQ(p.window->audioPlayer->stream, 0u);
}

TEST(KeyDecoding, FullBlockOfKeysIsHandledInOrder)
{
    PlayerOnBoard p;
    // 21 letters with their releases: A..U, 63 bytes, then one more make.
    std::string block;
    const char* codes[] = {"1C", "32", "21", "23", "24", "2B", "34", "33", "43", "3B", "42",
                           "4B", "3A", "31", "44", "4D", "15", "2D", "1B", "2C", "3C"};
    for (const char* c : codes)
        block += std::string(c) + " F0 " + c + " ";
    block += "29";
    p.feed(block);
    EXPECT_EQ(p.window->typedText(), "ABCDEFGHIJKLMNOPQRSTU ");
    EXPECT_EQ(p.keyEvent(), "MAKE 29");
    EXPECT_EQ(p.window->keyDataLength, 0u);
}

TEST(KeyDecoding, LongTypedTextIsCutOnlyOnTheDisplay)
{
    PlayerOnBoard p;
    const QString seventy(70, 'x');
    const long since = p.board.lastSeq();
    p.window->setTypedText(seventy);
    EXPECT_EQ(p.window->ui->labelKeys->text(), seventy);
    auto texts = p.field("write", "text", since);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "2" + std::string(63, 'x'));
}

TEST(Display, TrackNamesGoWholeAndEightBit)
{
    PlayerOnBoard p;
    const long since = p.board.lastSeq();
    showTrackName(std::string(100, 'n'));
    showTrackName("");
    showTrackName("caf\xC3\xA9 \xE2\x82\xAC.mp3"); // é fits Latin-1, the euro sign does not
    EXPECT_EQ(p.window->ui->statusBarStatus->panelText(0), QString::fromUtf8("café €.mp3"));
    std::vector<std::string> bytes;
    for (const std::string& b : p.field("write", "bytes", since))
        if (b.rfind("30", 0) == 0) // track-name messages only
            bytes.push_back(b);
    ASSERT_EQ(bytes.size(), 3u);
    EXPECT_EQ(bytes[0].size(), 2u * 101);
    EXPECT_EQ(bytes[1], "30");
    EXPECT_EQ(bytes[2], "30636166E9203F2E6D7033"); // "0caf\xE9 ?.mp3"
}

struct TimeCase {
    int32_t seconds;
    const char* text;
};
void PrintTo(const TimeCase& c, std::ostream* os)
{
    *os << c.seconds;
}
class PlayTime : public ::testing::TestWithParam<TimeCase> {};
TEST_P(PlayTime, Formats)
{
    EXPECT_EQ(boardtext::playTime(GetParam().seconds), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Cases, PlayTime,
                         ::testing::Values(TimeCase{0, "00:00"}, TimeCase{59, "00:59"},
                                           TimeCase{60, "01:00"}, TimeCase{5999, "99:59"},
                                           TimeCase{6000, "100:00"}, TimeCase{-1, "--:--"},
                                           TimeCase{-100, "--:--"}));

TEST(Display, TrackThatDoesNotOpenShowsNameAndDashes)
{
    PlayerOnBoard p;
    p.window->ui->statusBarStatus->setPanelText(1, "01:23");
    const long since = p.board.lastSeq();
    p.feed("05"); // F1: /nowhere/track0.mp3
    EXPECT_EQ(p.window->ui->statusBarStatus->panelText(0), "track0.mp3");
    EXPECT_EQ(p.window->ui->statusBarStatus->panelText(1), "--:--");
    EXPECT_EQ(p.field("write", "text", since), S({"0track0.mp3", "1--:--"}));
    EXPECT_FALSE(p.window->timerPlaying->enabled());
}

TEST(Display, IdlePositionShowsDashes)
{
    PlayerOnBoard p;
    const long since = p.board.lastSeq();
    p.window->timerPositionTimer();
    EXPECT_EQ(p.window->ui->statusBarStatus->panelText(1), "--:--");
    EXPECT_EQ(p.field("write", "text", since), S{"1--:--"});
}

TEST(Leds, RunningLightStepsAndGoesRound)
{
    PlayerOnBoard p;
    const long since = p.board.lastSeq();
    showPlaying(true);
    EXPECT_TRUE(p.window->timerPosition->enabled());
    // Nothing is written when playing starts; the first step comes with the first tick.
    EXPECT_TRUE(p.field("leds", "pattern", since).empty());
    for (int i = 0; i < 9; ++i)
        p.window->timerPlayingTimer();
    EXPECT_EQ(p.field("leds", "pattern", since),
              S({"80", "40", "20", "10", "08", "04", "02", "01", "80"}));
}

TEST(Leds, KeyFlashInterruptsTheLightWhichGoesOnWhereItStopped)
{
    PlayerOnBoard p;
    showPlaying(true);
    p.window->timerPlayingTimer();
    p.window->timerPlayingTimer(); // 80, 40
    const long since = p.board.lastSeq();
    p.feed("1C");
    p.feed("32");                  // a second press within the flash
    p.window->timerPlayingTimer(); // no step while the flash lasts
    p.window->timerActivityTimer();
    EXPECT_FALSE(p.window->timerActivity->enabled());
    p.window->timerPlayingTimer();
    EXPECT_EQ(p.field("leds", "pattern", since), S({"FF", "FF", "00", "20"}));
}

TEST(Leds, FlashEndsAtTheFirstTickOfItsTimer)
{
    PlayerOnBoard p;
    const long since = p.board.lastSeq();
    p.feed("1C F0 1C");
    EXPECT_TRUE(p.window->timerActivity->enabled());
    const int remaining = p.window->timerActivity->remainingTime();
    QTest::qWait(30);
    p.feed("32"); // enabling a running timer does not restart its period
    EXPECT_LT(p.window->timerActivity->remainingTime(), remaining);
    auto off = p.board.waitForEvent(
        [](const QJsonObject& e) { return e["op"] == "leds" && e["pattern"] == "00"; }, 2000, 0,
        since);
    ASSERT_TRUE(off);
    EXPECT_EQ(p.field("leds", "pattern", since), S({"FF", "FF", "00"}));
}

TEST(Leds, PauseWritesDarkAtOnceAndStopsTheTimers)
{
    PlayerOnBoard p;
    showPlaying(true);
    const long since = p.board.lastSeq();
    showPlaying(false);
    EXPECT_FALSE(p.window->timerPlaying->enabled());
    EXPECT_FALSE(p.window->timerPosition->enabled());
    EXPECT_EQ(p.field("leds", "pattern", since), S{"00"});
}

TEST(KeyThread, KeysFromTheBoardDriveThePlayer)
{
    PlayerOnBoard p;
    ASSERT_EQ(p.board.ctl({"type", "Hoi"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return p.window->typedText() == "HOI"; }));
    ASSERT_EQ(p.board.ctl({"keys", "04"}).exitCode, 0); // F3
    ASSERT_TRUE(waitUntil([&] { return p.window->audioPlayer->currentTrack == 2; }));
    ASSERT_TRUE(waitUntil([&] {
        QJsonArray d = p.board.state()["display"].toArray();
        return d[0] == "track2.mp3" && d[2] == "HOI";
    }));
}

TEST(KeyThread, EmptyAndFullBlocksAreHandedOverWhole)
{
    PlayerOnBoard p;
    ASSERT_EQ(p.board.ctl({"keys", "E1", "14", "77"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return p.keyEvent() == "PAUSE"; }));
    p.window->showKeyEvent("-");
    // A read of 0 bytes is handed over too: the waiting pause is shown again.
    ASSERT_EQ(p.board.ctl({"keys"}).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return p.keyEvent() == "PAUSE"; }));
    // Complete the pause, then 64 bytes in one block: 32 x "1C 32" = "AB" x 32.
    ASSERT_EQ(p.board.ctl({"keys", "E1", "F0", "14", "F0", "77"}).exitCode, 0);
    std::vector<std::string> args{"keys"};
    for (int i = 0; i < 32; ++i) {
        args.push_back("1C");
        args.push_back("32");
    }
    const long since = p.board.lastSeq();
    ASSERT_EQ(p.board.ctl(args).exitCode, 0);
    ASSERT_TRUE(waitUntil([&] { return p.window->typedText().size() == 64; }));
    EXPECT_EQ(p.window->typedText(), QString("AB").repeated(32));
    auto reads = p.board.events("read", 0, since);
    ASSERT_GE(reads.size(), 1u);
    EXPECT_EQ(reads[0]["bytes"].toString().size(), 128);
}

TEST(KeyThread, ClosingWhileAReadIsPendingEndsQuickly)
{
    PlayerOnBoard p;
    ASSERT_TRUE(waitUntil([&] { return p.board.state()["pendingReads"].toInt() == 1; }));
    EXPECT_LT(p.close(), 1500);
    EXPECT_EQ(p.board.state()["openHandles"].toInt(), 0);
}

TEST(KeyThread, ClosingWithoutAWindowHandleStillEndsThePendingRead)
{
    PlayerOnBoard p;
    ASSERT_TRUE(waitUntil([&] { return p.board.state()["pendingReads"].toInt() == 1; }));
    closeBoard(p.window->device);
    p.window->device = INVALID_HANDLE_VALUE;
    EXPECT_LT(p.close(), 1500);
    EXPECT_EQ(p.board.state()["openHandles"].toInt(), 0);
}

TEST(KeyThread, UnpluggedBoardIsRetriedOnceASecondAndClosesQuickly)
{
    PlayerOnBoard p;
    ASSERT_TRUE(waitUntil([&] { return p.board.state()["pendingReads"].toInt() == 1; }));
    const long since = p.board.lastSeq();
    ASSERT_EQ(p.board.ctl({"unplug"}).exitCode, 0);
    QTest::qWait(2500);
    const auto reads = p.board.events("read", 0, since);
    // The pending read fails at the unplug, then about one failed read a second.
    EXPECT_GE(reads.size(), 2u);
    EXPECT_LE(reads.size(), 4u);
    for (const QJsonObject& r : reads)
        EXPECT_FALSE(r["ok"].toBool());
    EXPECT_EQ(p.window->typedText(), "");
    EXPECT_LT(p.close(), 1500);
}

TEST(KeyThread, AbsentBoardEndsTheThreadAtOnce)
{
    SimBoard board;
    Answers answers;
    ProgramFolder folder;
    ASSERT_EQ(board.ctl({"fail", "open", "always"}).exitCode, 0);
    auto window = folder.open();
    EXPECT_EQ(answers.messages, QStringList{"Het openen van de VEK driver is mislukt!"});
    QTest::qWait(100);
    EXPECT_LT(closeTimed(window), 500);
    EXPECT_TRUE(board.events("read").empty());
}
