// The hidden firmware command of the player and the jog window, each on a
// virtual board: what reaches the board, the wait with its progress, the
// reopen, and what the window's other handlers do meanwhile.
#include "answers.h"
#include "cursor.h"
#include "message.h"
#include "opendialog.h"
#include "simboard.h"
#include "timer.h"
#include "ui_unitplayer.h"
#include "unitjog.h"
#include "unitplayer.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <deque>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

using testsupport::SimBoard;

namespace {

const QString reopenFailed = "Het opnieuw openen van de EZ-USB driver is mislukt!";
const QString readFailed = "Fout bij het inlezen van besturingselementen.";

QString downloadFailed(const QString& path)
{
    return "Downloaden van firmware \"" + path + "\" naar het experimenteerbord is mislukt!";
}

enum class Kind { Player, Jog };

const char* kindName(Kind kind)
{
    return kind == Kind::Player ? "Player" : "Jog";
}

void PrintTo(Kind kind, std::ostream* os)
{
    *os << kindName(kind);
}

// Bytes that are not all alike, so a shifted or partial image shows in its hash.
QByteArray imageOf(int size)
{
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = char((i * 151 + 7) & 0xFF);
    return image;
}

QString sha256(const QByteArray& bytes)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex().toUpper());
}

// One line per request: op, then what identifies it; "failed" where it failed.
std::string describe(const QJsonObject& e)
{
    QStringList parts{e["op"].toString()};
    if (e["op"] == "anchor") {
        parts << e["addr"].toString();
        if (e.contains("value"))
            parts << e["value"].toString();
        else
            parts << QString::number(e["length"].toInt()) << e["sha256"].toString();
    } else if (e.contains("bytes")) {
        parts << e["bytes"].toString();
    }
    if (!e["ok"].toBool())
        parts << "failed";
    return parts.join(' ').toStdString();
}

long seqOf(const QJsonObject& e)
{
    return long(e["seq"].toInteger());
}

int handleOf(const QJsonObject& e)
{
    return e["handle"].toInt();
}

std::vector<QJsonObject> ofHandle(const std::vector<QJsonObject>& events, int handle)
{
    std::vector<QJsonObject> out;
    for (const QJsonObject& e : events)
        if (handleOf(e) == handle)
            out.push_back(e);
    return out;
}

std::vector<std::string> described(const std::vector<QJsonObject>& events)
{
    std::vector<std::string> out;
    for (const QJsonObject& e : events)
        out.push_back(describe(e));
    return out;
}

using testsupport::Answers;

// What a window looks like at one moment during the command.
struct Snapshot {
    gui::Cursor cursor = gui::Cursor::Default;
    BoardHandle device = 0;
    int progress = -1;
    qsizetype messages = 0;
    QString typed;
    bool pollRunning = false;
    int timerTicks = 0;
};

// A player or jog window on a virtual board of its own.
class WindowOnBoard {
public:
    explicit WindowOnBoard(Kind kind) : kind(kind) {}

    // Opens the window and waits until it is at work on the board.
    void start()
    {
        ASSERT_TRUE(folder.isValid());
        const long before = board.lastSeq();
        if (kind == Kind::Player)
            player = std::make_unique<TformPlayer>(QStringList{folder.filePath("player")});
        else
            jog = std::make_unique<TformJog>(QStringList{});
        ASSERT_NE(device(), INVALID_HANDLE_VALUE);
        // The window opens its handle first; the player's key reader thread follows.
        const auto opens = board.events("open", 0, before);
        ASSERT_EQ(opens.size(), kind == Kind::Player ? 2u : 1u);
        windowHandle = handleOf(opens[0]);
        if (kind == Kind::Player) {
            threadHandle = handleOf(opens[1]);
            QElapsedTimer t;
            t.start();
            while (board.state()["pendingReads"].toInt() != 1 && t.elapsed() < 3000)
                QTest::qWait(10);
            ASSERT_EQ(board.state()["pendingReads"].toInt(), 1) << "the key reader never reads";
        } else {
            ASSERT_TRUE(board.waitForEvent([](const QJsonObject& e) {
                return e["op"] == "bulkread" && e["ok"].toBool();
            })) << "the jog window does not poll";
        }
        ASSERT_TRUE(answers.messages.empty()) << answers.messages.join('\n').toStdString();
    }

    QWidget* widget() const
    {
        return player ? static_cast<QWidget*>(player.get()) : static_cast<QWidget*>(jog.get());
    }
    BoardHandle& device() { return player ? player->device : jog->device; }
    QProgressBar& progressBar() { return player ? *player->ui->progressBar : *jog->progressBar(); }
    void clickFirmware() { (player ? player->ui->buttonFirmware : jog->buttonFirmware())->click(); }

    QString writeImage(const QString& name, const QByteArray& bytes)
    {
        const QString path = folder.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            ADD_FAILURE() << "cannot write " << path.toStdString();
        return QFileInfo(path).absoluteFilePath();
    }

    Snapshot snapshot() const
    {
        Snapshot s;
        s.cursor = gui::screenCursor();
        s.device = player ? player->device : jog->device;
        s.progress = player ? player->ui->progressBar->value() : jog->progressBar()->value();
        s.messages = qsizetype(answers.messages.size());
        if (player)
            s.typed = player->typedText();
        else
            s.pollRunning = jog->timer->enabled();
        return s;
    }

    // Prints the requests since a seq with their time after the first one.
    void printEvents(long since)
    {
        const auto events = board.events(0, since);
        if (events.empty())
            return;
        const qint64 t0 = events.front()["t_us"].toInteger();
        std::cout << "[ events   ] " << kindName(kind) << ", window handle " << windowHandle;
        if (threadHandle)
            std::cout << ", key reader handle " << threadHandle;
        std::cout << "\n";
        for (const QJsonObject& e : events)
            std::cout << "[ events   ]   +" << (e["t_us"].toInteger() - t0) << " us  handle "
                      << handleOf(e) << "  " << describe(e) << "\n";
    }

    const Kind kind;
    SimBoard board;
    Answers answers;
    QTemporaryDir folder;
    std::unique_ptr<TformPlayer> player;
    std::unique_ptr<TformJog> jog;
    int windowHandle = 0;
    int threadHandle = 0; // player only
};

} // namespace

class FirmwareCommand : public ::testing::TestWithParam<Kind> {};

TEST_P(FirmwareCommand, CancelChangesNothing)
{
    WindowOnBoard w(GetParam());
    ASSERT_NO_FATAL_FAILURE(w.start());
    w.progressBar().setValue(37);
    const BoardHandle device = w.device();
    w.answers.files.push_back(std::nullopt);
    const long since = w.board.lastSeq();
    w.clickFirmware();
    EXPECT_EQ(w.answers.dialogs, 1);
    EXPECT_EQ(w.answers.cursorAtDialog, gui::Cursor::Default);
    EXPECT_EQ(gui::screenCursor(), gui::Cursor::Default);
    EXPECT_TRUE(w.answers.messages.empty()) << w.answers.messages.join('\n').toStdString();
    EXPECT_EQ(w.device(), device);
    EXPECT_EQ(w.progressBar().value(), 37);
    EXPECT_EQ(described(w.board.events(0, since)), std::vector<std::string>{});
}

TEST_P(FirmwareCommand, GoodImageIsLoadedAndTheBoardReopened)
{
    WindowOnBoard w(GetParam());
    ASSERT_NO_FATAL_FAILURE(w.start());
    const bool isPlayer = w.kind == Kind::Player;
    const QByteArray image = imageOf(300);
    w.answers.files.push_back(w.writeImage("proef.bix", image));

    // The player as while a track plays: its running light and play time go on.
    int playingTicks = 0;
    if (isPlayer) {
        showPlaying(true);
        QObject::connect(w.player->timerPlaying, &QTimer::timeout, [&] { ++playingTicks; });
    }
    // Looks during the wait; they run only if the command serves window messages.
    std::optional<Snapshot> early, late;
    QTimer::singleShot(1000, w.widget(), [&] {
        early = w.snapshot();
        early->timerTicks = playingTicks;
        if (isPlayer) {
            EXPECT_EQ(w.board.ctl({"keys", "1C"}).exitCode, 0); // 'A' pressed
        }
    });
    QTimer::singleShot(3000, w.widget(), [&] {
        late = w.snapshot();
        late->timerTicks = playingTicks;
    });

    const long since = w.board.lastSeq();
    w.clickFirmware();
    const long after = w.board.lastSeq();
    w.printEvents(since);

    // The window's handle: reset held, image from 0x0000, reset released, closed.
    const auto events = w.board.events(0, since);
    const auto mine = ofHandle(events, w.windowHandle);
    EXPECT_EQ(described(mine),
              (std::vector<std::string>{"anchor 7F92 01",
                                        "anchor 0000 300 " + sha256(image).toStdString(),
                                        "anchor 7F92 00", "close"}));
    ASSERT_FALSE(mine.empty());
    const QJsonObject& close = mine.back();
    ASSERT_EQ(close["op"], "close");

    // One new handle, about five seconds later; nothing of the window's reaches
    // the board in between.
    std::vector<QJsonObject> opens, between;
    for (const QJsonObject& e : events) {
        if (seqOf(e) <= seqOf(close))
            continue;
        if (e["op"] == "open")
            opens.push_back(e);
        else if (opens.empty())
            between.push_back(e);
    }
    ASSERT_EQ(opens.size(), 1u);
    const QJsonObject& reopen = opens[0];
    EXPECT_TRUE(reopen["ok"].toBool());
    EXPECT_NE(handleOf(reopen), w.windowHandle);
    const qint64 gap = reopen["t_us"].toInteger() - close["t_us"].toInteger();
    EXPECT_GE(gap, 4'500'000);
    EXPECT_LE(gap, 8'000'000);
    for (const QJsonObject& e : between) {
        EXPECT_EQ(e["op"], "read") << describe(e);
        EXPECT_EQ(handleOf(e), w.threadHandle) << describe(e);
    }

    EXPECT_EQ(w.progressBar().value(), 99);
    EXPECT_EQ(gui::screenCursor(), gui::Cursor::Default);
    ASSERT_NE(w.device(), INVALID_HANDLE_VALUE);
    const QJsonObject state = w.board.state();
    EXPECT_EQ(state["cpucs"].toInt(), 0);
    EXPECT_EQ(state["image"].toObject()["sha256"].toString(), sha256(image));
    EXPECT_EQ(state["image"].toObject()["bytes"].toInt(), 300);
    EXPECT_EQ(state["openHandles"].toInt(), isPlayer ? 2 : 1);

    ASSERT_TRUE(early) << "no window messages were served during the wait";
    ASSERT_TRUE(late);
    EXPECT_EQ(early->cursor, gui::Cursor::HourGlass);
    EXPECT_EQ(early->device, INVALID_HANDLE_VALUE);
    EXPECT_GT(early->progress, 0);
    EXPECT_LT(early->progress, late->progress);
    EXPECT_LT(late->progress, 99);
    EXPECT_EQ(late->device, INVALID_HANDLE_VALUE);

    if (isPlayer) {
        // The key hand-off and the timers ran during the wait; their board
        // writes failed without a word.
        EXPECT_TRUE(w.answers.messages.empty()) << w.answers.messages.join('\n').toStdString();
        EXPECT_EQ(early->typed, "");
        EXPECT_EQ(late->typed, "A");
        EXPECT_GE(late->timerTicks - early->timerTicks, 10);
        bool keyRead = false;
        for (const QJsonObject& e : between)
            keyRead |= e["op"] == "read" && e["bytes"] == "1C" && e["ok"].toBool();
        EXPECT_TRUE(keyRead) << "the key reader's own handle did not deliver the key";
        // The running light reaches the board again, through the new handle.
        const auto led = w.board.waitForEvent(
            [](const QJsonObject& e) { return e["op"] == "leds"; }, 2000, 0, after);
        ASSERT_TRUE(led);
        EXPECT_EQ(handleOf(*led), handleOf(reopen));
        EXPECT_TRUE((*led)["ok"].toBool());
    } else {
        // The poll that fell into the wait found no board: its message, once,
        // and the polling stopped for good.
        ASSERT_EQ(w.answers.messages, QStringList{readFailed});
        EXPECT_EQ(w.answers.messageCursors[0], gui::Cursor::HourGlass);
        EXPECT_EQ(early->messages, 1);
        EXPECT_FALSE(early->pollRunning);
        QTest::qWait(300);
        EXPECT_FALSE(w.jog->timer->enabled());
        for (const QJsonObject& e : w.board.events(0, seqOf(close)))
            EXPECT_NE(e["op"], "bulkread") << describe(e);
    }
    // The device in the window is the reopened handle.
    const long probe = w.board.lastSeq();
    EXPECT_TRUE(setBoardLeds(w.device(), 0x5A));
    const auto probed = w.board.events("leds", 0, probe);
    ASSERT_FALSE(probed.empty());
    EXPECT_EQ(handleOf(probed.back()), handleOf(reopen));
}

TEST_P(FirmwareCommand, FailedReopenLeavesTheWindowWithoutABoard)
{
    WindowOnBoard w(GetParam());
    ASSERT_NO_FATAL_FAILURE(w.start());
    const bool isPlayer = w.kind == Kind::Player;
    w.answers.files.push_back(w.writeImage("proef.bix", imageOf(200)));
    // Armed once the handle is closed, so only the reopen fails.
    bool armed = false;
    QTimer::singleShot(1000, w.widget(), [&] {
        armed = w.device() == INVALID_HANDLE_VALUE && w.board.ctl({"fail", "open"}).exitCode == 0;
    });
    const long since = w.board.lastSeq();
    w.clickFirmware();
    ASSERT_TRUE(armed);

    EXPECT_EQ(w.device(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(w.answers.messages.count(reopenFailed), 1);
    // The jog window's poll fell into the wait as well.
    const QStringList said =
        isPlayer ? QStringList{reopenFailed} : QStringList{readFailed, reopenFailed};
    EXPECT_EQ(w.answers.messages, said);
    EXPECT_EQ(w.answers.messageCursors.back(), gui::Cursor::HourGlass);
    EXPECT_EQ(gui::screenCursor(), gui::Cursor::Default);
    EXPECT_EQ(w.progressBar().value(), 99);
    const auto opens = w.board.events("open", 0, since);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_FALSE(opens[0]["ok"].toBool());
    EXPECT_EQ(w.board.state()["cpucs"].toInt(), 0);

    // The window runs on without a board: nothing of it reaches the board and
    // nothing more is said.
    const long later = w.board.lastSeq();
    if (isPlayer) {
        showPlaying(true);
        ASSERT_EQ(w.board.ctl({"keys", "1C"}).exitCode, 0);
        QElapsedTimer t;
        t.start();
        while (w.player->typedText() != "A" && t.elapsed() < 3000)
            QTest::qWait(10);
        EXPECT_EQ(w.player->typedText(), "A");
    }
    QTest::qWait(300);
    EXPECT_EQ(w.answers.messages.size(), isPlayer ? 1 : 2);
    for (const QJsonObject& e : w.board.events(0, later)) {
        EXPECT_EQ(e["op"], "read") << describe(e);
        EXPECT_EQ(handleOf(e), w.threadHandle) << describe(e);
    }
    EXPECT_EQ(w.board.state()["openHandles"].toInt(), isPlayer ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Windows, FirmwareCommand, ::testing::Values(Kind::Player, Kind::Jog),
                         [](const auto& info) { return std::string(kindName(info.param)); });

// A download that fails: the message names the file, the window keeps its
// handle, there is no wait and the progress bar is not touched.
struct FailCase {
    const char* name;
    const char* fileName;
    int imageSize;
    std::vector<std::string> fault;    // armed before the click
    std::vector<std::string> requests; // what reaches the board, in order
    int cpucs;
};

void PrintTo(const FailCase& c, std::ostream* os)
{
    *os << c.name;
}

class FailedDownload : public ::testing::TestWithParam<std::tuple<Kind, FailCase>> {};

TEST_P(FailedDownload, NamesTheFileAndKeepsTheHandle)
{
    const auto& [kind, c] = GetParam();
    WindowOnBoard w(kind);
    ASSERT_NO_FATAL_FAILURE(w.start());
    const QString path = w.writeImage(c.fileName, imageOf(c.imageSize));
    w.answers.files.push_back(path);
    if (!c.fault.empty()) {
        ASSERT_EQ(w.board.ctl(c.fault).exitCode, 0);
    }
    w.progressBar().setValue(37);
    const BoardHandle device = w.device();
    bool served = false;
    QTimer::singleShot(0, w.widget(), [&] { served = true; });

    const long since = w.board.lastSeq();
    QElapsedTimer t;
    t.start();
    w.clickFirmware();
    const qint64 took = t.elapsed();

    EXPECT_FALSE(served) << "window messages were served: the command waited";
    EXPECT_LT(took, 2000);
    ASSERT_EQ(w.answers.messages, QStringList{downloadFailed(path)});
    EXPECT_EQ(w.answers.messageCursors[0], gui::Cursor::HourGlass);
    EXPECT_EQ(gui::screenCursor(), gui::Cursor::Default);
    EXPECT_EQ(w.progressBar().value(), 37);
    EXPECT_EQ(w.device(), device);
    EXPECT_EQ(described(w.board.events(0, since)), c.requests);
    EXPECT_EQ(w.board.state()["cpucs"].toInt(), c.cpucs);
    // The handle still works.
    EXPECT_TRUE(setBoardLeds(w.device(), 0x5A));
    const auto leds = w.board.events("leds", 0, since);
    ASSERT_EQ(leds.size(), 1u);
    EXPECT_EQ(handleOf(leds[0]), w.windowHandle);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedDownload,
    ::testing::Combine(::testing::Values(Kind::Player, Kind::Jog),
                       ::testing::Values(FailCase{"EmptyFile", "leeg bestand.bix", 0, {}, {}, 0},
                                         FailCase{"TransferFails",
                                                  "beeld \xC3\xA9\xC3\xA9n.bix",
                                                  300,
                                                  {"fail", "anchor", "--after", "1"},
                                                  {"anchor 7F92 01",
                                                   "anchor 0000 300 " +
                                                       sha256(imageOf(300)).toStdString() +
                                                       " failed"},
                                                  1})),
    [](const auto& info) {
        return std::string(kindName(std::get<0>(info.param))) + std::get<1>(info.param).name;
    });
