#include "unitplayer.h"
#include "ui_unitplayer.h"

#include "application.h"
#include "boardtext.h"
#include "firmwarecommand.h"
#include "message.h"
#include "opendialog.h"
#include "playlistfile.h"
#include "scancodes.h"
#include "timer.h"
#include "unitaudioplayer.h"
#include "unitthreadkeys.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

TformPlayer* formPlayer = nullptr;

namespace {

constexpr int PathRole = Qt::UserRole;

// Panels of statusBarStatus.
constexpr int TrackNamePanel = 0;
constexpr int PlayTimePanel = 1;
constexpr int KeyEventPanel = 2;

// The board's display takes at most this much of the typed-text message.
constexpr int TypedTextMessageLimit = 64;

QString hexByte(uint8_t b)
{
    return QString::asprintf("%02X", b);
}

} // namespace

TformPlayer::TformPlayer(const QStringList& arguments, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TformPlayer>()), arguments_(arguments)
{
    if (!formPlayer)
        formPlayer = this;
    ui->setupUi(this);
    gui::setFixedWindow(this, {482, 302});

    openDialogToevoegen = new gui::OpenDialog(this);
    openDialogToevoegen->defaultExt = "mp3";
    openDialogToevoegen->filter = "MP3 bestanden (*.mp3)|*.mp3";
    openDialogToevoegen->options = gui::OpenDialog::HideReadOnly | gui::OpenDialog::EnableSizing;
    timerPosition = new gui::Timer(this, 900, false);
    timerPlaying = new gui::Timer(this, 100, false);
    timerActivity = new gui::Timer(this, 100, false);
    openDialogFirmware = new gui::OpenDialog(this);
    openDialogFirmware->defaultExt = "bix";
    openDialogFirmware->filter = "Binaire firmware bestanden (*.bix)|*.bix";
    openDialogFirmware->options = gui::OpenDialog::HideReadOnly | gui::OpenDialog::PathMustExist |
                                  gui::OpenDialog::FileMustExist | gui::OpenDialog::EnableSizing;

    connect(ui->buttonTrackAdd, &QPushButton::clicked, this, &TformPlayer::buttonTrackAddClick);
    connect(ui->buttonTrackRemove, &QPushButton::clicked, this,
            &TformPlayer::buttonTrackRemoveClick);
    connect(ui->buttonTrackMoveUp, &QPushButton::clicked, this,
            &TformPlayer::buttonTrackMoveUpClick);
    connect(ui->buttonTrackMoveDown, &QPushButton::clicked, this,
            &TformPlayer::buttonTrackMoveDownClick);
    connect(ui->buttonPlay, &QPushButton::clicked, this, &TformPlayer::buttonPlayClick);
    connect(ui->buttonFirmware, &QPushButton::clicked, this, &TformPlayer::buttonFirmwareClick);
    connect(timerPosition, &QTimer::timeout, this, &TformPlayer::timerPositionTimer);
    connect(timerPlaying, &QTimer::timeout, this, &TformPlayer::timerPlayingTimer);
    connect(timerActivity, &QTimer::timeout, this, &TformPlayer::timerActivityTimer);

    FormCreate();
}

TformPlayer::~TformPlayer()
{
    FormDestroy();
    if (formPlayer == this)
        formPlayer = nullptr;
}

void TformPlayer::FormCreate()
{
    const QString boardNumber = arguments_.value(1).isEmpty() ? "0" : arguments_.value(1);
    devicePath = "\\\\.\\ezusb-" + boardNumber.toStdString();
    setWindowTitle(windowTitle() + " (" + QString::fromStdString(devicePath) + ")");

    device = INVALID_HANDLE_VALUE;
    ledPattern = 1;
    keyDataLength = 0;
    keyDataCapacity = 64;
    keyData = static_cast<uint8_t*>(std::malloc(size_t(keyDataCapacity)));

    const QString programFile = arguments_.value(0);
    playlistPath =
        QFile::encodeName(QFileInfo(programFile).absolutePath()).toStdString() + "/player.m3u";
    loadPlaylist();

    device = openBoard(devicePath.c_str());
    if (device == INVALID_HANDLE_VALUE)
        gui::showMessage("Het openen van de VEK driver is mislukt!");

    audioPlayer =
        std::make_unique<AudioPlayer>(getTrackCount, getTrackPath, showTrackName, showPlaying);
    keyThread = std::make_unique<TThreadKeys>(false, this, devicePath.c_str());
}

void TformPlayer::FormDestroy()
{
    // Ends the read the key thread has pending on its own handle.
    abortBoardRead(device);
    if (keyThread) {
        keyThread->terminate();
        endKeyThread();
        keyThread.reset();
    }
    // Only now: a hand-off served while waiting still wrote into the buffer.
    std::free(keyData);
    keyData = nullptr;
    audioPlayer.reset();
    closeBoard(device);
    device = INVALID_HANDLE_VALUE;
    savePlaylist();
}

void TformPlayer::endKeyThread()
{
    // The abort reaches only a read already pending. The thread may be just
    // about to read, or the window may hold no working handle (a failed reopen
    // after a firmware download, a connection the board dropped): keep
    // aborting, on a handle of the moment if need be, until the thread has ended.
    while (!keyThread->waitFor(std::chrono::milliseconds(200))) {
        if (device == INVALID_HANDLE_VALUE || !abortBoardRead(device)) {
            BoardHandle h = openBoard(devicePath.c_str());
            abortBoardRead(h);
            closeBoard(h);
        }
    }
}

void TformPlayer::loadPlaylist()
{
    playlist::Entries entries;
    switch (playlist::load(playlistPath, entries)) {
    case playlist::LoadResult::Missing:
        return;
    case playlist::LoadResult::Unreadable:
        keepPlaylistFile_ = true;
        gui::showMessage("Lezen van de afspeellijst \"" + QFile::decodeName(playlistPath.c_str()) +
                         "\" is mislukt!");
        return;
    case playlist::LoadResult::Loaded:
        break;
    }
    ui->listBoxPlaylist->clear();
    for (const std::string& entry : entries)
        appendEntry(entry);
}

void TformPlayer::savePlaylist()
{
    if (keepPlaylistFile_)
        return;
    playlist::Entries entries;
    entries.reserve(size_t(trackCount()));
    for (int32_t i = 0; i < trackCount(); ++i)
        entries.push_back(trackPath(i));
    if (!playlist::save(playlistPath, entries))
        gui::showMessage("Opslaan van de afspeellijst \"" +
                         QFile::decodeName(playlistPath.c_str()) + "\" is mislukt!");
}

int32_t TformPlayer::trackCount() const
{
    return ui->listBoxPlaylist->count();
}

std::string TformPlayer::trackPath(int32_t index) const
{
    QListWidgetItem* item = ui->listBoxPlaylist->item(index);
    return item ? item->data(PathRole).toByteArray().toStdString() : std::string();
}

void TformPlayer::setEntry(int index, const std::string& path)
{
    QListWidgetItem* item = ui->listBoxPlaylist->item(index);
    item->setText(boardtext::fromBytes(path));
    item->setData(PathRole, QByteArray::fromStdString(path));
}

void TformPlayer::appendEntry(const std::string& path)
{
    auto* item = new QListWidgetItem(boardtext::fromBytes(path));
    item->setData(PathRole, QByteArray::fromStdString(path));
    ui->listBoxPlaylist->addItem(item);
}

int TformPlayer::itemIndex() const
{
    // The selected entry, not the list's current row: the list makes its first
    // row current when it gets the focus, and that selects nothing.
    const QList<QListWidgetItem*> selected = ui->listBoxPlaylist->selectedItems();
    return selected.isEmpty() ? -1 : ui->listBoxPlaylist->row(selected.first());
}

void TformPlayer::setItemIndex(int index)
{
    if (index < 0) {
        ui->listBoxPlaylist->clearSelection();
        ui->listBoxPlaylist->setCurrentRow(-1);
    } else {
        ui->listBoxPlaylist->setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
    }
}

void TformPlayer::buttonTrackAddClick()
{
    if (!openDialogToevoegen->execute())
        return;
    appendEntry(QFile::encodeName(openDialogToevoegen->fileName).toStdString());
}

void TformPlayer::buttonTrackRemoveClick()
{
    const int i = itemIndex();
    if (i < 0)
        return;
    delete ui->listBoxPlaylist->takeItem(i);
    setItemIndex(-1);
}

void TformPlayer::buttonTrackMoveUpClick()
{
    const int i = itemIndex();
    if (i <= 0)
        return;
    const std::string a = trackPath(i - 1);
    const std::string b = trackPath(i);
    setEntry(i - 1, b);
    setEntry(i, a);
    setItemIndex(i - 1);
}

void TformPlayer::buttonTrackMoveDownClick()
{
    const int i = itemIndex();
    if (i < 0 || i >= trackCount() - 1)
        return;
    const std::string a = trackPath(i + 1);
    const std::string b = trackPath(i);
    setEntry(i + 1, b);
    setEntry(i, a);
    setItemIndex(i + 1);
}

void TformPlayer::buttonPlayClick()
{
    audioPlayer->togglePlay();
}

void TformPlayer::buttonFirmwareClick()
{
    ::buttonFirmwareClick({device, devicePath, *openDialogFirmware, *ui->progressBar});
}

void TformPlayer::appendKeyData(const uint8_t* bytes, uint32_t count)
{
    // Room for one whole block behind the bytes still waiting (at most 7), so
    // the buffer never grows past 71 bytes.
    const uint32_t needed = keyDataLength + std::max<uint32_t>(count, 64);
    if (uint32_t(keyDataCapacity) < needed) {
        auto* grown = static_cast<uint8_t*>(std::realloc(keyData, needed));
        if (!grown)
            return; // out of memory: the block is dropped, the waiting bytes stay
        keyData = grown;
        keyDataCapacity = int32_t(needed);
    }
    if (count)
        std::memcpy(keyData + keyDataLength, bytes, count);
    keyDataLength += count;
    decodeKeyData();
}

void TformPlayer::decodeKeyData()
{
    struct Actions : scancode::KeySink {
        TformPlayer& w;
        explicit Actions(TformPlayer& window) : w(window) {}
        void keyEvent(const scancode::KeyEvent& e) override
        {
            using Kind = scancode::KeyEvent::Kind;
            switch (e.kind) {
            case Kind::Make:
                w.showKeyEvent("MAKE " + hexByte(e.code));
                w.makeAction(scancode::scanCodeTable[e.code]);
                w.flashActivity();
                break;
            case Kind::Break:
                w.showKeyEvent("BREAK " + hexByte(e.code));
                break;
            case Kind::ExtendedMake:
                w.showKeyEvent("EXTMAKE " + hexByte(e.code));
                w.extendedAction(scancode::extendedScanCodeTable[e.code]);
                w.flashActivity();
                break;
            case Kind::ExtendedBreak:
                w.showKeyEvent("EXTBREAK " + hexByte(e.code));
                break;
            case Kind::Pause:
                w.showKeyEvent("PAUSE");
                if (e.complete)
                    w.flashActivity();
                break;
            }
        }
    } actions(*this);
    const size_t used = scancode::decode({keyData, keyDataLength}, actions);
    // What is left is the start of a sequence still arriving; it waits for the next block.
    std::memmove(keyData, keyData + used, keyDataLength - used);
    keyDataLength -= uint32_t(used);
}

void TformPlayer::makeAction(uint8_t value)
{
    if (value == 0x08) {
        setTypedText(typedText().chopped(typedText().isEmpty() ? 0 : 1));
    } else if (value >= 0x70 && value <= 0x7B) {
        audioPlayer->selectTrack(value - 0x70);
    } else {
        // A value of 0 adds nothing, but the text still goes to the display again.
        setTypedText(value ? typedText() + QChar(value) : typedText());
    }
}

void TformPlayer::extendedAction(uint8_t value)
{
    switch (value) {
    case 0x21:
        audioPlayer->nextTrack();
        break;
    case 0x22:
        audioPlayer->previousTrack();
        break;
    case 0x23:
        audioPlayer->selectTrack(trackCount() - 1);
        break;
    case 0x24:
        audioPlayer->selectTrack(0);
        break;
    case 0x2E:
        setTypedText(QString());
        break;
    case 0xF5:
        audioPlayer->togglePlay();
        break;
    default:
        break;
    }
}

void TformPlayer::showKeyEvent(const QString& text)
{
    ui->statusBarStatus->setPanelText(KeyEventPanel, text);
}

QString TformPlayer::typedText() const
{
    return ui->labelKeys->text();
}

void TformPlayer::setTypedText(const QString& text)
{
    ui->labelKeys->setText(text);
    sendDisplay('2', ui->labelKeys->text(), TypedTextMessageLimit);
}

void TformPlayer::sendDisplay(char field, const QString& content, int maxLength)
{
    std::string message = field + boardtext::toLatin1(content);
    if (maxLength >= 0 && message.size() > size_t(maxLength))
        message.resize(size_t(maxLength));
    writeBoardText(device, message.c_str());
}

void TformPlayer::flashActivity()
{
    setBoardLeds(device, 0xFF);
    timerActivity->setEnabled(true);
}

void TformPlayer::timerPositionTimer()
{
    const QString text = boardtext::playTime(audioPlayer->positionSeconds());
    sendDisplay('1', text);
    ui->statusBarStatus->setPanelText(PlayTimePanel, text);
}

void TformPlayer::timerPlayingTimer()
{
    if (timerActivity->enabled())
        return;
    // A single lit LED runs from bit 7 down to bit 0 and starts again.
    ledPattern = ledPattern <= 1 ? 0x80 : ledPattern >> 1;
    setBoardLeds(device, uint8_t(ledPattern));
}

void TformPlayer::timerActivityTimer()
{
    timerActivity->setEnabled(false);
    setBoardLeds(device, 0x00);
}

int32_t getTrackCount()
{
    return formPlayer->trackCount();
}

std::string getTrackPath(int32_t index)
{
    return formPlayer->trackPath(index);
}

void showTrackName(const std::string& name)
{
    const QString text = boardtext::fromBytes(name);
    formPlayer->ui->statusBarStatus->setPanelText(TrackNamePanel, text);
    // Track names go whole; only the typed-text message is cut.
    formPlayer->sendDisplay('0', text);
    // A named track that is not playing did not open: its time reads "--:--"
    // at once rather than the last track's time.
    if (!name.empty() && !formPlayer->timerPosition->enabled())
        formPlayer->timerPositionTimer();
}

void showPlaying(bool playing)
{
    formPlayer->timerPosition->setEnabled(playing);
    formPlayer->timerPlaying->setEnabled(playing);
    if (!playing)
        setBoardLeds(formPlayer->device, 0x00);
}
