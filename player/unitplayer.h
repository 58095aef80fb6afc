// The player's one window: playlist, play button, typed-text line, status bar,
// and everything that mirrors them on the board.
#pragma once

#include "unitexpbordlib.h"

#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

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
    uint8_t* keyData = nullptr;
    uint32_t keyDataLength = 0;
    int32_t keyDataCapacity = 0;
    BoardHandle device = INVALID_HANDLE_VALUE;

    int32_t trackCount() const;
    // The entry's path bytes exactly as added or loaded.
    std::string trackPath(int32_t index) const;

    void buttonTrackAddClick();
    void buttonTrackRemoveClick();
    void buttonTrackMoveUpClick();
    void buttonTrackMoveDownClick();

private:
    void FormCreate();
    void FormDestroy();
    void setEntry(int index, const std::string& path);
    void appendEntry(const std::string& path);
    void loadPlaylist();
    void savePlaylist();

    QStringList arguments_;
    // A playlist file that exists but could not be read is not overwritten.
    bool keepPlaylistFile_ = false;
};

extern TformPlayer* formPlayer;

// The AudioPlayer's view of the playlist; they reach the window through formPlayer.
int32_t getTrackCount();
std::string getTrackPath(int32_t index);
