#include "playertesting.h"
#include "playlistfile.h"
#include "ui_unitplayer.h"

#include "printrows.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <csignal>

#include <gtest/gtest.h>
#include <sys/resource.h>

using playertest::Answers;
using playertest::NoBoard;
using playertest::ProgramFolder;

using testsupport::PrintTo;

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

struct ParseCase {
    const char* name;
    std::string text;
    playlist::Entries entries;
};

class PlaylistParse : public ::testing::TestWithParam<ParseCase> {};

TEST_P(PlaylistParse, SplitsLines)
{
    EXPECT_EQ(playlist::parse(GetParam().text), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaylistParse,
    ::testing::Values(
        ParseCase{"Empty", "", {}}, ParseCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
        ParseCase{"LfOnly", "a\nb\n", {"a", "b"}},
        ParseCase{"NoFinalLineEnd", "a\r\nb", {"a", "b"}},
        ParseCase{"LoneCr", "a\rb\r", {"a", "b"}},
        ParseCase{"MixedEnds", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        ParseCase{"BlankLines", "\r\n\r\nx\r\n", {"", "", "x"}},
        ParseCase{"CrThenLfIsOneEnd", "a\r\n\nb", {"a", "", "b"}},
        ParseCase{"NothingTrimmed", "  a b \t\r\n#EXTM3U\r\n", {"  a b \t", "#EXTM3U"}},
        ParseCase{"EightBit", "caf\xE9\r\n\xC3\xA9t\xC3\xA9\r\n", {"caf\xE9", "\xC3\xA9t\xC3\xA9"}},
        ParseCase{"LoneLineEnd", "\n", {""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlaylistFormat, EveryEntryEndsInCrLfAndEmptyListIsEmpty)
{
    EXPECT_EQ(playlist::format({}), "");
    EXPECT_EQ(playlist::format({"a", "", "#b"}), "a\r\n\r\n#b\r\n");
    const playlist::Entries entries{"", "#x", " y ", "caf\xE9", "\xC3\xA9"};
    EXPECT_EQ(playlist::parse(playlist::format(entries)), entries);
}

TEST(PlaylistFile, WindowLoadsInFileOrderAndSavesOnShutdown)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    writeFile(folder.playlistFile(), "/m/one.mp3\n\n#two\r\ncaf\xE9.mp3");
    {
        auto window = folder.open();
        ASSERT_EQ(window->trackCount(), 4);
        EXPECT_EQ(window->trackPath(0), "/m/one.mp3");
        EXPECT_EQ(window->trackPath(1), "");
        EXPECT_EQ(window->trackPath(2), "#two");
        EXPECT_EQ(window->trackPath(3), "caf\xE9.mp3");
        EXPECT_EQ(window->itemIndex(), -1);
        answers.files.push_back(QString::fromUtf8("/m/\xC3\xA9t\xC3\xA9.mp3"));
        window->buttonTrackAddClick();
    }
    EXPECT_EQ(readAll(folder.playlistFile()),
              QByteArray("/m/one.mp3\r\n\r\n#two\r\ncaf\xE9.mp3\r\n/m/\xC3\xA9t\xC3\xA9.mp3\r\n"));
    EXPECT_EQ(QDir(folder.dir.path()).entryList(QDir::Files),
              QStringList{"player.m3u"}); // no temporary file left behind
}

TEST(PlaylistFile, EmptyListWritesZeroBytesAndMissingFileIsCreated)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    folder.open().reset();
    ASSERT_TRUE(QFile::exists(folder.playlistFile()));
    EXPECT_EQ(readAll(folder.playlistFile()), QByteArray());
    EXPECT_EQ(answers.messages, QStringList{"Het openen van de VEK driver is mislukt!"});
}

TEST(PlaylistFile, FailedSaveTellsOnceAndLeavesTheOldFile)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    const QByteArray old = "/m/old.mp3\r\n";
    writeFile(folder.playlistFile(), old);
    auto window = folder.open();
    for (int i = 0; i < 2000; ++i) {
        answers.files.push_back(QString("/m/a-rather-long-path-for-a-track-%1.mp3").arg(i));
        window->buttonTrackAddClick();
    }
    answers.messages.clear();
    // A file-size limit makes the write fail half-way, as a full disk would.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    window.reset();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(answers.messages.size(), 1);
    EXPECT_TRUE(answers.messages[0].startsWith("Opslaan van de afspeellijst \""));
    EXPECT_TRUE(answers.messages[0].contains(folder.playlistFile()));
    EXPECT_EQ(readAll(folder.playlistFile()), old);
    EXPECT_EQ(QDir(folder.dir.path()).entryList(QDir::Files), QStringList{"player.m3u"});
}

TEST(PlaylistFile, UnreadablePlaylistIsNotOverwritten)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    // A folder in the playlist's place cannot be read as a playlist, not even by root.
    ASSERT_TRUE(QDir().mkdir(folder.playlistFile()));
    QFile inside(folder.playlistFile() + "/keep");
    ASSERT_TRUE(inside.open(QIODevice::WriteOnly));
    inside.close();
    folder.open().reset();
    EXPECT_TRUE(QFileInfo(folder.playlistFile()).isDir());
    EXPECT_TRUE(QFile::exists(folder.playlistFile() + "/keep"));
    ASSERT_EQ(answers.messages.size(), 2);
    EXPECT_TRUE(answers.messages.contains(
        QString("Lezen van de afspeellijst \"%1\" is mislukt!").arg(folder.playlistFile())));
}

TEST(PlaylistFile, SigtermSavesThePlaylist)
{
    ProgramFolder folder;
    QTemporaryDir devices;
    ASSERT_TRUE(QFile::copy(PLAYER_EXECUTABLE, folder.programFile()));
    writeFile(folder.playlistFile(), "/m/one.mp3\n/m/two.mp3");
    QProcess player;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SDL_AUDIODRIVER", "dummy");
    env.insert("EXPBORD_DEVICE_DIR", devices.path());
    player.setProcessEnvironment(env);
    player.start(folder.programFile(), {});
    ASSERT_TRUE(player.waitForStarted());
    // The open-failure box is up now: the signal must close it and the window.
    QThread::msleep(700);
    ::kill(pid_t(player.processId()), SIGTERM);
    ASSERT_TRUE(player.waitForFinished(5000));
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 0);
    EXPECT_EQ(readAll(folder.playlistFile()), QByteArray("/m/one.mp3\r\n/m/two.mp3\r\n"));
}
