// The player's one window: playlist, play button, typed-text line, status bar,
// and everything that mirrors them on the board.
#pragma once

#include "unitexpbordlib.h"

#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

class AudioPlayer;
class TThreadKeys;

namespace Ui {
class TformPlayer;
}
namespace gui {
class OpenDialog;
class Timer;
} // namespace gui

class TformPlayer : public QWidget {
    Q_OBJECT
public:
    // arguments as the program got them; the first is the program file's full path.
    explicit TformPlayer(const QStringList& arguments, QWidget* parent = nullptr);
    ~TformPlayer() override;

    std::unique_ptr<Ui::TformPlayer> ui;
    // Non-visual components (a form description holds widgets only).
    gui::OpenDialog* openDialogToevoegen;
    gui::Timer* timerPosition;
    gui::Timer* timerPlaying;
    gui::Timer* timerActivity;
    gui::OpenDialog* openDialogFirmware;

    std::string playlistPath;
    int32_t ledPattern = 0;
    std::string devicePath;
    std::unique_ptr<TThreadKeys> keyThread;
    uint8_t* keyData = nullptr;
    uint32_t keyDataLength = 0;
    int32_t keyDataCapacity = 0;
    std::unique_ptr<AudioPlayer> audioPlayer;
    BoardHandle device = INVALID_HANDLE_VALUE;

    int32_t trackCount() const;
    // The list box's selected entry, -1 for none.
    int itemIndex() const;
    void setItemIndex(int index);
    // The entry's path bytes exactly as added or loaded.
    std::string trackPath(int32_t index) const;

    void buttonTrackAddClick();
    void buttonTrackRemoveClick();
    void buttonTrackMoveUpClick();
    void buttonTrackMoveDownClick();
    void buttonPlayClick();
    void buttonFirmwareClick();

    // Key data from the key reader thread (at most 64 bytes a block).
    void appendKeyData(const uint8_t* bytes, uint32_t count);
    void decodeKeyData();
    void showKeyEvent(const QString& text);
    QString typedText() const;
    void setTypedText(const QString& text);

    void flashActivity();
    void timerPositionTimer();
    void timerPlayingTimer();
    void timerActivityTimer();
    // A display message: field selector '0', '1' or '2' and the field's content,
    // sent whole in 8-bit characters, cut to maxLength when that is given.
    void sendDisplay(char field, const QString& content, int maxLength = -1);

private:
    void FormCreate();
    void FormDestroy();
    void setEntry(int index, const std::string& path);
    void appendEntry(const std::string& path);
    void loadPlaylist();
    void savePlaylist();
    void endKeyThread();
    void makeAction(uint8_t value);
    void extendedAction(uint8_t value);

    QStringList arguments_;
    // A playlist file that exists but could not be read is not overwritten.
    bool keepPlaylistFile_ = false;
};

extern TformPlayer* formPlayer;

// The AudioPlayer's callbacks; they reach the window through formPlayer.
int32_t getTrackCount();
std::string getTrackPath(int32_t index);
void showTrackName(const std::string& name);
void showPlaying(bool playing);
