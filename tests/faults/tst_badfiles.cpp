// Bad files chosen by the user, through the window on a virtual board: tracks
// that hold no playable audio, and firmware images that cannot be loaded.
#include "faulttesting.h"
#include "statusbar.h"
#include "timer.h"
#include "ui_unitplayer.h"
#include "unitaudioplayer.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

using namespace faulttest;
using S = std::vector<std::string>;

struct BadTrackCase {
    const char* name;
    const char* fixture; // nullptr: the file is not there
};

void PrintTo(const BadTrackCase& c, std::ostream* os)
{
    *os << c.name;
}

class BadTrack : public ::testing::TestWithParam<BadTrackCase> {};

// F1 picks the track: its name is shown on screen and on the board, but it is
// not reported as playing, so no play time and no running light; Play does
// not change that.
TEST_P(BadTrack, IsNamedButNotPlayed)
{
    const BadTrackCase& c = GetParam();
    PlayerRun r;
    const QString file = r.folder.dir.filePath(QString(c.name) + ".mp3");
    if (c.fixture) {
        ASSERT_TRUE(QFile::copy(QString(AUDIO_FIXTURE_DIR "/") + c.fixture, file));
    }
    ASSERT_TRUE(writeAll(r.folder.playlistFile(), QFile::encodeName(file) + "\r\n"));
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const long since = r.board.lastSeq();
    ASSERT_EQ(r.board.ctl({"keys", "05", "F0", "05"}).exitCode, 0);
    const std::string shown = std::string(c.name) + ".mp3";
    ASSERT_TRUE(waitUntil(
        [&] { return r.board.state()["display"].toArray()[0] == QString::fromStdString(shown); }));
    r.window->buttonPlayClick();
    QTest::qWait(250);

    EXPECT_EQ(r.window->ui->statusBarStatus->panelText(0), QString::fromStdString(shown));
    EXPECT_EQ(r.window->audioPlayer->stream, 0u);
    EXPECT_FALSE(r.window->timerPlaying->enabled());
    EXPECT_FALSE(r.window->timerPosition->enabled());
    // Only the key's flash reached the LEDs: on, then off.
    EXPECT_EQ(r.requests("leds", "pattern", since), (S{"FF", "00"}));
    r.window->timerPositionTimer();
    EXPECT_EQ(r.window->ui->statusBarStatus->panelText(1), "--:--");
    EXPECT_TRUE(r.answers.messages.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Files, BadTrack,
                         ::testing::Values(BadTrackCase{"missing", nullptr},
                                           BadTrackCase{"empty", "empty.mp3"},
                                           BadTrackCase{"text", "text.mp3"},
                                           BadTrackCase{"truncated", "truncated_first_frame.mp3"},
                                           BadTrackCase{"random", "random.mp3"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadImageCase {
    const char* name;
    enum Kind { Missing, Folder, Bytes } kind;
    int size;
    bool message; // false: the dialog does not accept the file, as on Cancel
    S requests;   // what reaches the board
    int cpucs;
};

void PrintTo(const BadImageCase& c, std::ostream* os)
{
    *os << c.name;
}

class BadFirmware : public ::testing::TestWithParam<BadImageCase> {};

// The download fails with the message naming the file (a missing file the
// dialog does not accept at all); the window keeps its handle and the board is
// left as the failed request left it.
TEST_P(BadFirmware, NamesTheFileAndKeepsTheBoard)
{
    const BadImageCase& c = GetParam();
    PlayerRun r;
    r.open();
    ASSERT_TRUE(waitUntil([&] { return r.readPending(); }));
    const QString path = r.folder.dir.filePath(QString(c.name) + ".bix");
    if (c.kind == BadImageCase::Folder) {
        ASSERT_TRUE(QDir().mkpath(path + "/inhoud"));
    } else if (c.kind == BadImageCase::Bytes) {
        ASSERT_TRUE(writeAll(path, QByteArray(c.size, '\x5A')));
    }
    r.answers.files.push_back(path);
    const BoardHandle device = r.window->device;
    const long since = r.board.lastSeq();
    r.window->ui->buttonFirmware->click();

    const QString failed =
        "Downloaden van firmware \"" + path + "\" naar het experimenteerbord is mislukt!";
    EXPECT_EQ(r.answers.messages, c.message ? QStringList{failed} : QStringList{});
    EXPECT_EQ(r.answers.dialogs, 1);
    EXPECT_EQ(r.window->device, device);
    S requests;
    for (const QJsonObject& e : r.board.events(0, since))
        requests.push_back(
            e["op"].toString().toStdString() + " " + e["addr"].toString().toStdString() + " " +
            std::to_string(e["length"].toInteger()) + (e["ok"].toBool() ? "" : " failed"));
    EXPECT_EQ(requests, c.requests);
    EXPECT_EQ(r.board.state()["cpucs"].toInt(), c.cpucs);
    // The window goes on with its handle.
    r.window->setTypedText("X");
    EXPECT_EQ(r.board.state()["display"].toArray()[2], "X");
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadFirmware,
    ::testing::Values(BadImageCase{"Missing", BadImageCase::Missing, 0, false, {}, 0},
                      // Not readable as a file, not even by root.
                      BadImageCase{"Folder", BadImageCase::Folder, 0, true, {}, 0},
                      // One byte past the RAM (0x0000..0x1B3F): held in reset, the transfer fails.
                      BadImageCase{"PastTheRam", BadImageCase::Bytes, 0x1B41, true,
                                   S{"anchor 7F92 1", "anchor 0000 6977 failed"}, 1},
                      // Larger than the whole 64 KiB address space.
                      BadImageCase{"PastTheAddressSpace", BadImageCase::Bytes, 0x10001, true,
                                   S{"anchor 7F92 1", "anchor 0000 65537 failed"}, 1},
                      // Larger than any request frame: the transfer fails before it is
                      // sent, and the handle keeps working.
                      BadImageCase{"PastTheFrameLimit", BadImageCase::Bytes, 17 << 20, true,
                                   S{"anchor 7F92 1"}, 1}),
    [](const auto& info) { return std::string(info.param.name); });
