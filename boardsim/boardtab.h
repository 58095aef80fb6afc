// Everything the window shows of one board. It listens to the board model,
// which the device and control sockets change as well, and redraws once per
// turn of the event loop however many changes came in.
#pragma once

#include <QWidget>

namespace boardsim {

class BoardModel;
class EventLogPanel;
class JogPanel;
class KeyboardPanel;
class PlayerPanel;
class StatePanel;

class BoardTab : public QWidget {
    Q_OBJECT
public:
    BoardTab(BoardModel& board, QWidget* parent = nullptr);
    ~BoardTab() override;

    BoardModel& board() const { return board_; }
    PlayerPanel* playerPanel() const { return player_; }
    KeyboardPanel* keyboardPanel() const { return keyboard_; }
    JogPanel* jogPanel() const { return jog_; }
    StatePanel* statePanel() const { return state_; }
    EventLogPanel* eventLogPanel() const { return log_; }

    void refresh();

private:
    BoardModel& board_;
    int listener_ = 0;
    bool refreshPending_ = false;
    PlayerPanel* player_;
    KeyboardPanel* keyboard_;
    JogPanel* jog_;
    StatePanel* state_;
    EventLogPanel* log_;
};

} // namespace boardsim
