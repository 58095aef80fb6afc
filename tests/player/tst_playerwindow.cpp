#include "playertesting.h"
#include "statusbar.h"
#include "timer.h"
#include "ui_unitplayer.h"

#include "printrows.h"
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

using playertest::Answers;
using playertest::NoBoard;
using playertest::ProgramFolder;

using testsupport::PrintTo;

namespace {

struct LayoutCase {
    const char* name;
    const char* className;
    QRect geometry;
    const char* caption;
};

QString captionOf(QWidget* w)
{
    if (auto* b = qobject_cast<QPushButton*>(w))
        return b->text();
    if (auto* g = qobject_cast<QGroupBox*>(w))
        return g->title();
    if (auto* l = qobject_cast<QLabel*>(w))
        return l->text();
    return {};
}

} // namespace

TEST(PlayerWindow, LayoutMatchesTheDesign)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    auto window = folder.open();
    const LayoutCase cases[] = {
        {"labelKeys", "QLabel", {8, 200, 345, 57}, ""},
        {"groupBoxPlaylist", "QGroupBox", {8, 8, 345, 185}, "Afspeellijst"},
        {"listBoxPlaylist", "QListWidget", {8, 16, 329, 161}, ""},
        {"buttonTrackAdd", "QPushButton", {368, 8, 105, 25}, "&Toevoegen"},
        {"buttonTrackRemove", "QPushButton", {368, 40, 105, 25}, "&Verwijderen"},
        {"buttonTrackMoveUp", "QPushButton", {368, 72, 105, 25}, "Om&hoog"},
        {"buttonTrackMoveDown", "QPushButton", {368, 104, 105, 25}, "Om&laag"},
        {"progressBar", "QProgressBar", {0, 265, 482, 17}, ""},
        {"buttonPlay", "QPushButton", {368, 136, 105, 25}, "Afspelen"},
        {"statusBarStatus", "gui::StatusBar", {0, 282, 482, 20}, ""},
        {"buttonFirmware", "QPushButton", {368, 232, 105, 25}, "Firmware download"},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        auto* w = window->findChild<QWidget*>(c.name);
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(w->inherits(c.className));
        EXPECT_EQ(w->geometry(), c.geometry);
        EXPECT_EQ(captionOf(w), QString::fromUtf8(c.caption));
    }
    EXPECT_EQ(window->ui->listBoxPlaylist->parentWidget(), window->ui->groupBoxPlaylist);
    EXPECT_EQ(window->ui->listBoxPlaylist->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_TRUE(window->ui->labelKeys->wordWrap());
    EXPECT_EQ(window->ui->progressBar->minimum(), 0);
    EXPECT_EQ(window->ui->progressBar->maximum(), 100);

    auto* status = window->ui->statusBarStatus;
    ASSERT_EQ(status->panelCount(), 3);
    EXPECT_EQ(status->panelWidth(0), 300);
    EXPECT_EQ(status->panelWidth(1), 60);
    EXPECT_EQ(status->panelWidth(2), 50);

    // Tab order: list, Add, Remove, Up, Down, Play, Firmware.
    QWidget* order[] = {window->ui->listBoxPlaylist,     window->ui->buttonTrackAdd,
                        window->ui->buttonTrackRemove,   window->ui->buttonTrackMoveUp,
                        window->ui->buttonTrackMoveDown, window->ui->buttonPlay,
                        window->ui->buttonFirmware};
    std::vector<QWidget*> chain;
    for (QWidget* w = order[0]; chain.size() < std::size(order); w = w->nextInFocusChain())
        if (std::find(std::begin(order), std::end(order), w) != std::end(order))
            chain.push_back(w);
    EXPECT_TRUE(std::equal(chain.begin(), chain.end(), std::begin(order)));

    EXPECT_EQ(window->timerPosition->interval(), 900);
    EXPECT_EQ(window->timerPlaying->interval(), 100);
    EXPECT_EQ(window->timerActivity->interval(), 100);
    EXPECT_FALSE(window->timerPosition->enabled());
    EXPECT_FALSE(window->timerPlaying->enabled());
    EXPECT_FALSE(window->timerActivity->enabled());
    EXPECT_EQ(window->openDialogToevoegen->defaultExt, "mp3");
    EXPECT_EQ(window->openDialogToevoegen->filter, "MP3 bestanden (*.mp3)|*.mp3");
    EXPECT_FALSE(window->openDialogToevoegen->options & gui::OpenDialog::FileMustExist);
    EXPECT_EQ(window->openDialogFirmware->defaultExt, "bix");
    EXPECT_EQ(window->openDialogFirmware->filter, "Binaire firmware bestanden (*.bix)|*.bix");
    EXPECT_TRUE(window->openDialogFirmware->options & gui::OpenDialog::FileMustExist);
    EXPECT_TRUE(window->openDialogFirmware->options & gui::OpenDialog::PathMustExist);

    window->show();
    EXPECT_FALSE(window->ui->buttonFirmware->isVisible());
    EXPECT_EQ(window->size(), QSize(482, 302));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
}

struct ArgumentCase {
    QStringList arguments;
    const char* devicePath;
};
void PrintTo(const ArgumentCase& c, std::ostream* os)
{
    *os << c.devicePath;
}

class DevicePathFromArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(DevicePathFromArguments, BuildsPathAndCaption)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    auto window = folder.open(GetParam().arguments);
    EXPECT_EQ(window->devicePath, GetParam().devicePath);
    EXPECT_EQ(window->windowTitle(), QString("ORLU: Orlu Keyboard Jukebox (%1)")
                                         .arg(QString::fromStdString(GetParam().devicePath)));
}

INSTANTIATE_TEST_SUITE_P(Cases, DevicePathFromArguments,
                         ::testing::Values(ArgumentCase{{}, "\\\\.\\ezusb-0"},
                                           ArgumentCase{{""}, "\\\\.\\ezusb-0"},
                                           ArgumentCase{{"2"}, "\\\\.\\ezusb-2"},
                                           ArgumentCase{{"abc"}, "\\\\.\\ezusb-abc"},
                                           ArgumentCase{{"3", "7", "x"}, "\\\\.\\ezusb-3"}));

TEST(PlayerWindow, AbsentBoardGivesOneMessageAndAWorkingWindow)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    auto window = folder.open();
    EXPECT_EQ(answers.messages, QStringList{"Het openen van de VEK driver is mislukt!"});
    EXPECT_EQ(window->device, INVALID_HANDLE_VALUE);
    answers.files.push_back(QString("/music/a.mp3"));
    window->ui->buttonTrackAdd->click();
    EXPECT_EQ(window->trackCount(), 1);
}

// The four buttons: (entries, selection, button) -> (entries, selection).
struct EditCase {
    const char* name;
    std::vector<std::string> entries;
    int selection;
    void (TformPlayer::*button)();
    std::vector<std::string> expected;
    int expectedSelection;
};

class PlaylistButtons : public ::testing::TestWithParam<EditCase> {};

TEST_P(PlaylistButtons, EditAsDesigned)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    {
        playertest::ProgramFolder* f = &folder;
        QFile file(f->playlistFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        for (const std::string& e : GetParam().entries)
            file.write(QByteArray::fromStdString(e + "\r\n"));
    }
    auto window = folder.open();
    ASSERT_EQ(window->trackCount(), int(GetParam().entries.size()));
    EXPECT_EQ(window->itemIndex(), -1);
    window->setItemIndex(GetParam().selection);
    (window.get()->*GetParam().button)();
    std::vector<std::string> after;
    for (int i = 0; i < window->trackCount(); ++i)
        after.push_back(window->trackPath(i));
    EXPECT_EQ(after, GetParam().expected);
    EXPECT_EQ(window->itemIndex(), GetParam().expectedSelection);
}

using E = std::vector<std::string>;
INSTANTIATE_TEST_SUITE_P(
    Cases, PlaylistButtons,
    ::testing::Values(
        EditCase{"UpThird", E{"one", "two", "three"}, 2, &TformPlayer::buttonTrackMoveUpClick,
                 E{"one", "three", "two"}, 1},
        EditCase{"DownSecond", E{"one", "three", "two"}, 1, &TformPlayer::buttonTrackMoveDownClick,
                 E{"one", "two", "three"}, 2},
        EditCase{"UpFirst", E{"one", "two"}, 0, &TformPlayer::buttonTrackMoveUpClick,
                 E{"one", "two"}, 0},
        EditCase{"UpNoSelection", E{"one", "two"}, -1, &TformPlayer::buttonTrackMoveUpClick,
                 E{"one", "two"}, -1},
        EditCase{"DownLast", E{"one", "two"}, 1, &TformPlayer::buttonTrackMoveDownClick,
                 E{"one", "two"}, 1},
        EditCase{"DownNoSelection", E{"one", "two"}, -1, &TformPlayer::buttonTrackMoveDownClick,
                 E{"one", "two"}, -1},
        EditCase{"UpOnlyEntry", E{"one"}, 0, &TformPlayer::buttonTrackMoveUpClick, E{"one"}, 0},
        EditCase{"DownOnlyEntry", E{"one"}, 0, &TformPlayer::buttonTrackMoveDownClick, E{"one"}, 0},
        EditCase{"RemoveMiddle", E{"one", "two", "three"}, 1, &TformPlayer::buttonTrackRemoveClick,
                 E{"one", "three"}, -1},
        EditCase{"RemoveNoSelection", E{"one", "two"}, -1, &TformPlayer::buttonTrackRemoveClick,
                 E{"one", "two"}, -1},
        EditCase{"UpKeepsBytes", E{"a\xE9.mp3", "b\xC3\xA9.mp3"}, 1,
                 &TformPlayer::buttonTrackMoveUpClick, E{"b\xC3\xA9.mp3", "a\xE9.mp3"}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlayerWindow, AddAppendsTheChosenPathAndCancelChangesNothing)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    auto window = folder.open();
    answers.files = {QString("/music/a.mp3"), std::nullopt, QString("/music/a.mp3")};
    window->setItemIndex(-1);
    for (int i = 0; i < 3; ++i)
        window->ui->buttonTrackAdd->click();
    ASSERT_EQ(window->trackCount(), 2);
    EXPECT_EQ(window->trackPath(0), "/music/a.mp3");
    EXPECT_EQ(window->trackPath(1), "/music/a.mp3");
    EXPECT_EQ(window->itemIndex(), -1);
    EXPECT_EQ(getTrackCount(), 2);
    EXPECT_EQ(getTrackPath(1), "/music/a.mp3");
}

TEST(PlayerWindow, FocusingTheListSelectsNothing)
{
    NoBoard board;
    Answers answers;
    ProgramFolder folder;
    auto window = folder.open();
    answers.files = {QString("/m/a.mp3"), QString("/m/b.mp3")};
    window->buttonTrackAddClick();
    window->buttonTrackAddClick();
    window->show();
    QApplication::setActiveWindow(window.get());
    window->ui->listBoxPlaylist->setFocus();
    QApplication::processEvents();
    // The list makes its first row current on focus; that is no selection.
    ASSERT_EQ(window->ui->listBoxPlaylist->currentRow(), 0);
    window->ui->buttonTrackRemove->click();
    EXPECT_EQ(window->trackCount(), 2);
    EXPECT_EQ(window->itemIndex(), -1);
}
