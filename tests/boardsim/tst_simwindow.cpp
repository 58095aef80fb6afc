// The virtual board's window over a served board in this process: what the
// programs write shows up in it, and what is done in it reaches the programs
// through the board library. Widget state is read, not pixels.
#include "boardserver.h"
#include "boardtab.h"
#include "ctlcommands.h"
#include "daemon.h"
#include "eventlogpanel.h"
#include "jogpanel.h"
#include "keyboardpanel.h"
#include "playerpanel.h"
#include "shape.h"
#include "simwindow.h"
#include "statepanel.h"
#include "unitexpbordlib.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDial>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>
#include <linux/input-event-codes.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <future>

using namespace boardsim;
using namespace std::chrono_literals;

namespace {

using Bytes = std::vector<uint8_t>;

struct Report {
    uint8_t keys[3] = {};
    int8_t shuttle = 0;
    uint8_t jogLeft = 0, jogRight = 0, key6 = 0, key7 = 0;
};

class SimWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ::setenv("EXPBORD_DEVICE_DIR", qPrintable(folder.path()), 1);
        server = std::make_unique<BoardServer>(folder.path().toStdString());
        std::string error;
        ASSERT_TRUE(server->start({0}, error)) << error;
        board = server->board(0);
        window = std::make_unique<SimWindow>(std::vector<std::pair<int, BoardModel*>>{{0, board}},
                                             folder.path());
        window->show();
        tab = window->boardTab(0);
        ASSERT_NE(tab, nullptr);
        handle = onClient([] { return openBoard("\\\\.\\ezusb-0"); });
        ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    }

    void TearDown() override
    {
        if (handle != INVALID_HANDLE_VALUE)
            onClient([this] { return closeBoard(handle); });
        window.reset();
        server.reset();
        ::unsetenv("EXPBORD_DEVICE_DIR");
    }

    // Board library calls block on the socket that this thread serves, so
    // they run on a thread of their own while this one turns the event loop.
    template <typename F> std::invoke_result_t<F> onClient(F f)
    {
        auto result = std::async(std::launch::async, f);
        auto deadline = std::chrono::steady_clock::now() + 5s;
        while (result.wait_for(0ms) != std::future_status::ready) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (board->plugged() && std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "board call did not return";
                // A key read waits for keys; unplugging the board ends it.
                board->unplug();
            }
        }
        settle();
        return result.get();
    }

    // Lets the window redraw after the model changed.
    static void settle()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    Report readControls()
    {
        Report r;
        bool ok = onClient([&] {
            return readBoardControls(handle, r.keys, r.shuttle, r.jogLeft, r.jogRight, r.key6,
                                     r.key7);
        });
        EXPECT_TRUE(ok);
        return r;
    }

    // Reads the key blocks queued so far, one read per block.
    std::vector<Bytes> readKeyBlocks()
    {
        std::vector<Bytes> blocks;
        size_t queued = board->queuedKeyBlocks();
        for (size_t i = 0; i < queued; ++i) {
            uint8_t buffer[64];
            uint32_t count = 0;
            EXPECT_TRUE(onClient([&] { return readBoardKeys(handle, buffer, count); }));
            blocks.emplace_back(buffer, buffer + count);
        }
        return blocks;
    }

    PlayerPanel* player() const { return tab->playerPanel(); }
    JogPanel* jog() const { return tab->jogPanel(); }

    QTemporaryDir folder;
    std::unique_ptr<BoardServer> server;
    BoardModel* board = nullptr;
    std::unique_ptr<SimWindow> window;
    BoardTab* tab = nullptr;
    BoardHandle handle = INVALID_HANDLE_VALUE;
};

bool lit(const gui::Shape* led, uint32_t onColor)
{
    return led->brushColor() == onColor;
}

TEST_F(SimWindowTest, ShowsTheLedsAndDisplayTheProgramWrote)
{
    EXPECT_TRUE(onClient([this] { return setBoardLeds(handle, 0xA1); }));
    EXPECT_TRUE(onClient([this] { return writeBoardText(handle, "0Trein.mp3"); }));
    EXPECT_TRUE(onClient([this] { return writeBoardText(handle, "103:07"); }));
    EXPECT_TRUE(onClient([this] { return writeBoardText(handle, "2HALLO\t\xE9"); }));

    for (int bit = 0; bit < 8; ++bit)
        EXPECT_EQ(lit(player()->led(bit), gui::clRed), ((0xA1 >> bit) & 1) != 0) << "bit " << bit;
    // Bit 7 is the leftmost LED.
    EXPECT_LT(player()->led(7)->x(), player()->led(6)->x());
    EXPECT_LT(player()->led(1)->x(), player()->led(0)->x());
    EXPECT_EQ(player()->field(0)->text(), "Trein.mp3");
    EXPECT_EQ(player()->field(1)->text(), "03:07");
    // Tab as its control picture, 0xE9 as Latin-1.
    EXPECT_EQ(player()->field(2)->text(), QString("HALLO") + QChar(0x2409) + QChar(0xE9));

    // A later text replaces only its own field.
    EXPECT_TRUE(onClient([this] { return writeBoardText(handle, "2"); }));
    EXPECT_EQ(player()->field(2)->text(), "");
    EXPECT_EQ(player()->field(0)->text(), "Trein.mp3");
}

TEST_F(SimWindowTest, ShowsTheJogLedsTheProgramWrote)
{
    // LED byte 0x81, flag byte 0x05.
    EXPECT_TRUE(onClient([this] { return writeBoardLeds(handle, 0x81, 0x05); }));
    for (int i = 24; i < 32; ++i)
        EXPECT_EQ(lit(jog()->led(i), gui::clLime), i == 24 || i == 31) << "LED " << i;
    // Flag bits 0x01 and 0x04 are the LEDs on keys 18 and 20.
    for (int i = 16; i < 24; ++i)
        EXPECT_EQ(lit(jog()->led(i), gui::clRed), i == 18 || i == 20) << "key LED " << i;
    EXPECT_TRUE(jog()->ledBytesLabel()->text().contains("81"));
    EXPECT_TRUE(jog()->ledBytesLabel()->text().contains("05"));

    EXPECT_TRUE(onClient([this] { return writeBoardLeds(handle, 0x00, 0xC0); }));
    for (int i = 16; i < 24; ++i)
        EXPECT_EQ(lit(jog()->led(i), gui::clRed), i == 16 || i == 17) << "key LED " << i;
    EXPECT_FALSE(lit(jog()->led(24), gui::clLime));
}

TEST_F(SimWindowTest, ShowsFirmwareStateAndThePlug)
{
    StatePanel* state = tab->statePanel();
    EXPECT_EQ(state->imageLabel()->text(), "geen geladen");

    QByteArray image(300, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i * 7);
    QString path = folder.filePath("image.bix");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(image);
    }
    EXPECT_TRUE(onClient([&] { return setBoardReset(handle, 1); }));
    EXPECT_EQ(state->cpucsLabel()->text(), "01 - 8051 in reset gehouden");
    EXPECT_TRUE(onClient([&] { return downloadFirmware(handle, qPrintable(path)); }));
    EXPECT_EQ(state->cpucsLabel()->text(), "00 - 8051 loopt");
    QString sha = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex().toUpper();
    QString shown = state->imageLabel()->text().remove(' ').remove('\n');
    EXPECT_TRUE(shown.startsWith("300bytes,draait")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("sha256" + sha)) << shown.toStdString();
    EXPECT_TRUE(state->connectionsLabel()->text().startsWith("1 open"));

    // The control interface and the window work on the same board.
    EXPECT_TRUE(state->plugButton()->isChecked());
    EXPECT_EQ(runCtlCommand(*board, {"unplug"}).exitCode, CtlOk);
    settle();
    EXPECT_FALSE(state->plugButton()->isChecked());
    EXPECT_TRUE(state->connectionsLabel()->text().startsWith("0 open"));
    QTest::mouseClick(state->plugButton(), Qt::LeftButton);
    settle();
    EXPECT_TRUE(board->plugged());
    QTest::mouseClick(state->plugButton(), Qt::LeftButton);
    settle();
    EXPECT_FALSE(board->plugged());
    // The old handle named the board that went away.
    EXPECT_FALSE(onClient([this] { return setBoardLeds(handle, 1); }));
}

struct JogKeyCase {
    int indicator;
    int reportByte; // 0..2 key bytes, 6, 7
    uint8_t mask;
};

void PrintTo(const JogKeyCase& c, std::ostream* os)
{
    *os << "indicator " << c.indicator;
}

class SimWindowJogKeys : public SimWindowTest, public testing::WithParamInterface<JogKeyCase> {};

uint8_t reportByte(const Report& r, int index)
{
    switch (index) {
    case 0:
    case 1:
    case 2:
        return r.keys[index];
    case 6:
        return r.key6;
    case 7:
        return r.key7;
    }
    return 0;
}

TEST_P(SimWindowJogKeys, ClickingAKeySetsItsBitInTheNextReport)
{
    const JogKeyCase& c = GetParam();
    QPushButton* key = jog()->keyButton(c.indicator);
    ASSERT_NE(key, nullptr);
    QTest::mouseClick(key, Qt::LeftButton);
    settle();
    EXPECT_TRUE(key->isChecked());
    Report r = readControls();
    for (int b : {0, 1, 2, 6, 7})
        EXPECT_EQ(reportByte(r, b), b == c.reportByte ? c.mask : 0) << "byte " << b;
    EXPECT_EQ(r.shuttle, 0);

    QTest::mouseClick(key, Qt::LeftButton);
    settle();
    EXPECT_FALSE(key->isChecked());
    EXPECT_EQ(reportByte(readControls(), c.reportByte), 0);
}

// The jog program's indicator table: which report bit each position shows.
INSTANTIATE_TEST_SUITE_P(Indicators, SimWindowJogKeys,
                         testing::Values(JogKeyCase{0, 0, 0x01}, JogKeyCase{4, 2, 0x80},
                                         JogKeyCase{11, 2, 0x08}, JogKeyCase{12, 1, 0x02},
                                         JogKeyCase{13, 1, 0x08}, JogKeyCase{15, 1, 0x01},
                                         JogKeyCase{16, 0, 0x80}, JogKeyCase{18, 0, 0x20},
                                         JogKeyCase{23, 1, 0x10}, JogKeyCase{32, 6, 0x01},
                                         JogKeyCase{39, 6, 0x80}, JogKeyCase{40, 7, 0x02},
                                         JogKeyCase{41, 7, 0x01}));

TEST_F(SimWindowTest, JogKeysAreLaidOutLikeTheJogWindow)
{
    struct Place {
        int indicator, left, top;
    };
    for (Place p : {Place{0, 10, 155}, Place{7, 145, 210}, Place{12, 500, 100}, Place{15, 500, 265},
                    Place{17, 55, 100}, Place{18, 210, 10}, Place{23, 435, 10}, Place{32, 10, 370},
                    Place{41, 500, 370}}) {
        QPushButton* key = jog()->keyButton(p.indicator);
        EXPECT_EQ(key->geometry(), QRect(p.left, p.top, 40, 50)) << "indicator " << p.indicator;
    }
    for (int i = 24; i < 32; ++i)
        EXPECT_EQ(jog()->led(i)->geometry(), QRect(25 + 45 * (i - 24), 350, 10, 10));
    int keys = 0;
    for (int i = 0; i < 42; ++i)
        keys += jog()->keyButton(i) != nullptr;
    EXPECT_EQ(keys, 34);
}

TEST_F(SimWindowTest, ReportSetByControlCommandShowsOnTheKeysAndShuttle)
{
    EXPECT_EQ(runCtlCommand(*board, {"controls", "05", "00", "00", "F5", "00", "00", "00", "02"})
                  .exitCode,
              CtlOk);
    settle();
    for (int i : {0, 1, 2, 3, 40, 41})
        EXPECT_EQ(jog()->keyButton(i)->isChecked(), i == 0 || i == 2 || i == 40) << i;
    EXPECT_EQ(jog()->shuttle()->value(), -11);
}

TEST_F(SimWindowTest, ShuttleFollowsTheHandAndSpringsBackToZero)
{
    QSlider* shuttle = jog()->shuttle();
    shuttle->setSliderDown(true);
    shuttle->setSliderPosition(-40);
    settle();
    EXPECT_EQ(readControls().shuttle, -40);
    shuttle->setSliderPosition(127);
    settle();
    EXPECT_EQ(readControls().shuttle, 127);
    shuttle->setSliderDown(false);
    settle();
    EXPECT_EQ(readControls().shuttle, 0);
    EXPECT_EQ(shuttle->value(), 0);
}

TEST_F(SimWindowTest, JogWheelCountsStepsUntilTheNextBulkRead)
{
    QDial* wheel = jog()->jogWheel();
    for (int v = 1; v <= 5; ++v)
        wheel->setValue(v); // five steps to the right
    wheel->setValue(3);     // two back to the left
    settle();
    EXPECT_EQ(jog()->rightCountLabel()->text(), "Rechts: 5");
    EXPECT_EQ(jog()->leftCountLabel()->text(), "Links: 2");

    Report r = readControls();
    EXPECT_EQ(r.jogLeft, 2);
    EXPECT_EQ(r.jogRight, 5);
    EXPECT_EQ(jog()->rightCountLabel()->text(), "Rechts: 0");
    r = readControls();
    EXPECT_EQ(r.jogLeft, 0);
    EXPECT_EQ(r.jogRight, 0);

    // Across the top of the dial: 3 -> 0 -> 23 is left, 23 -> 1 is two steps right.
    wheel->setValue(0);
    wheel->setValue(JogPanel::wheelSteps - 1);
    wheel->setValue(1);
    r = readControls();
    EXPECT_EQ(r.jogLeft, 4);
    EXPECT_EQ(r.jogRight, 2);
}

TEST_F(SimWindowTest, JogCountsStopAt255)
{
    QDial* wheel = jog()->jogWheel();
    for (int i = 1; i <= 300; ++i)
        wheel->setValue(i % JogPanel::wheelSteps);
    EXPECT_EQ(readControls().jogRight, 255);
    EXPECT_EQ(readControls().jogRight, 0);
}

// A host key event as xcb delivers it: the X keycode is the Linux input code + 8.
void sendHostKey(QWidget* target, QEvent::Type type, int qtKey, unsigned evdev,
                 bool autoRepeat = false)
{
    QKeyEvent event(type, qtKey, Qt::NoModifier, evdev + 8, 0, 0, QString(), autoRepeat);
    QCoreApplication::sendEvent(target, &event);
}

TEST_F(SimWindowTest, HostKeysAreQueuedAsScanCodes)
{
    // Sent to a widget inside the window; the window takes it before the widget.
    QWidget* inside = jog()->keyButton(0);
    sendHostKey(inside, QEvent::KeyPress, Qt::Key_A, KEY_A);
    sendHostKey(inside, QEvent::KeyRelease, Qt::Key_A, KEY_A, true);
    sendHostKey(inside, QEvent::KeyPress, Qt::Key_A, KEY_A, true);
    sendHostKey(inside, QEvent::KeyRelease, Qt::Key_A, KEY_A);
    sendHostKey(window.get(), QEvent::KeyPress, Qt::Key_PageDown, KEY_PAGEDOWN);
    sendHostKey(window.get(), QEvent::KeyRelease, Qt::Key_PageDown, KEY_PAGEDOWN);
    sendHostKey(window.get(), QEvent::KeyPress, Qt::Key_Pause, KEY_PAUSE);
    sendHostKey(window.get(), QEvent::KeyRelease, Qt::Key_Pause, KEY_PAUSE);

    EXPECT_EQ(readKeyBlocks(),
              (std::vector<Bytes>{{0x1C},
                                  {0x1C},
                                  {0xF0, 0x1C},
                                  {0xE0, 0x7A},
                                  {0xE0, 0xF0, 0x7A},
                                  {0xE1, 0x14, 0x77, 0xE1, 0xF0, 0x14, 0xF0, 0x77}}));
    EXPECT_FALSE(jog()->keyButton(0)->isChecked()); // the key did not reach the button
    EXPECT_TRUE(tab->keyboardPanel()->lastKeyLabel()->text().contains("Pause"));
}

TEST_F(SimWindowTest, KeysStillHeldAreReleasedWhenTheWindowLosesFocus)
{
    sendHostKey(window.get(), QEvent::KeyPress, Qt::Key_Shift, KEY_RIGHTSHIFT);
    sendHostKey(window.get(), QEvent::KeyPress, Qt::Key_Home, KEY_HOME);
    sendHostKey(window.get(), QEvent::KeyRelease, Qt::Key_Home, KEY_HOME);
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(window.get(), &deactivate);
    EXPECT_EQ(readKeyBlocks(),
              (std::vector<Bytes>{{0x59}, {0xE0, 0x6C}, {0xE0, 0xF0, 0x6C}, {0xF0, 0x59}}));
}

TEST_F(SimWindowTest, OnScreenKeysSendMakeRepeatAndBreak)
{
    KeyboardPanel* keys = tab->keyboardPanel();
    for (const char* name : {"F1", "F12", "Home", "End", "PgUp", "PgDn", "Enter (num)"})
        ASSERT_NE(keys->screenKey(name), nullptr) << name;

    QTest::mouseClick(keys->screenKey("F3"), Qt::LeftButton);
    QTest::mouseClick(keys->screenKey("Enter (num)"), Qt::LeftButton);
    EXPECT_EQ(readKeyBlocks(),
              (std::vector<Bytes>{{0x04}, {0xF0, 0x04}, {0xE0, 0x5A}, {0xE0, 0xF0, 0x5A}}));

    // Held past the typematic delay, the key repeats its make code.
    QPushButton* pageDown = keys->screenKey("PgDn");
    QTest::mousePress(pageDown, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([this] { return board->queuedKeyBlocks() >= 2; }, 5000));
    QTest::mouseRelease(pageDown, Qt::LeftButton);
    std::vector<Bytes> blocks = readKeyBlocks();
    ASSERT_GE(blocks.size(), 3u);
    for (size_t i = 0; i + 1 < blocks.size(); ++i)
        EXPECT_EQ(blocks[i], (Bytes{0xE0, 0x7A})) << "block " << i;
    EXPECT_EQ(blocks.back(), (Bytes{0xE0, 0xF0, 0x7A}));
}

TEST_F(SimWindowTest, EventLogShowsNewestLastAndFiltersPerOp)
{
    readControls();
    EXPECT_TRUE(onClient([this] { return writeBoardLeds(handle, 0x0F, 0xA0); }));
    EXPECT_TRUE(onClient([this] { return setBoardLeds(handle, 0x80); }));
    EventLogPanel* log = tab->eventLogPanel();
    QStringList lines = log->view()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 4); // open, bulkread, bulkwrite, leds
    EXPECT_TRUE(lines[0].contains(" open "));
    EXPECT_TRUE(lines[1].contains("bulkread") && lines[1].contains("pipe 0: 00 00 00 00"));
    EXPECT_TRUE(lines[2].contains("bulkwrite") && lines[2].contains("pipe 1: A0 0F"));
    EXPECT_TRUE(lines[3].contains("leds") && lines[3].contains("10000000"));

    log->filter(Op::BulkRead)->setChecked(false);
    log->filter(Op::BulkWrite)->setChecked(false);
    lines = log->view()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].contains("leds"));
    // Filtered kinds stay out of new lines too.
    readControls();
    EXPECT_TRUE(onClient([this] { return writeBoardText(handle, "1 00:01"); }));
    lines = log->view()->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[2].contains("write") && lines[2].contains("\"1 00:01\""));

    log->filter(Op::BulkRead)->setChecked(true);
    lines = log->view()->toPlainText().split('\n');
    EXPECT_EQ(lines.size(), 5);
}

// ---------------------------------------------------------------- the program

struct DisplayCase {
    const char* name;
    const char* platform; // QT_QPA_PLATFORM, null for unset
    const char* display;  // DISPLAY
    const char* wayland;  // WAYLAND_DISPLAY
    bool available;
};

class DisplayChoice : public testing::TestWithParam<DisplayCase> {
protected:
    void SetUp() override
    {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            if (const char* value = std::getenv(name))
                saved_.emplace_back(name, value);
    }
    void TearDown() override
    {
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            ::unsetenv(name);
        for (const auto& [name, value] : saved_)
            ::setenv(name.c_str(), value.c_str(), 1);
    }
    static void put(const char* name, const char* value)
    {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

TEST_P(DisplayChoice, WindowOnlyWhereQtCanShowOne)
{
    const DisplayCase& c = GetParam();
    put("QT_QPA_PLATFORM", c.platform);
    put("DISPLAY", c.display);
    put("WAYLAND_DISPLAY", c.wayland);
    EXPECT_EQ(displayAvailable(), c.available);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, DisplayChoice,
    testing::Values(DisplayCase{"nothing", nullptr, nullptr, nullptr, false},
                    DisplayCase{"x11", nullptr, ":0", nullptr, true},
                    DisplayCase{"wayland", nullptr, nullptr, "wayland-0", true},
                    DisplayCase{"emptyDisplay", nullptr, "", nullptr, false},
                    DisplayCase{"offscreen", "offscreen", nullptr, nullptr, true},
                    DisplayCase{"xcbWithoutDisplay", "xcb", nullptr, nullptr, false},
                    DisplayCase{"xcbWithOptions", "xcb:nograb", ":1", nullptr, true},
                    DisplayCase{"waylandThenXcb", "wayland;xcb", ":0", nullptr, true},
                    DisplayCase{"waylandWithoutSocket", "wayland", ":0", nullptr, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayChoice, HeadlessAndHelpMakeNoWindow)
{
    EXPECT_TRUE(windowRequested({}));
    EXPECT_TRUE(windowRequested({"--boards", "0,1"}));
    EXPECT_FALSE(windowRequested({"--dir", "/tmp/x", "--headless"}));
    EXPECT_FALSE(windowRequested({"--help"}));
}

// expbord-sim as a process, with the environment it is given.
class SimProgram : public testing::Test {
protected:
    void start(const QProcessEnvironment& env)
    {
        process.setProcessEnvironment(env);
        process.start(EXPBORD_SIM_PATH, {"--dir", folder.filePath("dev")});
        ASSERT_TRUE(process.waitForStarted());
        // Serving once a control command gets an answer.
        QProcess ctl;
        for (int i = 0; i < 200; ++i) {
            ctl.start(EXPBORD_SIM_PATH, {"ctl", "--dir", folder.filePath("dev"), "state"});
            ctl.waitForFinished();
            if (ctl.exitStatus() == QProcess::NormalExit && ctl.exitCode() == 0)
                return;
            QTest::qWait(25);
        }
        FAIL() << "expbord-sim did not serve: " << process.readAllStandardError().toStdString();
    }
    void stop()
    {
        process.terminate();
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        EXPECT_FALSE(QFile::exists(folder.filePath("dev/ezusb-0")));
    }
    void TearDown() override
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
        }
    }

    QTemporaryDir folder;
    QProcess process;
};

TEST_F(SimProgram, OffscreenPlatformGivesTheWindowAndItsScreenshot)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("EXPBORD_SCREENSHOT_DIR", folder.filePath("shots"));
    start(env);
    // SIGUSR1 saves the window's picture, which only a window can do.
    ::kill(pid_t(process.processId()), SIGUSR1);
    QString picture = folder.filePath("shots/expbord-sim.png");
    QImage image;
    // Until the file is written whole it does not load.
    EXPECT_TRUE(QTest::qWaitFor([&] { return image.load(picture); }, 5000));
    EXPECT_GT(image.width(), 800);
    EXPECT_GT(image.height(), 500);
    stop();
}

TEST_F(SimProgram, WithoutADisplayItServesHeadless)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(name);
    start(env);
    stop();
    EXPECT_TRUE(process.readAllStandardError().contains("geen beeldscherm"));
}

} // namespace
