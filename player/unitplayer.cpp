#include "unitplayer.h"
#include "ui_unitplayer.h"

#include "cursor.h"
#include "message.h"
#include "opendialog.h"
#include "playlistfile.h"
#include "timer.h"

#include <QFile>
#include <QFileInfo>
#include <QScreen>
#include <QStringDecoder>
#include <cstdlib>

TformPlayer* formPlayer = nullptr;

namespace {

constexpr int PathRole = Qt::UserRole;

// Paths are 8-bit bytes; show them as UTF-8 where they are, else as Latin-1.
QString displayText(const std::string& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return utf8.hasError() ? QString::fromLatin1(bytes.data(), qsizetype(bytes.size())) : text;
}

} // namespace

TformPlayer::TformPlayer(const QStringList& arguments, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TformPlayer>()), arguments_(arguments)
{
    if (!formPlayer)
        formPlayer = this;
    ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(482, 302);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());

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
}

void TformPlayer::FormDestroy()
{
    std::free(keyData);
    keyData = nullptr;
    closeBoard(device);
    device = INVALID_HANDLE_VALUE;
    savePlaylist();
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
    item->setText(displayText(path));
    item->setData(PathRole, QByteArray::fromStdString(path));
}

void TformPlayer::appendEntry(const std::string& path)
{
    auto* item = new QListWidgetItem(displayText(path));
    item->setData(PathRole, QByteArray::fromStdString(path));
    ui->listBoxPlaylist->addItem(item);
}

void TformPlayer::buttonTrackAddClick()
{
    if (!openDialogToevoegen->execute())
        return;
    appendEntry(QFile::encodeName(openDialogToevoegen->fileName).toStdString());
}

void TformPlayer::buttonTrackRemoveClick()
{
    const int i = ui->listBoxPlaylist->currentRow();
    if (i < 0)
        return;
    delete ui->listBoxPlaylist->takeItem(i);
    ui->listBoxPlaylist->setCurrentRow(-1);
}

void TformPlayer::buttonTrackMoveUpClick()
{
    const int i = ui->listBoxPlaylist->currentRow();
    if (i <= 0)
        return;
    const std::string a = trackPath(i - 1);
    const std::string b = trackPath(i);
    setEntry(i - 1, b);
    setEntry(i, a);
    ui->listBoxPlaylist->setCurrentRow(i - 1);
}

void TformPlayer::buttonTrackMoveDownClick()
{
    const int i = ui->listBoxPlaylist->currentRow();
    if (i < 0 || i >= trackCount() - 1)
        return;
    const std::string a = trackPath(i + 1);
    const std::string b = trackPath(i);
    setEntry(i + 1, b);
    setEntry(i, a);
    ui->listBoxPlaylist->setCurrentRow(i + 1);
}

int32_t getTrackCount()
{
    return formPlayer->trackCount();
}

std::string getTrackPath(int32_t index)
{
    return formPlayer->trackPath(index);
}
